#include "console/traffic_counters.h"

#include <gtest/gtest.h>

#include <thread>

#include "console/settings_store.h"
#include "console/tests/temp_dir.h"

namespace qorsv {
namespace {

TrafficSnapshot Sent(uint32_t gb, uint32_t mb, uint32_t kb, uint32_t bytes, uint32_t files = 0) {
  TrafficSnapshot v;
  v.OutGB = gb;
  v.OutMB = mb;
  v.OutKB = kb;
  v.OutBytes = bytes;
  v.ServedFiles = files;
  return v;
}

TEST(TrafficCountersTest, CarryRunsFromBytesToGigabytes) {
  struct Case {
    TrafficSnapshot from;
    uint32_t bytes;
    TrafficSnapshot expected;
  } cases[] = {
      {Sent(0, 0, 0, 0), 1500, Sent(0, 0, 1, 476, 1)},
      {Sent(0, 1023, 1023, 1023), 1, Sent(1, 0, 0, 0, 1)},
      {Sent(0, 0, 0, 0), 1048576, Sent(0, 1, 0, 0, 1)},
      {Sent(5, 0, 0, 0), 0, Sent(5, 0, 0, 0, 1)},
      // The largest count plus bytes already held must not wrap around.
      {Sent(0, 0, 0, 1023), 4294967295u, Sent(4, 0, 0, 1022, 1)},
  };
  for (const Case& c : cases) {
    TrafficCounters counters;
    counters.Restore(c.from);
    counters.Add(c.bytes);
    TrafficSnapshot got = counters.Read();
    std::string label = FormatTraffic(c.from) + " + " + std::to_string(c.bytes);
    EXPECT_EQ(FormatTraffic(got), FormatTraffic(c.expected)) << label;
    EXPECT_EQ(got.ServedFiles, c.expected.ServedFiles) << label;
  }
}

TEST(TrafficCountersTest, ConcurrentAdditionsAreAllCounted) {
  TrafficCounters counters;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&counters] {
      for (int i = 0; i < 2000; ++i) counters.Add(1500);
    });
  }
  for (std::thread& thread : threads) thread.join();
  TrafficSnapshot v = counters.Read();
  uint64_t total = (uint64_t{v.OutGB} << 30) + (uint64_t{v.OutMB} << 20) +
                   (uint64_t{v.OutKB} << 10) + v.OutBytes;
  EXPECT_EQ(total, 8u * 2000u * 1500u);
  EXPECT_EQ(v.ServedFiles, 16000u);
}

TEST(TrafficCountersTest, ResetKeepsTheUptimeAndTextsAreExact) {
  TrafficCounters counters;
  counters.Restore(Sent(1, 2, 3, 4, 5));
  counters.AddUptimeMinute();
  counters.Reset();
  EXPECT_EQ(FormatTraffic(counters.Read()), "Sent 0 GB 0 MB 0 KB 0 bytes.");
  EXPECT_EQ(counters.Read().ServedFiles, 0u);
  EXPECT_EQ(counters.Read().TotalServerUptime, 1u);
  EXPECT_EQ(FormatTraffic(Sent(1, 2, 3, 4)), "Sent 1 GB 2 MB 3 KB 4 bytes.");
}

TEST(TrafficCountersTest, UptimeSplit) {
  struct Case {
    uint32_t minutes;
    std::string label;
  } cases[] = {
      {1, "UT : 0y0mth0d0h1m"},
      {1441, "UT : 0y0mth1d0h1m"},
      {44640, "UT : 0y1mth0d0h0m"},
      {535680, "UT : 1y0mth0d0h0m"},
      {535680 + 44640 * 11 + 1440 * 30 + 60 * 23 + 59, "UT : 1y11mth30d23h59m"},
  };
  for (const Case& c : cases) EXPECT_EQ(UptimeLabelText(c.minutes), c.label) << c.minutes;
  EXPECT_EQ(UptimeTrayHint(1441), "UT : 0y0mth1d0h1m\r\nUT:1441\r\n");
}

TEST(TrafficCountersTest, CountersSurviveTheSettingsFileAsSigned32Bits) {
  testing::TempDir dir;
  SettingsStore xml;
  xml.SetSettingsFile(dir.Path("config/config.xml"));
  TrafficSnapshot saved = Sent(3000000000u, 1023, 512, 7, 4294967295u);
  saved.TotalServerUptime = 2147483648u;
  SaveTrafficCounters(xml, saved, true);
  std::string file = testing::ReadFile(dir.Path("config/config.xml"));
  EXPECT_NE(file.find("<OutGB>-1294967296</OutGB>"), std::string::npos) << file;
  EXPECT_LT(file.find("TotalServerUptime"), file.find("OutGB"));
  EXPECT_LT(file.find("ShowLog"), file.find("ServedFiles"));

  TrafficCounters loaded;
  EXPECT_TRUE(LoadTrafficCounters(xml, loaded));
  TrafficSnapshot v = loaded.Read();
  EXPECT_EQ(FormatTraffic(v), FormatTraffic(saved));
  EXPECT_EQ(v.ServedFiles, 4294967295u);
  EXPECT_EQ(v.TotalServerUptime, 2147483648u);
}

}  // namespace
}  // namespace qorsv
