#pragma once
// The schemas of a server data folder as a whole: what the folder's files
// are to a folder on disk (made, renamed into place, listed, removed), each
// reached by a location whose search path names it first
// (ServerLocationInSchema). Each call connects on its own, outside every
// transaction of the library's connections, as a file is made and removed
// outside them.
//
// Errors: 3051 the server cannot be reached; the server's own mapped onto
// Jet's (PgToJetError); 3204 a schema made that exists; 3218 a schema
// removed while another session's transaction uses one of its tables.

#include <string>
#include <string_view>
#include <vector>

namespace qv::jet {

// Makes the schema `location` names first (ServerFolderSchema).
void CreateServerSchema(std::string_view location);

// Gives the schema `location` names the name `newName` unless a schema of
// that name exists (then false, and nothing changes).
bool RenameServerSchema(std::string_view location, std::string_view newName);

// Whether the schema `location` names exists.
bool ServerSchemaExists(std::string_view location);

// The schemas of the server database whose names are `prefix` followed by
// one or more digits, in name order.
std::vector<std::string> ServerSchemasNumbered(std::string_view location, std::string_view prefix);

// Removes the schemas `names` of the server database `location` names,
// with everything in them, all or none (one transaction); with `probe` the
// removal is rolled back: whether it would succeed now. It waits for no
// other session: one that has any of them open (a database open on it) or
// whose transaction holds a lock on any of their tables makes it fail with
// 3218.
void DropServerSchemas(std::string_view location, const std::vector<std::string>& names,
                       bool probe = false);

}  // namespace qv::jet
