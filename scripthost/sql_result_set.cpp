#include "scripthost/sql_result_set.h"

#include <cmath>
#include <limits>
#include <memory>

#include "scriptengine/native.h"
#include "scripthost/sql_error.h"

namespace qorsv {
namespace {

constexpr char kBusyLoad[] = "Could not prepare SQL statement";
constexpr char kAtEnd[] = "Table is at End of File";
constexpr char kUseSpecificMethods[] =
    "Use the specific methods for integer, numeric or blob fields";
constexpr char kNotInteger[] = "Not an integer or numeric field";
constexpr char kNotBoolean[] = "Not a boolean field";

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

bool IsBusy(int code) { return (code & 0xFF) == SQLITE_BUSY; }

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool SameTextAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

ColumnClass ClassOfStorage(int storage_class) {
  switch (storage_class) {
    case SQLITE_INTEGER:
      return ColumnClass::kInteger;
    case SQLITE_FLOAT:
      return ColumnClass::kNumeric;
    case SQLITE_BLOB:
      return ColumnClass::kBlob;
    default:
      return ColumnClass::kText;  // text, and NULL
  }
}

ResultSet::Cell ReadCell(sqlite3_stmt* statement, int column, ColumnClass column_class) {
  if (sqlite3_column_type(statement, column) == SQLITE_NULL) return std::nullopt;
  switch (column_class) {
    case ColumnClass::kInteger:
      return sqlite3_column_int(statement, column);
    case ColumnClass::kBoolean:
      return sqlite3_column_int(statement, column) != 0;
    case ColumnClass::kNumeric:
      return sqlite3_column_double(statement, column);
    case ColumnClass::kBlob: {
      const void* bytes = sqlite3_column_blob(statement, column);
      int size = sqlite3_column_bytes(statement, column);
      if (bytes == nullptr || size <= 0) return std::nullopt;
      return std::string(static_cast<const char*>(bytes), size);
    }
    case ColumnClass::kText: {
      const unsigned char* text = sqlite3_column_text(statement, column);
      if (text == nullptr) return std::string();
      return std::string(reinterpret_cast<const char*>(text));  // up to the first NUL
    }
  }
  return std::nullopt;
}

// A number truncated toward zero to 32 bits, as an integer read of a numeric field gives it.
int32_t TruncateToInteger(double value) {
  if (std::isnan(value) || std::fabs(value) >= 9.2e18) {
    throw script::NativeMathError("Invalid floating point operation");
  }
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(std::trunc(value))));
}

}  // namespace

std::optional<ColumnClass> ClassOfDeclaredType(const char* declared_type) {
  if (declared_type == nullptr) return std::nullopt;
  std::string type(declared_type);
  for (char& c : type) c = AsciiUpper(c);
  if (type == "INTEGER") return ColumnClass::kInteger;
  if (type == "BOOLEAN") return ColumnClass::kBoolean;
  if (type == "NUMERIC" || type == "FLOAT" || type == "DOUBLE") return ColumnClass::kNumeric;
  if (type == "BLOB") return ColumnClass::kBlob;
  return ColumnClass::kText;
}

ResultSet ResultSet::Load(sqlite3* db, const std::string& query,
                          const std::vector<std::string>& text_parameters) {
  ResultSet result;
  if (db == nullptr || query.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    return result;
  }
  sqlite3_stmt* raw = nullptr;
  int code = sqlite3_prepare_v2(db, query.data(), static_cast<int>(query.size()), &raw, nullptr);
  Statement statement(raw);
  if (IsBusy(code)) throw ESQLiteException(kBusyLoad);
  if (code != SQLITE_OK || statement == nullptr) return result;
  for (size_t i = 0; i < text_parameters.size(); ++i) {
    const std::string& value = text_parameters[i];
    sqlite3_bind_text(statement.get(), static_cast<int>(i + 1), value.data(),
                      static_cast<int>(value.size()), SQLITE_TRANSIENT);
  }
  for (;;) {
    code = sqlite3_step(statement.get());
    if (code == SQLITE_DONE) return result;
    if (IsBusy(code)) throw ESQLiteException(kBusyLoad);
    if (code != SQLITE_ROW) return ResultSet();  // the load ends; nobody hears of the error
    int columns = sqlite3_column_count(statement.get());
    if (result.row_count_ == 0) {
      for (int c = 0; c < columns; ++c) {
        const char* name = sqlite3_column_name(statement.get(), c);
        result.names_.emplace_back(name != nullptr ? name : "");
        std::optional<ColumnClass> declared =
            ClassOfDeclaredType(sqlite3_column_decltype(statement.get(), c));
        result.classes_.push_back(
            declared.value_or(ClassOfStorage(sqlite3_column_type(statement.get(), c))));
      }
    }
    for (int c = 0; c < columns; ++c) {
      result.cells_.push_back(ReadCell(statement.get(), c, result.classes_[c]));
    }
    ++result.row_count_;
  }
}

uint32_t ResultSet::FieldIndex(const std::string& name) const {
  if (row_count_ == 0) throw ESQLiteException("Field " + name + " Not found. Empty dataset");
  for (size_t i = 0; i < names_.size(); ++i) {
    if (SameTextAscii(names_[i], name)) return static_cast<uint32_t>(i);
  }
  throw ESQLiteException("Field not found in dataset: " + name);
}

const ResultSet::Cell& ResultSet::CursorCell(const std::string& name, uint32_t* column) const {
  *column = FieldIndex(name);
  if (cursor_ >= row_count_) throw ESQLiteException(kAtEnd);
  return cells_[static_cast<size_t>(cursor_) * names_.size() + *column];
}

std::string ResultSet::FieldAsString(const std::string& name) const {
  uint32_t column = 0;
  const Cell& cell = CursorCell(name, &column);
  if (!cell) return "";
  switch (classes_[column]) {
    case ColumnClass::kText:
      return std::get<std::string>(*cell);
    case ColumnClass::kBoolean:
      return std::get<bool>(*cell) ? "1" : "0";
    default:
      throw ESQLiteException(kUseSpecificMethods);
  }
}

int32_t ResultSet::FieldAsInteger(const std::string& name) const {
  uint32_t column = 0;
  const Cell& cell = CursorCell(name, &column);
  if (!cell) return 0;
  switch (classes_[column]) {
    case ColumnClass::kInteger:
      return std::get<int32_t>(*cell);
    case ColumnClass::kNumeric:
      return TruncateToInteger(std::get<double>(*cell));
    default:
      throw ESQLiteException(kNotInteger);
  }
}

bool ResultSet::FieldAsBoolean(const std::string& name) const {
  uint32_t column = 0;
  const Cell& cell = CursorCell(name, &column);
  if (!cell) return false;
  if (classes_[column] != ColumnClass::kBoolean) throw ESQLiteException(kNotBoolean);
  return std::get<bool>(*cell);
}

bool ResultSet::Next() {
  if (cursor_ >= row_count_) return false;
  ++cursor_;
  return true;
}

bool ResultSet::Previous() {
  if (cursor_ == 0) return false;
  --cursor_;
  return true;
}

void ResultSet::MoveFirst() {
  if (row_count_ > 0) cursor_ = 0;
}

void ResultSet::MoveLast() {
  if (row_count_ > 0) cursor_ = row_count_ - 1;
}

}  // namespace qorsv
