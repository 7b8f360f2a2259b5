#include "http/local_path.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace qorsv {
namespace {

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace

std::string NormalisePath(std::string_view path) {
  std::string absolute = (!path.empty() && path.front() == '/')
                             ? std::string(path)
                             : CurrentDirectory() + "/" + std::string(path);
  std::vector<std::string_view> segments;
  std::string_view rest = absolute;
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view segment = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      continue;
    }
    segments.push_back(segment);
  }
  std::string normal;
  for (std::string_view segment : segments) {
    normal += '/';
    normal += segment;
  }
  if (normal.empty()) return "/";
  if (absolute.back() == '/') normal += '/';
  return normal;
}

bool IsWithin(std::string_view path, std::string_view root) {
  while (root.size() > 1 && root.back() == '/') root.remove_suffix(1);
  if (root == "/") return !path.empty() && path.front() == '/';
  if (path.substr(0, root.size()) != root) return false;
  return path.size() == root.size() || path[root.size()] == '/';
}

}  // namespace qorsv
