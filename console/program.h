// The program's main sequence: start-up in its fixed order, the UI loop, the close request
// (SIGINT/SIGTERM) and the shut-down switch.
//
// The console does not know the HTTP front end; the program entry hands it in through FrontEnd,
// whose calls the console makes on its UI thread at the moments its start-up order names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qorsv {

class HostEditor;

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // Starts listening on all IPv4 addresses at the port. Throws QorsvError with the fixed text for
  // a port in use, or a clear text for another cause.
  virtual void StartListening(uint16_t port) = 0;
  // Stops accepting; connections being served get up to TerminateWaitTime (1000 ms) to end.
  virtual void StopListening() = 0;
  virtual bool Listening() const = 0;
  // LoadMimeTable(): run by the console window's FormCreate.
  virtual void LoadMimeTable() = 0;
  // readhostrootdirconfig() then showhosts(): run by each FormShow. Returns the lines of the
  // host list view `Hostrootdir`, one per entry.
  virtual std::vector<std::string> ReadHostTable() = 0;

  // Services of the script host that the console's events reach through the program entry,
  // since the console does not know the script host. Each has a harmless default.
  // Clears `MailLock`: run by each FormShow.
  virtual void ClearMailLock() {}
  // CountSqlHandlesInUse(): for the label `lbl_sqlhandles`, on the 120000 ms timer `Timer1`
  // and the button "Close orphan sql handles". Without a count the label keeps its text.
  virtual std::optional<uint32_t> CountSqlHandlesInUse() { return std::nullopt; }
  // The host editor behind the console's host list, when the front end has one. Its list is
  // the one ReadHostTable last filled.
  virtual HostEditor* ConsoleHostEditor() { return nullptr; }
  // Gives back what caches of the server hold while they go unused (the descriptors of spare
  // temporary files and kept SQL connections): run on the 10 s log tick.
  virtual void ReleaseIdleCaches() {}
};

// Runs the program from start-up to its end; returns the process exit status: 0 after the close
// request or the shut-down switch, 1 when start-up failed (the error is printed on stderr).
// Defined beside the workbench models (workbench/program_entry.cpp), which it constructs; the
// sequence itself is console/console_program.h.
int RunProgram(FrontEnd& front_end);

}  // namespace qorsv
