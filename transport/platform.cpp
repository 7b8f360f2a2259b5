#include "transport/platform.h"

#include <limits.h>
#include <unistd.h>

#include <cstdio>

namespace qorsv {
namespace {

std::string ReadProgramFile() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (length <= 0) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

std::string ReadProgramDir() {
  const std::string& path = ProgramFile();
  if (path.empty()) return "./";
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::tm LocalTime(std::time_t moment) {
  std::tm parts{};
  localtime_r(&moment, &parts);
  return parts;
}

}  // namespace

const std::string& ProgramFile() {
  static const std::string file = ReadProgramFile();
  return file;
}

const std::string& ProgramDir() {
  static const std::string dir = ReadProgramDir();
  return dir;
}

std::string ShortDateText(std::time_t moment) {
  std::tm parts = LocalTime(moment);
  char text[32];
  std::snprintf(text, sizeof(text), "%02d/%02d/%04d", parts.tm_mday, parts.tm_mon + 1,
                parts.tm_year + 1900);
  return text;
}

std::string LongTimeText(std::time_t moment) {
  std::tm parts = LocalTime(moment);
  char text[32];
  std::snprintf(text, sizeof(text), "%02d:%02d:%02d", parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text;
}

std::string DateTimeText(std::time_t moment) {
  std::tm parts = LocalTime(moment);
  char text[48];
  std::snprintf(text, sizeof(text), "%02d/%02d/%04d - %02d:%02d:%02d", parts.tm_mday,
                parts.tm_mon + 1, parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text;
}

pid_t CurrentThreadId() { return gettid(); }

uint64_t TickCountMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace qorsv
