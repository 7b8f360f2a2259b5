// The process-wide pseudo-random generator behind the script functions randomize and random.
// The script runner reseeds it at the start of every run.
//
// One generator for the whole process, behind one lock: callable from any thread.
#pragma once

#include <cstdint>

namespace qorsv {

// Reseeds the generator from the clock.
void ReseedScriptRandom();

// A pseudo-random integer from 0 to range - 1; 0 when range is 0 or below.
int32_t ScriptRandom(int32_t range);

}  // namespace qorsv
