// Runtime values of the virtual machine: cells and the reference-counted heap objects.
//
// A Cell is 8 bytes: an integer, a float, or a pointer. Strings are 8-bit byte strings with a
// reference count, a length and a capacity (copy-on-write: a string shared by two cells is
// copied before it changes; an unshared one grows in place). Growth is geometric in the length,
// never in the old capacity, so appending is amortised constant time and the spare room stays
// a fraction of what the string holds; the empty string is the null pointer. Dynamic arrays are
// reference-counted and shared on assignment; like strings they keep spare capacity, so that
// SetLength one element at a time is amortised constant time too (the spare cells are always
// zero). Variants are immutable reference-counted boxes; the null pointer is Unassigned.
//
// Every heap object of a runtime is linked into its Heap, which frees whatever is still alive
// when the runtime ends, so no object outlives its run even when a runtime error interrupted the
// code that owned it. The heap counts the bytes of its live blocks (spare capacity included)
// and the most it ever held; sizes are capped: a request beyond the cap throws OutOfMemoryError.
//
// Threading: a Heap and its objects belong to one runtime, used by one thread at a time.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "scriptengine/image.h"

namespace qorsv::script::vm_internal {

union Cell {
  int64_t i;
  double f;
  void* p;
  Cell* c;
};
static_assert(sizeof(Cell) == 8);

// The largest string or dynamic array a script may make, and the most memory all the objects of
// one runtime may hold at once, in bytes: a runaway script fails with "Out Of Memory" long
// before it could starve the server.
constexpr int64_t kMaxObjectBytes = int64_t{1} << 29;
constexpr int64_t kMaxHeapBytes = int64_t{1} << 29;

struct OutOfMemoryError {};

// Cells of class type hold handles of the run's object table (object_table.h), not heap objects:
// a script frees its objects itself, and the table finds uses of freed ones.
enum class HeapKind : uint8_t { kString, kDynArray, kVariant };

struct HeapObject {
  int32_t refs;
  HeapKind kind;
  HeapObject* prev;
  HeapObject* next;
};

struct StrRep : HeapObject {
  int64_t length;
  int64_t capacity;
  char* data() { return reinterpret_cast<char*>(this + 1); }
};

struct DynArr : HeapObject {
  int64_t length;
  int64_t capacity;  // elements the block has room for; those from `length` on are zero
  int32_t element_rtti;
  int32_t element_cells;
  Cell* data() { return reinterpret_cast<Cell*>(this + 1); }
};

struct VarRep : HeapObject {
  uint16_t vtype;  // varEmpty... varString
  Cell value;      // varString: a StrRep* (owned)
};

enum VarTypeCode : uint16_t {
  kVtEmpty = 0,
  kVtNull = 1,
  kVtInteger = 3,
  kVtDouble = 5,
  kVtBoolean = 11,
  kVtInt64 = 20,
  kVtString = 0x100,
};

// Copies `n` bytes: short texts by a few loads and stores instead of a call of memcpy. Every
// byte is loaded before any is stored.
inline void CopyBytes(char* dst, const char* src, size_t n) {
  if (n > 16) {
    std::memcpy(dst, src, n);
  } else if (n >= 8) {
    uint64_t head;
    uint64_t tail;
    std::memcpy(&head, src, 8);
    std::memcpy(&tail, src + n - 8, 8);
    std::memcpy(dst, &head, 8);
    std::memcpy(dst + n - 8, &tail, 8);
  } else if (n >= 4) {
    uint32_t head;
    uint32_t tail;
    std::memcpy(&head, src, 4);
    std::memcpy(&tail, src + n - 4, 4);
    std::memcpy(dst, &head, 4);
    std::memcpy(dst + n - 4, &tail, 4);
  } else if (n > 0) {
    char first = src[0];
    char middle = src[n / 2];
    char last = src[n - 1];
    dst[0] = first;
    dst[n / 2] = middle;
    dst[n - 1] = last;
  }
}

class Heap {
 public:
  // `max_bytes`: the cap on what the heap's objects may hold together.
  explicit Heap(const std::vector<RttiEntry>* rtti, int64_t max_bytes = kMaxHeapBytes)
      : rtti_(rtti), max_bytes_(max_bytes) {}
  ~Heap();
  Heap(const Heap&) = delete;
  Heap& operator=(const Heap&) = delete;

  void set_rtti(const std::vector<RttiEntry>* rtti) { rtti_ = rtti; }

  // Strings.
  StrRep* NewString(int64_t length, int64_t capacity);
  StrRep* MakeString(std::string_view text) {
    // The common case inline: a short text in a kept small block.
    size_t block_size = BlockSize(sizeof(StrRep) + text.size() + 1);
    if (text.empty() || block_size > kSmallBytes) return MakeStringSlow(text);
    FreeBlock*& kept = small_free_[block_size / kSmallStep];
    if (kept == nullptr || bytes_ + static_cast<int64_t>(block_size) > max_bytes_) {
      return MakeStringSlow(text);
    }
    auto* s = reinterpret_cast<StrRep*>(kept);
    kept = kept->next;
    Account(block_size);
    s->refs = 1;
    s->kind = HeapKind::kString;
    Link(s);
    s->length = static_cast<int64_t>(text.size());
    s->capacity = static_cast<int64_t>(block_size - sizeof(StrRep) - 1);
    CopyBytes(s->data(), text.data(), text.size());
    s->data()[text.size()] = '\0';
    return s;
  }
  static std::string_view View(const void* rep) {
    if (rep == nullptr) return {};
    auto* s = static_cast<const StrRep*>(rep);
    return {reinterpret_cast<const char*>(s + 1), static_cast<size_t>(s->length)};
  }
  static int64_t Length(const void* rep) {
    return rep == nullptr ? 0 : static_cast<const StrRep*>(rep)->length;
  }
  // Makes the string in `cell` unshared, keeping its content; returns it (nullptr when empty).
  StrRep* Unique(Cell& cell);
  // Makes the string in `cell` unshared and of the given length (new bytes are zero), keeping
  // its content up to that length.
  void SetStringLength(Cell& cell, int64_t length);
  // cell := cell + text, in place when the string is unshared.
  void Append(Cell& cell, std::string_view text) {
    auto* s = static_cast<StrRep*>(cell.p);
    // The common case inline: room enough in an unshared string. (The text may be the string
    // itself, which lies before the bytes written.)
    if (s != nullptr && s->refs == 1 &&
        static_cast<int64_t>(text.size()) <= s->capacity - s->length) {
      CopyBytes(s->data() + s->length, text.data(), text.size());
      s->length += static_cast<int64_t>(text.size());
      s->data()[s->length] = '\0';
      return;
    }
    AppendGrowing(cell, text);
  }

  // Dynamic arrays.
  DynArr* NewArray(int64_t length, int32_t element_rtti) {
    return NewArray(length, length, element_rtti);
  }
  DynArr* NewArray(int64_t length, int64_t capacity, int32_t element_rtti);
  // Makes the array in `cell` of the given length, keeping the elements up to it and zeroing
  // the new ones. An unshared array changes in place; a shared one is copied first.
  void SetArrayLength(Cell& cell, int64_t length, int32_t element_rtti);
  static int64_t ArrayLength(const void* rep) {
    return rep == nullptr ? 0 : static_cast<const DynArr*>(rep)->length;
  }

  // Variants.
  VarRep* NewVariant(uint16_t vtype, Cell value);

  static void Retain(void* object) {
    if (object != nullptr) ++static_cast<HeapObject*>(object)->refs;
  }
  void Release(void* object) {
    if (object == nullptr || --static_cast<HeapObject*>(object)->refs != 0) return;
    auto* header = static_cast<HeapObject*>(object);
    if (header->kind != HeapKind::kString) {
      Destroy(object);
      return;
    }
    auto* s = static_cast<StrRep*>(header);
    size_t block_size = BlockSize(sizeof(StrRep) + static_cast<size_t>(s->capacity) + 1);
    if (block_size > kSmallBytes) {
      Destroy(object);
      return;
    }
    // The common case inline: a short string goes back to the kept small blocks.
    Unlink(s);
    bytes_ -= static_cast<int64_t>(block_size);
    --live_;
    auto* block = reinterpret_cast<FreeBlock*>(object);
    block->next = small_free_[block_size / kSmallStep];
    small_free_[block_size / kSmallStep] = block;
  }
  // dst := src for one managed cell.
  void Assign(Cell& dst, void* src) {
    Retain(src);
    void* old = dst.p;
    dst.p = src;
    Release(old);
  }

  // Composite values (records, static arrays) laid out in cells, by runtime type descriptor.
  void CopyComposite(Cell* dst, const Cell* src, int32_t rtti, bool release_old);
  void FinalizeComposite(Cell* cells, int32_t rtti);
  // Zeroes without releasing (the cells own nothing).
  static void Zero(Cell* cells, int32_t count) {
    std::memset(static_cast<void*>(cells), 0, sizeof(Cell) * static_cast<size_t>(count));
  }

  // Memory held outside the heap's blocks (host objects' lists and buffers), counted against the
  // same cap. ChargeExternal throws OutOfMemoryError when the cap does not allow it.
  void ChargeExternal(int64_t bytes) {
    Charge(static_cast<size_t>(bytes));
    allocated_ += bytes;
  }
  void Uncharge(int64_t bytes) { bytes_ -= bytes; }

  int64_t live_objects() const { return live_; }
  int64_t live_bytes() const { return bytes_; }
  // The most live_bytes() has been since the heap was made.
  int64_t peak_bytes() const { return peak_; }
  // The sizes of all blocks ever allocated or resized, added up: what the heap's work grew by.
  int64_t allocated_bytes() const { return allocated_; }

  // The capacity to grow to from `current` when `needed` does not fit: geometric in `current`.
  static int64_t GrownCapacity(int64_t current, int64_t needed);


 private:
  static int64_t StringCapacity(int64_t capacity);
  // The capacity to grow to from `current`, in units of `unit` bytes in a block with `header`
  // bytes more, that replaces a block of `replaced` bytes: GrownCapacity, but only as much room
  // as the memory cap still allows with some left for other objects, so that spare room never
  // makes a run fail (at least `needed`, which the cap then refuses when it must).
  int64_t GrowWithinCap(int64_t current, int64_t needed, size_t header, size_t unit,
                        size_t replaced) const;
  void* Allocate(size_t bytes, HeapKind kind);
  void Free(HeapObject* object);
  // A block of `block_size` bytes (a size BlockSize gives), from the kept small blocks or malloc;
  // nullptr when there is no memory. Does no accounting.
  void* TakeBlock(size_t block_size);
  void GiveBlock(void* block, size_t block_size);
  // Moves `object` into a block of `bytes` bytes, keeping its first bytes and its place in the
  // heap; charges the difference. Returns the moved object; throws OutOfMemoryError (leaving
  // the object as it was) when the memory cannot be had.
  HeapObject* Resize(HeapObject* object, size_t bytes);
  StrRep* ResizeString(StrRep* s, int64_t capacity);
  void AppendGrowing(Cell& cell, std::string_view text);
  static size_t SizeOf(const HeapObject* object);
  void Charge(size_t bytes);
  void Destroy(void* object);
  StrRep* MakeStringSlow(std::string_view text);
  // A new live block of `block_size` bytes.
  void Account(size_t block_size) {
    bytes_ += static_cast<int64_t>(block_size);
    if (bytes_ > peak_) peak_ = bytes_;
    allocated_ += static_cast<int64_t>(block_size);
    ++live_;
  }
  void Link(HeapObject* object) {
    object->prev = nullptr;
    object->next = head_;
    if (head_ != nullptr) head_->prev = object;
    head_ = object;
  }
  void Unlink(HeapObject* object) {
    if (object->prev != nullptr)
      object->prev->next = object->next;
    else
      head_ = object->next;
    if (object->next != nullptr) object->next->prev = object->prev;
  }

  // Small blocks are kept for reuse within the run instead of going back to malloc: scripts
  // make and drop many short strings. Blocks up to kSmallBytes are allocated in steps of
  // kSmallStep bytes, so every block of one size class can take any object of that class.
  static constexpr size_t kSmallStep = 16;
  static constexpr size_t kSmallBytes = 256;
  static size_t BlockSize(size_t bytes) {
    return bytes <= kSmallBytes ? (bytes + kSmallStep - 1) / kSmallStep * kSmallStep : bytes;
  }
  struct FreeBlock {
    FreeBlock* next;
  };

  const std::vector<RttiEntry>* rtti_;
  int64_t max_bytes_;
  FreeBlock* small_free_[kSmallBytes / kSmallStep + 1] = {};
  HeapObject* head_ = nullptr;
  int64_t live_ = 0;
  int64_t bytes_ = 0;
  int64_t peak_ = 0;
  int64_t allocated_ = 0;
};

}  // namespace qorsv::script::vm_internal
