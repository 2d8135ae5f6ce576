// `qvdb import-mdb SRC DEST [--keep-unknown]`.

#include <unistd.h>
#include <CLI/CLI.hpp>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "DataFolder.h"
#include "FolderCopy.h"
#include "ImportMdb.h"
#include "ProgressBar.h"

namespace qvdb {

namespace {

// Set by SIGINT and SIGTERM during an import, which then stops at the next
// row and removes what it wrote.
std::atomic<bool> gInterrupted{false};

int RunImportMdb(const std::string& src, const std::string& dest, bool keepUnknown) {
  if (IsServerFolder(dest))
    throw UserError(
        "import-mdb writes a new folder on disk: import into one, then `qvdb copy DIR " +
        ShownFolder(dest) + "` copies it to the server");
  ImportOptions options;
  options.keepUnknown = keepUnknown;
  options.cancel = &gInterrupted;
  if (isatty(STDERR_FILENO)) {
    auto bar = std::make_shared<ProgressBar>("rows");
    options.progress = [bar](const std::string& file, int64_t done, int64_t total) {
      bar->Draw(file, file == "BigDocs" ? "files" : "rows", done, total);
    };
  }
  struct sigaction action {};
  action.sa_handler = [](int) { gInterrupted = true; };
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::error_code ec;
  const ImportSummary summary = std::filesystem::is_directory(src, ec)
                                    ? ImportDataFolder(src, dest, options)
                                    : ImportJetFile(src, dest, options);
  PrintImportSummary(summary, std::cout);
  if (!summary.missingFiles.empty()) {
    std::string names;
    for (const std::string& n : summary.missingFiles) names += (names.empty() ? "" : ", ") + n;
    std::cout.flush();
    std::cerr << "qvdb: warning: " << src << " has no " << names
              << ", so neither has the new folder: the address and classifier operations "
                 "need them (copy the installation's files in by hand)\n";
  }
  return 0;
}

}  // namespace

CommandRun AddImportMdbCommand(CLI::App& app, CommandContext&) {
  auto* importMdb = app.add_subcommand(
      "import-mdb",
      "Bring a Windows installation's Jet files over into a new data folder, or copy one "
      "Jet file into a new database file");
  struct Options {
    std::string src, dest;
    bool keepUnknown = false;
  };
  auto o = std::make_shared<Options>();
  NotEmpty(importMdb->add_option(
               "src", o->src,
               "a folder with Quivane.mdb (and Kladr.mdb, Okato.mdb, BigDocs/), or one "
               "Jet file (.mdb)"))
      ->required();
  NotEmpty(importMdb->add_option("dest", o->dest, "the new data folder, or the new database file"))
      ->required();
  importMdb->add_flag("--keep-unknown", o->keepUnknown,
                      "also copy the tables and columns the schema does not know, with "
                      "their Jet types");
  importMdb->footer(
      "The source files are opened read-only. A folder is imported at the schema version "
      "its DBVersion tells and then migrated to the current one; each table of the schema "
      "takes the rows of the source table of the same name (columns matched by name, "
      "without regard to case). Everything is written into a temporary folder beside DEST "
      "and renamed to DEST at the end: a failure or Ctrl-C leaves no DEST and names the "
      "table and row. Prints rows read and written per table and every value converted "
      "with loss.");
  return [importMdb, o]() -> std::optional<int> {
    if (!*importMdb) return std::nullopt;
    return RunImportMdb(o->src, o->dest, o->keepUnknown);
  };
}

}  // namespace qvdb
