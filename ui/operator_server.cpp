#include "ui/operator_server.h"

#include <poll.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "console/server_log.h"
#include "transport/memory_release.h"
#include "ui/operator_guard.h"

namespace qorsv {
namespace {

using std::chrono::milliseconds;

// A page that has sent nothing for this long, or not its whole request within it, is dropped.
constexpr milliseconds kRequestTimeout{10000};
// How long a waiting accept or event stream sleeps before it looks around again.
constexpr milliseconds kAcceptRound{200};
constexpr milliseconds kStreamRound{1000};
// An idle event stream sends a comment this often, so a page that went away is noticed.
constexpr milliseconds kKeepAliveGap{15000};
// How long Stop waits for the streams to write what is queued for them.
constexpr milliseconds kStopGrace{1000};
// The largest file of the pages served.
constexpr size_t kMaxPageFileBytes = 32u << 20;

constexpr char kJsonType[] = "application/json; charset=utf-8";

std::string ContentTypeFor(const std::string& path) {
  static const std::map<std::string, std::string> types = {
      // Pages name their own character set (the help pages are Latin-1).
      {".html", "text/html"},
      {".htm", "text/html"},
      {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".ico", "image/x-icon"},
      {".json", kJsonType},
      {".map", kJsonType},
      {".txt", "text/plain; charset=utf-8"},
      {".woff2", "font/woff2"},
  };
  size_t dot = path.find_last_of('.');
  if (dot != std::string::npos) {
    auto it = types.find(path.substr(dot));
    if (it != types.end()) return it->second;
  }
  return "application/octet-stream";
}

// A file below the pages' folder: plain names only, nothing that climbs out of it.
bool IsSafeRelativePath(const std::string& path) {
  if (path.empty() || path.front() == '/' || path.find("//") != std::string::npos) return false;
  for (char c : path) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '_' || c == '-' || c == '/';
    if (!plain) return false;
  }
  std::istringstream segments(path);
  std::string segment;
  while (std::getline(segments, segment, '/')) {
    if (segment.empty() || segment.front() == '.') return false;
  }
  return true;
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  std::string text = content.str();
  if (text.size() > kMaxPageFileBytes) return std::nullopt;
  return text;
}

// The page with <base href="PREFIX"> at the start of its head, so that every relative address
// in it (styles, scripts, pictures, frames, links) carries the token prefix.
std::string WithBase(const std::string& html, const std::string& prefix) {
  std::string base = "<base href=\"" + prefix + "\">";
  size_t head = html.find("<head>");
  if (head == std::string::npos) return base + html;
  return html.substr(0, head + 6) + "\n" + base + html.substr(head + 6);
}

std::string JsonBody(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json Failure(const std::string& text) { return Json{{"ok", false}, {"error", BytesToUtf8(text)}}; }

std::set<std::string> SourceNames(const std::string& list) {
  std::set<std::string> names;
  std::istringstream items(list);
  std::string name;
  while (std::getline(items, name, ',')) {
    if (!name.empty()) names.insert(name);
  }
  return names;
}

// True when the page has closed its side of the stream (or the socket failed).
bool PeerClosed(int fd) {
  pollfd watched{fd, POLLIN | POLLRDHUP, 0};
  if (::poll(&watched, 1, 0) <= 0) return false;
  return (watched.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

}  // namespace

OperatorServer::OperatorServer(UiLoop& loop, OperatorAccess access, std::string ui_dir)
    : loop_(loop), access_(std::move(access)), ui_dir_(std::move(ui_dir)), hub_(loop) {
  AddFolder("/ui/", ui_dir_);
}

OperatorServer::~OperatorServer() { Stop(); }

void OperatorServer::AddCommand(const std::string& source, const std::string& name,
                                CommandHandler handler) {
  commands_[source + "." + name] = std::move(handler);
}

void OperatorServer::AddQuery(const std::string& name, QueryHandler handler) {
  queries_[name] = std::move(handler);
}

void OperatorServer::AddPage(const std::string& path, const std::string& file) {
  pages_[path] = file;
}

void OperatorServer::AddFolder(const std::string& prefix, const std::string& directory) {
  folders_[prefix] = directory;
}

void OperatorServer::Start() {
  try {
    socket_ = std::make_unique<ListeningSocket>(access_.port, kAcceptRound,
                                                ListeningSocket::Scope::kLoopback);
  } catch (const QorsvError& error) {
    throw QorsvError("Console port " + std::to_string(access_.port) + ": " + error.what());
  }
  port_ = socket_->Port();
  access_.port = port_;
  accept_thread_ = std::thread([this] { AcceptLoop(); });
}

void OperatorServer::Stop() {
  if (!socket_) return;
  stopping_ = true;
  socket_->Stop();
  if (accept_thread_.joinable()) accept_thread_.join();
  hub_.CloseAll();
  auto deadline = Clock::now() + kStopGrace;
  while (Clock::now() < deadline) {
    {
      std::lock_guard<std::mutex> lock(connections_mutex_);
      bool all_done = true;
      for (const LiveConnection& live : connections_) all_done = all_done && live.done;
      if (all_done) break;
    }
    std::this_thread::sleep_for(milliseconds(10));
  }
  std::list<LiveConnection> remaining;
  {
    std::lock_guard<std::mutex> lock(connections_mutex_);
    for (LiveConnection& live : connections_) live.connection->ShutdownBoth();
    remaining.swap(connections_);
  }
  for (LiveConnection& live : remaining) live.thread.join();
  socket_->Close();
  socket_.reset();
}

void OperatorServer::AcceptLoop() {
  while (!stopping_) {
    ListeningSocket::Accepted accepted;
    ListeningSocket::AcceptResult result = socket_->Accept(accepted);
    ReapFinished();
    if (result == ListeningSocket::AcceptResult::kStopped) return;
    if (result != ListeningSocket::AcceptResult::kAccepted) continue;
    auto connection = std::make_shared<Connection>(accepted.fd, accepted.remote_ip);
    std::lock_guard<std::mutex> lock(connections_mutex_);
    // Beyond the limit a page's connection is closed unanswered; the browser retries.
    if (connections_.size() >= kMaxOperatorConnections) continue;
    connections_.emplace_back();
    auto live = std::prev(connections_.end());
    live->connection = connection;
    live->thread = std::thread([this, live] {
      Serve(*live->connection);
      live->connection->Close();
      std::lock_guard<std::mutex> lock(connections_mutex_);
      live->done = true;
    });
  }
}

void OperatorServer::ReapFinished() {
  std::list<LiveConnection> finished;
  {
    std::lock_guard<std::mutex> lock(connections_mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), connections_, it);
      it = next;
    }
  }
  for (LiveConnection& live : finished) live.thread.join();
}

void OperatorServer::Serve(Connection& connection) {
  try {
    connection.SetIdleTimeout(kRequestTimeout);
    connection.SetReadDeadline(Clock::now() + kRequestTimeout);
    BadOperatorRequest bad{0, ""};
    std::optional<OperatorRequest> request =
        ReadOperatorRequest(connection, connection.RemoteIP(), &bad);
    if (!request) {
      if (bad.status != 0) {
        connection.Write(
            OperatorResponse(bad.status, "text/plain; charset=utf-8", bad.reason + "\n"), false);
      }
      return;
    }
    connection.SetReadDeadline(std::nullopt);
    Answer(connection, *request);
  } catch (const ConnectionLost&) {
    // The page went away; nothing to answer.
  } catch (const std::exception& error) {
    try {
      connection.Write(OperatorResponse(500, kJsonType, JsonBody(Failure(error.what()))), false);
    } catch (const std::exception&) {
    }
  }
}

void OperatorServer::Answer(Connection& connection, const OperatorRequest& request) {
  GuardVerdict verdict = CheckOperatorRequest(request, access_);
  if (verdict.refusal != Refusal::kNone) {
    Refuse(connection, request, RefusalReason(verdict.refusal));
    return;
  }
  const std::string& path = verdict.path;
  bool api = !verdict.by_prefix && path.rfind("/api/", 0) == 0;
  if (request.method == "GET") {
    auto page = verdict.by_prefix ? pages_.end() : pages_.find(path);
    if (page != pages_.end()) {
      ServePage(connection, ui_dir_ + page->second);
    } else if (std::optional<std::string> file = FolderFile(path)) {
      ServeFile(connection, *file);
    } else if (api && path == "/api/events") {
      ServeEvents(connection, request);
    } else if (api) {
      ServeQuery(connection, request, path.substr(5));
    } else {
      connection.Write(OperatorResponse(404, "text/plain; charset=utf-8", "Not found\n"), false);
    }
  } else if (request.method == "POST" && api && path == "/api/command") {
    ServeCommand(connection, request);
  } else {
    connection.Write(OperatorResponse(405, "text/plain; charset=utf-8", "Method not allowed\n"),
                     false);
  }
}

std::optional<std::string> OperatorServer::FolderFile(const std::string& path) const {
  // The longest prefix that matches wins, so a folder may lie inside another's address.
  for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) {
    const std::string& prefix = it->first;
    if (path.rfind(prefix, 0) != 0) continue;
    std::string name = path.substr(prefix.size());
    if (!IsSafeRelativePath(name)) return std::nullopt;
    return it->second + name;
  }
  return std::nullopt;
}

void OperatorServer::Refuse(Connection& connection, const OperatorRequest& request,
                            const std::string& reason) {
  // The path only, less a token prefix: the log is no place for a token, right or wrong.
  WriteLogLine("Console refused " + request.remote_ip + ": " + reason + " (" + request.method +
               " " + PathForLog(request.path) + ")");
  connection.Write(OperatorResponse(403, "text/plain; charset=utf-8", "Forbidden\n"), false);
}

void OperatorServer::ServeFile(Connection& connection, const std::string& path) {
  std::optional<std::string> content = ReadSmallFile(path);
  if (!content) {
    connection.Write(OperatorResponse(404, "text/plain; charset=utf-8", "Not found\n"), false);
    return;
  }
  connection.Write(OperatorResponse(200, ContentTypeFor(path), *content), false);
}

void OperatorServer::ServePage(Connection& connection, const std::string& path) {
  std::optional<std::string> content = ReadSmallFile(path);
  if (!content) {
    connection.Write(OperatorResponse(404, "text/plain; charset=utf-8", "Not found\n"), false);
    return;
  }
  connection.Write(
      OperatorResponse(200, ContentTypeFor(path), WithBase(*content, TokenPathPrefix(access_))),
      false);
}

Json OperatorServer::RunCommand(const std::string& source, const std::string& name,
                                const Json& args) {
  auto handler = commands_.find(source + "." + name);
  if (handler == commands_.end()) throw CommandError("Unknown command " + source + "." + name);
  Json result = handler->second(args.is_object() ? args : Json::object());
  return Json{{"ok", true}, {"result", std::move(result)}};
}

void OperatorServer::ServeCommand(Connection& connection, const OperatorRequest& request) {
  Json body = Json::parse(request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    connection.Write(
        OperatorResponse(400, kJsonType, JsonBody(Failure("The command is not a JSON object."))),
        false);
    return;
  }
  std::string source = body.value("source", "");
  std::string name = body.value("command", "");
  Json args = body.contains("args") ? body["args"] : Json::object();
  int status = 200;
  Json answer;
  bool ran = loop_.PostAndWait([&] {
    try {
      answer = RunCommand(source, name, args);
    } catch (const CommandError& error) {
      status = 400;
      answer = Failure(error.what());
    } catch (const Json::exception& error) {
      status = 400;
      answer = Failure(std::string("Bad arguments: ") + error.what());
    } catch (const std::exception& error) {
      // What a window handler's error does: a message box, and the program carries on.
      loop_.ReportError(error.what());
      answer = Failure(error.what());
    }
    hub_.Publish();
  });
  if (!ran) {
    status = 503;
    answer = Failure("The console has ended.");
  }
  connection.Write(OperatorResponse(status, kJsonType, JsonBody(answer)), false);
}

void OperatorServer::ServeQuery(Connection& connection, const OperatorRequest& request,
                                const std::string& name) {
  auto handler = queries_.find(name);
  if (handler == queries_.end()) {
    connection.Write(OperatorResponse(404, kJsonType, JsonBody(Failure("Unknown query " + name))),
                     false);
    return;
  }
  int status = 200;
  Json answer;
  try {
    answer = handler->second(request);
  } catch (const CommandError& error) {
    status = 400;
    answer = Failure(error.what());
  } catch (const Json::exception& error) {
    status = 400;
    answer = Failure(error.what());
  } catch (const std::exception& error) {
    status = 500;
    answer = Failure(error.what());
  }
  connection.Write(OperatorResponse(status, kJsonType, JsonBody(answer)), false);
}

void OperatorServer::ServeEvents(Connection& connection, const OperatorRequest& request) {
  std::shared_ptr<EventSubscriber> subscriber =
      hub_.Subscribe(SourceNames(request.Query("sources")));
  try {
    connection.Write(OperatorResponseHead(200, "text/event-stream; charset=utf-8", std::nullopt),
                     true);
    // A page whose stream broke comes back after a second.
    connection.Write("retry: 1000\n\n", false);
    if (!subscriber) {
      connection.Write(EventHub::Frame(Json{{"type", "closed"}}), false);
      return;
    }
    auto last_write = Clock::now();
    bool idle = false;
    for (;;) {
      EventSubscriber::Taken taken = subscriber->Wait(kStreamRound);
      if (taken.behind) {
        if (!hub_.Resync(*subscriber)) break;
        continue;
      }
      if (!taken.text.empty()) {
        connection.Write(taken.text, false);
        last_write = Clock::now();
        idle = false;
      } else if (!idle) {
        // The events this thread wrote were made, and mostly freed, elsewhere: once they stop
        // coming, its cache of freed blocks goes back to the allocator's shared pool.
        ReleaseThreadCache();
        idle = true;
      }
      if (taken.closed) {
        connection.Write(EventHub::Frame(Json{{"type", "closed"}}), false);
        break;
      }
      if (PeerClosed(connection.fd())) break;
      if (Clock::now() - last_write >= kKeepAliveGap) {
        connection.Write(": keep-alive\n\n", false);
        last_write = Clock::now();
      }
    }
  } catch (const ConnectionLost&) {
    // The page went away.
  }
  if (subscriber) hub_.Unsubscribe(subscriber);
}

}  // namespace qorsv
