#pragma once
// The rules the documents' adjustment chains and cells keep, checked over a
// user database by `qvdb check` and by the tests of the operations that
// create, move and delete documents. A library of its own (qvdb_chains), so
// the tests need none of the rest of the tool.

#include <string>
#include <vector>

namespace qv::dao {
class Database;
}

namespace qvdb {

// What breaks the documents' chains in user database `db`, one line per
// rule broken: every Top_Doc_ID and Bottom_Next_ID names an existing
// document that names it back; a newer version is a later adjustment of the
// same instance (stream, period, doc type, instance number); an instance has
// one current version (no Top_Doc_ID); a document has one cell per key;
// every cell belongs to an existing document. Empty when they hold.
std::vector<std::string> ChainProblems(qv::dao::Database& db);

}  // namespace qvdb
