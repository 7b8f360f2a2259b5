// The server log: time-stamped lines buffered in LogBuffer and appended every ten seconds to the
// day's file logs/http_server_log/dd-mm-yyyy.log; the console's log views Memo1 and syslog.
//
// Every function here may be called from any thread. LogBuffer is guarded by one lock; lines for
// the views are handed to the console's UI thread in the order they were requested and are
// shown only while the switch `showlog` is on.
#pragma once

#include <ctime>
#include <functional>
#include <string>

#include "console/log_buffer.h"

namespace qorsv {

// "[ dd/mm/yyyy - hh:mm:ss ] " + text into LogBuffer, and into Memo1 while `showlog` is on.
void WriteLogLine(const std::string& text);

// Appends text to LogBuffer as it stands: no time stamp, not shown.
void AppendLogBufferLine(const std::string& text);

// Adds a line to the log view Memo1 / the system log view syslog, only while `showlog` is on.
// These lines are shown, never saved.
void AddMemo1Line(const std::string& text);
void AddSyslogLine(const std::string& text);

// The current state of the console's check box `showlog`.
bool ShowLogEnabled();
// Ticks or clears `showlog` (the console window's check box and its stored setting).
void SetShowLog(bool on);

// The line WriteLogLine makes for a moment: "[ " + date + " - " + time + " ] " + text.
std::string LogLineText(std::time_t moment, const std::string& text);

// The process's LogBuffer.
LogBuffer& ProcessLogBuffer();

enum class LogView { kMemo1, kSyslog };
// Receives the lines for the views. The console window installs one while it exists (it hands
// each line to its UI thread); without one, view lines are dropped. Pass nullptr to remove it.
using LogViewSink = std::function<void(LogView view, const std::string& line)>;
void SetLogViewSink(LogViewSink sink);

}  // namespace qorsv
