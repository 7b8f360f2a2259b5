// TCP sockets for the HTTP listener: the listening socket on all IPv4 addresses, accepted client
// connections with reads and writes that time out, complete writes and file sends through
// sendfile.
//
// A ListeningSocket is shared by the threads that accept on it; Stop() may be called from any
// thread. A Connection belongs to the thread that serves it, except ShutdownBoth(), which another
// thread may call to end a blocked read or write (the listener does so when it stops).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "transport/error.h"

namespace qorsv {

// The peer went away, a read or write timed out, or the socket failed: the connection is over
// and nothing more can be sent on it.
class ConnectionLost : public QorsvError {
 public:
  explicit ConnectionLost(const std::string& message) : QorsvError(message) {}
};

// Where a response goes: the client connection, or a buffer in tests.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all of data. more_follows lets the socket hold a short piece back to send it in one
  // packet with what follows. Throws ConnectionLost.
  virtual void Write(std::string_view data, bool more_follows) = 0;
  // Sends up to count bytes of the open file fd from its current offset; returns the number
  // sent, smaller than count only when the file ended early. Throws ConnectionLost.
  virtual uint64_t SendFile(int fd, uint64_t count) = 0;
};

// Files up to this size are copied into the socket together with the response header; longer
// ones go by SendFile, whose pages the network stack may still read after it returns, so a file
// sent that way must not be written over soon after.
constexpr size_t kLargestCopiedBody = 64 * 1024;

// Where a request comes from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to size bytes into buffer, waiting until at least one byte is there; returns 0 when
  // the peer has closed its side. Throws ConnectionLost on time-out or failure.
  virtual size_t ReadSome(char* buffer, size_t size) = 0;
};

using Clock = std::chrono::steady_clock;

class Connection : public ByteSink, public ByteSource {
 public:
  // Takes ownership of a connected socket. Reads wait by poll, with the time-outs below; writes
  // block, up to the send time-out of the socket (SO_SNDTIMEO).
  Connection(int fd, std::string remote_ip);
  ~Connection() override;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  int fd() const { return fd_; }
  const std::string& RemoteIP() const { return remote_ip_; }

  // Reads give up at this moment (when set) and after idle_timeout without any byte arriving.
  void SetReadDeadline(std::optional<Clock::time_point> deadline) { read_deadline_ = deadline; }
  void SetIdleTimeout(std::chrono::milliseconds timeout) { idle_timeout_ = timeout; }

  size_t ReadSome(char* buffer, size_t size) override;
  void Write(std::string_view data, bool more_follows) override;
  uint64_t SendFile(int fd, uint64_t count) override;

  // Ends both directions, waking a thread blocked on this connection.
  void ShutdownBoth();
  // Closes the socket; what was written still reaches the peer. Also done by the destructor.
  void Close();

 private:
  // Waits until there is something to read; throws ConnectionLost on time-out.
  void WaitUntilReadable();

  int fd_;
  std::string remote_ip_;
  std::optional<Clock::time_point> read_deadline_;
  std::chrono::milliseconds idle_timeout_{30000};
};

class ListeningSocket {
 public:
  // Which local addresses a listening socket binds.
  enum class Scope { kAllIPv4, kLoopback };
  // Binds all IPv4 addresses (or 127.0.0.1 only) at the port (0: any free port) and listens.
  // Throws QorsvError: "Could not bind socket. Address and port are already in use." for a port
  // in use, or a text naming the cause for any other failure. Each Accept waits at most
  // accept_round.
  ListeningSocket(uint16_t port, std::chrono::milliseconds accept_round,
                  Scope scope = Scope::kAllIPv4);
  ~ListeningSocket();
  ListeningSocket(const ListeningSocket&) = delete;
  ListeningSocket& operator=(const ListeningSocket&) = delete;

  uint16_t Port() const { return port_; }

  struct Accepted {
    int fd;  // blocking, with a 30 s send time-out
    std::string remote_ip;
  };
  enum class AcceptResult { kAccepted, kNothing, kStopped };
  // Waits one round for a client. Several threads may wait at once; each client goes to one.
  // kStopped once Stop() was called.
  AcceptResult Accept(Accepted& accepted);

  // Stops listening: every waiting and later Accept returns kStopped; new clients are refused.
  void Stop();
  // Frees the port. Only after Stop, once no thread is inside Accept any more.
  void Close();

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopped_{false};
};

}  // namespace qorsv
