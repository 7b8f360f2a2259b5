// The console window `TfmHTTPServerMain` as model state: its labels, views, switches and title
// with their exact texts, its life events, control handlers and timer ticks. A web page renders
// this state and forwards the operator's clicks.
//
// Everything here runs on the console's UI thread (the UiLoop), except ShowSqlHandleCount and
// the log view lines (console/server_log.h), which other threads hand in; they are applied on
// the UI thread in the order requested.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/companion_windows.h"
#include "console/operator_access.h"
#include "console/program.h"
#include "console/server_log.h"
#include "console/tips_window.h"
#include "console/traffic_counters.h"
#include "console/ui_loop.h"

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

// "Sql Handles : " + count into `lbl_sqlhandles`. Callable from any thread; without a console
// window it does nothing.
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
  void Button5Click();                       // "Clear logs"
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
  void timed_log_saverTimer() { SaveLogBuffer(); }
  void svuptimeTimer() { UptimeTick(); }

  // Label2 := FormatTraffic(), then LogBuffer appended to the day's log file.
  void SaveLogBuffer();
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
  const std::vector<std::string>& Memo1() const { return memo1_; }
  const std::vector<std::string>& syslog() const { return syslog_; }
  const std::vector<std::string>& Hostrootdir() const { return hostrootdir_; }
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
  void ApplyViewLine(LogView view, const std::string& line);
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
  std::vector<std::string> memo1_ = {"LOG FILE >>"};
  std::vector<std::string> syslog_ = {"syslog"};
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
