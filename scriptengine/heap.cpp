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

void Heap::Link(HeapObject* object) {
  object->prev = nullptr;
  object->next = head_;
  if (head_ != nullptr) head_->prev = object;
  head_ = object;
}

void Heap::Unlink(HeapObject* object) {
  if (object->prev != nullptr)
    object->prev->next = object->next;
  else
    head_ = object->next;
  if (object->next != nullptr) object->next->prev = object->prev;
}

size_t Heap::SizeOf(const HeapObject* object) {
  switch (object->kind) {
    case HeapKind::kString:
      return sizeof(StrRep) + static_cast<size_t>(static_cast<const StrRep*>(object)->capacity) + 1;
    case HeapKind::kDynArray: {
      auto* a = static_cast<const DynArr*>(object);
      return sizeof(DynArr) +
             sizeof(Cell) * static_cast<size_t>(a->length) * static_cast<size_t>(a->element_cells);
    }
    case HeapKind::kVariant:
      return sizeof(VarRep);
  }
  return 0;
}

void Heap::Charge(size_t bytes) {
  if (bytes > static_cast<size_t>(kMaxHeapBytes) ||
      bytes_ + static_cast<int64_t>(bytes) > kMaxHeapBytes) {
    throw OutOfMemoryError{};
  }
  bytes_ += static_cast<int64_t>(bytes);
}

void* Heap::Allocate(size_t bytes, HeapKind kind) {
  if (bytes > static_cast<size_t>(kMaxObjectBytes) + 256) throw OutOfMemoryError{};
  size_t block_size = BlockSize(bytes);
  Charge(block_size);
  HeapObject* object = nullptr;
  if (block_size <= kSmallBytes) {
    FreeBlock*& kept = small_free_[block_size / kSmallStep];
    if (kept != nullptr) {
      object = reinterpret_cast<HeapObject*>(kept);
      kept = kept->next;
    }
  }
  if (object == nullptr) object = static_cast<HeapObject*>(std::malloc(block_size));
  if (object == nullptr) {
    bytes_ -= static_cast<int64_t>(block_size);
    throw OutOfMemoryError{};
  }
  object->refs = 1;
  object->kind = kind;
  Link(object);
  ++live_;
  return object;
}

void Heap::Free(HeapObject* object) {
  size_t block_size = BlockSize(SizeOf(object));
  bytes_ -= static_cast<int64_t>(block_size);
  Unlink(object);
  --live_;
  if (block_size > kSmallBytes) {
    std::free(object);
    return;
  }
  auto* block = reinterpret_cast<FreeBlock*>(object);
  block->next = small_free_[block_size / kSmallStep];
  small_free_[block_size / kSmallStep] = block;
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

StrRep* Heap::MakeString(std::string_view text) {
  if (text.empty()) return nullptr;
  StrRep* s = NewString(static_cast<int64_t>(text.size()), static_cast<int64_t>(text.size()));
  std::memcpy(s->data(), text.data(), text.size());
  return s;
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
  if (s != nullptr && s->refs == 1 && s->capacity >= length) {
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

void Heap::Append(Cell& cell, std::string_view text) {
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
  int64_t capacity = std::max<int64_t>(needed, std::min<int64_t>(kMaxObjectBytes, s->capacity * 2));
  capacity = StringCapacity(std::max<int64_t>(capacity, 16));
  size_t new_block = sizeof(StrRep) + static_cast<size_t>(capacity) + 1;
  if (s->refs == 1 && new_block > kSmallBytes) {
    // Growing in place: the appended text may be the string itself.
    std::string saved;
    if (text.data() >= s->data() && text.data() < s->data() + s->capacity + 1) {
      saved.assign(text);
      text = saved;
    }
    size_t old_block = BlockSize(SizeOf(s));
    Charge(new_block - old_block);
    Unlink(s);
    auto* grown = static_cast<StrRep*>(std::realloc(s, new_block));
    if (grown == nullptr) {
      Link(s);
      bytes_ -= static_cast<int64_t>(new_block - old_block);
      throw OutOfMemoryError{};
    }
    Link(grown);
    grown->capacity = capacity;
    std::memcpy(grown->data() + length, text.data(), text.size());
    grown->length = needed;
    grown->data()[needed] = '\0';
    cell.p = grown;
    return;
  }
  StrRep* joined = NewString(needed, capacity);
  std::memcpy(joined->data(), s->data(), static_cast<size_t>(length));
  std::memcpy(joined->data() + length, text.data(), text.size());
  Release(s);
  cell.p = joined;
}

DynArr* Heap::NewArray(int64_t length, int32_t element_rtti) {
  int32_t element_cells = element_rtti >= 0 ? (*rtti_)[element_rtti].cells : 1;
  if (length < 0 || (element_cells > 0 && length > kMaxObjectBytes / 8 / element_cells)) {
    throw OutOfMemoryError{};
  }
  size_t data_bytes =
      sizeof(Cell) * static_cast<size_t>(length) * static_cast<size_t>(element_cells);
  auto* a = static_cast<DynArr*>(Allocate(sizeof(DynArr) + data_bytes, HeapKind::kDynArray));
  a->length = length;
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
  if (a != nullptr && a->length == length && a->refs == 1) return;
  DynArr* made = NewArray(length, element_rtti);
  if (a != nullptr) {
    int64_t kept = std::min(a->length, length);
    int32_t cells = a->element_cells;
    if (element_rtti >= 0 && (*rtti_)[element_rtti].managed) {
      for (int64_t i = 0; i < kept; ++i) {
        CopyComposite(made->data() + i * cells, a->data() + i * cells, element_rtti, false);
      }
    } else {
      std::memcpy(static_cast<void*>(made->data()), a->data(),
                  sizeof(Cell) * static_cast<size_t>(kept * cells));
    }
    Release(a);
  }
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
