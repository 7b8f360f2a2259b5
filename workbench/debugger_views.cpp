#include "workbench/debugger_views.h"

namespace qorsv {
namespace {

void NumberLines(std::vector<std::string>& lines) {
  for (size_t i = 0; i < lines.size(); ++i) {
    lines[i] = NumberedListingLine(static_cast<int>(i + 1), lines[i]);
  }
}

}  // namespace

DebuggerViews::DebuggerViews(std::function<void()> show_window)
    : show_window_(std::move(show_window)) {
  SetCompileReportSink([this](const CompileReport& report) { ApplyCompileReport(report); });
}

DebuggerViews::~DebuggerViews() { SetCompileReportSink(nullptr); }

void DebuggerViews::ApplyCompileReport(const CompileReport& report) {
  errormsg_ = report.messages;
  unsplit_listing_ = report.compiled_text;
  listing_unsplit_ = true;
  // Clearing the listing dropped the caret and the selection; an error row from 3 on marks its
  // line again. Rows 1 and 2 lie in the server's own prelude and are never marked.
  marked_line_ = 0;
  if (report.error_line >= 3 &&
      static_cast<size_t>(report.error_line) <= CountListingLines(unsplit_listing_)) {
    marked_line_ = report.error_line;
  }
  if (report.failed) {
    if (show_window_) show_window_();
    focused_ = true;
    ++brought_to_front_;
    status_bar1_ = report.status_text;
  }
  ++revision_;
}

const std::vector<std::string>& DebuggerViews::dbgmem() const {
  if (listing_unsplit_) {
    // The listing as applied: its lines, numbered once.
    dbgmem_ = ListingLines(unsplit_listing_);
    NumberLines(dbgmem_);
    unsplit_listing_.clear();
    listing_unsplit_ = false;
  }
  return dbgmem_;
}

void DebuggerViews::Button1Click() {
  dbgmem();
  NumberLines(dbgmem_);
}

}  // namespace qorsv
