// The platform layer: the program directory, the system's date and time texts, thread
// identity and a monotonic millisecond clock.
//
// Used by every subsystem that builds paths, stamps log lines or names a request's thread.
// Every function may be called from any thread.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>

namespace qorsv {

// Directory of the running executable (/proc/self/exe) with a trailing "/". Every data path of
// the system is relative to it. Computed once per process.
const std::string& ProgramDir();

// The path of the running executable (/proc/self/exe). Computed once per process.
const std::string& ProgramFile();

// The system's short date text of a moment in local time: dd/mm/yyyy.
std::string ShortDateText(std::time_t moment);

// The system's long time text of a moment in local time: hh:mm:ss, 24 hours.
std::string LongTimeText(std::time_t moment);

// ShortDateText + " - " + LongTimeText of one moment, converted once.
std::string DateTimeText(std::time_t moment);

// Kernel id of the calling thread (gettid); a request's identity is its thread's id.
pid_t CurrentThreadId();

// Milliseconds from a fixed point in the past, never going backwards.
uint64_t TickCountMs();

}  // namespace qorsv
