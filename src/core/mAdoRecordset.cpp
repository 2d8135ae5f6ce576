#include "core/mAdoRecordset.h"

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"

namespace qv::mAdoRecordset {

namespace {

const Variant* CurrentOrNull(const ado::Recordset& rs, std::string_view field) {
  try {
    const auto col = rs.FindField(field);
    if (!col) return nullptr;
    return &rs.CurrentValue(*col);
  } catch (...) {
    return nullptr;
  }
}

template <class T, class F>
T ReadOr(const ado::Recordset& rs, std::string_view field, T def, F&& convert) {
  const Variant* v = CurrentOrNull(rs, field);
  return v ? mQvCommonCalc::ConvertOr(*v, def, convert) : def;
}

bool IsVariableLength(int32_t type) {
  return type >= ado::adBinary && type <= ado::adLongVarBinary;
}

}  // namespace

RecordsetPtr AdoCloneRecordset(const RecordsetPtr& rs, bool withData) {
  return Guard(QV_HERE, [&] {
    if (!rs) ThrowVb(vberr::kObjectNotSet, "no recordset to copy");
    auto copy = std::make_shared<ado::Recordset>();
    copy->SetCursorLocation(ado::adUseClient);
    for (size_t c = 0; c < rs->FieldCount(); ++c) {
      const ado::FieldInfo& f = rs->FieldAt(c);
      copy->AppendField(f.name, f.type, IsVariableLength(f.type) ? f.definedSize : 0, f.attributes);
      if (f.type == ado::adNumeric || f.type == ado::adDecimal) {
        copy->SetPrecision(c, f.precision);
        copy->SetNumericScale(c, f.numericScale);
      }
    }
    copy->Open();
    if (withData && rs->IsOpen()) {
      copy->ReserveRows(rs->RowCount());
      for (size_t r = 0; r < rs->RowCount(); ++r) {
        std::vector<Variant> row;
        row.reserve(rs->FieldCount());
        for (size_t c = 0; c < rs->FieldCount(); ++c) row.push_back(rs->Value(r, c));
        copy->AppendRow(std::move(row));
      }
    }
    return copy;
  });
}

void AdoSafeMoveFirst(const RecordsetPtr& rs) noexcept {
  try {
    if (rs) rs->MoveFirst();
  } catch (...) {
  }
}

std::string GetAdoString(const ado::Recordset& rs, std::string_view field, const std::string& def) {
  return ReadOr<std::string>(rs, field, def,
                             [&](const Variant& v) { return mQvCommonCalc::VarToStr(v, def); });
}

int32_t GetAdoLong(const ado::Recordset& rs, std::string_view field, int32_t def) {
  return ReadOr<int32_t>(rs, field, def, [](const Variant& v) { return CLng(v); });
}

double GetAdoDouble(const ado::Recordset& rs, std::string_view field, double def) {
  return ReadOr<double>(rs, field, def, [](const Variant& v) { return CDbl(v); });
}

OleDate GetAdoDate(const ado::Recordset& rs, std::string_view field, OleDate def) {
  return ReadOr<OleDate>(rs, field, def, [](const Variant& v) { return CDate(v); });
}

bool IsAdoFieldExists(const ado::Recordset& rs, std::string_view field) {
  return rs.FindField(field).has_value();
}

std::string GetDelimitedNumberFieldValuesFromAdoRS(const RecordsetPtr& rs, std::string_view field,
                                                   double def, std::string_view separator,
                                                   std::string_view noRows) {
  if (!rs || !rs->IsOpen() || rs->RowCount() == 0) return std::string(noRows);
  const auto col = rs->FindField(field);
  if (!col) return std::string(noRows);
  std::string out;
  for (size_t r = 0; r < rs->RowCount(); ++r) {
    if (r) out += separator;
    const Variant& v = rs->Value(r, *col);
    double d = def;
    if (!v.IsNull()) {
      try {
        d = CDbl(v);
      } catch (...) {
      }
    }
    out += mQvDaoDataBase::Number2DaoSql(d);
  }
  return out;
}

}  // namespace qv::mAdoRecordset
