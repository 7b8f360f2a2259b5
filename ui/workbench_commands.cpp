// The workbench page's commands (source "workbench"): the menus and tool buttons by command
// name, the operator's typing and caret, the pages, the left panel and the result pane, the
// pop-ups and context help, the dialogs' answers, and the editor options window's controls
// ("options.*"). Each calls the window's own handler on the UI thread.
#include <memory>

#include "ui/workbench_state.h"
#include "workbench/editor_options.h"

namespace qorsv {
namespace {

const Json& Arg(const Json& args, const char* name) {
  if (!args.contains(name)) {
    throw CommandError(std::string("The command needs \"") + name + "\".");
  }
  return args[name];
}

int Integer(const Json& args, const char* name) {
  const Json& value = Arg(args, name);
  if (!value.is_number_integer()) {
    throw CommandError(std::string("\"") + name + "\" must be a whole number.");
  }
  return value.get<int>();
}

bool Flag(const Json& args, const char* name) {
  const Json& value = Arg(args, name);
  if (!value.is_boolean()) throw CommandError(std::string("\"") + name + "\" must be true or false.");
  return value.get<bool>();
}

std::string Text(const Json& args, const char* name) {
  const Json& value = Arg(args, name);
  if (!value.is_string()) throw CommandError(std::string("\"") + name + "\" must be a text.");
  return BytesOfJson(value);
}

Caret CaretArg(const Json& args) {
  return Caret{Integer(args, "line"), Integer(args, "column")};
}

// The answer to a dialog: {"id", "confirmed", "text", "colour": "#rrggbb"}.
DialogAnswer AnswerOf(const Json& args) {
  DialogAnswer answer;
  answer.confirmed = Flag(args, "confirmed");
  if (args.contains("text")) answer.text = Text(args, "text");
  if (answer.confirmed && args.contains("colour") && !args["colour"].is_null()) {
    std::optional<int32_t> colour = ColourFromCss(Text(args, "colour"));
    if (!colour) throw CommandError("The colour must be written #rrggbb.");
    answer.colour = *colour;
  }
  return answer;
}

uint64_t DialogId(const Json& args) {
  const Json& value = Arg(args, "id");
  if (!value.is_number_unsigned()) throw CommandError("\"id\" must be a dialog number.");
  return value.get<uint64_t>();
}

using Handler = std::function<Json(const Json& args)>;

class Registrar {
 public:
  Registrar(OperatorServer& server, const char* prefix) : server_(server), prefix_(prefix) {}
  void Add(const std::string& name, Handler handler) {
    server_.AddCommand("workbench", prefix_ + name, std::move(handler));
  }
  void Add(const std::string& name, std::function<void()> click) {
    server_.AddCommand("workbench", prefix_ + name, [click = std::move(click)](const Json&) {
      click();
      return Json(nullptr);
    });
  }

 private:
  OperatorServer& server_;
  std::string prefix_;
};

// The operator's typing: edits made on the page's copy of the text since `base`, or the page's
// whole text when its copy went its own way (two pages typing at once: the last one wins).
Json QorpadEdits(WorkbenchWindow& workbench, EditOrigins& origins, const Json& args) {
  std::string origin = Text(args, "origin");
  uint64_t before = workbench.Editor().Revision();
  if (args.contains("text")) {
    workbench.qorpadChange(Text(args, "text"));
  } else {
    const Json& base = Arg(args, "base");
    if (!base.is_number_unsigned()) throw CommandError("\"base\" must be a revision.");
    if (base.get<uint64_t>() != before) {
      return Json{{"revision", before}, {"conflict", true}};
    }
    const Json& edits = Arg(args, "edits");
    if (!edits.is_array()) throw CommandError("\"edits\" must be a list.");
    std::vector<TextEdit> parsed;
    for (const Json& edit : edits) parsed.push_back(TextEditOfJson(edit));
    for (const TextEdit& edit : parsed) workbench.ApplyEditorEdit(edit);
  }
  for (uint64_t revision = before + 1; revision <= workbench.Editor().Revision(); ++revision) {
    origins.Record(revision, origin);
  }
  if (args.contains("caret")) workbench.SetCaret(CaretArg(args["caret"]));
  return Json{{"revision", workbench.Editor().Revision()}, {"conflict", false}};
}

void AddEditorCommands(Registrar& add, WorkbenchWindow& workbench,
                       std::shared_ptr<EditOrigins> origins) {
  WorkbenchWindow* window = &workbench;
  add.Add("qorpadEdits", Handler([window, origins](const Json& args) {
            return QorpadEdits(*window, *origins, args);
          }));
  add.Add("SetCaret", Handler([window](const Json& args) {
            window->SetCaret(CaretArg(args));
            return Json(nullptr);
          }));
  add.Add("ExpandTemplate", Handler([window](const Json&) { return Json(window->ExpandTemplate()); }));
  add.Add("syncompletExecute", Handler([window](const Json& args) {
            window->syncompletExecute(Text(args, "word"));
            return Json(nullptr);
          }));
  add.Add("scpParamsExecute", Handler([window](const Json& args) {
            if (args.contains("line")) window->SetCaret(CaretArg(args));
            window->scpParamsExecute();
            const ParameterHintState& hint = window->ParameterHint();
            Json items = Json::array();
            for (const std::string& item : hint.items) items.push_back(JsonText(item));
            return Json{{"open", hint.open}, {"items", items}, {"argument", hint.argument}};
          }));
  add.Add("qorpadKeyDown", Handler([window](const Json& args) {
            window->qorpadKeyDown(Flag(args, "ctrl"));
            return Json(nullptr);
          }));
  add.Add("qorpadKeyUp", [window] { window->qorpadKeyUp(); });
  add.Add("qorpadClick", Handler([window](const Json& args) {
            window->qorpadClick(CaretArg(args));
            return Json(nullptr);
          }));
  add.Add("OpenDropped", Handler([window](const Json& args) {
            window->OpenDropped(Text(args, "name"), Text(args, "text"));
            return Json(nullptr);
          }));
}

void AddWindowCommands(Registrar& add, WorkbenchWindow& workbench) {
  WorkbenchWindow* window = &workbench;
  add.Add("command", Handler([window](const Json& args) {
            std::string name = Text(args, "name");
            if (!window->RunCommand(name)) throw CommandError("No such command: " + name);
            return Json(nullptr);
          }));
  add.Add("FormCloseQuery", [window] { window->FormCloseQuery(); });
  // The page lost the focus (the operator went to another window or tab).
  add.Add("FormDeactivate", [window] { window->debugger_views().LoseFocus(); });
  add.Add("PageControl1Change", Handler([window](const Json& args) {
            window->PageControl1Change(Integer(args, "page"));
            return Json(nullptr);
          }));
  add.Add("thisserveraddressChange", Handler([window](const Json& args) {
            window->SetServerAddress(Text(args, "text"));
            return Json(nullptr);
          }));
  add.Add("link_typeChange", Handler([window](const Json& args) {
            window->SetLinkType(Integer(args, "item"));
            return Json(nullptr);
          }));
  add.Add("SetResultPaneHeight", Handler([window](const Json& args) {
            window->SetResultPaneHeight(Integer(args, "height"));
            return Json(nullptr);
          }));
  add.Add("listprocClick", Handler([window](const Json& args) {
            window->listprocClick(Integer(args, "entry"));
            return Json(nullptr);
          }));
  add.Add("listprocMouseMove", Handler([window](const Json& args) {
            window->listprocMouseMove(Integer(args, "index"));
            return Json(nullptr);
          }));
  add.Add("DocumentComplete", Handler([window](const Json& args) {
            std::string browser = Text(args, "browser");
            if (browser == "browserqor") {
              window->browserqor().DocumentComplete();
            } else if (browser == "webbrowser") {
              window->webbrowser().DocumentComplete();
            } else {
              throw CommandError("No such browser: " + browser);
            }
            return Json(nullptr);
          }));
  add.Add("answerDialog", Handler([window](const Json& args) {
            return Json(window->AnswerDialog(DialogId(args), AnswerOf(args)));
          }));
}

void AddOptionsCommands(Registrar& add, EditorOptionsWindow& options) {
  EditorOptionsWindow* window = &options;
  add.Add("ListBox1Click", Handler([window](const Json& args) {
            window->ListBox1Click(Integer(args, "row"));
            return Json(nullptr);
          }));
  add.Add("bckClick", [window] { window->bckClick(); });
  add.Add("frgClick", [window] { window->frgClick(); });
  add.Add("Button1Click", [window] { window->Button1Click(); });
  add.Add("FileListBox1Click", Handler([window](const Json& args) {
            window->FileListBox1Click(Text(args, "name"));
            return Json(nullptr);
          }));
  add.Add("applyClick", [window] { window->applyClick(); });
  add.Add("Button2Click", [window] { window->Button2Click(); });
  add.Add("CloseBox", [window] { window->CloseBox(); });
  add.Add("qorcompletionwizardClick", Handler([window](const Json& args) {
            window->SetCompletionWizard(Flag(args, "checked"));
            return Json(nullptr);
          }));
  add.Add("codeparametersClick", Handler([window](const Json& args) {
            window->SetCodeParameters(Flag(args, "checked"));
            return Json(nullptr);
          }));
  add.Add("delaycodeChange", Handler([window](const Json& args) {
            window->SetDelayPosition(Integer(args, "position"));
            return Json(nullptr);
          }));
  add.Add("edittabChange", Handler([window](const Json& args) {
            window->SetActivePage(Integer(args, "page"));
            return Json(nullptr);
          }));
  add.Add("answerDialog", Handler([window](const Json& args) {
            return Json(window->AnswerDialog(DialogId(args), AnswerOf(args)));
          }));
}

}  // namespace

void AddWorkbenchCommands(OperatorServer& server, WorkbenchWindows& windows,
                          std::shared_ptr<EditOrigins> origins) {
  Registrar workbench(server, "");
  AddEditorCommands(workbench, windows.Workbench(), std::move(origins));
  AddWindowCommands(workbench, windows.Workbench());
  Registrar options(server, "options.");
  AddOptionsCommands(options, windows.EditorOptions());
}

}  // namespace qorsv
