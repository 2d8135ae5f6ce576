#pragma once
// The display title of the warrant under which a personnel row (a person at
// a job place) signs: its active warrant, or the latest one when none is
// active. The signer lists of DictQueries show these titles.

#include <functional>
#include <optional>
#include <string>

namespace qv::queries {

// The title, or nullopt when the personnel row has no warrant at all.
std::optional<std::string> ActiveWarrantTitle(double aPersonnelID);

// Where the titles come from; the default source knows no warrants.
using WarrantTitleSource = std::function<std::optional<std::string>(double aPersonnelID)>;
// Replaces the source (process-wide; null restores the default) and returns
// the previous one. For tests that need warrants without the warrant tables.
WarrantTitleSource SetWarrantTitleSource(WarrantTitleSource source);

}  // namespace qv::queries
