// The workbench window's menus, editor context menu and toolbar as data, so that the page draws
// them and maps their shortcuts from one table: captions, shortcuts, hints and the command each
// one gives (WorkbenchWindow::RunCommand).
//
// Menu shortcuts take precedence over the editor's own key bindings (Ctrl+X hides the window,
// Ctrl+F1 toggles the panel); while the editor has the focus, the shortcuts of its context menu
// come first. Commands whose name starts with "editor." are carried out by the page's editor
// itself (undo, clipboard, selection); an empty command does nothing. The Edit and Code menus
// show only while WorkbenchWindow::EditMenuVisible() is true; Tools > Format source is always
// disabled.
//
// Constant data; callable from any thread.
#pragma once

#include <vector>

namespace qorsv {

struct WorkbenchMenuItem {
  const char* menu;     // "File", "Edit", "Code", "Project", "Options", "Tools", "View", "Help",
                        // or "Editor" for the editor's context menu
  const char* caption;  // submenus separated by " > "
  const char* shortcut;
  const char* command;
};

struct WorkbenchToolButton {
  const char* caption;
  const char* hint;
  const char* command;
};

const std::vector<WorkbenchMenuItem>& WorkbenchMenu();
// Left to right.
const std::vector<WorkbenchToolButton>& WorkbenchToolbar();

}  // namespace qorsv
