// Loading results and reading them, through the script functions over a handle.
#include "scripthost/sql_result_set.h"

#include <gtest/gtest.h>

#include "scripthost/tests/sql_test_support.h"

namespace qorsv {
namespace {

using testing::SqlScript;

class SqlResultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    script_.MakeDatabase("test.db");
    ASSERT_EQ(script_.Open("test.db"), 1);
  }
  void Exec(const std::string& sql) { script_.Call("SQL_EXECUTE", {kHandle, sql}); }
  void Load(const std::string& sql) { script_.Call("SQL_GETTABLE", {kHandle, sql}); }
  int64_t Number(const char* native) { return script_.Int(native, {kHandle}); }
  bool Move(const char* native) { return script_.Call(native, {kHandle}).ResultBool(); }
  // A field read as text, or the error it raises.
  std::string Read(const char* native, const std::string& field) {
    std::string error = script_.Error(native, {kHandle, field});
    if (!error.empty()) return error;
    testing::FakeNativeCall call = script_.Call(native, {kHandle, field});
    if (std::string(native) == "SQL_FIELDASSTRING") return call.ResultStr();
    if (std::string(native) == "SQL_FIELDASBOOLEAN") return call.ResultBool() ? "true" : "false";
    return std::to_string(call.ResultInt());
  }

  static constexpr int64_t kHandle = 1;
  SqlScript script_;
};

TEST_F(SqlResultTest, CreateInsertLoadAndRead) {
  Exec("create table people (id INTEGER, Name TEXT, active BOOLEAN)");
  Exec("insert into people values (1, 'Ann', 1)");
  Exec("insert into people values (2, 'Bob', 0); insert into people values (3, 'Cy', 1)");
  Load("select * from people order by id");
  EXPECT_EQ(Number("SQL_GETROWCOUNT"), 2);  // text after the first statement was ignored
  EXPECT_EQ(Number("SQL_COLCOUNT"), 3);
  EXPECT_EQ(script_.Int("SQL_GETFIELDINDEX", {kHandle, "ACTIVE"}), 2);
  EXPECT_EQ(Read("SQL_FIELDASSTRING", "NAME"), "Ann");  // names match without regard to case
  EXPECT_EQ(Read("SQL_FIELDASSTRING", "nope"), "Field not found in dataset: nope");
}

TEST_F(SqlResultTest, ColumnClassesDecideWhichReadsWork) {
  Exec(
      "create table typed (i INTEGER, i2 int, b BOOLEAN, n NUMERIC, f FLOAT, d DOUBLE, r REAL,"
      " bl BLOB, v VARCHAR(20), big INTEGER)");
  Exec("insert into typed values (42, 7, 5, 2.5, -3.75, 1e3, 1.5, x'0102', 'vc', 4294967297)");
  Exec("insert into typed values (null, null, null, null, null, null, null, x'', null, null)");
  Load(
      "select typed.*, count(*) over () as cnt, 2.7 as lit, 'words' as str, x'00ff' as bin,"
      " null as nada from typed order by i desc");
  const std::string kSpecific = "Use the specific methods for integer, numeric or blob fields";
  const std::string kNotInteger = "Not an integer or numeric field";
  const std::string kNotBoolean = "Not a boolean field";
  struct Case {
    const char* field;
    std::string as_string, as_integer, as_boolean;  // the value or the error text
  } cases[] = {
      {"i", kSpecific, "42", kNotBoolean},
      {"i2", "7", kNotInteger, kNotBoolean},  // INT is not INTEGER: a text column
      {"b", "1", kNotInteger, "true"},
      {"n", kSpecific, "2", kNotBoolean},
      {"f", kSpecific, "-3", kNotBoolean},  // truncated toward zero
      {"d", kSpecific, "1000", kNotBoolean},
      {"r", "1.5", kNotInteger, kNotBoolean},  // REAL is text as well
      {"bl", kSpecific, kNotInteger, kNotBoolean},
      {"v", "vc", kNotInteger, kNotBoolean},
      {"big", kSpecific, "1", kNotBoolean},  // 2^32 + 1 read as 32 bits
      {"cnt", kSpecific, "2", kNotBoolean},  // no declared type: the class of the value
      {"lit", kSpecific, "2", kNotBoolean},
      {"str", "words", kNotInteger, kNotBoolean},
      {"bin", kSpecific, kNotInteger, kNotBoolean},
      {"nada", "", "0", "false"},  // NULL in the first row: text, and absent
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read("SQL_FIELDASSTRING", c.field), c.as_string) << c.field;
    EXPECT_EQ(Read("SQL_FIELDASINTEGER", c.field), c.as_integer) << c.field;
    EXPECT_EQ(Read("SQL_FIELDASBOOLEAN", c.field), c.as_boolean) << c.field;
  }
  // The second row: absent cells read as empty whatever the class (an empty blob is absent).
  ASSERT_TRUE(Move("SQL_NEXT"));
  for (const char* field : {"i", "b", "n", "bl", "v"}) {
    EXPECT_EQ(Read("SQL_FIELDASSTRING", field), "") << field;
    EXPECT_EQ(Read("SQL_FIELDASINTEGER", field), "0") << field;
    EXPECT_EQ(Read("SQL_FIELDASBOOLEAN", field), "false") << field;
  }
}

TEST_F(SqlResultTest, ThreeRowLoopEndsAtEndOfFileAndTheCursorMoves) {
  Exec("create table t (v TEXT)");
  Exec("insert into t values ('a'), ('b'), ('c')");
  Load("select v from t order by v");
  std::string seen;
  for (int guard = 0; guard < 3; ++guard) {
    seen += Read("SQL_FIELDASSTRING", "v");
    EXPECT_TRUE(Move("SQL_NEXT"));  // also the call that leaves the last row
  }
  EXPECT_EQ(seen, "abc");
  EXPECT_EQ(Read("SQL_FIELDASSTRING", "v"), "Table is at End of File");
  EXPECT_FALSE(Move("SQL_NEXT"));

  EXPECT_TRUE(Move("SQL_PREVIOUS"));
  EXPECT_EQ(Read("SQL_FIELDASSTRING", "v"), "c");
  script_.Call("SQL_MOVEFIRST", {kHandle});
  EXPECT_FALSE(Move("SQL_PREVIOUS"));
  EXPECT_EQ(Read("SQL_FIELDASSTRING", "v"), "a");
  script_.Call("SQL_MOVELAST", {kHandle});
  EXPECT_EQ(Read("SQL_FIELDASSTRING", "v"), "c");
}

TEST_F(SqlResultTest, EmptyAndFailedLoadsGiveAnEmptyResult) {
  Exec("create table t (v TEXT)");
  Load("select v from t");
  EXPECT_EQ(Number("SQL_GETROWCOUNT"), 0);
  EXPECT_EQ(Number("SQL_COLCOUNT"), 0);
  EXPECT_FALSE(Move("SQL_NEXT"));
  EXPECT_FALSE(Move("SQL_PREVIOUS"));
  for (const char* native :
       {"SQL_FIELDASSTRING", "SQL_FIELDASINTEGER", "SQL_FIELDASBOOLEAN", "SQL_GETFIELDINDEX"}) {
    EXPECT_EQ(script_.Error(native, {kHandle, "v"}), "Field v Not found. Empty dataset") << native;
  }
  Exec("insert into t values ('x')");
  for (const char* query : {"select from where", "select * from no_such_table", ""}) {
    Load("select v from t");
    ASSERT_EQ(Number("SQL_GETROWCOUNT"), 1);
    Load(query);
    EXPECT_EQ(Number("SQL_GETROWCOUNT"), 0) << query;
  }
}

TEST_F(SqlResultTest, ReadsWithoutAResultSetFailClearly) {
  for (const char* native : {"SQL_GETROWCOUNT", "SQL_COLCOUNT", "SQL_NEXT", "SQL_MOVEFIRST"}) {
    EXPECT_NE(script_.Error(native, {kHandle}), "") << native;
  }
  EXPECT_NE(script_.Error("SQL_FIELDASSTRING", {kHandle, "v"}), "");
}

}  // namespace
}  // namespace qorsv
