// `qvdb init [DIR] [--force]`.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "Commands.h"
#include "DataFolder.h"

namespace qvdb {

namespace {

int RunInit(const std::string& dir, bool force) {
  const auto folder = ResolveDataFolder(dir.empty() ? std::nullopt : std::optional(dir));
  const InitResult r = InitDataFolder(folder, force);
  std::cout << "Created " << r.folder.string() << ":";
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
  };
  auto o = std::make_shared<Options>();
  init->add_option("dir", o->dir, "the folder (default: as for --data)");
  init->add_flag("--force", o->force, "replace an existing database");
  return [init, o]() -> std::optional<int> {
    if (!*init) return std::nullopt;
    return RunInit(o->dir, o->force);
  };
}

}  // namespace qvdb
