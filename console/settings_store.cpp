#include "console/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "transport/error.h"

namespace qorsv {
namespace {

std::vector<std::string> SplitKey(const std::string& key) {
  std::vector<std::string> names;
  std::string name;
  for (char c : key) {
    if (c == '\\') {
      if (!name.empty()) names.push_back(std::move(name));
      name.clear();
    } else {
      name += c;
    }
  }
  if (!name.empty()) names.push_back(std::move(name));
  return names;
}

// A name that would not survive the trip through the file is refused before anything is written.
bool WritableName(const std::string& name) {
  for (char c : name) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || std::strchr("<>&/\"'=", c) != nullptr) {
      return false;
    }
  }
  return !name.empty();
}

std::string WithXmlExtension(const std::string& path) {
  std::filesystem::path file(path);
  return file.has_extension() ? path : path + ".xml";
}

std::string SystemErrorText() { return std::strerror(errno); }

bool FileIsReadOnly(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  // No write permission bit at all is the read-only attribute, even for root.
  return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0;
}

std::string TrimWhite(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(start, end - start + 1);
}

// A decimal integer with an optional sign, within 64 bits.
std::optional<int64_t> ParseDecimal(const std::string& text) {
  std::string trimmed = TrimWhite(text);
  const char* begin = trimmed.data();
  const char* end = begin + trimmed.size();
  if (begin != end && *begin == '+') ++begin;
  if (begin == end || (*begin == '-' && begin + 1 == end)) return std::nullopt;
  int64_t value = 0;
  auto [stop, error] = std::from_chars(begin, end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<double> ParseNumber(const std::string& text) {
  std::string trimmed = TrimWhite(text);
  if (trimmed.empty() || trimmed.find_first_not_of("0123456789+-.eE") != std::string::npos) {
    return std::nullopt;
  }
  char* stop = nullptr;
  double value = std::strtod(trimmed.c_str(), &stop);
  if (stop != trimmed.c_str() + trimmed.size()) return std::nullopt;
  return value;
}

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The file's bytes, or nothing when it does not exist.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    throw QorsvError("Cannot open file \"" + path + "\". " + SystemErrorText());
  }
  std::string text;
  char buffer[8192];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      std::string error = SystemErrorText();
      close(fd);
      throw QorsvError("Cannot read file \"" + path + "\". " + error);
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return text;
}

void WriteAll(int fd, const std::string& text, const std::string& path) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw QorsvError("Cannot write file \"" + path + "\". " + SystemErrorText());
    done += static_cast<size_t>(n);
  }
}

// Rewrites the file in place: the way left when no file can be made beside it.
void TruncateAndWrite(const std::string& path, const std::string& text) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw QorsvError("Cannot create file \"" + path + "\". " + SystemErrorText());
  try {
    WriteAll(fd, text, path);
  } catch (...) {
    close(fd);
    throw;
  }
  close(fd);
}

// Writes a new file beside the old one and renames it over, so a full disk or a crash in the
// middle never leaves a half-written settings file that no access could read again.
void ReplaceFile(const std::string& path, const std::string& text) {
  struct stat old_info {};
  bool existed = lstat(path.c_str(), &old_info) == 0;
  if (existed && !S_ISREG(old_info.st_mode)) {
    TruncateAndWrite(path, text);  // a link or device keeps its identity
    return;
  }
  std::string temp_path = path + "." + std::string(6, 'X');  // mkstemp template
  int fd = mkstemp(temp_path.data());
  if (fd < 0) {
    TruncateAndWrite(path, text);
    return;
  }
  try {
    WriteAll(fd, text, path);
    fchmod(fd, existed ? (old_info.st_mode & 07777) : 0644);
    if (fsync(fd) != 0)
      throw QorsvError("Cannot write file \"" + path + "\". " + SystemErrorText());
  } catch (...) {
    close(fd);
    unlink(temp_path.c_str());
    throw;
  }
  close(fd);
  if (rename(temp_path.c_str(), path.c_str()) != 0) {
    std::string error = SystemErrorText();
    unlink(temp_path.c_str());
    throw QorsvError("Cannot create file \"" + path + "\". " + error);
  }
}

}  // namespace

void SettingsStore::SetSettingsFile(const std::string& path) {
  std::string chosen = WithXmlExtension(path);
  if (chosen == file_name_) return;
  if (!file_name_.empty() && !read_only_) {
    // Every write has saved the file already, so this rewrite only puts it in the writer's
    // layout; a file that does not parse or cannot be written stays as it is.
    try {
      Load();
      Save();
    } catch (const QorsvError&) {
    }
  }
  file_name_ = chosen;
  read_only_ = FileIsReadOnly(file_name_);
  Load();
}

void SettingsStore::Load() {
  document_ = XmlDocument{};
  loaded_ = true;
  if (file_name_.empty()) return;
  std::optional<std::string> text = ReadWholeFile(file_name_);
  if (!text) return;
  try {
    document_ = ParseSettingsXml(*text);
  } catch (const QorsvError& error) {
    loaded_ = false;
    throw QorsvError("Settings file \"" + file_name_ + "\": " + error.what());
  }
}

void SettingsStore::Save() const {
  if (file_name_.empty()) throw QorsvError("No settings file has been chosen");
  if (!loaded_) return;
  std::filesystem::path directory = std::filesystem::path(file_name_).parent_path();
  if (!directory.empty()) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
      throw QorsvError("Cannot create directory \"" + directory.string() + "\". " +
                       error.message());
    }
  }
  ReplaceFile(file_name_, WriteSettingsXml(document_));
}

const std::string* SettingsStore::Find(const std::string& key) {
  Load();
  std::vector<std::string> names = SplitKey(key);
  if (names.empty()) return nullptr;
  const XmlElement* element = &document_.root;
  for (const std::string& name : names) {
    element = element->FindChild(name);
    if (element == nullptr) return nullptr;
  }
  return &element->value;
}

void SettingsStore::Write(const std::string& key, const std::string& value) {
  if (read_only_) return;
  std::vector<std::string> names = SplitKey(key);
  if (names.empty()) throw QorsvError("Invalid settings key \"" + key + "\"");
  for (const std::string& name : names) {
    if (!WritableName(name)) throw QorsvError("Invalid settings key \"" + key + "\"");
  }
  Load();
  XmlElement* element = &document_.root;
  for (const std::string& name : names) element = &element->FindOrAddChild(name);
  element->value = value;
  Save();
}

int32_t SettingsStore::ReadSettingInteger(const std::string& key, int32_t default_value) {
  const std::string* value = Find(key);
  if (value == nullptr) return default_value;
  std::optional<int64_t> number = ParseDecimal(*value);
  if (!number) return -1;
  // The low 32 bits, so a counter stored at or above 2^31 comes back as the same bits.
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(*number)));
}

bool SettingsStore::ReadSettingBoolean(const std::string& key, bool default_value) {
  const std::string* value = Find(key);
  if (value == nullptr) return default_value;
  std::string upper = UpperAscii(*value);
  if (upper == "TRUE" || upper == "YES" || upper == "Y") return true;
  if (upper == "FALSE" || upper == "NO" || upper == "N") return false;
  std::optional<double> number = ParseNumber(*value);
  return number && *number != 0;
}

std::string SettingsStore::ReadSettingString(const std::string& key,
                                             const std::string& default_value) {
  const std::string* value = Find(key);
  return value == nullptr ? default_value : *value;
}

void SettingsStore::WriteSettingInteger(const std::string& key, int32_t value) {
  Write(key, std::to_string(value));
}

void SettingsStore::WriteSettingBoolean(const std::string& key, bool value) {
  Write(key, value ? "TRUE" : "FALSE");
}

void SettingsStore::WriteSettingString(const std::string& key, const std::string& value) {
  Write(key, value);
}

}  // namespace qorsv
