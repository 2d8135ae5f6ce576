#pragma once
// The rows of a statement (or a snapshot of a table), read in full when the
// recordset opens: snapshots, and the dynasets and forward-only recordsets
// of statements. They are read-only (Edit, AddNew, Delete: 3027), show the
// rows as they were when opened (Requery reads them again), and know their
// RecordCount exactly from the start. Forward-only ones refuse to move back
// (3251).

#include <memory>
#include <string>
#include <vector>

#include "platform/dao/Recordset.h"
#include "platform/dao/RowStore.h"

namespace qv::jet {
class EngineStatement;
class Statement;
}  // namespace qv::jet

namespace qv::dao {

class RowsRecordset final : public Recordset {
  struct Private {};

 public:
  // The rows of the Jet statement `sql`, read from `prepared`, its statement
  // as the database's connection prepared it.
  static std::shared_ptr<RowsRecordset> OfStatement(const std::shared_ptr<Database>& db,
                                                    std::string_view sql, int32_t type,
                                                    jet::Statement prepared);
  static std::shared_ptr<RowsRecordset> OfTable(const std::shared_ptr<Database>& db,
                                                const jet::TableSpec& table, int32_t type);
  // The same on a server database: the rows of `prepared` (the Jet
  // statement `sql` as its engine prepared it), and a snapshot of a table.
  static std::shared_ptr<RowsRecordset> OfServerStatement(
      const std::shared_ptr<Database>& db, std::string_view sql, int32_t type,
      std::unique_ptr<jet::EngineStatement> prepared);
  static std::shared_ptr<RowsRecordset> OfServerTable(const std::shared_ptr<Database>& db,
                                                      const jet::TableSpec& table, int32_t type);
  RowsRecordset(Private, const std::shared_ptr<Database>& db, std::string name, int32_t type);

  void MoveFirst() override;
  void MoveLast() override;
  void MoveNext() override;
  void MovePrevious() override;
  void Move(int32_t rows) override;
  int32_t RecordCount() override;
  Variant Bookmark() override;
  void SetBookmark(const Variant& bookmark) override;
  // Runs the statement again.
  void Requery() override;

 protected:
  void OnClose() override {
    store_.Reset(0);
    serverRows_ = {};
  }

 private:
  // Runs the statement and reads every row: `prepared` when given, else
  // the text prepared again.
  void Reload(jet::Statement* prepared = nullptr);
  // The columns of a Jet statement's recordsets.
  static std::shared_ptr<const ColumnSet> StatementColumns(jet::Statement& st);
  // The columns a statement describes, the file's or the server's.
  template <class S>
  static std::vector<RecordsetColumn> ColumnsOf(const S& st) {
    std::vector<RecordsetColumn> columns;
    columns.reserve(static_cast<size_t>(st.ColumnCount()));
    for (int i = 0; i < st.ColumnCount(); ++i) {
      const auto& m = st.Column(i);
      columns.push_back({.spec = {.name = m.name, .type = m.type, .size = m.size},
                         .sourceTable = m.table,
                         .sourceField = m.column});
    }
    return columns;
  }
  void GoTo(int64_t row);
  // Reload on a server database: the rows of `prepared` when given, else of
  // the Jet text (sql_ for a table's snapshot, the Name otherwise) prepared
  // again through the database's engine.
  void ReloadServer(std::unique_ptr<jet::EngineStatement> prepared);

  std::string sql_;      // a table snapshot's SQLite text (a statement's is its Name)
  bool native_ = false;  // the text is SQLite's (a table snapshot), not Jet's
  bool server_ = false;  // the rows come through a server engine (serverRows_)
  RowStore store_;
  std::vector<Variant> serverRows_;  // a server's rows, FieldCount() cells each
  int64_t rows_ = 0;
  int64_t current_ = -1;  // -1 before the first row, rows_ after the last
};

}  // namespace qv::dao
