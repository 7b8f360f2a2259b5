// The report of one script compilation, carried from the script runner to the workbench's
// debugger views: the compiler messages, the compiled (preprocessed) text, and what the views
// make of them (the numbered listing, the error line, the status bar text).
//
// The runner computes everything it must answer at once (the error-line text) from the report
// itself, with the same rules the views use, so it never waits for the UI thread. It then hands
// the report over with PostCompileReport: each report reaches the views whole on the UI loop, so
// they never see the lines of two compilations interleaved. Reports are applied in batches at
// most every few tens of milliseconds; of a batch, only the failed ones and the last one.
//
// Threading: the text rules are pure functions, callable anywhere. PostCompileReport may be
// called from any thread; the sink runs on the UI loop's thread. SetCompileReportLoop and
// SetCompileReportSink may be called from any thread; without both, reports are dropped (the
// command-line runner has no views).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qorsv {

class UiLoop;

struct CompileReport {
  // The text form of each compiler message, in the order produced.
  std::vector<std::string> messages;
  // The compiled text, as the listing shows it before numbering.
  std::string compiled_text;
  bool failed = false;
  // The row of the last "[Error]" message (0 when there is none).
  int error_line = 0;
  // The numbered listing line of the error row when the row is 3 or more, else empty.
  std::string error_line_text;
  // Only when the compilation failed: the run's output text and the status bar text.
  std::string output_text;
  std::string status_text;
};

// The row named by the last message holding "[Error]": the digits from the ninth character after
// the "[" up to the first ":" of the message. 0 when no message gives one.
int ErrorLineOfMessages(const std::vector<std::string>& messages);

// The listing lines of a text: each CR ends a line and the character after it is skipped; text
// after the last line break is a last line.
std::vector<std::string> ListingLines(const std::string& text);
// How many lines ListingLines(text) has, without making them.
size_t CountListingLines(const std::string& text);

// A listing line as numbering leaves it: "[" + number + "]  " + line.
std::string NumberedListingLine(int number, const std::string& line);

// The line the views mark for an error row: the numbered listing line `row` when the row is 3 or
// more and the listing has it, else empty.
std::string ErrorLineText(const std::string& compiled_text, int row);

// Builds the whole report of one compilation.
CompileReport MakeCompileReport(std::vector<std::string> messages, std::string compiled_text,
                                bool failed);

// "Script error . " + the error-line text: the output of a run whose compilation failed.
std::string CompileFailureOutput(const std::string& error_line_text);

// The views' side: the loop they live on, and what applies a report to them.
void SetCompileReportLoop(UiLoop* loop);
using CompileReportSink = std::function<void(const CompileReport& report)>;
void SetCompileReportSink(CompileReportSink sink);

// The runner's side: queues the report as one task on the UI loop.
void PostCompileReport(CompileReport report);

}  // namespace qorsv
