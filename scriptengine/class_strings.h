// The object behind TStrings and TStringList (the only string list a server script can make):
// strings shared with the runtime's heap, each with an object handle, and the list's settings.
// classes_collections.cpp binds its members to the class library; the stream classes use it for
// LoadFromStream and SaveToStream.
//
// Threading: belongs to one run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scriptengine/class_library.h"

namespace qorsv::script::vm_internal {

// TDuplicates, in declaration order.
enum DuplicatesMode : int64_t { kDupIgnore, kDupAccept, kDupError };

class StringListObject : public PersistentObject {
 public:
  StringListObject(const RuntimeClass& of, Heap& heap);
  ~StringListObject() override;

  int64_t Count() const { return static_cast<int64_t>(items_.size()); }
  // The item's string, shared (nullptr for ''). Index errors are the script's runtime errors.
  void* Get(int64_t index) const;
  int64_t& ObjectAt(int64_t index);

  // Add keeps a sorted list sorted and applies Duplicates; returns the item's index.
  int64_t AddText(void* text, int64_t object);
  int64_t AddString(std::string_view text, int64_t object);
  void Insert(int64_t index, void* text, int64_t object);
  void Put(int64_t index, void* text);
  void PutString(int64_t index, std::string_view text);
  void Delete(int64_t index);
  void Clear();
  void Exchange(int64_t a, int64_t b);
  void Move(int64_t from, int64_t to);
  void AddStrings(const StringListObject& source);
  bool AssignFrom(HostObject& source) override;
  bool Equals(const StringListObject& other) const;

  bool Find(std::string_view text, int64_t* index) const;
  int64_t IndexOf(std::string_view text) const;
  int64_t IndexOfName(std::string_view name) const;
  std::string_view NameOf(int64_t index) const;
  std::string_view ValueFromIndex(int64_t index) const;
  void SetValue(std::string_view name, std::string_view value);
  void SetValueFromIndex(int64_t index, std::string_view value);
  void Sort();

  // Every item followed by CR LF; the setter splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(std::string_view text);
  std::string DelimitedText() const;
  void SetDelimitedText(std::string_view text);

  bool sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  bool case_sensitive() const { return case_sensitive_; }
  void SetCaseSensitive(bool case_sensitive);
  int64_t Capacity() const { return static_cast<int64_t>(items_.capacity()); }
  void SetCapacity(int64_t capacity);

  int64_t duplicates_ = kDupIgnore;
  char delimiter_ = ',';
  char quote_char_ = '"';
  char name_value_separator_ = '=';
  bool strict_delimiter_ = false;

 private:
  struct Item {
    void* text;  // a StrRep the list holds a reference to, or nullptr for ''
    int64_t object;
  };
  int Compare(std::string_view a, std::string_view b) const;
  void CheckIndex(int64_t index, bool insert) const;
  void Reserve(size_t count);
  void InsertItem(int64_t index, void* text, int64_t object);

  Heap& heap_;
  HeapCharge charge_;
  std::vector<Item> items_;
  bool sorted_ = false;
  bool case_sensitive_ = false;
};

}  // namespace qorsv::script::vm_internal
