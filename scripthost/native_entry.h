// One native function as the script host offers it: the declaration text given to the compiler
// and the implementation registered with the runtime under the declared name in upper case.
#pragma once

#include <string>

#include "scriptengine/native.h"

namespace qorsv {

struct NativeEntry {
  std::string declaration;       // e.g. "procedure newline(ue:word);"
  std::string registered_name;   // e.g. "NEWLINE"
  script::NativeFunction function;
};

}  // namespace qorsv
