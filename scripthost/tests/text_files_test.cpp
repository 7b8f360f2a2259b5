#include "scripthost/text_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "scripthost/tests/temp_dir.h"
#include "transport/error.h"

namespace qorsv {
namespace {

using namespace std::chrono_literals;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(ScriptFilesTest, HandlesAreTakenLowestFirstWithinTheTable) {
  ScriptFileTable files;
  EXPECT_EQ(files.Assign("a.txt"), 1);
  EXPECT_EQ(files.Assign("b.txt"), 2);
  files.CloseFile(1);
  EXPECT_EQ(files.Assign("c.txt"), 1);
  for (int64_t handle : {0, 1001, 65535, -1}) {
    EXPECT_THROW(files.ReadLine(handle), QorsvError) << handle;
  }
  for (int n = 3; n <= ScriptFileTable::kHandleCount; ++n) files.Assign("f" + std::to_string(n));
  EXPECT_THROW(files.Assign("one-more"), QorsvError);
}

TEST(ScriptFilesTest, ReadingLines) {
  ScriptFileTable files;
  TempDir dir;
  WriteFile(dir / "in.txt", "first\r\nsecond\nthird\r\n\r\nlast");
  int h = files.Assign(dir / "in.txt");
  // Not opened yet: nothing to read, and at its end.
  EXPECT_EQ(files.ReadLine(h), "");
  EXPECT_TRUE(files.Eof(h));
  files.Reset(h);
  EXPECT_FALSE(files.Eof(h));
  for (const char* expected : {"first", "second", "third", "", "last"}) {
    EXPECT_EQ(files.ReadLine(h), expected);
  }
  EXPECT_TRUE(files.Eof(h));
  EXPECT_EQ(files.ReadLine(h), "");
  files.Reset(h);  // again from the start
  EXPECT_EQ(files.ReadLine(h), "first");
  files.CloseFile(h);

  int missing = files.Assign(dir / "missing.txt");
  files.Reset(missing);
  EXPECT_EQ(files.ReadLine(missing), "");
  EXPECT_TRUE(files.Eof(missing));
}

TEST(ScriptFilesTest, WritingRewritingAppendingAndFlushing) {
  ScriptFileTable files;
  TempDir dir;
  std::string name = dir / "out.txt";
  int h = files.Assign(name);
  files.Write(h, "ignored: not open");
  files.Rewrite(h);
  files.Write(h, "a");
  files.WriteLine(h, "b");
  EXPECT_EQ(files.ReadLine(h), "");  // not open for reading
  files.Append(h);                   // the flush: pending output reaches the disk
  EXPECT_EQ(ReadFile(name), "ab\r\n");
  files.WriteLine(h, "c");
  files.CloseFile(h);
  EXPECT_EQ(ReadFile(name), "ab\r\nc\r\n");

  h = files.Assign(name);
  files.Rewrite(h);  // empties
  files.CloseFile(h);
  EXPECT_EQ(ReadFile(name), "");

  h = files.Assign(dir / "never-made.txt");
  files.Append(h);  // only existing files
  files.WriteLine(h, "lost");
  files.CloseFile(h);
  EXPECT_FALSE(std::filesystem::exists(dir / "never-made.txt"));
}

TEST(ScriptFilesTest, SameFileWaitsUntilTheHolderCloses) {
  ScriptFileTable files(10s);
  TempDir dir;
  ASSERT_EQ(files.Assign(dir / "a.txt"), 1);
  std::atomic<int> second{0};
  std::thread other([&] { second = files.Assign(dir / "A.TXT"); });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(second.load(), 0);  // still waiting
  files.CloseFile(1);
  other.join();
  EXPECT_EQ(second.load(), 1);
}

TEST(ScriptFilesTest, SameFileWaitIsBounded) {
  ScriptFileTable files(100ms);
  ASSERT_EQ(files.Assign("held.txt"), 1);
  try {
    files.Assign("HELD.txt");
    FAIL() << "the wait did not end";
  } catch (const QorsvError& error) {
    EXPECT_NE(std::string(error.what()).find("held"), std::string::npos) << error.what();
  }
}

TEST(ScriptFilesTest, OnlyTheFirstTwentyHandlesTakePartInTheWait) {
  ScriptFileTable files(100ms);
  for (int n = 1; n <= 20; ++n) files.Assign("f" + std::to_string(n));
  ASSERT_EQ(files.Assign("late.txt"), 21);
  EXPECT_EQ(files.Assign("late.txt"), 22);  // handle 21 does not make it wait
}

}  // namespace
}  // namespace qorsv
