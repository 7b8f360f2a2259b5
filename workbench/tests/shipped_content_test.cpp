// The program directory the build assembles: the help pages, the code templates and the colour
// schemes the workbench reads from it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "console/tests/temp_dir.h"
#include "workbench/code_analysis.h"
#include "workbench/code_templates.h"
#include "workbench/context_help.h"
#include "workbench/editor_colors.h"
#include "workbench/editor_text.h"

namespace qorsv {
namespace {

class ShippedContentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* run_dir = std::getenv("QORSV_RUN_DIR");
    if (run_dir == nullptr) GTEST_SKIP() << "QORSV_RUN_DIR is not set";
    dir_ = std::string(run_dir) + "/";
  }
  std::string dir_;
};

TEST_F(ShippedContentTest, EveryLibraryRoutineHasAHelpPageLinkedFromTheIndex) {
  CodeAnalysis analysis;
  analysis.Analyze({}, dir_ + "scripts/functions.txt");
  ASSERT_GT(analysis.ProcIndex().ProcCount, 140);
  std::string index = testing::ReadFile(dir_ + "help/html/index.html");
  ASSERT_FALSE(index.empty());
  for (const std::string& name : analysis.listproc()) {
    std::optional<std::string> page = FindHelpFile(dir_ + "help/html/", name);
    ASSERT_TRUE(page.has_value()) << name;
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(*page, lower + ".htm");
    EXPECT_NE(index.find("href=\"" + *page + "\""), std::string::npos) << name;
    std::string text = testing::ReadFile(dir_ + "help/html/" + *page);
    for (const char* section : {"Declaration", "What it does", "Errors", "Example"}) {
      EXPECT_NE(text.find(std::string("<h2>") + section + "</h2>"), std::string::npos)
          << *page << " " << section;
    }
  }
}

TEST_F(ShippedContentTest, TemplatesCoverTheCommonStatementsAndExpand) {
  std::vector<CodeTemplate> templates = LoadCodeTemplates(dir_ + "config/qor.dci");
  for (const char* name : {"begin", "if", "for", "while", "repeat", "case", "tryexcept",
                           "tryfinally", "page", "proc", "func", "sqlloop", "mail", "param"}) {
    const CodeTemplate* entry = FindCodeTemplate(templates, name);
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_EQ(entry->name, name);
    EXPECT_FALSE(entry->description.empty()) << name;
    EXPECT_NE(entry->body.find('|'), std::string::npos) << name;
  }
  EditorText text({"    tryf"});
  text.SetCaret({1, 9});
  std::optional<TextEdit> edit = ExpandCodeTemplate(text, templates);
  ASSERT_TRUE(edit.has_value());
  EXPECT_EQ(edit->text, "try\n      \n    finally\n    end;");
  EXPECT_EQ(edit->caret, (Caret{2, 7}));
}

TEST_F(ShippedContentTest, SchemesHoldThirteenColours) {
  std::vector<std::string> schemes = ListSchemeFiles(dir_ + "config/Schemes/");
  ASSERT_GE(schemes.size(), 2u);
  for (const std::string& name : schemes) {
    std::string text = testing::ReadFile(dir_ + "config/Schemes/" + name);
    EXPECT_EQ(SchemeFileText(ParseSchemeFile(text)), text) << name;
  }
}

}  // namespace
}  // namespace qorsv
