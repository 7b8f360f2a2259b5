#include "transport/temp_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace qorsv {
namespace {

namespace fs = std::filesystem;

class TempFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("qorsv-temp-files-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

  static bool Write(const std::string& path, const std::string& text) {
    TempFileWriter file(path);
    std::ostream out(&file);
    out << text;
    return file.is_open() && static_cast<bool>(out) && file.Close();
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  static ino_t InodeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
  }

  // The names in the folder that are not spares.
  std::vector<std::string> VisibleNames() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      std::string name = entry.path().filename().string();
      if (name.rfind(".qorspare", 0) != 0) names.push_back(name);
    }
    return names;
  }

  fs::path folder_;
};

TEST_F(TempFilesTest, ReusedFileHoldsExactlyTheNewContents) {
  const std::string first = PathOf("qortmpscrA.html");
  const std::string second = PathOf("qortmpscrB.html");
  ASSERT_TRUE(Write(first, std::string(40000, 'x')));  // larger than the writer's buffer
  EXPECT_EQ(Read(first), std::string(40000, 'x'));
  ino_t inode = InodeOf(first);
  ASSERT_TRUE(RemoveTempFile(first));
  EXPECT_FALSE(fs::exists(first));

  ASSERT_TRUE(Write(second, "short\r\n"));
  EXPECT_EQ(InodeOf(second), inode) << "the removed file's inode is reused";
  EXPECT_EQ(Read(second), "short\r\n") << "old contents are cut off";
  ASSERT_TRUE(RemoveTempFile(second));

  ASSERT_TRUE(Write(first, ""));
  EXPECT_EQ(Read(first), "");
  EXPECT_EQ(VisibleNames(), std::vector<std::string>{"qortmpscrA.html"});
}

TEST_F(TempFilesTest, LargeFilesAreNeverWrittenOverAgain) {
  // What a sendfile still in flight reads must stay as it was sent.
  const std::string large = PathOf("qortmpscrL.html");
  ASSERT_TRUE(Write(large, std::string(100000, 'L')));
  ino_t inode = InodeOf(large);
  std::ifstream still_sending(large, std::ios::binary);
  ASSERT_TRUE(RemoveTempFile(large));
  for (int i = 0; i < 3; ++i) {
    std::string next = PathOf("qortmpscr" + std::to_string(i) + ".html");
    ASSERT_TRUE(Write(next, "small"));
    EXPECT_NE(InodeOf(next), inode);
    ASSERT_TRUE(RemoveTempFile(next));
  }
  std::ostringstream sent;
  sent << still_sending.rdbuf();
  EXPECT_EQ(sent.str(), std::string(100000, 'L'));
}

TEST_F(TempFilesTest, SpareDeletedBehindOurBackGivesANewFile) {
  const std::string first = PathOf("qortmpscrA.pfii");
  ASSERT_TRUE(Write(first, "one"));
  ASSERT_TRUE(RemoveTempFile(first));
  for (const auto& entry : fs::directory_iterator(folder_)) fs::remove(entry.path());

  const std::string second = PathOf("qortmpscrB.pfii");
  ASSERT_TRUE(Write(second, "two"));
  EXPECT_EQ(Read(second), "two");
}

TEST_F(TempFilesTest, MissingFolderOrFileFailsClearly) {
  TempFileWriter writer(PathOf("no-such-folder/qortmpscrA.html"));
  EXPECT_FALSE(writer.is_open());
  EXPECT_FALSE(writer.Close());
  EXPECT_FALSE(RemoveTempFile(PathOf("qortmpscrMissing.html")));
}

TEST_F(TempFilesTest, RemovalsBeyondTheSpareRoomUnlink) {
  std::vector<std::string> paths;
  for (int i = 0; i < 200; ++i) {
    paths.push_back(PathOf("qortmpscr" + std::to_string(i) + ".html"));
    ASSERT_TRUE(Write(paths.back(), "page " + std::to_string(i)));
  }
  for (const std::string& path : paths) ASSERT_TRUE(RemoveTempFile(path));
  EXPECT_TRUE(VisibleNames().empty());
  size_t spares = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_)) ++spares;
  EXPECT_LT(spares, 200u);
}

TEST_F(TempFilesTest, IdleSparesAreClosedAndRemoved) {
  for (int i = 0; i < 5; ++i) {
    std::string path = PathOf("qortmpscr" + std::to_string(i) + ".pfii");
    ASSERT_TRUE(Write(path, "x"));
    ASSERT_TRUE(RemoveTempFile(path));
  }
  auto count = [this] {
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_)) ++files;
    return files;
  };
  ASSERT_GT(count(), 0u);
  // Used just now: kept.
  EXPECT_EQ(ReleaseIdleTempSpares(std::chrono::hours(1)), 0u);
  EXPECT_GT(count(), 0u);
  EXPECT_GT(ReleaseIdleTempSpares(std::chrono::seconds(0)), 0u);
  EXPECT_EQ(count(), 0u);
  // A later file makes spares again.
  std::string path = PathOf("qortmpscr-again.pfii");
  ASSERT_TRUE(Write(path, "again"));
  EXPECT_EQ(Read(path), "again");
  ASSERT_TRUE(RemoveTempFile(path));
  EXPECT_EQ(count(), 1u);
}

TEST_F(TempFilesTest, ConcurrentWritersEachReadTheirOwnFile) {
  std::vector<std::thread> threads;
  std::vector<int> mismatches(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        std::string path = PathOf("qortmpscr" + std::to_string(t) + "_" + std::to_string(i));
        std::string text(static_cast<size_t>(10 + (i * 37 + t) % 3000), static_cast<char>('a' + t));
        if (!Write(path, text) || Read(path) != text || !RemoveTempFile(path)) ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
  EXPECT_TRUE(VisibleNames().empty());
}

}  // namespace
}  // namespace qorsv
