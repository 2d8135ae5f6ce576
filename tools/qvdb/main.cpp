// qvdb: sets up, explores and checks a data folder, generates sample data,
// and calls any public operation of the library by name.
//
// Exit status: 0 success, 1 an error (printed on stderr, whatever the
// format, as "Error NUMBER: MESSAGE" and the chain of procedures after it)
// or a database file that failed `check`, 2 bad command-line use.

#include <malloc.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

#include "Backup.h"
#include "Call.h"
#include "Check.h"
#include "DataFolder.h"
#include "Demo.h"
#include "Generator.h"
#include "ImportMdb.h"
#include "KladrImport.h"
#include "Output.h"
#include "RefData.h"
#include "SqlShell.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/automation/Error.h"

namespace {

using qvdb::Format;

std::string Join(const std::vector<std::string>& parts) {
  std::string s;
  for (const std::string& p : parts) s += (s.empty() ? "" : " ") + p;
  return s;
}

int RunInit(const std::string& dir, bool force) {
  const auto folder = qvdb::ResolveDataFolder(dir.empty() ? std::nullopt : std::optional(dir));
  const qvdb::InitResult r = qvdb::InitDataFolder(folder, force);
  std::cout << "Created " << r.folder.string() << ":";
  for (const std::string& f : r.files) std::cout << " " << f;
  std::cout << " (" << r.referenceRows << " reference rows, " << r.classifierObjects
            << " sample address objects)\n";
  if (r.refDataDirectory.empty())
    std::cout << "The law's reference data was not found: load it with `qvdb refdata load DIR`\n";
  else
    std::cout << "The law's reference data: edition " << r.refDataEdition << ", " << r.refDataRows
              << " rows (" << r.refDataDirectory.string() << ")\n";
  if (r.optionsWritten) std::cout << "Wrote " << qvdb::kOptionsFileName << " (locking off)\n";
  std::cout << "DataBasePath recorded in " << r.registryFile.string() << "\n";
  return 0;
}

int RunSql(const std::optional<std::string>& data, const std::string& dbFile,
           const std::string& format, const std::vector<std::string>& words) {
  const std::filesystem::path file = dbFile.empty()
                                         ? qvdb::UserDatabasePath(qvdb::ResolveDataFolder(data))
                                         : std::filesystem::path(dbFile);
  qvdb::SqlSession session(file, qvdb::ParseFormat(format), std::cout, std::cerr);
  if (!words.empty()) {
    session.Execute(Join(words));
    return 0;
  }
  const int errors = isatty(STDIN_FILENO) ? session.RunInteractive() : session.RunScript(std::cin);
  return errors == 0 ? 0 : 1;
}

// A progress bar on stderr, redrawn at most ten times a second; a new label
// (the file an import is at) starts a new bar.
class ProgressBar {
 public:
  explicit ProgressBar(std::string unit) : unit_(std::move(unit)) {}
  void operator()(int64_t done, int64_t total) { Draw("", unit_, done, total); }
  void Draw(const std::string& label, const std::string& unit, int64_t done, int64_t total) {
    const auto now = std::chrono::steady_clock::now();
    if (label != label_) {
      label_ = label;
      start_ = now;
    } else if (done < total && now - last_ < std::chrono::milliseconds(100)) {
      return;
    }
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const int width = 30;
    const int filled = total ? static_cast<int>(width * done / total) : width;
    std::fprintf(stderr, "\r%s%s[%.*s%*s] %3d%% %lld/%lld %s, %.0f/s ", label.c_str(),
                 label.empty() ? "" : " ", filled, "##############################", width - filled,
                 "", total ? static_cast<int>(100 * done / total) : 100,
                 static_cast<long long>(done), static_cast<long long>(total), unit.c_str(),
                 seconds > 0 ? done / seconds : 0.0);
    if (done >= total) std::fprintf(stderr, "\n");
  }

 private:
  std::string unit_;
  std::string label_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
};

int RunGenerate(const std::optional<std::string>& data, const qvdb::GenerateOptions& o) {
  const auto folder = qvdb::ResolveDataFolder(data);
  qvdb::ProgressFn progress;
  if (isatty(STDERR_FILENO)) progress = ProgressBar("documents");
  const qvdb::GenerateStats s = qvdb::Generate(qvdb::UserDatabasePath(folder), o, progress);
  std::cout << "Generated in " << folder.string() << " (seed " << o.seed << ", periods "
            << s.firstYear << "-" << s.lastYear << "):\n"
            << "  " << s.legalPersons << " organisations, " << s.branches << " branches, "
            << s.entrepreneurs << " entrepreneurs, " << s.workers << " jobs\n"
            << "  " << s.streams << " accounting streams, " << s.templates << " templates, "
            << s.templateDates << " template dates, " << s.templateCategories
            << " rows of who may use them\n"
            << "  " << s.documents << " documents (" << s.adjustments << " adjustments), "
            << s.cells << " cells\n"
            << "  " << s.pfr.persons << " insured persons, " << s.pfr.subDocs
            << " personal sections with " << s.pfr.cells << " cells\n"
            << "  " << s.bigDocs.documents << " big documents with " << s.bigDocs.subDocs
            << " sub-documents and " << s.bigDocs.cells << " cells in their shard files\n";
  std::printf("  %.2f s, %.0f documents/s\n", s.seconds,
              s.seconds > 0 ? static_cast<double>(s.documents) / s.seconds : 0.0);
  return 0;
}

int RunCheck(const std::optional<std::string>& data, const qvdb::CheckOptions& options) {
  const qvdb::CheckResult r =
      qvdb::CheckDataFolder(qvdb::ResolveDataFolder(data), std::cout, options);
  std::cout << "\n" << r.files << " files, " << r.problems << " problems";
  if (r.unchecked > 0) std::cout << ", " << r.unchecked << " not checked (no room on the disk)";
  std::cout << "\n";
  // The status is the data folder's integrity; the self-test's failures are
  // reported above (sibling libraries without a stand-in here always fail it).
  return r.problems == 0 && r.unchecked == 0 ? 0 : 1;
}

int RunBackup(const std::optional<std::string>& data, const std::string& target) {
  const auto folder = qvdb::ResolveDataFolder(data);
  const int files = qvdb::BackupDataFolder(folder, target, std::cout);
  std::cout << files << " database files of " << folder.string() << " copied to " << target << "\n";
  return 0;
}

// Set by SIGINT and SIGTERM during an import, which then stops at the next
// row and removes what it wrote.
std::atomic<bool> gInterrupted{false};

int RunImportMdb(const std::string& src, const std::string& dest, bool keepUnknown) {
  qvdb::ImportOptions options;
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
  const qvdb::ImportSummary summary = std::filesystem::is_directory(src, ec)
                                          ? qvdb::ImportDataFolder(src, dest, options)
                                          : qvdb::ImportJetFile(src, dest, options);
  qvdb::PrintImportSummary(summary, std::cout);
  return 0;
}

int RunKladrImport(const std::optional<std::string>& data, const std::string& dir) {
  const auto folder = qvdb::ResolveDataFolder(data);
  const auto file = folder / qv::schema::DbFileName(qv::schema::DbFile::kKladr);
  qvdb::KladrProgressFn progress;
  if (isatty(STDERR_FILENO)) {
    auto bar = std::make_shared<ProgressBar>("rows");
    progress = [bar](const std::string& f, int64_t done, int64_t total) {
      bar->Draw(f, "rows", done, total);
    };
  }
  const qvdb::KladrImportStats s = qvdb::ImportKladr(dir, file, progress);
  std::cout << "Imported into " << file.string() << ": " << s.abbrevs << " abbreviations, "
            << s.objects << " regions, districts, cities and settlements, " << s.streets
            << " streets";
  if (s.notCurrent || s.orphans)
    std::cout << " (left out: " << s.notCurrent << " older names, " << s.orphans
              << " without a parent)";
  std::cout << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Inside a transaction each statement frees its savepoint data when it
  // ends; by default glibc then gives the top of the heap back to the system
  // (brk) and asks for it again with the next row, which costs more than the
  // insert itself. Keeping up to 128 MB makes generate about 2.5 times faster.
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  mallopt(M_TOP_PAD, 16 << 20);
  // A write past the file-size limit (ulimit -f) would end the process by
  // SIGXFSZ with no word said; ignored, the write fails, the engine reports
  // it as an error, the transaction rolls back and the error is printed.
  std::signal(SIGXFSZ, SIG_IGN);
  CLI::App app{"qvdb: set up, explore and check a data folder; call any operation by name"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string(QVDB_VERSION));
  app.set_help_all_flag("--help-all", "Print this help with every command's options and exit");
  std::string format = "table";
  std::optional<std::string> data;
  auto addData = [&](CLI::App* cmd) {
    cmd->add_option("--data", data,
                    "the data folder (default: the registry's DataBasePath, "
                    "else ~/.local/share/qvdb)");
  };
  auto addFormat = [&](CLI::App* cmd) {
    cmd->add_option("--format", format, "table, tsv or json")->capture_default_str();
  };

  auto* init = app.add_subcommand("init",
                                  "Create a data folder with the schema, the reference "
                                  "data and locking off; record it in the registry");
  std::string initDir;
  bool force = false;
  init->add_option("dir", initDir, "the folder (default: as for --data)");
  init->add_flag("--force", force, "replace an existing database");

  auto* sql = app.add_subcommand(
      "sql", "Run one Jet SQL statement, or a shell reading statements ending with \";\"");
  std::string dbFile;
  std::vector<std::string> words;
  addData(sql);
  sql->add_option("--db", dbFile, "a database file instead of the data folder's");
  addFormat(sql);
  sql->add_option("statement", words, "the statement (quote it); none: the shell");

  auto* call = app.add_subcommand(
      "call",
      "Create a public class by ProgID and call an operation; prints the result, then "
      "the arguments that are objects or were changed");
  std::string target;
  addData(call);
  addFormat(call);
  call->add_option("target", target, "CLASS.OPERATION (Qv_DBProvider. is implied)")->required();
  // The arguments are what follows the target, word for word: as an option
  // they would lose a bracketed array ("[1,2]" split into two arguments, "[]"
  // into none).
  call->allow_extras();
  call->footer(
      "ARGS... after CLASS.OPERATION, by form: 12, i:12, true, null, empty, d:2024-03-31, "
      "s:text, @PROGID, @PROGID{Name=value,...}, [a,b,...] (an array, [] an empty one); a "
      "negative number as it is (-5).\n"
      "--data points the library at DIR for this process through a temporary copy of the "
      "registry file (QV_REGISTRY); the user's registry file is not changed.");

  auto* generate = app.add_subcommand(
      "generate",
      "Generate sample taxpayers, streams and documents with cells (one seed, one "
      "data set)");
  qvdb::GenerateOptions gen;
  addData(generate);
  generate->add_option("--seed", gen.seed, "the seed")->capture_default_str();
  generate->add_option("--streams", gen.streams, "accounting streams (one per taxpayer)")
      ->required();
  generate->add_option("--documents", gen.documents, "documents in all")->required();
  generate->add_option("--cells", gen.cells, "cells per document")->capture_default_str();
  generate->add_option("--first-year", gen.firstYear,
                       "first year of the periods (default: enough years for the documents)");
  generate->add_option("--last-year", gen.lastYear, "last year of the periods")
      ->capture_default_str();
  generate->add_option("--batch", gen.batch, "documents per transaction")->capture_default_str();

  auto* check = app.add_subcommand(
      "check",
      "Check every database file of the folder (integrity, catalogue against the "
      "schema) and run the registration self-test");
  addData(check);
  qvdb::CheckOptions checkOptions;
  check->add_flag("--remove-unowned", checkOptions.removeUnowned,
                  "remove the shard files no document owns (left by an interrupted run)");
  check->footer(
      "Exit status: 0 when every file is sound, 1 when one has a problem; the self-test's "
      "results are printed and do not change it.");

  auto* backup = app.add_subcommand(
      "backup",
      "Copy every database file of the folder (BigDocs shards included) into a new "
      "folder with SQLite's online backup, while the folder may be in use");
  std::string backupTarget;
  addData(backup);
  backup->add_option("target", backupTarget, "the new folder (must not exist or be empty)")
      ->required();
  backup->footer(
      "Each file's copy holds one committed state of it, commits still in its log included. "
      "Copying the .mdb files of a folder in use is no backup: recent commits may be only "
      "in their logs (-wal files).");

  auto* demo = app.add_subcommand("demo",
                                  "Walk through a user's first steps on the default "
                                  "data folder (created and filled when empty)");
  addData(demo);

  auto* importMdb = app.add_subcommand(
      "import-mdb",
      "Bring a Windows installation's Jet files over into a new data folder, or copy one "
      "Jet file into a new database file");
  std::string importSrc, importDest;
  bool keepUnknown = false;
  importMdb
      ->add_option("src", importSrc,
                   "a folder with Quivane.mdb (and Kladr.mdb, Okato.mdb, BigDocs/), or one "
                   "Jet file (.mdb)")
      ->required();
  importMdb->add_option("dest", importDest, "the new data folder, or the new database file")
      ->required();
  importMdb->add_flag("--keep-unknown", keepUnknown,
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

  auto* classes =
      app.add_subcommand("classes",
                         "List the classes call can create (ProgIDs), or with --members every "
                         "CLASS.OPERATION call takes");
  bool classMembers = false;
  classes->add_flag("--members", classMembers, "list the operations and properties");

  auto* kladr = app.add_subcommand("kladr", "The address classifier (Kladr.mdb)");
  kladr->require_subcommand(1);
  auto* kladrImport = kladr->add_subcommand(
      "import",
      "Replace the classifier with the published one: SOCRBASE.DBF, KLADR.DBF and STREET.DBF "
      "(dBase, code page 866) of DIR");
  std::string kladrDir;
  addData(kladrImport);
  kladrImport->add_option("dir", kladrDir, "the folder of the .DBF files")->required();
  kladrImport->footer(
      "Loads current objects only; a region's ID is its two-digit code. One transaction: "
      "a missing or broken file leaves the classifier as it was.");

  const auto runRefData = qvdb::AddRefDataCommand(app, addData, data);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "qvdb: " << e.what() << "\nRun with --help for more information.\n";
    return 2;
  }
  try {
    if (*init) return RunInit(initDir, force);
    if (*sql) return RunSql(data, dbFile, format, words);
    if (*call) {
      const qvdb::Format fmt = qvdb::ParseFormat(format);
      qvdb::PointLibraryAt(qvdb::ResolveDataFolder(data));
      qvdb::RunCall(target, call->remaining(), fmt, std::cout);
      return 0;
    }
    if (*generate) return RunGenerate(data, gen);
    if (*check) return RunCheck(data, checkOptions);
    if (*backup) return RunBackup(data, backupTarget);
    if (*demo) return qvdb::RunDemo(data, std::cout);
    if (*importMdb) return RunImportMdb(importSrc, importDest, keepUnknown);
    if (*kladrImport) return RunKladrImport(data, kladrDir);
    if (const auto status = runRefData()) return *status;
    if (*classes) {
      qvdb::ListClasses(classMembers, std::cout);
      return 0;
    }
  } catch (const qv::Error& e) {
    std::cout.flush();
    std::cerr << qvdb::ErrorReport(e) << std::endl;
    return 1;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "Error: " << e.what() << std::endl;
    return 1;
  }
  return 0;
}
