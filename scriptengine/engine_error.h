// The failure type of the script engine.
//
// Every failure that leaves the engine towards its host (a preprocessor directive error, a call
// by name that does not fit the routine, a runtime error of a routine called by name) is raised as
// a ScriptEngineError whose what() is the exact message text the host shows or sends on. The
// engine has no dependency on the rest of the project, so this type stands alone; the host
// catches it like any std::runtime_error. Instances are plain values: safe on any thread.
#pragma once

#include <stdexcept>
#include <string>

namespace qorsv::script {

class ScriptEngineError : public std::runtime_error {
 public:
  explicit ScriptEngineError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace qorsv::script
