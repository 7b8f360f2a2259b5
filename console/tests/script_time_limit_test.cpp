#include "console/script_time_limit.h"

#include <gtest/gtest.h>

#include <optional>

#include "console/settings_store.h"
#include "console/tests/temp_dir.h"
#include "transport/error.h"

namespace qorsv {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(ScriptTimeLimitTest, ReadFromTheSettings) {
  struct Case {
    const char* file;            // nullptr: no settings file at all
    std::optional<int> seconds;  // nothing: the value is refused
  } cases[] = {
      {nullptr, 0},
      {"<Configuration><ListenPort>81</ListenPort></Configuration>", 0},
      {"<Configuration><ScriptTimeLimit>0</ScriptTimeLimit></Configuration>", 0},
      {"<Configuration><ScriptTimeLimit>15</ScriptTimeLimit></Configuration>", 15},
      {"<Configuration><ScriptTimeLimit>-3</ScriptTimeLimit></Configuration>", std::nullopt},
      {"<Configuration><ScriptTimeLimit>ten</ScriptTimeLimit></Configuration>", std::nullopt},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::string path = dir.Path("config/config.xml");
    if (c.file != nullptr) WriteFile(path, c.file);
    SettingsStore settings;
    settings.SetSettingsFile(path);
    const char* label = c.file != nullptr ? c.file : "no file";
    if (c.seconds) {
      EXPECT_EQ(ReadScriptTimeLimit(settings), std::chrono::seconds(*c.seconds)) << label;
    } else {
      EXPECT_THROW(ReadScriptTimeLimit(settings), QorsvError) << label;
    }
  }
}

}  // namespace
}  // namespace qorsv
