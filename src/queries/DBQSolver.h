#pragma once
// DBQSolver ("Qv_DBProvider.DBQSolver"): document counts of an accounting
// stream in a period, for deciding what a taxpayer still has to file.
// Stateless.

#include <cstdint>
#include <string>

#include "platform/automation/Object.h"

namespace qv::queries {

class DBQSolver : public Object {
  QV_DECLARE_CLASS(DBQSolver)

 public:
  // The current versions of the stream's documents in the period, except
  // those of folders 3 and 4 and of the doc types `aExcludeTemplTypes`
  // (identifiers separated by ";" or ","; "" excludes none; anything but
  // numbers is error 5).
  int32_t GetDocCountInPeriod(double aAccStreamID, int32_t aTimePeriodID,
                              const std::string& aExcludeTemplTypes);
  // The number of distinct doc types of folder 3 among the stream's
  // documents in the period, with the same exclusion.
  int32_t GetTaxmonDocCountInPeriod(double aAccStreamID, int32_t aTimePeriodID,
                                    const std::string& aExcludeTemplTypes);
};

}  // namespace qv::queries
