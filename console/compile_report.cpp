#include "console/compile_report.h"

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "console/ui_loop.h"

namespace qorsv {
namespace {

constexpr char kErrorMarker[] = "[Error]";
// The row starts nine characters after the marker's "[": "[Error] (" is nine long.
constexpr size_t kRowOffset = 9;

std::optional<int> ParseRow(const std::string& digits) {
  if (digits.empty() || digits.size() > 9) return std::nullopt;
  int row = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    row = row * 10 + (c - '0');
  }
  return row;
}

// Reports are applied at most once in this many milliseconds: a busy server compiles thousands
// of blocks a second, and waking the UI thread for each one cost more than the views gain.
constexpr uint64_t kDrainGapMs = 25;

struct ReportRoute {
  std::mutex mutex;
  UiLoop* loop = nullptr;
  CompileReportSink sink;
  // Reports posted since the UI thread last took them, in order; one drain is queued for all of
  // them, so a busy server does not flood the loop with one task per compile.
  std::vector<CompileReport> pending;
  bool drain_queued = false;
  std::optional<uint64_t> last_drain_ms;  // on the loop's clock
};

// Calls `line(start, length)` for each listing line of the text: each CR ends a line and the
// character after it (normally the LF) is skipped; text after the last line break is a line.
template <typename Line>
void ForEachListingLine(const std::string& text, Line line) {
  size_t start = 0;
  while (start < text.size()) {
    size_t cr = text.find('\r', start);
    if (cr == std::string::npos) {
      line(start, text.size() - start);
      break;
    }
    line(start, cr - start);
    start = cr + 2;
  }
}

ReportRoute& Route() {
  static ReportRoute route;
  return route;
}

// Runs on the UI thread. Each report replaces the views whole, so of a run of reports only the
// failed ones (which also show the window and set the status bar) and the last one need to be
// applied: the views end exactly as if every report had been applied in order. The sink is
// looked up now, so views that went away in the meantime receive nothing.
void DrainReports() {
  std::vector<CompileReport> reports;
  CompileReportSink sink;
  {
    ReportRoute& route = Route();
    std::lock_guard<std::mutex> lock(route.mutex);
    reports.swap(route.pending);
    route.drain_queued = false;
    if (route.loop != nullptr) route.last_drain_ms = route.loop->Now();
    sink = route.sink;
  }
  if (!sink) return;
  for (size_t i = 0; i < reports.size(); ++i) {
    if (reports[i].failed || i + 1 == reports.size()) sink(reports[i]);
  }
}

// Runs on the UI thread: drains now when the last drain is at least the gap ago, else once the
// gap is over, through a timer that ticks once.
void ScheduleDrain() {
  ReportRoute& route = Route();
  UiLoop* loop;
  uint64_t wait_ms = 0;
  {
    std::lock_guard<std::mutex> lock(route.mutex);
    loop = route.loop;
    if (loop == nullptr) return;
    uint64_t since = route.last_drain_ms ? loop->Now() - *route.last_drain_ms : kDrainGapMs;
    if (since < kDrainGapMs) wait_ms = kDrainGapMs - since;
  }
  if (wait_ms == 0) {
    DrainReports();
    return;
  }
  auto timer = std::make_shared<int>(-1);
  *timer = loop->AddTimer("compile reports", wait_ms, [loop, timer] {
    loop->StopTimer(*timer);
    DrainReports();
  });
}

}  // namespace

int ErrorLineOfMessages(const std::vector<std::string>& messages) {
  int row = 0;
  for (const std::string& message : messages) {
    size_t marker = message.find(kErrorMarker);
    if (marker == std::string::npos) continue;
    size_t start = marker + kRowOffset;
    size_t colon = message.find(':');
    if (colon == std::string::npos || colon < start) continue;
    if (std::optional<int> parsed = ParseRow(message.substr(start, colon - start))) row = *parsed;
  }
  return row;
}

std::vector<std::string> ListingLines(const std::string& text) {
  std::vector<std::string> lines;
  ForEachListingLine(text, [&](size_t start, size_t length) {
    lines.push_back(text.substr(start, length));
  });
  return lines;
}

size_t CountListingLines(const std::string& text) {
  size_t count = 0;
  ForEachListingLine(text, [&](size_t, size_t) { ++count; });
  return count;
}

std::string NumberedListingLine(int number, const std::string& line) {
  return "[" + std::to_string(number) + "]  " + line;
}

std::string ErrorLineText(const std::string& compiled_text, int row) {
  if (row < 3) return "";
  // Walks to the row without splitting the whole text: listings of large forms are long.
  size_t start = 0;
  for (int current = 1; current < row; ++current) {
    size_t cr = compiled_text.find('\r', start);
    if (cr == std::string::npos) return "";
    start = cr + 2;
  }
  if (start >= compiled_text.size()) return "";
  size_t cr = compiled_text.find('\r', start);
  std::string line =
      compiled_text.substr(start, cr == std::string::npos ? std::string::npos : cr - start);
  return NumberedListingLine(row, line);
}

std::string CompileFailureOutput(const std::string& error_line_text) {
  return "Script error . " + error_line_text;
}

CompileReport MakeCompileReport(std::vector<std::string> messages, std::string compiled_text,
                                bool failed) {
  CompileReport report;
  report.error_line = ErrorLineOfMessages(messages);
  report.error_line_text = ErrorLineText(compiled_text, report.error_line);
  report.messages = std::move(messages);
  report.compiled_text = std::move(compiled_text);
  report.failed = failed;
  if (failed) {
    report.output_text = CompileFailureOutput(report.error_line_text);
    report.status_text = report.output_text + " [ " + report.error_line_text + " ] ";
  }
  return report;
}

void SetCompileReportLoop(UiLoop* loop) {
  ReportRoute& route = Route();
  std::lock_guard<std::mutex> lock(route.mutex);
  route.loop = loop;
  // Reports waiting for a loop that is going away are dropped with its queued drain task.
  route.pending.clear();
  route.drain_queued = false;
  route.last_drain_ms.reset();
}

void SetCompileReportSink(CompileReportSink sink) {
  ReportRoute& route = Route();
  std::lock_guard<std::mutex> lock(route.mutex);
  route.sink = std::move(sink);
}

void PostCompileReport(CompileReport report) {
  ReportRoute& route = Route();
  // Posting under the lock keeps the loop alive while the task is queued: the loop is removed
  // from the route (under this lock) before it is destroyed.
  std::lock_guard<std::mutex> lock(route.mutex);
  if (route.loop == nullptr || !route.sink) return;
  // A successful report waiting behind a newer one would be passed over: it is replaced.
  if (!route.pending.empty() && !route.pending.back().failed) {
    route.pending.back() = std::move(report);
  } else {
    route.pending.push_back(std::move(report));
  }
  if (route.drain_queued) return;
  route.drain_queued = true;
  route.loop->Post(ScheduleDrain);
}

}  // namespace qorsv
