#include "http/http_listener.h"

#include <mutex>
#include <unordered_set>

#include "http/connection_threads.h"
#include "http/request_reader.h"
#include "http/response_writer.h"
#include "transport/open_connections.h"
#include "transport/platform.h"
#include "transport/socket.h"

namespace qorsv {
namespace {

// The listener's connection events. A connection counts as open from its accept to its close.
void HTTPServerConnect() { CountConnectionOpened(); }
void HTTPServerDisconnect() { CountConnectionClosed(); }
// Methods other than GET, POST and HEAD get no answer at all.
void HTTPServerCommandOther(const OtherCommand&) {}

}  // namespace

// What the connection threads share: the handler and the connections that are open, so that
// stopping can close them. Each serving thread keeps it alive.
struct HttpListener::State {
  State(CommandHandler command_handler, std::chrono::milliseconds timeout)
      : handler(std::move(command_handler)), read_timeout(timeout) {}

  void Serve(ListeningSocket::Accepted accepted);
  void ServeRequest(Connection& connection);
  void Register(Connection* connection);
  void Unregister(Connection* connection);
  void ShutdownOpenConnections();

  CommandHandler handler;
  std::chrono::milliseconds read_timeout;
  std::mutex open_mutex;
  std::unordered_set<Connection*> open;  // guarded by open_mutex
  bool stopping = false;                 // guarded by open_mutex
};

void HttpListener::State::Register(Connection* connection) {
  std::lock_guard<std::mutex> lock(open_mutex);
  open.insert(connection);
  // A connection accepted while stopping is closed at once, like the others.
  if (stopping) connection->ShutdownBoth();
}

void HttpListener::State::Unregister(Connection* connection) {
  {
    std::lock_guard<std::mutex> lock(open_mutex);
    open.erase(connection);
  }
  // Closing ends the TCP connection, which takes a while: no other thread waits for it.
  connection->Close();
}

void HttpListener::State::ShutdownOpenConnections() {
  std::lock_guard<std::mutex> lock(open_mutex);
  stopping = true;
  for (Connection* connection : open) connection->ShutdownBoth();
}

void HttpListener::State::Serve(ListeningSocket::Accepted accepted) {
  HTTPServerConnect();
  Connection connection(accepted.fd, std::move(accepted.remote_ip));
  Register(&connection);
  try {
    ServeRequest(connection);
  } catch (...) {
    // A request that cannot be read, or a client that went away: the connection just ends.
  }
  Unregister(&connection);
  HTTPServerDisconnect();
}

void HttpListener::State::ServeRequest(Connection& connection) {
  connection.SetIdleTimeout(read_timeout);
  connection.SetReadDeadline(Clock::now() + read_timeout);
  std::optional<ReadOutcome> outcome = ReadRequest(
      connection, connection.RemoteIP(), [&connection] { connection.SetReadDeadline({}); });
  if (!outcome) return;
  if (outcome->other) {
    HTTPServerCommandOther(*outcome->other);
    return;
  }
  const RequestInfo& request = *outcome->request;
  auto response = std::make_unique<ResponseInfo>();
  ResponseWriter writer(connection, request.Command == "HEAD");
  ConnectionThread thread(CurrentThreadId(), writer);
  try {
    handler(thread, request, *response);
  } catch (const ConnectionLost&) {
    throw;
  } catch (const std::exception& error) {
    response->SetStatusCode(500);
    response->ContentText = error.what();
  } catch (...) {
    response->SetStatusCode(500);
    response->ContentText = "Unknown error.";
  }
  writer.Finish(*response);
}

HttpListener::HttpListener(CommandHandler handler)
    : HttpListener(std::move(handler), kReadTimeout) {}

HttpListener::HttpListener(CommandHandler handler, std::chrono::milliseconds read_timeout)
    : handler_(std::move(handler)), read_timeout_(read_timeout) {}

HttpListener::~HttpListener() { Stop(); }

void HttpListener::Start(uint16_t port) {
  if (state_) return;
  auto socket = std::make_unique<ListeningSocket>(port, ConnectionThreads::kAcceptRound);
  uint16_t bound_port = socket->Port();
  auto state = std::make_shared<State>(handler_, read_timeout_);
  threads_ = ConnectionThreads::Start(std::move(socket), [state](ListeningSocket::Accepted a) {
    state->Serve(std::move(a));
  });
  state_ = std::move(state);
  port_ = bound_port;
}

void HttpListener::Stop() {
  if (!state_) return;
  threads_->StopAccepting();
  state_->ShutdownOpenConnections();
  threads_->WaitUntilIdle(kTerminateWaitTime);
  // Threads still serving keep what they use alive until they end.
  threads_.reset();
  state_.reset();
}

uint16_t HttpListener::Port() const { return state_ ? port_ : 0; }

}  // namespace qorsv
