#include "workbench/editor_options.h"

#include <algorithm>
#include <exception>

#include "workbench/completion_popup.h"

namespace qorsv {

const char* const EditorOptionsWindow::kPreviewText =
    "{ Syntax highlighting }\r\n"
    "procedure greet(name: string);\r\n"
    "var\r\n"
    "  count: Integer;\r\n"
    "begin\r\n"
    "  count := 1 + 2 * 3;\r\n"
    "  echoln('Hello, ' + name + '!');\r\n"
    "end;\r\n";

EditorOptionsWindow::EditorOptionsWindow(std::string program_dir)
    : program_dir_(std::move(program_dir)) {}

void EditorOptionsWindow::ShowModal(std::function<void(bool applied)> on_close) {
  chkapply_ = false;
  on_close_ = std::move(on_close);
  visible_ = true;
  FormActivate();
}

void EditorOptionsWindow::FormActivate() {
  ListBox1Click(0);
  schemes_dir_ = program_dir_ + "config/Schemes/";
  if (!schemes_listed_) ReadSchemeList();
}

void EditorOptionsWindow::ReadSchemeList() {
  try {
    scheme_files_ = ListSchemeFiles(schemes_dir_);
    schemes_listed_ = true;
  } catch (const std::exception& error) {
    scheme_files_.clear();
    dialog_.Message(error.what());
  }
}

void EditorOptionsWindow::ListBox1Click(int row) {
  if (row < 0 || row >= static_cast<int>(kAttributeRows.size())) return;
  selected_row_ = row;
  selected_attribute_ = kAttributeRows[static_cast<size_t>(row)];
  bck_visible_ = true;
  frg_visible_ = true;
  if (row == 0) {
    frg_visible_ = false;
    lbck_colour_ = colours_.editor_background;
    return;
  }
  lbck_colour_ = colours_.Row(row).background;
  lfrg_colour_ = colours_.Row(row).foreground;
}

int32_t& EditorOptionsWindow::SelectedColour(bool background) {
  if (selected_row_ == 0) return colours_.editor_background;
  AttributeColours& attribute = colours_.Row(selected_row_);
  return background ? attribute.background : attribute.foreground;
}

void EditorOptionsWindow::bckClick() {
  if (dialog_.IsOpen()) return;
  DialogRequest request;
  request.kind = DialogKind::kColour;
  request.colour = lbck_colour_;
  dialog_.Open(std::move(request), [this](const DialogAnswer& answer) {
    if (!answer.confirmed) return;
    SelectedColour(true) = answer.colour;
    RefreshSwatches();
  });
}

void EditorOptionsWindow::frgClick() {
  if (dialog_.IsOpen() || selected_row_ == 0) return;
  DialogRequest request;
  request.kind = DialogKind::kColour;
  request.colour = lfrg_colour_;
  dialog_.Open(std::move(request), [this](const DialogAnswer& answer) {
    if (!answer.confirmed) return;
    SelectedColour(false) = answer.colour;
    RefreshSwatches();
  });
}

void EditorOptionsWindow::Button1Click() {
  if (dialog_.IsOpen()) return;
  DialogRequest request;
  request.kind = DialogKind::kSaveFile;
  request.directory = schemes_dir_.empty() ? program_dir_ + "config/Schemes" : schemes_dir_;
  if (request.directory.size() > 1 && request.directory.back() == '/') request.directory.pop_back();
  request.filter = kSchemeFilter;
  request.default_extension = kSchemeExtension;
  request.text = "*.pal";
  std::string start_dir = request.directory;
  dialog_.Open(std::move(request), [this, start_dir](const DialogAnswer& answer) {
    if (!answer.confirmed || answer.text.empty()) return;
    std::string path = answer.text;
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // A pattern is not a file name; the dialog would only have filtered by it.
    if (name.empty() || name.find_first_of("*?") != std::string::npos) return;
    if (slash == std::string::npos) path = start_dir + "/" + path;
    if (name.find('.') == std::string::npos) path += kSchemeExtension;
    scheme_file_ = path;
    hidSaveClick();
    ReadSchemeList();
  });
}

void EditorOptionsWindow::hidSaveClick() { WriteSchemeFile(scheme_file_, colours_); }

void EditorOptionsWindow::hidOpenClick() {
  colours_ = ReadSchemeFile(scheme_file_);
  RefreshSwatches();
}

void EditorOptionsWindow::FileListBox1Click(const std::string& name) {
  if (dialog_.IsOpen()) return;
  if (std::find(scheme_files_.begin(), scheme_files_.end(), name) == scheme_files_.end()) return;
  scheme_file_ = schemes_dir_ + name;
  hidOpenClick();
}

void EditorOptionsWindow::SetDelayPosition(int position) {
  delay_position_ = std::clamp(position, kMinPopupDelayMs, kMaxPopupDelayMs);
  delaycodeChange();
}

void EditorOptionsWindow::delaycodeChange() {
  delay_label_ = std::to_string(delay_position_) + " ms.";
}

void EditorOptionsWindow::SetActivePage(int page) {
  if (page >= 0 && page < static_cast<int>(kPages.size())) active_page_ = page;
}

void EditorOptionsWindow::applyClick() {
  if (!visible_ || dialog_.IsOpen()) return;
  chkapply_ = true;
  Close();
}

void EditorOptionsWindow::Button2Click() {
  if (!visible_ || dialog_.IsOpen()) return;
  chkapply_ = false;
  Close();
}

void EditorOptionsWindow::CloseBox() {
  if (!visible_) return;
  dialog_.Drop();
  Close();
}

void EditorOptionsWindow::Close() {
  visible_ = false;
  std::function<void(bool)> on_close = std::move(on_close_);
  on_close_ = nullptr;
  if (on_close) on_close(chkapply_);
}

}  // namespace qorsv
