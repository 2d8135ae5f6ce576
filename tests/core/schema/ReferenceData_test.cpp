// Reference rows of an empty data folder: report codes, reporting periods and
// the calendar, checked against the schema and against the calendar itself.

#include "core/schema/ReferenceData.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "core/schema/Schema.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "support/TestSupport.h"

namespace qv::schema {
namespace {

const RefValue* Value(const RefRow& row, std::string_view column) {
  for (const auto& [name, value] : row.values) {
    if (name == column) return &value;
  }
  return nullptr;
}
int64_t IntOf(const RefRow& row, std::string_view column) {
  return std::get<int64_t>(*Value(row, column));
}
double DateOf(const RefRow& row, std::string_view column) {
  return std::get<double>(*Value(row, column));
}

// Every value goes to an existing column of a matching kind; required columns
// get a value.
TEST(SchemaReferenceData, RowsFitTheSchema) {
  std::map<std::string, int> counts;
  for (const RefRow& row : AllReferenceRows()) {
    const TableDef* t = FindTable(DbFile::kUser, row.table);
    ASSERT_NE(t, nullptr) << row.table;
    ++counts[std::string(row.table)];
    for (const auto& [name, value] : row.values) {
      const FieldDef* f = FindField(*t, name);
      ASSERT_NE(f, nullptr) << row.table << "." << name;
      switch (f->type) {
        case JetType::kLong:
        case JetType::kBoolean:
          EXPECT_TRUE(std::holds_alternative<int64_t>(value) ||
                      (!f->required && std::holds_alternative<std::monostate>(value)))
              << row.table << "." << name;
          break;
        case JetType::kDate:
          EXPECT_TRUE(std::holds_alternative<double>(value) ||
                      (!f->required && std::holds_alternative<std::monostate>(value)))
              << row.table << "." << name;
          break;
        case JetType::kText:
          ASSERT_TRUE(std::holds_alternative<std::string>(value)) << row.table << "." << name;
          EXPECT_LE(Len(std::get<std::string>(value)), f->size)  // UTF-16 units
              << row.table << "." << name;
          break;
        default:
          ADD_FAILURE() << "unexpected column type " << row.table << "." << name;
      }
    }
    for (const FieldDef& f : t->fields) {
      if (f.required) {
        EXPECT_NE(Value(row, f.name), nullptr) << row.table << "." << f.name;
      }
    }
  }
  EXPECT_EQ(counts["report_time"], 23);
  EXPECT_EQ(counts["time_by_month"], 2 + 21 * (kLastPeriodYear - kFirstPeriodYear + 1));
  EXPECT_EQ(counts["Calendar"], 10227);  // the days of 2003..2030
}

TEST(SchemaReferenceData, FixedPeriodsDecodeToTheirReports) {
  EXPECT_EQ(DecodePeriodId(163), (PeriodKey{0, 18}));
  EXPECT_EQ(DecodePeriodId(246), (PeriodKey{0, 23}));
  EXPECT_EQ(FindReportCode(18)->name, "Прочие документы");
  EXPECT_EQ(FindReportCode(23)->name, "(Конечные документы ПУ ПФР)");
  EXPECT_EQ(PeriodId(2020, 18), 163);
  EXPECT_EQ(PeriodId(0, 23), 246);

  int found = 0;
  for (const RefRow& row : TimeByMonthRows()) {
    const int64_t id = IntOf(row, "time_id");
    if (id != 163 && id != 246) continue;
    ++found;
    EXPECT_EQ(IntOf(row, "report_id"), id == 163 ? 18 : 23);
    EXPECT_EQ(IntOf(row, "the_year"), 0);  // outside every year's list of periods
    EXPECT_TRUE(std::holds_alternative<std::monostate>(*Value(row, "beg_date")));
  }
  EXPECT_EQ(found, 2);
}

TEST(SchemaReferenceData, PeriodIdentifiersAreUniqueAndDecode) {
  std::set<int64_t> ids;
  std::map<int64_t, int64_t> latestOfCode;  // report code -> id of the latest year seen
  for (const RefRow& row : TimeByMonthRows(2003, 2099)) {
    const int64_t id = IntOf(row, "time_id");
    EXPECT_TRUE(ids.insert(id).second) << id;
    const int64_t year = IntOf(row, "the_year");
    const int64_t code = IntOf(row, "report_id");
    EXPECT_EQ(DecodePeriodId(static_cast<int32_t>(id)),
              (PeriodKey{static_cast<int32_t>(year), static_cast<int32_t>(code)}));
    if (year == 0) continue;
    EXPECT_EQ(PeriodId(static_cast<int32_t>(year), static_cast<int32_t>(code)), id);
    // max(time_id) over a code finds its latest year.
    EXPECT_GT(id, latestOfCode[code]);
    latestOfCode[code] = id;
  }
  EXPECT_EQ(PeriodId(2026, 13), 2613);
  EXPECT_EQ(PeriodId(2026, 22), 0);  // no such code
  EXPECT_EQ(PeriodId(2100, 1), 0);
  EXPECT_EQ(DecodePeriodId(2622), std::nullopt);
  EXPECT_EQ(DecodePeriodId(100), std::nullopt);
  EXPECT_EQ(DecodePeriodId(-313), std::nullopt);
}

TEST(SchemaReferenceData, PeriodsNestInTheirParents) {
  std::map<int64_t, int64_t> parent;
  for (const RefRow& row : ReportTimeRows())
    parent[IntOf(row, "report_id")] = IntOf(row, "parent_id");
  struct Span {
    double beg, end;
  };
  for (int32_t year : {2003, 2024, 2025}) {
    SCOPED_TRACE(year);
    std::map<int64_t, Span> byCode;
    std::map<int64_t, std::set<int64_t>> children;
    for (const RefRow& row : TimeByMonthRows(year, year)) {
      if (IntOf(row, "the_year") != year) continue;
      const int64_t code = IntOf(row, "report_id");
      byCode[code] = {DateOf(row, "beg_date"), DateOf(row, "end_date")};
      children[parent[code]].insert(code);
    }
    // Each quarter holds exactly its three months, end to end.
    for (int64_t q = 13; q <= 16; ++q) {
      const int64_t m = (q - 12) * 3;
      EXPECT_EQ(children[q], (std::set<int64_t>{m - 2, m - 1, m}));
      EXPECT_EQ(byCode[q].beg, byCode[m - 2].beg);
      EXPECT_EQ(byCode[q].end, byCode[m].end);
      EXPECT_EQ(byCode[m - 1].beg, byCode[m - 2].end + 1);
      EXPECT_EQ(byCode[m].beg, byCode[m - 1].end + 1);
    }
    // Quarters and half-years make up the year without gaps.
    EXPECT_EQ(byCode[14].beg, byCode[13].end + 1);
    EXPECT_EQ(byCode[19].beg, byCode[13].beg);
    EXPECT_EQ(byCode[19].end, byCode[14].end);
    EXPECT_EQ(byCode[20].beg, byCode[15].beg);
    EXPECT_EQ(byCode[20].end, byCode[16].end);
    EXPECT_EQ(byCode[17].beg, OleSerialDate(year, 1, 1));
    EXPECT_EQ(byCode[17].end, OleSerialDate(year, 12, 31));
    for (int64_t child : children[17]) {
      EXPECT_GE(byCode[child].beg, byCode[17].beg);
      EXPECT_LE(byCode[child].end, byCode[17].end);
    }
  }
  // February of a leap year.
  auto [beg, end] = PeriodDates(2024, 2);
  EXPECT_EQ(end - beg + 1, 29);
  // Dates are OLE serial days.
  EXPECT_EQ(OleSerialDate(1899, 12, 30), 0);
  EXPECT_EQ(OleSerialDate(1900, 1, 1), 2);
  EXPECT_EQ(OleSerialDate(2000, 1, 1), 36526);
  EXPECT_EQ(OleSerialDate(2025, 3, 1) - OleSerialDate(2025, 2, 28), 1);
}

TEST(SchemaReferenceData, CalendarMarksWeekendsAndHolidays) {
  std::map<double, int64_t> workday;
  for (const RefRow& row : CalendarRows(2025, 2025)) {
    workday[DateOf(row, "DayDate")] = IntOf(row, "IsWorkday");
  }
  ASSERT_EQ(workday.size(), 365u);
  auto Day = [&](int m, int d) { return workday.at(OleSerialDate(2025, m, d)); };
  // 1-8 January off; 9 (Thursday) on; 11-12 a weekend; 1 May a holiday, 2 May
  // no longer; 4 November a holiday, 7 November only until 2004.
  const std::pair<int, const char*> months[] = {
      {1, "00000000-.00-"}, {5, "0-......0"}, {6, "...........0"}, {11, "...0..-"}};
  for (const auto& [m, days] : months)
    for (int d = 1; days[d - 1]; ++d)
      EXPECT_TRUE(days[d - 1] == '.' || Day(m, d) == (days[d - 1] == '-' ? -1 : 0))
          << d << "." << m;
  int weekdays = 0;
  for (const auto& [date, flag] : workday) weekdays += flag != 0;
  // 261 weekdays; 10 holidays fall on them (1-3 and 6-8 January, 1 and 9 May,
  // 12 June, 4 November); 23 February and 8 March fall on a weekend.
  EXPECT_EQ(weekdays, 251);
}

TEST(SchemaReferenceData, HolidaysFollowTheLawOfTheirYear) {
  struct Case {
    int y, m, d;
    bool holiday;
  };
  constexpr Case kCases[] = {
      {2003, 1, 2, true},    {2003, 1, 3, false},  {2003, 5, 2, true},  {2003, 11, 7, true},
      {2003, 12, 12, true},  {2003, 11, 4, false}, {2010, 1, 5, true},  {2010, 1, 6, false},
      {2010, 1, 8, false},   {2010, 5, 2, false},  {2010, 11, 4, true}, {2010, 11, 7, false},
      {2010, 12, 12, false}, {2013, 1, 6, true},   {2013, 1, 8, true},  {2013, 1, 9, false},
      {2024, 2, 23, true},   {2024, 3, 8, true},   {2024, 3, 7, false}, {2004, 1, 5, false},
      {2004, 12, 12, true},  {2004, 11, 4, false}, {2005, 1, 5, true},  {2005, 11, 4, true},
      {2005, 5, 2, false},   {2012, 1, 6, false},  {2012, 1, 8, false},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(IsPublicHoliday(c.y, c.m, c.d), c.holiday) << c.d << "." << c.m << "." << c.y;
  }
}

TEST(SchemaReferenceData, RejectsYearsOutsideTheScheme) {
  for (auto [first, last] : {std::pair{2000, 2003}, {2003, 2100}, {2010, 2009}}) {
    SCOPED_TRACE(first);
    testsupport::ExpectError(vberr::kInvalidProcedureCall, "reference years",
                             [&] { TimeByMonthRows(first, last); });
    testsupport::ExpectError(vberr::kInvalidProcedureCall, "reference years",
                             [&] { CalendarRows(first, last); });
  }
}

}  // namespace
}  // namespace qv::schema
