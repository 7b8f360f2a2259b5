// Parses arbitrary text as a "Cookie" header value; a header that yields nothing must leave the
// table as it was.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "http/request_capture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  qorsv::Tcook cookies;
  cookies.Append("before", "1");
  qorsv::CaptureCookies(text, cookies);
  if (text.find('=') == std::string_view::npos &&
      (cookies.count() != 1 || cookies.name(1) != "before")) {
    std::abort();
  }
  // Names and values are pieces of the text (or the entry that was there before).
  for (size_t i = 1; i <= cookies.count(); ++i) {
    if (cookies.name(i).size() + cookies.value(i).size() > std::max<size_t>(size, 7)) std::abort();
  }
  return 0;
}
