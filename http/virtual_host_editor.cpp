#include "http/virtual_host_editor.h"

namespace qorsv {

void VirtualHostEditor::Select(std::optional<size_t> line) {
  selected_line_ = (line && *line < host_list_.size()) ? line : std::nullopt;
}

void VirtualHostEditor::ShowHosts() {
  host_list_ = table_.showhosts();
  selected_line_.reset();  // refilling the list clears its selection
}

const std::vector<std::string>& VirtualHostEditor::ReadAndShowHosts() {
  ReadHosts();
  ShowHosts();
  return host_list_;
}

bool VirtualHostEditor::Edit() {
  if (!selected_line_) return false;
  auto entries = table_.Entries();
  size_t number = *selected_line_ + 1;
  if (number > entries->size()) return false;
  hname_ = (*entries)[number - 1].HostName;
  hrootdir_ = (*entries)[number - 1].RootDir;
  edited_entry_ = number;
  editor_visible_ = true;
  return true;
}

void VirtualHostEditor::Apply() {
  size_t number = edited_entry_;
  // The table may have been read again since the edit began; an entry that is gone stays gone.
  table_.Update([&](HostEntries& entries) {
    if (number >= 1 && number <= entries.size()) {
      entries[number - 1].HostName = hname_;
      entries[number - 1].RootDir = hrootdir_;
    }
  });
  table_.savehosts();
  ShowHosts();
  editor_visible_ = false;
}

bool VirtualHostEditor::New() {
  bool added = false;
  table_.Update([&](HostEntries& entries) {
    if (entries.size() >= VirtualHostTable::kMaxEntries) return;
    entries.push_back(Thostrootdirs{"*", "select root directory", 1});
    added = true;
  });
  if (!added) return false;
  ShowHosts();
  Select(host_list_.size() - 1);
  return Edit();
}

std::optional<Confirmation> VirtualHostEditor::AskDelete() const {
  if (!selected_line_) return std::nullopt;
  auto entries = table_.Entries();
  if (*selected_line_ >= entries->size()) return std::nullopt;
  const std::string& name = (*entries)[*selected_line_].HostName;
  return Confirmation{"??", "Are you sure you want to delete the host  [" + name + "] ?"};
}

void VirtualHostEditor::ConfirmDelete() {
  if (selected_line_) DeleteEntry(*selected_line_);
}

void VirtualHostEditor::DeleteEntry(size_t index) {
  table_.Update([&](HostEntries& entries) {
    if (index < entries.size()) entries[index].Valid = 0;
  });
  table_.savehosts();
  table_.readhostrootdirconfig();
  ShowHosts();
}

bool VirtualHostEditor::RequestDelete() {
  std::optional<Confirmation> question = AskDelete();
  if (!question) return false;
  auto entries = table_.Entries();
  pending_delete_ =
      PendingQuestion{*question, *selected_line_, (*entries)[*selected_line_].HostName};
  return true;
}

std::optional<Confirmation> VirtualHostEditor::PendingDelete() const {
  if (!pending_delete_) return std::nullopt;
  return pending_delete_->question;
}

void VirtualHostEditor::AnswerDelete(bool ok) {
  if (!pending_delete_) return;
  PendingQuestion asked = std::move(*pending_delete_);
  pending_delete_.reset();
  if (!ok) return;
  // Another console page may have re-read or edited the table while the question was open: the
  // entry deleted is the one the operator was asked about, or none.
  auto entries = table_.Entries();
  if (asked.index >= entries->size() || (*entries)[asked.index].HostName != asked.host_name) {
    return;
  }
  DeleteEntry(asked.index);
}

void VirtualHostEditor::ChooseRootDirectory(const std::string& chosen_file) {
  size_t slash = chosen_file.find_last_of('/');
  std::string directory = slash == std::string::npos ? "" : chosen_file.substr(0, slash + 1);
  const std::string& program_dir = table_.ProgramDirectory();
  size_t at = program_dir.empty() ? std::string::npos : directory.find(program_dir);
  if (at != std::string::npos) directory.replace(at, program_dir.size(), "($root)");
  hrootdir_ = directory;
}

}  // namespace qorsv
