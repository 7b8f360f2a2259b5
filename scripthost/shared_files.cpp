#include "scripthost/shared_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <optional>

#include "scripthost/file_paths.h"

namespace qorsv::scriptapi {
namespace {

constexpr unsigned kRead = 1;
constexpr unsigned kWrite = 2;

struct OpenFile {
  dev_t device;
  ino_t inode;
  unsigned access;   // what this open does: kRead | kWrite
  unsigned allowed;  // what it lets other opens do
};

struct Request {
  unsigned access;
  unsigned allowed;
  int open_flags;
};

std::optional<Request> DecodeMode(uint32_t mode) {
  Request request{};
  switch (mode & 0x0F) {
    case kOpenRead:
      request = {kRead, 0, O_RDONLY};
      break;
    case kOpenWrite:
      request = {kWrite, 0, O_WRONLY};
      break;
    case kOpenReadWrite:
      request = {kRead | kWrite, 0, O_RDWR};
      break;
    default:
      return std::nullopt;
  }
  switch (mode & ~0x0Fu) {
    case kShareCompat:
    case kShareExclusive:
      request.allowed = 0;
      break;
    case kShareDenyWrite:
      request.allowed = kRead;
      break;
    case kShareDenyRead:
      request.allowed = kWrite;
      break;
    case kShareDenyNone:
      request.allowed = kRead | kWrite;
      break;
    default:
      return std::nullopt;
  }
  return request;
}

// The files that scripts hold open through FileOpen and FileCreate, by handle.
class OpenFileTable {
 public:
  int32_t Open(const std::string& file_name, const Request& request, bool create) {
    std::lock_guard lock(mutex_);
    // O_NONBLOCK keeps a FIFO from blocking the open (and this lock); such files are refused
    // below anyway, as are directories.
    int flags = request.open_flags | O_CLOEXEC | O_NONBLOCK | (create ? O_CREAT : 0);
    int fd = ::open(NativePath(file_name).c_str(), flags, 0666);
    if (fd < 0) return -1;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || Conflicts(info, request)) {
      ::close(fd);
      return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (create && ftruncate(fd, 0) != 0) {
      ::close(fd);
      return -1;
    }
    files_[fd] = {info.st_dev, info.st_ino, request.access, request.allowed};
    return fd;
  }

  int32_t Seek(int32_t handle, int32_t offset, int32_t origin) {
    static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2) return -1;
    std::lock_guard lock(mutex_);
    if (!files_.contains(handle)) return -1;
    off_t position = lseek(handle, offset, kWhence[origin]);
    return position < 0 ? -1 : static_cast<int32_t>(position);
  }

  void Close(int32_t handle) {
    std::lock_guard lock(mutex_);
    if (files_.erase(handle) > 0) ::close(handle);
  }

 private:
  // True when an earlier open of the same file forbids this one, or this one would forbid it.
  bool Conflicts(const struct stat& info, const Request& request) const {
    for (const auto& [fd, open] : files_) {
      if (open.device != info.st_dev || open.inode != info.st_ino) continue;
      if ((request.access & ~open.allowed) != 0 || (open.access & ~request.allowed) != 0) {
        return true;
      }
    }
    return false;
  }

  std::mutex mutex_;
  std::map<int, OpenFile> files_;
};

OpenFileTable& OpenFiles() {
  static OpenFileTable table;
  return table;
}

}  // namespace

int32_t FileOpen(const std::string& file_name, uint32_t mode) {
  std::optional<Request> request = DecodeMode(mode);
  if (!request) return -1;
  return OpenFiles().Open(file_name, *request, false);
}

int32_t FileCreate(const std::string& file_name) {
  return OpenFiles().Open(file_name, {kRead | kWrite, 0, O_RDWR}, true);
}

int32_t FileSeek(int32_t handle, int32_t offset, int32_t origin) {
  return OpenFiles().Seek(handle, offset, origin);
}

void FileClose(int32_t handle) { OpenFiles().Close(handle); }

bool FileIsOpen(const std::string& file_name) {
  int32_t handle = FileOpen(file_name, kOpenRead | kShareExclusive);
  if (handle <= 0) return false;
  FileClose(handle);
  return true;
}

}  // namespace qorsv::scriptapi
