#include "queries/PersonQueries.h"

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/dao/Transaction.h"
#include "queries/mCommonLookups.h"
#include "queries/mQueryLists.h"
#include "queries/mSortDirection.h"
#include "records/PersonRelations.h"
#include "siblings/records/RecordFactory.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

QV_DEFINE_CLASS(
    PersonQueries, "Qv_DBProvider.PersonQueries", QV_CREATABLE(PersonQueries),
    Method("AddAccPerson(aPersonID)", &PersonQueries::AddAccPerson),
    Method("RemoveAccPerson(aPersonID)", &PersonQueries::RemoveAccPerson),
    Method("GetAccPersons(aSortMode, aSortDirection)", &PersonQueries::GetAccPersons),
    Method("IsAnyAccPersonExists", &PersonQueries::IsAnyAccPersonExists),
    Method("GetWorkers(aJobplacePersonID)", &PersonQueries::GetWorkers),
    Method("HasWorkers(aJobplacePersonID)", &PersonQueries::HasWorkers),
    Method("GetFormalBoss(aJobPlaceID)", &PersonQueries::GetFormalBoss),
    Method("SetFormalBoss(aWorkerID, aJobPlaceID)", &PersonQueries::SetFormalBoss),
    Method("SearchNPPersons(aFilter)", &PersonQueries::SearchNPPersons),
    Method("SearchLPPersons(aFilter)", &PersonQueries::SearchLPPersons),
    Method("GetAllPersonsAllowedToBeWorkers(aFilter)",
           &PersonQueries::GetAllPersonsAllowedToBeWorkers),
    Method("AddBranch(aParentOrgID, aBranchOrgID)", &PersonQueries::AddBranch),
    Method("RemoveBranch(aBranchOrgID)", &PersonQueries::RemoveBranch),
    Method("GetBranchesByParentOrg(aParentOrgID, aSortMode, aSortDirection)",
           &PersonQueries::GetBranchesByParentOrg),
    Method("HasBranches(aParentOrgID)", &PersonQueries::HasBranches),
    Method("IsBranchClosed(aPersonID)", &PersonQueries::IsBranchClosed),
    Method("HasClosedBranches(aParentOrgID, aLookForClosed)", &PersonQueries::HasClosedBranches),
    Method("GetParentOfUniqueBranch(aChildPersonID)", &PersonQueries::GetParentOfUniqueBranch),
    Method("CheckPersonBeforeSaving(aRecord, aResult, aCollisionObjectID)",
           &PersonQueries::CheckPersonBeforeSaving),
    Method("GetWorkerIDByPersonID(aPersonID, aJobPlaceID)", &PersonQueries::GetWorkerIDByPersonID,
           {Variant(0.0)}),
    Method("GetAllBranches(aSortMode, aSortDirection)", &PersonQueries::GetAllBranches),
    Method("GetAccPersonsAndBranches", &PersonQueries::GetAccPersonsAndBranches),
    Method("FindBranchDuplicates(aParentID, aKpp, aExcludeID)",
           &PersonQueries::FindBranchDuplicates),
    Method("GetPersonsByGiin(aGiin, aMaxCount)", &PersonQueries::GetPersonsByGiin,
           {Variant(int32_t{-1})}),
    Method("IsAccPerson(aPersonID)", &PersonQueries::IsAccPerson),
    Method("IsBranch(aPersonID)", &PersonQueries::IsBranch),
    // Used by the blank queries; harmless to late-bound callers.
    Method("GetBranchAccStreams(aParentPersonID, aAccStreamType, aSortMode, aSortDirection)",
           &PersonQueries::GetBranchAccStreams))

namespace {

// The display name of the person lists; the leading '1' and '2' sort legal
// persons before natural persons.
constexpr std::string_view kSNameExpr =
    "Iif (p.type=1, '2' + np.Surname + ' ' + np.Name + ' ' + np.Patronymic, '1' + lp.ShortName) "
    "As SName";

}  // namespace

// ---- accounted persons

void PersonQueries::AddAccPerson(double aPersonID) {
  Guard(QV_HERE, [&] {
    dao::Database& db = *miDataBase::GetUserDataBase();
    dao::Transaction tx(db, dao::kWriteLock);
    RequireStoredPerson(aPersonID, "the person");
    if (!records::IsAccPerson(db, aPersonID))
      QvAddRecord("AccPerson", "PersonId", "PersonID", aPersonID, {});
    tx.Commit();
  });
}

void PersonQueries::RemoveAccPerson(double aPersonID) {
  Guard(QV_HERE, [&] { records::RemoveAccPerson(*miDataBase::GetUserDataBase(), aPersonID); });
}

CollectionPtr PersonQueries::GetAccPersons(const std::string& aSortMode, int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    if (aSortMode.empty())
      return PersonsOf(
          "SELECT a.PersonID AS ID FROM AccPerson AS a INNER JOIN Person As p ON p.ID=a.PersonID");
    std::string sql =
        "select PersonID AS ID from "
        "( select a.PersonID As PersonID, Iif (p.type=1, np.INN, lp.INN) As INN,"
        " Iif (p.type=1, '', lp.KPP) As KPP, " +
        std::string(kSNameExpr) +
        " from  ((AccPerson As a "
        "INNER JOIN Person As p ON p.ID=a.PersonID) "
        "LEFT JOIN LegalPerson As lp ON p.PersonRealId = lp.id) "
        "LEFT JOIN NaturalPerson As np ON p.PersonRealId = np.id ) ";
    if (aSortMode == "name")
      sql += " order by SName {dir}";
    else if (aSortMode == "inn")
      sql += " order by INN {dir}, KPP {dir}";
    return PersonsOf(ApplySortDirection(std::move(sql), aSortDirection));
  });
}

bool PersonQueries::IsAnyAccPersonExists() {
  return Guard(QV_HERE, [&] { return QvQueryExistence("SELECT top 1 PersonId FROM AccPerson"); });
}

// ---- workers

CollectionPtr PersonQueries::GetWorkers(double aJobplacePersonID) {
  return Guard(QV_HERE, [&] {
    return WorkersOf("SELECT Id FROM Personnel WHERE JobPlaceId = " +
                     Number2DaoSql(aJobplacePersonID));
  });
}

bool PersonQueries::HasWorkers(double aJobplacePersonID) {
  return Guard(QV_HERE, [&] {
    if (aJobplacePersonID == 0) return false;
    return QvQueryExistence("SELECT top 1 Id FROM Personnel WHERE JobPlaceId = " +
                            Number2DaoSql(aJobplacePersonID));
  });
}

ObjectPtr PersonQueries::GetFormalBoss(double aJobPlaceID) {
  return Guard(QV_HERE, [&]() -> ObjectPtr {
    DaoRecordsetPtr rs = QvQuerySqlStatic("select top 1 ID from Personnel where JobPlaceID = " +
                                          Number2DaoSql(aJobPlaceID) + " and IsFormalBoss = 1 ");
    DaoSafeMoveFirst(*rs);
    const double id = rs->IsEOF() ? 0 : CDblOr(rs->FieldValue(0), 0);
    rs->Close();
    if (id <= 0) return nullptr;
    return records::RecordFactory::ForThisThread()->GetRecord("Qv_Records.QvWorker", Variant(id));
  });
}

void PersonQueries::SetFormalBoss(double aWorkerID, double aJobPlaceID) {
  Guard(QV_HERE, [&] {
    dao::Transaction tx(*miDataBase::GetUserDataBase(), dao::kWriteLock);
    {
      if (aWorkerID != 0 &&
          !QvQueryExistence("select ID from Personnel where ID = " + Number2DaoSql(aWorkerID) +
                            " and JobPlaceID = " + Number2DaoSql(aJobPlaceID)))
        ThrowVb(vberr::kInvalidProcedureCall, "the worker " + Number2DaoSql(aWorkerID) +
                                                  " holds no job at " + Number2DaoSql(aJobPlaceID));
      DaoRecordsetPtr rs = QvQuerySqlStatic("select ID from Personnel where JobPlaceID = " +
                                            Number2DaoSql(aJobPlaceID) + " and IsFormalBoss = 1 ");
      bool already = false;
      for (DaoSafeMoveFirst(*rs); !rs->IsEOF(); rs->MoveNext()) {
        const double id = CDblOr(rs->FieldValue(0), 0);
        if (id == aWorkerID)
          already = true;
        else
          QvExecuteSql("update Personnel set IsFormalBoss = 0 where ID = " + Number2DaoSql(id));
      }
      rs->Close();
      if (aWorkerID != 0 && !already)
        QvExecuteSql("update Personnel set IsFormalBoss = 1 where ID = " +
                     Number2DaoSql(aWorkerID));
    }
    tx.Commit();
  });
}

// ---- searches

ado::RecordsetPtr PersonQueries::SearchNPPersons(ObjectPtr) {
  return Guard(QV_HERE,
               [&] { return QvQuerySqlA("SELECT Id AS PersonID FROM Person p WHERE p.Type = 1"); });
}

ado::RecordsetPtr PersonQueries::SearchLPPersons(ObjectPtr) {
  return Guard(QV_HERE,
               [&] { return QvQuerySqlA("SELECT Id AS PersonID FROM Person p WHERE p.Type = 2"); });
}

ado::RecordsetPtr PersonQueries::GetAllPersonsAllowedToBeWorkers(const Variant&) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(
        "Select pr.ID As ID, np.Surname As Surname, np.Name As Name,"
        " np.Patronymic As Patronymic,"
        " np.Surname + ' ' + np.Name + ' ' + np.Patronymic As Fio, np.inn As INN,"
        " cert.Series + ' ' + cert.Number As PassportData,"
        " addr.City + ',' + addr.Village + ',' + addr.Street + ',' + addr.House + ','"
        " + addr.Building + ',' + Addr.Flat + ',' + addr.NonStruct As HomeAddress "

        "From ((Person pr "
        "Left Join NaturalPerson As np On pr.PersonRealId = np.id) "
        "Left Join Certificate As cert On np.IdentityDocID = cert.id) "
        "Left Join Address As addr On np.HomeAddressID = addr.id "
        "Where pr.type=1 and pr.id in (select pl.WorkerId "
        "from Personnel pl) "
        "Order By np.Surname, np.Name, np.Patronymic; ");
  });
}

// ---- branches

void PersonQueries::AddBranch(double aParentOrgID, double aBranchOrgID) {
  Guard(QV_HERE, [&] {
    dao::Database& db = *miDataBase::GetUserDataBase();
    dao::Transaction tx(db, dao::kWriteLock);
    RequireStoredPerson(aParentOrgID, "the parent organisation");
    RequireStoredPerson(aBranchOrgID, "the branch");
    if (aParentOrgID == aBranchOrgID)
      ThrowVb(vberr::kInvalidProcedureCall,
              "an organisation cannot be a branch of itself: " + Number2DaoSql(aBranchOrgID));
    // Looked up by the branch: a branch has one parent.
    if (records::IsBranch(db, aBranchOrgID)) {
      const double parent = GetParentOfBranch(aBranchOrgID);
      if (parent == aParentOrgID) return;  // nothing written
      ThrowVb(vberr::kInvalidProcedureCall, "the person " + Number2DaoSql(aBranchOrgID) +
                                                " is already a branch of " + Number2DaoSql(parent));
    }
    const Variant pairs[] = {Variant("ParentPersonID"), Variant(aParentOrgID),
                             Variant("ChildPersonID"), Variant(aBranchOrgID)};
    QvAddRecord("Branches", "Id", "ID", 0, pairs);
    tx.Commit();
  });
}

void PersonQueries::RemoveBranch(double aBranchOrgID) {
  Guard(QV_HERE, [&] { records::RemoveBranch(*miDataBase::GetUserDataBase(), aBranchOrgID); });
}

CollectionPtr PersonQueries::GetBranchesByParentOrg(double aParentOrgID,
                                                    const std::string& aSortMode,
                                                    int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    if (aSortMode.empty())
      return PersonsOf("SELECT ChildPersonID AS ID FROM Branches Where ParentPersonID = " +
                       Number2DaoSql(aParentOrgID));
    std::string sql =
        "select a.ChildPersonID AS ID from (Branches As a "
        "INNER JOIN Person As p ON a.ChildPersonID = p.ID) "
        "LEFT JOIN LegalPerson As lp ON p.PersonRealID = lp.ID "
        "Where a.ParentPersonID = " +
        Number2DaoSql(aParentOrgID);
    if (aSortMode == "name")
      sql += " order by lp.ShortName {dir}";
    else if (aSortMode == "kpp")
      sql += " order by lp.KPP {dir}";
    return PersonsOf(ApplySortDirection(std::move(sql), aSortDirection));
  });
}

bool PersonQueries::HasBranches(double aParentOrgID) {
  return Guard(QV_HERE, [&] {
    if (aParentOrgID == 0) return false;
    return QvQueryExistence("select top 1 ParentPersonID from Branches where ParentPersonID = " +
                            Number2DaoSql(aParentOrgID));
  });
}

bool PersonQueries::IsBranchClosed(double aPersonID) {
  return Guard(QV_HERE, [&] {
    if (aPersonID == 0) return false;
    Variant total, closed;
    QvQuery2Values(
        "select count(*) AS Total, sum (iif (a.LastYear > 0, 1, 0)) AS Closed "
        "from AccStream AS a where a.PersonID = " +
            Number2DaoSql(aPersonID) + " ",
        total, closed);
    const double t = CDblOr(total, 0);
    return t > 0 && CDblOr(closed, 0) == t;
  });
}

bool PersonQueries::HasClosedBranches(double aParentOrgID, bool aLookForClosed) {
  return Guard(QV_HERE, [&] {
    if (aParentOrgID == 0) return false;
    const std::string inner =
        "select b.ChildPersonID AS PersonID, sum (iif (a.ID <> 0, 1, 0)) AS Total,"
        " sum (iif (a.LastYear > 0, 1, 0)) AS Closed "
        "from Branches AS b "
        "LEFT JOIN AccStream AS a ON a.PersonID = b.ChildPersonID "
        "where b.ParentPersonID = " +
        Number2DaoSql(aParentOrgID) + " group by b.ChildPersonID ";
    const std::string sql = "select count(*) AS aaa from (" + inner + ") " +
                            (aLookForClosed ? "where Total > 0 and Closed = Total "
                                            : "where Total = 0 or Closed <> Total ");
    return CDblOr(QvQueryValue(sql), 0) > 0;
  });
}

double PersonQueries::GetParentOfUniqueBranch(double aChildPersonID) {
  return Guard(QV_HERE, [&] { return GetParentOfBranch(aChildPersonID); });
}

double PersonQueries::GetWorkerIDByPersonID(double aPersonID, double aJobPlaceID) {
  return Guard(QV_HERE, [&] {
    const std::string base =
        "select min (ID) AS aaa from Personnel where WorkerID = " + Number2DaoSql(aPersonID);
    auto first = [&](const std::string& condition) {
      return CDblOr(QvQueryValue(base + condition), 0);
    };
    if (aJobPlaceID != 0) {
      if (double id = first(" and JobPlaceID = " + Number2DaoSql(aJobPlaceID)); id != 0) return id;
      if (records::IsBranch(*miDataBase::GetUserDataBase(), aJobPlaceID)) {
        if (const double parent = GetParentOfBranch(aJobPlaceID); parent != 0) {
          if (double id =
                  first(" and JobPlaceID = " + Number2DaoSql(parent) + " and ShowInBranches = 1 ");
              id != 0)
            return id;
          if (double id = first(" and JobPlaceID = " + Number2DaoSql(parent)); id != 0) return id;
        }
      }
    }
    return first("");
  });
}

CollectionPtr PersonQueries::GetAllBranches(const std::string& aSortMode, int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    std::string sql =
        "select * "
        "from (select b.ChildPersonID AS ID, b.ParentPersonID, pa.Inn, ch.Kpp,"
        " ch.ShortName AS SName, ch.FullName "
        "from (((Branches AS b "
        "LEFT JOIN Person AS p1 ON p1.ID = b.ChildPersonID) "
        "LEFT JOIN LegalPerson AS ch ON ch.ID = p1.PersonRealID) "
        "LEFT JOIN Person AS p2 ON p2.ID = b.ParentPersonID) "
        "LEFT JOIN LegalPerson AS pa ON pa.ID = p2.PersonRealID ) "
        "order by ";
    if (aSortMode == "inn")
      sql += "inn {dir}, kpp {dir} ";
    else if (aSortMode == "name")
      sql += "SName {dir} ";
    else
      sql += "ID {dir} ";
    return PersonsOf(ApplySortDirection(std::move(sql), aSortDirection));
  });
}

CollectionPtr PersonQueries::GetAccPersonsAndBranches() {
  return Guard(QV_HERE, [&] {
    return PersonsOf(
        "select p.PersonID AS ID from AccPerson AS p "
        "union select b.ChildPersonID AS ID from Branches AS b "
        "INNER JOIN AccPerson AS pp ON pp.PersonID = b.ParentPersonID ");
  });
}

CollectionPtr PersonQueries::FindBranchDuplicates(double aParentID, const std::string& aKpp,
                                                  double aExcludeID) {
  return Guard(QV_HERE, [&] {
    std::string sql =
        "select b.ChildPersonID AS ID from (Branches as b "
        "LEFT JOIN Person AS p ON p.ID = b.ChildPersonID) "
        "LEFT JOIN LegalPerson AS lp ON lp.ID = p.PersonRealID "
        "where b.ParentPersonID = " +
        Number2DaoSql(aParentID) + " and p.Type = 2 and lp.Kpp = " + DaoQString(aKpp) + " ";
    if (aExcludeID != 0) sql += " and b.ChildPersonID <> " + Number2DaoSql(aExcludeID) + " ";
    return PersonsOf(sql);
  });
}

CollectionPtr PersonQueries::GetPersonsByGiin(const std::string& aGiin, int32_t aMaxCount) {
  return Guard(QV_HERE, [&] {
    return PersonsOf("select " +
                     (aMaxCount > 0 ? "top " + Number2DaoSql(aMaxCount) + " " : std::string()) +
                     " PersonID AS ID From AccStream where LCase (OfrForeignTaxCode) = LCase(" +
                     DaoQString(aGiin) + ") and AccStreamType = 9 ");
  });
}

bool PersonQueries::IsAccPerson(double aPersonID) {
  return Guard(QV_HERE,
               [&] { return records::IsAccPerson(*miDataBase::GetUserDataBase(), aPersonID); });
}

bool PersonQueries::IsBranch(double aPersonID) {
  return Guard(QV_HERE,
               [&] { return records::IsBranch(*miDataBase::GetUserDataBase(), aPersonID); });
}

ado::RecordsetPtr PersonQueries::GetBranchAccStreams(double aParentPersonID, int32_t aAccStreamType,
                                                     const std::string& aSortMode,
                                                     int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    const std::string where = "Where b.ParentPersonID = " + Number2DaoSql(aParentPersonID) +
                              " and a.AccStreamType = " + Number2DaoSql(aAccStreamType) + " ";
    std::string sql;
    if (aSortMode.empty() || aSortMode == "acstr" || aSortMode == "imns") {
      sql =
          "select a.* from Branches AS b "
          "inner join AccStream AS a ON a.PersonID = b.ChildPersonID " +
          where;
      if (aSortMode.empty())
        sql += "order by a.PersonID, a.ID ";
      else if (aSortMode == "acstr")
        sql += "order by a.DisplayName {dir} ";
      else
        sql += "order by a.TaxOfficeId {dir} ";
    } else if (aSortMode == "org" || aSortMode == "kpp") {
      sql =
          "select * from "
          "( select a.*, Iif (p.type=1, np.INN, lp.INN) As INN, Iif (p.type=1, '',"
          " lp.KPP) As KPP, " +
          std::string(kSNameExpr) +
          " from (((Branches AS b "
          "inner join AccStream AS a ON a.PersonID = b.ChildPersonID) "
          "inner join Person AS p ON a.PersonID = p.ID) "
          "LEFT JOIN LegalPerson As lp ON p.PersonRealId = lp.id) "
          "LEFT JOIN NaturalPerson As np ON p.PersonRealId = np.id " +
          where + ") " + (aSortMode == "org" ? "order by SName {dir} " : "order by Kpp {dir} ");
    } else {
      ThrowVb(vberr::kInvalidProcedureCall, "unknown sort mode of branch streams: \"" + aSortMode +
                                                "\" (\"\", acstr, imns, org or kpp)");
    }
    return QvQuerySqlA(ApplySortDirection(std::move(sql), aSortDirection));
  });
}

}  // namespace qv::queries
