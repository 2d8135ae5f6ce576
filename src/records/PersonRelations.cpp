#include "records/PersonRelations.h"

#include <memory>
#include <string>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "records/MapperSession.h"

namespace qv::records {

namespace {
constexpr std::string_view kModule = "PersonRelations";
using namespace mQvDaoDataBase;

// True when the statement, a point select on one key, gives a row. Its text
// is prepared once per connection; a table recordset opened, indexed, seeked
// and closed per call cost as much again as the lookup (a person's lazy
// read asks both relations). A server database runs `serverSql`, the same
// select in Jet SQL whose one literal is the key's parameter.
bool KeyFound(dao::Database& db, std::string_view sql, std::string_view serverSql, double key) {
  if (db.IsServer()) {
    std::unique_ptr<jet::EngineStatement> st = db.ServerEngine().Prepare(serverSql);
    st->Bind(1, Variant(Number2DaoValue(key)));
    return st->Step();
  }
  jet::Statement st = db.Connection().PrepareNative(sql);
  st.Bind(1, Variant(Number2DaoValue(key)));
  return st.Step();
}
}  // namespace

bool IsBranch(dao::Database& db, double aPersonID) {
  return Guard(QV_HERE, [&] {
    return aPersonID != 0 &&
           KeyFound(db, "SELECT 1 FROM Branches WHERE ChildPersonID = ?",
                    "SELECT ChildPersonID FROM Branches WHERE ChildPersonID = 0.5", aPersonID);
  });
}

PersonMarks ReadPersonMarks(dao::Database& db, double aPersonID) {
  return PersonMarksReader(db, aPersonID).Read();
}

PersonMarksReader::PersonMarksReader(dao::Database& db, double aPersonID)
    : db_(db), id_(aPersonID) {
  if (aPersonID == 0 || !db.IsServer()) return;
  st_ = Guard(QV_HERE, [&] {
    // A row marked 1 for each branch relation, 2 for each accounted entry.
    const std::string key = Number2DaoSql(aPersonID);
    std::unique_ptr<jet::EngineStatement> st = db.ServerEngine().Prepare(
        "SELECT 1 AS Mark FROM Branches WHERE ChildPersonID = " + key +
        " UNION ALL SELECT 2 AS Mark FROM AccPerson WHERE PersonID = " + key);
    st->StartWithNextSelect();
    return st;
  });
}

PersonMarksReader::~PersonMarksReader() = default;

PersonMarks PersonMarksReader::Read() {
  if (id_ == 0) return {};
  if (!st_) return {IsBranch(db_, id_), IsAccPerson(db_, id_)};
  return Guard(QV_HERE, [&] {
    PersonMarks marks;
    while (st_->Step()) (CLng(st_->Value(0)) == 1 ? marks.branch : marks.accounted) = true;
    return marks;
  });
}

bool IsAccPerson(dao::Database& db, double aPersonID) {
  return Guard(QV_HERE, [&] {
    return aPersonID != 0 &&
           KeyFound(db, "SELECT 1 FROM AccPerson WHERE PersonID = ?",
                    "SELECT PersonID FROM AccPerson WHERE PersonID = 0.5", aPersonID);
  });
}

void RemoveBranch(dao::Database& db, double aBranchOrgID) {
  Guard(QV_HERE, [&] {
    if (aBranchOrgID == 0) return;
    QvExecuteSql("Delete From Branches Where ChildPersonID = " + Number2DaoSql(aBranchOrgID),
                 SharedDatabase(db));
  });
}

void RemoveAccPerson(dao::Database& db, double aPersonID) {
  Guard(QV_HERE, [&] {
    if (aPersonID == 0) return;
    QvExecuteSql("Delete From AccPerson Where PersonID = " + Number2DaoSql(aPersonID),
                 SharedDatabase(db));
  });
}

}  // namespace qv::records
