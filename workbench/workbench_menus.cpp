#include "workbench/workbench_menus.h"

namespace qorsv {

const std::vector<WorkbenchMenuItem>& WorkbenchMenu() {
  static const std::vector<WorkbenchMenuItem> kMenu = {
      {"File", "New > Html file", "", "NewHtml"},
      {"File", "New > qor script", "", "NewScript"},
      {"File", "Open", "Ctrl+O", "Open"},
      {"File", "Save", "Ctrl+S", "Save"},
      {"File", "Save as ...", "Ctrl+D", "SaveAs"},
      {"File", "Hide", "Ctrl+X", "Hide"},
      {"Edit", "Undo", "Ctrl+Z", "editor.undo"},
      {"Edit", "Redo", "Shift+Ins", "editor.redo"},
      {"Edit", "Cut", "Shift+Del", ""},
      {"Edit", "Copy", "Ctrl+C", "editor.copy"},
      {"Edit", "Paste", "Ctrl+V", "editor.paste"},
      {"Edit", "Delete", "", "editor.delete"},
      {"Edit", "Select all", "Ctrl+A", "editor.selectAll"},
      {"Code", "Create > Procedure", "Shift+Ctrl+F1", "CreateProcedure"},
      {"Code", "Create > Function", "Shift+Ctrl+F2", "CreateFunction"},
      {"Code", "Find > Procedure/Function", "Ctrl+P", "FindProcedure"},
      {"Project", "Run", "F9", "Run"},
      {"Options", "Editor options ...", "Ctrl+Alt+O", "EditorOptions"},
      {"Tools", "Format source (beta)", "", "FormatSource"},
      {"View", "Minipanel", "Ctrl+F1", "Minipanel"},
      {"View", "Browser", "Ctrl+F2", "Browser"},
      {"Help", "", "", "Help"},
      {"Editor", "Cut", "Shift+Del", "editor.cut"},
      {"Editor", "Copy", "", "editor.copy"},
      {"Editor", "Paste", "", "editor.paste"},
      {"Editor", "Delete", "", "editor.delete"},
      {"Editor", "Select All", "", "editor.selectAll"},
      {"Editor", "Time", "", "Time"},
  };
  return kMenu;
}

const std::vector<WorkbenchToolButton>& WorkbenchToolbar() {
  static const std::vector<WorkbenchToolButton> kToolbar = {
      {"New qor", "New qOr file", "NewScript"},
      {"New html", "New HTML file", "NewHtml"},
      {"Open file", "", "Open"},
      {"Save file", "", "Save"},
      {"Run", "Run (F9)", "Run"},
      {"Options", "", "EditorOptions"},
      {"Hide", "", "Hide"},
  };
  return kToolbar;
}

}  // namespace qorsv
