// The workbench and editor options models as the console sees them (console/companion_windows.h):
// created in order at start-up, shown, toggled by the console's "Debugger" button and closed by
// its close request.
//
// UI thread only.
#pragma once

#include <memory>
#include <string>

#include "console/companion_windows.h"
#include "workbench/editor_options.h"
#include "workbench/workbench_window.h"

namespace qorsv {

class WorkbenchWindows : public CompanionWindows {
 public:
  explicit WorkbenchWindows(std::string program_dir) : program_dir_(std::move(program_dir)) {}

  void CreateWorkbench(UiLoop& loop, uint16_t listen_port) override;
  void CreateEditorOptions() override;
  SettingsStore& Settings() override { return workbench_->xml(); }
  void ShowWorkbench() override { workbench_->Show(); }
  void HideWorkbench() override { workbench_->Hide(); }
  bool WorkbenchVisible() const override { return workbench_->Visible(); }
  // At program end nobody answers a dialog any more (WorkbenchWindow::CloseAtExit).
  void CloseWorkbench() override { workbench_->CloseAtExit(); }
  void DestroyWindows() override {
    editor_options_.reset();
    workbench_.reset();
  }

  // Valid after the Create calls.
  WorkbenchWindow& Workbench() { return *workbench_; }
  EditorOptionsWindow& EditorOptions() { return *editor_options_; }

 private:
  std::string program_dir_;
  std::unique_ptr<WorkbenchWindow> workbench_;
  std::unique_ptr<EditorOptionsWindow> editor_options_;
};

}  // namespace qorsv
