#include "queries/mPersonnelLists.h"

#include <string_view>
#include <vector>

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/ado/AdoConstants.h"
#include "platform/automation/VbaText.h"
#include "queries/mActiveWarrantTitle.h"
#include "queries/mCommonLookups.h"
#include "records/PersonRelations.h"

namespace qv::queries {

using namespace mQvDaoDataBase;

namespace {

constexpr std::string_view kModule = "mPersonnelLists";
constexpr int32_t kTextLength = 250;
constexpr double kNoJobPlace = -1;

// The select list and joins shared by both halves of the personnel
// statement (the part after "select ").
constexpr std::string_view kPersonnelColumns =
    "pl.id As PersonnelID, pr.ID AS PersonID, pr.type AS person_type, iif (pr.type=1,"
    " np.Surname + ' ' + np.Name + ' ' + np.Patronymic, lp.FullName) As Fio,"
    " iif (pr.type=1, pl.PostName, '(организация - представитель)') As PostName "
    "From ((Personnel As pl "
    "LEFT JOIN Person As pr ON pl.WorkerID = pr.ID) "
    "LEFT JOIN NaturalPerson As np ON pr.PersonRealId = np.ID) "
    "LEFT JOIN LegalPerson As lp ON pr.PersonRealId = lp.ID ";

constexpr std::string_view kPersonFio =
    "pr.type AS person_type, iif (pr.type=1,"
    " np.Surname + ' ' + np.Name + ' ' + np.Patronymic, lp.FullName) As Fio "
    "from ";

// The parent organisation of a branch job place; 0 for none.
double ParentJobPlace(double aJobPlaceID) {
  if (aJobPlaceID == kNoJobPlace || !records::IsBranch(*miDataBase::GetUserDataBase(), aJobPlaceID))
    return 0;
  return GetParentOfBranch(aJobPlaceID);
}

std::string TextCell(const dao::Recordset& rs, std::string_view field) {
  return Left(GetDaoString(rs, field), kTextLength);
}

struct OutField {
  const char* name;
  int32_t type;
  int32_t size;
};

ado::RecordsetPtr NewResult(std::initializer_list<OutField> fields) {
  auto rs = std::make_shared<ado::Recordset>();
  rs->SetCursorLocation(ado::adUseClient);
  for (const OutField& f : fields) rs->AppendField(f.name, f.type, f.size, ado::adFldIsNullable);
  rs->Open();
  return rs;
}

// Copies the statement's rows into `result`: the numeric fields as they are,
// the text fields as texts, and WarrantName from the person's warrants.
ado::RecordsetPtr FillRows(const std::string& sql, ado::RecordsetPtr result,
                           std::initializer_list<const char*> numbers,
                           std::initializer_list<const char*> texts, double aJobPlaceID,
                           double parent) {
  DaoRecordsetPtr src = QvQuerySql(sql);
  for (DaoSafeMoveFirst(*src); !src->IsEOF(); src->MoveNext()) {
    std::vector<Variant> row;
    row.reserve(numbers.size() + texts.size() + 1);
    for (const char* f : numbers) row.push_back(src->FieldValue(f));
    for (const char* f : texts) row.emplace_back(TextCell(*src, f));
    const double person = mQvCommonCalc::VarToDoubleDef(src->FieldValue("PersonID"), 0);
    row.emplace_back(WarrantNamesOfPerson(person, aJobPlaceID, parent));
    result->AppendRow(std::move(row));
  }
  src->Close();
  return result;
}

// A title without its leading "Доверенность " (any case).
std::string WithoutWarrantWord(const std::string& title) {
  static const std::string kWord = "доверенность ";
  const int32_t n = Len(kWord);
  return LCase(Left(title, n)) == kWord ? Mid(title, n + 1) : title;
}

}  // namespace

std::string WarrantNamesOfPerson(double aPersonID, double aJobPlaceID, double aParentJobPlaceID) {
  return Guard(QV_HERE, [&] {
    const std::string person = Number2DaoSql(aPersonID);
    std::string sql;
    if (aJobPlaceID == kNoJobPlace) {
      sql = "select pl.ID AS ID from personnel as pl where pl.WorkerID = " + person + " ";
    } else {
      sql = "select pl.ID AS ID from personnel as pl where pl.JobPlaceID = " +
            Number2DaoSql(aJobPlaceID) + " and pl.WorkerID = " + person + " ";
      if (aParentJobPlaceID != 0)
        sql += "union all select pl2.ID as ID from personnel as pl2 where pl2.JobPlaceID = " +
               Number2DaoSql(aParentJobPlaceID) + " and pl2.WorkerID = " + person +
               " and pl2.ShowInBranches = 1 ";
    }
    std::string names;
    DaoRecordsetPtr rs = QvQuerySql(sql);
    for (DaoSafeMoveFirst(*rs); !rs->IsEOF(); rs->MoveNext()) {
      const auto title = ActiveWarrantTitle(mQvCommonCalc::VarToDoubleDef(rs->FieldValue(0), 0));
      if (!title) continue;
      if (!names.empty()) names += "; ";
      names += WithoutWarrantWord(*title);
    }
    rs->Close();
    return Left(names, kTextLength);
  });
}

ado::RecordsetPtr PersonnelOfTaxpayer(double aJobPlaceID, const std::string& aExcludeIDs,
                                      const std::string& aID, bool aAllowLegalAgents) {
  return Guard(QV_HERE, [&] {
    const std::string select = "select " + std::string(kPersonnelColumns);
    std::string sql;
    double parent = 0;
    if (!aID.empty()) {
      sql = select + "Where pl.ID in (" + IdList2DaoSql(aID, "GetPersonnelOfTaxpayer", ",") + ") ";
    } else {
      const std::string excluded =
          aExcludeIDs.empty() ? "" : IdList2DaoSql(aExcludeIDs, "GetPersonnelOfTaxpayer", ",");
      parent = ParentJobPlace(aJobPlaceID);
      std::vector<std::string> conditions;
      if (aJobPlaceID != kNoJobPlace)
        conditions.push_back("pl.JobPlaceID = " + Number2DaoSql(aJobPlaceID) + " ");
      if (!excluded.empty()) conditions.push_back("pl.ID not in (" + excluded + ") ");
      if (!aAllowLegalAgents) conditions.push_back("pr.type=1 ");
      sql = select;
      if (!conditions.empty()) {
        std::string joined;
        for (const std::string& c : conditions) joined += (joined.empty() ? "" : " and ") + c;
        sql += " Where " + joined + " ";
      }
      if (parent != 0) {
        sql += "union " + select + "Where pl.JobPlaceID = " + Number2DaoSql(parent) +
               " and pl.ShowInBranches = 1 ";
        if (!excluded.empty()) sql += " and pl.ID not in (" + excluded + ") ";
        if (!aAllowLegalAgents) sql += " and pr.type=1 ";
      }
      sql = "select * from (" + sql + ") order by person_type, Fio";
    }
    auto result = NewResult({{"PersonnelID", ado::adDouble, 0},
                             {"PersonID", ado::adDouble, 0},
                             {"person_type", ado::adInteger, 0},
                             {"Fio", ado::adVarChar, kTextLength},
                             {"PostName", ado::adVarChar, kTextLength},
                             {"WarrantName", ado::adVarChar, kTextLength}});
    return FillRows(sql, result, {"PersonnelID", "PersonID", "person_type"}, {"Fio", "PostName"},
                    aJobPlaceID, parent);
  });
}

ado::RecordsetPtr PersonsAllowedForSigners(double aJobPlaceID, const std::string& aID,
                                           bool aAllowLegalAgents) {
  return Guard(QV_HERE, [&] {
    std::string sql;
    double parent = 0;
    if (!aID.empty()) {
      sql = "select pr.ID AS PersonID, " + std::string(kPersonFio) +
            "(Person As pr "
            "LEFT JOIN NaturalPerson As np ON pr.PersonRealId = np.ID) "
            "LEFT JOIN LegalPerson As lp ON pr.PersonRealId = lp.ID "
            "where pr.ID in (" +
            IdList2DaoSql(aID, "GetPersonsAllowedForSigners", ",") + ") ";
    } else {
      std::string workers;
      if (aJobPlaceID == kNoJobPlace) {
        workers = "select distinct pl.WorkerID as PersonID from personnel as pl ";
      } else {
        workers =
            "select distinct pl.WorkerID as PersonID "
            "from personnel as pl where pl.JobPlaceID = " +
            Number2DaoSql(aJobPlaceID) + " ";
        if (records::IsBranch(*miDataBase::GetUserDataBase(), aJobPlaceID)) {
          parent = GetParentOfBranch(aJobPlaceID);
          workers +=
              "union select distinct pl2.WorkerID as PersonID "
              "from personnel as pl2 where pl2.JobPlaceID = " +
              Number2DaoSql(parent) + " and pl2.ShowInBranches = 1 ";
        }
      }
      sql = "select w.PersonID AS PersonID, " + std::string(kPersonFio) + "((( " + workers +
            ") AS w LEFT JOIN Person As pr ON w.PersonID = pr.ID) LEFT JOIN NaturalPerson As np "
            "ON pr.PersonRealId = np.ID) LEFT JOIN LegalPerson As lp ON pr.PersonRealId = lp.ID ";
      if (!aAllowLegalAgents) sql += " Where pr.type = 1  ";
      sql = "select * from (" + sql + ") order by person_type desc, Fio";
    }
    auto result = NewResult({{"PersonID", ado::adDouble, 0},
                             {"person_type", ado::adInteger, 0},
                             {"Fio", ado::adVarChar, kTextLength},
                             {"WarrantName", ado::adVarChar, kTextLength}});
    return FillRows(sql, result, {"PersonID", "person_type"}, {"Fio"}, aJobPlaceID, parent);
  });
}

}  // namespace qv::queries
