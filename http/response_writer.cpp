#include "http/response_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "transport/error.h"

namespace qorsv {
namespace {

void AddLine(std::string& header, std::string line) {
  line.erase(std::remove_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }),
             line.end());
  header += line;
  header += "\r\n";
}

// Closes the file however the send ends.
class OpenFile {
 public:
  explicit OpenFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string FormatResponseHeader(const ResponseInfo& response) {
  std::string header;
  AddLine(header, "HTTP/1.1 " + std::to_string(response.StatusCode()) + " " + response.StatusText());
  for (const ResponseCookie& cookie : response.ResponseCookies) {
    AddLine(header, "Set-Cookie: " + cookie.HeaderText());
  }
  AddLine(header, "Server: " + response.ServerSoftware);
  AddLine(header, "Content-Type: " + response.ContentType);
  if (response.ContentLength >= 0) {
    AddLine(header, "Content-Length: " + std::to_string(response.ContentLength));
  } else if (!response.ContentText.empty()) {
    AddLine(header, "Content-Length: " + std::to_string(response.ContentText.size()));
  }
  header += "\r\n";
  return header;
}

void ResponseWriter::WriteHeader(ResponseInfo& response, bool body_follows) {
  if (response.HeaderWritten) throw QorsvError("Header has already been written.");
  response.HeaderWritten = true;
  sink_.Write(FormatResponseHeader(response), body_follows);
}

uint64_t ResponseWriter::ServeFile(ResponseInfo& response, const std::string& path) {
  OpenFile file(path);
  struct stat info;
  if (file.fd() < 0 || ::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)) {
    throw QorsvError("Cannot open file " + path);
  }
  response.ContentLength = info.st_size;
  bool has_body = !head_request_ && info.st_size > 0;
  WriteHeader(response, has_body);
  if (!has_body) return 0;
  return sink_.SendFile(file.fd(), static_cast<uint64_t>(info.st_size));
}

void ResponseWriter::Finish(ResponseInfo& response) {
  bool has_body = !head_request_ && !response.ContentText.empty();
  if (!response.HeaderWritten) WriteHeader(response, has_body);
  if (has_body) sink_.Write(response.ContentText, false);
}

}  // namespace qorsv
