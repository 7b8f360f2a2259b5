#include "workbench/code_templates.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "transport/error.h"
#include "workbench/completion_popup.h"

namespace qorsv {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}

// A file's lines as a line list reads them: a final line break ends the last line.
std::vector<std::string> FileLines(std::string_view text) {
  std::vector<std::string> lines = SplitLines(text);
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

CodeTemplate ParseHeader(const std::string& line) {
  CodeTemplate entry;
  size_t i = 1;
  while (i < line.size() && static_cast<unsigned char>(line[i]) > ' ') ++i;
  entry.name = line.substr(1, i - 1);
  while (i < line.size() && line[i] == ' ') ++i;
  if (i < line.size() && line[i] == '|') ++i;
  while (i < line.size() && line[i] == ' ') ++i;
  entry.description = line.substr(std::min(i, line.size()));
  if (!entry.description.empty() && entry.description.back() == ']') entry.description.pop_back();
  return entry;
}

std::vector<CodeTemplate> ParseBracketed(const std::vector<std::string>& lines) {
  std::vector<CodeTemplate> templates;
  std::vector<std::string> body;
  auto finish = [&] {
    if (templates.empty()) return;
    templates.back().body = JoinLines(body, "\r\n");
    body.clear();
  };
  for (const std::string& line : lines) {
    if (!line.empty() && line[0] == '[') {
      finish();
      templates.push_back(ParseHeader(line));
    } else {
      body.push_back(line);
    }
  }
  finish();
  return templates;
}

std::vector<CodeTemplate> ParseNamed(const std::vector<std::string>& lines) {
  std::vector<CodeTemplate> templates;
  std::vector<std::string> body;
  auto finish = [&] {
    if (templates.empty()) return;
    templates.back().body = JoinLines(body, "\r\n");
    body.clear();
  };
  for (const std::string& line : lines) {
    if (line.empty()) continue;
    if (line[0] == '=') {
      if (!templates.empty()) body.push_back(line.substr(1));
    } else {
      finish();
      templates.push_back(CodeTemplate{line, "", ""});
    }
  }
  finish();
  return templates;
}

}  // namespace

std::vector<CodeTemplate> ParseCodeTemplates(std::string_view file_text) {
  std::vector<std::string> lines = FileLines(file_text);
  if (lines.empty()) return {};
  if (!lines[0].empty() && lines[0][0] == '[') return ParseBracketed(lines);
  return ParseNamed(lines);
}

std::vector<CodeTemplate> LoadCodeTemplates(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw QorsvError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseCodeTemplates(text.str());
}

const CodeTemplate* FindCodeTemplate(const std::vector<CodeTemplate>& templates,
                                     std::string_view word) {
  if (word.empty()) return nullptr;
  for (auto it = templates.rbegin(); it != templates.rend(); ++it) {
    if (SameIgnoringCase(it->name, word)) return &*it;
  }
  const CodeTemplate* only = nullptr;
  for (auto it = templates.rbegin(); it != templates.rend(); ++it) {
    if (!StartsWithIgnoringCase(it->name, word)) continue;
    if (only != nullptr) return nullptr;
    only = &*it;
  }
  return only;
}

std::optional<TextEdit> ExpandCodeTemplate(const EditorText& text,
                                           const std::vector<CodeTemplate>& templates) {
  const Caret caret = text.caret();
  const std::string& line = text.Line(caret.line);
  const int end_column = std::min(caret.column, static_cast<int>(line.size()) + 1);
  std::string token = WordBeforeCaret(line, end_column, kTemplateTokenEndChars);
  const CodeTemplate* entry = FindCodeTemplate(templates, token);
  if (entry == nullptr) return std::nullopt;

  const int token_column = end_column - static_cast<int>(token.size());
  std::string body = entry->body;
  if (body.size() >= 2 && body.compare(body.size() - 2, 2, "\r\n") == 0) body.resize(body.size() - 2);
  std::vector<std::string> lines = SplitLines(body);
  const std::string indent(static_cast<size_t>(token_column - 1), ' ');
  for (size_t i = 1; i < lines.size(); ++i) lines[i].insert(0, indent);

  // The caret goes to the first "|", which is removed; without one, to the end of the body.
  Caret after{caret.line + static_cast<int>(lines.size()) - 1, 0};
  bool marked = false;
  for (size_t i = 0; i < lines.size() && !marked; ++i) {
    size_t bar = lines[i].find('|');
    if (bar == std::string::npos) continue;
    lines[i].erase(bar, 1);
    after.line = caret.line + static_cast<int>(i);
    after.column = static_cast<int>(bar) + 1 + (i == 0 ? token_column - 1 : 0);
    marked = true;
  }
  if (!marked) {
    after.column = static_cast<int>(lines.back().size()) + 1 +
                   (lines.size() == 1 ? token_column - 1 : 0);
  }
  return TextEdit{Caret{caret.line, token_column}, Caret{caret.line, end_column},
                  JoinLines(lines, "\n"), after, false};
}

}  // namespace qorsv
