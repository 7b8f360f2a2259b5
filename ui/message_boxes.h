// The operator message boxes (console/operator_messages.h) on the pages: the source "messages"
// with the boxes still open, oldest first, and the command "messages"/"close" that closes one by
// number, on every page at once, and lets the thread waiting for it go on.
//
// Fields: "boxes" (at most kShownMessageBoxes of them, each {"number", "text"}) and "count" (all
// boxes still open). Every page shows the first box as a modal dialog; the rest wait their turn.
//
// UI thread only; the boxes themselves are raised on any thread, and each change wakes the UI
// loop so that it is published.
#pragma once

#include <cstddef>

#include "ui/operator_server.h"

namespace qorsv {

inline constexpr size_t kShownMessageBoxes = 50;

void AddMessageBoxes(OperatorServer& server);

}  // namespace qorsv
