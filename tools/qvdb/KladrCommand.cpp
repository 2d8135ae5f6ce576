// `qvdb kladr import DIR`.

#include <unistd.h>
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "Commands.h"
#include "DataFolder.h"
#include "FolderCopy.h"
#include "KladrImport.h"
#include "ProgressBar.h"
#include "core/schema/SchemaBuilder.h"

namespace qvdb {

namespace {

int RunKladrImport(const std::optional<std::string>& data, const std::string& dir) {
  const auto folder = ResolveDataFolder(data);
  // On a server folder the classifier is a schema beside the folder's own.
  const std::filesystem::path file =
      DatabaseLocation(folder.string(), qv::schema::DbFileName(qv::schema::DbFile::kKladr));
  KladrProgressFn progress;
  if (isatty(STDERR_FILENO)) {
    auto bar = std::make_shared<ProgressBar>("rows");
    progress = [bar](const std::string& f, int64_t done, int64_t total) {
      bar->Draw(f, "rows", done, total);
    };
  }
  const KladrImportStats s = ImportKladr(dir, file, progress);
  std::cout << "Imported into " << ShownFolder(file.string()) << ": " << s.abbrevs
            << " abbreviations, " << s.objects << " regions, districts, cities and settlements, "
            << s.streets << " streets";
  if (s.notCurrent || s.orphans)
    std::cout << " (left out: " << s.notCurrent << " older names, " << s.orphans
              << " without a parent)";
  std::cout << "\n";
  return 0;
}

}  // namespace

CommandRun AddKladrCommand(CLI::App& app, CommandContext& ctx) {
  auto* kladr = app.add_subcommand("kladr", "The address classifier (Kladr.mdb)");
  kladr->require_subcommand(1);
  auto* kladrImport = kladr->add_subcommand(
      "import",
      "Replace the classifier with the published one: SOCRBASE.DBF, KLADR.DBF and STREET.DBF "
      "(dBase, code page 866) of DIR");
  auto dir = std::make_shared<std::string>();
  ctx.AddData(kladrImport);
  NotEmpty(kladrImport->add_option("dir", *dir, "the folder of the .DBF files"))->required();
  kladrImport->footer(
      "Loads current objects only; a region's ID is its two-digit code. One transaction: "
      "a missing or broken file leaves the classifier as it was.");
  return [kladrImport, dir, &ctx]() -> std::optional<int> {
    if (!*kladrImport) return std::nullopt;
    return RunKladrImport(ctx.data, *dir);
  };
}

}  // namespace qvdb
