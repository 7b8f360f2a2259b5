// LogBuffer: the log lines not yet saved, and their appending to the day's log file.
//
// Append, TakeAll, PutBack and Lines may be called from any thread (one lock guards the lines);
// AppendLogBufferToFile runs on the console's UI thread, from the log saver's tick and the close
// request.
#pragma once

#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace qorsv {

class LogBuffer {
 public:
  void Append(std::string line);
  // Takes every line and leaves the buffer empty, in one step.
  std::vector<std::string> TakeAll();
  // Returns lines that could not be saved to the front of the buffer, before any line that
  // arrived since they were taken.
  void PutBack(std::vector<std::string> lines);
  void Clear();
  std::vector<std::string> Lines() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// The day's log file name: the short date text with "/" turned into "-", then ".log".
std::string LogFileName(std::time_t moment);

// Appends every buffered line, each followed by CR LF, to log_dir + LogFileName(moment),
// creating the file when it is missing (the directory is not created). The lines written leave
// the buffer; when the file cannot be opened or a write fails, the lines not completely written
// go back to the buffer, a partly written line is cut off the file again, and QorsvError carries
// the file system's error. So no line is lost and none is written twice.
void AppendLogBufferToFile(LogBuffer& buffer, const std::string& log_dir, std::time_t moment);

}  // namespace qorsv
