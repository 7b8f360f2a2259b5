// The editor options window `Teditopt` ("Editor options") as model state: the syntax colours of
// the workbench editor, colour schemes saved to and loaded from "*.pal" files in
// config/Schemes/, and the switches and common delay of the completion and parameter-hint
// pop-ups.
//
// The window keeps a colour set of its own, shown in its preview editor; only Apply hands that
// set and the switches to the workbench (workbench/workbench_window.h, EditorColors1Click),
// which writes them to the settings. The window is created once at start-up, after the
// workbench, and keeps its state between openings. It is modal while open; its colour and save
// dialogs are requests in its own DialogSlot (workbench/dialog_requests.h).
//
// UI thread only.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "workbench/dialog_requests.h"
#include "workbench/editor_colors.h"

namespace qorsv {

class EditorOptionsWindow {
 public:
  static constexpr char kTitle[] = "Editor options";
  // The pages of `edittab`.
  static constexpr std::array<const char*, 2> kPages = {"Colors", "Code Insight"};
  // The delay track bar `delaycode` has a mark every 100 ms.
  static constexpr int kDelayMarkStep = 100;
  static constexpr char kSchemeFilter[] = "Scheme files|*.pal";
  static constexpr char kSchemeExtension[] = ".pal";
  // The preview editor's text.
  static const char* const kPreviewText;

  // `program_dir` with a trailing "/"; the schemes live in program_dir + "config/Schemes/".
  explicit EditorOptionsWindow(std::string program_dir = {});

  // Opens the window modally: `chkapply` is cleared, the window shown and activated.
  // `on_close` runs when it closes, with true when Apply closed it.
  void ShowModal(std::function<void(bool applied)> on_close);
  bool Visible() const { return visible_; }

  // Every opening: row 0 selected as by a click; the scheme list read at the first opening
  // (a missing folder is reported in a message box and lists nothing).
  void FormActivate();
  // An attribute row clicked (0 to 6); other rows are ignored.
  void ListBox1Click(int row);
  // "Background" or its swatch: the colour dialog for the selected row's background.
  void bckClick();
  // "Foreground" or its swatch: the same for the foreground; nothing for "Whitespace".
  void frgClick();
  // "Save as..": the save dialog for a scheme file.
  void Button1Click();
  // Writes the window's set to SchemeFile (a failure is not reported).
  void hidSaveClick();
  // Reads SchemeFile into the window's set and refreshes the swatches.
  void hidOpenClick();
  // A listed scheme file clicked, by name: it is loaded. Names not in the list are ignored.
  void FileListBox1Click(const std::string& name);
  // "Apply": sets chkapply and closes; "Cancel": clears it and closes; the close box closes.
  void applyClick();
  void Button2Click();
  void CloseBox();

  // "qOr completion wizard", "Code parameters" and the delay track bar `delaycode` (its
  // position kept within 100 to 3000; the label follows, delaycodeChange).
  void SetCompletionWizard(bool ticked) { completion_wizard_ = ticked; }
  void SetCodeParameters(bool ticked) { code_parameters_ = ticked; }
  void SetDelayPosition(int position);
  void SetActivePage(int page);

  // The window's colour set; its editor background is the preview editor's background.
  const EditorColourSet& Colours() const { return colours_; }
  int SelectedRow() const { return selected_row_; }
  // `SelectedAttribute`: the selected row's text.
  const std::string& SelectedAttribute() const { return selected_attribute_; }
  bool BackgroundButtonVisible() const { return bck_visible_; }
  bool ForegroundButtonVisible() const { return frg_visible_; }
  // The swatches `lbck` and `lfrg`; the foreground swatch shows only with its button.
  int32_t BackgroundSwatch() const { return lbck_colour_; }
  int32_t ForegroundSwatch() const { return lfrg_colour_; }
  const std::string& SchemesDir() const { return schemes_dir_; }
  // `FileListBox1`: the "*.pal" files of SchemesDir, sorted.
  const std::vector<std::string>& SchemeFiles() const { return scheme_files_; }
  const std::string& SchemeFile() const { return scheme_file_; }
  bool CompletionWizard() const { return completion_wizard_; }
  bool CodeParameters() const { return code_parameters_; }
  int DelayPosition() const { return delay_position_; }
  // `lbldelaycode`: "1500 ms.".
  const std::string& DelayLabel() const { return delay_label_; }
  bool chkapply() const { return chkapply_; }
  int ActivePage() const { return active_page_; }

  // The pending colour, save or message dialog, and its answer.
  DialogSlot& Dialog() { return dialog_; }
  const DialogSlot& Dialog() const { return dialog_; }
  bool AnswerDialog(uint64_t id, const DialogAnswer& answer) { return dialog_.Answer(id, answer); }

 private:
  void delaycodeChange();
  void Close();
  void ReadSchemeList();
  void RefreshSwatches() { ListBox1Click(selected_row_); }
  // The colour the dialog for the selected row starts with, and where its answer goes.
  int32_t& SelectedColour(bool background);

  std::string program_dir_;
  bool visible_ = false;
  bool chkapply_ = false;
  std::function<void(bool)> on_close_;
  EditorColourSet colours_ = OptionsWindowInitialColours();
  int selected_row_ = 0;
  std::string selected_attribute_ = kAttributeRows[0];
  bool bck_visible_ = true;
  bool frg_visible_ = true;
  int32_t lbck_colour_ = kColourBlack;
  int32_t lfrg_colour_ = kColourBlack;
  std::string schemes_dir_;
  std::vector<std::string> scheme_files_;
  bool schemes_listed_ = false;
  std::string scheme_file_;
  bool completion_wizard_ = true;
  bool code_parameters_ = true;
  int delay_position_ = 1500;
  std::string delay_label_ = "1500 ms.";
  int active_page_ = 0;
  DialogSlot dialog_;
};

}  // namespace qorsv
