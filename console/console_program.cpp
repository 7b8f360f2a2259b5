#include "console/console_program.h"

#include <signal.h>

#include <ostream>

#include "console/close_signals.h"
#include "console/compile_report.h"
#include "console/operator_messages.h"
#include "console/product.h"
#include "console/script_time_limit.h"
#include "console/settings_store.h"
#include "console/terminal_messages.h"
#include "transport/error.h"
#include "transport/platform.h"

namespace qorsv {
namespace {

uint16_t ReadPort(SettingsStore& settings, const std::string& key, uint16_t default_port) {
  int32_t port = settings.ReadSettingInteger(key, default_port);
  if (port < 1 || port > 65535) {
    throw QorsvError(key + " in " + ConsoleWindow::kSettingsFile +
                     " must be a port number from 1 to 65535");
  }
  return static_cast<uint16_t>(port);
}

}  // namespace

ConsoleProgram::ConsoleProgram(FrontEnd& front_end, CompanionWindows& companions,
                               ProgramOptions options)
    : front_end_(front_end),
      companions_(companions),
      options_(std::move(options)),
      report_(options_.on_error ? options_.on_error : UiLoop::ErrorSink(PostOperatorMessage)),
      loop_(options_.clock ? options_.clock : UiLoop::Clock(TickCountMs), report_) {
  // Script compilations reach the workbench's debugger views through this loop.
  SetCompileReportLoop(&loop_);
}

ConsoleProgram::~ConsoleProgram() {
  SetCompileReportLoop(nullptr);
  pages_.reset();
  console_.reset();
  // The workbench's timers live on this program's loop, which goes next.
  companions_.DestroyWindows();
}

void ConsoleProgram::Start() {
  application_title_ = kApplicationTitle;

  // The ports and the script time limit come from the settings file before any window exists;
  // reading changes nothing.
  SettingsStore settings;
  settings.SetSettingsFile(options_.program_dir + ConsoleWindow::kSettingsFile);
  ConsoleConfig config;
  config.program_dir = options_.program_dir;
  config.listen_port = ReadPort(settings, "ListenPort", kDefaultListenPort);
  if (options_.wall_clock) config.wall_clock = options_.wall_clock;
  config.pick_tip = options_.pick_tip;
  access_.port = ReadPort(settings, "ConsolePort", kDefaultConsolePort);
  access_.token = NewAccessToken();
  SetScriptTimeLimit(ReadScriptTimeLimit(settings));

  const uint16_t listen_port = config.listen_port;
  console_ = std::make_unique<ConsoleWindow>(loop_, front_end_, companions_, std::move(config));
  console_->SetAccess(access_);
  companions_.CreateWorkbench(loop_, listen_port);
  companions_.CreateEditorOptions();
  // Showing the workbench runs its first activation, a window event: its errors are reported
  // and start-up goes on.
  try {
    companions_.ShowWorkbench();
  } catch (const std::exception& error) {
    report_(error.what());
  }

  // The message loop's first work: the console window is shown and activated, and shortly
  // after, the tips window may open.
  ConsoleWindow* console = console_.get();
  loop_.Post([console] { console->FormShow(); });
  loop_.Post([console] { console->FormActivate(); });
  loop_.Post([console] { console->ShowTipsAtStartup(); });
}

int ConsoleProgram::Run() {
  loop_.Run();
  pages_.reset();
  console_.reset();
  return 0;
}

void ConsoleProgram::RequestClose() {
  loop_.Post([this] {
    if (console_) console_->FormCloseQuery();
  });
}

int RunConsoleProgram(FrontEnd& front_end, CompanionWindows& companions,
                      const std::string& program_dir, std::ostream& out, std::ostream& err,
                      const OperatorPagesFactory& pages) {
  // A closed client socket or a file-size limit is an error to report, not a reason to die.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);

  ProgramOptions options;
  options.program_dir = program_dir;
  ConsoleProgram program(front_end, companions, std::move(options));
  CloseSignalWatcher close_signals([&program] { program.RequestClose(); });
  TerminalMessageCloser terminal_messages(TerminalMessageCloser::StandardInputIfTerminal());
  try {
    program.Start();
    if (pages) program.AttachPages(pages(program));
  } catch (const std::exception& error) {
    err << "qorsv: " << error.what() << std::endl;
    return 1;
  }
  // The line is written by the loop once the console has been shown and activated, so whoever
  // waits for it (an operator, a script, a test) finds the host and MIME tables loaded.
  program.Loop().Post(
      [&out, &program] { out << "Console: " << program.Access().ConsoleUrl() << std::endl; });
  return program.Run();
}

}  // namespace qorsv
