#include "scripthost/file_functions.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "scripthost/tests/temp_dir.h"
#include "transport/error.h"

namespace qorsv::scriptapi {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::time_t LocalMoment(int year, int month, int day, int hour, int minute, int second) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

TEST(FileAgeTest, DosDateAndTimeInLocalTime) {
  struct Case {
    int year, month, day, hour, minute, second;
    uint32_t expected;
  } cases[] = {
      {1980, 1, 1, 0, 0, 0, 0x00210000},
      {2024, 2, 29, 13, 45, 31,
       (44u << 25) | (2u << 21) | (29u << 16) | (13u << 11) | (45u << 5) | 15u},
      {2107, 12, 31, 23, 59, 59,
       (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u},
  };
  for (const Case& c : cases) {
    std::time_t moment = LocalMoment(c.year, c.month, c.day, c.hour, c.minute, c.second);
    EXPECT_EQ(static_cast<uint32_t>(DosDateTime(moment)), c.expected) << c.year;
  }
  EXPECT_EQ(DosDateTime(LocalMoment(1979, 12, 31, 12, 0, 0)), -1);

  TempDir dir;
  std::string file = dir / "aged.txt";
  WriteFile(file, "x");
  std::time_t moment = LocalMoment(2001, 9, 8, 7, 6, 4);
  utimbuf times{moment, moment};
  ASSERT_EQ(utime(file.c_str(), &times), 0);
  EXPECT_EQ(FileAge(file), DosDateTime(moment));
  EXPECT_EQ(FileAge(dir / "missing.txt"), -1);
  EXPECT_EQ(FileAge(dir.Dir()), -1);  // a directory is no file
}

TEST(FileFunctionsTest, FilesDirectoriesRenameAndDelete) {
  TempDir dir;
  EXPECT_TRUE(ForceDirectories(dir / "a/b\\c/"));
  EXPECT_TRUE(DirectoryExists(dir / "a/b/c"));
  WriteFile(dir / "a/f", "first");
  WriteFile(dir / "a/g", "second");
  EXPECT_TRUE(FileExists(dir.Dir() + "a\\f"));
  EXPECT_FALSE(FileExists(dir / "a"));
  EXPECT_FALSE(DirectoryExists(dir / "a/f"));
  EXPECT_FALSE(ForceDirectories(dir / "a/f/sub"));
  try {
    ForceDirectories("");
    ADD_FAILURE() << "an empty name was accepted";
  } catch (const QorsvError& error) {
    EXPECT_STREQ(error.what(), "Unable to create directory");
  }

  EXPECT_FALSE(RenameFile(dir / "a/f", dir / "a/g"));  // never replaces a file
  EXPECT_EQ(ReadFile(dir / "a/g"), "second");
  EXPECT_TRUE(RenameFile(dir / "a/f", dir / "a/h"));
  EXPECT_EQ(ReadFile(dir / "a/h"), "first");
  EXPECT_TRUE(DeleteFile(dir / "a/h"));
  EXPECT_FALSE(DeleteFile(dir / "a/h"));
  EXPECT_FALSE(DeleteFile(dir / "a"));
}

TEST(FileMoveTest, CopiesInBlocksThenDeletesTheSource) {
  TempDir dir;
  std::string big(3 * 65500 + 17, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteFile(dir / "src", big);
  WriteFile(dir / "dst", "old longer content that must go");
  FileMove(dir / "src", dir / "dst");
  EXPECT_EQ(ReadFile(dir / "dst"), big);
  EXPECT_FALSE(FileExists(dir / "src"));
}

TEST(FileMoveTest, FailuresNeverLoseTheSource) {
  TempDir dir;
  // A missing source still leaves an empty destination.
  FileMove(dir / "missing", dir / "made");
  EXPECT_TRUE(FileExists(dir / "made"));
  EXPECT_EQ(ReadFile(dir / "made"), "");

  // A destination that cannot be created keeps the source.
  WriteFile(dir / "keep", "data");
  FileMove(dir / "keep", dir / "no/such/dir/file");
  EXPECT_EQ(ReadFile(dir / "keep"), "data");

  // Moving a file onto itself (also under another spelling) keeps it whole.
  FileMove(dir / "keep", dir.Dir() + ".\\keep");
  EXPECT_EQ(ReadFile(dir / "keep"), "data");
}

}  // namespace
}  // namespace qorsv::scriptapi
