#pragma once
// The demo's walk through the pension-fund data: an insurance-contribution
// report read with its personal sections (DBDocument, DBPfrSubDoc, the
// persons reading themselves on first use), a few cells of a section read
// through the cell-storage session, one cell changed through the session
// and seen by DBPfrSubDoc.ReadOneCell (then put back), and the section's
// person with the lazy part (DBPfrPerson.ReadLazyFields). The report is one
// of those `qvdb generate` writes.

#include <iosfwd>

namespace qvdb {

// Prints each step; a failed step prints its error and the walk goes on.
// Raises error 5 at the end when a step failed.
void WalkPfr(std::ostream& out);

}  // namespace qvdb
