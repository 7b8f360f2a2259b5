// The console's host editor as the console sees it: the host list `Hostrootdir` with its selected
// line, the editor group `hostinfo` with `Hname` and `Hrootdir`, and the operations behind the
// editor's buttons. The HTTP front end implements it over the virtual host table
// (http/virtual_host_editor.h); the console page shows its state and forwards the operator's
// actions to it.
//
// UI thread only.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

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

class HostEditor {
 public:
  virtual ~HostEditor() = default;

  // The host list `Hostrootdir` and its selected line (from 0).
  virtual const std::vector<std::string>& HostList() const = 0;
  virtual std::optional<size_t> SelectedLine() const = 0;
  // Selects a line; a line beyond the list clears the selection.
  virtual void Select(std::optional<size_t> line) = 0;

  // The editor group `hostinfo`.
  virtual bool EditorVisible() const = 0;
  virtual const std::string& Hname() const = 0;
  virtual const std::string& Hrootdir() const = 0;
  virtual void SetHname(std::string text) = 0;
  virtual void SetHrootdir(std::string text) = 0;

  // Buttons readhosts, "savehosts" and showhosts.
  virtual void ReadHosts() = 0;
  virtual void SaveHosts() = 0;
  virtual void ShowHosts() = 0;

  // Double click on a line: loads the selected entry into the editor and shows it. False (and
  // nothing done) without a selected line.
  virtual bool Edit() = 0;
  // SpeedButton1: stores the fields into the edited entry, saves, shows the list, hides the editor.
  virtual void Apply() = 0;
  // SpeedButton2: hides the editor; nothing else changes.
  virtual void Discard() = 0;
  // SpeedButton4: appends a "*" entry and edits it. False when the table is full.
  virtual bool New() = 0;

  // SpeedButton3: asks the delete question about the selected entry; false without a selection.
  // The question stays pending until it is answered, and the answer concerns the entry that was
  // selected when it was asked.
  virtual bool RequestDelete() = 0;
  virtual std::optional<Confirmation> PendingDelete() const = 0;
  // OK deletes the entry asked about (unless the table changed under the question so that the
  // entry is no longer the one named); Cancel only closes the question.
  virtual void AnswerDelete(bool ok) = 0;

  // Button4's file, chosen in the root-directory dialog: its directory with a trailing "/", with
  // the program directory written as "($root)", becomes the text of Hrootdir.
  virtual void ChooseRootDirectory(const std::string& chosen_file) = 0;
  // The directory the root-directory dialog starts in.
  virtual const std::string& ProgramDirectory() const = 0;
};

}  // namespace qorsv
