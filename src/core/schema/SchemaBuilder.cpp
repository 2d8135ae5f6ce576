#include "core/schema/SchemaBuilder.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "core/mQvDaoDataBase.h"
#include "core/schema/Schema.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/DaoCollections.h"
#include "platform/dao/Database.h"
#include "platform/dao/Field.h"
#include "platform/dao/Index.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TableDef.h"
#include "platform/dao/TableDefs.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/PgConnection.h"
#include "platform/jet/ServerLocation.h"

namespace qv::schema {

namespace {

using mQvDaoDataBase::DaoQString;
using mQvDaoDataBase::Number2DaoSql;

constexpr RowStep kRowSteps[] = {{DbFile::kUser, 1, &AllReferenceRows}};
constexpr std::string_view kVersionTable = "DBVersion";
constexpr int32_t kMajorVersion = 1;
constexpr int32_t kMinorVersion = 0;

int32_t TargetVersion(const SchemaSource& source) {
  int32_t v = 0;
  for (const SchemaStep& s : source.steps) v = std::max(v, s.version);
  for (const RowStep& r : source.rows) v = std::max(v, r.version);
  return v;
}

bool IsText(JetType t) {
  return t == JetType::kText || t == JetType::kMemo;
}

std::shared_ptr<dao::Field> MakeField(dao::TableDef& tdf, const FieldDef& f) {
  auto field = tdf.CreateField(Variant(std::string(f.name)), Variant(static_cast<int32_t>(f.type)),
                               f.size > 0 ? Variant(f.size) : Variant());
  field->SetRequired(f.required);
  if (IsText(f.type)) field->SetAllowZeroLength(f.allowZeroLength);
  if (!f.defaultValue.empty()) field->SetDefaultValue(Variant(std::string(f.defaultValue)));
  return field;
}

std::shared_ptr<dao::Index> MakeIndex(dao::TableDef& tdf, const IndexDef& x) {
  auto index = tdf.CreateIndex(Variant(std::string(x.name)));
  index->SetFieldsValue(Variant(std::string(x.fields)));
  index->SetPrimary(x.primary);
  index->SetUnique(x.unique);
  return index;
}

// Creates the table, or adds to an existing one the fields and indexes it
// lacks. Text and Memo fields are marked for Unicode compression.
void ApplyTable(dao::Database& db, const TableDef& def) {
  auto tables = db.TableDefsCollection();
  std::shared_ptr<dao::TableDef> tdf = tables->Find(def.name);
  std::vector<std::shared_ptr<dao::Field>> added;
  if (!tdf) {
    tdf = db.CreateTableDef(Variant(std::string(def.name)));
    for (const FieldDef& f : def.fields) {
      added.push_back(MakeField(*tdf, f));
      tdf->FieldsCollection()->Append(added.back());
    }
    for (const IndexDef& x : def.indexes) tdf->IndexesCollection()->Append(MakeIndex(*tdf, x));
    tables->Append(tdf);
  } else {
    auto fields = tdf->FieldsCollection();
    for (const FieldDef& f : def.fields) {
      if (fields->Find(f.name)) continue;
      added.push_back(MakeField(*tdf, f));
      fields->Append(added.back());
    }
    auto indexes = tdf->IndexesCollection();
    for (const IndexDef& x : def.indexes)
      if (!indexes->Find(x.name)) indexes->Append(MakeIndex(*tdf, x));
  }
  // A server stores texts as UTF-8 whatever the flag says; its catalogue
  // keeps no such flag to set.
  if (db.IsServer()) return;
  for (const auto& f : added)
    if (IsText(static_cast<JetType>(f->Type()))) f->SetUnicodeCompression(true);
}

Variant ToVariant(const RefValue& v) {
  if (const auto* i = std::get_if<int64_t>(&v)) {
    if (*i >= INT32_MIN && *i <= INT32_MAX) return Variant(static_cast<int32_t>(*i));
    return Variant(static_cast<double>(*i));
  }
  if (const auto* d = std::get_if<double>(&v)) return Variant(*d);
  if (const auto* s = std::get_if<std::string>(&v)) return Variant(*s);
  return Variant::Null();
}

// A value of the schema's rows as a Jet literal.
std::string RowLiteral(const RefValue& v) {
  if (const auto* i = std::get_if<int64_t>(&v)) return Number2DaoSql(static_cast<double>(*i));
  if (const auto* d = std::get_if<double>(&v)) return Number2DaoSql(*d);
  if (const auto* s = std::get_if<std::string>(&v)) return DaoQString(*s);
  return "Null";
}

// A table recordset on a file; INSERT statements on a server, whose table
// recordsets need a key that many of these tables lack.
size_t InsertRows(dao::Database& db, const std::vector<RefRow>& rows) {
  if (db.IsServer()) {
    for (const RefRow& row : rows) {
      std::string columns, values;
      for (const auto& [column, value] : row.values) {
        columns += (columns.empty() ? "[" : ", [") + std::string(column) + "]";
        values += (values.empty() ? "" : ", ") + RowLiteral(value);
      }
      db.ExecuteSql("INSERT INTO [" + std::string(row.table) + "] (" + columns + ") VALUES (" +
                    values + ")");
    }
    return rows.size();
  }
  std::map<std::string, std::shared_ptr<dao::Recordset>> open;
  for (const RefRow& row : rows) {
    auto& rs = open[std::string(row.table)];
    if (!rs) rs = db.OpenTable(row.table);
    rs->AddNew();
    for (const auto& [column, value] : row.values) rs->SetField(column, ToVariant(value));
    rs->Update();
  }
  return rows.size();
}

// The version a file records; for the user database the DBVersion row
// counts too (a file written before the version was recorded elsewhere).
int32_t FileVersion(dao::Database& db, DbFile file) {
  int32_t v = db.SchemaVersion();
  if (file == DbFile::kUser && HasTable(db, kVersionTable)) {
    auto rs = db.OpenStatement("SELECT max(BuildNumber) FROM DBVersion", dao::dbOpenSnapshot);
    const Variant& build = rs->FieldValue(0);
    if (!build.IsNull()) v = std::max(v, CLng(build));
  }
  return v;
}

// True when DBVersion holds exactly the one row of `version`.
bool VersionRowIsRight(dao::Database& db, int32_t version) {
  auto rs = db.OpenStatement("SELECT MajorVersion, MinorVersion, BuildNumber FROM DBVersion",
                             dao::dbOpenSnapshot);
  if (rs->IsEOF()) return false;
  auto is = [&](const char* name, int32_t value) {
    const Variant& v = rs->FieldValue(name);
    return !v.IsNull() && CLng(v) == value;
  };
  const bool right = is("MajorVersion", kMajorVersion) && is("MinorVersion", kMinorVersion) &&
                     is("BuildNumber", version);
  rs->MoveNext();
  return right && rs->IsEOF();
}

void RecordVersion(dao::Database& db, DbFile file, int32_t version) {
  db.SetSchemaVersion(version);
  if (file != DbFile::kUser || !HasTable(db, kVersionTable) || VersionRowIsRight(db, version))
    return;
  db.ExecuteSql("DELETE FROM DBVersion");
  db.ExecuteSql("INSERT INTO DBVersion (MajorVersion, MinorVersion, BuildNumber) VALUES (" +
                Number2DaoSql(kMajorVersion) + ", " + Number2DaoSql(kMinorVersion) + ", " +
                Number2DaoSql(version) + ")");
}

[[noreturn]] void ThrowNewer(const std::string& path, int32_t version, int32_t known) {
  throw Error(jet::jeterr::kBadDatabaseFormat,
              jet::JetErrorText(jet::jeterr::kBadDatabaseFormat, {path}) + " Its schema version " +
                  std::to_string(version) + " is newer than version " + std::to_string(known) +
                  ", the newest this library works with.",
              std::string(jet::kSourceDatabase));
}

// Runs the steps of one file newer than its version, in one transaction.
void Upgrade(dao::Workspace& ws, dao::Database& db, const SchemaSource& source, int32_t target,
             FileBuildResult& result) {
  bool versionRowWrong =
      result.file == DbFile::kUser && HasTable(db, kVersionTable) && !VersionRowIsRight(db, target);
  bool anyStep = false;
  for (const SchemaStep& s : source.steps)
    anyStep = anyStep || (s.file == result.file && s.version > result.fromVersion);
  for (const RowStep& r : source.rows)
    anyStep = anyStep || (r.file == result.file && r.version > result.fromVersion);
  if (!anyStep && !versionRowWrong && result.fromVersion == target) return;
  try {
    dao::Transaction tx(ws);
    for (int32_t v = result.fromVersion + 1; v <= target; ++v) {
      for (size_t i = 0; i < source.steps.size(); ++i) {
        const SchemaStep& s = source.steps[i];
        if (s.file != result.file || s.version != v) continue;
        for (const TableDef& t : s.tables) ApplyTable(db, t);
        if (s.migrate) s.migrate(db);
        result.stepsRun.push_back(i);
      }
      for (const RowStep& r : source.rows)
        if (r.file == result.file && r.version == v)
          result.rowsInserted += InsertRows(db, r.rows());
    }
    RecordVersion(db, result.file, target);
    tx.Commit();
  } catch (const Error& e) {
    throw Error(e.Number(), e.Description() + " [" + result.path + "]", e.Source());
  }
  result.toVersion = target;
}

// The library opens the classifier files read-only only. A read-only
// connection cannot remove a write-ahead log when it ends, so a file in
// that mode would keep its -wal and -shm files beside it; with a rollback
// journal a read leaves nothing. An open keeps the file's mode. Switching
// needs the file to itself: when another process has it open, it is left
// for the next build.
void UseRollbackJournal(dao::Database& db) {
  if (db.IsServer()) return;
  jet::Connection& conn = db.Connection();
  try {
    conn.ExecuteNative("PRAGMA journal_mode = DELETE");
  } catch (const Error&) {
  }
}

}  // namespace

SchemaSource DefaultSchema(int32_t upToVersion) {
  // Both lists are in ascending version order, so the source is a prefix of each.
  std::span<const SchemaStep> steps = AllSchemaSteps();
  std::span<const RowStep> rows = kRowSteps;
  auto newer = [&](int32_t v) { return v > upToVersion; };
  const auto s =
      std::find_if(steps.begin(), steps.end(), [&](auto& x) { return newer(x.version); });
  const auto r = std::find_if(rows.begin(), rows.end(), [&](auto& x) { return newer(x.version); });
  return {steps.first(static_cast<size_t>(s - steps.begin())),
          rows.first(static_cast<size_t>(r - rows.begin()))};
}

std::string_view DbFileName(DbFile file) {
  switch (file) {
    case DbFile::kUser:
      return "Quivane.mdb";
    case DbFile::kKladr:
      return "Kladr.mdb";
    case DbFile::kOkato:
      return "Okato.mdb";
  }
  return {};
}

std::string DatabaseLocation(const std::string& folder, DbFile file) {
  if (jet::IsServerLocation(folder))
    return jet::ServerDatabaseLocation(folder, DbFileName(file), DbFileName(DbFile::kUser));
  return (std::filesystem::path(folder) / DbFileName(file)).string();
}

std::vector<FileBuildResult> BuildDataFolder(const std::string& folder,
                                             const SchemaSource& source) {
  const bool server = jet::IsServerLocation(folder);
  std::error_code ec;
  if (!server && (folder.empty() || !std::filesystem::is_directory(folder, ec)))
    jet::ThrowJet(jet::jeterr::kInvalidPath, {folder});
  const int32_t target = TargetVersion(source);
  auto engine = dao::DBEngine::ForThread();
  auto ws = engine->CreateWorkspace("schema", "admin", "", Variant(dao::dbUseJet));

  std::vector<FileBuildResult> results;
  std::vector<std::string> locations;
  std::vector<std::shared_ptr<dao::Database>> dbs;
  // Every existing database is checked before any is changed.
  for (DbFile file : kDbFiles) {
    FileBuildResult r;
    r.file = file;
    const std::string location = DatabaseLocation(folder, file);
    r.path = server ? jet::ShownLocation(location) : location;
    std::shared_ptr<dao::Database> db;
    if (server) {
      // A schema that is missing, or has no catalogue, is made below.
      try {
        db = ws->Open(location, {});
      } catch (const Error& e) {
        if (e.Number() != jet::jeterr::kBadDatabaseFormat) throw;
      }
    } else if (std::filesystem::exists(location, ec)) {
      db = ws->Open(location, {});
    }
    if (db) {
      r.fromVersion = FileVersion(*db, file);
      if (r.fromVersion > target) ThrowNewer(r.path, r.fromVersion, target);
    }
    r.toVersion = r.fromVersion;
    results.push_back(std::move(r));
    locations.push_back(location);
    dbs.push_back(std::move(db));
  }
  for (size_t i = 0; i < results.size(); ++i) {
    FileBuildResult& r = results[i];
    if (!dbs[i]) {
      dbs[i] = ws->Create(locations[i], dao::dbLangCyrillic);
      r.created = true;
    }
    Upgrade(*ws, *dbs[i], source, target, r);
    if (r.file != DbFile::kUser) UseRollbackJournal(*dbs[i]);
  }
  ws->Close();
  return results;
}

void CreateBigDocTables(dao::Database& db, bool withDirectory) {
  dao::Transaction tx(db);
  if (withDirectory)
    for (const TableDef& t : BigDocDirectoryTables()) ApplyTable(db, t);
  // The cell tables have no key on either engine (a server's keyless table
  // gets its hidden row key, which its cursor finds a row by): an address
  // stored twice is kept on both.
  for (const TableDef& t : BigDocCellTables()) ApplyTable(db, t);
  tx.Commit();
}

bool HasTable(dao::Database& db, std::string_view name) {
  return db.TableDefsCollection()->Find(name) != nullptr;
}

}  // namespace qv::schema
