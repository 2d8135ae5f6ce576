// `qvdb copy SRC DEST`.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "Commands.h"
#include "DataFolder.h"
#include "FolderCopy.h"

namespace qvdb {

CommandRun AddCopyCommand(CLI::App& app, CommandContext&) {
  auto* copy = app.add_subcommand(
      "copy",
      "Copy a whole data folder (every database, shards included) between a folder on disk "
      "and a server folder, either way");
  struct Options {
    std::string source, dest;
    CopyOptions copy;
  };
  auto o = std::make_shared<Options>();
  NotEmpty(
      copy->add_option("source", o->source, "the folder to copy: a directory or a server location"))
      ->required();
  NotEmpty(
      copy->add_option("dest", o->dest, "the new folder: an empty directory or server database"))
      ->required();
  NotEmpty(
      copy->add_option("--functions", o->copy.functionsScript,
                       "a server DEST: run this script of the Jet functions instead of creating "
                       "the extension"));
  copy->footer(
      "DEST is built as `qvdb init` builds a folder, then each database gets its source's rows "
      "in one transaction, counter values kept. A DEST that holds a database is refused. "
      "Run `qvdb check` on both sides after.");
  return [copy, o]() -> std::optional<int> {
    if (!*copy) return std::nullopt;
    const std::string source = FolderArgument(o->source), dest = FolderArgument(o->dest);
    o->copy.heading = "Copying " + ShownFolder(source) + " to " + ShownFolder(dest) + ":\n";
    const auto copied = CopyDataFolder(source, dest, std::cout, o->copy);
    int64_t rows = 0;
    for (const DatabaseCopied& d : copied) rows += d.rows;
    std::cout << copied.size() << " databases, " << rows << " rows copied\n";
    return 0;
  };
}

}  // namespace qvdb
