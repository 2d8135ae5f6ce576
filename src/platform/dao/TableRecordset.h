#pragma once
// A recordset over one table that keeps its position by key: table-type
// recordsets (with Index and Seek) and dynasets opened on a table name
// (rowid order, no Seek). Every move and seek runs index probes
// (TableCursorSql.h) with statements prepared once per recordset, and reads
// the whole row into the current record (SeekUnread: only the index's
// columns and the rowid, from the index); AddNew, Edit and Delete write by
// rowid. The order is the current index's columns, then the rowid; with no
// index set, the primary key's, else the rowid alone.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/dao/TableCursor.h"
#include "platform/dao/TableCursorSql.h"
#include "platform/jet/JetStatement.h"

namespace qv::jet {
class Connection;
}

namespace qv::dao {

class TableRecordset final : public TableCursor {
  struct Private {};

 public:
  // REQUIRES: `table` is a table of `db`. Positioned on the first row.
  static std::shared_ptr<TableRecordset> Open(const std::shared_ptr<Database>& db,
                                              std::shared_ptr<const jet::TableSpec> table,
                                              int32_t type, bool updatable);
  TableRecordset(Private, const std::shared_ptr<Database>& db,
                 std::shared_ptr<const jet::TableSpec> table, int32_t type, bool updatable);

  // One row by key without a recordset: the row Seek("=", {key}) on index
  // `index` of a table-type recordset finds, read by one SELECT of `fields`
  // (in the order given, then the rowid unless the index is unique on the
  // key alone) stepped onto it; nullopt when there
  // is none. The statement comes from the connection's cache and goes back
  // reset when destroyed: a caller keeps it no longer than its read, since a
  // stepped statement holds a read snapshot. `fields.id` names the list for
  // the statement texts kept with the table's shape (one id, one list of
  // names). Errors as OpenTable, SetIndex and Seek raise them; 3265 for a
  // field the table lacks.
  struct FieldList {
    const void* id;
    std::span<const std::string_view> names;
  };
  static std::optional<jet::Statement> SeekFields(Database& db, std::string_view table,
                                                  std::string_view index, double key,
                                                  const FieldList& fields);

  int32_t RecordCount() override;

  void Seek(std::string_view comparison, std::span<const Variant> keys) override;
  void SeekUnread(std::string_view comparison, std::span<const Variant> keys) override;

  Variant Bookmark() override;
  void SetBookmark(const Variant& bookmark) override;

 protected:
  int64_t AddRow(const std::vector<Variant>& buffer, const std::vector<uint8_t>& dirty) override;
  void UpdateRow(std::vector<Variant>& buffer, const std::vector<uint8_t>& dirty) override;
  void DeleteRow() override;
  void OnClose() override;
  void ReadRowAgain() override;
  bool ReadEnd(bool last) override;
  bool ReadNeighbour(bool backward) override;
  const CursorOrder& OrderOf(int32_t ordinal) const override;

 private:
  struct Shape;
  static std::shared_ptr<const Shape> ShapeOf(const std::shared_ptr<const jet::TableSpec>& table);

  // What a probe reads of the row it finds.
  enum class Reads : uint8_t { kRow, kOrderKey };
  jet::Statement& Prepared(uint64_t code, const std::string& sql);
  jet::Statement& ProbeStatement(const Probe& probe, Reads reads);
  // Runs the probes in turn; true (and the row read) when one finds a row.
  bool RunPlan(const std::vector<Probe>& plan, std::span<const Variant> keys, int64_t rowid,
               Reads reads = Reads::kRow);
  // Reads the row of the statement's current step into the current record.
  void ReadRow(jet::Statement& st);
  // Reads the order's key columns and the rowid of a kOrderKey probe.
  void ReadOrderKey(jet::Statement& st);
  void SeekReading(std::string_view comparison, std::span<const Variant> keys, Reads reads);
  bool FetchByRowid(int64_t rowid);
  jet::Statement& WriteStatement(std::vector<std::pair<std::string, jet::Statement>>& cache,
                                 const std::vector<uint8_t>& dirty, bool insert);

  std::shared_ptr<jet::Connection> conn_;
  std::shared_ptr<const Shape> shape_;
  const TableSql& sql_;  // shape_'s
  bool seekable_;
  int64_t rowid_ = 0;
  std::vector<Variant> seekKeys_;  // a seek's keys converted (kept for their room)
  std::unordered_map<uint64_t, jet::Statement> statements_;
  std::vector<std::pair<std::string, jet::Statement>> inserts_, updates_;
};

}  // namespace qv::dao
