#include "ui/console_page.h"

#include <sys/stat.h>

namespace qorsv {
namespace {

Json LinesJson(const std::deque<std::string>& lines, size_t from = 0) {
  Json array = Json::array();
  for (size_t i = from; i < lines.size(); ++i) array.push_back(JsonText(lines[i]));
  return array;
}

Json TextList(const std::vector<std::string>& lines) {
  Json array = Json::array();
  for (const std::string& line : lines) array.push_back(JsonText(line));
  return array;
}

// Where a page that shows a view has got to.
struct ViewCursor {
  const char* name;
  const ViewLines& (ConsoleWindow::*view)() const;
  uint64_t added = 0;
  uint64_t clears = 0;
};

class ConsoleSource : public StateSource {
 public:
  explicit ConsoleSource(ConsoleWindow& console) : console_(console) {}

  Json FullState() override {
    Json state = Fields();
    for (ViewCursor& cursor : views_)
      state[cursor.name] = LinesJson((console_.*cursor.view)().Lines());
    return state;
  }

  std::vector<Json> Changes() override {
    std::vector<Json> events;
    fields_.AddEvent(Fields(), events);
    for (ViewCursor& cursor : views_) AddViewEvent(cursor, events);
    return events;
  }

 private:
  Json Fields() {
    const TipsWindow& tip = console_.tip();
    Json fields = {
        {"title", JsonText(console_.Caption())},
        {"Label1", JsonText(console_.Label1())},
        {"Label2", JsonText(console_.Label2())},
        {"Label12", JsonText(console_.Label12())},
        {"lbl_sqlhandles", JsonText(console_.lbl_sqlhandles())},
        {"trayHint", JsonText(console_.TrayHint())},
        {"StatusBar1", JsonText(console_.StatusBar1())},
        {"showlog", console_.showlog()},
        {"cbActive", console_.cbActiveChecked()},
        {"visible", console_.Visible()},
        {"minimized", console_.Minimized()},
        {"ended", console_.Ended()},
        {"workbenchVisible", console_.WorkbenchVisible()},
        {"tip",
         {{"visible", tip.Visible()},
          {"title", TipsWindow::kTitle},
          {"header", TipsWindow::kHeader},
          {"text", JsonText(tip.TipText())},
          {"index", tip.CurrentIndex()},
          {"showOnStartup", tip.ShowOnStartup()}}},
        {"rootDialog",
         {{"filter", RootDirectoryDialog::kFilter},
          {"fileName", RootDirectoryDialog::kFileName},
          {"mustExist", RootDirectoryDialog::kFileMustExist},
          {"startDir", JsonText(console_.ProgramDirectory())}}},
    };
    if (HostEditor* editor = console_.host_editor()) {
      fields["Hostrootdir"] = TextList(editor->HostList());
      std::optional<size_t> selected = editor->SelectedLine();
      fields["HostrootdirSelected"] = selected ? Json(*selected) : Json(nullptr);
      fields["hostinfo"] = editor->EditorVisible();
      fields["Hname"] = JsonText(editor->Hname());
      fields["Hrootdir"] = JsonText(editor->Hrootdir());
      std::optional<Confirmation> question = editor->PendingDelete();
      fields["deleteQuestion"] =
          question ? Json{{"title", JsonText(question->title)}, {"text", JsonText(question->text)}}
                   : Json(nullptr);
    } else {
      fields["Hostrootdir"] = TextList(console_.Hostrootdir());
      fields["HostrootdirSelected"] = nullptr;
      fields["hostinfo"] = false;
      fields["Hname"] = "";
      fields["Hrootdir"] = "";
      fields["deleteQuestion"] = nullptr;
    }
    return fields;
  }

  void AddViewEvent(ViewCursor& cursor, std::vector<Json>& events) {
    const ViewLines& view = (console_.*cursor.view)();
    uint64_t added = view.AddedCount() - cursor.added;
    bool cleared = view.ClearCount() != cursor.clears;
    cursor.added = view.AddedCount();
    cursor.clears = view.ClearCount();
    // When every line shown is new, the page may as well start the view again.
    if (cleared || (added > 0 && added >= view.size())) {
      events.push_back(
          Json{{"type", "view"}, {"view", cursor.name}, {"lines", LinesJson(view.Lines())}});
    } else if (added > 0) {
      events.push_back(Json{{"type", "append"},
                            {"view", cursor.name},
                            {"lines", LinesJson(view.Lines(), view.size() - added)}});
    }
  }

  ConsoleWindow& console_;
  FieldChanges fields_;
  ViewCursor views_[2] = {{"Memo1", &ConsoleWindow::Memo1}, {"syslog", &ConsoleWindow::syslog}};
};

bool Flag(const Json& args, const char* name) {
  if (!args.contains(name) || !args[name].is_boolean()) {
    throw CommandError(std::string("The command needs the switch \"") + name + "\".");
  }
  return args[name].get<bool>();
}

std::optional<size_t> Line(const Json& args) {
  if (!args.contains("line") || args["line"].is_null()) return std::nullopt;
  if (!args["line"].is_number_integer() || args["line"].get<int64_t>() < 0) {
    throw CommandError("The command needs a line number from 0.");
  }
  return args["line"].get<size_t>();
}

bool IsExistingFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void AddWindowCommands(OperatorServer& server, ConsoleWindow& console) {
  auto add = [&server](const char* name, std::function<void()> click) {
    server.AddCommand("console", name, [click](const Json&) {
      click();
      return Json(nullptr);
    });
  };
  ConsoleWindow* window = &console;
  add("Button1Click", [window] { window->Button1Click(); });
  add("Button2Click", [window] { window->Button2Click(); });
  add("Button3Click", [window] { window->Button3Click(); });
  add("Button5Click", [window] { window->Button5Click(); });
  add("closeorphansqlhandlesClick", [window] { window->closeorphansqlhandlesClick(); });
  add("cbActiveClick", [window] { window->cbActiveClick(); });
  add("SpeedButton5Click", [window] { window->SpeedButton5Click(); });
  add("tipNextClick", [window] { window->tipNextClick(); });
  add("tipCloseClick", [window] { window->tipCloseClick(); });
  add("minimizeClick", [window] { window->Minimize(); });
  add("trayClick", [window] { window->trayClick(); });
  add("closeClick", [window] { window->FormCloseQuery(); });
  server.AddCommand("console", "showlogClick", [window](const Json& args) {
    window->showlogClick(Flag(args, "checked"));
    return Json(nullptr);
  });
  server.AddCommand("console", "tipShowOnStartupClick", [window](const Json& args) {
    window->tipShowOnStartupClick(Flag(args, "checked"));
    return Json(nullptr);
  });
}

HostEditor& EditorOf(ConsoleWindow& console) {
  HostEditor* editor = console.host_editor();
  if (editor == nullptr) throw CommandError("This server has no host editor.");
  return *editor;
}

void AddHostEditorCommands(OperatorServer& server, ConsoleWindow& console) {
  ConsoleWindow* window = &console;
  auto add = [&server, window](const char* name,
                               std::function<Json(HostEditor&, const Json&)> run) {
    server.AddCommand("console", name,
                      [window, run](const Json& args) { return run(EditorOf(*window), args); });
  };
  // Fields the page sends along with a click hold what the operator typed. Each is one line of
  // the host file: a line break in it would shift every later entry's name and root.
  auto take_fields = [](HostEditor& editor, const Json& args) {
    auto one_line = [&args](const char* name) -> std::optional<std::string> {
      if (!args.contains(name)) return std::nullopt;
      std::string text = BytesOfJson(args[name]);
      if (text.find_first_of("\r\n") != std::string::npos) {
        throw CommandError(std::string(name) + " must be a single line.");
      }
      return text;
    };
    std::optional<std::string> hname = one_line("Hname");
    std::optional<std::string> hrootdir = one_line("Hrootdir");
    if (hname) editor.SetHname(std::move(*hname));
    if (hrootdir) editor.SetHrootdir(std::move(*hrootdir));
  };
  add("HostrootdirClick", [](HostEditor& editor, const Json& args) {
    editor.Select(Line(args));
    return Json(nullptr);
  });
  add("HostrootdirDblClick", [](HostEditor& editor, const Json& args) {
    if (args.contains("line")) editor.Select(Line(args));
    return Json(editor.Edit());
  });
  add("HnameChange", [take_fields](HostEditor& editor, const Json& args) {
    take_fields(editor, args);
    return Json(nullptr);
  });
  add("HrootdirChange", [take_fields](HostEditor& editor, const Json& args) {
    take_fields(editor, args);
    return Json(nullptr);
  });
  add("SpeedButton1Click", [take_fields](HostEditor& editor, const Json& args) {
    take_fields(editor, args);
    editor.Apply();
    return Json(nullptr);
  });
  add("SpeedButton2Click", [](HostEditor& editor, const Json&) {
    editor.Discard();
    return Json(nullptr);
  });
  add("SpeedButton3Click",
      [](HostEditor& editor, const Json&) { return Json(editor.RequestDelete()); });
  add("deleteAnswer", [](HostEditor& editor, const Json& args) {
    editor.AnswerDelete(Flag(args, "ok"));
    return Json(nullptr);
  });
  add("SpeedButton4Click", [](HostEditor& editor, const Json&) {
    // The operator learns why nothing was added, as from any failing handler.
    if (!editor.New()) {
      throw QorsvError("The host table is full: it holds no more than " +
                       std::to_string(editor.HostList().size()) + " hosts.");
    }
    return Json(true);
  });
  add("readhostsClick", [](HostEditor& editor, const Json&) {
    editor.ReadHosts();
    return Json(nullptr);
  });
  add("savehostsClick", [](HostEditor& editor, const Json&) {
    editor.SaveHosts();
    return Json(nullptr);
  });
  add("showhostsClick", [](HostEditor& editor, const Json&) {
    editor.ShowHosts();
    return Json(nullptr);
  });
  add("Button4Chosen", [take_fields](HostEditor& editor, const Json& args) {
    std::string file = BytesOfJson(args.value("file", Json()));
    // The dialog accepts only a file that exists; the check is repeated here, where it counts.
    if (!IsExistingFile(file)) throw CommandError("File not found: " + file);
    take_fields(editor, args);
    editor.ChooseRootDirectory(file);
    return Json(nullptr);
  });
}

}  // namespace

void AddConsolePage(OperatorServer& server, ConsoleWindow& console) {
  server.Events().AddSource("console", std::make_unique<ConsoleSource>(console));
  AddWindowCommands(server, console);
  AddHostEditorCommands(server, console);
  server.AddPage("/", "console.html");
}

}  // namespace qorsv
