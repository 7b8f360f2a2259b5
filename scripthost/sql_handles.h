// SqlHandles: the process-wide table of 1000 SQL handles (Tts) through which scripts reach
// SQLite databases. A script opens a handle on a database file, runs statements and loads
// query results through it; each handle records the connection thread id of the run that opened
// it, and the script runner releases a run's handles when the run ends (ReleaseRunSqlHandles),
// the page processor once more when the page is done (ReleasePageSqlHandles).
//
// Thread-safety: taking an entry and the release passes happen under the table's one lock, so
// two runs never take the same entry and a pass never meets an entry half taken. Every use of
// an entry is serialised by the entry's own lock, so statements of different handles run in
// parallel, while a script that names a handle of another run cannot corrupt it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <mutex>
#include <string>

#include "scripthost/sql_database.h"
#include "scripthost/sql_error.h"
#include "scripthost/sql_result_set.h"

namespace qorsv {

struct Tsqlite {
  std::string DatabasePath;               // the path that was opened
  std::unique_ptr<SqlDatabase> Database;  // the open connection, or none
  std::unique_ptr<ResultSet> Rows;        // the last loaded result, or none
};

struct Tts {
  Tsqlite sqlite;
  bool InUse = false;
  uint32_t OwnerThreadId = 0;  // connection thread id of the run that opened the handle
};

class SqlHandleTable {
 public:
  static constexpr int64_t kHandleCount = 1000;
  static constexpr uint32_t kNoHandle = 65535;  // "no handle was given"
  static constexpr int kBusyTimeoutMs = 5000;

  struct Options {
    std::string scriptdata_dir;  // where database names are looked for first; ends in "/"
    int busy_timeout_ms = kBusyTimeoutMs;
    // The console's log views; by default the server log's syslog and Memo1 (shown only while
    // `showlog` is on).
    std::function<void(const std::string&)> syslog;
    std::function<void(const std::string&)> memo1;
    // Told the number of handles in use after every ReleaseRunSqlHandles pass; by default the
    // console's count label `lbl_sqlhandles`.
    std::function<void(uint32_t)> count_changed;
  };

  explicit SqlHandleTable(Options options);
  ~SqlHandleTable();

  // Opens the database `dbn` (looked for in the scriptdata folder first, then as given) on the
  // lowest free entry for the run `owner_thread_id`; kNoHandle when no such file exists or every
  // entry is taken.
  uint32_t GetNewHandle(const std::string& dbn, uint32_t owner_thread_id);

  // Runs `use` on the entry's database side under the entry's lock. Throws ESQLiteException for
  // a number outside 1 to 1000 or an entry that is not in use.
  template <typename Use>
  auto WithHandle(int64_t handle, Use use) {
    Entry& entry = At(handle);
    std::lock_guard lock(entry.mutex);
    if (!entry.record.InUse) throw NotInUse(handle);
    return use(entry.record.sqlite);
  }

  // Like WithHandle, for the handle's loaded result. Throws ESQLiteException as well when the
  // handle has no result set yet.
  template <typename Use>
  auto WithRows(int64_t handle, Use use) {
    return WithHandle(handle, [&](Tsqlite& sqlite) {
      if (!sqlite.Rows) throw NoResultSet(handle);
      return use(*sqlite.Rows);
    });
  }

  // sql_destroy: releases the entry. Throws like WithHandle.
  void Destroy(int64_t handle);

  // Releases every entry that the run on `thread_id` opened, with a "killed sql" line for each
  // one that was still open, then reports the new count.
  void ReleaseRunSqlHandles(uint32_t thread_id);

  // Releases every entry in use by `thread_id`, with a "Killed id=" line in Memo1 for each.
  void ReleasePageSqlHandles(uint32_t thread_id);

  // The number of entries in use (what sql_freehandles answers and the console shows).
  uint32_t CountSqlHandlesInUse() const;

  // Connections kept for the next handles on their files.
  size_t IdleConnectionCount() const { return connections_.IdleCount(); }
  // Closes the connections kept unused for at least `idle`.
  size_t CloseIdleConnections(std::chrono::steady_clock::duration idle) {
    return connections_.CloseIdle(idle);
  }

 private:
  struct Entry {
    // Guards record. InUse and OwnerThreadId change only under both this lock and the table's,
    // so either lock alone is enough to read them.
    std::mutex mutex;
    Tts record;
  };

  Entry& At(int64_t handle);
  static ESQLiteException NotInUse(int64_t handle);
  static ESQLiteException NoResultSet(int64_t handle);
  // Closes the connection and discards the result set; errors are logged and passed over.
  void ReleaseEntry(Tts& record);
  // Clears InUse and keeps the count; call with the table's lock held.
  void MarkFree(Tts& record);
  // Shows the count on the console when it differs from the one shown last.
  void ShowCount(uint32_t count);

  Options options_;
  SqlConnectionPool connections_;  // idle connections that closed handles left unchanged
  mutable std::mutex mutex_;
  std::unique_ptr<std::array<Entry, kHandleCount>> entries_;
  uint32_t in_use_ = 0;  // entries with InUse set; guarded by mutex_
  std::mutex shown_mutex_;
  std::optional<uint32_t> shown_;  // the count the console shows; guarded by shown_mutex_
};

// The process-wide table: databases are looked for in the program directory's scriptdata/.
SqlHandleTable& SqlHandles();

// The operations other parts of the server call, on the process-wide table.
void ReleaseRunSqlHandles(uint32_t thread_id);
void ReleasePageSqlHandles(uint32_t thread_id);
uint32_t CountSqlHandlesInUse();

}  // namespace qorsv
