#include "scripthost/echo_slots.h"

#include "transport/error.h"

namespace qorsv {

ScriptEchoSlotTable::ScriptEchoSlotTable()
    : slots_(std::make_unique<std::array<Slot, kSlotCount>>()) {}

ScriptEchoSlotTable::Slot& ScriptEchoSlotTable::At(int64_t slot) const {
  if (slot < 1 || slot > kSlotCount) {
    throw QorsvError("Output slot " + std::to_string(slot) + " does not exist (1 to " +
                     std::to_string(kSlotCount) + ")");
  }
  return (*slots_)[slot - 1];
}

int ScriptEchoSlotTable::TakeOutputSlot(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  int taken = 0;
  auto take_free_slot = [&] {
    for (int n = 1; n <= kSlotCount; ++n) {
      if (!At(n).echo.busy) {
        taken = n;
        return true;
      }
    }
    return false;
  };
  if (!released_.wait_for(lock, wait, take_free_slot)) {
    throw QorsvError("All " + std::to_string(kSlotCount) + " script output slots are busy");
  }
  Slot& slot = At(taken);
  slot.echo.busy = 1;
  std::lock_guard slot_lock(slot.mutex);
  slot.echo.output.clear();
  return taken;
}

void ScriptEchoSlotTable::ReleaseOutputSlot(int slot) {
  Slot& entry = At(slot);
  {
    std::lock_guard lock(mutex_);
    entry.echo.busy = 0;
  }
  released_.notify_one();
}

std::string ScriptEchoSlotTable::SlotOutput(int slot) const {
  Slot& entry = At(slot);
  std::lock_guard lock(entry.mutex);
  return entry.echo.output;
}

void ScriptEchoSlotTable::Append(int64_t slot, const std::string& text) {
  Slot& entry = At(slot);
  std::lock_guard lock(entry.mutex);
  entry.echo.output += text;
}

bool ScriptEchoSlotTable::Busy(int slot) const {
  Slot& entry = At(slot);
  std::lock_guard lock(mutex_);
  return entry.echo.busy != 0;
}

ScriptEchoSlotTable& ScriptEchoSlots() {
  static ScriptEchoSlotTable table;
  return table;
}

}  // namespace qorsv
