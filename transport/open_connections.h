// OpenConnections: the number of client connections of the HTTP listener that are open, a 16-bit
// count. The listener counts connections in and out; the script runner reads it.
//
// Every function may be called from any thread; the count is updated atomically.
#pragma once

#include <cstdint>

namespace qorsv {

uint16_t OpenConnections();

// Called by the listener when a connection is accepted and when it ends.
void CountConnectionOpened();
void CountConnectionClosed();

}  // namespace qorsv
