#include "ui/file_browser.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "console/tests/temp_dir.h"

namespace qorsv {
namespace {

TEST(FileBrowserTest, FilterPatterns) {
  struct Case {
    const char* name;
    const char* filter;
    bool matches;
  } cases[] = {
      {"index.html", "*.html", true},
      {"INDEX.HTML", "*.html", true},
      {"index.htm", "*.html", false},
      {"index.html.bak", "*.html", false},
      {"README", "*.*", true},
      {"README", "*", true},
      {"a.qor", "*.qor;*.html", true},
      {"b.html", "*.qor; *.html", true},
      {"c.txt", "*.qor;*.html", false},
      {"page1.html", "page?.html", true},
      {"page10.html", "page?.html", false},
      {"x", "", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesFilter(c.name, c.filter), c.matches) << c.name << " " << c.filter;
  }
}

TEST(FileBrowserTest, FoldersAreWrittenPlainly) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"/", "/"},
      {"/tmp", "/tmp/"},
      {"/tmp/", "/tmp/"},
      {"/a/./b//c", "/a/b/c/"},
      {"/a/b/../c", "/a/c/"},
      {"/../..", "/"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalFolder(c.in), c.out) << c.in;
}

TEST(FileBrowserTest, ListsFoldersAndTheFilteredFilesSorted) {
  testing::TempDir dir;
  for (const char* folder : {"webpage", "Config", ".hidden_folder"}) {
    std::filesystem::create_directories(dir.Path(folder));
  }
  for (const char* file : {"b.html", "A.html", "notes.txt", ".qorspare1.html"}) {
    testing::WriteFile(dir.Path(file), "x");
  }
  FolderListing listing = ListFolder(dir.Dir() + "webpage/..", "*.html");
  EXPECT_EQ(listing.dir, dir.Dir());
  EXPECT_EQ(listing.folders, (std::vector<std::string>{"Config", "webpage"}));
  EXPECT_EQ(listing.files, (std::vector<std::string>{"A.html", "b.html"}));
  EXPECT_FALSE(listing.truncated);
  EXPECT_EQ(listing.parent, NormalFolder(dir.Dir() + ".."));
  EXPECT_EQ(ListFolder("/", "*.*").parent, "");
  EXPECT_THROW(ListFolder(dir.Dir() + "missing", "*.*"), CommandError);
}

}  // namespace
}  // namespace qorsv
