// SpoolFile: a file without a name in the program's "temp" folder that holds a large request
// body while its request is served, so that the body costs disk, not memory. Having no name,
// it never shows in the folder and vanishes with its descriptor, even when the program dies.
//
// A SpoolFile belongs to the request that made it; once written it is only read, and reads may
// come from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qorsv {

class SpoolFile {
 public:
  // A new, empty file in `dir` (with its trailing "/"); nullptr when none can be made there.
  static std::unique_ptr<SpoolFile> Create(const std::string& dir);
  ~SpoolFile();
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;

  // Adds bytes at the end; false when the disk refused them (the file is then unusable).
  bool Append(const char* data, size_t size);
  uint64_t size() const { return size_; }

  // Reads up to `size` bytes from `offset`; returns the count read (less only at the end).
  size_t ReadAt(uint64_t offset, char* buffer, size_t size) const;

  // Copies `length` bytes from `offset` to the end of the open file `out_fd`, inside the kernel
  // where it can. False when a read or write failed.
  bool CopyTo(int out_fd, uint64_t offset, uint64_t length) const;

 private:
  explicit SpoolFile(int fd) : fd_(fd) {}
  int fd_;
  uint64_t size_ = 0;
};

}  // namespace qorsv
