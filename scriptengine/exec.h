// The runtime of the script dialect: loads a program image and runs its routines.
//
// The script runner creates one TPSExec per run: the host registers its natives (a later
// registration of a name wins; the engine's own standard routines come last),
// Load binds every native and library function the program uses, and CallProcedure and
// RunMainBlock run script code. Runtime errors never escape as crashes: they end the running
// routine, unwinding to the script's own exception handlers first. A runtime's memory is capped
// (a runaway script gets "Out Of Memory"), its call depth too ("Out Of Stack Range"). Freeing the
// runtime frees every library it loaded and every value the script left behind.
//
// Threading: an instance runs on one thread at a time; instances share nothing, so runs on
// different threads are independent.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scriptengine/engine_error.h"
#include "scriptengine/host_object.h"
#include "scriptengine/native.h"

namespace qorsv::script {

// The kinds of runtime error, declared to scripts under these names.
enum TIFException : int {
  ErNoError,
  erCannotImport,
  erInvalidType,
  ErInternalError,
  erInvalidHeader,
  erInvalidOpcode,
  erInvalidOpcodeParameter,
  erNoMainProc,
  erOutOfGlobalVarsRange,
  erOutOfProcRange,
  ErOutOfRange,
  erOutOfStackRange,
  ErTypeMismatch,
  erUnexpectedEof,
  erVersionError,
  ErDivideByZero,
  ErMathError,
  erCouldNotCallProc,
  erOutofRecordRange,
  erOutOfMemory,
  erException,
  erNullPointerException,
  erNullVariantError,
  erInterfaceNotSupported,
  erCustomError,
};

// The fixed message of an error kind built with its parameter ("Cannot Import FOO",
// "Exception: boom", "divide by Zero"...).
std::string ExceptionToString(TIFException kind, const std::string& param);

// What a runtime's strings, arrays and variants hold, in bytes (spare capacity included; the
// memory cap of a run counts the same bytes).
struct RuntimeMemory {
  int64_t live = 0;       // now
  int64_t peak = 0;       // the most at any one time
  int64_t allocated = 0;  // every block allocated or resized, added up: the work done
};

// A dynamically typed value passed to or returned from a routine called by name.
class CallValue {
 public:
  enum class Kind { kNone, kWord, kLongWord, kInteger, kInt64, kBoolean, kFloat, kText };

  CallValue() = default;
  static CallValue Word(uint16_t value);
  static CallValue LongWord(uint32_t value);
  static CallValue Integer(int32_t value);
  static CallValue Int64(int64_t value);
  static CallValue Boolean(bool value);
  static CallValue Float(double value);
  static CallValue Text(std::string value);

  Kind kind() const { return kind_; }
  bool IsNone() const { return kind_ == Kind::kNone; }

  // Conversions for the caller. A text converts to a number when it holds one; otherwise
  // ScriptEngineError "Type Mismatch". kNone converts to 0 and "".
  int32_t ToInt32() const;
  int64_t ToInt64() const;
  double ToFloat() const;
  std::string ToText() const;

 private:
  Kind kind_ = Kind::kNone;
  int64_t int_ = 0;
  double float_ = 0;
  std::string text_;
};

namespace vm_internal {
class Machine;
}

struct ProgramImage;

// A program image read and checked once, loadable into any number of runtimes on any threads.
using SharedProgram = std::shared_ptr<const ProgramImage>;

class TPSExec {
 public:
  TPSExec();
  ~TPSExec();
  TPSExec(const TPSExec&) = delete;
  TPSExec& operator=(const TPSExec&) = delete;

  // Binds the upper-case `name` to a native implementation; the last registration wins.
  void RegisterNative(const std::string& name, NativeFunction function);
  // Binds the natives of a table built once and shared between runtimes: cheaper than
  // registering them one by one for every run. Natives registered one by one take precedence
  // over the table's, and the table's over the engine's standard routines.
  void UseNatives(std::shared_ptr<const NativeTable> table);

  // The bindings of the host classes whose members the program calls (without them, a program
  // that uses a class fails to load). Call before Load.
  void SetClassImporter(std::shared_ptr<const TPSRuntimeClassImporter> classes);

  // The pointer natives receive as NativeCall::HostContext().
  void SetHostContext(void* context);

  // Where library files of `external` functions are looked for first (default: the directory
  // of the running executable). Call before Load.
  void SetLibraryDirectory(const std::string& directory);

  // Stops a run with a runtime error after about `steps` loop iterations and calls (0, the
  // default, means no limit). For fuzzing and tests: the limit cannot be caught by a script.
  void SetStepLimit(uint64_t steps);

  // Ends the run once `deadline` has passed: at the next loop back-edge or call after it (the
  // clock is read every few thousand of them, and when a routine is entered), the running
  // routine stops with the runtime error erCustomError whose text is `message`. Like the step
  // limit, a script cannot catch it. Call on the thread that runs the script, before or between
  // its calls.
  void SetDeadline(std::chrono::steady_clock::time_point deadline, std::string message);

  // Loads a program image and binds its natives and library functions. On failure, false with
  // LastError and LastErrorParameter set (an unregistered native: erCannotImport and its
  // upper-case name).
  bool Load(const std::string& image);
  // Loads a program read before with ReadProgram: the same as loading its bytes, without
  // reading and checking them again.
  bool Load(SharedProgram program);
  // Reads and checks image bytes once, for loading into many runtimes; nullptr when they are no
  // valid image (Load of the bytes tells why).
  static SharedProgram ReadProgram(const std::string& image);

  // Calls a top-level routine by name (case-insensitive). The result is kNone for a procedure.
  // Throws ScriptEngineError: "Unknown procedure", "Not enough parameters", "Too many
  // parameters", "Invalid parameter", or on a runtime error the native's own message when the
  // error came from a native, else the message of the error's kind.
  CallValue CallProcedure(const std::string& name, const std::vector<CallValue>& args = {});

  // Runs the main block (an empty one when the script has none). False on a runtime error,
  // whose kind, parameter and message are then available.
  bool RunMainBlock();

  // Sets a global script variable of a host class (case-insensitive name) to a host object,
  // which the run then holds and frees at its end. False when no program is loaded or there is
  // no such variable of a class type.
  bool SetVariableObject(const std::string& name, std::unique_ptr<HostObject> object);
  // How many host objects the run holds.
  size_t LiveObjects() const;
  // Reads and writes simple global variables (ordinals, floats, strings) by name.
  // Throws ScriptEngineError "Unknown variable" or "Invalid parameter".
  CallValue GetVariable(const std::string& name) const;
  void SetVariable(const std::string& name, const CallValue& value);

  // Sets the hidden variables of the late literals (TPSPascalCompiler::LateLiterals) of the
  // loaded program: values[i] is literal i's. Throws ScriptEngineError "Unknown variable" when
  // the program lacks one of them, or "Invalid parameter" when a value does not fit its type.
  void SetLateLiterals(const std::vector<CallValue>& values);

  RuntimeMemory Memory() const;

  // The last load or runtime error.
  TIFException LastError() const;
  const std::string& LastErrorParameter() const;
  // The text of the last runtime error: a native's own message, else ExceptionToString.
  std::string LastErrorMessage() const;

 private:
  std::unique_ptr<vm_internal::Machine> machine_;
};

}  // namespace qorsv::script
