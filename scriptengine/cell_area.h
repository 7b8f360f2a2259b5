// CellArea: a zero-filled array of VM cells owned by one runtime (its globals or its stack).
//
// Large areas are mapped straight from the kernel, so their pages are zero and untouched until
// the script uses them: an 8 MiB stack per run costs a mapping, not 8 MiB of clearing. (calloc
// would hand a recycled heap block back and clear every byte of it.) Small areas use calloc.
//
// Threading: owned by one Machine; no sharing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scriptengine/heap.h"

namespace qorsv::script::vm_internal {

class CellArea {
 public:
  CellArea() = default;
  // Throws std::bad_alloc when the memory cannot be had.
  explicit CellArea(int64_t count);
  ~CellArea();
  CellArea(CellArea&& other) noexcept;
  CellArea& operator=(CellArea&& other) noexcept;
  CellArea(const CellArea&) = delete;
  CellArea& operator=(const CellArea&) = delete;

  Cell* get() const { return cells_; }
  size_t cells() const { return bytes_ / sizeof(Cell); }

 private:
  void Release();

  Cell* cells_ = nullptr;
  size_t bytes_ = 0;
  bool mapped_ = false;
};

// Runtime stacks kept between runs: mapping and unmapping a large area for every run costs
// system calls, page faults and cross-processor TLB flushes. A returned stack is cleared up to
// the highest cell its runtime used, so a taken one is as zero as a fresh mapping. At most
// kKept stacks are kept; only their touched pages take memory.
//
// Threading: one lock guards the kept stacks.
class StackAreaPool {
 public:
  static constexpr size_t kKept = 16;

  // A zero-filled area of `count` cells.
  static CellArea Take(int64_t count);
  // Takes back an area whose cells from `used` on were never written.
  static void Give(CellArea area, size_t used);
};

}  // namespace qorsv::script::vm_internal
