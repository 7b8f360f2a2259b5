// The bridge between the system's 8-bit byte strings and the JSON text of the operator API.
//
// JSON text is UTF-8, while the server's texts are bytes in no particular character set. Each
// byte becomes the code point of the same number (the Latin-1 reading) on the way to the page,
// and back again on the way in, so every byte string survives the round trip through a page
// unchanged. A code point above 255 coming from a page has no byte and arrives as "?".
//
// Pure functions; any thread.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace qorsv {

using Json = nlohmann::json;

// The UTF-8 text of the bytes read as Latin-1.
std::string BytesToUtf8(std::string_view bytes);
// The bytes of a UTF-8 text whose code points are Latin-1; others become "?", broken
// sequences one "?" each.
std::string Utf8ToBytes(std::string_view text);

// A JSON string value of a byte string.
inline Json JsonText(std::string_view bytes) { return Json(BytesToUtf8(bytes)); }
// The bytes of a JSON string value; `fallback` for anything else.
std::string BytesOfJson(const Json& value, const std::string& fallback = "");

}  // namespace qorsv
