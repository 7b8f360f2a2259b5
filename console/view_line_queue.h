// Lines bound for the console's views, handed from connection threads to the UI thread.
//
// Each view's queue keeps at most kViewLineLimit lines and kViewByteLimit bytes, dropping the
// oldest first: the view itself shows no more than that, so a line dropped here is one the view
// would have dropped on arrival, and a UI thread that falls behind under load cannot make memory
// grow. A line longer than kViewLineBytes is queued cut to that length (the log file keeps it
// whole). The lines are packed one after the other into one byte string per view rather than
// held as one heap string each: with `showlog` on at full load tens of thousands of lines a
// second go from the connection threads to the UI thread, and strings allocated on one thread
// and freed on another by the ten thousand leave the allocator's caches full for good.
// One drain at a time is asked for: Push says when the caller must schedule it, and TakeAll,
// run by that drain on the UI thread, takes everything and lets the next Push ask again.
//
// Push and TakeAll may be called from any thread; one lock guards the queues.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "console/server_log.h"
#include "console/view_lines.h"

namespace qorsv {

// Lines one after the other in one byte string, the oldest dropped from the front.
class PackedLines {
 public:
  // Adds a line; then drops the oldest lines while more than `max_lines` lines or more than
  // `max_bytes` bytes are held (the newest line always stays). Returns how many were dropped.
  size_t Add(std::string_view line, size_t max_lines, size_t max_bytes);

  size_t size() const { return ends_.size() - first_; }
  bool empty() const { return size() == 0; }
  // Bytes of the lines held.
  size_t ByteCount() const { return ends_.empty() ? 0 : ends_.back() - Start(first_); }
  // Line i, the oldest being 0; valid until the next Add.
  std::string_view operator[](size_t i) const;
  std::vector<std::string> Lines() const;

 private:
  size_t Start(size_t line) const { return line == 0 ? 0 : ends_[line - 1]; }
  // Removes the dropped lines' bytes once they are as many or as large as the lines held.
  void Compact();

  std::string bytes_;
  std::vector<size_t> ends_;  // the offset just after each line
  size_t first_ = 0;          // lines before this one are dropped
};

class ViewLineQueue {
 public:
  struct Taken {
    PackedLines memo1;
    PackedLines syslog;
  };

  // Queues a line; true when no drain is pending, so that the caller must schedule one.
  bool Push(LogView view, std::string_view line);
  // Every queued line, each view's in the order pushed; the queues are left empty.
  Taken TakeAll();
  // Lines dropped because their queue was full.
  uint64_t Dropped() const;

 private:
  mutable std::mutex mutex_;
  PackedLines memo1_;
  PackedLines syslog_;
  bool drain_pending_ = false;
  uint64_t dropped_ = 0;
};

}  // namespace qorsv
