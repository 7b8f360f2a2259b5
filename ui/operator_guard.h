// Who may use the operator server: only the operator's own browser on this machine. A request is
// refused (status 403) when
//   - its Host header is not "127.0.0.1:PORT" or "localhost:PORT" (a page of another site whose
//     name was pointed at 127.0.0.1 sends its own name here),
//   - it changes something (any method but GET) and its Origin is not the console's own (a page
//     of another site posting into the console),
//   - it does not carry the access token of this run. API calls carry it in the header
//     "X-Qorsv-Token" or the query parameter "token"; the pages and their files may also carry
//     it in the cookie that the first page load sets, so that reloading works.
//
// Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

#include "console/operator_access.h"
#include "ui/operator_http.h"

namespace qorsv {

enum class Refusal { kNone, kHost, kOrigin, kToken };

// What a request may use to prove the token.
enum class TokenCarrier {
  kApi,   // header or query only
  kPage,  // header, query or cookie
};

Refusal CheckOperatorRequest(const OperatorRequest& request, const OperatorAccess& access,
                             TokenCarrier carrier);

// Why a request was refused, for the log line.
std::string RefusalReason(Refusal refusal);

// Equal texts, compared in time that does not depend on where they first differ.
bool ConstantTimeEquals(std::string_view a, std::string_view b);

// The name of the token cookie: one per console port, since cookies are shared by every port of
// a host and two servers on one machine must not overwrite each other's.
std::string TokenCookieName(const OperatorAccess& access);
// The Set-Cookie value that keeps the token for the page's later loads.
std::string TokenCookie(const OperatorAccess& access);

}  // namespace qorsv
