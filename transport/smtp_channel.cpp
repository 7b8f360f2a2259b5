// The mail server connection: non-blocking socket, poll for every wait.

#include "transport/smtp_channel.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "transport/error.h"

namespace qorsv {
namespace {

using Clock = std::chrono::steady_clock;

std::string Where(const std::string& host, uint16_t port) {
  return host + ":" + std::to_string(port);
}

std::chrono::milliseconds Left(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

int PollOnce(int fd, short events, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    pollfd pfd{fd, events, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(Left(deadline).count()));
    if (ready >= 0 || errno != EINTR) return ready;
  }
}

// One non-blocking connect attempt; returns the socket or -1 with `error` set to the reason.
int TryConnect(const addrinfo& a, Clock::time_point deadline, std::string& error) {
  const int fd = socket(a.ai_family, a.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a.ai_protocol);
  if (fd < 0) {
    error = std::strerror(errno);
    return -1;
  }
  if (connect(fd, a.ai_addr, a.ai_addrlen) == 0) return fd;
  if (errno != EINPROGRESS) {
    error = std::strerror(errno);
    close(fd);
    return -1;
  }
  const int ready = PollOnce(fd, POLLOUT, Left(deadline));
  if (ready <= 0) {
    error = ready == 0 ? "timed out" : std::strerror(errno);
    close(fd);
    return -1;
  }
  int so_error = 0;
  socklen_t size = sizeof so_error;
  getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &size);
  if (so_error != 0) {
    error = std::strerror(so_error);
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::unique_ptr<SmtpChannel> SmtpChannel::Connect(const std::string& host, uint16_t port,
                                                  std::chrono::milliseconds timeout) {
  if (host.empty()) throw QorsvError("No mail server host is set");
  const Clock::time_point deadline = Clock::now() + timeout;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (status != 0) {
    throw QorsvError("Could not resolve the mail server host '" + host +
                     "': " + gai_strerror(status));
  }
  std::string error = "no address";
  int fd = -1;
  for (const addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
    if (Left(deadline).count() == 0) {
      error = "timed out";
      break;
    }
    fd = TryConnect(*a, deadline, error);
  }
  freeaddrinfo(found);
  if (fd < 0) throw QorsvError("Could not connect to " + Where(host, port) + ": " + error);
  return std::unique_ptr<SmtpChannel>(new SmtpChannel(fd));
}

SmtpChannel::~SmtpChannel() { close(fd_); }

bool SmtpChannel::WaitFor(short events, std::chrono::milliseconds timeout) {
  const int ready = PollOnce(fd_, events, timeout);
  if (ready < 0) throw QorsvError(std::string("Network error: ") + std::strerror(errno));
  return ready > 0;
}

std::string SmtpChannel::ReadLine(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (pending_.size() > kMaxLineLength) {
      throw QorsvError("The mail server sent a reply line that is too long");
    }
    if (!WaitFor(POLLIN, Left(deadline))) {
      throw QorsvError("The mail server did not answer in time");
    }
    char buffer[2048];
    const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    if (got == 0) throw QorsvError("The mail server closed the connection");
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      throw QorsvError(std::string("Network error: ") + std::strerror(errno));
    }
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

void SmtpChannel::WriteAll(std::string_view data, std::chrono::milliseconds timeout) {
  while (!data.empty()) {
    const ssize_t sent = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      data.remove_prefix(static_cast<size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(POLLOUT, timeout)) {
        throw QorsvError("The mail server did not take the data in time");
      }
      continue;
    }
    throw QorsvError(std::string("Network error: ") + std::strerror(errno));
  }
}

}  // namespace qorsv
