#include "ui/operator_guard.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace qorsv {
namespace {

constexpr std::string_view kPrefixHead = "/k/";

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

// "/k/TEXT/rest" -> TEXT and "/rest"; nothing for a path without the prefix.
struct PrefixedPath {
  std::string_view token;
  std::string_view rest;
};
std::optional<PrefixedPath> SplitTokenPrefix(std::string_view path) {
  if (path.substr(0, kPrefixHead.size()) != kPrefixHead) return std::nullopt;
  std::string_view after = path.substr(kPrefixHead.size());
  size_t slash = after.find('/');
  if (slash == std::string_view::npos) return PrefixedPath{after, ""};
  return PrefixedPath{after.substr(0, slash), after.substr(slash)};
}

bool CarriesTokenInHeaderOrQuery(const OperatorRequest& request, const OperatorAccess& access) {
  // Both carriers are compared, so the time taken does not tell which one was tried.
  bool proven = false;
  if (std::optional<std::string> header = request.Header("x-qorsv-token")) {
    proven |= ConstantTimeEquals(*header, access.token);
  }
  auto query = request.query.find("token");
  if (query != request.query.end()) proven |= ConstantTimeEquals(query->second, access.token);
  return proven;
}

}  // namespace

GuardVerdict CheckOperatorRequest(const OperatorRequest& request, const OperatorAccess& access) {
  GuardVerdict verdict;
  if (!IsOwnHost(request.Header("host"), access.port)) {
    verdict.refusal = Refusal::kHost;
    return verdict;
  }
  if (request.method != "GET" && !IsOwnOrigin(request.Header("origin"), access.port)) {
    verdict.refusal = Refusal::kOrigin;
    return verdict;
  }
  bool proven = false;
  if (std::optional<PrefixedPath> prefixed = SplitTokenPrefix(request.path)) {
    // A prefixed address proves the token by its prefix alone, and names a file below it.
    proven = !prefixed->rest.empty() && ConstantTimeEquals(prefixed->token, access.token);
    verdict.path = std::string(prefixed->rest);
    verdict.by_prefix = true;
  } else {
    proven = CarriesTokenInHeaderOrQuery(request, access);
    verdict.path = request.path;
  }
  if (!proven || access.token.empty()) {
    verdict.refusal = Refusal::kToken;
    verdict.path.clear();
  }
  return verdict;
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

std::string TokenPathPrefix(const OperatorAccess& access) {
  return std::string(kPrefixHead) + access.token + "/";
}

std::string PathForLog(std::string_view path) {
  std::optional<PrefixedPath> prefixed = SplitTokenPrefix(path);
  if (!prefixed) return std::string(path);
  return std::string(kPrefixHead) + "*" + std::string(prefixed->rest);
}

}  // namespace qorsv
