#pragma once
// What the files of DBQPfr and DBQ2Ndfl share: list statements run into
// identifier or record collections, and the sub-documents of a person in a
// document. All on the thread's user database.

#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"

namespace qv::pfr::mPfrQueries {

inline constexpr std::string_view kModule = "mPfrQueries";

// The statement's column "ID" as numbers, in row order.
CollectionPtr IdsOf(const std::string& aSql);
// The first row's "ID", 0 when there is none.
double FirstIdOf(const std::string& aSql);
// The statement's "ID" as sub-document (person) records, references that
// read themselves on first use.
CollectionPtr SubDocsOf(const std::string& aSql);
CollectionPtr PfrPersonsOf(const std::string& aSql);
// The sub-document record of an identifier (a reference), or Nothing for 0.
ObjectPtr SubDocOrNothing(double aID);

// The condition a type list puts on `aColumn`: " and <column> in (..)", or
// "" for "*" (every type). Anything but "*" or numbers separated by "," is
// error 5, the empty list included.
std::string SubDocTypesCondition(const std::string& aSubDocTypes,
                                 std::string_view aColumn = "SubDocType");

// "select ID from PfrSubDocs where PfrPersonID = .. and DocumentID = .."
// with the types of a type list ("*": every type), in key order (the order a
// file's index gives; a server keeps a saved row after the others); `aTop1`
// selects the least identifier alone, Null when there is none (for
// FirstIdOf: a TOP 1 with ORDER BY ranks every row in a window on a file).
std::string PersonSubDocsSql(double aDocumentID, double aPfrPersonID,
                             const std::string& aSubDocTypes, bool aTop1);

// The elements of a one-dimensional array argument (a scalar counts as one).
std::vector<Variant> Elements(const Variant& aArray);
// Identifiers as an SQL list: "5, 7".
std::string NumList(const std::vector<double>& aIDs);

// The text of a sub-document's cell (line 0, table 0) on the thread's user
// database, as the cell session reads it; "" for an absent cell or a Null
// value.
std::string CellText(double aSubDocID, int32_t aKey);

}  // namespace qv::pfr::mPfrQueries
