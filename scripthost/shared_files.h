// Operating-system file handles for scripts (FileOpen, FileCreate, FileSeek, FileClose,
// FileIsOpen) with the Windows sharing modes emulated inside the process: a table of the files
// that the server's own scripts hold open decides whether a further open is allowed.
//
// Only handles that this table gave out can be moved or closed through it, so a script cannot
// close or move a descriptor that belongs to the server (a socket, a database, a log file).
// The table is process-wide and guarded by one lock; every function may be called from any
// thread.
#pragma once

#include <cstdint>
#include <string>

namespace qorsv::scriptapi {

// Mode = access (0 read, 1 write, 2 read and write) + sharing (0 or 16: nobody else may open
// the file, 32: others may read, 48: others may write, 64: others may read and write).
constexpr uint32_t kOpenRead = 0;
constexpr uint32_t kOpenWrite = 1;
constexpr uint32_t kOpenReadWrite = 2;
constexpr uint32_t kShareCompat = 0;
constexpr uint32_t kShareExclusive = 16;
constexpr uint32_t kShareDenyWrite = 32;
constexpr uint32_t kShareDenyRead = 48;
constexpr uint32_t kShareDenyNone = 64;

// Opens an existing file (not a directory); the handle, or -1 when the file is missing, the
// mode is not one of the above, or the sharing of an earlier open forbids it.
int32_t FileOpen(const std::string& file_name, uint32_t mode);

// Creates the file, or empties an existing one, opened for reading and writing with no sharing;
// the handle, or -1 (also when another open holds the file).
int32_t FileCreate(const std::string& file_name);

// Moves the position by `offset` from the start (origin 0), the current position (1) or the end
// (2); the new position, or -1.
int32_t FileSeek(int32_t handle, int32_t offset, int32_t origin);

// Closes a handle given out by FileOpen or FileCreate; any other number is left alone.
void FileClose(int32_t handle);

// True when the file exists and nobody holds it open: an open for reading with no sharing
// succeeds (and is closed again at once).
bool FileIsOpen(const std::string& file_name);

}  // namespace qorsv::scriptapi
