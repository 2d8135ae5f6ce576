#include "RefData.h"

#include <CLI/CLI.hpp>

#include <iomanip>
#include <iostream>
#include <memory>
#include <ostream>

#include "Commands.h"
#include "DataFolder.h"
#include "FolderCopy.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/automation/Error.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetError.h"

namespace qvdb {

namespace fs = std::filesystem;
namespace schema = qv::schema;

namespace {

fs::path ShippedOrThrow() {
  fs::path dir = schema::ShippedRefDataDirectory();
  if (dir.empty())
    qv::jet::ThrowJet(qv::jet::jeterr::kFileNotFound,
                      {"the library's reference data (set QV_REFDATA_DIR or name a directory)"});
  return dir;
}

}  // namespace

schema::RefLoadResult LoadRefDataIntoFolder(const fs::path& folder,
                                            const fs::path& fileOrDirectory) {
  const schema::RefDataSet set =
      schema::ReadRefData(fileOrDirectory.empty() ? ShippedOrThrow() : fileOrDirectory);
  std::error_code ec;
  // A server folder is a location, no directory; init --server loads it the same way.
  if (!IsServerFolder(folder.string()) && !fs::is_directory(folder, ec))
    qv::jet::ThrowJet(qv::jet::jeterr::kInvalidPath, {folder.string()});
  if (!HasDatabase(folder))
    qv::jet::ThrowJet(qv::jet::jeterr::kFileNotFound, {UserDatabasePath(folder).string()});
  // A folder made before the editions were recorded gets their table.
  schema::BuildDataFolder(folder.string());
  auto ws = qv::dao::DBEngine::ForThread()->CreateWorkspace("qvdb refdata", "admin", "",
                                                            qv::Variant(qv::dao::dbUseJet));
  auto db = ws->Open(UserDatabasePath(folder).string(), {});
  schema::RefLoadResult r = schema::LoadRefData(*db, set);
  ws->Close();
  return r;
}

void PrintRefDataLoad(const schema::RefLoadResult& r, const fs::path& from, bool summaryOnly,
                      std::ostream& out) {
  out << "Reference data " << (r.edition.empty() ? "(no edition: one file)" : r.edition) << " from "
      << from.string() << ":\n";
  out << "  " << std::left << std::setw(28) << "table" << std::right << std::setw(7) << "added"
      << std::setw(9) << "changed" << std::setw(7) << "left" << std::setw(11) << "not named"
      << "\n";
  for (const schema::RefTableCounts& c : r.tables)
    out << "  " << std::left << std::setw(28) << c.table << std::right << std::setw(7) << c.added
        << std::setw(9) << c.changed << std::setw(7) << c.left << std::setw(11) << c.untouched
        << "\n";
  for (const schema::RefRowChange& c : r.changes) {
    if (c.added && summaryOnly) continue;
    out << (c.added ? "  added    " : "  changed  ") << c.table << " " << c.key
        << (c.added ? "" : ": " + c.what) << "\n";
  }
  out << r.Added() << " rows added, " << r.Changed() << " changed";
  if (!r.edition.empty()) out << "; edition " << r.edition << " recorded";
  out << "\n";
}

std::function<std::optional<int>()> AddRefDataCommand(CLI::App& app,
                                                      const std::function<void(CLI::App*)>& addData,
                                                      const std::optional<std::string>& data) {
  auto* refdata = app.add_subcommand("refdata", "The law's reference data in the data folder");
  refdata->require_subcommand(1);
  auto* load = refdata->add_subcommand(
      "load",
      "Load an edition of the reference data (limits, tariffs, code dictionaries, 2-NDFL codes, "
      "powers) into the folder, by key and validity, in one transaction");
  addData(load);
  auto path = std::make_shared<std::string>();
  auto summary = std::make_shared<bool>(false);
  NotEmpty(load->add_option("path", *path,
                            "a directory with EDITION and <Table>.tsv files, or one such file "
                            "(default: the library's own)"));
  load->add_flag("--summary", *summary, "print the counts and the changed rows only");
  load->footer(
      "A row is added when the folder has none of its key, changed when a value differs and "
      "left when all are equal; rows the files do not name stay. A fault of a file is an error "
      "naming FILE:LINE:COLUMN and changes nothing.");
  return [load, path, summary, &data]() -> std::optional<int> {
    if (!*load) return std::nullopt;
    const fs::path folder = ResolveDataFolder(data);
    const fs::path from = path->empty() ? ShippedOrThrow() : fs::path(*path);
    PrintRefDataLoad(LoadRefDataIntoFolder(folder, from), from, *summary, std::cout);
    return 0;
  };
}

int CheckRefDataEdition(const fs::path& folder, std::ostream& out) {
  std::string shipped;
  const fs::path dir = schema::ShippedRefDataDirectory();
  std::string folderEdition;
  try {
    if (!dir.empty()) shipped = schema::ReadRefData(dir).edition;
  } catch (const qv::Error& e) {
    out << "  ?       the library's reference data cannot be read: " << e.Description() << "\n";
    return 0;
  }
  try {
    auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
    qv::dao::DatabaseOptions readOnly;
    readOnly.readOnly = true;
    auto db = ws->Open(UserDatabasePath(folder).string(), readOnly);
    folderEdition = schema::StoredRefDataEdition(*db);
    db->Close();
  } catch (const qv::Error& e) {
    out << "  FAILED  " << e.Description() << "\n";
    return 1;
  }
  if (shipped.empty()) {
    out << "  ?       edition " << (folderEdition.empty() ? "none" : folderEdition)
        << "; the library's reference data was not found\n";
    return 0;
  }
  if (!folderEdition.empty() && folderEdition >= shipped) {
    out << "  ok      edition " << folderEdition << " (the library's: " << shipped << ")\n";
    return 0;
  }
  out << "  OLDER   edition " << (folderEdition.empty() ? "none" : folderEdition)
      << ", the library's is " << shipped << ": run `qvdb refdata load`\n";
  return 1;
}

}  // namespace qvdb
