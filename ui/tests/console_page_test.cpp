#include "ui/console_page.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "console/operator_messages.h"
#include "console/tests/fakes.h"
#include "console/tests/temp_dir.h"
#include "console/traffic_counters.h"

namespace qorsv {
namespace {

using std::chrono::milliseconds;

// Records what the page asks of the host editor.
class FakeHostEditor : public HostEditor {
 public:
  const std::vector<std::string>& HostList() const override { return list; }
  std::optional<size_t> SelectedLine() const override { return selected; }
  void Select(std::optional<size_t> line) override { selected = line; }
  bool EditorVisible() const override { return visible; }
  const std::string& Hname() const override { return hname; }
  const std::string& Hrootdir() const override { return hrootdir; }
  void SetHname(std::string text) override { hname = std::move(text); }
  void SetHrootdir(std::string text) override { hrootdir = std::move(text); }
  void ReadHosts() override { calls.push_back("ReadHosts"); }
  void SaveHosts() override { calls.push_back("SaveHosts"); }
  void ShowHosts() override { calls.push_back("ShowHosts"); }
  bool Edit() override {
    visible = selected.has_value();
    return visible;
  }
  void Apply() override { calls.push_back("Apply " + hname + " " + hrootdir); }
  void Discard() override { visible = false; }
  bool New() override { return !full; }
  bool RequestDelete() override {
    if (selected) question = Confirmation{"??", "delete?"};
    return selected.has_value();
  }
  std::optional<Confirmation> PendingDelete() const override { return question; }
  void AnswerDelete(bool ok) override {
    question.reset();
    calls.push_back(ok ? "delete" : "keep");
  }
  void ChooseRootDirectory(const std::string& file) override { calls.push_back("Choose " + file); }
  const std::string& ProgramDirectory() const override { return hname; }

  std::vector<std::string> list = {"HOST [*] mapped to [($root)web/] dir",
                                   "HOST [a] mapped to [/a/] dir"};
  std::optional<size_t> selected;
  bool visible = false;
  bool full = false;
  std::string hname, hrootdir;
  std::optional<Confirmation> question;
  std::vector<std::string> calls;
};

class EditingFrontEnd : public testing::FakeFrontEnd {
 public:
  using FakeFrontEnd::FakeFrontEnd;
  HostEditor* ConsoleHostEditor() override { return &editor; }
  FakeHostEditor editor;
};

std::vector<Json> Events(const std::string& text) {
  std::vector<Json> events;
  size_t at = 0;
  while ((at = text.find("data: ", at)) != std::string::npos) {
    size_t end = text.find("\n\n", at);
    events.push_back(Json::parse(text.substr(at + 6, end - at - 6)));
    at = end;
  }
  return events;
}

class ConsolePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProcessLogBuffer().Clear();
    ProcessTrafficCounters().Restore({});
    std::filesystem::create_directories(dir.Path("logs/http_server_log"));
    ConsoleConfig config;
    config.program_dir = dir.Dir();
    config.listen_port = 8123;
    config.pick_tip = [](size_t) { return size_t{0}; };
    console = std::make_unique<ConsoleWindow>(loop, front_end, companions, config);
    companions.ShowWorkbench();
    console->FormShow();
    AddConsolePage(server, *console);
    page = server.Events().Subscribe({"console"});
  }
  void TearDown() override { SetShowLog(false); }

  Json Run(const std::string& name, const Json& args = Json::object()) {
    Json answer = server.RunCommand("console", name, args);
    server.Events().Publish();
    return answer;
  }
  std::vector<Json> Received() { return Events(page->Wait(milliseconds(0)).text); }

  testing::TempDir dir;
  testing::EventLog events;
  uint64_t now = 0;
  UiLoop loop{[this] { return now; }, [](const std::string&) {}};
  EditingFrontEnd front_end{events};
  testing::FakeCompanions companions{events, dir.Path("config/config.xml")};
  std::unique_ptr<ConsoleWindow> console;
  OperatorServer server{loop, OperatorAccess{0, "t"}, dir.Path("ui/")};
  std::shared_ptr<EventSubscriber> page;
};

TEST_F(ConsolePageTest, TheWholeStateCarriesTheControlsByName) {
  std::vector<Json> first = Received();
  ASSERT_EQ(first.size(), 1u);
  const Json& state = first[0]["state"];
  EXPECT_EQ(state["Label2"], "Sent 0 GB 0 MB 0 KB 0 bytes");
  EXPECT_EQ(state["lbl_sqlhandles"], "Sql Handles : 0 ");
  EXPECT_EQ(state["Memo1"], Json::array({"LOG FILE >>"}));
  EXPECT_EQ(state["syslog"], Json::array({"syslog"}));
  EXPECT_EQ(state["cbActive"], true);
  EXPECT_EQ(state["showlog"], false);
  EXPECT_EQ(state["workbenchVisible"], true);
  EXPECT_EQ(state["StatusBar1"], "HTTP server listening on port 8123");
  EXPECT_EQ(state["Hostrootdir"].size(), 2u);
  EXPECT_EQ(state["rootDialog"]["filter"], "Html files|*.html|All Files|*.*");
  EXPECT_EQ(state["rootDialog"]["fileName"], "index.html");
  EXPECT_EQ(state["rootDialog"]["startDir"], dir.Dir());
}

TEST_F(ConsolePageTest, ViewLinesArriveAsAppendsAndClearLogsReplacesBothViews) {
  Received();
  Run("showlogClick", {{"checked", true}});
  WriteLogLine("GET /one");
  AddSyslogLine("killed sql : 1");
  loop.RunPendingTasks();
  std::vector<Json> events = Received();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0]["fields"], (Json{{"showlog", true}}));
  EXPECT_EQ(events[1]["type"], "append");
  EXPECT_EQ(events[1]["view"], "Memo1");
  ASSERT_EQ(events[1]["lines"].size(), 1u);
  EXPECT_NE(events[1]["lines"][0].get<std::string>().find("] GET /one"), std::string::npos);
  EXPECT_EQ(events[2]["lines"], Json::array({"killed sql : 1"}));

  Run("Button5Click");
  events = Received();
  ASSERT_EQ(events.size(), 2u);
  for (const Json& event : events) {
    EXPECT_EQ(event["type"], "view");
    EXPECT_EQ(event["lines"], Json::array());
  }
}

TEST_F(ConsolePageTest, MoreLinesThanAViewKeepsReplaceItWithTheNewest) {
  Received();
  Run("showlogClick", {{"checked", true}});
  Received();
  for (size_t i = 0; i < kViewLineLimit + 100; ++i) AddMemo1Line("line " + std::to_string(i));
  loop.RunPendingTasks();
  std::vector<Json> events = Received();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["type"], "view");
  ASSERT_EQ(events[0]["lines"].size(), kViewLineLimit);
  EXPECT_EQ(events[0]["lines"].back(), "line " + std::to_string(kViewLineLimit + 99));
}

TEST_F(ConsolePageTest, BytesBeyondAsciiReachThePageAsTheirOwnCharacters) {
  Received();
  Run("showlogClick", {{"checked", true}});
  AddMemo1Line("caf\xE9");
  loop.RunPendingTasks();
  std::vector<Json> events = Received();
  EXPECT_EQ(events.back()["lines"], Json::array({"caf\xC3\xA9"}));
}

TEST_F(ConsolePageTest, HostEditorCommandsCarryWhatTheOperatorTyped) {
  FakeHostEditor& editor = front_end.editor;
  Received();
  Run("HostrootdirDblClick", {{"line", 1}});
  EXPECT_TRUE(editor.visible);
  Run("SpeedButton1Click", {{"Hname", "caf\xC3\xA9"}, {"Hrootdir", "/srv/"}});
  EXPECT_EQ(editor.calls.back(), "Apply caf\xE9 /srv/");

  Run("SpeedButton3Click");
  std::vector<Json> events = Received();
  EXPECT_EQ(events.back()["fields"]["deleteQuestion"],
            (Json{{"title", "??"}, {"text", "delete?"}}));
  Run("deleteAnswer", {{"ok", false}});
  EXPECT_EQ(editor.calls.back(), "keep");
  EXPECT_TRUE(Received().back()["fields"]["deleteQuestion"].is_null());

  // The root-directory dialog takes only a file that exists.
  testing::WriteFile(dir.Path("webpage/x/index.html"), "x");
  EXPECT_THROW(Run("Button4Chosen", {{"file", dir.Path("webpage/x/missing.html")}}), CommandError);
  Run("Button4Chosen", {{"file", dir.Path("webpage/x/index.html")}});
  EXPECT_EQ(editor.calls.back(), "Choose " + dir.Path("webpage/x/index.html"));

  struct BadArgs {
    const char* command;
    Json args;
  } bad[] = {
      {"HostrootdirClick", {{"line", -1}}},
      {"HostrootdirClick", {{"line", "one"}}},
      {"deleteAnswer", Json::object()},
      {"showlogClick", {{"checked", "yes"}}},
  };
  for (const BadArgs& b : bad) EXPECT_THROW(Run(b.command, b.args), CommandError) << b.command;
}

TEST_F(ConsolePageTest, HostFieldsStayOneLineOfTheHostFile) {
  FakeHostEditor& editor = front_end.editor;
  Run("HostrootdirDblClick", {{"line", 1}});
  Run("HnameChange", {{"Hname", "a"}, {"Hrootdir", "/a/"}});
  // A line break would make the saved file pair later names with the wrong roots: refused
  // whole, neither field taken.
  for (const char* broken : {"b\r\n/evil/", "b\n", "\rb"}) {
    EXPECT_THROW(Run("SpeedButton1Click", {{"Hname", "b"}, {"Hrootdir", broken}}), CommandError);
    EXPECT_THROW(Run("HnameChange", {{"Hname", broken}}), CommandError);
  }
  EXPECT_EQ(editor.hname, "a");
  EXPECT_EQ(editor.hrootdir, "/a/");
  EXPECT_TRUE(editor.calls.empty());
}

TEST_F(ConsolePageTest, NewOnAFullHostTableTellsTheOperator) {
  EXPECT_EQ(Run("SpeedButton4Click")["result"], true);
  front_end.editor.full = true;
  // Not a bad request but a handler's error, which the command route shows in a message box.
  try {
    Run("SpeedButton4Click");
    ADD_FAILURE() << "nothing said";
  } catch (const CommandError&) {
    ADD_FAILURE() << "a full table is no bad request";
  } catch (const QorsvError& error) {
    EXPECT_EQ(std::string(error.what()), "The host table is full: it holds no more than 2 hosts.");
  }
}

TEST_F(ConsolePageTest, TheTipsWindowAndTheFrameFollowTheirCommands) {
  Received();
  Run("SpeedButton5Click");
  Json tip = Received().back()["fields"]["tip"];
  EXPECT_EQ(tip["visible"], true);
  EXPECT_EQ(tip["index"], 0);
  Run("tipNextClick");
  EXPECT_EQ(Received().back()["fields"]["tip"]["index"], 1);
  Run("tipShowOnStartupClick", {{"checked", false}});
  Run("tipCloseClick");
  EXPECT_EQ(Received().back()["fields"]["tip"]["visible"], false);
  EXPECT_EQ(companions.Settings().ReadSettingBoolean("Tip\\Show_On_Startup", true), false);

  Run("minimizeClick");
  EXPECT_EQ(Received().back()["fields"], (Json{{"minimized", true}, {"visible", false}}));
  events.clear();
  Run("trayClick");
  EXPECT_EQ(events, (testing::EventLog{"ClearMailLock", "ReadHostTable"}));
  Run("Button2Click");
  EXPECT_EQ(Received().back()["fields"]["workbenchVisible"], false);
  Run("closeClick");
  EXPECT_EQ(Received().back()["fields"]["ended"], true);
  CloseAllOperatorMessages();
}

}  // namespace
}  // namespace qorsv
