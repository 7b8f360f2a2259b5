#include "console/view_lines.h"

namespace qorsv {

void ViewLines::Add(std::string line) {
  bytes_ += line.size();
  lines_.push_back(std::move(line));
  while (lines_.size() > 1 && (lines_.size() > kViewLineLimit || bytes_ > kViewByteLimit)) {
    bytes_ -= lines_.front().size();
    lines_.pop_front();
  }
  ++added_;
}

void ViewLines::Clear() {
  lines_.clear();
  bytes_ = 0;
  ++clears_;
}

}  // namespace qorsv
