#include "console/server_log.h"

#include <gtest/gtest.h>

#include <regex>

namespace qorsv {
namespace {

class ServerLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProcessLogBuffer().Clear();
    SetLogViewSink([this](LogView view, const std::string& line) {
      shown.push_back((view == LogView::kMemo1 ? "Memo1: " : "syslog: ") + line);
    });
  }
  void TearDown() override {
    SetLogViewSink(nullptr);
    SetShowLog(false);
    ProcessLogBuffer().Clear();
  }
  std::vector<std::string> shown;
};

TEST_F(ServerLogTest, LineFormat) {
  std::tm parts{};
  parts.tm_mday = 8;
  parts.tm_mon = 11;
  parts.tm_year = 125;
  parts.tm_hour = 7;
  parts.tm_min = 5;
  parts.tm_sec = 9;
  parts.tm_isdst = -1;
  EXPECT_EQ(LogLineText(std::mktime(&parts), "GET /index.html"),
            "[ 08/12/2025 - 07:05:09 ] GET /index.html");
}

TEST_F(ServerLogTest, ShowlogOffBuffersButShowsNothing) {
  WriteLogLine("request");
  AddMemo1Line("memo");
  AddSyslogLine("sql");
  AppendLogBufferLine("Delta time : 3");
  EXPECT_TRUE(shown.empty());
  std::vector<std::string> lines = ProcessLogBuffer().Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(
      std::regex_match(lines[0], std::regex(R"(\[ \d\d/\d\d/\d{4} - \d\d:\d\d:\d\d \] request)")))
      << lines[0];
  EXPECT_EQ(lines[1], "Delta time : 3");
}

TEST_F(ServerLogTest, ShowlogOnShowsLinesInTheirViewsWithoutSavingDirectAdditions) {
  SetShowLog(true);
  EXPECT_TRUE(ShowLogEnabled());
  WriteLogLine("request");
  AddSyslogLine("killed sql : 12 name:\"a.db\"");
  AddMemo1Line("memo only");
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0], "Memo1: " + ProcessLogBuffer().Lines()[0]);
  EXPECT_EQ(shown[1], "syslog: killed sql : 12 name:\"a.db\"");
  EXPECT_EQ(shown[2], "Memo1: memo only");
  EXPECT_EQ(ProcessLogBuffer().Lines().size(), 1u);
}

}  // namespace
}  // namespace qorsv
