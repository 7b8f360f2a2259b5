#include "console/view_lines.h"

#include <gtest/gtest.h>

#include <thread>

#include "console/view_line_queue.h"

namespace qorsv {
namespace {

TEST(ViewLinesTest, KeepsTheNewestLinesAndCountsWhatHappened) {
  ViewLines view("LOG FILE >>");
  for (size_t i = 0; i < kViewLineLimit + 5; ++i) view.Add("line " + std::to_string(i));
  EXPECT_EQ(view.size(), kViewLineLimit);
  EXPECT_EQ(view[0], "line 5");
  EXPECT_EQ(view.Lines().back(), "line " + std::to_string(kViewLineLimit + 4));
  EXPECT_EQ(view.AddedCount(), kViewLineLimit + 6);
  view.Clear();
  EXPECT_TRUE(view.empty());
  EXPECT_EQ(view.ClearCount(), 1u);
}

TEST(ViewLineQueueTest, AsksForOneDrainAtATimeAndKeepsEachViewBounded) {
  ViewLineQueue queue;
  EXPECT_TRUE(queue.Push(LogView::kMemo1, "a"));
  EXPECT_FALSE(queue.Push(LogView::kSyslog, "s"));  // the drain asked for takes this one too
  ViewLineQueue::Taken taken = queue.TakeAll();
  EXPECT_EQ(taken.memo1, std::deque<std::string>{"a"});
  EXPECT_EQ(taken.syslog, std::deque<std::string>{"s"});
  EXPECT_TRUE(queue.Push(LogView::kMemo1, "b"));  // after the drain, the next line asks again

  // Many threads at once; nothing beyond the view's own bound is kept.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&queue, t] {
      for (size_t i = 0; i < kViewLineLimit; ++i) queue.Push(LogView::kMemo1, std::to_string(t));
    });
  }
  for (std::thread& thread : threads) thread.join();
  taken = queue.TakeAll();
  EXPECT_EQ(taken.memo1.size(), kViewLineLimit);
  EXPECT_EQ(queue.Dropped(), 3 * kViewLineLimit + 1);
}

}  // namespace
}  // namespace qorsv
