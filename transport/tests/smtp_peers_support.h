// Mail servers for tests of the SMTP client and the script mail functions, on 127.0.0.1 only.
//
// MailSink runs a real SMTP server (smtp_sink_support.py on aiosmtpd) in a child process and
// reads back the envelopes and messages it stored. ScriptedSmtpPeer is an in-process server on a
// thread that answers each command as a test scripts it (refusals, multi-line replies, silence)
// and records every line it receives. Both stop what they started when they are destroyed:
// the child by its process id, the thread by joining it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qorsv::testing {

// One message as the sink received it.
struct ReceivedMail {
  std::string mail_from;
  std::vector<std::string> rcpt_tos;
  std::string data;  // headers, empty line, body; CR LF line ends

  // The unfolded value of the first header of that name (case ignored), or "" when absent.
  std::string Header(const std::string& name) const {
    const std::vector<std::string> lines = Lines(HeaderBlock());
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      if (line.size() <= name.size() || line[name.size()] != ':' ||
          strncasecmp(line.c_str(), name.c_str(), name.size()) != 0) {
        continue;
      }
      std::string value = line.substr(name.size() + 1);
      for (size_t j = i + 1;
           j < lines.size() && !lines[j].empty() && (lines[j][0] == ' ' || lines[j][0] == '\t');
           ++j) {
        value += lines[j];
      }
      const size_t start = value.find_first_not_of(' ');
      return start == std::string::npos ? "" : value.substr(start);
    }
    return "";
  }
  // Header names in the order they appear.
  std::vector<std::string> HeaderNames() const {
    std::vector<std::string> names;
    for (const std::string& line : Lines(HeaderBlock())) {
      if (!line.empty() && line[0] != ' ' && line[0] != '\t') {
        names.push_back(line.substr(0, line.find(':')));
      }
    }
    return names;
  }
  bool HasHeader(const std::string& name) const {
    for (const std::string& n : HeaderNames()) {
      if (strcasecmp(n.c_str(), name.c_str()) == 0) return true;
    }
    return false;
  }
  std::string Body() const {
    const size_t end = data.find("\r\n\r\n");
    return end == std::string::npos ? "" : data.substr(end + 4);
  }

 private:
  std::string HeaderBlock() const { return data.substr(0, data.find("\r\n\r\n")); }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
      const size_t end = text.find("\r\n", start);
      lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
      if (end == std::string::npos) break;
      start = end + 2;
    }
    return lines;
  }
};

class MailSink {
 public:
  MailSink() {
    dir_ = std::filesystem::temp_directory_path() /
           ("qorsv-mailsink-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::create_directories(dir_);
    Start();
  }
  ~MailSink() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  MailSink(const MailSink&) = delete;
  MailSink& operator=(const MailSink&) = delete;

  uint16_t port() const { return port_; }

  std::vector<ReceivedMail> Messages() const {
    std::vector<ReceivedMail> messages;
    for (int n = 1;; ++n) {
      const std::filesystem::path base = dir_ / std::to_string(n);
      std::ifstream envelope(base.string() + ".envelope", std::ios::binary);
      if (!envelope) break;
      ReceivedMail mail;
      std::getline(envelope, mail.mail_from);
      for (std::string rcpt; std::getline(envelope, rcpt);) mail.rcpt_tos.push_back(rcpt);
      std::ifstream data(base.string() + ".data", std::ios::binary);
      std::ostringstream bytes;
      bytes << data.rdbuf();
      mail.data = bytes.str();
      messages.push_back(mail);
    }
    return messages;
  }

 private:
  static std::string Python() {
    // Debian's interpreter is the one that sees the python3-aiosmtpd package.
    return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
  }

  void Start() {
    const std::string script =
        (std::filesystem::path(__FILE__).parent_path() / "smtp_sink_support.py").string();
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      const std::string python = Python();
      execlp(python.c_str(), python.c_str(), script.c_str(), dir_.c_str(), nullptr);
      _exit(127);
    }
    close(out[1]);
    std::string line;
    pollfd pfd{out[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      if (poll(&pfd, 1, 100) <= 0) continue;
      char buffer[64];
      const ssize_t got = read(out[0], buffer, sizeof buffer);
      if (got <= 0) break;
      line.append(buffer, static_cast<size_t>(got));
    }
    close(out[0]);
    port_ = static_cast<uint16_t>(std::atoi(line.c_str()));
    if (port_ == 0) {
      throw std::runtime_error("the mail sink did not start (is python3-aiosmtpd installed?)");
    }
  }

  static inline std::atomic<int> counter_{0};
  std::filesystem::path dir_;
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

// What a ScriptedSmtpPeer answers. Replies are keyed by the command's first word in upper case
// ("EHLO", "MAIL", "RCPT", ...; "." for the end of the message) and given as complete reply
// texts with their CR LF line ends. An empty text means: never answer that command (nor the
// greeting, when the greeting is empty).
struct PeerScript {
  std::string greeting = "220 peer.test ESMTP\r\n";
  std::map<std::string, std::string> replies;

  std::string ReplyTo(const std::string& verb) const {
    if (auto it = replies.find(verb); it != replies.end()) return it->second;
    if (verb == "DATA") return "354 End data with <CR><LF>.<CR><LF>\r\n";
    if (verb == "QUIT") return "221 Bye\r\n";
    return "250 OK\r\n";
  }
};

class ScriptedSmtpPeer {
 public:
  explicit ScriptedSmtpPeer(PeerScript script) : script_(std::move(script)) {
    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listen_fd_, 4) != 0 ||
        getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      throw std::runtime_error("scripted peer: cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedSmtpPeer() {
    stop_ = true;
    thread_.join();
    close(listen_fd_);
  }
  ScriptedSmtpPeer(const ScriptedSmtpPeer&) = delete;
  ScriptedSmtpPeer& operator=(const ScriptedSmtpPeer&) = delete;

  uint16_t port() const { return port_; }

  // Every line received so far, without its line end, message lines included.
  std::vector<std::string> Received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  // Waits for input on fd while the peer runs; false once it is stopping.
  bool WaitReadable(int fd) {
    pollfd pfd{fd, POLLIN, 0};
    while (!stop_) {
      if (poll(&pfd, 1, 20) > 0) return true;
    }
    return false;
  }

  void Send(int fd, const std::string& text) {
    if (!text.empty()) ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
  }

  void Serve() {
    while (WaitReadable(listen_fd_)) {
      const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ServeSession(fd);
      close(fd);
    }
  }

  void ServeSession(int fd) {
    Send(fd, script_.greeting);
    std::string pending;
    bool in_data = false;
    while (WaitReadable(fd)) {
      char buffer[1024];
      const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) return;
      pending.append(buffer, static_cast<size_t>(got));
      for (size_t end; (end = pending.find("\r\n")) != std::string::npos;) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 2);
        {
          std::lock_guard lock(mutex_);
          received_.push_back(line);
        }
        if (in_data && line != ".") continue;
        const std::string verb = in_data ? "." : Verb(line);
        const std::string reply = script_.ReplyTo(verb);
        Send(fd, reply);
        in_data = verb == "DATA" && reply.rfind("354", 0) == 0;
        if (verb == "QUIT") return;
      }
    }
  }

  static std::string Verb(const std::string& line) {
    std::string verb = line.substr(0, line.find(' '));
    for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return verb;
  }

  PeerScript script_;
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> received_;
  std::thread thread_;
};

}  // namespace qorsv::testing
