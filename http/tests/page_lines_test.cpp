#include "http/page_lines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "console/tests/temp_dir.h"

namespace qorsv {
namespace {

using testing::TempDir;

// The lines as the stream rule gives them: getline up to CR, then one character skipped.
std::vector<std::string> ExpectedLines(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line, '\r')) {
    lines.push_back(line);
    if (!in.eof()) in.get();
  }
  return lines;
}

std::vector<std::string> ReadLines(const std::string& path) {
  PageLines in(path);
  EXPECT_TRUE(in.is_open());
  std::vector<std::string> lines;
  std::string line;
  while (in.Next(line)) lines.push_back(line);
  EXPECT_FALSE(in.failed());
  return lines;
}

TEST(PageLinesTest, LinesEndAtCrAndSkipTheNextCharacter) {
  TempDir dir;
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"one\r\ntwo\r\n", {"one", "two"}},
      {"a\rbc", {"a", "c"}},  // whatever follows a CR is skipped
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\nb\r", {"a\nb"}},
  };
  for (const Case& c : cases) {
    std::string path = dir.Path("page.html");
    std::ofstream(path, std::ios::binary) << c.text;
    EXPECT_EQ(ReadLines(path), c.lines) << c.text;
    EXPECT_EQ(ExpectedLines(c.text), c.lines) << c.text;
  }
}

TEST(PageLinesTest, LongPagesSplitAcrossReadsGiveTheSameLines) {
  TempDir dir;
  std::mt19937 random(7);
  const char alphabet[] = {'a', 'b', '\r', '\n'};
  for (size_t size : {65534u, 65535u, 65536u, 65537u, 200000u}) {
    for (int round = 0; round < 4; ++round) {
      std::string text(size, 'x');
      for (char& c : text) c = alphabet[random() % 4];
      if (round == 1 && size > 65535) text[65535] = '\r';  // last byte of the first piece
      if (round == 2) text = std::string(size, 'y');  // one line longer than a piece
      std::string path = dir.Path("big.html");
      std::ofstream(path, std::ios::binary) << text;
      EXPECT_EQ(ReadLines(path), ExpectedLines(text)) << size << " round " << round;
    }
  }
}

TEST(PageLinesTest, MissingFileIsNotOpen) {
  TempDir dir;
  PageLines in(dir.Path("none.html"));
  EXPECT_FALSE(in.is_open());
  std::string line;
  EXPECT_FALSE(in.Next(line));
}

}  // namespace
}  // namespace qorsv
