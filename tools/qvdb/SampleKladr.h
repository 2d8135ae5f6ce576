#pragma once
// The address classifier a new data folder gets (`qvdb init`): a few
// regions with cities, streets and their postal codes, numbered as
// `qvdb kladr import` numbers the published classifier (a region's ID is
// its code; other objects from 100), so searches have something to find
// before the real classifier is imported.

#include <cstdint>

#include "platform/dao/Database.h"

namespace qvdb::sample {

// Adds the sample to an empty classifier file; returns the objects added.
int64_t WriteSampleKladr(qv::dao::Database& kladr);

}  // namespace qvdb::sample
