// `qvdb init [DIR] [--force]`.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>
#include <utility>

#include "Commands.h"
#include "DataFolder.h"
#include "FolderCopy.h"

namespace qvdb {

namespace {

int RunInit(std::string dir, bool force, std::string server, const std::string& functions) {
  // A server location in the folder's place (given, or the registry's) is a
  // server folder, as copy and backup take one; built as a folder on disk it
  // would be begun and fail.
  if (server.empty() && dir.empty()) dir = ResolveDataFolder(std::nullopt).string();
  if (server.empty() && IsServerFolder(dir)) std::swap(server, dir);
  if (!server.empty() && !dir.empty())
    throw UserError("name either a folder or --server, not both", 2);
  if (server.empty() && !functions.empty())
    throw UserError("--functions is for a server folder (--server URI)", 2);
  if (!server.empty() && !IsServerFolder(server))
    throw UserError(
        "--server takes a postgresql:// URI or a libpq connection string "
        "(host=... dbname=...), not '" +
            server + "'",
        2);
  InitResult r;
  if (server.empty()) {
    r = InitDataFolder(ResolveDataFolder(dir), force);
  } else {
    r = InitServerFolder(server, functions);
  }
  std::cout << "Created " << ShownFolder(r.folder.string()) << ":";
  for (const std::string& f : r.files) std::cout << " " << f;
  std::cout << " (" << r.referenceRows << " reference rows, " << r.classifierObjects
            << " sample address objects)\n";
  if (r.refDataDirectory.empty())
    std::cout << "The law's reference data was not found: load it with `qvdb refdata load DIR`\n";
  else
    std::cout << "The law's reference data: edition " << r.refDataEdition << ", " << r.refDataRows
              << " rows (" << r.refDataDirectory.string() << ")\n";
  if (r.optionsWritten) std::cout << "Wrote " << kOptionsFileName << " (locking off)\n";
  std::cout << "DataBasePath recorded in " << r.registryFile.string() << "\n";
  return 0;
}

}  // namespace

CommandRun AddInitCommand(CLI::App& app, CommandContext&) {
  auto* init = app.add_subcommand("init",
                                  "Create a data folder with the schema, the reference "
                                  "data and locking off; record it in the registry");
  struct Options {
    std::string dir;
    bool force = false;
    std::string server, functions;
  };
  auto o = std::make_shared<Options>();
  // --data too, as every other command names its folder.
  NotEmpty(init->add_option("dir,--data", o->dir,
                            "the folder, or a server location as for --server (default: the "
                            "registry's DataBasePath, else ~/.local/share/qvdb)"));
  init->add_flag("--force", o->force, "replace an existing database");
  NotEmpty(
      init->add_option("--server", o->server,
                       "create the folder on a PostgreSQL server instead: a postgresql:// URI or a "
                       "libpq connection string; the folder's schema is the first of its search "
                       "path (public without one)"));
  NotEmpty(
      init->add_option("--functions", o->functions,
                       "with --server: run this script of the Jet functions (in the search path's "
                       "second schema) instead of creating the extension qv_jet"));
  return [init, o]() -> std::optional<int> {
    if (!*init) return std::nullopt;
    return RunInit(o->dir, o->force, o->server, o->functions);
  };
}

}  // namespace qvdb
