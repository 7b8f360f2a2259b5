#include "workbench/document_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "transport/error.h"

namespace qorsv {

namespace {

[[noreturn]] void CannotOpen(const std::string& path, int error) {
  throw QorsvError("Cannot open file \"" + path + "\". " + std::strerror(error));
}

}  // namespace

std::string ReadDocumentFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) CannotOpen(path, EISDIR);
  std::ifstream in(path, std::ios::binary);
  if (!in) CannotOpen(path, errno);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteDocumentFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw QorsvError("Cannot create file \"" + path + "\". " + std::strerror(errno));
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw QorsvError("Cannot write file \"" + path + "\". " + std::strerror(errno));
}

bool RegularFileExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string FileExtension(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return path.substr(dot);
}

std::string BackupPath(const std::string& path) {
  std::string extension = FileExtension(path);
  if (extension.empty()) return path + "~";
  // The extension itself is replaced, never an equal text in a folder name before it.
  return path.substr(0, path.size() - extension.size()) + ".~" + extension.substr(1);
}

}  // namespace qorsv
