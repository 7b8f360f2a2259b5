#include "ui/json_text.h"

namespace qorsv {

std::string BytesToUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (unsigned char byte : bytes) {
    if (byte < 0x80) {
      text += static_cast<char>(byte);
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

std::string Utf8ToBytes(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80           ? 1
                    : (lead >> 5) == 0x6  ? 2
                    : (lead >> 4) == 0xE  ? 3
                    : (lead >> 3) == 0x1E ? 4
                                          : 0;
    if (length == 0 || i + length > text.size()) {
      bytes += '?';
      ++i;
      continue;
    }
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    bool well_formed = true;
    for (size_t k = 1; k < length; ++k) {
      unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        well_formed = false;
        break;
      }
      code = (code << 6) | (next & 0x3F);
    }
    if (!well_formed) {
      bytes += '?';
      ++i;
      continue;
    }
    bytes += code <= 0xFF ? static_cast<char>(code) : '?';
    i += length;
  }
  return bytes;
}

std::string BytesOfJson(const Json& value, const std::string& fallback) {
  if (!value.is_string()) return fallback;
  return Utf8ToBytes(value.get_ref<const std::string&>());
}

}  // namespace qorsv
