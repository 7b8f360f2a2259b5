#include "http/form_text.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace qorsv {

std::string_view FormText::WindowAt(uint64_t at, size_t length) const {
  uint64_t end = std::min<uint64_t>(at + length, size());
  if (at < window_start_ || end > window_start_ + window_.size()) {
    size_t want = static_cast<size_t>(
        std::min<uint64_t>(std::max(length, window_size_), size() - std::min(at, size())));
    window_.resize(want);
    window_.resize(file_->ReadAt(at, window_.data(), want));
    window_start_ = at;
  }
  std::string_view window(window_);
  return window.substr(static_cast<size_t>(std::min<uint64_t>(at - window_start_, window.size())));
}

uint64_t FormText::Find(std::string_view needle, uint64_t from) const {
  if (file_ == nullptr) {
    if (from > memory_.size()) return npos;
    size_t found = memory_.find(needle, static_cast<size_t>(from));
    return found == std::string_view::npos ? npos : found;
  }
  // Windows overlap by the needle's length less one, so no occurrence falls between two.
  size_t span = std::max(window_size_, needle.size() * 2);
  for (uint64_t at = from; at + needle.size() <= size();) {
    std::string_view window = WindowAt(at, span);
    size_t found = window.find(needle);
    if (found != std::string_view::npos) return at + found;
    if (window.size() < needle.size() || at + window.size() >= size()) return npos;
    at += window.size() - needle.size() + 1;
  }
  return npos;
}

bool FormText::HasAt(uint64_t at, std::string_view needle) const {
  if (at > size() || size() - at < needle.size()) return false;
  if (file_ == nullptr) return memory_.compare(static_cast<size_t>(at), needle.size(), needle) == 0;
  return WindowAt(at, needle.size()).substr(0, needle.size()) == needle;
}

std::string FormText::Slice(uint64_t at, uint64_t length) const {
  if (at >= size()) return std::string();
  length = std::min(length, size() - at);
  if (file_ == nullptr) {
    return std::string(memory_.substr(static_cast<size_t>(at), static_cast<size_t>(length)));
  }
  std::string slice(static_cast<size_t>(length), '\0');
  slice.resize(file_->ReadAt(at, slice.data(), slice.size()));
  return slice;
}

bool FormText::WriteTo(int out_fd, uint64_t at, uint64_t length) const {
  if (at > size()) return length == 0;
  length = std::min(length, size() - at);
  if (file_ != nullptr) return file_->CopyTo(out_fd, at, length);
  const char* data = memory_.data() + at;
  while (length > 0) {
    ssize_t written = ::write(out_fd, data, static_cast<size_t>(length));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    length -= static_cast<uint64_t>(written);
  }
  return true;
}

}  // namespace qorsv
