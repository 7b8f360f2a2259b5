// The windows that live beside the console: the script workbench, which owns the settings store
// `xml`, and the editor options window. Their models live in workbench/; the console creates
// and drives them through this interface, on its UI thread.
#pragma once

#include <cstdint>

namespace qorsv {

class SettingsStore;
class UiLoop;

class CompanionWindows {
 public:
  virtual ~CompanionWindows() = default;
  // Start-up constructs the workbench, then the editor options window, once each. The workbench's
  // timers run on `loop`; its server host box points at the web server's `listen_port`.
  virtual void CreateWorkbench(UiLoop& loop, uint16_t listen_port) = 0;
  virtual void CreateEditorOptions() = 0;
  // The workbench's settings store, shared with the console. Valid after CreateWorkbench().
  virtual SettingsStore& Settings() = 0;
  // Shows the workbench; its first showing is also its first activation.
  virtual void ShowWorkbench() = 0;
  virtual void HideWorkbench() = 0;
  virtual bool WorkbenchVisible() const = 0;
  // The program's end, after the message loop: the windows are destroyed while the UI loop
  // that runs their timers still exists.
  virtual void DestroyWindows() {}
  // The workbench's close request: saves its settings and hides it.
  virtual void CloseWorkbench() = 0;
};

}  // namespace qorsv
