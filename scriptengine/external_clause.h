// Reading the string of a script's `external` clause.
//
// A script declares a function of a dynamic library as a routine heading followed by
// `external 'Name@Library Convention [DELAYLOAD]'`. The compiler's DeclareExternal hook hands
// the string to ParseExternalClause and either keeps the result in the program image or reports
// the returned error text ("Invalid External", "Invalid Calling Convention") as a compiler error.
// Pure function of its input: safe on any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qorsv::script {

// Every convention is called as the platform's C convention; the word is kept because the
// program image records what the script declared.
enum class CallingConvention { kRegister, kStdcall, kCdecl, kPascal };

struct ExternalClause {
  std::string function_name;  // name of the export in the library, as written
  std::string library_name;   // file name as written, without its surrounding double quotes
  CallingConvention convention = CallingConvention::kRegister;
  bool delay_load = false;  // load the library and find the function at the first call
};

inline constexpr char kInvalidExternal[] = "Invalid External";
inline constexpr char kInvalidCallingConvention[] = "Invalid Calling Convention";

// Either the parsed clause or the error text the compiler reports.
struct ExternalClauseResult {
  std::optional<ExternalClause> clause;
  std::string error;  // empty when clause holds a value
};

// Parses an external string such as "Ping@netprobe.dll stdcall" or
// "Fn@\"my lib.dll\" cdecl delayload".
ExternalClauseResult ParseExternalClause(std::string_view text);

}  // namespace qorsv::script
