#include "scripthost/conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "transport/error.h"

namespace qorsv::scriptapi {
namespace {

// Runs a conversion over a table of texts: each either converts to the expected value or fails
// with "'<text>' is not a valid <what>".
template <typename T, typename Convert>
void CheckConversions(const std::vector<std::pair<std::string, std::optional<T>>>& cases,
                      Convert convert, const std::string& what) {
  for (const auto& [text, expected] : cases) {
    try {
      T value = convert(text);
      EXPECT_TRUE(expected.has_value()) << "'" << text << "' was accepted";
      if (expected) {
        EXPECT_EQ(value, *expected) << "'" << text << "'";
      }
    } catch (const QorsvError& error) {
      EXPECT_FALSE(expected.has_value()) << "'" << text << "' was refused";
      EXPECT_EQ(std::string(error.what()), "'" + text + "' is not a valid " + what);
    }
  }
}

TEST(ConversionsTest, IntToHexPadsAndWritesNegativesAsTwosComplement) {
  // clang-format off
  struct Case {
    int32_t value, digits;
    std::string expected;
  } cases[] = {
      {255, 0, "FF"}, {255, 4, "00FF"}, {0, 0, "0"}, {-1, 2, "FFFFFFFF"},
      {-2, 10, "00FFFFFFFE"}, {INT32_MIN, 1, "80000000"}, {0xABC, -5, "ABC"},
      {1, 100, std::string(31, '0') + "1"}};
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(IntToHex(c.value, c.digits), c.expected) << c.value << " / " << c.digits;
  }
}

TEST(ConversionsTest, StrToInt) {
  // clang-format off
  CheckConversions<int32_t>(
      {{"42", 42}, {"  -17", -17}, {"+5", 5}, {"$1F", 31}, {"x1f", 31}, {"X10", 16},
       {"0x10", 16}, {"$FFFFFFFF", -1}, {"-$10", -16}, {"2147483647", INT32_MAX},
       {"-2147483648", INT32_MIN}, {"2147483648", {}}, {"$100000000", {}}, {"12a", {}},
       {"12 ", {}}, {"", {}}, {"-", {}}, {"$", {}}, {"0x", {}}, {"1.5", {}}, {"\t3", {}}},
      StrToInt, "integer value");
  // clang-format on
}

TEST(ConversionsTest, FloatToStrUsesTheGeneralFormatWithFifteenDigits) {
  // clang-format off
  struct Case {
    double value;
    std::string expected;
  } cases[] = {
      {0, "0"}, {1.5, "1.5"}, {-2.25, "-2.25"}, {100, "100"}, {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"}, {123456789012345.0, "123456789012345"}, {1e15, "1E15"},
      {1.5e20, "1.5E20"}, {0.0001, "0.0001"}, {0.00001, "1E-5"}, {-2.5e-7, "-2.5E-7"},
      {INFINITY, "INF"}, {NAN, "NAN"}};
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(FloatToStr(c.value), c.expected) << c.value;
}

TEST(ConversionsTest, StrToFloat) {
  // clang-format off
  CheckConversions<double>(
      {{"1.5", 1.5}, {" -2.25 ", -2.25}, {"+3", 3}, {"5.", 5}, {".5", 0.5}, {"1e3", 1000},
       {"1.5E-2", 0.015}, {"1e-400", 0}, {"1,5", {}}, {"abc", {}}, {"", {}}, {".", {}},
       {"1e", {}}, {"- 1", {}}, {"0x10", {}}, {"inf", {}}, {"1e400", {}}, {"1.5x", {}}},
      StrToFloat, "floating point value");
  // clang-format on
}

TEST(ConversionsTest, TextHelpers) {
  EXPECT_EQ(StringReplace("aaa", "aa", "b"), "ba");
  EXPECT_EQ(StringReplace("abcabc", "b", "bb"), "abbcabbc");  // replaced text is not rescanned
  EXPECT_EQ(StringReplace("Hello", "h", "J"), "Hello");
  EXPECT_EQ(StringReplace("abc", "", "x"), "abc");

  struct MidCase {
    int32_t start, count;
    std::string expected;
  } mids[] = {{2, 5, "bc"}, {0, 2, "ab"}, {-5, 1, "a"},        {4, 1, ""},
              {1, 0, ""},   {2, -1, ""},  {3, INT32_MAX, "c"}, {INT32_MAX, 1, ""}};
  for (const MidCase& c : mids) {
    EXPECT_EQ(MidStr("abc", c.start, c.count), c.expected) << c.start << "," << c.count;
  }

  EXPECT_EQ(AnsiPos("c", "abcabc"), 3);
  EXPECT_EQ(AnsiPos("x", "abc"), 0);
  EXPECT_EQ(AnsiPos("", "abc"), 0);
}

TEST(ConversionsTest, AnsiCaseFollowsWindows1252) {
  // à/À, é/É, ß has no capital, ÷ and × are no letters, š/Š, œ/Œ, ž/Ž, ÿ/Ÿ.
  EXPECT_EQ(AnsiUpperCase("abz\xE0\xE9\xDF\xF7\x9A\x9C\x9E\xFF"),
            "ABZ\xC0\xC9\xDF\xF7\x8A\x8C\x8E\x9F");
  EXPECT_EQ(AnsiLowerCase("ABZ\xC0\xC9\xD7\x8A\x8C\x8E\x9F"), "abz\xE0\xE9\xD7\x9A\x9C\x9E\xFF");
  EXPECT_TRUE(AnsiSameText("\xC9t\xE9", "\xE9T\xC9"));
  EXPECT_FALSE(AnsiSameText("abc", "ab"));
}

}  // namespace
}  // namespace qorsv::scriptapi
