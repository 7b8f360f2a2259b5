// A TCP connection to a mail server, read line by line, with a time limit on every wait.
//
// Used by SmtpClient only. One SmtpChannel belongs to one client session; it is not safe to use
// from two threads at once. Every failure (name not found, connection refused, time-out, the
// peer closing, a network error) is thrown as QorsvError with a message for the script.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qorsv {

class SmtpChannel {
 public:
  // Longest reply line accepted; a server sending more without a line end is refused.
  static constexpr size_t kMaxLineLength = 4096;

  // Resolves host and connects to the first of its addresses that accepts within `timeout`
  // (one limit for all attempts together).
  static std::unique_ptr<SmtpChannel> Connect(const std::string& host, uint16_t port,
                                              std::chrono::milliseconds timeout);

  ~SmtpChannel();
  SmtpChannel(const SmtpChannel&) = delete;
  SmtpChannel& operator=(const SmtpChannel&) = delete;

  // The next line without its line end (CR LF, or a lone LF).
  std::string ReadLine(std::chrono::milliseconds timeout);

  // Writes all of data; `timeout` bounds each wait for the peer to take more.
  void WriteAll(std::string_view data, std::chrono::milliseconds timeout);

 private:
  explicit SmtpChannel(int fd) : fd_(fd) {}
  // Waits until fd_ is ready for `events`; false on time-out.
  bool WaitFor(short events, std::chrono::milliseconds timeout);

  int fd_;
  std::string pending_;  // bytes received but not yet returned as a line
};

}  // namespace qorsv
