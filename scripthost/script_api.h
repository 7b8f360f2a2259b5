// The script API: the 94 native declarations every server script sees, in their fixed order,
// each paired with the implementation registered under its name in upper case.
//
// The script runner gives the declarations to the compiler when it asks for the unit "SYSTEM"
// and registers, for every run, each entry whose function is set. An entry without a function
// only declares: IntToStr (the engine serves it), and the repeated FileExists and FileCreate
// declarations, whose name is registered once, with its first declaration.
//
// The list is built once; reading it is safe from any thread.
#pragma once

#include <vector>

#include "scripthost/native_entry.h"

namespace qorsv {

const std::vector<NativeEntry>& ScriptApiNatives();

}  // namespace qorsv
