#include "transport/platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

namespace qorsv {
namespace {

std::time_t Local(int day, int month, int year, int hour, int minute, int second) {
  std::tm parts{};
  parts.tm_mday = day;
  parts.tm_mon = month - 1;
  parts.tm_year = year - 1900;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  parts.tm_isdst = -1;
  return std::mktime(&parts);
}

TEST(PlatformTest, DateAndTimeTexts) {
  struct Case {
    std::time_t moment;
    std::string date;
    std::string time;
  } cases[] = {
      {Local(8, 12, 2025, 7, 5, 9), "08/12/2025", "07:05:09"},
      {Local(31, 1, 1999, 23, 59, 59), "31/01/1999", "23:59:59"},
      {Local(1, 10, 2030, 0, 0, 0), "01/10/2030", "00:00:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShortDateText(c.moment), c.date) << c.date;
    EXPECT_EQ(LongTimeText(c.moment), c.time) << c.date;
    EXPECT_EQ(DateTimeText(c.moment), c.date + " - " + c.time);
  }
}

TEST(PlatformTest, ProgramDirIsTheExecutablesDirectoryWithTrailingSlash) {
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(ProgramDir(), exe.parent_path().string() + "/");
}

TEST(PlatformTest, ThreadIdsAreKernelIds) {
  EXPECT_EQ(CurrentThreadId(), getpid());  // the main thread's id is the process id
  pid_t other = 0;
  std::thread([&other] { other = CurrentThreadId(); }).join();
  EXPECT_NE(other, CurrentThreadId());
  EXPECT_GT(other, 0);
}

}  // namespace
}  // namespace qorsv
