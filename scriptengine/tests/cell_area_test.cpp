// Cell areas: zero-filled when made, and zero-filled again when taken back from the pool.
#include "scriptengine/cell_area.h"

#include <gtest/gtest.h>

namespace qorsv::script::vm_internal {
namespace {

bool AllZero(const CellArea& area) {
  for (size_t i = 0; i < area.cells(); ++i) {
    if (area.get()[i].i != 0) return false;
  }
  return true;
}

TEST(CellAreaTest, KeptAreasComeBackZeroWhereverTheyWereWritten) {
  constexpr int64_t kCells = 300000;  // mapped: several hundred pages
  CellArea area = CellAreaPool::Take(kCells);
  ASSERT_TRUE(area.mapped());
  ASSERT_TRUE(AllZero(area));
  Cell* first = area.get();
  for (int64_t i : {int64_t{0}, int64_t{511}, kCells / 2, kCells - 1}) area.get()[i].i = i + 7;
  CellAreaPool::Give(std::move(area));

  CellArea again = CellAreaPool::Take(kCells);
  EXPECT_EQ(again.get(), first);  // the kept one
  EXPECT_TRUE(AllZero(again));
  CellAreaPool::Give(std::move(again));
}

TEST(CellAreaTest, SmallAreasAreNotKept) {
  CellArea small = CellAreaPool::Take(16);
  EXPECT_FALSE(small.mapped());
  EXPECT_TRUE(AllZero(small));
  small.get()[3].i = 9;
  CellAreaPool::Give(std::move(small));
  EXPECT_TRUE(AllZero(CellAreaPool::Take(16)));
}

}  // namespace
}  // namespace qorsv::script::vm_internal
