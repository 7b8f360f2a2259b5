// Number and text conversions that scripts call: integer and floating-point text forms, the
// Windows-1252 (Latin-1) case mapping of the Ansi* functions, and the small text helpers.
//
// Used by the script natives and by anything else of the script host that folds letter case.
// Pure functions of their arguments: safe on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qorsv::scriptapi {

// Value in upper-case hexadecimal with at least `digits` digits; a negative value is written as
// its 32-bit two's complement. The padding stops at 32 digits.
std::string IntToHex(int32_t value, int32_t digits);

// The integer that `text` holds: leading blanks, an optional sign, then decimal digits, or
// hexadecimal digits after "$", "x", "X", "0x" or "0X". Throws QorsvError
// "'<text>' is not a valid integer value" for anything else or a value beyond 32 bits.
int32_t StrToInt(const std::string& text);

// Value in the general number format with up to 15 significant digits and "." as decimal
// separator: fixed notation while the value has at most 15 integer digits and is not smaller
// than 0.0001, scientific notation ("1.5E-7", "1E20") otherwise.
std::string FloatToStr(double value);

// The number that `text` holds: optional blanks around it, an optional sign, digits with "." as
// decimal separator, an optional exponent. Throws QorsvError
// "'<text>' is not a valid floating point value" for anything else.
double StrToFloat(const std::string& text);

// Every occurrence of `old_pattern` replaced, letter case significant, scanning from the left
// without rescanning replaced text. An empty pattern replaces nothing.
std::string StringReplace(const std::string& text, const std::string& old_pattern,
                          const std::string& new_pattern);

// At most `count` characters from the 1-based position `start` (a start below 1 counts as 1).
std::string MidStr(const std::string& text, int32_t start, int32_t count);

// 1-based position of the first occurrence of `needle` in `text`, or 0 (also for an empty
// needle).
int32_t AnsiPos(const std::string& needle, const std::string& text);

// Case mapping of Windows-1252: ASCII letters, the Latin-1 letters from 192 up, and the four
// pairs Š/š, Œ/œ, Ž/ž and Ÿ/ÿ.
char AnsiUpperChar(char c);
char AnsiLowerChar(char c);
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);

// True when both texts are equal once letter case is ignored (Windows-1252 mapping).
bool AnsiSameText(std::string_view a, std::string_view b);

}  // namespace qorsv::scriptapi
