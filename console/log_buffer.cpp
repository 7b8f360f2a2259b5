#include "console/log_buffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "transport/error.h"
#include "transport/memory_release.h"
#include "transport/platform.h"

namespace qorsv {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Lines are taken from the text without the CR LF that ends each one.
std::vector<std::string> SplitLines(const std::string& bytes, const std::vector<size_t>& ends) {
  std::vector<std::string> lines;
  lines.reserve(ends.size());
  size_t start = 0;
  for (size_t end : ends) {
    lines.push_back(bytes.substr(start, end - start - kLineEnd.size()));
    start = end;
  }
  return lines;
}

}  // namespace

std::vector<std::string> LogText::Lines() const { return SplitLines(bytes, line_ends); }

void LogBuffer::Append(std::string_view line) {
  std::function<void()> hand_over;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (text_.bytes.capacity() == 0) {
      // Room for one hand-over's worth, so the text is not copied to grow while appends wait;
      // pages not yet written cost nothing.
      text_.bytes.reserve(hand_over_bytes_ + hand_over_bytes_ / 4);
    }
    text_.bytes.append(line);
    text_.bytes.append(kLineEnd);
    text_.line_ends.push_back(text_.bytes.size());
    if (text_.bytes.size() >= hand_over_bytes_ && hand_over_ && !hand_over_asked_) {
      hand_over_asked_ = true;
      hand_over = hand_over_;
    }
  }
  if (hand_over) hand_over();
}

LogText LogBuffer::TakeText() {
  std::lock_guard<std::mutex> lock(mutex_);
  LogText taken;
  std::swap(taken, text_);
  return taken;
}

void LogBuffer::PutBack(LogText text) {
  if (text.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  size_t shift = text.bytes.size();
  text.bytes.append(text_.bytes);
  text.line_ends.reserve(text.line_ends.size() + text_.line_ends.size());
  for (size_t end : text_.line_ends) text.line_ends.push_back(end + shift);
  std::swap(text, text_);
}

void LogBuffer::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  text_ = LogText();
  hand_over_asked_ = false;
}

std::vector<std::string> LogBuffer::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_.Lines();
}

size_t LogBuffer::ByteCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_.bytes.size();
}

void LogBuffer::SetHandOver(std::function<void()> hand_over) {
  std::lock_guard<std::mutex> lock(mutex_);
  hand_over_ = std::move(hand_over);
  hand_over_asked_ = false;
}

void LogBuffer::SaveSucceeded() {
  std::lock_guard<std::mutex> lock(mutex_);
  hand_over_asked_ = false;
}

std::string LogFileName(std::time_t moment) {
  std::string name = ShortDateText(moment);
  for (char& c : name) {
    if (c == '/') c = '-';
  }
  return name + ".log";
}

namespace {

// Writes as much of text as the file takes; returns the bytes written and sets error_number
// when the write stopped early.
size_t WriteAsMuchAsPossible(int fd, const std::string& text, int& error_number) {
  size_t done = 0;
  error_number = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_number = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

off_t FileSize(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 ? info.st_size : -1;
}

// The lines of `text` that were not completely written when `written` bytes of it were.
LogText UnwrittenLines(LogText text, size_t written, size_t& kept_bytes) {
  auto first_unwritten = std::upper_bound(text.line_ends.begin(), text.line_ends.end(), written);
  kept_bytes = first_unwritten == text.line_ends.begin() ? 0 : *(first_unwritten - 1);
  LogText rest;
  rest.bytes = text.bytes.substr(kept_bytes);
  rest.line_ends.reserve(static_cast<size_t>(text.line_ends.end() - first_unwritten));
  for (auto it = first_unwritten; it != text.line_ends.end(); ++it) {
    rest.line_ends.push_back(*it - kept_bytes);
  }
  return rest;
}

// Writes the taken text to the file; on failure puts back what did not reach it and throws.
void WriteTaken(LogBuffer& buffer, LogText taken, const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::string error = std::strerror(errno);
    buffer.PutBack(std::move(taken));
    throw QorsvError("Cannot open file \"" + path + "\". " + error);
  }
  off_t start = FileSize(fd);
  int error_number = 0;
  size_t written = WriteAsMuchAsPossible(fd, taken.bytes, error_number);
  if (written == taken.bytes.size()) {
    close(fd);
    return;
  }
  size_t kept_bytes = 0;
  LogText rest = UnwrittenLines(std::move(taken), written, kept_bytes);
  // Cut the torn line off again, unless someone else has appended meanwhile.
  if (written > kept_bytes && start >= 0 && FileSize(fd) == start + static_cast<off_t>(written)) {
    (void)ftruncate(fd, start + static_cast<off_t>(kept_bytes));
  }
  close(fd);
  buffer.PutBack(std::move(rest));
  throw QorsvError("Cannot write file \"" + path + "\". " + std::strerror(error_number));
}

}  // namespace

void AppendLogBufferToFile(LogBuffer& buffer, const std::string& log_dir, std::time_t moment) {
  std::string path = log_dir + LogFileName(moment);
  {
    std::lock_guard<std::mutex> saving(buffer.save_mutex_);
    // An empty buffer still opens the file, which creates the day's file.
    WriteTaken(buffer, buffer.TakeText(), path);
  }
  buffer.SaveSucceeded();
  // The saver's thread (the console's) frees what connection threads made, the log lines for
  // the views among them: its cache of freed blocks goes back too before the release.
  ReleaseThreadCache();
  ReleaseFreeMemory();
}

}  // namespace qorsv
