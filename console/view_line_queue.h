// Lines bound for the console's views, handed from connection threads to the UI thread.
//
// Each view's queue keeps at most kViewLineLimit lines, dropping the oldest first: the view
// itself shows no more than that many, so a line dropped here is one the view would have
// dropped on arrival, and a UI thread that falls behind under load cannot make memory grow.
// One drain at a time is asked for: Push says when the caller must schedule it, and TakeAll,
// run by that drain on the UI thread, takes everything and lets the next Push ask again.
//
// Push and TakeAll may be called from any thread; one lock guards the queues.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "console/server_log.h"
#include "console/view_lines.h"

namespace qorsv {

class ViewLineQueue {
 public:
  struct Taken {
    std::deque<std::string> memo1;
    std::deque<std::string> syslog;
  };

  // Queues a line; true when no drain is pending, so that the caller must schedule one.
  bool Push(LogView view, std::string line);
  // Every queued line, each view's in the order pushed; the queues are left empty.
  Taken TakeAll();
  // Lines dropped because their queue was full.
  uint64_t Dropped() const;

 private:
  mutable std::mutex mutex_;
  std::deque<std::string> memo1_;
  std::deque<std::string> syslog_;
  bool drain_pending_ = false;
  uint64_t dropped_ = 0;
};

}  // namespace qorsv
