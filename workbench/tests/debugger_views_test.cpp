#include "workbench/debugger_views.h"

#include <gtest/gtest.h>

#include "console/tests/temp_dir.h"
#include "console/ui_loop.h"
#include "workbench/workbench_window.h"

namespace qorsv {
namespace {

TEST(DebuggerViewsTest, NumberingPrefixesEveryLineAndAddsNone) {
  DebuggerViews views(nullptr);
  views.ApplyCompileReport(MakeCompileReport({}, "a\r\n\r\nc", false));
  EXPECT_EQ(views.dbgmem(), (std::vector<std::string>{"[1]  a", "[2]  ", "[3]  c"}));
}

TEST(DebuggerViewsTest, ListingReadAfterSeveralReportsIsTheLastNumberedOnce) {
  DebuggerViews views(nullptr);
  views.ApplyCompileReport(MakeCompileReport({}, "first\r\n", false));
  views.ApplyCompileReport(MakeCompileReport({}, "x\r\ny", false));
  EXPECT_EQ(views.dbgmem(), (std::vector<std::string>{"[1]  x", "[2]  y"}));
  EXPECT_EQ(views.dbgmem(), (std::vector<std::string>{"[1]  x", "[2]  y"}));
  views.Button1Click();  // the button numbers what is shown once more
  EXPECT_EQ(views.dbgmem(), (std::vector<std::string>{"[1]  [1]  x", "[2]  [2]  y"}));
  // An error row past the listing's end marks nothing.
  views.ApplyCompileReport(MakeCompileReport({"[Error] (4:1): e"}, "a\r\nb\r\nc\r\n", true));
  EXPECT_EQ(views.MarkedLine(), 0);
  views.ApplyCompileReport(MakeCompileReport({"[Error] (3:1): e"}, "a\r\nb\r\nc\r\n", true));
  EXPECT_EQ(views.MarkedLine(), 3);
}

TEST(DebuggerViewsTest, FailedCompileMarksShowsAndFocuses) {
  int shown = 0;
  DebuggerViews views([&] { ++shown; });
  std::string text;
  for (int row = 1; row <= 25; ++row) text += "line" + std::to_string(row) + "\r\n";
  CompileReport report =
      MakeCompileReport({"[Hint] (1:1): h", "[Error] (20:3): Unknown identifier 'Q'"}, text, true);
  views.ApplyCompileReport(report);

  EXPECT_EQ(views.errormsg(), report.messages);
  ASSERT_EQ(views.dbgmem().size(), 25u);
  EXPECT_EQ(views.MarkedLine(), 20);
  EXPECT_EQ(views.dbgmem()[19], "[20]  line20");
  EXPECT_EQ(views.dbgmem()[19], report.error_line_text);  // what the runner answered
  EXPECT_EQ(views.StatusBar1(), "Script error . [20]  line20 [ [20]  line20 ] ");
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(views.Focused());
  EXPECT_EQ(views.BroughtToFront(), 1u);

  // A later successful compile replaces listing and messages, unmarks, and shows nothing.
  views.LoseFocus();
  views.ApplyCompileReport(MakeCompileReport({}, "ok\r\n", false));
  EXPECT_EQ(views.dbgmem(), std::vector<std::string>{"[1]  ok"});
  EXPECT_TRUE(views.errormsg().empty());
  EXPECT_EQ(views.MarkedLine(), 0);
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(views.Focused());
  EXPECT_EQ(views.Revision(), 2u);
}

TEST(DebuggerViewsTest, ErrorsInThePreludeRowsOrBeyondTheListingMarkNothing) {
  for (int row : {1, 2, 9}) {
    DebuggerViews views(nullptr);
    views.ApplyCompileReport(
        MakeCompileReport({"[Error] (" + std::to_string(row) + ":1): x"}, "a\r\nb\r\nc\r\n", true));
    EXPECT_EQ(views.MarkedLine(), 0) << row;
    EXPECT_EQ(views.StatusBar1(), "Script error .  [  ] ") << row;
    EXPECT_TRUE(views.Focused()) << row;
  }
}

TEST(DebuggerViewsTest, TheWorkbenchReceivesPostedReportsOnItsLoop) {
  testing::TempDir dir;
  UiLoop loop([] { return uint64_t{0}; }, [](const std::string&) {});
  SetCompileReportLoop(&loop);
  {
    WorkbenchWindow workbench(dir.Dir());
    PostCompileReport(MakeCompileReport({"[Error] (3:1): bad"}, "a\r\nb\r\nc\r\n", true));
    EXPECT_EQ(workbench.debugger_views().Revision(), 0u);  // nothing before the loop runs
    loop.RunPendingTasks();
    EXPECT_EQ(workbench.debugger_views().MarkedLine(), 3);
    EXPECT_TRUE(workbench.Visible());
  }
  // The views are gone: a late report is dropped.
  PostCompileReport(MakeCompileReport({}, "a", false));
  loop.RunPendingTasks();
  SetCompileReportLoop(nullptr);
}

}  // namespace
}  // namespace qorsv
