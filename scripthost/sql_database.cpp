#include "scripthost/sql_database.h"

#include <limits>
#include <mutex>

#include "scripthost/sql_error.h"

namespace qorsv {
namespace {

// Before the library's first use: connections are each used by one thread at a time (the
// handle table's entry lock), so they need no mutex of their own, and the library's memory
// statistics, which take one process-wide lock for every allocation, are not used. Many
// requests then run their statements side by side instead of queueing on those locks.
void ConfigureSqliteOnce() {
  static std::once_flag configured;
  std::call_once(configured, [] {
    sqlite3_config(SQLITE_CONFIG_MULTITHREAD);
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  });
}

}  // namespace

std::unique_ptr<SqlDatabase> SqlDatabase::Open(const std::string& path, int busy_timeout_ms,
                                               SqlConnectionPool* pool) {
  ConfigureSqliteOnce();
  SqlFileIdentity file;
  bool identified = pool != nullptr && IdentifySqlFile(path, &file);
  if (identified) {
    if (sqlite3* kept = pool->Take(path, file)) {
      // Kept connections were opened here, with this timeout and the PRAGMA, and nothing of
      // their earlier use shows.
      std::unique_ptr<SqlDatabase> database(new SqlDatabase(kept));
      database->KeepFor(pool, path, file);
      return database;
    }
  }
  sqlite3* db = nullptr;
  // No SQLITE_OPEN_CREATE: the caller has seen the file, and a file that vanished since must
  // not come back empty.
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  std::unique_ptr<SqlDatabase> database(new SqlDatabase(db));
  if (db != nullptr) {
    sqlite3_busy_timeout(db, busy_timeout_ms);
    database->Execute("PRAGMA SYNCHRONOUS=FULL;");
    if (identified) database->KeepFor(pool, path, file);
  }
  return database;
}

void SqlDatabase::KeepFor(SqlConnectionPool* pool, const std::string& path,
                          const SqlFileIdentity& file) {
  pool_ = pool;
  path_ = path;
  file_ = file;
  state_changed_ = false;
  WatchSqlConnectionState(db_, &state_changed_);
}

SqlDatabase::~SqlDatabase() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

void SqlDatabase::Execute(const std::string& sql) {
  if (db_ == nullptr || sql.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    return;
  }
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) ==
          SQLITE_OK &&
      statement != nullptr) {
    sqlite3_step(statement);
  }
  sqlite3_finalize(statement);
}

void SqlDatabase::BeginTransaction() {
  if (in_transaction_) throw ESQLiteException("Transaction already open");
  Execute("BEGIN TRANSACTION;");
  in_transaction_ = true;
}

void SqlDatabase::Commit() {
  Execute("COMMIT;");
  in_transaction_ = false;
}

void SqlDatabase::Rollback() {
  Execute("ROLLBACK;");
  in_transaction_ = false;
}

ResultSet SqlDatabase::Load(const std::string& query) const { return ResultSet::Load(db_, query); }

bool SqlDatabase::TableExists(const std::string& name) const {
  std::string lower = name;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  ResultSet found = ResultSet::Load(
      db_, "select [sql] from sqlite_master where [type] = 'table' and lower(name) = ? ", {lower});
  return found.RowCount() > 0;
}

void SqlDatabase::DropTable(const std::string& name) {
  if (TableExists(name)) Execute("DROP TABLE " + name);
}

void SqlDatabase::Close() {
  if (db_ == nullptr) return;
  if (in_transaction_) Rollback();
  sqlite3* db = db_;
  db_ = nullptr;
  if (pool_ != nullptr) {
    WatchSqlConnectionState(db, nullptr);
    if (SqlConnectionUnchanged(db, state_changed_)) {
      pool_->Give(path_, file_, db);
      return;
    }
  }
  if (sqlite3_close(db) != SQLITE_OK) {
    std::string message = sqlite3_errmsg(db);
    sqlite3_close_v2(db);
    throw ESQLiteException(message);
  }
}

}  // namespace qorsv
