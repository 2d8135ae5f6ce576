// `qvdb backup TARGET`.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "Backup.h"
#include "Commands.h"
#include "DataFolder.h"
#include "FolderCopy.h"

namespace qvdb {

CommandRun AddBackupCommand(CLI::App& app, CommandContext& ctx) {
  auto* backup = app.add_subcommand(
      "backup",
      "Copy every database file of the folder (BigDocs shards included) into a new "
      "folder with SQLite's online backup, while the folder may be in use");
  struct Options {
    std::vector<std::string> where;
    bool keepDamaged = false;
  };
  auto o = std::make_shared<Options>();
  ctx.AddData(backup);
  NotEmpty(
      backup->add_option("where", o->where,
                         "[SOURCE] TARGET: the new folder (must not exist or be empty), after the "
                         "folder to copy when not --data's"))
      ->required()
      ->expected(1, 2);
  backup->add_flag("--keep-damaged", o->keepDamaged,
                   "copy a file that fails its check too, with a warning, instead of refusing");
  backup->footer(
      "Each file's copy holds one committed state of it, commits still in its log included. "
      "Copying the .mdb files of a folder in use is no backup: recent commits may be only "
      "in their logs (-wal files). Each copy is checked (SQLite's quick check): a damaged "
      "file stops the backup, and nothing is left in TARGET, unless --keep-damaged. "
      "A server folder (SOURCE a postgresql:// URI or a libpq connection string) is written "
      "as a folder on disk, all its databases read in one read-only serializable transaction "
      "(one instant of the whole folder); `qvdb copy TARGET URI` restores it.");
  return [backup, o, &ctx]() -> std::optional<int> {
    if (!*backup) return std::nullopt;
    const std::optional<std::string> source =
        o->where.size() == 2 ? std::optional(o->where[0]) : ctx.data;
    const std::string target = o->where.back();
    const auto folder = ResolveDataFolder(source);
    if (IsServerFolder(target))
      throw UserError(
          "a backup is written to a folder on disk; `qvdb copy` copies a folder to a "
          "server");
    if (IsServerFolder(folder.string())) {
      CopyOptions snapshot;
      snapshot.snapshot = true;
      snapshot.heading = "Backing up " + ShownFolder(folder.string()) + " to " + target + ":\n";
      const auto copied =
          CopyDataFolder(folder.string(), FolderArgument(target), std::cout, snapshot);
      std::cout << copied.size() << " databases of " << ShownFolder(folder.string())
                << " copied to " << target << "\n";
      return 0;
    }
    const BackupResult r = BackupDataFolder(folder, target, std::cout, o->keepDamaged);
    std::cout << r.files << " database files of " << folder.string() << " copied to " << target
              << "\n";
    if (!r.damaged.empty()) {
      std::cout.flush();
      std::cerr << "qvdb: warning: " << r.damaged.size()
                << " damaged files copied as they are (run qvdb check):\n";
      for (const std::string& d : r.damaged) std::cerr << "  " << d << '\n';
    }
    return 0;
  };
}

}  // namespace qvdb
