#include "workbench/parameter_hints.h"

#include <gtest/gtest.h>

namespace qorsv {
namespace {

CodeAnalysis Analysed(const std::vector<std::string>& lines) {
  CodeAnalysis analysis;
  analysis.Analyze(lines, "/nonexistent/functions.txt");
  return analysis;
}

TEST(ParameterHintsTest, BackwardScanFindsTheCallAndCountsTheArgument) {
  CodeAnalysis analysis = Analysed({"function Max(x, y: integer): integer;",
                                    "function Min(a, b: integer): integer;",
                                    "procedure Show(a: integer; b: string);",
                                    "procedure  Two(q: word);"});
  struct Case {
    std::string line;
    int column;  // 0: the end of the line
    bool found;
    std::string word;
    int argument;
  };
  const Case cases[] = {
      {"Max(a, Min(b, c), ", 0, true, "MAX", 2},
      {"Other(Max(1, ", 0, true, "MAX", 1},
      {"Max(x, Other(", 0, true, "MAX", 1},
      {"Show(", 0, true, "SHOW", 0},
      {"show (1, 'a'", 0, true, "SHOW", 1},
      {"x := Min(Max(1, 2), ", 0, true, "MIN", 1},
      // The caret within the line: only the text left of it counts.
      {"Max(1, 2) + Min(3", 4, false, "", 0},
      {"Max(1, 2) + Min(3", 7, true, "MAX", 1},
      // A caret past the end of the line scans from the last character.
      {"Max(1,", 40, true, "MAX", 1},
      // Names recorded with a leading blank are never found.
      {"Two(", 0, false, "", 0},
      {"Other(", 0, false, "", 0},
      {"(", 0, false, "", 0},
      {"", 0, false, "", 0},
  };
  for (const Case& c : cases) {
    int column = c.column == 0 ? static_cast<int>(c.line.size()) + 1 : c.column;
    ParameterHintScan scan = ScanParameterHint(c.line, column, analysis);
    EXPECT_EQ(scan.found, c.found) << c.line;
    EXPECT_EQ(scan.word, c.word) << c.line;
    EXPECT_EQ(scan.argument, c.argument) << c.line;
    if (scan.found) {
      EXPECT_EQ(analysis.proclookup()[static_cast<size_t>(scan.proc)], c.word) << c.line;
    }
  }
}

TEST(ParameterHintsTest, ItemsAreTheArgumentsSplitAtCommas) {
  struct Case {
    std::string params;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {"a: integer, b: string", {"a: integer", "b: string"}},
      {"x, y: integer", {"x", "y: integer"}},
      {"FileHandle:word,s:string", {"FileHandle:word", "s:string"}},
      {"const S: string", {"const S: string"}},
      {"\"a, b\", c", {"a, b", "c"}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {"", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParameterHintItems(c.params), c.items) << c.params;
  }
  EXPECT_EQ(JoinHintItems({"x", "y: integer"}), "x, y: integer");
}

}  // namespace
}  // namespace qorsv
