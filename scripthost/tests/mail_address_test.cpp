#include "scripthost/mail_address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qorsv {
namespace {

TEST(MailAddressTest, OneAddress) {
  struct Case {
    std::string text;
    std::string name;
    std::string address;
  } const kCases[] = {
      {"anna@example.org", "", "anna@example.org"},
      {" anna@example.org ", "", " anna@example.org "},  // a bare text is taken as it stands
      {"Anna Berg <anna@example.org>", "Anna Berg", "anna@example.org"},
      {"<anna@example.org>", "", "anna@example.org"},
      {"  Anna  <  anna@example.org  >", "Anna", "anna@example.org"},
      {"\"Berg, Anna\" <anna@example.org>", "Berg, Anna", "anna@example.org"},
      {"'Anna' <a@x>", "Anna", "a@x"},
      {"\"'Anna'\" <a@x>", "Anna", "a@x"},  // quotes come off layer by layer
      {"\"Anna' <a@x>", "\"Anna'", "a@x"},  // unmatched quotes stay
      {"\" <a@x>", "\"", "a@x"},            // a single character is never stripped
      {"\"\" <a@x>", "", "a@x"},
      {"a <b> <c>", "a", "b> <c"},    // first "<" to the final ">"
      {"anna@example.org>", "", ""},  // ends with ">" but has no "<"
      {"anna@example.org (Anna Berg)", "Anna Berg", "anna@example.org"},
      {"anna@example.org ('Anna')", "Anna", "anna@example.org"},
      {"(Anna)", "Anna", ""},
      {"Anna)", "", ""},  // ends with ")" but has no "("
      {"", "", ""},
  };
  for (const Case& c : kCases) {
    const MailAddress a = ParseMailAddress(c.text);
    EXPECT_EQ(a.name, c.name) << "text: [" << c.text << "]";
    EXPECT_EQ(a.address, c.address) << "text: [" << c.text << "]";
  }
}

TEST(MailAddressTest, AddressList) {
  struct Case {
    std::string text;
    std::vector<MailAddress> list;
  } const kCases[] = {
      {"", {}},
      {" , ,, ", {}},
      {"a@x", {{"", "a@x"}}},
      {"a@x,b@x", {{"", "a@x"}, {"", "b@x"}}},
      {" a@x , Bob <b@x> ,", {{"", "a@x"}, {"Bob", "b@x"}}},
      {"a@x, \"Berg, Carl\" <c@x>", {{"", "a@x"}, {"Berg, Carl", "c@x"}}},
      // Only double quotes protect a comma, counted by parity within the piece.
      {"\"a,b\" <ab@x>, \"c\"d\"e,f\" <g@x>", {{"a,b", "ab@x"}, {"c\"d\"e,f", "g@x"}}},
      {"'a,b' <ab@x>", {{"", "'a"}, {"b'", "ab@x"}}},
      {"c@x (Carl, the second)", {{"", "c@x (Carl"}, {"", ""}}},
  };
  for (const Case& c : kCases) {
    const std::vector<MailAddress> got = ParseMailAddressList(c.text);
    ASSERT_EQ(got.size(), c.list.size()) << "text: [" << c.text << "]";
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].name, c.list[i].name) << "text: [" << c.text << "] #" << i;
      EXPECT_EQ(got[i].address, c.list[i].address) << "text: [" << c.text << "] #" << i;
    }
  }
}

TEST(MailAddressTest, BodyLines) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } const kCases[] = {
      {"", {}},
      {"one", {"one"}},
      {"one\r\n", {"one"}},
      {"one\r\ntwo\ntree\rfour", {"one", "two", "tree", "four"}},
      {"one\r\n\r\n", {"one", ""}},
      {"\n\r", {"", ""}},  // LF then a lone CR: two breaks
      {"\r\n", {""}},
      {"a\n\nb", {"a", "", "b"}},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(SplitBodyLines(c.text), c.lines) << "text: [" << c.text << "]";
  }
}

}  // namespace
}  // namespace qorsv
