#include "transport/temp_files.h"

#include <cerrno>
#include <fcntl.h>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "transport/socket.h"

namespace qorsv {
namespace {

// Enough for the files of the requests a busy server has in flight at once; beyond that,
// removed files are unlinked and new ones created as usual.
constexpr int kSparesPerKind = 32;
// Every spare holds a descriptor; a process that writes in many folders (tests do) stops here.
constexpr int kMaxSpares = 128;
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
  bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  std::string extension = has_extension ? path.substr(dot + 1) : std::string();
  return FolderOf(path) + kSparePrefix + extension + "-";
}

// The spare files of every folder we wrote temporary files in. A spare is a file named by its
// kind + a number below kSparesPerKind, kept open for writing. A temporary file made from a
// spare is a second link to it, written through the spare's descriptor: making and removing one
// neither allocates nor frees an inode, and needs no open or close. The lock covers only the
// bookkeeping; links and unlinks happen outside it, on spares taken from it.
class SpareFiles {
 public:
  // Links a free spare of `path`'s kind as `path` and answers its descriptor, which stays the
  // spare's; -1 when there is none (or it vanished).
  int LinkSpareAs(const std::string& path) {
    std::string kind = KindOf(path);
    Spare spare;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      last_use_ = std::chrono::steady_clock::now();
      std::vector<Spare>& free_spares = kinds_[kind].free_spares;
      if (free_spares.empty()) return -1;
      spare = free_spares.back();
      free_spares.pop_back();
    }
    if (::link(SpareName(kind, spare.number).c_str(), path.c_str()) != 0) {
      ::close(spare.fd);
      ForgetNumber(kind, spare.number);
      return -1;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    linked_[path] = spare;
    return spare.fd;
  }

  // Unlinks `path`. A file made from a spare frees its spare; another one becomes a spare
  // itself while its kind has room for one more.
  bool Remove(const std::string& path) {
    std::string kind = KindOf(path);
    std::optional<Spare> spare;
    int number = -1;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      last_use_ = std::chrono::steady_clock::now();
      if (auto it = linked_.find(path); it != linked_.end()) {
        spare = it->second;
        linked_.erase(it);
      } else {
        number = TakeUnusedNumber(kinds_[kind]);
      }
    }
    if (number >= 0) spare = MakeSpare(path, kind, number);
    if (spare && !SmallEnoughToReuse(spare->fd)) {
      Retire(kind, *spare);
      spare.reset();
    }
    bool removed = ::unlink(path.c_str()) == 0;
    if (spare) {
      std::lock_guard<std::mutex> lock(mutex_);
      kinds_[kind].free_spares.push_back(*spare);
    }
    return removed;
  }

  // Retires every free spare when none was used for `idle`; answers how many.
  size_t ReleaseIfIdle(std::chrono::steady_clock::duration idle) {
    std::vector<std::pair<std::string, Spare>> idle_spares;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (std::chrono::steady_clock::now() - last_use_ < idle) return 0;
      for (auto& [kind, spares] : kinds_) {
        for (const Spare& spare : spares.free_spares) idle_spares.emplace_back(kind, spare);
        spares.free_spares.clear();
      }
    }
    for (const auto& [kind, spare] : idle_spares) Retire(kind, spare);
    return idle_spares.size();
  }

 private:
  struct Spare {
    int number = -1;
    int fd = -1;
  };
  struct Kind {
    std::vector<Spare> free_spares;
    std::vector<int> lost_numbers;  // spares that vanished: made again from removed files
    int numbered = 0;
  };

  // A spare is written over again only while its contents are short enough to have been
  // copied into a socket, never sent by a sendfile that may still be reading them.
  static bool SmallEnoughToReuse(int fd) {
    struct stat info;
    return ::fstat(fd, &info) == 0 && static_cast<size_t>(info.st_size) <= kLargestCopiedBody;
  }

  // Gives up a spare: its name and descriptor go, its number is free for a later one.
  void Retire(const std::string& kind, const Spare& spare) {
    ::close(spare.fd);
    ::unlink(SpareName(kind, spare.number).c_str());
    ForgetNumber(kind, spare.number);
  }

  // A number whose spare is gone; a removed file may take it later.
  void ForgetNumber(const std::string& kind, int number) {
    std::lock_guard<std::mutex> lock(mutex_);
    kinds_[kind].lost_numbers.push_back(number);
    --open_spares_;
  }

  static std::string SpareName(const std::string& kind, int number) {
    return kind + std::to_string(number);
  }

  // Links the file at `path` as spare `number` of `kind` (replacing one an earlier run of the
  // program left) and opens it. On failure the number goes back and there is no spare.
  std::optional<Spare> MakeSpare(const std::string& path, const std::string& kind, int number) {
    std::string name = SpareName(kind, number);
    bool linked = ::link(path.c_str(), name.c_str()) == 0 ||
                  (errno == EEXIST && ::unlink(name.c_str()) == 0 &&
                   ::link(path.c_str(), name.c_str()) == 0);
    int fd = linked ? ::open(name.c_str(), O_WRONLY | O_CLOEXEC) : -1;
    if (fd >= 0) return Spare{number, fd};
    if (linked) ::unlink(name.c_str());
    ForgetNumber(kind, number);
    return std::nullopt;
  }

  // Callers hold mutex_. -1 when the kind, or the process, has all its spares.
  int TakeUnusedNumber(Kind& kind) {
    if (open_spares_ >= kMaxSpares) return -1;
    int number = -1;
    if (!kind.lost_numbers.empty()) {
      number = kind.lost_numbers.back();
      kind.lost_numbers.pop_back();
    } else if (kind.numbered < kSparesPerKind) {
      number = kind.numbered++;
    }
    if (number >= 0) ++open_spares_;
    return number;
  }

  std::mutex mutex_;
  std::map<std::string, Kind> kinds_;
  std::map<std::string, Spare> linked_;  // temporary files made from spares, by path
  int open_spares_ = 0;                   // descriptors held, in every folder together
  std::chrono::steady_clock::time_point last_use_;
};

SpareFiles& Spares() {
  static SpareFiles spares;
  return spares;
}

}  // namespace

TempFileWriter::TempFileWriter(const std::string& path) {
  fd_ = Spares().LinkSpareAs(path);
  if (fd_ >= 0) {
    // Written in place, without truncating first: truncating to nothing makes ext4 start
    // writing the old contents back, and the next truncation waits for that. Close() cuts
    // what is left over.
    struct stat info;
    if (::fstat(fd_, &info) == 0) old_size_ = info.st_size;
  } else {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    owns_fd_ = true;
  }
  setp(buffer_, buffer_ + kBufferSize);
}

TempFileWriter::~TempFileWriter() {
  if (owns_fd_ && fd_ >= 0) ::close(fd_);
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
  if (owns_fd_ && ::close(fd_) != 0) ok = false;
  fd_ = -1;
  return ok;
}

bool RemoveTempFile(const std::string& path) { return Spares().Remove(path); }

size_t ReleaseIdleTempSpares(std::chrono::steady_clock::duration idle) {
  return Spares().ReleaseIfIdle(idle);
}

}  // namespace qorsv
