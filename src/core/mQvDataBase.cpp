#include "core/mQvDataBase.h"

#include <array>
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

// 01.01.1901 as an OLE date: earlier dates are copied as Null.
constexpr double kFirstDateKept = 367;

struct Column {
  int32_t daoIndex;  // -1 for the key column
  std::string name;
  int32_t type;
};

std::string ColumnExtra(const Column& c) {
  return "Name=[" + c.name + "], Type=" + std::to_string(c.type);
}

}  // namespace

std::optional<AdoColumnType> AdoColumnTypeOf(int32_t daoType) {
  for (const auto& [dao, ado] : kTypeTable)
    if (dao == daoType) return ado;
  return std::nullopt;
}

std::shared_ptr<ado::Recordset> DaoToAdoRS(const std::shared_ptr<dao::Recordset>& rs,
                                           std::string_view keyColumn) {
  std::shared_ptr<ado::Recordset> out;
  std::vector<Column> columns;
  const Column* appending = nullptr;  // the column being appended
  bool copying = false;               // a row of `rs` is being stored
  // On an error: the column being appended, or the column of the current
  // row whose value does not fit it.
  const auto extra = [&]() -> std::string {
    if (appending) return ColumnExtra(*appending);
    if (!copying) return {};
    for (size_t k = 0; k < columns.size() && k < out->FieldCount(); ++k) {
      if (columns[k].daoIndex < 0) continue;
      try {
        CoerceToField(out->FieldAt(k), rs->FieldValue(columns[k].daoIndex), "");
      } catch (...) {
        return ColumnExtra(columns[k]);
      }
    }
    return {};
  };
  return GuardX(QV_HERE, extra, [&]() -> std::shared_ptr<ado::Recordset> {
    if (!rs) return nullptr;
    out = std::make_shared<ado::Recordset>();
    if (!keyColumn.empty()) columns.push_back({-1, std::string(keyColumn), adInteger});
    for (int32_t i = 0; i < rs->FieldCount(); ++i) {
      const jet::FieldSpec& spec = rs->Column(i).spec;
      if (!AdoColumnTypeOf(static_cast<int32_t>(spec.type))) {
        ShowMessageBox("DaoToAdoRS: Unknown field type");
        continue;
      }
      columns.push_back({i, spec.name, AdoColumnTypeOf(static_cast<int32_t>(spec.type))->type});
    }
    for (const Column& c : columns) {
      appending = &c;
      if (c.daoIndex < 0) {
        out->AppendField(c.name, adInteger, 0, kNullable);
      } else {
        const jet::FieldSpec& spec = rs->Column(c.daoIndex).spec;
        const AdoColumnType t = *AdoColumnTypeOf(static_cast<int32_t>(spec.type));
        out->AppendField(c.name, t.type, t.definedSize < 0 ? spec.size : t.definedSize,
                         t.attributes);
      }
    }
    appending = nullptr;
    mQvDaoDataBase::DaoSafeMoveFirst(*rs);
    out->Open();
    if (!rs->IsEOF()) out->ReserveRows(static_cast<size_t>(rs->RecordCount()));
    int32_t counter = 0;
    copying = true;
    std::vector<Variant> row(columns.size());  // one buffer, emptied by each AppendRow
    while (!rs->IsEOF()) {
      ++counter;
      for (size_t k = 0; k < columns.size(); ++k) {
        const Column& c = columns[k];
        if (c.daoIndex < 0) {
          row[k] = Variant(counter);
          continue;
        }
        const Variant& v = rs->FieldValue(c.daoIndex);
        if (v.IsDate() && v.AsDateSerial() < kFirstDateKept)
          row[k] = Variant::Null();
        else
          row[k] = v;
      }
      out->AppendRow(std::span<Variant>(row));
      rs->MoveNext();
    }
    copying = false;
    if (out->RowCount() > 0) out->MoveFirst();
    return out;
  });
}

}  // namespace qv::mQvDataBase
