#include "scriptengine/object_table.h"

#include "scriptengine/heap.h"

namespace qorsv::script::vm_internal {

ObjectTable::~ObjectTable() {
  for (Slot& slot : slots_) {
    delete slot.object;
    slot.object = nullptr;
  }
  for (HostObject* object : doomed_) delete object;
}

int64_t ObjectTable::Add(std::unique_ptr<HostObject> object) {
  heap_.ChargeExternal(kObjectBytes);
  uint32_t index;
  if (!free_slots_.empty()) {
    index = free_slots_.back();
    free_slots_.pop_back();
  } else {
    try {
      slots_.emplace_back();
    } catch (...) {
      heap_.Uncharge(kObjectBytes);
      throw;
    }
    index = static_cast<uint32_t>(slots_.size());
  }
  Slot& slot = slots_[index - 1];
  slot.object = object.release();
  slot.object->handle_ = static_cast<int64_t>(uint64_t{slot.generation} << 32 | index);
  ++live_;
  return slot.object->handle_;
}

HostObject* ObjectTable::Detach(int64_t handle) {
  Lookup state;
  HostObject* object = Find(handle, &state);
  if (object == nullptr) return nullptr;
  uint32_t index = static_cast<uint32_t>(handle);
  Slot& slot = slots_[index - 1];
  slot.object = nullptr;
  // A generation that would wrap to a handle's high bits of 0 skips to 1: handles stay nonzero.
  slot.generation = slot.generation == UINT32_MAX ? 1 : slot.generation + 1;
  free_slots_.push_back(index);
  --live_;
  heap_.Uncharge(kObjectBytes);
  return object;
}

bool ObjectTable::Free(int64_t handle) {
  // The slot is let go first, so that the objects BeforeFree frees cannot reach this one again.
  HostObject* object = Detach(handle);
  if (object == nullptr) return false;
  doomed_.push_back(object);
  if (freeing_) return true;  // called from a BeforeFree below: deleted by the loop
  freeing_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{freeing_};
  while (!doomed_.empty()) {
    HostObject* next = doomed_.back();
    doomed_.pop_back();
    std::unique_ptr<HostObject> deleted(next);
    next->BeforeFree(*this);
  }
  return true;
}

}  // namespace qorsv::script::vm_internal
