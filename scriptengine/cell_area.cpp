// Zero-filled cell areas: mapped pages for large areas, calloc for small ones.
#include "scriptengine/cell_area.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>
#include <utility>

namespace qorsv::script::vm_internal {
namespace {

constexpr size_t kMapThresholdBytes = size_t{64} * 1024;

}  // namespace

CellArea::CellArea(int64_t count) {
  size_t cells = static_cast<size_t>(count > 0 ? count : 1);
  bytes_ = cells * sizeof(Cell);
  if (bytes_ >= kMapThresholdBytes) {
    void* area = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) throw std::bad_alloc();
    cells_ = static_cast<Cell*>(area);
    mapped_ = true;
  } else {
    cells_ = static_cast<Cell*>(std::calloc(cells, sizeof(Cell)));
    if (cells_ == nullptr) throw std::bad_alloc();
  }
}

CellArea::~CellArea() { Release(); }

CellArea::CellArea(CellArea&& other) noexcept
    : cells_(std::exchange(other.cells_, nullptr)),
      bytes_(std::exchange(other.bytes_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

CellArea& CellArea::operator=(CellArea&& other) noexcept {
  if (this != &other) {
    Release();
    cells_ = std::exchange(other.cells_, nullptr);
    bytes_ = std::exchange(other.bytes_, 0);
    mapped_ = std::exchange(other.mapped_, false);
  }
  return *this;
}

void CellArea::Release() {
  if (cells_ == nullptr) return;
  if (mapped_) {
    munmap(cells_, bytes_);
  } else {
    std::free(cells_);
  }
  cells_ = nullptr;
}

}  // namespace qorsv::script::vm_internal
