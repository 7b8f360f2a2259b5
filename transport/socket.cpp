#include "transport/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qorsv {
namespace {

// Room for bursts of new connections; a short queue makes clients retry their handshake.
constexpr int kListenBacklog = 1024;

std::string BindFailureText(int error, uint16_t port) {
  if (error == EADDRINUSE) return "Could not bind socket. Address and port are already in use.";
  if (error == EACCES) {
    return "Could not bind socket. Permission denied for port " + std::to_string(port) +
           (port < 1024 ? " (ports below 1024 need root or the CAP_NET_BIND_SERVICE capability)."
                        : ".");
  }
  return "Could not bind socket. " + std::string(std::strerror(error)) + " (port " +
         std::to_string(port) + ").";
}

int MillisecondsUntil(Clock::time_point moment) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(moment - Clock::now());
  return static_cast<int>(std::max<int64_t>(0, left.count()));
}

}  // namespace

Connection::Connection(int fd, std::string remote_ip) : fd_(fd), remote_ip_(std::move(remote_ip)) {}

Connection::~Connection() { Close(); }

void Connection::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

void Connection::ShutdownBoth() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void Connection::WaitFor(short events, bool reading) {
  int timeout = static_cast<int>(idle_timeout_.count());
  if (reading && read_deadline_) timeout = std::min(timeout, MillisecondsUntil(*read_deadline_));
  pollfd entry{fd_, events, 0};
  for (;;) {
    int ready = ::poll(&entry, 1, timeout);
    if (ready > 0) return;
    if (ready == 0) throw ConnectionLost(reading ? "Read timed out." : "Write timed out.");
    if (errno != EINTR) throw ConnectionLost(std::strerror(errno));
  }
}

size_t Connection::ReadSome(char* buffer, size_t size) {
  for (;;) {
    ssize_t got = ::recv(fd_, buffer, size, 0);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) throw ConnectionLost(std::strerror(errno));
    WaitFor(POLLIN, true);
  }
}

void Connection::Write(std::string_view data, bool more_follows) {
  int flags = MSG_NOSIGNAL | (more_follows ? MSG_MORE : 0);
  while (!data.empty()) {
    ssize_t sent = ::send(fd_, data.data(), data.size(), flags);
    if (sent >= 0) {
      data.remove_prefix(static_cast<size_t>(sent));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) throw ConnectionLost(std::strerror(errno));
    WaitFor(POLLOUT, false);
  }
}

uint64_t Connection::SendFile(int fd, uint64_t count) {
  uint64_t total = 0;
  while (total < count) {
    size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - total, 1u << 30));
    ssize_t sent = ::sendfile(fd_, fd, nullptr, chunk);
    if (sent > 0) {
      total += static_cast<uint64_t>(sent);
      continue;
    }
    if (sent == 0) break;  // the file is shorter than it was
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) throw ConnectionLost(std::strerror(errno));
    WaitFor(POLLOUT, false);
  }
  return total;
}

ListeningSocket::ListeningSocket(uint16_t port) : port_(port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw QorsvError("Could not create socket. " + std::string(std::strerror(errno)));
  int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd_, kListenBacklog) != 0) {
    int error = errno;
    ::close(fd_);
    throw QorsvError(BindFailureText(error, port));
  }
  socklen_t length = sizeof address;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port_ = ntohs(address.sin_port);
  }
  wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd_ < 0) {
    int error = errno;
    ::close(fd_);
    throw QorsvError("Could not create socket. " + std::string(std::strerror(error)));
  }
}

ListeningSocket::~ListeningSocket() {
  ::close(fd_);
  ::close(wake_fd_);
}

void ListeningSocket::Wake() {
  uint64_t one = 1;
  [[maybe_unused]] ssize_t ignored = ::write(wake_fd_, &one, sizeof one);
}

std::optional<ListeningSocket::Accepted> ListeningSocket::TryAccept() {
  for (;;) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &length,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      char text[INET_ADDRSTRLEN] = "";
      ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
      return Accepted{fd, text};
    }
    // A connection that was reset before it was taken, or a passing shortage: try later.
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      // Out of descriptors or memory: the pending client stays queued; pause instead of spinning.
      ::usleep(10000);
    }
    return std::nullopt;
  }
}

std::optional<ListeningSocket::Accepted> ListeningSocket::Accept(std::chrono::milliseconds timeout) {
  if (auto accepted = TryAccept()) return accepted;
  pollfd entries[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
  int ready = ::poll(entries, 2, static_cast<int>(timeout.count()));
  if (ready <= 0 || (entries[1].revents & POLLIN)) return std::nullopt;
  return TryAccept();
}

}  // namespace qorsv
