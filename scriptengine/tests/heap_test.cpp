// Heap objects: copy-on-write strings, in-place growth, arrays and the per-runtime accounting.
#include "scriptengine/heap.h"

#include <gtest/gtest.h>

namespace qorsv::script::vm_internal {
namespace {

std::vector<RttiEntry> StringElements() {
  RttiEntry entry;
  entry.kind = RttiEntry::Kind::kManaged;
  entry.managed = true;
  return {entry};
}

TEST(HeapTest, AppendGrowsInPlaceWithGeometricCapacity) {
  Heap heap(nullptr);
  Cell s;
  s.p = nullptr;
  int grown = 0;
  int64_t capacity = 0;
  for (int i = 0; i < 100000; ++i) {
    heap.Append(s, "x");
    auto* rep = static_cast<StrRep*>(s.p);
    if (rep->capacity != capacity) ++grown;
    capacity = rep->capacity;
  }
  EXPECT_EQ(Heap::Length(s.p), 100000);
  EXPECT_LT(grown, 40);
  EXPECT_EQ(heap.live_objects(), 1);
  heap.Release(s.p);
  EXPECT_EQ(heap.live_objects(), 0);
  EXPECT_EQ(heap.live_bytes(), 0);
}

TEST(HeapTest, CopiesOfSharedStringsGrowWithTheLength) {
  // A string shared before every append is copied every time; the copy's room must follow its
  // length, not the capacity of the string it was copied from, or memory grows exponentially.
  Heap heap(nullptr);
  Cell s;
  s.p = heap.MakeString("x");
  for (int i = 0; i < 200; ++i) {
    Cell shared = s;
    Heap::Retain(shared.p);
    heap.Append(s, "yz");
    heap.Release(shared.p);
    auto* rep = static_cast<StrRep*>(s.p);
    ASSERT_LE(rep->capacity, 2 * rep->length + 256) << i;
  }
  EXPECT_EQ(Heap::Length(s.p), 401);
  EXPECT_LE(heap.peak_bytes(), 4096);
  heap.Release(s.p);
  EXPECT_EQ(heap.live_bytes(), 0);
}

TEST(HeapTest, SpareRoomNeverMakesAStringOrArrayHitTheCap) {
  // Near the cap, growth takes only the room that is left: what fits under the cap succeeds.
  constexpr int64_t kCap = int64_t{10} << 20;
  std::vector<RttiEntry> rtti(1);
  Heap heap(&rtti, kCap);
  Cell s;
  s.p = nullptr;
  const std::string chunk(1024, 'c');
  while (Heap::Length(s.p) < kCap * 9 / 10) heap.Append(s, chunk);
  EXPECT_EQ(Heap::View(s.p).substr(0, 4), "cccc");
  EXPECT_LE(heap.live_bytes(), kCap);
  Cell small;
  small.p = heap.MakeString("still room for a small string");
  heap.Release(small.p);
  EXPECT_THROW(heap.SetStringLength(s, kCap), OutOfMemoryError);
  EXPECT_GE(Heap::Length(s.p), kCap * 9 / 10);  // a refused growth leaves the string as it was
  heap.Release(s.p);

  Cell a;
  a.p = nullptr;
  const int64_t elements = kCap * 9 / 10 / static_cast<int64_t>(sizeof(Cell));
  for (int64_t n = 1; n <= elements; n += 997) heap.SetArrayLength(a, n, 0);
  EXPECT_LE(heap.live_bytes(), kCap);
  heap.Release(a.p);
  EXPECT_EQ(heap.live_bytes(), 0);
}

TEST(HeapTest, SmallBlocksAreReusedAndTheAccountingStaysExact) {
  Heap heap(nullptr);
  std::vector<Cell> cells(64);
  for (int round = 0; round < 3; ++round) {
    for (size_t i = 0; i < cells.size(); ++i) {
      cells[i].p = heap.MakeString(std::string(i * 7 + 1, 'a'));
      // Appending crosses from small blocks into malloc'ed ones and back through shared copies.
      heap.Append(cells[i], std::string(i * 5, 'b'));
      Cell shared = cells[i];
      Heap::Retain(shared.p);
      heap.Append(cells[i], "c");
      EXPECT_EQ(Heap::Length(cells[i].p), static_cast<int64_t>(i * 12 + 2));
      EXPECT_EQ(Heap::View(cells[i].p).back(), 'c');
      heap.Release(shared.p);
    }
    for (Cell& cell : cells) heap.Release(cell.p);
    EXPECT_EQ(heap.live_objects(), 0);
    EXPECT_EQ(heap.live_bytes(), 0);
  }
}

TEST(HeapTest, SharedStringsAreCopiedBeforeAChange) {
  Heap heap(nullptr);
  Cell a;
  Cell b;
  a.p = heap.MakeString("abc");
  b.p = nullptr;
  heap.Assign(b, a.p);
  heap.Unique(b)->data()[0] = 'X';
  EXPECT_EQ(Heap::View(a.p), "abc");
  EXPECT_EQ(Heap::View(b.p), "Xbc");
  heap.Append(a, Heap::View(a.p));  // appending a string to itself
  EXPECT_EQ(Heap::View(a.p), "abcabc");
  heap.SetStringLength(b, 5);
  EXPECT_EQ(Heap::View(b.p), std::string_view("Xbc\0\0", 5));
  heap.SetStringLength(b, 0);
  EXPECT_EQ(b.p, nullptr);
  heap.Release(a.p);
  EXPECT_EQ(heap.live_objects(), 0);
}

TEST(HeapTest, ArraysReleaseTheirElements) {
  std::vector<RttiEntry> rtti = StringElements();
  Heap heap(&rtti);
  Cell array;
  array.p = nullptr;
  heap.SetArrayLength(array, 3, 0);
  auto* a = static_cast<DynArr*>(array.p);
  for (int i = 0; i < 3; ++i) a->data()[i].p = heap.MakeString("v" + std::to_string(i));
  EXPECT_EQ(heap.live_objects(), 4);
  heap.SetArrayLength(array, 1, 0);
  EXPECT_EQ(heap.live_objects(), 2);
  EXPECT_EQ(Heap::View(static_cast<DynArr*>(array.p)->data()[0].p), "v0");
  heap.Release(array.p);
  EXPECT_EQ(heap.live_objects(), 0);
}

TEST(HeapTest, MemoryIsCappedPerRuntime) {
  Heap heap(nullptr);
  Cell big;
  big.p = nullptr;
  EXPECT_THROW(heap.SetStringLength(big, kMaxObjectBytes + 1), OutOfMemoryError);
  std::vector<Cell> kept;
  EXPECT_THROW(
      for (;;) {
        Cell c;
        c.p = nullptr;
        heap.SetStringLength(c, kMaxObjectBytes / 4);
        kept.push_back(c);
      },
      OutOfMemoryError);
  EXPECT_LE(heap.live_bytes(), kMaxHeapBytes);
  EXPECT_GE(kept.size(), 3u);
  // Objects still alive when the heap ends are freed with it.
}

}  // namespace
}  // namespace qorsv::script::vm_internal
