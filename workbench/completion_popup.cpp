#include "workbench/completion_popup.h"

#include <algorithm>

namespace qorsv {

std::string WordBeforeCaret(const std::string& line, int column, std::string_view end_chars) {
  size_t end = static_cast<size_t>(std::clamp(column - 1, 0, static_cast<int>(line.size())));
  size_t start = end;
  while (start > 0) {
    unsigned char c = static_cast<unsigned char>(line[start - 1]);
    if (c <= ' ' || end_chars.find(static_cast<char>(c)) != std::string_view::npos) break;
    --start;
  }
  return line.substr(start, end - start);
}

std::vector<int> CompletionMatches(const std::vector<std::string>& inserts,
                                   std::string_view word) {
  std::vector<int> matches;
  for (size_t i = 0; i < inserts.size(); ++i) {
    if (std::string_view(inserts[i]).substr(0, word.size()) == word) {
      matches.push_back(static_cast<int>(i));
    }
  }
  return matches;
}

}  // namespace qorsv
