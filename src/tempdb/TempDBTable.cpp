#include "tempdb/TempDBTable.h"

#include "core/mErrorHandling.h"
#include "platform/dao/DaoCollections.h"
#include "platform/dao/DaoConstants.h"
#include "platform/dao/Database.h"
#include "platform/dao/Field.h"
#include "platform/dao/Index.h"
#include "platform/dao/Property.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TableDef.h"
#include "platform/dao/TableDefs.h"
#include "tempdb/TempDataBase.h"

namespace qv::tempdb {

namespace {

using jet::JetType;

constexpr int32_t kDefaultTextSize = 255;
constexpr std::string_view kUnicodeCompression = "UnicodeCompression";

std::vector<std::string> NamesOf(const Variant& names) {
  std::vector<std::string> out;
  if (names.IsString()) {
    out.push_back(names.AsString());
  } else if (names.IsArray() && !names.IsByteArray()) {
    const VariantArray& a = names.AsArray();
    for (const Variant& n : a.items) out.push_back(CStr(n));
  } else {
    ThrowVb(vberr::kTypeMismatch, "the index fields are an array of field names");
  }
  if (out.empty()) ThrowVb(vberr::kInvalidProcedureCall, "an index needs at least one field");
  return out;
}

bool IsTextType(int32_t type) {
  return type == static_cast<int32_t>(JetType::kText) ||
         type == static_cast<int32_t>(JetType::kMemo);
}

}  // namespace

TempDBTable::~TempDBTable() {
  try {
    DeleteTable();
  } catch (...) {
  }
}

void TempDBTable::Bind(std::shared_ptr<TempDataBase> owner, std::string name) {
  def_ = owner->DaoDataBase()->CreateTableDef(Variant(name));
  owner_ = std::move(owner);
  name_ = std::move(name);
}

dao::TableDef& TempDBTable::Definition() const {
  if (!def_) ThrowVb(vberr::kObjectNotSet, "the table was not made by TempDataBase.CreateTable");
  return *def_;
}

std::shared_ptr<dao::Field> TempDBTable::AddField(const std::string& aName, int32_t aType,
                                                  int32_t aSize) {
  return Guard(QV_HERE, [&] {
    dao::TableDef& def = Definition();
    const bool text = aType == static_cast<int32_t>(JetType::kText);
    auto field = def.CreateField(Variant(aName), Variant(aType),
                                 Variant(text ? (aSize > 0 ? aSize : kDefaultTextSize) : 0));
    field->SetRequired(aType != static_cast<int32_t>(JetType::kDate));
    if (IsTextType(aType)) field->SetAllowZeroLength(true);
    def.FieldsCollection()->Append(field);
    return field;
  });
}

std::shared_ptr<dao::Index> TempDBTable::AddIndex(const std::string& aIndexName, bool aPrimary,
                                                  bool aUnique, const Variant& FieldNames) {
  return Guard(QV_HERE, [&] {
    dao::TableDef& def = Definition();
    auto index = def.CreateIndex(Variant(aIndexName));
    for (const std::string& name : NamesOf(FieldNames))
      index->FieldsCollection()->Append(index->CreateField(name, Variant(), Variant()));
    if (aPrimary)
      index->SetPrimary(true);
    else if (aUnique)
      index->SetUnique(true);
    def.IndexesCollection()->Append(index);
    return index;
  });
}

void TempDBTable::CommitCreateTable() {
  Guard(QV_HERE, [&] {
    dao::TableDef& def = Definition();
    owner_->DaoDataBase()->TableDefsCollection()->Append(def_);
    if (!clearUnicode_) return;
    for (const auto& field : def.FieldsCollection()->Items()) {
      if (!IsTextType(field->Type())) continue;
      auto props = field->PropertiesCollection();
      if (props->Find(kUnicodeCompression)) props->Delete(std::string(kUnicodeCompression));
      props->Append(field->CreateProperty(std::string(kUnicodeCompression),
                                          static_cast<int32_t>(JetType::kBoolean), Variant(false)));
    }
  });
}

std::shared_ptr<dao::Recordset> TempDBTable::GetTableRS(const std::string& aIndexName) {
  return Guard(QV_HERE, [&] {
    Definition();
    auto rs = owner_->DaoDataBase()->OpenTable(name_, dao::dbOpenTable);
    if (!aIndexName.empty()) rs->SetIndex(aIndexName);
    return rs;
  });
}

void TempDBTable::DeleteTable() {
  Guard(QV_HERE, [&] {
    if (def_ && def_->IsAppended() && owner_) {
      auto db = owner_->DaoDataBase();
      if (db && db->IsOpen()) db->TableDefsCollection()->Delete(name_);
    }
    def_.reset();
    owner_.reset();
    name_.clear();
  });
}

QV_DEFINE_CLASS(
    TempDBTable, "Qv_DBProvider.TempDBTable", QV_CREATABLE(TempDBTable),
    Property("ClearUnicodeCompression", &TempDBTable::ClearUnicodeCompression,
             &TempDBTable::SetClearUnicodeCompression),
    Method("TableDef", &TempDBTable::TableDef), Method("Name", &TempDBTable::Name),
    Method("AddField(aName, aType, aSize)", &TempDBTable::AddField, {Variant(int32_t{0})}),
    Method("AddIndex(aIndexName, aPrimary, aUnique, FieldNames)", &TempDBTable::AddIndex),
    Method("CommitCreateTable", &TempDBTable::CommitCreateTable),
    Method("GetTableRS(aIndexName)", &TempDBTable::GetTableRS, {Variant(std::string())}),
    Method("DeleteTable", &TempDBTable::DeleteTable))

}  // namespace qv::tempdb
