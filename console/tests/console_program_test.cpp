#include "console/console_program.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <sstream>
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
using testing::WriteFile;

class ConsoleProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProcessLogBuffer().Clear();
    ProcessTrafficCounters().Restore({});
    std::filesystem::create_directories(dir.Path("logs/http_server_log"));
  }
  void TearDown() override { SetShowLog(false); }

  ProgramOptions Options() {
    ProgramOptions options;
    options.program_dir = dir.Dir();
    options.clock = [] { return uint64_t{0}; };
    options.on_error = [this](const std::string& text) { errors.push_back(text); };
    return options;
  }

  TempDir dir;
  EventLog events;
  std::vector<std::string> errors;
  FakeFrontEnd front_end{events};
  FakeCompanions companions{events, dir.Path("config/config.xml")};
};

TEST_F(ConsoleProgramTest, StartUpRunsInItsFixedOrder) {
  WriteFile(dir.Path("config/config.xml"),
            "<Configuration><ListenPort>8123</ListenPort><ConsolePort>8790</ConsolePort>"
            "<OutKB>3</OutKB></Configuration>");
  ConsoleProgram program(front_end, companions, Options());
  program.Start();
  EXPECT_EQ(program.ApplicationTitle(), "TorvaneServer!");
  EXPECT_EQ(events, (EventLog{"StartListening 8123", "LoadMimeTable", "CreateWorkbench",
                              "CreateEditorOptions", "ShowWorkbench"}));
  EXPECT_EQ(program.Console().Caption(), std::string(kProductBanner) + " -> active");

  // The message loop shows and activates the console.
  events.clear();
  program.Loop().RunPendingTasks();
  EXPECT_EQ(events, (EventLog{"ClearMailLock", "ReadHostTable"}));
  EXPECT_EQ(program.Console().Label1(), kProductBanner);
  EXPECT_EQ(ReadTrafficCounters().OutKB, 3u);
  EXPECT_TRUE(program.Console().tip().Visible());  // "Show_On_Startup" defaults to true

  EXPECT_EQ(program.Access().port, 8790);
  EXPECT_TRUE(std::regex_match(program.Access().ConsoleUrl(),
                               std::regex("http://127\\.0\\.0\\.1:8790/\\?token=[0-9a-f]{32}")));
  EXPECT_TRUE(errors.empty());
}

TEST_F(ConsoleProgramTest, PortsDefaultTo80And8780AndTokensDifferPerStart) {
  ConsoleProgram first(front_end, companions, Options());
  first.Start();
  EXPECT_EQ(events.front(), "StartListening 80");
  EXPECT_EQ(first.Access().port, 8780);
  FakeCompanions other_companions{events, dir.Path("config/config.xml")};
  ConsoleProgram second(front_end, other_companions, Options());
  second.Start();
  EXPECT_NE(first.Access().token, second.Access().token);
}

TEST_F(ConsoleProgramTest, BadPortSettingStopsStartUp) {
  WriteFile(dir.Path("config/config.xml"),
            "<Configuration><ListenPort>http</ListenPort>"
            "</Configuration>");
  ConsoleProgram program(front_end, companions, Options());
  EXPECT_THROW(program.Start(), QorsvError);
  EXPECT_TRUE(events.empty());
}

TEST_F(ConsoleProgramTest, PortInUseEndsTheProgramWithTheListenersError) {
  front_end.bind_error = "Could not bind socket. Address and port are already in use.";
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunConsoleProgram(front_end, companions, dir.Dir(), out, err), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "qorsv: " + front_end.bind_error + "\n");
  EXPECT_EQ(events, (EventLog{"StartListening 80"}));
}

// The whole program: SIGTERM is the close request, which writes the buffered log.
TEST_F(ConsoleProgramTest, SigtermClosesTheRunningProgram) {
  struct ShownFrontEnd : FakeFrontEnd {
    using FakeFrontEnd::FakeFrontEnd;
    void ClearMailLock() override { shown = true; }
    std::atomic<bool> shown{false};
  } shown_front_end{events};
  std::ostringstream out;
  std::ostringstream err;
  int status = -1;
  std::thread program(
      [&] { status = RunConsoleProgram(shown_front_end, companions, dir.Dir(), out, err); });
  while (!shown_front_end.shown) std::this_thread::yield();
  WriteLogLine("before the signal");
  kill(getpid(), SIGTERM);
  program.join();

  EXPECT_EQ(status, 0);
  EXPECT_TRUE(std::regex_match(
      out.str(), std::regex("Console: http://127\\.0\\.0\\.1:8780/\\?token=[0-9a-f]{32}\n")))
      << out.str();
  std::string log = ReadFile(dir.Path("logs/http_server_log/") + LogFileName(std::time(nullptr)));
  EXPECT_NE(log.find("] before the signal\r\n"), std::string::npos);
  EXPECT_FALSE(shown_front_end.Listening());
  CloseAllOperatorMessages();
}

}  // namespace
}  // namespace qorsv
