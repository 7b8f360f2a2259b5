// The include resolver of server scripts: every include directive names a file in the folder
// "scripts" of the program directory, whichever file holds the directive, so nested includes
// resolve the same way.
//
// Every page block includes ext.qor, so file contents are kept in memory and read again only
// when the file changes (another size, modification or change time, or another file under the
// same name).
//
// Callable from any thread; one lock guards the kept contents.
#pragma once

#include <string>

#include "scriptengine/preprocessor.h"

namespace qorsv {

// Resolves `name` to program_dir + "scripts/" + name, exactly as written. A name with no regular
// file behind it is "not found" (the preprocessor then fails with "Unable to find file ...");
// otherwise the whole file is read as bytes. Throws QorsvError "Cannot open file ..." when the
// file exists but cannot be read. `program_dir` ends in "/" (one is added when it does not).
script::IncludeFile ResolveScriptInclude(const std::string& program_dir, const std::string& name);

}  // namespace qorsv
