#include "ui/workbench_state.h"

#include <memory>

#include "console/workbench_link.h"
#include "workbench/completion_popup.h"
#include "workbench/editor_options.h"
#include "workbench/workbench_menus.h"

namespace qorsv {

std::string EditOrigins::Of(uint64_t revision) const {
  auto found = origins_.find(revision);
  return found == origins_.end() ? std::string() : found->second;
}

void EditOrigins::ForgetUpTo(uint64_t revision) {
  origins_.erase(origins_.begin(), origins_.upper_bound(revision));
}

Json CaretJson(const Caret& caret) { return Json{{"line", caret.line}, {"column", caret.column}}; }

Json TextEditJson(const TextEdit& edit) {
  return Json{{"from", CaretJson(edit.from)},
              {"to", CaretJson(edit.to)},
              {"text", JsonText(edit.text)},
              {"caret", CaretJson(edit.caret)},
              {"newDocument", edit.new_document}};
}

namespace {

Caret CaretOfJson(const Json& value) {
  if (!value.is_object() || !value.contains("line") || !value.contains("column") ||
      !value["line"].is_number_integer() || !value["column"].is_number_integer()) {
    throw CommandError("A position needs a line and a column.");
  }
  return Caret{value["line"].get<int>(), value["column"].get<int>()};
}

}  // namespace

TextEdit TextEditOfJson(const Json& value) {
  if (!value.is_object() || !value.contains("text") || !value["text"].is_string()) {
    throw CommandError("An edit needs a range and a text.");
  }
  TextEdit edit;
  edit.from = CaretOfJson(value.value("from", Json()));
  edit.to = CaretOfJson(value.value("to", Json()));
  edit.text = BytesOfJson(value["text"]);
  edit.caret = value.contains("caret") ? CaretOfJson(value["caret"]) : edit.from;
  return edit;
}

std::vector<Json> EditorEvents(const EditorText& editor, uint64_t base,
                               const EditOrigins& origins) {
  std::vector<Json> events;
  const uint64_t revision = editor.Revision();
  if (revision == base) return events;
  std::optional<std::vector<TextEdit>> edits = editor.EditsSince(base);
  if (!edits) {
    events.push_back(Json{{"type", "editor"},
                          {"revision", revision},
                          {"text", JsonText(editor.PageText())},
                          {"caret", CaretJson(editor.caret())}});
    return events;
  }
  uint64_t at = base;
  for (const TextEdit& edit : *edits) {
    ++at;
    std::string origin = origins.Of(at);
    if (events.empty() || events.back()["origin"] != origin) {
      events.push_back(Json{{"type", "editor"},
                            {"base", at - 1},
                            {"revision", at},
                            {"origin", origin},
                            {"edits", Json::array()}});
    }
    events.back()["revision"] = at;
    events.back()["edits"].push_back(TextEditJson(edit));
  }
  return events;
}

namespace {

Json TextList(const std::vector<std::string>& lines) {
  Json array = Json::array();
  for (const std::string& line : lines) array.push_back(JsonText(line));
  return array;
}

Json Css(int32_t colour) {
  std::optional<std::string> css = CssColour(colour);
  return css ? Json(*css) : Json(nullptr);
}

// A colour set as the page styles it: CSS colours, null for "no colour of its own".
Json ColourSetJson(const EditorColourSet& colours) {
  Json attributes = Json::array();
  for (const AttributeColours& attribute : colours.attributes) {
    attributes.push_back(Json{{"background", Css(attribute.background)},
                              {"foreground", Css(attribute.foreground)}});
  }
  return Json{{"background", Css(colours.editor_background)}, {"attributes", attributes}};
}

const char* DialogKindName(DialogKind kind) {
  switch (kind) {
    case DialogKind::kOpenFile:
      return "open";
    case DialogKind::kSaveFile:
      return "save";
    case DialogKind::kInput:
      return "input";
    case DialogKind::kColour:
      return "colour";
    case DialogKind::kMessage:
      break;
  }
  return "message";
}

Json DialogJson(const DialogSlot& slot) {
  const std::optional<DialogRequest>& pending = slot.Pending();
  if (!pending) return nullptr;
  return Json{{"id", pending->id},
              {"kind", DialogKindName(pending->kind)},
              {"title", JsonText(pending->title)},
              {"prompt", JsonText(pending->prompt)},
              {"text", JsonText(pending->text)},
              {"directory", JsonText(pending->directory)},
              {"filter", JsonText(pending->filter)},
              {"defaultExtension", JsonText(pending->default_extension)},
              {"hideReadOnly", pending->hide_read_only},
              {"colour", Css(pending->colour)}};
}

Json BrowserJson(const EmbeddedBrowser& browser) {
  return Json{{"url", JsonText(browser.Url())}, {"loads", browser.Loads()}};
}

Json OptionsJson(const EditorOptionsWindow& options) {
  return Json{{"visible", options.Visible()},
              {"activePage", options.ActivePage()},
              {"colours", ColourSetJson(options.Colours())},
              {"selectedRow", options.SelectedRow()},
              {"selectedAttribute", options.SelectedAttribute()},
              {"bckVisible", options.BackgroundButtonVisible()},
              {"frgVisible", options.ForegroundButtonVisible()},
              {"lbck", Css(options.BackgroundSwatch())},
              {"lfrg", Css(options.ForegroundSwatch())},
              {"schemesDir", JsonText(options.SchemesDir())},
              {"schemeFiles", TextList(options.SchemeFiles())},
              {"completionWizard", options.CompletionWizard()},
              {"codeParameters", options.CodeParameters()},
              {"delayPosition", options.DelayPosition()},
              {"delayLabel", options.DelayLabel()},
              {"dialog", DialogJson(options.Dialog())}};
}

Json ParameterHintJson(const ParameterHintState& hint) {
  return Json{{"open", hint.open},
              {"items", TextList(hint.items)},
              {"argument", hint.argument},
              {"text", JsonText(hint.text)}};
}

// What the page draws from and never changes.
Json FixedJson() {
  Json menu = Json::array();
  for (const WorkbenchMenuItem& item : WorkbenchMenu()) {
    menu.push_back(Json{{"menu", item.menu},
                        {"caption", item.caption},
                        {"shortcut", item.shortcut},
                        {"command", item.command}});
  }
  Json toolbar = Json::array();
  for (const WorkbenchToolButton& button : WorkbenchToolbar()) {
    toolbar.push_back(
        Json{{"caption", button.caption}, {"hint", button.hint}, {"command", button.command}});
  }
  Json pages = Json::array();
  for (const char* caption : WorkbenchWindow::kPageCaptions) pages.push_back(caption);
  Json link_types = Json::array();
  for (const char* item : WorkbenchWindow::kLinkTypes) link_types.push_back(item);
  Json rows = Json::array();
  for (const char* row : kAttributeRows) rows.push_back(row);
  Json options_pages = Json::array();
  for (const char* page : EditorOptionsWindow::kPages) options_pages.push_back(page);
  return Json{
      {"menu", menu},
      {"toolbar", toolbar},
      {"pageCaptions", pages},
      {"linkTypes", link_types},
      {"formatSourceEnabled", WorkbenchWindow::FormatSourceEnabled()},
      {"panelWidth", WorkbenchWindow::kPanelWidth},
      {"rightMarginColumn", WorkbenchWindow::kRightMarginColumn},
      {"gutterColour", Css(WorkbenchWindow::kGutterColour)},
      {"rightMarginColour", Css(WorkbenchWindow::kRightMarginColour)},
      {"listingForeground", Css(WorkbenchWindow::kListingForeground)},
      {"extraLineSpacing", WorkbenchWindow::kExtraLineSpacing},
      {"completion",
       {{"title", kCompletionTitle},
        {"endChars", kCompletionEndChars},
        {"rows", kCompletionRows},
        {"width", kCompletionWidth}}},
      {"parameterHint",
       {{"trigger", std::string(1, kParameterHintTrigger)},
        {"endChars", kParameterHintEndChars},
        {"rows", kParameterHintRows},
        {"width", kParameterHintWidth}}},
      {"options",
       {{"title", EditorOptionsWindow::kTitle},
        {"pages", options_pages},
        {"rows", rows},
        {"previewText", JsonText(EditorOptionsWindow::kPreviewText)},
        {"delayMin", kMinPopupDelayMs},
        {"delayMax", kMaxPopupDelayMs},
        {"delayStep", EditorOptionsWindow::kDelayMarkStep}}},
  };
}

Json AnalysisJson(const CodeAnalysis& analysis) {
  return Json{{"listproc", TextList(analysis.listproc())},
              {"completionItems", TextList(analysis.CompletionItems())},
              {"completionInserts", TextList(analysis.CompletionInserts())},
              {"triggerChars", JsonText(analysis.TriggerChars())}};
}

Json ViewsJson(DebuggerViews& views) {
  return Json{{"dbgmem", TextList(views.dbgmem())},
              {"errormsg", TextList(views.errormsg())},
              {"markedLine", views.MarkedLine()}};
}

class WorkbenchSource : public StateSource {
 public:
  WorkbenchSource(WorkbenchWindows& windows, std::shared_ptr<EditOrigins> origins)
      : windows_(windows),
        origins_(std::move(origins)),
        editor_revision_(windows.Workbench().Editor().Revision()),
        analysis_revision_(windows.Workbench().Analysis().Revision()),
        views_revision_(windows.Workbench().debugger_views().Revision()) {}

  Json FullState() override {
    WorkbenchWindow& workbench = windows_.Workbench();
    Json state = Fields();
    state["fixed"] = FixedJson();
    state["editor"] = Json{{"revision", workbench.Editor().Revision()},
                           {"text", JsonText(workbench.Editor().PageText())}};
    state["analysis"] = AnalysisJson(workbench.Analysis());
    state["views"] = ViewsJson(workbench.debugger_views());
    return state;
  }

  std::vector<Json> Changes() override {
    WorkbenchWindow& workbench = windows_.Workbench();
    std::vector<Json> events;
    fields_.AddEvent(Fields(), events);
    const EditorText& editor = workbench.Editor();
    if (editor.Revision() != editor_revision_) {
      for (Json& event : EditorEvents(editor, editor_revision_, *origins_)) {
        events.push_back(std::move(event));
      }
      editor_revision_ = editor.Revision();
      origins_->ForgetUpTo(editor_revision_);
    }
    if (workbench.Analysis().Revision() != analysis_revision_) {
      analysis_revision_ = workbench.Analysis().Revision();
      Json event = AnalysisJson(workbench.Analysis());
      event["type"] = "analysis";
      events.push_back(std::move(event));
    }
    DebuggerViews& views = workbench.debugger_views();
    if (views.Revision() != views_revision_) {
      views_revision_ = views.Revision();
      Json event = ViewsJson(views);
      event["type"] = "views";
      events.push_back(std::move(event));
    }
    return events;
  }

 private:
  Json Fields() {
    WorkbenchWindow& workbench = windows_.Workbench();
    DebuggerViews& views = workbench.debugger_views();
    return Json{
        {"visible", workbench.Visible()},
        {"title", JsonText(workbench.Caption())},
        {"modal", workbench.Modal()},
        {"activePage", workbench.ActivePage()},
        {"editMenuVisible", workbench.EditMenuVisible()},
        {"codeMenuVisible", workbench.CodeMenuVisible()},
        {"minipanelTicked", workbench.MinipanelTicked()},
        {"browserTicked", workbench.BrowserTicked()},
        {"panelVisible", workbench.PanelVisible()},
        {"paneHeight", workbench.ResultPaneHeight()},
        {"thisserveraddress", JsonText(workbench.ServerAddress())},
        {"link_type", workbench.LinkType()},
        {"documentSaved", workbench.DocumentSaved()},
        {"fileName", JsonText(WorkbenchFileName())},
        {"dialog", DialogJson(workbench.Dialog())},
        {"browserqor", BrowserJson(workbench.browserqor())},
        {"webbrowser", BrowserJson(workbench.webbrowser())},
        {"caret", CaretJson(workbench.Editor().caret())},
        {"editorTopLine", workbench.EditorTopLine()},
        {"editorFocusRequests", workbench.EditorFocusRequests()},
        {"clipboard", JsonText(workbench.Clipboard())},
        {"listprocHint", JsonText(workbench.ListprocHint())},
        {"listprocSelected", workbench.ListprocSelected()},
        {"completionAttached", workbench.CompletionAttached()},
        {"paramsAttached", workbench.ParamsAttached()},
        {"popupDelayMs", workbench.PopupDelayMs()},
        {"parameterHint", ParameterHintJson(workbench.ParameterHint())},
        {"helpPointer", workbench.HelpPointer()},
        {"colours", ColourSetJson(workbench.Colours())},
        {"listingBackground", Css(workbench.ListingBackground())},
        {"StatusBar1", JsonText(views.StatusBar1())},
        {"broughtToFront", views.BroughtToFront()},
        {"focused", views.Focused()},
        {"options", OptionsJson(windows_.EditorOptions())},
    };
  }

  WorkbenchWindows& windows_;
  std::shared_ptr<EditOrigins> origins_;
  FieldChanges fields_;
  uint64_t editor_revision_;
  uint64_t analysis_revision_;
  uint64_t views_revision_;
};

// What the console page needs of the workbench: a failed compile brings the workbench forward,
// and the console shows a notice with the status text.
class WorkbenchNoticeSource : public StateSource {
 public:
  explicit WorkbenchNoticeSource(WorkbenchWindows& windows) : windows_(windows) {}
  Json FullState() override { return Fields(); }
  std::vector<Json> Changes() override {
    std::vector<Json> events;
    fields_.AddEvent(Fields(), events);
    return events;
  }

 private:
  Json Fields() {
    DebuggerViews& views = windows_.Workbench().debugger_views();
    return Json{{"broughtToFront", views.BroughtToFront()},
                {"StatusBar1", JsonText(views.StatusBar1())}};
  }

  WorkbenchWindows& windows_;
  FieldChanges fields_;
};

}  // namespace

void AddWorkbenchPage(OperatorServer& server, WorkbenchWindows& windows,
                      const std::string& program_dir) {
  auto origins = std::make_shared<EditOrigins>();
  server.Events().AddSource("workbench", std::make_unique<WorkbenchSource>(windows, origins));
  server.Events().AddSource("workbenchNotice", std::make_unique<WorkbenchNoticeSource>(windows));
  AddWorkbenchCommands(server, windows, origins);
  server.AddPage("/workbench", "workbench.html");
  server.AddFolder("/help/", program_dir + "help/html/");
}

}  // namespace qorsv
