#include "core/mQvDataBase.h"

#include <algorithm>
#include <array>
#include <exception>
#include <span>
#include <utility>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "platform/ado/AdoTypes.h"

namespace qv::mQvDataBase {

namespace {

using namespace ado;

constexpr int32_t kNullable = adFldIsNullable;

constexpr std::array<std::pair<int32_t, AdoColumnType>, 20> kTypeTable{{
    {1, {adBoolean, 0, kNullable}},              // dbBoolean
    {2, {adInteger, 0, kNullable}},              // dbByte
    {3, {adInteger, 0, kNullable}},              // dbInteger
    {4, {adInteger, 0, kNullable}},              // dbLong
    {5, {adCurrency, 0, kNullable}},             // dbCurrency
    {6, {adSingle, 0, kNullable}},               // dbSingle
    {7, {adDouble, 0, kNullable}},               // dbDouble
    {8, {adDate, 0, kNullable}},                 // dbDate
    {9, {adBinary, -1, kNullable}},              // dbBinary
    {10, {adLongVarWChar, 255, kNullable}},      // dbText
    {11, {adBinary, 0, kNullable}},              // dbLongBinary
    {12, {adLongVarWChar, 1000000, kNullable}},  // dbMemo
    {15, {adGUID, 0, kNullable}},                // dbGUID
    {16, {adBigInt, 0, kNullable}},              // dbBigInt
    {17, {adVarBinary, -1, kNullable}},          // dbVarBinary
    {18, {adChar, -1, adFldUnspecified}},        // dbChar
    {19, {adNumeric, 0, kNullable}},             // dbNumeric
    {20, {adDecimal, 0, kNullable}},             // dbDecimal
    {21, {adDouble, 0, kNullable}},              // dbFloat
    {22, {adDBTime, 0, kNullable}},              // dbTime
}};

// The cells a copy makes room for when its source cannot tell how many rows
// it gives (about 20 KB: 128 rows of 4 columns, 25 of 20).
constexpr size_t kCellsGuessed = 512;

// 01.01.1901 as an OLE date: earlier dates are copied as Null.
constexpr double kFirstDateKept = 367;

// A column of the copy: where its values come from and the field it is
// appended as. The name belongs to the source (or is the key column's).
struct Column {
  int32_t daoIndex;  // -1 for the key column
  std::string_view name;
  int32_t type;
  int32_t definedSize;
  int32_t attributes;
};

std::string ColumnExtra(const Column& c) {
  return "Name=[" + std::string(c.name) + "], Type=" + std::to_string(c.type);
}

// The field list a statement's copy shares with the later copies of the
// same text (Statement::Kept): the list is made once, with a name
// index of a node and a string per field, instead of on every call. A
// recordset copies shared columns before it changes them, so each copy's
// columns stay its own. The statement's columns are those of its text, so
// only the key column may differ.
struct SharedCopyColumns {
  SharedCopyColumns(std::string key, std::shared_ptr<const ado::ColumnList> columns)
      : keyColumn(std::move(key)), list(std::move(columns)) {}
  std::string keyColumn;
  std::shared_ptr<const ado::ColumnList> list;
};

}  // namespace

std::optional<AdoColumnType> AdoColumnTypeOf(int32_t daoType) {
  for (const auto& [dao, ado] : kTypeTable)
    if (dao == daoType) return ado;
  return std::nullopt;
}

namespace {

// What CopyRows reads: the rows of a DAO recordset from its first.
struct DaoRows {
  dao::Recordset& rs;
  bool started = false;

  int32_t Count() const { return rs.FieldCount(); }
  const jet::FieldSpec& Spec(int32_t i) const { return rs.Column(i).spec; }
  std::optional<size_t> KnownRows() {
    return rs.IsEOF() ? 0 : static_cast<size_t>(rs.RecordCount());
  }
  void Start() { mQvDaoDataBase::DaoSafeMoveFirst(rs); }
  bool Next() {
    if (started) rs.MoveNext();
    started = true;
    return !rs.IsEOF();
  }
  // The current row's values of `columns` (the key column left alone).
  bool Read(std::span<const Column> columns, bool, std::span<Variant> row) {
    for (size_t k = 0; k < columns.size(); ++k)
      if (columns[k].daoIndex >= 0) row[k] = rs.FieldValue(columns[k].daoIndex);
    return true;
  }
  const Variant& Peek(int32_t i) const { return rs.FieldValue(i); }
  // A recordset keeps no field list for the next copy.
  std::shared_ptr<const ado::ColumnList> KeptFields(std::string_view) const { return nullptr; }
  void KeepFields(std::string_view, std::shared_ptr<const ado::ColumnList>) {}
};

// The rows of a prepared statement, each read straight into the copy's row
// buffer when the copy has the statement's columns in their order (through
// `values` otherwise). A failure of the statement itself ends the rows and
// is kept in `failed`.
struct StatementRows {
  jet::Statement& st;
  std::exception_ptr& failed;
  std::vector<Variant> values;  // empty until a row is read through it
  size_t expectedRows = 0;      // 0: not known
  bool pending = false;         // the statement stands on a row stepped before the copy began

  int32_t Count() const { return st.ColumnCount(); }
  const jet::ColumnMeta& Spec(int32_t i) const { return st.Column(i); }
  std::optional<size_t> KnownRows() const {
    return expectedRows ? std::optional<size_t>(expectedRows) : std::nullopt;
  }
  void Start() {}
  bool Step() {
    try {
      return st.Step();
    } catch (...) {
      failed = std::current_exception();
      return false;
    }
  }
  bool Next() { return std::exchange(pending, false) || Step(); }
  // `sameOrder`: column k of the copy is column k of the statement, for
  // every k.
  bool Read(std::span<const Column> columns, bool sameOrder, std::span<Variant> row) {
    try {
      if (sameOrder) {
        st.Values(row);
        return true;
      }
      values.resize(static_cast<size_t>(st.ColumnCount()));
      st.Values(values);
      for (size_t k = 0; k < columns.size(); ++k)
        if (columns[k].daoIndex >= 0)
          row[k] = std::move(values[static_cast<size_t>(columns[k].daoIndex)]);
      return true;
    } catch (...) {
      failed = std::current_exception();
      return false;
    }
  }
  Variant Peek(int32_t i) const { return st.Value(i); }
  std::shared_ptr<const ado::ColumnList> KeptFields(std::string_view keyColumn) const {
    const auto kept = std::static_pointer_cast<const SharedCopyColumns>(
        st.Kept(jet::Statement::Reader::kTableCopy));
    return kept && kept->keyColumn == keyColumn ? kept->list : nullptr;
  }
  void KeepFields(std::string_view keyColumn, std::shared_ptr<const ado::ColumnList> list) {
    st.Keep(jet::Statement::Reader::kTableCopy,
            std::make_shared<const SharedCopyColumns>(std::string(keyColumn), std::move(list)));
  }
};

// The copy DaoToAdoRS describes, from any source of typed columns and rows.
// Errors carry DaoToAdoRS's location whatever the source: callers see one
// conversion.
template <class Source>
std::shared_ptr<ado::Recordset> CopyRows(Source& src, std::string_view keyColumn) {
  std::shared_ptr<ado::Recordset> out;
  std::vector<Column> columns;
  const Column* appending = nullptr;  // the column being appended
  bool copying = false;               // a row of `src` is being stored
  // On an error: the column being appended, or the column of the current
  // row whose value does not fit it.
  const auto extra = [&]() -> std::string {
    if (appending) return ColumnExtra(*appending);
    if (!copying) return {};
    for (size_t k = 0; k < columns.size() && k < out->FieldCount(); ++k) {
      if (columns[k].daoIndex < 0) continue;
      try {
        CoerceToField(out->FieldAt(k), src.Peek(columns[k].daoIndex), "");
      } catch (...) {
        return ColumnExtra(columns[k]);
      }
    }
    return {};
  };
  return GuardX(kModule, "DaoToAdoRS", extra, [&]() -> std::shared_ptr<ado::Recordset> {
    out = std::make_shared<ado::Recordset>();
    columns.reserve(static_cast<size_t>(std::max(src.Count(), 0)) + 1);
    if (!keyColumn.empty()) columns.push_back({-1, keyColumn, adInteger, 0, kNullable});
    for (int32_t i = 0; i < src.Count(); ++i) {
      const auto& spec = src.Spec(i);
      const std::optional<AdoColumnType> t = AdoColumnTypeOf(static_cast<int32_t>(spec.type));
      if (!t) {
        ShowMessageBox("DaoToAdoRS: Unknown field type");
        continue;
      }
      columns.push_back(
          {i, spec.name, t->type, t->definedSize < 0 ? spec.size : t->definedSize, t->attributes});
    }
    if (auto fields = src.KeptFields(keyColumn)) {
      out->UseFields(std::move(fields));
    } else {
      for (const Column& c : columns) {
        appending = &c;
        out->AppendField(std::string(c.name), c.type, c.definedSize, c.attributes);
      }
      appending = nullptr;
      src.KeepFields(keyColumn, out->SharedFields());
    }
    bool sameOrder = columns.size() == static_cast<size_t>(src.Count());
    for (size_t k = 0; k < columns.size(); ++k)
      sameOrder = sameOrder && columns[k].daoIndex == static_cast<int32_t>(k);
    src.Start();
    out->Open();
    // A statement does not tell how many rows it gives: room for
    // kCellsGuessed spares the usual small results the moves of every value
    // as the table grows through 1, 2, 4 ... rows, at the price of unused
    // room in a recordset of a few rows.
    out->ReserveRows(src.KnownRows().value_or(kCellsGuessed / std::max<size_t>(columns.size(), 1)));
    int32_t counter = 0;
    copying = true;
    std::vector<Variant> row(columns.size());  // one buffer, emptied by each AppendRow
    while (src.Next()) {
      ++counter;
      if (!src.Read(columns, sameOrder, row)) break;
      for (size_t k = 0; k < columns.size(); ++k) {
        Variant& v = row[k];
        if (columns[k].daoIndex < 0)
          v = Variant(counter);
        else if (v.IsDate() && v.AsDateSerial() < kFirstDateKept)
          v = Variant::Null();
      }
      out->AppendRow(std::span<Variant>(row));
    }
    copying = false;
    if (out->RowCount() > 0) out->MoveFirst();
    return out;
  });
}

}  // namespace

std::shared_ptr<ado::Recordset> DaoToAdoRS(const std::shared_ptr<dao::Recordset>& rs,
                                           std::string_view keyColumn) {
  if (!rs) return nullptr;
  DaoRows rows{*rs};
  return CopyRows(rows, keyColumn);
}

std::shared_ptr<ado::Recordset> StatementToAdoRS(jet::Statement& st, std::string_view keyColumn,
                                                 std::exception_ptr& failed) {
  failed = nullptr;
  StatementRows rows{st, failed, {}, st.RowsLastRun()};
  // The first row is stepped to before anything is built: a statement that
  // fails at once fails before a column could be reported.
  rows.pending = rows.Step();
  if (failed) return nullptr;
  std::shared_ptr<ado::Recordset> out = CopyRows(rows, keyColumn);
  if (failed) return nullptr;
  st.NoteRowsRun(out->RowCount());
  return out;
}

}  // namespace qv::mQvDataBase
