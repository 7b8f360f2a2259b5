// The program's main sequence: start-up in its fixed order, the UI loop, the close request
// (SIGINT/SIGTERM) and the shut-down switch.
//
// The console does not know the HTTP front end; the program entry hands the listener in through
// ListenerControl.
#pragma once

#include <cstdint>

namespace qorsv {

class ListenerControl {
 public:
  virtual ~ListenerControl() = default;
  // Starts listening on all IPv4 addresses at the port. Throws QorsvError with the fixed text for
  // a port in use, or a clear text for another cause.
  virtual void Start(uint16_t port) = 0;
  // Stops accepting; connections being served get up to TerminateWaitTime (1000 ms) to end.
  virtual void Stop() = 0;
  virtual bool Active() const = 0;
};

// Runs the program from start-up to its end; returns the process exit status.
int RunProgram(ListenerControl& listener);

}  // namespace qorsv
