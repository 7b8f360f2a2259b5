#include "scriptengine/heap.h"

#include <algorithm>
#include <cstdlib>

namespace qorsv::script::vm_internal {
namespace {

void RetainWalk(const std::vector<RttiEntry>& rtti, Cell* cells, int32_t index);

}  // namespace

Heap::~Heap() {
  HeapObject* object = head_;
  while (object != nullptr) {
    HeapObject* next = object->next;
    std::free(object);
    object = next;
  }
  for (FreeBlock* block : small_free_) {
    while (block != nullptr) {
      FreeBlock* next = block->next;
      std::free(block);
      block = next;
    }
  }
}

size_t Heap::SizeOf(const HeapObject* object) {
  switch (object->kind) {
    case HeapKind::kString:
      return sizeof(StrRep) + static_cast<size_t>(static_cast<const StrRep*>(object)->capacity) + 1;
    case HeapKind::kDynArray: {
      auto* a = static_cast<const DynArr*>(object);
      return sizeof(DynArr) + sizeof(Cell) * static_cast<size_t>(a->capacity) *
                                  static_cast<size_t>(a->element_cells);
    }
    case HeapKind::kVariant:
      return sizeof(VarRep);
  }
  return 0;
}

void Heap::Charge(size_t bytes) {
  if (bytes > static_cast<size_t>(max_bytes_) || bytes_ + static_cast<int64_t>(bytes) > max_bytes_) {
    throw OutOfMemoryError{};
  }
  bytes_ += static_cast<int64_t>(bytes);
  if (bytes_ > peak_) peak_ = bytes_;
}

void* Heap::TakeBlock(size_t block_size) {
  if (block_size <= kSmallBytes) {
    FreeBlock*& kept = small_free_[block_size / kSmallStep];
    if (kept != nullptr) {
      FreeBlock* block = kept;
      kept = kept->next;
      return block;
    }
  }
  return std::malloc(block_size);
}

void Heap::GiveBlock(void* block, size_t block_size) {
  if (block_size > kSmallBytes) {
    std::free(block);
    return;
  }
  auto* kept = static_cast<FreeBlock*>(block);
  kept->next = small_free_[block_size / kSmallStep];
  small_free_[block_size / kSmallStep] = kept;
}

void* Heap::Allocate(size_t bytes, HeapKind kind) {
  if (bytes > static_cast<size_t>(kMaxObjectBytes) + 256) throw OutOfMemoryError{};
  size_t block_size = BlockSize(bytes);
  Charge(block_size);
  auto* object = static_cast<HeapObject*>(TakeBlock(block_size));
  if (object == nullptr) {
    bytes_ -= static_cast<int64_t>(block_size);
    throw OutOfMemoryError{};
  }
  object->refs = 1;
  object->kind = kind;
  Link(object);
  ++live_;
  allocated_ += static_cast<int64_t>(block_size);
  return object;
}

void Heap::Free(HeapObject* object) {
  size_t block_size = BlockSize(SizeOf(object));
  bytes_ -= static_cast<int64_t>(block_size);
  Unlink(object);
  --live_;
  GiveBlock(object, block_size);
}

HeapObject* Heap::Resize(HeapObject* object, size_t bytes) {
  if (bytes > static_cast<size_t>(kMaxObjectBytes) + 256) throw OutOfMemoryError{};
  const size_t old_block = BlockSize(SizeOf(object));
  const size_t new_block = BlockSize(bytes);
  if (new_block > old_block) Charge(new_block - old_block);
  HeapObject* moved;
  if (old_block > kSmallBytes && new_block > kSmallBytes) {
    moved = static_cast<HeapObject*>(std::realloc(object, new_block));
  } else {
    moved = static_cast<HeapObject*>(TakeBlock(new_block));
    if (moved != nullptr) std::memcpy(static_cast<void*>(moved), object, std::min(old_block, new_block));
  }
  if (moved == nullptr) {
    if (new_block > old_block) bytes_ -= static_cast<int64_t>(new_block - old_block);
    throw OutOfMemoryError{};
  }
  if (new_block < old_block) bytes_ -= static_cast<int64_t>(old_block - new_block);
  allocated_ += static_cast<int64_t>(new_block);
  // The neighbours still point at the old address: relink the moved object in its place.
  if (moved->prev != nullptr)
    moved->prev->next = moved;
  else
    head_ = moved;
  if (moved->next != nullptr) moved->next->prev = moved;
  if (moved != object && !(old_block > kSmallBytes && new_block > kSmallBytes)) {
    GiveBlock(object, old_block);
  }
  return moved;
}

int64_t Heap::GrownCapacity(int64_t current, int64_t needed) {
  // Doubling while small, half as much again once large: the spare room stays bounded by the
  // length, and a script near the memory cap is not refused for room it would never use.
  int64_t grown = current < (int64_t{1} << 20) ? current * 2 : current + current / 2;
  return std::max(needed, std::min(grown, kMaxObjectBytes));
}

int64_t Heap::GrowWithinCap(int64_t current, int64_t needed, size_t header, size_t unit,
                            size_t replaced) const {
  int64_t grown = GrownCapacity(current, needed);
  // Spare room stops short of the cap by a sixteenth of it, left for the run's other objects.
  int64_t room = max_bytes_ - max_bytes_ / 16 - bytes_ + static_cast<int64_t>(replaced) -
                 static_cast<int64_t>(header);
  if (room <= 0) return needed;
  return std::max(needed, std::min(grown, room / static_cast<int64_t>(unit)));
}

// A small string takes its whole block as capacity: room to grow at no cost.
int64_t Heap::StringCapacity(int64_t capacity) {
  size_t block_size = BlockSize(sizeof(StrRep) + static_cast<size_t>(capacity) + 1);
  if (block_size > kSmallBytes) return capacity;
  return static_cast<int64_t>(block_size - sizeof(StrRep) - 1);
}

StrRep* Heap::NewString(int64_t length, int64_t capacity) {
  if (length < 0 || capacity < length || capacity > kMaxObjectBytes) throw OutOfMemoryError{};
  capacity = StringCapacity(capacity);
  auto* s = static_cast<StrRep*>(
      Allocate(sizeof(StrRep) + static_cast<size_t>(capacity) + 1, HeapKind::kString));
  s->length = length;
  s->capacity = capacity;
  s->data()[length] = '\0';
  return s;
}

StrRep* Heap::MakeStringSlow(std::string_view text) {
  if (text.empty()) return nullptr;
  StrRep* s = NewString(static_cast<int64_t>(text.size()), static_cast<int64_t>(text.size()));
  std::memcpy(s->data(), text.data(), text.size());
  return s;
}

StrRep* Heap::ResizeString(StrRep* s, int64_t capacity) {
  if (capacity > kMaxObjectBytes) throw OutOfMemoryError{};
  capacity = StringCapacity(capacity);
  auto* moved =
      static_cast<StrRep*>(Resize(s, sizeof(StrRep) + static_cast<size_t>(capacity) + 1));
  moved->capacity = capacity;
  return moved;
}

StrRep* Heap::Unique(Cell& cell) {
  auto* s = static_cast<StrRep*>(cell.p);
  if (s == nullptr || s->refs == 1) return s;
  StrRep* copy = NewString(s->length, s->length);
  std::memcpy(copy->data(), s->data(), static_cast<size_t>(s->length));
  Release(s);
  cell.p = copy;
  return copy;
}

void Heap::SetStringLength(Cell& cell, int64_t length) {
  auto* s = static_cast<StrRep*>(cell.p);
  if (length <= 0) {
    Release(s);
    cell.p = nullptr;
    return;
  }
  if (length > kMaxObjectBytes) throw OutOfMemoryError{};
  int64_t old_length = s == nullptr ? 0 : s->length;
  if (s != nullptr && s->refs == 1) {
    if (length > s->capacity) {
      s = ResizeString(s, GrowWithinCap(old_length, length, sizeof(StrRep) + 1, 1,
                                        BlockSize(SizeOf(s))));
    } else if (length < s->capacity / 4 && s->capacity > static_cast<int64_t>(kSmallBytes)) {
      s = ResizeString(s, length);  // most of the block would lie idle
    }
    cell.p = s;
    if (length > old_length) {
      std::memset(s->data() + old_length, 0, static_cast<size_t>(length - old_length));
    }
    s->length = length;
    s->data()[length] = '\0';
    return;
  }
  StrRep* grown = NewString(length, length);
  int64_t kept = std::min(old_length, length);
  if (kept > 0) std::memcpy(grown->data(), s->data(), static_cast<size_t>(kept));
  std::memset(grown->data() + kept, 0, static_cast<size_t>(length - kept));
  Release(s);
  cell.p = grown;
}

void Heap::AppendGrowing(Cell& cell, std::string_view text) {
  if (text.empty()) return;
  auto* s = static_cast<StrRep*>(cell.p);
  if (s == nullptr) {
    cell.p = MakeString(text);
    return;
  }
  int64_t length = s->length;
  int64_t needed = length + static_cast<int64_t>(text.size());
  if (needed > kMaxObjectBytes) throw OutOfMemoryError{};
  if (s->refs == 1 && s->capacity >= needed) {
    std::memmove(s->data() + length, text.data(), text.size());
    s->length = needed;
    s->data()[needed] = '\0';
    return;
  }
  int64_t capacity = GrowWithinCap(length, needed, sizeof(StrRep) + 1, 1,
                                   s->refs == 1 ? BlockSize(SizeOf(s)) : 0);
  if (s->refs == 1) {
    // The appended text may be part of the string itself, which is about to move.
    const char* old_data = s->data();
    bool inside = text.data() >= old_data && text.data() <= old_data + s->capacity;
    size_t offset = inside ? static_cast<size_t>(text.data() - old_data) : 0;
    s = ResizeString(s, capacity);
    cell.p = s;
    if (inside) text = std::string_view(s->data() + offset, text.size());
    std::memcpy(s->data() + length, text.data(), text.size());
    s->length = needed;
    s->data()[needed] = '\0';
    return;
  }
  StrRep* joined = NewString(needed, capacity);
  std::memcpy(joined->data(), s->data(), static_cast<size_t>(length));
  std::memcpy(joined->data() + length, text.data(), text.size());
  Release(s);
  cell.p = joined;
}

namespace {

// The most elements of `element_cells` cells each that an array may have.
int64_t MaxElements(int32_t element_cells) {
  return element_cells > 0 ? kMaxObjectBytes / static_cast<int64_t>(sizeof(Cell)) / element_cells
                           : kMaxObjectBytes;
}

}  // namespace

DynArr* Heap::NewArray(int64_t length, int64_t capacity, int32_t element_rtti) {
  int32_t element_cells = element_rtti >= 0 ? (*rtti_)[element_rtti].cells : 1;
  if (length < 0 || length > MaxElements(element_cells)) throw OutOfMemoryError{};
  capacity = std::clamp(capacity, length, MaxElements(element_cells));
  size_t data_bytes =
      sizeof(Cell) * static_cast<size_t>(capacity) * static_cast<size_t>(element_cells);
  auto* a = static_cast<DynArr*>(Allocate(sizeof(DynArr) + data_bytes, HeapKind::kDynArray));
  a->length = length;
  a->capacity = capacity;
  a->element_rtti = element_rtti;
  a->element_cells = element_cells;
  std::memset(static_cast<void*>(a->data()), 0, data_bytes);
  return a;
}

void Heap::SetArrayLength(Cell& cell, int64_t length, int32_t element_rtti) {
  auto* a = static_cast<DynArr*>(cell.p);
  if (length <= 0) {
    Release(a);
    cell.p = nullptr;
    return;
  }
  if (a == nullptr) {
    cell.p = NewArray(length, element_rtti);
    return;
  }
  const int32_t cells = a->element_cells;
  const bool managed = element_rtti >= 0 && (*rtti_)[element_rtti].managed;
  if (a->refs == 1) {
    if (length < a->length) {
      // The dropped elements are released and zeroed: the spare cells stay zero.
      for (int64_t i = length; i < a->length; ++i) {
        if (managed) FinalizeComposite(a->data() + i * cells, element_rtti);
      }
      std::memset(static_cast<void*>(a->data() + length * cells), 0,
                  sizeof(Cell) * static_cast<size_t>((a->length - length) * cells));
      if (length < a->capacity / 4 && SizeOf(a) > kSmallBytes) {
        // Most of the block would lie idle.
        a = static_cast<DynArr*>(Resize(
            a, sizeof(DynArr) + sizeof(Cell) * static_cast<size_t>(length * cells)));
        a->capacity = length;
        cell.p = a;
      }
    } else if (length > a->capacity) {
      if (length > MaxElements(cells)) throw OutOfMemoryError{};
      int64_t capacity =
          std::min(GrowWithinCap(a->length, length, sizeof(DynArr),
                                 sizeof(Cell) * static_cast<size_t>(std::max(cells, 1)),
                                 BlockSize(SizeOf(a))),
                   MaxElements(cells));
      int64_t old_capacity = a->capacity;
      a = static_cast<DynArr*>(Resize(
          a, sizeof(DynArr) + sizeof(Cell) * static_cast<size_t>(capacity) *
                                  static_cast<size_t>(cells)));
      std::memset(static_cast<void*>(a->data() + old_capacity * cells), 0,
                  sizeof(Cell) * static_cast<size_t>((capacity - old_capacity) * cells));
      a->capacity = capacity;
      cell.p = a;
    }
    a->length = length;
    return;
  }
  // Shared: the other holders keep the array as it is; this one gets a copy.
  int64_t capacity =
      length > a->length
          ? GrowWithinCap(a->length, length, sizeof(DynArr),
                          sizeof(Cell) * static_cast<size_t>(std::max(cells, 1)), 0)
          : length;
  DynArr* made = NewArray(length, capacity, element_rtti);
  int64_t kept = std::min(a->length, length);
  if (managed) {
    for (int64_t i = 0; i < kept; ++i) {
      CopyComposite(made->data() + i * cells, a->data() + i * cells, element_rtti, false);
    }
  } else {
    std::memcpy(static_cast<void*>(made->data()), a->data(),
                sizeof(Cell) * static_cast<size_t>(kept * cells));
  }
  Release(a);
  cell.p = made;
}

VarRep* Heap::NewVariant(uint16_t vtype, Cell value) {
  auto* v = static_cast<VarRep*>(Allocate(sizeof(VarRep), HeapKind::kVariant));
  v->vtype = vtype;
  v->value = value;
  return v;
}

namespace {

void RetainWalk(const std::vector<RttiEntry>& rtti, Cell* cells, int32_t index) {
  const RttiEntry& entry = rtti[index];
  if (!entry.managed) return;
  switch (entry.kind) {
    case RttiEntry::Kind::kManaged:
    case RttiEntry::Kind::kDynArray:
      Heap::Retain(cells[0].p);
      return;
    case RttiEntry::Kind::kStaticArray:
      for (int32_t i = 0; i < entry.count; ++i) {
        RetainWalk(rtti, cells + static_cast<int64_t>(i) * entry.element_cells, entry.element);
      }
      return;
    case RttiEntry::Kind::kRecord:
      for (const auto& [offset, field] : entry.fields) {
        if (field < 0)
          Heap::Retain(cells[offset].p);
        else
          RetainWalk(rtti, cells + offset, field);
      }
      return;
    case RttiEntry::Kind::kPlain:
      return;
  }
}

}  // namespace

void Heap::CopyComposite(Cell* dst, const Cell* src, int32_t rtti, bool release_old) {
  if (dst == src) return;
  const RttiEntry& entry = (*rtti_)[rtti];
  Cell* source = const_cast<Cell*>(src);
  RetainWalk(*rtti_, source, rtti);
  if (release_old && entry.managed) FinalizeComposite(dst, rtti);
  std::memcpy(static_cast<void*>(dst), src, sizeof(Cell) * static_cast<size_t>(entry.cells));
}

void Heap::FinalizeComposite(Cell* cells, int32_t rtti) {
  const RttiEntry& entry = (*rtti_)[rtti];
  if (!entry.managed) return;
  switch (entry.kind) {
    case RttiEntry::Kind::kManaged:
    case RttiEntry::Kind::kDynArray: {
      void* old = cells[0].p;
      cells[0].p = nullptr;
      Release(old);
      return;
    }
    case RttiEntry::Kind::kStaticArray:
      for (int32_t i = 0; i < entry.count; ++i) {
        Cell* element = cells + static_cast<int64_t>(i) * entry.element_cells;
        // Most elements of a large, sparsely used array are empty: skip them cheaply.
        if ((*rtti_)[entry.element].kind == RttiEntry::Kind::kManaged) {
          if (element->p != nullptr) {
            void* old = element->p;
            element->p = nullptr;
            Release(old);
          }
        } else {
          FinalizeComposite(element, entry.element);
        }
      }
      return;
    case RttiEntry::Kind::kRecord:
      for (const auto& [offset, field] : entry.fields) {
        if (field < 0) {
          void* old = cells[offset].p;
          cells[offset].p = nullptr;
          Release(old);
        } else {
          FinalizeComposite(cells + offset, field);
        }
      }
      return;
    case RttiEntry::Kind::kPlain:
      return;
  }
}

void Heap::Destroy(void* object) {
  auto* header = static_cast<HeapObject*>(object);
  switch (header->kind) {
    case HeapKind::kString:
      break;
    case HeapKind::kDynArray: {
      auto* a = static_cast<DynArr*>(header);
      if (a->element_rtti >= 0 && (*rtti_)[a->element_rtti].managed) {
        for (int64_t i = 0; i < a->length; ++i) {
          FinalizeComposite(a->data() + i * a->element_cells, a->element_rtti);
        }
      }
      break;
    }
    case HeapKind::kVariant: {
      auto* v = static_cast<VarRep*>(header);
      if (v->vtype == kVtString) Release(v->value.p);
      break;
    }
  }
  Free(header);
}

}  // namespace qorsv::script::vm_internal
