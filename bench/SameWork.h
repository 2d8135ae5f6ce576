#pragma once
// What the two sides of a pair run, named once for every benchmark program
// that runs it: the cells of a document, the columns of a legal person's detail row, and the Jet
// statements GetBlanksByPeriod runs for a stream and a period.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "queries/BlankSql.h"
#include "queries/mCommonLookups.h"

namespace benchwork {

// The key of a document's k-th cell (section, line and column as a
// declaration's keys are) and its value in the save numbered `round`.
inline std::string Key(int k) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d00%03d000%02d", 2 + k / 400, k % 100 * 10, 3 + k / 100 % 4);
  return buf;
}
inline std::string Value(int k, int round) {
  return std::to_string(k * 7919 % 1000003 + round);
}

// The legal person's detail columns, base then lazy, as the mapper maps them
// (the identifiers of sub-records included).
inline constexpr const char* kLegalPersonBase[] = {"INN",      "KPP",        "ShortName",
                                                   "FullName", "LPCategory", "Archival"};
inline constexpr const char* kLegalPersonLazy[] = {
    "PFRNumber",      "IsSameAddress",  "CtrlAddressID",
    "RegAddressID",   "OGRN",           "Category",
    "OCPO",           "OCOGU",          "OCATO",
    "OCTMO",          "SectorName",     "SectorOCONH",
    "ActivityOCDP",   "ActivityName",   "ActivityOCVED",
    "EstateFormName", "EstateFormOCFS", "CtrlOrganOCPO",
    "LegalFormName",  "LegalFormOCOPF", "InnRegCertificateID",
    "BankRegNumber",  "BankBIC",        "BankMFO",
    "BankReceiver",   "Phone",          "Fax",
    "EMail",          "FPRegCountryID", "FPPermanentCountryID",
    "FPRegAddrID",    "FPName",         "FPINN",
    "EGRSSDCode",     "BudgMasterName", "BudgMasterPPP",
    "KGRKORegNum",    "KGRKOOrdNum",    "FSSRegNumber",
    "FssAddCode"};

// The Jet statements GetBlanksByPeriod(stream, period) runs on a folder
// whose stream 1 is a legal person's: the owner, its category, its branch
// mark, then the list.
inline std::vector<std::string> BlanksByPeriodJet(double stream, double period) {
  int32_t category = 0, type = 0;
  bool branch = false;
  qv::queries::GetAccStreamOwnerInfo(stream, category, type, branch);
  return {std::string("select top 1 p.Type, p.PersonRealID, a.PersonID, a.AccStreamType from "
                      "AccStream as a left join Person as p on a.PersonID=p.ID where a.ID=1"),
          std::string("select lp.LPCategory from LegalPerson lp where lp.ID=1"),
          std::string("select ChildPersonID from Branches where ChildPersonID = 1"),
          qv::queries::blanksql::BlanksByPeriodSql(stream, period, category, type, branch,
                                                   std::nullopt, "")};
}

}  // namespace benchwork
