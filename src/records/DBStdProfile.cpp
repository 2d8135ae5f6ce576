#include <set>
#include <string>
#include <utility>

#include "core/mQvDaoDataBase.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "records/EntityMappers.h"

namespace qv::records {
namespace {
using namespace col;
using mQvDaoDataBase::Number2DaoSql;

// User profiles lie below this identifier; from it on, the dictionary's,
// which are never written.
constexpr double kDictRangeStart = 1e8;

constexpr ColumnDef kColumns[] = {Text("Name")};
constexpr ColumnMap kUserMap{"UserProfiles", kColumns};
constexpr ColumnMap kDictMap{"DictProfiles", kColumns};

bool IsUserId(double id) {
  return id < kDictRangeStart;
}
const ColumnMap* MapFor(double id) {
  return IsUserId(id) ? &kUserMap : &kDictMap;
}
bool UserOnly(QvRecord& rec) {
  return IsUserId(rec.Id());
}
bool UserIdOnly(double id) {
  return IsUserId(id);
}

std::string DataTableOf(double id) {
  return IsUserId(id) ? "UserProfData" : "DictProfData";
}

// An obligation's key: "_" + PeriodType + "_" + Doc_Type_ID.
std::string LiabKey(int32_t periodType, double docTypeId) {
  return "_" + std::to_string(periodType) + "_" + Number2DaoSql(docTypeId);
}

int LiabsProp(QvRecord& rec) {
  static const int prop = rec.PropertyIndex("Liabs");
  return prop;
}

// The obligations, one new obligation record per row.
void ReadLiabs(dao::Database& db, QvRecord& rec) {
  auto liabs = std::make_shared<Collection>();
  auto rs = db.OpenStatement("Select PeriodType, Doc_Type_ID From " + DataTableOf(rec.Id()) +
                                 " Where Profile_ID = " + Number2DaoSql(rec.Id()),
                             dao::dbOpenSnapshot);
  for (; !rs->IsEOF(); rs->MoveNext()) {
    QvRecordPtr liab = QvRecord::Create("Qv_Records.QvProfileLiab");
    liab->Let("PeriodType", rs->FieldValue(0).IsNull() ? Variant(int32_t{0}) : rs->FieldValue(0));
    liab->Let("Doc_Type_ID", rs->FieldValue(1).IsNull() ? Variant(0.0) : rs->FieldValue(1));
    liabs->Add(Variant(ObjectPtr(liab)));
  }
  rec.SetValue(LiabsProp(rec), Variant(ObjectPtr(liabs)));
}

// The stored obligations become those of the record: rows it lacks are
// deleted, its new ones added (a row's columns are its key, so a row
// present stays as it is).
void SaveLiabs(dao::Database& db, QvRecord& rec, bool) {
  const double id = rec.Id();
  std::set<std::string> wanted;
  std::vector<std::pair<int32_t, double>> toAdd;
  CollectionPtr liabs = rec.CollectionAt(LiabsProp(rec));
  for (int32_t i = 1; i <= liabs->Count(); ++i) {
    auto liab = std::dynamic_pointer_cast<QvRecord>(liabs->At(i).AsObject());
    if (!liab || !NameEquals(liab->Type().progId, "Qv_Records.QvProfileLiab"))
      ThrowVb(vberr::kTypeMismatch, "Liabs holds an item that is no Qv_Records.QvProfileLiab");
    if (liab->State() == kDeleted) continue;
    const int32_t periodType = CLng(liab->Get("PeriodType"));
    const double docType = CDbl(liab->Get("Doc_Type_ID"));
    if (wanted.insert(LiabKey(periodType, docType)).second) toAdd.emplace_back(periodType, docType);
  }
  auto rs = db.OpenTable("UserProfData");
  rs->SetIndex("Idx1");
  const Variant key[1] = {Variant(id)};
  std::set<std::string> stored;
  for (rs->Seek(">=", key); !rs->IsEOF() && CDbl(rs->FieldValue("Profile_ID")) == id;
       rs->MoveNext()) {
    const std::string k =
        LiabKey(CLng(rs->FieldValue("PeriodType")), CDbl(rs->FieldValue("Doc_Type_ID")));
    if (wanted.count(k) && stored.insert(k).second) continue;
    rs->Delete();
  }
  for (const auto& [periodType, docType] : toAdd) {
    if (stored.count(LiabKey(periodType, docType))) continue;
    rs->AddNew();
    rs->SetField("Profile_ID", Variant(id));
    rs->SetField("PeriodType", Variant(periodType));
    rs->SetField("Doc_Type_ID", Variant(docType));
    rs->Update();
  }
  rs->Close();
}

void DeleteLiabs(dao::Database& db, QvRecord& rec) {
  mQvDaoDataBase::QvExecuteSql(
      "delete from UserProfData where Profile_ID = " + Number2DaoSql(rec.Id()),
      std::static_pointer_cast<dao::Database>(db.shared_from_this()));
}
}  // namespace

const MapperDef& DBStdProfile::Def() {
  static const MapperDef def{"Qv_Records.QvStdProfile",
                             kUserMap,
                             true,
                             {.mapFor = &MapFor,
                              .saveGate = &UserOnly,
                              .deleteGate = &UserIdOnly,
                              .readMore = &ReadLiabs,
                              .afterWrite = &SaveLiabs,
                              .beforeDelete = &DeleteLiabs},
                             &kUserMap};
  return def;
}

QV_DEFINE_CLASS(DBStdProfile, "Qv_DBProvider.DBStdProfile", QV_CREATABLE(DBStdProfile),
                QV_MAPPER_MEMBERS(DBStdProfile))

}  // namespace qv::records
