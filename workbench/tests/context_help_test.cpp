#include "workbench/context_help.h"

#include <gtest/gtest.h>

#include "console/tests/temp_dir.h"

namespace qorsv {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(ContextHelpTest, WordAtColumnJoinsTheRunsAroundIt) {
  struct Case {
    std::string line;
    int column;
    std::optional<std::string> word;
  };
  const Case cases[] = {
      {"  IntToStr(x);", 5, "IntToStr"},
      {"  IntToStr(x);", 3, "IntToStr"},
      {"  IntToStr(x);", 10, "IntToStr"},  // the bracket after the word
      {"ab1cd", 2, "ab"},                  // a digit ends the run to the right
      {"ab1cd", 4, "cd"},
      {"ab1cd", 3, "abcd"},  // on the digit: both runs, the digit dropped
      {"ab cd", 3, "abcd"},  // the single blank between two words
      {"sql_Next(h)", 6, "sql_Next"},
      {"abc", 4, std::nullopt},  // after the end of the line
      {"abc", 9, std::nullopt},
      {"", 1, std::nullopt},
      {" + ", 2, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HelpWordAt(c.line, c.column), c.word) << c.line << " @" << c.column;
  }
  EXPECT_EQ(KeepHelpWordChars("a1_B-\xe9z"), "a_Bz");
  EXPECT_TRUE(IsHelpWordChar('_'));
  EXPECT_FALSE(IsHelpWordChar('7'));
}

TEST(ContextHelpTest, HelpFileIsFoundWithoutRegardToCase) {
  TempDir dir;
  WriteFile(dir.Path("inttostr.htm"), "x");
  WriteFile(dir.Path("Mixed.HTM"), "x");
  EXPECT_EQ(FindHelpFile(dir.Dir(), "IntToStr"), "inttostr.htm");
  EXPECT_EQ(FindHelpFile(dir.Dir(), "mixed"), "Mixed.HTM");
  EXPECT_EQ(FindHelpFile(dir.Dir(), "absent"), std::nullopt);
  EXPECT_EQ(FindHelpFile(dir.Path("nowhere/"), "inttostr"), std::nullopt);
  EXPECT_EQ(HelpUrl("inttostr.htm"), "/help/inttostr.htm");
}

}  // namespace
}  // namespace qorsv
