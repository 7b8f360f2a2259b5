// soak_load PORT REQUESTS CONNECTIONS EXPECTED_DIR [FIRST_TOKEN]: the soak's load generator.
//
// Keeps CONNECTIONS connections to 127.0.0.1:PORT busy until REQUESTS requests have been
// answered, one request per connection (the server closes after each answer). The requests
// cycle through a fixed mix of kinds (see kMix); every answer is checked for its status, its
// Content-Length and its whole body against the expected body of its kind, read from
// EXPECTED_DIR/<kind>.txt, in which "@@" stands for the request's own token (so an answer meant
// for another request, or a stale one, is caught). Request number n has the token "r" + n;
// FIRST_TOKEN (default 0) lets several runs against one server keep their tokens apart.
//
// Prints "sent N", "wrong N", "seconds S", "rate R" and one "kind NAME N" line per kind on
// standard output, and the first wrong answers on standard error. Exit status 0 when every
// answer was right, 1 otherwise, 2 on bad arguments. Single-threaded, with epoll.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

enum Kind { kStatic1k, kStatic100k, kHello, kSql, kNotFound, kForm, kUpload, kKindCount };
const char* const kKindNames[kKindCount] = {"static1k", "static100k", "hello", "sql",
                                            "notfound", "form",       "upload"};
const int kStatus[kKindCount] = {200, 200, 200, 200, 404, 200, 200};

// One period of the mix: 100 requests, in an order that spreads each kind over the period.
constexpr int kMix[kKindCount] = {25, 10, 25, 10, 10, 12, 8};
// Every this many uploads one is large enough to be spooled to a file by the server.
constexpr uint64_t kLargeUploadEvery = 1000;
constexpr size_t kSmallUpload = 2048;
constexpr size_t kLargeUpload = 1536 * 1024;
constexpr int kIdleSeconds = 60;  // an answer that makes no progress this long is wrong
constexpr int kReportedWrong = 5;

std::vector<Kind> MixPeriod() {
  std::vector<Kind> period;
  int left[kKindCount];
  std::copy(std::begin(kMix), std::end(kMix), left);
  for (bool added = true; added;) {
    added = false;
    for (int k = 0; k < kKindCount; ++k) {
      if (left[k]-- > 0) {
        period.push_back(static_cast<Kind>(k));
        added = true;
      }
    }
  }
  return period;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(2);
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Replace(std::string text, const std::string& token) {
  for (size_t at = text.find("@@"); at != std::string::npos; at = text.find("@@", at)) {
    text.replace(at, 2, token);
    at += token.size();
  }
  return text;
}

// The uploaded file: one line of text of the given size, beginning with the token.
std::string UploadContent(const std::string& token, size_t size) {
  std::string content = token + ":";
  while (content.size() < size) content += "abcdefghijklmnopqrstuvwxyz0123456789";
  content.resize(size);
  return content;
}

struct Exchange {
  std::string request;
  std::string expected_body;
  int expected_status = 200;
  Kind kind = kStatic1k;
};

class Requests {
 public:
  explicit Requests(const std::string& expected_dir) : period_(MixPeriod()) {
    for (int k = 0; k < kKindCount; ++k) {
      templates_[k] = ReadFile(expected_dir + "/" + kKindNames[k] + ".txt");
    }
  }

  Exchange Make(uint64_t n) {
    Exchange exchange;
    exchange.kind = period_[n % period_.size()];
    exchange.expected_status = kStatus[exchange.kind];
    const std::string token = "r" + std::to_string(n);
    std::string expected = Replace(templates_[exchange.kind], token);
    const std::string head_end = " HTTP/1.1\r\nHost: soak.test\r\nUser-Agent: soak_load\r\n";
    switch (exchange.kind) {
      case kStatic1k:
        exchange.request = "GET /s1k.txt" + head_end + "\r\n";
        break;
      case kStatic100k:
        exchange.request = "GET /s100k.bin" + head_end + "\r\n";
        break;
      case kHello:
        exchange.request = "GET /hello.html?name=" + token + head_end + "\r\n";
        break;
      case kSql:
        exchange.request = "GET /rows.html" + head_end + "\r\n";
        break;
      case kNotFound:
        exchange.request = "GET /missing-" + token + ".html" + head_end + "\r\n";
        break;
      case kForm: {
        std::string body = "a=" + token + "&b=two+words%21";
        exchange.request =
            "POST /form.html" + head_end + "Content-Type: " +
            "application/x-www-form-urlencoded\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\n\r\n" + body;
        break;
      }
      case kUpload: {
        bool large = ++uploads_ % kLargeUploadEvery == 0;
        std::string content = UploadContent(token, large ? kLargeUpload : kSmallUpload);
        const std::string boundary = "----------------------------soak" + token;
        std::string body =
            "--" + boundary + "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\n" + token +
            "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" +
            token + ".txt\"\r\nContent-Type: text/plain\r\n\r\n" + content + "\r\n--" + boundary +
            "--\r\n";
        exchange.request = "POST /upload.html" + head_end +
                           "Content-Type: multipart/form-data; boundary=" + boundary +
                           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        // What the page echoes: the note, the file's name and length, its first and last 64
        // bytes as the script read them back, and that it deleted the file.
        std::string seen = token + "|" + token + ".txt:" + std::to_string(content.size()) + "|" +
                           content.substr(0, 64) + "|" + content.substr(content.size() - 64) +
                           "|deleted";
        expected = Replace(templates_[kUpload], seen);
        break;
      }
      case kKindCount:
        break;
    }
    exchange.expected_body = std::move(expected);
    return exchange;
  }

 private:
  std::vector<Kind> period_;
  std::string templates_[kKindCount];
  uint64_t uploads_ = 0;
};

// What is wrong with an answer, or "" when it is right.
std::string Check(const Exchange& exchange, const std::string& answer) {
  size_t head_end = answer.find("\r\n\r\n");
  if (head_end == std::string::npos)
    return "no complete header (" + std::to_string(answer.size()) + " bytes)";
  std::string status = "HTTP/1.1 " + std::to_string(exchange.expected_status) + " ";
  if (answer.compare(0, status.size(), status) != 0)
    return "status line " + answer.substr(0, answer.find('\r'));
  std::string body = answer.substr(head_end + 4);
  std::string length = "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  if (answer.substr(0, head_end + 2).find(length) == std::string::npos)
    return "Content-Length does not match the body";
  if (body != exchange.expected_body) {
    size_t at = 0;
    while (at < body.size() && at < exchange.expected_body.size() &&
           body[at] == exchange.expected_body[at])
      ++at;
    return "body differs at byte " + std::to_string(at) + ": got \"" + body.substr(at, 60) +
           "\", expected \"" + exchange.expected_body.substr(at, 60) + "\"";
  }
  return "";
}

struct Slot {
  int fd = -1;
  Exchange exchange;
  size_t sent = 0;
  std::string answer;
  uint64_t number = 0;
  Clock::time_point last_progress;
};

class Load {
 public:
  Load(uint16_t port, uint64_t total, int connections, Requests& requests, uint64_t first)
      : port_(port),
        total_(total),
        requests_(requests),
        next_(first),
        end_(first + total),
        slots_(static_cast<size_t>(connections)) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
  }

  int Run() {
    auto started = Clock::now();
    for (size_t i = 0; i < slots_.size(); ++i) StartNext(i);
    std::vector<epoll_event> events(slots_.size());
    while (open_ > 0) {
      int n = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 1000);
      for (int e = 0; e < n; ++e) Progress(events[static_cast<size_t>(e)].data.u64);
      DropStalled();
    }
    double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("sent %llu\nwrong %llu\nseconds %.1f\nrate %.0f\n",
                static_cast<unsigned long long>(total_), static_cast<unsigned long long>(wrong_),
                seconds, static_cast<double>(total_) / seconds);
    for (int k = 0; k < kKindCount; ++k) {
      std::printf("kind %s %llu\n", kKindNames[k], static_cast<unsigned long long>(per_kind_[k]));
    }
    return wrong_ == 0 ? 0 : 1;
  }

 private:
  // Starts the slot's next request, if any are left; one whose connect fails at once counts
  // as wrong, and the next one is tried.
  void StartNext(size_t i) {
    Slot& slot = slots_[i];
    while (next_ < end_) {
      slot.number = next_++;
      slot.exchange = requests_.Make(slot.number);
      slot.sent = 0;
      slot.answer.clear();
      slot.last_progress = Clock::now();
      slot.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(port_);
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      int result = connect(slot.fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
      if (result == 0 || errno == EINPROGRESS) {
        epoll_event event{};
        event.events = EPOLLOUT | EPOLLIN | EPOLLRDHUP;
        event.data.u64 = i;
        epoll_ctl(epoll_, EPOLL_CTL_ADD, slot.fd, &event);
        ++open_;
        return;
      }
      std::string error = std::string("connect: ") + std::strerror(errno);
      close(slot.fd);
      slot.fd = -1;
      Count(slot, error);
    }
  }

  void Progress(size_t i) {
    Slot& slot = slots_[i];
    if (slot.fd < 0) return;
    slot.last_progress = Clock::now();
    while (slot.sent < slot.exchange.request.size()) {
      ssize_t n = send(slot.fd, slot.exchange.request.data() + slot.sent,
                       slot.exchange.request.size() - slot.sent, MSG_NOSIGNAL);
      if (n < 0 && (errno == EAGAIN || errno == ENOTCONN)) return;
      if (n < 0) return Close(i, std::string("send: ") + std::strerror(errno));
      slot.sent += static_cast<size_t>(n);
      if (slot.sent == slot.exchange.request.size()) {
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.u64 = i;
        epoll_ctl(epoll_, EPOLL_CTL_MOD, slot.fd, &event);
      }
    }
    char buffer[65536];
    for (;;) {
      ssize_t n = recv(slot.fd, buffer, sizeof buffer, 0);
      if (n > 0) {
        slot.answer.append(buffer, static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && errno == EAGAIN) return;
      if (n < 0) return Close(i, std::string("recv: ") + std::strerror(errno));
      return Close(i, Check(slot.exchange, slot.answer));
    }
  }

  void DropStalled() {
    auto now = Clock::now();
    for (size_t i = 0; i < slots_.size(); ++i) {
      if (slots_[i].fd >= 0 && now - slots_[i].last_progress > std::chrono::seconds(kIdleSeconds)) {
        Close(i, "no progress for " + std::to_string(kIdleSeconds) + " s");
      }
    }
  }

  void Close(size_t i, const std::string& wrong) {
    close(slots_[i].fd);
    slots_[i].fd = -1;
    --open_;
    Finish(i, wrong);
  }

  // Counts the answer and starts the connection's next request.
  void Finish(size_t i, const std::string& wrong) {
    Count(slots_[i], wrong);
    StartNext(i);
  }

  void Count(const Slot& slot, const std::string& wrong) {
    ++per_kind_[slot.exchange.kind];
    if (!wrong.empty() && ++wrong_ <= kReportedWrong) {
      std::fprintf(stderr, "wrong answer to request %llu (%s): %s\n",
                   static_cast<unsigned long long>(slot.number), kKindNames[slot.exchange.kind],
                   wrong.c_str());
    }
  }

  uint16_t port_;
  uint64_t total_;
  Requests& requests_;
  uint64_t next_;
  uint64_t end_;
  std::vector<Slot> slots_;
  int epoll_;
  int open_ = 0;
  uint64_t wrong_ = 0;
  uint64_t per_kind_[kKindCount] = {};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: soak_load PORT REQUESTS CONNECTIONS EXPECTED_DIR [FIRST_TOKEN]\n");
    return 2;
  }
  uint16_t port = static_cast<uint16_t>(std::atoi(argv[1]));
  uint64_t total = std::strtoull(argv[2], nullptr, 10);
  int connections = std::atoi(argv[3]);
  uint64_t first = argc > 5 ? std::strtoull(argv[5], nullptr, 10) : 0;
  if (port == 0 || total == 0 || connections <= 0) {
    std::fprintf(stderr, "soak_load: PORT, REQUESTS and CONNECTIONS must be positive\n");
    return 2;
  }
  Requests requests(argv[4]);
  Load load(port, total, connections, requests, first);
  return load.Run();
}
