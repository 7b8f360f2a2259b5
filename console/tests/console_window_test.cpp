#include "console/console_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "console/operator_messages.h"
#include "console/product.h"
#include "console/tests/fakes.h"
#include "console/tests/temp_dir.h"
#include "console/traffic_counters.h"

namespace qorsv {
namespace {

using testing::EventLog;
using testing::FakeCompanions;
using testing::FakeFrontEnd;
using testing::ReadFile;
using testing::TempDir;

std::vector<std::string> LinesOf(const ViewLines& view) {
  return {view.Lines().begin(), view.Lines().end()};
}

class ConsoleWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProcessLogBuffer().Clear();
    ProcessTrafficCounters().Restore({});
    CloseAllOperatorMessages();
    std::filesystem::create_directories(dir.Path("logs/http_server_log"));
  }
  void TearDown() override {
    SetShowLog(false);
    CloseAllOperatorMessages();
  }

  // Builds the window and runs its first show and activation, as start-up does.
  ConsoleWindow& Open() {
    ConsoleConfig config;
    config.program_dir = dir.Dir();
    config.listen_port = 8123;
    config.wall_clock = [] { return std::time_t{1765195200}; };  // 8 Dec 2025, midday UTC
    config.pick_tip = [](size_t) { return size_t{0}; };
    window = std::make_unique<ConsoleWindow>(loop, front_end, companions, config);
    companions.ShowWorkbench();
    window->FormShow();
    window->FormActivate();
    events.clear();
    return *window;
  }
  std::string LogFile() {
    return dir.Path("logs/http_server_log/") + LogFileName(std::time_t{1765195200});
  }
  std::string SettingsText() { return ReadFile(dir.Path("config/config.xml")); }

  TempDir dir;
  EventLog events;
  uint64_t now = 0;
  std::vector<std::string> errors;
  UiLoop loop{[this] { return now; }, [this](const std::string& text) { errors.push_back(text); }};
  FakeFrontEnd front_end{events};
  FakeCompanions companions{events, dir.Path("config/config.xml")};
  std::unique_ptr<ConsoleWindow> window;
};

TEST_F(ConsoleWindowTest, DesignTextsAndConstruction) {
  ConsoleWindow& console = Open();
  EXPECT_EQ(console.Caption(), std::string(kProductBanner) + " -> active");
  EXPECT_EQ(console.Label1(), kProductBanner);
  EXPECT_EQ(console.Label2(), "Sent 0 GB 0 MB 0 KB 0 bytes");
  EXPECT_EQ(console.Label12(), "");
  EXPECT_EQ(console.lbl_sqlhandles(), "Sql Handles : 0 ");
  EXPECT_EQ(LinesOf(console.Memo1()), std::vector<std::string>{"LOG FILE >>"});
  EXPECT_EQ(LinesOf(console.syslog()), std::vector<std::string>{"syslog"});
  EXPECT_EQ(console.Hostrootdir(), front_end.hosts);
  EXPECT_TRUE(console.cbActiveChecked());
  EXPECT_EQ(console.ProgramDirectory(), dir.Dir());
}

TEST_F(ConsoleWindowTest, TitleSaysInactiveWhenTheListenerIsNotListening) {
  struct Silent : FakeFrontEnd {
    using FakeFrontEnd::FakeFrontEnd;
    bool Listening() const override { return false; }
  } silent{events};
  ConsoleConfig config;
  config.program_dir = dir.Dir();
  ConsoleWindow console(loop, silent, companions, config);
  EXPECT_EQ(console.Caption(), std::string(kProductBanner) + " -> inactive");
}

TEST_F(ConsoleWindowTest, TimersRefreshLabelsSaveTheLogAndStoreTheCounters) {
  ConsoleWindow& console = Open();
  WriteLogLine("GET /");
  AddTraffic(1500);
  front_end.sql_handles = 3;

  now = 10000;
  loop.RunDueTimers(now);
  EXPECT_EQ(console.Label2(), "Sent 0 GB 0 MB 1 KB 476 bytes.");
  EXPECT_NE(ReadFile(LogFile()).find("] GET /\r\n"), std::string::npos);
  EXPECT_EQ(front_end.idle_releases, 1);

  now = 60000;
  loop.RunDueTimers(now);
  EXPECT_EQ(console.Label12(), "UT : 0y0mth0d0h1m");
  EXPECT_EQ(console.TrayHint(), "UT : 0y0mth0d0h1m\r\nUT:1\r\n");
  std::string settings = SettingsText();
  EXPECT_NE(settings.find("  <OutKB>1</OutKB>\r\n  <OutBytes>476</OutBytes>\r\n"
                          "  <ShowLog>FALSE</ShowLog>\r\n  <ServedFiles>1</ServedFiles>"),
            std::string::npos)
      << settings;

  now = 120000;
  loop.RunDueTimers(now);
  EXPECT_EQ(console.lbl_sqlhandles(), "Sql Handles : 3");
  EXPECT_TRUE(errors.empty());
}

TEST_F(ConsoleWindowTest, ResetStatsAndClearLogs) {
  ConsoleWindow& console = Open();
  AddTraffic(5000);
  console.Button1Click();
  EXPECT_EQ(console.Label2(), "Sent 0 GB 0 MB 0 KB 0 Bytes");
  WriteLogLine("buffered");
  console.Button5Click();
  EXPECT_TRUE(console.Memo1().empty());
  EXPECT_TRUE(console.syslog().empty());
  loop.RunDueTimers(now = 10000);
  EXPECT_EQ(console.Label2(), "Sent 0 GB 0 MB 0 KB 0 bytes.");
  EXPECT_NE(ReadFile(LogFile()).find("] buffered\r\n"), std::string::npos);
}

TEST_F(ConsoleWindowTest, ViewLinesFromOtherThreadsArriveInOrderWhileShowlogIsOn) {
  ConsoleWindow& console = Open();
  WriteLogLine("hidden");
  console.showlogClick(true);
  std::thread connection([] {
    WriteLogLine("shown");
    AddSyslogLine("sys");
    ShowSqlHandleCount(2);
  });
  connection.join();
  loop.RunPendingTasks();
  ASSERT_EQ(console.Memo1().size(), 2u);
  EXPECT_NE(console.Memo1()[1].find("] shown"), std::string::npos);
  EXPECT_EQ(LinesOf(console.syslog()), (std::vector<std::string>{"syslog", "sys"}));
  EXPECT_EQ(console.lbl_sqlhandles(), "Sql Handles : 2");
  EXPECT_EQ(ProcessLogBuffer().Lines().size(), 2u);
}

TEST_F(ConsoleWindowTest, AFloodOfViewLinesIsAppliedInBatchesAndBounded) {
  ConsoleWindow& console = Open();
  console.showlogClick(true);
  now = 1000;
  AddMemo1Line("first");
  EXPECT_EQ(loop.QueuedTaskCount(), 1u);
  loop.RunPendingTasks();  // the first batch is applied at once
  EXPECT_EQ(console.Memo1().Lines().back(), "first");

  std::thread connection([] {
    for (size_t i = 0; i < 3 * kViewLineLimit; ++i) AddMemo1Line("line " + std::to_string(i));
  });
  connection.join();
  EXPECT_EQ(loop.QueuedTaskCount(), 1u);  // one task for all of them
  loop.RunPendingTasks();
  EXPECT_EQ(console.Memo1().Lines().back(), "first");  // the next batch waits for its gap
  loop.RunDueTimers(now + kViewDrainGapMs);
  EXPECT_EQ(console.Memo1().size(), kViewLineLimit);
  EXPECT_EQ(console.Memo1().Lines().back(), "line " + std::to_string(3 * kViewLineLimit - 1));
}

TEST_F(ConsoleWindowTest, ClearLogsClearsTheLinesRequestedBeforeIt) {
  ConsoleWindow& console = Open();
  console.showlogClick(true);
  AddMemo1Line("before the click");
  console.Button5Click();
  loop.RunPendingTasks();
  loop.RunDueTimers(now + kViewDrainGapMs);
  EXPECT_TRUE(console.Memo1().empty());
  AddMemo1Line("after the click");
  loop.RunPendingTasks();
  loop.RunDueTimers(now + 2 * kViewDrainGapMs);
  EXPECT_EQ(LinesOf(console.Memo1()), std::vector<std::string>{"after the click"});
}

TEST_F(ConsoleWindowTest, SqlHandleCountsReportedInABurstShowTheLatest) {
  ConsoleWindow& console = Open();
  std::thread runs([] {
    for (uint32_t count = 1; count <= 1000; ++count) ShowSqlHandleCount(count);
  });
  runs.join();
  EXPECT_EQ(loop.QueuedTaskCount(), 1u);
  loop.RunPendingTasks();
  EXPECT_EQ(console.lbl_sqlhandles(), "Sql Handles : 1000");
  ShowSqlHandleCount(4);
  loop.RunPendingTasks();
  EXPECT_EQ(console.lbl_sqlhandles(), "Sql Handles : 4");
}

TEST_F(ConsoleWindowTest, TheStatusBarSaysWhetherTheServerListens) {
  ConsoleWindow& console = Open();
  EXPECT_EQ(console.StatusBar1(), "HTTP server listening on port 8123");
  console.FormCloseQuery();
  EXPECT_EQ(console.StatusBar1(), "HTTP server not listening");
}

TEST_F(ConsoleWindowTest, CountersAndShowlogAreLoadedOnlyAtTheFirstActivation) {
  testing::WriteFile(dir.Path("config/config.xml"),
                     "<Configuration><OutKB>5</OutKB><ShowLog>TRUE</ShowLog></Configuration>");
  ConsoleWindow& console = Open();
  EXPECT_TRUE(console.showlog());
  AddTraffic(10);
  console.FormActivate();  // switching back to the window reads nothing
  EXPECT_EQ(FormatTraffic(ReadTrafficCounters()), "Sent 0 GB 0 MB 5 KB 10 bytes.");
}

TEST_F(ConsoleWindowTest, RestoringFromTheTrayShowsTheWindowAgain) {
  ConsoleWindow& console = Open();
  console.Minimize();
  EXPECT_FALSE(console.Visible());
  front_end.hosts = {"edited.example  /srv/"};
  console.trayClick();
  EXPECT_TRUE(console.Visible());
  EXPECT_EQ(console.Hostrootdir(), front_end.hosts);
  EXPECT_EQ(events, (EventLog{"ClearMailLock", "ReadHostTable"}));
}

TEST_F(ConsoleWindowTest, CloseRequestSavesTheLogStopsTheListenerAndClosesTheWorkbench) {
  ConsoleWindow& console = Open();
  WriteLogLine("last words");
  console.FormCloseQuery();
  EXPECT_EQ(events, (EventLog{"StopListening", "CloseWorkbench"}));
  EXPECT_NE(ReadFile(LogFile()).find("] last words\r\n"), std::string::npos);
  EXPECT_TRUE(console.Ended());
  EXPECT_TRUE(loop.QuitRequested());
}

TEST_F(ConsoleWindowTest, AFullLogBufferIsSavedAtOnceOnTheWindowsThread) {
  ConsoleWindow& console = Open();
  const std::string label = console.Label2();
  const std::string text(200, 'l');
  size_t lines = LogBuffer::kHandOverBytes / text.size() + 1;
  std::thread connection([&] {
    for (size_t i = 0; i < lines; ++i) WriteLogLine(text);
  });
  connection.join();
  EXPECT_FALSE(std::filesystem::exists(LogFile()));  // not on the connection's thread
  EXPECT_EQ(loop.RunPendingTasks(), 1u);
  EXPECT_TRUE(ProcessLogBuffer().Lines().empty());
  std::string saved = ReadFile(LogFile());
  EXPECT_EQ(static_cast<size_t>(std::count(saved.begin(), saved.end(), '\n')), lines);
  EXPECT_EQ(console.Label2(), label);  // the label waits for the tick

  // After the close request's save, a full buffer is no longer written.
  console.FormCloseQuery();
  for (size_t i = 0; i < lines; ++i) WriteLogLine(text);
  loop.RunPendingTasks();
  EXPECT_EQ(ReadFile(LogFile()).size(), saved.size());
}

TEST_F(ConsoleWindowTest, CloseRequestGoesOnWhenTheLogCannotBeSaved) {
  ConsoleWindow& console = Open();
  std::filesystem::remove_all(dir.Path("logs"));
  console.FormCloseQuery();
  EXPECT_EQ(events, (EventLog{"StopListening", "CloseWorkbench"}));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("No such file or directory"), std::string::npos);
}

TEST_F(ConsoleWindowTest, ShutdownSwitchEndsAtOnceWithoutSaving) {
  ConsoleWindow& console = Open();
  WriteLogLine("never saved");
  console.cbActiveClick();
  EXPECT_TRUE(loop.QuitRequested());
  EXPECT_TRUE(events.empty());
  window.reset();  // destruction stops the listener and discards the buffer
  EXPECT_EQ(events, (EventLog{"StopListening"}));
  EXPECT_TRUE(ProcessLogBuffer().Lines().empty());
  EXPECT_FALSE(std::filesystem::exists(LogFile()));
}

TEST_F(ConsoleWindowTest, TipsWindow) {
  ConsoleWindow& console = Open();
  companions.Settings().WriteSettingBoolean("Tip\\Show_On_Startup", false);
  console.ShowTipsAtStartup();
  EXPECT_FALSE(console.tip().Visible());
  console.SpeedButton5Click();  // "?" opens it whatever the setting
  EXPECT_TRUE(console.tip().Visible());
  EXPECT_FALSE(console.tip().ShowOnStartup());
  for (size_t i = 0; i < TipsWindow::Tips().size(); ++i) console.tipNextClick();
  EXPECT_EQ(console.tip().CurrentIndex(), 0u);  // after the last, back to the first
  console.tipShowOnStartupClick(true);
  console.tipCloseClick();
  EXPECT_FALSE(console.tip().Visible());
  console.ShowTipsAtStartup();
  EXPECT_TRUE(console.tip().Visible());
}

}  // namespace
}  // namespace qorsv
