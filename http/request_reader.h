// Reading one HTTP request from a client connection into RequestInfo: the request line, the
// header lines, the body, and the fields derived from them (Document, UnparsedParams, Host, the
// Basic authorization).
//
// Runs on the connection's thread. Bounds keep a bad client from pinning memory: the request
// line and headers together may not exceed kMaxHeadBytes, the body kMaxBodyBytes. A body longer
// than kSpoolBodyAbove that will be read as multipart form data (it begins with "---") goes to
// a nameless temporary file as it arrives, so that an upload costs disk, not memory. (The
// time-outs are the source's: see transport/socket.h.)
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "transport/http_records.h"
#include "transport/socket.h"

namespace qorsv {

constexpr size_t kMaxHeadBytes = 1 << 20;
constexpr size_t kMaxBodyBytes = 64u << 20;
constexpr size_t kSpoolBodyAbove = 1u << 20;

// Where large form-data bodies are spooled.
struct BodySpooling {
  std::string dir;  // a folder with its trailing "/"; empty: the program directory's "temp/"
  size_t above = kSpoolBodyAbove;
};

// A request that is not answered: the method is neither GET, POST nor HEAD.
struct OtherCommand {
  std::string command;  // upper case
  std::string data;     // the target
  std::string version;
};

struct ReadOutcome {
  std::unique_ptr<RequestInfo> request;  // set for GET, POST and HEAD
  std::optional<OtherCommand> other;     // set for any other method
};

// Reads one request. Returns nothing when the client closed before sending a request line.
// Throws QorsvError "Error in parsing command." for a request line without a blank,
// "Unsupported authorization scheme." for an authorization other than Basic, and another
// QorsvError when the request exceeds its bounds; throws ConnectionLost when the client goes
// away or stalls in the middle of its request. None of these is answered.
// head_complete, when given, runs once the header block has been read, before the body.
// A spooled body is in the request's SpooledParams, with the query joined on as in
// UnparsedParams; when no spool file can be made, the body stays in memory.
std::optional<ReadOutcome> ReadRequest(ByteSource& source, const std::string& remote_ip,
                                       const std::function<void()>& head_complete = {},
                                       const BodySpooling& spooling = {});

// The Document of a request target: the part before the first "?", with "\" turned into "/",
// the scheme, host and port of an absolute target removed (the host is stored in
// absolute_host), a "#" in the last segment and what follows it removed, and a leading "/"
// added. Percent escapes are not decoded; "*" stays "*".
std::string DocumentFromTarget(std::string_view target, std::string* absolute_host);

// Base64 as used by Basic authorization; characters outside the alphabet are skipped.
std::string DecodeBase64(std::string_view text);

}  // namespace qorsv
