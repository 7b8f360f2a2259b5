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

 private:
  void Release();

  Cell* cells_ = nullptr;
  size_t bytes_ = 0;
  bool mapped_ = false;
};

}  // namespace qorsv::script::vm_internal
