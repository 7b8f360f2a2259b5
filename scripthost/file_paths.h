// Path texts as scripts handle them. Scripts written for this server use both "/" and "\" as
// directory separators; there is no drive separator. The file system functions of the script
// API turn a script's file name into a native path with NativePath before using it.
//
// Pure functions, except ExpandFileName and GetCurrentDir, which read the process's current
// directory. Safe on any thread.
#pragma once

#include <string>

namespace qorsv::scriptapi {

// The file name with every "\" turned into "/", as the file system here wants it.
std::string NativePath(const std::string& file_name);

// The name up to and including its last separator; empty when it has none.
std::string ExtractFilePath(const std::string& file_name);

// Like ExtractFilePath without the final separator, except when that separator is a root (the
// first character, or one that follows another separator).
std::string ExtractFileDir(const std::string& file_name);

// For a name beginning with two separators ("\\server\share\..."), the part up to the end of the
// share name; empty for every other name.
std::string ExtractFileDrive(const std::string& file_name);

// The part after the last separator.
std::string ExtractFileName(const std::string& file_name);

// From the last "." after the last separator, dot included; empty when there is none.
std::string ExtractFileExt(const std::string& file_name);

// The absolute form against the current directory, with "." and ".." resolved and "/" as the
// separator. A trailing separator is kept; an empty name stays empty.
std::string ExpandFileName(const std::string& file_name);

// The process's current directory, without a trailing separator (except for the root "/").
std::string GetCurrentDir();

}  // namespace qorsv::scriptapi
