#pragma once
// `qvdb generate`, pension-fund part: the insured persons of the taxpayers of
// the streams just made (3 to 8 employees each, with name, insurance number,
// taxpayer number, birth date and sex) and, for every insurance-contribution
// report of those streams (form 4), one personal section per employee with
// its cells: the sheet number, the adjustment number of an adjustment, and
// a table of three months (month, contribution base, contributions) with
// its line count. Cell texts are in the form the cell-storage session
// writes (numbers with "." as the decimal point).
//
// Written through table-type recordsets like the rest of the generator, one
// transaction per 200 reports. The seed alone decides the rows (a sequence
// of its own, so the documents' generation does not move them).

#include <cstdint>

#include "platform/dao/Database.h"
#include "platform/dao/Workspace.h"

namespace qvdb {

struct PfrCounts {
  int64_t persons = 0, subDocs = 0, cells = 0;
};

// Cell keys of a personal section.
inline constexpr int32_t kSheetNumberKey = 1021001;
inline constexpr int32_t kCorrectionNumberKey = 1021002;
inline constexpr int32_t kMonthLinesKey = 1024000;
inline constexpr int32_t kMonthKey = 1024001, kBaseKey = 1024002, kContributionKey = 1024003;
inline constexpr int32_t kPersonalSection = 1;  // SubDocType

// For the streams whose identifier is at least `firstStream`.
PfrCounts GeneratePfr(qv::dao::Workspace& ws, qv::dao::Database& db, uint64_t seed,
                      int64_t firstStream);

}  // namespace qvdb
