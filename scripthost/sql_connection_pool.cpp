#include "scripthost/sql_connection_pool.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace qorsv {
namespace {

// PRAGMAs that take an argument and only read: the schema questions scripts ask.
bool ReadOnlyPragma(const char* name) {
  static constexpr const char* kReadOnly[] = {"table_info",  "table_xinfo", "index_list",
                                              "index_info",  "index_xinfo", "foreign_key_list",
                                              "foreign_key_check", "integrity_check",
                                              "quick_check"};
  for (const char* read_only : kReadOnly) {
    if (sqlite3_stricmp(name, read_only) == 0) return true;
  }
  return false;
}

int WatchAction(void* changed, int action, const char* first, const char* second, const char*,
                const char*) {
  switch (action) {
    case SQLITE_PRAGMA:
      // Without an argument a PRAGMA only reports its setting.
      if (second != nullptr && (first == nullptr || !ReadOnlyPragma(first))) {
        *static_cast<bool*>(changed) = true;
      }
      break;
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
    case SQLITE_CREATE_TEMP_INDEX:
    case SQLITE_CREATE_TEMP_TABLE:
    case SQLITE_CREATE_TEMP_TRIGGER:
    case SQLITE_CREATE_TEMP_VIEW:
      *static_cast<bool*>(changed) = true;
      break;
    default:
      break;
  }
  return SQLITE_OK;
}

}  // namespace

bool IdentifySqlFile(const std::string& path, SqlFileIdentity* identity) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return false;
  *identity = SqlFileIdentity{info.st_dev, info.st_ino};
  return true;
}

SqlConnectionPool::~SqlConnectionPool() {
  for (Idle& idle : idle_) sqlite3_close_v2(idle.db);
}

sqlite3* SqlConnectionPool::Take(const std::string& path, const SqlFileIdentity& identity) {
  std::vector<sqlite3*> stale;
  sqlite3* found = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = idle_.size(); i-- > 0;) {
      if (idle_[i].path != path) continue;
      if (!(idle_[i].identity == identity)) {
        stale.push_back(idle_[i].db);
      } else if (found == nullptr) {
        found = idle_[i].db;
      } else {
        continue;
      }
      idle_.erase(idle_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  for (sqlite3* db : stale) sqlite3_close_v2(db);
  return found;
}

void SqlConnectionPool::Give(const std::string& path, const SqlFileIdentity& identity,
                             sqlite3* db) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t same_file = static_cast<size_t>(std::count_if(
        idle_.begin(), idle_.end(), [&](const Idle& idle) { return idle.path == path; }));
    if (idle_.size() < kMaxIdle && same_file < kMaxIdlePerFile) {
      idle_.push_back(Idle{path, identity, db, std::chrono::steady_clock::now()});
      return;
    }
  }
  sqlite3_close_v2(db);
}

size_t SqlConnectionPool::CloseIdle(std::chrono::steady_clock::duration idle) {
  std::vector<sqlite3*> closing;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto now = std::chrono::steady_clock::now();
    auto kept = std::remove_if(idle_.begin(), idle_.end(), [&](const Idle& entry) {
      if (now - entry.since < idle) return false;
      closing.push_back(entry.db);
      return true;
    });
    idle_.erase(kept, idle_.end());
  }
  for (sqlite3* db : closing) sqlite3_close_v2(db);
  return closing.size();
}

size_t SqlConnectionPool::IdleCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return idle_.size();
}

void WatchSqlConnectionState(sqlite3* db, bool* changed) {
  if (changed == nullptr) {
    sqlite3_set_authorizer(db, nullptr, nullptr);
  } else {
    sqlite3_set_authorizer(db, WatchAction, changed);
  }
}

bool SqlConnectionUnchanged(sqlite3* db, bool changed) {
  return !changed && sqlite3_get_autocommit(db) != 0 && sqlite3_total_changes64(db) == 0 &&
         sqlite3_last_insert_rowid(db) == 0 && sqlite3_next_stmt(db, nullptr) == nullptr;
}

}  // namespace qorsv
