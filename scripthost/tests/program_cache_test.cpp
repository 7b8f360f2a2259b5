// The table of kept programs: the states a key goes through and the bound on its size.
#include "scripthost/program_cache.h"

#include <gtest/gtest.h>

#include "scriptengine/image.h"

namespace qorsv {
namespace {

using KeyState = ProgramCache::KeyState;

script::SharedProgram SomeProgram() { return std::make_shared<const script::ProgramImage>(); }

TEST(ProgramCacheTest, AKeyIsSeenThenKeptOrCompiledEachTime) {
  ProgramCache programs;
  EXPECT_EQ(programs.Find("a").state, KeyState::kUnknown);
  programs.MarkSeen("a");
  EXPECT_EQ(programs.Find("a").state, KeyState::kSeenOnce);
  script::SharedProgram program = SomeProgram();
  programs.Store("a", program);
  EXPECT_EQ(programs.Find("a").state, KeyState::kKept);
  EXPECT_EQ(programs.Find("a").program, program);
  programs.MarkSeen("a");  // a run that found the key unknown does not undo the kept program
  EXPECT_EQ(programs.Find("a").state, KeyState::kKept);

  programs.Store("b", nullptr);
  EXPECT_EQ(programs.Find("b").state, KeyState::kCompiledEachTime);
  EXPECT_EQ(programs.size(), 2u);
}

TEST(ProgramCacheTest, TheOldestKeyGoesWhenTheTableIsFull) {
  ProgramCache programs;
  for (size_t i = 0; i <= ProgramCache::kCapacity; ++i) programs.MarkSeen(std::to_string(i));
  EXPECT_EQ(programs.size(), ProgramCache::kCapacity);
  EXPECT_EQ(programs.Find("0").state, KeyState::kUnknown);
  EXPECT_EQ(programs.Find("1").state, KeyState::kSeenOnce);
}

}  // namespace
}  // namespace qorsv
