#include "queries/mSortDirection.h"

namespace qv::queries {

std::string_view DirectionToSql(int32_t aSortDirection) {
  switch (aSortDirection) {
    case 0:
      return "asc";
    case 1:
      return "desc";
    default:
      return "";
  }
}

std::string ApplySortDirection(std::string aSql, int32_t aSortDirection) {
  static constexpr std::string_view kPlaceholder = "{dir}";
  const std::string_view dir = DirectionToSql(aSortDirection);
  for (size_t at = aSql.find(kPlaceholder); at != std::string::npos;
       at = aSql.find(kPlaceholder, at + dir.size()))
    aSql.replace(at, kPlaceholder.size(), dir);
  return aSql;
}

}  // namespace qv::queries
