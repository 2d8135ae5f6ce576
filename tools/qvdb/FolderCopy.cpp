#include "FolderCopy.h"

#include <filesystem>
#include <memory>
#include <ostream>
#include <utility>

#include "Backup.h"
#include "DataFolder.h"
#include "ServerFolder.h"
#include "SqlDump.h"
#include "core/miDataBase.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetError.h"
#include "platform/jet/ServerLocation.h"

namespace qvdb {

namespace fs = std::filesystem;
namespace schema = qv::schema;
using qv::jet::ThrowJet;
namespace jeterr = qv::jet::jeterr;

namespace {

constexpr const char* kSource = "qvdb copy";

// The folder as DataFolderLocation joins names to it.
std::string FolderPrefix(const std::string& folder) {
  if (IsServerFolder(folder) || folder.empty() || folder.back() == '/') return folder;
  return folder + "/";
}

bool IsShard(const std::string& relativeName) {
  return relativeName.starts_with("BigDocs/");
}

// A statement parameter of the column's kind: the literal's kind gives a
// server's parameter its type (whole numbers an integer, other numbers and
// dates a double, the rest a text); the value is bound to it.
std::string Placeholder(const qv::jet::FieldSpec& field) {
  switch (field.type) {
    case qv::jet::JetType::kBoolean:
    case qv::jet::JetType::kByte:
    case qv::jet::JetType::kInteger:
    case qv::jet::JetType::kLong:
      return "0";
    case qv::jet::JetType::kText:
    case qv::jet::JetType::kMemo:
    case qv::jet::JetType::kGUID:
    case qv::jet::JetType::kChar:
      return "''";
    default:
      return "0.5";
  }
}

// The database's engine: a server's own, or the file's connection seen
// through the seam (held by `db`, which outlives the copy).
std::shared_ptr<qv::jet::Engine> EngineOf(qv::dao::Database& db) {
  if (db.IsServer()) return {std::shared_ptr<void>(), &db.ServerEngine()};
  return qv::jet::FileEngine(
      std::shared_ptr<qv::jet::Connection>(std::shared_ptr<void>(), &db.Connection("qvdb copy")));
}

// The catalogue's names are valid Jet names: they hold no bracket.
std::string Bracketed(const std::string& name) {
  return "[" + name + "]";
}

struct TableCopied {
  int64_t rows = 0;
  std::vector<std::string> counters;
};

// Replaces the rows of `table` in `dest` by those of `source`.
bool IsBinary(const qv::jet::FieldSpec& field) {
  return field.type == qv::jet::JetType::kBinary || field.type == qv::jet::JetType::kLongBinary;
}

TableCopied CopyTable(qv::jet::Engine& source, qv::jet::Engine& dest, const std::string& table) {
  const auto spec = source.FindTable(table);
  if (!spec) ThrowJet(jeterr::kTableNotFound, {table});
  TableCopied copied;
  // A server's statement parameter cannot carry bytes (Jet SQL has no
  // literal of them): a binary column is left out of the insert there, and
  // a row with a value in it is refused below.
  std::string columns, placeholders;
  std::vector<size_t> written, binaryLeftOut;
  for (size_t i = 0; i < spec->fields.size(); ++i) {
    const qv::jet::FieldSpec& f = spec->fields[i];
    if (f.autoIncrement) copied.counters.push_back(f.name);
    if (dest.IsServer() && IsBinary(f)) {
      binaryLeftOut.push_back(i);
      continue;
    }
    columns += (columns.empty() ? "" : ", ") + Bracketed(f.name);
    placeholders += (placeholders.empty() ? "" : ", ") + Placeholder(f);
    written.push_back(i);
  }
  if (dest.FindTable(spec->name)) {
    dest.Execute("DELETE FROM " + Bracketed(spec->name));
  } else {
    // A table of the source's own, which the library's schema lacks.
    dest.Execute(CreateTableStatement(*spec));
    for (const std::string& index : CreateIndexStatements(*spec)) dest.Execute(index);
  }
  std::string all;
  for (const qv::jet::FieldSpec& f : spec->fields)
    all += (all.empty() ? "" : ", ") + Bracketed(f.name);
  if (all.empty()) return copied;
  auto read = source.Prepare("SELECT " + all + " FROM " + Bracketed(spec->name));
  std::unique_ptr<qv::jet::EngineStatement> write;
  std::vector<qv::Variant> row(spec->fields.size());
  while (read->Step()) {
    read->Values(row);
    for (size_t i : binaryLeftOut)
      if (!row[i].IsNull() && !row[i].IsEmpty())
        throw qv::Error(jeterr::kNotSupported,
                        "A binary value (" + spec->name + "." + spec->fields[i].name +
                            ") cannot be written to a server database yet",
                        kSource);
    if (!write)
      write = dest.Prepare("INSERT INTO " + Bracketed(spec->name) + " (" + columns + ") VALUES (" +
                           placeholders + ")");
    for (size_t k = 0; k < written.size(); ++k)
      write->Bind(static_cast<int>(k + 1), row[written[k]]);
    write->Run();
    write->Reset();
    ++copied.rows;
  }
  return copied;
}

// Builds DEST's databases as the library builds a new folder.
void BuildDestination(const std::string& dest, const std::vector<std::string>& names,
                      qv::dao::Workspace& ws) {
  if (!IsServerFolder(dest)) {
    std::error_code ec;
    fs::create_directories(dest, ec);
    if (ec) ThrowJet(jeterr::kInvalidPath, {dest});
  }
  if (IsServerFolder(dest))
    for (auto file : schema::kDbFiles)
      CreateServerSchema(DatabaseLocation(dest, std::string(schema::DbFileName(file))));
  schema::BuildDataFolder(FolderPrefix(dest));
  for (const std::string& name : names) {
    if (!IsShard(name)) continue;
    const std::string location = DatabaseLocation(dest, name);
    if (IsServerFolder(dest)) {
      CreateServerSchema(location);
    } else {
      std::error_code ec;
      fs::create_directories(fs::path(location).parent_path(), ec);
      if (ec) ThrowJet(jeterr::kInvalidPath, {location});
    }
    auto db = ws.Create(location, qv::dao::dbLangCyrillic);
    schema::CreateBigDocTables(*db, fs::path(name).stem().string().ends_with("_0"));
    db->Close();
  }
}

// The locations of the schemas a copy of `names` into the server folder
// DEST makes: those of the folder's three databases and of the shards.
std::vector<std::string> DestinationSchemas(const std::string& dest,
                                            const std::vector<std::string>& names) {
  std::vector<std::string> all;
  for (auto file : schema::kDbFiles)
    all.push_back(DatabaseLocation(dest, std::string(schema::DbFileName(file))));
  for (const std::string& name : names)
    if (IsShard(name)) all.push_back(DatabaseLocation(dest, name));
  return all;
}

// Removes what a failed copy made of DEST: the schemas it made (`made`),
// or the files of the folder (the folder too when the copy made it).
void RemoveDestination(const std::string& dest, const std::vector<std::string>& made,
                       bool destExisted) {
  if (IsServerFolder(dest)) {
    for (const std::string& location : made) DropServerSchema(location);
    return;
  }
  std::error_code ec;
  if (!destExisted) {
    fs::remove_all(dest, ec);
    return;
  }
  for (const auto& entry : fs::directory_iterator(dest, ec)) fs::remove_all(entry.path(), ec);
}

std::vector<DatabaseCopied> CopyInto(const std::string& source, const std::string& dest,
                                     const std::vector<std::string>& names, std::ostream& out,
                                     const CopyOptions& options);

bool DestinationHoldsData(const std::string& dest) {
  if (IsServerFolder(dest)) return !ServerFolderDatabases(dest).empty();
  std::error_code ec;
  return fs::exists(dest, ec) && !fs::is_empty(dest, ec);
}

}  // namespace

bool IsServerFolder(const std::string& folder) {
  return qv::jet::IsServerLocation(folder);
}

std::vector<std::string> FolderDatabases(const std::string& folder) {
  if (IsServerFolder(folder)) return ServerFolderDatabases(folder);
  std::vector<std::string> names;
  for (const fs::path& p : DatabaseFiles(folder)) names.push_back(p.generic_string());
  return names;
}

std::string DatabaseLocation(const std::string& folder, std::string_view relativeName) {
  if (!IsServerFolder(folder)) return FolderPrefix(folder) + std::string(relativeName);
  return qv::jet::ServerDatabaseLocation(folder, relativeName,
                                         schema::DbFileName(schema::DbFile::kUser));
}

std::vector<DatabaseCopied> CopyDataFolder(const std::string& source, const std::string& dest,
                                           std::ostream& out, const CopyOptions& options) {
  const std::string userName(schema::DbFileName(schema::DbFile::kUser));
  const std::vector<std::string> names = FolderDatabases(source);
  if (names.empty() || names.front() != userName)
    throw qv::Error(jeterr::kFileNotFound,
                    "Could not find " + userName + " in " + ShownFolder(source) +
                        ": it holds no data folder to copy",
                    kSource);
  if (DestinationHoldsData(dest))
    throw qv::Error(jeterr::kDatabaseExists,
                    "Database already exists: " + ShownFolder(dest) +
                        " is not empty; copy into an empty folder or a server database whose "
                        "folder schema holds no database",
                    kSource);
  if (IsServerFolder(dest)) InstallServerFunctions(dest, options.functionsScript);
  std::error_code ec;
  const bool destExisted = IsServerFolder(dest) ? false : fs::exists(dest, ec);
  // The schemas there before the copy, which a failure leaves alone.
  std::vector<std::string> made;
  if (IsServerFolder(dest))
    for (const std::string& location : DestinationSchemas(dest, names))
      if (!ServerSchemaExists(location)) made.push_back(location);
  try {
    return CopyInto(source, dest, names, out, options);
  } catch (...) {
    // Nothing half written is left: DEST is as empty as it was.
    try {
      RemoveDestination(dest, made, destExisted);
    } catch (...) {
    }
    throw;
  }
}

namespace {

std::vector<DatabaseCopied> CopyInto(const std::string& source, const std::string& dest,
                                     const std::vector<std::string>& names, std::ostream& out,
                                     const CopyOptions& options) {
  // Two workspaces: a workspace's transaction spans the databases open in
  // it, and the source's read transaction must not hold the destination's.
  auto engine = qv::dao::DBEngine::ForThread();
  auto ws = engine->CreateWorkspace("qvdb copy", "admin", "", qv::Variant(qv::dao::dbUseJet));
  auto readWs =
      engine->CreateWorkspace("qvdb copy source", "admin", "", qv::Variant(qv::dao::dbUseJet));
  BuildDestination(dest, names, *ws);
  std::vector<DatabaseCopied> result;
  for (const std::string& name : names) {
    std::string from = DatabaseLocation(source, name);
    if (options.snapshot && IsServerFolder(source)) from = SnapshotLocation(from);
    qv::dao::DatabaseOptions readOnly;
    readOnly.readOnly = true;
    auto src = readWs->Open(from, readOnly);
    const std::string to = DatabaseLocation(dest, name);
    auto dst = ws->Open(to, {});
    auto srcEngine = EngineOf(*src);
    auto dstEngine = EngineOf(*dst);
    DatabaseCopied copied{name};
    std::vector<std::pair<std::string, std::string>> counters;
    {
      // The source's reads in one transaction: one state of the database.
      qv::dao::Transaction readTx(*src);
      qv::dao::Transaction tx(*dst);
      for (const std::string& table : srcEngine->TableNames()) {
        TableCopied t;
        try {
          t = CopyTable(*srcEngine, *dstEngine, table);
        } catch (const qv::Error& e) {
          // Which table of which database: the engine's error names neither.
          throw qv::Error(e.Number(), e.Description() + " (" + name + ", table " + table + ")",
                          e.Source());
        }
        ++copied.tables;
        copied.rows += t.rows;
        for (const std::string& c : t.counters) counters.emplace_back(table, c);
      }
      tx.Commit();
      readTx.Rollback();
    }
    src->Close();
    dst->Close();
    if (IsServerFolder(dest)) MoveCountersOn(to, counters);
    out << "  " << name << ": " << copied.tables << " tables, " << copied.rows << " rows\n";
    result.push_back(std::move(copied));
  }
  ws->Close();
  readWs->Close();
  return result;
}

}  // namespace

}  // namespace qvdb
