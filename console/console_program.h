// The program's life: start-up in its fixed order, the message loop, the close request and the
// shut-down switch. RunProgram (console/program.h) is this sequence with the real workbench
// models; tests drive ConsoleProgram with fakes and step its loop by hand.
//
// ConsoleProgram lives on the thread that runs its loop; RequestClose may be called from any
// thread.
#pragma once

#include <ctime>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "console/companion_windows.h"
#include "console/console_window.h"
#include "console/program.h"
#include "console/ui_loop.h"

namespace qorsv {

struct ProgramOptions {
  // With a trailing "/".
  std::string program_dir;
  // Left empty: the real monotonic clock, operator messages, the wall clock, a random tip.
  UiLoop::Clock clock;
  UiLoop::ErrorSink on_error;
  std::function<std::time_t()> wall_clock;
  std::function<size_t(size_t)> pick_tip;
};

inline constexpr uint16_t kDefaultListenPort = 80;

// The operator's pages: the web front end that shows the windows. The program entry makes them
// once start-up has chosen the console port and made the access token; they end when the
// message loop has ended, before the console window is destroyed.
class OperatorPages {
 public:
  virtual ~OperatorPages() = default;
};

class ConsoleProgram;
// Makes the pages for a started program; throws when they cannot be served.
using OperatorPagesFactory = std::function<std::unique_ptr<OperatorPages>(ConsoleProgram&)>;

class ConsoleProgram {
 public:
  ConsoleProgram(FrontEnd& front_end, CompanionWindows& companions, ProgramOptions options);
  // Destroys the console window (FormDestroy) if Run() has not.
  ~ConsoleProgram();

  // Start-up up to the message loop, in order: the application title; the console window
  // (listener listening, timers, FormCreate); the workbench, then the editor options window;
  // the workbench shown (its first activation); the console's first show and activation and
  // the tips queued for the loop. Throws the listener's error, or a settings error when the
  // ports or the script time limit cannot be read.
  void Start();
  // The pages that show the windows, kept until the loop has ended.
  void AttachPages(std::unique_ptr<OperatorPages> pages) { pages_ = std::move(pages); }
  // The message loop until the close request or the shut-down switch, then the end of the
  // pages and the console window's destruction. Returns the exit status.
  int Run();
  // The close request (SIGINT, SIGTERM): handed to the loop. Callable from any thread.
  void RequestClose();

  UiLoop& Loop() { return loop_; }
  // Valid after Start() until Run() returns.
  ConsoleWindow& Console() { return *console_; }
  const std::string& ApplicationTitle() const { return application_title_; }
  const OperatorAccess& Access() const { return access_; }

 private:
  FrontEnd& front_end_;
  CompanionWindows& companions_;
  ProgramOptions options_;
  UiLoop::ErrorSink report_;
  UiLoop loop_;
  std::string application_title_;
  OperatorAccess access_;
  std::unique_ptr<ConsoleWindow> console_;
  std::unique_ptr<OperatorPages> pages_;
};

// The whole program: Start, the operator pages, SIGINT and SIGTERM as the close request, Run;
// the line "Console: " + URL on `out` (flushed) once the console's first show and activation
// have run. A start-up failure (the pages' included) is written to `err` and gives 1.
int RunConsoleProgram(FrontEnd& front_end, CompanionWindows& companions,
                      const std::string& program_dir, std::ostream& out, std::ostream& err,
                      const OperatorPagesFactory& pages = {});

}  // namespace qorsv
