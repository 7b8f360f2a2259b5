// SqlDatabase: the database side of one SQL handle, an SQLite connection and whether the
// script has a transaction open on it. Statements run silently: whatever SQLite reports while
// a statement runs (syntax error, constraint, busy database) is dropped, as scripts expect.
//
// Used by one thread at a time (the SQL handle table serialises access to a handle).
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

#include "scripthost/sql_connection_pool.h"
#include "scripthost/sql_result_set.h"

namespace qorsv {

class SqlDatabase {
 public:
  // Opens an existing file and runs "PRAGMA SYNCHRONOUS=FULL;". A failure is not reported: the
  // connection then answers every query with an empty result. A statement that meets a locked
  // database waits up to `busy_timeout_ms` before it gives up. With a pool, an idle connection
  // to the same file is taken instead when there is one, and Close() gives the connection back
  // when its use left it as it was.
  static std::unique_ptr<SqlDatabase> Open(const std::string& path, int busy_timeout_ms,
                                           SqlConnectionPool* pool = nullptr);

  ~SqlDatabase();
  SqlDatabase(const SqlDatabase&) = delete;
  SqlDatabase& operator=(const SqlDatabase&) = delete;

  // Prepares the text as one statement (text after the first statement is ignored), steps it
  // once and finalizes it; errors are dropped.
  void Execute(const std::string& sql);

  // Throws ESQLiteException "Transaction already open" when one is open.
  void BeginTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const { return in_transaction_; }

  // Loads a query's whole result (see ResultSet::Load).
  ResultSet Load(const std::string& query) const;

  // True when the database has a table of that name, letter case ignored. The name is bound as
  // a parameter, so no quote in it can change the query.
  bool TableExists(const std::string& name) const;

  // If TableExists(name), runs "DROP TABLE " + name as given.
  void DropTable(const std::string& name);

  // Rolls back an open transaction and closes the connection (or gives it back to the pool).
  // Throws ESQLiteException with SQLite's message when the close fails; the connection is
  // released either way.
  void Close();

 private:
  explicit SqlDatabase(sqlite3* db) : db_(db) {}
  // Lets Close() give the connection back to `pool`, and watches it until then.
  void KeepFor(SqlConnectionPool* pool, const std::string& path, const SqlFileIdentity& file);

  sqlite3* db_;
  bool in_transaction_ = false;
  // Where the connection goes back to, the file it serves, and whether a statement changed what
  // a fresh connection would show (set by the pool's watch).
  SqlConnectionPool* pool_ = nullptr;
  std::string path_;
  SqlFileIdentity file_;
  bool state_changed_ = false;
};

}  // namespace qorsv
