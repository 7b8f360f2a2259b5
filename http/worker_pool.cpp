#include "http/worker_pool.h"

#include <pthread.h>

#include <cstring>

#include "transport/error.h"

namespace qorsv {
namespace {

struct ThreadStart {
  std::shared_ptr<WorkerPool> pool;
  std::function<void()> run;
};

void* ThreadMain(void* argument) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
  start->run();
  return nullptr;
}

}  // namespace

void WorkerPool::Submit(Job job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++busy_;
    if (idle_ > wakeups_) {
      pending_.push_back(std::move(job));
      ++wakeups_;
      work_ready_.notify_one();
      return;
    }
  }
  try {
    StartThread(std::move(job));
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--busy_ == 0) all_done_.notify_all();
    throw;
  }
}

void WorkerPool::StartThread(Job first_job) {
  auto start = std::make_unique<ThreadStart>();
  start->pool = shared_from_this();
  WorkerPool* pool = this;
  start->run = [pool, job = std::move(first_job)]() mutable { pool->RunThread(std::move(job)); };
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kStackSize);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  int error = pthread_create(&thread, &attributes, ThreadMain, start.get());
  pthread_attr_destroy(&attributes);
  if (error != 0) throw QorsvError("Could not start a connection thread. " + std::string(std::strerror(error)));
  start.release();
}

void WorkerPool::RunThread(Job job) {
  for (;;) {
    job();
    job = nullptr;
    std::unique_lock<std::mutex> lock(mutex_);
    if (--busy_ == 0) all_done_.notify_all();
    ++idle_;
    bool woken = work_ready_.wait_for(lock, kIdleLifetime,
                                      [this] { return wakeups_ > 0 || stopping_; });
    --idle_;
    if (!woken || wakeups_ == 0) return;  // idle too long, or stopping with nothing to do
    --wakeups_;
    job = std::move(pending_.front());
    pending_.pop_front();
  }
}

void WorkerPool::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopping_ = true;
  work_ready_.notify_all();
}

bool WorkerPool::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return all_done_.wait_for(lock, timeout, [this] { return busy_ == 0; });
}

int WorkerPool::BusyThreads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return busy_;
}

}  // namespace qorsv
