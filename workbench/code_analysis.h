// The code analysis: a plain text scan of the document and of the shipped library header list
// (scripts/functions.txt) for procedure and function headers, line by line, without parsing.
// Its result feeds the procedure list `listproc`, the completion pop-up's lists and trigger
// characters, the parameter hints and Find.
//
// Any line that holds the letters "procedure" (else "function"), anywhere and in any case,
// counts as a header; the name starts one character after the keyword. The rules are applied
// exactly, odd results included (x := functionresult(1) records the name "esult").
//
// Not thread-safe; the workbench owns one instance and uses it on the UI thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qorsv {

// `ProcIndex`: the recorded headers, numbered from 1 to ProcCount (at most kEntries).
struct Tcode {
  static constexpr int kEntries = 1000;
  // Index 0 is unused, so that entry k of the lists is index k + 1 here.
  std::vector<std::string> ProcName = std::vector<std::string>(kEntries + 1);    // lower case
  std::vector<int32_t> ProcLine = std::vector<int32_t>(kEntries + 1);            // 0-based line
  std::vector<std::string> ProcParams = std::vector<std::string>(kEntries + 1);  // ";" -> ","
  std::vector<std::string> ProcHeader = std::vector<std::string>(kEntries + 1);  // whole line
  int32_t ProcCount = 0;
};

class CodeAnalysis {
 public:
  // `analyzecodeClick`: rebuilds everything from the document lines, then the library list read
  // from `library_path` (each of its lines recorded with the document's line count as its line;
  // a missing or unreadable file adds nothing), then sorts the completion lists.
  void Analyze(const std::vector<std::string>& document, const std::string& library_path);

  // `analyzeline`: records at most one entry for one line, with the given line index. Once the
  // table is full, further lines add nothing.
  void analyzeline(const std::string& line, int32_t line_index);
  // Empties the lists and the trigger characters; ProcCount := 0.
  void Clear();
  // Sorts the completion item list by ordinal byte comparison, carrying the insert list along;
  // equal items keep their order. The other lists stay in discovery order.
  void SortCompletion();

  const Tcode& ProcIndex() const { return proc_index_; }
  // The names with their case as written, in discovery order (entry k is ProcIndex k + 1).
  const std::vector<std::string>& listproc() const { return listproc_; }
  // The names in upper case, parallel to listproc.
  const std::vector<std::string>& proclookup() const { return proclookup_; }
  // What the completion pop-up shows: name + " (" + header line + ")", sorted.
  const std::vector<std::string>& CompletionItems() const { return completion_items_; }
  // What it inserts, parallel to CompletionItems: the name.
  const std::vector<std::string>& CompletionInserts() const { return completion_inserts_; }
  // The first character of every recorded name, each once, in discovery order; "." before the
  // first analysis.
  const std::string& TriggerChars() const { return trigger_chars_; }

  // Counts the analyses, so that a page can tell when the lists changed.
  uint64_t Revision() const { return revision_; }

  // The position in proclookup of the first name equal to `word`, letter case ignored.
  std::optional<int> LookupProc(std::string_view word) const;
  // The position in listproc of the first entry equal to `name` as a whole, case ignored.
  std::optional<int> FindListproc(std::string_view name) const;

 private:
  Tcode proc_index_;
  std::vector<std::string> listproc_;
  std::vector<std::string> proclookup_;
  std::vector<std::string> completion_items_;
  std::vector<std::string> completion_inserts_;
  std::string trigger_chars_ = ".";
  uint64_t revision_ = 0;
};

// The parameter text of a header line: after the first "(" at position 2 or later (and before
// the last character) up to the next ")" or the end of the line, every ";" turned into ",".
std::string HeaderParameterText(const std::string& line);

// Letter case ignored for ASCII and the Latin-1 letters, as the name lookups compare.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace qorsv
