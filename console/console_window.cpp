#include "console/console_window.h"

#include <mutex>
#include <random>

#include "console/operator_messages.h"
#include "console/product.h"
#include "console/settings_store.h"
#include "console/traffic_counters.h"

namespace qorsv {
namespace {

// The window that ShowSqlHandleCount reaches from other threads, while one exists.
struct WindowLink {
  std::mutex mutex;
  UiLoop* loop = nullptr;
  std::weak_ptr<ConsoleWindow*> window;
  // The latest count, and whether a task to show it is already queued.
  uint32_t sql_handle_count = 0;
  bool sql_count_queued = false;
};

WindowLink& Link() {
  static WindowLink link;
  return link;
}

// Hands a change to the window's UI thread; it is dropped if the window is gone by then.
void PostToWindow(UiLoop& loop, const std::weak_ptr<ConsoleWindow*>& window,
                  std::function<void(ConsoleWindow&)> change) {
  loop.Post([window, change = std::move(change)] {
    if (auto alive = window.lock()) change(**alive);
  });
}

const char* const kTipSetting = "Tip\\Show_On_Startup";

size_t RandomTip(size_t count) {
  std::random_device device;
  return std::uniform_int_distribution<size_t>(0, count - 1)(device);
}

}  // namespace

void ShowSqlHandleCount(uint32_t count) {
  WindowLink& link = Link();
  std::lock_guard<std::mutex> lock(link.mutex);
  if (link.loop == nullptr) return;
  link.sql_handle_count = count;
  if (link.sql_count_queued) return;
  link.sql_count_queued = true;
  PostToWindow(*link.loop, link.window, [](ConsoleWindow& window) {
    uint32_t latest;
    {
      WindowLink& link = Link();
      std::lock_guard<std::mutex> lock(link.mutex);
      latest = link.sql_handle_count;
      link.sql_count_queued = false;
    }
    window.SetSqlHandleCount(latest);
  });
}

ConsoleWindow::ConsoleWindow(UiLoop& loop, FrontEnd& front_end, CompanionWindows& companions,
                             ConsoleConfig config)
    : loop_(loop),
      front_end_(front_end),
      companions_(companions),
      config_(std::move(config)),
      self_(std::make_shared<ConsoleWindow*>(this)) {
  if (!config_.pick_tip) config_.pick_tip = RandomTip;
  // The components as designed: the listener listens from its creation, then the timers start.
  front_end_.StartListening(config_.listen_port);
  timer_ids_.push_back(loop_.AddTimer("Timer1", kTimer1PeriodMs, [this] { Timer1Timer(); }));
  timer_ids_.push_back(
      loop_.AddTimer("timed_log_saver", kLogSaverPeriodMs, [this] { timed_log_saverTimer(); }));
  timer_ids_.push_back(loop_.AddTimer("svuptime", kUptimePeriodMs, [this] { svuptimeTimer(); }));
  FormCreate();
  ShowListenerStatus();
  Connect();
}

ConsoleWindow::~ConsoleWindow() {
  Disconnect();
  for (int id : timer_ids_) loop_.StopTimer(id);
  if (view_drain_timer_ != 0) loop_.StopTimer(view_drain_timer_);
  ProcessLogBuffer().Clear();
  RunStep([this] {
    if (front_end_.Listening()) front_end_.StopListening();
  });
}

void ConsoleWindow::FormCreate() {
  activated_once_ = false;
  // LogBuffer exists, empty, from the start of the process; lines that connections logged while
  // the window was being built are kept.
  caption_ = std::string(kProductBanner) + (front_end_.Listening() ? " -> active" : " -> inactive");
  front_end_.LoadMimeTable();
}

void ConsoleWindow::Connect() {
  std::weak_ptr<ConsoleWindow*> window = self_;
  UiLoop* loop = &loop_;
  WindowLink& link = Link();
  std::lock_guard<std::mutex> lock(link.mutex);
  std::shared_ptr<ViewLineQueue> queue = view_queue_;
  SetLogViewSink([loop, window, queue](LogView view, const std::string& line) {
    if (queue->Push(view, line)) {
      PostToWindow(*loop, window, [](ConsoleWindow& target) { target.ScheduleViewDrain(); });
    }
  });
  link.loop = &loop_;
  link.window = self_;
  link.sql_count_queued = false;
  // A buffer that fills up between two ticks is saved at once, on this window's thread.
  ProcessLogBuffer().SetHandOver([loop, window] {
    PostToWindow(*loop, window, [](ConsoleWindow& target) { target.SaveHandedOverLog(); });
  });
}

void ConsoleWindow::Disconnect() {
  WindowLink& link = Link();
  std::lock_guard<std::mutex> lock(link.mutex);
  if (link.window.lock() != self_) return;  // a newer window has taken over
  SetLogViewSink(nullptr);
  ProcessLogBuffer().SetHandOver(nullptr);
  link.loop = nullptr;
  link.window.reset();
}

void ConsoleWindow::FormShow() {
  visible_ = true;
  minimized_ = false;
  label1_ = kProductBanner;
  front_end_.ClearMailLock();
  program_dir_ = config_.program_dir;
  hostrootdir_ = front_end_.ReadHostTable();
  companions_.Settings().SetSettingsFile(program_dir_ + kSettingsFile);
}

void ConsoleWindow::FormActivate() {
  if (activated_once_) return;
  activated_once_ = true;
  SetShowLog(LoadTrafficCounters(companions_.Settings(), ProcessTrafficCounters()));
}

void ConsoleWindow::FormCloseQuery() {
  if (closing_) return;
  closing_ = true;
  RunStep([this] { SaveLogBuffer(); });
  // Scripts waiting for a message box the program will no longer show go on and end.
  RunStep([] { CloseAllOperatorMessages(); });
  RunStep([this] { front_end_.StopListening(); });
  ShowListenerStatus();
  RunStep([this] { companions_.CloseWorkbench(); });
  visible_ = false;
  ended_ = true;
  loop_.Quit();
}

void ConsoleWindow::cbActiveClick() {
  cb_active_checked_ = !cb_active_checked_;
  ended_ = true;
  loop_.Quit();
}

void ConsoleWindow::Button1Click() {
  ProcessTrafficCounters().Reset();
  label2_ = kTrafficResetText;
}

void ConsoleWindow::Button2Click() {
  if (companions_.WorkbenchVisible()) {
    companions_.HideWorkbench();
  } else {
    companions_.ShowWorkbench();
  }
}

void ConsoleWindow::Button5Click() {
  DrainViewLines();
  memo1_.Clear();
  syslog_.Clear();
}

void ConsoleWindow::closeorphansqlhandlesClick() {
  if (std::optional<uint32_t> count = front_end_.CountSqlHandlesInUse()) SetSqlHandleCount(*count);
}

void ConsoleWindow::showlogClick(bool checked) { SetShowLog(checked); }

void ConsoleWindow::SpeedButton5Click() { OpenTips(); }

void ConsoleWindow::ShowTipsAtStartup() {
  if (companions_.Settings().ReadSettingBoolean(kTipSetting, true)) OpenTips();
}

void ConsoleWindow::OpenTips() {
  bool show_on_startup = companions_.Settings().ReadSettingBoolean(kTipSetting, true);
  tip_.Open(config_.pick_tip(TipsWindow::Tips().size()), show_on_startup);
}

void ConsoleWindow::tipNextClick() { tip_.NextTip(); }

void ConsoleWindow::tipShowOnStartupClick(bool checked) { tip_.SetShowOnStartup(checked); }

void ConsoleWindow::tipCloseClick() {
  bool show_on_startup = tip_.Close();
  companions_.Settings().WriteSettingBoolean(kTipSetting, show_on_startup);
}

void ConsoleWindow::Minimize() {
  visible_ = false;
  minimized_ = true;
}

void ConsoleWindow::trayClick() { FormShow(); }

void ConsoleWindow::Timer1Timer() { closeorphansqlhandlesClick(); }

void ConsoleWindow::timed_log_saverTimer() {
  SaveLogBuffer();
  front_end_.ReleaseIdleCaches();
}

void ConsoleWindow::SaveLogBuffer() {
  label2_ = FormatTraffic(ReadTrafficCounters());
  AppendLogBufferToFile(ProcessLogBuffer(), config_.program_dir + kLogDirectory,
                        config_.wall_clock());
}

void ConsoleWindow::SaveHandedOverLog() {
  // After the close request's save, later lines are not written.
  if (closing_) return;
  AppendLogBufferToFile(ProcessLogBuffer(), config_.program_dir + kLogDirectory,
                        config_.wall_clock());
}

void ConsoleWindow::UptimeTick() {
  uint32_t minutes = ProcessTrafficCounters().AddUptimeMinute();
  label12_ = UptimeLabelText(minutes);
  tray_hint_ = UptimeTrayHint(minutes);
  SaveTrafficCounters(companions_.Settings(), ReadTrafficCounters(), ShowLogEnabled());
}

void ConsoleWindow::ScheduleViewDrain() {
  if (view_drain_timer_ != 0) return;  // a drain is already waiting for its moment
  uint64_t now = loop_.Now();
  uint64_t since = last_view_drain_ms_ ? now - *last_view_drain_ms_ : kViewDrainGapMs;
  if (since >= kViewDrainGapMs) {
    DrainViewLines();
    return;
  }
  view_drain_timer_ = loop_.RunLater(kViewDrainGapMs - since, [this] {
    view_drain_timer_ = 0;
    DrainViewLines();
  });
}

void ConsoleWindow::DrainViewLines() {
  last_view_drain_ms_ = loop_.Now();
  ViewLineQueue::Taken taken = view_queue_->TakeAll();
  for (size_t i = 0; i < taken.memo1.size(); ++i) memo1_.Add(std::string(taken.memo1[i]));
  for (size_t i = 0; i < taken.syslog.size(); ++i) syslog_.Add(std::string(taken.syslog[i]));
}

void ConsoleWindow::ShowListenerStatus() {
  status_bar1_ = front_end_.Listening()
                     ? "HTTP server listening on port " + std::to_string(config_.listen_port)
                     : "HTTP server not listening";
}

void ConsoleWindow::SetSqlHandleCount(uint32_t count) {
  lbl_sqlhandles_ = "Sql Handles : " + std::to_string(count);
}

void ConsoleWindow::RunStep(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& error) {
    loop_.ReportError(error.what());
  }
}

}  // namespace qorsv
