// The workbench's code assistance commands: the analysis and the procedure list, the pop-ups,
// context help, template expansion, Create Procedure / Function and Find.
#include <algorithm>

#include "workbench/context_help.h"
#include "workbench/parameter_hints.h"
#include "workbench/workbench_window.h"

namespace qorsv {

void WorkbenchWindow::analyzecodeClick() {
  analysis_.Analyze(editor_.Lines(), program_dir_ + "scripts/functions.txt");
  listproc_selected_ = -1;
}

void WorkbenchWindow::listprocClick(int entry) {
  if (Modal() || entry < 0 || entry >= static_cast<int>(analysis_.listproc().size())) return;
  JumpToLine(analysis_.ProcIndex().ProcLine[static_cast<size_t>(entry) + 1] + 1);
}

void WorkbenchWindow::JumpToLine(int line) {
  // The caret goes to the line before the last first, then to the target, so that the target
  // comes into view at the top. A line past the end (a library entry) ends on the last line.
  Caret caret = editor_.caret();
  caret.line = std::clamp(line, 1, editor_.LineCount());
  editor_.SetCaret(caret);
  editor_top_line_ = caret.line;
  ++editor_focus_requests_;
}

void WorkbenchWindow::listprocMouseMove(int index) {
  // The entry under the pointer; below the last entry there is none, and the hint stays.
  if (index < 0 || index >= analysis_.ProcIndex().ProcCount) return;
  listproc_hint_ = analysis_.ProcIndex().ProcHeader[static_cast<size_t>(index) + 1];
}

void WorkbenchWindow::syncompletExecute(const std::string& word) { caption_ = word; }

bool WorkbenchWindow::scpParamsExecute() {
  if (!params_attached_) return false;
  const Caret caret = editor_.caret();
  ParameterHintScan scan = ScanParameterHint(editor_.Line(caret.line), caret.column, analysis_);
  if (!scan.found) {
    parameter_hint_ = ParameterHintState{};
    return false;
  }
  parameter_hint_.open = true;
  // The list is kept when the text shown last is the word itself.
  bool same_as_shown = parameter_hint_.list.size() == 1 && parameter_hint_.list[0] == scan.word;
  if (!same_as_shown) {
    parameter_hint_.list = {analysis_.ProcIndex().ProcParams[static_cast<size_t>(scan.proc) + 1]};
  }
  parameter_hint_.argument = scan.argument;
  parameter_hint_.items = ParameterHintItems(parameter_hint_.list.front());
  parameter_hint_.text = JoinHintItems(parameter_hint_.items);
  return true;
}

void WorkbenchWindow::qorpadClick(Caret caret) {
  editor_.SetCaret(caret);
  if (!help_pointer_ || Modal()) return;
  std::optional<std::string> word = HelpWordAt(editor_.Line(caret.line), caret.column);
  if (!word) return;
  std::optional<std::string> file = FindHelpFile(program_dir_ + "help/html/", *word);
  if (!file) return;  // the pointer stays the help pointer until the next key event
  webbrowser_.Navigate(HelpUrl(*file));
  active_page_ = kResultPage;
  help_pointer_ = false;
}

bool WorkbenchWindow::ExpandTemplate() {
  if (!templates_attached_ || Modal()) return false;
  std::optional<TextEdit> edit = ExpandCodeTemplate(editor_, templates_);
  if (!edit) return false;
  ApplyEditorEdit(*edit);
  return true;
}

void WorkbenchWindow::Procedure1Click() { CreateSkeleton(SkeletonKind::kProcedure); }

void WorkbenchWindow::Function1Click() { CreateSkeleton(SkeletonKind::kFunction); }

void WorkbenchWindow::CreateSkeleton(SkeletonKind kind) {
  if (Modal()) return;
  SkeletonDialog texts = SkeletonDialogTexts(kind);
  DialogRequest request;
  request.kind = DialogKind::kInput;
  request.title = texts.title;
  request.prompt = texts.prompt;
  dialog_.Open(std::move(request), [this, kind](const DialogAnswer& answer) {
    if (!answer.confirmed || answer.text.empty()) return;
    clipboard_ = SkeletonText(kind, answer.text);
    ApplyEditorEdit(SkeletonEdit(clipboard_, editor_.caret()));
    ++editor_focus_requests_;
  });
}

void WorkbenchWindow::Procedure2Click() {
  if (Modal()) return;
  DialogRequest request;
  request.kind = DialogKind::kInput;
  request.title = kFindTitle;
  request.prompt = kFindPrompt;
  dialog_.Open(std::move(request), [this](const DialogAnswer& answer) {
    std::string name = answer.confirmed ? answer.text : "";
    std::optional<int> entry = name.empty() ? std::nullopt : analysis_.FindListproc(name);
    if (!entry) {
      dialog_.Message(kNotFound + name);
      return;
    }
    listproc_selected_ = *entry;
    listprocClick(*entry);
  });
}

}  // namespace qorsv
