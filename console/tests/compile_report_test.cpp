#include "console/compile_report.h"

#include <gtest/gtest.h>

#include <thread>

#include "console/ui_loop.h"

namespace qorsv {
namespace {

TEST(CompileReportTest, ErrorLineOfMessages) {
  struct Case {
    std::vector<std::string> messages;
    int row;
  } cases[] = {
      {{}, 0},
      {{"[Hint] (4:2): Variable 'x' never used"}, 0},
      {{"[Error] (20:5): Unknown identifier 'X'"}, 20},
      {{"[Error] (7:1): a", "[Warning] (9:1): b"}, 7},
      {{"[Error] (7:1): a", "[Error] (12:3): b"}, 12},     // the last error wins
      {{"[Error] (12:3): b", "[Error] bad: no row"}, 12},  // a message without a row counts not
      {{"[Error] Module(3:1): named module"}, 0},
      {{"[Error] (1:1): Semicolon (';') expected"}, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorLineOfMessages(c.messages), c.row)
        << (c.messages.empty() ? "(none)" : c.messages.back());
  }
}

TEST(CompileReportTest, ListingLines) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"a\nb", {"a\nb"}},     // LF alone ends no line
      {"a\rbc", {"a", "c"}},  // the character after a CR is skipped
  };
  for (const Case& c : cases) EXPECT_EQ(ListingLines(c.text), c.lines) << c.text;
}

TEST(CompileReportTest, ErrorLineTextIsTheNumberedListingLine) {
  const std::string text = "one\r\ntwo\r\nthree\r\nfour";
  struct Case {
    int row;
    std::string line;
  } cases[] = {
      {0, ""},           {1, ""},          {2, ""},  // the prelude's first rows are never marked
      {3, "[3]  three"}, {4, "[4]  four"}, {5, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorLineText(text, c.row), c.line) << c.row;
  // The same line the numbered listing holds.
  std::vector<std::string> listing = ListingLines(text);
  EXPECT_EQ(NumberedListingLine(3, listing[2]), ErrorLineText(text, 3));
}

TEST(CompileReportTest, ReportsReachTheSinkWholeOnTheLoopInOneDrain) {
  UiLoop loop([] { return uint64_t{0}; }, [](const std::string&) {});
  std::vector<CompileReport> applied;
  bool on_loop_thread = true;
  SetCompileReportLoop(&loop);
  SetCompileReportSink([&](const CompileReport& report) {
    on_loop_thread = on_loop_thread && loop.OnLoopThread();
    applied.push_back(report);
  });

  // Eight concurrent runs, the even ones failing.
  std::vector<std::thread> runs;
  for (int i = 0; i < 8; ++i) {
    runs.emplace_back([i] {
      std::vector<std::string> messages;
      for (int m = 0; m < 50; ++m) messages.push_back(std::to_string(i) + ":" + std::to_string(m));
      PostCompileReport(MakeCompileReport(messages, "x", i % 2 == 0));
    });
  }
  for (std::thread& run : runs) run.join();
  EXPECT_EQ(loop.RunPendingTasks(), 1u);
  SetCompileReportSink(nullptr);
  SetCompileReportLoop(nullptr);

  // Every failed report (they show the window) and the last one; each whole, none mixed.
  EXPECT_TRUE(on_loop_thread);
  ASSERT_GE(applied.size(), 4u);
  ASSERT_LE(applied.size(), 5u);
  size_t failed = 0;
  for (const CompileReport& report : applied) {
    ASSERT_EQ(report.messages.size(), 50u);
    const std::string prefix = report.messages[0].substr(0, report.messages[0].find(':') + 1);
    for (const std::string& message : report.messages) EXPECT_EQ(message.rfind(prefix, 0), 0u);
    if (report.failed) ++failed;
  }
  EXPECT_EQ(failed, 4u);
}

TEST(CompileReportTest, ReportsSoonAfterADrainWaitForTheGap) {
  uint64_t now = 1000;
  UiLoop loop([&] { return now; }, [](const std::string&) {});
  std::vector<std::string> applied;
  SetCompileReportLoop(&loop);
  SetCompileReportSink([&](const CompileReport& report) { applied.push_back(report.messages[0]); });
  PostCompileReport(MakeCompileReport({"a"}, "x", false));
  PostCompileReport(MakeCompileReport({"b"}, "x", false));
  EXPECT_EQ(loop.RunPendingTasks(), 1u);
  EXPECT_EQ(applied, std::vector<std::string>{"b"});

  now += 10;
  PostCompileReport(MakeCompileReport({"c"}, "x", true));
  PostCompileReport(MakeCompileReport({"d"}, "x", false));
  EXPECT_EQ(loop.RunPendingTasks(), 1u);
  EXPECT_EQ(applied.size(), 1u) << "within the gap nothing is applied yet";
  now += 14;
  EXPECT_EQ(loop.RunDueTimers(now), 0u);
  now += 1;
  EXPECT_EQ(loop.RunDueTimers(now), 1u);
  EXPECT_EQ(applied, (std::vector<std::string>{"b", "c", "d"}));
  now += 1000;
  EXPECT_EQ(loop.RunDueTimers(now), 0u) << "the timer ticked once";

  PostCompileReport(MakeCompileReport({"e"}, "x", false));
  EXPECT_EQ(loop.RunPendingTasks(), 1u);
  EXPECT_EQ(applied.back(), "e") << "after the gap a report is applied at once";
  SetCompileReportSink(nullptr);
  SetCompileReportLoop(nullptr);
}

}  // namespace
}  // namespace qorsv
