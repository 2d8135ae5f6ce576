#include "queries/DBQAccStream.h"

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "queries/mCommonLookups.h"
#include "queries/mQueryLists.h"
#include "queries/mSortDirection.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

QV_DEFINE_CLASS(DBQAccStream, "Qv_DBProvider.DBQAccStream", QV_CREATABLE(DBQAccStream),
                Method("GetPersonIDByAccStreamID(aAccStreamID)",
                       &DBQAccStream::GetPersonIDByAccStreamID),
                Method("HasAccStreams(aTaxpayerID)", &DBQAccStream::HasAccStreams),
                Method("GetAllAccStreams(aSortMode, aSortDirection)",
                       &DBQAccStream::GetAllAccStreams),
                Method("IsAnyAccStreamExists", &DBQAccStream::IsAnyAccStreamExists),
                Method("IsAnyAccStreamWithTypeExists(aAccStreamType)",
                       &DBQAccStream::IsAnyAccStreamWithTypeExists),
                Method("GetAllAliveAccStreams(aSortMode, aSortDirection)",
                       &DBQAccStream::GetAllAliveAccStreams),
                Method("GetAllAliveAccStreamsWithType(aAccStreamType, aSortMode, aSortDirection)",
                       &DBQAccStream::GetAllAliveAccStreamsWithType),
                Method("GetAccStreamsForSolver", &DBQAccStream::GetAccStreamsForSolver),
                Method("GetAccStreamsByPerson(aPersonID, aSortMode, aSortDirection)",
                       &DBQAccStream::GetAccStreamsByPerson),
                Method("GetAccStreamsByPersonAndType(aPersonID, aAccStreamType)",
                       &DBQAccStream::GetAccStreamsByPersonAndType),
                Method("HasDocuments(aAccStreamID)", &DBQAccStream::HasDocuments),
                Method("FindDuplicates(aTaxpayerID, aAccStreamType, aKpp, aTaxOffice1ID, "
                       "aTaxOffice2ID, aExcludeAccStreamID)",
                       &DBQAccStream::FindDuplicates),
                Method("GetAccStreamsByGiin(aGiin, aMaxCount)", &DBQAccStream::GetAccStreamsByGiin,
                       {Variant(int32_t{-1})}),
                Method("IsBanMoveAccStream(aAccStreamID)", &DBQAccStream::IsBanMoveAccStream),
                Method("GetAllOfrLicTypesList", &DBQAccStream::GetAllOfrLicTypesList))

namespace {

// Streams whose person is an accounted person or a branch.
constexpr std::string_view kAliveStreams =
    "select a.ID AS ID from AccStream AS a INNER JOIN "
    "( select PersonID as ID from AccPerson "
    "Union select ChildPersonID as ID "
    "from Branches ) as p ON p.ID = a.PersonID ";

// The tax offices from this identifier on are the user's own; only system
// offices take part in the second-office duplicate rule.
constexpr double kUserTaxOfficeStart = 1e9;

// The orders of the plain stream lists (no table alias).
std::string PlainOrder(const std::string& aSortMode) {
  if (aSortMode == "name") return " order by DisplayName {dir}, Kpp {dir}";
  if (aSortMode == "kpp") return " order by Kpp {dir}";
  if (aSortMode == "imns") return " order by TaxOfficeID {dir}, Kpp {dir}";
  return {};
}

// The orders of the alive-stream lists (alias a).
std::string AliveOrder(const std::string& aSortMode, bool aWithTypeModes) {
  if (aSortMode == "name") return " order by a.DisplayName {dir}, a.Kpp {dir}";
  if (aSortMode == "kpp") return " order by a.Kpp {dir}";
  if (aSortMode == "imns") return " order by a.TaxOfficeID {dir}, Kpp {dir}";
  if (!aWithTypeModes) return {};
  if (aSortMode == "type_kpp") return " order by a.AccStreamType {dir}, a.Kpp {dir}";
  if (aSortMode == "type_imns")
    return " order by a.AccStreamType {dir}, a.TaxOfficeID {dir}, Kpp {dir}";
  return {};
}

std::string TopClause(int32_t aMaxCount) {
  return aMaxCount > 0 ? "top " + Number2DaoSql(aMaxCount) + " " : std::string();
}

}  // namespace

double DBQAccStream::GetPersonIDByAccStreamID(double aAccStreamID) {
  return Guard(QV_HERE, [&] { return GetAccStreamPersonID(aAccStreamID); });
}

int32_t DBQAccStream::HasAccStreams(double aTaxpayerID) {
  return Guard(QV_HERE, [&] {
    if (aTaxpayerID == 0) return 0;
    return QvQueryExistence(
               "Select ID From AccStream Where PersonID = " + Number2DaoSql(aTaxpayerID) + ";")
               ? -1
               : 0;
  });
}

CollectionPtr DBQAccStream::GetAllAccStreams(const std::string& aSortMode, int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    return AccStreamsOf(
        ApplySortDirection("SELECT Id FROM AccStream" + PlainOrder(aSortMode), aSortDirection));
  });
}

bool DBQAccStream::IsAnyAccStreamExists() {
  return Guard(QV_HERE, [&] { return QvQueryExistence("select top 1 ID from AccStream"); });
}

bool DBQAccStream::IsAnyAccStreamWithTypeExists(int32_t aAccStreamType) {
  return Guard(QV_HERE, [&] {
    return QvQueryExistence("select top 1 ID from AccStream where AccStreamType = " +
                            Number2DaoSql(aAccStreamType));
  });
}

CollectionPtr DBQAccStream::GetAllAliveAccStreams(const std::string& aSortMode,
                                                  int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    return AccStreamsOf(ApplySortDirection(std::string(kAliveStreams) + AliveOrder(aSortMode, true),
                                           aSortDirection));
  });
}

CollectionPtr DBQAccStream::GetAllAliveAccStreamsWithType(int32_t aAccStreamType,
                                                          const std::string& aSortMode,
                                                          int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    return AccStreamsOf(ApplySortDirection(
        std::string(kAliveStreams) + "where a.AccStreamType = " + Number2DaoSql(aAccStreamType) +
            " " + AliveOrder(aSortMode, false),
        aSortDirection));
  });
}

ado::RecordsetPtr DBQAccStream::GetAccStreamsForSolver() {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(
        "select a.ID AS AccStreamID, a.PersonID AS PersonID, pp.Type AS Type, IIf (pp.Type=1,"
        " np.INN, lp.INN) AS inn, IIf (pp.Type=1, '', a.KPP) AS kpp, IIf (pp.Type=2,"
        " lp.LPCategory, 0) AS LPCategory, a.LastYear, a.LastMonth, a.AccStreamType,"
        " a.OfrForeignTaxCode AS Giin "
        "from (((AccStream AS a INNER JOIN ( select PersonID as ID "
        "from AccPerson Union select ChildPersonID as ID "
        "from Branches ) as p  ON p.ID = a.PersonID) "
        "LEFT JOIN Person AS pp ON pp.ID = a.PersonID) "
        "LEFT JOIN LegalPerson AS lp ON lp.id = pp.PersonRealId ) "
        "LEFT JOIN NaturalPerson AS np ON np.id = pp.PersonRealId ");
  });
}

CollectionPtr DBQAccStream::GetAccStreamsByPerson(double aPersonID, const std::string& aSortMode,
                                                  int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    return AccStreamsOf(ApplySortDirection("SELECT ID FROM AccStream Where PersonID = " +
                                               Number2DaoSql(aPersonID) + PlainOrder(aSortMode),
                                           aSortDirection));
  });
}

CollectionPtr DBQAccStream::GetAccStreamsByPersonAndType(double aPersonID, int32_t aAccStreamType) {
  return Guard(QV_HERE, [&] {
    return AccStreamsOf("select ID from AccStream where PersonID = " + Number2DaoSql(aPersonID) +
                        " and AccStreamType = " + Number2DaoSql(aAccStreamType) + " ");
  });
}

bool DBQAccStream::HasDocuments(double aAccStreamID) {
  return Guard(QV_HERE, [&] {
    if (aAccStreamID == 0) return false;
    return QvQueryExistence("Select Document_ID From Doc_Registry Where Taxpayer_ID = " +
                            Number2DaoSql(aAccStreamID));
  });
}

CollectionPtr DBQAccStream::FindDuplicates(double aTaxpayerID, int32_t aAccStreamType,
                                           const std::string& aKpp, double aTaxOffice1ID,
                                           double aTaxOffice2ID, double aExcludeAccStreamID) {
  return Guard(QV_HERE, [&] {
    std::string sql =
        "select a.ID from AccStream AS a where a.PersonID = " + Number2DaoSql(aTaxpayerID) +
        " and a.AccStreamType = " + Number2DaoSql(aAccStreamType) + " ";
    if (aTaxOffice2ID != 0 && aTaxOffice2ID < kUserTaxOfficeStart)
      sql += " and a.TaxOffice2ID = " + Number2DaoSql(aTaxOffice2ID) + " ";
    const std::string sameKpp = " and a.KPP = " + DaoQString(aKpp);
    switch (aAccStreamType) {
      case 1:
        sql += sameKpp + " and a.TaxOfficeID = " + Number2DaoSql(aTaxOffice1ID) + " ";
        break;
      case 2:
      case 3:
      case 4:
      case 5:
      case 6:
      case 7:
        sql += sameKpp + " ";
        if (aTaxOffice1ID != 0) sql += " and a.TaxOfficeID = " + Number2DaoSql(aTaxOffice1ID) + " ";
        break;
      case 12:
        sql += sameKpp;
        break;
      default:  // 8 to 11 and any other type: person, type and second office only
        break;
    }
    if (aExcludeAccStreamID != 0) sql += " and a.ID <> " + Number2DaoSql(aExcludeAccStreamID) + " ";
    return AccStreamsOf(sql);
  });
}

CollectionPtr DBQAccStream::GetAccStreamsByGiin(const std::string& aGiin, int32_t aMaxCount) {
  return Guard(QV_HERE, [&] {
    return AccStreamsOf("select " + TopClause(aMaxCount) +
                        " ID From AccStream where LCase (OfrForeignTaxCode) = LCase(" +
                        DaoQString(aGiin) + ") and AccStreamType = 9 ");
  });
}

bool DBQAccStream::IsBanMoveAccStream(double aAccStreamID) {
  return Guard(QV_HERE, [&] {
    return QvQueryExistence("Select Document_ID From Doc_Registry Where (Taxpayer_ID = " +
                            Number2DaoSql(aAccStreamID) + ") AND (Template_ID <> 607)");
  });
}

ado::RecordsetPtr DBQAccStream::GetAllOfrLicTypesList() {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA("select ID, Code, ShortName, FullName from DictOfrLicType;");
  });
}

}  // namespace qv::queries
