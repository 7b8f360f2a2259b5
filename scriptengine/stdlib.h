// The engine's own standard routines (IntToStr, Copy, Pos, Trim, FloatToStr, RaiseException...).
//
// Every TPSExec binds them after the host's natives, so a host registration of the same
// upper-case name replaces the engine's. The table is built once per process. Their declaration texts are in
// standard_decls.h. Each is an ordinary NativeFunction; the few that need the machine (exception
// inspection, variants) reach it through VmNativeCall.
//
// Threading: the routines keep no state of their own.
#pragma once

#include <string>

#include "scriptengine/native.h"

namespace qorsv::script {

const NativeTable& StandardRoutines();

// Case mapping of bytes: ASCII only, or Windows-1252 (Latin-1 letters from 128 up) for the
// Ansi routines.
std::string UpperCaseAscii(std::string text);
std::string LowerCaseAscii(std::string text);
std::string AnsiUpperCaseText(std::string text);
std::string AnsiLowerCaseText(std::string text);

}  // namespace qorsv::script
