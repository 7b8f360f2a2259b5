#include "http/page_processor.h"

#include <unistd.h>

#include <optional>
#include <ostream>
#include <string_view>

#include "console/script_time_limit.h"
#include "http/page_lines.h"
#include "scripthost/sql_handles.h"
#include "transport/error.h"
#include "transport/temp_files.h"
#include "transport/temp_names.h"

namespace qorsv {
namespace {

constexpr char kOpeningTag[] = "<%qor%>";   // 7 characters
constexpr char kClosingTag[] = "</%qor%>";  // 8 characters
constexpr char kOnload[] = "onload";
constexpr char kCrLf[] = "\r\n";

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool StartsWithIgnoringCase(const std::string& line, std::string_view tag) {
  return line.size() > tag.size() - 1 &&
         SameTextIgnoringCase(std::string_view(line).substr(0, tag.size()), tag);
}

// The name of an opening line: from its 8th character to the first blank or the line's end.
// None when the line is no opening line or its name is too long to be a block name.
std::optional<std::string> OpeningBlockName(const std::string& line) {
  if (!StartsWithIgnoringCase(line, kOpeningTag)) return std::nullopt;
  size_t start = sizeof(kOpeningTag) - 1;
  size_t blank = line.find(' ', start);
  std::string name =
      line.substr(start, blank == std::string::npos ? std::string::npos : blank - start);
  if (name.size() > kMaxBlockNameLength) return std::nullopt;
  return name;
}

bool IsClosingLine(const std::string& line) { return StartsWithIgnoringCase(line, kClosingTag); }

// Removes the output file of a page whose processing failed, unless it was handed over.
class OutputFileHold {
 public:
  explicit OutputFileHold(std::string path) : path_(std::move(path)) {}
  ~OutputFileHold() {
    if (!handed_over_) RemoveTempFile(path_);
  }
  OutputFileHold(const OutputFileHold&) = delete;
  OutputFileHold& operator=(const OutputFileHold&) = delete;
  const std::string& path() const { return path_; }
  const std::string& HandOver() {
    handed_over_ = true;
    return path_;
  }

 private:
  std::string path_;
  bool handed_over_ = false;
};

// Releases, when the page is done, every SQL handle the page's scripts left open.
class PageSqlHandlesRelease {
 public:
  explicit PageSqlHandlesRelease(pid_t thread_id) : thread_id_(thread_id) {}
  ~PageSqlHandlesRelease() { ReleasePageSqlHandles(static_cast<uint32_t>(thread_id_)); }
  PageSqlHandlesRelease(const PageSqlHandlesRelease&) = delete;
  PageSqlHandlesRelease& operator=(const PageSqlHandlesRelease&) = delete;

 private:
  pid_t thread_id_;
};

// The state of one pass over a page.
class PagePass {
 public:
  PagePass(const PageRequest& page, const PageScriptRun& run, std::ostream& out)
      : page_(page), run_(run), out_(out), selector_(InitialSelector(page)) {}

  void Line(std::string line) {
    if (std::optional<std::string> name = OpeningBlockName(line)) {
      Open(std::move(*name), line);
    } else if (IsClosingLine(line)) {
      Close(line);
    }
    if (copying_) out_ << line << kCrLf;
    if (collecting_ && Selected() && line.size() >= 2 && line[0] != '/' && line[1] != '/') {
      script_text_ += kCrLf;
      script_text_ += line;
    }
  }

 private:
  static std::string InitialSelector(const PageRequest& page) {
    const std::string& method = page.request != nullptr ? page.request->Command : "";
    if ((page.document == "/" || page.document == "/index.html") && method == "GET") {
      return "INIT";
    }
    return page.document;
  }

  bool Selected() const { return block_name_ == selector_ || block_name_ == kOnload; }

  bool QorbuttonNames(const std::string& block_name) const {
    if (page_.data == nullptr) return false;
    const Tparams& params = page_.data->params;
    for (size_t i = 1; i <= params.count(); ++i) {
      if (SameTextIgnoringCase(params.paramname(i), "qorbutton") &&
          SameTextIgnoringCase(params.paramvalue(i), block_name)) {
        return true;
      }
    }
    return false;
  }

  void Open(std::string name, std::string& line) {
    copying_ = false;
    block_open_ = true;
    block_name_ = std::move(name);
    if (QorbuttonNames(block_name_)) selector_ = block_name_;
    if (Selected()) {
      collecting_ = true;
      line.clear();
    }
  }

  void Close(std::string& line) {
    copying_ = true;
    collecting_ = false;
    line.clear();
    // A closing line with no block open runs nothing.
    if (!block_open_) return;
    block_open_ = false;
    if (!Selected()) return;
    out_ << run_(RunInput()) << kCrLf;
    script_text_.clear();
  }

  ScriptRunInput RunInput() const {
    ScriptRunInput input;
    input.script_text = script_text_;
    input.host_name = page_.host_name;
    input.host_root = page_.host_root;
    input.data = page_.data;
    input.thread_id = page_.thread_id;
    input.response = page_.response;
    input.time_limit = ScriptTimeLimit();
    if (page_.request != nullptr) {
      input.client_address = page_.request->RemoteIP;
      input.document = page_.request->Document;
    } else {
      input.document = page_.document;
    }
    return input;
  }

  const PageRequest& page_;
  const PageScriptRun& run_;
  std::ostream& out_;
  std::string selector_;
  bool copying_ = true;
  bool collecting_ = false;
  bool block_open_ = false;
  std::string block_name_;
  std::string script_text_;
};

}  // namespace

std::string ProcessPage(const PageRequest& page, const PageScriptRun& run,
                        const std::string& program_dir) {
  PageSqlHandlesRelease release_sql_handles(page.thread_id);
  OutputFileHold output_file(TempScriptNameIn(program_dir) + ".html");
  TempFileWriter output(output_file.path());
  if (!output.is_open()) throw QorsvError("Cannot create file " + output_file.path());
  std::ostream out(&output);
  PageLines in(page.page_path);
  if (!in.is_open()) throw QorsvError("Cannot open file " + page.page_path);

  PagePass pass(page, run, out);
  std::string line;
  while (in.Next(line)) pass.Line(std::move(line));
  if (in.failed()) throw QorsvError("Cannot read file " + page.page_path);
  if (!out || !output.Close()) throw QorsvError("Cannot write file " + output_file.path());
  return output_file.HandOver();
}

}  // namespace qorsv
