#include "workbench/workbench_windows.h"

namespace qorsv {

void WorkbenchWindows::CreateWorkbench() {
  workbench_ = std::make_unique<WorkbenchWindow>(program_dir_);
}

void WorkbenchWindows::CreateEditorOptions() {
  editor_options_ = std::make_unique<EditorOptionsWindow>();
}

}  // namespace qorsv
