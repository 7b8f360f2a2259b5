// The SMTP client that scripts send mail through, and the message it sends.
//
// The script host keeps one process-wide SmtpClient (the `smtp` object of the mail functions)
// and fills a MailMessage (the `mail` object) for it. The client opens a session ("ehlo", or
// "Helo" when that is refused), sends messages ("Rset", "Mail from:", "RCPT to:", "Data", the
// dot-stuffed message, ".") and closes the session ("Quit"). It never authenticates: the user id
// and password are kept but not sent.
//
// Threading: every member may be called from any thread. Session operations (Connect, Send,
// Disconnect) run one at a time; the settings have their own lock, so setting them never waits
// for a session operation that a slow server holds up.
//
// Failures are thrown as QorsvError carrying the message for the script: the transport's text,
// or for an unexpected reply code an SmtpReplyError carrying the server's reply text. A failed
// Connect leaves the client disconnected. A Send refused by a reply code leaves the session
// open; a network failure or time-out (the reply stream is then out of step) closes it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/error.h"

namespace qorsv {

class SmtpChannel;

// A mail address: display name and address text, either of which may be empty.
struct MailAddress {
  std::string name;
  std::string address;
  bool operator==(const MailAddress&) const = default;
};

struct MailMessage {
  std::string subject;
  std::vector<std::string> body;  // lines without line ends
  std::vector<MailAddress> recipients;
  std::vector<MailAddress> cc_list;
  std::vector<MailAddress> bcc_list;  // envelope only, never written into the headers
  MailAddress from;
  MailAddress sender;
  std::vector<MailAddress> reply_to;
};

// One address as a header writes it: the address text alone when there is no name, else the
// name (quoted when it holds anything but plain words) followed by "<" address text ">".
std::string FormatAddress(const MailAddress& address);

// The members of a list as FormatAddress writes them, joined by ", ".
std::string FormatAddressList(const std::vector<MailAddress>& list);

// A moment as a message's Date header writes it, in local time with its numeric zone:
// "Tue, 09 Dec 2025 05:46:00 +0100".
std::string MessageDateText(std::time_t moment);

// The message as it travels after "Data": header lines, an empty line, the body lines, each line
// ending in CR LF and dot-stuffed; the final "." line is not included. Headers with an empty
// value are left out; line breaks inside a header value become blanks, so that no text can add
// a header of its own.
std::string FormatMessageData(const MailMessage& message, const std::string& mail_agent,
                              std::time_t date);

// A reply code other than the one a command expects.
class SmtpReplyError : public QorsvError {
 public:
  SmtpReplyError(int code, const std::string& text) : QorsvError(text), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

struct SmtpSettings {
  std::string host;
  uint16_t port = 25;
  std::string user_id;
  std::string password;
  std::string mail_agent;  // written as the X-Mailer header
};

class SmtpClient {
 public:
  static constexpr std::chrono::milliseconds kDefaultTimeout{30000};

  SmtpClient();
  ~SmtpClient();
  SmtpClient(const SmtpClient&) = delete;
  SmtpClient& operator=(const SmtpClient&) = delete;

  void SetHost(const std::string& host);
  void SetPort(uint16_t port);
  void SetUserId(const std::string& user_id);
  void SetPassword(const std::string& password);
  void SetMailAgent(const std::string& mail_agent);
  SmtpSettings Settings() const;

  // Limits for making the connection and for each wait on the server (reply or taking data).
  void SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds reply);

  // Connects to the host and port, reads the 220 greeting and greets with "ehlo", falling back
  // to "Helo". Throws "Already connected" when a session is open.
  void Connect();
  // Sends "Quit" when connected and closes the connection in any case; a failure of the "Quit"
  // exchange is thrown after the connection is closed.
  void Disconnect();
  // Sends one message over the open session. Throws "Not connected" when there is none.
  void Send(const MailMessage& message);

  bool Connected() const { return connected_; }
  // The authentication mechanisms the server offered in its reply to "ehlo" (never used).
  std::vector<std::string> AuthMechanisms() const;

 private:
  struct Reply {
    int code = 0;
    std::vector<std::string> lines;  // the text of each reply line, after the code
  };

  Reply ReadReply();
  Reply Command(const std::string& command);
  void Expect(const Reply& reply, int code);
  void CloseSession();
  std::chrono::milliseconds ReplyTimeout() const;

  mutable std::mutex settings_mutex_;
  SmtpSettings settings_;
  std::chrono::milliseconds connect_timeout_ = kDefaultTimeout;
  std::chrono::milliseconds reply_timeout_ = kDefaultTimeout;
  std::vector<std::string> auth_mechanisms_;

  std::mutex session_mutex_;  // one session operation at a time
  std::unique_ptr<SmtpChannel> channel_;
  std::atomic<bool> connected_{false};
};

}  // namespace qorsv
