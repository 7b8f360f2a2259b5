// FormText: the text that request data capture reads the form fields from, held either in
// memory (a request's UnparsedParams) or in a spool file (a large upload, see
// http/request_reader.h). The multipart parser finds and compares pieces of it without
// loading a spooled text whole: it reads windows of the file, and uploads are copied from the
// file to theirs inside the kernel.
//
// A FormText belongs to one thread (it caches the window it read last); the text it views must
// outlive it and stay unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "transport/spool_file.h"

namespace qorsv {

class FormText {
 public:
  static constexpr uint64_t npos = UINT64_MAX;
  static constexpr size_t kWindow = 256 * 1024;

  explicit FormText(std::string_view memory) : memory_(memory) {}
  // window: the bytes read from the file at a time (tests use small ones).
  explicit FormText(const SpoolFile& file, size_t window = kWindow)
      : file_(&file), window_size_(window) {}

  uint64_t size() const { return file_ != nullptr ? file_->size() : memory_.size(); }
  bool InMemory() const { return file_ == nullptr; }
  // The whole text of an in-memory FormText.
  std::string_view Memory() const { return memory_; }

  // Where `needle` next occurs at or after `from`, or npos.
  uint64_t Find(std::string_view needle, uint64_t from) const;
  // Whether the text holds `needle` at `at`.
  bool HasAt(uint64_t at, std::string_view needle) const;
  // `length` bytes from `at` (fewer at the end of the text).
  std::string Slice(uint64_t at, uint64_t length) const;
  // Writes `length` bytes from `at` to the open file out_fd; false when that failed.
  bool WriteTo(int out_fd, uint64_t at, uint64_t length) const;

 private:
  // Makes the cached window cover [at, at + length) as far as the text reaches; returns the
  // part of it from `at`.
  std::string_view WindowAt(uint64_t at, size_t length) const;

  std::string_view memory_;
  const SpoolFile* file_ = nullptr;
  size_t window_size_ = kWindow;
  mutable std::string window_;
  mutable uint64_t window_start_ = 0;
};

// A stretch of a FormText: the data of one uploaded file.
struct FormPiece {
  const FormText& text;
  uint64_t at;
  uint64_t length;

  std::string Bytes() const { return text.Slice(at, length); }
  bool WriteTo(int out_fd) const { return text.WriteTo(out_fd, at, length); }
};

}  // namespace qorsv
