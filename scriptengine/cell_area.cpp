// Zero-filled cell areas: mapped pages for large areas, calloc for small ones.
#include "scriptengine/cell_area.h"

#include <sys/mman.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>
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

namespace {

struct KeptAreas {
  std::mutex lock;
  std::vector<CellArea> areas;
};

KeptAreas& Kept() {
  static KeptAreas kept;
  return kept;
}

// Zeroes the pages of `area` that are in memory and hands the others back to the kernel when
// some could be in swap, so that all of it reads as zero again. False when the kernel would not tell or take them.
bool ClearArea(CellArea& area) {
  static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  auto* base = reinterpret_cast<unsigned char*>(area.get());
  size_t pages = (area.bytes() + page - 1) / page;
  std::vector<unsigned char> resident(pages);
  if (mincore(base, area.bytes(), resident.data()) != 0) return false;
  // Without swap, a page not in memory was never written: it reads as zero already. (A page
  // swapped out while swap was on is read back in by swapoff, so "no swap now" is enough.)
  struct sysinfo system {};
  bool swap_in_use = sysinfo(&system) != 0 || system.totalswap > 0;
  size_t i = 0;
  while (i < pages) {
    size_t run = i;
    bool in_memory = resident[i] & 1;
    while (run < pages && (resident[run] & 1) == in_memory) ++run;
    size_t from = i * page;
    size_t length = std::min(run * page, area.bytes()) - from;
    if (in_memory) {
      std::memset(base + from, 0, length);
    } else if (swap_in_use && madvise(base + from, length, MADV_DONTNEED) != 0) {
      return false;  // a page that was swapped out could hold old values
    }
    i = run;
  }
  return true;
}

}  // namespace

CellArea CellAreaPool::Take(int64_t count) {
  {
    KeptAreas& kept = Kept();
    std::lock_guard<std::mutex> hold(kept.lock);
    for (auto it = kept.areas.begin(); it != kept.areas.end(); ++it) {
      if (static_cast<int64_t>(it->cells()) != count) continue;
      CellArea area = std::move(*it);
      kept.areas.erase(it);
      return area;
    }
  }
  return CellArea(count);
}

void CellAreaPool::Give(CellArea area) {
  if (!area.mapped() || !ClearArea(area)) return;
  Keep(std::move(area));
}

void CellAreaPool::Give(CellArea area, size_t used) {
  if (!area.mapped()) return;
  std::memset(static_cast<void*>(area.get()), 0, std::min(used, area.cells()) * sizeof(Cell));
  Keep(std::move(area));
}

void CellAreaPool::Keep(CellArea area) {
  KeptAreas& kept = Kept();
  std::lock_guard<std::mutex> hold(kept.lock);
  if (kept.areas.size() < kKept) kept.areas.push_back(std::move(area));
}

}  // namespace qorsv::script::vm_internal
