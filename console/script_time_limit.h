// The setting ScriptTimeLimit: the longest a script run may take, in whole seconds, read from
// config/config.xml at start-up (absent or 0: no limit). A run that exceeds it is ended by the
// script runner with a runtime error of the script, so a script that never ends cannot hold its
// connection thread and a core for ever.
//
// Set on the console's thread at start-up; read by the page processor on connection threads.
#pragma once

#include <chrono>

namespace qorsv {

class SettingsStore;

inline constexpr char kScriptTimeLimitKey[] = "ScriptTimeLimit";

// The limit as the settings hold it. Throws QorsvError for a value that is not a number of
// seconds from 0 up.
std::chrono::seconds ReadScriptTimeLimit(SettingsStore& settings);

// The limit in force; 0 means none.
std::chrono::seconds ScriptTimeLimit();
void SetScriptTimeLimit(std::chrono::seconds limit);

}  // namespace qorsv
