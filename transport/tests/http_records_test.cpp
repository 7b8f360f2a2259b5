#include "transport/http_records.h"

#include <gtest/gtest.h>

namespace qorsv {
namespace {

HeaderLines Lines(std::vector<std::string> lines) { return HeaderLines(std::move(lines)); }

TEST(HeaderLinesTest, NameOfLineIsTextBeforeColonBlank) {
  HeaderLines lines = Lines({"Host: a", "X:b", " folded: c", "Weird: : d", ""});
  const char* expected[] = {"Host", "", " folded", "Weird", ""};
  for (size_t i = 0; i < lines.Count(); ++i) {
    EXPECT_EQ(lines.NameOfLine(i), expected[i]) << "line " << i;
  }
}

TEST(HeaderLinesTest, ValuesFollowTheFirstLineOfAName) {
  HeaderLines lines = Lines({"Host: example.org", "Cookie: a=1", "cookie: b=2", "X-Long: one",
                             "  two", "\tthree", "X-Tight:value", "X-Blanks:    padded", "  "});
  struct Case {
    const char* name;
    const char* value;
  } cases[] = {
      {"host", "example.org"},        // letter case ignored
      {"COOKIE", "a=1"},              // the first of two lines wins
      {"X-Long", "one two three"},    // continuation lines joined by one blank
      {"X-Tight", "value"},           // no blank after the colon
      {"X-Blanks", "padded"},         // leading blanks removed; the last line is no continuation
      {"Missing", ""},
      {"", ""},                        // the empty name has the empty value
  };
  for (const Case& c : cases) EXPECT_EQ(lines.Values(c.name), c.value) << c.name;
}

TEST(ResponseCookieTest, HeaderTextWritesAttributesInOrder) {
  ResponseCookie plain;
  plain.name = "a";
  plain.value = "1";
  EXPECT_EQ(plain.HeaderText(), "a=1; Version=\"1\"");

  ResponseCookie full = plain;
  full.domain = "example.org";
  full.path = "/shop";
  full.max_age = 0;
  full.comment = "hi";
  full.secure = true;
  EXPECT_EQ(full.HeaderText(),
            "a=1; Domain=example.org; Version=\"1\"; Path=/shop; Max-Age=0; Comment=hi; Secure");
}

TEST(ResponseInfoTest, AddCookiesFromText) {
  struct Case {
    const char* text;
    std::vector<std::string> expected;  // HeaderText of each cookie
  } cases[] = {
      {"qorserver=..::Torvane !::..0.9.8.1 - x", {"qorserver=..::Torvane !::..0.9.8.1 - x; Version=\"1\""}},
      {" a = 1; b=2", {"a= 1; Version=\"1\"", "b=2; Version=\"1\""}},
      {"a=\"x;y\"; b=2", {"a=x;y; Version=\"1\"", "b=2; Version=\"1\""}},
      {"a=1; $Path=/p; $Domain=d.org; $Version=1",
       {"a=1; Domain=d.org; Version=\"1\"; Path=/p"}},
      {"$Path=/p; a=1", {"a=1; Version=\"1\""}},  // no cookie before it to take the path
      {"flag; a=", {"a=; Version=\"1\""}},
      {"", {}},
  };
  for (const Case& c : cases) {
    ResponseInfo response;
    response.AddCookiesFromText(c.text);
    std::vector<std::string> got;
    for (const ResponseCookie& cookie : response.ResponseCookies) got.push_back(cookie.HeaderText());
    EXPECT_EQ(got, c.expected) << c.text;
  }
}

TEST(ResponseInfoTest, DefaultsAndStatus) {
  ResponseInfo response;
  EXPECT_EQ(response.StatusCode(), 200);
  EXPECT_EQ(response.StatusText(), "OK");
  EXPECT_EQ(response.ContentType, "text/html");
  EXPECT_EQ(response.ContentLength, -1);
  EXPECT_EQ(response.ServerSoftware, "Indy/8.0.25");
  response.SetStatusCode(404);
  EXPECT_EQ(response.StatusText(), "Not Found");
  response.SetStatusCode(500);
  EXPECT_EQ(response.StatusText(), "Internal Server Error");
  response.AddCookiesFromText("x=1; x=2");
  ASSERT_NE(response.FindCookie("x"), nullptr);
  EXPECT_EQ(response.FindCookie("x")->value, "1");
  EXPECT_EQ(response.FindCookie("y"), nullptr);
}

}  // namespace
}  // namespace qorsv
