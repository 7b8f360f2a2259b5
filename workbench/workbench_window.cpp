#include "workbench/workbench_window.h"

#include <sys/stat.h>

#include "console/workbench_link.h"

namespace qorsv {
namespace {

bool FileExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

WorkbenchWindow::WorkbenchWindow(std::string program_dir) : program_dir_(std::move(program_dir)) {
  SetWorkbenchFileName(program_dir_ + "webpage/default/index.html");
  debugger_views_ = std::make_unique<DebuggerViews>([this] { Show(); });
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
  if (FileExists(last_file)) SetWorkbenchFileName(last_file);
  server_address_ = xml_.ReadSettingString("ServerAddress", server_address_);
  panel_visible_ = xml_.ReadSettingBoolean("EdMinPan", true);
  // Without a stored state the pane follows the embedded browser's own visibility: shown.
  browser_ticked_ = xml_.ReadSettingBoolean("EdBoriP", true);
}

void WorkbenchWindow::FormCloseQuery() {
  visible_ = false;
  xml_.WriteSettingString("LastEditorFile", WorkbenchFileName());
  xml_.WriteSettingString("ServerAddress", server_address_);
  xml_.WriteSettingBoolean("EdMinPan", panel_visible_);
  xml_.WriteSettingBoolean("EdBoriP", browser_ticked_);
}

}  // namespace qorsv
