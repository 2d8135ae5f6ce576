#include "core/schema/ReferenceData.h"

#include <chrono>
#include <string>

#include "platform/automation/Error.h"

namespace qv::schema {
namespace {

namespace chr = std::chrono;

constexpr int32_t kMinYear = 2001;  // the scheme's range: (year - 2000) * 100 + code
constexpr int32_t kMaxYear = 2099;

// Days from 30.12.1899 (OLE day 0) to 01.01.1970.
constexpr int64_t kOleDaysAtUnixEpoch = 25569;

constexpr ReportCode kReportCodes[] = {
    {1, 13, "Январь", true},
    {2, 13, "Февраль", true},
    {3, 13, "Март", true},
    {4, 14, "Апрель", true},
    {5, 14, "Май", true},
    {6, 14, "Июнь", true},
    {7, 15, "Июль", true},
    {8, 15, "Август", true},
    {9, 15, "Сентябрь", true},
    {10, 16, "Октябрь", true},
    {11, 16, "Ноябрь", true},
    {12, 16, "Декабрь", true},
    {13, 17, "I квартал", true},
    {14, 17, "II квартал, полугодие", true},
    {15, 17, "III квартал, 9 месяцев", true},
    {16, 17, "IV квартал, год", true},
    {17, 0, "Иное", true},
    {18, 0, "Прочие документы", false},
    {19, 17, "1-е полугодие", true},
    {20, 17, "2-е полугодие", true},
    {21, 0, "Запросы и переписка", true},
    {23, 0, "(Конечные документы ПУ ПФР)", false},
    {24, 0, "Документы", true},
};

void CheckYears(int32_t firstYear, int32_t lastYear) {
  if (firstYear < kMinYear || lastYear > kMaxYear || firstYear > lastYear) {
    ThrowVb(vberr::kInvalidProcedureCall,
            "reference years " + std::to_string(firstYear) + ".." + std::to_string(lastYear));
  }
}

int32_t DaysInMonth(int32_t year, int32_t month) {
  const chr::year_month_day_last last{chr::year{year} / chr::month{static_cast<unsigned>(month)} /
                                      chr::last};
  return static_cast<int32_t>(static_cast<unsigned>(last.day()));
}

int64_t JetBool(bool b) {
  return b ? -1 : 0;
}  // True is -1 in Jet

}  // namespace

const ReportCode* FindReportCode(int32_t reportId) {
  for (const ReportCode& c : kReportCodes) {
    if (c.reportId == reportId) return &c;
  }
  return nullptr;
}

int32_t PeriodId(int32_t year, int32_t reportId) {
  const ReportCode* code = FindReportCode(reportId);
  if (code == nullptr) return 0;
  if (!code->yearly)
    return reportId == kOtherDocsReportId ? kOtherDocsPeriodId : kPfrEndDocsPeriodId;
  if (year < kMinYear || year > kMaxYear) return 0;
  return (year - 2000) * 100 + reportId;
}

std::optional<PeriodKey> DecodePeriodId(int32_t timeId) {
  if (timeId == kOtherDocsPeriodId) return PeriodKey{0, kOtherDocsReportId};
  if (timeId == kPfrEndDocsPeriodId) return PeriodKey{0, kPfrEndDocsReportId};
  const int32_t year = 2000 + timeId / 100;
  const int32_t reportId = timeId % 100;
  const ReportCode* code = FindReportCode(reportId);
  if (timeId <= 0 || code == nullptr || !code->yearly || year < kMinYear || year > kMaxYear) {
    return std::nullopt;
  }
  return PeriodKey{year, reportId};
}

double OleSerialDate(int32_t year, int32_t month, int32_t day) {
  const chr::sys_days days{chr::year{year} / chr::month{static_cast<unsigned>(month)} /
                           chr::day{static_cast<unsigned>(day)}};
  return static_cast<double>(days.time_since_epoch().count() + kOleDaysAtUnixEpoch);
}

std::pair<double, double> PeriodDates(int32_t year, int32_t reportId) {
  int32_t firstMonth = 1;
  int32_t lastMonth = 12;
  if (reportId >= 1 && reportId <= 12) {
    firstMonth = lastMonth = reportId;
  } else if (reportId >= 13 && reportId <= 16) {
    lastMonth = (reportId - 12) * 3;
    firstMonth = lastMonth - 2;
  } else if (reportId == 19) {
    lastMonth = 6;
  } else if (reportId == 20) {
    firstMonth = 7;
  }
  return {OleSerialDate(year, firstMonth, 1),
          OleSerialDate(year, lastMonth, DaysInMonth(year, lastMonth))};
}

bool IsPublicHoliday(int32_t year, int32_t month, int32_t day) {
  const bool from2005 = year >= 2005;
  switch (month) {
    case 1:
      if (year >= 2013) return day <= 8;
      return day == 7 || day <= (from2005 ? 5 : 2);
    case 2:
      return day == 23;
    case 3:
      return day == 8;
    case 5:
      return day == 1 || day == 9 || (day == 2 && !from2005);
    case 6:
      return day == 12;
    case 11:
      return day == (from2005 ? 4 : 7);
    case 12:
      return day == 12 && !from2005;
    default:
      return false;
  }
}

bool IsWorkday(int32_t year, int32_t month, int32_t day) {
  const chr::weekday wd{chr::sys_days{chr::year{year} / chr::month{static_cast<unsigned>(month)} /
                                      chr::day{static_cast<unsigned>(day)}}};
  if (wd == chr::Saturday || wd == chr::Sunday) return false;
  return !IsPublicHoliday(year, month, day);
}

std::vector<RefRow> ReportTimeRows() {
  std::vector<RefRow> rows;
  for (const ReportCode& c : kReportCodes) {
    rows.push_back({"report_time",
                    {{"report_id", int64_t{c.reportId}},
                     {"parent_id", int64_t{c.parentId}},
                     {"name", std::string(c.name)}}});
  }
  return rows;
}

std::vector<RefRow> TimeByMonthRows(int32_t firstYear, int32_t lastYear) {
  CheckYears(firstYear, lastYear);
  std::vector<RefRow> rows;
  for (const ReportCode& c : kReportCodes) {
    if (c.yearly) continue;
    rows.push_back({"time_by_month",
                    {{"time_id", int64_t{PeriodId(0, c.reportId)}},
                     {"the_year", int64_t{0}},
                     {"report_id", int64_t{c.reportId}},
                     {"beg_date", std::monostate{}},
                     {"end_date", std::monostate{}}}});
  }
  for (int32_t year = firstYear; year <= lastYear; ++year) {
    for (const ReportCode& c : kReportCodes) {
      if (!c.yearly) continue;
      const auto [beg, end] = PeriodDates(year, c.reportId);
      rows.push_back({"time_by_month",
                      {{"time_id", int64_t{PeriodId(year, c.reportId)}},
                       {"the_year", int64_t{year}},
                       {"report_id", int64_t{c.reportId}},
                       {"beg_date", beg},
                       {"end_date", end}}});
    }
  }
  return rows;
}

std::vector<RefRow> CalendarRows(int32_t firstYear, int32_t lastYear) {
  CheckYears(firstYear, lastYear);
  std::vector<RefRow> rows;
  for (int32_t year = firstYear; year <= lastYear; ++year) {
    for (int32_t month = 1; month <= 12; ++month) {
      for (int32_t day = 1, n = DaysInMonth(year, month); day <= n; ++day) {
        rows.push_back({"Calendar",
                        {{"DayDate", OleSerialDate(year, month, day)},
                         {"IsWorkday", JetBool(IsWorkday(year, month, day))}}});
      }
    }
  }
  return rows;
}

std::vector<RefRow> AllReferenceRows() {
  std::vector<RefRow> rows = ReportTimeRows();
  for (auto* part : {&TimeByMonthRows, &CalendarRows}) {
    std::vector<RefRow> more = part(kFirstPeriodYear, kLastPeriodYear);
    rows.insert(rows.end(), std::make_move_iterator(more.begin()),
                std::make_move_iterator(more.end()));
  }
  return rows;
}

}  // namespace qv::schema
