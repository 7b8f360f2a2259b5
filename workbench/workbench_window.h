// The script workbench window `TForm1` as model state: its document and the commands on it (New,
// Open, Save, Save As, Run, Help, Time), its pages and menus, the left panel and the result
// pane, the code assistance of its editor, its timers, its settings, and the debugger views
// that every script compilation replaces.
//
// A web page renders this state and forwards the operator's actions; every rule lives here.
// - Dialogs: a command that needs the operator (a file dialog, an input line, a message box)
//   opens a request in Dialog() and returns; the window is modal until AnswerDialog delivers
//   the answer, which runs the rest of the command. Commands given while the window is modal
//   do nothing.
// - Editor: the document is a plain text model (Editor(), workbench/editor_text.h). The page
//   reports the operator's typing (qorpadChange or ApplyEditorEdit) and caret moves (SetCaret)
//   before a command that reads them; edits the commands make are read back with
//   Editor().EditsSince(revision). Commands use the caret as last set.
// - Browsers: the result pane `browserqor` and the page `webbrowser` are EmbeddedBrowsers;
//   help pages are named by their path on the operator server (workbench/context_help.h).
//
// The window owns the settings store `xml` shared with the console. WorkbenchFileName
// (console/workbench_link.h) is the document's path; the window writes it, the dispatcher reads
// it on connection threads.
//
// UI thread only. With a UiLoop in the configuration, the timers `Timer1` (the title) and
// `dbgswitch` (the page walk at start) run on it; without one, tests call their ticks.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console/settings_store.h"
#include "console/ui_loop.h"
#include "workbench/code_analysis.h"
#include "workbench/code_skeletons.h"
#include "workbench/code_templates.h"
#include "workbench/colour_values.h"
#include "workbench/debugger_views.h"
#include "workbench/dialog_requests.h"
#include "workbench/editor_colors.h"
#include "workbench/editor_text.h"
#include "workbench/embedded_browser.h"

namespace qorsv {

class EditorOptionsWindow;

struct WorkbenchConfig {
  // With a trailing "/".
  std::string program_dir;
  // The loop that runs the window's timers; none in tests that tick by hand.
  UiLoop* loop = nullptr;
  // The port the web server listens on: the server host box's default points at it.
  uint16_t listen_port = 80;
  // The clock of the Time message; the system clock when empty.
  std::function<std::time_t()> wall_clock;
  // Receives errors the window reports without a command to stop (the template file at
  // creation); the loop's error sink, or operator messages without a loop, when empty.
  std::function<void(const std::string&)> report_error;
};

// What the parameter-hint pop-up `scpParams` shows.
struct ParameterHintState {
  bool open = false;
  // The pop-up's list: the one parameter text of the routine found.
  std::vector<std::string> list;
  // That text split into items; the item at `argument` is shown in bold.
  std::vector<std::string> items;
  int argument = 0;
  // The items joined with ", ".
  std::string text;
};

class WorkbenchWindow {
 public:
  enum Page : int { kErrorPage = 0, kMessagesPage = 1, kRuntimePage = 2, kResultPage = 3 };
  static constexpr std::array<const char*, 4> kPageCaptions = {
      "qOr script error", "Messages", "Runtime Scripting", "Webpage result"};
  static constexpr std::array<const char*, 2> kLinkTypes = {"Html Embembed",
                                                            "Included static script"};
  static constexpr char kTitlePrefix[] = "..::Torvane!:.. debugger - ";
  static constexpr char kUntitledHtml[] = "Untitled.html";
  static constexpr char kUntitledScript[] = "Untitled.qor";
  static constexpr char kRunDocument[] = "/-qorcompilerscript.qor";
  static constexpr char kSaveBeforeRunning[] = "You have to save your file before running !";
  static constexpr char kFindTitle[] = "Find Procedure/Function";
  static constexpr char kFindPrompt[] = "Enter procedure/function name (in current file only";
  static constexpr char kNotFound[] = "Could not found ";
  static constexpr char kInitialListprocHint[] = "ugha";
  // The look of the editor and the listing that the settings do not change.
  static constexpr int32_t kListingForeground = RgbColour(192, 220, 192);  // light green
  static constexpr int32_t kGutterColour = RgbColour(72, 72, 72);
  static constexpr int32_t kRightMarginColour = RgbColour(0, 128, 0);
  static constexpr int kRightMarginColumn = 120;
  static constexpr int kExtraLineSpacing = 2;
  static constexpr int kPanelWidth = 153;
  static constexpr int kResultPaneHeight = 182;
  static constexpr uint64_t kTimer1PeriodMs = 5000;
  static constexpr uint64_t kDbgswitchPeriodMs = 100;
  // The editor's text at creation.
  static const std::vector<std::string>& InitialEditorLines();

  // FormCreate: WorkbenchFileName := program_dir + "webpage/default/index.html", the templates
  // read from config/qor.dci (a failure is reported and creation goes on), page 0 active, and
  // the timers started.
  explicit WorkbenchWindow(std::string program_dir);
  explicit WorkbenchWindow(WorkbenchConfig config);
  WorkbenchWindow(const WorkbenchWindow&) = delete;
  WorkbenchWindow& operator=(const WorkbenchWindow&) = delete;
  ~WorkbenchWindow();

  // The editor options window that Options opens and the first activation reads into.
  void AttachEditorOptions(EditorOptionsWindow* options) { options_ = options; }

  // ---- The window ----
  // Shows the window; showing it activates it.
  void Show();
  // File > Hide, toolbar "Hide", the console's "Debugger": hides; nothing is saved.
  void Hide() { visible_ = false; }
  bool Visible() const { return visible_; }
  // The first activation chooses the settings file and reads the window's settings; later
  // activations do nothing.
  void FormActivate();
  // The close box: Save (an untitled document asks for a name first), then the window is
  // hidden, never destroyed, and LastEditorFile, ServerAddress, EdMinPan and EdBoriP are
  // written, also when the Save As dialog was cancelled.
  void FormCloseQuery();
  // The console's close request at program end: the same, but nobody is left to answer a
  // dialog: a pending one is dropped, an untitled document is not saved, and a failing save is
  // reported without stopping the settings from being written. A document unchanged since it
  // was loaded or saved is not written again: the file may have been changed by another program
  // since, and writing the workbench's older copy back would undo that.
  void CloseAtExit();
  // The window title: "..." until Timer1 first ticks.
  const std::string& Caption() const { return caption_; }
  // True while a dialog or the editor options window is open.
  bool Modal() const;

  // ---- Pages and menus ----
  int ActivePage() const { return active_page_; }
  // The operator selected a page: the Edit and Code menus are visible only on page 2.
  void PageControl1Change(int page);
  bool EditMenuVisible() const { return edit_menus_visible_; }
  bool CodeMenuVisible() const { return edit_menus_visible_; }
  // View > Minipanel and View > Browser ticks; Tools > Format source is always disabled.
  bool MinipanelTicked() const { return panel_visible_; }
  bool BrowserTicked() const { return browser_ticked_; }
  static constexpr bool FormatSourceEnabled() { return false; }

  // ---- Documents and run ----
  // File > New > Html file / qor script: the template from scripts/templates/.
  void NewHtml();
  void NewScript();
  // File > Open: the open dialog in scripts/; the file loaded, its backup copy written.
  void Open();
  // File > Save: Save As for an untitled document, else the file written.
  void Save();
  // File > Save as ...: the save dialog in scripts/.
  void SaveAs();
  // Project > Run (F9, "Run", the panel's run button): Save, then the run URL in the result
  // pane (View > Browser ticked) or in `webbrowser` on page 3.
  void Run();
  // Enter in the server host box: Run, then page 3 in either case.
  void thisserveraddressEnter();
  // Help: help/html/index.html in `webbrowser`, page 3.
  void Help();
  // The editor menu's Time: a message box with the time.
  void Time();
  // View > Minipanel (Ctrl+F1): the left panel shown or hidden.
  void Minipanel();
  // View > Browser (Ctrl+F2): the result pane collapsed to 1 pixel or restored.
  void Browser();
  // Tools > Format source: disabled, so nothing happens.
  void FormatSource() {}
  // Options > Editor options ...: the editor options window, modal; Apply hands over its
  // colours and switches and writes them to the settings.
  void EditorColors1Click();

  // A file dropped onto the editor, given by its name and contents (a page knows no path of
  // it on the server): a new untitled document holding its text, with the line-break style
  // found in it, on page 2. Save then asks where to write it, offering the dropped name.
  void OpenDropped(const std::string& name, std::string_view bytes);
  // The name the Save As dialog offers: the dropped file's, else empty.
  const std::string& SuggestedFileName() const { return suggested_name_; }

  bool DocumentSaved() const { return document_saved_; }
  // The run URL: the server host box's text + "/-qorcompilerscript.qor".
  std::string RunUrl() const;

  // ---- Left panel and result pane ----
  // The server host box `thisserveraddress`.
  const std::string& ServerAddress() const { return server_address_; }
  void SetServerAddress(std::string text) { server_address_ = std::move(text); }
  // `link_type`: 0 "Html Embembed", 1 "Included static script".
  int LinkType() const { return link_type_; }
  void SetLinkType(int item);
  bool PanelVisible() const { return panel_visible_; }
  int ResultPaneHeight() const { return pane_height_; }
  int RememberedPaneHeight() const { return remembered_pane_height_; }
  // The operator dragged the splitter above the pane.
  void SetResultPaneHeight(int height);
  EmbeddedBrowser& browserqor() { return browserqor_; }
  EmbeddedBrowser& webbrowser() { return webbrowser_; }
  const EmbeddedBrowser& browserqor() const { return browserqor_; }
  const EmbeddedBrowser& webbrowser() const { return webbrowser_; }

  // ---- The editor `qorpad` ----
  const EditorText& Editor() const { return editor_; }
  // The operator changed the text: the page's whole text, or one edit. DocumentSaved := false.
  void qorpadChange(std::string_view text);
  void ApplyEditorEdit(const TextEdit& edit);
  void SetCaret(Caret caret) { editor_.SetCaret(caret); }
  // The line a jump brings to the top of the editor, and a count of the times the editor was
  // given the focus; the page scrolls and focuses when they change.
  int EditorTopLine() const { return editor_top_line_; }
  uint64_t EditorFocusRequests() const { return editor_focus_requests_; }
  // The text the window last placed on the clipboard (Create Procedure / Function).
  const std::string& Clipboard() const { return clipboard_; }

  // ---- Code assistance ----
  const CodeAnalysis& Analysis() const { return analysis_; }
  // `analyzecodeClick`: the document and scripts/functions.txt analysed again.
  void analyzecodeClick();
  // A click on procedure list entry `entry` (0-based): the caret jumps to its line, which comes
  // into view at the top; the editor takes the focus.
  void listprocClick(int entry);
  // The pointer over the list: `index` is the entry under it, or the entry count below the last.
  void listprocMouseMove(int index);
  const std::string& ListprocHint() const { return listproc_hint_; }
  // The entry selected in the list (by Find), or -1.
  int ListprocSelected() const { return listproc_selected_; }
  // The completion pop-up opens for `word`: the window title becomes the word.
  void syncompletExecute(const std::string& word);
  // The parameter-hint pop-up asks whether to open, at the caret; the answer and what it shows
  // are in ParameterHint().
  bool scpParamsExecute();
  const ParameterHintState& ParameterHint() const { return parameter_hint_; }
  // Context help: a key press with Ctrl held shows the help pointer, any other key press and
  // every release the text pointer. A click with the help pointer at `caret` opens the word's
  // help page, when there is one.
  void qorpadKeyDown(bool ctrl_held) { help_pointer_ = ctrl_held; }
  void qorpadKeyUp() { help_pointer_ = false; }
  void qorpadClick(Caret caret);
  bool HelpPointer() const { return help_pointer_; }
  // Ctrl+J: the template for the word left of the caret expanded; false when none applies.
  bool ExpandTemplate();
  const std::vector<CodeTemplate>& Templates() const { return templates_; }
  // Code > Create > Procedure (Shift+Ctrl+F1) and Function (Shift+Ctrl+F2): asks for the name.
  void Procedure1Click();
  void Function1Click();
  // Code > Find > Procedure/Function (Ctrl+P): asks for the name.
  void Procedure2Click();
  // The pop-ups attached to the editor (settings SyntaxComplet, ScpParams) and their delay.
  bool CompletionAttached() const { return completion_attached_; }
  bool ParamsAttached() const { return params_attached_; }
  int PopupDelayMs() const { return popup_delay_ms_; }

  // ---- Colours ----
  // The workbench highlighter's colours and the editor's background.
  const EditorColourSet& Colours() const { return colours_; }
  // The listing `dbgmem` has the editor's background.
  int32_t ListingBackground() const { return listing_background_; }

  // ---- Dialogs ----
  const DialogSlot& Dialog() const { return dialog_; }
  bool AnswerDialog(uint64_t id, const DialogAnswer& answer) { return dialog_.Answer(id, answer); }

  // ---- Commands by name ----
  // Runs the command of a menu item or tool button (workbench/workbench_menus.h): "NewHtml",
  // "NewScript", "Open", "Save", "SaveAs", "Hide", "Run", "EditorOptions", "FormatSource",
  // "Minipanel", "Browser", "Help", "Time", "CreateProcedure", "CreateFunction",
  // "FindProcedure", and "ServerHostEnter" (Enter in the server host box). False for any other
  // name.
  bool RunCommand(std::string_view command);

  // ---- Timers ----
  // Timer1, every 5000 ms: the title := "..::Torvane!:.. debugger - " + WorkbenchFileName.
  void Timer1Timer();
  // dbgswitch, every 100 ms: the next page, until it rests on page 2 and stops.
  void dbgswitchTimer();
  bool DbgswitchRunning() const { return dbgswitch_running_; }

  SettingsStore& xml() { return xml_; }
  const std::string& ProgramDirectory() const { return program_dir_; }
  // The listing, messages and status bar that every script compilation replaces.
  DebuggerViews& debugger_views() { return *debugger_views_; }

  // "http://127.0.0.1", with ":" and the port when the port is not 80.
  static std::string DefaultServerAddress(uint16_t listen_port);

 private:
  // The steps shared by the commands.
  void NewDocument(const std::string& template_name, const char* untitled, int link_type);
  void OpenChosen(const std::string& path);
  // Save, then `next` (also after a cancelled Save As).
  void SaveThen(std::function<void()> next);
  void SaveAsThen(std::function<void()> next);
  void WriteDocument(const std::string& path);
  void RunSteps();
  void LoadIntoEditor(const std::string& path);
  void JumpToLine(int line);
  void CreateSkeleton(SkeletonKind kind);
  void ReadEditorSettings();
  void ApplyEditorOptions();
  void WriteCloseSettings();
  void OpenFileDialog(DialogKind kind, std::string initial_name,
                      std::function<void(const std::string&)> on_chosen,
                      std::function<void()> on_cancel = {});
  std::string ScriptsDirectory() const;
  void ReportError(const std::string& text);

  WorkbenchConfig config_;
  std::string program_dir_;
  SettingsStore xml_;
  EditorOptionsWindow* options_ = nullptr;
  std::vector<int> timer_ids_;
  int dbgswitch_timer_ = 0;

  bool visible_ = false;
  bool first_activation_ = true;
  std::string caption_ = "...";
  int active_page_ = kErrorPage;
  bool edit_menus_visible_ = true;
  bool dbgswitch_running_ = true;

  EditorText editor_;
  bool document_saved_ = false;
  // The file the editor's text was last loaded from or written to, while the text is unchanged
  // since; empty once it has been edited.
  std::string unchanged_file_;
  std::string suggested_name_;
  int editor_top_line_ = 1;
  uint64_t editor_focus_requests_ = 0;
  std::string clipboard_;

  std::string server_address_;
  int link_type_ = 0;
  bool panel_visible_ = true;
  bool browser_ticked_ = true;
  int pane_height_ = kResultPaneHeight;
  int remembered_pane_height_ = 0;
  EmbeddedBrowser browserqor_;
  EmbeddedBrowser webbrowser_;

  CodeAnalysis analysis_;
  std::vector<CodeTemplate> templates_;
  bool templates_attached_ = false;
  std::string listproc_hint_ = kInitialListprocHint;
  int listproc_selected_ = -1;
  ParameterHintState parameter_hint_;
  bool help_pointer_ = false;
  bool completion_attached_ = true;
  bool params_attached_ = true;
  int popup_delay_ms_ = 1500;

  EditorColourSet colours_ = WorkbenchInitialColours();
  int32_t listing_background_ = kColourBlack;

  DialogSlot dialog_;
  std::unique_ptr<DebuggerViews> debugger_views_;
};

}  // namespace qorsv
