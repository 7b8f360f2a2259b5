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
  size_t bytes() const { return bytes_; }
  bool mapped() const { return mapped_; }

 private:
  void Release();

  Cell* cells_ = nullptr;
  size_t bytes_ = 0;
  bool mapped_ = false;
};

// Large cell areas (stacks, global areas) kept between runtimes: mapping and unmapping them for
// every run costs system calls, page faults and cross-processor TLB flushes. A returned area is
// cleared before it is kept: its pages in memory are zeroed, the others are handed back to the
// kernel (which zero-fills them when touched again). So a taken area is as zero as a fresh
// mapping, and a kept one holds only the pages its last runtime touched. At most kKept areas
// are kept.
//
// Threading: one lock guards the kept areas.
class CellAreaPool {
 public:
  static constexpr size_t kKept = 32;

  // A zero-filled area of `count` cells.
  static CellArea Take(int64_t count);
  // Takes back an area; small ones (not mapped) and those it cannot clear are freed.
  static void Give(CellArea area);
  // The same for an area whose cells from `used` on were never written (a runtime's stack up to
  // its highest frame): only the used part is cleared.
  static void Give(CellArea area, size_t used);

 private:
  static void Keep(CellArea area);
};

}  // namespace qorsv::script::vm_internal
