// UiLoop: the console's thread. It runs posted tasks in the order they were posted and the
// windows' timers at their periods, one thing at a time, until Quit().
//
// Post, PostAndWait and Quit may be called from any thread; AddTimer, RunLater, StopTimer,
// AddAfterWorkHook and the test steps (RunPendingTasks, RunDueTimers) belong to the loop's own
// thread, or to a test driving the loop by hand instead of Run(). An exception that escapes a task or a timer tick becomes an
// operator message (console/operator_messages.h) and the loop carries on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qorsv {

class UiLoop {
 public:
  using Task = std::function<void()>;
  // Milliseconds from a fixed point, never going backwards.
  using Clock = std::function<uint64_t()>;
  // Receives the text of an exception that escaped a task or tick.
  using ErrorSink = std::function<void(const std::string&)>;

  // The real monotonic clock and operator messages for escaped errors.
  UiLoop();
  UiLoop(Clock clock, ErrorSink on_error);
  UiLoop(const UiLoop&) = delete;
  UiLoop& operator=(const UiLoop&) = delete;
  ~UiLoop();

  // Starts a timer whose first tick is one period from now. Returns its id.
  int AddTimer(std::string name, uint64_t period_ms, Task tick);
  void StopTimer(int id);
  // Runs a task once, delay_ms from now. Returns its timer id, which StopTimer accepts.
  int RunLater(uint64_t delay_ms, Task task);
  // Runs `hook` after every round of work: once RunPendingTasks has run at least one task and
  // once RunDueTimers has run at least one tick. The operator pages publish the windows' state
  // changes from here, whatever task or tick made them. Returns an id for RemoveAfterWorkHook.
  int AddAfterWorkHook(Task hook);
  void RemoveAfterWorkHook(int id);

  // Queues a task for the loop's thread and returns at once.
  void Post(Task task);
  // Queues a task and blocks until it has run. On the loop's own thread the task runs at once.
  // Returns false when the loop ended before the task could run.
  bool PostAndWait(Task task);

  // Runs tasks and timers on the calling thread until Quit().
  void Run();
  // Makes Run() return after the task or tick in progress; tasks still queued are dropped and
  // their waiters released.
  void Quit();
  bool QuitRequested() const;
  // Tasks posted and not yet taken by the loop.
  size_t QueuedTaskCount() const;

  // True on the thread that runs the loop (the thread that constructed it, until Run() starts).
  bool OnLoopThread() const;

  // Test steps: run every queued task (including those they post), and run every timer due at
  // the given moment of the clock. Each returns how many tasks or ticks ran.
  size_t RunPendingTasks();
  size_t RunDueTimers(uint64_t now_ms);

  uint64_t Now() const { return clock_(); }
  // Hands an error text to the loop's error sink, as an escaped exception would be.
  void ReportError(const std::string& text) { on_error_(text); }

 private:
  struct Timer {
    int id;
    std::string name;
    uint64_t period_ms;
    uint64_t next_due_ms;
    Task tick;
    bool once = false;
  };
  struct Pending {
    Task task;
    // Set for PostAndWait: the waiter is released through these.
    bool* done = nullptr;
    bool* ran = nullptr;
  };

  void RunGuarded(const Task& task);
  void RunAfterWorkHooks();
  void Finish(const Pending& pending, bool ran);
  std::vector<Pending> TakeQueue();
  // Time until the next timer is due, for the wait in Run().
  uint64_t NextDueMs() const;

  Clock clock_;
  ErrorSink on_error_;
  std::thread::id loop_thread_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  std::deque<Pending> queue_;
  bool quit_ = false;
  // Threads blocked in PostAndWait; the destructor waits until they have left.
  int waiters_ = 0;

  // Timers are touched only on the loop's thread.
  std::vector<Timer> timers_;
  int next_timer_id_ = 1;
  std::vector<std::pair<int, Task>> after_work_hooks_;
};

}  // namespace qorsv
