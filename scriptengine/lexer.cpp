#include "scriptengine/lexer.h"

#include <charconv>
#include <cmath>
#include <memory>

namespace qorsv::script::compiler_internal {
namespace {

constexpr const char* kKeywordNames[kKwKeywordCount] = {
    "AND",    "ARRAY",     "BEGIN",   "CASE",      "CONST",
    "DIV",    "DO",        "DOWNTO",  "ELSE",      "END",
    "EXCEPT", "FINALLY",   "FOR",     "FUNCTION",  "IF",
    "IN",     "MOD",       "NIL",     "NOT",       "OF",
    "OR",     "PROCEDURE", "PROGRAM", "RAISE",     "RECORD",
    "REPEAT", "SET",       "SHL",     "SHR",       "THEN",
    "TO",     "TRY",       "TYPE",    "UNIT",      "UNTIL",
    "USES",   "VAR",       "WHILE",   "WITH",      "XOR",
    "LABEL",  "GOTO",      "CLASS",   "INTERFACE", "IMPLEMENTATION",
};

bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
// Locale-independent; an overflowing literal reads as infinity.
double ParseDouble(const std::string& digits) {
  double value = 0;
  auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (parsed.ec == std::errc::result_out_of_range) return HUGE_VAL;
  return value;
}
char ToUpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

}  // namespace

constexpr const char* kContextWordNames[static_cast<Ident>(kWordCount) - kKwKeywordCount] = {
    "EXIT", "BREAK",   "CONTINUE", "FORWARD", "EXTERNAL", "OUT",      "STRING",   "OTHERWISE",
    "PACKED", "ON",    "STDCALL",  "CDECL",   "REGISTER", "PASCAL",   "OVERLOAD", "SAFECALL", "IS", "AS",
};

Interner::Interner() : slots_(2048, kEmptySlot) {
  hashes_.reserve(1024);
  for (const char* name : kKeywordNames) Intern(name);
  for (const char* name : kContextWordNames) Intern(name);
}

Ident Interner::Intern(std::string_view upper, uint32_t hash) {
  const size_t mask = slots_.size() - 1;
  size_t slot = hash & mask;
  for (; slots_[slot] != kEmptySlot; slot = (slot + 1) & mask) {
    Ident id = slots_[slot];
    if (hashes_[id] == hash && names_[id] == upper) return id;
  }
  Ident id = static_cast<Ident>(names_.size());
  names_.emplace_back(upper);
  hashes_.push_back(hash);
  slots_[slot] = id;
  if (names_.size() * 2 > slots_.size()) Grow();
  return id;
}

void Interner::Grow() {
  std::vector<Ident> grown(slots_.size() * 2, kEmptySlot);
  const size_t mask = grown.size() - 1;
  for (Ident id = 0; id < names_.size(); ++id) {
    size_t slot = hashes_[id] & mask;
    while (grown[slot] != kEmptySlot) slot = (slot + 1) & mask;
    grown[slot] = id;
  }
  slots_.swap(grown);
}

Ident Interner::InternAnyCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = ToUpperAscii(c);
  return Intern(upper);
}

std::string TokenName(Tok kind) {
  switch (kind) {
    case Tok::kEof:
      return "end of file";
    case Tok::kIdent:
      return "identifier";
    case Tok::kInt:
      return "integer constant";
    case Tok::kFloat:
      return "float constant";
    case Tok::kString:
      return "string constant";
    case Tok::kPlus:
      return "'+'";
    case Tok::kMinus:
      return "'-'";
    case Tok::kStar:
      return "'*'";
    case Tok::kSlash:
      return "'/'";
    case Tok::kEq:
      return "'='";
    case Tok::kNe:
      return "'<>'";
    case Tok::kLt:
      return "'<'";
    case Tok::kGt:
      return "'>'";
    case Tok::kLe:
      return "'<='";
    case Tok::kGe:
      return "'>='";
    case Tok::kAssign:
      return "':='";
    case Tok::kColon:
      return "':'";
    case Tok::kSemicolon:
      return "';'";
    case Tok::kComma:
      return "','";
    case Tok::kDot:
      return "'.'";
    case Tok::kDotDot:
      return "'..'";
    case Tok::kLParen:
      return "'('";
    case Tok::kRParen:
      return "')'";
    case Tok::kLBracket:
      return "'['";
    case Tok::kRBracket:
      return "']'";
    case Tok::kCaret:
      return "'^'";
    case Tok::kAt:
      return "'@'";
  }
  return "token";
}

Lexer::Lexer(std::string_view text, Interner& interner) : text_(text), interner_(interner) {}

// Advances over one line break at text_[i] (CR LF, LF or a lone CR).
void Lexer::NewLine(size_t& i) {
  if (text_[i] == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n') ++i;
  ++i;
  ++row_;
  col_ = 1;
}

void Lexer::SkipBlanksAndComments() {
  for (;;) {
    char c = Peek();
    if (c == '\r' || c == '\n') {
      NewLine(pos_);
    } else if (c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\0') {
      if (pos_ >= text_.size()) return;
      Advance();
    } else if (c == '/' && Peek(1) == '/') {
      while (pos_ < text_.size() && text_[pos_] != '\r' && text_[pos_] != '\n') Advance();
    } else if (c == '{' || (c == '(' && Peek(1) == '*')) {
      SourcePos start{row_, col_};
      bool brace = c == '{';
      pos_ += brace ? 1 : 2;
      col_ += brace ? 1 : 2;
      for (;;) {
        if (pos_ >= text_.size()) throw CompileError(start, "Unexpected end of file in comment");
        char d = text_[pos_];
        if (d == '\r' || d == '\n') {
          NewLine(pos_);
        } else if (brace && d == '}') {
          Advance();
          break;
        } else if (!brace && d == '*' && Peek(1) == ')') {
          Advance();
          Advance();
          break;
        } else {
          Advance();
        }
      }
    } else {
      return;
    }
  }
}

void Lexer::Next(Token& token) {
  SkipBlanksAndComments();
  token.row = row_;
  token.col = col_;
  size_t start = pos_;
  if (pos_ >= text_.size()) {
    token.kind = Tok::kEof;
    token.text = {};
    return;
  }
  char c = text_[pos_];
  if (IsIdentStart(c)) {
    ReadIdent(token);
  } else if (IsDigit(c)) {
    ReadNumber(token);
  } else if (c == '$') {
    ReadHex(token);
  } else if (c == '\'' || c == '#') {
    ReadString(token);
  } else {
    Advance();
    char n = Peek();
    auto two = [&](Tok kind) {
      Advance();
      token.kind = kind;
    };
    switch (c) {
      case '+':
        token.kind = Tok::kPlus;
        break;
      case '-':
        token.kind = Tok::kMinus;
        break;
      case '*':
        token.kind = Tok::kStar;
        break;
      case '/':
        token.kind = Tok::kSlash;
        break;
      case '=':
        token.kind = Tok::kEq;
        break;
      case '<':
        if (n == '=')
          two(Tok::kLe);
        else if (n == '>')
          two(Tok::kNe);
        else
          token.kind = Tok::kLt;
        break;
      case '>':
        if (n == '=')
          two(Tok::kGe);
        else
          token.kind = Tok::kGt;
        break;
      case ':':
        if (n == '=')
          two(Tok::kAssign);
        else
          token.kind = Tok::kColon;
        break;
      case ';':
        token.kind = Tok::kSemicolon;
        break;
      case ',':
        token.kind = Tok::kComma;
        break;
      case '.':
        if (n == '.')
          two(Tok::kDotDot);
        else if (n == ')')
          two(Tok::kRBracket);
        else
          token.kind = Tok::kDot;
        break;
      case '(':
        if (n == '.')
          two(Tok::kLBracket);
        else
          token.kind = Tok::kLParen;
        break;
      case ')':
        token.kind = Tok::kRParen;
        break;
      case '[':
        token.kind = Tok::kLBracket;
        break;
      case ']':
        token.kind = Tok::kRBracket;
        break;
      case '^':
        token.kind = Tok::kCaret;
        break;
      case '@':
        token.kind = Tok::kAt;
        break;
      default: {
        std::string shown =
            (static_cast<unsigned char>(c) >= 32 && static_cast<unsigned char>(c) < 127)
                ? std::string(1, c)
                : "#" + std::to_string(static_cast<unsigned char>(c));
        throw CompileError({token.row, token.col}, "Invalid character '" + shown + "'");
      }
    }
  }
  token.text = text_.substr(start, pos_ - start);
}

void Lexer::ReadIdent(Token& token) {
  size_t begin = pos_;
  while (pos_ < text_.size() && IsIdentChar(text_[pos_])) ++pos_;
  size_t length = pos_ - begin;
  col_ += static_cast<int>(length);  // a name holds no line break
  upper_buffer_.resize(length);
  uint32_t hash = Interner::kHashStart;
  for (size_t i = 0; i < length; ++i) {
    char c = ToUpperAscii(text_[begin + i]);
    upper_buffer_[i] = c;
    hash = Interner::HashStep(hash, c);
  }
  token.kind = Tok::kIdent;
  token.ident = interner_.Intern(upper_buffer_, hash);
}

void Lexer::ReadNumber(Token& token) {
  size_t begin = pos_;
  while (IsDigit(Peek())) Advance();
  bool is_float = false;
  // "1..5" is a range, not a float.
  if (Peek() == '.' && IsDigit(Peek(1))) {
    is_float = true;
    Advance();
    while (IsDigit(Peek())) Advance();
  }
  if ((Peek() == 'e' || Peek() == 'E') &&
      (IsDigit(Peek(1)) || ((Peek(1) == '+' || Peek(1) == '-') && IsDigit(Peek(2))))) {
    is_float = true;
    Advance();
    if (Peek() == '+' || Peek() == '-') Advance();
    while (IsDigit(Peek())) Advance();
  }
  std::string digits(text_.substr(begin, pos_ - begin));
  if (is_float) {
    token.kind = Tok::kFloat;
    token.float_value = ParseDouble(digits);
    return;
  }
  uint64_t value = 0;
  for (char d : digits) {
    uint64_t next = value * 10 + static_cast<uint64_t>(d - '0');
    if (value > (UINT64_MAX - 9) / 10 || next > static_cast<uint64_t>(INT64_MAX)) {
      // Beyond Int64: kept as a float constant, as the literal reads.
      token.kind = Tok::kFloat;
      token.float_value = ParseDouble(digits);
      return;
    }
    value = next;
  }
  token.kind = Tok::kInt;
  token.int_value = value;
}

void Lexer::ReadHex(Token& token) {
  SourcePos start{row_, col_};
  Advance();  // '$'
  uint64_t value = 0;
  int digits = 0;
  while (HexValue(Peek()) >= 0) {
    if (digits == 16) throw CompileError(start, "Integer constant too large");
    value = value * 16 + static_cast<uint64_t>(HexValue(Peek()));
    ++digits;
    Advance();
  }
  if (digits == 0) throw CompileError(start, "Invalid hexadecimal constant");
  token.kind = Tok::kInt;
  token.int_value = value;
}

// A string literal: any sequence of 'quoted' parts (a doubled quote stands for one quote) and
// #nn / #$hh character codes, with nothing between them.
void Lexer::ReadString(Token& token) {
  token.kind = Tok::kString;
  token.string_value.clear();
  // The common case, one quoted part without doubled quotes, is a view into the text.
  if (Peek() == '\'') {
    size_t end = pos_ + 1;
    while (end < text_.size() && text_[end] != '\'' && text_[end] != '\r' && text_[end] != '\n') {
      ++end;
    }
    char after = end + 1 < text_.size() ? text_[end + 1] : '\0';
    if (end < text_.size() && text_[end] == '\'' && after != '\'' && after != '#') {
      token.string_view = text_.substr(pos_ + 1, end - pos_ - 1);
      token.string_in_text = true;
      col_ += static_cast<int>(end + 1 - pos_);
      pos_ = end + 1;
      return;
    }
  }
  token.string_in_text = false;
  for (;;) {
    char c = Peek();
    if (c == '\'') {
      SourcePos start{row_, col_};
      Advance();
      for (;;) {
        if (pos_ >= text_.size() || text_[pos_] == '\r' || text_[pos_] == '\n') {
          throw CompileError(start, "Unterminated string");
        }
        char d = text_[pos_];
        Advance();
        if (d == '\'') {
          if (Peek() == '\'') {
            token.string_value.push_back('\'');
            Advance();
            continue;
          }
          break;
        }
        token.string_value.push_back(d);
      }
    } else if (c == '#') {
      SourcePos start{row_, col_};
      Advance();
      uint32_t code = 0;
      int digits = 0;
      if (Peek() == '$') {
        Advance();
        while (HexValue(Peek()) >= 0) {
          code = code * 16 + static_cast<uint32_t>(HexValue(Peek()));
          if (code > 0xFFFF) throw CompileError(start, "Invalid character code");
          ++digits;
          Advance();
        }
      } else {
        while (IsDigit(Peek())) {
          code = code * 10 + static_cast<uint32_t>(Peek() - '0');
          if (code > 0xFFFF) throw CompileError(start, "Invalid character code");
          ++digits;
          Advance();
        }
      }
      if (digits == 0) throw CompileError(start, "Invalid character code");
      token.string_value.push_back(static_cast<char>(code & 0xFF));
    } else {
      token.string_view = token.string_value;
      return;
    }
  }
}

}  // namespace qorsv::script::compiler_internal
