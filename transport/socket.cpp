#include "transport/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qorsv {
namespace {

// Room for bursts of new connections; a short queue makes clients retry their handshake.
constexpr int kListenBacklog = 1024;
constexpr int kDeferAcceptSeconds = 30;
// A client that takes no byte of the answer for this long is dropped.
constexpr std::chrono::milliseconds kWriteTimeout{30000};

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

timeval ToTimeval(std::chrono::milliseconds duration) {
  return timeval{static_cast<time_t>(duration.count() / 1000),
                 static_cast<suseconds_t>(duration.count() % 1000 * 1000)};
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

void Connection::WaitUntilReadable() {
  int timeout = static_cast<int>(idle_timeout_.count());
  if (read_deadline_) timeout = std::min(timeout, MillisecondsUntil(*read_deadline_));
  pollfd entry{fd_, POLLIN, 0};
  for (;;) {
    int ready = ::poll(&entry, 1, timeout);
    if (ready > 0) return;
    if (ready == 0) throw ConnectionLost("Read timed out.");
    if (errno != EINTR) throw ConnectionLost(std::strerror(errno));
  }
}

size_t Connection::ReadSome(char* buffer, size_t size) {
  for (;;) {
    ssize_t got = ::recv(fd_, buffer, size, MSG_DONTWAIT);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) throw ConnectionLost(std::strerror(errno));
    WaitUntilReadable();
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
    if (errno == EAGAIN || errno == EWOULDBLOCK) throw ConnectionLost("Write timed out.");
    throw ConnectionLost(std::strerror(errno));
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
    if (errno == EAGAIN || errno == EWOULDBLOCK) throw ConnectionLost("Write timed out.");
    throw ConnectionLost(std::strerror(errno));
  }
  return total;
}

ListeningSocket::ListeningSocket(uint16_t port, std::chrono::milliseconds accept_round,
                                 Scope scope)
    : port_(port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw QorsvError("Could not create socket. " + std::string(std::strerror(errno)));
  int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  // A waiting accept gives up after one round, so idle threads can look around now and then.
  timeval round = ToTimeval(accept_round);
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &round, sizeof round);
  // Accepted sockets inherit this: a write that cannot go on for so long gives up.
  timeval write_timeout = ToTimeval(kWriteTimeout);
  ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &write_timeout, sizeof write_timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(scope == Scope::kLoopback ? INADDR_LOOPBACK : INADDR_ANY);
  address.sin_port = htons(port);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd_, kListenBacklog) != 0) {
    int error = errno;
    ::close(fd_);
    throw QorsvError(BindFailureText(error, port));
  }
  // Hand a client to a thread only once its request has begun to arrive, so the thread does
  // not wait twice. A client that sends nothing within the time is dropped by the kernel.
  int defer_seconds = kDeferAcceptSeconds;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_DEFER_ACCEPT, &defer_seconds, sizeof defer_seconds);
  socklen_t length = sizeof address;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port_ = ntohs(address.sin_port);
  }
}

ListeningSocket::~ListeningSocket() { Close(); }

void ListeningSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void ListeningSocket::Stop() {
  stopped_.store(true);
  // Ends every accept that waits on the socket at once, and takes the socket out of listening.
  ::shutdown(fd_, SHUT_RDWR);
}

ListeningSocket::AcceptResult ListeningSocket::Accept(Accepted& accepted) {
  for (;;) {
    if (stopped_.load()) return AcceptResult::kStopped;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (fd >= 0) {
      char text[INET_ADDRSTRLEN] = "";
      ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
      accepted = Accepted{fd, text};
      return AcceptResult::kAccepted;
    }
    if (stopped_.load()) return AcceptResult::kStopped;
    // A client that reset before it was taken, or a signal: wait on.
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      // Out of descriptors or memory: the client stays queued; pause instead of spinning.
      ::usleep(10000);
    }
    return AcceptResult::kNothing;
  }
}

}  // namespace qorsv
