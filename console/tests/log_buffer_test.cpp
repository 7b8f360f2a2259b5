#include "console/log_buffer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <thread>

#include "console/tests/temp_dir.h"
#include "transport/error.h"

namespace qorsv {
namespace {

using testing::ReadFile;
using testing::TempDir;

std::time_t LocalMoment(int day, int month, int year, int hour = 12) {
  std::tm parts{};
  parts.tm_mday = day;
  parts.tm_mon = month - 1;
  parts.tm_year = year - 1900;
  parts.tm_hour = hour;
  parts.tm_isdst = -1;
  return std::mktime(&parts);
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

class LogBufferTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string log_dir = dir.Path("logs/http_server_log/");
  std::time_t day = LocalMoment(8, 12, 2025);
  std::string file = log_dir + "08-12-2025.log";
  LogBuffer buffer;
};

TEST_F(LogBufferTest, FileIsNamedAfterTheDay) {
  EXPECT_EQ(LogFileName(day), "08-12-2025.log");
  EXPECT_EQ(LogFileName(LocalMoment(1, 2, 2024, 0)), "01-02-2024.log");
}

TEST_F(LogBufferTest, SavesAppendOnlyTheLinesThatArrivedSince) {
  std::filesystem::create_directories(log_dir);
  buffer.Append("one");
  buffer.Append("two");
  AppendLogBufferToFile(buffer, log_dir, day);
  EXPECT_TRUE(buffer.Lines().empty());
  buffer.Append("three");
  AppendLogBufferToFile(buffer, log_dir, day);
  AppendLogBufferToFile(buffer, log_dir, day);  // nothing new: nothing added
  EXPECT_EQ(ReadFile(file), "one\r\ntwo\r\nthree\r\n");
}

TEST_F(LogBufferTest, MissingDirectoryKeepsEveryLineUntilASaveSucceeds) {
  buffer.Append("a");
  EXPECT_THROW(AppendLogBufferToFile(buffer, log_dir, day), QorsvError);
  buffer.Append("b");
  try {
    AppendLogBufferToFile(buffer, log_dir, day);
    ADD_FAILURE() << "save without a directory succeeded";
  } catch (const QorsvError& error) {
    EXPECT_NE(std::string(error.what()).find("No such file or directory"), std::string::npos);
  }
  EXPECT_EQ(buffer.Lines(), (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(std::filesystem::exists(log_dir));  // the directory is not created

  std::filesystem::create_directories(log_dir);
  AppendLogBufferToFile(buffer, log_dir, day);
  EXPECT_EQ(ReadFile(file), "a\r\nb\r\n");
}

TEST_F(LogBufferTest, PartialWriteNeitherLosesNorDoublesALine) {
  std::filesystem::create_directories(log_dir);
  std::vector<std::string> lines;
  for (int i = 0; i < 50; ++i) lines.push_back("[ line " + std::to_string(i) + " ]");
  buffer.Append(lines[0]);
  AppendLogBufferToFile(buffer, log_dir, day);
  for (size_t i = 1; i < lines.size(); ++i) buffer.Append(lines[i]);

  // A file size limit cuts the write off in the middle of a line.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  sighandler_t saved_handler = signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = std::filesystem::file_size(file) + 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  bool failed = false;
  try {
    AppendLogBufferToFile(buffer, log_dir, day);
  } catch (const QorsvError&) {
    failed = true;
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, saved_handler);
  ASSERT_TRUE(failed);

  std::string partial = ReadFile(file);
  ASSERT_FALSE(partial.empty());
  EXPECT_EQ(partial.substr(partial.size() - 2), "\r\n");  // no torn line left behind
  EXPECT_FALSE(buffer.Lines().empty());

  AppendLogBufferToFile(buffer, log_dir, day);
  EXPECT_EQ(ReadFile(file), Joined(lines));
}

TEST_F(LogBufferTest, EveryLineIsWrittenHoweverMany) {
  std::filesystem::create_directories(log_dir);
  std::vector<std::string> lines;
  for (int i = 0; i < 200000; ++i) lines.push_back(std::to_string(i));
  for (const std::string& line : lines) buffer.Append(line);
  AppendLogBufferToFile(buffer, log_dir, day);
  EXPECT_EQ(ReadFile(file), Joined(lines));
}

TEST_F(LogBufferTest, AFullBufferAsksItsSaverOnceUntilASaveSucceeds) {
  LogBuffer small(100);
  int asked = 0;
  small.SetHandOver([&] { ++asked; });
  const std::string line(40, 'x');  // 42 bytes with its CR LF
  small.Append(line);
  small.Append(line);
  EXPECT_EQ(asked, 0);
  small.Append(line);  // 126 bytes: over the size
  small.Append(line);
  EXPECT_EQ(asked, 1);

  // A save that fails leaves the retrying to the tick: no more asking.
  EXPECT_THROW(AppendLogBufferToFile(small, log_dir, day), QorsvError);
  small.Append(line);
  EXPECT_EQ(asked, 1);

  std::filesystem::create_directories(log_dir);
  AppendLogBufferToFile(small, log_dir, day);
  EXPECT_EQ(small.ByteCount(), 0u);
  for (int i = 0; i < 3; ++i) small.Append(line);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(ReadFile(file), Joined(std::vector<std::string>(5, line)));
}

// Connection threads append while a saver thread saves whenever it is asked and once more at
// the end: every line reaches the file once, and each thread's lines keep their order.
TEST_F(LogBufferTest, SavesHandedOverWhileLinesArriveLoseAndRepeatNothing) {
  std::filesystem::create_directories(log_dir);
  LogBuffer busy(4096);
  std::atomic<int> asked{0};
  busy.SetHandOver([&] { asked.fetch_add(1); });
  std::atomic<bool> done{false};
  std::thread saver([&] {
    while (!done.load()) {
      if (asked.exchange(0) > 0) AppendLogBufferToFile(busy, log_dir, day);
      std::this_thread::yield();
    }
  });
  constexpr int kThreads = 4;
  constexpr int kLinesEach = 20000;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&busy, t] {
      for (int i = 0; i < kLinesEach; ++i) {
        busy.Append("t" + std::to_string(t) + " " + std::to_string(i));
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  done = true;
  saver.join();
  AppendLogBufferToFile(busy, log_dir, day);

  std::istringstream saved(ReadFile(file));
  std::vector<int> next(kThreads, 0);
  std::string line;
  int count = 0;
  while (std::getline(saved, line)) {
    ASSERT_EQ(line.back(), '\r');
    int t = 0, i = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "t%d %d", &t, &i), 2) << line;
    ASSERT_EQ(i, next[t]) << "thread " << t;
    ++next[t];
    ++count;
  }
  EXPECT_EQ(count, kThreads * kLinesEach);
}

}  // namespace
}  // namespace qorsv
