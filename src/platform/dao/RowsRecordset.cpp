#include "platform/dao/RowsRecordset.h"

#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/TableCursorSql.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"

namespace qv::dao {

std::shared_ptr<RowsRecordset> RowsRecordset::OfStatement(const std::shared_ptr<Database>& db,
                                                          std::string_view sql, int32_t type,
                                                          jet::Statement prepared) {
  auto rs = std::make_shared<RowsRecordset>(Private{}, db, std::string(sql), type);
  rs->Reload(&prepared);
  return rs;
}

std::shared_ptr<RowsRecordset> RowsRecordset::OfTable(const std::shared_ptr<Database>& db,
                                                      const jet::TableSpec& table, int32_t type) {
  auto rs = std::make_shared<RowsRecordset>(Private{}, db, table.name, type);
  rs->sql_ = TableSql(table).SnapshotSql();
  rs->native_ = true;
  std::vector<RecordsetColumn> columns;
  for (const jet::FieldSpec& f : table.fields) columns.push_back({f, table.name, f.name});
  rs->SetColumns(std::move(columns));
  rs->Reload();
  return rs;
}

RowsRecordset::RowsRecordset(Private, const std::shared_ptr<Database>& db, std::string name,
                             int32_t type)
    : Recordset(db, std::move(name), type, false) {}

void RowsRecordset::Reload(jet::Statement* prepared) {
  if (server_) return ReloadServer(nullptr);
  jet::Connection& conn = db_->Connection();
  jet::Statement st = prepared  ? std::move(*prepared)
                      : native_ ? conn.PrepareNative(sql_)
                                : conn.Prepare(Name());
  st.SetSource(kSourceDatabase);
  if (!native_) SetColumns(StatementColumns(st));
  // Empty until every row is read: a step that fails leaves no row of a
  // half-read store to move to.
  rows_ = 0;
  current_ = -1;
  pos_ = Pos::kEmpty;
  store_.Reset(FieldCount());
  while (st.Step()) store_.Append(st);
  rows_ = store_.Rows();
  if (rows_ > 0) GoTo(0);
}

std::shared_ptr<const ColumnSet> RowsRecordset::StatementColumns(jet::Statement& st) {
  // The columns are those of the statement's text: its recordsets share
  // them, kept with the statement (their name lookup built before that).
  auto kept =
      std::static_pointer_cast<const ColumnSet>(st.Kept(jet::Statement::Reader::kRecordset));
  if (kept) return kept;
  kept = std::make_shared<const ColumnSet>(ColumnsOf(st));
  kept->BuildLookup();
  st.Keep(jet::Statement::Reader::kRecordset, kept);
  return kept;
}

void RowsRecordset::GoTo(int64_t row) {
  current_ = row;
  if (row < 0) {
    pos_ = Pos::kBOF;
  } else if (row >= rows_) {
    current_ = rows_;
    pos_ = Pos::kEOF;
  } else {
    pos_ = Pos::kRow;
    if (server_) {
      values_ = serverRows_.data() + row * FieldCount();
      return;
    }
    store_.Read(row, row_.data());
    values_ = row_.data();
  }
}

void RowsRecordset::Requery() {
  CheckOpen();
  CancelEdit();
  Reload();
}

void RowsRecordset::MoveFirst() {
  CheckOpen();
  if (rows_ == 0) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  if (Type() == dbOpenForwardOnly && current_ > 0)
    ThrowDao(daoerr::kNotSupported, kSourceRecordset);
  GoTo(0);
}

void RowsRecordset::MoveLast() {
  CheckOpen();
  if (rows_ == 0) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  GoTo(rows_ - 1);
}

void RowsRecordset::MoveNext() {
  CheckOpen();
  if (IsEOF()) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  GoTo(current_ + 1);
}

void RowsRecordset::MovePrevious() {
  CheckOpen();
  if (Type() == dbOpenForwardOnly) ThrowDao(daoerr::kNotSupported, kSourceRecordset);
  if (IsBOF()) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  GoTo(current_ - 1);
}

void RowsRecordset::Move(int32_t rows) {
  CheckOpen();
  if (rows < 0 && Type() == dbOpenForwardOnly) ThrowDao(daoerr::kNotSupported, kSourceRecordset);
  if (rows == 0 ? pos_ != Pos::kRow : (rows > 0 ? IsEOF() : IsBOF()))
    ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  int64_t target = current_ + rows;
  GoTo(target < -1 ? -1 : target);
}

int32_t RowsRecordset::RecordCount() {
  CheckOpen();
  return static_cast<int32_t>(rows_);
}

Variant RowsRecordset::Bookmark() {
  CheckOpen();
  if (pos_ != Pos::kRow) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  return MakeBookmark(current_);
}

void RowsRecordset::SetBookmark(const Variant& bookmark) {
  CheckOpen();
  int64_t row = ReadBookmark(bookmark);
  if (row < 0 || row >= rows_) ThrowDao(daoerr::kInvalidBookmark, kSourceRecordset);
  GoTo(row);
}

}  // namespace qv::dao
