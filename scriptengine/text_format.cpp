#include "scriptengine/text_format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace qorsv::script {

std::string FormatFloat(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  // 15 significant digits: d.dddddddddddddde[+-]xx
  // to_chars does not depend on the process locale.
  char buffer[64];
  auto written = std::to_chars(buffer, buffer + sizeof(buffer), std::fabs(value),
                               std::chars_format::scientific, 14);
  std::string text(buffer, written.ptr);
  size_t e = text.find('e');
  std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
  int exponent = std::atoi(text.c_str() + e + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string result = value < 0 ? "-" : "";
  if (exponent >= 15 || exponent < -4) {
    result += digits.substr(0, 1);
    if (digits.size() > 1) result += "." + digits.substr(1);
    result += "E";
    if (exponent < 0) result += "-";
    result += std::to_string(std::abs(exponent));
    return result;
  }
  if (exponent >= 0) {
    size_t integer_digits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= integer_digits) {
      result += digits + std::string(integer_digits - digits.size(), '0');
    } else {
      result += digits.substr(0, integer_digits) + "." + digits.substr(integer_digits);
    }
    return result;
  }
  result += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  return result;
}

std::optional<int64_t> ParseInteger(std::string_view text, int bits) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;
  uint64_t value = 0;
  const uint64_t limit =
      hex ? (bits == 32 ? 0xFFFFFFFFULL : UINT64_MAX)
          : (bits == 32 ? (negative ? 2147483648ULL : 2147483647ULL)
                        : (negative ? 9223372036854775808ULL : 9223372036854775807ULL));
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    uint64_t base = hex ? 16 : 10;
    if (value > (limit - static_cast<uint64_t>(digit)) / base) return std::nullopt;
    value = value * base + static_cast<uint64_t>(digit);
  }
  if (hex && bits == 32) {
    int64_t wrapped = static_cast<int32_t>(static_cast<uint32_t>(value));
    return negative ? -wrapped : wrapped;
  }
  if (negative) return static_cast<int64_t>(0 - value);
  return static_cast<int64_t>(value);
}

std::optional<double> ParseFloat(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  std::string body(text.substr(begin, end - begin));
  size_t i = 0;
  if (i < body.size() && (body[i] == '+' || body[i] == '-')) ++i;
  size_t digits = 0;
  while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i, ++digits;
  if (i < body.size() && body[i] == '.') {
    ++i;
    while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
    ++i;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) ++i;
    size_t exponent_digits = 0;
    while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i, ++exponent_digits;
    if (exponent_digits == 0) return std::nullopt;
  }
  if (i != body.size()) return std::nullopt;
  double value = 0;
  const char* first = body.c_str();
  if (*first == '+') ++first;
  auto parsed = std::from_chars(first, body.c_str() + body.size(), value);
  if (parsed.ec != std::errc()) return std::nullopt;
  return value;
}

}  // namespace qorsv::script
