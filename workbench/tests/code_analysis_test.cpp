#include "workbench/code_analysis.h"

#include <gtest/gtest.h>

#include "console/tests/temp_dir.h"

namespace qorsv {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(CodeAnalysisTest, AnalyzelineRecordsNameAndParametersByTheRules) {
  struct Case {
    std::string line;
    bool recorded;
    std::string listed;  // the name as written, in listproc
    std::string name;    // ProcName: lower case
    std::string params;
  };
  const Case cases[] = {
      {"procedure Show(a: integer; b: string);", true, "Show", "show", "a: integer, b: string"},
      {"function Max (x, y: integer): integer;", true, "Max", "max", "x, y: integer"},
      {"procedure Run;", true, "Run", "run", ""},
      {"procedure Run", true, "Run", "run", ""},
      {"procedure  Two;", true, " Two", " two", ""},
      {"x := functionresult(1);", true, "esult", "esult", "1"},
      // "procedure" wins over "function", wherever each occurs.
      {"function f; { procedure p }", true, "p", "p", ""},
      {"  PROCEDURE Upper(A:Word);", true, "Upper", "upper", "A:Word"},
      {"procedure Open(", true, "Open", "open", ""},
      {"procedure X(a; b", true, "X", "x", "a, b"},
      {"procedure", true, "", "", ""},
      {"procedure ", true, "", "", ""},
      {"function Pi : Extended;", true, "Pi", "pi", ""},
      {"(x) procedure Y", true, "Y", "y", ""},  // position 1 is not examined
      {"begin end.", false, "", "", ""},
  };
  for (const Case& c : cases) {
    CodeAnalysis analysis;
    analysis.Clear();
    analysis.analyzeline(c.line, 7);
    if (!c.recorded) {
      EXPECT_EQ(analysis.ProcIndex().ProcCount, 0) << c.line;
      continue;
    }
    ASSERT_EQ(analysis.ProcIndex().ProcCount, 1) << c.line;
    EXPECT_EQ(analysis.listproc(), std::vector<std::string>{c.listed}) << c.line;
    EXPECT_EQ(analysis.ProcIndex().ProcName[1], c.name) << c.line;
    EXPECT_EQ(analysis.ProcIndex().ProcParams[1], c.params) << c.line;
    EXPECT_EQ(analysis.ProcIndex().ProcHeader[1], c.line) << c.line;
    EXPECT_EQ(analysis.ProcIndex().ProcLine[1], 7) << c.line;
    EXPECT_EQ(analysis.CompletionItems(), std::vector<std::string>{c.name + " (" + c.line + ")"});
    EXPECT_EQ(analysis.CompletionInserts(), std::vector<std::string>{c.name});
    EXPECT_EQ(analysis.TriggerChars(), c.name.substr(0, 1)) << c.line;
  }
}

TEST(CodeAnalysisTest, AnalysisReadsDocumentThenLibraryAndSortsOnlyTheCompletionLists) {
  TempDir dir;
  WriteFile(dir.Path("functions.txt"),
            "function strlen(s: string): integer;\r\nprocedure Writeln(s: string);\r\n");
  CodeAnalysis analysis;
  EXPECT_EQ(analysis.TriggerChars(), ".");  // before the first analysis
  analysis.Analyze({"procedure show;", "x", "function Alpha(a: word): word;", "procedure show;"},
                   dir.Path("functions.txt"));

  EXPECT_EQ(analysis.listproc(),
            (std::vector<std::string>{"show", "Alpha", "show", "strlen", "Writeln"}));
  EXPECT_EQ(analysis.proclookup(),
            (std::vector<std::string>{"SHOW", "ALPHA", "SHOW", "STRLEN", "WRITELN"}));
  const Tcode& index = analysis.ProcIndex();
  EXPECT_EQ(index.ProcCount, 5);
  EXPECT_EQ(index.ProcLine[1], 0);
  EXPECT_EQ(index.ProcLine[2], 2);
  EXPECT_EQ(index.ProcLine[3], 3);
  EXPECT_EQ(index.ProcLine[4], 4);  // library entries: the document's line count
  EXPECT_EQ(index.ProcLine[5], 4);
  EXPECT_EQ(analysis.CompletionItems(),
            (std::vector<std::string>{"alpha (function Alpha(a: word): word;)",
                                      "show (procedure show;)", "show (procedure show;)",
                                      "strlen (function strlen(s: string): integer;)",
                                      "writeln (procedure Writeln(s: string);)"}));
  EXPECT_EQ(analysis.CompletionInserts(),
            (std::vector<std::string>{"alpha", "show", "show", "strlen", "writeln"}));
  EXPECT_EQ(analysis.TriggerChars(), "saw");
  EXPECT_EQ(analysis.LookupProc("Writeln"), 4);
  EXPECT_EQ(analysis.FindListproc("ALPHA"), 1);
  EXPECT_EQ(analysis.FindListproc("alph"), std::nullopt);

  // A second analysis starts from nothing; a missing library adds nothing.
  analysis.Analyze({}, dir.Path("missing.txt"));
  EXPECT_EQ(analysis.ProcIndex().ProcCount, 0);
  EXPECT_TRUE(analysis.listproc().empty());
  EXPECT_EQ(analysis.TriggerChars(), "");
}

TEST(CodeAnalysisTest, CompletionSortIsOrdinalAndStable) {
  CodeAnalysis analysis;
  analysis.Clear();
  // Upper case sorts before lower case, a blank before letters, bytes above 127 last. The
  // names are lower-cased, so only the header text in the item can hold upper case.
  for (const char* line : {"procedure b(z);", "procedure a;", "procedure  a;", "procedure \xe9t;",
                           "procedure b(Z);", "procedure a;"}) {
    analysis.analyzeline(line, 0);
  }
  analysis.SortCompletion();
  EXPECT_EQ(analysis.CompletionItems(),
            (std::vector<std::string>{" a (procedure  a;)", "a (procedure a;)", "a (procedure a;)",
                                      "b (procedure b(Z);)", "b (procedure b(z);)",
                                      "\xe9t (procedure \xe9t;)"}));
  EXPECT_EQ(analysis.TriggerChars(), "ba \xe9");
}

TEST(CodeAnalysisTest, TableHoldsAThousandEntries) {
  std::vector<std::string> document;
  for (int i = 0; i < 1200; ++i) document.push_back("procedure p" + std::to_string(i) + ";");
  CodeAnalysis analysis;
  analysis.Analyze(document, "/nonexistent/functions.txt");
  EXPECT_EQ(analysis.ProcIndex().ProcCount, Tcode::kEntries);
  EXPECT_EQ(analysis.listproc().size(), 1000u);
  EXPECT_EQ(analysis.CompletionItems().size(), 1000u);
  EXPECT_EQ(analysis.listproc().back(), "p999");
}

}  // namespace
}  // namespace qorsv
