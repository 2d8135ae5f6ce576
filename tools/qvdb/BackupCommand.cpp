// `qvdb backup TARGET`.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "Backup.h"
#include "Commands.h"
#include "DataFolder.h"

namespace qvdb {

CommandRun AddBackupCommand(CLI::App& app, CommandContext& ctx) {
  auto* backup = app.add_subcommand(
      "backup",
      "Copy every database file of the folder (BigDocs shards included) into a new "
      "folder with SQLite's online backup, while the folder may be in use");
  auto target = std::make_shared<std::string>();
  ctx.AddData(backup);
  backup->add_option("target", *target, "the new folder (must not exist or be empty)")->required();
  backup->footer(
      "Each file's copy holds one committed state of it, commits still in its log included. "
      "Copying the .mdb files of a folder in use is no backup: recent commits may be only "
      "in their logs (-wal files).");
  return [backup, target, &ctx]() -> std::optional<int> {
    if (!*backup) return std::nullopt;
    const auto folder = ResolveDataFolder(ctx.data);
    const int files = BackupDataFolder(folder, *target, std::cout);
    std::cout << files << " database files of " << folder.string() << " copied to " << *target
              << "\n";
    return 0;
  };
}

}  // namespace qvdb
