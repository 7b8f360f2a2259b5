#include "scripthost/include_resolver.h"

#include <sys/stat.h>

#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <unordered_map>

#include "transport/error.h"

namespace qorsv {
namespace {

// What identifies one version of a file's content.
struct FileVersion {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modified_ns = 0;
  int64_t changed_ns = 0;

  bool operator==(const FileVersion&) const = default;
};

int64_t Nanoseconds(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// The version of a regular file, or nothing when `path` is no regular file.
std::optional<FileVersion> RegularFileVersion(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return FileVersion{info.st_dev, info.st_ino, info.st_size, Nanoseconds(info.st_mtim),
                     Nanoseconds(info.st_ctim)};
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  if (in) content << in.rdbuf();
  if (!in || in.bad()) throw QorsvError("Cannot open file " + path);
  return content.str();
}

class IncludeContents {
 public:
  static constexpr size_t kKept = 64;

  std::string Read(const std::string& path, const FileVersion& version) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      auto found = kept_.find(path);
      if (found != kept_.end() && found->second.version == version) return found->second.text;
    }
    std::string text = ReadWholeFile(path);
    std::lock_guard<std::mutex> hold(lock_);
    if (kept_.size() >= kKept && kept_.count(path) == 0) kept_.clear();
    kept_[path] = Kept{version, text};
    return text;
  }

 private:
  struct Kept {
    FileVersion version;
    std::string text;
  };
  std::mutex lock_;
  std::unordered_map<std::string, Kept> kept_;
};

IncludeContents& KeptIncludes() {
  static IncludeContents contents;
  return contents;
}

}  // namespace

script::IncludeFile ResolveScriptInclude(const std::string& program_dir, const std::string& name) {
  std::string directory = program_dir;
  if (directory.empty() || directory.back() != '/') directory += '/';
  script::IncludeFile file;
  file.name = directory + "scripts/" + name;
  if (name.find('\0') != std::string::npos) return file;
  std::optional<FileVersion> version = RegularFileVersion(file.name);
  if (!version) return file;
  file.text = KeptIncludes().Read(file.name, *version);
  file.found = true;
  return file;
}

}  // namespace qorsv
