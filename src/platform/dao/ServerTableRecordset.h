#pragma once
// A table cursor on a server database: table-type recordsets (Index, Seek)
// and dynasets opened on a table name, kept by key as TableRecordset keeps
// them on a file. The cursor's order is the current index's columns, then
// the primary key's (with no index set, the primary key's alone); the
// primary key's last column plays the part of the file's rowid in the probe
// plans (TableCursorSql.h), so every move and seek is a TOP 1 Jet statement
// over the engine seam, prepared once per probe shape by the engine's cache,
// with the key values bound as its parameters. AddNew, Edit and Delete write
// by the primary key. A table without one is keyed by its row key
// (jet::sql::kServerRowKey: a number given in insertion order, which the
// server adds to every such table), so with no index set it walks in
// insertion order as the file's rowid does. A table of a database made
// before row keys and opened read-only uses its first unique index of
// Required fields (unique and never Null, as a primary key); with neither it
// has no table cursor on a server (3251): the server's row address changes
// with every update, so it cannot keep a bookmark.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dao/TableCursor.h"
#include "platform/dao/TableCursorSql.h"
#include "platform/dao/TableRecordset.h"

namespace qv::jet {
class EngineStatement;
}

namespace qv::dao {

class ServerTableRecordset final : public TableCursor {
  struct Private {};

 public:
  // REQUIRES: `table` is a table of `db`, a server database. Positioned on
  // the first row. Errors: 3251 a table without a key (above).
  static std::shared_ptr<ServerTableRecordset> Open(const std::shared_ptr<Database>& db,
                                                    std::shared_ptr<const jet::TableSpec> table,
                                                    int32_t type, bool updatable);
  ServerTableRecordset(Private, const std::shared_ptr<Database>& db,
                       std::shared_ptr<const jet::TableSpec> table, int32_t type, bool updatable);
  ~ServerTableRecordset() override;

  int32_t RecordCount() override;

  void Seek(std::string_view comparison, std::span<const Variant> keys) override;
  void SeekUnread(std::string_view comparison, std::span<const Variant> keys) override;
  void StartSeek(std::string_view comparison, std::span<const Variant> keys) override;
  bool EditUnsought(std::span<const Variant> keys) override;

  Variant Bookmark() override;
  void SetBookmark(const Variant& bookmark) override;

  // SeekServerRow's read: the values of `fields` (in the order given) of
  // the row a Seek("=", {key}) on `index` of `table` (a definition of `db`)
  // finds, in one probe selecting those fields alone; nullopt when there is
  // none. Errors as opening the table, SetIndex and Seek raise them; 3265
  // for a field the table lacks (when the row is there).
  static std::optional<std::vector<Variant>> PointRead(
      Database& db, const std::shared_ptr<const jet::TableSpec>& table, std::string_view index,
      double key, const TableRecordset::FieldList& fields);

 protected:
  int64_t AddRow(const std::vector<Variant>& buffer, const std::vector<uint8_t>& dirty) override;
  void UpdateRow(std::vector<Variant>& buffer, const std::vector<uint8_t>& dirty) override;
  void DeleteRow() override;
  void ReadRowAgain() override;
  bool ReadEnd(bool last) override;
  bool ReadNeighbour(bool backward) override;
  const CursorOrder& OrderOf(int32_t ordinal) const override;

 private:
  struct Shape;
  // The shape of `table`'s recordsets, built once per definition and thread.
  static std::shared_ptr<const Shape> ShapeOf(Database& db,
                                              const std::shared_ptr<const jet::TableSpec>& table);

  // A rollback took the current row's key back from `after` to `before`
  // (an Update of this cursor changed it): the row is read again under
  // `before` when the cursor still stands on `after`.
  void KeyRolledBack(const std::vector<Variant>& before, const std::vector<Variant>& after);
  // Runs the probes in turn with the order's key values `keys` (the first
  // ones; `rowid` the key's last primary key value); true (and the row
  // read into the current record; `keyOnly`: its key alone, the row left
  // unread) when one finds a row.
  bool RunPlan(const std::vector<Probe>& plan, std::span<const Variant> keys, const Variant& rowid,
               bool keyOnly = false);
  // Seek, or (`keyOnly`) SeekUnread: a row found is read, or its key alone.
  // A started seek taken reads the key alone either way.
  void RunSeek(std::string_view comparison, std::span<const Variant> keys, bool keyOnly);
  // The values a probe of the plan binds, in order.
  static void ProbeValues(const Probe& probe, std::span<const Variant> keys, const Variant& rowid,
                          std::vector<Variant>& values);
  // Reads the statement's current row into the current record.
  void ReadRow(jet::EngineStatement& st);
  // Reads the order key and primary key of the current record from the
  // statement's row, which holds those columns alone (a key probe's).
  void ReadKey(jet::EngineStatement& st);
  // Binds `values` to the statement's last values.size() parameters.
  static void BindLast(jet::EngineStatement& st, std::span<const Variant> values);
  // The row whose primary key is `key`, read into the current record.
  bool FetchByKey(std::span<const Variant> key);
  // The current record's primary key values.
  std::vector<Variant> CurrentPrimaryKey() const;

  std::shared_ptr<const Shape> shape_;
  // The key's fields (the primary key's, else the row key, else a unique
  // index's); the row key stands as position rowKey_ (after the fields).
  const std::vector<int32_t>& primary_;
  const int32_t rowKey_;                         // the row key's position in row_, -1 none
  std::vector<std::vector<Variant>> bookmarks_;  // primary keys, by bookmark value
  // The seek StartSeek started: its comparison, index, converted keys and
  // probe (of the key alone), taken by the next Seek or SeekUnread.
  struct StartedSeek {
    std::string comparison;
    int32_t index;
    std::vector<Variant> keys;
    std::unique_ptr<jet::EngineStatement> probe;
  };
  std::optional<StartedSeek> started_;
};

}  // namespace qv::dao
