#include "scripthost/include_resolver.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "transport/error.h"

namespace qorsv {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

script::IncludeFile ResolveScriptInclude(const std::string& program_dir, const std::string& name) {
  std::string directory = program_dir;
  if (directory.empty() || directory.back() != '/') directory += '/';
  script::IncludeFile file;
  file.name = directory + "scripts/" + name;
  if (name.find('\0') != std::string::npos || !IsRegularFile(file.name)) return file;
  std::ifstream in(file.name, std::ios::binary);
  std::ostringstream content;
  if (in) content << in.rdbuf();
  if (!in || in.bad()) throw QorsvError("Cannot open file " + file.name);
  file.found = true;
  file.text = content.str();
  return file;
}

}  // namespace qorsv
