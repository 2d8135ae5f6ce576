#pragma once
// Small lookups shared by the query classes: the owner of an accounting
// stream, the parent of a branch, and the calling thread's cache of
// reporting periods (table time_by_month). The branch and accounted-person
// relations the person mapper needs too are in records/PersonRelations.h.
//
// Identifiers are doubles as everywhere in the interface. The "exactly one
// row" reads raise 40090 when no row or several rows exist; the lookups
// with a default never fail for a missing row.

#include <cstdint>
#include <string>

#include "platform/automation/Variant.h"

namespace qv::queries {

// The owner of stream `aAccStreamID`: its stream type always; for a natural
// person the category 6 and not a branch; for a legal person its category
// and whether it is a branch. For an owner of another type the category
// and branch flag are left as they are.
void GetAccStreamOwnerInfo(double aAccStreamID, int32_t& rLPCategory, int32_t& rAccStreamType,
                           bool& rIsBranch);
// The person that owns the stream (exactly one row).
double GetAccStreamPersonID(double aAccStreamID);
// The parent organisation of a branch; 0 when the person is no branch.
double GetParentOfBranch(double aPersonID);
// The legal-person category of a consolidation stream; 0 when there is none.
int32_t GetConsStreamLPCategory(double aConsStreamID);
// The doc type a template belongs to for branch groups: the class it is
// coupled with in ScattersList, else its own; 0 when neither is known.
int32_t GetDocTypeOfTemplate(int32_t aTemplateID);

// One reporting period as the cache keeps it.
struct IntTimePeriodInfo {
  double TimeID = 0;
  int32_t Year = 0;
  int32_t ReportID = 0;
  Variant BegDate;
  Variant EndDate;
};

// The year and report code of a period from the thread's cache, which is
// filled completely on the thread's first call and never refreshed (a
// period added later in the same thread is not seen). False when unknown.
bool GetPeriodFromCache(double aTimeID, int32_t& rYear, int32_t& rReportID);
// The same period by year and report code; null when unknown.
const IntTimePeriodInfo* GetPeriodByYearAndReport(int32_t aYear, int32_t aReportID);
// Month (the closing month for a quarter) and period type (1 month, 2 the
// first three quarters, 3 the fourth quarter) of a cached period; false for
// an unknown period, a year outside 1..2099 or a report code that is
// neither a month nor a quarter. `rYear` is set whenever the period is
// cached; the month and type only when the result is true.
bool GetPeriodMonthAndType(int32_t aTimeID, int32_t& rYear, int32_t& rMonth, int32_t& rPeriodType);
// 1 for a month (1..12), 2 for a quarter (13..16), 3 for the year (17), else 0.
int32_t PeriodKindOfReport(int32_t aReportID);

// Forgets the calling thread's period cache (the data folder changed);
// miDataBase::ResetSessionForThread calls it.
void ResetPeriodCacheForThread();

}  // namespace qv::queries
