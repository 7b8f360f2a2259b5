#include "transport/open_connections.h"

#include <atomic>

namespace qorsv {
namespace {

std::atomic<uint16_t> open_connections{0};

}  // namespace

uint16_t OpenConnections() { return open_connections.load(std::memory_order_relaxed); }

void CountConnectionOpened() { open_connections.fetch_add(1, std::memory_order_relaxed); }

void CountConnectionClosed() { open_connections.fetch_sub(1, std::memory_order_relaxed); }

}  // namespace qorsv
