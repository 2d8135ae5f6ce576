#include "Backup.h"

#include <algorithm>
#include <ostream>

#include "DataFolder.h"
#include "Output.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/automation/Error.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetError.h"

namespace qvdb {

namespace fs = std::filesystem;
using qv::jet::ThrowJet;
namespace jeterr = qv::jet::jeterr;

std::vector<fs::path> DatabaseFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto file :
       {qv::schema::DbFile::kUser, qv::schema::DbFile::kKladr, qv::schema::DbFile::kOkato}) {
    const fs::path name = qv::schema::DbFileName(file);
    if (fs::is_regular_file(folder / name, ec)) files.push_back(name);
  }
  std::vector<fs::path> shards;
  if (fs::is_directory(folder / "BigDocs", ec))
    for (const auto& e : fs::recursive_directory_iterator(folder / "BigDocs", ec))
      if (e.is_regular_file() && e.path().extension() == ".mdb")
        shards.push_back(fs::relative(e.path(), folder, ec));
  std::sort(shards.begin(), shards.end());
  files.insert(files.end(), shards.begin(), shards.end());
  return files;
}

std::vector<std::string> QuickCheck(const fs::path& file) {
  std::vector<std::string> problems;
  try {
    auto conn = qv::jet::Connection::Open(file.string(), {.readOnly = true});
    auto st = conn->PrepareNative("PRAGMA quick_check");
    while (st.Step())
      if (const std::string line = st.Text(0); line != "ok") problems.push_back(line);
  } catch (const qv::Error& e) {
    problems.push_back(ErrorReport(e));
  }
  return problems;
}

BackupResult BackupDataFolder(const fs::path& folder, const fs::path& target, std::ostream& out,
                              bool keepDamaged) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) ThrowJet(jeterr::kInvalidPath, {folder.string()});
  if (!HasDatabase(folder)) ThrowJet(jeterr::kFileNotFound, {UserDatabasePath(folder).string()});
  if (fs::exists(target, ec) && !fs::is_empty(target, ec))
    throw qv::Error(jeterr::kDatabaseExists,
                    "Database already exists: " + target.string() +
                        " is not empty; back up into a new folder or an empty one");
  RefuseCopyIntoItself(folder, target, "qvdb backup");
  const fs::path made = OutermostMissing(fs::absolute(target, ec));
  fs::create_directories(target, ec);
  if (ec)
    throw qv::Error(qv::vberr::kPathFileAccessError,
                    "Path/File access error: cannot create the folder " + target.string() + ": " +
                        ec.message());
  BackupResult result;
  try {
    for (const fs::path& file : DatabaseFiles(folder)) {
      fs::create_directories((target / file).parent_path());
      try {
        qv::jet::BackupDatabase((folder / file).string(), (target / file).string());
      } catch (const qv::Error& e) {
        // The error names the file whatever the engine's text says.
        const std::string name = (folder / file).string();
        if (e.Description().find(name) != std::string::npos) throw;
        throw qv::Error(e.Number(), e.Description() + " (" + name + ")", e.Source());
      }
      // The copy holds the source's pages as they are: a damage shows in it.
      const std::vector<std::string> problems = QuickCheck(target / file);
      if (!problems.empty() && !keepDamaged)
        throw qv::Error(jeterr::kCorrupt,
                        (folder / file).string() + " is damaged (" + problems.front() +
                            "): nothing was backed up. `qvdb check` lists its problems; "
                            "--keep-damaged copies it as it is.");
      out << "  " << file.string();
      if (!problems.empty()) {
        out << "  DAMAGED: " << problems.front();
        result.damaged.push_back(file.string() + ": " + problems.front());
      }
      out << '\n';
      ++result.files;
    }
    if (fs::exists(folder / kOptionsFileName, ec)) {
      fs::copy_file(folder / kOptionsFileName, target / kOptionsFileName);
      out << "  " << kOptionsFileName << '\n';
    }
  } catch (...) {
    if (!made.empty()) {
      fs::remove_all(made, ec);
    } else {
      for (const auto& e : fs::directory_iterator(target, ec)) fs::remove_all(e.path(), ec);
    }
    throw;
  }
  return result;
}

}  // namespace qvdb
