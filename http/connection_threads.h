// Connection threads: threads that take turns waiting on the listening socket; the thread that
// accepts a client serves that connection itself, alone, and then waits again. When the last
// waiting thread takes a client, it starts a new thread first, so there is always one waiting
// (there is no limit on simultaneous connections). Threads beyond a few spares end after
// waiting kIdleRounds rounds (30 s) without a client, so a busy server keeps its threads.
//
// Created and stopped by the listener on the console's thread. Each thread holds the group (and
// so the socket) alive until it ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "transport/socket.h"

namespace qorsv {

class ConnectionThreads : public std::enable_shared_from_this<ConnectionThreads> {
 public:
  // Serves one accepted connection on the calling thread.
  using ServeFunction = std::function<void(ListeningSocket::Accepted)>;

  // Stack size of each thread. The request records live on the heap, so a small stack serves;
  // what a thread has not touched costs no memory.
  static constexpr size_t kStackSize = 1u << 20;
  // One wait on the socket; threads look at the clock between rounds.
  static constexpr std::chrono::milliseconds kAcceptRound{1000};
  static constexpr int kIdleRounds = 30;  // kIdleLifetime: 30 rounds
  // Threads kept waiting when there is nothing to do.
  static constexpr int kSpareThreads = 4;

  // Starts the first waiting threads. Throws QorsvError when no thread can be started.
  static std::shared_ptr<ConnectionThreads> Start(std::unique_ptr<ListeningSocket> socket,
                                                  ServeFunction serve);

  // Stops accepting and closes the listening socket, once every waiting thread has left it
  // (which they do at once). Threads serving a connection go on until it ends.
  void StopAccepting();
  // Waits until no connection is being served, at most timeout; true when none is.
  bool WaitUntilIdle(std::chrono::milliseconds timeout);

 private:
  ConnectionThreads(std::unique_ptr<ListeningSocket> socket, ServeFunction serve)
      : socket_(std::move(socket)), serve_(std::move(serve)) {}

  // Starts one thread that begins by waiting; the caller has counted it as waiting.
  void StartThread();
  void RunThread();
  // The thread has stopped waiting for good; call with the lock held.
  void LeaveWaiting();

  std::unique_ptr<ListeningSocket> socket_;
  ServeFunction serve_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_ = 0;  // threads in (or about to enter) Accept
  int serving_ = 0;  // threads serving a connection
};

}  // namespace qorsv
