// DBQPfr: the end documents of a pension-fund master and their pack (sheaf)
// numbers, and the number of end forms per pack.

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "pfr/DBQPfr.h"
#include "pfr/mPfrQueries.h"
#include "platform/dao/Transaction.h"
#include "records/MapperSession.h"
#include "records/miDocument.h"
#include "siblings/records/QvRecord.h"

namespace qv::pfr {
using namespace mQvDaoDataBase;
using namespace mPfrQueries;

namespace {

// The document type whose masters number their packs apart from the rest.
constexpr int32_t kOwnNumberingDocType = 184;

// The packs (end documents) of a stream's masters in a year: the FROM and
// WHERE of the numbering statements. `groupCondition` (a condition on the
// master's template `te`) adds the template join; `exclude` a master.
struct SheafScope {
  double stream = 0;
  int32_t year = 0;
  double exclude = 0;
  std::string groupCondition;

  std::string Sql(const std::string& select, const std::string& last) const {
    std::string from =
        "(doc_registry AS m LEFT JOIN time_by_month AS t ON t.time_id = m.Time_ID) "
        "LEFT JOIN doc_registry AS s ON s.PfrMasterDocID = m.Document_ID";
    if (!groupCondition.empty())
      from = "(" + from + ") LEFT JOIN doc_templates AS te ON te.template_id = m.Template_ID";
    std::string where =
        "m.Taxpayer_ID = " + Number2DaoSql(stream) + " and t.the_Year = " + Number2DaoSql(year);
    if (!groupCondition.empty()) where += " and " + groupCondition;
    if (exclude != 0) where += " and  m.Document_ID <> " + Number2DaoSql(exclude);
    return select + " from " + from + " where " + where + (last.empty() ? "" : " and " + last);
  }
  bool Exists(int32_t aNumber) const {
    const std::string inner =
        Sql("select top 1 s.Instance_Number", "s.Instance_Number = " + Number2DaoSql(aNumber));
    return CLng(QvQueryValue("select count(*) from ( " + inner + " ) ")) > 0;
  }
  int32_t Max() const {
    const Variant v = QvQueryValue(Sql("select max (s.Instance_Number)", ""));
    return v.IsNull() ? 0 : CLng(v);
  }
};

SheafScope PeriodScope(double aAccStreamID, double aTimeID, double aExcludeMasterDocID) {
  SheafScope scope;
  scope.stream = aAccStreamID;
  scope.year = mQvCommonCalc::VarToLongDef(
      QvQueryValue("select the_year from time_by_month where time_id = " + Number2DaoSql(aTimeID)),
      0);
  scope.exclude = aExcludeMasterDocID;
  return scope;
}

// The numbering group of a master: its stream and year, and either the
// masters of its own document type or all the others.
SheafScope NumberingScope(double aMasterDocID, bool aExcludeThisDoc) {
  Variant stream, year, contoraType, docType;
  QvQuery4Values(
      "select d.taxpayer_id as AccStreamID, tm.the_year, t.ContoraType, t.doc_type_id "
      "from (doc_registry AS d LEFT JOIN time_by_month AS tm ON tm.time_id = d.time_id) "
      "LEFT JOIN doc_templates AS t ON t.template_id = d.template_id "
      "where d.document_id = " +
          Number2DaoSql(aMasterDocID),
      stream, year, contoraType, docType);
  const auto orZero = [](const Variant& v) { return v.IsNull() ? 0 : CLng(v); };
  SheafScope scope;
  scope.stream = stream.IsNull() ? 0 : CDbl(stream);
  scope.year = orZero(year);
  scope.exclude = aExcludeThisDoc ? aMasterDocID : 0;
  const bool own = orZero(docType) == kOwnNumberingDocType && orZero(contoraType) != 2;
  scope.groupCondition =
      std::string("te.doc_type_id ") + (own ? "= " : "<> ") + Number2DaoSql(kOwnNumberingDocType);
  return scope;
}

}  // namespace

CollectionPtr DBQPfr::GetPfrEndDocsByMasterDocID(double aMasterDocID, int32_t, int32_t) {
  return Guard(QV_HERE, [&]() -> CollectionPtr {
    if (aMasterDocID == 0) return std::make_shared<Collection>();
    return miDocument::DocumentsWhere(*records::MapperUserDatabase(),
                                      "PfrMasterDocID = " + Number2DaoSql(aMasterDocID));
  });
}

int32_t DBQPfr::CountPfrEndDocsInApprovedState(double aMasterDocID) {
  return Guard(QV_HERE, [&] {
    if (aMasterDocID == 0) return 0;
    return CLng(QvQueryValue("select count(*) AS v from Doc_Registry where PfrMasterDocID = " +
                             Number2DaoSql(aMasterDocID) + " and Status_Qv in (2, 3)"));
  });
}

void DBQPfr::DeletePfrEndDocuments(double aMasterDocID) {
  Guard(QV_HERE, [&] {
    if (aMasterDocID == 0) return;
    auto db = records::MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    CollectionPtr docs =
        miDocument::DocumentsWhere(*db, "PfrMasterDocID = " + Number2DaoSql(aMasterDocID));
    for (int32_t i = 1; i <= docs->Count(); ++i)
      std::static_pointer_cast<records::QvRecord>(docs->At(i).AsObject())->DeleteFromStore();
    tx.Commit();
  });
}

bool DBQPfr::IsMasterContainsEndDocs(double aMasterDocID) {
  return Guard(QV_HERE, [&] {
    return aMasterDocID != 0 && QvIsKeyExists(records::MapperUserDatabase(), "Doc_Registry",
                                              "PfrMaster", Variant(aMasterDocID));
  });
}

int32_t DBQPfr::GetPfrMasterStatus(double aMasterDocID) {
  return Guard(QV_HERE, [&] { return miDocument::IntGetPfrMasterStatus_Dao(aMasterDocID); });
}

int32_t DBQPfr::GetMinSheafNumberOfMaster(double aMasterDocID) {
  return Guard(QV_HERE, [&] {
    if (aMasterDocID == 0) return 0;
    const Variant v =
        QvQueryValue("select min(Instance_Number) from doc_registry where PfrMasterDocID = " +
                     Number2DaoSql(aMasterDocID) + " and Instance_Number > 0 ");
    return v.IsNull() ? 0 : CLng(v);
  });
}

bool DBQPfr::IsSheafWithNumberExistsInPeriodAndAccStream(int32_t aNumber, double aAccStreamID,
                                                         double aMasterDocTimeID,
                                                         double aExcludeMasterDocID) {
  return Guard(QV_HERE, [&] {
    return PeriodScope(aAccStreamID, aMasterDocTimeID, aExcludeMasterDocID).Exists(aNumber);
  });
}

int32_t DBQPfr::GetMaxSheafNumberInPeriodAndAccStream(double aAccStreamID, double aMasterDocTimeID,
                                                      double aExcludeMasterDocID) {
  return Guard(QV_HERE, [&] {
    return PeriodScope(aAccStreamID, aMasterDocTimeID, aExcludeMasterDocID).Max();
  });
}

int32_t DBQPfr::GetMaxSheafNumberForPfrNumbering(double aMasterDocID, bool aExcludeThisDoc) {
  return Guard(QV_HERE, [&] {
    return aMasterDocID == 0 ? 0 : NumberingScope(aMasterDocID, aExcludeThisDoc).Max();
  });
}

bool DBQPfr::IsSheafWithNumberExistsInPfrNumbering(int32_t aNumber, double aMasterDocID,
                                                   bool aExcludeThisDoc) {
  return Guard(QV_HERE, [&] {
    return aMasterDocID != 0 && NumberingScope(aMasterDocID, aExcludeThisDoc).Exists(aNumber);
  });
}

ado::RecordsetPtr DBQPfr::GetPfrEndFormOptions() {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(
        "select p.ID, p.PfrTag, p.Name, p.CountInSheaf AS DefCount, u.CountInSheaf AS UserCount "
        "from PfrDict_EndForms AS p LEFT JOIN UserPfrEndForms AS u ON u.PfrEndFormID = p.ID "
        "Order By p.OrderNum ");
  });
}

void DBQPfr::SetUserPfrEndFormOption(double aFormID, int32_t aCountInSheaf, Variant&) {
  Guard(QV_HERE, [&] {
    const std::string form = Number2DaoSql(aFormID), count = Number2DaoSql(aCountInSheaf);
    auto db = records::MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    const bool hasRow =
        CLng(QvQueryValue("select count(*) from UserPfrEndForms where PfrEndFormID = " + form,
                          Variant(), db)) > 0;
    if (!hasRow && aCountInSheaf != 0)
      QvExecuteSql("insert into UserPfrEndForms (PfrEndFormID, CountInSheaf) values (" + form +
                       ", " + count + ") ",
                   db);
    else if (hasRow && aCountInSheaf != 0)
      QvExecuteSql(
          "update UserPfrEndForms set CountInSheaf = " + count + " where PfrEndFormID = " + form,
          db);
    else if (hasRow)
      QvExecuteSql("delete from UserPfrEndForms where PfrEndFormID = " + form, db);
    tx.Commit();
  });
}

int32_t DBQPfr::GetPfrEndFormCountInSheaf(double aFormID) {
  return Guard(QV_HERE, [&] {
    Variant def, user;
    QvQuery2Values(
        "select p.CountInSheaf AS DefCount, u.CountInSheaf AS UserCount "
        "from PfrDict_EndForms AS p "
        "LEFT JOIN UserPfrEndForms AS u ON u.PfrEndFormID = p.ID "
        "where p.ID = " +

            Number2DaoSql(aFormID),
        def, user);
    const int32_t userCount = user.IsNull() ? 0 : CLng(user);
    return userCount >= 1 ? userCount : (def.IsNull() ? 0 : CLng(def));
  });
}

}  // namespace qv::pfr
