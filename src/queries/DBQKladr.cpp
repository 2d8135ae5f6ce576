#include "queries/DBQKladr.h"

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/automation/VbaText.h"
#include "queries/mQueryLists.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

QV_DEFINE_CLASS(DBQKladr, "Qv_DBProvider.DBQKladr", QV_CREATABLE(DBQKladr),
                Method("IsKladrPresents", &DBQKladr::IsKladrPresents),
                Method("GetKladrObjects(aParentID, aLevel)", &DBQKladr::GetKladrObjects),
                Method("GetKladrObjectByIDList(aIDList)", &DBQKladr::GetKladrObjectByIDList),
                Method("IsKladrObjectsExist(aParentID, aLevel)", &DBQKladr::IsKladrObjectsExist),
                Method("FindKladrObjectByName(aParentID, aLevel, aName, aNameIncludesAbbrev)",
                       &DBQKladr::FindKladrObjectByName),
                Method("FindKladrObjectByName15(aParentID, aLevel, aNameNoAb, aAbbrev)",
                       &DBQKladr::FindKladrObjectByName15),
                Method("FindKladrObjectsByNameStart(aParentID, aLevel, aNameStart, aMaxCount)",
                       &DBQKladr::FindKladrObjectsByNameStart, {Variant(int32_t{0})}),
                Method("RecognizeCountry(aString)", &DBQKladr::RecognizeCountry),
                Method("RecognizeRegion(aString)", &DBQKladr::RecognizeRegion))

namespace {

constexpr std::string_view kObjectColumns =
    "a.ObjName As NameNoAb, b.ShortName As Abbrev, a.PostIndex as PostIndex "
    "From KladrObjects As a left join KladrAbbrevs as b on a.AbbrevID = b.ID ";

std::string UnderParent(int32_t aParentID, int32_t aLevel) {
  return "Where a.ParentID = " + Number2DaoSql(aParentID) +
         " and a.Level = " + Number2DaoSql(aLevel) + " ";
}

// The first ID the classifier statement gives, 0 when none.
double FirstId(const std::string& sql, const mQvDaoDataBase::DatabasePtr& db) {
  DaoRecordsetPtr rs = QvQuerySqlStatic(sql, db);
  const double id = rs->IsEOF() ? 0 : GetDaoDouble(*rs, "ID");
  rs->Close();
  return id;
}

}  // namespace

bool DBQKladr::IsKladrPresents() {
  return Guard(QV_HERE, [] { return miDataBase::IsKladrFilePresents(); });
}

ado::RecordsetPtr DBQKladr::GetKladrObjects(int32_t aParentID, int32_t aLevel) {
  return Guard(QV_HERE, [&] {
    const bool regions = aLevel == 1;
    return QvQuerySqlA(
        "select a.ID as ID, a.ObjName + ' ' + b.ShortName as Name, " +
            std::string(regions ? "CStr (a.ID) + ' ' + a.ObjName + ' ' + b.ShortName as SeekName, "
                                : "") +
            std::string(kObjectColumns) + UnderParent(aParentID, aLevel) +
            (regions ? "order by a.ID " : "order by a.ObjName "),
        miDataBase::GetKladrDataBase());
  });
}

ado::RecordsetPtr DBQKladr::GetKladrObjectByIDList(const std::string& aIDList) {
  return Guard(QV_HERE, [&] {
    // No identifiers select no object (the columns still come back).
    const std::string where = aIDList.empty()
                                  ? "Where 1 = 0 "
                                  : "Where a.ID in (" + IdList2DaoSql(aIDList, "aIDList") + ") ";
    return QvQuerySqlA("select a.ID as ID, a.ObjName + ' ' + b.ShortName as Name, " +
                           std::string(kObjectColumns) + where,
                       miDataBase::GetKladrDataBase());
  });
}

bool DBQKladr::IsKladrObjectsExist(int32_t aParentID, int32_t aLevel) {
  return Guard(QV_HERE, [&] {
    return CLng(QvQueryValue("select count (*) As V From (select top 1 ID From KladrObjects As a " +
                                 UnderParent(aParentID, aLevel) + ") ",
                             Variant(), miDataBase::GetKladrDataBase())) > 0;
  });
}

double DBQKladr::FindKladrObjectByName(int32_t aParentID, int32_t aLevel, const std::string& aName,
                                       bool aNameIncludesAbbrev) {
  return Guard(QV_HERE, [&] {
    const std::string name = DaoQString(LCase(aName));
    return FirstId(aNameIncludesAbbrev
                       ? "select top 1 a.ID as ID From KladrObjects As a "
                         "left join KladrAbbrevs as b on a.AbbrevID = b.ID " +
                             UnderParent(aParentID, aLevel) +
                             "and LCase (a.ObjName + ' ' + b.ShortName) = " + name + " "
                       : "select top 1 a.ID as ID From KladrObjects As a " +
                             UnderParent(aParentID, aLevel) + "and LCase (a.ObjName) = " + name +
                             " ",
                   miDataBase::GetKladrDataBase());
  });
}

double DBQKladr::FindKladrObjectByName15(int32_t aParentID, int32_t aLevel,
                                         const std::string& aNameNoAb, const std::string& aAbbrev) {
  return Guard(QV_HERE, [&] {
    return FirstId(
        "select top 1 a.ID as ID From KladrObjects As a "
        "left join KladrAbbrevs as b on a.AbbrevID = b.ID " +

            UnderParent(aParentID, aLevel) +
            "and LCase (a.ObjName) = " + DaoQString(LCase(aNameNoAb)) +
            " and LCase (b.ShortName) = " + DaoQString(LCase(aAbbrev)) + " ",
        miDataBase::GetKladrDataBase());
  });
}

std::string KladrNameStartSql(int32_t aParentID, int32_t aLevel, const std::string& aNameStart,
                              int32_t aMaxCount) {
  return "select " + (aMaxCount > 0 ? "top " + Number2DaoSql(aMaxCount) + " " : std::string()) +
         "a.ID as ID, a.ObjName + ' ' + b.ShortName as Name, " + std::string(kObjectColumns) +
         UnderParent(aParentID, aLevel) + "and a.ObjName like " +
         DaoQString(LikeLiteral(aNameStart) + "*") + " order by a.ObjName, a.ID";
}

ado::RecordsetPtr DBQKladr::FindKladrObjectsByNameStart(int32_t aParentID, int32_t aLevel,
                                                        const std::string& aNameStart,
                                                        int32_t aMaxCount) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(KladrNameStartSql(aParentID, aLevel, aNameStart, aMaxCount),
                       miDataBase::GetKladrDataBase());
  });
}

double DBQKladr::RecognizeCountry(const std::string& aString) {
  return Guard(QV_HERE, [&] {
    const std::string text = Trim(aString);
    if (text.empty()) return 0.0;
    auto db = miDataBase::GetUserDataBase();
    if (Len(text) <= 3) {
      const std::string code = std::string(3 - Len(text), '0') + text;
      if (const double id = FirstId("select ID from Country where Code=" + DaoQString(code), db))
        return id;
    }
    const std::string upper = DaoQString(UCase(text));
    if (const double id = FirstId("select * from Country where UCase(ShortName)=" + upper, db))
      return id;
    return FirstId("select * from Country where UCase(FullName)=" + upper, db);
  });
}

double DBQKladr::RecognizeRegion(const std::string& aString) {
  return Guard(QV_HERE, [&] {
    return FirstId("select * from Region where UCase (NameNoAb + ' ' + AbName) = " +
                       DaoQString(UCase(aString)),
                   miDataBase::GetUserDataBase());
  });
}

}  // namespace qv::queries
