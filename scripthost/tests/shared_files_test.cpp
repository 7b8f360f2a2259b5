#include "scripthost/shared_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "scripthost/tests/temp_dir.h"

namespace qorsv::scriptapi {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(SharedFilesTest, SharingModesDecideWhetherASecondOpenIsAllowed) {
  TempDir dir;
  std::string file = dir / "shared.dat";
  WriteFile(file, "0123456789");
  struct Case {
    uint32_t first, second;
    bool second_allowed;
  } cases[] = {
      {kOpenRead | kShareCompat, kOpenRead | kShareDenyNone, false},
      {kOpenRead | kShareExclusive, kOpenRead | kShareDenyNone, false},
      {kOpenRead | kShareDenyWrite, kOpenRead | kShareDenyNone, true},
      {kOpenRead | kShareDenyWrite, kOpenWrite | kShareDenyNone, false},
      {kOpenRead | kShareDenyWrite, kOpenRead | kShareDenyWrite, true},
      {kOpenRead | kShareDenyRead, kOpenWrite | kShareDenyNone, true},
      {kOpenRead | kShareDenyRead, kOpenRead | kShareDenyNone, false},
      {kOpenReadWrite | kShareDenyNone, kOpenRead | kShareDenyNone, true},
      // The second open must itself allow what the first one does.
      {kOpenReadWrite | kShareDenyNone, kOpenRead | kShareDenyWrite, false},
      {kOpenWrite | kShareDenyNone, kOpenWrite | kShareDenyRead, true},
  };
  for (const Case& c : cases) {
    int32_t first = FileOpen(file, c.first);
    ASSERT_GT(first, 0) << c.first;
    int32_t second = FileOpen(file, c.second);
    EXPECT_EQ(second >= 0, c.second_allowed) << c.first << " then " << c.second;
    if (second >= 0) FileClose(second);
    FileClose(first);
    // Once both are closed the file is free again.
    EXPECT_TRUE(FileIsOpen(file)) << c.first << " then " << c.second;
  }
}

TEST(SharedFilesTest, CreateEmptiesTheFileAndHoldsItExclusively) {
  TempDir dir;
  std::string file = dir / "created.dat";
  WriteFile(file, "old content");
  int32_t handle = FileCreate(file);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(ReadFile(file), "");
  EXPECT_FALSE(FileIsOpen(file));
  EXPECT_EQ(FileOpen(file, kOpenRead | kShareDenyNone), -1);

  // While a script holds the file, creating it again must neither succeed nor empty it.
  ASSERT_EQ(write(handle, "abcdef", 6), 6);
  EXPECT_EQ(FileCreate(file), -1);
  EXPECT_EQ(ReadFile(file), "abcdef");

  EXPECT_EQ(FileSeek(handle, 0, 2), 6);
  EXPECT_EQ(FileSeek(handle, 2, 0), 2);
  EXPECT_EQ(FileSeek(handle, 1, 1), 3);
  EXPECT_EQ(FileSeek(handle, 0, 3), -1);
  EXPECT_EQ(FileSeek(handle, -10, 0), -1);
  FileClose(handle);
  EXPECT_TRUE(FileIsOpen(file));
  EXPECT_FALSE(FileIsOpen(dir / "missing"));
  EXPECT_EQ(FileOpen(dir.Dir(), kOpenRead | kShareDenyNone), -1);  // a directory
  EXPECT_EQ(FileOpen(file, 3), -1);                                // no such access
  EXPECT_EQ(FileOpen(file, kOpenRead | 80), -1);                   // no such sharing
}

TEST(SharedFilesTest, ForeignDescriptorsCannotBeMovedOrClosed) {
  TempDir dir;
  WriteFile(dir / "server-owned", "abc");
  int fd = open((dir / "server-owned").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(FileSeek(fd, 2, 0), -1);
  FileClose(fd);
  char byte = 0;
  EXPECT_EQ(read(fd, &byte, 1), 1);  // still open, still at the start
  EXPECT_EQ(byte, 'a');
  close(fd);
}

}  // namespace
}  // namespace qorsv::scriptapi
