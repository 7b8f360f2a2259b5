// The workbench's document commands: New, Open, Save, Save As, Run, Help and Time.
#include <cctype>
#include <exception>

#include "console/workbench_link.h"
#include "transport/platform.h"
#include "workbench/context_help.h"
#include "workbench/document_files.h"
#include "workbench/workbench_window.h"

namespace qorsv {
namespace {

bool Untitled(const std::string& name) {
  return name.empty() || name == WorkbenchWindow::kUntitledHtml ||
         name == WorkbenchWindow::kUntitledScript;
}

// ".htm" and ".html", letter case ignored: the server sends such a document as a page.
bool IsHtmlName(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string extension = name.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".htm" || extension == ".html";
}

}  // namespace

std::string WorkbenchWindow::ScriptsDirectory() const {
  // The program directory without its trailing separator, then "/scripts".
  std::string dir = program_dir_;
  if (!dir.empty() && dir.back() == '/') dir.pop_back();
  return dir + "/scripts";
}

void WorkbenchWindow::LoadIntoEditor(const std::string& path) {
  std::string bytes = ReadDocumentFile(path);
  editor_.Load(bytes);
  editor_top_line_ = 1;
}

void WorkbenchWindow::qorpadChange(std::string_view text) {
  if (!editor_.ReplaceAll(text)) return;
  document_saved_ = false;
  unchanged_file_.clear();
}

void WorkbenchWindow::ApplyEditorEdit(const TextEdit& edit) {
  editor_.Apply(edit);
  document_saved_ = false;
  unchanged_file_.clear();
}

void WorkbenchWindow::NewHtml() {
  if (Modal()) return;
  NewDocument("index.html", kUntitledHtml, 0);
}

void WorkbenchWindow::NewScript() {
  if (Modal()) return;
  NewDocument("new.qor", kUntitledScript, 1);
}

void WorkbenchWindow::NewDocument(const std::string& template_name, const char* untitled,
                                  int link_type) {
  suggested_name_.clear();
  unchanged_file_.clear();
  editor_.Load("");
  editor_top_line_ = 1;
  // A template that cannot be read stops the command here, the editor already cleared.
  LoadIntoEditor(program_dir_ + "scripts/templates/" + template_name);
  document_saved_ = false;
  SetWorkbenchFileName(untitled);
  link_type_ = link_type;
  analyzecodeClick();
}

void WorkbenchWindow::OpenFileDialog(DialogKind kind, std::string initial_name,
                                     std::function<void(const std::string&)> on_chosen,
                                     std::function<void()> on_cancel) {
  DialogRequest request;
  request.kind = kind;
  request.text = std::move(initial_name);
  request.directory = ScriptsDirectory();
  request.hide_read_only = kind == DialogKind::kOpenFile;
  dialog_.Open(std::move(request), [on_chosen = std::move(on_chosen),
                                    on_cancel = std::move(on_cancel)](const DialogAnswer& answer) {
    if (answer.confirmed && !answer.text.empty()) {
      on_chosen(answer.text);
    } else if (on_cancel) {
      on_cancel();
    }
  });
}

void WorkbenchWindow::Open() {
  if (Modal()) return;
  OpenFileDialog(DialogKind::kOpenFile, "", [this](const std::string& path) { OpenChosen(path); });
}

void WorkbenchWindow::OpenChosen(const std::string& path) {
  suggested_name_.clear();
  SetWorkbenchFileName(path);
  unchanged_file_.clear();
  std::string bytes = ReadDocumentFile(path);
  editor_.Load(bytes);
  editor_top_line_ = 1;
  unchanged_file_ = path;
  // The backup holds the text as it was loaded.
  WriteDocumentFile(BackupPath(path), bytes);
  document_saved_ = true;
  active_page_ = kRuntimePage;
  analyzecodeClick();
}

void WorkbenchWindow::WriteDocument(const std::string& path) {
  WriteDocumentFile(path, editor_.FileText());
  document_saved_ = true;
  unchanged_file_ = path;
}

void WorkbenchWindow::Save() {
  if (Modal()) return;
  SaveThen({});
}

void WorkbenchWindow::SaveThen(std::function<void()> next) {
  std::string name = WorkbenchFileName();
  if (Untitled(name)) {
    SaveAsThen(std::move(next));
    return;
  }
  WriteDocument(name);
  analyzecodeClick();
  if (next) next();
}

void WorkbenchWindow::SaveAs() {
  if (Modal()) return;
  SaveAsThen({});
}

void WorkbenchWindow::SaveAsThen(std::function<void()> next) {
  OpenFileDialog(
      DialogKind::kSaveFile, suggested_name_,
      [this, next](const std::string& path) {
        suggested_name_.clear();
        SetWorkbenchFileName(path);
        WriteDocument(path);
        analyzecodeClick();
        if (next) next();
      },
      [next] {
        if (next) next();
      });
}

void WorkbenchWindow::OpenDropped(const std::string& name, std::string_view bytes) {
  if (Modal()) return;
  // Only the name counts: a page may send a path of the operator's machine.
  size_t slash = name.find_last_of("/\\");
  std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  bool html = IsHtmlName(base);
  editor_.Load(bytes);
  editor_top_line_ = 1;
  document_saved_ = false;
  unchanged_file_.clear();
  SetWorkbenchFileName(html ? kUntitledHtml : kUntitledScript);
  link_type_ = html ? 0 : 1;
  suggested_name_ = base;
  active_page_ = kRuntimePage;
  analyzecodeClick();
}

std::string WorkbenchWindow::RunUrl() const { return server_address_ + kRunDocument; }

void WorkbenchWindow::Run() {
  if (Modal()) return;
  SaveThen([this] { RunSteps(); });
}

void WorkbenchWindow::thisserveraddressEnter() {
  if (Modal()) return;
  SaveThen([this] {
    RunSteps();
    active_page_ = kResultPage;
  });
}

void WorkbenchWindow::RunSteps() {
  if (!document_saved_) {
    dialog_.Message(kSaveBeforeRunning);
    return;
  }
  EmbeddedBrowser& browser = browser_ticked_ ? browserqor_ : webbrowser_;
  browser.Navigate(RunUrl());
  // Right after the navigation the browser is busy, so this refresh seldom happens.
  if (!browser.Busy()) browser.Refresh();
  if (&browser == &webbrowser_) active_page_ = kResultPage;
}

void WorkbenchWindow::Help() {
  if (Modal()) return;
  webbrowser_.Navigate(HelpUrl(kHelpIndexPage));
  active_page_ = kResultPage;
}

void WorkbenchWindow::Time() {
  if (Modal()) return;
  std::time_t now = config_.wall_clock ? config_.wall_clock() : std::time(nullptr);
  dialog_.Message("Time is " + LongTimeText(now) + "    :) Don't you have a clock in your taskbar ?!");
}

}  // namespace qorsv
