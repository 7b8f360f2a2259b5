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
    handle_ = script_.Open("test.db");
    ASSERT_EQ(handle_, 1);
  }
  void Exec(const std::string& sql) { script_.Call("SQL_EXECUTE", {handle_, sql}); }
  void Load(const std::string& sql) { script_.Call("SQL_GETTABLE", {handle_, sql}); }
  std::string AsString(const std::string& field) {
    return script_.Str("SQL_FIELDASSTRING", {handle_, field});
  }
  int64_t AsInteger(const std::string& field) {
    return script_.Int("SQL_FIELDASINTEGER", {handle_, field});
  }
  bool AsBoolean(const std::string& field) {
    return script_.Bool("SQL_FIELDASBOOLEAN", {handle_, field});
  }
  std::string ReadError(const char* native, const std::string& field) {
    return script_.Error(native, {handle_, field});
  }
  int64_t Count(const char* native) { return script_.Int(native, {handle_}); }
  bool Move(const char* native) { return script_.Bool(native, {handle_}); }

  SqlScript script_;
  int64_t handle_ = 0;
};

TEST_F(SqlResultTest, CreateInsertLoadAndRead) {
  Exec("create table people (id INTEGER, Name TEXT, active BOOLEAN)");
  Exec("insert into people values (1, 'Ann', 1)");
  Exec("insert into people values (2, 'Bob', 0); insert into people values (3, 'Cy', 1)");
  Load("select * from people order by id");
  EXPECT_EQ(Count("SQL_GETROWCOUNT"), 2);  // text after the first statement was ignored
  EXPECT_EQ(Count("SQL_GETCOUNT"), 2);
  EXPECT_EQ(Count("SQL_COUNT"), 2);
  EXPECT_EQ(Count("SQL_COLCOUNT"), 3);
  EXPECT_EQ(script_.Int("SQL_GETFIELDINDEX", {handle_, "ACTIVE"}), 2);
  EXPECT_EQ(AsInteger("id"), 1);
  EXPECT_EQ(AsString("NAME"), "Ann");  // column names match without regard to case
  EXPECT_TRUE(AsBoolean("Active"));
  EXPECT_EQ(ReadError("SQL_FIELDASSTRING", "nope"), "Field not found in dataset: nope");
}

TEST_F(SqlResultTest, ColumnClassesDecideWhichReadsWork) {
  Exec(
      "create table typed (i INTEGER, i2 int, b BOOLEAN, n NUMERIC, f FLOAT, d DOUBLE, r REAL,"
      " bl BLOB, v VARCHAR(20), t text)");
  Exec("insert into typed values (42, 7, 5, 2.5, -3.75, 1e3, 1.5, x'0102', 'vc', 'tx')");
  Load(
      "select typed.*, count(*) as cnt, 2.7 as lit, 'words' as str, x'00ff' as bin,"
      " null as nada from typed");
  const std::string kSpecific = "Use the specific methods for integer, numeric or blob fields";
  const std::string kNotInteger = "Not an integer or numeric field";
  const std::string kNotBoolean = "Not a boolean field";
  struct Case {
    const char* field;
    std::string as_string;  // or the error text
    std::string as_integer;
    std::string as_boolean;
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
      {"t", "tx", kNotInteger, kNotBoolean},
      {"cnt", kSpecific, "1", kNotBoolean},  // no declared type: integer from the value
      {"lit", kSpecific, "2", kNotBoolean},  // numeric from the value
      {"str", "words", kNotInteger, kNotBoolean},
      {"bin", kSpecific, kNotInteger, kNotBoolean},
      {"nada", "", "0", "false"},  // NULL: a text column whose cell is absent
  };
  for (const Case& c : cases) {
    std::string error = ReadError("SQL_FIELDASSTRING", c.field);
    EXPECT_EQ(error.empty() ? AsString(c.field) : error, c.as_string) << c.field;
    error = ReadError("SQL_FIELDASINTEGER", c.field);
    EXPECT_EQ(error.empty() ? std::to_string(AsInteger(c.field)) : error, c.as_integer) << c.field;
    error = ReadError("SQL_FIELDASBOOLEAN", c.field);
    EXPECT_EQ(error.empty() ? (AsBoolean(c.field) ? "true" : "false") : error, c.as_boolean)
        << c.field;
  }
}

TEST_F(SqlResultTest, AbsentCellsReadAsEmptyWhateverTheClass) {
  Exec("create table holes (i INTEGER, b BOOLEAN, n NUMERIC, bl BLOB, t TEXT)");
  Exec("insert into holes values (null, null, null, x'', null)");
  Load("select * from holes");
  for (const char* field : {"i", "b", "n", "bl", "t"}) {
    EXPECT_EQ(AsString(field), "") << field;
    EXPECT_EQ(AsInteger(field), 0) << field;
    EXPECT_FALSE(AsBoolean(field)) << field;
  }
}

TEST_F(SqlResultTest, IntegerReadsKeepThirtyTwoBits) {
  Exec("create table big (i INTEGER)");
  Exec("insert into big values (4294967297)");  // 2^32 + 1
  Load("select i, -7.9 as neg from big");
  EXPECT_EQ(AsInteger("i"), 1);
  EXPECT_EQ(AsInteger("neg"), -7);
}

TEST_F(SqlResultTest, ThreeRowLoopEndsAtEndOfFile) {
  Exec("create table t (v TEXT)");
  for (const char* v : {"a", "b", "c"}) Exec(std::string("insert into t values ('") + v + "')");
  Load("select v from t order by v");
  std::string seen;
  std::string error;
  for (int guard = 0; guard < 10; ++guard) {
    error = ReadError("SQL_FIELDASSTRING", "v");
    if (!error.empty()) break;
    seen += AsString("v");
    if (!Move("SQL_NEXT")) break;
  }
  EXPECT_EQ(seen, "abc");
  EXPECT_EQ(error, "Table is at End of File");  // the Next that left the last row said true
  EXPECT_FALSE(Move("SQL_NEXT"));

  EXPECT_TRUE(Move("SQL_PREVIOUS"));
  EXPECT_EQ(AsString("v"), "c");
  script_.Call("SQL_MOVEFIRST", {handle_});
  EXPECT_EQ(AsString("v"), "a");
  EXPECT_FALSE(Move("SQL_PREVIOUS"));
  script_.Call("SQL_MOVELAST", {handle_});
  EXPECT_EQ(AsString("v"), "c");
}

TEST_F(SqlResultTest, EmptyResult) {
  Exec("create table t (v TEXT)");
  Load("select v from t");
  EXPECT_EQ(Count("SQL_GETROWCOUNT"), 0);
  EXPECT_EQ(Count("SQL_COLCOUNT"), 0);
  EXPECT_FALSE(Move("SQL_NEXT"));
  EXPECT_FALSE(Move("SQL_PREVIOUS"));
  script_.Call("SQL_MOVEFIRST", {handle_});
  script_.Call("SQL_MOVELAST", {handle_});
  for (const char* native :
       {"SQL_FIELDASSTRING", "SQL_FIELDASINTEGER", "SQL_FIELDASBOOLEAN", "SQL_GETFIELDINDEX"}) {
    EXPECT_EQ(ReadError(native, "v"), "Field v Not found. Empty dataset") << native;
  }
}

TEST_F(SqlResultTest, QueryThatDoesNotPrepareGivesAnEmptyResult) {
  Exec("create table t (v TEXT)");
  Exec("insert into t values ('x')");
  Load("select v from t");
  ASSERT_EQ(Count("SQL_GETROWCOUNT"), 1);
  Load("select from where");
  EXPECT_EQ(Count("SQL_GETROWCOUNT"), 0);
  Load("select * from no_such_table");
  EXPECT_EQ(Count("SQL_GETROWCOUNT"), 0);
  Load("");
  EXPECT_EQ(Count("SQL_GETROWCOUNT"), 0);
}

TEST_F(SqlResultTest, ReadsWithoutAResultSetFailClearly) {
  for (const char* native : {"SQL_GETROWCOUNT", "SQL_COLCOUNT", "SQL_NEXT", "SQL_MOVEFIRST"}) {
    EXPECT_NE(script_.Error(native, {handle_}), "") << native;
  }
  EXPECT_NE(ReadError("SQL_FIELDASSTRING", "v"), "");
}

TEST(ColumnClassTest, DeclaredTypesAreComparedWhole) {
  struct Case {
    const char* declared;
    ColumnClass expected;
  } cases[] = {
      {"INTEGER", ColumnClass::kInteger}, {"integer", ColumnClass::kInteger},
      {"BOOLEAN", ColumnClass::kBoolean}, {"Numeric", ColumnClass::kNumeric},
      {"FLOAT", ColumnClass::kNumeric},   {"double", ColumnClass::kNumeric},
      {"BLOB", ColumnClass::kBlob},       {"INT", ColumnClass::kText},
      {"REAL", ColumnClass::kText},       {"INTEGER ", ColumnClass::kText},
      {"BIGINTEGER", ColumnClass::kText}, {"DOUBLE PRECISION", ColumnClass::kText},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassOfDeclaredType(c.declared), c.expected) << c.declared;
  }
  EXPECT_EQ(ClassOfDeclaredType(nullptr), std::nullopt);
}

}  // namespace
}  // namespace qorsv
