#include "queries/DictQueries.h"

#include <algorithm>
#include <set>
#include <sstream>

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "core/mQvDataBase.h"
#include "core/miDataBase.h"
#include "platform/automation/VbaText.h"
#include "queries/mCommonLookups.h"
#include "queries/mPersonnelLists.h"
#include "queries/mQueryLists.h"

namespace qv::queries {

using namespace mQvDaoDataBase;

QV_DEFINE_CLASS(
    DictQueries, "Qv_DBProvider.DictQueries", QV_CREATABLE(DictQueries),
    Method("GetCountry(aID, aFlags)", &DictQueries::GetCountry),
    Method("GetRegion(aID)", &DictQueries::GetRegion),
    Method("GetCertificateType(aID, aGroup)", &DictQueries::GetCertificateType),
    Method("GetTaxOffice(aID, aContoraType)", &DictQueries::GetTaxOffice),
    Method("GetTaxOfficeIDByCode(aCode)", &DictQueries::GetTaxOfficeIDByCode),
    Method("GetPersonnelPost(aID)", &DictQueries::GetPersonnelPost),
    Method("GetNsiListClass(aID)", &DictQueries::GetNsiListClass),
    Method("GetPersonnelOfTaxpayer(aJobPlaceID, aExcludeIDs, aID, aAllowLegalAgents)",
           &DictQueries::GetPersonnelOfTaxpayer),
    Method("GetPersonsAllowedForSigners(aJobPlaceID, aID, aAllowLegalAgents)",
           &DictQueries::GetPersonsAllowedForSigners),
    Method("GetNsiOKOPF(aID)", &DictQueries::GetNsiOKOPF),
    Method("GetNsiOKFS(aID)", &DictQueries::GetNsiOKFS),
    Method("GetNsiOKVED(aID)", &DictQueries::GetNsiOKVED),
    Method("GetNsiOKATO(aID, aOrder)", &DictQueries::GetNsiOKATO, {Variant("")}),
    Method("FindOkatoID(aCode)", &DictQueries::FindOkatoID),
    Method("FindOkatoByID(aID)", &DictQueries::FindOkatoByID),
    Method("GetAllPotentialSenders(aJobPlaceID, aID)", &DictQueries::GetAllPotentialSenders),
    Method("GetStdProfiles(aID)", &DictQueries::GetStdProfiles),
    Method("GetIdentityTypeByPfrCode(aPfrCode)", &DictQueries::GetIdentityTypeByPfrCode),
    Method("GetIdentityTypeByIdentityCode(aCode)", &DictQueries::GetIdentityTypeByIdentityCode),
    Method("GetWarPermissions", &DictQueries::GetWarPermissions),
    Method("GetOfrDeclarantType(aID)", &DictQueries::GetOfrDeclarantType),
    Method("GetIdentityTypeByTndflCode(aCode)", &DictQueries::GetIdentityTypeByTndflCode),
    Method("GetOfrLicType(aID)", &DictQueries::GetOfrLicType))

namespace {

// The OKATO classifier: its own file when there is one, else the copy in
// the main database.
DatabasePtr OkatoDataBase() {
  return miDataBase::IsOkatoFilePresents() ? miDataBase::GetOkatoDataBase()
                                           : miDataBase::GetUserDataBase();
}

// The OKATO list as callers have always written it, with "," between the
// identifiers; ";" is taken as well.
std::string OkatoIdList(const std::string& aID) {
  return IdList2DaoSql(aID, "GetNsiOKATO", ",");
}

// The OKATO order: the result's columns, each optionally followed by
// "asc" or "desc", separated by ","; anything else is error 5.
std::string OkatoOrder(const std::string& aOrder) {
  static const std::set<std::string> kColumns = {"id", "code", "name"};
  std::string order;
  size_t from = 0;
  for (;;) {
    const size_t comma = std::min(aOrder.find(',', from), aOrder.size());
    std::istringstream item(aOrder.substr(from, comma - from));
    std::string column, direction, extra;
    item >> column >> direction >> extra;
    const std::string dir = LCase(direction);
    if (!kColumns.count(LCase(column)) || !extra.empty() ||
        !(dir.empty() || dir == "asc" || dir == "desc"))
      ThrowVb(vberr::kInvalidProcedureCall,
              "GetNsiOKATO: the order is the columns ID, Code, Name, each with asc or desc, "
              "separated by \",\": \"" +
                  Left(aOrder, 60) + "\"");
    order += (order.empty() ? "" : ", ") + column + (dir.empty() ? "" : " " + dir);
    if (comma == aOrder.size()) return order;
    from = comma + 1;
  }
}

// A one- or no-character code padded with "0" on the left to two characters.
std::string PadCode(const std::string& code) {
  return Len(code) < 2 ? Right("00" + code, 2) : code;
}

}  // namespace

ado::RecordsetPtr DictQueries::GetCountry(const std::string& aID, int32_t aFlags) {
  return Guard(QV_HERE, [&] {
    std::string sql = "select ID, Alfa2, Alfa3, Code, ShortName, FullName, OrderNum from Country ";
    if (!aID.empty())
      sql += "where ID in (" + IdList2DaoSql(aID, "GetCountry", ", ") + ") ";
    else if (aFlags & 1)
      sql += "where ID<>179 ";
    return QvQuerySqlA(sql + " order by OrderNum desc, ShortName ");
  });
}

ado::RecordsetPtr DictQueries::GetRegion(const std::string& aID) {
  return Guard(QV_HERE, [&] {
    return GetDictQueryA("Region", aID, "", "code,name", "OrderNum desc, Name", "Id", "");
  });
}

ado::RecordsetPtr DictQueries::GetCertificateType(const std::string& aID, double& aGroup) {
  return Guard(QV_HERE, [&] {
    std::string sql = "select * from CertificateType ";
    if (!aID.empty())
      return QvQuerySqlA(sql + "where ID in (" + IdList2DaoSql(aID, "GetCertificateType", ", ") +
                         ") ");
    if (aGroup < 0) {
      const double codes = -aGroup;
      if (codes == 1)
        sql += "where PfrCode <> '' ";
      else if (codes == 2)
        sql += "where TNdflCode <> '' ";
      else if (codes == 3)
        sql += "where (PfrCode <> '') or (TNdflCode <> '') ";
    } else {
      sql += "where GroupID = " + Number2DaoSql(aGroup) + " ";
    }
    return QvQuerySqlA(sql + "order by OrderNum desc, ID ");
  });
}

ado::RecordsetPtr DictQueries::GetTaxOffice(const std::string& aID, int32_t aContoraType) {
  return Guard(QV_HERE, [&] {
    std::string filter;
    if (aContoraType != 0) {
      filter = "ContoraType = " + Number2DaoSql(aContoraType) + " ";
      // RegType is a text column holding the registration kind's number.
      if (aContoraType == 7) filter += " and CLng(RegType) between 501 and 599 ";
    }
    return GetDictQueryA("TaxOffice", aID, filter, "code,ShortName,ContoraType",
                         "showorder desc, code", "Id", "");
  });
}

double DictQueries::GetTaxOfficeIDByCode(const std::string& aCode) {
  return Guard(QV_HERE, [&] {
    return mQvCommonCalc::VarToDoubleDef(
        QvQueryValueSafe("select top 1 ID from TaxOffice where Code=" + DaoQString(aCode),
                         Variant(0.0)),
        0);
  });
}

ado::RecordsetPtr DictQueries::GetPersonnelPost(const std::string& aID) {
  return Guard(QV_HERE,
               [&] { return GetDictQueryA("Post", aID, "", "ShortName,FullName", "", "Id", ""); });
}

ado::RecordsetPtr DictQueries::GetNsiListClass(const std::string& aID) {
  return Guard(QV_HERE, [&] {
    return GetDictQueryA("NSI_LIST_CLASS", aID, "system_id>0", "class_name", "", "SYSTEM_ID", "");
  });
}

ado::RecordsetPtr DictQueries::GetPersonnelOfTaxpayer(double aJobPlaceID,
                                                      const std::string& aExcludeIDs,
                                                      const std::string& aID,
                                                      bool aAllowLegalAgents) {
  return Guard(QV_HERE, [&] {
    return PersonnelOfTaxpayer(aJobPlaceID, aExcludeIDs, aID, aAllowLegalAgents);
  });
}

ado::RecordsetPtr DictQueries::GetPersonsAllowedForSigners(double aJobPlaceID,
                                                           const std::string& aID,
                                                           bool aAllowLegalAgents) {
  return Guard(QV_HERE,
               [&] { return PersonsAllowedForSigners(aJobPlaceID, aID, aAllowLegalAgents); });
}

ado::RecordsetPtr DictQueries::GetNsiOKOPF(const std::string& aID) {
  return Guard(QV_HERE,
               [&] { return GetDictQueryA("NSI_OKOPF", aID, "", "code,sole_name", "", "Id", ""); });
}

ado::RecordsetPtr DictQueries::GetNsiOKFS(const std::string& aID) {
  return Guard(QV_HERE,
               [&] { return GetDictQueryA("NSI_OKFS", aID, "", "code,name", "", "Id", ""); });
}

ado::RecordsetPtr DictQueries::GetNsiOKVED(const std::string& aID) {
  return Guard(QV_HERE, [&] {
    return GetDictQueryA("NSI_OKVED", aID, "code<>\"\"", "@code + '|' + Left(name, 240)", "code",
                         "OKVED_ID", "");
  });
}

ado::RecordsetPtr DictQueries::GetNsiOKATO(const std::string& aID, const std::string& aOrder) {
  return Guard(QV_HERE, [&] {
    std::string sql = "Select ID, Code, Name From NSI_OKATO";
    if (!aID.empty()) sql += " where ID in (" + OkatoIdList(aID) + ")";
    if (!aOrder.empty()) sql += " order by " + OkatoOrder(aOrder);
    return QvQuerySqlA(sql, OkatoDataBase());
  });
}

double DictQueries::FindOkatoID(const std::string& aCode) {
  return Guard(QV_HERE, [&] {
    const double id = mQvCommonCalc::VarToDoubleDef(
        QvQueryValueSafe("select max (id) as V from nsi_okato where code=" + DaoQString(aCode),
                         Variant(-1.0), OkatoDataBase()),
        -1);
    // 0 is no identifier of the classifier.
    return id == 0 ? -1.0 : id;
  });
}

ado::RecordsetPtr DictQueries::FindOkatoByID(double aID) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA("select code from nsi_okato where id=" + Number2DaoSql(aID),
                       OkatoDataBase());
  });
}

ado::RecordsetPtr DictQueries::GetAllPotentialSenders(double aJobPlaceID, const std::string& aID) {
  return Guard(QV_HERE, [&] {
    std::string sql =
        "Select * from "
        "( select p.ID AS PersonID, p.Type AS PersonType, iif (p.Type = 2, lp.ShortName,"
        " Trim (np.SurName + ' ' + np.Name + ' ' + np.Patronymic)) AS Name, iif (p.Type = 2,"
        " lp.INN, np.INN) AS INN, iif (p.Type = 2, lp.KPP, '') AS KPP "
        "From ( Person As p "
        "LEFT JOIN LegalPerson AS lp ON p.PersonRealID = lp.ID) "
        "LEFT JOIN NaturalPerson AS np ON p.PersonRealID = np.ID "
        "Where p.ID IN (Select w.WorkerID From Personnel AS w ";
    if (aJobPlaceID != 0) sql += "Where w.JobPlaceID = " + Number2DaoSql(aJobPlaceID);
    sql += ") ) ";
    if (!aID.empty())
      sql += "Where PersonID in (" + IdList2DaoSql(aID, "GetAllPotentialSenders", ",") + ") ";
    return QvQuerySqlA(sql + "Order By PersonType Desc, Name Asc ");
  });
}

ado::RecordsetPtr DictQueries::GetStdProfiles(const std::string& aID) {
  return Guard(QV_HERE, [&] {
    const std::string where =
        aID.empty() ? "" : " where ID in (" + IdList2DaoSql(aID, "GetStdProfiles", ",") + ") ";
    return QvQuerySqlA(
        "select * from "
        "( select ID, Name, 'Встр.' As StorageName, 1 As StorageType "
        "from DictProfiles " +
        where +
        "Union All select ID, Name, 'Польз.' As StorageName, 2 As StorageType from UserProfiles " +
        where + ") order by Name, StorageType ");
  });
}

double DictQueries::GetIdentityTypeByPfrCode(const std::string& aPfrCode) {
  return Guard(QV_HERE, [&] {
    return mQvCommonCalc::VarToDoubleDef(
        QvQueryFirstValueSafe(
            "Select ID From CertificateType Where LCase (PfrCode) = " + DaoQString(LCase(aPfrCode)),
            Variant(0.0)),
        0);
  });
}

double DictQueries::GetIdentityTypeByIdentityCode(const std::string& aCode) {
  return Guard(QV_HERE, [&] {
    if (aCode.empty()) return 0.0;
    const std::string code = PadCode(aCode);
    // Type 91 (another document) is known to every caller without a row.
    if (code == "91") return 91.0;
    return mQvCommonCalc::VarToDoubleDef(
        QvQueryFirstValueSafe("Select ID From CertificateType Where Code = " + DaoQString(code),
                              Variant(0.0)),
        0);
  });
}

ado::RecordsetPtr DictQueries::GetWarPermissions() {
  return Guard(QV_HERE, [] { return QvQuerySqlA("select * from WarDict_Permissions"); });
}

ado::RecordsetPtr DictQueries::GetOfrDeclarantType(const std::string& aID) {
  return Guard(QV_HERE, [&] {
    return GetDictQueryA("OfrDeclarantTypes", aID, "", "code,thename", "code", "Id", "");
  });
}

double DictQueries::GetIdentityTypeByTndflCode(const std::string& aCode) {
  return Guard(QV_HERE, [&] {
    if (aCode.empty()) return 0.0;
    return mQvCommonCalc::VarToDoubleDef(
        QvQueryFirstValueSafe(
            "Select ID From CertificateType Where TndflCode = " + DaoQString(PadCode(aCode)),
            Variant(0.0)),
        0);
  });
}

ado::RecordsetPtr DictQueries::GetOfrLicType(const std::string& aID) {
  return Guard(QV_HERE, [&] {
    return GetDictQueryA("DictOfrLicType", aID, "", "code,shortname,fullname", "code", "Id",
                         "(Code + ' - ' + ShortName) AS DisplayName");
  });
}

}  // namespace qv::queries
