// Operator message boxes raised outside the UI thread: a queue that the console page shows, one
// box at a time, until the operator closes it.
//
// Callable from any thread. Each box gets a number, counting from 1 in the order the boxes were
// raised; the page lists the pending boxes and closes them by number.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qorsv {

// Queues a message box and returns at once.
void PostOperatorMessage(const std::string& text);

// Queues a message box and blocks the calling thread until the operator has closed it.
// Must not be called on the UI thread.
void ShowOperatorMessageAndWait(const std::string& text);

struct OperatorMessage {
  uint64_t number = 0;
  std::string text;
};

// The boxes not yet closed, oldest first.
std::vector<OperatorMessage> PendingOperatorMessages();

// Closes box `number`; a thread waiting for it returns. False when no such box is pending.
bool CloseOperatorMessage(uint64_t number);

// Closes every pending box, releasing all waiting threads: used when the program closes.
void CloseAllOperatorMessages();

// Called after each change of the pending boxes (one raised or closed), on the thread that made
// the change and outside the queue's lock. The operator pages use it to show the boxes. One
// observer at a time; an empty function removes it.
void SetOperatorMessageObserver(std::function<void()> observer);

}  // namespace qorsv
