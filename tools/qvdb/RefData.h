#pragma once
// `qvdb refdata load` and the reference-data parts of `qvdb init` and
// `qvdb check`: the law's reference data (core/schema/RefData.h) in a data
// folder.

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>

#include "core/schema/RefData.h"

namespace CLI {
class App;
}

namespace qvdb {

// Adds `refdata load [FILE|DIR] [--summary]` to `app`; `addData` gives a
// command the shared --data option, whose value is `data`. The function
// returned runs the command when it was given (its exit status) and is
// nullopt otherwise.
std::function<std::optional<int>()> AddRefDataCommand(CLI::App& app,
                                                      const std::function<void(CLI::App*)>& addData,
                                                      const std::optional<std::string>& data);

// Reads `fileOrDirectory` (the shipped reference data when empty), brings
// the folder's schema up to date and loads the rows into its user database
// in one transaction. A fault of a file is found before the folder is
// touched. Errors: 3044 no folder, 3024 no user database in it or no
// shipped reference data found; 3274 naming file, line and column; those of
// the load, after which every table is as it was.
qv::schema::RefLoadResult LoadRefDataIntoFolder(const std::filesystem::path& folder,
                                                const std::filesystem::path& fileOrDirectory);

// What a load did: a row per table, the rows changed with the values they
// had and have, and (unless `summaryOnly`) the keys of the rows added.
void PrintRefDataLoad(const qv::schema::RefLoadResult& r, const std::filesystem::path& from,
                      bool summaryOnly, std::ostream& out);

// The check of a folder's edition against the library's: prints one line;
// returns 1 when the folder's is older or missing, else 0. The library's
// reference data missing is printed and not counted: the folder is not at
// fault.
int CheckRefDataEdition(const std::filesystem::path& folder, std::ostream& out);

}  // namespace qvdb
