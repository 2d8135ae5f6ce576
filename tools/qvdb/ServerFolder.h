#pragma once
// The server side of a data folder that the library's engine does not do:
// which of the folder's databases a server holds, the Jet functions
// installed in the server database, and the counters' sequences moved past
// the rows copied in. Over libpq, every value a statement parameter.
//
// A folder's databases have relative names, on disk and on a server alike:
// "Quivane.mdb", "Kladr.mdb", "Okato.mdb" and the big-document shards
// "BigDocs/12/34/3412_0.mdb". On a server each is a schema
// (miDataBase::DataFolderLocation): the folder's own, or the folder's
// followed by "_" and the name without ".mdb", lower-cased, every other
// character "_" ("acme_kladr", "acme_bigdocs_12_34_3412_0").

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvdb {

// The relative name of the database kept in `schema` of the folder whose
// schema is `folderSchema`; empty when the schema is none of the folder's.
std::string RelativeNameOfSchema(std::string_view folderSchema, std::string_view schema);

// The relative names of the databases a server folder holds (schemas with
// the engine's catalogue), the user database first, then the classifiers,
// then the shards in name order. Error 3051 when the server cannot be
// reached.
std::vector<std::string> ServerFolderDatabases(const std::string& location);

// Makes the library's Jet functions callable in the folder's database:
// with an empty `script`, the schema "jet" and the extension qv_jet in it
// (an error naming the package to install when the server does not have
// the extension); else the statements of `script` run in the second schema
// of the location's search path ("jet" when it names one schema only),
// created when missing. Nothing is done when that schema already has the
// functions.
void InstallServerFunctions(const std::string& location, const std::string& script);

// Creates the schema of the database at `location` (the first of its
// search path) when missing.
void CreateServerSchema(const std::string& location);

// Whether the schema of the database at `location` exists.
bool ServerSchemaExists(const std::string& location);

// Drops the schema of the database at `location` with everything in it
// (what a failed init or copy made); nothing when it is not there.
void DropServerSchema(const std::string& location);

// `location` with the settings that make each transaction of its sessions
// read-only, serializable and deferrable: one transaction reads one state of
// the whole database that no other transaction's commit can upset.
std::string SnapshotLocation(const std::string& location);

// The Debian package that brings the extension to a server.
inline constexpr const char* kExtensionPackage = "qv-dbprovider-postgresql";

// Moves the sequence of each counter (table, column) of the database at
// `location` past the largest value of its column, so that the next row
// gets a new value.
void MoveCountersOn(const std::string& location,
                    const std::vector<std::pair<std::string, std::string>>& counters);

}  // namespace qvdb
