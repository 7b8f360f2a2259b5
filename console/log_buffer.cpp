#include "console/log_buffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

#include "transport/error.h"
#include "transport/platform.h"

namespace qorsv {

void LogBuffer::Append(std::string line) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(std::move(line));
}

std::vector<std::string> LogBuffer::TakeAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> taken;
  taken.swap(lines_);
  return taken;
}

void LogBuffer::PutBack(std::vector<std::string> lines) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines.insert(lines.end(), std::make_move_iterator(lines_.begin()),
               std::make_move_iterator(lines_.end()));
  lines_.swap(lines);
}

void LogBuffer::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

std::vector<std::string> LogBuffer::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
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

}  // namespace

void AppendLogBufferToFile(LogBuffer& buffer, const std::string& log_dir, std::time_t moment) {
  std::string path = log_dir + LogFileName(moment);
  std::vector<std::string> lines = buffer.TakeAll();

  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::string error = std::strerror(errno);
    buffer.PutBack(std::move(lines));
    throw QorsvError("Cannot open file \"" + path + "\". " + error);
  }

  std::string text;
  std::vector<size_t> line_ends;  // offset in text just after each line's CR LF
  line_ends.reserve(lines.size());
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
    line_ends.push_back(text.size());
  }

  off_t start = FileSize(fd);
  int error_number = 0;
  size_t written = WriteAsMuchAsPossible(fd, text, error_number);
  if (written == text.size()) {
    close(fd);
    return;
  }

  size_t complete = 0;  // lines whose bytes all reached the file
  while (complete < line_ends.size() && line_ends[complete] <= written) ++complete;
  size_t kept_bytes = complete == 0 ? 0 : line_ends[complete - 1];
  // Cut the torn line off again, unless someone else has appended meanwhile.
  if (written > kept_bytes && start >= 0 && FileSize(fd) == start + static_cast<off_t>(written)) {
    (void)ftruncate(fd, start + static_cast<off_t>(kept_bytes));
  }
  close(fd);
  buffer.PutBack(std::vector<std::string>(std::make_move_iterator(lines.begin() + complete),
                                          std::make_move_iterator(lines.end())));
  throw QorsvError("Cannot write file \"" + path + "\". " + std::strerror(error_number));
}

}  // namespace qorsv
