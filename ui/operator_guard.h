// Who may use the operator server: only the operator's own browser on this machine. A request is
// refused (status 403) when
//   - its Host header is not "127.0.0.1:PORT" or "localhost:PORT" (a page of another site whose
//     name was pointed at 127.0.0.1 sends its own name here),
//   - it changes something (any method but GET) and its Origin is not the console's own (a page
//     of another site posting into the console),
//   - it does not carry the access token of this run. The pages and API calls carry it in the
//     header "X-Qorsv-Token" or the query parameter "token"; the files a page loads (styles,
//     scripts, pictures, help pages) carry it as the first segment of their path,
//     "/k/TOKEN/ui/console.css", which the page's <base> element adds to every relative address.
//
// The token never travels in a cookie: cookies are not bound to a port, so the browser would
// send one to the public web server on the same machine too, where request headers are logged
// and handed to every script.
//
// Pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "console/operator_access.h"
#include "ui/operator_http.h"

namespace qorsv {

enum class Refusal { kNone, kHost, kOrigin, kToken };

// The guard's verdict, and what the server routes when the request may pass.
struct GuardVerdict {
  Refusal refusal = Refusal::kNone;
  // The path to route: the request's path, less the token prefix when it had one.
  std::string path;
  // True when the token came as the path prefix: such a request may fetch a page's files only.
  bool by_prefix = false;
};

GuardVerdict CheckOperatorRequest(const OperatorRequest& request, const OperatorAccess& access);

// Why a request was refused, for the log line.
std::string RefusalReason(Refusal refusal);

// Equal texts, compared in time that does not depend on where they first differ.
bool ConstantTimeEquals(std::string_view a, std::string_view b);

// The address prefix of a page's files: "/k/" + token + "/".
std::string TokenPathPrefix(const OperatorAccess& access);

// The path as the log may show it: a token prefix's token (right or wrong) replaced by "*".
std::string PathForLog(std::string_view path);

}  // namespace qorsv
