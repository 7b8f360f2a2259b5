// TrafficCounters: bytes sent (GB, MB, KB and bytes with a carry at 1024), files served and the
// total uptime in minutes, kept for the whole process and saved to config/config.xml.
//
// AddTraffic and ReadTrafficCounters may be called from any thread; all six fields are guarded
// by one lock and readers get a consistent copy. Loading, saving and the uptime texts are used
// by the console window on its UI thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace qorsv {

class SettingsStore;

struct TrafficSnapshot {
  uint32_t OutBytes = 0;
  uint32_t OutKB = 0;
  uint32_t OutMB = 0;
  uint32_t OutGB = 0;
  uint32_t ServedFiles = 0;
  uint32_t TotalServerUptime = 0;
};

// Counts one file streamed to a client, with the number of bytes sent.
void AddTraffic(uint32_t bytes);

// A consistent copy of all six counters.
TrafficSnapshot ReadTrafficCounters();

class TrafficCounters {
 public:
  // One more file served; the bytes carry upwards once, so the three lower fields end below 1024.
  void Add(uint32_t bytes);
  // Zeroes everything but TotalServerUptime.
  void Reset();
  // One more minute of uptime; returns the new total.
  uint32_t AddUptimeMinute();
  TrafficSnapshot Read() const;
  void Restore(const TrafficSnapshot& values);

 private:
  mutable std::mutex mutex_;
  TrafficSnapshot values_;
};

// The process's counters, the ones AddTraffic counts into.
TrafficCounters& ProcessTrafficCounters();

// "Sent " + GB + " GB " + MB + " MB " + KB + " KB " + bytes + " bytes."
std::string FormatTraffic(const TrafficSnapshot& values);
// The statistics label as designed, and as "Reset Stats" leaves it.
inline constexpr char kTrafficDesignText[] = "Sent 0 GB 0 MB 0 KB 0 bytes";
inline constexpr char kTrafficResetText[] = "Sent 0 GB 0 MB 0 KB 0 Bytes";

// The uptime label: "UT : " + years "y" months "mth" days "d" hours "h" minutes "m", with a
// month of 31 days and a year of 12 such months.
std::string UptimeLabelText(uint32_t minutes);
// The tray hint: the uptime label, CR LF, "UT:" + minutes, CR LF.
std::string UptimeTrayHint(uint32_t minutes);

// Reads the stored counters into `counters` (the uptime defaults to the value in memory, the
// others to 0) and returns the stored "ShowLog" switch (default false).
bool LoadTrafficCounters(SettingsStore& xml, TrafficCounters& counters);
// Writes the counters and the switch, in the order the uptime tick saves them.
void SaveTrafficCounters(SettingsStore& xml, const TrafficSnapshot& values, bool show_log);

}  // namespace qorsv
