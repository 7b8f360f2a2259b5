// Operator message boxes on the terminal that started the server.
//
// Until the console page shows the boxes that scripts raise (Msg, Showmessage), they are printed
// on that terminal, and a script that raised one waits for the operator. The closer lets the
// operator answer there: each line typed (Enter) closes the oldest box still open, which
// releases the script waiting for it.
//
// The closer watches its input on a small thread of its own; it only closes boxes, so it needs
// no lock beyond the message queue's. Construct and destroy it on one thread.
#pragma once

#include <thread>

namespace qorsv {

class TerminalMessageCloser {
 public:
  // Watches `input_fd` (standard input when it is a terminal, see ForStandardInput).
  explicit TerminalMessageCloser(int input_fd);
  TerminalMessageCloser(const TerminalMessageCloser&) = delete;
  TerminalMessageCloser& operator=(const TerminalMessageCloser&) = delete;
  // Stops watching; the input stays open.
  ~TerminalMessageCloser();

  // Standard input when it is a terminal, else -1 (nothing to watch: no one can type there).
  static int StandardInputIfTerminal();

 private:
  void Watch(int input_fd);

  int stop_read_fd_ = -1;
  int stop_write_fd_ = -1;
  std::thread thread_;
};

}  // namespace qorsv
