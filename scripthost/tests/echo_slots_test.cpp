#include "scripthost/echo_slots.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "transport/error.h"

namespace qorsv {
namespace {

using namespace std::chrono_literals;

TEST(ScriptEchoSlotsTest, LowestFreeSlotIsTakenEmpty) {
  ScriptEchoSlotTable slots;
  EXPECT_EQ(slots.TakeOutputSlot(), 1);
  slots.Append(1, "left over");
  EXPECT_EQ(slots.TakeOutputSlot(), 2);
  slots.ReleaseOutputSlot(1);
  EXPECT_FALSE(slots.Busy(1));
  EXPECT_EQ(slots.TakeOutputSlot(), 1);
  EXPECT_EQ(slots.SlotOutput(1), "");
  EXPECT_THROW(slots.Append(0, "x"), QorsvError);
  EXPECT_THROW(slots.SlotOutput(1001), QorsvError);
}

TEST(ScriptEchoSlotsTest, AllSlotsBusyWaitsThenFails) {
  ScriptEchoSlotTable slots;
  for (int n = 1; n <= ScriptEchoSlotTable::kSlotCount; ++n) ASSERT_EQ(slots.TakeOutputSlot(), n);
  EXPECT_THROW(slots.TakeOutputSlot(20ms), QorsvError);

  std::thread releaser([&] {
    std::this_thread::sleep_for(20ms);
    slots.ReleaseOutputSlot(700);
  });
  EXPECT_EQ(slots.TakeOutputSlot(10s), 700);
  releaser.join();
}

TEST(ScriptEchoSlotsTest, ConcurrentRunsNeverShareASlot) {
  ScriptEchoSlotTable slots;
  constexpr int kThreads = 16;
  constexpr int kRunsPerThread = 200;
  std::vector<std::thread> threads;
  std::vector<int> mismatches(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int run = 0; run < kRunsPerThread; ++run) {
        int slot = slots.TakeOutputSlot();
        std::string expected;
        for (int i = 0; i < 5; ++i) {
          std::string piece = "t" + std::to_string(t) + "r" + std::to_string(run) + ";";
          slots.Append(slot, piece);
          expected += piece;
        }
        if (slots.SlotOutput(slot) != expected) ++mismatches[t];
        slots.ReleaseOutputSlot(slot);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
  EXPECT_EQ(slots.TakeOutputSlot(), 1);  // everything was released
}

TEST(ScriptEchoSlotsTest, WritingIntoAnotherRunsSlotIsSafe) {
  ScriptEchoSlotTable slots;
  int slot = slots.TakeOutputSlot();
  std::vector<std::thread> writers;
  for (int t = 0; t < 8; ++t) {
    writers.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) slots.Append(slot, "ab");
    });
  }
  for (std::thread& writer : writers) writer.join();
  EXPECT_EQ(slots.SlotOutput(slot).size(), 8u * 1000u * 2u);
}

}  // namespace
}  // namespace qorsv
