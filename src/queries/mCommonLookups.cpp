#include "queries/mCommonLookups.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/jet/JetEngine.h"
#include "records/PersonRelations.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

namespace {

constexpr std::string_view kModule = "mCommonLookups";

// The periods as read through one connection at one of its data
// generations (dao::Database::DataGeneration: another connection's or
// workstation's commit or a rollback moves it).
struct PeriodCache {
  bool filled = false;
  uint64_t connection = 0;
  uint64_t generation = 0;
  std::vector<IntTimePeriodInfo> periods;
  // "_" + TimeID and "_" + Year + "_" + ReportID, both to the same records.
  std::unordered_map<std::string, size_t> byTimeId;
  std::unordered_map<std::string, size_t> byYearReport;
};

// The periods kept are read again when another workstation changes them.
const jet::CommitsWatch kPeriods{"time_by_Month"};

PeriodCache& ThreadCache() {
  thread_local PeriodCache cache;
  return cache;
}

std::string YearReportKey(int32_t year, int32_t reportId) {
  return "_" + std::to_string(year) + "_" + std::to_string(reportId);
}

PeriodCache& FilledCache() {
  PeriodCache& c = ThreadCache();
  const auto db = miDataBase::GetUserDataBase();
  const uint64_t connection = db->ConnectionSerial(), generation = db->DataGeneration(kPeriods);
  if (c.filled && c.connection == connection && c.generation == generation) return c;
  PeriodCache fresh;
  fresh.connection = connection;
  fresh.generation = generation;
  auto rs = QvQuerySqlStatic(
      "select time_id, the_year, report_id, beg_date, end_date "
      "from time_by_Month order by the_year desc, time_id asc");
  for (DaoSafeMoveFirst(*rs); !rs->IsEOF(); rs->MoveNext()) {
    IntTimePeriodInfo p;
    p.TimeID = CDbl(rs->FieldValue(0));
    p.Year = mQvCommonCalc::VarToLongDef(rs->FieldValue(1), 0);
    p.ReportID = mQvCommonCalc::VarToLongDef(rs->FieldValue(2), 0);
    p.BegDate = rs->FieldValue(3);
    p.EndDate = rs->FieldValue(4);
    const size_t at = fresh.periods.size();
    fresh.byTimeId.emplace("_" + Number2DaoSql(p.TimeID), at);
    fresh.byYearReport.emplace(YearReportKey(p.Year, p.ReportID), at);
    fresh.periods.push_back(std::move(p));
  }
  fresh.filled = true;
  c = std::move(fresh);
  return c;
}

}  // namespace

void GetAccStreamOwnerInfo(double aAccStreamID, int32_t& rLPCategory, int32_t& rAccStreamType,
                           bool& rIsBranch) {
  Guard(QV_HERE, [&] {
    Variant type, realId, personId, streamType;
    const auto db = miDataBase::GetUserDataBase();
    if (db->IsServer()) {
      // On a server the organisation's category and its branch mark come
      // with the owner in one select, where each is a round trip of its own
      // after it otherwise. Mark: Null without a detail row, else 1 for a
      // branch (recorded once or more), 0 for none. An organisation without
      // its detail row takes the path below, which fails as it does on a
      // file.
      Variant category, mark;
      QvQuery4Values(
          "select top 1 p.Type, a.AccStreamType, lp.LPCategory, "
          "IIf(lp.ID Is Null, Null, IIf(b.ChildPersonID Is Null, 0, 1)) as Mark "
          "from ((AccStream as a left join Person as p on a.PersonID=p.ID) "
          "left join LegalPerson as lp on p.PersonRealID=lp.ID) "
          "left join Branches as b on a.PersonID=b.ChildPersonID "
          "where a.ID=" +
              Number2DaoSql(aAccStreamID),
          type, streamType, category, mark, db);
      const int32_t personType = type.IsNull() ? 0 : CLng(type);
      if (personType != 2 || !mark.IsNull()) {
        rAccStreamType = streamType.IsNull() ? 0 : CLng(streamType);
        if (personType == 1) {
          rLPCategory = 6;
          rIsBranch = false;
        } else if (personType == 2) {
          rLPCategory = mQvCommonCalc::VarToLongDef(category, 0);
          rIsBranch = CLng(mark) == 1;
        }
        return;
      }
    }
    QvQuery4Values(
        "select top 1 p.Type, p.PersonRealID, a.PersonID, a.AccStreamType "
        "from AccStream as a "
        "left join Person as p on a.PersonID=p.ID where a.ID=" +
            Number2DaoSql(aAccStreamID),
        type, realId, personId, streamType, db);
    rAccStreamType = streamType.IsNull() ? 0 : CLng(streamType);
    const int32_t personType = type.IsNull() ? 0 : CLng(type);
    if (personType == 1) {
      rLPCategory = 6;
      rIsBranch = false;
    } else if (personType == 2) {
      rLPCategory = mQvCommonCalc::VarToLongDef(
          QvQueryValue("select lp.LPCategory from LegalPerson lp where lp.ID=" +
                           Number2DaoSql(realId.IsNull() ? 0 : CDbl(realId)),
                       Variant(), db),
          0);
      rIsBranch = records::IsBranch(*db, personId.IsNull() ? 0 : CDbl(personId));
    }
  });
}

double GetAccStreamPersonID(double aAccStreamID) {
  return Guard(QV_HERE, [&] {
    const Variant v =
        QvQueryValue("select PersonID from AccStream Where ID=" + Number2DaoSql(aAccStreamID));
    return v.IsNull() ? 0.0 : CDbl(v);
  });
}

double GetParentOfBranch(double aPersonID) {
  // Exactly one row or the default: a person recorded twice as a branch has
  // no parent the caller could rely on.
  const Variant v = QvQueryValueSafe(
      "Select ParentPersonID From Branches Where ChildPersonID=" + Number2DaoSql(aPersonID),
      Variant(0.0));
  return v.IsNull() ? 0 : CDbl(v);
}

int32_t GetConsStreamLPCategory(double aConsStreamID) {
  const Variant v = QvQueryValueSafe(
      "select LPCategory from ConsStream where ID = " + Number2DaoSql(aConsStreamID),
      Variant(int32_t{0}));
  return mQvCommonCalc::VarToLongDef(v, 0);
}

int32_t GetDocTypeOfTemplate(int32_t aTemplateID) {
  return Guard(QV_HERE, [&] {
    auto first = [](const std::string& sql) {
      const Variant v = QvQueryFirstValueSafe(sql, Variant(int32_t{0}));
      return v.IsNull() ? 0 : CLng(v);
    };
    const std::string id = Number2DaoSql(aTemplateID);
    const int32_t coupled =
        first("select coupled_class_id from ScattersList where template_id = " + id);
    return coupled != 0 ? coupled
                        : first("select doc_type_id from Doc_Templates where template_id = " + id);
  });
}

bool GetPeriodFromCache(double aTimeID, int32_t& rYear, int32_t& rReportID) {
  PeriodCache& c = Guard(QV_HERE, [&]() -> PeriodCache& { return FilledCache(); });
  auto it = c.byTimeId.find("_" + Number2DaoSql(aTimeID));
  if (it == c.byTimeId.end()) return false;
  rYear = c.periods[it->second].Year;
  rReportID = c.periods[it->second].ReportID;
  return true;
}

const IntTimePeriodInfo* GetPeriodByYearAndReport(int32_t aYear, int32_t aReportID) {
  PeriodCache& c = FilledCache();
  auto it = c.byYearReport.find(YearReportKey(aYear, aReportID));
  return it == c.byYearReport.end() ? nullptr : &c.periods[it->second];
}

bool GetPeriodMonthAndType(int32_t aTimeID, int32_t& rYear, int32_t& rMonth, int32_t& rPeriodType) {
  int32_t report = 0;
  // The year is given back for every cached period, recognised or not.
  if (!GetPeriodFromCache(aTimeID, rYear, report) || rYear <= 0 || rYear >= 2100) return false;
  if (report >= 1 && report <= 12) {
    rMonth = report;
    rPeriodType = 1;
  } else if (report >= 13 && report <= 16) {
    rMonth = (report - 12) * 3;
    rPeriodType = report == 16 ? 3 : 2;
  } else {
    return false;
  }
  return true;
}

int32_t PeriodKindOfReport(int32_t aReportID) {
  if (aReportID >= 1 && aReportID <= 12) return 1;
  if (aReportID >= 13 && aReportID <= 16) return 2;
  if (aReportID == 17) return 3;
  return 0;
}

void ResetPeriodCacheForThread() {
  ThreadCache() = PeriodCache{};
}

namespace {
// A new data folder brings its own periods.
[[maybe_unused]] const bool kForgetsPeriodsOnReset =
    (miDataBase::AddSessionResetListener(&ResetPeriodCacheForThread), true);
}  // namespace

}  // namespace qv::queries
