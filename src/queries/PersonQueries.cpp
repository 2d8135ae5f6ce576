#include "queries/PersonQueries.h"

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "queries/mCommonLookups.h"
#include "queries/mQueryLists.h"
#include "queries/mSortDirection.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

QV_DEFINE_CLASS(PersonQueries, "Qv_DBProvider.PersonQueries", QV_CREATABLE(PersonQueries),
                Method("AddAccPerson", &PersonQueries::AddAccPerson),
                Method("RemoveAccPerson", &PersonQueries::RemoveAccPerson),
                Method("AddBranch", &PersonQueries::AddBranch),
                Method("RemoveBranch", &PersonQueries::RemoveBranch),
                Method("GetBranchesByParentOrg", &PersonQueries::GetBranchesByParentOrg))

void PersonQueries::AddAccPerson(double aPersonID) {
  Guard(QV_HERE, [&] {
    QvWithWriteLock(nullptr, [&] {
      RequireStoredPerson(aPersonID, "the person");
      if (QvIsKeyExists(miDataBase::GetUserDataBase(), "AccPerson", "PersonId", Variant(aPersonID)))
        return;
      QvAddRecord("AccPerson", "PersonId", "PersonID", aPersonID, {});
    });
  });
}

void PersonQueries::RemoveAccPerson(double aPersonID) {
  Guard(QV_HERE,
        [&] { QvExecuteSql("Delete From AccPerson Where PersonID = " + SqlNum(aPersonID)); });
}

CollectionPtr PersonQueries::GetBranchesByParentOrg(double aParentOrgID,
                                                    const std::string& aSortMode,
                                                    int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    std::string sql;
    if (aSortMode.empty()) {
      sql =
          "SELECT ChildPersonID AS ID FROM Branches Where ParentPersonID = " + SqlNum(aParentOrgID);
    } else {
      sql =
          "select a.ChildPersonID AS ID from (Branches As a INNER JOIN Person As p ON "
          "a.ChildPersonID = p.ID) LEFT JOIN LegalPerson As lp ON p.PersonRealID = lp.ID Where "
          "a.ParentPersonID = " +
          SqlNum(aParentOrgID);
      if (aSortMode == "name")
        sql += " order by lp.ShortName {dir}";
      else if (aSortMode == "kpp")
        sql += " order by lp.KPP {dir}";
    }
    return PersonsOf(ApplySortDirection(std::move(sql), aSortDirection));
  });
}

void PersonQueries::AddBranch(double aParentOrgID, double aBranchOrgID) {
  Guard(QV_HERE, [&] {
    QvWithWriteLock(nullptr, [&] {
      RequireStoredPerson(aParentOrgID, "the parent organisation");
      RequireStoredPerson(aBranchOrgID, "the branch");
      if (aParentOrgID == aBranchOrgID)
        ThrowVb(vberr::kInvalidProcedureCall,
                "an organisation cannot be a branch of itself: " + SqlNum(aBranchOrgID));
      if (IsBranch(aBranchOrgID)) {
        const double parent = GetParentOfBranch(aBranchOrgID);
        if (parent == aParentOrgID) return;
        ThrowVb(vberr::kInvalidProcedureCall,
                "the person " + SqlNum(aBranchOrgID) + " is already a branch of " + SqlNum(parent));
      }
      const Variant pairs[] = {Variant(std::string("ParentPersonID")), Variant(aParentOrgID),
                               Variant(std::string("ChildPersonID")), Variant(aBranchOrgID)};
      QvAddRecord("Branches", "Id", "ID", 0, pairs);
    });
  });
}

void PersonQueries::RemoveBranch(double aBranchOrgID) {
  Guard(QV_HERE, [&] {
    QvExecuteSql("Delete From Branches Where ChildPersonID = " + SqlNum(aBranchOrgID));
  });
}

}  // namespace qv::queries
