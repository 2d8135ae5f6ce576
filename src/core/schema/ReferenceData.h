#pragma once
// Reference rows an empty data folder needs: the report codes (report_time),
// the reporting periods (time_by_month) and the working-day calendar
// (Calendar). Pure data and functions; the DAO layer inserts the rows.
//
// Period identifiers. A period that recurs every year has the identifier
//   time_id = (the_year - 2000) * 100 + report_id      (2003 Q1 = 313)
// so identifiers grow with the year (the latest period of a code is the one
// with the largest identifier) and a yearly identifier is never below 101.
// The two periods that belong to no year keep fixed identifiers below that
// range: 163 holds the "other documents" (report code 18) and 246 the end
// documents of the pension-fund packs (report code 23). They have the_year 0
// and no dates, so no list of a year's periods shows them.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace qv::schema {

// A column value: Null, an integer (Long, Integer, Byte and Boolean columns;
// a Boolean is -1 for True and 0 for False, as Jet stores it), a Double, or a
// text. Date columns are given as double OLE serial dates: days since
// 30.12.1899, the time of day as the fraction.
using RefValue = std::variant<std::monostate, int64_t, double, std::string>;

struct RefRow {
  std::string_view table;
  std::vector<std::pair<std::string_view, RefValue>> values;  // column name, value
};

struct ReportCode {
  int32_t reportId;
  int32_t parentId;  // the code whose period contains this one; 0 for none
  std::string_view name;
  bool yearly;  // one period per year; otherwise one fixed, year-independent period
};

inline constexpr int32_t kFirstPeriodYear = 2003;
inline constexpr int32_t kLastPeriodYear = 2030;
inline constexpr int32_t kOtherDocsPeriodId = 163;
inline constexpr int32_t kPfrEndDocsPeriodId = 246;
inline constexpr int32_t kOtherDocsReportId = 18;
inline constexpr int32_t kPfrEndDocsReportId = 23;

// The report code of report_time with `reportId`; null when none.
const ReportCode* FindReportCode(int32_t reportId);

// The identifier of the period of a yearly report code in a year; the fixed
// identifier for a year-independent code (whatever the year); 0 for an
// unknown code or a year outside 2001..2099.
int32_t PeriodId(int32_t year, int32_t reportId);

struct PeriodKey {
  int32_t year;  // 0 for a year-independent period
  int32_t reportId;
  friend bool operator==(const PeriodKey&, const PeriodKey&) = default;
};
// The year and report code of a period identifier; nullopt when the identifier
// is not one this scheme produces.
std::optional<PeriodKey> DecodePeriodId(int32_t timeId);

// First and last day (OLE serial dates) of the period of a yearly code.
std::pair<double, double> PeriodDates(int32_t year, int32_t reportId);

double OleSerialDate(int32_t year, int32_t month, int32_t day);

// Fixed public holidays of the Russian labour law in force in that year (the
// New Year holidays grew from 1-2 January to 1-5 (2005) and 1-6 and 8 January
// (2013); 2 May, 7 November and 12 December stopped being holidays in 2005,
// 4 November became one). No transfers of days off are modelled.
bool IsPublicHoliday(int32_t year, int32_t month, int32_t day);
// Neither a Saturday, a Sunday nor a public holiday.
bool IsWorkday(int32_t year, int32_t month, int32_t day);

// Rows, in insertion order. REQUIRES: firstYear <= lastYear, both in 2001..2099.
std::vector<RefRow> ReportTimeRows();
std::vector<RefRow> TimeByMonthRows(int32_t firstYear = kFirstPeriodYear,
                                    int32_t lastYear = kLastPeriodYear);
std::vector<RefRow> CalendarRows(int32_t firstYear = kFirstPeriodYear,
                                 int32_t lastYear = kLastPeriodYear);
// All of the above, for the default years.
std::vector<RefRow> AllReferenceRows();

}  // namespace qv::schema
