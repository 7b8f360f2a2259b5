// Connection threads: every accepted connection is served alone on a thread of its own. Threads
// are kept for a while after their connection ends and reused for the next one, so a busy
// server does not create a thread per request; a thread idle for kIdleLifetime ends.
//
// Submit is called by the accept thread; Stop and WaitIdle by whoever stops the listener. A
// thread holds the pool alive (shared ownership) until it ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace qorsv {

class WorkerPool : public std::enable_shared_from_this<WorkerPool> {
 public:
  using Job = std::function<void()>;

  // Stack size of each thread. The request records live on the heap, so a small stack serves;
  // what a thread has not touched costs no memory.
  static constexpr size_t kStackSize = 1u << 20;
  static constexpr std::chrono::seconds kIdleLifetime{30};

  static std::shared_ptr<WorkerPool> Create() { return std::shared_ptr<WorkerPool>(new WorkerPool); }

  // Runs the job on an idle thread, or on a new one when none is idle. Throws QorsvError when no
  // thread can be created.
  void Submit(Job job);

  // Idle threads end, and threads end when their job is done.
  void Stop();

  // Waits until no job runs any more, at most timeout; true when none runs.
  bool WaitIdle(std::chrono::milliseconds timeout);

  int BusyThreads() const;

 private:
  WorkerPool() = default;
  void StartThread(Job first_job);
  void RunThread(Job job);

  mutable std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable all_done_;
  std::deque<Job> pending_;
  int idle_ = 0;     // threads waiting for a job
  int wakeups_ = 0;  // pending jobs promised to idle threads
  int busy_ = 0;     // jobs running
  bool stopping_ = false;
};

}  // namespace qorsv
