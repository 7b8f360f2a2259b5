// The code assistance and the editor options as the workbench window drives them.
#include <gtest/gtest.h>

#include "workbench/editor_options.h"
#include "workbench/tests/program_dir_support.h"
#include "workbench/workbench_window.h"

namespace qorsv {
namespace {

using testing::ReadFile;
using testing::WorkbenchProgramDir;

class WorkbenchAssistTest : public ::testing::Test {
 protected:
  WorkbenchAssistTest() : workbench_(Config()), options_(dir_.Dir()) {
    workbench_.AttachEditorOptions(&options_);
  }

  WorkbenchConfig Config() {
    WorkbenchConfig config;
    config.program_dir = dir_.Dir();
    config.report_error = [](const std::string&) {};
    return config;
  }

  void Type(const std::string& text) {
    workbench_.qorpadChange(text);
    workbench_.analyzecodeClick();
  }

  void AnswerInput(const std::string& text, bool confirmed = true) {
    ASSERT_TRUE(workbench_.Dialog().Pending());
    ASSERT_EQ(workbench_.Dialog().Pending()->kind, DialogKind::kInput);
    workbench_.AnswerDialog(workbench_.Dialog().Pending()->id,
                            confirmed ? DialogAnswer::Ok(text) : DialogAnswer::Cancel());
  }

  WorkbenchProgramDir dir_;
  WorkbenchWindow workbench_;
  EditorOptionsWindow options_;
};

TEST_F(WorkbenchAssistTest, ProcedureListJumpsAndShowsHeaders) {
  workbench_.Show();
  Type("begin\nend.\nprocedure Show(a: integer; b: string);\nbegin\nend;");
  ASSERT_EQ(workbench_.Analysis().listproc(),
            (std::vector<std::string>{"Show", "IntToStr", "echo"}));
  workbench_.SetCaret({1, 3});
  workbench_.listprocClick(0);
  EXPECT_EQ(workbench_.Editor().caret(), (Caret{3, 3}));  // column unchanged
  EXPECT_EQ(workbench_.EditorTopLine(), 3);
  EXPECT_EQ(workbench_.EditorFocusRequests(), 1u);
  workbench_.listprocClick(1);  // a library entry lies past the end: the last line
  EXPECT_EQ(workbench_.Editor().caret().line, 5);

  EXPECT_EQ(workbench_.ListprocHint(), "ugha");
  workbench_.listprocMouseMove(1);
  EXPECT_EQ(workbench_.ListprocHint(), "function IntToStr(Value: Integer): string;");
  workbench_.listprocMouseMove(0);
  EXPECT_EQ(workbench_.ListprocHint(), "procedure Show(a: integer; b: string);");
  workbench_.listprocMouseMove(3);  // below the last entry: unchanged
  EXPECT_EQ(workbench_.ListprocHint(), "procedure Show(a: integer; b: string);");
}

TEST_F(WorkbenchAssistTest, ParameterHintShowsTheArgumentsOfTheCall) {
  workbench_.Show();
  Type("procedure Show(a: integer; b: string);\nShow(1, ");
  workbench_.SetCaret({2, 9});
  ASSERT_TRUE(workbench_.scpParamsExecute());
  const ParameterHintState& hint = workbench_.ParameterHint();
  EXPECT_TRUE(hint.open);
  EXPECT_EQ(hint.list, std::vector<std::string>{"a: integer, b: string"});
  EXPECT_EQ(hint.items, (std::vector<std::string>{"a: integer", "b: string"}));
  EXPECT_EQ(hint.argument, 1);
  EXPECT_EQ(hint.text, "a: integer, b: string");

  workbench_.SetCaret({2, 1});
  EXPECT_FALSE(workbench_.scpParamsExecute());
  EXPECT_FALSE(workbench_.ParameterHint().open);
  EXPECT_TRUE(workbench_.ParameterHint().list.empty());
}

TEST_F(WorkbenchAssistTest, CtrlClickOpensTheHelpPageOfTheWord) {
  workbench_.qorpadChange("s := IntToStr(5) + Missing(1);");
  workbench_.qorpadClick({1, 8});  // without the help pointer: only the caret moves
  EXPECT_EQ(workbench_.webbrowser().Loads(), 0u);
  workbench_.qorpadKeyDown(true);
  EXPECT_TRUE(workbench_.HelpPointer());
  workbench_.qorpadClick({1, 22});  // no page for Missing: the pointer stays
  EXPECT_EQ(workbench_.webbrowser().Loads(), 0u);
  EXPECT_TRUE(workbench_.HelpPointer());
  workbench_.qorpadClick({1, 8});
  EXPECT_EQ(workbench_.webbrowser().Url(), "/help/inttostr.htm");
  EXPECT_EQ(workbench_.ActivePage(), 3);
  EXPECT_FALSE(workbench_.HelpPointer());
  workbench_.qorpadKeyDown(true);
  workbench_.qorpadKeyUp();
  EXPECT_FALSE(workbench_.HelpPointer());
}

TEST_F(WorkbenchAssistTest, TemplatesExpandOnlyAfterTheFirstActivation) {
  workbench_.qorpadChange("  b");
  workbench_.SetCaret({1, 4});
  EXPECT_FALSE(workbench_.ExpandTemplate());
  workbench_.Show();
  workbench_.qorpadChange("  b");
  workbench_.SetCaret({1, 4});
  ASSERT_TRUE(workbench_.ExpandTemplate());
  EXPECT_EQ(workbench_.Editor().Lines(), (std::vector<std::string>{"  begin", "    ", "  end;"}));
  EXPECT_EQ(workbench_.Editor().caret(), (Caret{2, 5}));
  EXPECT_FALSE(workbench_.DocumentSaved());
}

TEST_F(WorkbenchAssistTest, CreateProcedurePastesTheSkeletonAboveTheCaretLine) {
  workbench_.qorpadChange("begin\n  x;\nend.");
  workbench_.SetCaret({2, 4});
  workbench_.Procedure1Click();
  EXPECT_EQ(workbench_.Dialog().Pending()->title, "New Procedure");
  EXPECT_EQ(workbench_.Dialog().Pending()->prompt, "Input procedure name");
  AnswerInput("Greet");
  EXPECT_EQ(workbench_.Clipboard(),
            "\r\n\r\nProcedure Greet (); \r\n   begin\r\n       { body }\r\n   end;\r\n\r\n");
  EXPECT_EQ(workbench_.Editor().Lines(),
            (std::vector<std::string>{"begin", "", "", "Procedure Greet (); ", "   begin",
                                      "       { body }", "   end;", "", "  x;", "end."}));
  EXPECT_EQ(workbench_.Editor().caret(), (Caret{8, 1}));

  workbench_.Function1Click();
  EXPECT_EQ(workbench_.Dialog().Pending()->title, "New Function");
  AnswerInput("", true);  // an empty name ends the command
  EXPECT_EQ(workbench_.Editor().LineCount(), 10);
  workbench_.Function1Click();
  AnswerInput("F");
  EXPECT_EQ(workbench_.Editor().Line(10), "Function F () : ; ");
}

TEST_F(WorkbenchAssistTest, FindSelectsTheEntryOrSaysItCouldNotFindIt) {
  workbench_.Show();
  Type("x\nprocedure Show;\n");
  workbench_.Procedure2Click();
  EXPECT_EQ(workbench_.Dialog().Pending()->title, "Find Procedure/Function");
  EXPECT_EQ(workbench_.Dialog().Pending()->prompt,
            "Enter procedure/function name (in current file only");
  AnswerInput("SHOW");
  EXPECT_EQ(workbench_.ListprocSelected(), 0);
  EXPECT_EQ(workbench_.Editor().caret().line, 2);

  workbench_.Procedure2Click();
  AnswerInput("inttostr");  // library entries are found too
  EXPECT_EQ(workbench_.ListprocSelected(), 1);

  workbench_.Procedure2Click();
  AnswerInput("sho");
  EXPECT_EQ(workbench_.Dialog().Pending()->prompt, "Could not found sho");
  workbench_.AnswerDialog(workbench_.Dialog().Pending()->id, DialogAnswer::Ok());
  workbench_.Procedure2Click();
  AnswerInput("Show", false);
  EXPECT_EQ(workbench_.Dialog().Pending()->prompt, "Could not found ");
}

TEST_F(WorkbenchAssistTest, FirstApplyHandsOverTheOptionsWindowsOwnColours) {
  workbench_.Show();
  EXPECT_EQ(workbench_.Colours(), WorkbenchInitialColours());
  workbench_.EditorColors1Click();
  EXPECT_TRUE(options_.Visible());
  EXPECT_TRUE(workbench_.Modal());
  options_.applyClick();
  EXPECT_FALSE(workbench_.Modal());
  // Cream reserved words on black, yellow numbers: the options window's starting set.
  EXPECT_EQ(workbench_.Colours(), OptionsWindowInitialColours());
  std::string settings = ReadFile(dir_.Path("config/config.xml"));
  for (const char* written :
       {"<SyntaxComplet>TRUE</SyntaxComplet>", "<ScpParams>TRUE</ScpParams>",
        "<SyntaxTimer>1500</SyntaxTimer>", "<KeyAttrBck>0</KeyAttrBck>",
        "<KeyAttrFrg>15793151</KeyAttrFrg>", "<NumFrg>65535</NumFrg>", "<EdCol>0</EdCol>"}) {
    EXPECT_NE(settings.find(written), std::string::npos) << written;
  }
}

TEST_F(WorkbenchAssistTest, CancelAppliesNothingUntilALaterApply) {
  workbench_.Show();
  workbench_.EditorColors1Click();
  options_.ListBox1Click(0);
  options_.bckClick();
  options_.AnswerDialog(options_.Dialog().Pending()->id, DialogAnswer::Colour(0x332211));
  options_.SetCompletionWizard(false);
  options_.SetDelayPosition(3000);
  options_.Button2Click();
  EXPECT_EQ(workbench_.Colours().editor_background, 0);
  EXPECT_TRUE(workbench_.CompletionAttached());

  workbench_.EditorColors1Click();
  EXPECT_EQ(options_.Colours().editor_background, 0x332211);  // kept between openings
  options_.applyClick();
  EXPECT_EQ(workbench_.Colours().editor_background, 0x332211);
  EXPECT_EQ(workbench_.ListingBackground(), 0x332211);
  EXPECT_FALSE(workbench_.CompletionAttached());
  EXPECT_EQ(workbench_.PopupDelayMs(), 3000);
  std::string settings = ReadFile(dir_.Path("config/config.xml"));
  EXPECT_NE(settings.find("<EdCol>3351057</EdCol>"), std::string::npos);
  EXPECT_NE(settings.find("<SyntaxTimer>3000</SyntaxTimer>"), std::string::npos);
  EXPECT_NE(settings.find("<SyntaxComplet>FALSE</SyntaxComplet>"), std::string::npos);

  // A restart reads them back, into the workbench and the options window's controls.
  EditorOptionsWindow options(dir_.Dir());
  WorkbenchWindow restarted(Config());
  restarted.AttachEditorOptions(&options);
  restarted.Show();
  EXPECT_EQ(restarted.Colours(), workbench_.Colours());
  EXPECT_FALSE(restarted.CompletionAttached());
  EXPECT_FALSE(options.CompletionWizard());
  EXPECT_EQ(options.DelayLabel(), "3000 ms.");
  EXPECT_EQ(options.Colours(), OptionsWindowInitialColours());  // not read from the settings
}

}  // namespace
}  // namespace qorsv
