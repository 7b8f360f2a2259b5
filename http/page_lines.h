// Reading a page file line by line as the page processor does: a line runs up to the next CR,
// and the character after the CR (normally the LF) is skipped. Reads the file in large pieces
// through its descriptor, so long pages are never held whole and short ones cost one read.
#pragma once

#include <string>

namespace qorsv {

class PageLines {
 public:
  // Opens `path` for reading; is_open() tells.
  explicit PageLines(const std::string& path);
  ~PageLines();
  PageLines(const PageLines&) = delete;
  PageLines& operator=(const PageLines&) = delete;

  bool is_open() const { return fd_ >= 0; }
  // The next line into `line`; false at the end of the file or after a read error.
  bool Next(std::string& line);
  // Whether reading stopped on an error rather than at the end.
  bool failed() const { return failed_; }

 private:
  // Appends the next piece of the file to the buffer; false at the end or on an error.
  bool Fill();

  static constexpr size_t kMaxPieceSize = 65536;
  size_t piece_size_ = kMaxPieceSize;
  int fd_ = -1;
  bool at_end_ = false;
  bool failed_ = false;
  std::string buffer_;
  size_t pos_ = 0;
};

}  // namespace qorsv
