#include "scripthost/include_resolver.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "scripthost/tests/temp_dir.h"

namespace qorsv {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(IncludeResolverTest, NamesResolveInTheScriptsFolderOnly) {
  TempDir dir;
  std::filesystem::create_directories(dir / "scripts/sub");
  std::filesystem::create_directories(dir / "scripts/folder.qor");
  WriteFile(dir / "scripts/a.qor", std::string("x\r\n\0y", 6));
  WriteFile(dir / "scripts/sub/b.qor", "b");
  WriteFile(dir / "scripts/empty.qor", "");
  WriteFile(dir / "outside.qor", "o");
  struct Case {
    std::string name;
    bool found;
    std::string text;
  } cases[] = {
      {"a.qor", true, std::string("x\r\n\0y", 6)},  // bytes as they are
      {"sub/b.qor", true, "b"},
      {"empty.qor", true, ""},
      {"A.QOR", false, ""},  // names are taken exactly as written
      {"missing.qor", false, ""},
      {"folder.qor", false, ""},  // a directory is no file
      {"../outside.qor", true, "o"},
  };
  for (const Case& c : cases) {
    script::IncludeFile file = ResolveScriptInclude(dir.Dir(), c.name);
    EXPECT_EQ(file.found, c.found) << c.name;
    EXPECT_EQ(file.name, dir.Dir() + "scripts/" + c.name) << c.name;
    EXPECT_EQ(file.text, c.text) << c.name;
  }
  // A program directory given without its trailing separator gets one.
  std::string bare = dir.Dir().substr(0, dir.Dir().size() - 1);
  EXPECT_EQ(ResolveScriptInclude(bare, "a.qor").name, dir.Dir() + "scripts/a.qor");
}

}  // namespace
}  // namespace qorsv
