#include "scripthost/conversions.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "transport/error.h"

namespace qorsv::scriptapi {
namespace {

constexpr int kMaxHexDigits = 32;
constexpr int kFloatDigits = 15;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

[[noreturn]] void ThrowNotInteger(const std::string& text) {
  throw QorsvError("'" + text + "' is not a valid integer value");
}

[[noreturn]] void ThrowNotFloat(const std::string& text) {
  throw QorsvError("'" + text + "' is not a valid floating point value");
}

// The 15 significant digits of a finite, non-zero magnitude (trailing zeros removed) and its
// exponent in the sense value = 0.d1d2d3... * 10^exponent.
struct DecimalDigits {
  std::string digits;
  int exponent;
};

DecimalDigits SignificantDigits(double magnitude) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", kFloatDigits - 1, magnitude);
  std::string text(buffer);
  size_t e_pos = text.find('e');
  std::string digits;
  for (size_t i = 0; i < e_pos; ++i) {
    if (IsDigit(text[i])) digits += text[i];
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  int exponent = std::atoi(text.c_str() + e_pos + 1) + 1;
  return {digits, exponent};
}

}  // namespace

std::string IntToHex(int32_t value, int32_t digits) {
  static const char kHex[] = "0123456789ABCDEF";
  uint32_t bits = static_cast<uint32_t>(value);
  std::string text;
  do {
    text.insert(text.begin(), kHex[bits & 0xF]);
    bits >>= 4;
  } while (bits != 0);
  int32_t width = digits > kMaxHexDigits ? kMaxHexDigits : digits;
  if (width > static_cast<int32_t>(text.size())) text.insert(0, width - text.size(), '0');
  return text;
}

int32_t StrToInt(const std::string& text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == n) ThrowNotInteger(text);
  // Hexadecimal texts cover the whole 32 bits ($FFFFFFFF is -1); decimal ones the signed range.
  const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  uint64_t magnitude = 0;
  for (; i < n; ++i) {
    int digit = hex ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
    if (digit < 0) ThrowNotInteger(text);
    magnitude = magnitude * (hex ? 16 : 10) + digit;
    if (magnitude > limit) ThrowNotInteger(text);
  }
  uint32_t bits = static_cast<uint32_t>(magnitude);
  if (negative) bits = 0u - bits;
  return static_cast<int32_t>(bits);
}

std::string FloatToStr(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  std::string sign = value < 0 ? "-" : "";
  DecimalDigits d = SignificantDigits(std::fabs(value));
  if (d.exponent > kFloatDigits || d.exponent < -3) {
    std::string text = sign + d.digits.substr(0, 1);
    if (d.digits.size() > 1) text += "." + d.digits.substr(1);
    return text + "E" + std::to_string(d.exponent - 1);
  }
  if (d.exponent <= 0) return sign + "0." + std::string(-d.exponent, '0') + d.digits;
  std::string integer = d.digits.substr(0, d.exponent);
  if (static_cast<int>(integer.size()) < d.exponent)
    integer.append(d.exponent - integer.size(), '0');
  std::string fraction =
      static_cast<int>(d.digits.size()) > d.exponent ? d.digits.substr(d.exponent) : "";
  return sign + integer + (fraction.empty() ? "" : "." + fraction);
}

double StrToFloat(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  size_t i = begin;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const size_t number_start = i;
  size_t integer_digits = 0;
  size_t leading_zeros = 0;
  while (i < end && IsDigit(text[i])) {
    if (integer_digits == leading_zeros && text[i] == '0') ++leading_zeros;
    ++integer_digits;
    ++i;
  }
  size_t fraction_digits = 0;
  if (i < end && text[i] == '.') {
    ++i;
    while (i < end && IsDigit(text[i])) ++fraction_digits, ++i;
  }
  if (integer_digits + fraction_digits == 0) ThrowNotFloat(text);
  long exponent = 0;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exponent_negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) exponent_negative = text[i++] == '-';
    if (i == end || !IsDigit(text[i])) ThrowNotFloat(text);
    while (i < end && IsDigit(text[i])) {
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
      ++i;
    }
    if (exponent_negative) exponent = -exponent;
  }
  if (i != end) ThrowNotFloat(text);

  double value = 0;
  auto [ptr, error] = std::from_chars(text.data() + number_start, text.data() + end, value);
  if (error == std::errc::result_out_of_range) {
    // Too small for a double reads as zero; too large is not a value this system can hold.
    long magnitude = static_cast<long>(integer_digits - leading_zeros) + exponent;
    if (magnitude > 0) ThrowNotFloat(text);
    value = 0;
  } else if (error != std::errc() || ptr != text.data() + end) {
    ThrowNotFloat(text);
  }
  return negative ? -value : value;
}

std::string StringReplace(const std::string& text, const std::string& old_pattern,
                          const std::string& new_pattern) {
  if (old_pattern.empty()) return text;
  std::string result;
  size_t from = 0;
  for (size_t at = text.find(old_pattern); at != std::string::npos;
       at = text.find(old_pattern, from)) {
    result.append(text, from, at - from);
    result += new_pattern;
    from = at + old_pattern.size();
  }
  result.append(text, from, std::string::npos);
  return result;
}

std::string MidStr(const std::string& text, int32_t start, int32_t count) {
  int64_t first = start < 1 ? 1 : start;
  if (count < 1 || first > static_cast<int64_t>(text.size())) return "";
  return text.substr(first - 1, count);
}

int32_t AnsiPos(const std::string& needle, const std::string& text) {
  if (needle.empty()) return 0;
  size_t at = text.find(needle);
  return at == std::string::npos ? 0 : static_cast<int32_t>(at + 1);
}

char AnsiUpperChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);
  switch (u) {
    case 0x9A:
      return static_cast<char>(0x8A);  // š -> Š
    case 0x9C:
      return static_cast<char>(0x8C);  // œ -> Œ
    case 0x9E:
      return static_cast<char>(0x8E);  // ž -> Ž
    case 0xFF:
      return static_cast<char>(0x9F);  // ÿ -> Ÿ
    default:
      return c;
  }
}

char AnsiLowerChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
  if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 32);
  switch (u) {
    case 0x8A:
      return static_cast<char>(0x9A);
    case 0x8C:
      return static_cast<char>(0x9C);
    case 0x8E:
      return static_cast<char>(0x9E);
    case 0x9F:
      return static_cast<char>(0xFF);
    default:
      return c;
  }
}

std::string AnsiUpperCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = AnsiUpperChar(c);
  return result;
}

std::string AnsiLowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = AnsiLowerChar(c);
  return result;
}

bool AnsiSameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AnsiLowerChar(a[i]) != AnsiLowerChar(b[i])) return false;
  }
  return true;
}

}  // namespace qorsv::scriptapi
