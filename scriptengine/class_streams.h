// The objects behind the stream classes: TStream's operations over a memory buffer (TMemoryStream,
// TStringStream) or a file (TFileStream). classes_streams.cpp binds their members to the class
// library; the string lists read and write them for LoadFromStream and SaveToStream.
//
// Threading: belongs to one run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "scriptengine/class_library.h"

namespace qorsv::script::vm_internal {

// Seek origins: soFromBeginning, soFromCurrent, soFromEnd.
enum SeekOrigin : int { kFromBeginning = 0, kFromCurrent = 1, kFromEnd = 2 };

class StreamObject : public PersistentObject {
 public:
  using PersistentObject::PersistentObject;

  // Up to `count` bytes from the position on; how many were read.
  virtual int64_t Read(char* buffer, int64_t count) = 0;
  // `count` bytes at the position (a memory stream grows); how many were written.
  virtual int64_t Write(const char* data, int64_t count) = 0;
  // The new position; a position before the start is an error.
  virtual int64_t Seek(int64_t offset, int origin) = 0;
  virtual void SetSize(int64_t size) = 0;

  int64_t Position() { return Seek(0, kFromCurrent); }
  int64_t Size() {
    int64_t position = Seek(0, kFromCurrent);
    int64_t size = Seek(0, kFromEnd);
    Seek(position, kFromBeginning);
    return size;
  }
  // The bytes from the position to the end, which leaves the position at the end.
  std::string ReadRest();
  // Writes all of `data` or fails with "Stream write error".
  void WriteAll(std::string_view data);
};

class MemoryStreamObject : public StreamObject {
 public:
  MemoryStreamObject(const RuntimeClass& of, Heap& heap) : StreamObject(of), charge_(heap) {}

  int64_t Read(char* buffer, int64_t count) override;
  int64_t Write(const char* data, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  void SetSize(int64_t size) override;

  const std::string& data() const { return data_; }
  // Replaces the contents; the position goes to the start.
  void SetData(std::string_view data);
  void Clear() { SetData({}); }

 private:
  void Charge();
  HeapCharge charge_;
  std::string data_;
  int64_t position_ = 0;
};

class FileStreamObject : public StreamObject {
 public:
  // Mode: fmCreate, or fmOpenRead / fmOpenWrite / fmOpenReadWrite (the sharing bits are not
  // enforced). Opening failures are the script's runtime errors.
  FileStreamObject(const RuntimeClass& of, const std::string& path, int64_t mode);
  ~FileStreamObject() override;

  int64_t Read(char* buffer, int64_t count) override;
  int64_t Write(const char* data, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  void SetSize(int64_t size) override;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace qorsv::script::vm_internal
