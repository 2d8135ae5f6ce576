#pragma once
// The demo's walk through the document queries, by the public classes only:
// a new adjustment of a document with its cells copied
// (DocumentQueries.CreateNewAdjustment2), a file attached to it with its
// stored file (DBAttachmentDoc) and its content kept as a compressed blob
// (DBDataBlob), the stream's documents of the period listed, and a scratch
// table made, queried and dropped in a temporary database (TempDataBase).

#include <iosfwd>

namespace qvdb {

// Prints each step; a failed step prints its error and the walk goes on.
// Raises error 5 at the end when a step failed.
void WalkDocQueries(std::ostream& out);

}  // namespace qvdb
