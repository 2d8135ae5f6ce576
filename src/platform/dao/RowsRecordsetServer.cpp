// RowsRecordset on a server database: the rows come through the engine
// seam (jet::EngineStatement::Values, one call per row) and are kept as
// Variants, FieldCount() per row.

#include <span>

#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/DatabaseServer.h"
#include "platform/dao/RowsRecordset.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/sql/JetPostgres.h"

namespace qv::dao {

std::shared_ptr<RowsRecordset> RowsRecordset::OfServerStatement(
    const std::shared_ptr<Database>& db, std::string_view sql, int32_t type,
    std::unique_ptr<jet::EngineStatement> prepared) {
  auto rs = std::make_shared<RowsRecordset>(Private{}, db, std::string(sql), type);
  rs->server_ = true;
  rs->ReloadServer(std::move(prepared));
  return rs;
}

std::shared_ptr<RowsRecordset> RowsRecordset::OfServerTable(const std::shared_ptr<Database>& db,
                                                            const jet::TableSpec& table,
                                                            int32_t type) {
  auto rs = std::make_shared<RowsRecordset>(Private{}, db, table.name, type);
  rs->server_ = true;
  // Every field by name, in the definition's order; the names are the
  // catalogue's (valid Jet names, which hold no bracket).
  std::string sql = "SELECT ";
  std::vector<RecordsetColumn> columns;
  for (const jet::FieldSpec& f : table.fields) {
    if (!columns.empty()) sql += ", ";
    sql += "[" + f.name + "]";
    columns.push_back({f, table.name, f.name});
  }
  sql += " FROM [" + table.name + "]";
  // A file's snapshot comes in rowid order; a server's table has no rowid,
  // and its rows come in no order of their own: the primary key's order,
  // else the row key's (insertion order, as the rowid's).
  bool keyed = false;
  for (const jet::IndexSpec& index : table.indexes) {
    if (!index.primary) continue;
    keyed = true;
    for (size_t i = 0; i < index.fields.size(); ++i)
      sql += (i ? ", [" : " ORDER BY [") + index.fields[i].name + "]";
  }
  if (!keyed && HasServerRowKey(*db, table.name))
    sql += " ORDER BY [" + std::string(jet::sql::kServerRowKey) + "]";
  rs->sql_ = std::move(sql);
  rs->native_ = true;  // sql_ is the text to run, the columns the table's
  rs->SetColumns(std::move(columns));
  rs->ReloadServer(nullptr);
  return rs;
}

void RowsRecordset::ReloadServer(std::unique_ptr<jet::EngineStatement> prepared) {
  if (!prepared) prepared = db_->ServerEngine().Prepare(native_ ? sql_ : Name());
  jet::EngineStatement& st = *prepared;
  // Every row is read here: the server sends them as one result.
  st.ReadsEveryRow();
  if (!native_) SetColumns(ColumnsOf(st));
  // Empty until every row is read, as Reload leaves it.
  rows_ = 0;
  current_ = -1;
  pos_ = Pos::kEmpty;
  values_ = row_.data();  // not into the rows about to go
  serverRows_.clear();
  const size_t width = static_cast<size_t>(FieldCount());
  std::vector<Variant> rows;
  int64_t count = 0;
  while (st.Step()) {
    const size_t at = rows.size();
    rows.resize(at + width);
    st.Values(std::span<Variant>(rows.data() + at, width));
    ++count;
  }
  serverRows_ = std::move(rows);
  rows_ = count;
  if (rows_ > 0) GoTo(0);
}

}  // namespace qv::dao
