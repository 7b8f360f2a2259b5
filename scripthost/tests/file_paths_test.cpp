#include "scripthost/file_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace qorsv::scriptapi {
namespace {

TEST(FilePathsTest, ExtractFunctionsTreatBothSeparatorsAlike) {
  struct Case {
    std::string name, path, dir, drive, file, ext;
  } cases[] = {
      {"/srv/www/index.html", "/srv/www/", "/srv/www", "", "index.html", ".html"},
      {"c:\\web\\a.b.txt", "c:\\web\\", "c:\\web", "", "a.b.txt", ".txt"},
      {"mixed\\dir/file", "mixed\\dir/", "mixed\\dir", "", "file", ""},
      {"file.tar.gz", "", "", "", "file.tar.gz", ".gz"},
      {"dir.d/file", "dir.d/", "dir.d", "", "file", ""},
      {"/", "/", "/", "", "", ""},
      {"/etc", "/", "/", "", "etc", ""},
      {"a//b", "a//", "a//", "", "b", ""},
      {"dir/", "dir/", "dir", "", "", ""},
      {"name.", "", "", "", "name.", "."},
      {".profile", "", "", "", ".profile", ".profile"},
      {"c:file", "", "", "", "c:file", ""},
      {"", "", "", "", "", ""},
      {"\\\\server\\share\\dir\\f.txt", "\\\\server\\share\\dir\\", "\\\\server\\share\\dir",
       "\\\\server\\share", "f.txt", ".txt"},
      {"//server/share", "//server/", "//server", "//server/share", "share", ""},
      {"\\\\server", "\\\\", "\\\\", "\\\\server", "server", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.name), c.path) << "ExtractFilePath " << c.name;
    EXPECT_EQ(ExtractFileDir(c.name), c.dir) << "ExtractFileDir " << c.name;
    EXPECT_EQ(ExtractFileDrive(c.name), c.drive) << "ExtractFileDrive " << c.name;
    EXPECT_EQ(ExtractFileName(c.name), c.file) << "ExtractFileName " << c.name;
    EXPECT_EQ(ExtractFileExt(c.name), c.ext) << "ExtractFileExt " << c.name;
  }
}

TEST(FilePathsTest, ExpandFileNameResolvesAgainstTheCurrentDirectory) {
  std::string cwd = GetCurrentDir();
  ASSERT_FALSE(cwd.empty());
  ASSERT_EQ(cwd.front(), '/');
  std::string base = cwd == "/" ? "" : cwd;
  struct Case {
    std::string name, expected;
  } cases[] = {
      {"/a/b/../c/./d", "/a/c/d"},
      {"/a/b/", "/a/b/"},
      {"\\a\\b\\..\\c", "/a/c"},
      {"/..", "/"},
      {"/../..//x", "/x"},
      {"file.txt", base + "/file.txt"},
      {"./sub/../file.txt", base + "/file.txt"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpandFileName(c.name), c.expected) << c.name;
  }
}

TEST(FilePathsTest, NativePathTurnsBackslashesIntoSlashes) {
  EXPECT_EQ(NativePath("scriptdata\\db\\x.sqlite"), "scriptdata/db/x.sqlite");
  EXPECT_EQ(NativePath("/already/native"), "/already/native");
}

}  // namespace
}  // namespace qorsv::scriptapi
