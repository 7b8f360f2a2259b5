// Writing the answer to a request: the header block (status line, one "Set-Cookie" line per
// response cookie, "Server", "Content-Type", "Content-Length"), then the body, either the
// response's ContentText or a file streamed by ServeFile. There is no "Connection" or "Date"
// header: the connection closes after each response, and that marks the end of the body.
//
// One ResponseWriter per request, used on its connection's thread.
#pragma once

#include <cstdint>
#include <string>

#include "transport/http_records.h"
#include "transport/socket.h"

namespace qorsv {

// The header block of a response, ending with the empty line. Line breaks inside the texts are
// dropped, so no value can start a header line of its own.
std::string FormatResponseHeader(const ResponseInfo& response);

class ResponseWriter {
 public:
  // head_request: the answer to a HEAD request carries its header only.
  ResponseWriter(ByteSink& sink, bool head_request) : sink_(sink), head_request_(head_request) {}

  // Writes the header once; a second call fails with "Header has already been written.".
  void WriteHeader(ResponseInfo& response, bool body_follows = false);

  // Sets ContentLength to the file's size, writes the header and streams the whole file;
  // returns the number of bytes sent. "Cannot open file <path>" when it cannot be opened.
  uint64_t ServeFile(ResponseInfo& response, const std::string& path);

  // After the dispatcher: the header if it has not gone out yet, then ContentText.
  void Finish(ResponseInfo& response);

 private:
  // The header text, marking it written; throws when it was written already.
  std::string HeaderOnce(ResponseInfo& response);

  ByteSink& sink_;
  bool head_request_;
};

}  // namespace qorsv
