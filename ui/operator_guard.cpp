#include "ui/operator_guard.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace qorsv {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsOwnHost(const std::optional<std::string>& host, uint16_t port) {
  if (!host) return false;
  std::string suffix = ":" + std::to_string(port);
  return EqualsIgnoringCase(*host, "127.0.0.1" + suffix) ||
         EqualsIgnoringCase(*host, "localhost" + suffix);
}

bool IsOwnOrigin(const std::optional<std::string>& origin, uint16_t port) {
  if (!origin) return false;
  std::string suffix = ":" + std::to_string(port);
  return EqualsIgnoringCase(*origin, "http://127.0.0.1" + suffix) ||
         EqualsIgnoringCase(*origin, "http://localhost" + suffix);
}

bool CarriesToken(const OperatorRequest& request, const OperatorAccess& access,
                  TokenCarrier carrier) {
  // Every carrier is compared, so the time taken does not tell which one was tried.
  bool proven = false;
  if (std::optional<std::string> header = request.Header("x-qorsv-token")) {
    proven |= ConstantTimeEquals(*header, access.token);
  }
  auto query = request.query.find("token");
  if (query != request.query.end()) proven |= ConstantTimeEquals(query->second, access.token);
  if (carrier == TokenCarrier::kPage) {
    if (std::optional<std::string> cookie = request.Cookie(TokenCookieName(access))) {
      proven |= ConstantTimeEquals(*cookie, access.token);
    }
  }
  return proven && !access.token.empty();
}

}  // namespace

Refusal CheckOperatorRequest(const OperatorRequest& request, const OperatorAccess& access,
                             TokenCarrier carrier) {
  if (!IsOwnHost(request.Header("host"), access.port)) return Refusal::kHost;
  if (request.method != "GET" && !IsOwnOrigin(request.Header("origin"), access.port)) {
    return Refusal::kOrigin;
  }
  if (!CarriesToken(request, access, carrier)) return Refusal::kToken;
  return Refusal::kNone;
}

std::string RefusalReason(Refusal refusal) {
  switch (refusal) {
    case Refusal::kNone:
      return "";
    case Refusal::kHost:
      return "foreign Host header";
    case Refusal::kOrigin:
      return "foreign or missing Origin";
    case Refusal::kToken:
      return "missing or wrong access token";
  }
  return "";
}

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
  // Lengths are no secret (every token has 32 digits); the contents are compared in full.
  size_t length = std::max(a.size(), b.size());
  volatile unsigned char difference = a.size() == b.size() ? 0 : 1;
  for (size_t i = 0; i < length; ++i) {
    unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    difference = difference | static_cast<unsigned char>(x ^ y);
  }
  return difference == 0;
}

std::string TokenCookieName(const OperatorAccess& access) {
  return "qorsv_token_" + std::to_string(access.port);
}

std::string TokenCookie(const OperatorAccess& access) {
  return TokenCookieName(access) + "=" + access.token + "; Path=/; HttpOnly; SameSite=Strict";
}

}  // namespace qorsv
