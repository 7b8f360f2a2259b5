// TStrings and TStringList: a list of strings, each with an object, sortable, with the text,
// comma-text, delimited-text and name=value views that Object Pascal programmers know.
//
// Items hold the runtime's own strings, shared with the script's variables (Add takes a
// reference, Strings[i] gives one): adding and reading copy no bytes. Comparisons follow the
// list's CaseSensitive switch: byte order, or byte order after Windows-1252 lower-casing.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "scriptengine/class_files.h"
#include "scriptengine/class_library.h"
#include "scriptengine/class_strings.h"
#include "scriptengine/stdlib.h"

namespace qorsv::script::vm_internal {
namespace {

const std::array<unsigned char, 256>& LowerTable() {
  static const std::array<unsigned char, 256> table = [] {
    std::array<unsigned char, 256> lower{};
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i) all[static_cast<size_t>(i)] = static_cast<char>(i);
    std::string mapped = AnsiLowerCaseText(all);
    for (int i = 0; i < 256; ++i)
      lower[static_cast<size_t>(i)] = static_cast<unsigned char>(mapped[static_cast<size_t>(i)]);
    return lower;
  }();
  return table;
}

int CompareBytes(std::string_view a, std::string_view b) {
  int order = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (order != 0) return order;
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int CompareIgnoringCase(std::string_view a, std::string_view b) {
  const auto& lower = LowerTable();
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = lower[static_cast<unsigned char>(a[i])];
    unsigned char y = lower[static_cast<unsigned char>(b[i])];
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string Quoted(std::string_view text, char quote) {
  std::string out(1, quote);
  for (char c : text) {
    out += c;
    if (c == quote) out += quote;
  }
  out += quote;
  return out;
}

}  // namespace

StringListObject::StringListObject(const RuntimeClass& of, Heap& heap)
    : PersistentObject(of), heap_(heap), charge_(heap) {}

StringListObject::~StringListObject() {
  for (const Item& item : items_) heap_.Release(item.text);
}

int StringListObject::Compare(std::string_view a, std::string_view b) const {
  return case_sensitive_ ? CompareBytes(a, b) : CompareIgnoringCase(a, b);
}

void StringListObject::CheckIndex(int64_t index, bool insert) const {
  int64_t limit = static_cast<int64_t>(items_.size()) + (insert ? 1 : 0);
  if (index < 0 || index >= limit) ListIndexError(index);
}

void StringListObject::Reserve(size_t count) {
  if (count <= items_.capacity()) return;
  size_t grown = std::max(count, items_.capacity() + items_.capacity() / 2 + 4);
  charge_.Set(static_cast<int64_t>(grown * sizeof(Item)));
  items_.reserve(grown);
}

void StringListObject::InsertItem(int64_t index, void* text, int64_t object) {
  Reserve(items_.size() + 1);
  Heap::Retain(text);
  items_.insert(items_.begin() + index, Item{text, object});
}

int64_t StringListObject::AddText(void* text, int64_t object) {
  int64_t index = static_cast<int64_t>(items_.size());
  if (sorted_) {
    if (Find(Heap::View(text), &index)) {
      if (duplicates_ == kDupIgnore) return index;
      if (duplicates_ == kDupError)
        throw std::runtime_error("String list does not allow duplicates");
    }
  }
  InsertItem(index, text, object);
  return index;
}

int64_t StringListObject::AddString(std::string_view text, int64_t object) {
  void* rep = text.empty() ? nullptr : heap_.MakeString(text);
  try {
    int64_t index = AddText(rep, object);
    heap_.Release(rep);
    return index;
  } catch (...) {
    heap_.Release(rep);
    throw;
  }
}

void StringListObject::Insert(int64_t index, void* text, int64_t object) {
  if (sorted_) throw std::runtime_error("Operation not allowed on sorted list");
  CheckIndex(index, true);
  InsertItem(index, text, object);
}

void StringListObject::Delete(int64_t index) {
  CheckIndex(index, false);
  heap_.Release(items_[static_cast<size_t>(index)].text);
  items_.erase(items_.begin() + index);
}

void StringListObject::Clear() {
  for (const Item& item : items_) heap_.Release(item.text);
  items_.clear();
}

void StringListObject::Put(int64_t index, void* text) {
  if (sorted_) throw std::runtime_error("Operation not allowed on sorted list");
  CheckIndex(index, false);
  Heap::Retain(text);
  heap_.Release(items_[static_cast<size_t>(index)].text);
  items_[static_cast<size_t>(index)].text = text;
}

void StringListObject::PutString(int64_t index, std::string_view text) {
  void* rep = text.empty() ? nullptr : heap_.MakeString(text);
  try {
    Put(index, rep);
  } catch (...) {
    heap_.Release(rep);
    throw;
  }
  heap_.Release(rep);
}

void* StringListObject::Get(int64_t index) const {
  CheckIndex(index, false);
  return items_[static_cast<size_t>(index)].text;
}

int64_t& StringListObject::ObjectAt(int64_t index) {
  CheckIndex(index, false);
  return items_[static_cast<size_t>(index)].object;
}

// Binary search: the first item not below `text`; true when it equals `text`. With duplicates
// accepted the first of equal items is found.
bool StringListObject::Find(std::string_view text, int64_t* index) const {
  int64_t low = 0;
  int64_t high = static_cast<int64_t>(items_.size()) - 1;
  bool found = false;
  while (low <= high) {
    int64_t middle = (low + high) / 2;
    int order = Compare(Heap::View(items_[static_cast<size_t>(middle)].text), text);
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle - 1;
      if (order == 0) {
        found = true;
        if (duplicates_ != kDupAccept) low = middle;
      }
    }
  }
  *index = low;
  return found;
}

int64_t StringListObject::IndexOf(std::string_view text) const {
  if (sorted_) {
    int64_t index;
    return Find(text, &index) ? index : -1;
  }
  for (size_t i = 0; i < items_.size(); ++i) {
    if (Compare(Heap::View(items_[i].text), text) == 0) return static_cast<int64_t>(i);
  }
  return -1;
}

void StringListObject::Sort() {
  std::stable_sort(items_.begin(), items_.end(), [this](const Item& a, const Item& b) {
    return Compare(Heap::View(a.text), Heap::View(b.text)) < 0;
  });
}

void StringListObject::SetSorted(bool sorted) {
  if (sorted && !sorted_) Sort();
  sorted_ = sorted;
}

void StringListObject::SetCaseSensitive(bool case_sensitive) {
  if (case_sensitive == case_sensitive_) return;
  case_sensitive_ = case_sensitive;
  if (sorted_) Sort();
}

void StringListObject::Exchange(int64_t a, int64_t b) {
  CheckIndex(a, false);
  CheckIndex(b, false);
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
}

void StringListObject::Move(int64_t from, int64_t to) {
  if (from == to) return;
  CheckIndex(from, false);
  if (sorted_) throw std::runtime_error("Operation not allowed on sorted list");
  CheckIndex(to, false);
  Item moved = items_[static_cast<size_t>(from)];
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, moved);
}

std::string StringListObject::Text() const {
  size_t size = 0;
  for (const Item& item : items_) size += static_cast<size_t>(Heap::Length(item.text)) + 2;
  if (static_cast<int64_t>(size) > kMaxObjectBytes) throw OutOfMemoryError{};
  std::string text;
  text.reserve(size);
  for (const Item& item : items_) {
    text += Heap::View(item.text);
    text += "\r\n";
  }
  return text;
}

void StringListObject::SetText(std::string_view text) {
  Clear();
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = text.size();
    AddString(text.substr(i, end - i), 0);
    i = end;
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') ++i;
  }
}

std::string StringListObject::DelimitedText() const {
  if (items_.size() == 1 && Heap::Length(items_[0].text) == 0) {
    return std::string(2, quote_char_);
  }
  std::string out;
  for (size_t i = 0; i < items_.size(); ++i) {
    std::string_view item = Heap::View(items_[i].text);
    // Items with a blank (unless the delimiter is strict), the quote or the delimiter are quoted;
    // the scan stops at a NUL, as the scan of a null-terminated text would.
    bool quote = false;
    for (char c : item) {
      if (c == '\0') break;
      if ((!strict_delimiter_ && static_cast<unsigned char>(c) <= ' ') || c == quote_char_ ||
          c == delimiter_) {
        quote = true;
        break;
      }
    }
    if (i > 0) out += delimiter_;
    if (quote) {
      out += Quoted(item, quote_char_);
    } else {
      out += item;
    }
    if (static_cast<int64_t>(out.size()) > kMaxObjectBytes) throw OutOfMemoryError{};
  }
  return out;
}

void StringListObject::SetDelimitedText(std::string_view text) {
  Clear();
  text = text.substr(0, text.find('\0'));
  auto blank = [this](size_t at, std::string_view t) {
    return !strict_delimiter_ && at < t.size() && static_cast<unsigned char>(t[at]) >= 1 &&
           static_cast<unsigned char>(t[at]) <= ' ';
  };
  size_t i = 0;
  while (blank(i, text)) ++i;
  while (i < text.size()) {
    std::string item;
    if (text[i] == quote_char_) {
      // A quoted item: doubled quotes stand for one; an item without its closing quote runs to
      // the end.
      ++i;
      while (i < text.size()) {
        if (text[i] == quote_char_) {
          if (i + 1 < text.size() && text[i + 1] == quote_char_) {
            item += quote_char_;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      size_t start = i;
      while (i < text.size() && text[i] != delimiter_ &&
             (strict_delimiter_ || static_cast<unsigned char>(text[i]) > ' ')) {
        ++i;
      }
      item = std::string(text.substr(start, i - start));
    }
    AddString(item, 0);
    while (blank(i, text)) ++i;
    if (i < text.size() && text[i] == delimiter_) {
      if (i + 1 == text.size()) AddString("", 0);
      ++i;
      while (blank(i, text)) ++i;
    }
  }
}

std::string_view StringListObject::NameOf(int64_t index) const {
  std::string_view item = Heap::View(Get(index));
  size_t at = item.find(name_value_separator_);
  return at == std::string_view::npos ? std::string_view() : item.substr(0, at);
}

int64_t StringListObject::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    std::string_view item = Heap::View(items_[i].text);
    size_t at = item.find(name_value_separator_);
    if (at != std::string_view::npos && Compare(item.substr(0, at), name) == 0) {
      return static_cast<int64_t>(i);
    }
  }
  return -1;
}

std::string_view StringListObject::ValueFromIndex(int64_t index) const {
  std::string_view item = Heap::View(Get(index));
  size_t at = item.find(name_value_separator_);
  return at == std::string_view::npos ? std::string_view() : item.substr(at + 1);
}

void StringListObject::SetValue(std::string_view name, std::string_view value) {
  int64_t index = IndexOfName(name);
  std::string line = std::string(name) + name_value_separator_ + std::string(value);
  if (value.empty()) {
    if (index >= 0) Delete(index);
  } else if (index >= 0) {
    PutString(index, line);
  } else {
    AddString(line, 0);
  }
}

void StringListObject::SetValueFromIndex(int64_t index, std::string_view value) {
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  if (index < 0) index = AddString("", 0);
  std::string line = std::string(NameOf(index)) + name_value_separator_ + std::string(value);
  PutString(index, line);
}

void StringListObject::AddStrings(const StringListObject& source) {
  // A list added to itself adds what it held before.
  std::vector<Item> items = source.items_;
  Reserve(items_.size() + items.size());
  for (const Item& item : items) AddText(item.text, item.object);
}

bool StringListObject::AssignFrom(HostObject& source) {
  auto* list = dynamic_cast<StringListObject*>(&source);
  if (list == nullptr) return false;
  if (list == this) return true;
  Clear();
  AddStrings(*list);
  return true;
}

bool StringListObject::Equals(const StringListObject& other) const {
  if (items_.size() != other.items_.size()) return false;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (Heap::View(items_[i].text) != Heap::View(other.items_[i].text)) return false;
  }
  return true;
}

void StringListObject::SetCapacity(int64_t capacity) {
  if (capacity < static_cast<int64_t>(items_.size())) {
    throw std::runtime_error("List capacity out of bounds (" + std::to_string(capacity) + ")");
  }
  Reserve(static_cast<size_t>(capacity));
}

}  // namespace qorsv::script::vm_internal
