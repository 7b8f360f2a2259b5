// ScriptEchoSlots: the 1000 output slots (Tscriptecho) that script runs write into. The script
// runner takes a slot for each run, hands its number to the script as `uniqueecho`, collects
// the slot's text at the end of the run and releases it; write_html and newline append to a
// slot by number.
//
// Thread-safe: taking a slot is atomic (two runs never share one), and appends and reads of one
// slot are serialised, also when a script names a slot that another run owns.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace qorsv {

struct Tscriptecho {
  std::string output;  // everything written into the slot since it was taken
  uint8_t busy = 0;    // the slot belongs to a running script
};

class ScriptEchoSlotTable {
 public:
  static constexpr int kSlotCount = 1000;
  // How long TakeOutputSlot waits for a slot when all of them are busy.
  static constexpr std::chrono::milliseconds kTakeWait{10000};

  ScriptEchoSlotTable();

  // Takes the lowest-numbered free slot, marks it busy and empties it. When every slot is busy,
  // waits up to `wait` for one to be released, then throws QorsvError.
  int TakeOutputSlot(std::chrono::milliseconds wait = kTakeWait);

  // Marks the slot free. Throws QorsvError for a number outside 1 to 1000.
  void ReleaseOutputSlot(int slot);

  // The slot's text. Throws QorsvError for a number outside 1 to 1000.
  std::string SlotOutput(int slot) const;

  // Appends to the slot's text. Throws QorsvError for a number outside 1 to 1000.
  void Append(int64_t slot, const std::string& text);

  bool Busy(int slot) const;

 private:
  struct Slot {
    mutable std::mutex mutex;  // guards echo.output
    Tscriptecho echo;          // echo.busy is guarded by the table's mutex
  };

  Slot& At(int64_t slot) const;

  mutable std::mutex mutex_;
  std::condition_variable released_;
  std::unique_ptr<std::array<Slot, kSlotCount>> slots_;
};

// The process-wide table.
ScriptEchoSlotTable& ScriptEchoSlots();

// The runner's view of the process-wide table.
inline int TakeOutputSlot() { return ScriptEchoSlots().TakeOutputSlot(); }
inline void ReleaseOutputSlot(int slot) { ScriptEchoSlots().ReleaseOutputSlot(slot); }
inline std::string SlotOutput(int slot) { return ScriptEchoSlots().SlotOutput(slot); }

}  // namespace qorsv
