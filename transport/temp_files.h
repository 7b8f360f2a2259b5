// Short-lived files in the program's "temp" folder (a script's ".pfii" copy, a page's ".html"
// output) that keep their inodes between uses.
//
// Every folder keeps a few spare files, one set per extension, each held open. A new temporary
// file is a second link to a free spare, written in place through the spare's descriptor;
// removing it unlinks that name and frees the spare.
// Under the files' own names nothing changes: a file exists from its writing until its removal.
// Creating a file allocates an inode, and ext4 without a journal skips every inode freed in the
// last half minute while it looks for one; at thousands of pages a second that search, made
// under the folder's lock, cost more than the rest of the request. A link allocates nothing.
//
// Thread-safe. A spare keeps its last contents until its next use, like any file in "temp".
#pragma once

#include <chrono>
#include <cstddef>
#include <streambuf>
#include <string>
#include <sys/types.h>

namespace qorsv {

// Writes a new temporary file through a std::ostream. Output is buffered and written in large
// pieces; Close() cuts a reused file to what was written and reports whether every write worked.
class TempFileWriter final : public std::streambuf {
 public:
  // Opens `path` (a fresh name in an existing folder) for writing; is_open() tells.
  explicit TempFileWriter(const std::string& path);
  ~TempFileWriter() override;
  TempFileWriter(const TempFileWriter&) = delete;
  TempFileWriter& operator=(const TempFileWriter&) = delete;

  bool is_open() const { return fd_ >= 0; }
  // Writes what is buffered, fixes the length and closes. False when any of it failed.
  bool Close();

 protected:
  int_type overflow(int_type ch) override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;
  int sync() override;

 private:
  bool WriteOut(const char* data, size_t size);
  bool FlushBuffer();

  static constexpr size_t kBufferSize = 16384;
  int fd_ = -1;
  bool owns_fd_ = false;  // false while writing through a spare's descriptor
  off_t old_size_ = 0;    // of a reused spare
  bool failed_ = false;
  off_t written_ = 0;
  char buffer_[kBufferSize];
};

// Removes a temporary file written by TempFileWriter (or any file in a folder we may write):
// it becomes a spare when its folder has room for one, otherwise it is unlinked. False when the
// file could be neither renamed nor unlinked.
bool RemoveTempFile(const std::string& path);

// When no temporary file has been made or removed for `idle`, closes and removes the free spare
// files of every folder, so that a server at rest holds no descriptors for them (a busy spell
// makes them again). Answers how many went.
size_t ReleaseIdleTempSpares(std::chrono::steady_clock::duration idle);

}  // namespace qorsv
