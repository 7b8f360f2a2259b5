#include "console/traffic_counters.h"

#include "console/settings_store.h"

namespace qorsv {
namespace {

constexpr uint32_t kMinutesPerHour = 60;
constexpr uint32_t kMinutesPerDay = 1440;
constexpr uint32_t kMinutesPerMonth = 44640;  // 31 days
constexpr uint32_t kMinutesPerYear = 535680;  // 12 months of 31 days

// Counters are stored as signed 32-bit text; the same 32 bits come back.
int32_t Stored(uint32_t value) { return static_cast<int32_t>(value); }
uint32_t Counter(int32_t stored) { return static_cast<uint32_t>(stored); }

}  // namespace

void TrafficCounters::Add(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  TrafficSnapshot& v = values_;
  ++v.ServedFiles;
  // 64-bit sums: a large file added to up to 1023 bytes must not wrap around.
  uint64_t total_bytes = uint64_t{v.OutBytes} + bytes;
  uint64_t total_kb = v.OutKB + total_bytes / 1024;
  uint64_t total_mb = v.OutMB + total_kb / 1024;
  v.OutBytes = static_cast<uint32_t>(total_bytes % 1024);
  v.OutKB = static_cast<uint32_t>(total_kb % 1024);
  v.OutMB = static_cast<uint32_t>(total_mb % 1024);
  v.OutGB += static_cast<uint32_t>(total_mb / 1024);
}

void TrafficCounters::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  uint32_t uptime = values_.TotalServerUptime;
  values_ = TrafficSnapshot{};
  values_.TotalServerUptime = uptime;
}

uint32_t TrafficCounters::AddUptimeMinute() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ++values_.TotalServerUptime;
}

TrafficSnapshot TrafficCounters::Read() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return values_;
}

void TrafficCounters::Restore(const TrafficSnapshot& values) {
  std::lock_guard<std::mutex> lock(mutex_);
  values_ = values;
}

TrafficCounters& ProcessTrafficCounters() {
  static TrafficCounters counters;
  return counters;
}

void AddTraffic(uint32_t bytes) { ProcessTrafficCounters().Add(bytes); }

TrafficSnapshot ReadTrafficCounters() { return ProcessTrafficCounters().Read(); }

std::string FormatTraffic(const TrafficSnapshot& v) {
  return "Sent " + std::to_string(v.OutGB) + " GB " + std::to_string(v.OutMB) + " MB " +
         std::to_string(v.OutKB) + " KB " + std::to_string(v.OutBytes) + " bytes.";
}

std::string UptimeLabelText(uint32_t m) {
  uint32_t years = m / kMinutesPerYear;
  uint32_t months = (m % kMinutesPerYear) / kMinutesPerMonth;
  uint32_t days = (m % kMinutesPerMonth) / kMinutesPerDay;
  uint32_t hours = (m % kMinutesPerDay) / kMinutesPerHour;
  uint32_t minutes = m % kMinutesPerHour;
  return "UT : " + std::to_string(years) + "y" + std::to_string(months) + "mth" +
         std::to_string(days) + "d" + std::to_string(hours) + "h" + std::to_string(minutes) + "m";
}

std::string UptimeTrayHint(uint32_t minutes) {
  return UptimeLabelText(minutes) + "\r\n" + "UT:" + std::to_string(minutes) + "\r\n";
}

bool LoadTrafficCounters(SettingsStore& xml, TrafficCounters& counters) {
  TrafficSnapshot v = counters.Read();
  v.TotalServerUptime =
      Counter(xml.ReadSettingInteger("TotalServerUptime", Stored(v.TotalServerUptime)));
  v.OutBytes = Counter(xml.ReadSettingInteger("OutBytes", 0));
  v.OutKB = Counter(xml.ReadSettingInteger("OutKb", 0));
  v.OutMB = Counter(xml.ReadSettingInteger("OutMb", 0));
  v.OutGB = Counter(xml.ReadSettingInteger("OutGb", 0));
  v.ServedFiles = Counter(xml.ReadSettingInteger("ServedFiles", 0));
  bool show_log = xml.ReadSettingBoolean("ShowLog", false);
  counters.Restore(v);
  return show_log;
}

void SaveTrafficCounters(SettingsStore& xml, const TrafficSnapshot& v, bool show_log) {
  xml.WriteSettingInteger("TotalServerUptime", Stored(v.TotalServerUptime));
  xml.WriteSettingInteger("OutGB", Stored(v.OutGB));
  xml.WriteSettingInteger("OutMB", Stored(v.OutMB));
  xml.WriteSettingInteger("OutKB", Stored(v.OutKB));
  xml.WriteSettingInteger("OutBytes", Stored(v.OutBytes));
  xml.WriteSettingBoolean("ShowLog", show_log);
  xml.WriteSettingInteger("ServedFiles", Stored(v.ServedFiles));
}

}  // namespace qorsv
