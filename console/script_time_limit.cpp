#include "console/script_time_limit.h"

#include <atomic>

#include "console/settings_store.h"
#include "transport/error.h"

namespace qorsv {
namespace {

std::atomic<int64_t>& LimitSeconds() {
  static std::atomic<int64_t> seconds{0};
  return seconds;
}

}  // namespace

std::chrono::seconds ReadScriptTimeLimit(SettingsStore& settings) {
  int32_t seconds = settings.ReadSettingInteger(kScriptTimeLimitKey, 0);
  if (seconds < 0) {
    throw QorsvError(std::string(kScriptTimeLimitKey) +
                     " in config/config.xml must be a number of seconds (0 for no limit)");
  }
  return std::chrono::seconds(seconds);
}

std::chrono::seconds ScriptTimeLimit() { return std::chrono::seconds(LimitSeconds().load()); }

void SetScriptTimeLimit(std::chrono::seconds limit) { LimitSeconds().store(limit.count()); }

}  // namespace qorsv
