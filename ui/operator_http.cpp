#include "ui/operator_http.h"

#include <algorithm>
#include <cctype>

namespace qorsv {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
  });
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char* StatusText(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Payload Too Large";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Unknown";
  }
}

std::optional<size_t> ParseLength(std::string_view text) {
  if (text.empty() || text.size() > 12) return std::nullopt;
  size_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<size_t>(c - '0');
  }
  return value;
}

}  // namespace

std::optional<std::string> OperatorRequest::Header(std::string_view name) const {
  std::optional<std::string> found;
  for (const auto& [key, value] : headers) {
    if (key != name) continue;
    if (found) return std::nullopt;  // sent twice: trust neither
    found = value;
  }
  return found;
}

std::optional<std::string> OperatorRequest::Cookie(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (key != "cookie") continue;
    std::string_view rest = value;
    while (!rest.empty()) {
      size_t end = rest.find(';');
      std::string_view pair = Trim(rest.substr(0, end));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      size_t equals = pair.find('=');
      if (equals != std::string_view::npos && pair.substr(0, equals) == name) {
        return std::string(pair.substr(equals + 1));
      }
    }
  }
  return std::nullopt;
}

std::string OperatorRequest::Query(const std::string& name) const {
  auto it = query.find(name);
  return it == query.end() ? "" : it->second;
}

std::string PercentDecode(std::string_view text, bool plus_is_space) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+' && plus_is_space) {
      decoded += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += c;
    }
  }
  return decoded;
}

std::map<std::string, std::string> ParseQuery(std::string_view query) {
  std::map<std::string, std::string> pairs;
  while (!query.empty()) {
    size_t end = query.find('&');
    std::string_view pair = query.substr(0, end);
    query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    if (pair.empty()) continue;
    size_t equals = pair.find('=');
    std::string name = PercentDecode(pair.substr(0, equals), true);
    std::string value =
        equals == std::string_view::npos ? "" : PercentDecode(pair.substr(equals + 1), true);
    pairs.emplace(std::move(name), std::move(value));
  }
  return pairs;
}

std::optional<OperatorRequest> ParseOperatorRequestHead(std::string_view head,
                                                        BadOperatorRequest* bad) {
  auto refuse = [bad](int status, std::string reason) -> std::optional<OperatorRequest> {
    *bad = BadOperatorRequest{status, std::move(reason)};
    return std::nullopt;
  };
  size_t line_end = head.find("\r\n");
  std::string_view request_line = head.substr(0, line_end);
  std::string_view rest =
      line_end == std::string_view::npos ? std::string_view() : head.substr(line_end + 2);

  size_t first = request_line.find(' ');
  size_t last = request_line.rfind(' ');
  if (first == std::string_view::npos || first == last) {
    return refuse(400, "malformed request line");
  }
  OperatorRequest request;
  request.method = std::string(request_line.substr(0, first));
  request.target = std::string(request_line.substr(first + 1, last - first - 1));
  std::string_view version = request_line.substr(last + 1);
  if (!IsToken(request.method) || request.target.empty() || request.target[0] != '/' ||
      version.substr(0, 5) != "HTTP/") {
    return refuse(400, "malformed request line");
  }
  size_t question = request.target.find('?');
  request.path = PercentDecode(std::string_view(request.target).substr(0, question), false);
  if (question != std::string::npos) {
    request.query = ParseQuery(std::string_view(request.target).substr(question + 1));
  }

  while (!rest.empty()) {
    size_t end = rest.find("\r\n");
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
    if (line.empty()) continue;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
      return refuse(400, "malformed header line");
    }
    request.headers.emplace_back(Lower(line.substr(0, colon)),
                                 std::string(Trim(line.substr(colon + 1))));
  }
  return request;
}

std::optional<OperatorRequest> ReadOperatorRequest(ByteSource& source, const std::string& remote_ip,
                                                   BadOperatorRequest* bad) {
  std::string received;
  char buffer[4096];
  size_t head_end = std::string::npos;
  while (head_end == std::string::npos) {
    size_t got = source.ReadSome(buffer, sizeof buffer);
    if (got == 0) {
      if (received.empty()) return std::nullopt;
      throw ConnectionLost("The console page closed in the middle of its request.");
    }
    received.append(buffer, got);
    head_end = received.find("\r\n\r\n");
    if (head_end == std::string::npos && received.size() > kMaxOperatorHeadBytes) {
      *bad = BadOperatorRequest{431, "request head too large"};
      return std::nullopt;
    }
  }
  if (head_end > kMaxOperatorHeadBytes) {
    *bad = BadOperatorRequest{431, "request head too large"};
    return std::nullopt;
  }
  std::optional<OperatorRequest> request =
      ParseOperatorRequestHead(std::string_view(received).substr(0, head_end), bad);
  if (!request) return std::nullopt;
  request->remote_ip = remote_ip;

  size_t length = 0;
  if (std::optional<std::string> text = request->Header("content-length")) {
    std::optional<size_t> parsed = ParseLength(*text);
    if (!parsed) {
      *bad = BadOperatorRequest{400, "bad Content-Length"};
      return std::nullopt;
    }
    length = *parsed;
  } else if (request->Header("transfer-encoding")) {
    *bad = BadOperatorRequest{400, "chunked bodies are not accepted"};
    return std::nullopt;
  }
  if (length > kMaxOperatorBodyBytes) {
    *bad = BadOperatorRequest{413, "request body too large"};
    return std::nullopt;
  }
  request->body = received.substr(head_end + 4);
  while (request->body.size() < length) {
    size_t got = source.ReadSome(buffer, std::min(sizeof buffer, length - request->body.size()));
    if (got == 0) throw ConnectionLost("The console page closed in the middle of its request.");
    request->body.append(buffer, got);
  }
  request->body.resize(length);
  return request;
}

std::string OperatorResponseHead(int status, std::string_view content_type,
                                 std::optional<size_t> content_length,
                                 const std::vector<std::pair<std::string, std::string>>& extra) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) + "\r\n";
  head += "Content-Type: ";
  head += content_type;
  head += "\r\n";
  if (content_length) head += "Content-Length: " + std::to_string(*content_length) + "\r\n";
  head +=
      "Cache-Control: no-store\r\n"
      "X-Content-Type-Options: nosniff\r\n"
      "Referrer-Policy: no-referrer\r\n"
      "X-Frame-Options: SAMEORIGIN\r\n"
      "Connection: close\r\n";
  for (const auto& [name, value] : extra) head += name + ": " + value + "\r\n";
  head += "\r\n";
  return head;
}

std::string OperatorResponse(int status, std::string_view content_type, std::string_view body,
                             const std::vector<std::pair<std::string, std::string>>& extra) {
  std::string response = OperatorResponseHead(status, content_type, body.size(), extra);
  response += body;
  return response;
}

}  // namespace qorsv
