#pragma once
// Recordset ("ADODB.Recordset"): a disconnected recordset held in memory,
// the form in which query results leave the library. Columns are appended
// while it is closed; it is opened with no source and no connection; rows
// are added with AddNew/Update (or AppendRow in bulk), read through Fields
// by name or position, ordered by Sort and narrowed by Filter. It behaves as
// a client-side static cursor in immediate-update mode: a change is stored
// when Update is called, or implicitly when the caller moves, adds another
// row, or changes the order.
//
// C++ callers that copy many rows (a query result, a copy of a recordset)
// use AppendField, Open, AppendRow and the indexed readers FieldIndex,
// RowCount and Value(row, col), which neither copy values nor look names up
// per row. REQUIRES: owned by a shared_ptr (CreateObject or make_shared);
// Fields and Field objects handed out keep it alive.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/AdoConstants.h"
#include "platform/ado/AdoError.h"
#include "platform/ado/RowOrder.h"
#include "platform/ado/RowTable.h"
#include "platform/automation/Object.h"

namespace qv::ado {

class Recordset : public Object {
  QV_DECLARE_CLASS(Recordset)

 public:
  // ---- columns; changing them is error 3705 while open

  // Error 3001 for an unsupported type or an empty name, 3367 for a name in use.
  void AppendField(std::string name, int32_t type, int32_t definedSize = 0,
                   int32_t attributes = adFldUnspecified);
  void DeleteField(size_t col);
  void SetPrecision(size_t col, uint8_t precision);
  void SetNumericScale(size_t col, uint8_t scale);
  size_t FieldCount() const { return table_.FieldCount(); }
  // REQUIRES: col < FieldCount().
  const FieldInfo& FieldAt(size_t col) const { return table_.Field(col); }
  // The column of a name (ignoring case); error 3265 when there is none.
  size_t FieldIndex(std::string_view name) const;
  std::optional<size_t> FindField(std::string_view name) const { return table_.Find(name); }
  // The columns, for other recordsets of the same columns (UseFields).
  std::shared_ptr<const ColumnList> SharedFields() const { return table_.SharedColumns(); }
  // Takes another recordset's columns (SharedFields) in place of its own,
  // without copying them; a recordset changing shared columns copies them
  // first, so each keeps its own. Error 3705 while open.
  void UseFields(std::shared_ptr<const ColumnList> fields);
  // A column by name or 0-based ordinal, as Fields.Item takes it; error 3265.
  size_t ItemIndex(const Variant& nameOrOrdinal, std::string_view source = kFieldsSource) const;

  // ---- state

  int32_t CursorLocation() const { return cursorLocation_; }
  // adUseClient or adUseServer (kept for callers that set it; the recordset
  // is always client-side). Error 3705 while open, 3001 for other values.
  void SetCursorLocation(int32_t location);
  // Opens with no source: error 3705 when open, 3001 when it has no columns.
  void Open();
  // Drops the rows (the columns stay); error 3704 when closed, 3219 while a
  // change is pending.
  void Close();
  bool IsOpen() const { return open_; }
  int32_t State() const { return open_ ? adStateOpen : adStateClosed; }
  int32_t EditMode() const;

  // ---- reading; error 3704 when closed

  // The rows visible through the Filter (a row being added included).
  int32_t RecordCount() const;
  // As RecordCount, for C++ callers; 0 when closed.
  size_t RowCount() const { return order_.size(); }
  // The value at a 0-based row of the current order. REQUIRES: row <
  // RowCount(), col < FieldCount().
  const Variant& Value(size_t row, size_t col) const { return table_.Cell(order_[row], col); }
  // The current row's value; error 3021 when there is no current row.
  const Variant& CurrentValue(size_t col, std::string_view source = kFieldSource) const;
  bool IsEOF() const;
  bool IsBOF() const;
  // 1-based position, or adPosBOF, adPosEOF, adPosUnknown (empty, or the
  // current row deleted). Setting it: error 3001 outside 1..RecordCount.
  int32_t AbsolutePosition() const;
  void SetAbsolutePosition(int32_t position);

  // ---- moving; each stores a pending change first

  // Error 3021 when there are no rows.
  void MoveFirst();
  void MoveLast();
  // Error 3021 when already at EOF (MoveNext) or BOF (MovePrevious).
  void MoveNext();
  void MovePrevious();
  // Moves `n` rows from `start` (adBookmarkCurrent, adBookmarkFirst or
  // adBookmarkLast); past either end gives BOF or EOF. Error 3021 when
  // moving further past an end, 3001 for another start.
  void Move(int32_t n, int32_t start = adBookmarkCurrent);

  // ---- writing

  // A new row of Nulls at the end of the current order, made current; a
  // pending change is stored first.
  void AddNew();
  // Sets a value of the current row, converted to the column's type
  // (CoerceToField). Starts a change when none is pending.
  void SetValue(size_t col, Variant value, std::string_view source = kFieldSource);
  // Stores the pending change; nothing when none is pending; error 3021
  // when there is no current row.
  void Update();
  // Drops the pending change: an added row disappears and the row current
  // before AddNew is current again.
  void CancelUpdate();
  // Deletes the current row; it stays current (reading it is error 3021)
  // until the next move. Error 3021 when there is no current row.
  void Delete();
  // Adds a whole row, one value per column in column order, converted as
  // SetValue does, and makes it current: AddNew, SetValue for each column
  // and Update in one step. Error 3001 when the count differs.
  void AppendRow(std::vector<Variant>&& values);
  // As above, the values moved out of `values` (a caller's row buffer,
  // reused for the next row).
  void AppendRow(std::span<Variant> values);
  // Room for `rows` more rows, when the caller knows how many will come.
  void ReserveRows(size_t rows);

  // ---- order

  const std::string& Sort() const { return sort_; }
  // "" restores the order of addition. The first row becomes current.
  void SetSort(const std::string& sort);
  // The criteria text, or adFilterNone (0).
  Variant Filter() const;
  // A criteria text (RowOrder.h), or adFilterNone / "" to show every row.
  // The first row becomes current.
  void SetFilter(const Variant& filter);

  // ---- late-bound forms (Variant arguments as a script passes them)

  // Fields(), or the Field for an index when one is given.
  Variant FieldsV(const Variant& index);
  void LetFieldsV(const Variant& index, const Variant& value);
  // The current row's value by name or ordinal.
  Variant Collect(const Variant& index);
  void LetCollect(const Variant& index, const Variant& value);
  // Open(Source, ActiveConnection, CursorType, LockType, Options): the cursor
  // and lock types are ignored; a source or a connection is error 3709 (no
  // connection can be used here).
  void OpenV(const Variant& source, const Variant& connection, const Variant& cursorType,
             const Variant& lockType, int32_t options);
  // AddNew(FieldList, Values) and Update(Fields, Values): one name or ordinal
  // with one value, or two arrays of equal length. AddNew with values
  // stores the new row at once.
  void AddNewV(const Variant& fields, const Variant& values);
  void UpdateV(const Variant& fields, const Variant& values);
  void DeleteV(int32_t affectRecords);
  void MoveV(int32_t n, const Variant& start);
  void CloseV() { Close(); }
  bool EofV() const { return IsEOF(); }
  bool BofV() const { return IsBOF(); }
  std::string SortV() const { return sort_; }
  void LetSortV(const std::string& sort) { SetSort(sort); }
  Variant FilterV() const { return Filter(); }
  void LetFilterV(const Variant& filter) { SetFilter(filter); }
  void LetCursorLocationV(int32_t location) { SetCursorLocation(location); }
  void LetAbsolutePositionV(int32_t position) { SetAbsolutePosition(position); }

 private:
  enum class Edit : uint8_t { kNone, kInProgress, kAdd };

  void RequireOpen(std::string_view source = kRecordsetSource) const;
  void RequireClosed(std::string_view source) const;
  bool HasCurrent() const;
  uint32_t CurrentRow(std::string_view source) const;
  // Stores a converted value in a row, starting a change when none is pending.
  void Store(uint32_t row, size_t col, Variant stored);
  void CommitPending();
  void GoTo(int64_t pos);
  void Reorder();
  void SetValues(const Variant& fields, const Variant& values, std::string_view source);

  RowTable table_;
  bool open_ = false;
  int32_t cursorLocation_ = adUseServer;
  // The visible rows (physical numbers) and the position in them: -1 is
  // BOF, order_.size() is EOF. After Delete, pos_ is the row that followed
  // the deleted one and onDeleted_ is set until the next move.
  std::vector<uint32_t> order_;
  int64_t pos_ = 0;
  bool onDeleted_ = false;
  Edit edit_ = Edit::kNone;
  std::vector<Variant> original_;  // the row's values before a pending change
  int64_t posBeforeAdd_ = 0;
  std::string sort_;
  std::string filter_;
  std::vector<SortKey> sortKeys_;
  std::vector<FilterTerm> filterTerms_;
};

using RecordsetPtr = std::shared_ptr<Recordset>;

}  // namespace qv::ado
