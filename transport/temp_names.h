// Temporary file names: the program directory + "temp/qortmpscr" + 24 random capital letters
// ("A" to "X"). Callers append ".upload", ".html" or ".pfii" and create the file themselves.
//
// Thread-safe. Names are drawn under one lock from a generator of this module's own (seeded
// once; 24^24 possible names), and a name is never handed out while a file with it, bare or
// with one of those extensions, exists.
#pragma once

#include <string>

namespace qorsv {

// A fresh name under the program directory's "temp" folder, without extension. The folder must
// exist for the caller's file to be created; nothing here creates it.
std::string TempScriptName();

// The same under another program directory (given with its trailing "/").
std::string TempScriptNameIn(const std::string& program_dir);

}  // namespace qorsv
