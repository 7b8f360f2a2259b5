// The collection classes of the library: TStrings, TStringList and TList, bound to their objects.
#include <algorithm>
#include <stdexcept>

#include "scriptengine/class_files.h"
#include "scriptengine/class_library.h"
#include "scriptengine/class_streams.h"
#include "scriptengine/class_strings.h"
#include "scriptengine/vm.h"

namespace qorsv::script::vm_internal {
namespace {

StringListObject& List(MethodCall& call) { return call.Self<StringListObject>(); }

std::unique_ptr<HostObject> NewStringList(const RuntimeClass& of, Heap& heap) {
  return std::make_unique<StringListObject>(of, heap);
}

void ReturnShared(MethodCall& call, void* text) {
  Heap::Retain(text);
  call.ReturnStrRep(text);
}

char CharArg(MethodCall& call, int n) { return static_cast<char>(call.Int(n)); }

// ---- TStrings ----

void StringsAdd(MethodCall& call) { call.ReturnInt(List(call).AddText(call.StrRep(1), 0)); }
void StringsAddObject(MethodCall& call) {
  call.ReturnInt(List(call).AddText(call.StrRep(1), call.Int(2)));
}
void StringsAppend(MethodCall& call) { List(call).AddText(call.StrRep(1), 0); }
void StringsInsert(MethodCall& call) { List(call).Insert(call.Int(1), call.StrRep(2), 0); }
void StringsInsertObject(MethodCall& call) {
  List(call).Insert(call.Int(1), call.StrRep(2), call.Int(3));
}
void StringsDelete(MethodCall& call) { List(call).Delete(call.Int(1)); }
void StringsClear(MethodCall& call) { List(call).Clear(); }
void StringsExchange(MethodCall& call) { List(call).Exchange(call.Int(1), call.Int(2)); }
void StringsMove(MethodCall& call) { List(call).Move(call.Int(1), call.Int(2)); }
void StringsIndexOf(MethodCall& call) { call.ReturnInt(List(call).IndexOf(call.Str(1))); }
void StringsIndexOfName(MethodCall& call) { call.ReturnInt(List(call).IndexOfName(call.Str(1))); }

void StringsIndexOfObject(MethodCall& call) {
  StringListObject& list = List(call);
  int64_t wanted = call.Int(1);
  for (int64_t i = 0; i < list.Count(); ++i) {
    if (list.ObjectAt(i) == wanted) return call.ReturnInt(i);
  }
  call.ReturnInt(-1);
}

void StringsAddStrings(MethodCall& call) {
  auto* source = ObjectArg<StringListObject>(call, 1);
  if (source == nullptr) throw std::runtime_error("Cannot add the strings of nil");
  List(call).AddStrings(*source);
}

void StringsEquals(MethodCall& call) {
  auto* other = ObjectArg<StringListObject>(call, 1);
  call.ReturnBool(other != nullptr && List(call).Equals(*other));
}

void StringsNothing(MethodCall&) {}

void StringsLoadFromFile(MethodCall& call) {
  List(call).SetText(ReadWholeFile(std::string(call.Str(1))));
}
void StringsSaveToFile(MethodCall& call) {
  WriteWholeFile(std::string(call.Str(1)), List(call).Text());
}

StreamObject& StreamArg(MethodCall& call, int n) {
  auto* stream = ObjectArg<StreamObject>(call, n);
  if (stream == nullptr) call.machine().Raise(erNullPointerException);
  return *stream;
}

void StringsLoadFromStream(MethodCall& call) { List(call).SetText(StreamArg(call, 1).ReadRest()); }
void StringsSaveToStream(MethodCall& call) { StreamArg(call, 1).WriteAll(List(call).Text()); }

void StringsCount(MethodCall& call) { call.ReturnInt(List(call).Count()); }
void StringsGet(MethodCall& call) { ReturnShared(call, List(call).Get(call.Int(1))); }
void StringsPut(MethodCall& call) { List(call).Put(call.Int(1), call.StrRep(2)); }
void StringsObject(MethodCall& call) { call.ReturnHandle(List(call).ObjectAt(call.Int(1))); }
void StringsSetObject(MethodCall& call) { List(call).ObjectAt(call.Int(1)) = call.Int(2); }
void StringsName(MethodCall& call) { call.ReturnStr(List(call).NameOf(call.Int(1))); }

void StringsValue(MethodCall& call) {
  StringListObject& list = List(call);
  int64_t index = list.IndexOfName(call.Str(1));
  call.ReturnStr(index >= 0 ? list.ValueFromIndex(index) : std::string_view());
}
void StringsSetValue(MethodCall& call) { List(call).SetValue(call.Str(1), call.Str(2)); }
void StringsValueFromIndex(MethodCall& call) {
  StringListObject& list = List(call);
  int64_t index = call.Int(1);
  call.ReturnStr(index >= 0 ? list.ValueFromIndex(index) : std::string_view());
}
void StringsSetValueFromIndex(MethodCall& call) {
  List(call).SetValueFromIndex(call.Int(1), call.Str(2));
}

void StringsText(MethodCall& call) { call.ReturnStr(List(call).Text()); }
void StringsSetText(MethodCall& call) { List(call).SetText(call.Str(1)); }

// CommaText is DelimitedText with the delimiter "," and the quote '"': the list's own settings
// are put aside while it is read or written.
class CommaSettings {
 public:
  explicit CommaSettings(StringListObject& list)
      : list_(list), delimiter_(list.delimiter_), quote_(list.quote_char_) {
    list.delimiter_ = ',';
    list.quote_char_ = '"';
  }
  ~CommaSettings() {
    list_.delimiter_ = delimiter_;
    list_.quote_char_ = quote_;
  }
  CommaSettings(const CommaSettings&) = delete;
  CommaSettings& operator=(const CommaSettings&) = delete;

 private:
  StringListObject& list_;
  char delimiter_;
  char quote_;
};

void StringsCommaText(MethodCall& call) {
  std::string text;
  {
    CommaSettings comma(List(call));
    text = List(call).DelimitedText();
  }
  call.ReturnStr(text);
}
void StringsSetCommaText(MethodCall& call) {
  CommaSettings comma(List(call));
  List(call).SetDelimitedText(call.Str(1));
}
void StringsDelimitedText(MethodCall& call) { call.ReturnStr(List(call).DelimitedText()); }
void StringsSetDelimitedText(MethodCall& call) { List(call).SetDelimitedText(call.Str(1)); }

void StringsDelimiter(MethodCall& call) {
  call.ReturnInt(static_cast<uint8_t>(List(call).delimiter_));
}
void StringsSetDelimiter(MethodCall& call) { List(call).delimiter_ = CharArg(call, 1); }
void StringsQuoteChar(MethodCall& call) {
  call.ReturnInt(static_cast<uint8_t>(List(call).quote_char_));
}
void StringsSetQuoteChar(MethodCall& call) { List(call).quote_char_ = CharArg(call, 1); }
void StringsSeparator(MethodCall& call) {
  call.ReturnInt(static_cast<uint8_t>(List(call).name_value_separator_));
}
void StringsSetSeparator(MethodCall& call) { List(call).name_value_separator_ = CharArg(call, 1); }
void StringsStrict(MethodCall& call) { call.ReturnBool(List(call).strict_delimiter_); }
void StringsSetStrict(MethodCall& call) { List(call).strict_delimiter_ = call.Bool(1); }
void StringsCapacity(MethodCall& call) { call.ReturnInt(List(call).Capacity()); }
void StringsSetCapacity(MethodCall& call) { List(call).SetCapacity(call.Int(1)); }

// ---- TStringList ----

void StringListFind(MethodCall& call) {
  int64_t index;
  call.ReturnBool(List(call).Find(call.Str(1), &index));
  call.Var(2).i = static_cast<int32_t>(index);
}
void StringListSort(MethodCall& call) { List(call).Sort(); }
void StringListSorted(MethodCall& call) { call.ReturnBool(List(call).sorted()); }
void StringListSetSorted(MethodCall& call) { List(call).SetSorted(call.Bool(1)); }
void StringListDuplicates(MethodCall& call) { call.ReturnInt(List(call).duplicates_); }
void StringListSetDuplicates(MethodCall& call) { List(call).duplicates_ = call.Int(1); }
void StringListCaseSensitive(MethodCall& call) { call.ReturnBool(List(call).case_sensitive()); }
void StringListSetCaseSensitive(MethodCall& call) { List(call).SetCaseSensitive(call.Bool(1)); }

// ---- TList ----

// A list of object handles; nil and freed objects may stand in it, as pointers may in a TList.
class ListObject : public PersistentObject {
 public:
  ListObject(const RuntimeClass& of, Heap& heap) : PersistentObject(of), charge_(heap) {}

  void CheckIndex(int64_t index, int64_t limit) const {
    if (index < 0 || index >= limit) ListIndexError(index);
  }
  void Reserve(size_t count) {
    if (count <= items.capacity()) return;
    size_t grown = std::max(count, items.capacity() + items.capacity() / 2 + 4);
    charge_.Set(static_cast<int64_t>(grown * sizeof(int64_t)));
    items.reserve(grown);
  }
  int64_t Count() const { return static_cast<int64_t>(items.size()); }
  bool AssignFrom(HostObject& source) override {
    auto* list = dynamic_cast<ListObject*>(&source);
    if (list == nullptr) return false;
    std::vector<int64_t> copy = list->items;
    Reserve(copy.size());
    items = std::move(copy);
    return true;
  }

  std::vector<int64_t> items;

 private:
  HeapCharge charge_;
};

std::unique_ptr<HostObject> NewList(const RuntimeClass& of, Heap& heap) {
  return std::make_unique<ListObject>(of, heap);
}

ListObject& Items(MethodCall& call) { return call.Self<ListObject>(); }

void ListAdd(MethodCall& call) {
  ListObject& list = Items(call);
  list.Reserve(list.items.size() + 1);
  list.items.push_back(call.Int(1));
  call.ReturnInt(list.Count() - 1);
}
void ListInsert(MethodCall& call) {
  ListObject& list = Items(call);
  int64_t index = call.Int(1);
  list.CheckIndex(index, list.Count() + 1);
  list.Reserve(list.items.size() + 1);
  list.items.insert(list.items.begin() + index, call.Int(2));
}
void ListDelete(MethodCall& call) {
  ListObject& list = Items(call);
  int64_t index = call.Int(1);
  list.CheckIndex(index, list.Count());
  list.items.erase(list.items.begin() + index);
}
void ListClear(MethodCall& call) { Items(call).items.clear(); }
void ListExchange(MethodCall& call) {
  ListObject& list = Items(call);
  list.CheckIndex(call.Int(1), list.Count());
  list.CheckIndex(call.Int(2), list.Count());
  std::swap(list.items[static_cast<size_t>(call.Int(1))],
            list.items[static_cast<size_t>(call.Int(2))]);
}
void ListMove(MethodCall& call) {
  ListObject& list = Items(call);
  int64_t from = call.Int(1);
  int64_t to = call.Int(2);
  if (from == to) return;
  list.CheckIndex(from, list.Count());
  list.CheckIndex(to, list.Count());
  int64_t item = list.items[static_cast<size_t>(from)];
  list.items.erase(list.items.begin() + from);
  list.items.insert(list.items.begin() + to, item);
}
int64_t IndexIn(const ListObject& list, int64_t item) {
  auto found = std::find(list.items.begin(), list.items.end(), item);
  return found == list.items.end() ? -1 : found - list.items.begin();
}
void ListIndexOf(MethodCall& call) { call.ReturnInt(IndexIn(Items(call), call.Int(1))); }
void ListRemove(MethodCall& call) {
  ListObject& list = Items(call);
  int64_t index = IndexIn(list, call.Int(1));
  if (index >= 0) list.items.erase(list.items.begin() + index);
  call.ReturnInt(index);
}
void ListExtract(MethodCall& call) {
  ListObject& list = Items(call);
  int64_t index = IndexIn(list, call.Int(1));
  if (index < 0) return call.ReturnHandle(0);
  list.items.erase(list.items.begin() + index);
  call.ReturnHandle(call.Int(1));
}
void ListPack(MethodCall& call) {
  auto& items = Items(call).items;
  items.erase(std::remove(items.begin(), items.end(), 0), items.end());
}
void ListFirst(MethodCall& call) {
  ListObject& list = Items(call);
  list.CheckIndex(0, list.Count());
  call.ReturnHandle(list.items.front());
}
void ListLast(MethodCall& call) {
  ListObject& list = Items(call);
  list.CheckIndex(list.Count() - 1, list.Count());
  call.ReturnHandle(list.items.back());
}
void ListCount(MethodCall& call) { call.ReturnInt(Items(call).Count()); }
void ListSetCount(MethodCall& call) {
  ListObject& list = Items(call);
  int64_t count = call.Int(1);
  if (count < 0)
    throw std::runtime_error("List count out of bounds (" + std::to_string(count) + ")");
  list.Reserve(static_cast<size_t>(count));
  list.items.resize(static_cast<size_t>(count), 0);
}
void ListCapacity(MethodCall& call) {
  call.ReturnInt(static_cast<int64_t>(Items(call).items.capacity()));
}
void ListSetCapacity(MethodCall& call) {
  ListObject& list = Items(call);
  int64_t capacity = call.Int(1);
  if (capacity < list.Count()) {
    throw std::runtime_error("List capacity out of bounds (" + std::to_string(capacity) + ")");
  }
  list.Reserve(static_cast<size_t>(capacity));
}
void ListGet(MethodCall& call) {
  ListObject& list = Items(call);
  list.CheckIndex(call.Int(1), list.Count());
  call.ReturnHandle(list.items[static_cast<size_t>(call.Int(1))]);
}
void ListPut(MethodCall& call) {
  ListObject& list = Items(call);
  list.CheckIndex(call.Int(1), list.Count());
  list.items[static_cast<size_t>(call.Int(1))] = call.Int(2);
}

}  // namespace

void AddCollectionClasses(std::vector<ClassDef>& classes) {
  classes.push_back(
      {"TStrings",
       "TPersistent",
       Creation::kAbstract,
       NewStringList,
       {
           {"function Add(const S: string): Integer;", StringsAdd},
           {"function AddObject(const S: string; AObject: TObject): Integer;", StringsAddObject},
           {"procedure Append(const S: string);", StringsAppend},
           {"procedure AddStrings(Strings: TStrings);", StringsAddStrings},
           {"procedure Insert(Index: Integer; const S: string);", StringsInsert},
           {"procedure InsertObject(Index: Integer; const S: string; AObject: TObject);",
            StringsInsertObject},
           {"procedure Delete(Index: Integer);", StringsDelete},
           {"procedure Clear;", StringsClear},
           {"procedure Exchange(Index1, Index2: Integer);", StringsExchange},
           {"procedure Move(CurIndex, NewIndex: Integer);", StringsMove},
           {"function IndexOf(const S: string): Integer;", StringsIndexOf},
           {"function IndexOfName(const Name: string): Integer;", StringsIndexOfName},
           {"function IndexOfObject(AObject: TObject): Integer;", StringsIndexOfObject},
           {"function Equals(Strings: TStrings): Boolean;", StringsEquals},
           {"procedure BeginUpdate;", StringsNothing},
           {"procedure EndUpdate;", StringsNothing},
           {"procedure LoadFromFile(const FileName: string);", StringsLoadFromFile},
           {"procedure SaveToFile(const FileName: string);", StringsSaveToFile},
           {"procedure LoadFromStream(Stream: TStream);", StringsLoadFromStream},
           {"procedure SaveToStream(Stream: TStream);", StringsSaveToStream},
           {"property Count: Integer read;", StringsCount},
           {"property Strings[Index: Integer]: string read write; default;", StringsGet,
            StringsPut},
           {"property Objects[Index: Integer]: TObject read write;", StringsObject,
            StringsSetObject},
           {"property Names[Index: Integer]: string read;", StringsName},
           {"property Values[const Name: string]: string read write;", StringsValue,
            StringsSetValue},
           {"property ValueFromIndex[Index: Integer]: string read write;", StringsValueFromIndex,
            StringsSetValueFromIndex},
           {"property Text: string read write;", StringsText, StringsSetText},
           {"property CommaText: string read write;", StringsCommaText, StringsSetCommaText},
           {"property DelimitedText: string read write;", StringsDelimitedText,
            StringsSetDelimitedText},
           {"property Delimiter: Char read write;", StringsDelimiter, StringsSetDelimiter},
           {"property QuoteChar: Char read write;", StringsQuoteChar, StringsSetQuoteChar},
           {"property NameValueSeparator: Char read write;", StringsSeparator, StringsSetSeparator},
           {"property StrictDelimiter: Boolean read write;", StringsStrict, StringsSetStrict},
           {"property Capacity: Integer read write;", StringsCapacity, StringsSetCapacity},
       }});
  classes.push_back(
      {"TStringList",
       "TStrings",
       Creation::kCreatable,
       nullptr,
       {
           {"function Find(const S: string; var Index: Integer): Boolean;", StringListFind},
           {"procedure Sort;", StringListSort},
           {"property Sorted: Boolean read write;", StringListSorted, StringListSetSorted},
           {"property Duplicates: TDuplicates read write;", StringListDuplicates,
            StringListSetDuplicates},
           {"property CaseSensitive: Boolean read write;", StringListCaseSensitive,
            StringListSetCaseSensitive},
       }});
  classes.push_back(
      {"TList",
       "TObject",
       Creation::kCreatable,
       NewList,
       {
           {"function Add(Item: TObject): Integer;", ListAdd},
           {"procedure Insert(Index: Integer; Item: TObject);", ListInsert},
           {"procedure Delete(Index: Integer);", ListDelete},
           {"procedure Clear;", ListClear},
           {"procedure Exchange(Index1, Index2: Integer);", ListExchange},
           {"procedure Move(CurIndex, NewIndex: Integer);", ListMove},
           {"function IndexOf(Item: TObject): Integer;", ListIndexOf},
           {"function Remove(Item: TObject): Integer;", ListRemove},
           {"function Extract(Item: TObject): TObject;", ListExtract},
           {"procedure Pack;", ListPack},
           {"function First: TObject;", ListFirst},
           {"function Last: TObject;", ListLast},
           {"property Count: Integer read write;", ListCount, ListSetCount},
           {"property Capacity: Integer read write;", ListCapacity, ListSetCapacity},
           {"property Items[Index: Integer]: TObject read write; default;", ListGet, ListPut},
       }});
}

}  // namespace qorsv::script::vm_internal
