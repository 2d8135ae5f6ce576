#pragma once
// Sort directions of the list queries. A list statement carries the
// placeholder "{dir}" after each ordered column; the caller's direction
// replaces every one of them.

#include <cstdint>
#include <string>
#include <string_view>

namespace qv::queries {

// 0 gives "asc", 1 gives "desc", any other value the empty text (the
// engine's default order, ascending).
std::string_view DirectionToSql(int32_t aSortDirection);

// `aSql` with every "{dir}" replaced by DirectionToSql(aSortDirection).
std::string ApplySortDirection(std::string aSql, int32_t aSortDirection);

}  // namespace qv::queries
