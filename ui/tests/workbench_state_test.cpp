#include "ui/workbench_state.h"

#include <gtest/gtest.h>

#include "console/compile_report.h"
#include "console/workbench_link.h"
#include "workbench/tests/program_dir_support.h"

namespace qorsv {
namespace {

using std::chrono::milliseconds;

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

std::vector<Json> OfType(const std::vector<Json>& events, const std::string& type) {
  std::vector<Json> found;
  for (const Json& event : events) {
    if (event["type"] == type) found.push_back(event);
  }
  return found;
}

Json Edit(int line, int from, int to, const std::string& text) {
  return Json{{"from", {{"line", line}, {"column", from}}},
              {"to", {{"line", line}, {"column", to}}},
              {"text", text},
              {"caret", {{"line", line}, {"column", from + static_cast<int>(text.size())}}}};
}

class WorkbenchStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    windows.CreateWorkbench(loop, 8123);
    windows.CreateEditorOptions();
    windows.ShowWorkbench();
    AddWorkbenchPage(server, windows, dir.Dir());
    page = server.Events().Subscribe({"workbench"});
  }

  Json Run(const std::string& name, const Json& args = Json::object()) {
    Json answer = server.RunCommand("workbench", name, args);
    server.Events().Publish();
    return answer["result"];
  }
  std::vector<Json> Received() { return Events(page->Wait(milliseconds(0)).text); }
  WorkbenchWindow& Workbench() { return windows.Workbench(); }
  uint64_t Revision() { return Workbench().Editor().Revision(); }

  testing::WorkbenchProgramDir dir;
  uint64_t now = 0;
  UiLoop loop{[this] { return now; }, [](const std::string&) {}};
  WorkbenchWindows windows{dir.Dir()};
  OperatorServer server{loop, OperatorAccess{0, "t"}, dir.Path("ui/")};
  std::shared_ptr<EventSubscriber> page;
};

TEST_F(WorkbenchStateTest, TheWholeStateCarriesTheWindowTheTextTheListsAndTheTables) {
  std::vector<Json> first = Received();
  ASSERT_EQ(first.size(), 1u);
  const Json& state = first[0]["state"];
  EXPECT_EQ(state["title"], "...");
  EXPECT_EQ(state["visible"], true);
  EXPECT_EQ(state["thisserveraddress"], "http://127.0.0.1:8123");
  EXPECT_TRUE(state["dialog"].is_null());
  EXPECT_EQ(state["editor"]["text"],
            "begin\n\n         Writeln (' Hello WORLD !');\n\nend.");
  EXPECT_EQ(state["editor"]["revision"], Revision());
  EXPECT_EQ(state["analysis"]["listproc"], Json::array({"IntToStr", "echo"}));
  EXPECT_EQ(state["views"]["dbgmem"], Json::array({"dbgmem"}));
  EXPECT_EQ(state["colours"]["attributes"][5]["foreground"], "#62ec99");  // numbers
  EXPECT_TRUE(state["colours"]["attributes"][0]["background"].is_null());
  EXPECT_EQ(state["options"]["delayLabel"], "1500 ms.");
  const Json& fixed = state["fixed"];
  EXPECT_EQ(fixed["pageCaptions"][2], "Runtime Scripting");
  EXPECT_EQ(fixed["completion"]["title"], "qOr completion wizard");
  EXPECT_EQ(fixed["completion"]["rows"], 16);
  EXPECT_EQ(fixed["toolbar"][0]["hint"], "New qOr file");
  EXPECT_EQ(fixed["formatSourceEnabled"], false);
  bool hide_on_ctrl_x = false;
  for (const Json& item : fixed["menu"]) {
    if (item["command"] == "Hide" && item["shortcut"] == "Ctrl+X") hide_on_ctrl_x = true;
  }
  EXPECT_TRUE(hide_on_ctrl_x);
}

TEST_F(WorkbenchStateTest, TypingFromTwoPagesIsOrderedByRevisionAndEchoedWithItsOrigin) {
  Received();
  uint64_t base = Revision();
  Json answer = Run("qorpadEdits", {{"origin", "pageA"},
                                    {"base", base},
                                    {"edits", Json::array({Edit(1, 6, 6, " x"), Edit(5, 1, 1, "y")})},
                                    {"caret", {{"line", 5}, {"column", 2}}}});
  EXPECT_EQ(answer["conflict"], false);
  EXPECT_EQ(answer["revision"], base + 2);
  EXPECT_EQ(Workbench().Editor().Line(1), "begin x");
  EXPECT_EQ(Workbench().Editor().Line(5), "yend.");
  EXPECT_EQ(Workbench().Editor().caret(), (Caret{5, 2}));
  EXPECT_FALSE(Workbench().DocumentSaved());
  std::vector<Json> edits = OfType(Received(), "editor");
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0]["origin"], "pageA");
  EXPECT_EQ(edits[0]["base"], base);
  EXPECT_EQ(edits[0]["revision"], base + 2);
  EXPECT_EQ(edits[0]["edits"].size(), 2u);

  // Page B still at the old revision: refused, nothing applied.
  answer = Run("qorpadEdits",
               {{"origin", "pageB"}, {"base", base}, {"edits", Json::array({Edit(1, 1, 1, "z")})}});
  EXPECT_EQ(answer["conflict"], true);
  EXPECT_EQ(answer["revision"], base + 2);
  EXPECT_EQ(Workbench().Editor().Line(1), "begin x");
  EXPECT_TRUE(OfType(Received(), "editor").empty());

  // A page whose copy went its own way sends its whole text.
  answer = Run("qorpadEdits", {{"origin", "pageB"}, {"text", "caf\xC3\xA9\nend."}});
  EXPECT_EQ(Workbench().Editor().Line(1), "caf\xE9");
  edits = OfType(Received(), "editor");
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0]["origin"], "pageB");

  // A command's own edit has no origin: every page applies it, the one that asked too.
  Run("command", {{"name", "NewScript"}});
  edits = OfType(Received(), "editor");
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0]["origin"], "");
  EXPECT_EQ(edits[0]["edits"].back()["newDocument"], true);
}

TEST_F(WorkbenchStateTest, EditsNoLongerKeptArriveAsTheWholeText) {
  EditorText editor;
  EditOrigins origins;
  for (size_t i = 0; i < EditorText::kKeptEdits + 5; ++i) {
    editor.Apply(TextEdit{{1, 1}, {1, 1}, "a", {1, 2}, false});
    origins.Record(editor.Revision(), i % 2 == 0 ? "p" : "q");
  }
  std::vector<Json> events = EditorEvents(editor, 0, origins);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["text"], std::string(EditorText::kKeptEdits + 5, 'a'));
  // Runs of one origin make one event each.
  events = EditorEvents(editor, editor.Revision() - 3, origins);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0]["revision"], events[1]["base"]);
  origins.ForgetUpTo(editor.Revision() - 1);
  EXPECT_EQ(origins.Size(), 1u);
}

TEST_F(WorkbenchStateTest, MalformedCommandsAreRefusedWithoutAMessageBox) {
  struct Bad {
    const char* command;
    Json args;
  };
  const Bad cases[] = {
      {"command", {{"name", "NoSuchCommand"}}},
      {"command", Json::object()},
      {"qorpadEdits", {{"origin", "p"}, {"base", 0}, {"edits", Json::array({{{"text", "x"}}})}}},
      {"qorpadEdits", {{"origin", "p"}, {"base", -1}, {"edits", Json::array()}}},
      {"PageControl1Change", {{"page", "two"}}},
      {"DocumentComplete", {{"browser", "nowhere"}}},
      {"answerDialog", {{"id", 1}, {"confirmed", true}, {"colour", "red"}}},
      {"options.delaycodeChange", Json::object()},
  };
  for (const Bad& bad : cases) {
    SCOPED_TRACE(std::string(bad.command) + " " + bad.args.dump());
    EXPECT_THROW(Run(bad.command, bad.args), CommandError);
  }
}

TEST_F(WorkbenchStateTest, DialogsAreAnsweredByIdAndSaveAsWritesTheChosenFile) {
  Received();
  Run("command", {{"name", "NewScript"}});
  Run("command", {{"name", "SaveAs"}});
  Json dialog = OfType(Received(), "fields").back()["fields"]["dialog"];
  EXPECT_EQ(dialog["kind"], "save");
  EXPECT_EQ(dialog["directory"], dir.Path("scripts"));
  uint64_t id = dialog["id"];
  EXPECT_FALSE(Run("answerDialog", {{"id", id + 1}, {"confirmed", true}, {"text", "x"}}).get<bool>());
  EXPECT_TRUE(
      Run("answerDialog", {{"id", id}, {"confirmed", true}, {"text", dir.Path("scripts/a.qor")}})
          .get<bool>());
  EXPECT_EQ(testing::ReadFile(dir.Path("scripts/a.qor")), "begin\nend.\n");
  Json fields = OfType(Received(), "fields").back()["fields"];
  EXPECT_TRUE(fields["dialog"].is_null());
  EXPECT_EQ(fields["documentSaved"], true);
  EXPECT_EQ(fields["fileName"], dir.Path("scripts/a.qor"));
}

TEST_F(WorkbenchStateTest, ColoursChosenInTheOptionsReachTheWorkbenchOnApply) {
  Received();
  Run("command", {{"name", "EditorOptions"}});
  Run("options.ListBox1Click", {{"row", 1}});
  Run("options.frgClick");
  Json options = Received().back()["fields"]["options"];
  ASSERT_EQ(options["dialog"]["kind"], "colour");
  EXPECT_EQ(options["dialog"]["colour"], "#008080");
  Run("options.answerDialog",
      {{"id", options["dialog"]["id"]}, {"confirmed", true}, {"colour", "#FF8000"}});
  EXPECT_EQ(windows.EditorOptions().Colours().Row(1).foreground, RgbColour(255, 128, 0));
  Run("options.applyClick");
  Json fields = Received().back()["fields"];
  EXPECT_EQ(fields["colours"]["attributes"][0]["foreground"], "#ff8000");
  EXPECT_EQ(fields["options"]["visible"], false);
  EXPECT_EQ(Workbench().xml().ReadSettingInteger("ComFrg", 0), RgbColour(255, 128, 0));
}

TEST_F(WorkbenchStateTest, ACompileReplacesTheViewsAndAFailureIsNoticed) {
  auto notices = server.Events().Subscribe({"workbenchNotice"});
  Events(notices->Wait(milliseconds(0)).text);
  Received();
  Run("command", {{"name", "Hide"}});
  Workbench().debugger_views().ApplyCompileReport(MakeCompileReport(
      {"[Error] (3:1): Unknown identifier 'x'"}, "a\r\nb\r\nx;\r\n", true));
  server.Events().Publish();
  std::vector<Json> events = Received();
  std::vector<Json> views = OfType(events, "views");
  ASSERT_EQ(views.size(), 1u);
  EXPECT_EQ(views[0]["dbgmem"], Json::array({"[1]  a", "[2]  b", "[3]  x;"}));
  EXPECT_EQ(views[0]["markedLine"], 3);
  EXPECT_EQ(views[0]["errormsg"], Json::array({"[Error] (3:1): Unknown identifier 'x'"}));
  Json fields = OfType(events, "fields").back()["fields"];
  EXPECT_EQ(fields["visible"], true);
  EXPECT_EQ(fields["broughtToFront"], 1);
  EXPECT_EQ(fields["focused"], true);
  // The page reports the operator moving the focus away.
  Run("FormDeactivate", Json::object());
  EXPECT_EQ(OfType(Received(), "fields").back()["fields"]["focused"], false);
  std::vector<Json> notice = Events(notices->Wait(milliseconds(0)).text);
  ASSERT_FALSE(notice.empty());
  EXPECT_EQ(notice.back()["fields"]["broughtToFront"], 1);
}

}  // namespace
}  // namespace qorsv
