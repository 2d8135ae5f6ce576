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
  struct Options {
    std::string target;
    bool keepDamaged = false;
  };
  auto o = std::make_shared<Options>();
  ctx.AddData(backup);
  backup->add_option("target", o->target, "the new folder (must not exist or be empty)")
      ->required();
  backup->add_flag("--keep-damaged", o->keepDamaged,
                   "copy a file that fails its check too, with a warning, instead of refusing");
  backup->footer(
      "Each file's copy holds one committed state of it, commits still in its log included. "
      "Copying the .mdb files of a folder in use is no backup: recent commits may be only "
      "in their logs (-wal files). Each copy is checked (SQLite's quick check): a damaged "
      "file stops the backup, and nothing is left in TARGET, unless --keep-damaged.");
  return [backup, o, &ctx]() -> std::optional<int> {
    if (!*backup) return std::nullopt;
    const auto folder = ResolveDataFolder(ctx.data);
    const BackupResult r = BackupDataFolder(folder, o->target, std::cout, o->keepDamaged);
    std::cout << r.files << " database files of " << folder.string() << " copied to " << o->target
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
