#include "scriptengine/fast_routines.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "scriptengine/heap.h"
#include "scriptengine/vm.h"

namespace qorsv::script::vm_internal {
namespace {

// Whether `import` takes value parameters of exactly these kinds and returns `result`.
bool HasSignature(const ImportInfo& import, std::initializer_list<ValueKind> params,
                  ValueKind result) {
  if (import.params.size() != params.size() || import.result.kind != result) return false;
  size_t i = 0;
  for (ValueKind kind : params) {
    const ValueDesc& param = import.params[i++];
    if (param.by_ref || param.kind != kind) return false;
  }
  return true;
}

Cell& Arg(const ImportInfo& import, Cell* window, size_t index) {
  return window[import.params[index].offset];
}

Cell& Result(const ImportInfo& import, Cell* window) { return window[import.result.offset]; }

// Releases the string arguments of the call, also when the routine fails.
class ReleaseArguments {
 public:
  ReleaseArguments(Heap& heap, const ImportInfo& import, Cell* window)
      : heap_(heap), import_(import), window_(window) {}
  ~ReleaseArguments() {
    for (const ValueDesc& param : import_.params) {
      if (param.kind != ValueKind::kString) continue;
      void* old = window_[param.offset].p;
      window_[param.offset].p = nullptr;
      heap_.Release(old);
    }
  }
  ReleaseArguments(const ReleaseArguments&) = delete;
  ReleaseArguments& operator=(const ReleaseArguments&) = delete;

 private:
  Heap& heap_;
  const ImportInfo& import_;
  Cell* window_;
};

void IntToStr(Machine& machine, const ImportInfo& import, Cell* window) {
  char digits[24];
  auto written = std::to_chars(digits, digits + sizeof(digits), Arg(import, window, 0).i);
  Result(import, window).p = machine.heap().MakeString(
      std::string_view(digits, static_cast<size_t>(written.ptr - digits)));
}

// Copy with Delphi's clamping: a start below 1 counts as 1, a count past the end stops there.
// The whole string is shared, not copied.
void Copy(Machine& machine, const ImportInfo& import, Cell* window) {
  Heap& heap = machine.heap();
  ReleaseArguments release(heap, import, window);
  void* source = Arg(import, window, 0).p;
  int64_t length = Heap::Length(source);
  int64_t from = std::max<int64_t>(Arg(import, window, 1).i, 1);
  int64_t count = Arg(import, window, 2).i;
  if (from > length || count <= 0) return;
  count = std::min(count, length - from + 1);
  if (count == length) {
    Heap::Retain(source);
    Result(import, window).p = source;
    return;
  }
  Result(import, window).p = heap.MakeString(
      Heap::View(source).substr(static_cast<size_t>(from - 1), static_cast<size_t>(count)));
}

void Pos(Machine& machine, const ImportInfo& import, Cell* window) {
  ReleaseArguments release(machine.heap(), import, window);
  std::string_view needle = Heap::View(Arg(import, window, 0).p);
  std::string_view haystack = Heap::View(Arg(import, window, 1).p);
  size_t at = needle.empty() ? std::string_view::npos : haystack.find(needle);
  Result(import, window).i = at == std::string_view::npos ? 0 : static_cast<int64_t>(at) + 1;
}

// Blanks and control characters off both ends; a string without any is shared, not copied.
void Trim(Machine& machine, const ImportInfo& import, Cell* window) {
  Heap& heap = machine.heap();
  ReleaseArguments release(heap, import, window);
  void* source = Arg(import, window, 0).p;
  std::string_view text = Heap::View(source);
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  if (begin == 0 && end == text.size()) {
    Heap::Retain(source);
    Result(import, window).p = source;
    return;
  }
  Result(import, window).p = heap.MakeString(text.substr(begin, end - begin));
}

}  // namespace

FastRoutine FindFastRoutine(const ImportInfo& import) {
  using K = ValueKind;
  const std::string& name = import.name;
  if ((name == "INTTOSTR" || name == "INT64TOSTR") &&
      HasSignature(import, {K::kOrdinal}, K::kString))
    return IntToStr;
  if (name == "COPY" && HasSignature(import, {K::kString, K::kOrdinal, K::kOrdinal}, K::kString))
    return Copy;
  if (name == "POS" && HasSignature(import, {K::kString, K::kString}, K::kOrdinal)) return Pos;
  if (name == "TRIM" && HasSignature(import, {K::kString}, K::kString)) return Trim;
  return nullptr;
}

}  // namespace qorsv::script::vm_internal
