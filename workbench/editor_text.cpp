#include "workbench/editor_text.h"

#include <algorithm>

namespace qorsv {

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string current;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(current));
      current.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      current += c;
    }
  }
  lines.push_back(std::move(current));
  return lines;
}

LineBreak DetectLineBreak(std::string_view text) {
  size_t at = text.find_first_of("\r\n");
  if (at == std::string_view::npos) return LineBreak::kCrLf;
  if (text[at] == '\n') return LineBreak::kLf;
  return at + 1 < text.size() && text[at + 1] == '\n' ? LineBreak::kCrLf : LineBreak::kCr;
}

std::string JoinLines(const std::vector<std::string>& lines, std::string_view separator) {
  size_t size = 0;
  for (const std::string& line : lines) size += line.size() + separator.size();
  std::string text;
  text.reserve(size);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += separator;
    text += lines[i];
  }
  return text;
}

std::string_view LineBreakText(LineBreak style) {
  switch (style) {
    case LineBreak::kLf:
      return "\n";
    case LineBreak::kCr:
      return "\r";
    case LineBreak::kCrLf:
      break;
  }
  return "\r\n";
}

EditorText::EditorText() : lines_{""} {}

EditorText::EditorText(std::vector<std::string> lines) : lines_(std::move(lines)) {
  if (lines_.empty()) lines_.push_back("");
}

void EditorText::Load(std::string_view bytes) {
  TextEdit edit{Caret{1, 1}, End(), std::string(bytes), Caret{1, 1}, true};
  break_ = DetectLineBreak(bytes);
  Apply(std::move(edit));
}

std::string EditorText::FileText() const { return JoinLines(lines_, LineBreakText(break_)); }

std::string EditorText::PageText() const { return JoinLines(lines_, "\n"); }

const std::string& EditorText::Line(int number) const {
  static const std::string kNoLine;
  if (number < 1 || number > LineCount()) return kNoLine;
  return lines_[static_cast<size_t>(number - 1)];
}

Caret EditorText::End() const {
  return Caret{LineCount(), static_cast<int>(lines_.back().size()) + 1};
}

Caret EditorText::Clamp(Caret position) const {
  position.line = std::clamp(position.line, 1, LineCount());
  int length = static_cast<int>(Line(position.line).size());
  position.column = std::clamp(position.column, 1, length + 1);
  return position;
}

void EditorText::SetCaret(Caret caret) {
  caret.line = std::clamp(caret.line, 1, LineCount());
  caret.column = std::max(caret.column, 1);
  caret_ = caret;
}

void EditorText::Apply(TextEdit edit) {
  edit.from = Clamp(edit.from);
  edit.to = Clamp(edit.to);
  if (edit.to.line < edit.from.line ||
      (edit.to.line == edit.from.line && edit.to.column < edit.from.column)) {
    std::swap(edit.from, edit.to);
  }
  std::vector<std::string> inserted = SplitLines(edit.text);
  const std::string& first = Line(edit.from.line);
  const std::string& last = Line(edit.to.line);
  std::string head = first.substr(0, static_cast<size_t>(edit.from.column - 1));
  std::string tail = last.substr(static_cast<size_t>(edit.to.column - 1));
  inserted.front().insert(0, head);
  inserted.back() += tail;
  auto begin = lines_.begin() + (edit.from.line - 1);
  auto end = lines_.begin() + edit.to.line;
  lines_.erase(begin, end);
  lines_.insert(lines_.begin() + (edit.from.line - 1), std::make_move_iterator(inserted.begin()),
                std::make_move_iterator(inserted.end()));
  // The edit as recorded carries page line breaks only.
  edit.text = JoinLines(SplitLines(edit.text), "\n");
  SetCaret(edit.caret);
  edit.caret = caret_;
  Record(std::move(edit));
}

bool EditorText::ReplaceAll(std::string_view text) {
  std::vector<std::string> lines = SplitLines(text);
  if (lines == lines_) return false;
  Caret caret = caret_;
  Apply(TextEdit{Caret{1, 1}, End(), std::string(text), caret, false});
  return true;
}

void EditorText::Record(TextEdit edit) {
  ++revision_;
  journal_bytes_ += edit.text.size();
  journal_.push_back(std::move(edit));
  while (!journal_.empty() && (journal_.size() > kKeptEdits || journal_bytes_ > kKeptBytes)) {
    journal_bytes_ -= journal_.front().text.size();
    journal_.pop_front();
  }
}

std::optional<std::vector<TextEdit>> EditorText::EditsSince(uint64_t revision) const {
  if (revision > revision_) return std::nullopt;
  uint64_t wanted = revision_ - revision;
  if (wanted > journal_.size()) return std::nullopt;
  return std::vector<TextEdit>(journal_.end() - static_cast<std::ptrdiff_t>(wanted),
                               journal_.end());
}

}  // namespace qorsv
