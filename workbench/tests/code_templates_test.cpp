#include "workbench/code_templates.h"

#include <gtest/gtest.h>

#include "console/tests/temp_dir.h"
#include "transport/error.h"

namespace qorsv {
namespace {

TEST(CodeTemplatesTest, BracketedFormatHasHeadersAndBodies) {
  std::vector<CodeTemplate> templates = ParseCodeTemplates(
      "[begin | begin/end block]\r\nbegin\r\n  |\r\nend;\r\n\r\n"
      "[if  |  if statement]\r\nif | then\r\n"
      "[bare]\r\n"
      "[tab\tdescription here]\r\nx");
  ASSERT_EQ(templates.size(), 4u);
  EXPECT_EQ(templates[0], (CodeTemplate{"begin", "begin/end block", "begin\r\n  |\r\nend;\r\n"}));
  EXPECT_EQ(templates[1], (CodeTemplate{"if", "if statement", "if | then"}));
  // The name runs to the first blank or control character, a closing bracket included.
  EXPECT_EQ(templates[2], (CodeTemplate{"bare]", "", ""}));
  EXPECT_EQ(templates[3], (CodeTemplate{"tab", "\tdescription here", "x"}));
}

TEST(CodeTemplatesTest, NamedFormatTakesEqualsLinesAsBody) {
  std::vector<CodeTemplate> templates =
      ParseCodeTemplates("=stray\nwhile\n=while | do\n=begin\n\n=end;\nrepeat\n");
  ASSERT_EQ(templates.size(), 2u);
  EXPECT_EQ(templates[0], (CodeTemplate{"while", "", "while | do\r\nbegin\r\nend;"}));
  EXPECT_EQ(templates[1], (CodeTemplate{"repeat", "", ""}));
  EXPECT_TRUE(ParseCodeTemplates("").empty());
}

TEST(CodeTemplatesTest, LookupPrefersExactNamesFromTheEndThenAUniquePrefix) {
  std::vector<CodeTemplate> templates = {
      {"for", "first", ""}, {"forin", "", ""}, {"FOR", "last", ""}, {"while", "", ""}};
  struct Case {
    std::string word;
    const CodeTemplate* expected;
  };
  const Case cases[] = {
      {"for", &templates[2]},   // exact, searched from the last entry
      {"For", &templates[2]},
      {"fori", &templates[1]},  // the only name beginning with it
      {"wh", &templates[3]},
      {"fo", nullptr},  // several names begin with it
      {"x", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindCodeTemplate(templates, c.word), c.expected) << c.word;
  }
}

TEST(CodeTemplatesTest, ExpansionIndentsReplacesTheTokenAndPlacesTheCaret) {
  std::vector<CodeTemplate> templates = {
      {"begin", "", "begin\r\n  |\r\nend;\r\n"},
      {"wr", "", "writeln('|');"},
      {"nobar", "", "a\r\nb"},
  };
  struct Case {
    std::string line;
    int column;
    std::optional<TextEdit> edit;
  };
  const Case cases[] = {
      {"    begin", 10, TextEdit{{1, 5}, {1, 10}, "begin\n      \n    end;", {2, 7}, false}},
      {"x:=(wr", 7, TextEdit{{1, 5}, {1, 7}, "writeln('');", {1, 14}, false}},
      {"  nobar tail", 8, TextEdit{{1, 3}, {1, 8}, "a\n  b", {2, 4}, false}},
      {"  nobar", 30, TextEdit{{1, 3}, {1, 8}, "a\n  b", {2, 4}, false}},
      {"begin ", 7, std::nullopt},  // the token is empty
      {"unknown", 8, std::nullopt},
  };
  for (const Case& c : cases) {
    EditorText text({c.line});
    text.SetCaret({1, c.column});
    EXPECT_EQ(ExpandCodeTemplate(text, templates), c.edit) << c.line;
  }
}

TEST(CodeTemplatesTest, UnreadableFileRaisesTheFileError) {
  testing::TempDir dir;
  try {
    LoadCodeTemplates(dir.Path("qor.dci"));
    FAIL() << "no error";
  } catch (const QorsvError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Cannot open file \"" + dir.Path("qor.dci") + "\". No such file or directory");
  }
}

}  // namespace
}  // namespace qorsv
