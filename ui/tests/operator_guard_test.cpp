#include "ui/operator_guard.h"

#include <gtest/gtest.h>

namespace qorsv {
namespace {

constexpr char kToken[] = "0123456789abcdef0123456789abcdef";

OperatorAccess Access() { return OperatorAccess{8790, kToken}; }

OperatorRequest Request(std::string method, std::string target,
                        std::vector<std::pair<std::string, std::string>> headers) {
  BadOperatorRequest bad{0, ""};
  std::string head = method + " " + target + " HTTP/1.1\r\n";
  for (const auto& [name, value] : headers) head += name + ": " + value + "\r\n";
  std::optional<OperatorRequest> request = ParseOperatorRequestHead(head, &bad);
  EXPECT_TRUE(request.has_value()) << head;
  return request.value_or(OperatorRequest{});
}

TEST(OperatorGuardTest, RefusesForeignHostsOriginsAndMissingTokens) {
  const std::string token = std::string("token=") + kToken;
  const std::string prefix = std::string("/k/") + kToken;
  const std::string cookie = std::string("qorsv_token_8790=") + kToken;
  struct Case {
    const char* what;
    std::string method;
    std::string target;
    std::vector<std::pair<std::string, std::string>> headers;
    Refusal expected;
    std::string routed;  // the path routed when admitted
  } cases[] = {
      {"page with token", "GET", "/?" + token, {{"Host", "127.0.0.1:8790"}}, Refusal::kNone, "/"},
      {"localhost, any case",
       "GET",
       "/workbench?" + token,
       {{"Host", "LocalHost:8790"}},
       Refusal::kNone,
       "/workbench"},
      {"no Host", "GET", "/?" + token, {}, Refusal::kHost, ""},
      {"foreign Host", "GET", "/?" + token, {{"Host", "evil.example:8790"}}, Refusal::kHost, ""},
      {"Host without port", "GET", "/?" + token, {{"Host", "127.0.0.1"}}, Refusal::kHost, ""},
      {"Host of another port", "GET", "/?" + token, {{"Host", "127.0.0.1:80"}}, Refusal::kHost, ""},
      {"two Host lines",
       "GET",
       "/?" + token,
       {{"Host", "127.0.0.1:8790"}, {"Host", "evil:8790"}},
       Refusal::kHost,
       ""},
      {"no token", "GET", "/", {{"Host", "127.0.0.1:8790"}}, Refusal::kToken, ""},
      {"wrong token",
       "GET",
       "/?token=0123456789abcdef0123456789abcdee",
       {{"Host", "127.0.0.1:8790"}},
       Refusal::kToken,
       ""},
      {"token prefix",
       "GET",
       "/?token=0123456789abcdef",
       {{"Host", "127.0.0.1:8790"}},
       Refusal::kToken,
       ""},
      {"a cookie proves nothing",
       "GET",
       "/",
       {{"Host", "127.0.0.1:8790"}, {"Cookie", "a=b; " + cookie}},
       Refusal::kToken,
       ""},
      {"file by path prefix",
       "GET",
       prefix + "/ui/console.css",
       {{"Host", "127.0.0.1:8790"}},
       Refusal::kNone,
       "/ui/console.css"},
      {"help page by path prefix",
       "GET",
       prefix + "/help/sql_query.html",
       {{"Host", "localhost:8790"}},
       Refusal::kNone,
       "/help/sql_query.html"},
      {"wrong path prefix",
       "GET",
       "/k/0123456789abcdef0123456789abcdee/ui/console.css",
       {{"Host", "127.0.0.1:8790"}},
       Refusal::kToken,
       ""},
      {"shortened path prefix",
       "GET",
       "/k/0123456789abcdef/ui/console.css",
       {{"Host", "127.0.0.1:8790"}},
       Refusal::kToken,
       ""},
      {"path prefix with nothing after it",
       "GET",
       prefix,
       {{"Host", "127.0.0.1:8790"}},
       Refusal::kToken,
       ""},
      {"wrong path prefix, right header",
       "GET",
       "/k/wrong/ui/console.css",
       {{"Host", "127.0.0.1:8790"}, {"X-Qorsv-Token", kToken}},
       Refusal::kToken,
       ""},
      {"path prefix on a foreign Host",
       "GET",
       prefix + "/ui/console.css",
       {{"Host", "evil.example:8790"}},
       Refusal::kHost,
       ""},
      {"api by header",
       "GET",
       "/api/files",
       {{"Host", "127.0.0.1:8790"}, {"X-Qorsv-Token", kToken}},
       Refusal::kNone,
       "/api/files"},
      {"post from own origin",
       "POST",
       "/api/command",
       {{"Host", "127.0.0.1:8790"}, {"Origin", "http://localhost:8790"}, {"X-Qorsv-Token", kToken}},
       Refusal::kNone,
       "/api/command"},
      {"post without origin",
       "POST",
       "/api/command",
       {{"Host", "127.0.0.1:8790"}, {"X-Qorsv-Token", kToken}},
       Refusal::kOrigin,
       ""},
      {"post from another site",
       "POST",
       "/api/command",
       {{"Host", "127.0.0.1:8790"}, {"Origin", "http://evil.example"}, {"X-Qorsv-Token", kToken}},
       Refusal::kOrigin,
       ""},
      {"post from another port",
       "POST",
       "/api/command",
       {{"Host", "127.0.0.1:8790"}, {"Origin", "http://127.0.0.1:8080"}, {"X-Qorsv-Token", kToken}},
       Refusal::kOrigin,
       ""},
      {"post from null origin",
       "POST",
       "/api/command",
       {{"Host", "127.0.0.1:8790"}, {"Origin", "null"}, {"X-Qorsv-Token", kToken}},
       Refusal::kOrigin,
       ""},
      {"delete from own origin, no token",
       "DELETE",
       "/api/command",
       {{"Host", "127.0.0.1:8790"}, {"Origin", "http://127.0.0.1:8790"}},
       Refusal::kToken,
       ""},
  };
  for (const Case& c : cases) {
    OperatorRequest request = Request(c.method, c.target, c.headers);
    GuardVerdict verdict = CheckOperatorRequest(request, Access());
    EXPECT_EQ(verdict.refusal, c.expected) << c.what;
    EXPECT_EQ(verdict.path, c.routed) << c.what;
    if (c.expected == Refusal::kNone) {
      EXPECT_EQ(verdict.by_prefix, c.target.rfind("/k/", 0) == 0) << c.what;
    }
  }
}

TEST(OperatorGuardTest, AnEmptyTokenProvesNothing) {
  for (const char* target : {"/?token=", "/k//ui/console.css"}) {
    OperatorRequest request = Request("GET", target, {{"Host", "127.0.0.1:8790"}});
    EXPECT_EQ(CheckOperatorRequest(request, OperatorAccess{8790, ""}).refusal, Refusal::kToken)
        << target;
  }
}

TEST(OperatorGuardTest, TheLogNeverShowsAPathPrefixToken) {
  struct Case {
    std::string path, logged;
  } cases[] = {
      {std::string("/k/") + kToken + "/ui/console.css", "/k/*/ui/console.css"},
      {"/k/guess/help/index.html", "/k/*/help/index.html"},
      {"/k/guess", "/k/*"},
      {"/workbench", "/workbench"},
      {"/ui/k/x", "/ui/k/x"},
  };
  for (const Case& c : cases) EXPECT_EQ(PathForLog(c.path), c.logged) << c.path;
  EXPECT_EQ(TokenPathPrefix(Access()), std::string("/k/") + kToken + "/");
}

TEST(OperatorGuardTest, ConstantTimeEqualsComparesWholeTexts) {
  struct Case {
    std::string a, b;
    bool equal;
  } cases[] = {
      {"", "", true},
      {"abc", "abc", true},
      {"abc", "abd", false},
      {"abc", "ab", false},
      {"ab", "abc", false},
      {"", "a", false},
      {std::string("a\0b", 3), std::string("a\0c", 3), false},
  };
  for (const Case& c : cases) EXPECT_EQ(ConstantTimeEquals(c.a, c.b), c.equal) << c.a << "|" << c.b;
}

}  // namespace
}  // namespace qorsv
