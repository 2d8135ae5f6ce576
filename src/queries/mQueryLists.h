#pragma once
// What the person and stream query classes share: running a list statement
// into a collection of record references, and the checks of identifiers
// handed in by callers.

#include <string>
#include <string_view>

#include "platform/automation/Collection.h"

namespace qv::queries {

// The statement's column "ID" as person, worker or stream records, in row
// order. Records are references that read themselves on first use.
CollectionPtr PersonsOf(const std::string& aSql);
CollectionPtr WorkersOf(const std::string& aSql);
CollectionPtr AccStreamsOf(const std::string& aSql);

// Error 5 naming `aWhat` unless `aID` is a whole number above 0 (6 for a
// NaN or an infinity, as in a statement).
void RequireId(double aID, std::string_view aWhat);
// Error 5 naming `aWhat` unless a Person row with this identifier exists.
void RequireStoredPerson(double aID, std::string_view aWhat);

// A text searched with Like: its wildcards (*, ?, #, [) stand for themselves.
std::string LikeLiteral(std::string_view aText);

}  // namespace qv::queries
