#include "http/virtual_hosts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "http/tests/temp_program_dir.h"

namespace qorsv {
namespace {

HostEntries Table(std::initializer_list<std::pair<const char*, const char*>> entries) {
  HostEntries table;
  for (const auto& [name, root] : entries) table.push_back(Thostrootdirs{name, root, 1});
  return table;
}

TEST(VirtualHostsTest, LookupRules) {
  struct Case {
    const char* label;
    HostEntries table;
    const char* host;
    const char* root;
  } cases[] = {
      {"name ignores case", Table({{"*", "A"}, {"alpha", "B"}}), "ALPHA", "B"},
      {"unknown host gets *", Table({{"*", "A"}, {"alpha", "B"}}), "beta", "A"},
      {"port must match", Table({{"*", "A"}, {"alpha", "B"}}), "alpha:8080", "A"},
      {"later entry wins", Table({{"h", "1"}, {"h", "2"}}), "h", "2"},
      {"later * wins", Table({{"*", "1"}, {"*", "2"}}), "x", "2"},
      {"empty root falls back", Table({{"*", "A"}, {"h", ""}}), "h", "A"},
      {"no * entry", Table({{"h", "B"}}), "x", ""},
      {"* is exact", Table({{"*", "A"}}), "*", "A"},
      {"empty table", Table({}), "h", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FindHostRoot(c.table, c.host), c.root) << c.label;
}

TEST(VirtualHostsTest, RootMarkerBecomesTheProgramDirectory) {
  TempProgramDir dir;
  VirtualHostTable table(dir.path());
  table.Update([](HostEntries& e) { e = Table({{"*", "($root)site/($root)"}, {"abs", "/srv/"}}); });
  EXPECT_EQ(table.LookupHostRoot("x"), dir.path() + "site/($root)");  // only the first
  EXPECT_EQ(table.LookupHostRoot("abs"), "/srv/");
}

TEST(VirtualHostsTest, FileReadAndSave) {
  struct Case {
    const char* text;
    size_t count;
    const char* last_name;
    const char* last_root;
  } cases[] = {
      {"", 1, "", ""},  // an existing empty file: one empty entry
      {"a\r\n/ra/\r\nb\n/rb/\n", 2, "b", "/rb/"},
      {"a\r\n/ra/\r\nb", 2, "b", ""},  // odd number of lines: the last root is empty
      {" spaced \r\n root \r\n", 1, " spaced ", " root "},  // nothing is trimmed
  };
  for (const Case& c : cases) {
    HostEntries entries = ParseHostsFile(c.text);
    ASSERT_EQ(entries.size(), c.count) << c.text;
    EXPECT_EQ(entries.back().HostName, c.last_name) << c.text;
    EXPECT_EQ(entries.back().RootDir, c.last_root) << c.text;
  }
  HostEntries with_invalid = Table({{"a", "1"}, {"b", "2"}});
  with_invalid[0].Valid = 0;
  EXPECT_EQ(FormatHostsFile(with_invalid), "b\r\n2\r\n");
  EXPECT_EQ(FormatHostsFile(ParseHostsFile("")), "\r\n\r\n");
}

TEST(VirtualHostsTest, TableFileRoundTripAndMissingFile) {
  TempProgramDir dir;
  VirtualHostTable table(dir.path());
  table.readhostrootdirconfig();
  EXPECT_TRUE(table.Entries()->empty());  // no file: empty table

  dir.Write("config/hosts.dat", "*\r\n($root)web/\r\nHost.Example\r\n/srv/ex/\r\n");
  table.readhostrootdirconfig();
  EXPECT_EQ(table.showhosts(), (std::vector<std::string>{
                                   "HOST [*] mapped to [($root)web/] dir",
                                   "HOST [Host.Example] mapped to [/srv/ex/] dir"}));
  EXPECT_EQ(table.LookupHostRoot("host.example"), "/srv/ex/");
  table.Update([](HostEntries& e) { e.push_back(Thostrootdirs{"n", "/n/", 1}); });
  table.savehosts();
  EXPECT_EQ(dir.Read("config/hosts.dat"), "*\r\n($root)web/\r\nHost.Example\r\n/srv/ex/\r\nn\r\n/n/\r\n");
}

TEST(VirtualHostsTest, SavingWithoutConfigFolderKeepsTheTableInMemory) {
  TempProgramDir dir;
  std::filesystem::remove_all(dir.path() + "config");
  VirtualHostTable table(dir.path());
  table.Update([](HostEntries& e) { e = Table({{"*", "/a/"}}); });
  table.savehosts();
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "config"));
  EXPECT_EQ(table.LookupHostRoot("x"), "/a/");
}

TEST(VirtualHostsTest, FileBeyondLimitKeepsTheFirstThousand) {
  std::string text;
  for (int i = 0; i < 1005; ++i) text += "h" + std::to_string(i) + "\r\n/r/\r\n";
  HostEntries entries = ParseHostsFile(text);
  EXPECT_EQ(entries.size(), 1000u);
  EXPECT_EQ(entries.back().HostName, "h999");
}

TEST(VirtualHostsTest, LookupsSeeWholeTablesWhileTheTableIsReplaced) {
  VirtualHostTable table("/p/");
  // Each table maps every host to one root; a lookup must never mix two tables.
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) {
      std::string root = "/r" + std::to_string(i % 2) + "/";
      table.Update([&](HostEntries& e) { e = Table({{"*", root.c_str()}, {"h", root.c_str()}}); });
    }
    done = true;
  });
  while (!done) {
    std::string root = table.LookupHostRoot("h");
    ASSERT_TRUE(root.empty() || root == "/r0/" || root == "/r1/") << root;
  }
  writer.join();
}

}  // namespace
}  // namespace qorsv
