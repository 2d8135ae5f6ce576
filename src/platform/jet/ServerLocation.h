#pragma once
// A data folder on a server is a set of schemas of one database: the
// location (a postgresql:// URI or a libpq connection string) names the
// database and, through the search path its options set, the folder's
// schema; the folder's other databases (the classifiers, a big document's
// shards) are schemas named after it. These routines read and rewrite a
// location's search path without connecting.
//
//   "postgresql://h/office"                          folder schema "public"
//   "postgresql://h/office?options=-csearch_path%3Dacme,jet"   "acme"
//   ServerLocationInSchema(that, "acme_kladr")  ->  "... options='-c search_path=acme_kladr,jet'"
//
// Errors (3000-range Jet errors with the location shown, password masked):
// a location libpq cannot parse; a schema name that is not a plain
// lower-case identifier (letters a-z, digits, "_", at most 63 bytes, not
// starting with a digit), which the server would fold or need quoted.

#include <string>
#include <string_view>

namespace qv::jet {

// The folder's schema: the first entry of the search path the location's
// options set ("-c search_path=..."), else "public". "$user" is refused:
// the folder would depend on who connects.
std::string ServerFolderSchema(std::string_view location);

// Whether the location's options set a search path.
bool SetsSearchPath(std::string_view location);

// The location as a libpq connection string whose search path is `schema`
// followed by the entries after the first of the location's own search
// path, and "jet" (where the library's server functions are installed)
// when not among them. The location's other settings are kept.
std::string ServerLocationInSchema(std::string_view location, std::string_view schema);

// The location of the database `relativeName` of the server folder
// `folder` ("Quivane.mdb", "Kladr.mdb", a big document's "12/1200_3.mdb"):
// `mainName` is the folder's own schema (ServerFolderSchema), any other the
// folder's schema + "_" + the name without ".mdb", lower-cased, each
// character other than a-z and 0-9 written "_" ("Kladr.mdb" -> "acme_kladr",
// "12/1200_3.mdb" -> "acme_12_1200_3"). 3044 when that schema's name is
// longer than a server allows (63 bytes).
std::string ServerDatabaseLocation(std::string_view folder, std::string_view relativeName,
                                   std::string_view mainName);

// Whether `word` is a keyword of a libpq connection string ("host",
// "dbname", "service" ...), the lower-case name as libpq spells it.
bool IsConnectionKeyword(std::string_view word);

// Whether `name` may name a schema of a server folder (see above).
bool IsPlainSchemaName(std::string_view name);

}  // namespace qv::jet
