#include "scripthost/file_paths.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace qorsv::scriptapi {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Index of the last separator, or npos.
size_t LastSeparator(const std::string& name) { return name.find_last_of("/\\"); }

}  // namespace

std::string NativePath(const std::string& file_name) {
  std::string path = file_name;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::string ExtractFilePath(const std::string& file_name) {
  size_t at = LastSeparator(file_name);
  return at == std::string::npos ? "" : file_name.substr(0, at + 1);
}

std::string ExtractFileDir(const std::string& file_name) {
  size_t at = LastSeparator(file_name);
  if (at == std::string::npos) return "";
  bool is_root = at == 0 || IsSeparator(file_name[at - 1]);
  return file_name.substr(0, is_root ? at + 1 : at);
}

std::string ExtractFileDrive(const std::string& file_name) {
  if (file_name.size() < 2 || !IsSeparator(file_name[0]) || !IsSeparator(file_name[1])) {
    return "";
  }
  // Skip the server name and the share name; stop before the separator that follows the share.
  int separators_seen = 0;
  size_t i = 2;
  for (; i < file_name.size(); ++i) {
    if (IsSeparator(file_name[i]) && ++separators_seen == 2) break;
  }
  return file_name.substr(0, i);
}

std::string ExtractFileName(const std::string& file_name) {
  size_t at = LastSeparator(file_name);
  return at == std::string::npos ? file_name : file_name.substr(at + 1);
}

std::string ExtractFileExt(const std::string& file_name) {
  size_t at = file_name.find_last_of("./\\");
  if (at == std::string::npos || file_name[at] != '.') return "";
  return file_name.substr(at);
}

std::string ExpandFileName(const std::string& file_name) {
  if (file_name.empty()) return "";
  std::string path = NativePath(file_name);
  if (path[0] != '/') path = GetCurrentDir() + "/" + path;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  if (result.empty() || path.back() == '/') result += "/";
  return result;
}

std::string GetCurrentDir() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return "";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace qorsv::scriptapi
