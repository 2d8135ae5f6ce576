#include <cmath>
#include <string>

#include "core/mQvDaoDataBase.h"
#include "platform/dao/Database.h"
#include "records/MapperSession.h"
#include "warrants/WarrantMappers.h"

namespace qv::warrants {
namespace {
using namespace records::col;
using mQvDaoDataBase::Number2DaoSql;
using records::QvRecord;

// IsActive is read but never written here: only DBQWarrant switches it.
// The seven subject slots belong to the warrant (deleted with it, saved
// first by a recursive save).
constexpr records::ColumnDef kWarrantColumns[] = {
    Num("WorkerID"),
    Text("Caption"),
    Bool("IsAutoCaption"),
    Bool("ShowInBranches"),
    ReadOnly(Flag("IsActive")),
    Bool("IsSmartBranchData"),
    Bool("IsSmartKppSubst"),
    Text("WarrantSeries"),
    Text("WarrantNumber"),
    Date("DateBeg"),
    Date("DateEnd"),
    Owned(Ref("Origin_SubjectID")),
    Long("PrincipalType"),
    Long("PrincipalPersonType"),
    Owned(Ref("LPrincipal_SubjectID")),
    Owned(Ref("NPrincipal_SubjectID")),
    Long("AgentPersonType"),
    Owned(Ref("LAgent_SubjectID")),
    Owned(Ref("NAgent_SubjectID")),
    Bool("IsWitness"),
    Long("WitnessPersonType"),
    Owned(Ref("LWitness_SubjectID")),
    Owned(Ref("NWitness_SubjectID")),
    Text("WarrantGuid"),
    Long("ContoraType"),
};
constexpr records::ColumnMap kWarrantMap{"Warrants", kWarrantColumns};

// The powers, with the lazy group. A power the collection no longer holds
// is deleted through its mapper, which removes its permission rows too.
constexpr records::ChildListDef kLists[] = {{.property = "Powers",
                                             .itemProgId = "Qv_Records.QvWarPower",
                                             .table = "WarPowers",
                                             .ownerColumn = "Warrant_ID",
                                             .removeThroughMapper = true}};

// A warrant names an existing worker and does not end before it begins.
void CheckWarrant(dao::Database& db, QvRecord& rec) {
  static const int worker = rec.PropertyIndex("WorkerID");
  static const int begins = rec.PropertyIndex("DateBeg");
  static const int ends = rec.PropertyIndex("DateEnd");
  const double workerId = CDbl(rec.Value(worker));
  if (workerId == 0)
    ThrowVb(vberr::kInvalidProcedureCall, "the warrant names no worker (WorkerID is 0)");
  if (!mQvDaoDataBase::QvIsKeyExists(records::SharedDatabase(db), "Personnel", "Id",
                                     Variant(workerId)))
    ThrowVb(vberr::kInvalidProcedureCall, "the warrant's worker " + Number2DaoSql(workerId) +
                                              " does not exist (no Personnel row)");
  const double from = CDate(rec.Value(begins)).serial;
  const double to = CDate(rec.Value(ends)).serial;
  // An empty date (its day part 0) leaves that end open.
  if (std::trunc(from) != 0 && std::trunc(to) != 0 && from > to)
    ThrowVb(vberr::kInvalidProcedureCall, "the warrant ends on " + CStr(rec.Value(ends)) +
                                              ", before it begins on " + CStr(rec.Value(begins)));
}

// The powers and their permission rows go before the row.
void DeletePowers(dao::Database& db, QvRecord& rec) {
  const std::string warrant = Number2DaoSql(rec.Id());
  mQvDaoDataBase::QvExecuteSql(
      "delete from WarPermissions AS a where a.WarPower_ID in "
      "( select ID from WarPowers AS p where p.Warrant_ID = " +
          warrant + " )",
      records::SharedDatabase(db));
  mQvDaoDataBase::QvExecuteSql("delete from WarPowers AS p where p.Warrant_ID = " + warrant,
                               records::SharedDatabase(db));
}
}  // namespace

const MapperDef& DBWarrant::Def() {
  static const MapperDef def{"Qv_Records.QvWarrant",
                             kWarrantMap,
                             true,
                             {.beforeWrite = &CheckWarrant, .beforeDelete = &DeletePowers},
                             nullptr,
                             nullptr,
                             kLists};
  return def;
}

QV_DEFINE_CLASS(DBWarrant, "Qv_DBProvider.DBWarrant", QV_CREATABLE(DBWarrant),
                QV_LAZY_MAPPER_MEMBERS(DBWarrant))

}  // namespace qv::warrants
