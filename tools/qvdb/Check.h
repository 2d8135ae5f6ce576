#pragma once
// `qvdb check`: the integrity of every database file of a data folder (the
// three files and the big-document shards under BigDocs/): SQLite's
// integrity check, then the catalogue against the schema (every table,
// column with its Jet type, size and Required, and index with its columns,
// primary and unique flags); the adjustment chains of the documents and the
// owners of their cells (ChainProblems); the options file (a file that cannot be read,
// is not well-formed or has an unknown Enable word counts as a problem:
// locking would be off without a word); the number of event-log writes the
// library skipped (outside development mode a failing log insert does not
// fail the caller's operation, so this is where an administrator sees it);
// then the library's registration self-test, when its class is registered.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace qv::jet {
class Catalog;
class Engine;
}  // namespace qv::jet
namespace qv::dao {
class Database;
}

namespace qvdb {

inline constexpr std::string_view kSelfTestProgId = "Qv_DBProvider.STQvDBProvider";

// What is wrong with the catalogue of a file of `kind` ("Quivane.mdb",
// "Kladr.mdb", "Okato.mdb", or "shard" / "shard0" for big-document files),
// one line each; empty when it matches the schema.
std::vector<std::string> CatalogueProblems(qv::jet::Catalog& catalog, std::string_view kind);
// The same for a database of any engine (a server's catalogue).
std::vector<std::string> CatalogueProblems(qv::jet::Engine& engine, std::string_view kind);

struct CheckOptions {
  // Remove the shard files no document owns (CheckShards.h), on a server
  // also the temporary schemas of cut-off shard builds, rather than only
  // report them.
  bool removeUnowned = false;
};

struct CheckResult {
  int files = 0;
  int problems = 0;   // integrity, catalogue, chain, unowned-shard and options-file problems
  int unchecked = 0;  // files not opened for lack of room on the disk (not known to be damaged)
  int selfTestFailed = 0;  // -1 when the self-test is not available
  int skippedLogWrites = 0;
};

// Prints a line per file and per problem. Error 3044 when the folder does
// not exist. A server folder (a server location) gets what applies there:
// the catalogue of each database, the big documents' shards, the shard
// schemas no document owns and the leftovers of cut-off shard builds, the
// chains, the schema version, the reference data's edition and the
// self-test.
CheckResult CheckDataFolder(const std::filesystem::path& folder, std::ostream& out,
                            const CheckOptions& options = {});

// Creates `progId` and runs TestClassesRegistration with a console tester;
// prints that it is not available when the class is not registered
// (returns -1), else the number of failed tests.
int RunSelfTest(std::string_view progId, std::ostream& out);

}  // namespace qvdb
