// The operator server: the web front end of the operator's windows, on 127.0.0.1 only, at the
// console port, for the holder of this run's access token (ui/operator_guard.h).
//
// It serves
//   - the pages (AddPage: "/" the console, "/workbench" the workbench) and their files below
//     "/ui/", from the program directory's ui/ folder, and other folders a page needs
//     (AddFolder). A page is served with <base href="/k/TOKEN/">, and refers to its files by
//     relative addresses ("ui/console.css"), which the guard admits by that prefix;
//   - commands: POST /api/command with {"source": S, "command": C, "args": {...}}. Each runs on
//     the UI loop, as the window's own handler would, and the state changes it makes are
//     published before the answer {"ok": true, "result": ...} goes back. An error escaping the
//     handler is shown to the operator in a message box, as any window handler's error is, and
//     answered {"ok": false, "error": text}; a CommandError (a request the page should not have
//     made) is answered with status 400 and no message box;
//   - queries: GET /api/NAME?..., answered on the connection's own thread (file listings and
//     the like, which need not wait for the UI thread);
//   - the event stream: GET /api/events?sources=a,b (Server-Sent Events, ui/event_hub.h).
// A page of the operator UI registers its sources, commands and queries before Start.
//
// Threading: Add* and Start on the UI thread before the loop serves pages; one accept thread and
// one thread per connection (at most kMaxOperatorConnections at once); Stop (or destruction)
// from the UI thread once the loop has ended, or from a test.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "console/console_program.h"
#include "console/operator_access.h"
#include "console/ui_loop.h"
#include "transport/error.h"
#include "transport/socket.h"
#include "ui/event_hub.h"
#include "ui/json_text.h"
#include "ui/operator_http.h"

namespace qorsv {

// A command or query the page should not have sent (unknown name, missing argument): answered
// with status 400 and the text, never shown as a message box.
class CommandError : public QorsvError {
 public:
  explicit CommandError(const std::string& message) : QorsvError(message) {}
};

inline constexpr size_t kMaxOperatorConnections = 64;

class OperatorServer : public OperatorPages {
 public:
  // Runs on the UI thread; `args` is the command's "args" object (empty when absent).
  using CommandHandler = std::function<Json(const Json& args)>;
  // Runs on the connection's thread.
  using QueryHandler = std::function<Json(const OperatorRequest& request)>;

  // ui_dir: the folder of the pages' files, with a trailing "/".
  OperatorServer(UiLoop& loop, OperatorAccess access, std::string ui_dir);
  ~OperatorServer() override;
  OperatorServer(const OperatorServer&) = delete;
  OperatorServer& operator=(const OperatorServer&) = delete;

  EventHub& Events() { return hub_; }
  UiLoop& Loop() { return loop_; }
  const OperatorAccess& Access() const { return access_; }

  void AddCommand(const std::string& source, const std::string& name, CommandHandler handler);
  void AddQuery(const std::string& name, QueryHandler handler);
  // GET `path` (exactly, with the token in its query) serves ui_dir + file, with the <base>
  // element of the token prefix.
  void AddPage(const std::string& path, const std::string& file);
  // GET prefix + name serves directory + name, for plain names only (letters, digits, ".", "_",
  // "-" and "/"; no segment starting with "."). `prefix` starts and ends with "/"; `directory`
  // ends with "/". "/ui/" serves ui_dir from the start.
  void AddFolder(const std::string& prefix, const std::string& directory);

  // Binds 127.0.0.1 at the console port and starts accepting. Throws QorsvError naming the port.
  void Start();
  // Stops accepting, closes the event streams once their queued events are written, and waits
  // for every connection thread.
  void Stop();
  uint16_t Port() const { return port_; }

  // Runs a command as POST /api/command does, on the calling thread, which must be the UI
  // thread. For tests and for pages that chain commands.
  Json RunCommand(const std::string& source, const std::string& name, const Json& args);

 private:
  struct LiveConnection {
    std::shared_ptr<Connection> connection;
    std::thread thread;
    bool done = false;
  };

  void AcceptLoop();
  void ReapFinished();
  void Serve(Connection& connection);
  void Answer(Connection& connection, const OperatorRequest& request);
  // The file a GET of `path` names in one of the folders, if any.
  std::optional<std::string> FolderFile(const std::string& path) const;
  void ServeFile(Connection& connection, const std::string& path);
  void ServePage(Connection& connection, const std::string& path);
  void ServeCommand(Connection& connection, const OperatorRequest& request);
  void ServeQuery(Connection& connection, const OperatorRequest& request, const std::string& name);
  void ServeEvents(Connection& connection, const OperatorRequest& request);
  void Refuse(Connection& connection, const OperatorRequest& request, const std::string& reason);

  UiLoop& loop_;
  OperatorAccess access_;
  std::string ui_dir_;
  EventHub hub_;
  std::map<std::string, CommandHandler> commands_;  // "source.command"
  std::map<std::string, QueryHandler> queries_;
  std::map<std::string, std::string> pages_;
  std::map<std::string, std::string> folders_;  // URL prefix -> directory

  std::unique_ptr<ListeningSocket> socket_;
  uint16_t port_ = 0;
  std::thread accept_thread_;
  std::atomic<bool> stopping_{false};
  std::mutex connections_mutex_;
  std::list<LiveConnection> connections_;
};

}  // namespace qorsv
