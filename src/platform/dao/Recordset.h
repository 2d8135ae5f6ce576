#pragma once
// Recordset: the rows of a table or a statement with a current record, the
// fields of that record, and the edit buffer of AddNew and Edit. Two kinds
// implement it: a TableCursor, kept by key over one table (table-type
// recordsets, and dynasets opened on a table name: TableRecordset on a
// file, ServerTableRecordset on a server), and RowsRecordset, the
// materialised rows of a statement (snapshots, and dynasets and
// forward-only recordsets of statements, which are read-only).
//
// Position rules: after Update of an AddNew the current record is the one
// that was current before AddNew; after Update of an Edit it is the edited
// row; after Delete there is no current record until a move, and MoveNext
// goes to the row after the deleted one. A move or a seek cancels a pending
// AddNew or Edit. After a Seek that finds nothing (NoMatch) there is no
// current record and EOF is True.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/automation/Object.h"
#include "platform/dao/DaoConstants.h"
#include "platform/jet/JetCatalog.h"

namespace qv::dao {

class Database;
class Fields;

// A column of a recordset: its definition (from the catalogue for a table,
// from the statement otherwise) and where it comes from.
struct RecordsetColumn {
  jet::FieldSpec spec;
  std::string sourceTable;
  std::string sourceField;
};

// The columns of a recordset and their lookup by name. The recordsets of
// one table definition share one (TableRecordset keeps it per definition),
// so that opening a table copies no column and builds no lookup again.
class ColumnSet {
 public:
  explicit ColumnSet(std::vector<RecordsetColumn> columns) : columns_(std::move(columns)) {}
  size_t size() const { return columns_.size(); }
  const RecordsetColumn& operator[](size_t i) const { return columns_[i]; }
  // The index of a column by name, the exact name first, then the
  // case-folded one; -1 when none. The lookup is built on the first call
  // (many recordsets are only read by position); a set shared by several
  // recordsets has it built before it is shared (BuildLookup).
  int32_t Find(std::string_view name) const;
  void BuildLookup() const;

 private:
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  using NameMap = std::unordered_map<std::string, int32_t, NameHash, std::equal_to<>>;

  std::vector<RecordsetColumn> columns_;
  mutable NameMap exact_;   // names as defined
  mutable NameMap folded_;  // case-folded names
};

class Recordset : public Object {
  QV_DECLARE_CLASS(Recordset)

 public:
  ~Recordset() override;

  // ---- navigation. Errors: 3021 moving past the end (or before the start)
  // or moving relative to no current record, 3420 after Close.
  virtual void MoveFirst() = 0;
  virtual void MoveLast() = 0;
  virtual void MoveNext() = 0;
  virtual void MovePrevious() = 0;
  // Moves `rows` records forward (negative: back); 0 re-reads the current one.
  virtual void Move(int32_t rows) = 0;
  // A row written but not read again (kStale) or found by SeekUnread
  // (kUnread) is a current row: neither needs it read.
  bool IsEOF() const {
    CheckOpen();
    FirstRowKnown();
    return pos_ == Pos::kEOF || pos_ == Pos::kNone || pos_ == Pos::kEmpty;
  }
  bool IsBOF() const {
    CheckOpen();
    FirstRowKnown();
    return pos_ == Pos::kBOF || pos_ == Pos::kEmpty;
  }
  // Table-type: the rows of the table now. Otherwise: every row of the
  // statement, exact from the start (the rows are read when opened).
  virtual int32_t RecordCount() = 0;

  // ---- fields
  int32_t FieldCount() const { return static_cast<int32_t>(columns_->size()); }
  // The columns, shared by the recordsets of one table definition: callers
  // that read the same fields of many recordsets resolve their indexes once
  // per set.
  const std::shared_ptr<const ColumnSet>& Columns() const { return columns_; }
  const RecordsetColumn& Column(int32_t i) const;
  // The index of a field by name (case-insensitive), or -1.
  int32_t FieldIndex(std::string_view name) const;
  // The value of field `i` of the current record, or of the edit buffer
  // during AddNew/Edit. Errors: 3021 no current record, 3167 it was deleted,
  // 3265 no such field. The reference is valid until the next move or write.
  const Variant& FieldValue(int32_t i) const {
    if (mode_ == dbEditNone && pos_ == Pos::kRow && static_cast<size_t>(i) < columns_->size())
      return values_[i];
    return FieldValueSlow(i);
  }
  const Variant& FieldValue(std::string_view name) const;
  // Sets field `i` of the edit buffer, converted to the field's type. A
  // value of the field's type is taken as it is: moved when given as a
  // temporary, which is left as it was when the write fails.
  // Errors: 3020 without AddNew or Edit, 3163 a text too long, 3421 a value
  // that does not convert, 3265 no such field.
  void SetField(int32_t i, const Variant& value);
  void SetField(int32_t i, Variant&& value);
  void SetField(std::string_view name, const Variant& value);
  void SetField(std::string_view name, Variant&& value);
  std::shared_ptr<Fields> FieldsCollection();

  // ---- editing. Errors: 3027 read-only, 3021 Edit or Delete without a
  // current record, 3020 Update without AddNew or Edit; the rules of the
  // table (3022, 3163, 3314, 3315) raised by Update leave the edit pending.
  void AddNew();
  void Edit();
  void Update();
  // Update, for a caller whose transaction ends at its first failure: on a
  // server, an edited row's UPDATE may go with the connection's next
  // request (jet::EngineStatement::RunWithNextRequest; a commit's: one
  // round trip), which then raises its failure (3167 when the row is gone)
  // and is not made. Elsewhere, and for a new row, as Update.
  void UpdateWithNextRequest();
  void CancelUpdate();
  void Delete();
  int32_t EditMode() const { return mode_; }
  bool Updatable() const { return updatable_; }

  // ---- table-type only (3251 otherwise)
  virtual std::string Index() const;
  // Errors: 3015 no such index of the table.
  virtual void SetIndex(const std::string& name);
  // Seek(comparison, keys): "=", ">=", ">", "<=" or "<" against the first
  // keys.size() columns of the current index. "=", ">=" and ">" find the
  // first row in index order that satisfies it, "<=" and "<" the last.
  // Errors: 3019 no current index, 3001 a bad comparison or too many keys.
  virtual void Seek(std::string_view comparison, std::span<const Variant> keys);
  // Seek that reads only the position of the row it finds: its fields are
  // read when first looked at, and an Edit or a Delete started before that
  // reads none (a write of some fields that looks at none reads no row).
  // The same errors, NoMatch and position as Seek.
  virtual void SeekUnread(std::string_view comparison, std::span<const Variant> keys);
  // Says that this recordset's next Seek or SeekUnread is this one and that
  // it does not depend on what the connection runs before it (nor do rows
  // written meanwhile change what it finds): a server sends its probe with
  // the connection's next select (jet::EngineStatement::StartWithNextSelect;
  // in a transaction inside that select's savepoint), so that the seeks of
  // two tables cost one round trip, and that Seek takes the answer that
  // came: the row's key, its fields read when first looked at (SeekUnread's
  // position).
  // A next seek of another comparison, index or keys runs as it would
  // without. Nothing on a file, nor for a seek of more than one probe.
  // Never raises: what it could not start, the seek runs by itself, with
  // its own errors.
  virtual void StartSeek(std::string_view /*comparison*/, std::span<const Variant> /*keys*/) {}
  // Edit of the row a Seek("=", keys) would find, taken to be there and
  // neither sought nor read: where the current index's first column is the
  // table's whole key, so that the row of `keys` is the one row of that
  // key, which the Update writes by it. An Update that finds no such row
  // raises 3167 (UpdateWithNextRequest: the request it goes with raises
  // it), as for a row deleted after its seek. False, with nothing done,
  // where the recordset cannot (a file's, another index, a key its column
  // cannot take): the caller seeks.
  virtual bool EditUnsought(std::span<const Variant> /*keys*/) { return false; }
  bool NoMatch() const { return noMatch_; }

  // ---- bookmarks: a byte array naming a row of this recordset.
  virtual Variant Bookmark() = 0;
  virtual void SetBookmark(const Variant& bookmark) = 0;
  // The bookmark of the row last added or changed through this recordset.
  Variant LastModified() const;

  // Reads the rows of a statement again (3251 for a table cursor, which
  // always reads the table as it is).
  virtual void Requery();
  void Close();
  bool IsOpen() const { return open_; }
  const std::string& Name() const { return name_; }
  int32_t Type() const { return type_; }
  // The database the recordset reads.
  const std::shared_ptr<Database>& Parent() const { return db_; }

  // The engine's refresh (Idle dbRefreshCache, a rollback): re-reads the
  // current record so that it shows what the file holds now.
  virtual void Refresh() {}

 protected:
  enum class Pos : uint8_t {
    kEmpty,    // no rows at all (BOF and EOF)
    kBOF,      // before the first row
    kEOF,      // after the last row
    kRow,      // on a row
    kDeleted,  // on a row deleted through this recordset
    kNone,     // after a Seek that found nothing
    kPending,  // just opened: on the first row if there is one, not read yet
    kStale,    // on a row just updated through this recordset, not read again yet
    kUnread,   // on a row found by SeekUnread (or a started seek): its order key and
               // key read, no other field
  };

  // Reads the first row of a recordset opened kPending, which most callers
  // never need: they Seek or move first.
  void FirstRowKnown() const {
    if (pos_ == Pos::kPending) const_cast<Recordset*>(this)->ReadFirstRow();
  }
  // FirstRowKnown, and reads again a row updated since it was read (kStale)
  // or not read yet (kUnread): an update is mostly followed by a Seek or a
  // move, which need neither.
  void Positioned() const {
    if (pos_ == Pos::kPending) const_cast<Recordset*>(this)->ReadFirstRow();
    if (pos_ == Pos::kStale || pos_ == Pos::kUnread) const_cast<Recordset*>(this)->ReadRowAgain();
  }
  // Sets pos_ to kRow on the first row in the current order, or kEmpty.
  virtual void ReadFirstRow() { pos_ = Pos::kEmpty; }
  // Sets pos_ to kRow with the current row's values as stored, or to
  // kDeleted when it is gone.
  virtual void ReadRowAgain() { pos_ = Pos::kRow; }

  Recordset(std::shared_ptr<Database> db, std::string name, int32_t type, bool updatable);
  // Sets the columns (and an empty current record of their size).
  void SetColumns(std::vector<RecordsetColumn> columns);
  void SetColumns(std::shared_ptr<const ColumnSet> columns);
  void CheckOpen() const;
  void CancelEdit() { mode_ = dbEditNone; }
  // Copies the current row's fields not set into the buffer of a pending
  // Edit, before the row is read again under it (a refresh), so that the
  // edit goes on showing the row it started from.
  void KeepEditedRow();

  // The write steps of the kinds that can write. `dirty` marks the fields
  // set in `buffer`. AddRow returns the new row's bookmark value; UpdateRow
  // writes the current row, leaving it kStale, and may take the values
  // written out of `buffer` (the edit ends with it).
  virtual int64_t AddRow(const std::vector<Variant>& buffer, const std::vector<uint8_t>& dirty);
  virtual void UpdateRow(std::vector<Variant>& buffer, const std::vector<uint8_t>& dirty);
  virtual void DeleteRow();
  virtual void OnClose() {}
  // UpdateRow is UpdateWithNextRequest's: it may leave the UPDATE for the
  // connection's next request.
  bool updateWithNext_ = false;

  std::shared_ptr<Database> db_;
  std::shared_ptr<const ColumnSet> columns_;
  // The current record's values (kRow, kDeleted): row_ for a table cursor,
  // a row of the materialised rows otherwise.
  const Variant* values_ = nullptr;
  std::vector<Variant> row_;
  Pos pos_ = Pos::kBOF;
  bool noMatch_ = false;
  int64_t lastModified_ = -1;

 private:
  const Variant& FieldValueSlow(int32_t i) const;
  // The current row of Edit and Delete (3167 deleted, 3021 none); one
  // found by SeekUnread is not read.
  void RequireRowToWrite();
  // The index of field `name` (3265 when none).
  int32_t RequiredFieldIndex(std::string_view name) const;
  // The buffer's slot that SetField writes field `i` into, and its field
  // (errors as SetField raises them).
  Variant& SlotToSet(int32_t i, const jet::FieldSpec*& field);

  std::string name_;
  int32_t type_;
  bool updatable_;
  bool open_ = true;
  int32_t mode_ = dbEditNone;
  // The fields set by AddNew or Edit (marked in dirty_); during an Edit
  // also the row's others once KeepEditedRow copied them.
  std::vector<Variant> buffer_;
  // What the fields not set show during AddNew: their defaults, worked out
  // at the first AddNew; those that name the clock (Now(), Date(), Time())
  // again on each AddNew.
  std::vector<Variant> defaults_;
  std::vector<int32_t> clockDefaults_;
  std::vector<uint8_t> dirty_;
  // False during an Edit until KeepEditedRow: the fields not set are the
  // current row's. (Not looked at during AddNew.)
  bool bufferHoldsRow_ = true;
  std::weak_ptr<Fields> fields_;  // its Field objects hold the recordset
};

using RecordsetPtr = std::shared_ptr<Recordset>;

// Packs a row number into a bookmark and back (3159 for a byte array that
// is not one of ours).
Variant MakeBookmark(int64_t value);
int64_t ReadBookmark(const Variant& bookmark);

}  // namespace qv::dao
