#include "scriptengine/preprocessor.h"

#include <cctype>
#include <set>
#include <string_view>
#include <vector>

#include "scriptengine/engine_error.h"

namespace qorsv::script {
namespace {

constexpr int kMaxIncludeDepth = 20;

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

// "{$NAME argument}" split into the upper-case name and the argument without outer blanks.
struct Directive {
  std::string name;
  std::string argument;
};

Directive ParseDirective(std::string_view body) {
  size_t name_end = 0;
  while (name_end < body.size() && !IsBlank(body[name_end])) ++name_end;
  std::string_view argument = body.substr(name_end);
  while (!argument.empty() && IsBlank(argument.front())) argument.remove_prefix(1);
  while (!argument.empty() && IsBlank(argument.back())) argument.remove_suffix(1);
  return {Upper(body.substr(0, name_end)), std::string(argument)};
}

// The end of the token starting at `pos` that may not hold a directive: a comment, a string
// literal, or a run of ordinary text. Always advances by at least one character.
size_t SkipToken(std::string_view text, size_t pos) {
  const size_t n = text.size();
  const char c = text[pos];
  auto until = [&](std::string_view closer) {
    const size_t found = text.find(closer, pos + 1);
    return found == std::string_view::npos ? n : found + closer.size();
  };
  if (c == '{') return until("}");
  if (c == '(' && pos + 1 < n && text[pos + 1] == '*') return until("*)");
  if (c == '/' && pos + 1 < n && text[pos + 1] == '/') {
    size_t end = pos;
    while (end < n && !IsLineBreak(text[end])) ++end;
    return end;
  }
  if (c == '\'') {
    // A literal ends at its closing quote ('' inside is two adjacent literals) or at the line end.
    size_t end = pos + 1;
    while (end < n && text[end] != '\'' && !IsLineBreak(text[end])) ++end;
    return end < n && text[end] == '\'' ? end + 1 : end;
  }
  size_t end = pos + 1;
  while (end < n && text[end] != '{' && text[end] != '(' && text[end] != '/' && text[end] != '\'')
    ++end;
  return end;
}

// Where a directive stands, for messages: its "{" in the file that holds it.
struct Site {
  std::string_view text;
  size_t offset;

  // "row:column", both 1-based; CR LF, a lone CR and a lone LF each end a line.
  std::string Where() const {
    int row = 1;
    size_t line_start = 0;
    for (size_t k = 0; k < offset; ++k) {
      if (text[k] == '\n' || (text[k] == '\r' && (k + 1 >= text.size() || text[k + 1] != '\n'))) {
        ++row;
        line_start = k + 1;
      }
    }
    return std::to_string(row) + ":" + std::to_string(offset - line_start + 1);
  }
};

struct Conditional {
  bool parent_active;
  bool condition;
  bool in_else;
  bool active() const { return parent_active && (in_else ? !condition : condition); }
};

// Expands one preprocessor run: the symbol table lives across the main file and its includes,
// the conditional stack belongs to each file.
class Expander {
 public:
  explicit Expander(const TPSPreProcessor& owner) : owner_(owner) {}

  void ExpandFile(const std::string& name, std::string_view text, int depth) {
    if (depth == 0) out_.reserve(text.size());
    std::vector<Conditional> stack;
    auto active = [&] { return stack.empty() || stack.back().active(); };
    size_t pos = 0;
    size_t run_start = 0;  // text since the last directive, emitted in one piece
    size_t next_marker = text.find("{$");
    while (pos < text.size()) {
      if (next_marker == std::string_view::npos) {  // no directive can follow: take the rest
        pos = text.size();
        break;
      }
      if (pos > next_marker) next_marker = text.find("{$", pos);
      if (pos != next_marker) {
        pos = SkipToken(text, pos);
        continue;
      }
      Emit(text.substr(run_start, pos - run_start), active());
      const size_t close = text.find('}', pos + 2);
      if (close == std::string_view::npos) {  // left to the compiler as an open comment
        run_start = pos;
        pos = text.size();
        break;
      }
      const Directive directive = ParseDirective(text.substr(pos + 2, close - pos - 2));
      const std::string_view source = text.substr(pos, close + 1 - pos);
      const Site site{text, pos};
      if (!HandleConditional(directive, stack, site) && active()) {
        HandleActive(directive, source, name, depth, site);
      } else {
        Emit(source, false);
      }
      pos = run_start = close + 1;
    }
    Emit(text.substr(run_start, pos - run_start), active());
    if (!stack.empty()) throw ScriptEngineError("Define not closed");
  }

  std::string Take() { return std::move(out_); }

 private:
  // IFDEF, IFNDEF, ELSE and ENDIF count in inactive regions too. Returns false for other names.
  bool HandleConditional(const Directive& directive, std::vector<Conditional>& stack,
                         const Site& site) {
    const std::string& name = directive.name;
    const bool parent_active = stack.empty() || stack.back().active();
    if (name == "IFDEF" || name == "IFNDEF") {
      const bool defined = defines_.count(Upper(directive.argument)) != 0;
      stack.push_back({parent_active, name == "IFDEF" ? defined : !defined, false});
      return true;
    }
    if (name == "ELSE") {
      if (stack.empty()) throw ScriptEngineError("No IFDEF for ELSE at " + site.Where());
      if (!directive.argument.empty())
        throw ScriptEngineError("Too many parameters at " + site.Where());
      if (stack.back().in_else) throw ScriptEngineError("Can't use ELSE twice at " + site.Where());
      stack.back().in_else = true;
      return true;
    }
    if (name == "ENDIF") {
      if (stack.empty()) throw ScriptEngineError("No IFDEF for ENDIF at " + site.Where());
      stack.pop_back();
      return true;
    }
    return false;
  }

  // I, INCLUDE, DEFINE and UNDEF in an active region; any other name is an error.
  void HandleActive(const Directive& directive, std::string_view source, const std::string& file,
                    int depth, const Site& site) {
    const std::string& name = directive.name;
    if (name == "I" || name == "INCLUDE") {
      Include(directive.argument, file, depth);
      return;
    }
    if (name == "DEFINE") {
      defines_.insert(Upper(directive.argument));
    } else if (name == "UNDEF") {
      defines_.erase(Upper(directive.argument));
    } else {
      throw ScriptEngineError("Unknown compiler directives at " + site.Where());
    }
    Emit(source, false);
  }

  void Include(const std::string& argument, const std::string& calling_file, int depth) {
    IncludeFile file;
    if (owner_.ResolveInclude)
      file = owner_.ResolveInclude(calling_file, argument);
    else
      file.name = argument;
    if (!file.found) {
      throw ScriptEngineError("Unable to find file '" + file.name + "' used from '" + calling_file +
                              "'");
    }
    if (depth + 1 > kMaxIncludeDepth) {
      throw ScriptEngineError("Too many nested include files while processing '" + file.name +
                              "' from '" + calling_file + "'");
    }
    ExpandFile(file.name, file.text, depth + 1);
  }

  // Active text is copied; a directive or inactive text becomes blanks of the same length, with
  // its line breaks kept so that every later row and column stays where it was.
  void Emit(std::string_view text, bool keep) {
    if (keep) {
      out_.append(text);
      return;
    }
    for (char c : text) out_.push_back(IsLineBreak(c) ? c : ' ');
  }

  const TPSPreProcessor& owner_;
  std::set<std::string> defines_;
  std::string out_;
};

}  // namespace

std::string TPSPreProcessor::Preprocess(const std::string& main_name,
                                        const std::string& main_text) {
  Expander expander(*this);
  expander.ExpandFile(main_name, main_text, 0);
  return expander.Take();
}

}  // namespace qorsv::script
