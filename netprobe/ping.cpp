// Ping: resolve the host to one IPv4 address, then one ICMP echo exchange with it.

#include "netprobe/ping.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>
#include <optional>

#include "netprobe/icmp_echo.h"

namespace qorsv::netprobe {
namespace {

// A dotted IPv4 address is taken as it stands; anything else is looked up (getaddrinfo is safe
// on many threads at once) and the first IPv4 address of the answer is used.
std::optional<in_addr> ResolveIpv4(const char* host) {
  in_addr address{};
  if (inet_pton(AF_INET, host, &address) == 1) return address;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_RAW;
  addrinfo* answer = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &answer) != 0 || answer == nullptr) return std::nullopt;
  std::optional<in_addr> found;
  for (const addrinfo* a = answer; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addr != nullptr) {
      found = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
      break;
    }
  }
  freeaddrinfo(answer);
  return found;
}

}  // namespace
}  // namespace qorsv::netprobe

extern "C" uint8_t Ping(const char* host) noexcept {
  using namespace qorsv::netprobe;
  if (host == nullptr) return 0;
  const std::optional<in_addr> address = ResolveIpv4(host);
  // 0.0.0.0 stands for "not found"; Linux would deliver an echo to it to the local host, so it
  // is never sent.
  if (!address || address->s_addr == htonl(INADDR_ANY)) return 0;
  return EchoAnswered(*address, kEchoWait) ? 1 : 0;
}
