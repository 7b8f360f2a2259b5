// The console's host editor: the host list `Hostrootdir` with its selected line, and the editor
// group `hostinfo` with the fields `Hname` and `Hrootdir`, over the virtual host table. The
// console page shows this state and forwards the operator's actions to the operations here.
//
// Used on the console's thread only. Each operation publishes its change to the table whole, so
// lookups on connection threads never see half an edit.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "http/virtual_hosts.h"

namespace qorsv {

// A question the operator answers with OK or Cancel.
struct Confirmation {
  std::string title;
  std::string text;
};

// The file dialog of "choose root directory".
struct RootDirectoryDialog {
  static constexpr const char* kFilter = "Html files|*.html|All Files|*.*";
  static constexpr const char* kFileName = "index.html";
  static constexpr bool kFileMustExist = true;
};

class VirtualHostEditor {
 public:
  explicit VirtualHostEditor(VirtualHostTable& table) : table_(table) {}

  // The host list `Hostrootdir` and its selected line (from 0).
  const std::vector<std::string>& HostList() const { return host_list_; }
  std::optional<size_t> SelectedLine() const { return selected_line_; }
  // Selects a line; a line beyond the list clears the selection.
  void Select(std::optional<size_t> line);

  // The editor group `hostinfo`.
  bool EditorVisible() const { return editor_visible_; }
  const std::string& Hname() const { return hname_; }
  const std::string& Hrootdir() const { return hrootdir_; }
  void SetHname(std::string text) { hname_ = std::move(text); }
  void SetHrootdir(std::string text) { hrootdir_ = std::move(text); }
  // The number (from 1) of the entry being edited; 0 before the first edit.
  size_t EditedEntry() const { return edited_entry_; }

  // Buttons readhosts, "savehosts" and showhosts.
  void ReadHosts() { table_.readhostrootdirconfig(); }
  void SaveHosts() { table_.savehosts(); }
  void ShowHosts();
  // What the console does each time it is shown: read the file, then show the list.
  const std::vector<std::string>& ReadAndShowHosts();

  // Double click on a line: loads the selected entry into the editor and shows it. Returns false
  // (and does nothing) without a selected line.
  bool Edit();
  // Stores the editor's fields into the edited entry, saves, shows the list, hides the editor.
  void Apply();
  // Hides the editor; nothing else changes.
  void Discard() { editor_visible_ = false; }
  // Appends a "*" entry rooted at "select root directory" (in memory only), selects it and opens
  // the editor on it. Returns false when the table is full.
  bool New();
  // The question asked before deleting the selected entry, or nothing without a selection.
  std::optional<Confirmation> AskDelete() const;
  // The OK answer to AskDelete: the selected entry is left out of the saved file, which is then
  // read back and shown.
  void ConfirmDelete();
  // "Choose root directory": the chosen file's directory with a trailing "/", with the program
  // directory written as "($root)", becomes the text of Hrootdir.
  void ChooseRootDirectory(const std::string& chosen_file);

 private:
  VirtualHostTable& table_;
  std::vector<std::string> host_list_;
  std::optional<size_t> selected_line_;
  bool editor_visible_ = false;
  std::string hname_;
  std::string hrootdir_;
  size_t edited_entry_ = 0;
};

}  // namespace qorsv
