#include "scriptengine/preprocessor.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "scriptengine/engine_error.h"

namespace qorsv::script {
namespace {

// A resolver over in-memory files that records how it was called.
struct FakeFiles {
  std::map<std::string, std::string> files;
  std::vector<std::string> calls;

  void Install(TPSPreProcessor& pp) {
    pp.ResolveInclude = [this](const std::string& from, const std::string& name) {
      calls.push_back(from + " -> " + name);
      IncludeFile file;
      file.name = "/scripts/" + name;
      auto it = files.find(name);
      if (it != files.end()) {
        file.found = true;
        file.text = it->second;
      }
      return file;
    };
  }
};

// Blanks standing for `text`, line breaks kept.
std::string Blank(const std::string& text) {
  std::string out;
  for (char c : text) out += (c == '\r' || c == '\n') ? c : ' ';
  return out;
}

struct Case {
  std::string input;
  std::string expected;  // output, or the failure text when `fails`
  bool fails = false;
};

void RunTable(const std::vector<Case>& cases, FakeFiles* files = nullptr) {
  for (const Case& c : cases) {
    TPSPreProcessor pp;
    if (files) files->Install(pp);
    try {
      const std::string out = pp.Preprocess("main.pfii", c.input);
      EXPECT_FALSE(c.fails) << "input: " << c.input << "\nexpected failure: " << c.expected;
      EXPECT_EQ(out, c.expected) << "input: " << c.input;
    } catch (const ScriptEngineError& e) {
      EXPECT_TRUE(c.fails) << "input: " << c.input << "\nunexpected failure: " << e.what();
      EXPECT_EQ(e.what(), c.expected) << "input: " << c.input;
    }
  }
}

TEST(PreprocessorTest, DirectivesAndConditionalRegionsBecomeBlanks) {
  RunTable({
      {"a := 1; { plain comment } b", "a := 1; { plain comment } b"},
      {"{$DEFINE X}x", Blank("{$DEFINE X}") + "x"},
      {"{$define dbg}{$IFDEF DBG}on{$ELSE}off{$ENDIF}",
       Blank("{$define dbg}{$IFDEF DBG}") + "on" + Blank("{$ELSE}off{$ENDIF}")},
      {"{$IFDEF X}on{$ELSE}off{$ENDIF}", Blank("{$IFDEF X}on{$ELSE}") + "off" + Blank("{$ENDIF}")},
      {"{$IFNDEF X}yes{$ENDIF}", Blank("{$IFNDEF X}") + "yes" + Blank("{$ENDIF}")},
      // Line breaks of inactive text survive so later rows stay where they were.
      {"{$IFDEF X}a\r\nbb\r\n{$ENDIF}z",
       std::string(11, ' ') + "\r\n  \r\n" + Blank("{$ENDIF}") + "z"},
      // Trailing blanks of the argument are dropped; symbols ignore case.
      {"{$DEFINE Abc   }{$IFDEF aBC}k{$ENDIF}",
       Blank("{$DEFINE Abc   }{$IFDEF aBC}") + "k" + Blank("{$ENDIF}")},
      {"{$DEFINE A}{$UNDEF a}{$IFDEF A}k{$ENDIF}",
       Blank("{$DEFINE A}{$UNDEF a}{$IFDEF A}k{$ENDIF}")},
      // Nested regions: an inner ELSE inside an inactive outer region stays inactive.
      {"{$IFDEF X}{$IFDEF Y}{$ELSE}in{$ENDIF}{$ELSE}out{$ENDIF}",
       Blank("{$IFDEF X}{$IFDEF Y}{$ELSE}in{$ENDIF}{$ELSE}") + "out" + Blank("{$ENDIF}")},
      // Other directives are not looked at inside an inactive region.
      {"{$IFDEF X}{$R+}{$I nothere.qor}{$ENDIF}ok",
       Blank("{$IFDEF X}{$R+}{$I nothere.qor}{$ENDIF}") + "ok"},
      {"{$ENDIF X}", "No IFDEF for ENDIF at 1:1", true},
  });
}

TEST(PreprocessorTest, DirectiveLookalikesInLiteralsAndCommentsPassThrough) {
  RunTable({
      {"s := '{$I x.qor}';", "s := '{$I x.qor}';"},
      {"s := 'it''s {$R}';", "s := 'it''s {$R}';"},
      {"// {$R} note\r\n", "// {$R} note\r\n"},
      {"(* {$R} *)", "(* {$R} *)"},
      // A lookalike before real directives must not hide them.
      {"s := '{$R}'; {$DEFINE A}{$IFDEF A}k{$ENDIF}",
       "s := '{$R}'; " + Blank("{$DEFINE A}{$IFDEF A}") + "k" + Blank("{$ENDIF}")},
      {"{ a { $R } b", "{ a { $R } b"},
      // An unterminated literal ends at its line: the next line is read as code again.
      {"s := 'open\r\n{$DEFINE Q}", "s := 'open\r\n" + Blank("{$DEFINE Q}")},
      // An unterminated directive is left to the compiler as an open comment.
      {"x {$DEFINE", "x {$DEFINE"},
  });
}

TEST(PreprocessorTest, DirectiveErrorsCarryTheirPosition) {
  RunTable({
      {"{$R *.res}", "Unknown compiler directives at 1:1", true},
      {"ab\r\n  {$X}", "Unknown compiler directives at 2:3", true},
      {"a\nb\rc\r\n {$FOO}", "Unknown compiler directives at 4:2", true},
      {"x\r\n{$ENDIF}", "No IFDEF for ENDIF at 2:1", true},
      {"{$ELSE}", "No IFDEF for ELSE at 1:1", true},
      {"{$IFDEF A}{$ELSE}{$ELSE}{$ENDIF}", "Can't use ELSE twice at 1:18", true},
      {"{$IFDEF A}{$ELSE B}{$ENDIF}", "Too many parameters at 1:11", true},
      {"{$IFDEF A}x", "Define not closed", true},
      {"{$IFDEF A}{$IFDEF B}{$ENDIF}", "Define not closed", true},
  });
}

TEST(PreprocessorTest, IncludesAreExpandedInPlace) {
  FakeFiles files;
  files.files = {
      {"ext.qor", "var n: integer;"},
      {"outer.qor", "[{$I inner.qor}]"},
      {"inner.qor", "{$DEFINE FROMINC}in"},
      {"open.qor", "{$IFDEF Z}"},
      {"stray.qor", "{$ENDIF}"},
  };
  RunTable(
      {
          {"a{$i ext.qor}b", "avar n: integer;b"},
          {"{$INCLUDE ext.qor}", "var n: integer;"},
          {"{$Include   ext.qor  }", "var n: integer;"},
          {"{$I outer.qor}{$IFDEF FROMINC}!{$ENDIF}", "[" + Blank("{$DEFINE FROMINC}") + "in]" +
                                                          Blank("{$IFDEF FROMINC}") + "!" +
                                                          Blank("{$ENDIF}")},
          {"{$I missing.qor}", "Unable to find file '/scripts/missing.qor' used from 'main.pfii'",
           true},
          // Each file must close its own conditionals.
          {"{$I open.qor}{$ENDIF}", "Define not closed", true},
          {"{$IFDEF Q}{$I stray.qor}{$ENDIF}", Blank("{$IFDEF Q}{$I stray.qor}{$ENDIF}")},
      },
      &files);
  files.calls.clear();
  TPSPreProcessor pp;
  files.Install(pp);
  pp.Preprocess("main.pfii", "{$I outer.qor}");
  EXPECT_EQ(files.calls, (std::vector<std::string>{"main.pfii -> outer.qor",
                                                   "/scripts/outer.qor -> inner.qor"}));
}

TEST(PreprocessorTest, StrayEndifInAnActiveIncludeFails) {
  FakeFiles files;
  files.files = {{"stray.qor", "{$ENDIF}"}};
  RunTable({{"{$I stray.qor}", "No IFDEF for ENDIF at 1:1", true}}, &files);
}

TEST(PreprocessorTest, IncludeNestingStopsAfterTwentyLevels) {
  FakeFiles files;
  // level1.qor includes level2.qor ... level20.qor is the deepest allowed.
  for (int level = 1; level <= 21; ++level) {
    files.files["level" + std::to_string(level) + ".qor"] =
        std::to_string(level) + "{$I level" + std::to_string(level + 1) + ".qor}";
  }
  files.files["level20.qor"] = "20";
  TPSPreProcessor pp;
  files.Install(pp);
  std::string expected;
  for (int level = 1; level <= 20; ++level) expected += std::to_string(level);
  EXPECT_EQ(pp.Preprocess("main.pfii", "{$I level1.qor}"), expected);

  files.files["level20.qor"] = "20{$I level21.qor}";
  files.files["level21.qor"] = "21";
  RunTable({{"{$I level1.qor}",
             "Too many nested include files while processing '/scripts/level21.qor' from "
             "'/scripts/level20.qor'",
             true}},
           &files);

  // A file that includes itself ends with the same failure instead of recursing forever.
  files.files["self.qor"] = "{$I self.qor}";
  RunTable({{"{$I self.qor}",
             "Too many nested include files while processing '/scripts/self.qor' from "
             "'/scripts/self.qor'",
             true}},
           &files);
}

TEST(PreprocessorTest, NoResolverMeansEveryIncludeIsMissing) {
  TPSPreProcessor pp;
  try {
    pp.Preprocess("main.pfii", "{$I ext.qor}");
    FAIL() << "include without resolver succeeded";
  } catch (const ScriptEngineError& e) {
    EXPECT_STREQ(e.what(), "Unable to find file 'ext.qor' used from 'main.pfii'");
  }
}

}  // namespace
}  // namespace qorsv::script
