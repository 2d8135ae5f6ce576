#pragma once
// The demo's walk through a big document: the first document of editor
// type 6 that `qvdb generate` gave shard files, opened by name through
// Qv_DBProvider.DBBigDocs, its volume's sub-documents walked with the
// forward iterator, and the first cells of the first few read back.

#include <iosfwd>

namespace qvdb {

// Prints what it reads; says so when the folder has no big document. Error
// 5 at the end when the step failed (its error printed).
void WalkBigDocs(std::ostream& out);

}  // namespace qvdb
