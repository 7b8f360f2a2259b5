#include "netprobe/ping.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(PingTest, LoopbackAddressAnswers) {
  EXPECT_EQ(Ping("127.0.0.1"), 1);
  // The library keeps no state: a second call right after the first behaves the same.
  EXPECT_EQ(Ping("127.0.0.1"), 1);
  EXPECT_EQ(Ping("localhost"), 1);
}

TEST(PingTest, HostsThatCannotBeReachedGiveFalse) {
  const char* const kHosts[] = {
      "no-such-host.invalid",  // the reserved domain never resolves
      "",                      // no name at all
      "0.0.0.0",               // the "not found" address is never sent to
  };
  for (const char* host : kHosts) EXPECT_EQ(Ping(host), 0) << "host: '" << host << "'";
  EXPECT_EQ(Ping(nullptr), 0);
}

// Each call owns its socket; replies of concurrent calls must not be taken by each other or
// missed.
TEST(PingTest, ConcurrentCallsEachGetTheirAnswer) {
  constexpr int kThreads = 16;
  constexpr int kCallsPerThread = 4;
  std::atomic<int> answered{0};
  std::atomic<int> refused{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCallsPerThread; ++i) {
        // Mix in unresolvable names so that failing calls run beside answering ones.
        if ((t + i) % 4 == 3) {
          refused += Ping("nothing-here.invalid") == 0 ? 1 : 0;
        } else {
          answered += Ping("127.0.0.1") == 1 ? 1 : 0;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(answered + refused, kThreads * kCallsPerThread);
}

// Runs Ping("127.0.0.1") in a child process that has a network namespace of its own (so the
// host's settings stay untouched), its loopback up, `ping_group_range` set as given and no
// privilege left (user and group nobody), so only the ICMP datagram socket can work. Returns
// the child's answer, or -1 when the namespace cannot be made here.
int PingAsNobodyInOwnNetwork(const char* ping_group_range) {
  const pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0) _exit(100);
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq loopback{};
    std::strcpy(loopback.ifr_name, "lo");
    if (ioctl(fd, SIOCGIFFLAGS, &loopback) != 0) _exit(100);
    loopback.ifr_flags |= IFF_UP;
    if (ioctl(fd, SIOCSIFFLAGS, &loopback) != 0) _exit(100);
    close(fd);
    const int range = open("/proc/sys/net/ipv4/ping_group_range", O_WRONLY);
    if (range < 0 || write(range, ping_group_range, std::strlen(ping_group_range)) < 0) _exit(100);
    close(range);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
    _exit(Ping("127.0.0.1"));
  }
  int status = 0;
  waitpid(child, &status, 0);
  const int answer = WIFEXITED(status) ? WEXITSTATUS(status) : 100;
  return answer == 100 ? -1 : answer;
}

TEST(PingTest, WithoutPrivilegeTheDatagramSocketIsUsed) {
  const int allowed = PingAsNobodyInOwnNetwork("65534 65534");
  if (allowed < 0) GTEST_SKIP() << "no network namespace can be made here (needs root)";
  EXPECT_EQ(allowed, 1);
  // The same without the group in the range: neither kind of socket opens, and nothing breaks.
  EXPECT_EQ(PingAsNobodyInOwnNetwork("1 0"), 0);
}

// The script engine finds the function by its plain name in the library file and calls it with
// the C convention, getting one byte back.
TEST(PingTest, ExportedByPlainNameFromTheLibraryFile) {
  void* library = dlopen(NETPROBE_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  using PingFunction = uint8_t (*)(const char*);
  auto ping = reinterpret_cast<PingFunction>(dlsym(library, "Ping"));
  ASSERT_NE(ping, nullptr);
  EXPECT_EQ(ping("127.0.0.1"), 1);
  dlclose(library);
}

}  // namespace
