#include "scripthost/sql_handles.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <set>
#include <thread>

#include "scripthost/tests/sql_test_support.h"

namespace qorsv {
namespace {

using testing::OtherConnection;
using testing::SqlScript;
using testing::WriteFile;

TEST(SqlHandlesTest, OpeningLooksInScriptdataFirstAndTakesTheLowestFreeEntry) {
  SqlScript script;
  script.MakeDatabase("local.db");
  EXPECT_EQ(script.Open("local.db"), 1);
  EXPECT_EQ(script.Syslog().back(), "Resorting to \"" + script.DataPath("local.db") + "\"");

  std::string elsewhere = script.Dir() / "elsewhere.db";
  WriteFile(elsewhere, "");
  EXPECT_EQ(script.Open(elsewhere), 2);
  EXPECT_EQ(script.Syslog().back(), "Resorting to \"" + elsewhere + "\"");
  std::filesystem::create_directory(script.DataPath("sub"));
  script.MakeDatabase("sub/inner.db");
  EXPECT_EQ(script.Open("sub\\inner.db"), 3);

  script.Call("SQL_DESTROY", {int64_t{2}});
  EXPECT_EQ(script.Open("local.db"), 2);
  EXPECT_EQ(script.Int("SQL_FREEHANDLES", {}), 3);  // the number in use
}

TEST(SqlHandlesTest, MissingDatabaseTakesNoHandleAndCreatesNoFile) {
  SqlScript script;
  std::string missing = script.Dir() / "missing.db";
  EXPECT_EQ(script.Open(missing), 65535);
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_FALSE(std::filesystem::exists(script.DataPath("missing.db")));
  EXPECT_EQ(script.Syslog(), (std::vector<std::string>{"Resorting to \"" + missing + "\"",
                                                       "Failed to open \"" + missing + "\""}));
  EXPECT_EQ(script.Open(script.Dir().Dir()), 65535);  // a directory is no database file
  EXPECT_EQ(script.Table().CountSqlHandlesInUse(), 0u);
}

TEST(SqlHandlesTest, HandleNumbersThatNameNoOpenEntryFailClearly) {
  SqlScript script;
  script.MakeDatabase("a.db");
  int64_t handle = script.Open("a.db");
  for (int64_t bad : {int64_t{0}, int64_t{1001}, int64_t{65535}, handle + 1}) {
    EXPECT_NE(script.Error("SQL_EXECUTE", {bad, "select 1"}), "") << bad;
    EXPECT_NE(script.Error("SQL_DESTROY", {bad}), "") << bad;
    EXPECT_NE(script.Error("SQL_GETROWCOUNT", {bad}), "") << bad;
  }
  script.Call("SQL_DESTROY", {handle});
  EXPECT_EQ(script.Error("SQL_EXECUTE", {handle, "select 1"}), "SQL handle 1 is not in use");
}

TEST(SqlHandlesTest, TransactionsAndTheirRollbackOnRelease) {
  SqlScript script;
  script.MakeDatabase("tx.db");
  int64_t h = script.Open("tx.db");
  script.Call("SQL_EXECUTE", {h, "create table t (v INTEGER)"});
  script.Call("SQL_BEGINTRANSACTION", {h});
  EXPECT_EQ(script.Error("SQL_BEGINTRANSACTION", {h}), "Transaction already open");
  script.Call("SQL_EXECUTE", {h, "insert into t values (1)"});
  script.Call("SQL_COMMIT", {h});
  script.Call("SQL_BEGINTRANSACTION", {h});
  script.Call("SQL_EXECUTE", {h, "insert into t values (2)"});
  script.Call("SQL_ROLLBACK", {h});
  script.Call("SQL_BEGINTRANSACTION", {h});
  script.Call("SQL_EXECUTE", {h, "insert into t values (3)"});
  script.Table().ReleaseRunSqlHandles(SqlScript::kRunA);  // the run ends with it open

  h = script.Open("tx.db");
  script.Call("SQL_GETTABLE", {h, "select group_concat(v) as s from t"});
  EXPECT_EQ(script.Call("SQL_FIELDASSTRING", {h, "s"}).ResultStr(), "1");
}

TEST(SqlHandlesTest, TableExistsBindsTheNameSoQuotesCannotChangeTheQuery) {
  SqlScript script;
  script.MakeDatabase("t.db");
  int64_t h = script.Open("t.db");
  script.Call("SQL_EXECUTE", {h, "create table Customers (v INTEGER)"});
  script.Call("SQL_EXECUTE", {h, "create table [it's] (v INTEGER)"});
  script.Call("SQL_GETTABLE", {h, "select 1 as one"});
  auto exists = [&](const std::string& name) {
    return script.Call("SQL_TABLEEXISTS", {h, name}).ResultBool();
  };
  EXPECT_TRUE(exists("CUSTOMERS"));
  EXPECT_FALSE(exists("orders"));
  EXPECT_FALSE(exists("x' or '1'='1"));
  EXPECT_TRUE(exists("IT'S"));
  EXPECT_EQ(script.Int("SQL_COLCOUNT", {h}), 1);  // the handle's own result is untouched

  script.Call("SQL_DROPTABLE", {h, "customers"});
  EXPECT_FALSE(exists("Customers"));
  script.Call("SQL_DROPTABLE", {h, "orders; create table injected (v)"});
  EXPECT_FALSE(exists("injected"));
}

TEST(SqlHandlesTest, ReleasingARunTouchesOnlyItsOwnHandles) {
  SqlScript script;
  script.MakeDatabase("r.db");
  int64_t a1 = script.Open("r.db", SqlScript::kRunA);
  int64_t b1 = script.Open("r.db", SqlScript::kRunB);
  int64_t a2 = script.Open("r.db", SqlScript::kRunA);
  script.Call("SQL_GETTABLE", {a2, "select 1 as x"});
  script.Call("SQL_DESTROY", {a1});

  script.Table().ReleaseRunSqlHandles(SqlScript::kRunA);
  const std::string killed = "killed sql : " + std::to_string(SqlScript::kRunA) + " name:\"" +
                             script.DataPath("r.db") + "\"";
  int killed_lines = 0;
  for (const std::string& line : script.Syslog()) killed_lines += line == killed;
  EXPECT_EQ(killed_lines, 1);  // a2 only: the script destroyed a1 itself
  EXPECT_EQ(script.Counts(), std::vector<uint32_t>{1});
  EXPECT_EQ(script.Error("SQL_COUNT", {a2}), "SQL handle 3 is not in use");
  EXPECT_EQ(script.Error("SQL_EXECUTE", {b1, "select 1"}), "");

  script.Table().ReleasePageSqlHandles(SqlScript::kRunA);
  EXPECT_TRUE(script.Memo1().empty());
  script.Table().ReleasePageSqlHandles(SqlScript::kRunB);
  EXPECT_EQ(script.Memo1(), std::vector<std::string>{"Killed id=2"});
  EXPECT_EQ(script.Table().CountSqlHandlesInUse(), 0u);
}

TEST(SqlHandlesTest, TheConsoleCountChangesOnlyWhenTheNumberInUseDoes) {
  SqlScript script;
  script.MakeDatabase("c.db");
  script.Table().ReleaseRunSqlHandles(SqlScript::kRunA);  // nothing open: shows 0 once
  script.Table().ReleaseRunSqlHandles(SqlScript::kRunB);
  int64_t a = script.Open("c.db", SqlScript::kRunA);
  script.Open("c.db", SqlScript::kRunB);
  EXPECT_EQ(script.Table().CountSqlHandlesInUse(), 2u);
  script.Call("SQL_DESTROY", {a});
  EXPECT_EQ(script.Table().CountSqlHandlesInUse(), 1u);
  script.Table().ReleaseRunSqlHandles(SqlScript::kRunA);  // still 1: B's handle
  script.Table().ReleaseRunSqlHandles(SqlScript::kRunB);
  script.Table().ReleaseRunSqlHandles(SqlScript::kRunB);
  EXPECT_EQ(script.Counts(), (std::vector<uint32_t>{0, 1, 0}));
  EXPECT_EQ(script.Table().CountSqlHandlesInUse(), 0u);
}

TEST(SqlHandlesTest, NoHandleWhenAllAreTaken) {
  rlimit limit{};  // a thousand connections need a thousand descriptors
  getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < 1100) {
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 2048);
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  if (limit.rlim_cur < 1100) GTEST_SKIP() << "not enough file descriptors";

  SqlScript script;
  script.MakeDatabase("full.db");
  for (int n = 1; n <= 1000; ++n) ASSERT_EQ(script.Open("full.db"), n);
  EXPECT_EQ(script.Open("full.db"), 65535);
  script.Table().ReleaseRunSqlHandles(SqlScript::kRunA);
  EXPECT_EQ(script.Table().CountSqlHandlesInUse(), 0u);
}

TEST(SqlHandlesTest, BusyDatabase) {
  SqlScript script(50);
  script.MakeDatabase("busy.db");
  int64_t h = script.Open("busy.db");
  script.Call("SQL_EXECUTE", {h, "create table t (v INTEGER)"});
  script.Call("SQL_EXECUTE", {h, "insert into t values (1)"});
  script.Call("SQL_GETTABLE", {h, "select v from t"});

  OtherConnection other(script.DataPath("busy.db"));
  ASSERT_EQ(other.Exec("begin exclusive"), SQLITE_OK);
  EXPECT_EQ(script.Error("SQL_GETTABLE", {h, "select v, v from t"}),
            "Could not prepare SQL statement");
  EXPECT_EQ(script.Int("SQL_COLCOUNT", {h}), 1);  // the previous result stays
  EXPECT_EQ(script.Error("SQL_TABLEEXISTS", {h, "t"}), "Could not prepare SQL statement");
  EXPECT_EQ(script.Error("SQL_EXECUTE", {h, "insert into t values (2)"}), "");  // dropped
  ASSERT_EQ(other.Exec("commit"), SQLITE_OK);

  script.Call("SQL_GETTABLE", {h, "select v from t"});
  EXPECT_EQ(script.Int("SQL_COUNT", {h}), 1);
}

TEST(SqlHandlesTest, AShortLockDelaysAStatementInsteadOfDroppingIt) {
  SqlScript script(10000);
  script.MakeDatabase("wait.db");
  int64_t h = script.Open("wait.db");
  script.Call("SQL_EXECUTE", {h, "create table t (v INTEGER)"});
  OtherConnection other(script.DataPath("wait.db"));
  ASSERT_EQ(other.Exec("begin exclusive"), SQLITE_OK);
  std::thread holder([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    other.Exec("commit");
  });
  script.Call("SQL_EXECUTE", {h, "insert into t values (7)"});
  holder.join();
  script.Call("SQL_GETTABLE", {h, "select v from t"});
  EXPECT_EQ(script.Int("SQL_FIELDASINTEGER", {h, "v"}), 7);
}

TEST(SqlHandlesTest, ConcurrentRunsNeverTakeTheSameHandle) {
  SqlScript script;
  script.MakeDatabase("c.db");
  std::vector<std::vector<int64_t>> taken(8);
  std::vector<std::thread> threads;
  for (auto& mine : taken) {
    threads.emplace_back([&script, handles = &mine] {
      for (int i = 0; i < 20; ++i) handles->push_back(script.Open("c.db"));
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<int64_t> distinct;
  for (const auto& mine : taken) distinct.insert(mine.begin(), mine.end());
  EXPECT_EQ(distinct.size(), 160u);
  EXPECT_EQ(*distinct.rbegin(), 160);
}

}  // namespace
}  // namespace qorsv
