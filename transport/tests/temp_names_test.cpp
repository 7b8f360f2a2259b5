#include "transport/temp_names.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace qorsv {
namespace {

TEST(TempNamesTest, NameIsTempFolderPrefixAndTwentyFourLettersAToX) {
  std::string name = TempScriptNameIn("/prog/");
  const std::string prefix = "/prog/temp/qortmpscr";
  ASSERT_EQ(name.substr(0, prefix.size()), prefix);
  std::string letters = name.substr(prefix.size());
  ASSERT_EQ(letters.size(), 24u) << name;
  for (char c : letters) EXPECT_TRUE(c >= 'A' && c <= 'X') << name;
}

TEST(TempNamesTest, ConcurrentCallersNeverShareAName) {
  std::mutex mutex;
  std::set<std::string> names;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        std::string name = TempScriptNameIn("/prog/");
        std::lock_guard<std::mutex> lock(mutex);
        names.insert(name);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(names.size(), 4000u);
}

}  // namespace
}  // namespace qorsv
