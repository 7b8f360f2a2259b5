// One ICMP echo exchange: open a socket, send the request, wait for the matching reply, close.

#include "netprobe/icmp_echo.h"

#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace qorsv::netprobe {
namespace {

using Clock = std::chrono::steady_clock;

// Closes the socket when the exchange ends, whichever way it ends.
class SocketGuard {
 public:
  explicit SocketGuard(int fd) : fd_(fd) {}
  ~SocketGuard() {
    if (fd_ >= 0) close(fd_);
  }
  SocketGuard(const SocketGuard&) = delete;
  SocketGuard& operator=(const SocketGuard&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

struct OpenedSocket {
  int fd = -1;
  bool raw = false;  // a raw socket hands over every ICMP packet with its IP header
};

// The datagram kind needs no privilege but only works for groups in
// net.ipv4.ping_group_range; the raw kind needs CAP_NET_RAW.
OpenedSocket OpenEchoSocket() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd >= 0) return {fd, false};
  fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd >= 0) return {fd, true};
  return {};
}

uint16_t InternetChecksum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < size; i += 2) sum += (data[i] << 8) | data[i + 1];
  if (size % 2 != 0) sum += data[size - 1] << 8;
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

// An echo request without data: the eight bytes of the ICMP header.
struct EchoRequest {
  uint8_t bytes[8];
};

EchoRequest BuildRequest(uint16_t id, uint16_t sequence) {
  EchoRequest request{};
  request.bytes[0] = ICMP_ECHO;
  request.bytes[1] = 0;
  request.bytes[4] = static_cast<uint8_t>(id >> 8);
  request.bytes[5] = static_cast<uint8_t>(id);
  request.bytes[6] = static_cast<uint8_t>(sequence >> 8);
  request.bytes[7] = static_cast<uint8_t>(sequence);
  const uint16_t checksum = InternetChecksum(request.bytes, sizeof request.bytes);
  request.bytes[2] = static_cast<uint8_t>(checksum >> 8);
  request.bytes[3] = static_cast<uint8_t>(checksum);
  return request;
}

uint16_t ReadBigEndian16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

// Whether a received packet is the reply to our request. On a datagram socket the kernel
// replaces the identifier with its own and delivers only replies that carry it, so only the
// sequence number is compared there.
bool IsOurReply(const uint8_t* packet, size_t size, const OpenedSocket& s, uint16_t id,
                uint16_t sequence) {
  const uint8_t* icmp = packet;
  if (s.raw) {
    if (size < sizeof(iphdr)) return false;
    const size_t header_size = static_cast<size_t>(packet[0] & 0x0f) * 4;
    if (header_size < sizeof(iphdr) || size < header_size) return false;
    icmp += header_size;
    size -= header_size;
  }
  if (size < 8 || icmp[0] != ICMP_ECHOREPLY || icmp[1] != 0) return false;
  if (ReadBigEndian16(icmp + 6) != sequence) return false;
  return !s.raw || ReadBigEndian16(icmp + 4) == id;
}

bool SendRequest(const OpenedSocket& s, in_addr address, const EchoRequest& request) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr = address;
  for (;;) {
    const ssize_t sent = sendto(s.fd, request.bytes, sizeof request.bytes, 0,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent == static_cast<ssize_t>(sizeof request.bytes)) return true;
    if (sent < 0 && errno == EINTR) continue;
    return false;
  }
}

bool AwaitReply(const OpenedSocket& s, in_addr address, uint16_t id, uint16_t sequence,
                Clock::time_point deadline) {
  uint8_t packet[1024];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{s.fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    sockaddr_in from{};
    socklen_t from_size = sizeof from;
    const ssize_t got = recvfrom(s.fd, packet, sizeof packet, MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &from_size);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return false;
    }
    if (from.sin_addr.s_addr != address.s_addr) continue;
    if (IsOurReply(packet, static_cast<size_t>(got), s, id, sequence)) return true;
  }
}

}  // namespace

bool EchoAnswered(in_addr address, std::chrono::milliseconds wait) noexcept {
  const OpenedSocket opened = OpenEchoSocket();
  if (opened.fd < 0) return false;
  SocketGuard guard(opened.fd);
  // The thread id tells concurrent raw-socket callers apart (each of them sees every reply);
  // the clock tells apart successive calls of one thread.
  const auto id = static_cast<uint16_t>(syscall(SYS_gettid));
  const auto sequence = static_cast<uint16_t>(Clock::now().time_since_epoch().count() >> 10);
  const Clock::time_point deadline = Clock::now() + wait;
  if (!SendRequest(opened, address, BuildRequest(id, sequence))) return false;
  return AwaitReply(opened, address, id, sequence, deadline);
}

}  // namespace qorsv::netprobe
