#include "http/response_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

// Up to `size` bytes from the start of the file; fewer when it is shorter by now.
std::string ReadBody(int fd, size_t size) {
  std::string body(size, '\0');
  size_t done = 0;
  while (done < size) {
    ssize_t got = ::pread(fd, body.data() + done, size - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw QorsvError(std::string("Cannot read file: ") + std::strerror(errno));
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  body.resize(done);
  return body;
}

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

std::string ResponseWriter::HeaderOnce(ResponseInfo& response) {
  if (response.HeaderWritten) throw QorsvError("Header has already been written.");
  response.HeaderWritten = true;
  return FormatResponseHeader(response);
}

void ResponseWriter::WriteHeader(ResponseInfo& response, bool body_follows) {
  sink_.Write(HeaderOnce(response), body_follows);
}

uint64_t ResponseWriter::ServeFile(ResponseInfo& response, const std::string& path) {
  OpenFile file(path);
  struct stat info;
  if (file.fd() < 0 || ::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)) {
    throw QorsvError("Cannot open file " + path);
  }
  bool has_body = !head_request_ && info.st_size > 0;
  // One write of header and body: a system call and a segment less than a header followed by
  // sendfile, which matters for the short pages most requests answer with.
  if (has_body && static_cast<size_t>(info.st_size) <= kLargestCopiedBody) {
    // Read first, so the length announced is the length sent even if the file just changed.
    std::string body = ReadBody(file.fd(), static_cast<size_t>(info.st_size));
    response.ContentLength = static_cast<int64_t>(body.size());
    sink_.Write(HeaderOnce(response) + body, false);
    return body.size();
  }
  response.ContentLength = info.st_size;
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
