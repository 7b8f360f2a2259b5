// ScriptFiles: the 1000 text-file handles (Tscriptfiles) that scripts of all runs share. A
// script takes a handle with assign_textfile, opens the file for reading or writing through it,
// and frees it with closefile_textfile; the end of a run does not free it.
//
// Thread-safe: taking a handle is atomic, and the operations on one handle are serialised, so a
// script that names another run's handle cannot corrupt it. assign_textfile waits while one of
// the handles 1 to 20 holds the same file name, at most for a bounded time.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace qorsv {

// An 8-bit text file: closed, open for reading or open for writing (output buffered until the
// file is closed or reopened). Failures of the file system leave it closed and are not reported.
class ScriptTextFile {
 public:
  ScriptTextFile() = default;
  ~ScriptTextFile() { Close(); }
  ScriptTextFile(const ScriptTextFile&) = delete;
  ScriptTextFile& operator=(const ScriptTextFile&) = delete;

  void Assign(const std::string& file_name);
  void Close();
  void OpenForReading();
  void OpenForWriting();    // creates the file or empties it
  void OpenForAppending();  // existing files only
  // The next line without its line end (CR LF or LF); "" at the end or when not reading.
  std::string ReadLine();
  void Write(const std::string& text);
  bool AtEnd();

 private:
  enum class Mode { kClosed, kReading, kWriting };
  void Open(const char* mode, Mode as);

  std::string name_;
  std::FILE* stream_ = nullptr;
  Mode mode_ = Mode::kClosed;
};

struct Tscriptfiles {
  uint8_t busy = 0;      // the handle is taken
  ScriptTextFile file;   // the assigned file name and its open state
  std::string filename;  // the file name, for the same-file wait
};

class ScriptFileTable {
 public:
  static constexpr int kHandleCount = 1000;
  // assign_textfile waits while one of the handles 1 to kSameFileRange holds the same name.
  static constexpr int kSameFileRange = 20;
  static constexpr std::chrono::milliseconds kSameFileWait{10000};

  explicit ScriptFileTable(std::chrono::milliseconds same_file_wait = kSameFileWait);

  // Waits while a handle from 1 to 20 holds `file_name` (letter case ignored), then takes the
  // lowest free handle and assigns the name to it. Throws QorsvError when the wait runs out or
  // every handle is taken.
  int Assign(const std::string& file_name);

  // The operations on a handle, whether it is taken or not. Throw QorsvError for a number
  // outside 1 to 1000.
  void Reset(int64_t handle);
  std::string ReadLine(int64_t handle);
  void CloseFile(int64_t handle);  // writes pending output, closes, frees the handle
  void WriteLine(int64_t handle, const std::string& text);
  void Write(int64_t handle, const std::string& text);
  void Rewrite(int64_t handle);
  void Append(int64_t handle);  // also what flush_textfile does
  bool Eof(int64_t handle);

 private:
  struct Entry {
    std::mutex mutex;     // guards record.file
    Tscriptfiles record;  // busy and filename are guarded by the table's mutex
  };

  Entry& At(int64_t handle);
  bool SameFileHeld(const std::string& file_name) const;

  std::chrono::milliseconds same_file_wait_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::unique_ptr<std::array<Entry, kHandleCount>> entries_;
};

// The process-wide table.
ScriptFileTable& ScriptFiles();

}  // namespace qorsv
