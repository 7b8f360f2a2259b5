// The lexer: literals, comments, case folding and positions.
#include "scriptengine/lexer.h"

#include <gtest/gtest.h>

#include <cctype>

namespace qorsv::script::compiler_internal {
namespace {

std::vector<Token> Tokens(std::string_view text, Interner& interner) {
  Lexer lexer(text, interner);
  std::vector<Token> tokens;
  for (;;) {
    Token token;
    lexer.Next(token);
    if (token.kind == Tok::kEof) return tokens;
    tokens.push_back(token);
  }
}

TEST(LexerTest, StringLiteralForms) {
  struct Case {
    const char* source;
    std::string value;
  } cases[] = {
      {"'abc'", "abc"},
      {"''", ""},
      {"'it''s'", "it's"},
      {"''''", "'"},
      {"#13#10", "\r\n"},
      {"'a'#9'b'", "a\tb"},
      {"#$41#$62", "Ab"},
      {"#200", std::string(1, '\xC8')},
      {"'x'#0'y'", std::string("x\0y", 3)},
  };
  for (const Case& c : cases) {
    Interner interner;
    Lexer lexer(c.source, interner);
    Token token;
    lexer.Next(token);
    EXPECT_EQ(token.kind, Tok::kString) << c.source;
    EXPECT_EQ(token.string_view, c.value) << c.source;
    lexer.Next(token);
    EXPECT_EQ(token.kind, Tok::kEof) << c.source;
  }
}

TEST(LexerTest, NumbersAndRanges) {
  Interner interner;
  std::vector<Token> tokens = Tokens("12 $FF 1.5 2e3 1..5 $7fffffffffffffff", interner);
  ASSERT_EQ(tokens.size(), 8u);
  EXPECT_EQ(tokens[0].int_value, 12u);
  EXPECT_EQ(tokens[1].int_value, 255u);
  EXPECT_EQ(tokens[2].kind, Tok::kFloat);
  EXPECT_DOUBLE_EQ(tokens[2].float_value, 1.5);
  EXPECT_DOUBLE_EQ(tokens[3].float_value, 2000);
  EXPECT_EQ(tokens[4].kind, Tok::kInt);
  EXPECT_EQ(tokens[5].kind, Tok::kDotDot);
  EXPECT_EQ(tokens[6].kind, Tok::kInt);
  EXPECT_EQ(tokens[7].int_value, 0x7fffffffffffffffu);
}

TEST(LexerTest, IdentifiersIgnoreCaseAndKeywordsAreKnown) {
  Interner interner;
  std::vector<Token> tokens = Tokens("Count COUNT count BEGIN begin", interner);
  ASSERT_EQ(tokens.size(), 5u);
  EXPECT_EQ(tokens[0].ident, tokens[1].ident);
  EXPECT_EQ(tokens[1].ident, tokens[2].ident);
  EXPECT_EQ(tokens[3].ident, static_cast<Ident>(kKwBegin));
  EXPECT_EQ(tokens[4].ident, static_cast<Ident>(kKwBegin));
  EXPECT_EQ(tokens[0].text, "Count");
}

TEST(LexerTest, ManyNamesKeepTheirNumbers) {
  Interner interner;
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "name" + std::to_string(i) + " ";
  std::vector<Token> first = Tokens(text, interner);
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::vector<Token> again = Tokens(text, interner);
  ASSERT_EQ(first.size(), again.size());
  for (size_t i = 0; i + 1 < first.size(); ++i) {
    ASSERT_EQ(first[i].ident, again[i].ident) << i;
    EXPECT_EQ(interner.Upper(first[i].ident), "NAME" + std::to_string(i));
  }
  EXPECT_EQ(interner.Intern("BEGIN"), kKwBegin);
  EXPECT_EQ(interner.Intern("EXIT"), kWordExit);
}

TEST(LexerTest, CommentsAreSkippedAndRowsCounted) {
  Interner interner;
  std::vector<Token> tokens =
      Tokens("a // line\r\n{ brace\r\n comment } b (* star\r\n *) c\rd\ne", interner);
  ASSERT_EQ(tokens.size(), 5u);
  EXPECT_EQ(tokens[0].row, 1);
  EXPECT_EQ(tokens[1].row, 3);
  EXPECT_EQ(tokens[1].col, 12);
  EXPECT_EQ(tokens[2].row, 4);
  EXPECT_EQ(tokens[2].col, 5);
  EXPECT_EQ(tokens[3].row, 5);  // a lone CR ends a row
  EXPECT_EQ(tokens[4].row, 6);
}

TEST(LexerTest, MalformedInputIsAnError) {
  for (const char* source : {"'open", "'line\r\nbreak'", "{ never closed", "#", "$", "a ? b"}) {
    Interner interner;
    EXPECT_THROW(Tokens(source, interner), CompileError) << source;
  }
}

}  // namespace
}  // namespace qorsv::script::compiler_internal
