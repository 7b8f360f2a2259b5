// Number texts as scripts see them: Delphi's general float format with "." as the decimal
// separator, and the integer and float readers behind StrToInt, StrToFloat and variants.
//
// Used by the standard routines and by variant conversions. Pure functions: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qorsv::script {

// Up to 15 significant digits; fixed notation unless the exponent is 15 or more or the value is
// below 0.0001 ("1E20", "1E-5", "0.0001"); "NAN", "INF", "-INF".
std::string FormatFloat(double value);

// Leading blanks, an optional sign, then decimal digits, or hexadecimal digits after "$", "x",
// "X", "0x" or "0X". Values beyond `bits` (32 or 64; hexadecimal may use the full unsigned
// width) are refused.
std::optional<int64_t> ParseInteger(std::string_view text, int bits);

// Optional blanks around an optional sign, digits with "." as the decimal separator and an
// optional exponent.
std::optional<double> ParseFloat(std::string_view text);

}  // namespace qorsv::script
