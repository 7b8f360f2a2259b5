// Number texts: the general float format and the integer and float readers.
#include "scriptengine/text_format.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qorsv::script {
namespace {

TEST(TextFormatTest, FloatsInTheGeneralFormat) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {1, "1"},
      {-1.5, "-1.5"},
      {0.1, "0.1"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {0.0001, "0.0001"},
      {0.00001, "1E-5"},
      {1.5e-7, "1.5E-7"},
      {123456.789, "123456.789"},
      {1e14, "100000000000000"},
      {1e15, "1E15"},
      {1.23456789012345678e17, "1.23456789012346E17"},
      {59.97, "59.97"},
      {100, "100"},
      {-0.5, "-0.5"},
      {NAN, "NAN"},
      {INFINITY, "INF"},
      {-INFINITY, "-INF"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatFloat(c.value), c.text) << c.text;
}

TEST(TextFormatTest, Integers) {
  struct Case {
    const char* text;
    int bits;
    std::optional<int64_t> value;
  } cases[] = {
      {"0", 32, 0},
      {"  12", 32, 12},
      {"-2147483648", 32, INT32_MIN},
      {"2147483647", 32, INT32_MAX},
      {"2147483648", 32, std::nullopt},
      {"+5", 32, 5},
      {"$ff", 32, 255},
      {"x1F", 32, 31},
      {"X1f", 32, 31},
      {"0x7FFFFFFF", 32, INT32_MAX},
      {"$FFFFFFFF", 32, -1},
      {"$100000000", 32, std::nullopt},
      {"-$10", 32, -16},
      {"12 ", 32, std::nullopt},
      {"", 32, std::nullopt},
      {"-", 32, std::nullopt},
      {"$", 32, std::nullopt},
      {"1e3", 32, std::nullopt},
      {"9223372036854775807", 64, INT64_MAX},
      {"-9223372036854775808", 64, INT64_MIN},
      {"9223372036854775808", 64, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseInteger(c.text, c.bits), c.value) << c.text;
}

TEST(TextFormatTest, Floats) {
  struct Case {
    const char* text;
    std::optional<double> value;
  } cases[] = {
      {"1", 1},
      {" 2.5 ", 2.5},
      {"-0.25", -0.25},
      {"+3", 3},
      {".5", 0.5},
      {"5.", 5},
      {"1e3", 1000},
      {"1E-2", 0.01},
      {"", std::nullopt},
      {"1,5", std::nullopt},
      {"abc", std::nullopt},
      {"1e", std::nullopt},
      {"--1", std::nullopt},
      {"1e999", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFloat(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace qorsv::script
