#include "console/server_log.h"

#include <atomic>
#include <mutex>

#include "transport/platform.h"

namespace qorsv {
namespace {

std::atomic<bool>& ShowLogSwitch() {
  static std::atomic<bool> on{false};
  return on;
}

struct ViewSinkSlot {
  std::mutex mutex;
  LogViewSink sink;
};

ViewSinkSlot& ViewSink() {
  static ViewSinkSlot slot;
  return slot;
}

// The sink is called under its lock, so lines reach the UI thread in the order requested.
void ShowInView(LogView view, const std::string& line) {
  if (!ShowLogEnabled()) return;
  ViewSinkSlot& slot = ViewSink();
  std::lock_guard<std::mutex> lock(slot.mutex);
  if (slot.sink) slot.sink(view, line);
}

}  // namespace

std::string LogLineText(std::time_t moment, const std::string& text) {
  // A request writes several lines within the same second; each thread converts its clock
  // reading to local time once per second rather than once per line.
  thread_local std::time_t stamped_moment = -1;
  thread_local std::string stamp;
  if (moment != stamped_moment) {
    stamp = "[ " + DateTimeText(moment) + " ] ";
    stamped_moment = moment;
  }
  std::string line;
  line.reserve(stamp.size() + text.size());
  line += stamp;
  line += text;
  return line;
}

LogBuffer& ProcessLogBuffer() {
  static LogBuffer buffer;
  return buffer;
}

void WriteLogLine(const std::string& text) {
  std::string line = LogLineText(std::time(nullptr), text);
  ShowInView(LogView::kMemo1, line);
  ProcessLogBuffer().Append(std::move(line));
}

void AppendLogBufferLine(const std::string& text) { ProcessLogBuffer().Append(text); }

void AddMemo1Line(const std::string& text) { ShowInView(LogView::kMemo1, text); }

void AddSyslogLine(const std::string& text) { ShowInView(LogView::kSyslog, text); }

bool ShowLogEnabled() { return ShowLogSwitch().load(); }

void SetShowLog(bool on) { ShowLogSwitch().store(on); }

void SetLogViewSink(LogViewSink sink) {
  ViewSinkSlot& slot = ViewSink();
  std::lock_guard<std::mutex> lock(slot.mutex);
  slot.sink = std::move(sink);
}

}  // namespace qorsv
