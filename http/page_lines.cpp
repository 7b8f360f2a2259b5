#include "http/page_lines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace qorsv {

PageLines::PageLines(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
  // Most pages fit one piece sized to the file: a small page then costs no large buffer.
  struct stat info;
  if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && info.st_size >= 0) {
    piece_size_ = std::clamp<size_t>(static_cast<size_t>(info.st_size) + 1, 512, kMaxPieceSize);
  }
}

PageLines::~PageLines() {
  if (fd_ >= 0) ::close(fd_);
}

bool PageLines::Fill() {
  if (at_end_ || fd_ < 0) return false;
  // Drop what was read already before the buffer grows.
  if (pos_ > 0) {
    buffer_.erase(0, pos_);
    pos_ = 0;
  }
  size_t old_size = buffer_.size();
  buffer_.resize(old_size + piece_size_);
  ssize_t got;
  do {
    got = ::read(fd_, buffer_.data() + old_size, piece_size_);
  } while (got < 0 && errno == EINTR);
  buffer_.resize(old_size + static_cast<size_t>(got > 0 ? got : 0));
  if (got <= 0) {
    at_end_ = true;
    failed_ = got < 0;
  }
  return got > 0;
}

bool PageLines::Next(std::string& line) {
  size_t cr = buffer_.find('\r', pos_);
  while (cr == std::string::npos) {
    size_t scanned = buffer_.size() - pos_;  // Fill moves the unread part to the front
    if (!Fill()) break;
    cr = buffer_.find('\r', pos_ + scanned);
  }
  if (cr == std::string::npos) {
    if (pos_ >= buffer_.size()) return false;
    line.assign(buffer_, pos_, std::string::npos);
    pos_ = buffer_.size();
    return true;
  }
  line.assign(buffer_, pos_, cr - pos_);
  size_t line_length = cr - pos_;
  if (cr + 1 >= buffer_.size()) Fill();  // the character after the CR may be in the next piece
  pos_ += line_length + 1;
  if (pos_ < buffer_.size()) ++pos_;
  return true;
}

}  // namespace qorsv
