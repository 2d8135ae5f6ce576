#include "queries/PeriodQueries.h"

#include <cmath>

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "core/mQvRegistryParams.h"
#include "queries/mCommonLookups.h"
#include "records/miDocument.h"
#include "records/miRecCollection.h"

namespace qv::queries {

using namespace mQvDaoDataBase;

QV_DEFINE_CLASS(
    PeriodQueries, "Qv_DBProvider.PeriodQueries", QV_CREATABLE(PeriodQueries),
    Method("GetAllowedYears", &PeriodQueries::GetAllowedYears),
    Method("GetAllowedYearsInAccStream(aAccStreamID)", &PeriodQueries::GetAllowedYearsInAccStream),
    Method("GetAllowedTimePeriodsInYear(aYear)", &PeriodQueries::GetAllowedTimePeriodsInYear),
    Method("GetAllowedTimePeriodsInYear3(aYear, aAccStreamType)",
           &PeriodQueries::GetAllowedTimePeriodsInYear3),
    Method("GetAllowedTimePeriodsInQuartal(aTimeID)",
           &PeriodQueries::GetAllowedTimePeriodsInQuartal),
    Method("CountDocStatusesInTimePeriod(aAccStreamID, aTimeID)",
           &PeriodQueries::CountDocStatusesInTimePeriod),
    Method("CountDocStatusesInYear(aAccStreamID, aYear)", &PeriodQueries::CountDocStatusesInYear),
    Method("CountDocStatuses(aAccStreamID, aType, aData, rInWorking, rComplete, rDelivered)",
           &PeriodQueries::CountDocStatuses),
    Method("GetOtherDocsPeriodID", &PeriodQueries::GetOtherDocsPeriodID),
    Method("GetTimeIDByYearAndMonth(aYear, aMonthID)", &PeriodQueries::GetTimeIDByYearAndMonth),
    Method("GetReqsPeriodIDByYear(aYear, aGetNearestIfNotFound)",
           &PeriodQueries::GetReqsPeriodIDByYear),
    Method("GetCalendar", &PeriodQueries::GetCalendar))

namespace {

// The months of a quarter's report code as an "in" list; "-1" (no period)
// for any other code.
const char* MonthsOfQuarter(int32_t reportId) {
  switch (reportId) {
    case 13:
      return "1, 2, 3";
    case 14:
      return "4, 5, 6";
    case 15:
      return "7, 8, 9";
    case 16:
      return "10, 11, 12";
    default:
      return "-1";
  }
}

constexpr const char* kReqsReportId = "21";
constexpr double kOtherDocsPeriodId = 163;

}  // namespace

ado::RecordsetPtr PeriodQueries::GetAllowedYears() {
  return Guard(QV_HERE, [] {
    return QvQuerySqlA(
        "select the_year from time_by_month "
        "where the_year<2100 and the_year>=2003 group by the_year "
        "order by the_year desc; ");
  });
}

int32_t PeriodQueries::FirstYearOfStreamType(int32_t aAccStreamType) {
  switch (aAccStreamType) {
    case 2:
      return 2009;
    case 4:
    case 5:
    case 6:
      return 2010;
    case 7:
    case 8:
      return 2011;
    case 9:
      return 2015;
    case 10:
      return 2019;
    case 11:
      // Developers see the stream type a year before it is released.
      return mQvRegistryParams::IsDevelopmentModeByRegistry() ? 2022 : 2023;
    case 12:
      return 2022;
    default:
      return 2003;
  }
}

ado::RecordsetPtr PeriodQueries::GetAllowedYearsInAccStream(double aAccStreamID) {
  return Guard(QV_HERE, [&] {
    int32_t category = 0, streamType = 0;
    bool isBranch = false;
    GetAccStreamOwnerInfo(aAccStreamID, category, streamType, isBranch);
    return QvQuerySqlA(
        "select distinct the_year from time_by_month where the_year<2100 and the_year>=" +
        Number2DaoSql(FirstYearOfStreamType(streamType)) + " order by the_year desc; ");
  });
}

CollectionPtr PeriodQueries::GetAllowedTimePeriodsInYear(int32_t aYear) {
  return Guard(QV_HERE, [&] {
    auto rs = QvQuerySql("select time_id AS ID from time_by_month where the_year=" +
                         Number2DaoSql(aYear) + " order by end_date, report_id; ");
    CollectionPtr result = miRecCollection::GetRecCollection_QvTimePeriod(*rs, "ID");
    rs->Close();
    return result;
  });
}

CollectionPtr PeriodQueries::GetAllowedTimePeriodsInYear3(int32_t aYear, int32_t aAccStreamType) {
  return Guard(QV_HERE, [&] {
    const std::string year = Number2DaoSql(aYear);
    auto rs = QvQuerySql(
        "select tm.Time_ID as ID from Report_by_AccStreamType AS rc "
        "INNER JOIN time_by_month AS tm ON tm.Report_ID = rc.Report_ID "
        "where rc.AccStreamType = " +
        Number2DaoSql(aAccStreamType) + " and rc.BegYear <= " + year +
        " and rc.EndYear >= " + year + " and tm.The_Year = " + year + " order by rc.OrderNum ");
    CollectionPtr result = miRecCollection::GetRecCollection_QvTimePeriod(*rs, "ID");
    rs->Close();
    return result;
  });
}

ado::RecordsetPtr PeriodQueries::GetAllowedTimePeriodsInQuartal(double aTimeID) {
  return Guard(QV_HERE, [&] {
    Variant year, reportId;
    QvQuery2Values("select the_year, report_id from time_by_month where time_id=" +
                       Number2DaoSql(aTimeID) + ";",
                   year, reportId);
    return QvQuerySqlA("select time_id from time_by_month where the_year=" +
                       Number2DaoSql(mQvCommonCalc::VarToLongDef(year, 0)) + " and report_id in (" +
                       MonthsOfQuarter(mQvCommonCalc::VarToLongDef(reportId, 0)) + ");");
  });
}

ado::RecordsetPtr PeriodQueries::CountDocStatusesInTimePeriod(double, double) {
  return nullptr;
}

ado::RecordsetPtr PeriodQueries::CountDocStatusesInYear(double, int32_t) {
  return nullptr;
}

void PeriodQueries::CountDocStatuses(double aAccStreamID, int32_t aType, const Variant& aData,
                                     int32_t& rInWorking, int32_t& rComplete, int32_t& rDelivered) {
  Guard(QV_HERE, [&] {
    std::string join, condition;
    if (aType == 1) {
      join = " LEFT JOIN Time_By_Month AS m ON m.Time_ID = d.Time_ID ";
      condition = " and m.the_year = " + Number2DaoSql(CLng(aData)) + " ";
    } else if (aType == 2) {
      condition = " and d.time_id = " + Number2DaoSql(CLng(aData)) + " ";
    }
    const std::string from =
        "from (Doc_Registry AS d LEFT JOIN Doc_Templates AS t ON t.Template_ID = d.Template_ID) " +
        join + "where d.taxpayer_id = " + Number2DaoSql(aAccStreamID);
    Variant inWorking, complete, delivered;
    QvQuery3Values(
        "select sum(iif (d.status_qv=1, 1, 0)) AS inworking_count, sum(iif (d.status_qv=2, 1,"
        " 0)) AS completed_count, sum(iif (d.status_qv=3, 1, 0)) AS delivered_count " +
            from + " and t.PfrMaster = 0 " + condition,
        inWorking, complete, delivered);
    int32_t counts[4] = {0, mQvCommonCalc::VarToLongDef(inWorking, 0),
                         mQvCommonCalc::VarToLongDef(complete, 0),
                         mQvCommonCalc::VarToLongDef(delivered, 0)};

    auto masters =
        QvQuerySql("select d.Document_ID AS ID " + from + " and t.PfrMaster = 1 " + condition);
    DaoRecordsetPtr endDocs;  // one table cursor for every master
    for (DaoSafeMoveFirst(*masters); !masters->IsEOF(); masters->MoveNext()) {
      const int32_t status = miDocument::IntGetPfrMasterStatus_Dao(
          mQvCommonCalc::VarToDoubleDef(masters->FieldValue(0), 0), endDocs, false);
      if (status >= 1 && status <= 3) ++counts[status];
    }
    if (endDocs) endDocs->Close();
    masters->Close();
    rInWorking = counts[1];
    rComplete = counts[2];
    rDelivered = counts[3];
  });
}

double PeriodQueries::GetOtherDocsPeriodID() {
  return kOtherDocsPeriodId;
}

int32_t PeriodQueries::GetTimeIDByYearAndMonth(int32_t aYear, int32_t aMonthID) {
  return Guard(QV_HERE, [&] {
    return mQvCommonCalc::VarToLongDef(
        QvQueryFirstValueSafe(
            "select time_id from time_by_month where the_year=" + Number2DaoSql(aYear) +
                " and report_id=" + Number2DaoSql(aMonthID) + ";",
            Variant(int32_t{0})),
        0);
  });
}

double PeriodQueries::GetReqsPeriodIDByYear(int32_t aYear, bool aGetNearestIfNotFound) {
  return Guard(QV_HERE, [&] {
    double id = mQvCommonCalc::VarToDoubleDef(
        QvQueryValue("select min (time_id) from time_by_month where the_year = " +
                     Number2DaoSql(aYear) + " and report_id = " + kReqsReportId + " "),
        0);
    if (id == 0 && aGetNearestIfNotFound)
      id = mQvCommonCalc::VarToDoubleDef(
          QvQueryValue("select max (time_id) from time_by_month where report_id = " +
                       std::string(kReqsReportId) + " "),
          0);
    return id;
  });
}

ado::RecordsetPtr PeriodQueries::GetCalendar() {
  return Guard(QV_HERE, [] {
    return QvQuerySqlA("select DayDate, IsWorkday from Calendar order by DayDate desc ");
  });
}

void PeriodQueries::GetTimeIDInfo(double aTimeID, int32_t& rReportID, int32_t& rYear,
                                  int32_t& rKind, int32_t& rParentID, bool& rFound) {
  Guard(QV_HERE, [&] {
    Variant reportId, year, parentId;
    QvQuery3Values(
        "select a.the_year, a.report_id, b.parent_id "
        "from time_by_month AS a "
        "left join report_time AS b on a.report_id=b.report_id "
        "where time_id=" +
            Number2DaoSql(aTimeID) + ";",
        year, reportId, parentId);
    rReportID = mQvCommonCalc::VarToLongDef(reportId, 0);
    rYear = mQvCommonCalc::VarToLongDef(year, 0);
    rParentID = mQvCommonCalc::VarToLongDef(parentId, 0);
    rFound = rReportID > 0 && rYear > 0;
    if (rFound) rKind = PeriodKindOfReport(rReportID);
  });
}

std::string PeriodQueries::GetChildTimeIDs(double aTimeID, const std::string&,
                                           const std::string& aDefault) {
  return Guard(QV_HERE, [&] {
    int32_t reportId = 0, year = 0, kind = 0, parentId = 0;
    bool found = false;
    GetTimeIDInfo(aTimeID, reportId, year, kind, parentId, found);
    if (!found) return aDefault;
    auto rs = QvQuerySql("select time_id from time_by_month where the_year=" + Number2DaoSql(year) +
                         " and report_id in (select report_id from report_time "
                         "where parent_id=( select report_id from time_by_month "
                         "where time_id=" +
                         Number2DaoSql(aTimeID) + "));");
    std::string ids = GetDelimitedNumberFieldValuesFromDaoRS(rs, "time_id", 0, ", ", "-1");
    rs->Close();
    return ids;
  });
}

double PeriodQueries::GetParentTimeID(double aTimeID) {
  return Guard(QV_HERE, [&] {
    int32_t reportId = 0, year = 0, kind = 0, parentId = 0;
    bool found = false;
    GetTimeIDInfo(aTimeID, reportId, year, kind, parentId, found);
    if (!found) return 0.0;
    return mQvCommonCalc::VarToDoubleDef(
        QvQueryValue("select time_id from time_by_month where the_year=" + Number2DaoSql(year) +
                     " and report_id=" + Number2DaoSql(parentId) + ";"),
        0);
  });
}

}  // namespace qv::queries
