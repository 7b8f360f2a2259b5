#include "console/operator_messages.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

namespace qorsv {
namespace {

// The process-wide queue of boxes, behind one lock.
struct MessageQueue {
  std::mutex mutex;
  std::condition_variable closed;
  std::deque<OperatorMessage> pending;
  uint64_t next_number = 1;
};

// Never destroyed: when the shut-down switch ends the program, a script may still be waiting for
// its box, and destroying the condition variable at exit would wait for that thread for ever.
MessageQueue& Queue() {
  static MessageQueue& queue = *new MessageQueue;
  return queue;
}

struct ObserverSlot {
  std::mutex mutex;
  std::function<void()> observer;
};

ObserverSlot& Observer() {
  static ObserverSlot slot;
  return slot;
}

// Called under the slot's lock, so an observer being removed is never called afterwards.
void NotifyObserver() {
  ObserverSlot& slot = Observer();
  std::lock_guard<std::mutex> lock(slot.mutex);
  if (slot.observer) slot.observer();
}

// Until the console page shows the boxes, the terminal that started the server sees them (and
// closes them: see terminal_messages.h).
void EchoToTerminal(const std::string& text) {
  std::fprintf(stderr, "qorsv message: %s\n", text.c_str());
  std::fflush(stderr);
}

uint64_t Enqueue(MessageQueue& queue, const std::string& text) {
  uint64_t number = queue.next_number++;
  queue.pending.push_back(OperatorMessage{number, text});
  return number;
}

bool IsPending(const MessageQueue& queue, uint64_t number) {
  return std::any_of(queue.pending.begin(), queue.pending.end(),
                     [number](const OperatorMessage& box) { return box.number == number; });
}

}  // namespace

void PostOperatorMessage(const std::string& text) {
  MessageQueue& queue = Queue();
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    Enqueue(queue, text);
  }
  EchoToTerminal(text);
  NotifyObserver();
}

void ShowOperatorMessageAndWait(const std::string& text) {
  MessageQueue& queue = Queue();
  std::unique_lock<std::mutex> lock(queue.mutex);
  uint64_t number = Enqueue(queue, text);
  EchoToTerminal(text);
  lock.unlock();
  NotifyObserver();
  lock.lock();
  queue.closed.wait(lock, [&queue, number] { return !IsPending(queue, number); });
}

std::vector<OperatorMessage> PendingOperatorMessages() {
  MessageQueue& queue = Queue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  return {queue.pending.begin(), queue.pending.end()};
}

bool CloseOperatorMessage(uint64_t number) {
  MessageQueue& queue = Queue();
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    auto it = std::find_if(queue.pending.begin(), queue.pending.end(),
                           [number](const OperatorMessage& box) { return box.number == number; });
    if (it == queue.pending.end()) return false;
    queue.pending.erase(it);
    queue.closed.notify_all();
  }
  NotifyObserver();
  return true;
}

void CloseAllOperatorMessages() {
  MessageQueue& queue = Queue();
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.pending.clear();
    queue.closed.notify_all();
  }
  NotifyObserver();
}

void SetOperatorMessageObserver(std::function<void()> observer) {
  ObserverSlot& slot = Observer();
  std::lock_guard<std::mutex> lock(slot.mutex);
  slot.observer = std::move(observer);
}

}  // namespace qorsv
