#include "scripthost/conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "transport/error.h"

namespace qorsv::scriptapi {
namespace {

TEST(IntToHexTest, DigitsAndTwosComplement) {
  struct Case {
    int32_t value;
    int32_t digits;
    std::string expected;
  } cases[] = {
      {255, 0, "FF"},
      {255, 4, "00FF"},
      {0, 0, "0"},
      {0, 3, "000"},
      {-1, 2, "FFFFFFFF"},
      {-2, 10, "00FFFFFFFE"},
      {INT32_MIN, 1, "80000000"},
      {0xABC, -5, "ABC"},
      {1, 100, std::string(31, '0') + "1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IntToHex(c.value, c.digits), c.expected) << c.value << " / " << c.digits;
  }
}

TEST(StrToIntTest, AcceptedAndRejectedTexts) {
  struct Case {
    std::string text;
    std::optional<int32_t> expected;  // nullopt: fails
  } cases[] = {
      {"42", 42},
      {"  -17", -17},
      {"+5", 5},
      {"$1F", 31},
      {"x1f", 31},
      {"X10", 16},
      {"0x10", 16},
      {"0X7fffffff", INT32_MAX},
      {"$FFFFFFFF", -1},
      {"-$10", -16},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"007", 7},
      {"2147483648", std::nullopt},
      {"$100000000", std::nullopt},
      {"12a", std::nullopt},
      {"12 ", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"-", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"1.5", std::nullopt},
      {"\t3", std::nullopt},
  };
  for (const Case& c : cases) {
    if (c.expected) {
      EXPECT_EQ(StrToInt(c.text), *c.expected) << "'" << c.text << "'";
      continue;
    }
    try {
      StrToInt(c.text);
      ADD_FAILURE() << "'" << c.text << "' was accepted";
    } catch (const QorsvError& error) {
      EXPECT_EQ(std::string(error.what()), "'" + c.text + "' is not a valid integer value");
    }
  }
}

TEST(FloatToStrTest, GeneralFormatWithFifteenDigits) {
  struct Case {
    double value;
    std::string expected;
  } cases[] = {
      {0, "0"},
      {1.5, "1.5"},
      {-2.25, "-2.25"},
      {100, "100"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1E15"},
      {1.5e20, "1.5E20"},
      {0.0001, "0.0001"},
      {0.00012345, "0.00012345"},
      {0.00001, "1E-5"},
      {-2.5e-7, "-2.5E-7"},
      {2.7, "2.7"},
      {INFINITY, "INF"},
      {-INFINITY, "-INF"},
      {NAN, "NAN"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FloatToStr(c.value), c.expected) << c.value;
  }
}

TEST(StrToFloatTest, AcceptedAndRejectedTexts) {
  struct Case {
    std::string text;
    std::optional<double> expected;
  } cases[] = {
      {"1.5", 1.5},
      {" -2.25 ", -2.25},
      {"+3", 3},
      {"5.", 5},
      {".5", 0.5},
      {"1e3", 1000},
      {"1.5E-2", 0.015},
      {"2e+2", 200},
      {"1e-400", 0},
      {"1,5", std::nullopt},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {".", std::nullopt},
      {"1e", std::nullopt},
      {"1e+", std::nullopt},
      {"- 1", std::nullopt},
      {"0x10", std::nullopt},
      {"inf", std::nullopt},
      {"1e400", std::nullopt},
      {"1.5x", std::nullopt},
  };
  for (const Case& c : cases) {
    if (c.expected) {
      EXPECT_DOUBLE_EQ(StrToFloat(c.text), *c.expected) << "'" << c.text << "'";
      continue;
    }
    try {
      StrToFloat(c.text);
      ADD_FAILURE() << "'" << c.text << "' was accepted";
    } catch (const QorsvError& error) {
      EXPECT_EQ(std::string(error.what()), "'" + c.text + "' is not a valid floating point value");
    }
  }
}

TEST(FloatTextTest, RoundTripsThroughItsOwnText) {
  for (double value : {3.14159, -1e-10, 12345.678, 9.99e99, 1.0 / 7}) {
    EXPECT_NEAR(StrToFloat(FloatToStr(value)), value, std::fabs(value) * 1e-14) << value;
  }
}

TEST(TextHelpersTest, StringReplaceMidStrAnsiPos) {
  EXPECT_EQ(StringReplace("aaa", "aa", "b"), "ba");
  EXPECT_EQ(StringReplace("abcabc", "b", "bb"), "abbcabbc");  // no rescan of replaced text
  EXPECT_EQ(StringReplace("Hello", "h", "J"), "Hello");       // case significant
  EXPECT_EQ(StringReplace("abc", "", "x"), "abc");

  struct MidCase {
    std::string text;
    int32_t start, count;
    std::string expected;
  } mids[] = {
      {"abc", 2, 5, "bc"},        {"abc", 0, 2, "ab"},       {"abc", -5, 1, "a"},
      {"abc", 4, 1, ""},          {"abc", 1, 0, ""},         {"abc", 2, -1, ""},
      {"abc", 3, INT32_MAX, "c"}, {"abc", INT32_MAX, 1, ""},
  };
  for (const MidCase& c : mids) {
    EXPECT_EQ(MidStr(c.text, c.start, c.count), c.expected) << c.start << "," << c.count;
  }

  EXPECT_EQ(AnsiPos("c", "abcabc"), 3);
  EXPECT_EQ(AnsiPos("x", "abc"), 0);
  EXPECT_EQ(AnsiPos("", "abc"), 0);
}

TEST(AnsiCaseTest, Windows1252Mapping) {
  // à/À, é/É, ß stays, ÷ and × are no letters, š/Š, œ/Œ, ž/Ž, ÿ/Ÿ.
  EXPECT_EQ(AnsiUpperCase("abz\xE0\xE9\xDF\xF7\x9A\x9C\x9E\xFF"),
            "ABZ\xC0\xC9\xDF\xF7\x8A\x8C\x8E\x9F");
  EXPECT_EQ(AnsiLowerCase("ABZ\xC0\xC9\xD7\x8A\x8C\x8E\x9F"), "abz\xE0\xE9\xD7\x9A\x9C\x9E\xFF");
  EXPECT_EQ(AnsiUpperCase(std::string("a\0b", 3)), std::string("A\0B", 3));
  EXPECT_TRUE(
      AnsiSameText("Stra\xDF"
                   "E \xC9t\xE9",
                   "STRA\xDF"
                   "e \xE9T\xC9"));
  EXPECT_FALSE(AnsiSameText("abc", "abd"));
  EXPECT_FALSE(AnsiSameText("abc", "ab"));
}

}  // namespace
}  // namespace qorsv::scriptapi
