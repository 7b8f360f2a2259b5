// Fast forms of the most used standard routines (IntToStr, Copy, Pos, Trim...), working straight
// on the call window's cells instead of going through NativeCall and std::string.
//
// Machine::Load gives an import its fast form only when the import is bound to the engine's own
// routine (no host registration of the name) and is declared with the signature the fast form
// reads, so the result is the one the ordinary routine (stdlib.h) gives. A fast form releases
// its value arguments itself, as Machine::CallNative does for the others.
//
// Threading: the routines keep no state; they run on the thread of the machine they are given.
#pragma once

#include "scriptengine/image.h"

namespace qorsv::script::vm_internal {

class Machine;
union Cell;

using FastRoutine = void (*)(Machine& machine, const ImportInfo& import, Cell* window);

// The fast form of the standard routine `import` names, or nullptr when there is none for its
// name and declared signature.
FastRoutine FindFastRoutine(const ImportInfo& import);

}  // namespace qorsv::script::vm_internal
