#include <string>

#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "platform/dao/Transaction.h"
#include "records/MapperSession.h"
#include "records/miRecCollection.h"
#include "siblings/records/RecordFactory.h"
#include "warrants/WarrantMappers.h"

namespace qv::warrants {
namespace {
using namespace mQvDaoDataBase;

constexpr const char* kWarrantType = "Qv_Records.QvWarrant";
// The kind the operations without Ex work on.
constexpr int32_t kDefaultContoraType = 1;

std::string OfWorker(double worker, int32_t kind) {
  return "where WorkerID = " + Number2DaoSql(worker) + " and ContoraType = " + Number2DaoSql(kind);
}

// The ID of the statement's first row; 0 when it gives none.
double FirstId(const std::string& sql, const DatabasePtr& db) {
  auto rs = QvQuerySqlStatic(sql, db);
  const double id = rs->IsEOF() ? 0 : GetDaoDouble(*rs, "ID");
  rs->Close();
  return id;
}

// A warrant record for a stored identifier, read on first use.
Variant WarrantRecord(double id) {
  return Variant(
      ObjectPtr(records::RecordFactory::ForThisThread()->GetRecord(kWarrantType, Variant(id))));
}
}  // namespace

CollectionPtr DBQWarrant::GetWarrantsOfWorker(double aWorkerID) {
  return Guard(QV_HERE, [&] { return GetWarrantsOfWorkerEx(aWorkerID, kDefaultContoraType); });
}

CollectionPtr DBQWarrant::GetWarrantsOfWorkerEx(double aWorkerID, int32_t aContoraType) {
  return Guard(QV_HERE, [&] {
    auto rs = QvQuerySqlStatic(
        "select ID from Warrants " + OfWorker(aWorkerID, aContoraType) + " order by ID",
        records::MapperUserDatabase());
    return miRecCollection::GetRecCollection_QvWarrant(*rs, "ID");
  });
}

bool DBQWarrant::HasWorkerAnyWarrant(double aWorkerID) {
  return Guard(QV_HERE, [&] { return HasWorkerAnyWarrantEx(aWorkerID, kDefaultContoraType); });
}

bool DBQWarrant::HasWorkerAnyWarrantEx(double aWorkerID, int32_t aContoraType) {
  return Guard(QV_HERE, [&] {
    if (aWorkerID == 0) return false;
    return QvQueryExistence("select top 1 ID from Warrants " + OfWorker(aWorkerID, aContoraType),
                            records::MapperUserDatabase());
  });
}

void DBQWarrant::SetActiveWarrant(double aWarrantID, double aParentID) {
  Guard(QV_HERE, [&] {
    const Variant warrant = WarrantRecord(aWarrantID);
    SetActiveWarrantEx(aWarrantID, aParentID, CLng(warrant.AsObject()->Get("ContoraType")));
  });
}

void DBQWarrant::SetActiveWarrantEx(double aWarrantID, double aParentID, int32_t aContoraType) {
  Guard(QV_HERE, [&] {
    const auto db = records::MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    if (aWarrantID != 0) {
      // Activating a warrant of another worker or kind would leave two
      // active warrants of its own worker and kind.
      Variant worker, kind;
      if (!QvQuery2ValuesSafe(
              "select WorkerID, ContoraType from Warrants where ID = " + Number2DaoSql(aWarrantID),
              worker, kind, db))
        ThrowVb(vberr::kInvalidProcedureCall,
                "the warrant " + Number2DaoSql(aWarrantID) + " does not exist");
      if (CDblOr(worker, 0) != aParentID || CDblOr(kind, 0) != aContoraType)
        ThrowVb(vberr::kInvalidProcedureCall,
                "the warrant " + Number2DaoSql(aWarrantID) + " is not one of worker " +
                    Number2DaoSql(aParentID) + " and kind " + std::to_string(aContoraType));
    }
    auto rs = QvQuerySqlStatic(
        "select ID from Warrants " + OfWorker(aParentID, aContoraType) + " and IsActive = 1 ", db);
    bool wasActive = false;
    for (; !rs->IsEOF(); rs->MoveNext()) {
      const double id = GetDaoDouble(*rs, "ID");
      if (id == aWarrantID)
        wasActive = true;
      else
        QvExecuteSql("update Warrants set IsActive = 0 where ID = " + Number2DaoSql(id), db);
    }
    rs->Close();
    if (aWarrantID != 0 && !wasActive)
      QvExecuteSql("update Warrants set IsActive = 1 where ID = " + Number2DaoSql(aWarrantID), db);
    tx.Commit();
  });
}

void DBQWarrant::SetActiveWarrantIfAlone(double aParentID) {
  Guard(QV_HERE, [&] { SetActiveWarrantIfAloneEx(aParentID, kDefaultContoraType); });
}

void DBQWarrant::SetActiveWarrantIfAloneEx(double aParentID, int32_t aContoraType) {
  Guard(QV_HERE, [&] {
    const auto db = records::MapperUserDatabase();
    const std::string where = OfWorker(aParentID, aContoraType);
    dao::Transaction tx(*db, dao::kWriteLock);
    if (CLng(QvQueryValue("select count(*) AS aaa from Warrants " + where, Variant(), db)) == 1) {
      Variant id, active;
      QvQuery2Values("select ID, IsActive from Warrants " + where, id, active, db);
      if (mQvCommonCalc::VarToLongDef(active, 0) != 1)
        QvExecuteSql("update Warrants set IsActive = 1 where ID = " + Number2DaoSql(CDbl(id)), db);
    }
    tx.Commit();
  });
}

Variant DBQWarrant::GetActiveWarrant(double aParentID, bool aFindSurrogateIfNoActive) {
  return Guard(QV_HERE, [&] {
    return GetActiveWarrantEx(aParentID, kDefaultContoraType, aFindSurrogateIfNoActive);
  });
}

Variant DBQWarrant::GetActiveWarrantEx(double aParentID, int32_t aContoraType,
                                       bool aFindSurrogateIfNoActive) {
  return Guard(QV_HERE, [&] {
    const auto db = records::MapperUserDatabase();
    const std::string worker = Number2DaoSql(aParentID);
    const std::string kind = Number2DaoSql(aContoraType);
    const bool anyKind = aContoraType == kAnyContoraType;
    // Of any kind a worker may have several active warrants: the first made, the least key
    // (a server lists the rows in no order of theirs).
    double id = FirstId("select min(ID) AS ID from Warrants where WorkerID = " + worker + " and " +
                            (anyKind ? "" : "ContoraType = " + kind + " and ") + "IsActive = 1 ",
                        db);
    if (id == 0 && aFindSurrogateIfNoActive)
      id = FirstId("select top 1 ID from ( select ID from Warrants where WorkerID = " + worker +
                       (anyKind ? "" : " and ContoraType = " + kind) +
                       " order by DateBeg desc, ID desc ) ",
                   db);
    return id == 0 ? Variant::Nothing() : WarrantRecord(id);
  });
}

QV_DEFINE_CLASS(
    DBQWarrant, "Qv_DBProvider.DBQWarrant", QV_CREATABLE(DBQWarrant),
    Method("GetWarrantsOfWorker(aWorkerID)", &DBQWarrant::GetWarrantsOfWorker),
    Method("GetWarrantsOfWorkerEx(aWorkerID, aContoraType)", &DBQWarrant::GetWarrantsOfWorkerEx),
    Method("HasWorkerAnyWarrant(aWorkerID)", &DBQWarrant::HasWorkerAnyWarrant),
    Method("HasWorkerAnyWarrantEx(aWorkerID, aContoraType)", &DBQWarrant::HasWorkerAnyWarrantEx),
    Method("SetActiveWarrant(aWarrantID, aParentID)", &DBQWarrant::SetActiveWarrant),
    Method("SetActiveWarrantEx(aWarrantID, aParentID, aContoraType)",
           &DBQWarrant::SetActiveWarrantEx),
    Method("SetActiveWarrantIfAlone(aParentID)", &DBQWarrant::SetActiveWarrantIfAlone),
    Method("SetActiveWarrantIfAloneEx(aParentID, aContoraType)",
           &DBQWarrant::SetActiveWarrantIfAloneEx),
    Method("GetActiveWarrant(aParentID, aFindSurrogateIfNoActive)", &DBQWarrant::GetActiveWarrant),
    Method("GetActiveWarrantEx(aParentID, aContoraType, aFindSurrogateIfNoActive)",
           &DBQWarrant::GetActiveWarrantEx))

}  // namespace qv::warrants
