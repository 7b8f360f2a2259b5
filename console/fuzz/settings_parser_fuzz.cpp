// Feeds arbitrary bytes to the settings file parser. Whatever it accepts must write out to a
// file that parses again, and after that first rewrite (which settles white space the format
// does not keep) writing and parsing must be stable: the store rewrites the file on every change.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "console/settings_xml.h"
#include "transport/error.h"

namespace {

std::string Rewrite(std::string_view text) {
  return qorsv::WriteSettingsXml(qorsv::ParseSettingsXml(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string first;
  try {
    first = Rewrite(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const qorsv::QorsvError&) {
    return 0;  // refused with a message: fine
  }
  try {
    std::string second = Rewrite(first);
    if (Rewrite(second) != second) std::abort();
  } catch (const qorsv::QorsvError&) {
    std::abort();  // the writer produced a file the parser refuses
  }
  return 0;
}
