#include "workbench/debugger_views.h"

namespace qorsv {

DebuggerViews::DebuggerViews(std::function<void()> show_window)
    : show_window_(std::move(show_window)) {
  SetCompileReportSink([this](const CompileReport& report) { ApplyCompileReport(report); });
}

DebuggerViews::~DebuggerViews() { SetCompileReportSink(nullptr); }

void DebuggerViews::ApplyCompileReport(const CompileReport& report) {
  errormsg_ = report.messages;
  dbgmem_ = ListingLines(report.compiled_text);
  Button1Click();
  // Clearing the listing dropped the caret and the selection; an error row from 3 on marks its
  // line again. Rows 1 and 2 lie in the server's own prelude and are never marked.
  marked_line_ = 0;
  if (report.error_line >= 3 && static_cast<size_t>(report.error_line) <= dbgmem_.size()) {
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

void DebuggerViews::Button1Click() {
  for (size_t i = 0; i < dbgmem_.size(); ++i) {
    dbgmem_[i] = NumberedListingLine(static_cast<int>(i + 1), dbgmem_[i]);
  }
}

}  // namespace qorsv
