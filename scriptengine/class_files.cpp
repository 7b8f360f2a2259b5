#include "scriptengine/class_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "scriptengine/heap.h"

namespace qorsv::script::vm_internal {
namespace {

// Closes a descriptor when the read or write is over.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now; false when closing reported a failure (a write that did not reach the file).
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace

std::string OpenFileError(const std::string& path, int error_number) {
  return "Cannot open file \"" + path + "\". " + std::strerror(error_number);
}

std::string CreateFileError(const std::string& path, int error_number) {
  return "Cannot create file \"" + path + "\". " + std::strerror(error_number);
}

std::string ReadWholeFile(const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) throw std::runtime_error(OpenFileError(path, errno));
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) throw std::runtime_error(OpenFileError(path, errno));
  if (S_ISDIR(info.st_mode)) throw std::runtime_error(OpenFileError(path, EISDIR));
  if (info.st_size > kMaxObjectBytes) throw OutOfMemoryError{};
  std::string data;
  data.reserve(static_cast<size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(file.get(), buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw std::runtime_error(OpenFileError(path, errno));
    if (got == 0) break;
    data.append(buffer, static_cast<size_t>(got));
    if (static_cast<int64_t>(data.size()) > kMaxObjectBytes) throw OutOfMemoryError{};
  }
  return data;
}

void WriteWholeFile(const std::string& path, std::string_view data) {
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (file.get() < 0) throw std::runtime_error(CreateFileError(path, errno));
  size_t written = 0;
  while (written < data.size()) {
    ssize_t put = ::write(file.get(), data.data() + written, data.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0)
      throw std::runtime_error("Stream write error: " + path + ". " + std::strerror(errno));
    written += static_cast<size_t>(put);
  }
  if (!file.Close())
    throw std::runtime_error("Stream write error: " + path + ". " + std::strerror(errno));
}

}  // namespace qorsv::script::vm_internal
