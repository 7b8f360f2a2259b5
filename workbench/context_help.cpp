#include "workbench/context_help.h"

#include <filesystem>
#include <system_error>

namespace qorsv {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameAsciiText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool IsHelpWordChar(char c) {
  static constexpr std::string_view kHelpWordChars = "qazwsxcderfvbgtyhnmjuikolp_";
  return kHelpWordChars.find(Lower(c)) != std::string_view::npos;
}

std::string KeepHelpWordChars(const std::string& text) {
  std::string kept;
  for (char c : text) {
    if (IsHelpWordChar(c)) kept += c;
  }
  return kept;
}

std::optional<std::string> HelpWordAt(const std::string& line, int column) {
  const int n = static_cast<int>(line.size());
  if (column < 1 || column > n) return std::nullopt;
  size_t x = static_cast<size_t>(column - 1);  // the character at the column, 0-based
  size_t start = x;
  while (start > 0 && IsHelpWordChar(line[start - 1])) --start;
  size_t end = x + 1;
  while (end < line.size() && IsHelpWordChar(line[end])) ++end;
  std::string word = KeepHelpWordChars(line.substr(start, end - start));
  if (word.empty()) return std::nullopt;
  return word;
}

std::optional<std::string> FindHelpFile(const std::string& help_dir, const std::string& word) {
  const std::string wanted = word + ".htm";
  std::string lower_wanted = wanted;
  for (char& c : lower_wanted) c = Lower(c);
  std::error_code error;
  std::filesystem::directory_iterator entries(help_dir, error);
  if (error) return std::nullopt;
  // The exact spelling first, then the shipped lower-case one, then any other.
  std::optional<std::string> found;
  for (const auto& entry : entries) {
    std::string name = entry.path().filename().string();
    if (!SameAsciiText(name, wanted) || !entry.is_regular_file(error)) continue;
    if (name == wanted) return name;
    if (!found || name == lower_wanted) found = name;
  }
  return found;
}

std::string HelpUrl(const std::string& file_name) { return kHelpUrlPrefix + file_name; }

}  // namespace qorsv
