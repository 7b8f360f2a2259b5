// Operator message boxes raised outside the UI thread: a queue that the console page shows, one
// box at a time, until the operator closes it.
//
// Callable from any thread.
#pragma once

#include <string>

namespace qorsv {

// Queues a message box and returns at once.
void PostOperatorMessage(const std::string& text);

// Queues a message box and blocks the calling thread until the operator has closed it.
// Must not be called on the UI thread.
void ShowOperatorMessageAndWait(const std::string& text);

}  // namespace qorsv
