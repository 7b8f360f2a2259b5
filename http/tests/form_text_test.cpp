#include "http/form_text.h"

#include <gtest/gtest.h>

#include <memory>

#include "http/tests/temp_program_dir.h"

namespace qorsv {
namespace {

// A spooled FormText answers every search, comparison and slice as the same text in memory
// does, whatever its window size.
TEST(FormTextTest, SpooledTextAnswersAsTheTextInMemory) {
  TempProgramDir dir;
  const std::string text = "--ab\r\nxx\r\n--a\r\n--ab--\r\n\r\n" + std::string(40, 'z') + "--ab";
  std::unique_ptr<SpoolFile> spool = SpoolFile::Create(dir.path() + "temp/");
  ASSERT_TRUE(spool && spool->Append(text.data(), text.size()));
  const FormText memory(text);
  const std::string needles[] = {"\r", "\r\n\r\n", "--ab", "\r\n--ab", "zzzzzzzzzzzzz", "q", ""};
  for (size_t window : {1, 3, 8, 1000}) {
    FormText file(*spool, window);
    EXPECT_EQ(file.size(), text.size());
    for (const std::string& needle : needles) {
      for (uint64_t from = 0; from <= text.size() + 1; ++from) {
        ASSERT_EQ(file.Find(needle, from), memory.Find(needle, from))
            << "window " << window << " needle '" << needle << "' from " << from;
        ASSERT_EQ(file.HasAt(from, needle), memory.HasAt(from, needle))
            << "window " << window << " needle '" << needle << "' at " << from;
      }
    }
    for (uint64_t at : {0u, 5u, 60u, 70u, 200u}) {
      EXPECT_EQ(file.Slice(at, 11), memory.Slice(at, 11)) << "window " << window << " at " << at;
    }
  }
}

}  // namespace
}  // namespace qorsv
