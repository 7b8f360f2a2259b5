// TPSPascalCompiler: drives lexer, parser, checker and code generator over one text.
#include "scriptengine/compiler.h"

#include <algorithm>
#include <cctype>
#include <new>

#include "scriptengine/checker.h"
#include "scriptengine/codegen.h"
#include "scriptengine/external_clause.h"
#include "scriptengine/image.h"
#include "scriptengine/parser.h"

namespace qorsv::script {

namespace compiler_internal {

// Everything one compilation owns.
class CompilerState {
 public:
  CompilerState() : checker(interner, types, arena), codegen(checker, types) {
    checker.set_sink(&codegen);
    checker.DeclareBuiltins();
  }

  Interner interner;
  TypeTable types;
  Arena arena;
  Checker checker;
  Codegen codegen;
};

}  // namespace compiler_internal

using compiler_internal::CompileError;
using compiler_internal::CompilerState;
using compiler_internal::Parser;
using compiler_internal::SourcePos;
using compiler_internal::TopLevelItem;

std::string TPSPascalCompilerMessage::MessageToString() const {
  const char* word = kind == TPSPascalCompilerMessageKind::kError     ? "Error"
                     : kind == TPSPascalCompilerMessageKind::kWarning ? "Warning"
                                                                      : "Hint";
  return std::string("[") + word + "] " + module_name + "(" + std::to_string(row) + ":" +
         std::to_string(col) + "): " + text;
}

namespace {

bool DefaultDeclareExternal(const std::string&, const std::string& external_text) {
  ExternalClauseResult parsed = ParseExternalClause(external_text);
  if (!parsed.clause) throw ScriptEngineError(parsed.error);
  return true;
}

}  // namespace

TPSPascalCompiler::TPSPascalCompiler()
    : DeclareExternal(DefaultDeclareExternal), state_(std::make_unique<CompilerState>()) {}

TPSPascalCompiler::~TPSPascalCompiler() = default;

namespace {

void DeclareNativeIn(CompilerState& state, const std::string& declaration) {
  try {
    Parser parser(declaration, state.interner, state.arena);
    state.checker.DeclareNative(parser.ParseHeadingOnly());
  } catch (const CompileError&) {
    throw ScriptEngineError("Unable to register function " + declaration);
  }
}

}  // namespace

namespace {

// The name a routine heading declares: the word after "procedure" or "function", upper-case.
std::string DeclaredNameOf(const std::string& text) {
  auto is_name_char = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  };
  size_t i = 0;
  while (i < text.size() && !is_name_char(text[i])) ++i;  // leading blanks
  while (i < text.size() && is_name_char(text[i])) ++i;   // "procedure" or "function"
  while (i < text.size() && !is_name_char(text[i])) ++i;
  std::string upper;
  for (; i < text.size() && is_name_char(text[i]); ++i) {
    upper += (text[i] >= 'a' && text[i] <= 'z') ? static_cast<char>(text[i] - 32) : text[i];
  }
  return upper;
}

}  // namespace

NativeDeclarations::NativeDeclarations(const std::vector<std::string>& texts) {
  // Each text is checked once here, in a compilation of its own: the compilations that use the
  // set read only texts known to be good.
  CompilerState check;
  for (const std::string& text : texts) {
    DeclareNativeIn(check, text);
    by_name_[DeclaredNameOf(text)] = text;
  }
}

NativeDeclarations::NativeDeclarations(const std::vector<std::string>& texts, Unchecked) {
  by_name_.reserve(texts.size());
  for (const std::string& text : texts) by_name_[DeclaredNameOf(text)] = text;
}

const std::string* NativeDeclarations::Find(const std::string& upper_name) const {
  auto found = by_name_.find(upper_name);
  return found == by_name_.end() ? nullptr : &found->second;
}

namespace {

void DeclareNativesIn(CompilerState& state, const std::shared_ptr<const NativeDeclarations>& natives) {
  state.checker.DeclareNatives(natives);
}

}  // namespace

void TPSPascalCompiler::DeclareNatives(std::shared_ptr<const NativeDeclarations> natives) {
  DeclareNativesIn(*state_, natives);
  if (!compiling_) {
    standing_declarations_.push_back(
        [natives](CompilerState& state) { DeclareNativesIn(state, natives); });
  }
}

void TPSPascalCompiler::DeclareNative(const std::string& declaration) {
  DeclareNativeIn(*state_, declaration);
  if (!compiling_) {
    standing_declarations_.push_back(
        [declaration](CompilerState& state) { DeclareNativeIn(state, declaration); });
  }
}

namespace {

void DeclareClassLibraryIn(CompilerState& state) {
  state.checker.DeclareClassLibrary();
  DeclareNativeIn(state, "function CreateOleObject(const ClassName: string): IDispatch;");
  DeclareNativeIn(state, "function GetActiveOleObject(const ClassName: string): IDispatch;");
}

}  // namespace

void TPSPascalCompiler::DeclareClassLibrary() {
  DeclareClassLibraryIn(*state_);
  if (!compiling_) standing_declarations_.push_back(DeclareClassLibraryIn);
}

void TPSPascalCompiler::DeclareHostVariable(const std::string& name,
                                            const std::string& class_name) {
  state_->checker.DeclareHostVariable(name, class_name);
  if (!compiling_) {
    standing_declarations_.push_back([name, class_name](CompilerState& state) {
      state.checker.DeclareHostVariable(name, class_name);
    });
  }
}

namespace {

// Rows and columns of byte offsets in `text`, counting line breaks as the lexer does (CR LF, LF
// or a lone CR).
std::vector<compiler_internal::SourcePos> PositionsOf(const std::string& text,
                                                      const std::vector<size_t>& offsets) {
  std::vector<size_t> order(offsets.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return offsets[a] < offsets[b]; });
  std::vector<compiler_internal::SourcePos> positions(offsets.size(), {0, 0});
  int row = 1;
  size_t line_start = 0;
  size_t scanned = 0;
  for (size_t index : order) {
    size_t offset = offsets[index];
    if (offset >= text.size()) continue;  // never matches a literal
    for (; scanned < offset; ++scanned) {
      char c = text[scanned];
      if (c == '\n' || (c == '\r' && (scanned + 1 >= text.size() || text[scanned + 1] != '\n'))) {
        ++row;
        line_start = scanned + 1;
      }
    }
    positions[index] = {row, static_cast<int>(offset - line_start) + 1};
  }
  return positions;
}

}  // namespace

bool TPSPascalCompiler::Compile(const std::string& text) {
  messages_.clear();
  image_.clear();
  late_literals_reusable_ = false;
  if (used_) {
    // Each compilation starts from the standard declarations and those made before it.
    state_ = std::make_unique<CompilerState>();
    for (const auto& declare : standing_declarations_) declare(*state_);
  }
  used_ = true;
  compiling_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{compiling_};
  auto fail = [this](SourcePos pos, const std::string& message) {
    TPSPascalCompilerMessage entry;
    entry.kind = TPSPascalCompilerMessageKind::kError;
    entry.row = pos.row;
    entry.col = pos.col;
    entry.text = message;
    messages_.push_back(std::move(entry));
    return false;
  };

  compiler_internal::Checker& checker = state_->checker;
  checker.on_uses = [this](const std::string& unit, const std::string& spelling, SourcePos pos) {
    bool accepted;
    try {
      accepted = DeclareUnit ? DeclareUnit(*this, unit) : unit == "SYSTEM";
    } catch (const std::exception& error) {
      throw CompileError(pos, error.what());
    }
    if (!accepted) throw CompileError(pos, "Unknown unit '" + spelling + "'");
  };
  checker.on_external = [this](const compiler_internal::Routine& routine, SourcePos pos) {
    bool accepted;
    try {
      accepted = !DeclareExternal || DeclareExternal(routine.display, routine.external_text);
    } catch (const std::exception& error) {
      throw CompileError(pos, error.what());
    }
    if (!accepted) throw CompileError(pos, "Invalid External");
  };

  if (!LateLiterals.empty()) checker.SetLateLiterals(PositionsOf(text, LateLiterals));
  try {
    checker.on_uses("SYSTEM", "SYSTEM", SourcePos{1, 1});
    Parser parser(text, state_->interner, state_->arena);
    parser.ParseProgramHeader();
    for (;;) {
      TopLevelItem item = parser.NextItem(MainBlockOptional);
      if (item.kind == TopLevelItem::Kind::kEnd) break;
      if (item.kind == TopLevelItem::Kind::kMainBlock) {
        checker.CheckMainBlock(item.main_body, item.end_pos);
        break;
      }
      checker.CheckDecls(item.decls);
      state_->arena.Reset();
    }
    checker.FinishProgram();
    image_ = SerializeImage(state_->codegen.Finish());
  } catch (const CompileError& error) {
    return fail(error.pos(), error.what());
  } catch (const std::bad_alloc&) {
    return fail(SourcePos{1, 1}, "Out of memory");
  }
  state_->arena.Reset();
  late_literals_reusable_ =
      !LateLiterals.empty() &&
      checker.late_literals_found() == static_cast<int>(LateLiterals.size()) &&
      !checker.late_values_needed();
  return true;
}

int TPSPascalCompiler::MessageCount() const { return static_cast<int>(messages_.size()); }

std::string TPSPascalCompiler::MessageText(int index) const {
  return messages_.at(static_cast<size_t>(index)).MessageToString();
}

const TPSPascalCompilerMessage& TPSPascalCompiler::Message(int index) const {
  return messages_.at(static_cast<size_t>(index));
}

const std::string& TPSPascalCompiler::ProgramImage() const { return image_; }

}  // namespace qorsv::script
