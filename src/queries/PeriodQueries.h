#pragma once
// PeriodQueries ("Qv_DBProvider.PeriodQueries"): the reporting years and
// periods (time_by_month), the count of an accounting stream's documents by
// status, and the working-day calendar. It only reads and keeps no state.
//
// Report codes: 1..12 months, 13..16 quarters, 17 the year, 21 the yearly
// period of requests. Document statuses: 1 in work, 2 completed, 3 delivered.

#include <cstdint>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"

namespace qv::queries {

class PeriodQueries : public Object {
  QV_DECLARE_CLASS(PeriodQueries)

 public:
  // Every year from 2003 to 2099 that has periods (the_year), latest first.
  ado::RecordsetPtr GetAllowedYears();
  // The years from the first year the stream's type is reported for, latest
  // first. Errors: 40090 for an unknown stream.
  ado::RecordsetPtr GetAllowedYearsInAccStream(double aAccStreamID);
  // Time-period records of the year's periods, by end date and report code.
  CollectionPtr GetAllowedTimePeriodsInYear(int32_t aYear);
  // Time-period records of the periods a stream type reports in the year,
  // in the order of Report_by_AccStreamType.
  CollectionPtr GetAllowedTimePeriodsInYear3(int32_t aYear, int32_t aAccStreamType);
  // The month periods (time_id) of a quarter period; none for a period that
  // is no quarter. Errors: 40090 for an unknown period.
  ado::RecordsetPtr GetAllowedTimePeriodsInQuartal(double aTimeID);
  // Kept for callers of the interface: they give no recordset (Nothing);
  // the counts come from CountDocStatuses.
  ado::RecordsetPtr CountDocStatusesInTimePeriod(double aAccStreamID, double aTimeID);
  ado::RecordsetPtr CountDocStatusesInYear(double aAccStreamID, int32_t aYear);
  // Counts the stream's documents by status into the three counters, which
  // are overwritten. `aType` 1 restricts to the year `aData`, 2 to the
  // period `aData`, anything else counts every document. A pension-fund
  // master document counts once, with the status its end documents give it.
  void CountDocStatuses(double aAccStreamID, int32_t aType, const Variant& aData,
                        int32_t& rInWorking, int32_t& rComplete, int32_t& rDelivered);
  // The fixed period of the "other documents" (163).
  double GetOtherDocsPeriodID();
  // The period of a year and report code; 0 when there is none.
  int32_t GetTimeIDByYearAndMonth(int32_t aYear, int32_t aMonthID);
  // The requests period (code 21) of the year; when the year has none, the
  // latest one of any year if `aGetNearestIfNotFound`, else 0.
  double GetReqsPeriodIDByYear(int32_t aYear, bool aGetNearestIfNotFound);
  // Every day of the calendar with its working-day flag, latest first.
  ado::RecordsetPtr GetCalendar();

  // ---- for the library's own modules (not callable by name)

  // The period's report code, year and the report code containing it
  // (Null read as 0); `rFound` when code and year are both positive, and
  // then `rKind` = PeriodKindOfReport(code); otherwise `rKind` is left as it
  // is. Errors: 40090 unless exactly one row.
  static void GetTimeIDInfo(double aTimeID, int32_t& rReportID, int32_t& rYear, int32_t& rKind,
                            int32_t& rParentID, bool& rFound);
  // The periods of the same year whose report codes the period's code
  // contains, as "id, id, ..." ("-1" when none); `aDefault` when the period
  // is not found. The second argument is not used.
  static std::string GetChildTimeIDs(double aTimeID, const std::string& aUnused,
                                     const std::string& aDefault);
  // The period of the same year with the containing report code; 0 when the
  // period is not found. Errors: 40090 unless that period exists once.
  static double GetParentTimeID(double aTimeID);
  // The first year of the periods offered for a stream type.
  static int32_t FirstYearOfStreamType(int32_t aAccStreamType);
};

}  // namespace qv::queries
