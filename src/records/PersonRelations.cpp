#include "records/PersonRelations.h"

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "records/MapperSession.h"

namespace qv::records {

namespace {
constexpr std::string_view kModule = "PersonRelations";
using namespace mQvDaoDataBase;
}  // namespace

bool IsBranch(dao::Database& db, double aPersonID) {
  return Guard(QV_HERE, [&] {
    return QvIsKeyExists(SharedDatabase(db), "Branches", "ChildPersonID", Variant(aPersonID));
  });
}

bool IsAccPerson(dao::Database& db, double aPersonID) {
  return Guard(QV_HERE, [&] {
    return QvIsKeyExists(SharedDatabase(db), "AccPerson", "PersonId", Variant(aPersonID));
  });
}

void RemoveBranch(dao::Database& db, double aBranchOrgID) {
  Guard(QV_HERE, [&] {
    QvExecuteSql("Delete From Branches Where ChildPersonID = " + Number2DaoSql(aBranchOrgID),
                 SharedDatabase(db));
  });
}

void RemoveAccPerson(dao::Database& db, double aPersonID) {
  Guard(QV_HERE, [&] {
    QvExecuteSql("Delete From AccPerson Where PersonID = " + Number2DaoSql(aPersonID),
                 SharedDatabase(db));
  });
}

}  // namespace qv::records
