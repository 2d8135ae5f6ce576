#pragma once
// The display title of the warrant under which a personnel row (a person at
// a job place) signs: its active warrant of kind 1, or the latest one when
// none is active. The signer lists of DictQueries show these titles. The
// warrants sit above the queries, so they are reached by ProgID
// (Qv_DBProvider.DBQWarrant, through the thread's object factory).

#include <optional>
#include <string>

namespace qv::queries {

// The warrant's Caption, or nullopt when the personnel row has no warrant of
// the kind at all.
std::optional<std::string> ActiveWarrantTitle(double aPersonnelID);

}  // namespace qv::queries
