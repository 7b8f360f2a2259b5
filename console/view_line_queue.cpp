#include "console/view_line_queue.h"

namespace qorsv {

bool ViewLineQueue::Push(LogView view, std::string line) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::deque<std::string>& queue = view == LogView::kMemo1 ? memo1_ : syslog_;
  if (queue.size() >= kViewLineLimit) {
    queue.pop_front();
    ++dropped_;
  }
  queue.push_back(std::move(line));
  if (drain_pending_) return false;
  drain_pending_ = true;
  return true;
}

ViewLineQueue::Taken ViewLineQueue::TakeAll() {
  Taken taken;
  std::lock_guard<std::mutex> lock(mutex_);
  taken.memo1.swap(memo1_);
  taken.syslog.swap(syslog_);
  drain_pending_ = false;
  return taken;
}

uint64_t ViewLineQueue::Dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

}  // namespace qorsv
