// One ICMP echo exchange with an IPv4 address, for the ping library.
//
// Internal to the library. Each call owns its socket from opening to closing, so calls on
// different threads share nothing.
#pragma once

#include <netinet/in.h>

#include <chrono>

namespace qorsv::netprobe {

// How long one echo waits for its reply. The echo service is asked for no wait at all, but a
// reply needs a moment to travel even on the local network; this is that moment.
inline constexpr std::chrono::milliseconds kEchoWait{500};

// Sends one echo request (no data) to `address` and waits up to `wait` for its reply. Uses an
// ICMP datagram socket when the system allows one to this process's group, else a raw ICMP
// socket. Returns false when neither socket can be opened, the request cannot be sent or no
// matching reply arrives in time.
bool EchoAnswered(in_addr address, std::chrono::milliseconds wait) noexcept;

}  // namespace qorsv::netprobe
