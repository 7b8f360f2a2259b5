// The HTTP listener HTTPServer: accepts TCP connections on all IPv4 addresses, reads exactly one
// request from each, hands GET, POST and HEAD requests to the command handler (the dispatcher)
// on the connection's own thread, writes the response the handler left, and closes the
// connection. Other methods are closed without a byte; an error escaping the handler becomes a
// status 500 answer whose body is the error's text.
//
// Start and Stop are called by the console's thread. Connections are served concurrently, each
// alone on its thread; OpenConnections counts them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "http/connection_thread.h"
#include "transport/http_records.h"

namespace qorsv {

class ConnectionThreads;

class HttpListener {
 public:
  using CommandHandler =
      std::function<void(ConnectionThread&, const RequestInfo&, ResponseInfo&)>;

  // Longest wait for connection threads when listening stops.
  static constexpr std::chrono::milliseconds kTerminateWaitTime{1000};
  // A client that sends nothing for this long, or has not sent its request line and headers
  // within it, is dropped.
  static constexpr std::chrono::milliseconds kReadTimeout{30000};

  explicit HttpListener(CommandHandler handler);
  // The read time-out applies to connections accepted after the next Start.
  explicit HttpListener(CommandHandler handler, std::chrono::milliseconds read_timeout);
  ~HttpListener();
  HttpListener(const HttpListener&) = delete;
  HttpListener& operator=(const HttpListener&) = delete;

  // Active := true: binds and starts accepting (port 0: any free port). Throws QorsvError with
  // "Could not bind socket. Address and port are already in use." or a text naming the cause.
  void Start(uint16_t port);
  // Active := false: stops accepting, closes every open connection and waits up to
  // kTerminateWaitTime for the connection threads to end.
  void Stop();

  bool Active() const { return state_ != nullptr; }
  // The port listened on (0 when not active).
  uint16_t Port() const;

 private:
  struct State;
  CommandHandler handler_;
  std::chrono::milliseconds read_timeout_;
  std::shared_ptr<State> state_;
  std::shared_ptr<ConnectionThreads> threads_;
  uint16_t port_ = 0;
};

}  // namespace qorsv
