// A script's view of the SQL natives for tests: the natives bound to a private handle table
// whose scriptdata folder is a temporary directory and whose log lines are collected.
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
  explicit SqlScript(int busy_timeout_ms = 50) : table_(MakeOptions(busy_timeout_ms)) {
    std::filesystem::create_directory(dir_ / "scriptdata");
    AddSqlNatives(natives_, table_);
  }

  SqlHandleTable& Table() { return table_; }
  const TempDir& Dir() const { return dir_; }
  std::string DataPath(const std::string& name) const { return dir_ / ("scriptdata/" + name); }

  // Creates an empty database file in scriptdata.
  void MakeDatabase(const std::string& name) { WriteFile(DataPath(name), ""); }

  // Calls a native as the run on `thread_id` would.
  FakeNativeCall Call(const std::string& name, std::vector<FakeNativeCall::Value> args,
                      int thread_id = kRunA) {
    RunContext& context = thread_id == kRunA ? run_a_ : run_b_;
    FakeNativeCall call(std::move(args), &context);
    natives_.at(name)(call);
    return call;
  }
  int64_t Int(const std::string& name, std::vector<FakeNativeCall::Value> args) {
    return Call(name, std::move(args)).ResultInt();
  }
  bool Bool(const std::string& name, std::vector<FakeNativeCall::Value> args) {
    return Call(name, std::move(args)).ResultBool();
  }
  std::string Str(const std::string& name, std::vector<FakeNativeCall::Value> args) {
    return Call(name, std::move(args)).ResultStr();
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

  std::vector<std::string> SyslogLines() {
    std::lock_guard lock(log_->mutex);
    return log_->syslog;
  }
  std::vector<std::string> Memo1Lines() {
    std::lock_guard lock(log_->mutex);
    return log_->memo1;
  }
  // The counts reported after each ReleaseRunSqlHandles pass.
  std::vector<uint32_t> Counts() {
    std::lock_guard lock(log_->mutex);
    return log_->counts;
  }

  static constexpr int kRunA = 4101;
  static constexpr int kRunB = 4102;

 private:
  struct Log {
    std::mutex mutex;
    std::vector<std::string> syslog;
    std::vector<std::string> memo1;
    std::vector<uint32_t> counts;
  };

  SqlHandleTable::Options MakeOptions(int busy_timeout_ms) {
    SqlHandleTable::Options options;
    options.scriptdata_dir = dir_.Dir() + "scriptdata/";
    options.busy_timeout_ms = busy_timeout_ms;
    options.syslog = [log = log_](const std::string& line) {
      std::lock_guard lock(log->mutex);
      log->syslog.push_back(line);
    };
    options.memo1 = [log = log_](const std::string& line) {
      std::lock_guard lock(log->mutex);
      log->memo1.push_back(line);
    };
    options.count_changed = [log = log_](uint32_t count) {
      std::lock_guard lock(log->mutex);
      log->counts.push_back(count);
    };
    return options;
  }

  TempDir dir_;
  std::shared_ptr<Log> log_ = std::make_shared<Log>();
  RunContext run_a_{kRunA, 1};
  RunContext run_b_{kRunB, 2};
  SqlHandleTable table_;
  NativeFunctionMap natives_;
};

// A second connection to a database file, as another program or request would hold it.
class OtherConnection {
 public:
  explicit OtherConnection(const std::string& path) { sqlite3_open(path.c_str(), &db_); }
  ~OtherConnection() { sqlite3_close(db_); }
  OtherConnection(const OtherConnection&) = delete;
  OtherConnection& operator=(const OtherConnection&) = delete;

  int Exec(const std::string& sql) {
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  }

  // The first column of the first row, as text ("" when there is none).
  std::string Scalar(const std::string& sql) {
    std::string value;
    sqlite3_exec(
        db_, sql.c_str(),
        [](void* out, int, char** columns, char**) {
          if (columns[0] != nullptr) *static_cast<std::string*>(out) = columns[0];
          return 0;
        },
        &value, nullptr);
    return value;
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace qorsv::testing
