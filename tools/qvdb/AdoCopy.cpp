#include "AdoCopy.h"

#include "platform/ado/AdoConstants.h"

namespace qvdb {

using qv::jet::JetType;
namespace ado = qv::ado;

AdoColumnType AdoTypeForJet(JetType type, int32_t size) {
  switch (type) {
    case JetType::kBoolean:
      return {ado::adBoolean, 0};
    case JetType::kByte:
    case JetType::kInteger:
    case JetType::kLong:
      return {ado::adInteger, 0};
    case JetType::kCurrency:
      return {ado::adCurrency, 0};
    case JetType::kSingle:
      return {ado::adSingle, 0};
    case JetType::kDouble:
    case JetType::kFloat:
      return {ado::adDouble, 0};
    case JetType::kDate:
      return {ado::adDate, 0};
    case JetType::kBinary:
      return {ado::adBinary, size};
    case JetType::kText:
      return {ado::adLongVarWChar, 255};
    case JetType::kLongBinary:
      return {ado::adBinary, 0};
    case JetType::kMemo:
      return {ado::adLongVarWChar, 1000000};
    case JetType::kGUID:
      return {ado::adGUID, 0};
    case JetType::kBigInt:
      return {ado::adBigInt, 0};
    case JetType::kVarBinary:
      return {ado::adVarBinary, size};
    case JetType::kChar:
      return {ado::adChar, size};
    case JetType::kNumeric:
      return {ado::adNumeric, 0};
    case JetType::kDecimal:
      return {ado::adDecimal, 0};
    case JetType::kTime:
      return {ado::adDBTime, 0};
    case JetType::kNone:
      break;
  }
  return {ado::adLongVarWChar, 0};
}

ado::RecordsetPtr DaoToAdo(qv::dao::Recordset& rs) {
  auto out = std::make_shared<ado::Recordset>();
  const int32_t n = rs.FieldCount();
  for (int32_t i = 0; i < n; ++i) {
    const auto& spec = rs.Column(i).spec;
    const AdoColumnType t = AdoTypeForJet(spec.type, spec.size);
    std::string name = spec.name;
    for (int k = 2; out->FindField(name); ++k) name = spec.name + "_" + std::to_string(k);
    out->AppendField(name, t.type, t.definedSize, ado::adFldIsNullable);
  }
  out->Open();
  if (rs.RecordCount() == 0) return out;
  rs.MoveFirst();
  while (!rs.IsEOF()) {
    std::vector<qv::Variant> row;
    row.reserve(n);
    for (int32_t i = 0; i < n; ++i) row.push_back(rs.FieldValue(i));
    out->AppendRow(std::move(row));
    rs.MoveNext();
  }
  if (out->RowCount() > 0) out->MoveFirst();
  return out;
}

}  // namespace qvdb
