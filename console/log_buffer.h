// LogBuffer: the log lines not yet saved, and their appending to the day's log file.
//
// The lines are kept as the file receives them, in one growing byte string with each line's
// CR LF, plus the offset where each line ends: a busy server writes hundreds of thousands of lines
// between two saves, and one heap string per line cost several times the text itself.
// When the buffered text reaches its hand-over size, the buffer asks its saver (installed by the
// console window) to save at once instead of waiting for the next tick.
//
// Append, TakeText, PutBack, Clear and Lines may be called from any thread (one lock guards the
// lines); AppendLogBufferToFile runs on the console's UI thread, from the log saver's tick, the
// hand-over and the close request. Saves of one buffer run one at a time, in the order they
// took their lines.
#pragma once

#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qorsv {

// Log lines as the file gets them: each followed by CR LF, one after the other in `bytes`;
// line_ends holds the offset just after each line's CR LF.
struct LogText {
  std::string bytes;
  std::vector<size_t> line_ends;

  bool empty() const { return line_ends.empty(); }
  // The lines without their CR LF.
  std::vector<std::string> Lines() const;
};

class LogBuffer {
 public:
  // About a second of log at full load; far more than a quiet server writes between two ticks.
  static constexpr size_t kHandOverBytes = 8u << 20;

  explicit LogBuffer(size_t hand_over_bytes = kHandOverBytes) : hand_over_bytes_(hand_over_bytes) {}

  void Append(std::string_view line);
  // Takes every line and leaves the buffer empty, in one step.
  LogText TakeText();
  std::vector<std::string> TakeAll() { return TakeText().Lines(); }
  // Returns lines that could not be saved to the front of the buffer, before any line that
  // arrived since they were taken.
  void PutBack(LogText text);
  void Clear();
  std::vector<std::string> Lines() const;
  // Bytes buffered, CR LF included.
  size_t ByteCount() const;

  // The saver: called once on the appending thread (outside the lock) when an append brings the
  // buffer to its hand-over size. It is not called again until a save has succeeded, so a log
  // file that cannot be written is retried by the tick alone. nullptr removes it.
  void SetHandOver(std::function<void()> hand_over);

 private:
  friend void AppendLogBufferToFile(LogBuffer& buffer, const std::string& log_dir,
                                    std::time_t moment);
  // A save wrote every line it took: the next append over the size may ask again.
  void SaveSucceeded();

  const size_t hand_over_bytes_;
  mutable std::mutex mutex_;
  LogText text_;                     // guarded by mutex_
  std::function<void()> hand_over_;  // guarded by mutex_
  bool hand_over_asked_ = false;     // guarded by mutex_
  std::mutex save_mutex_;            // held by a save from taking the lines to the end
};

// The day's log file name: the short date text with "/" turned into "-", then ".log".
std::string LogFileName(std::time_t moment);

// Appends every buffered line, each followed by CR LF, to log_dir + LogFileName(moment),
// creating the file when it is missing (the directory is not created). The lines written leave
// the buffer; when the file cannot be opened or a write fails, the lines not completely written
// go back to the buffer, a partly written line is cut off the file again, and QorsvError carries
// the file system's error. So no line is lost and none is written twice. Afterwards the memory
// the lines held goes back to the system.
void AppendLogBufferToFile(LogBuffer& buffer, const std::string& log_dir, std::time_t moment);

}  // namespace qorsv
