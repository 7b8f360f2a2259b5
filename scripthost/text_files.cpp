#include "scripthost/text_files.h"

#include <fcntl.h>
#include <unistd.h>

#include "scripthost/conversions.h"
#include "scripthost/file_paths.h"
#include "transport/error.h"

namespace qorsv {

void ScriptTextFile::Assign(const std::string& file_name) {
  Close();
  name_ = file_name;
}

void ScriptTextFile::Close() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  mode_ = Mode::kClosed;
}

void ScriptTextFile::Open(const char* mode, Mode as) {
  Close();
  if (name_.empty()) return;
  stream_ = std::fopen(scriptapi::NativePath(name_).c_str(), mode);
  if (stream_ != nullptr) mode_ = as;
}

void ScriptTextFile::OpenForReading() { Open("rbe", Mode::kReading); }

void ScriptTextFile::OpenForWriting() { Open("wbe", Mode::kWriting); }

void ScriptTextFile::OpenForAppending() {
  Close();
  if (name_.empty()) return;
  int fd = ::open(scriptapi::NativePath(name_).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return;
  stream_ = fdopen(fd, "ab");
  if (stream_ == nullptr) {
    ::close(fd);
    return;
  }
  mode_ = Mode::kWriting;
}

std::string ScriptTextFile::ReadLine() {
  std::string line;
  if (mode_ != Mode::kReading) return line;
  int c;
  while ((c = std::getc(stream_)) != EOF && c != '\n') line += static_cast<char>(c);
  if (c == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void ScriptTextFile::Write(const std::string& text) {
  if (mode_ == Mode::kWriting) std::fwrite(text.data(), 1, text.size(), stream_);
}

bool ScriptTextFile::AtEnd() {
  if (mode_ != Mode::kReading) return true;
  int c = std::getc(stream_);
  if (c == EOF) return true;
  std::ungetc(c, stream_);
  return false;
}

ScriptFileTable::ScriptFileTable(std::chrono::milliseconds same_file_wait)
    : same_file_wait_(same_file_wait),
      entries_(std::make_unique<std::array<Entry, kHandleCount>>()) {}

ScriptFileTable::Entry& ScriptFileTable::At(int64_t handle) {
  if (handle < 1 || handle > kHandleCount) {
    throw QorsvError("Text file handle " + std::to_string(handle) + " does not exist (1 to " +
                     std::to_string(kHandleCount) + ")");
  }
  return (*entries_)[handle - 1];
}

bool ScriptFileTable::SameFileHeld(const std::string& file_name) const {
  for (int n = 0; n < kSameFileRange; ++n) {
    const Tscriptfiles& record = (*entries_)[n].record;
    if (record.busy && scriptapi::AnsiSameText(record.filename, file_name)) return true;
  }
  return false;
}

int ScriptFileTable::Assign(const std::string& file_name) {
  std::unique_lock lock(mutex_);
  if (!released_.wait_for(lock, same_file_wait_, [&] { return !SameFileHeld(file_name); })) {
    throw QorsvError("assign_textfile: the file " + file_name +
                     " is still held by another text-file handle");
  }
  for (int n = 1; n <= kHandleCount; ++n) {
    Entry& entry = At(n);
    if (entry.record.busy) continue;
    entry.record.busy = 1;
    entry.record.filename = file_name;
    std::lock_guard entry_lock(entry.mutex);
    entry.record.file.Assign(file_name);
    return n;
  }
  throw QorsvError("assign_textfile: all " + std::to_string(kHandleCount) +
                   " text-file handles are taken");
}

void ScriptFileTable::Reset(int64_t handle) {
  Entry& entry = At(handle);
  std::lock_guard lock(entry.mutex);
  entry.record.file.OpenForReading();
}

std::string ScriptFileTable::ReadLine(int64_t handle) {
  Entry& entry = At(handle);
  std::lock_guard lock(entry.mutex);
  return entry.record.file.ReadLine();
}

void ScriptFileTable::CloseFile(int64_t handle) {
  Entry& entry = At(handle);
  {
    std::lock_guard lock(entry.mutex);
    entry.record.file.Close();
  }
  {
    std::lock_guard lock(mutex_);
    entry.record.busy = 0;
  }
  released_.notify_all();
}

void ScriptFileTable::WriteLine(int64_t handle, const std::string& text) {
  Entry& entry = At(handle);
  std::lock_guard lock(entry.mutex);
  entry.record.file.Write(text + "\r\n");
}

void ScriptFileTable::Write(int64_t handle, const std::string& text) {
  Entry& entry = At(handle);
  std::lock_guard lock(entry.mutex);
  entry.record.file.Write(text);
}

void ScriptFileTable::Rewrite(int64_t handle) {
  Entry& entry = At(handle);
  std::lock_guard lock(entry.mutex);
  entry.record.file.OpenForWriting();
}

void ScriptFileTable::Append(int64_t handle) {
  Entry& entry = At(handle);
  std::lock_guard lock(entry.mutex);
  entry.record.file.OpenForAppending();
}

bool ScriptFileTable::Eof(int64_t handle) {
  Entry& entry = At(handle);
  std::lock_guard lock(entry.mutex);
  return entry.record.file.AtEnd();
}

ScriptFileTable& ScriptFiles() {
  static ScriptFileTable table;
  return table;
}

}  // namespace qorsv
