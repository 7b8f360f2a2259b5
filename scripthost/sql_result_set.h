// ResultSet: the whole result of one query, read completely when it is loaded, with a cursor
// and typed field reads by column name. Columns are typed once, from their declared type or,
// without one, from the storage class of the first row's value.
//
// A ResultSet belongs to one SQL handle and is used by one thread at a time; it holds no
// database resources once loaded.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qorsv {

enum class ColumnClass { kText, kInteger, kBoolean, kNumeric, kBlob };

// The class of a declared column type, upper-cased and compared whole: INTEGER, BOOLEAN,
// NUMERIC/FLOAT/DOUBLE, BLOB; anything else is text. nullopt for a column without one.
std::optional<ColumnClass> ClassOfDeclaredType(const char* declared_type);

class ResultSet {
 public:
  // A cell: absent for SQL NULL (and for an empty blob), else a value of its column's class
  // (text and blob as bytes).
  using Cell = std::optional<std::variant<std::string, int32_t, bool, double>>;

  // Runs `query` on `db` with `text_parameters` bound in order and reads every row. A query that
  // does not prepare, or a step that fails for another reason than a busy database, gives an
  // empty result. A busy database throws ESQLiteException "Could not prepare SQL statement".
  static ResultSet Load(sqlite3* db, const std::string& query,
                        const std::vector<std::string>& text_parameters = {});

  uint32_t RowCount() const { return row_count_; }
  uint32_t ColCount() const { return static_cast<uint32_t>(names_.size()); }
  uint32_t CursorRow() const { return cursor_; }

  // 0-based index of the first column named `name`, letter case ignored. Throws
  // ESQLiteException "Field <name> Not found. Empty dataset" without rows, or
  // "Field not found in dataset: <name>".
  uint32_t FieldIndex(const std::string& name) const;

  // The field of the cursor row; ESQLiteException with the system's texts when the cursor is
  // past the end or the column's class does not fit the read.
  std::string FieldAsString(const std::string& name) const;
  int32_t FieldAsInteger(const std::string& name) const;
  bool FieldAsBoolean(const std::string& name) const;

  // Cursor moves. Next returns true as it leaves the last row (the cursor is then past the end)
  // and false only when it was past the end already.
  bool Next();
  bool Previous();
  void MoveFirst();
  void MoveLast();

 private:
  const Cell& CursorCell(const std::string& name, uint32_t* column) const;

  uint32_t row_count_ = 0;
  std::vector<std::string> names_;
  std::vector<ColumnClass> classes_;
  std::vector<Cell> cells_;  // row_count_ x ColCount() in row order
  uint32_t cursor_ = 0;
};

}  // namespace qorsv
