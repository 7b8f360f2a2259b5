#include "http/http_listener.h"

#include <atomic>
#include <mutex>
#include <unordered_set>

#include "http/request_reader.h"
#include "http/response_writer.h"
#include "http/worker_pool.h"
#include "transport/open_connections.h"
#include "transport/platform.h"
#include "transport/socket.h"

namespace qorsv {
namespace {

constexpr std::chrono::milliseconds kAcceptRound{1000};

// The listener's connection events. A connection counts as open from its accept to its close.
void HTTPServerConnect() { CountConnectionOpened(); }
void HTTPServerDisconnect() { CountConnectionClosed(); }
// Methods other than GET, POST and HEAD get no answer at all.
void HTTPServerCommandOther(const OtherCommand&) {}

}  // namespace

struct HttpListener::State {
  State(CommandHandler command_handler, std::chrono::milliseconds timeout, uint16_t port)
      : handler(std::move(command_handler)),
        read_timeout(timeout),
        socket(std::make_unique<ListeningSocket>(port)),
        pool(WorkerPool::Create()) {}

  // Runs on the accept thread; every connection's job keeps the state alive while it runs.
  static void AcceptLoop(const std::shared_ptr<State>& self);
  void Serve(Connection& connection);
  void Register(Connection* connection);
  void Unregister(Connection* connection);
  void ShutdownOpenConnections();

  CommandHandler handler;
  std::chrono::milliseconds read_timeout;
  std::unique_ptr<ListeningSocket> socket;  // closed when listening stops
  std::shared_ptr<WorkerPool> pool;
  std::atomic<bool> stopping{false};
  std::mutex open_mutex;
  std::unordered_set<Connection*> open;  // guarded by open_mutex
};

void HttpListener::State::Register(Connection* connection) {
  std::lock_guard<std::mutex> lock(open_mutex);
  open.insert(connection);
  // A connection accepted while stopping is closed at once, like the others.
  if (stopping) connection->ShutdownBoth();
}

void HttpListener::State::Unregister(Connection* connection) {
  std::lock_guard<std::mutex> lock(open_mutex);
  open.erase(connection);
  connection->Close();
}

void HttpListener::State::ShutdownOpenConnections() {
  std::lock_guard<std::mutex> lock(open_mutex);
  for (Connection* connection : open) connection->ShutdownBoth();
}

void HttpListener::State::AcceptLoop(const std::shared_ptr<State>& self) {
  while (!self->stopping) {
    std::optional<ListeningSocket::Accepted> accepted = self->socket->Accept(kAcceptRound);
    if (!accepted) continue;
    HTTPServerConnect();
    auto connection = std::make_shared<Connection>(accepted->fd, accepted->remote_ip);
    self->Register(connection.get());
    try {
      self->pool->Submit([self, connection] { self->Serve(*connection); });
    } catch (...) {
      // No thread to serve it: the client is dropped.
      self->Unregister(connection.get());
      HTTPServerDisconnect();
    }
  }
}

void HttpListener::State::Serve(Connection& connection) {
  connection.SetIdleTimeout(read_timeout);
  connection.SetReadDeadline(Clock::now() + read_timeout);
  try {
    std::optional<ReadOutcome> outcome = ReadRequest(
        connection, connection.RemoteIP(), [&connection] { connection.SetReadDeadline({}); });
    if (outcome && outcome->other) {
      HTTPServerCommandOther(*outcome->other);
    } else if (outcome && outcome->request) {
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
  } catch (...) {
    // A request that cannot be read, or a client that went away: the connection just ends.
  }
  Unregister(&connection);
  HTTPServerDisconnect();
}

HttpListener::HttpListener(CommandHandler handler)
    : HttpListener(std::move(handler), kReadTimeout) {}

HttpListener::HttpListener(CommandHandler handler, std::chrono::milliseconds read_timeout)
    : handler_(std::move(handler)), read_timeout_(read_timeout) {}

HttpListener::~HttpListener() { Stop(); }

void HttpListener::Start(uint16_t port) {
  if (state_) return;
  state_ = std::make_shared<State>(handler_, read_timeout_, port);
  port_ = state_->socket->Port();
  accept_thread_ = std::thread([state = state_] { State::AcceptLoop(state); });
}

void HttpListener::Stop() {
  if (!state_) return;
  state_->stopping = true;
  state_->socket->Wake();
  accept_thread_.join();
  state_->socket.reset();
  state_->ShutdownOpenConnections();
  state_->pool->Stop();
  state_->pool->WaitIdle(kTerminateWaitTime);
  // Threads still running keep the state alive until they end.
  state_.reset();
}

uint16_t HttpListener::Port() const { return state_ ? port_ : 0; }

}  // namespace qorsv
