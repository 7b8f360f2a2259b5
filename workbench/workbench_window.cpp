// The window's life (creation, activation, close), its timers, pages, panel and result pane, and
// the settings it reads and writes. The document commands are in workbench_documents.cpp, the
// code assistance in workbench_assist.cpp.
#include "workbench/workbench_window.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "console/operator_messages.h"
#include "console/workbench_link.h"
#include "workbench/completion_popup.h"
#include "workbench/document_files.h"
#include "workbench/editor_options.h"

namespace qorsv {

const std::vector<std::string>& WorkbenchWindow::InitialEditorLines() {
  static const std::vector<std::string> kLines = {
      "begin", "", "         Writeln (' Hello WORLD !');", "", "end."};
  return kLines;
}

std::string WorkbenchWindow::DefaultServerAddress(uint16_t listen_port) {
  std::string address = "http://127.0.0.1";
  // The run request must reach this server, which need not listen on the HTTP port.
  if (listen_port != 80) address += ":" + std::to_string(listen_port);
  return address;
}

namespace {

WorkbenchConfig ConfigFor(std::string program_dir) {
  WorkbenchConfig config;
  config.program_dir = std::move(program_dir);
  return config;
}

}  // namespace

WorkbenchWindow::WorkbenchWindow(std::string program_dir)
    : WorkbenchWindow(ConfigFor(std::move(program_dir))) {}

WorkbenchWindow::WorkbenchWindow(WorkbenchConfig config)
    : config_(std::move(config)),
      program_dir_(config_.program_dir),
      editor_(InitialEditorLines()),
      server_address_(DefaultServerAddress(config_.listen_port)) {
  SetWorkbenchFileName(program_dir_ + "webpage/default/index.html");
  debugger_views_ = std::make_unique<DebuggerViews>([this] { Show(); });
  try {
    templates_ = LoadCodeTemplates(program_dir_ + "config/qor.dci");
  } catch (const std::exception& error) {
    ReportError(error.what());
  }
  active_page_ = kErrorPage;
  if (config_.loop != nullptr) {
    timer_ids_.push_back(
        config_.loop->AddTimer("Timer1", kTimer1PeriodMs, [this] { Timer1Timer(); }));
    dbgswitch_timer_ =
        config_.loop->AddTimer("dbgswitch", kDbgswitchPeriodMs, [this] { dbgswitchTimer(); });
  }
}

WorkbenchWindow::~WorkbenchWindow() {
  if (config_.loop != nullptr) {
    for (int id : timer_ids_) config_.loop->StopTimer(id);
    if (dbgswitch_running_) config_.loop->StopTimer(dbgswitch_timer_);
  }
}

void WorkbenchWindow::ReportError(const std::string& text) {
  if (config_.report_error) {
    config_.report_error(text);
  } else if (config_.loop != nullptr) {
    config_.loop->ReportError(text);
  } else {
    PostOperatorMessage(text);
  }
}

bool WorkbenchWindow::Modal() const {
  return dialog_.IsOpen() || (options_ != nullptr && options_->Visible());
}

void WorkbenchWindow::Show() {
  visible_ = true;
  FormActivate();
}

void WorkbenchWindow::FormActivate() {
  if (!first_activation_) return;
  first_activation_ = false;
  xml_.SetSettingsFile(program_dir_ + "config/config.xml");
  std::string last_file = xml_.ReadSettingString("LastEditorFile", "");
  if (RegularFileExists(last_file)) SetWorkbenchFileName(last_file);
  server_address_ = xml_.ReadSettingString("ServerAddress", server_address_);
  std::string document = WorkbenchFileName();
  if (RegularFileExists(document)) {
    // An unreadable document is reported; the settings are read all the same.
    try {
      LoadIntoEditor(document);
      unchanged_file_ = document;
    } catch (const std::exception& error) {
      ReportError(error.what());
    }
  }
  analyzecodeClick();
  templates_attached_ = true;
  ReadEditorSettings();
  panel_visible_ = xml_.ReadSettingBoolean("EdMinPan", true);
  // Without a stored state the pane follows the embedded browser's own visibility: shown.
  browser_ticked_ = xml_.ReadSettingBoolean("EdBoriP", true);
  if (!browser_ticked_) {
    remembered_pane_height_ = pane_height_;
    pane_height_ = 1;
  }
}

void WorkbenchWindow::ReadEditorSettings() {
  // The switches and the delay live in the options window's controls; without one, here.
  EditorOptionsWindow fallback(program_dir_);
  EditorOptionsWindow& options = options_ != nullptr ? *options_ : fallback;
  options.SetCompletionWizard(xml_.ReadSettingBoolean("SyntaxComplet", options.CompletionWizard()));
  options.SetCodeParameters(xml_.ReadSettingBoolean("ScpParams", options.CodeParameters()));
  completion_attached_ = options.CompletionWizard();
  params_attached_ = options.CodeParameters();
  options.SetDelayPosition(xml_.ReadSettingInteger("SyntaxTimer", options.DelayPosition()));
  popup_delay_ms_ = options.DelayPosition();
  ReadAttributeColourSettings(xml_, colours_);
  colours_.editor_background =
      xml_.ReadSettingInteger(kEditorColourKey, colours_.editor_background);
  listing_background_ = colours_.editor_background;
}

void WorkbenchWindow::EditorColors1Click() {
  if (Modal() || options_ == nullptr) return;
  options_->ShowModal([this](bool applied) {
    if (applied) ApplyEditorOptions();
  });
}

void WorkbenchWindow::ApplyEditorOptions() {
  const EditorColourSet& chosen = options_->Colours();
  colours_.editor_background = chosen.editor_background;
  listing_background_ = chosen.editor_background;
  colours_.attributes = chosen.attributes;
  completion_attached_ = options_->CompletionWizard();
  params_attached_ = options_->CodeParameters();
  popup_delay_ms_ = options_->DelayPosition();
  xml_.WriteSettingBoolean("SyntaxComplet", options_->CompletionWizard());
  xml_.WriteSettingBoolean("ScpParams", options_->CodeParameters());
  xml_.WriteSettingInteger("SyntaxTimer", options_->DelayPosition());
  WriteColourSettings(xml_, colours_);
}

void WorkbenchWindow::FormCloseQuery() {
  if (Modal()) return;
  SaveThen([this] {
    visible_ = false;
    WriteCloseSettings();
  });
}

void WorkbenchWindow::CloseAtExit() {
  dialog_.Drop();
  if (options_ != nullptr) options_->CloseBox();
  std::string name = WorkbenchFileName();
  if (!name.empty() && name != kUntitledHtml && name != kUntitledScript &&
      name != unchanged_file_) {
    try {
      WriteDocument(name);
    } catch (const std::exception& error) {
      ReportError(error.what());
    }
  }
  visible_ = false;
  WriteCloseSettings();
}

void WorkbenchWindow::WriteCloseSettings() {
  xml_.WriteSettingString("LastEditorFile", WorkbenchFileName());
  xml_.WriteSettingString("ServerAddress", server_address_);
  xml_.WriteSettingBoolean("EdMinPan", panel_visible_);
  xml_.WriteSettingBoolean("EdBoriP", browser_ticked_);
}

void WorkbenchWindow::PageControl1Change(int page) {
  if (Modal() || page < kErrorPage || page > kResultPage) return;
  active_page_ = page;
  edit_menus_visible_ = page == kRuntimePage;
}

void WorkbenchWindow::Timer1Timer() { caption_ = kTitlePrefix + WorkbenchFileName(); }

void WorkbenchWindow::dbgswitchTimer() {
  if (!dbgswitch_running_) return;
  int page = active_page_;
  if (page == kRuntimePage) {
    active_page_ = kResultPage;
    dbgswitch_running_ = false;
    if (config_.loop != nullptr) config_.loop->StopTimer(dbgswitch_timer_);
    active_page_ = kRuntimePage;
    return;
  }
  // From the last page there is no next one; the walk goes on once the operator leaves it.
  if (page < kResultPage) active_page_ = page + 1;
}

void WorkbenchWindow::Minipanel() {
  if (Modal()) return;
  panel_visible_ = !panel_visible_;
}

void WorkbenchWindow::Browser() {
  if (Modal()) return;
  browser_ticked_ = !browser_ticked_;
  if (pane_height_ == 1) {
    // A pane the operator dragged down to 1 pixel has no height to go back to but its own.
    pane_height_ = remembered_pane_height_ > 1 ? remembered_pane_height_ : kResultPaneHeight;
  } else {
    remembered_pane_height_ = pane_height_;
    pane_height_ = 1;
  }
}

void WorkbenchWindow::SetResultPaneHeight(int height) {
  // The height is kept as a 16-bit value; the pane is never hidden, only collapsed.
  pane_height_ = std::clamp(height, 1, 32767);
}

bool WorkbenchWindow::RunCommand(std::string_view command) {
  using Command = void (WorkbenchWindow::*)();
  static const std::pair<std::string_view, Command> kCommands[] = {
      {"NewHtml", &WorkbenchWindow::NewHtml},
      {"NewScript", &WorkbenchWindow::NewScript},
      {"Open", &WorkbenchWindow::Open},
      {"Save", &WorkbenchWindow::Save},
      {"SaveAs", &WorkbenchWindow::SaveAs},
      {"Hide", &WorkbenchWindow::Hide},
      {"Run", &WorkbenchWindow::Run},
      {"ServerHostEnter", &WorkbenchWindow::thisserveraddressEnter},
      {"EditorOptions", &WorkbenchWindow::EditorColors1Click},
      {"FormatSource", &WorkbenchWindow::FormatSource},
      {"Minipanel", &WorkbenchWindow::Minipanel},
      {"Browser", &WorkbenchWindow::Browser},
      {"Help", &WorkbenchWindow::Help},
      {"Time", &WorkbenchWindow::Time},
      {"CreateProcedure", &WorkbenchWindow::Procedure1Click},
      {"CreateFunction", &WorkbenchWindow::Function1Click},
      {"FindProcedure", &WorkbenchWindow::Procedure2Click},
  };
  for (const auto& [name, run] : kCommands) {
    if (name != command) continue;
    // A modal window takes no commands, Hide included.
    if (!Modal()) (this->*run)();
    return true;
  }
  return false;
}

void WorkbenchWindow::SetLinkType(int item) {
  if (item == 0 || item == 1) link_type_ = item;
}

}  // namespace qorsv
