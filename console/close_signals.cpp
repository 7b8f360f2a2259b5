#include "console/close_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "transport/error.h"

namespace qorsv {
namespace {

constexpr char kSignalByte = 's';
constexpr char kStopByte = 'q';

// The pipe the handler writes to: the one process-wide value a signal handler can reach.
std::atomic<int> g_signal_pipe{-1};

struct sigaction g_previous_int;
struct sigaction g_previous_term;

void OnCloseSignal(int) {
  int saved_errno = errno;
  int fd = g_signal_pipe.load();
  if (fd >= 0) {
    char byte = kSignalByte;
    (void)!write(fd, &byte, 1);
  }
  errno = saved_errno;
}

}  // namespace

CloseSignalWatcher::CloseSignalWatcher(std::function<void()> on_close_signal)
    : on_close_signal_(std::move(on_close_signal)) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    throw QorsvError(std::string("Cannot watch for close signals: ") + std::strerror(errno));
  }
  read_fd_ = fds[0];
  write_fd_ = fds[1];
  g_signal_pipe.store(write_fd_);
  thread_ = std::thread([this] { Watch(); });

  struct sigaction action {};
  action.sa_handler = OnCloseSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &g_previous_int);
  sigaction(SIGTERM, &action, &g_previous_term);
}

CloseSignalWatcher::~CloseSignalWatcher() {
  sigaction(SIGINT, &g_previous_int, nullptr);
  sigaction(SIGTERM, &g_previous_term, nullptr);
  g_signal_pipe.store(-1);
  char byte = kStopByte;
  (void)!write(write_fd_, &byte, 1);
  thread_.join();
  close(read_fd_);
  close(write_fd_);
}

void CloseSignalWatcher::Watch() {
  for (;;) {
    char byte = 0;
    ssize_t n = read(read_fd_, &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || byte == kStopByte) return;
    on_close_signal_();
  }
}

}  // namespace qorsv
