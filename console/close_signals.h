// Turns SIGINT and SIGTERM into the console's close request for as long as a watcher exists.
//
// The signal handler only writes a byte to a pipe; a small thread of the watcher reads it and
// calls the given function there (it posts the close request to the UI loop). Only one watcher
// may exist at a time; construct and destroy it on the UI thread.
#pragma once

#include <functional>
#include <thread>

namespace qorsv {

class CloseSignalWatcher {
 public:
  explicit CloseSignalWatcher(std::function<void()> on_close_signal);
  CloseSignalWatcher(const CloseSignalWatcher&) = delete;
  CloseSignalWatcher& operator=(const CloseSignalWatcher&) = delete;
  // Restores the previous handlers and ends the thread.
  ~CloseSignalWatcher();

 private:
  void Watch();

  std::function<void()> on_close_signal_;
  int read_fd_ = -1;
  int write_fd_ = -1;
  std::thread thread_;
};

}  // namespace qorsv
