// Calls into dynamic libraries for functions that scripts declare `external`.
//
// ExternalLibraries belongs to one runtime (TPSExec): it loads each library once, finds its
// functions and frees every library when the runtime is freed. A library name "X.dll" is looked
// for as given, then as "libX.so" and "X.so", first in the program directory (the directory of
// the running executable), then on the system's library path.
//
// PreparedCall describes one external function's signature (prepared once, when the program is
// loaded) and calls a function pointer with engine-neutral FfiValue arguments through libffi. The
// script's calling convention word does not matter here: every function is called with the
// platform's C convention.
//
// Threading: an ExternalLibraries instance is used by the thread running its runtime only;
// separate instances may live on different threads. A PreparedCall is immutable after
// construction and may be invoked from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qorsv::script {

// The C-level types a script's parameter or result maps to. Callers map the dialect's types:
// Byte kUInt8, ShortInt kInt8, Word kUInt16, SmallInt kInt16, Integer/LongInt kInt32,
// Cardinal/LongWord kUInt32, Int64 kInt64, Boolean kBool (one byte), Char kUInt8, PChar and
// string kPointer (a `const char*` to NUL-terminated text), `var` parameters kPointer,
// Single kSingle, Double and Extended kDouble, a procedure's result kVoid.
enum class FfiType : uint8_t {
  kVoid,
  kInt8,
  kUInt8,
  kInt16,
  kUInt16,
  kInt32,
  kUInt32,
  kInt64,
  kUInt64,
  kBool,
  kPointer,
  kSingle,
  kDouble,
};

// One argument or result. Integer kinds and kBool use `i` (a result is sign- or zero-extended
// from its declared width; a kBool result is 0 or 1), kSingle and kDouble use `d`, kPointer `p`.
struct FfiValue {
  int64_t i = 0;
  double d = 0;
  const void* p = nullptr;
};

class PreparedCall {
 public:
  // Throws ScriptEngineError when libffi refuses the signature (kVoid as a parameter type).
  PreparedCall(FfiType result, std::vector<FfiType> params);
  ~PreparedCall();
  PreparedCall(PreparedCall&&) noexcept;
  PreparedCall& operator=(PreparedCall&&) noexcept;

  FfiType result() const;
  const std::vector<FfiType>& params() const;

  // Calls `function` with `args` (one per parameter, in order). Precondition: function is not
  // null and args.size() == params().size(); a count mismatch throws ScriptEngineError.
  FfiValue Invoke(void* function, std::span<const FfiValue> args) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The outcome of looking up one external function: its address, or what could not be found.
struct ResolvedFunction {
  void* address = nullptr;
  // When address is null: the library name as the script wrote it if the library could not be
  // loaded, otherwise the function name as written.
  std::string missing;
  bool found() const { return address != nullptr; }
};

class ExternalLibraries {
 public:
  // Searches the directory of the running executable first.
  ExternalLibraries();
  // Searches `program_dir` first instead (tests, tools).
  explicit ExternalLibraries(std::string program_dir);
  ~ExternalLibraries();
  ExternalLibraries(const ExternalLibraries&) = delete;
  ExternalLibraries& operator=(const ExternalLibraries&) = delete;

  // Loads `library` (once; later calls reuse it) and looks up `function` in it.
  ResolvedFunction Resolve(const std::string& library, const std::string& function);

  // The path a library was loaded from, or "" when it is not loaded (for messages and tests).
  std::string LoadedPath(const std::string& library) const;

  // The candidate files for a library name, in search order.
  static std::vector<std::string> CandidatePaths(const std::string& program_dir,
                                                 const std::string& library);

 private:
  struct Library {
    void* handle = nullptr;
    std::string path;
  };
  const Library& Load(const std::string& library);

  std::string program_dir_;
  std::map<std::string, Library> libraries_;
};

// The directory of the running executable, ending in "/".
std::string ExecutableDirectory();

}  // namespace qorsv::script
