#include <string>
#include <unordered_set>
#include <vector>

#include "core/mQvDaoDataBase.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "records/MapperSession.h"
#include "warrants/WarrantMappers.h"

namespace qv::warrants {
namespace {
using namespace records::col;
using mQvDaoDataBase::Number2DaoSql;
using records::QvRecord;
using records::QvRecordPtr;

// Warrant_ID is written from the owner the caller names (beforeUpdate).
constexpr records::ColumnDef kWarPowerColumns[] = {Text("Okato")};
constexpr records::ColumnMap kWarPowerMap{"WarPowers", kWarPowerColumns};

constexpr std::string_view kPermissionType = "Qv_Records.QvWarPermission";

CollectionPtr PermissionsOf(QvRecord& power) {
  static const int prop = power.PropertyIndex("Permissions");
  return power.CollectionAt(prop);
}

// The permission identifiers the power grants, each once, in collection
// order; items in state 4 are gone. Error 13 for an item of another type.
std::vector<double> GrantedIds(QvRecord& power) {
  CollectionPtr items = PermissionsOf(power);
  std::vector<double> ids;
  std::unordered_set<double> seen;
  for (int32_t i = 1; i <= items->Count(); ++i) {
    const Variant& v = items->At(i);
    auto item = v.IsObject() ? std::dynamic_pointer_cast<QvRecord>(v.AsObject()) : nullptr;
    if (!item || !EqualsAsciiNoCase(item->Type().progId, kPermissionType))
      ThrowVb(vberr::kTypeMismatch,
              "the permissions of a power must be " + std::string(kPermissionType) + " records");
    if (item->State() == records::kDeleted) continue;
    if (seen.insert(item->Id()).second) ids.push_back(item->Id());
  }
  return ids;
}

// One permission record per row, as the dictionary names it.
void ReadPermissions(dao::Database& db, QvRecord& power) {
  auto rs = mQvDaoDataBase::QvQuerySqlStatic(
      "select p.WarPermission_ID AS ID, d.Code, d.Name "
      "from WarPermissions AS p "
      "LEFT JOIN WarDict_Permissions AS d ON d.ID = p.WarPermission_ID "
      "Where p.WarPower_ID = " +
          Number2DaoSql(power.Id()),
      records::SharedDatabase(db));
  auto items = std::make_shared<Collection>();
  for (; !rs->IsEOF(); rs->MoveNext()) {
    QvRecordPtr item = QvRecord::Create(kPermissionType);
    item->BeginLoad(Variant(mQvDaoDataBase::GetDaoDouble(*rs, "ID")));
    item->Let("Code", Variant(mQvDaoDataBase::GetDaoString(*rs, "Code")));
    item->Let("Name", Variant(mQvDaoDataBase::GetDaoString(*rs, "Name")));
    item->EndLoad();
    items->Add(Variant(ObjectPtr(item)));
  }
  rs->Close();
  power.SetValue(power.PropertyIndex("Permissions"), Variant(ObjectPtr(items)));
}

// A power grants only permissions of the dictionary.
void CheckPermissions(dao::Database& db, QvRecord& power) {
  for (double id : GrantedIds(power))
    if (!mQvDaoDataBase::QvIsKeyExists(records::SharedDatabase(db), "WarDict_Permissions", "Id",
                                       Variant(id)))
      ThrowVb(vberr::kInvalidProcedureCall,
              "the power grants permission " + Number2DaoSql(id) +
                  ", which the dictionary of warrant permissions (WarDict_Permissions) lacks");
}

void WriteOwner(dao::Recordset& rs, QvRecord&, const Variant& parentId) {
  rs.SetField("Warrant_ID", Variant(CDbl(parentId)));
}

// The permission rows as a difference: the missing ones are added, the ones
// the power no longer grants are deleted (in batches of 100 identifiers).
void SavePermissions(dao::Database& db, QvRecord& power, bool, const Variant&) {
  const double id = power.Id();
  const std::vector<double> granted = GrantedIds(power);
  auto rs = mQvDaoDataBase::QvGetTableRS("WarPermissions", "WarPower", records::SharedDatabase(db));
  for (double permission : granted) {
    const Variant key[2] = {Variant(id), Variant(permission)};
    rs->Seek("=", key);
    if (!rs->NoMatch()) continue;
    rs->AddNew();
    rs->SetField("WarPower_ID", Variant(id));
    rs->SetField("WarPermission_ID", Variant(permission));
    rs->Update();
  }
  rs->Close();
  const std::unordered_set<double> keep(granted.begin(), granted.end());
  std::vector<double> gone;
  auto stored = mQvDaoDataBase::QvQuerySqlStatic(
      "select WarPermission_ID from WarPermissions where WarPower_ID = " + Number2DaoSql(id),
      records::SharedDatabase(db));
  for (; !stored->IsEOF(); stored->MoveNext()) {
    const double permission = CDbl(stored->FieldValue(0));
    if (!keep.count(permission)) gone.push_back(permission);
  }
  stored->Close();
  records::DeleteByIdList(db, "WarPermissions", "WarPower_ID = " + Number2DaoSql(id),
                          "WarPermission_ID", gone);
}

void DeletePermissions(dao::Database& db, QvRecord& power) {
  mQvDaoDataBase::QvExecuteSql(
      "delete from WarPermissions where WarPower_ID = " + Number2DaoSql(power.Id()),
      records::SharedDatabase(db));
}
}  // namespace

const MapperDef& DBWarPower::Def() {
  static const MapperDef def{"Qv_Records.QvWarPower",
                             kWarPowerMap,
                             true,
                             {.beforeWrite = &CheckPermissions,
                              .beforeUpdate = &WriteOwner,
                              .readMore = &ReadPermissions,
                              .afterWrite = &SavePermissions,
                              .beforeDelete = &DeletePermissions}};
  return def;
}

void DBWarPower::SaveRecord(const Variant& aRecord, bool aRecursive, double aParentID) {
  Guard(QV_HERE, [&] {
    auto rec = records::RecordArg(Def(), aRecord);
    records::SaveRow(*records::MapperUserDatabase(), Def(), *rec, aRecursive, Variant(aParentID));
  });
}

QV_DEFINE_CLASS(DBWarPower, "Qv_DBProvider.DBWarPower", QV_CREATABLE(DBWarPower),
                Method("ReadRecord(aID, aRecord)", &DBWarPower::ReadRecord),
                Method("SaveRecord(aRecord, aRecursive, aParentID)", &DBWarPower::SaveRecord),
                Method("DeleteRecord(aRecord)", &DBWarPower::DeleteRecord),
                Method("IsRecordExists(aID)", &DBWarPower::IsRecordExists))

}  // namespace qv::warrants
