// Temporary file names: the program directory + "temp/qortmpscr" + 24 random capital letters
// ("A" to "X"). Callers append ".upload", ".html" or ".pfii" and create the file themselves.
//
// Thread-safe. Names are drawn under one lock from a generator of this module's own, seeded once
// with a full state from the system's entropy source: 24^24 possible names, drawn without
// repeating patterns between threads or runs, so no two callers get the same name.
#pragma once

#include <string>

namespace qorsv {

// A fresh name under the program directory's "temp" folder, without extension. The folder must
// exist for the caller's file to be created; nothing here creates it.
std::string TempScriptName();

// The same under another program directory (given with its trailing "/").
std::string TempScriptNameIn(const std::string& program_dir);

}  // namespace qorsv
