#include "workbench/colour_values.h"

#include <array>

namespace qorsv {
namespace {

// The desktop's classic colour scheme, by system colour number, as 0x00BBGGRR.
constexpr std::array<int32_t, 31> kSystemColours = {
    RgbColour(212, 208, 200),  //  0 scroll bar
    RgbColour(58, 110, 165),   //  1 desktop background
    RgbColour(10, 36, 106),    //  2 active caption
    RgbColour(128, 128, 128),  //  3 inactive caption
    RgbColour(212, 208, 200),  //  4 menu
    RgbColour(255, 255, 255),  //  5 window
    RgbColour(0, 0, 0),        //  6 window frame
    RgbColour(0, 0, 0),        //  7 menu text
    RgbColour(0, 0, 0),        //  8 window text
    RgbColour(255, 255, 255),  //  9 caption text
    RgbColour(212, 208, 200),  // 10 active border
    RgbColour(212, 208, 200),  // 11 inactive border
    RgbColour(128, 128, 128),  // 12 application workspace
    RgbColour(10, 36, 106),    // 13 highlight
    RgbColour(255, 255, 255),  // 14 highlight text
    RgbColour(212, 208, 200),  // 15 button face
    RgbColour(128, 128, 128),  // 16 button shadow
    RgbColour(128, 128, 128),  // 17 grey text
    RgbColour(0, 0, 0),        // 18 button text
    RgbColour(212, 208, 200),  // 19 inactive caption text
    RgbColour(255, 255, 255),  // 20 button highlight
    RgbColour(64, 64, 64),     // 21 3-D dark shadow
    RgbColour(212, 208, 200),  // 22 3-D light
    RgbColour(0, 0, 0),        // 23 tooltip text
    RgbColour(255, 255, 225),  // 24 tooltip background
    RgbColour(181, 181, 181),  // 25 (unused number)
    RgbColour(0, 0, 128),      // 26 hot-tracked item
    RgbColour(166, 202, 240),  // 27 active caption gradient
    RgbColour(192, 192, 192),  // 28 inactive caption gradient
    RgbColour(49, 106, 197),   // 29 menu highlight
    RgbColour(212, 208, 200),  // 30 menu bar
};

int32_t ToRgb(int32_t colour) {
  uint32_t bits = static_cast<uint32_t>(colour);
  if (bits & 0x80000000u) {
    uint32_t n = bits & 0xFFu;
    return n < kSystemColours.size() ? kSystemColours[n] : kColourBlack;
  }
  return static_cast<int32_t>(bits & 0x00FFFFFFu);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> CssColour(int32_t colour) {
  if (colour == kColourNone) return std::nullopt;
  uint32_t rgb = static_cast<uint32_t>(ToRgb(colour));
  static constexpr char kHex[] = "0123456789abcdef";
  std::string css = "#";
  for (uint32_t component : {rgb & 0xFFu, (rgb >> 8) & 0xFFu, (rgb >> 16) & 0xFFu}) {
    css += kHex[component >> 4];
    css += kHex[component & 0xFu];
  }
  return css;
}

std::optional<int32_t> ColourFromCss(std::string_view css) {
  if (css.empty() || css[0] != '#') return std::nullopt;
  css.remove_prefix(1);
  if (css.size() != 3 && css.size() != 6) return std::nullopt;
  int components[3];
  for (int i = 0; i < 3; ++i) {
    if (css.size() == 3) {
      int digit = HexDigit(css[i]);
      if (digit < 0) return std::nullopt;
      components[i] = digit * 17;
    } else {
      int high = HexDigit(css[2 * i]);
      int low = HexDigit(css[2 * i + 1]);
      if (high < 0 || low < 0) return std::nullopt;
      components[i] = high * 16 + low;
    }
  }
  return RgbColour(static_cast<uint8_t>(components[0]), static_cast<uint8_t>(components[1]),
                   static_cast<uint8_t>(components[2]));
}

}  // namespace qorsv
