#pragma once
// The demo's walk through the application's typical request, by the public
// classes only: the forms of a stream for a period (BlankQueries), one
// document read with its cells (DBDocument), a cell changed, one added and
// one emptied and the cells saved, the action recorded in the event log
// (DBLogs.LogEvent) and the entry read back, the document's versions
// listed; then a
// stream made for the walk, given a document with cells, and deleted with
// them (DBAccStream.DeleteRecord).

#include <iosfwd>

namespace qvdb {

// Prints each step; a failed step prints its error and the walk goes on.
// Raises error 5 at the end when a step failed.
void WalkDocuments(std::ostream& out);

}  // namespace qvdb
