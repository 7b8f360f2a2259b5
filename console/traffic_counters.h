// TrafficCounters: bytes sent (GB, MB, KB and bytes with a carry at 1024), files served and the
// total uptime in minutes, kept for the whole process and saved to config/config.xml.
//
// AddTraffic and ReadTrafficCounters may be called from any thread; all six fields are guarded
// by one lock and readers get a consistent copy.
#pragma once

#include <cstdint>
#include <string>

namespace qorsv {

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

}  // namespace qorsv
