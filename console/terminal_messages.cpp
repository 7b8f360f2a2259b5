#include "console/terminal_messages.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "console/operator_messages.h"

namespace qorsv {
namespace {

// Closes the oldest open box, as the operator's Enter on the terminal does.
void CloseOldestBox() {
  std::vector<OperatorMessage> pending = PendingOperatorMessages();
  if (pending.empty()) return;
  CloseOperatorMessage(pending.front().number);
  std::fprintf(stderr, "qorsv message closed: %s\n", pending.front().text.c_str());
  std::fflush(stderr);
}

}  // namespace

TerminalMessageCloser::TerminalMessageCloser(int input_fd) {
  if (input_fd < 0) return;
  int fds[2];
  if (::pipe(fds) != 0) return;  // no closer: boxes wait for the console page
  stop_read_fd_ = fds[0];
  stop_write_fd_ = fds[1];
  thread_ = std::thread([this, input_fd] { Watch(input_fd); });
}

TerminalMessageCloser::~TerminalMessageCloser() {
  if (thread_.joinable()) {
    char stop = 1;
    [[maybe_unused]] ssize_t written = ::write(stop_write_fd_, &stop, 1);
    thread_.join();
  }
  if (stop_read_fd_ >= 0) ::close(stop_read_fd_);
  if (stop_write_fd_ >= 0) ::close(stop_write_fd_);
}

int TerminalMessageCloser::StandardInputIfTerminal() {
  return ::isatty(STDIN_FILENO) ? STDIN_FILENO : -1;
}

void TerminalMessageCloser::Watch(int input_fd) {
  pollfd watched[2] = {{input_fd, POLLIN, 0}, {stop_read_fd_, POLLIN, 0}};
  char buffer[256];
  for (;;) {
    if (::poll(watched, 2, -1) < 0) continue;  // a signal: wait on
    if (watched[1].revents != 0) return;
    if (watched[0].revents == 0) continue;
    ssize_t got = ::read(input_fd, buffer, sizeof buffer);
    if (got <= 0) return;  // the terminal is gone
    for (ssize_t i = 0; i < got; ++i) {
      if (buffer[i] == '\n') CloseOldestBox();
    }
  }
}

}  // namespace qorsv
