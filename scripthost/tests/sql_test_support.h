// The SQL natives as a script sees them, for tests: bound to a private handle table whose
// scriptdata folder is a temporary directory and whose log lines and counts are collected.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <mutex>
#include <string>
#include <vector>

#include "scripthost/native_groups.h"
#include "scripthost/run_context.h"
#include "scripthost/sql_handles.h"
#include "scripthost/tests/fake_native_call.h"
#include "scripthost/tests/temp_dir.h"

namespace qorsv::testing {

class SqlScript {
 public:
  static constexpr int kRunA = 4101;
  static constexpr int kRunB = 4102;

  explicit SqlScript(int busy_timeout_ms = 50) : table_(MakeOptions(busy_timeout_ms)) {
    std::filesystem::create_directory(dir_ / "scriptdata");
    AddSqlNatives(natives_, table_);
  }

  SqlHandleTable& Table() { return table_; }
  const TempDir& Dir() const { return dir_; }
  std::string DataPath(const std::string& name) const { return dir_ / ("scriptdata/" + name); }
  void MakeDatabase(const std::string& name) { WriteFile(DataPath(name), ""); }

  // Calls a native as the run on `thread_id` does.
  FakeNativeCall Call(const std::string& name, std::vector<FakeNativeCall::Value> args,
                      int thread_id = kRunA) {
    RunContext context{thread_id, 1};
    FakeNativeCall call(std::move(args), &context);
    natives_.at(name)(call);
    return call;
  }
  int64_t Int(const std::string& name, std::vector<FakeNativeCall::Value> args) {
    return Call(name, std::move(args)).ResultInt();
  }
  // The message of the ESQLiteException the call raises, or "" when it raises none.
  std::string Error(const std::string& name, std::vector<FakeNativeCall::Value> args) {
    try {
      Call(name, std::move(args));
    } catch (const ESQLiteException& error) {
      return error.what();
    }
    return "";
  }
  int64_t Open(const std::string& dbn, int thread_id = kRunA) {
    return Call("SQL_GETNEWHANDLE", {dbn}, thread_id).ResultInt();
  }

  // What the table reported: syslog and Memo1 lines, counts after each run's release.
  std::vector<std::string> Syslog() { return Locked(log_->syslog); }
  std::vector<std::string> Memo1() { return Locked(log_->memo1); }
  std::vector<uint32_t> Counts() { return Locked(log_->counts); }

 private:
  struct Log {
    std::mutex mutex;
    std::vector<std::string> syslog, memo1;
    std::vector<uint32_t> counts;
  };

  template <typename T>
  T Locked(const T& value) {
    std::lock_guard lock(log_->mutex);
    return value;
  }

  SqlHandleTable::Options MakeOptions(int busy_timeout_ms) {
    auto collect = [log = log_](auto& into) {
      return [log, &into](const auto& value) {
        std::lock_guard lock(log->mutex);
        into.push_back(value);
      };
    };
    SqlHandleTable::Options options;
    options.scriptdata_dir = dir_.Dir() + "scriptdata/";
    options.busy_timeout_ms = busy_timeout_ms;
    options.syslog = collect(log_->syslog);
    options.memo1 = collect(log_->memo1);
    options.count_changed = collect(log_->counts);
    return options;
  }

  TempDir dir_;
  std::shared_ptr<Log> log_ = std::make_shared<Log>();
  SqlHandleTable table_;
  NativeFunctionMap natives_;
};

// A second connection to a database file, as another request or program would hold it.
class OtherConnection {
 public:
  explicit OtherConnection(const std::string& path) { sqlite3_open(path.c_str(), &db_); }
  ~OtherConnection() { sqlite3_close(db_); }
  OtherConnection(const OtherConnection&) = delete;
  OtherConnection& operator=(const OtherConnection&) = delete;

  int Exec(const std::string& sql) {
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace qorsv::testing
