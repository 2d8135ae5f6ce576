#include "Check.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <ostream>

#include "Backup.h"
#include "ChainCheck.h"
#include "CheckShards.h"
#include "ConsoleTester.h"
#include "DataFolder.h"
#include "FolderCopy.h"
#include "Output.h"
#include "RefData.h"
#include "ServerFolder.h"
#include "core/miDataBase.h"
#include "core/schema/Schema.h"
#include "core/schema/SchemaBuilder.h"
#include "doctables/miBigDocument.h"
#include "journal/DBLogs.h"
#include "journal/SkippedLogWrites.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetError.h"
#include "platform/jet/ServerLocation.h"
#include "platform/jet/sql/JetServerFunctions.h"

namespace qvdb {

namespace fs = std::filesystem;
namespace schema = qv::schema;

namespace {

std::string TypeText(qv::jet::JetType t, int32_t size) {
  std::string s(qv::jet::JetTypeName(t));
  if (t == qv::jet::JetType::kText) s += "(" + std::to_string(size == 0 ? 255 : size) + ")";
  return s;
}

using TableFinder = std::function<std::shared_ptr<const qv::jet::TableSpec>(std::string_view)>;

void CompareTable(const TableFinder& catalog, const schema::TableDef& want,
                  std::vector<std::string>& problems) {
  const auto have = catalog(want.name);
  const std::string table(want.name);
  if (!have) {
    problems.push_back("table " + table + " is missing");
    return;
  }
  for (const schema::FieldDef& f : want.fields) {
    const qv::jet::FieldSpec* h = have->FindField(f.name);
    const std::string where = table + "." + std::string(f.name);
    if (!h) {
      problems.push_back("column " + where + " is missing");
      continue;
    }
    const int32_t wantSize = f.type == qv::jet::JetType::kText && f.size == 0 ? 255 : f.size;
    const int32_t haveSize = h->type == qv::jet::JetType::kText && h->size == 0 ? 255 : h->size;
    if (h->type != f.type || (f.type == qv::jet::JetType::kText && haveSize != wantSize))
      problems.push_back("column " + where + " is " + TypeText(h->type, h->size) + ", expected " +
                         TypeText(f.type, f.size));
    if (h->required != f.required)
      problems.push_back("column " + where + (f.required ? " should" : " should not") +
                         " be Required");
  }
  for (const schema::IndexDef& x : want.indexes) {
    const qv::jet::IndexSpec* h = have->FindIndex(x.name);
    const std::string where = "index " + table + "." + std::string(x.name);
    if (!h) {
      problems.push_back(where + " is missing");
      continue;
    }
    const auto fields = schema::SplitIndexFields(x.fields);
    bool same = fields.size() == h->fields.size();
    for (size_t i = 0; same && i < fields.size(); ++i)
      same = qv::NamesEqual(fields[i].name, h->fields[i].name) &&
             fields[i].descending == h->fields[i].descending;
    if (!same) problems.push_back(where + " has other columns than " + std::string(x.fields));
    if (h->primary != x.primary || (h->unique || h->primary) != (x.unique || x.primary))
      problems.push_back(where + " differs in its primary or unique flag");
  }
}

// A problem under its file's line: every line of it indented.
void PrintProblem(std::ostream& out, std::string_view problem) {
  constexpr std::string_view kIndent = "          ";
  std::string text(kIndent);
  for (size_t i = 0; i < problem.size(); ++i) {
    if (problem[i] == '\r' && i + 1 < problem.size() && problem[i + 1] == '\n') continue;
    text += problem[i];
    if (problem[i] == '\n') text += kIndent;
  }
  out << text << '\n';
}

// What is wrong with a shard's StorageInfo row: one row, of this format
// version, naming the document and shard its file name and folder give
// (`relative` is the file's path below the data folder).
void CheckStorageInfo(qv::dao::Database& db, const fs::path& relative,
                      std::vector<std::string>& problems) {
  const std::string stem = relative.stem().string();
  const size_t sep = stem.rfind('_');
  double doc = 0;
  int32_t shard = -1;
  try {
    doc = std::stod(stem.substr(0, sep));
    shard = std::stoi(stem.substr(sep + 1));
  } catch (const std::exception&) {
    problems.push_back("the name is not <document>_<shard>.mdb");
    return;
  }
  if (doc < 1 || qv::miBigDocument::BigDocRelativeFileName(doc, shard) != relative.generic_string())
    problems.push_back("the file does not lie in the folder of document " + stem.substr(0, sep));
  auto rs = db.OpenStatement("select VerNum, DocumentID, ShardIndex from StorageInfo",
                             qv::dao::dbOpenSnapshot);
  int rows = 0;
  for (; !rs->IsEOF(); rs->MoveNext(), ++rows)
    if (qv::CLng(rs->FieldValue(0)) != qv::miBigDocument::kStorageVersion ||
        qv::CDbl(rs->FieldValue(1)) != doc || qv::CLng(rs->FieldValue(2)) != shard)
      problems.push_back("StorageInfo names version " + qv::CStr(rs->FieldValue(0)) +
                         ", document " + qv::CStr(rs->FieldValue(1)) + ", shard " +
                         qv::CStr(rs->FieldValue(2)));
  rs->Close();
  if (rows != 1) problems.push_back("StorageInfo holds " + std::to_string(rows) + " rows, not 1");
}

// Documents of editor type 6 whose shard 0 is missing, one problem each.
std::vector<std::string> MissingShards(const fs::path& folder) {
  std::vector<std::string> problems;
  auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
  qv::dao::DatabaseOptions options;
  options.readOnly = true;
  auto db = ws->Open(UserDatabasePath(folder).string(), options);
  auto rs = db->OpenStatement("select document_id from doc_registry where EditorType = 6",
                              qv::dao::dbOpenSnapshot);
  std::error_code ec;
  for (; !rs->IsEOF(); rs->MoveNext()) {
    const std::string shard =
        qv::miBigDocument::BigDocRelativeFileName(qv::CDbl(rs->FieldValue(0)), 0);
    if (!fs::exists(folder / shard, ec))
      problems.push_back("document " + qv::CStr(rs->FieldValue(0)) + " of editor type 6 has no " +
                         shard);
  }
  rs->Close();
  db->Close();
  return problems;
}

// True for an error that says the file system had no room for what
// opening a file needs (its -shm file): a full disk or a file-size limit,
// which says nothing about the file itself.
bool NoRoom(const qv::Error& e) {
  if (e.Number() == qv::jet::jeterr::kDiskFull) return true;
  if (e.Number() != qv::jet::jeterr::kDiskError) return false;
  const std::string& d = e.Description();
  return d.find(std::strerror(ENOSPC)) != std::string::npos ||
         d.find(std::strerror(EFBIG)) != std::string::npos;
}

// Prints a file's line and its problems; returns the number of problems.
// `relative`: a shard's path below the data folder, whose StorageInfo is
// checked too. A file that cannot be opened for lack of room is counted in
// `unchecked`, not as a problem of the file.
int CheckFile(const fs::path& file, std::string_view kind, std::ostream& out, int& unchecked,
              const fs::path& relative = {}) {
  std::vector<std::string> problems;
  try {
    auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
    qv::dao::DatabaseOptions options;
    options.readOnly = true;
    auto db = ws->Open(file.string(), options);
    if (db->IsServer()) {
      // A server checks its own storage; what is ours to check is the catalogue.
      for (std::string& p : CatalogueProblems(db->ServerEngine(), kind))
        problems.push_back(std::move(p));
    } else {
      auto st = db->Connection().PrepareNative("PRAGMA integrity_check");
      while (st.Step()) {
        const std::string line = st.Text(0);
        if (line != "ok") problems.push_back("integrity: " + line);
      }
      for (std::string& p : CatalogueProblems(db->Connection().Schema(), kind))
        problems.push_back(std::move(p));
    }
    if (!relative.empty() && problems.empty()) CheckStorageInfo(*db, relative, problems);
    db->Close();
  } catch (const qv::Error& e) {
    if (problems.empty() && NoRoom(e)) {
      ++unchecked;
      out << "  NOT CHECKED  " << file.string() << '\n';
      PrintProblem(out,
                   "no room on the disk to open it (not known to be damaged): " + ErrorReport(e));
      return 0;
    }
    problems.push_back(ErrorReport(e));
  }
  out << (problems.empty() ? "  ok      " : "  FAILED  ") << ShownFolder(file.string()) << '\n';
  for (const std::string& p : problems) PrintProblem(out, p);
  return static_cast<int>(problems.size());
}

// The skipped log writes recorded in the user database; 0 when it cannot
// be read (its problems are reported with the file).
int SkippedLogWrites(const fs::path& file) {
  try {
    auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
    qv::dao::DatabaseOptions options;
    options.readOnly = true;
    auto db = ws->Open(file.string(), options);
    const int count = qv::journal::DBLogs::SkippedWrites(db);
    db->Close();
    return count;
  } catch (const qv::Error&) {
    return 0;
  }
}

// Reports the shard files (a server folder's shard schemas) no document
// owns, removing them when asked; returns the number of problems (those
// left).
int CheckUnownedShards(const fs::path& folder, const CheckOptions& options, std::ostream& out) {
  const bool server = IsServerFolder(folder.string());
  const char* heading =
      server ? "\nShard schemas of no document:\n" : "\nShard files of no document:\n";
  std::vector<fs::path> files;
  try {
    files = UnownedShardFiles(folder);
  } catch (const qv::Error& e) {
    out << heading << "  FAILED\n";
    PrintProblem(out, ErrorReport(e));
    return 1;
  }
  out << heading << (files.empty() ? "  ok      none\n" : "");
  int left = 0;
  for (const fs::path& file : files) {
    const bool removed = options.removeUnowned && RemoveShardFile(folder, file);
    left += !removed;
    out << (removed ? "  removed " : "  FAILED  ")
        << (server ? qv::jet::ServerFolderSchema(
                         DatabaseLocation(folder.string(), file.generic_string())) +
                         " (" + file.generic_string() + ")"
                   : (folder / file).string())
        << '\n';
  }
  if (left > 0)
    PrintProblem(out,
                 options.removeUnowned
                     ? (server ? "schemas still open elsewhere were left"
                               : "files still open elsewhere were left")
                     : "no document of editor type 6 owns them (--remove-unowned removes them)");
  return left;
}

// Reports the temporary schemas that builds of a server folder's shards
// left when they were cut off, removing them when asked; a build under way
// in another session is listed as busy, no problem. Returns the number of
// problems (the leftovers left).
int CheckLeftoverBuilds(const std::string& location, const CheckOptions& options,
                        std::ostream& out) {
  out << "\nLeftover builds of shards:\n";
  std::vector<qv::jet::TemporarySchema> found;
  try {
    found = ShardBuildSchemas(location, options.removeUnowned);
  } catch (const qv::Error& e) {
    out << "  FAILED\n";
    PrintProblem(out, ErrorReport(e));
    return 1;
  }
  if (std::all_of(found.begin(), found.end(), [](const auto& t) { return t.building; }))
    out << "  ok      none\n";
  int left = 0;
  for (const qv::jet::TemporarySchema& t : found) {
    if (t.building) {
      out << "  busy    " << t.name << " (a build under way in another session)\n";
      continue;
    }
    left += !t.removed;
    out << (t.removed ? "  removed " : "  FAILED  ") << t.name << '\n';
  }
  if (left > 0)
    PrintProblem(out, options.removeUnowned ? "schemas still open elsewhere were left"
                                            : "temporary schemas of shard builds that were cut off "
                                              "(--remove-unowned removes them)");
  return left;
}

// The user database's schema version against the library's: a newer one
// is a problem (the library refuses the folder), an older one is brought up
// to date when the library opens it.
int CheckSchemaVersion(const std::string& user, std::ostream& out) {
  out << "\nSchema version:\n";
  try {
    auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
    qv::dao::DatabaseOptions readOnly;
    readOnly.readOnly = true;
    auto db = ws->Open(user, readOnly);
    const int32_t version = db->SchemaVersion();
    db->Close();
    const int32_t library = schema::CurrentSchemaVersion();
    if (version > library) {
      out << "  FAILED  version " << version << ", newer than the library's " << library << "\n";
      return 1;
    }
    out << (version == library ? "  ok      version " : "  OLDER   version ") << version
        << " (the library's: " << library << ")\n";
    return 0;
  } catch (const qv::Error& e) {
    out << "  FAILED\n";
    PrintProblem(out, ErrorReport(e));
    return 1;
  }
}

// The server's Jet functions: an older set (another build's) is replaced
// by the library's, as an older schema version is brought up to date.
int CheckServerFunctions(const std::string& location, std::ostream& out) {
  out << "\nJet functions on the server:\n";
  try {
    const ServerFunctionsState state = BringServerFunctionsUpToDate(location);
    if (state.schema.empty()) {
      out << "  FAILED  none in the search path of the folder nor in schema jet (qvdb init "
             "--server makes them)\n";
      return 1;
    }
    const std::string shown = state.version.empty() ? "of no version" : "version " + state.version;
    if (state.replaced)
      out << "  OLDER   " << shown << " in schema " << state.schema
          << ", replaced by the library's " << qv::jet::sql::ServerFunctionsVersion() << "\n";
    else
      out << "  ok      " << shown << " in schema " << state.schema << "\n";
    return 0;
  } catch (const qv::Error& e) {
    out << "  FAILED\n";
    PrintProblem(out, ErrorReport(e));
    return 1;
  }
}

// What of the file check applies to a server folder: each database's
// catalogue (a shard's StorageInfo too), the shards of the big documents,
// the shard schemas no document owns and the leftovers of cut-off shard
// builds (removed when asked), the document chains, the schema version, the
// reference data's edition and the self-test. The server keeps its own
// storage sound and its locking is always on, so there is no integrity
// check and no options file.
CheckResult CheckServerFolder(const std::string& location, std::ostream& out,
                              const CheckOptions& options) {
  CheckResult result;
  out << "Databases of " << ShownFolder(location) << ":\n";
  const std::vector<std::string> names = FolderDatabases(location);
  int unchecked = 0;
  for (auto file : {schema::DbFile::kUser, schema::DbFile::kKladr, schema::DbFile::kOkato}) {
    const std::string name(schema::DbFileName(file));
    const std::string where = DatabaseLocation(location, name);
    ++result.files;
    if (std::find(names.begin(), names.end(), name) == names.end()) {
      out << "  FAILED  " << ShownFolder(where) << "\n          " << name << " is missing\n";
      ++result.problems;
      continue;
    }
    result.problems += CheckFile(where, name, out, unchecked);
  }
  for (const std::string& name : names) {
    if (!name.starts_with("BigDocs/")) continue;
    ++result.files;
    const fs::path relative(name);
    const bool first = relative.stem().string().ends_with("_0");
    result.problems += CheckFile(DatabaseLocation(location, name), first ? "shard0" : "shard", out,
                                 unchecked, relative);
  }
  if (std::find(names.begin(), names.end(), schema::DbFileName(schema::DbFile::kUser)) ==
      names.end())
    return result;
  const std::string user = UserDatabasePath(location).string();
  std::vector<std::string> missing, chains;
  try {
    auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
    qv::dao::DatabaseOptions readOnly;
    readOnly.readOnly = true;
    auto db = ws->Open(user, readOnly);
    auto rs = db->OpenStatement("select document_id from doc_registry where EditorType = 6",
                                qv::dao::dbOpenSnapshot);
    for (; !rs->IsEOF(); rs->MoveNext()) {
      const std::string shard =
          qv::miBigDocument::BigDocRelativeFileName(qv::CDbl(rs->FieldValue(0)), 0);
      if (std::find(names.begin(), names.end(), shard) == names.end())
        missing.push_back("document " + qv::CStr(rs->FieldValue(0)) + " of editor type 6 has no " +
                          shard);
    }
    rs->Close();
    chains = ChainProblems(*db);
    db->Close();
  } catch (const qv::Error& e) {
    chains.push_back(ErrorReport(e));
  }
  out << "\nBig documents (editor type 6):\n"
      << (missing.empty() ? "  ok      every one has its shard 0\n" : "  FAILED\n");
  for (const std::string& p : missing) PrintProblem(out, p);
  result.problems += CheckUnownedShards(location, options, out);
  result.problems += CheckLeftoverBuilds(location, options, out);
  out << "\nDocument chains and cells:\n" << (chains.empty() ? "  ok\n" : "");
  for (const std::string& p : chains) PrintProblem(out, p);
  result.problems += static_cast<int>(missing.size() + chains.size());
  result.problems += CheckServerFunctions(location, out);
  result.problems += CheckSchemaVersion(user, out);
  out << "\nThe law's reference data:\n";
  result.problems += CheckRefDataEdition(location, out);
  out << "\nRegistration self-test:\n";
  result.selfTestFailed = RunSelfTest(kSelfTestProgId, out);
  return result;
}

}  // namespace

static std::vector<std::string> CatalogueProblems(const TableFinder& catalog,
                                                  std::string_view kind) {
  std::vector<std::string> problems;
  if (kind == "shard" || kind == "shard0") {
    if (kind == "shard0")
      for (const schema::TableDef& t : schema::BigDocDirectoryTables())
        CompareTable(catalog, t, problems);
    // The same on a server: a shard made there with its address index
    // unique (as once) is reported.
    for (const schema::TableDef& t : schema::BigDocCellTables()) CompareTable(catalog, t, problems);
    return problems;
  }
  for (const schema::SchemaStep& step : schema::AllSchemaSteps()) {
    if (schema::DbFileName(step.file) != kind) continue;
    for (const schema::TableDef& t : step.tables) CompareTable(catalog, t, problems);
  }
  return problems;
}

std::vector<std::string> CatalogueProblems(qv::jet::Catalog& catalog, std::string_view kind) {
  return CatalogueProblems([&](std::string_view t) { return catalog.FindTable(t); }, kind);
}

std::vector<std::string> CatalogueProblems(qv::jet::Engine& engine, std::string_view kind) {
  return CatalogueProblems([&](std::string_view t) { return engine.FindTable(t); }, kind);
}

CheckResult CheckDataFolder(const fs::path& folder, std::ostream& out,
                            const CheckOptions& options) {
  if (IsServerFolder(folder.string())) return CheckServerFolder(folder.string(), out, options);
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    qv::jet::ThrowJet(qv::jet::jeterr::kInvalidPath, {folder.string()});
  CheckResult result;
  out << "Database files in " << folder.string() << ":\n";
  for (auto file : {schema::DbFile::kUser, schema::DbFile::kKladr, schema::DbFile::kOkato}) {
    const fs::path p = folder / schema::DbFileName(file);
    ++result.files;
    if (!fs::exists(p, ec)) {
      out << "  FAILED  " << p.string() << "\n          the file is missing\n";
      ++result.problems;
      continue;
    }
    result.problems += CheckFile(p, schema::DbFileName(file), out, result.unchecked);
  }
  for (const fs::path& file : DatabaseFiles(folder)) {
    if (*file.begin() != "BigDocs") continue;
    const fs::path p = folder / file;
    ++result.files;
    const bool first = p.stem().string().ends_with("_0");
    result.problems += CheckFile(p, first ? "shard0" : "shard", out, result.unchecked, file);
  }
  if (fs::exists(UserDatabasePath(folder), ec)) {
    std::vector<std::string> missing;
    try {
      missing = MissingShards(folder);
    } catch (const qv::Error& e) {
      missing.push_back(ErrorReport(e));
    }
    out << "\nBig documents (editor type 6):\n"
        << (missing.empty() ? "  ok      every one has its shard 0\n" : "  FAILED\n");
    for (const std::string& p : missing) PrintProblem(out, p);
    result.problems += static_cast<int>(missing.size());
    result.problems += CheckUnownedShards(folder, options, out);
  }
  if (const fs::path user = folder / schema::DbFileName(schema::DbFile::kUser);
      fs::exists(user, ec)) {
    std::vector<std::string> problems;
    try {
      auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
      qv::dao::DatabaseOptions readOnly;
      readOnly.readOnly = true;
      auto db = ws->Open(user.string(), readOnly);
      problems = ChainProblems(*db);
      db->Close();
    } catch (const qv::Error& e) {
      problems.push_back(ErrorReport(e));
    }
    out << "\nDocument chains and cells:\n" << (problems.empty() ? "  ok\n" : "");
    for (const std::string& p : problems) PrintProblem(out, p);
    result.problems += static_cast<int>(problems.size());
  }
  if (fs::exists(UserDatabasePath(folder), ec)) {
    out << "\nThe law's reference data:\n";
    result.problems += CheckRefDataEdition(folder, out);
  }
  const fs::path optionsFile = folder / std::string(qv::miDataBase::kOptionsFileName);
  const qv::miDataBase::DBOptionsFile read =
      qv::miDataBase::ReadDBOptionsFile(optionsFile.string());
  out << "\nOptions file:\n"
      << (read.problem.empty() ? "  ok      " : "  FAILED  ") << optionsFile.string()
      << " (locking " << (read.lockingEnabled ? "on" : "off")
      << (fs::exists(optionsFile, ec) ? ")\n" : ": no file)\n");
  if (!read.problem.empty()) {
    ++result.problems;
    PrintProblem(out, read.problem);
  }
  // Those the database could count, and those it refused to count (a
  // read-only folder), kept in the user's state folder.
  const fs::path userDb = folder / schema::DbFileName(schema::DbFile::kUser);
  result.skippedLogWrites =
      SkippedLogWrites(userDb) + static_cast<int>(qv::journal::KeptSkippedWrites(userDb.string()));
  out << "\nEvent log:\n  " << result.skippedLogWrites
      << " log writes skipped (failed outside development mode)\n";
  out << "\nRegistration self-test:\n";
  result.selfTestFailed = RunSelfTest(kSelfTestProgId, out);
  return result;
}

int RunSelfTest(std::string_view progId, std::ostream& out) {
  if (!qv::ProgIdRegistry::Find(progId)) {
    out << "  not available: " << progId << " is not registered in this build\n";
    return -1;
  }
  auto tester = std::make_shared<ConsoleTester>(out);
  try {
    qv::ObjectPtr selfTest = qv::CreateObject(progId);
    selfTest->CallV("TestClassesRegistration", qv::ObjectPtr(tester));
  } catch (const qv::Error& e) {
    tester->Finish();
    out << "  FAILED  the self-test raised Error " << e.Number() << ": " << e.Description() << '\n';
    return tester->Failed() + 1;
  }
  tester->Finish();
  out << "  " << tester->Passed() << " passed, " << tester->Failed() << " failed";
  if (tester->Absent() > 0) out << ", " << tester->Absent() << " absent";
  out << '\n';
  return tester->Failed();
}

}  // namespace qvdb
