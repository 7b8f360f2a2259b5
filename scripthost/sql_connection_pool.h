// SqlConnectionPool: SQLite connections that a closed SQL handle left as it found them, kept so
// that the next handle on the same database file starts without opening the file and reading
// its schema again (most of the cost of a short page that reads a few rows).
//
// A connection is kept only when nothing of its use can show through to the next handle: no
// transaction open, no row changed (so changes(), total_changes() and last_insert_rowid() still
// answer what a fresh connection answers), no temporary object, no attached database and no
// setting changed by a PRAGMA. A kept connection is handed out only while the path still names
// the file it opened; one replaced or deleted since is closed instead.
//
// Thread-safe.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

namespace qorsv {

// Which file a path named when a connection opened it.
struct SqlFileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const SqlFileIdentity&) const = default;
};

// The identity of the file at `path` now; false when there is none.
bool IdentifySqlFile(const std::string& path, SqlFileIdentity* identity);

class SqlConnectionPool {
 public:
  static constexpr size_t kMaxIdlePerFile = 8;
  static constexpr size_t kMaxIdle = 32;

  SqlConnectionPool() = default;
  ~SqlConnectionPool();
  SqlConnectionPool(const SqlConnectionPool&) = delete;
  SqlConnectionPool& operator=(const SqlConnectionPool&) = delete;

  // An idle connection to the file `identity` at `path`, or nullptr. Idle connections to a file
  // that `path` no longer names are closed.
  sqlite3* Take(const std::string& path, const SqlFileIdentity& identity);

  // Keeps a connection that was left as it was found; closes it when the pool is full.
  void Give(const std::string& path, const SqlFileIdentity& identity, sqlite3* db);

  size_t IdleCount() const;

  // Closes the connections kept for at least `idle`; answers how many.
  size_t CloseIdle(std::chrono::steady_clock::duration idle);

 private:
  struct Idle {
    std::string path;
    SqlFileIdentity identity;
    sqlite3* db;
    std::chrono::steady_clock::time_point since;
  };

  mutable std::mutex mutex_;
  std::vector<Idle> idle_;
};

// Installs the watch that tells whether a connection's use changed anything a fresh connection
// would not have: `*changed` is set by any statement prepared from now on that attaches or
// detaches a database, creates a temporary object or sets a PRAGMA. A null `changed` removes the
// watch.
void WatchSqlConnectionState(sqlite3* db, bool* changed);

// True when `db`, watched through `changed`, can serve another handle as if newly opened.
bool SqlConnectionUnchanged(sqlite3* db, bool changed);

}  // namespace qorsv
