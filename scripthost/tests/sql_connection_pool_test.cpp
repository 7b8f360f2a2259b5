#include "scripthost/sql_connection_pool.h"

#include <gtest/gtest.h>

#include "scripthost/tests/sql_test_support.h"

namespace qorsv {
namespace {

using testing::OtherConnection;
using testing::SqlScript;

class SqlConnectionPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    script_.MakeDatabase("a.db");
    OtherConnection setup(script_.DataPath("a.db"));
    ASSERT_EQ(setup.Exec("create table items (v text); insert into items values ('old')"),
              SQLITE_OK);
  }

  // One handle's life: open, the statements, one query, destroy. Answers the query's field "f"
  // as text, or "" when it has no row.
  std::string Session(const std::vector<std::string>& statements, const std::string& query) {
    int64_t h = script_.Open("a.db");
    EXPECT_EQ(h, 1);
    for (const std::string& sql : statements) script_.Call("SQL_EXECUTE", {h, sql});
    script_.Call("SQL_GETTABLE", {h, query});
    std::string value;
    if (script_.Int("SQL_GETROWCOUNT", {h}) > 0) {
      value = script_.Call("SQL_FIELDASSTRING", {h, "f"}).ResultStr();
    }
    script_.Call("SQL_DESTROY", {h});
    return value;
  }

  SqlScript script_;
};

TEST_F(SqlConnectionPoolTest, ReadingLeavesTheConnectionForTheNextHandleAsIfNew) {
  EXPECT_EQ(Session({}, "select v as f from items"), "old");
  EXPECT_EQ(script_.Table().IdleConnectionCount(), 1u);
  EXPECT_EQ(Session({"PRAGMA table_info(items)"}, "select v as f from items"), "old");
  EXPECT_EQ(script_.Table().IdleConnectionCount(), 1u) << "taken and given back";
  EXPECT_EQ(Session({}, "select changes() || ',' || total_changes() || ',' || last_insert_rowid() as f"),
            "0,0,0");
  // What another connection writes meanwhile is seen.
  OtherConnection(script_.DataPath("a.db")).Exec("update items set v = 'new'");
  EXPECT_EQ(Session({}, "select v as f from items"), "new");
}

TEST_F(SqlConnectionPoolTest, UseThatWouldShowThroughClosesTheConnection) {
  struct Case {
    const char* what;
    std::vector<std::string> statements;
  } cases[] = {
      {"row changes", {"insert into items values ('x')", "delete from items where v = 'x'"}},
      {"temporary table", {"create temp table scratch (v)"}},
      {"setting", {"PRAGMA case_sensitive_like = ON"}},
      {"attached database", {"attach ':memory:' as side"}},
      {"transaction left open", {"BEGIN"}},
  };
  for (const Case& c : cases) {
    Session(c.statements, "select 'x' as f");
    EXPECT_EQ(script_.Table().IdleConnectionCount(), 0u) << c.what;
  }
  EXPECT_EQ(Session({}, "select count(*) || '' as f from scratch"), "") << "no temporary table survives";
  EXPECT_EQ(Session({}, "select count(*) || '' as f from items"), "1") << "the open transaction rolled back";
}

TEST_F(SqlConnectionPoolTest, ReplacedFileIsNotServedByAnOldConnection) {
  EXPECT_EQ(Session({}, "select v as f from items"), "old");
  ASSERT_EQ(script_.Table().IdleConnectionCount(), 1u);
  std::string path = script_.DataPath("a.db");
  std::string replacement = script_.DataPath("b.db");
  {
    OtherConnection other(replacement);
    other.Exec("create table items (v text); insert into items values ('replaced')");
  }
  std::filesystem::rename(replacement, path);
  EXPECT_EQ(Session({}, "select v as f from items"), "replaced");
  EXPECT_EQ(script_.Table().IdleConnectionCount(), 1u) << "the old connection was closed";
}

TEST(SqlConnectionPoolLimitsTest, KeepsAtMostTheLimitPerFile) {
  SqlScript script;
  script.MakeDatabase("a.db");
  std::vector<int64_t> handles;
  for (size_t i = 0; i < SqlConnectionPool::kMaxIdlePerFile + 3; ++i) {
    handles.push_back(script.Open("a.db"));
  }
  for (int64_t h : handles) script.Call("SQL_DESTROY", {h});
  EXPECT_EQ(script.Table().IdleConnectionCount(), SqlConnectionPool::kMaxIdlePerFile);
  // Kept connections unused long enough are closed.
  EXPECT_EQ(script.Table().CloseIdleConnections(std::chrono::hours(1)), 0u);
  EXPECT_EQ(script.Table().CloseIdleConnections(std::chrono::seconds(0)),
            SqlConnectionPool::kMaxIdlePerFile);
  EXPECT_EQ(script.Table().IdleConnectionCount(), 0u);
  EXPECT_GT(script.Open("a.db"), 0);
}

}  // namespace
}  // namespace qorsv
