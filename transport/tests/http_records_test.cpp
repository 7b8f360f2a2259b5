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

}  // namespace
}  // namespace qorsv
