// The ping library's one export: tells whether a host answers one ICMP echo request.
//
// Scripts reach it as an external function of the library file (declared with
// external 'Ping@netprobe.dll stdcall'); the server itself never links it. Every call opens,
// uses and closes its own socket and shares nothing with other calls, so any number of threads
// may call it at once.
#pragma once

#include <cstdint>

extern "C" {

// host: a host name or a dotted IPv4 address, NUL-terminated, owned by the caller and left
// unchanged. Returns 1 when a reply to one echo request arrived within the wait, else 0; a name
// that does not resolve, a null pointer or any failure of the platform gives 0. Never throws.
__attribute__((visibility("default"))) uint8_t Ping(const char* host) noexcept;
}
