#include "http/request_reader.h"

#include <algorithm>

#include "transport/error.h"
#include "transport/platform.h"
#include "transport/spool_file.h"

namespace qorsv {
namespace {

constexpr size_t kChunk = 16 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Upper(std::string_view s) {
  std::string upper(s);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return upper;
}

// Buffers what the source delivers, so lines and bodies can be taken from it.
class BufferedSource {
 public:
  explicit BufferedSource(ByteSource& source) : source_(source) {}

  // The next line without its LF (and a CR before it); nothing when the source has ended before
  // the first byte of the line. A source that ends inside a line is a lost connection.
  std::optional<std::string> ReadLine(size_t& budget) {
    size_t scanned = 0;
    for (;;) {
      size_t lf = buffer_.find('\n', start_ + scanned);
      if (lf != std::string::npos) {
        size_t length = lf - start_;
        if (length + 1 > budget) throw QorsvError("Request header too large.");
        budget -= length + 1;
        std::string line = buffer_.substr(start_, length);
        start_ = lf + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
      }
      scanned = buffer_.size() - start_;
      if (scanned >= budget) throw QorsvError("Request header too large.");
      if (!Fill()) {
        if (scanned == 0) return std::nullopt;
        throw ConnectionLost("Connection closed inside a line.");
      }
    }
  }

  // The next bytes of the source, at most max of them, valid until the next read; empty at the
  // source's end.
  std::string_view Next(size_t max) {
    if (Available() == 0 && !Fill()) return {};
    size_t count = std::min(max, Available());
    std::string_view piece(buffer_.data() + start_, count);
    start_ += count;
    return piece;
  }

 private:
  size_t Available() const { return buffer_.size() - start_; }

  // Appends what the source has; false at its end.
  bool Fill() {
    if (start_ > 0 && start_ == buffer_.size()) {
      buffer_.clear();
      start_ = 0;
    }
    char chunk[kChunk];
    size_t got = source_.ReadSome(chunk, sizeof chunk);
    buffer_.append(chunk, got);
    return got > 0;
  }

  ByteSource& source_;
  std::string buffer_;
  size_t start_ = 0;
};

// The Content-Length value as a count of 0 or more, or nothing when it is not such a number.
// Counts above the body bound come out as the bound + 1.
std::optional<uint64_t> ParseContentLength(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), kMaxBodyBytes + 1);
  }
  return value;
}

// Collects a body in memory, or, once it is longer than the spooling size and begins as form
// data does, in a spool file.
class BodyCollector {
 public:
  BodyCollector(const BodySpooling& spooling, std::optional<uint64_t> length)
      : spooling_(spooling), length_(length) {
    if (length_) {
      memory_.reserve(static_cast<size_t>(std::min<uint64_t>(*length_, spooling.above + 1)));
    }
  }

  void Add(std::string_view piece) {
    if (spool_) {
      if (!spool_->Append(piece.data(), piece.size())) {
        throw QorsvError("Cannot store the request body.");
      }
      return;
    }
    memory_.append(piece);
    if (!decided_ && memory_.size() > spooling_.above) Decide();
  }

  std::string& memory() { return memory_; }
  std::unique_ptr<SpoolFile>& spool() { return spool_; }

 private:
  void Decide() {
    decided_ = true;
    if (memory_.compare(0, 3, "---") == 0) {
      std::string dir = spooling_.dir.empty() ? ProgramDir() + "temp/" : spooling_.dir;
      std::unique_ptr<SpoolFile> spool = SpoolFile::Create(dir);
      if (spool && spool->Append(memory_.data(), memory_.size())) {
        spool_ = std::move(spool);
        std::string().swap(memory_);
        return;
      }
    }
    // Kept in memory: the rest arrives without the string growing piece by piece.
    if (length_) memory_.reserve(static_cast<size_t>(*length_));
  }

  const BodySpooling& spooling_;
  std::optional<uint64_t> length_;
  std::string memory_;
  std::unique_ptr<SpoolFile> spool_;
  bool decided_ = false;
};

void ReadBody(BufferedSource& in, const RequestInfo& request, BodyCollector& body,
              std::optional<uint64_t> length) {
  if (length) {
    if (*length > kMaxBodyBytes) throw QorsvError("Request body too large.");
    for (uint64_t left = *length; left > 0;) {
      std::string_view piece = in.Next(static_cast<size_t>(std::min<uint64_t>(left, kChunk)));
      if (piece.empty()) throw ConnectionLost("Connection closed inside the body.");
      body.Add(piece);
      left -= piece.size();
    }
    return;
  }
  if (request.Command != "POST") return;
  uint64_t total = 0;
  for (std::string_view piece = in.Next(kChunk); !piece.empty(); piece = in.Next(kChunk)) {
    total += piece.size();
    if (total > kMaxBodyBytes) throw QorsvError("Request body too large.");
    body.Add(piece);
  }
}

// UnparsedParams, or SpooledParams for a spooled body: the body, then the target's query part
// joined on behind CR LF (or alone when the body is empty).
void SetParamsText(RequestInfo& request, BodyCollector& body, const std::string& target) {
  size_t question = target.find('?');
  std::string_view query = question == std::string::npos
                               ? std::string_view()
                               : std::string_view(target).substr(question + 1);
  if (std::unique_ptr<SpoolFile>& spool = body.spool()) {
    if (!query.empty() &&
        !(spool->Append("\r\n", 2) && spool->Append(query.data(), query.size()))) {
      throw QorsvError("Cannot store the request body.");
    }
    request.SpooledParams = std::move(spool);
    return;
  }
  std::string& text = body.memory();
  if (!query.empty()) {
    if (!text.empty()) text.append("\r\n");
    text.append(query);
  }
  request.UnparsedParams = std::move(text);
}

void ReadAuthorization(RequestInfo& request) {
  std::string value = request.RawHeaders.Values("Authorization");
  if (value.empty()) return;
  std::string_view text = Trim(value);
  size_t blank = text.find(' ');
  std::string_view scheme = text.substr(0, blank);
  if (Upper(scheme) != "BASIC") throw QorsvError("Unsupported authorization scheme.");
  std::string_view encoded = blank == std::string_view::npos ? "" : Trim(text.substr(blank));
  std::string credentials = DecodeBase64(encoded);
  size_t colon = credentials.find(':');
  request.AuthUsername = credentials.substr(0, colon);
  request.AuthPassword = colon == std::string::npos ? "" : credentials.substr(colon + 1);
}

bool IsSchemeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '-' || c == '.';
}

}  // namespace

std::string DocumentFromTarget(std::string_view target, std::string* absolute_host) {
  std::string path(target.substr(0, target.find('?')));
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path == "*") return path;
  size_t scheme_end = path.find("://");
  if (scheme_end != std::string::npos && scheme_end > 0 &&
      std::all_of(path.begin(), path.begin() + static_cast<long>(scheme_end), IsSchemeChar)) {
    size_t host_start = scheme_end + 3;
    size_t slash = path.find('/', host_start);
    std::string host_port = path.substr(host_start, slash == std::string::npos
                                                        ? std::string::npos
                                                        : slash - host_start);
    if (absolute_host != nullptr) *absolute_host = host_port.substr(0, host_port.rfind(':'));
    path = slash == std::string::npos ? std::string() : path.substr(slash);
  }
  size_t last_slash = path.rfind('/');
  size_t hash = path.find('#', last_slash == std::string::npos ? 0 : last_slash);
  if (hash != std::string::npos) path.resize(hash);
  if (path.empty() || path.front() != '/') path = "/" + path;
  return path;
}

std::string DecodeBase64(std::string_view text) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int value;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    else if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    else if (c >= '0' && c <= '9') value = c - '0' + 52;
    else if (c == '+') value = 62;
    else if (c == '/') value = 63;
    else continue;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

std::optional<ReadOutcome> ReadRequest(ByteSource& source, const std::string& remote_ip,
                                       const std::function<void()>& head_complete,
                                       const BodySpooling& spooling) {
  BufferedSource in(source);
  size_t budget = kMaxHeadBytes;
  std::optional<std::string> request_line = in.ReadLine(budget);
  if (!request_line) return std::nullopt;

  size_t last_blank = request_line->rfind(' ');
  if (last_blank == std::string::npos) throw QorsvError("Error in parsing command.");
  std::string version = request_line->substr(last_blank + 1);
  std::string_view head = std::string_view(*request_line).substr(0, last_blank);
  size_t first_blank = head.find(' ');
  std::string command = Upper(head.substr(0, first_blank));
  std::string target(first_blank == std::string_view::npos ? "" : head.substr(first_blank + 1));

  ReadOutcome outcome;
  if (command != "GET" && command != "POST" && command != "HEAD") {
    outcome.other = OtherCommand{command, target, version};
    return outcome;
  }

  auto request = std::make_unique<RequestInfo>();
  request->RemoteIP = remote_ip;
  request->Command = command;
  for (;;) {
    std::optional<std::string> line = in.ReadLine(budget);
    if (!line) throw ConnectionLost("Connection closed inside the header.");
    bool last = Trim(*line).empty();
    request->RawHeaders.Add(std::move(*line));
    if (last) break;
  }
  if (head_complete) head_complete();

  std::optional<uint64_t> length = ParseContentLength(request->RawHeaders.Values("Content-Length"));
  BodyCollector body(spooling, length);
  ReadBody(in, *request, body, length);
  SetParamsText(*request, body, target);

  std::string absolute_host;
  request->Version = version;
  request->Document = DocumentFromTarget(target, &absolute_host);
  request->Host = request->RawHeaders.Values("host");
  if (request->Host.empty()) request->Host = absolute_host;
  ReadAuthorization(*request);
  outcome.request = std::move(request);
  return outcome;
}

}  // namespace qorsv
