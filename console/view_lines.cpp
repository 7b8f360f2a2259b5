#include "console/view_lines.h"

namespace qorsv {

void ViewLines::Add(std::string line) {
  if (lines_.size() >= kViewLineLimit) lines_.pop_front();
  lines_.push_back(std::move(line));
  ++added_;
}

void ViewLines::Clear() {
  lines_.clear();
  ++clears_;
}

}  // namespace qorsv
