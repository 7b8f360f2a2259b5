#include "workbench/workbench_windows.h"

namespace qorsv {

void WorkbenchWindows::CreateWorkbench(UiLoop& loop, uint16_t listen_port) {
  WorkbenchConfig config;
  config.program_dir = program_dir_;
  config.loop = &loop;
  config.listen_port = listen_port;
  workbench_ = std::make_unique<WorkbenchWindow>(std::move(config));
}

void WorkbenchWindows::CreateEditorOptions() {
  editor_options_ = std::make_unique<EditorOptionsWindow>(program_dir_);
  if (workbench_) workbench_->AttachEditorOptions(editor_options_.get());
}

}  // namespace qorsv
