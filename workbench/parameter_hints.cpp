#include "workbench/parameter_hints.h"

namespace qorsv {
namespace {

std::string UpperCaseLatin1(std::string text) {
  for (char& ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 224 && c <= 254 && c != 247)) {
      ch = static_cast<char>(c - 32);
    }
  }
  return text;
}

std::string TrimBlanks(const std::string& text) {
  size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) return "";
  size_t end = text.find_last_not_of(' ');
  return text.substr(start, end - start + 1);
}

}  // namespace

bool IsHintWordChar(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         c == '_' || (c >= 192 && c <= 214) || (c >= 216 && c <= 246) || c >= 248;
}

ParameterHintScan ScanParameterHint(const std::string& line, int column,
                                    const CodeAnalysis& analysis) {
  // Positions count from 1, as t does below; L(t) is the character at t.
  const int n = static_cast<int>(line.size());
  auto L = [&line](int t) { return static_cast<unsigned char>(line[static_cast<size_t>(t - 1)]); };
  ParameterHintScan scan;
  int t = column > n ? n : column - 1;
  while (t > 0 && !scan.found) {
    unsigned char c = L(t);
    if (c == ',') {
      ++scan.argument;
      --t;
    } else if (c == ')') {
      int depth = 1;
      --t;
      while (t > 0 && depth > 0) {
        if (L(t) == ')') ++depth;
        if (L(t) == '(') --depth;
        --t;
      }
      if (t > 0) --t;
    } else if (c == '(') {
      int s = t;
      while (t > 0 && !IsHintWordChar(L(t))) --t;
      if (t > 0) {
        int e = t;
        while (t - 1 >= 1 && IsHintWordChar(L(t - 1))) --t;
        scan.word = UpperCaseLatin1(line.substr(static_cast<size_t>(t - 1),
                                                static_cast<size_t>(e - t + 1)));
        if (std::optional<int> proc = analysis.LookupProc(scan.word)) {
          scan.found = true;
          scan.proc = *proc;
        }
      }
      // An outer call may still match.
      if (!scan.found) t = s - 1;
    } else {
      --t;
    }
  }
  if (!scan.found) {
    scan.argument = 0;
    scan.word.clear();
  }
  return scan;
}

std::vector<std::string> ParameterHintItems(const std::string& params) {
  std::vector<std::string> items;
  std::string current;
  bool quoted_item = false;
  for (size_t i = 0; i < params.size(); ++i) {
    char c = params[i];
    if (c == '"') {
      // A quoted part, with "" standing for one quote character.
      if (TrimBlanks(current).empty()) current.clear();
      quoted_item = true;
      for (++i; i < params.size(); ++i) {
        if (params[i] != '"') {
          current += params[i];
        } else if (i + 1 < params.size() && params[i + 1] == '"') {
          current += '"';
          ++i;
        } else {
          break;
        }
      }
    } else if (c == ',') {
      items.push_back(quoted_item ? current : TrimBlanks(current));
      current.clear();
      quoted_item = false;
    } else if (!(quoted_item && c == ' ')) {
      current += c;
    }
  }
  if (!current.empty() || quoted_item || !items.empty()) {
    items.push_back(quoted_item ? current : TrimBlanks(current));
  }
  return items;
}

std::string JoinHintItems(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += ", ";
    text += items[i];
  }
  return text;
}

}  // namespace qorsv
