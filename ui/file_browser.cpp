#include "ui/file_browser.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <sstream>

namespace qorsv {
namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool GlobMatch(std::string_view name, std::string_view pattern) {
  // Iterative match with one back-tracking point for the last "*".
  size_t n = 0, p = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

Json Names(const std::vector<std::string>& names) {
  Json array = Json::array();
  for (const std::string& name : names) array.push_back(JsonText(name));
  return array;
}

}  // namespace

bool MatchesFilter(std::string_view name, std::string_view filter) {
  if (filter.empty()) return true;
  while (true) {
    size_t end = filter.find(';');
    std::string_view pattern = filter.substr(0, end);
    while (!pattern.empty() && pattern.front() == ' ') pattern.remove_prefix(1);
    while (!pattern.empty() && pattern.back() == ' ') pattern.remove_suffix(1);
    if (pattern == "*.*" || pattern == "*" || (!pattern.empty() && GlobMatch(name, pattern))) {
      return true;
    }
    if (end == std::string_view::npos) return false;
    filter.remove_prefix(end + 1);
  }
}

std::string NormalFolder(const std::string& dir) {
  std::vector<std::string> parts;
  std::istringstream segments(dir);
  std::string segment;
  while (std::getline(segments, segment, '/')) {
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(segment);
  }
  std::string normal = "/";
  for (const std::string& part : parts) normal += part + "/";
  return normal;
}

FolderListing ListFolder(const std::string& dir, const std::string& filter) {
  FolderListing listing;
  listing.dir = NormalFolder(dir);
  if (listing.dir != "/") {
    std::string without_slash = listing.dir.substr(0, listing.dir.size() - 1);
    listing.parent = without_slash.substr(0, without_slash.find_last_of('/') + 1);
  }
  DIR* folder = ::opendir(listing.dir.c_str());
  if (folder == nullptr) {
    throw CommandError("Cannot open the folder " + listing.dir + ": " + std::strerror(errno));
  }
  size_t seen = 0;
  while (dirent* entry = ::readdir(folder)) {
    std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    if (++seen > kMaxListedEntries) {
      listing.truncated = true;
      break;
    }
    struct stat info {};
    // Links are followed, as a dialog shows what they lead to.
    if (::stat((listing.dir + name).c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      listing.folders.push_back(name);
    } else if (MatchesFilter(name, filter)) {
      listing.files.push_back(name);
    }
  }
  ::closedir(folder);
  std::sort(listing.folders.begin(), listing.folders.end(), LessIgnoringCase);
  std::sort(listing.files.begin(), listing.files.end(), LessIgnoringCase);
  return listing;
}

void AddFileBrowser(OperatorServer& server, const std::string& start_dir) {
  server.AddQuery("files", [start_dir](const OperatorRequest& request) {
    std::string dir = Utf8ToBytes(request.Query("dir"));
    if (dir.empty()) dir = start_dir;
    if (dir.front() != '/') throw CommandError("The folder must be an absolute path.");
    FolderListing listing = ListFolder(dir, Utf8ToBytes(request.Query("filter")));
    return Json{{"dir", JsonText(listing.dir)},
                {"parent", listing.parent.empty() ? Json(nullptr) : JsonText(listing.parent)},
                {"folders", Names(listing.folders)},
                {"files", Names(listing.files)},
                {"truncated", listing.truncated}};
  });
  server.AddQuery("stat", [](const OperatorRequest& request) {
    std::string path = Utf8ToBytes(request.Query("path"));
    struct stat info {};
    bool exists = !path.empty() && path.front() == '/' && ::stat(path.c_str(), &info) == 0;
    return Json{{"path", JsonText(path)},
                {"exists", exists},
                {"folder", exists && S_ISDIR(info.st_mode)},
                {"file", exists && S_ISREG(info.st_mode)}};
  });
}

}  // namespace qorsv
