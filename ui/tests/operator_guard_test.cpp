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
  const std::string cookie = std::string("qorsv_token_8790=") + kToken;
  struct Case {
    const char* what;
    std::string method;
    std::string target;
    std::vector<std::pair<std::string, std::string>> headers;
    TokenCarrier carrier;
    Refusal expected;
  } cases[] = {
      {"page with token",
       "GET",
       "/?" + token,
       {{"Host", "127.0.0.1:8790"}},
       TokenCarrier::kPage,
       Refusal::kNone},
      {"localhost, any case",
       "GET",
       "/?" + token,
       {{"Host", "LocalHost:8790"}},
       TokenCarrier::kPage,
       Refusal::kNone},
      {"no Host", "GET", "/?" + token, {}, TokenCarrier::kPage, Refusal::kHost},
      {"foreign Host",
       "GET",
       "/?" + token,
       {{"Host", "evil.example:8790"}},
       TokenCarrier::kPage,
       Refusal::kHost},
      {"Host without port",
       "GET",
       "/?" + token,
       {{"Host", "127.0.0.1"}},
       TokenCarrier::kPage,
       Refusal::kHost},
      {"Host of another port",
       "GET",
       "/?" + token,
       {{"Host", "127.0.0.1:80"}},
       TokenCarrier::kPage,
       Refusal::kHost},
      {"two Host lines",
       "GET",
       "/?" + token,
       {{"Host", "127.0.0.1:8790"}, {"Host", "evil:8790"}},
       TokenCarrier::kPage,
       Refusal::kHost},
      {"no token", "GET", "/", {{"Host", "127.0.0.1:8790"}}, TokenCarrier::kPage, Refusal::kToken},
      {"wrong token",
       "GET",
       "/?token=0123456789abcdef0123456789abcdee",
       {{"Host", "127.0.0.1:8790"}},
       TokenCarrier::kPage,
       Refusal::kToken},
      {"token prefix",
       "GET",
       "/?token=0123456789abcdef",
       {{"Host", "127.0.0.1:8790"}},
       TokenCarrier::kPage,
       Refusal::kToken},
      {"page by cookie",
       "GET",
       "/",
       {{"Host", "127.0.0.1:8790"}, {"Cookie", "a=b; " + cookie}},
       TokenCarrier::kPage,
       Refusal::kNone},
      {"cookie of another port",
       "GET",
       "/",
       {{"Host", "127.0.0.1:8790"}, {"Cookie", std::string("qorsv_token_8791=") + kToken}},
       TokenCarrier::kPage,
       Refusal::kToken},
      {"api by cookie only",
       "GET",
       "/api/files",
       {{"Host", "127.0.0.1:8790"}, {"Cookie", cookie}},
       TokenCarrier::kApi,
       Refusal::kToken},
      {"api by header",
       "GET",
       "/api/files",
       {{"Host", "127.0.0.1:8790"}, {"X-Qorsv-Token", kToken}},
       TokenCarrier::kApi,
       Refusal::kNone},
      {"post from own origin",
       "POST",
       "/api/command",
       {{"Host", "127.0.0.1:8790"}, {"Origin", "http://localhost:8790"}, {"X-Qorsv-Token", kToken}},
       TokenCarrier::kApi,
       Refusal::kNone},
      {"post without origin",
       "POST",
       "/api/command",
       {{"Host", "127.0.0.1:8790"}, {"X-Qorsv-Token", kToken}},
       TokenCarrier::kApi,
       Refusal::kOrigin},
      {"post from another site",
       "POST",
       "/api/command",
       {{"Host", "127.0.0.1:8790"}, {"Origin", "http://evil.example"}, {"X-Qorsv-Token", kToken}},
       TokenCarrier::kApi,
       Refusal::kOrigin},
      {"post from another port",
       "POST",
       "/api/command",
       {{"Host", "127.0.0.1:8790"}, {"Origin", "http://127.0.0.1:8080"}, {"X-Qorsv-Token", kToken}},
       TokenCarrier::kApi,
       Refusal::kOrigin},
      {"post from null origin",
       "POST",
       "/api/command",
       {{"Host", "127.0.0.1:8790"}, {"Origin", "null"}, {"X-Qorsv-Token", kToken}},
       TokenCarrier::kApi,
       Refusal::kOrigin},
      {"delete from own origin, no token",
       "DELETE",
       "/api/command",
       {{"Host", "127.0.0.1:8790"}, {"Origin", "http://127.0.0.1:8790"}},
       TokenCarrier::kApi,
       Refusal::kToken},
  };
  for (const Case& c : cases) {
    OperatorRequest request = Request(c.method, c.target, c.headers);
    EXPECT_EQ(CheckOperatorRequest(request, Access(), c.carrier), c.expected) << c.what;
  }
}

TEST(OperatorGuardTest, AnEmptyTokenProvesNothing) {
  OperatorRequest request = Request("GET", "/?token=", {{"Host", "127.0.0.1:8790"}});
  EXPECT_EQ(CheckOperatorRequest(request, OperatorAccess{8790, ""}, TokenCarrier::kPage),
            Refusal::kToken);
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

TEST(OperatorGuardTest, TheCookieIsStrictAndOutOfReachOfScripts) {
  EXPECT_EQ(TokenCookie(Access()),
            std::string("qorsv_token_8790=") + kToken + "; Path=/; HttpOnly; SameSite=Strict");
}

}  // namespace
}  // namespace qorsv
