// The object table of a runtime: every host object a run holds, found by the handle that script
// variables of class types contain.
//
// A handle is the slot number (from 1) in its low 32 bits and the slot's generation in its high
// bits; 0 is nil. Freeing an object bumps its slot's generation, so a handle kept by the script
// after Free no longer finds anything: Find tells nil, freed and live apart. Slots are reused, so
// a run that makes and frees objects by the hundred thousand keeps a small table. Each object
// counts kObjectBytes against the run's memory cap (its containers charge their own memory, see
// HeapCharge). The table deletes every object still in it when it is destroyed.
//
// Threading: belongs to one runtime, one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "scriptengine/host_object.h"

namespace qorsv::script::vm_internal {

class Heap;

// What each object costs the run's memory cap besides its containers.
constexpr int64_t kObjectBytes = 64;

class ObjectTable {
 public:
  explicit ObjectTable(Heap& heap) : heap_(heap) {}
  ~ObjectTable();
  ObjectTable(const ObjectTable&) = delete;
  ObjectTable& operator=(const ObjectTable&) = delete;

  enum class Lookup { kLive, kNil, kFreed };

  // Takes `object` into the run; returns its handle. Throws OutOfMemoryError past the cap.
  int64_t Add(std::unique_ptr<HostObject> object);
  // The live object of `handle`, else nullptr with `*state` saying why.
  HostObject* Find(int64_t handle, Lookup* state) const {
    uint32_t index = static_cast<uint32_t>(handle);
    if (index == 0) {
      *state = Lookup::kNil;
      return nullptr;
    }
    if (index > slots_.size() ||
        slots_[index - 1].generation != static_cast<uint32_t>(handle >> 32) ||
        slots_[index - 1].object == nullptr) {
      *state = Lookup::kFreed;
      return nullptr;
    }
    *state = Lookup::kLive;
    return slots_[index - 1].object;
  }
  // Frees the live object of `handle` (BeforeFree first). False when there is none. Objects
  // that BeforeFree frees in turn are freed after it, one at a time, so that a chain of owners
  // of any length goes without deep recursion.
  bool Free(int64_t handle);

  size_t live_objects() const { return live_; }

 private:
  struct Slot {
    HostObject* object = nullptr;
    uint32_t generation = 1;
  };
  // Takes the live object of `handle` out of its slot; nullptr when there is none.
  HostObject* Detach(int64_t handle);

  Heap& heap_;
  std::vector<Slot> slots_;
  std::vector<uint32_t> free_slots_;
  size_t live_ = 0;
  // While Free runs: the objects taken out of their slots and not yet deleted.
  std::vector<HostObject*> doomed_;
  bool freeing_ = false;
};

}  // namespace qorsv::script::vm_internal
