// Compiling and running small test scripts: the natives print(s: string) and printi(i: Int64)
// collect output lines; the result says how far the script got. The host class library and the
// variable Application (of class TApplication, left nil) are declared.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "scriptengine/engine.h"

namespace qorsv::script::testing {

struct ScriptRun {
  bool compiled = false;
  std::string message;  // the last compiler message, "[Error] (r:c): text"
  bool loaded = false;
  TIFException load_error = ErNoError;
  std::string load_parameter;
  bool completed = false;  // the main block ran to its end
  std::string output;      // every printed line followed by "\n"
  std::string error;       // the runtime error message when the main block stopped
  RuntimeMemory memory;    // the runtime's accounting after the run
  size_t live_objects = 0;  // host objects the run left alive
};

struct ScriptOptions {
  bool main_block_optional = true;
  uint64_t step_limit = 0;
  // Extra declarations and registrations.
  std::vector<std::string> declarations;
  std::function<void(TPSExec&)> register_natives;
  // Called after a successful load, before the main block runs.
  std::function<void(TPSExec&)> after_load;
};

ScriptRun RunScript(const std::string& text, const ScriptOptions& options = {});

// One script of a table-driven test and the lines it must print.
struct Case {
  const char* name;
  const char* script;
  const char* output;
};

// Runs each case; every one must compile, run to its end and print exactly its output.
void RunCases(const std::vector<Case>& cases);

// The first compiler message of `text`, or "" when it compiles.
std::string CompileMessage(const std::string& text, bool main_block_optional = true);

}  // namespace qorsv::script::testing
