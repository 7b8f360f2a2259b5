#include "console/ui_loop.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <limits>

#include "console/operator_messages.h"
#include "transport/platform.h"

namespace qorsv {

UiLoop::UiLoop() : UiLoop(TickCountMs, PostOperatorMessage) {}

UiLoop::UiLoop(Clock clock, ErrorSink on_error)
    : clock_(std::move(clock)),
      on_error_(std::move(on_error)),
      loop_thread_(std::this_thread::get_id()) {}

UiLoop::~UiLoop() {
  Quit();
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [this] { return waiters_ == 0; });
}

int UiLoop::AddTimer(std::string name, uint64_t period_ms, Task tick) {
  int id = next_timer_id_++;
  uint64_t period = std::max<uint64_t>(period_ms, 1);
  timers_.push_back(Timer{id, std::move(name), period, clock_() + period, std::move(tick)});
  return id;
}

int UiLoop::RunLater(uint64_t delay_ms, Task task) {
  int id = AddTimer("run later", delay_ms, std::move(task));
  timers_.back().once = true;
  return id;
}

int UiLoop::AddAfterWorkHook(Task hook) {
  int id = next_timer_id_++;
  after_work_hooks_.emplace_back(id, std::move(hook));
  return id;
}

void UiLoop::RemoveAfterWorkHook(int id) {
  std::erase_if(after_work_hooks_, [id](const auto& hook) { return hook.first == id; });
}

void UiLoop::RunAfterWorkHooks() {
  // A hook may add or remove hooks: each runs from its own copy.
  std::vector<std::pair<int, Task>> hooks = after_work_hooks_;
  for (const auto& hook : hooks) RunGuarded(hook.second);
}

void UiLoop::StopTimer(int id) {
  std::erase_if(timers_, [id](const Timer& timer) { return timer.id == id; });
}

void UiLoop::Post(Task task) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (quit_) return;
  queue_.push_back(Pending{std::move(task)});
  wake_.notify_one();
}

bool UiLoop::PostAndWait(Task task) {
  if (OnLoopThread()) {
    if (QuitRequested()) return false;
    RunGuarded(task);
    return true;
  }
  bool done = false;
  bool ran = false;
  std::unique_lock<std::mutex> lock(mutex_);
  if (quit_) return false;
  queue_.push_back(Pending{std::move(task), &done, &ran});
  ++waiters_;
  wake_.notify_one();
  finished_.wait(lock, [&done] { return done; });
  if (--waiters_ == 0) finished_.notify_all();
  return ran;
}

void UiLoop::Run() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    loop_thread_ = std::this_thread::get_id();
  }
  for (;;) {
    RunPendingTasks();
    RunDueTimers(clock_());
    std::unique_lock<std::mutex> lock(mutex_);
    if (quit_) return;
    if (!queue_.empty()) continue;
    auto woken = [this] { return quit_ || !queue_.empty(); };
    uint64_t next_due = NextDueMs();
    if (next_due == std::numeric_limits<uint64_t>::max()) {
      wake_.wait(lock, woken);
    } else {
      uint64_t now = clock_();
      uint64_t wait_ms = next_due > now ? next_due - now : 0;
      wake_.wait_for(lock, std::chrono::milliseconds(wait_ms), woken);
    }
  }
}

void UiLoop::Quit() {
  std::deque<Pending> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    dropped.swap(queue_);
    wake_.notify_all();
  }
  for (const Pending& pending : dropped) Finish(pending, false);
}

bool UiLoop::QuitRequested() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return quit_;
}

size_t UiLoop::QueuedTaskCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

bool UiLoop::OnLoopThread() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return loop_thread_ == std::this_thread::get_id();
}

size_t UiLoop::RunPendingTasks() {
  size_t count = 0;
  for (;;) {
    std::vector<Pending> batch = TakeQueue();
    if (batch.empty()) {
      if (count > 0) RunAfterWorkHooks();
      return count;
    }
    for (const Pending& pending : batch) {
      if (QuitRequested()) {
        Finish(pending, false);
        continue;
      }
      RunGuarded(pending.task);
      Finish(pending, true);
      ++count;
    }
  }
}

size_t UiLoop::RunDueTimers(uint64_t now_ms) {
  // A tick may add or stop timers, so the due ones are chosen first and looked up again by id.
  std::vector<int> due;
  for (const Timer& timer : timers_) {
    if (timer.next_due_ms <= now_ms) due.push_back(timer.id);
  }
  size_t count = 0;
  for (int id : due) {
    if (QuitRequested()) break;
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [id](const Timer& timer) { return timer.id == id; });
    if (it == timers_.end()) continue;
    Task tick = it->tick;
    if (it->once) {
      timers_.erase(it);
    } else {
      // Ticks missed while the loop was busy are not made up: one tick, then a whole period.
      it->next_due_ms += it->period_ms;
      if (it->next_due_ms <= now_ms) it->next_due_ms = now_ms + it->period_ms;
    }
    RunGuarded(tick);
    ++count;
  }
  if (count > 0) RunAfterWorkHooks();
  return count;
}

void UiLoop::RunGuarded(const Task& task) {
  try {
    task();
  } catch (const std::exception& error) {
    on_error_(error.what());
  } catch (...) {
    on_error_("Unknown error");
  }
}

void UiLoop::Finish(const Pending& pending, bool ran) {
  if (pending.done == nullptr) return;
  std::lock_guard<std::mutex> lock(mutex_);
  *pending.ran = ran;
  *pending.done = true;
  finished_.notify_all();
}

std::vector<UiLoop::Pending> UiLoop::TakeQueue() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Pending> batch(std::make_move_iterator(queue_.begin()),
                             std::make_move_iterator(queue_.end()));
  queue_.clear();
  return batch;
}

uint64_t UiLoop::NextDueMs() const {
  uint64_t next = std::numeric_limits<uint64_t>::max();
  for (const Timer& timer : timers_) next = std::min(next, timer.next_due_ms);
  return next;
}

}  // namespace qorsv
