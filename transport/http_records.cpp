#include "transport/http_records.h"

#include <algorithm>

namespace qorsv {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

}  // namespace

std::string HeaderLines::NameOfLine(size_t i) const {
  const std::string& line = lines_[i];
  size_t colon = line.find(": ");
  return colon == std::string::npos ? std::string() : line.substr(0, colon);
}

std::string HeaderLines::Values(std::string_view name) const {
  if (name.empty()) return std::string();
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view line = lines_[i];
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || !EqualsIgnoringCase(line.substr(0, colon), name)) {
      continue;
    }
    std::string value(TrimLeft(line.substr(colon + 1)));
    for (size_t j = i + 1; j < lines_.size(); ++j) {
      std::string_view next = lines_[j];
      // The blank line that ends the header block is no continuation, even if it holds blanks.
      if (next.empty() || !IsBlank(next.front()) || Trim(next).empty()) break;
      value += ' ';
      value += TrimLeft(next);
    }
    return value;
  }
  return std::string();
}

std::string ResponseCookie::HeaderText() const {
  std::string text = name + "=" + value;
  if (!domain.empty()) text += "; Domain=" + domain;
  text += "; Version=\"1\"";
  if (!path.empty()) text += "; Path=" + path;
  if (max_age >= 0) text += "; Max-Age=" + std::to_string(max_age);
  if (!comment.empty()) text += "; Comment=" + comment;
  if (secure) text += "; Secure";
  return text;
}

std::string ReasonPhrase(int code) {
  switch (code) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return "";
  }
}

void ResponseInfo::SetStatusCode(int code) {
  status_code_ = code;
  status_text_ = ReasonPhrase(code);
}

void ResponseInfo::AddCookiesFromText(std::string_view text) {
  size_t pos = 0;
  ResponseCookie* last = nullptr;
  while (pos < text.size()) {
    size_t semi = text.find(';', pos);
    size_t piece_end = semi == std::string_view::npos ? text.size() : semi;
    size_t eq = text.find('=', pos);
    if (eq == std::string_view::npos || eq > piece_end) {
      // A piece without "=" is no pair; skip it.
      pos = piece_end + 1;
      continue;
    }
    std::string name(Trim(text.substr(pos, eq - pos)));
    std::string value;
    size_t value_start = eq + 1;
    if (value_start < text.size() && text[value_start] == '"') {
      size_t quote = text.find('"', value_start + 1);
      size_t value_end = quote == std::string_view::npos ? text.size() : quote;
      value = std::string(text.substr(value_start + 1, value_end - value_start - 1));
      semi = text.find(';', value_end);
      piece_end = semi == std::string_view::npos ? text.size() : semi;
    } else {
      value = std::string(text.substr(value_start, piece_end - value_start));
    }
    pos = piece_end + 1;
    if (name.empty()) continue;
    if (name.front() == '$') {
      std::string upper = name;
      std::transform(upper.begin(), upper.end(), upper.begin(), AsciiUpper);
      if (last != nullptr && upper == "$PATH") last->path = value;
      if (last != nullptr && upper == "$DOMAIN") last->domain = value;
      continue;
    }
    ResponseCookie cookie;
    cookie.name = std::move(name);
    cookie.value = std::move(value);
    ResponseCookies.push_back(std::move(cookie));
    last = &ResponseCookies.back();
  }
}

ResponseCookie* ResponseInfo::FindCookie(std::string_view name) {
  for (ResponseCookie& cookie : ResponseCookies) {
    if (cookie.name == name) return &cookie;
  }
  return nullptr;
}

}  // namespace qorsv
