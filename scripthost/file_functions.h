// The script API's file and directory queries and changes: existence tests, FileAge as a DOS
// date and time, ForceDirectories, DeleteFile, RenameFile and filemove.
//
// File names are script texts ("\" or "/" as separators, relative to the current directory).
// A missing file or name is an answer (false, -1), never an exception. Safe on any thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace qorsv::scriptapi {

// True when a file that is not a directory exists under the name.
bool FileExists(const std::string& file_name);

bool DirectoryExists(const std::string& directory);

// Creates the directory and every missing directory above it; true when it exists afterwards.
// Throws QorsvError "Unable to create directory" for an empty name.
bool ForceDirectories(const std::string& directory);

bool DeleteFile(const std::string& file_name);

// Renames (moves) the file; false when that fails or when a file of the new name exists
// already, which is left as it is.
bool RenameFile(const std::string& old_name, const std::string& new_name);

// A local time as a 32-bit DOS date and time: date in the upper 16 bits (year since 1980,
// month, day), time in the lower 16 bits (hour, minute, seconds / 2). -1 outside 1980 to 2107.
int32_t DosDateTime(std::time_t moment);

// The time of the file's last change as a DOS date and time, or -1 when there is no such file.
int32_t FileAge(const std::string& file_name);

// Copies source into destination (created, or emptied when it exists) in blocks of up to 65500
// bytes, then deletes source. Source is deleted only when every byte reached destination, and
// nothing happens when both names are the same file, so a failed move never loses the data.
void FileMove(const std::string& source, const std::string& destination);

}  // namespace qorsv::scriptapi
