// DBQPfr: the code dictionaries of the personified reports, the yearly
// limits and the contribution tariffs.

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "pfr/DBQPfr.h"
#include "pfr/mPfrQueries.h"

namespace qv::pfr {
using namespace mQvDaoDataBase;
using namespace mPfrQueries;

namespace {

// The dictionary tables by the caller's dictionary type 1..8; "" otherwise.
std::string DictTable(int32_t aDictType) {
  static constexpr const char* kTables[] = {
      "PfrDict_MainRates",     "PfrDict_TerrConds",  "PfrDict_SpecConds",    "PfrDict_StageCalcs",
      "PfrDict_StageCalcAdds", "PfrDict_EarlyConds", "PfrDict_FeeMainRates", "PfrDict_AddRates",
  };
  return aDictType >= 1 && aDictType <= 8 ? kTables[aDictType - 1] : "";
}

// A limits column of the latest year not after aYear; 0 when there is none.
double YearlyLimit(const std::string& aColumn, int32_t aYear) {
  DaoRecordsetPtr rs =
      QvQuerySqlStatic("select top 1 a." + aColumn +
                       " From PfrDict_Limits AS a where a.TheYear in ( select max (b.TheYear) "
                       "From PfrDict_Limits AS b Where b.TheYear <= " +
                       Number2DaoSql(aYear) + " ) ");
  const double value = rs->IsEOF() ? 0 : GetDaoDouble(*rs, aColumn);
  rs->Close();
  return value;
}

struct Tariff {
  double ensur = 0, cumul = 0, overEnsur = 0, overCumul = 0, foms = 0;
};

// The tariff row of the latest year not after aYear for the category.
bool FindTariff(int32_t aYear, const std::string& aCategory, Tariff& t) {
  const std::string category = DaoQString(aCategory);
  DaoRecordsetPtr rs = QvQuerySqlStatic(
      "select top 1 a.EnsurPart, a.CumulPart, a.OverEnsurPart, a.OverCumulPart, a.FomsPart "
      "From PfrDict_Tariffs AS a "
      "where a.TheYear in ( select max (b.TheYear) From PfrDict_Tariffs AS b "
      "Where b.TheYear <= " +

      Number2DaoSql(aYear) + " and b.Category=" + category + ") and a.Category = " + category +
      " ");
  const bool found = !rs->IsEOF();
  if (found)
    t = {GetDaoDouble(*rs, "EnsurPart"), GetDaoDouble(*rs, "CumulPart"),
         GetDaoDouble(*rs, "OverEnsurPart"), GetDaoDouble(*rs, "OverCumulPart"),
         GetDaoDouble(*rs, "FomsPart")};
  rs->Close();
  return found;
}

}  // namespace

double DBQPfr::GetIncomeLimit(int32_t aYear) {
  return Guard(QV_HERE, [&] { return YearlyLimit("IncomeLimit", aYear); });
}

double DBQPfr::GetMROT(int32_t aYear) {
  return Guard(QV_HERE, [&] { return YearlyLimit("MROT", aYear); });
}

void DBQPfr::GetTariffs(int32_t aYear, const std::string& aCategory, double& rEnsurPart,
                        double& rCumulPart) {
  Guard(QV_HERE, [&] {
    Tariff t;
    if (!FindTariff(aYear, aCategory, t)) return;
    rEnsurPart = t.ensur;
    rCumulPart = t.cumul;
  });
}

bool DBQPfr::GetTariffs2(int32_t aYear, const std::string& aCategory, double& rEnsurPart,
                         double& rCumulPart, double& rOverEnsurPart, double& rOverCumulPart) {
  return Guard(QV_HERE, [&] {
    double foms = 0;
    return GetTariffs3(aYear, aCategory, rEnsurPart, rCumulPart, rOverEnsurPart, rOverCumulPart,
                       foms);
  });
}

bool DBQPfr::GetTariffs3(int32_t aYear, const std::string& aCategory, double& rEnsurPart,
                         double& rCumulPart, double& rOverEnsurPart, double& rOverCumulPart,
                         double& rFomsPart) {
  return Guard(QV_HERE, [&] {
    Tariff t;
    if (!FindTariff(aYear, aCategory, t)) return false;
    rEnsurPart = t.ensur;
    rCumulPart = t.cumul;
    rOverEnsurPart = t.overEnsur;
    rOverCumulPart = t.overCumul;
    rFomsPart = t.foms;
    return true;
  });
}

ObjectPtr DBQPfr::GetTariffs4(int32_t aYear, const std::string& aCategory) {
  return Guard(QV_HERE, [&]() -> ObjectPtr {
    Tariff t;
    if (!FindTariff(aYear, aCategory, t)) return nullptr;
    auto tariff = std::make_shared<TRsvTariff>();
    const bool isMd = aCategory == "МД";
    tariff->LetTheTear(aYear);
    tariff->LetCode(aCategory);
    tariff->LetLowPart(t.ensur + t.cumul);
    tariff->LetOverPart(t.overEnsur + t.overCumul);
    tariff->LetFomsPart(t.foms);
    tariff->LetIsMD(isMd);
    tariff->LetFinalRate(isMd ? 728 : 1000);
    return tariff;
  });
}

bool DBQPfr::GetAddTariffs(const Variant& aDate, const std::string& aCode, double& rRate) {
  return Guard(QV_HERE, [&] {
    DaoRecordsetPtr rs = QvQuerySqlStatic(
        "select top 1 a.Rate From PfrDict_AddTariffs AS a where (" +
        Date2DaoSql(aDate, "DateSerial(1899,12,31)") +
        " between a.BegDate and a.EndDate) and a.Code = " + DaoQString(aCode) + " ");
    const bool found = !rs->IsEOF();
    if (found) rRate = GetDaoDouble(*rs, "Rate");
    rs->Close();
    return found;
  });
}

ado::RecordsetPtr DBQPfr::GetPfrDict(int32_t aDictType, const Variant& aActualDate) {
  return Guard(QV_HERE, [&]() -> ado::RecordsetPtr {
    const std::string table = DictTable(aDictType);
    if (table.empty()) return nullptr;
    if (aActualDate.IsEmpty() || aActualDate.IsNull() || aActualDate.IsMissing())
      return QvQuerySqlA("select distinct Code, Name from ( select Code, Name from " + table +
                         " order by OrderNum ) ");
    return QvQuerySqlA("select Code, Name from ( select * from " + table + " where " +
                       Date2DaoSql(aActualDate, "DateSerial(1899,12,31)") +
                       " between BegDate and EndDate ) order by OrderNum ");
  });
}

bool DBQPfr::IsDictCodeAllowedAtDate(const std::string& aCode, int32_t aDictType,
                                     const Variant& aActualDate) {
  return Guard(QV_HERE, [&] {
    const std::string table = DictTable(aDictType);
    if (table.empty()) return false;
    std::string sql = "select count(*) AS aaa from " + table + " where Code = " + DaoQString(aCode);
    if (!(aActualDate.IsEmpty() || aActualDate.IsNull() || aActualDate.IsMissing()))
      sql += " and " + Date2DaoSql(aActualDate, "DateSerial(1899,12,31)") +
             " between BegDate and EndDate ";
    return CLng(QvQueryValue(sql)) > 0;
  });
}

}  // namespace qv::pfr
