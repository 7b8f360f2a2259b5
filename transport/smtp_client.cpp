// The SMTP client: message formatting and the command exchange with the server.

#include "transport/smtp_client.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "transport/smtp_channel.h"

namespace qorsv {
namespace {

// Header lines longer than this are folded at a blank.
constexpr size_t kFoldColumn = 78;

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

// Splits at CR LF, CR or LF; a break at the very end adds no empty line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && !IsLineBreak(text[end])) ++end;
    lines.push_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      ++end;
    }
    start = end + 1;
  }
  return lines;
}

// Every line break (CR LF, CR or LF) becomes one blank.
std::string OneLine(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsLineBreak(text[i])) {
      out += text[i];
      continue;
    }
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    out += ' ';
  }
  return out;
}

// Letters, digits and the other characters a name may hold unquoted; 8-bit bytes travel as they
// are.
bool IsAtomCharacter(unsigned char c) {
  return std::isalnum(c) || c >= 0x80 || std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr;
}

std::string DisplayName(const std::string& name) {
  bool plain = name.front() != ' ' && name.back() != ' ';
  for (unsigned char c : name) plain = plain && (c == ' ' || IsAtomCharacter(c));
  if (plain) return name;
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// The address text to put between the brackets after a name. An address text that is itself
// written as "name <address>" (the Sender's text is kept as the script passed it) gives only its
// bracketed part, so that the header never carries brackets inside brackets.
std::string AddressInBrackets(const std::string& text) {
  const size_t open = text.find('<');
  if (open == std::string::npos || text.empty() || text.back() != '>') return text;
  std::string inner = text.substr(open + 1, text.size() - open - 2);
  const size_t first = inner.find_first_not_of(' ');
  const size_t last = inner.find_last_not_of(' ');
  return first == std::string::npos ? "" : inner.substr(first, last - first + 1);
}

// Breaks a header line longer than kFoldColumn before a blank; the unfolded text is unchanged.
std::string FoldHeaderLine(const std::string& line, size_t name_size) {
  std::string out;
  size_t start = 0;
  while (line.size() - start > kFoldColumn) {
    const size_t limit = start + kFoldColumn;
    size_t cut = line.rfind(' ', limit);
    if (cut == std::string::npos || cut <= start + (start == 0 ? name_size + 1 : 0)) {
      cut = line.find(' ', limit);  // no blank early enough: break at the next one
      if (cut == std::string::npos) break;
    }
    out += line.substr(start, cut - start) + "\r\n";
    start = cut;
  }
  return out + line.substr(start) + "\r\n";
}

void AddHeader(std::string& out, const std::string& name, const std::string& value) {
  if (value.empty()) return;
  out += FoldHeaderLine(name + ": " + OneLine(value), name.size());
}

void AddBody(std::string& out, const std::vector<std::string>& body) {
  for (const std::string& text : body) {
    // A line holding breaks of its own travels as several lines, each of them dot-stuffed.
    const std::vector<std::string> lines =
        text.empty() ? std::vector<std::string>{""} : SplitLines(text);
    for (const std::string& line : lines) {
      if (!line.empty() && line[0] == '.') out += '.';
      out += line + "\r\n";
    }
  }
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

// An address holding a line break would smuggle a command of its own into the session.
void CheckEnvelope(const MailMessage& message) {
  auto check = [](const MailAddress& a) {
    if (HasLineBreak(a.address)) throw QorsvError("Mail address contains a line break");
  };
  check(message.from);
  for (const auto* list : {&message.recipients, &message.cc_list, &message.bcc_list}) {
    for (const MailAddress& a : *list) check(a);
  }
}

std::string LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

// "AUTH PLAIN LOGIN" or the older "AUTH=PLAIN LOGIN" among the ehlo reply lines.
std::vector<std::string> AuthMechanismsOf(const std::vector<std::string>& ehlo_lines) {
  std::vector<std::string> mechanisms;
  for (const std::string& line : ehlo_lines) {
    if (!StartsWithNoCase(line, "AUTH ") && !StartsWithNoCase(line, "AUTH=")) continue;
    size_t pos = 5;
    while (pos < line.size()) {
      const size_t end = std::min(line.find(' ', pos), line.size());
      if (end > pos) mechanisms.push_back(line.substr(pos, end - pos));
      pos = end + 1;
    }
  }
  return mechanisms;
}

}  // namespace

std::string FormatAddress(const MailAddress& address) {
  if (address.name.empty()) return address.address;
  return DisplayName(address.name) + " <" + AddressInBrackets(address.address) + ">";
}

std::string FormatAddressList(const std::vector<MailAddress>& list) {
  std::string out;
  for (const MailAddress& a : list) {
    if (!out.empty()) out += ", ";
    out += FormatAddress(a);
  }
  return out;
}

std::string MessageDateText(std::time_t moment) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  localtime_r(&moment, &local);
  const long offset_minutes = local.tm_gmtoff / 60;
  const long zone = std::labs(offset_minutes);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                local.tm_hour, local.tm_min, local.tm_sec, offset_minutes < 0 ? '-' : '+',
                zone / 60, zone % 60);
  return text;
}

std::string FormatMessageData(const MailMessage& message, const std::string& mail_agent,
                              std::time_t date) {
  std::string out;
  AddHeader(out, "From", FormatAddress(message.from));
  AddHeader(out, "Subject", message.subject);
  AddHeader(out, "To", FormatAddressList(message.recipients));
  AddHeader(out, "Cc", FormatAddressList(message.cc_list));
  AddHeader(out, "Sender", FormatAddress(message.sender));
  AddHeader(out, "Reply-To", FormatAddressList(message.reply_to));
  AddHeader(out, "Date", MessageDateText(date));
  AddHeader(out, "X-Priority", "3");
  AddHeader(out, "X-Mailer", mail_agent);
  out += "\r\n";
  AddBody(out, message.body);
  return out;
}

SmtpClient::SmtpClient() = default;
SmtpClient::~SmtpClient() = default;

void SmtpClient::SetHost(const std::string& host) {
  std::lock_guard lock(settings_mutex_);
  settings_.host = host;
}

void SmtpClient::SetPort(uint16_t port) {
  std::lock_guard lock(settings_mutex_);
  settings_.port = port;
}

void SmtpClient::SetUserId(const std::string& user_id) {
  std::lock_guard lock(settings_mutex_);
  settings_.user_id = user_id;
}

void SmtpClient::SetPassword(const std::string& password) {
  std::lock_guard lock(settings_mutex_);
  settings_.password = password;
}

void SmtpClient::SetMailAgent(const std::string& mail_agent) {
  std::lock_guard lock(settings_mutex_);
  settings_.mail_agent = mail_agent;
}

SmtpSettings SmtpClient::Settings() const {
  std::lock_guard lock(settings_mutex_);
  return settings_;
}

void SmtpClient::SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds reply) {
  std::lock_guard lock(settings_mutex_);
  connect_timeout_ = connect;
  reply_timeout_ = reply;
}

std::chrono::milliseconds SmtpClient::ReplyTimeout() const {
  std::lock_guard lock(settings_mutex_);
  return reply_timeout_;
}

std::vector<std::string> SmtpClient::AuthMechanisms() const {
  std::lock_guard lock(settings_mutex_);
  return auth_mechanisms_;
}

// A reply is one or more lines "ddd-text" ending with a line "ddd text" (or just "ddd").
SmtpClient::Reply SmtpClient::ReadReply() {
  constexpr size_t kMaxReplyLines = 1000;
  const std::chrono::milliseconds timeout = ReplyTimeout();
  Reply reply;
  for (;;) {
    const std::string line = channel_->ReadLine(timeout);
    const bool coded = line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                       std::isdigit(static_cast<unsigned char>(line[1])) &&
                       std::isdigit(static_cast<unsigned char>(line[2])) &&
                       (line.size() == 3 || line[3] == ' ' || line[3] == '-');
    if (!coded) throw QorsvError("The mail server sent an invalid reply: " + line);
    reply.code = std::stoi(line.substr(0, 3));
    reply.lines.push_back(line.size() > 4 ? line.substr(4) : "");
    if (line.size() == 3 || line[3] == ' ') return reply;
    if (reply.lines.size() >= kMaxReplyLines) {
      throw QorsvError("The mail server sent a reply that is too long");
    }
  }
}

SmtpClient::Reply SmtpClient::Command(const std::string& command) {
  channel_->WriteAll(command + "\r\n", ReplyTimeout());
  return ReadReply();
}

// The error carries the server's reply text, its lines joined by CR LF; a reply without text
// carries its code.
void SmtpClient::Expect(const Reply& reply, int code) {
  if (reply.code == code) return;
  std::string text;
  for (const std::string& line : reply.lines) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  if (text.empty()) text = std::to_string(reply.code);
  throw SmtpReplyError(reply.code, text);
}

void SmtpClient::CloseSession() {
  channel_.reset();
  connected_ = false;
}

void SmtpClient::Connect() {
  std::lock_guard session(session_mutex_);
  if (channel_) throw QorsvError("Already connected");
  SmtpSettings settings;
  std::chrono::milliseconds connect_timeout;
  {
    std::lock_guard lock(settings_mutex_);
    settings = settings_;
    connect_timeout = connect_timeout_;
    auth_mechanisms_.clear();
  }
  channel_ = SmtpChannel::Connect(settings.host, settings.port, connect_timeout);
  try {
    Expect(ReadReply(), 220);
    const std::string local_name = LocalHostName();
    const Reply ehlo = Command("ehlo " + local_name);
    if (ehlo.code == 250) {
      std::lock_guard lock(settings_mutex_);
      auth_mechanisms_ = AuthMechanismsOf(ehlo.lines);
    } else {
      Expect(Command("Helo " + local_name), 250);
    }
  } catch (...) {
    CloseSession();
    throw;
  }
  connected_ = true;
}

void SmtpClient::Send(const MailMessage& message) {
  std::lock_guard session(session_mutex_);
  if (!channel_) throw QorsvError("Not connected");
  CheckEnvelope(message);
  const std::string data = FormatMessageData(message, Settings().mail_agent, std::time(nullptr));
  try {
    Command("Rset");
    Expect(Command("Mail from:<" + message.from.address + ">"), 250);
    for (const auto* list : {&message.recipients, &message.cc_list, &message.bcc_list}) {
      for (const MailAddress& a : *list) Expect(Command("RCPT to:<" + a.address + ">"), 250);
    }
    Expect(Command("Data"), 354);
    channel_->WriteAll(data, ReplyTimeout());
    Expect(Command("."), 250);
  } catch (const SmtpReplyError&) {
    throw;  // the server refused; the session itself is still in step
  } catch (...) {
    CloseSession();
    throw;
  }
}

void SmtpClient::Disconnect() {
  std::lock_guard session(session_mutex_);
  if (!channel_) return;
  try {
    Command("Quit");
  } catch (...) {
    CloseSession();
    throw;
  }
  CloseSession();
}

}  // namespace qorsv
