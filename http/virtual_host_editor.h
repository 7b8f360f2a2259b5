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

#include "console/host_editor.h"
#include "http/virtual_hosts.h"

namespace qorsv {

class VirtualHostEditor : public HostEditor {
 public:
  explicit VirtualHostEditor(VirtualHostTable& table) : table_(table) {}

  const std::vector<std::string>& HostList() const override { return host_list_; }
  std::optional<size_t> SelectedLine() const override { return selected_line_; }
  void Select(std::optional<size_t> line) override;

  bool EditorVisible() const override { return editor_visible_; }
  const std::string& Hname() const override { return hname_; }
  const std::string& Hrootdir() const override { return hrootdir_; }
  void SetHname(std::string text) override { hname_ = std::move(text); }
  void SetHrootdir(std::string text) override { hrootdir_ = std::move(text); }
  // The number (from 1) of the entry being edited; 0 before the first edit.
  size_t EditedEntry() const { return edited_entry_; }

  void ReadHosts() override { table_.readhostrootdirconfig(); }
  void SaveHosts() override { table_.savehosts(); }
  void ShowHosts() override;
  // What the console does each time it is shown: read the file, then show the list.
  const std::vector<std::string>& ReadAndShowHosts();

  bool Edit() override;
  void Apply() override;
  void Discard() override { editor_visible_ = false; }
  bool New() override;

  // The question asked before deleting the selected entry, or nothing without a selection.
  std::optional<Confirmation> AskDelete() const;
  // The OK answer to AskDelete: the selected entry is left out of the saved file, which is then
  // read back and shown.
  void ConfirmDelete();
  bool RequestDelete() override;
  std::optional<Confirmation> PendingDelete() const override;
  void AnswerDelete(bool ok) override;

  void ChooseRootDirectory(const std::string& chosen_file) override;
  const std::string& ProgramDirectory() const override { return table_.ProgramDirectory(); }

 private:
  // The delete question waiting for its answer, with the entry it names.
  struct PendingQuestion {
    Confirmation question;
    size_t index;
    std::string host_name;
  };
  void DeleteEntry(size_t index);

  VirtualHostTable& table_;
  std::vector<std::string> host_list_;
  std::optional<size_t> selected_line_;
  bool editor_visible_ = false;
  std::string hname_;
  std::string hrootdir_;
  size_t edited_entry_ = 0;
  std::optional<PendingQuestion> pending_delete_;
};

}  // namespace qorsv
