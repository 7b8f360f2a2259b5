#include "console/view_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

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
  EXPECT_EQ(taken.memo1.Lines(), std::vector<std::string>{"a"});
  EXPECT_EQ(taken.syslog.Lines(), std::vector<std::string>{"s"});
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

// Long lines: the bytes bound the views as the line count does, and one huge line (a form body
// of megabytes in the log) is shown cut, never kept whole.
TEST(ViewLinesTest, LongLinesAreBoundedByBytesAndCut) {
  ViewLines view("LOG FILE >>");
  const std::string line(kViewLineBytes, 'x');
  for (size_t i = 0; i < 2 * kViewByteLimit / line.size(); ++i) view.Add(line);
  EXPECT_EQ(view.size(), kViewByteLimit / line.size());
  view.Add(std::string(kViewByteLimit + 1, 'y'));  // the newest line stays, whatever its size
  EXPECT_EQ(view.size(), 1u);

  ViewLineQueue queue;
  queue.Push(LogView::kMemo1, std::string(3 * kViewLineBytes, 'z'));
  queue.Push(LogView::kMemo1, "short");
  ViewLineQueue::Taken taken = queue.TakeAll();
  ASSERT_EQ(taken.memo1.size(), 2u);
  EXPECT_EQ(taken.memo1[0], std::string(kViewLineBytes, 'z') + " [... " +
                                std::to_string(3 * kViewLineBytes) + " bytes in all]");
  EXPECT_EQ(taken.memo1[1], "short");

  for (size_t i = 0; i < 3 * kViewByteLimit / kViewLineBytes; ++i) {
    queue.Push(LogView::kSyslog, std::to_string(i) + std::string(kViewLineBytes - 8, 's'));
  }
  taken = queue.TakeAll();
  EXPECT_LE(taken.syslog.ByteCount(), kViewByteLimit);
  EXPECT_EQ(taken.syslog[taken.syslog.size() - 1].substr(0, 3),
            std::to_string(3 * kViewByteLimit / kViewLineBytes - 1));
}

// Dropping from the front and compacting keep the newest lines in order, line for line.
TEST(PackedLinesTest, KeepsTheNewestLinesInOrderThroughCompaction) {
  PackedLines lines;
  size_t dropped = 0;
  for (int i = 0; i < 1000; ++i) dropped += lines.Add("line " + std::to_string(i), 7, 1 << 20);
  EXPECT_EQ(dropped, 993u);
  std::vector<std::string> expected;
  for (int i = 993; i < 1000; ++i) expected.push_back("line " + std::to_string(i));
  EXPECT_EQ(lines.Lines(), expected);
  EXPECT_EQ(lines.ByteCount(), 7 * std::string("line 999").size());

  // A byte bound: lines of 1 to 30 bytes, never more than 40 bytes held.
  PackedLines by_bytes;
  std::vector<std::string> all;
  for (int i = 0; i < 300; ++i) {
    all.push_back(std::string(static_cast<size_t>(i % 30 + 1), static_cast<char>('a' + i % 26)));
    by_bytes.Add(all.back(), 1000, 40);
    ASSERT_LE(by_bytes.ByteCount(), 40u);
    std::vector<std::string> held = by_bytes.Lines();
    ASSERT_FALSE(held.empty());
    EXPECT_TRUE(std::equal(held.rbegin(), held.rend(), all.rbegin())) << "after line " << i;
  }
}

}  // namespace
}  // namespace qorsv
