// The lines of one of the console's text views (`Memo1`, `syslog`): at most kViewLineLimit
// lines and kViewByteLimit bytes, the oldest dropped first, so that a busy server with `showlog`
// on cannot make the console's memory grow. The counters let a page that shows the view tell what
// is new since it last looked: lines added since then, or a clear.
//
// A value of the console window's model; UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace qorsv {

inline constexpr size_t kViewLineLimit = 5000;
// Room for the usual lines of a full view (a request's lines are a few hundred bytes); a page
// gets the whole view each time it connects or falls behind.
inline constexpr size_t kViewByteLimit = 2u << 20;
// Longer lines are shown cut (the log file keeps them whole): a form body of megabytes in one
// log line would otherwise crowd out the view and fill the pages' streams.
inline constexpr size_t kViewLineBytes = 16u << 10;

class ViewLines {
 public:
  explicit ViewLines(std::string first_line) { Add(std::move(first_line)); }

  // Adds a line at the end; beyond the limits the oldest lines go (the newest always stays).
  void Add(std::string line);
  // Empties the view, its first line too.
  void Clear();

  const std::deque<std::string>& Lines() const { return lines_; }
  size_t size() const { return lines_.size(); }
  bool empty() const { return lines_.empty(); }
  const std::string& operator[](size_t i) const { return lines_[i]; }

  // Lines ever added, dropped ones included.
  uint64_t AddedCount() const { return added_; }
  // How many times the view was cleared.
  uint64_t ClearCount() const { return clears_; }

 private:
  std::deque<std::string> lines_;
  size_t bytes_ = 0;  // of the lines held
  uint64_t added_ = 0;
  uint64_t clears_ = 0;
};

}  // namespace qorsv
