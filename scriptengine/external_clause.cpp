#include "scriptengine/external_clause.h"

#include <cctype>

namespace qorsv::script {
namespace {

std::string Upper(std::string_view word) {
  std::string out(word);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::optional<CallingConvention> ConventionFromWord(std::string_view word) {
  const std::string upper = Upper(word);
  if (upper == "STDCALL") return CallingConvention::kStdcall;
  if (upper == "CDECL") return CallingConvention::kCdecl;
  if (upper == "REGISTER") return CallingConvention::kRegister;
  if (upper == "PASCAL") return CallingConvention::kPascal;
  return std::nullopt;
}

ExternalClauseResult Failure(const char* text) { return {std::nullopt, text}; }

// "lib.dll" or "\"lib.dll\"" with no blank: one leading and one trailing quote are dropped.
std::string UnquoteLibrary(std::string_view rest) {
  if (!rest.empty() && rest.front() == '"') rest.remove_prefix(1);
  if (!rest.empty() && rest.back() == '"') rest.remove_suffix(1);
  return std::string(rest);
}

// Reads "Convention[ DELAYLOAD]" into `clause`; `tail` is what follows the library name.
ExternalClauseResult ReadConvention(ExternalClause clause, std::string_view tail) {
  const size_t blank = tail.find(' ');
  const std::string_view word = tail.substr(0, blank);
  const auto convention = ConventionFromWord(word);
  if (!convention) return Failure(kInvalidCallingConvention);
  clause.convention = *convention;
  if (blank != std::string_view::npos) {
    if (Upper(tail.substr(blank + 1)) != "DELAYLOAD") return Failure(kInvalidExternal);
    clause.delay_load = true;
  }
  return {std::move(clause), ""};
}

}  // namespace

ExternalClauseResult ParseExternalClause(std::string_view text) {
  const size_t at = text.rfind('@');
  if (at == std::string_view::npos) return Failure(kInvalidExternal);
  ExternalClause clause;
  clause.function_name = std::string(text.substr(0, at));
  const std::string_view rest = text.substr(at + 1);

  std::string_view tail;
  bool has_tail = false;
  if (rest.find(' ') == std::string_view::npos) {
    clause.library_name = UnquoteLibrary(rest);
  } else if (rest.front() == '"') {
    const size_t close = rest.find('"', 1);
    if (close == std::string_view::npos) return Failure(kInvalidExternal);
    clause.library_name = std::string(rest.substr(1, close - 1));
    const std::string_view after = rest.substr(close + 1);
    // A quoted name may stand alone; otherwise one blank separates it from the convention.
    if (!after.empty()) {
      if (after.front() != ' ') return Failure(kInvalidExternal);
      tail = after.substr(1);
      has_tail = true;
    }
  } else {
    const size_t blank = rest.find(' ');
    clause.library_name = std::string(rest.substr(0, blank));
    tail = rest.substr(blank + 1);
    has_tail = true;
  }
  // A declaration naming no function or no library could never be bound: refuse it at once
  // instead of failing every load of the script.
  if (clause.function_name.empty() || clause.library_name.empty()) return Failure(kInvalidExternal);
  if (!has_tail) return {std::move(clause), ""};
  return ReadConvention(std::move(clause), tail);
}

}  // namespace qorsv::script
