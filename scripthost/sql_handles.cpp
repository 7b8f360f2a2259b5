#include "scripthost/sql_handles.h"

#include "console/console_window.h"
#include "console/server_log.h"
#include "scripthost/file_functions.h"
#include "scripthost/file_paths.h"
#include "transport/platform.h"

namespace qorsv {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Runs a release step; an error is shown in Memo1 as "Passed over <what> Exception ..." and
// goes no further, so the release carries on.
template <typename Step>
void PassOver(const std::string& what, const std::function<void(const std::string&)>& memo1,
              Step step) {
  try {
    step();
  } catch (const std::exception& error) {
    const char* class_name =
        dynamic_cast<const ESQLiteException*>(&error) != nullptr ? "ESQLiteException" : "Exception";
    memo1("Passed over " + what + " Exception class name = " + class_name);
    memo1(std::string("Exception message = ") + error.what());
  }
}

}  // namespace

SqlHandleTable::SqlHandleTable(Options options)
    : options_(std::move(options)), entries_(std::make_unique<std::array<Entry, kHandleCount>>()) {
  if (!options_.syslog) options_.syslog = AddSyslogLine;
  if (!options_.memo1) options_.memo1 = AddMemo1Line;
  if (!options_.count_changed) options_.count_changed = ShowSqlHandleCount;
}

SqlHandleTable::~SqlHandleTable() = default;

SqlHandleTable::Entry& SqlHandleTable::At(int64_t handle) {
  if (handle < 1 || handle > kHandleCount) {
    throw ESQLiteException("SQL handle " + std::to_string(handle) + " does not exist (1 to " +
                           std::to_string(kHandleCount) + ")");
  }
  return (*entries_)[handle - 1];
}

ESQLiteException SqlHandleTable::NotInUse(int64_t handle) {
  return ESQLiteException("SQL handle " + std::to_string(handle) + " is not in use");
}

ESQLiteException SqlHandleTable::NoResultSet(int64_t handle) {
  return ESQLiteException("SQL handle " + std::to_string(handle) +
                          " has no result set (sql_gettable loads one)");
}

uint32_t SqlHandleTable::GetNewHandle(const std::string& dbn, uint32_t owner_thread_id) {
  std::string path = options_.scriptdata_dir + scriptapi::NativePath(dbn);
  if (!scriptapi::FileExists(path)) path = scriptapi::NativePath(dbn);
  options_.syslog("Resorting to " + Quoted(path));
  if (!scriptapi::FileExists(path)) {
    options_.syslog("Failed to open " + Quoted(path));
    return kNoHandle;
  }

  std::unique_lock table_lock(mutex_);
  for (int64_t n = 1; n <= kHandleCount; ++n) {
    Entry& entry = At(n);
    // InUse may be read under the table's lock alone; the scan never waits for an entry that
    // another run is busy with.
    if (entry.record.InUse) continue;
    std::unique_lock entry_lock(entry.mutex);
    entry.record.InUse = true;
    ++in_use_;
    entry.record.OwnerThreadId = owner_thread_id;
    // The entry is ours: open the file without holding up the rest of the table.
    table_lock.unlock();
    entry.record.sqlite.Database = SqlDatabase::Open(path, options_.busy_timeout_ms, &connections_);
    entry.record.sqlite.DatabasePath = path;
    return static_cast<uint32_t>(n);
  }
  return kNoHandle;
}

void SqlHandleTable::MarkFree(Tts& record) {
  if (!record.InUse) return;
  record.InUse = false;
  --in_use_;
}

void SqlHandleTable::ReleaseEntry(Tts& record) {
  MarkFree(record);
  PassOver("DB", options_.memo1, [&] {
    std::unique_ptr<SqlDatabase> database = std::move(record.sqlite.Database);
    if (database) database->Close();
  });
  PassOver("TB", options_.memo1, [&] { record.sqlite.Rows.reset(); });
}

void SqlHandleTable::Destroy(int64_t handle) {
  Entry& entry = At(handle);
  std::lock_guard table_lock(mutex_);
  std::lock_guard entry_lock(entry.mutex);
  if (!entry.record.InUse) throw NotInUse(handle);
  ReleaseEntry(entry.record);
}

void SqlHandleTable::ReleaseRunSqlHandles(uint32_t thread_id) {
  uint32_t count;
  {
    std::lock_guard table_lock(mutex_);
    try {
      // An entry that is not in use holds no connection and no result set: with none in use
      // there is nothing to release.
      for (Entry& entry : *entries_) {
        if (in_use_ == 0) break;
        Tts& record = entry.record;
        if (record.OwnerThreadId != thread_id) continue;
        std::lock_guard entry_lock(entry.mutex);
        MarkFree(record);
        if (record.sqlite.Database || record.sqlite.Rows) {
          options_.syslog("killed sql : " + std::to_string(thread_id) +
                          " name:" + Quoted(record.sqlite.DatabasePath));
          ReleaseEntry(record);
        }
      }
    } catch (const std::exception&) {
      // A failure during the pass ends it; what was released stays released.
    }
    count = in_use_;
  }
  ShowCount(count);
}

void SqlHandleTable::ShowCount(uint32_t count) {
  std::lock_guard hold(shown_mutex_);
  if (shown_ == count) return;  // the console shows it already
  shown_ = count;
  options_.count_changed(count);
}

void SqlHandleTable::ReleasePageSqlHandles(uint32_t thread_id) {
  std::lock_guard table_lock(mutex_);
  for (int64_t n = 1; n <= kHandleCount && in_use_ > 0; ++n) {
    Entry& entry = At(n);
    if (!entry.record.InUse || entry.record.OwnerThreadId != thread_id) continue;
    std::lock_guard entry_lock(entry.mutex);
    ReleaseEntry(entry.record);
    options_.memo1("Killed id=" + std::to_string(n));
  }
}

uint32_t SqlHandleTable::CountSqlHandlesInUse() const {
  std::lock_guard table_lock(mutex_);
  return in_use_;
}

SqlHandleTable& SqlHandles() {
  static SqlHandleTable table([] {
    SqlHandleTable::Options options;
    options.scriptdata_dir = ProgramDir() + "scriptdata/";
    return options;
  }());
  return table;
}

void ReleaseRunSqlHandles(uint32_t thread_id) { SqlHandles().ReleaseRunSqlHandles(thread_id); }

void ReleasePageSqlHandles(uint32_t thread_id) { SqlHandles().ReleasePageSqlHandles(thread_id); }

uint32_t CountSqlHandlesInUse() { return SqlHandles().CountSqlHandlesInUse(); }

}  // namespace qorsv
