#include "netprobe/ping.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
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
