#include "console/view_line_queue.h"

namespace qorsv {
namespace {

// The text a too long line is shown with: its first kViewLineBytes bytes, then its length.
std::string CutLine(std::string_view line) {
  std::string cut(line.substr(0, kViewLineBytes));
  cut += " [... " + std::to_string(line.size()) + " bytes in all]";
  return cut;
}

}  // namespace

size_t PackedLines::Add(std::string_view line, size_t max_lines, size_t max_bytes) {
  if (empty()) {
    // Nothing held: start again at the front rather than behind dropped bytes.
    bytes_.clear();
    ends_.clear();
    first_ = 0;
  }
  bytes_.append(line);
  ends_.push_back(bytes_.size());
  size_t dropped = 0;
  while (size() > 1 && (size() > max_lines || ByteCount() > max_bytes)) {
    ++first_;
    ++dropped;
  }
  if (dropped > 0) Compact();
  return dropped;
}

std::string_view PackedLines::operator[](size_t i) const {
  size_t line = first_ + i;
  return std::string_view(bytes_).substr(Start(line), ends_[line] - Start(line));
}

std::vector<std::string> PackedLines::Lines() const {
  std::vector<std::string> lines;
  lines.reserve(size());
  for (size_t i = 0; i < size(); ++i) lines.emplace_back((*this)[i]);
  return lines;
}

void PackedLines::Compact() {
  // Only once the dropped lines outnumber or outweigh those held: each compaction moves no more
  // than was dropped since the last, so the work per line stays constant.
  size_t start = Start(first_);
  if (first_ < size() && start < ByteCount()) return;
  bytes_.erase(0, start);
  ends_.erase(ends_.begin(), ends_.begin() + static_cast<std::ptrdiff_t>(first_));
  for (size_t& end : ends_) end -= start;
  first_ = 0;
}

bool ViewLineQueue::Push(LogView view, std::string_view line) {
  std::string cut;
  if (line.size() > kViewLineBytes) {
    cut = CutLine(line);
    line = cut;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  PackedLines& queue = view == LogView::kMemo1 ? memo1_ : syslog_;
  dropped_ += queue.Add(line, kViewLineLimit, kViewByteLimit);
  if (drain_pending_) return false;
  drain_pending_ = true;
  return true;
}

ViewLineQueue::Taken ViewLineQueue::TakeAll() {
  Taken taken;
  std::lock_guard<std::mutex> lock(mutex_);
  std::swap(taken.memo1, memo1_);
  std::swap(taken.syslog, syslog_);
  drain_pending_ = false;
  return taken;
}

uint64_t ViewLineQueue::Dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

}  // namespace qorsv
