// The console window `TfmHTTPServerMain` as model state: its labels, views, switches and title
// with their exact texts, its life events, control handlers and timer ticks. A web page renders
// this state and forwards the operator's clicks.
//
// Everything here runs on the console's UI thread (the UiLoop), except ShowSqlHandleCount and
// the log view lines (console/server_log.h), which other threads hand in; they are applied on
// the UI thread in the order requested. View lines travel through a bounded queue and are
// applied in batches, at most every kViewDrainGapMs; the views keep their newest kViewLineLimit
// lines, within kViewByteLimit bytes.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/companion_windows.h"
#include "console/host_editor.h"
#include "console/operator_access.h"
#include "console/program.h"
#include "console/server_log.h"
#include "console/tips_window.h"
#include "console/traffic_counters.h"
#include "console/ui_loop.h"
#include "console/view_line_queue.h"
#include "console/view_lines.h"

namespace qorsv {

struct ConsoleConfig {
  // The program directory, with a trailing "/": the settings, log and host paths hang below it.
  std::string program_dir;
  uint16_t listen_port = 80;
  // The wall clock that dates log files.
  std::function<std::time_t()> wall_clock = [] { return std::time(nullptr); };
  // Picks the tip the tips window opens on, given the number of tips.
  std::function<size_t(size_t)> pick_tip;
};

inline constexpr uint64_t kTimer1PeriodMs = 120000;
inline constexpr uint64_t kLogSaverPeriodMs = 10000;
inline constexpr uint64_t kUptimePeriodMs = 60000;
// View lines are applied at most once in this many milliseconds: with `showlog` on, a busy
// server logs thousands of lines a second, and one batch serves the views and pages better than
// one task per line.
inline constexpr uint64_t kViewDrainGapMs = 50;

// "Sql Handles : " + count into `lbl_sqlhandles`. Callable from any thread; without a console
// window it does nothing. Counts reported faster than the UI thread applies them are coalesced:
// the label shows the latest.
void ShowSqlHandleCount(uint32_t count);

class ConsoleWindow {
 public:
  // Construction: the listener starts listening (a failure propagates and nothing else is
  // done), the three timers start, then FormCreate runs.
  ConsoleWindow(UiLoop& loop, FrontEnd& front_end, CompanionWindows& companions,
                ConsoleConfig config);
  ConsoleWindow(const ConsoleWindow&) = delete;
  ConsoleWindow& operator=(const ConsoleWindow&) = delete;
  // FormDestroy: LogBuffer is discarded without saving; a listener still active is stopped.
  ~ConsoleWindow();

  // Life events.
  void FormShow();
  void FormActivate();
  // The close request: saves the log buffer, stops the listener, closes the workbench, and ends
  // the loop. Never refused: a failing step is reported and the next one runs.
  void FormCloseQuery();

  // Controls.
  void cbActiveClick();                      // "&Shutdown server": ends the loop at once
  void Button1Click();                       // "Reset Stats"
  void Button2Click();                       // "Debugger"
  void Button3Click() {}                     // "Chain control" has no operation
  void Button5Click();                       // "Clear logs": lines already requested, then empty
  void closeorphansqlhandlesClick();         // "Close orphan sql handles"
  void showlogClick(bool checked);           // "Showlog ?"
  void SpeedButton5Click();                  // "?": the tips window
  void tipNextClick();                       // tips "&Next Tip"
  void tipShowOnStartupClick(bool checked);  // tips "&Show Tips on Startup"
  void tipCloseClick();                      // tips "&Close"
  void ShowTipsAtStartup();                  // shortly after the first activation
  void Minimize();                           // hides the window to the tray strip
  void trayClick();                          // restores it, which shows it again

  // Timer ticks.
  void Timer1Timer();
  // The 10 s tick: the log saved, and the server's idle caches let go.
  void timed_log_saverTimer();
  void svuptimeTimer() { UptimeTick(); }

  // Label2 := FormatTraffic(), then LogBuffer appended to the day's log file.
  void SaveLogBuffer();
  // LogBuffer, full before the tick, appended to the day's log file; Label2 waits for the tick.
  // A failure is reported like a failing tick.
  void SaveHandedOverLog();
  // One more minute of uptime into Label12, the tray hint and the settings.
  void UptimeTick();
  // lbl_sqlhandles := "Sql Handles : " + count.
  void SetSqlHandleCount(uint32_t count);

  // Model state, as the page shows it.
  const std::string& Caption() const { return caption_; }
  const std::string& Label1() const { return label1_; }
  const std::string& Label2() const { return label2_; }
  const std::string& Label12() const { return label12_; }
  const std::string& lbl_sqlhandles() const { return lbl_sqlhandles_; }
  const ViewLines& Memo1() const { return memo1_; }
  const ViewLines& syslog() const { return syslog_; }
  // The host list as the last showing read it; the host editor, when there is one, keeps it
  // current between showings.
  const std::vector<std::string>& Hostrootdir() const { return hostrootdir_; }
  HostEditor* host_editor() { return front_end_.ConsoleHostEditor(); }
  // The status bar: whether the listener serves, and on which port.
  const std::string& StatusBar1() const { return status_bar1_; }
  // The workbench window's visibility, which "Debugger" toggles.
  bool WorkbenchVisible() const { return companions_.WorkbenchVisible(); }
  const std::string& TrayHint() const { return tray_hint_; }
  bool showlog() const { return ShowLogEnabled(); }
  bool cbActiveChecked() const { return cb_active_checked_; }
  bool Visible() const { return visible_; }
  bool Minimized() const { return minimized_; }
  const TipsWindow& tip() const { return tip_; }
  const std::string& ProgramDirectory() const { return program_dir_; }
  const OperatorAccess& Access() const { return access_; }
  void SetAccess(OperatorAccess access) { access_ = std::move(access); }
  // True once the close request or the shut-down switch has ended the program.
  bool Ended() const { return ended_; }

  static constexpr char kLogDirectory[] = "logs/http_server_log/";
  static constexpr char kSettingsFile[] = "config/config.xml";

 private:
  void FormCreate();
  // Applies the queued view lines now, or once kViewDrainGapMs have passed since the last time.
  void ScheduleViewDrain();
  void DrainViewLines();
  void ShowListenerStatus();
  void OpenTips();
  // Runs one step of a sequence that must go on: a failure becomes an operator message.
  void RunStep(const std::function<void()>& step);
  void Connect();
  void Disconnect();

  UiLoop& loop_;
  FrontEnd& front_end_;
  CompanionWindows& companions_;
  ConsoleConfig config_;
  // Shared with the tasks handed to the loop, which do nothing once the window is gone.
  std::shared_ptr<ConsoleWindow*> self_;
  std::vector<int> timer_ids_;

  std::string caption_;
  std::string label1_;
  std::string label2_ = kTrafficDesignText;
  std::string label12_;
  std::string lbl_sqlhandles_ = "Sql Handles : 0 ";
  ViewLines memo1_{"LOG FILE >>"};
  ViewLines syslog_{"syslog"};
  // Shared with the log view sink, which connection threads call.
  std::shared_ptr<ViewLineQueue> view_queue_ = std::make_shared<ViewLineQueue>();
  std::optional<uint64_t> last_view_drain_ms_;
  int view_drain_timer_ = 0;
  std::string status_bar1_;
  std::vector<std::string> hostrootdir_;
  std::string tray_hint_;
  std::string program_dir_;
  bool cb_active_checked_ = true;
  bool visible_ = false;
  bool minimized_ = false;
  bool activated_once_ = false;
  bool closing_ = false;
  bool ended_ = false;
  TipsWindow tip_;
  OperatorAccess access_;
};

}  // namespace qorsv
