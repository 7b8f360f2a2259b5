#include "transport/spool_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace qorsv {
namespace {

namespace fs = std::filesystem;

class SpoolFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("qorsv-spool-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string Dir() const { return folder_.string() + "/"; }

  fs::path folder_;
};

std::string Pattern(size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) text += static_cast<char>((i * 131 + i / 251) & 0xFF);
  return text;
}

TEST_F(SpoolFileTest, HoldsWhatIsAppendedWithoutANameInItsFolder) {
  std::unique_ptr<SpoolFile> spool = SpoolFile::Create(Dir());
  ASSERT_NE(spool, nullptr);
  std::string text = Pattern(300000);
  ASSERT_TRUE(spool->Append(text.data(), 100));
  ASSERT_TRUE(spool->Append(text.data() + 100, text.size() - 100));
  EXPECT_EQ(spool->size(), text.size());
  EXPECT_TRUE(fs::is_empty(folder_));

  char piece[10];
  EXPECT_EQ(spool->ReadAt(299995, piece, sizeof piece), 5u);  // short at the end
  EXPECT_EQ(std::string(piece, 5), text.substr(299995));
  EXPECT_EQ(spool->ReadAt(400000, piece, sizeof piece), 0u);
}

TEST_F(SpoolFileTest, CopiesARangeToTheEndOfAnotherFile) {
  std::unique_ptr<SpoolFile> spool = SpoolFile::Create(Dir());
  std::string text = Pattern(200000);
  ASSERT_TRUE(spool->Append(text.data(), text.size()));
  std::string out_path = Dir() + "out";
  int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(out, 0);
  ASSERT_EQ(::write(out, "head", 4), 4);
  EXPECT_TRUE(spool->CopyTo(out, 12345, 150000));
  EXPECT_TRUE(spool->CopyTo(out, 0, 0));
  // A pipe takes no in-kernel file copy: the bytes go through a buffer instead.
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  EXPECT_TRUE(spool->CopyTo(pipe_ends[1], 7, 3));
  char three[3];
  ASSERT_EQ(::read(pipe_ends[0], three, 3), 3);
  EXPECT_EQ(std::string(three, 3), text.substr(7, 3));
  ::close(pipe_ends[0]);
  ::close(pipe_ends[1]);
  ::close(out);
  std::ifstream in(out_path, std::ios::binary);
  std::stringstream copied;
  copied << in.rdbuf();
  EXPECT_TRUE(copied.str() == "head" + text.substr(12345, 150000));
}

TEST_F(SpoolFileTest, NoFileWithoutItsFolder) {
  EXPECT_EQ(SpoolFile::Create(Dir() + "missing/"), nullptr);
}

}  // namespace
}  // namespace qorsv
