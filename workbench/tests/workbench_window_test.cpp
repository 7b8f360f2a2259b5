#include "workbench/workbench_window.h"

#include <gtest/gtest.h>

#include <functional>

#include "console/ui_loop.h"
#include "transport/error.h"
#include "transport/platform.h"
#include "console/workbench_link.h"
#include "workbench/tests/program_dir_support.h"
#include "workbench/workbench_menus.h"
#include "workbench/workbench_windows.h"

namespace qorsv {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WorkbenchProgramDir;
using testing::WriteFile;

WorkbenchConfig QuietConfig(const std::string& program_dir, std::vector<std::string>* errors) {
  WorkbenchConfig config;
  config.program_dir = program_dir;
  config.report_error = [errors](const std::string& text) { errors->push_back(text); };
  config.wall_clock = [] { return std::time_t{0}; };
  return config;
}

// Answers the pending dialog; the kind is checked first.
void Answer(WorkbenchWindow& workbench, DialogKind kind, const DialogAnswer& answer) {
  ASSERT_TRUE(workbench.Dialog().Pending());
  ASSERT_EQ(workbench.Dialog().Pending()->kind, kind);
  ASSERT_TRUE(workbench.AnswerDialog(workbench.Dialog().Pending()->id, answer));
}

std::string PendingMessage(const WorkbenchWindow& workbench) {
  const auto& pending = workbench.Dialog().Pending();
  return pending && pending->kind == DialogKind::kMessage ? pending->prompt : "";
}

class WorkbenchWindowTest : public ::testing::Test {
 protected:
  WorkbenchWindowTest() : workbench_(QuietConfig(dir_.Dir(), &errors_)) {}

  WorkbenchProgramDir dir_;
  std::vector<std::string> errors_;
  WorkbenchWindow workbench_;
};

TEST_F(WorkbenchWindowTest, CreationStateBeforeTheFirstActivation) {
  EXPECT_EQ(WorkbenchFileName(), dir_.Path("webpage/default/index.html"));
  EXPECT_EQ(workbench_.Caption(), "...");
  EXPECT_EQ(workbench_.ActivePage(), 0);
  EXPECT_EQ(workbench_.Editor().Lines(), WorkbenchWindow::InitialEditorLines());
  EXPECT_FALSE(workbench_.DocumentSaved());
  EXPECT_EQ(workbench_.ServerAddress(), "http://127.0.0.1");
  EXPECT_EQ(workbench_.ListprocHint(), "ugha");
  EXPECT_EQ(workbench_.Templates().size(), 1u);
  EXPECT_EQ(workbench_.Analysis().TriggerChars(), ".");
  EXPECT_TRUE(errors_.empty());

  EXPECT_EQ(WorkbenchWindow::DefaultServerAddress(80), "http://127.0.0.1");
  EXPECT_EQ(WorkbenchWindow::DefaultServerAddress(8123), "http://127.0.0.1:8123");

  // A template file that cannot be read is reported and creation goes on.
  TempDir empty;
  std::vector<std::string> errors;
  WorkbenchWindow bare(QuietConfig(empty.Dir(), &errors));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("config/qor.dci"), std::string::npos);
  EXPECT_TRUE(bare.Templates().empty());
}

TEST_F(WorkbenchWindowTest, FirstActivationReadsTheSettingsOnce) {
  WriteFile(dir_.Path("scripts/page.qor"), "procedure p;\nbegin end.\n");
  WriteFile(dir_.Path("config/config.xml"),
            "<Configuration><LastEditorFile>" + dir_.Path("scripts/page.qor") +
                "</LastEditorFile><ServerAddress>http://10.0.0.2</ServerAddress>"
                "<EdMinPan>FALSE</EdMinPan><EdBoriP>no</EdBoriP><SyntaxComplet>N</SyntaxComplet>"
                "<SyntaxTimer>5000</SyntaxTimer><NumFrg>255</NumFrg><EdCol>65280</EdCol>"
                "</Configuration>");
  workbench_.Show();
  EXPECT_TRUE(workbench_.Visible());
  EXPECT_EQ(workbench_.xml().FileName(), dir_.Path("config/config.xml"));
  EXPECT_EQ(WorkbenchFileName(), dir_.Path("scripts/page.qor"));
  EXPECT_EQ(workbench_.Editor().Line(1), "procedure p;");
  EXPECT_EQ(workbench_.Analysis().listproc().front(), "p");
  EXPECT_EQ(workbench_.ServerAddress(), "http://10.0.0.2");
  EXPECT_FALSE(workbench_.PanelVisible());
  EXPECT_FALSE(workbench_.MinipanelTicked());
  EXPECT_FALSE(workbench_.BrowserTicked());
  EXPECT_EQ(workbench_.ResultPaneHeight(), 1);
  EXPECT_EQ(workbench_.RememberedPaneHeight(), 182);
  EXPECT_FALSE(workbench_.CompletionAttached());
  EXPECT_TRUE(workbench_.ParamsAttached());
  EXPECT_EQ(workbench_.PopupDelayMs(), 3000);  // kept within the track bar's range
  EXPECT_EQ(workbench_.Colours().Row(6).foreground, 255);
  EXPECT_EQ(workbench_.Colours().Row(2).foreground, kColourButtonFace);  // the default
  EXPECT_EQ(workbench_.Colours().editor_background, 65280);
  EXPECT_EQ(workbench_.ListingBackground(), 65280);

  WriteFile(dir_.Path("config/config.xml"),
            "<Configuration><EdMinPan>TRUE</EdMinPan></Configuration>");
  workbench_.Hide();
  workbench_.Show();  // later activations read nothing
  EXPECT_FALSE(workbench_.PanelVisible());
}

TEST_F(WorkbenchWindowTest, MissingLastFileKeepsTheDefaultDocumentAndTheInitialText) {
  WriteFile(dir_.Path("config/config.xml"),
            "<Configuration><LastEditorFile>/nowhere/gone.qor</LastEditorFile></Configuration>");
  workbench_.Show();
  EXPECT_EQ(WorkbenchFileName(), dir_.Path("webpage/default/index.html"));
  EXPECT_EQ(workbench_.Editor().Lines(), WorkbenchWindow::InitialEditorLines());
  EXPECT_TRUE(workbench_.BrowserTicked());  // absent: the browser is shown
}

TEST_F(WorkbenchWindowTest, NewDocumentsComeFromTheTemplates) {
  workbench_.Show();
  workbench_.NewScript();
  EXPECT_EQ(WorkbenchFileName(), "Untitled.qor");
  EXPECT_EQ(workbench_.Editor().Lines(), (std::vector<std::string>{"begin", "end.", ""}));
  EXPECT_EQ(workbench_.Editor().Break(), LineBreak::kLf);
  EXPECT_EQ(workbench_.LinkType(), 1);
  EXPECT_FALSE(workbench_.DocumentSaved());
  EXPECT_TRUE(workbench_.Editor().EditsSince(workbench_.Editor().Revision() - 1)->front()
                  .new_document);

  workbench_.NewHtml();
  EXPECT_EQ(WorkbenchFileName(), "Untitled.html");
  EXPECT_EQ(workbench_.LinkType(), 0);
  EXPECT_EQ(workbench_.Editor().Line(2), "<%qor%>onload");

  // A missing template stops New after the editor was cleared.
  std::filesystem::remove(dir_.Path("scripts/templates/new.qor"));
  EXPECT_THROW(workbench_.NewScript(), QorsvError);
  EXPECT_EQ(workbench_.Editor().Lines(), std::vector<std::string>{""});
  EXPECT_EQ(WorkbenchFileName(), "Untitled.html");
}

TEST_F(WorkbenchWindowTest, OpenLoadsWritesTheBackupAndSaveKeepsTheLineBreaks) {
  workbench_.Show();
  WriteFile(dir_.Path("scripts/page.qor"), "procedure a;\nbegin\nend.\n");
  workbench_.Open();
  const DialogRequest& request = *workbench_.Dialog().Pending();
  EXPECT_EQ(request.kind, DialogKind::kOpenFile);
  EXPECT_EQ(request.directory, dir_.Path("scripts"));
  EXPECT_TRUE(request.hide_read_only);
  EXPECT_TRUE(request.filter.empty());
  EXPECT_TRUE(workbench_.Modal());
  workbench_.NewScript();  // ignored while the dialog is open
  EXPECT_NE(WorkbenchFileName(), "Untitled.qor");
  Answer(workbench_, DialogKind::kOpenFile, DialogAnswer::Ok(dir_.Path("scripts/page.qor")));

  EXPECT_EQ(WorkbenchFileName(), dir_.Path("scripts/page.qor"));
  EXPECT_EQ(ReadFile(dir_.Path("scripts/page.~qor")), "procedure a;\nbegin\nend.\n");
  EXPECT_TRUE(workbench_.DocumentSaved());
  EXPECT_EQ(workbench_.ActivePage(), 2);
  EXPECT_EQ(workbench_.Analysis().listproc().front(), "a");

  workbench_.ApplyEditorEdit(TextEdit{{2, 6}, {2, 6}, "\n  echo('x');", {3, 13}, false});
  EXPECT_FALSE(workbench_.DocumentSaved());
  workbench_.Save();
  EXPECT_TRUE(workbench_.DocumentSaved());
  EXPECT_EQ(ReadFile(dir_.Path("scripts/page.qor")),
            "procedure a;\nbegin\n  echo('x');\nend.\n");

  // Cancel changes nothing.
  workbench_.Open();
  Answer(workbench_, DialogKind::kOpenFile, DialogAnswer::Cancel());
  EXPECT_EQ(WorkbenchFileName(), dir_.Path("scripts/page.qor"));
}

TEST_F(WorkbenchWindowTest, BackupNamesReplaceOnlyTheExtension) {
  workbench_.Show();
  WriteFile(dir_.Path("a.qor/page.qor"), "x");
  WriteFile(dir_.Path("scripts/README"), "y");
  workbench_.Open();
  Answer(workbench_, DialogKind::kOpenFile, DialogAnswer::Ok(dir_.Path("a.qor/page.qor")));
  EXPECT_EQ(ReadFile(dir_.Path("a.qor/page.~qor")), "x");
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("a.~qor")));
  workbench_.Open();
  Answer(workbench_, DialogKind::kOpenFile, DialogAnswer::Ok(dir_.Path("scripts/README")));
  EXPECT_EQ(ReadFile(dir_.Path("scripts/README~")), "y");
}

TEST_F(WorkbenchWindowTest, SaveOfAnUntitledDocumentAsksForAName) {
  workbench_.Show();
  workbench_.NewScript();
  workbench_.Save();
  EXPECT_EQ(workbench_.Dialog().Pending()->directory, dir_.Path("scripts"));
  Answer(workbench_, DialogKind::kSaveFile, DialogAnswer::Cancel());
  EXPECT_FALSE(workbench_.DocumentSaved());
  EXPECT_EQ(WorkbenchFileName(), "Untitled.qor");

  workbench_.SaveAs();
  Answer(workbench_, DialogKind::kSaveFile, DialogAnswer::Ok(dir_.Path("scripts/mine.qor")));
  EXPECT_TRUE(workbench_.DocumentSaved());
  EXPECT_EQ(WorkbenchFileName(), dir_.Path("scripts/mine.qor"));
  EXPECT_EQ(ReadFile(dir_.Path("scripts/mine.qor")), "begin\nend.\n");
}


TEST_F(WorkbenchWindowTest, ADroppedFileBecomesAnUntitledDocumentThatSaveOffersToName) {
  workbench_.Show();
  struct Case {
    const char* name;
    const char* untitled;
    int link_type;
    const char* offered;
  };
  const Case cases[] = {
      {"page.HTML", "Untitled.html", 0, "page.HTML"},
      {"C:\\work\\lib.qor", "Untitled.qor", 1, "lib.qor"},
      {"/home/op/notes", "Untitled.qor", 1, "notes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    workbench_.OpenDropped(c.name, "procedure p;\rbegin\rend;\r");
    EXPECT_EQ(WorkbenchFileName(), c.untitled);
    EXPECT_EQ(workbench_.LinkType(), c.link_type);
    EXPECT_EQ(workbench_.Editor().Break(), LineBreak::kCr);
    EXPECT_FALSE(workbench_.DocumentSaved());
    EXPECT_EQ(workbench_.ActivePage(), 2);
    EXPECT_EQ(workbench_.Analysis().listproc().front(), "p");
    workbench_.Save();
    EXPECT_EQ(workbench_.Dialog().Pending()->text, c.offered);
    Answer(workbench_, DialogKind::kSaveFile, DialogAnswer::Cancel());
  }
  workbench_.Save();
  Answer(workbench_, DialogKind::kSaveFile, DialogAnswer::Ok(dir_.Path("scripts/notes.qor")));
  EXPECT_EQ(ReadFile(dir_.Path("scripts/notes.qor")), "procedure p;\rbegin\rend;\r");
  // Once saved, or after New, nothing dropped is offered any more.
  workbench_.SaveAs();
  EXPECT_EQ(workbench_.Dialog().Pending()->text, "");
  Answer(workbench_, DialogKind::kSaveFile, DialogAnswer::Cancel());
  workbench_.OpenDropped("x.qor", "");
  workbench_.NewScript();
  EXPECT_EQ(workbench_.SuggestedFileName(), "");
}
TEST_F(WorkbenchWindowTest, RunNavigatesTheChosenBrowserToTheRunUrl) {
  workbench_.Show();
  workbench_.NewScript();
  workbench_.Run();
  Answer(workbench_, DialogKind::kSaveFile, DialogAnswer::Cancel());
  EXPECT_EQ(PendingMessage(workbench_), "You have to save your file before running !");
  EXPECT_EQ(workbench_.browserqor().Loads(), 0u);
  Answer(workbench_, DialogKind::kMessage, DialogAnswer::Ok());

  workbench_.Run();
  Answer(workbench_, DialogKind::kSaveFile, DialogAnswer::Ok(dir_.Path("scripts/run.qor")));
  EXPECT_EQ(workbench_.browserqor().Url(), "http://127.0.0.1/-qorcompilerscript.qor");
  EXPECT_EQ(workbench_.browserqor().Loads(), 1u);
  EXPECT_EQ(workbench_.webbrowser().Loads(), 0u);
  EXPECT_EQ(workbench_.ActivePage(), 0);  // the pane shows the result; the page stays

  workbench_.SetServerAddress("http://localhost:8080/");
  workbench_.Browser();  // collapsed: the result goes to page 3
  workbench_.Run();
  EXPECT_EQ(workbench_.webbrowser().Url(), "http://localhost:8080//-qorcompilerscript.qor");
  EXPECT_EQ(workbench_.ActivePage(), 3);

  workbench_.Browser();
  workbench_.PageControl1Change(2);
  workbench_.thisserveraddressEnter();  // Enter ends on page 3 in either case
  EXPECT_EQ(workbench_.browserqor().Loads(), 2u);
  EXPECT_EQ(workbench_.ActivePage(), 3);
}

TEST_F(WorkbenchWindowTest, HelpTimePanelAndPane) {
  workbench_.Help();
  EXPECT_EQ(workbench_.webbrowser().Url(), "/help/index.html");
  EXPECT_EQ(workbench_.ActivePage(), 3);

  workbench_.Time();
  std::string expected = "Time is " + LongTimeText(0) + "    :) Don't you have a clock in your taskbar ?!";
  EXPECT_EQ(PendingMessage(workbench_), expected);
  Answer(workbench_, DialogKind::kMessage, DialogAnswer::Ok());

  workbench_.Minipanel();
  EXPECT_FALSE(workbench_.PanelVisible());
  EXPECT_FALSE(workbench_.MinipanelTicked());
  workbench_.Minipanel();
  EXPECT_TRUE(workbench_.PanelVisible());

  workbench_.SetResultPaneHeight(240);
  workbench_.Browser();
  EXPECT_EQ(workbench_.ResultPaneHeight(), 1);
  EXPECT_FALSE(workbench_.BrowserTicked());
  workbench_.Browser();
  EXPECT_EQ(workbench_.ResultPaneHeight(), 240);
  EXPECT_TRUE(workbench_.BrowserTicked());
  EXPECT_FALSE(WorkbenchWindow::FormatSourceEnabled());
}

TEST_F(WorkbenchWindowTest, TimersWalkThePagesAndSetTheTitle) {
  std::vector<int> pages;
  for (int tick = 0; tick < 6; ++tick) {
    workbench_.dbgswitchTimer();
    pages.push_back(workbench_.ActivePage());
  }
  EXPECT_EQ(pages, (std::vector<int>{1, 2, 2, 2, 2, 2}));
  EXPECT_FALSE(workbench_.DbgswitchRunning());
  EXPECT_TRUE(workbench_.EditMenuVisible());  // a command's page change keeps the menus

  workbench_.PageControl1Change(1);
  EXPECT_FALSE(workbench_.EditMenuVisible());
  EXPECT_FALSE(workbench_.CodeMenuVisible());
  workbench_.PageControl1Change(2);
  EXPECT_TRUE(workbench_.EditMenuVisible());

  workbench_.syncompletExecute("wri");
  EXPECT_EQ(workbench_.Caption(), "wri");
  workbench_.Timer1Timer();
  EXPECT_EQ(workbench_.Caption(), "..::Torvane!:.. debugger - " + WorkbenchFileName());
}

TEST_F(WorkbenchWindowTest, EveryMenuAndToolbarCommandIsKnown) {
  workbench_.Time();  // modal: the commands below are recognised but not carried out
  std::vector<std::string> commands;
  for (const WorkbenchMenuItem& item : WorkbenchMenu()) commands.push_back(item.command);
  for (const WorkbenchToolButton& button : WorkbenchToolbar()) commands.push_back(button.command);
  for (const std::string& command : commands) {
    if (command.empty() || command.rfind("editor.", 0) == 0) continue;
    EXPECT_TRUE(workbench_.RunCommand(command)) << command;
  }
  EXPECT_FALSE(workbench_.RunCommand("Format"));
  EXPECT_EQ(PendingMessage(workbench_).rfind("Time is ", 0), 0u);  // still the first dialog
  workbench_.AnswerDialog(workbench_.Dialog().Pending()->id, DialogAnswer::Ok());
  EXPECT_TRUE(workbench_.RunCommand("Minipanel"));
  EXPECT_FALSE(workbench_.PanelVisible());
}

TEST(WorkbenchTimersTest, TimersRunOnTheUiLoop) {
  WorkbenchProgramDir dir;
  uint64_t now = 0;
  UiLoop loop([&now] { return now; }, [](const std::string&) {});
  WorkbenchConfig config;
  config.program_dir = dir.Dir();
  config.loop = &loop;
  {
    WorkbenchWindow workbench(config);
    for (now = 100; now <= 1000; now += 100) loop.RunDueTimers(now);
    EXPECT_EQ(workbench.ActivePage(), 2);
    EXPECT_EQ(workbench.Caption(), "...");
    now = 5000;
    loop.RunDueTimers(now);
    EXPECT_EQ(workbench.Caption(), "..::Torvane!:.. debugger - " + WorkbenchFileName());
  }
  // The window's timers end with it.
  EXPECT_EQ(loop.RunDueTimers(100000), 0u);
}

TEST(WorkbenchCloseTest, CloseBoxAsksForANameThenHidesAndWritesTheSettings) {
  WorkbenchProgramDir dir;
  std::vector<std::string> errors;
  WorkbenchWindow workbench(QuietConfig(dir.Dir(), &errors));
  workbench.Show();
  workbench.NewScript();
  workbench.FormCloseQuery();
  EXPECT_TRUE(workbench.Visible());
  Answer(workbench, DialogKind::kSaveFile, DialogAnswer::Cancel());
  EXPECT_FALSE(workbench.Visible());
  std::string settings = ReadFile(dir.Path("config/config.xml"));
  EXPECT_NE(settings.find("<LastEditorFile>Untitled.qor</LastEditorFile>"), std::string::npos);
  EXPECT_NE(settings.find("<EdBoriP>TRUE</EdBoriP>"), std::string::npos);
}

TEST(WorkbenchCloseTest, CloseAtExitSavesTheDocumentAndWritesTheFourSettings) {
  WorkbenchProgramDir dir;
  UiLoop loop([] { return uint64_t{0}; }, [](const std::string&) {});
  WorkbenchWindows windows(dir.Dir());
  windows.CreateWorkbench(loop, 8123);
  windows.CreateEditorOptions();
  windows.ShowWorkbench();
  EXPECT_TRUE(windows.WorkbenchVisible());
  EXPECT_FALSE(windows.EditorOptions().Visible());
  SetWorkbenchFileName(dir.Path("scripts/x.qor"));
  windows.Workbench().Open();  // nobody will answer this one
  windows.CloseWorkbench();
  EXPECT_FALSE(windows.WorkbenchVisible());
  EXPECT_FALSE(windows.Workbench().Dialog().IsOpen());
  EXPECT_EQ(ReadFile(dir.Path("scripts/x.qor")),
            "begin\r\n\r\n         Writeln (' Hello WORLD !');\r\n\r\nend.");
  EXPECT_EQ(ReadFile(dir.Path("config/config.xml")),
            "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n"
            "  <LastEditorFile>" +
                dir.Path("scripts/x.qor") +
                "</LastEditorFile>\r\n"
                "  <ServerAddress>http://127.0.0.1:8123</ServerAddress>\r\n"
                "  <EdMinPan>TRUE</EdMinPan>\r\n"
                "  <EdBoriP>TRUE</EdBoriP>\r\n"
                "</Configuration>\r\n");
}

TEST(WorkbenchCloseTest, CloseAtExitLeavesADocumentChangedOnlyOnDiskAlone) {
  WorkbenchProgramDir dir;
  const std::string last = dir.Path("scripts/last.qor");
  const std::string other = dir.Path("scripts/other.qor");
  WriteFile(last, "begin\r\nend.\r\n");
  WriteFile(other, "x\r\n");
  WriteFile(dir.Path("config/config.xml"),
            "<Configuration><LastEditorFile>" + last + "</LastEditorFile></Configuration>");
  std::vector<std::string> errors;
  auto close_after = [&](const std::function<void(WorkbenchWindow&)>& use) {
    WorkbenchWindow workbench(QuietConfig(dir.Dir(), &errors));
    workbench.Show();
    use(workbench);
    workbench.CloseAtExit();
  };
  // Loaded at the start, then changed by another editor: the exit keeps that editor's text.
  close_after([&](WorkbenchWindow&) { WriteFile(last, "changed elsewhere\r\n"); });
  EXPECT_EQ(ReadFile(last), "changed elsewhere\r\n");
  // The same after Open and after a Save.
  close_after([&](WorkbenchWindow& workbench) {
    workbench.Open();
    Answer(workbench, DialogKind::kOpenFile, DialogAnswer::Ok(other));
    workbench.Save();
    WriteFile(other, "y\r\n");
  });
  EXPECT_EQ(ReadFile(other), "y\r\n");
  // A document edited in the workbench is saved, whatever happened on disk.
  close_after([&](WorkbenchWindow& workbench) {
    workbench.ApplyEditorEdit(TextEdit{{1, 1}, {1, 1}, "z", {1, 2}});
    WriteFile(other, "lost\r\n");
  });
  EXPECT_EQ(ReadFile(other), "zy\r\n");
  EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace qorsv
