#include "http/local_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace qorsv {
namespace {

TEST(LocalPathTest, Normalise) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"/site//a/./b.html", "/site/a/b.html"},
      {"/site/a/../b.html", "/site/b.html"},
      {"/site/sub/", "/site/sub/"},           // the trailing "/" stays for the default document
      {"/site/sub/./", "/site/sub/"},
      {"/site/..", "/"},
      {"/../../etc/passwd", "/etc/passwd"},   // ".." cannot climb above "/"
      {"/site/%2e%2e/x", "/site/%2e%2e/x"},   // escapes are names, not dots
      {"/", "/"},
      {"//", "/"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalisePath(c.in), c.out) << c.in;

  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(NormalisePath("rel/x.html"), NormalisePath(std::string(cwd) + "/rel/x.html"));
}

TEST(LocalPathTest, IsWithin) {
  struct Case {
    const char* path;
    const char* root;
    bool inside;
  } cases[] = {
      {"/site/a.html", "/site/", true},
      {"/site/a.html", "/site", true},
      {"/site/", "/site/", true},
      {"/site", "/site/", true},
      {"/sitex/a.html", "/site/", false},   // a sibling sharing the prefix
      {"/etc/passwd", "/site/", false},
      {"/etc/passwd", "/", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsWithin(c.path, c.root), c.inside) << c.path << " in " << c.root;
  }
}

}  // namespace
}  // namespace qorsv
