#include "workbench/code_analysis.h"

#include <algorithm>
#include <fstream>
#include <numeric>
#include <sstream>

#include "workbench/editor_text.h"

namespace qorsv {
namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string AsciiLowerCase(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

std::string AsciiUpperCase(std::string text) {
  for (char& c : text) c = AsciiUpper(c);
  return text;
}

// Latin-1 upper case: ASCII letters and the accented letters 224-254 except the division sign.
unsigned char FoldCase(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 224 && c <= 254 && c != 247) return static_cast<unsigned char>(c - 32);
  return c;
}

// The character at 1-based position i of the line, or 0 past its end.
char At(const std::string& line, size_t i) { return i >= 1 && i <= line.size() ? line[i - 1] : 0; }

bool EndsName(char c) { return c == ':' || c == ';' || c == '(' || c == ' '; }

// The recorded name of a header line whose keyword of length k starts at position p.
std::string HeaderName(const std::string& line, size_t p, size_t k) {
  size_t n = line.size();
  // The keyword is taken to be followed by exactly one separator, whatever it is.
  size_t a = p + k + 1;
  size_t b = n + 1;
  for (size_t i = a + 1; i <= n; ++i) {
    if (EndsName(line[i - 1])) {
      b = i;
      break;
    }
  }
  if (At(line, b) == ';') --b;
  if (At(line, b) == '(') --b;
  if (At(line, b) == ':') --b;
  if (At(line, b) == ' ') --b;
  // L[a..b], cut at the end of the line.
  b = std::min(b, n);
  if (b < a) return "";
  return line.substr(a - 1, b - a + 1);
}

}  // namespace

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string HeaderParameterText(const std::string& line) {
  size_t n = line.size();
  size_t c = n > 1 ? line.find('(', 1) : std::string::npos;  // position 1 is not examined
  if (c == std::string::npos || c + 1 >= n) return "";      // c is 0-based: c + 1 < n
  size_t close = line.find(')', c + 1);
  std::string text = line.substr(c + 1, close == std::string::npos ? std::string::npos
                                                                   : close - c - 1);
  std::replace(text.begin(), text.end(), ';', ',');
  return text;
}

void CodeAnalysis::Clear() {
  completion_items_.clear();
  completion_inserts_.clear();
  trigger_chars_.clear();
  listproc_.clear();
  proclookup_.clear();
  proc_index_.ProcCount = 0;
}

void CodeAnalysis::analyzeline(const std::string& line, int32_t line_index) {
  if (proc_index_.ProcCount >= Tcode::kEntries) return;
  std::string lower = AsciiLowerCase(line);
  size_t k = 9;
  size_t p = lower.find("procedure");
  if (p == std::string::npos) {
    k = 8;
    p = lower.find("function");
    if (p == std::string::npos) return;
  }
  std::string name = HeaderName(line, p + 1, k);
  listproc_.push_back(name);
  name = AsciiLowerCase(std::move(name));
  completion_items_.push_back(name + " (" + line + ")");
  completion_inserts_.push_back(name);

  int32_t index = ++proc_index_.ProcCount;
  proclookup_.push_back(AsciiUpperCase(name));
  proc_index_.ProcHeader[index] = line;
  proc_index_.ProcParams[index] = HeaderParameterText(line);
  proc_index_.ProcName[index] = name;
  proc_index_.ProcLine[index] = line_index;
  if (!name.empty() && trigger_chars_.find(name[0]) == std::string::npos) {
    trigger_chars_ += name[0];
  }
}

void CodeAnalysis::SortCompletion() {
  if (completion_items_.size() < 2) return;
  // A stable sort gives exactly what repeated passes of neighbour swaps give.
  std::vector<size_t> order(completion_items_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [this](size_t x, size_t y) {
    return completion_items_[x] < completion_items_[y];  // ordinal, bytes unsigned
  });
  std::vector<std::string> items;
  std::vector<std::string> inserts;
  items.reserve(order.size());
  inserts.reserve(order.size());
  for (size_t i : order) {
    items.push_back(std::move(completion_items_[i]));
    inserts.push_back(std::move(completion_inserts_[i]));
  }
  completion_items_ = std::move(items);
  completion_inserts_ = std::move(inserts);
}

void CodeAnalysis::Analyze(const std::vector<std::string>& document,
                           const std::string& library_path) {
  Clear();
  for (size_t i = 0; i < document.size(); ++i) analyzeline(document[i], static_cast<int32_t>(i));
  std::ifstream library(library_path, std::ios::binary);
  if (library) {
    std::ostringstream text;
    text << library.rdbuf();
    const int32_t line_count = static_cast<int32_t>(document.size());
    std::string content = text.str();
    std::vector<std::string> lines = SplitLines(content);
    // A final line break ends the last line; it starts no further one.
    if (lines.size() > 1 && lines.back().empty()) lines.pop_back();
    for (const std::string& line : lines) analyzeline(line, line_count);
  }
  SortCompletion();
  ++revision_;
}

std::optional<int> CodeAnalysis::LookupProc(std::string_view word) const {
  for (size_t i = 0; i < proclookup_.size(); ++i) {
    if (SameTextIgnoringCase(proclookup_[i], word)) return static_cast<int>(i);
  }
  return std::nullopt;
}

std::optional<int> CodeAnalysis::FindListproc(std::string_view name) const {
  for (size_t i = 0; i < listproc_.size(); ++i) {
    if (SameTextIgnoringCase(listproc_[i], name)) return static_cast<int>(i);
  }
  return std::nullopt;
}

}  // namespace qorsv
