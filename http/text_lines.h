// Splitting a configuration file's text into lines: a line ends at LF, and a CR just before the
// LF belongs to the line end. Used by the host and MIME tables.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qorsv {

// Reads the lines of a text one after the other.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }

  // The next line without its line end; the empty string once the text is used up.
  std::string Next() {
    if (AtEnd()) return std::string();
    size_t end = text_.find('\n', pos_);
    size_t next = end == std::string_view::npos ? text_.size() : end + 1;
    if (end == std::string_view::npos) end = text_.size();
    std::string_view line = text_.substr(pos_, end - pos_);
    if (end < text_.size() && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = next;
    return std::string(line);
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace qorsv
