#pragma once
// Appends rows to one table through a table-type DAO recordset, the way the
// library's record mappers write: AddNew, every column set (numbers 0, texts
// "", Booleans False, dates the zero date, binaries Null unless given),
// Update. Column positions are looked up once.

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/automation/Variant.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"

namespace qvdb {

class TableWriter {
 public:
  // Errors: 3078 no such table.
  TableWriter(qv::dao::Database& db, std::string_view table);
  ~TableWriter();
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  // The position of a column; error 3265 when the table has none of that name.
  int Column(std::string_view name) const;

  // Starts a row with every column at its default.
  void Begin();
  void Set(int column, qv::Variant value) { rs_->SetField(column, std::move(value)); }
  void Set(std::string_view column, qv::Variant value) { Set(Column(column), std::move(value)); }
  // Writes the row (the table's rules raise 3022, 3163 ... and leave nothing).
  void End();
  int64_t RowsWritten() const { return rows_; }

  // True when the primary index "Id" (or `index`) holds the key.
  bool Exists(const qv::Variant& key, const char* index = "Id") {
    return Exists(std::span<const qv::Variant>(&key, 1), index);
  }
  bool Exists(std::span<const qv::Variant> keys, const char* index);
  // The largest value of a numeric column, 0 for an empty table.
  static double MaxOf(qv::dao::Database& db, std::string_view table, std::string_view column);

 private:
  std::shared_ptr<qv::dao::Recordset> rs_;
  std::vector<qv::Variant> defaults_;
  int64_t rows_ = 0;
};

}  // namespace qvdb
