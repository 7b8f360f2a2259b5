#include "console/operator_access.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

#include "transport/error.h"

namespace qorsv {

std::string OperatorAccess::ConsoleUrl() const {
  return "http://127.0.0.1:" + std::to_string(port) + "/?token=" + token;
}

std::string NewAccessToken() {
  unsigned char bytes[16];
  size_t filled = 0;
  while (filled < sizeof(bytes)) {
    ssize_t n = getrandom(bytes + filled, sizeof(bytes) - filled, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      throw QorsvError(std::string("Cannot make an access token: ") + std::strerror(errno));
    filled += static_cast<size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char byte : bytes) {
    token += kHex[byte >> 4];
    token += kHex[byte & 15];
  }
  return token;
}

}  // namespace qorsv
