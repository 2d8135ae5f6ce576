#pragma once
// The combined status of a pension-fund master document, made from the
// statuses of its end documents (rows of doc_registry whose PfrMasterDocID
// is the master).

#include <cstdint>

namespace qv::queries {

// 0 for master 0. Otherwise 3 (delivered) when there is at least one end
// document and all are delivered, else 2 (completed) when one is completed
// or delivered, else 1 (in work; also for a master without end documents).
// Statuses other than 1, 2 and 3 count for nothing.
int32_t IntGetPfrMasterStatus_Dao(double aMasterDocID);

}  // namespace qv::queries
