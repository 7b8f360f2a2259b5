#include "transport/temp_files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qorsv {
namespace {

// Enough for the files of the requests a busy server has in flight at once; beyond that,
// removed files are unlinked and new ones created as usual.
constexpr int kSparesPerKind = 64;
constexpr const char* kSparePrefix = ".qorspare";

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Files of one folder and one extension share spares, so a spare's old length is usually the
// new one and needs no cutting.
std::string KindOf(const std::string& path) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  std::string extension =
      dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : path.substr(dot + 1);
  return FolderOf(path) + kSparePrefix + extension + "-";
}

// The spare files of every folder we wrote temporary files in. A spare is a file named by its
// kind + a number below kSparesPerKind. A temporary file made from a spare is a second link to
// it: making and removing one neither allocates nor frees an inode. The lock covers only the
// bookkeeping; links and unlinks happen outside it, on spares taken from it.
class SpareFiles {
 public:
  // Links a free spare of `path`'s kind as `path`; false when there is none (or it vanished).
  bool LinkSpareAs(const std::string& path) {
    std::string kind = KindOf(path);
    int number;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      std::vector<int>& free_spares = kinds_[kind].free_spares;
      if (free_spares.empty()) return false;
      number = free_spares.back();
      free_spares.pop_back();
    }
    if (::link(SpareName(kind, number).c_str(), path.c_str()) != 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      kinds_[kind].lost_spares.push_back(number);
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    linked_[path] = number;
    return true;
  }

  // Unlinks `path`. A file made from a spare frees its spare; another one becomes a spare
  // itself while its kind has room for one more.
  bool Remove(const std::string& path) {
    std::string kind = KindOf(path);
    int number = -1;
    bool was_linked = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (auto it = linked_.find(path); it != linked_.end()) {
        number = it->second;
        was_linked = true;
        linked_.erase(it);
      } else {
        number = TakeUnusedNumber(kinds_[kind]);
      }
    }
    if (!was_linked && number >= 0 && !LinkAsSpare(path, SpareName(kind, number))) {
      ReturnUnusedNumber(kind, number);
      number = -1;
    }
    bool removed = ::unlink(path.c_str()) == 0;
    if (number >= 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      kinds_[kind].free_spares.push_back(number);
    }
    return removed;
  }

 private:
  struct Kind {
    std::vector<int> free_spares;
    std::vector<int> lost_spares;  // numbers whose file vanished: made again from removed files
    int numbered = 0;
  };

  static std::string SpareName(const std::string& kind, int number) {
    return kind + std::to_string(number);
  }

  // A spare left by an earlier run of the program is replaced.
  static bool LinkAsSpare(const std::string& path, const std::string& spare) {
    if (::link(path.c_str(), spare.c_str()) == 0) return true;
    if (errno != EEXIST || ::unlink(spare.c_str()) != 0) return false;
    return ::link(path.c_str(), spare.c_str()) == 0;
  }

  // Callers hold mutex_. -1 when the kind has all its spares.
  static int TakeUnusedNumber(Kind& kind) {
    if (!kind.lost_spares.empty()) {
      int number = kind.lost_spares.back();
      kind.lost_spares.pop_back();
      return number;
    }
    return kind.numbered < kSparesPerKind ? kind.numbered++ : -1;
  }

  void ReturnUnusedNumber(const std::string& kind, int number) {
    std::lock_guard<std::mutex> lock(mutex_);
    kinds_[kind].lost_spares.push_back(number);
  }

  std::mutex mutex_;
  std::map<std::string, Kind> kinds_;
  std::map<std::string, int> linked_;  // temporary files made from spares, by path
};

SpareFiles& Spares() {
  static SpareFiles spares;
  return spares;
}

}  // namespace

TempFileWriter::TempFileWriter(const std::string& path) {
  if (Spares().LinkSpareAs(path)) {
    // Opened without O_TRUNC: truncating to nothing makes ext4 start writing the old contents
    // back on close, and the next truncation waits for that. Close() cuts what is left over.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    struct stat info;
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0) old_size_ = info.st_size;
  }
  if (fd_ < 0) fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  setp(buffer_, buffer_ + kBufferSize);
}

TempFileWriter::~TempFileWriter() {
  if (fd_ >= 0) ::close(fd_);
}

bool TempFileWriter::WriteOut(const char* data, size_t size) {
  while (size > 0 && !failed_) {
    ssize_t done = ::pwrite(fd_, data, size, written_);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      failed_ = true;
      break;
    }
    data += done;
    size -= static_cast<size_t>(done);
    written_ += done;
  }
  return !failed_;
}

bool TempFileWriter::FlushBuffer() {
  bool ok = fd_ >= 0 && WriteOut(pbase(), static_cast<size_t>(pptr() - pbase()));
  setp(buffer_, buffer_ + kBufferSize);
  if (fd_ < 0) failed_ = true;
  return ok;
}

TempFileWriter::int_type TempFileWriter::overflow(int_type ch) {
  if (!FlushBuffer()) return traits_type::eof();
  if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
  *pptr() = traits_type::to_char_type(ch);
  pbump(1);
  return ch;
}

std::streamsize TempFileWriter::xsputn(const char* data, std::streamsize size) {
  if (size <= epptr() - pptr()) {
    std::memcpy(pptr(), data, static_cast<size_t>(size));
    pbump(static_cast<int>(size));
    return size;
  }
  // Larger than the room left: write the buffer and this piece straight out.
  if (!FlushBuffer() || !WriteOut(data, static_cast<size_t>(size))) return 0;
  return size;
}

int TempFileWriter::sync() { return FlushBuffer() ? 0 : -1; }

bool TempFileWriter::Close() {
  if (fd_ < 0) return false;
  bool ok = FlushBuffer();
  if (ok && written_ < old_size_ && ::ftruncate(fd_, written_) != 0) ok = false;
  if (::close(fd_) != 0) ok = false;
  fd_ = -1;
  return ok;
}

bool RemoveTempFile(const std::string& path) { return Spares().Remove(path); }

}  // namespace qorsv
