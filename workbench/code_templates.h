// Code templates: the template file config/qor.dci and Ctrl+J expansion in the editor.
//
// The file has one of two layouts. When its first line begins with "[", it is a series of
// entries, each a header line "[name | description]" followed by the body lines up to the next
// header line. Otherwise every non-empty line not beginning with "=" names a template, and the
// lines beginning with "=" after it are its body. In a body, the first "|" marks where the caret
// goes after expansion.
//
// Expansion replaces the word left of the caret by the body of the template of that name (or
// of the one template whose name begins with it), indents the body's further lines to the word's
// column and puts the caret at the "|".
//
// The file is read once, when the workbench is created; the functions are pure otherwise and
// may be called from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workbench/editor_text.h"

namespace qorsv {

struct CodeTemplate {
  std::string name;
  std::string description;
  // The body lines joined with CR LF, "|" still in place.
  std::string body;
  bool operator==(const CodeTemplate&) const = default;
};

// Characters that end the word to expand (besides blanks and control characters).
inline constexpr char kTemplateTokenEndChars[] = "()[]{}.";

std::vector<CodeTemplate> ParseCodeTemplates(std::string_view file_text);
// Reads and parses the file; throws QorsvError with the file error when it cannot be read.
std::vector<CodeTemplate> LoadCodeTemplates(const std::string& path);

// The template for a word: searching from the last entry to the first, one whose name equals
// the word (letter case ignored); failing that, the only one whose name begins with it.
// Nothing for an empty word, or when no name or several names begin with it.
const CodeTemplate* FindCodeTemplate(const std::vector<CodeTemplate>& templates,
                                     std::string_view word);

// The edit that expands the template for the word left of the caret, or nothing.
std::optional<TextEdit> ExpandCodeTemplate(const EditorText& text,
                                           const std::vector<CodeTemplate>& templates);

}  // namespace qorsv
