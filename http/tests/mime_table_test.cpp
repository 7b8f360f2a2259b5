#include "http/mime_table.h"

#include <gtest/gtest.h>

#include "http/tests/temp_program_dir.h"

namespace qorsv {
namespace {

TEST(MimeTableTest, TypeForPaths) {
  MimeTable table = MimeTable::Parse(
      ".png\r\nimage/png\r\n.PNG\r\nimage/never\r\n.htm\r\ntext/first\r\n.htm\r\ntext/second\n"
      "\r\ntext/no-extension\r\n.css\r\ntext/css");
  struct Case {
    const char* path;
    const char* type;
  } cases[] = {
      {"/site/logo.png", "image/png"},
      {"/site/logo.PNG", "image/png"},          // the file's extension is lower-cased
      {"/site/page.htm", "text/second"},        // a later entry overrides an earlier one
      {"/site/readme", "text/no-extension"},    // no dot: the entry with the empty extension
      {"/site.old/readme", "text/no-extension"},  // a dot in a directory is no extension
      {"/site/style.css", "text/css"},          // a last line without line end
      {"/site/a.tar.gz", "text/html"},          // only the last dot counts; unknown: text/html
      {"/site/script.qor", "text/html"},
      {"/site/.hidden", "text/html"},
  };
  for (const Case& c : cases) EXPECT_EQ(table.TypeFor(c.path), c.type) << c.path;
}

TEST(MimeTableTest, FileShapes) {
  EXPECT_TRUE(MimeTable::Parse("").Entries().empty());
  MimeTable odd = MimeTable::Parse(".a\r\ntype/a\r\n.b\r\n");
  ASSERT_EQ(odd.Entries().size(), 2u);
  EXPECT_EQ(odd.Entries()[1].Extension, ".b");
  EXPECT_EQ(odd.Entries()[1].MimeType, "");  // odd number of lines: empty type
  EXPECT_EQ(odd.TypeFor("x.b"), "");

  std::string big;
  for (int i = 0; i < 300; ++i) big += ".e" + std::to_string(i) + "\r\nt/" + std::to_string(i) + "\r\n";
  MimeTable capped = MimeTable::Parse(big);
  EXPECT_EQ(capped.Entries().size(), 256u);
  EXPECT_EQ(capped.TypeFor("x.e255"), "t/255");
  EXPECT_EQ(capped.TypeFor("x.e256"), "text/html");
}

TEST(MimeTableTest, ProcessTableLoadsFromFileAndMissingFileEmptiesIt) {
  TempProgramDir dir;
  std::string path = dir.Write("config/mimetypes.dat", ".png\r\nimage/png\r\n");
  LoadMimeTable(path);
  EXPECT_EQ(MimeTypeFor("/x/a.png"), "image/png");
  LoadMimeTable(dir.path() + "config/missing.dat");
  EXPECT_EQ(MimeTypeFor("/x/a.png"), "text/html");
}

}  // namespace
}  // namespace qorsv
