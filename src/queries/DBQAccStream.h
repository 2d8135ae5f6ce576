#pragma once
// DBQAccStream ("Qv_DBProvider.DBQAccStream"): lists and tests over the
// accounting streams (AccStream), one reporting relation of a taxpayer
// with its tax offices.
//
// Stateless. Lists return collections of stream records that read
// themselves on first use; sort modes as in PersonQueries ("{dir}" takes
// the direction, an unknown mode leaves the list unordered).

#include <cstdint>
#include <string>

#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"

namespace qv::queries {

class DBQAccStream : public Object {
  QV_DECLARE_CLASS(DBQAccStream)

 public:
  // The streams of a person: "name" by display name and KPP, "kpp" by KPP,
  // "imns" by tax office and KPP; any other mode in storage order.
  CollectionPtr GetAccStreamsByPerson(double aPersonID, const std::string& aSortMode,
                                      int32_t aSortDirection);
};

}  // namespace qv::queries
