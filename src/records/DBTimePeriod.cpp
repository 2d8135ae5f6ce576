#include "records/ReferenceMappers.h"

#include <array>

namespace qv::records {
namespace {
using namespace col;
constexpr ColumnDef kTimePeriodColumns[] = {Long("Report_ID"), Long("The_Year"), Date("Beg_Date"),
                                            Date("End_Date")};
constexpr ColumnMap kTimePeriodMap{"Time_By_Month", kTimePeriodColumns, "time_id"};

// The Report_IDs in their order within a year: months, each quarter after
// its third month, half-years and nine months after theirs, then the year.
constexpr std::array<std::pair<int, int>, 23> kChronology{
    {{1, 1},   {2, 2},   {3, 3},   {13, 4},  {4, 5},   {5, 6},   {6, 7},   {14, 8},
     {19, 9},  {7, 10},  {8, 11},  {9, 12},  {15, 13}, {10, 14}, {11, 15}, {12, 16},
     {16, 17}, {20, 18}, {17, 19}, {21, 20}, {24, 21}, {18, 91}, {23, 98}}};

void SetPeriodOrder(QvRecord& rec) {
  static const int reportId = rec.PropertyIndex("Report_ID");
  static const int order = rec.PropertyIndex("PeriodOrder");
  rec.SetValue(order, Variant(PeriodOrderOf(CLng(rec.Value(reportId)))));
}
}  // namespace

int32_t PeriodOrderOf(int32_t reportId) {
  thread_local const std::array<int32_t, 31> table = [] {
    std::array<int32_t, 31> t;
    t.fill(99);
    for (auto [id, order] : kChronology) t[id] = order;
    return t;
  }();
  return reportId >= 1 && reportId <= 30 ? table[reportId] : 99;
}

const MapperDef& DBTimePeriod::Def() {
  static const MapperDef def{
      "Qv_Records.QvTimePeriod", kTimePeriodMap, false, {.afterRead = &SetPeriodOrder}};
  return def;
}

QV_DEFINE_CLASS(DBTimePeriod, "Qv_DBProvider.DBTimePeriod", QV_CREATABLE(DBTimePeriod),
                QV_MAPPER_MEMBERS(DBTimePeriod))

}  // namespace qv::records
