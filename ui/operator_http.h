// HTTP/1.1 for the operator server: reading one request from a console page (request line,
// header lines, a small body) and writing the response head.
//
// Why not the public listener's reader or a library: the public listener reads its requests the
// way its Part demands (one request per connection, the source's oddities kept), and Debian's
// cpp-httplib comes as a shared library built with OpenSSL, brotli and zlib that a loopback
// console needs none of, with a fixed worker pool that each open event stream would hold. What
// the console needs of HTTP (GET and POST, small JSON bodies, one long-lived stream per page) is
// this file, on the sockets of the transport layer.
//
// Functions run on the connection's thread; nothing is shared.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "transport/socket.h"

namespace qorsv {

// Bounds that keep a bad client from pinning memory. A body may carry a whole document of the
// workbench (a file dropped onto the editor, a large paste), each byte from 128 up taking two
// in the JSON text.
inline constexpr size_t kMaxOperatorHeadBytes = 16 * 1024;
inline constexpr size_t kMaxOperatorBodyBytes = 16 * 1024 * 1024;

struct OperatorRequest {
  std::string method;  // as sent, in upper case
  std::string target;  // as sent
  std::string path;    // the target before "?", percent-decoded
  std::map<std::string, std::string> query;
  // Header lines in arrival order, names in lower case, values without surrounding blanks.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string remote_ip;

  // The value of the only header line with that (lower-case) name; nothing when it is missing
  // or sent more than once.
  std::optional<std::string> Header(std::string_view name) const;
  // The value of a cookie of the "cookie" header lines, when present.
  std::optional<std::string> Cookie(std::string_view name) const;
  // The query parameter, or "" when missing.
  std::string Query(const std::string& name) const;
};

// A request the server does not answer with its content: malformed or too large.
struct BadOperatorRequest {
  int status;  // 400, 413 or 431
  std::string reason;
};

// Parses the head (request line and header lines, without the blank line).
std::optional<OperatorRequest> ParseOperatorRequestHead(std::string_view head,
                                                        BadOperatorRequest* bad);

// Reads one request; nothing when the client closed before a request line. A malformed or
// oversized request fills `bad` and returns nothing. Throws ConnectionLost when the client goes
// away or stalls.
std::optional<OperatorRequest> ReadOperatorRequest(ByteSource& source, const std::string& remote_ip,
                                                   BadOperatorRequest* bad);

// "%41+b" -> "A b" when plus_is_space; malformed escapes stay as they are.
std::string PercentDecode(std::string_view text, bool plus_is_space);
// name=value pairs separated by "&", both decoded; the first of a repeated name wins.
std::map<std::string, std::string> ParseQuery(std::string_view query);

// The response head: status line, the given headers, the headers every operator response
// carries (no caching, no sniffing, no referrer, no framing by other sites, Connection: close)
// and Content-Length when given.
std::string OperatorResponseHead(
    int status, std::string_view content_type, std::optional<size_t> content_length,
    const std::vector<std::pair<std::string, std::string>>& extra = {});

// A whole response with a body.
std::string OperatorResponse(int status, std::string_view content_type, std::string_view body,
                             const std::vector<std::pair<std::string, std::string>>& extra = {});

}  // namespace qorsv
