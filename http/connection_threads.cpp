#include "http/connection_threads.h"

#include <pthread.h>

#include <cstring>

#include "transport/error.h"
#include "transport/memory_release.h"

namespace qorsv {
namespace {

struct ThreadStart {
  std::shared_ptr<ConnectionThreads> threads;
  std::function<void()> run;
};

void* ThreadMain(void* argument) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
  start->run();
  return nullptr;
}

}  // namespace

std::shared_ptr<ConnectionThreads> ConnectionThreads::Start(std::unique_ptr<ListeningSocket> socket,
                                                            ServeFunction serve) {
  std::shared_ptr<ConnectionThreads> threads(
      new ConnectionThreads(std::move(socket), std::move(serve)));
  for (int i = 0; i < kSpareThreads; ++i) {
    {
      std::lock_guard<std::mutex> lock(threads->mutex_);
      ++threads->waiting_;
    }
    try {
      threads->StartThread();
    } catch (...) {
      std::lock_guard<std::mutex> lock(threads->mutex_);
      threads->LeaveWaiting();
      if (i == 0) {
        threads->socket_->Stop();
        throw;
      }
      break;
    }
  }
  return threads;
}

void ConnectionThreads::StartThread() {
  auto start = std::make_unique<ThreadStart>();
  start->threads = shared_from_this();
  start->run = [this] { RunThread(); };
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kStackSize);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  int error = pthread_create(&thread, &attributes, ThreadMain, start.get());
  pthread_attr_destroy(&attributes);
  if (error != 0) {
    throw QorsvError("Could not start a connection thread. " + std::string(std::strerror(error)));
  }
  start.release();
}

void ConnectionThreads::LeaveWaiting() {
  --waiting_;
  changed_.notify_all();
}

void ConnectionThreads::RunThread() {
  int idle_rounds = 0;
  for (;;) {
    ListeningSocket::Accepted accepted;
    ListeningSocket::AcceptResult result = socket_->Accept(accepted);
    if (result == ListeningSocket::AcceptResult::kNothing && idle_rounds == 0) {
      // A round without a client: the load is over for now, so what this thread's requests
      // freed goes back to the shared pool, from where the log saver returns it to the system.
      ReleaseThreadCache();
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (result == ListeningSocket::AcceptResult::kStopped) {
      LeaveWaiting();
      return;
    }
    if (result == ListeningSocket::AcceptResult::kNothing) {
      if (++idle_rounds < kIdleRounds) continue;
      idle_rounds = 0;
      if (waiting_ > kSpareThreads) {
        LeaveWaiting();
        return;
      }
      continue;
    }
    idle_rounds = 0;
    --waiting_;
    ++serving_;
    bool start_another = waiting_ == 0;
    if (start_another) ++waiting_;
    lock.unlock();
    if (start_another) {
      try {
        StartThread();
      } catch (...) {
        // The next thread to finish its connection waits again.
        std::lock_guard<std::mutex> relock(mutex_);
        LeaveWaiting();
      }
    }
    try {
      serve_(std::move(accepted));
    } catch (...) {
      // Serving ends its connection whatever happens; nothing may end the thread here.
    }
    lock.lock();
    --serving_;
    changed_.notify_all();
    ++waiting_;
  }
}

void ConnectionThreads::StopAccepting() {
  socket_->Stop();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return waiting_ == 0; });
  socket_->Close();
}

bool ConnectionThreads::WaitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return serving_ == 0; });
}

}  // namespace qorsv
