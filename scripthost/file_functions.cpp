#include "scripthost/file_functions.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "scripthost/file_paths.h"
#include "transport/error.h"

namespace qorsv::scriptapi {
namespace {

constexpr size_t kMoveBlockSize = 65500;

bool StatPath(const std::string& name, struct stat& info) {
  return !name.empty() && ::stat(NativePath(name).c_str(), &info) == 0;
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now; false when the close reported an error (data may not have been written).
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// Copies everything; false when a read or a write failed part way.
bool CopyContents(int from, int to) {
  std::vector<char> block(kMoveBlockSize);
  for (;;) {
    ssize_t got = ::read(from, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!WriteAll(to, block.data(), static_cast<size_t>(got))) return false;
  }
}

}  // namespace

bool FileExists(const std::string& file_name) {
  struct stat info {};
  return StatPath(file_name, info) && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& directory) {
  struct stat info {};
  return StatPath(directory, info) && S_ISDIR(info.st_mode);
}

bool ForceDirectories(const std::string& directory) {
  if (directory.empty()) throw QorsvError("Unable to create directory");
  std::string path = NativePath(directory);
  // Create each missing level from the top down.
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string level = path.substr(0, slash);
    if (!DirectoryExists(level)) ::mkdir(level.c_str(), 0777);
  }
  if (!DirectoryExists(path)) ::mkdir(path.c_str(), 0777);
  return DirectoryExists(path);
}

bool DeleteFile(const std::string& file_name) {
  return !file_name.empty() && ::unlink(NativePath(file_name).c_str()) == 0;
}

bool RenameFile(const std::string& old_name, const std::string& new_name) {
  if (old_name.empty() || new_name.empty()) return false;
  std::string from = NativePath(old_name);
  std::string to = NativePath(new_name);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without no-replace renames: test first.
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

int32_t DosDateTime(std::time_t moment) {
  struct tm local {};
  if (localtime_r(&moment, &local) == nullptr) return -1;
  int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) return -1;
  uint32_t date =
      (static_cast<uint32_t>(year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday;
  uint32_t time = (local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2);
  return static_cast<int32_t>((date << 16) | time);
}

int32_t FileAge(const std::string& file_name) {
  struct stat info {};
  if (!StatPath(file_name, info) || S_ISDIR(info.st_mode)) return -1;
  return DosDateTime(info.st_mtime);
}

void FileMove(const std::string& source, const std::string& destination) {
  std::string from = NativePath(source);
  std::string to = NativePath(destination);
  Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat in_info {};
  struct stat out_info {};
  if (in.valid() && fstat(in.get(), &in_info) == 0 && ::stat(to.c_str(), &out_info) == 0 &&
      in_info.st_dev == out_info.st_dev && in_info.st_ino == out_info.st_ino) {
    return;  // emptying the destination would empty the source
  }
  Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!in.valid() || !out.valid()) return;
  bool copied = CopyContents(in.get(), out.get());
  in.Close();
  bool closed = out.Close();
  if (copied && closed) ::unlink(from.c_str());
}

}  // namespace qorsv::scriptapi
