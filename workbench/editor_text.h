// The text of an editor as a plain model: its lines, the caret, the line-break style found when
// the text was loaded, and the edits that changed it.
//
// The workbench keeps the document of its editor `qorpad` here; the page's editor widget shows
// the same lines. Every change is a TextEdit: a range of the text replaced by new text, and the
// caret after it. Commands that change the text (template expansion, new procedures, loading a
// file) hand their edits to the page, and the page hands the operator's typing in the same form.
//
// Lines and columns count from 1. A caret at column c stands before the c-th character of its
// line; column length + 1 is the end of the line. Text is 8-bit bytes, unchanged.
//
// Not thread-safe; the workbench uses it on the UI thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qorsv {

struct Caret {
  int line = 1;
  int column = 1;
  bool operator==(const Caret&) const = default;
};

// Replace the text from `from` up to (not including) `to` by `text`, whose lines are separated
// by "\n"; then the caret stands at `caret`. `new_document` marks a replacement of the whole
// text by a new document (New, Open, the first activation): the editor forgets its undo history.
struct TextEdit {
  Caret from;
  Caret to;
  std::string text;
  Caret caret;
  bool new_document = false;
  bool operator==(const TextEdit&) const = default;
};

enum class LineBreak { kCrLf, kLf, kCr };

// The text split at CR LF, LF alone and CR alone. A text ending in a line break has an empty
// last line, so that joining the lines again gives the text back.
std::vector<std::string> SplitLines(std::string_view text);
// The first line break of the text decides; a text without any is CR LF.
LineBreak DetectLineBreak(std::string_view text);
std::string JoinLines(const std::vector<std::string>& lines, std::string_view separator);
std::string_view LineBreakText(LineBreak style);

class EditorText {
 public:
  // One empty line, CR LF.
  EditorText();
  explicit EditorText(std::vector<std::string> lines);

  // A document read from a file (or a template): the lines, and the line-break style that saving
  // writes again. Recorded as one new-document edit; the caret goes to the start.
  void Load(std::string_view bytes);
  // The text written back to the file: the lines joined with the loaded style.
  std::string FileText() const;
  // The text with "\n" between lines, as the page's editor holds it.
  std::string PageText() const;

  // Replaces the range and records the edit. Positions outside the text are clamped to it.
  void Apply(TextEdit edit);
  // The whole text replaced by the page's copy (lines separated by any line break); recorded as
  // one edit. Does nothing when the text is the same.
  bool ReplaceAll(std::string_view text);

  const std::vector<std::string>& Lines() const { return lines_; }
  int LineCount() const { return static_cast<int>(lines_.size()); }
  // The line with the given 1-based number, or an empty text outside the document.
  const std::string& Line(int number) const;
  LineBreak Break() const { return break_; }

  const Caret& caret() const { return caret_; }
  // Places the caret; its line is kept within the document, its column at 1 or more (a column
  // past the end of the line is kept, as the editor allows).
  void SetCaret(Caret caret);
  // The end of the text.
  Caret End() const;

  // Counts every change of the text.
  uint64_t Revision() const { return revision_; }
  // The edits that took the text from `revision` to the current one, oldest first; nothing
  // when they are no longer kept (then the whole text must be taken again).
  std::optional<std::vector<TextEdit>> EditsSince(uint64_t revision) const;

  // How many edits, and how many bytes of inserted text, are kept for EditsSince.
  static constexpr size_t kKeptEdits = 256;
  static constexpr size_t kKeptBytes = 4u << 20;

 private:
  Caret Clamp(Caret position) const;
  void Record(TextEdit edit);

  std::vector<std::string> lines_;
  LineBreak break_ = LineBreak::kCrLf;
  Caret caret_;
  uint64_t revision_ = 0;
  // The last edits; the one at the back made revision_.
  std::deque<TextEdit> journal_;
  size_t journal_bytes_ = 0;
};

}  // namespace qorsv
