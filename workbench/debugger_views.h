// The workbench's debugger views as model state: the listing `dbgmem` of the last compiled text,
// the compiler messages `errormsg`, the marked (selected) listing line, the status bar
// `StatusBar1`, and the focus the window gets when a compilation fails.
//
// Every script compilation the server performs, whoever requested it, replaces the views: the
// runner hands its CompileReport (console/compile_report.h) to the UI loop and the views apply
// it there as one unit. A failed compilation also shows the window and gives it the focus.
//
// UI thread only. Constructing the views installs them as the process's compile report sink;
// destroying them removes it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "console/compile_report.h"

namespace qorsv {

class DebuggerViews {
 public:
  // `show_window` shows the workbench window (a failed compilation brings it up).
  explicit DebuggerViews(std::function<void()> show_window);
  DebuggerViews(const DebuggerViews&) = delete;
  DebuggerViews& operator=(const DebuggerViews&) = delete;
  ~DebuggerViews();

  // The whole hand-over of one compilation: messages, listing, numbering, the marked line, and
  // on failure the window shown and focused, the application in front and the status text.
  void ApplyCompileReport(const CompileReport& report);

  // Numbers the listing: line i (from 1) becomes "[" + i + "]  " + line.
  void Button1Click();

  const std::vector<std::string>& errormsg() const { return errormsg_; }
  const std::vector<std::string>& dbgmem() const;
  // The listing line holding the caret and the selection, from 1; 0 when nothing is marked.
  int MarkedLine() const { return marked_line_; }
  // The text of the status bar's one panel.
  const std::string& StatusBar1() const { return status_bar1_; }
  // Whether the window holds the focus; the page reports when the operator moves it away.
  bool Focused() const { return focused_; }
  void LoseFocus() { focused_ = false; }
  // How many times the application was brought to the front.
  uint64_t BroughtToFront() const { return brought_to_front_; }
  // Counts every report applied, so a page can tell that the views changed.
  uint64_t Revision() const { return revision_; }

 private:
  std::function<void()> show_window_;
  std::vector<std::string> errormsg_ = {"errormsg"};
  // The listing is split and numbered when it is first read: a busy server replaces it on
  // every request, and nobody may look at most of them.
  mutable std::vector<std::string> dbgmem_ = {"dbgmem"};
  mutable std::string unsplit_listing_;
  mutable bool listing_unsplit_ = false;
  int marked_line_ = 0;
  std::string status_bar1_;
  bool focused_ = false;
  uint64_t brought_to_front_ = 0;
  uint64_t revision_ = 0;
};

}  // namespace qorsv
