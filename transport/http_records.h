// The listener's per-request records: RequestInfo (what the client sent, filled before the
// dispatcher runs) and ResponseInfo (what goes back, written after the dispatcher returns),
// with the header-line reads and the response cookie rules that the dispatcher and the script
// runner rely on.
//
// A record belongs to the connection thread that serves its request; nothing here is shared.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qorsv {

class SpoolFile;

// The header lines of a request in arrival order, each as received (without its line end),
// followed by the blank line that ended the header block.
class HeaderLines {
 public:
  HeaderLines() = default;
  explicit HeaderLines(std::vector<std::string> lines) : lines_(std::move(lines)) {}

  size_t Count() const { return lines_.size(); }
  const std::string& Line(size_t i) const { return lines_[i]; }
  void Add(std::string line) { lines_.push_back(std::move(line)); }

  // The name of line i (from 0): the text before its first ": ", empty when it has none.
  std::string NameOfLine(size_t i) const;

  // The value for a name: from the first line whose text before its first ":" equals the name
  // (ignoring letter case), the text after that colon without leading blanks, with the
  // continuation lines that follow (starting with a blank or tab) joined on by one blank.
  // The empty name, and a name that no line carries, give the empty value.
  std::string Values(std::string_view name) const;

 private:
  std::vector<std::string> lines_;
};

struct RequestInfo {
  std::string Command;         // method word in upper case
  std::string Document;        // target path, not decoded, always starting with "/" (or "*")
  std::string Version;         // protocol token, the text after the last blank
  std::string UnparsedParams;  // body, then the query part joined on behind CR LF
  // Set instead of UnparsedParams (which is then empty) for a large form-data body: the same
  // text, body and joined query, held in a nameless temporary file for the request's lifetime.
  std::shared_ptr<const SpoolFile> SpooledParams;
  std::string RemoteIP;        // client's IPv4 address, dotted decimal
  std::string Host;            // the "host" header, or the host of an absolute target
  HeaderLines RawHeaders;
  std::string AuthUsername;    // from a Basic "Authorization" header
  std::string AuthPassword;
};

struct ResponseCookie {
  std::string name;
  std::string value;
  std::string domain;
  std::string path;
  int64_t max_age = -1;  // seconds; -1 means none
  std::string comment;
  bool secure = false;

  // name=value; Domain=..; Version="1"; Path=..; Max-Age=..; Comment=..; Secure
  std::string HeaderText() const;
};

struct ResponseInfo {
  int StatusCode() const { return status_code_; }
  const std::string& StatusText() const { return status_text_; }
  // Sets the status number and the reason phrase that goes with it.
  void SetStatusCode(int code);

  std::string ContentType = "text/html";
  int64_t ContentLength = -1;  // -1: not yet determined
  std::string ContentText;
  std::vector<ResponseCookie> ResponseCookies;
  std::string ServerSoftware = "Indy/8.0.25";
  bool HeaderWritten = false;

  // Adds cookies from a text "name=value; name2=value2 ...": names are trimmed, a value runs to
  // the next ";" or stands between double quotes. "$Path" and "$Domain" pairs set the path or
  // domain of the cookie before them; other "$" pairs are ignored.
  void AddCookiesFromText(std::string_view text);

  // The first cookie of that exact name, or nullptr.
  ResponseCookie* FindCookie(std::string_view name);

 private:
  int status_code_ = 200;
  std::string status_text_ = "OK";
};

// The reason phrase for a status number ("" for numbers this server never produces).
std::string ReasonPhrase(int code);

}  // namespace qorsv
