// The stream classes of the library: TStream, TMemoryStream, TStringStream and TFileStream.
//
// Scripts read and write streams through strings: Read fills a string variable with up to Count
// bytes, Write writes the first Count bytes of a string.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "scriptengine/class_files.h"
#include "scriptengine/class_streams.h"
#include "scriptengine/vm.h"

namespace qorsv::script::vm_internal {

// ---- The stream objects ----

std::string StreamObject::ReadRest() {
  int64_t left = Size() - Position();
  if (left <= 0) return {};
  if (left > kMaxObjectBytes) throw OutOfMemoryError{};
  std::string data(static_cast<size_t>(left), '\0');
  data.resize(static_cast<size_t>(Read(data.data(), left)));
  return data;
}

void StreamObject::WriteAll(std::string_view data) {
  if (Write(data.data(), static_cast<int64_t>(data.size())) != static_cast<int64_t>(data.size())) {
    throw std::runtime_error("Stream write error");
  }
}

void MemoryStreamObject::Charge() { charge_.Set(static_cast<int64_t>(data_.capacity())); }

int64_t MemoryStreamObject::Read(char* buffer, int64_t count) {
  int64_t size = static_cast<int64_t>(data_.size());
  if (count <= 0 || position_ >= size) return 0;
  int64_t got = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(got));
  position_ += got;
  return got;
}

int64_t MemoryStreamObject::Write(const char* data, int64_t count) {
  if (count <= 0) return 0;
  int64_t end = position_ + count;
  if (end > kMaxObjectBytes) throw OutOfMemoryError{};
  if (end > static_cast<int64_t>(data_.size())) {
    if (end > static_cast<int64_t>(data_.capacity())) {
      // Grown geometrically, charged before the memory is taken.
      size_t grown = std::max<size_t>(static_cast<size_t>(end), data_.capacity() * 3 / 2);
      charge_.Set(static_cast<int64_t>(grown));
      data_.reserve(grown);
    }
    data_.resize(static_cast<size_t>(end), '\0');
  }
  std::memcpy(data_.data() + position_, data, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t MemoryStreamObject::Seek(int64_t offset, int origin) {
  int64_t base = origin == kFromCurrent ? position_
                 : origin == kFromEnd   ? static_cast<int64_t>(data_.size())
                                        : 0;
  int64_t position = base + offset;
  if (position < 0) throw std::runtime_error("Stream seek error");
  position_ = position;
  return position_;
}

void MemoryStreamObject::SetSize(int64_t size) {
  if (size < 0) throw std::runtime_error("Stream size error");
  if (size > kMaxObjectBytes) throw OutOfMemoryError{};
  if (size > static_cast<int64_t>(data_.capacity())) {
    charge_.Set(size);
    data_.reserve(static_cast<size_t>(size));
  }
  data_.resize(static_cast<size_t>(size), '\0');
  if (position_ > size) position_ = size;
  if (data_.capacity() > data_.size() * 2 + 4096) {
    data_.shrink_to_fit();
    Charge();
  }
}

void MemoryStreamObject::SetData(std::string_view data) {
  if (static_cast<int64_t>(data.size()) > kMaxObjectBytes) throw OutOfMemoryError{};
  charge_.Set(static_cast<int64_t>(std::max(data.size(), data_.capacity())));
  data_.assign(data.data(), data.size());
  data_.shrink_to_fit();
  Charge();
  position_ = 0;
}

FileStreamObject::FileStreamObject(const RuntimeClass& of, const std::string& path, int64_t mode)
    : StreamObject(of), path_(path) {
  constexpr int64_t kCreate = 0xFFFF;
  if ((mode & 0xFFFF) == kCreate) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) throw std::runtime_error(CreateFileError(path, errno));
    return;
  }
  static constexpr int kAccess[] = {O_RDONLY, O_WRONLY, O_RDWR, O_RDONLY};
  fd_ = ::open(path.c_str(), kAccess[mode & 3] | O_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error(OpenFileError(path, errno));
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw std::runtime_error(OpenFileError(path, EISDIR));
  }
}

FileStreamObject::~FileStreamObject() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t FileStreamObject::Read(char* buffer, int64_t count) {
  int64_t total = 0;
  while (total < count) {
    ssize_t got = ::read(fd_, buffer + total, static_cast<size_t>(count - total));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    total += got;
  }
  return total;
}

int64_t FileStreamObject::Write(const char* data, int64_t count) {
  int64_t total = 0;
  while (total < count) {
    ssize_t put = ::write(fd_, data + total, static_cast<size_t>(count - total));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    total += put;
  }
  return total;
}

int64_t FileStreamObject::Seek(int64_t offset, int origin) {
  int whence = origin == kFromCurrent ? SEEK_CUR : origin == kFromEnd ? SEEK_END : SEEK_SET;
  off_t position = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (position < 0) throw std::runtime_error("Stream seek error");
  return position;
}

void FileStreamObject::SetSize(int64_t size) {
  if (size < 0 || ::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    throw std::runtime_error("Stream size error");
  }
  if (Position() > size) Seek(size, kFromBeginning);
}

namespace {

// ---- Members ----

StreamObject& Stream(MethodCall& call) { return call.Self<StreamObject>(); }
MemoryStreamObject& Memory(MethodCall& call) { return call.Self<MemoryStreamObject>(); }

StreamObject& StreamArgument(MethodCall& call, int n) {
  auto* stream = ObjectArg<StreamObject>(call, n);
  if (stream == nullptr) call.machine().Raise(erNullPointerException);
  return *stream;
}

int64_t CountArg(MethodCall& call, int n) {
  int64_t count = call.Int(n);
  if (count > kMaxObjectBytes) throw OutOfMemoryError{};
  return std::max<int64_t>(count, 0);
}

// Read(var Buffer: string; Count): the buffer becomes the bytes read.
void StreamRead(MethodCall& call) {
  int64_t count = CountArg(call, 2);
  std::string data(static_cast<size_t>(count), '\0');
  data.resize(static_cast<size_t>(Stream(call).Read(data.data(), count)));
  Cell& buffer = call.Var(1);
  call.heap().Assign(buffer, nullptr);
  buffer.p = data.empty() ? nullptr : call.heap().MakeString(data);
  call.ReturnInt(static_cast<int64_t>(data.size()));
}

void StreamReadBuffer(MethodCall& call) {
  int64_t count = CountArg(call, 2);
  StreamRead(call);
  if (Heap::Length(call.Var(1).p) != count) throw std::runtime_error("Stream read error");
}

// Write(const Buffer: string; Count): at most the string's length.
void StreamWrite(MethodCall& call) {
  std::string_view buffer = call.Str(1);
  int64_t count = std::min<int64_t>(CountArg(call, 2), static_cast<int64_t>(buffer.size()));
  call.ReturnInt(Stream(call).Write(buffer.data(), count));
}

void StreamWriteBuffer(MethodCall& call) {
  std::string_view buffer = call.Str(1);
  int64_t count = CountArg(call, 2);
  if (count > static_cast<int64_t>(buffer.size()) ||
      Stream(call).Write(buffer.data(), count) != count) {
    throw std::runtime_error("Stream write error");
  }
}

void StreamSeek(MethodCall& call) {
  call.ReturnInt(Stream(call).Seek(call.Int(1), static_cast<int>(call.Int(2))));
}

// CopyFrom(Source, 0) copies the whole source from its start.
void StreamCopyFrom(MethodCall& call) {
  StreamObject& source = StreamArgument(call, 1);
  int64_t count = call.Int(2);
  if (count <= 0) {
    source.Seek(0, kFromBeginning);
    count = source.Size();
  }
  StreamObject& target = Stream(call);
  std::string buffer(static_cast<size_t>(std::min<int64_t>(count, 1 << 16)), '\0');
  int64_t copied = 0;
  while (copied < count) {
    int64_t part = std::min<int64_t>(count - copied, static_cast<int64_t>(buffer.size()));
    if (source.Read(buffer.data(), part) != part) throw std::runtime_error("Stream read error");
    if (target.Write(buffer.data(), part) != part) throw std::runtime_error("Stream write error");
    copied += part;
  }
  call.ReturnInt(copied);
}

void StreamPosition(MethodCall& call) { call.ReturnInt(Stream(call).Position()); }
void StreamSetPosition(MethodCall& call) { Stream(call).Seek(call.Int(1), kFromBeginning); }
void StreamSize(MethodCall& call) { call.ReturnInt(Stream(call).Size()); }
void StreamSetSize(MethodCall& call) { Stream(call).SetSize(call.Int(1)); }

std::unique_ptr<HostObject> NewMemoryStream(const RuntimeClass& of, Heap& heap) {
  return std::make_unique<MemoryStreamObject>(of, heap);
}

void MemoryClear(MethodCall& call) { Memory(call).Clear(); }
void MemorySetSize(MethodCall& call) { Memory(call).SetSize(call.Int(1)); }
void MemoryLoadFromFile(MethodCall& call) {
  Memory(call).SetData(ReadWholeFile(std::string(call.Str(1))));
}
void MemorySaveToFile(MethodCall& call) {
  WriteWholeFile(std::string(call.Str(1)), Memory(call).data());
}
// LoadFromStream takes the whole source, from its start.
void MemoryLoadFromStream(MethodCall& call) {
  StreamObject& source = StreamArgument(call, 1);
  source.Seek(0, kFromBeginning);
  Memory(call).SetData(source.ReadRest());
}
void MemorySaveToStream(MethodCall& call) { StreamArgument(call, 1).WriteAll(Memory(call).data()); }

void StringStreamCreate(MethodCall& call) {
  std::unique_ptr<HostObject> made = CreateObject(call.bound_class(), call.heap());
  static_cast<MemoryStreamObject*>(made.get())->SetData(call.Str(1));
  call.ReturnNew(std::move(made));
}
void StringStreamData(MethodCall& call) { call.ReturnStr(Memory(call).data()); }
void StringStreamReadString(MethodCall& call) {
  int64_t count = CountArg(call, 1);
  std::string data(static_cast<size_t>(count), '\0');
  data.resize(static_cast<size_t>(Memory(call).Read(data.data(), count)));
  call.ReturnStr(data);
}
void StringStreamWriteString(MethodCall& call) { Memory(call).WriteAll(call.Str(1)); }

void FileStreamCreate(MethodCall& call) {
  call.ReturnNew(std::make_unique<FileStreamObject>(call.bound_class(), std::string(call.Str(1)),
                                                    call.Int(2)));
}
void FileStreamName(MethodCall& call) { call.ReturnStr(call.Self<FileStreamObject>().path()); }

}  // namespace

void AddStreamClasses(std::vector<ClassDef>& classes) {
  classes.push_back(
      {"TStream",
       "TObject",
       Creation::kAbstract,
       nullptr,
       {
           {"function Read(var Buffer: string; Count: Longint): Longint;", StreamRead},
           {"function Write(const Buffer: string; Count: Longint): Longint;", StreamWrite},
           {"procedure ReadBuffer(var Buffer: string; Count: Longint);", StreamReadBuffer},
           {"procedure WriteBuffer(const Buffer: string; Count: Longint);", StreamWriteBuffer},
           {"function Seek(Offset: Longint; Origin: Word): Longint;", StreamSeek},
           {"function CopyFrom(Source: TStream; Count: Int64): Int64;", StreamCopyFrom},
           {"property Position: Int64 read write;", StreamPosition, StreamSetPosition},
           {"property Size: Int64 read write;", StreamSize, StreamSetSize},
       }});
  classes.push_back({"TMemoryStream",
                     "TStream",
                     Creation::kCreatable,
                     NewMemoryStream,
                     {
                         {"procedure Clear;", MemoryClear},
                         {"procedure SetSize(NewSize: Longint);", MemorySetSize},
                         {"procedure LoadFromFile(const FileName: string);", MemoryLoadFromFile},
                         {"procedure SaveToFile(const FileName: string);", MemorySaveToFile},
                         {"procedure LoadFromStream(Stream: TStream);", MemoryLoadFromStream},
                         {"procedure SaveToStream(Stream: TStream);", MemorySaveToStream},
                     }});
  classes.push_back({"TStringStream",
                     "TStream",
                     Creation::kCreatable,
                     NewMemoryStream,
                     {
                         {"constructor Create(const AString: string);", StringStreamCreate},
                         {"property DataString: string read;", StringStreamData},
                         {"function ReadString(Count: Longint): string;", StringStreamReadString},
                         {"procedure WriteString(const AString: string);", StringStreamWriteString},
                     }});
  classes.push_back(
      {"TFileStream",
       "TStream",
       Creation::kCreatable,
       nullptr,
       {
           {"constructor Create(const FileName: string; Mode: Word);", FileStreamCreate},
           {"property FileName: string read;", FileStreamName},
       }});
}

}  // namespace qorsv::script::vm_internal
