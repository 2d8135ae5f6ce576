#include "TableWriter.h"

#include "platform/jet/JetError.h"

namespace qvdb {

using qv::Variant;
using qv::jet::JetType;

namespace {

Variant DefaultFor(JetType type) {
  switch (type) {
    case JetType::kBoolean:
      return Variant(false);
    case JetType::kByte:
    case JetType::kInteger:
    case JetType::kLong:
    case JetType::kCurrency:
    case JetType::kSingle:
    case JetType::kDouble:
    case JetType::kBigInt:
    case JetType::kNumeric:
    case JetType::kDecimal:
    case JetType::kFloat:
      return Variant(int32_t{0});
    case JetType::kDate:
    case JetType::kTime:
      return Variant(qv::OleDate{0});
    case JetType::kText:
    case JetType::kMemo:
    case JetType::kChar:
      return Variant("");
    default:
      return Variant::Null();
  }
}

}  // namespace

TableWriter::TableWriter(qv::dao::Database& db, std::string_view table) : rs_(db.OpenTable(table)) {
  for (int32_t i = 0; i < rs_->FieldCount(); ++i)
    defaults_.push_back(DefaultFor(rs_->Column(i).spec.type));
}

TableWriter::~TableWriter() {
  if (rs_ && rs_->IsOpen()) rs_->Close();
}

int TableWriter::Column(std::string_view name) const {
  const int32_t i = rs_->FieldIndex(name);
  if (i < 0)
    throw qv::Error(qv::jet::jeterr::kItemNotFound, "Item not found in this collection: " +
                                                        std::string(name) + " of " + rs_->Name());
  return i;
}

void TableWriter::Begin() {
  rs_->AddNew();
  for (size_t i = 0; i < defaults_.size(); ++i)
    if (!defaults_[i].IsNull()) rs_->SetField(static_cast<int32_t>(i), defaults_[i]);
}

void TableWriter::End() {
  rs_->Update();
  ++rows_;
}

bool TableWriter::Exists(std::span<const Variant> keys, const char* index) {
  rs_->SetIndex(index);
  rs_->Seek("=", keys);
  return !rs_->NoMatch();
}

double TableWriter::MaxOf(qv::dao::Database& db, std::string_view table, std::string_view column) {
  auto rs =
      db.OpenStatement("select max(" + std::string(column) + ") as m from " + std::string(table),
                       qv::dao::dbOpenSnapshot);
  double m = 0;
  if (rs->RecordCount() > 0 && !rs->FieldValue(0).IsNull()) m = qv::CDbl(rs->FieldValue(0));
  rs->Close();
  return m;
}

}  // namespace qvdb
