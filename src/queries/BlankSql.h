#pragma once
// The pieces of SQL the blank queries share: the availability filter of a
// template for a stream's owner in a period, the templates of the same doc
// type, and caller lists checked before they go into a statement.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv::queries::blanksql {

// The joins of templates with their doc type, publications and periods
// (aliases te, ty, td, tm), from "from" on.
inline const std::string kAvailableJoins =
    "from (( doc_templates As te "
    "INNER JOIN doc_type_class AS ty ON te.doc_type_id=ty.doc_type_id) "
    "INNER JOIN template_dates AS td ON te.template_id=td.template_id) "
    "INNER JOIN time_by_month AS tm ON td.time_id=tm.time_id ";

// "tc.AllowedForBranch = 1 " or "tc.AllowedForMainOrg = 1 ".
std::string AllowedFor(bool aBranch);
// The conditions under which template `te` is offered in a period to an
// owner of a category, stream type and branch flag.
std::string Available(double aTimePeriodID, int32_t aCategory, int32_t aStreamType, bool aBranch);
// "(select ... ) ": every template of the doc type of a template, given or
// the outer query's te.template_id.
std::string SameDocTypeOf(double aTemplateID);
std::string SameDocTypeOfColumn();
// The statement of the blanks of a stream in a period for its owner's
// category, stream type and branch flag; `aProfiles` the doc types of the
// stream's active profiles ("-1" for none), or nothing when profiles do not
// apply; `aFolderIDs` a caller's folder list or "".
std::string BlanksByPeriodSql(double aAccStreamID, double aTimePeriodID, int32_t aCategory,
                              int32_t aStreamType, bool aBranch,
                              const std::optional<std::string>& aProfiles,
                              const std::string& aFolderIDs);
// A caller's folder list ("3;5" or "3,5") as "3, 5"; error 5 otherwise.
std::string FolderList(const std::string& aFolderIDs);

}  // namespace qv::queries::blanksql
