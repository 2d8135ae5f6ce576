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

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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
// created when missing. When that schema already has the functions, an
// older set (another build's version) is replaced in place.
void InstallServerFunctions(const std::string& location, const std::string& script);

// The Jet functions a server folder's sessions call (the first schema of
// the location's search path, then "jet", that has them), brought up to the
// library's version: a set an older build made (another version, or none)
// is replaced in place. `schema` is empty when no schema has them.
struct ServerFunctionsState {
  std::string schema;
  std::string version;    // the set's before; empty: it answered none
  bool replaced = false;  // it was older and was replaced
};
ServerFunctionsState BringServerFunctionsUpToDate(const std::string& location);

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

// A counter of a copied table: its column, and the largest value the
// source's counter ever handed out (0 none), rows deleted since included.
struct CopiedCounter {
  std::string table;
  std::string column;
  int64_t highWater = 0;
};

// Moves the sequence of each counter of the database at `location` past
// the largest value of its column and past its high-water, so that the
// next row gets a value the source never handed out.
void MoveCountersOn(const std::string& location, const std::vector<CopiedCounter>& counters);

// A value as the server writes and reads it in text form (a number's
// digits, bytes as "\\x" and hex digits); nullopt for Null.
using ServerText = std::optional<std::string>;

// Reads tables of a server folder's databases (schemas of one database) in
// one read-only transaction of one session: every table of every database
// as it stood at one instant, whatever other sessions commit meanwhile.
// `serializable`: the transaction is serializable and deferrable, so that
// the state it reads is one no serializable transaction's commit can upset;
// else repeatable read. Error 3051 when the server cannot be reached.
class ServerFolderReader {
 public:
  ServerFolderReader(const std::string& location, bool serializable);
  ~ServerFolderReader();
  ServerFolderReader(const ServerFolderReader&) = delete;
  ServerFolderReader& operator=(const ServerFolderReader&) = delete;

  // The folder's databases (ServerFolderDatabases) at that instant: a
  // shard made or removed meanwhile is as the tables show it.
  std::vector<std::string> Databases();

  // Calls `row` with each row's values of `columns` of `table` in the
  // schema `schema` (one row held at a time); returns the number of rows.
  int64_t Read(const std::string& schema, const std::string& table,
               const std::vector<std::string>& columns,
               const std::function<void(const std::vector<ServerText>&)>& row);
  // The largest value the counter `column` of `table` in `schema` has
  // handed out (its sequence's, whatever rows are left); 0 before any.
  int64_t CounterHighWater(const std::string& schema, const std::string& table,
                           const std::string& column);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Replaces the rows of tables of one server database (the schema of
// `location`) in one transaction of its own session: each value is a
// parameter whose type the server takes from its column, bytes included.
// Nothing is written unless Commit is called.
class ServerTableWriter {
 public:
  explicit ServerTableWriter(const std::string& location);
  ~ServerTableWriter();
  ServerTableWriter(const ServerTableWriter&) = delete;
  ServerTableWriter& operator=(const ServerTableWriter&) = delete;

  // Empties `table` and makes Insert write rows of `columns` into it.
  void Replace(const std::string& table, const std::vector<std::string>& columns);
  void Insert(const std::vector<ServerText>& values);
  void Commit();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvdb
