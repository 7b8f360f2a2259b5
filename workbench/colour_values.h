// Colour values as the editor settings and the scheme files hold them, and their CSS form for
// the pages.
//
// A colour is a 32-bit signed integer: 0x00BBGGRR is an RGB colour (red in the lowest byte),
// 0x80000000 + n is the system colour number n of the desktop's colour table (the button face
// is 0x8000000F), and 0x1FFFFFFF stands for no colour of its own (the text takes the editor's
// colours). Pure functions, callable from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qorsv {

inline constexpr int32_t kColourNone = 0x1FFFFFFF;
inline constexpr int32_t kColourBlack = 0;
inline constexpr int32_t kColourButtonFace = static_cast<int32_t>(0x8000000F);

// 0x00BBGGRR from the three components.
constexpr int32_t RgbColour(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<int32_t>(uint32_t{red} | (uint32_t{green} << 8) | (uint32_t{blue} << 16));
}

// The system colour number n as a colour value.
constexpr int32_t SystemColour(uint8_t n) { return static_cast<int32_t>(0x80000000u + n); }

// The colour as "#rrggbb", with system colours taken from the classic desktop scheme (an
// unknown system colour number gives black, as the desktop answers for one). Nothing for
// kColourNone: the caller uses the editor's own colour there.
std::optional<std::string> CssColour(int32_t colour);

// "#rrggbb" (or "#rgb", letter case ignored) as a colour value; nothing for any other text.
std::optional<int32_t> ColourFromCss(std::string_view css);

}  // namespace qorsv
