// How the operator reaches the console pages: 127.0.0.1, the console port (8780 unless the
// settings hold "ConsolePort") and an access token made fresh at each start.
//
// Values; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace qorsv {

inline constexpr uint16_t kDefaultConsolePort = 8780;

struct OperatorAccess {
  uint16_t port = kDefaultConsolePort;
  std::string token;

  // "http://127.0.0.1:" + port + "/?token=" + token
  std::string ConsoleUrl() const;
};

// 32 lower-case hexadecimal digits from the kernel's random source.
std::string NewAccessToken();

}  // namespace qorsv
