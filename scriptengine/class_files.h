// Whole-file reads and writes for the classes' LoadFromFile and SaveToFile, with Object Pascal's
// error texts. Paths are used as given: relative ones from the process's current directory, as
// the scripts' file routines do.
//
// Threading: no state.
#pragma once

#include <string>
#include <string_view>

namespace qorsv::script::vm_internal {

// Throws 'Cannot open file "name". reason'; OutOfMemoryError for a file beyond a run's cap.
std::string ReadWholeFile(const std::string& path);
// Creates or replaces the file. Throws 'Cannot create file "name". reason'.
void WriteWholeFile(const std::string& path, std::string_view data);

// The texts of the errors above.
std::string OpenFileError(const std::string& path, int error_number);
std::string CreateFileError(const std::string& path, int error_number);

}  // namespace qorsv::script::vm_internal
