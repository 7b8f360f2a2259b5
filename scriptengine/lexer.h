// The lexer of the script dialect: turns the compiled text into tokens.
//
// Identifiers and keywords are compared without regard to case: every identifier is interned as
// its upper-case spelling and carried as a number (keywords take the first numbers). Comments
// ("//", "{ }", "(* *)") are skipped; string literals with doubled quotes and #nn / #$hh
// character codes are joined into one literal token. Rows and columns are 1-based; a row ends at
// LF, CR LF or a lone CR.
//
// Used by the parser, one lexer per compilation. Threading: one thread at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scriptengine/diagnostics.h"

namespace qorsv::script::compiler_internal {

// Interned identifier number; keywords come first (see Keyword).
using Ident = uint32_t;

enum Keyword : Ident {
  kKwAnd,
  kKwArray,
  kKwBegin,
  kKwCase,
  kKwConst,
  kKwDiv,
  kKwDo,
  kKwDownto,
  kKwElse,
  kKwEnd,
  kKwExcept,
  kKwFinally,
  kKwFor,
  kKwFunction,
  kKwIf,
  kKwIn,
  kKwMod,
  kKwNil,
  kKwNot,
  kKwOf,
  kKwOr,
  kKwProcedure,
  kKwProgram,
  kKwRaise,
  kKwRecord,
  kKwRepeat,
  kKwSet,
  kKwShl,
  kKwShr,
  kKwThen,
  kKwTo,
  kKwTry,
  kKwType,
  kKwUnit,
  kKwUntil,
  kKwUses,
  kKwVar,
  kKwWhile,
  kKwWith,
  kKwXor,
  kKwLabel,
  kKwGoto,
  kKwClass,
  kKwInterface,
  kKwImplementation,
  kKwKeywordCount,
  kKwNone = 0xFFFFFFFFu,  // matches no token
};

// Words that are keywords only in some places (identifiers elsewhere), interned right after the
// keywords so that the parser knows their numbers without looking them up.
enum ContextWord : Ident {
  kWordExit = kKwKeywordCount,
  kWordBreak,
  kWordContinue,
  kWordForward,
  kWordExternal,
  kWordOut,
  kWordString,
  kWordOtherwise,
  kWordPacked,
  kWordOn,
  kWordStdcall,
  kWordCdecl,
  kWordRegister,
  kWordPascal,
  kWordOverload,
  kWordSafecall,
  kWordIs,
  kWordAs,
  kWordCount,
};

// Interns identifiers by their upper-case spelling. Keywords are interned first, then the
// context words.
class Interner {
 public:
  Interner();
  Ident Intern(std::string_view upper) { return Intern(upper, Hash(upper)); }
  // `hash` is Hash(upper), which the lexer computes while it reads the name.
  Ident Intern(std::string_view upper, uint32_t hash);
  // Upper-cases and interns.
  Ident InternAnyCase(std::string_view text);
  const std::string& Upper(Ident id) const { return names_[id]; }
  bool IsKeyword(Ident id) const { return id < kKwKeywordCount; }

  // FNV-1a over the bytes, fed one at a time by HashStep.
  static constexpr uint32_t kHashStart = 2166136261u;
  static uint32_t HashStep(uint32_t hash, char c) {
    return (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  }
  static uint32_t Hash(std::string_view upper) {
    uint32_t hash = kHashStart;
    for (char c : upper) hash = HashStep(hash, c);
    return hash;
  }

 private:
  static constexpr Ident kEmptySlot = 0xFFFFFFFFu;
  void Grow();

  // Open addressing: slots_ holds identifier numbers (a power of two of them, at most half
  // used), hashes_ each number's hash.
  std::vector<Ident> slots_;
  std::vector<uint32_t> hashes_;
  std::deque<std::string> names_;
};

enum class Tok : uint8_t {
  kEof,
  kIdent,  // also keywords: ident < kKwKeywordCount
  kInt,    // decimal or $hex
  kFloat,
  kString,  // one or more quoted parts and #codes
  kPlus,
  kMinus,
  kStar,
  kSlash,
  kEq,
  kNe,
  kLt,
  kGt,
  kLe,
  kGe,
  kAssign,
  kColon,
  kSemicolon,
  kComma,
  kDot,
  kDotDot,
  kLParen,
  kRParen,
  kLBracket,
  kRBracket,
  kCaret,
  kAt,
};

struct Token {
  Tok kind = Tok::kEof;
  int row = 1;
  int col = 1;
  Ident ident = 0;               // kIdent
  std::string_view text;         // the source spelling
  uint64_t int_value = 0;        // kInt
  double float_value = 0;        // kFloat
  std::string string_value;      // kString: the decoded value when it is not a view of the text
  std::string_view string_view;  // kString: the decoded value
  bool string_in_text = false;   // string_view points into the compiled text itself
};

// Spelling of a token kind for messages ("';'", "identifier").
std::string TokenName(Tok kind);

class Lexer {
 public:
  Lexer(std::string_view text, Interner& interner);

  // Reads the next token into `token`. Throws CompileError on a malformed literal.
  void Next(Token& token);

 private:
  void SkipBlanksAndComments();
  void NewLine(size_t& i);
  void ReadIdent(Token& token);
  void ReadNumber(Token& token);
  void ReadHex(Token& token);
  void ReadString(Token& token);
  char Peek(size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }
  void Advance() {
    ++pos_;
    ++col_;
  }

  std::string_view text_;
  Interner& interner_;
  size_t pos_ = 0;
  int row_ = 1;
  int col_ = 1;
  std::string upper_buffer_;
};

}  // namespace qorsv::script::compiler_internal
