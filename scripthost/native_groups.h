// The groups of native functions behind the script API, each filling a map from registered name
// (the declared name in upper case) to implementation. ScriptApiNatives joins them with the
// declaration texts. Internal to the script host.
#pragma once

#include <map>
#include <string>

#include "scriptengine/native.h"

namespace qorsv {

using NativeFunctionMap = std::map<std::string, script::NativeFunction>;

// Text-file handles, output slots, Msg and Showmessage.
void AddTextOutputNatives(NativeFunctionMap& natives);
// Number and text conversions.
void AddConversionNatives(NativeFunctionMap& natives);
// File handles, file and directory functions, path texts.
void AddFileNatives(NativeFunctionMap& natives);
// Clock, pseudo-random numbers, reverse name lookup.
void AddSystemNatives(NativeFunctionMap& natives);
// SQL handles, over `table` (the process-wide SqlHandles for scripts).
class SqlHandleTable;
void AddSqlNatives(NativeFunctionMap& natives, SqlHandleTable& table);

}  // namespace qorsv
