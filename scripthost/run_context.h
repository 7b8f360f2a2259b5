// What a script run tells its native functions about itself. The script runner fills one per
// run and hands it to the runtime as the host context; natives read it through
// NativeCall::HostContext().
#pragma once

namespace qorsv {

struct RunContext {
  int thread_id = 0;     // the request's connection thread id: owner of the run's SQL handles
  int slot = 0;          // the run's output slot number (the script's constant uniqueecho)
};

// The run context of a native call, or nullptr when the runtime was given none.
inline const RunContext* RunContextOf(const void* host_context) {
  return static_cast<const RunContext*>(host_context);
}

}  // namespace qorsv
