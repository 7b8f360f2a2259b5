#include "transport/spool_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace qorsv {
namespace {

// Where O_TMPFILE is not supported, a named file is made and unlinked at once.
int OpenNamelessFile(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  // mkostemp replaces the six placeholder letters at the end with a unique suffix.
  std::string path = dir + ".qorspool" + std::string(6, 'X');
  fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(path.c_str());
  return fd;
}

}  // namespace

std::unique_ptr<SpoolFile> SpoolFile::Create(const std::string& dir) {
  int fd = OpenNamelessFile(dir);
  if (fd < 0) return nullptr;
  return std::unique_ptr<SpoolFile>(new SpoolFile(fd));
}

SpoolFile::~SpoolFile() { ::close(fd_); }

bool SpoolFile::Append(const char* data, size_t size) {
  while (size > 0) {
    ssize_t done = ::pwrite(fd_, data, size, static_cast<off_t>(size_));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    size -= static_cast<size_t>(done);
    size_ += static_cast<uint64_t>(done);
  }
  return true;
}

size_t SpoolFile::ReadAt(uint64_t offset, char* buffer, size_t size) const {
  size_t got = 0;
  while (got < size) {
    ssize_t n = ::pread(fd_, buffer + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

bool SpoolFile::CopyTo(int out_fd, uint64_t offset, uint64_t length) const {
  off_t from = static_cast<off_t>(offset);
  while (length > 0) {
    ssize_t n = ::copy_file_range(fd_, &from, out_fd, nullptr, length, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;  // not possible between these files: copy through a buffer below
    if (n == 0) return false;
    length -= static_cast<uint64_t>(n);
  }
  std::vector<char> buffer(length > 0 ? 64 * 1024 : 0);
  while (length > 0) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(length, buffer.size()));
    size_t got = ReadAt(static_cast<uint64_t>(from), buffer.data(), want);
    if (got == 0) return false;
    for (size_t written = 0; written < got;) {
      ssize_t n = ::write(out_fd, buffer.data() + written, got - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      written += static_cast<size_t>(n);
    }
    from += static_cast<off_t>(got);
    length -= got;
  }
  return true;
}

}  // namespace qorsv
