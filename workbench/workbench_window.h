// The script workbench window `TForm1` as model state: what start-up and shut-down need of it.
// It owns the settings store `xml` shared with the console, sets WorkbenchFileName, reads its
// settings at its first activation and writes them at its close request.
//
// UI thread only.
#pragma once

#include <memory>
#include <string>

#include "console/settings_store.h"
#include "workbench/debugger_views.h"

namespace qorsv {

class WorkbenchWindow {
 public:
  // FormCreate: WorkbenchFileName := program_dir + "webpage/default/index.html".
  explicit WorkbenchWindow(std::string program_dir);

  // Shows the window; showing it activates it.
  void Show();
  void Hide() { visible_ = false; }
  bool Visible() const { return visible_; }
  // The first activation chooses the settings file and reads the window's settings; later
  // activations do nothing.
  void FormActivate();
  // The close request: the window is hidden, never destroyed, and its settings are written.
  void FormCloseQuery();

  SettingsStore& xml() { return xml_; }
  // The server host box `thisserveraddress`.
  const std::string& ServerAddress() const { return server_address_; }
  // View > Minipanel: the left panel's visibility.
  bool PanelVisible() const { return panel_visible_; }
  // View > Browser: the result pane's tick.
  bool BrowserTicked() const { return browser_ticked_; }
  const std::string& ProgramDirectory() const { return program_dir_; }
  // The listing, messages and status bar that every script compilation replaces.
  DebuggerViews& debugger_views() { return *debugger_views_; }

  static constexpr char kDefaultServerAddress[] = "http://127.0.0.1";

 private:
  std::string program_dir_;
  SettingsStore xml_;
  bool visible_ = false;
  bool first_activation_ = true;
  std::string server_address_ = kDefaultServerAddress;
  bool panel_visible_ = true;
  bool browser_ticked_ = true;
  std::unique_ptr<DebuggerViews> debugger_views_;
};

}  // namespace qorsv
