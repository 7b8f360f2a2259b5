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

TEST(CompileReportTest, ReportsReachTheSinkOnTheLoopOneTaskEach) {
  UiLoop loop([] { return uint64_t{0}; }, [](const std::string&) {});
  std::vector<std::vector<std::string>> applied;
  bool on_loop_thread = true;
  SetCompileReportLoop(&loop);
  SetCompileReportSink([&](const CompileReport& report) {
    on_loop_thread = on_loop_thread && loop.OnLoopThread();
    applied.push_back(report.messages);
  });

  std::vector<std::thread> runs;
  for (int i = 0; i < 8; ++i) {
    runs.emplace_back([i] {
      std::vector<std::string> messages;
      for (int m = 0; m < 50; ++m) messages.push_back(std::to_string(i) + ":" + std::to_string(m));
      PostCompileReport(MakeCompileReport(messages, "x", false));
    });
  }
  for (std::thread& run : runs) run.join();
  EXPECT_EQ(loop.RunPendingTasks(), 8u);
  SetCompileReportSink(nullptr);
  SetCompileReportLoop(nullptr);

  ASSERT_EQ(applied.size(), 8u);
  EXPECT_TRUE(on_loop_thread);
  for (const std::vector<std::string>& messages : applied) {
    ASSERT_EQ(messages.size(), 50u);
    const std::string prefix = messages[0].substr(0, messages[0].find(':') + 1);
    for (const std::string& message : messages) EXPECT_EQ(message.rfind(prefix, 0), 0u);
  }
}

}  // namespace
}  // namespace qorsv
