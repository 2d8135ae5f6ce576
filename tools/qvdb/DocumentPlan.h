#pragma once
// Which documents the sample data holds, decided before anything is written:
// for each stream its share of the documents, taken from its latest periods
// backwards, one slot per (form it files, period of the form's periodicity);
// a slot holds a chain of versions (the first one and its adjustments); when
// a stream has used every slot, the next instance starts over from the
// latest period. The plan is ordered by registration date, the order in
// which identifiers and registration numbers are given.

#include <cstdint>
#include <span>
#include <vector>

#include "SampleData.h"
#include "SampleForms.h"

namespace qvdb::sample {

struct PlanPeriod {
  int32_t timeId, year, reportId;  // report 13-16 quarters, 17 the year
  double beg, end;                 // OLE dates
};

struct PlannedDoc {
  int32_t stream;    // index into the streams given
  int32_t form;      // index into Forms()
  int32_t period;    // index into the periods given
  int32_t instance;  // 0 for the first instance
  int32_t version;   // adjustment number, 0 for the first version
  double registryDate;
  // Positions in the plan of the next older and the next newer version, -1
  // where there is none (the first and the current version).
  int32_t older = -1, newer = -1;
  // The current version of a period before the last two quarters, and every
  // superseded version, has been delivered.
  bool delivered = false;
};

// `filers` holds the kind of each stream. REQUIRES: at least one stream and
// one period; the periods in ascending order of their end.
std::vector<PlannedDoc> PlanDocuments(Random& r, std::span<const Filer> filers,
                                      std::span<const PlanPeriod> periods, int64_t documents);

}  // namespace qvdb::sample
