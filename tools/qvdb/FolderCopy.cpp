#include "FolderCopy.h"

#include <charconv>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
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
#include "platform/jet/JetValue.h"
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

// A database of SRC: its catalogue through the engine; its rows through the
// engine (a file), or through the folder's reader (a server folder's
// databases, all read at one instant).
struct SourceDatabase {
  qv::jet::Engine& engine;
  ServerFolderReader* reader = nullptr;
  std::string schema;  // of the database, on a server
};

// A database of DEST: its tables made and (a file) written through the
// engine, or written through the server writer's one transaction.
struct DestDatabase {
  qv::jet::Engine& engine;
  ServerTableWriter* writer = nullptr;
};

std::vector<std::string> FieldNames(const qv::jet::TableSpec& spec) {
  std::vector<std::string> names;
  for (const qv::jet::FieldSpec& f : spec.fields) names.push_back(f.name);
  return names;
}

// Calls `row` with each row of `spec`'s table in SRC, its values typed by
// their columns.
void ReadRows(SourceDatabase& src, const qv::jet::TableSpec& spec,
              const std::function<void(const std::vector<qv::Variant>&)>& row) {
  std::vector<qv::Variant> values(spec.fields.size());
  if (src.reader) {
    src.reader->Read(src.schema, spec.name, FieldNames(spec),
                     [&](const std::vector<ServerText>& texts) {
                       for (size_t i = 0; i < texts.size(); ++i)
                         values[i] = ValueOfServerText(texts[i], spec.fields[i].type);
                       row(values);
                     });
    return;
  }
  std::string all;
  for (const qv::jet::FieldSpec& f : spec.fields)
    all += (all.empty() ? "" : ", ") + Bracketed(f.name);
  if (all.empty()) return;
  auto read = src.engine.Prepare("SELECT " + all + " FROM " + Bracketed(spec.name));
  while (read->Step()) {
    read->Values(values);
    row(values);
  }
}

// Replaces the rows of `table` in `dest` by those of `source`.
TableCopied CopyTable(SourceDatabase& source, DestDatabase& dest, const std::string& table) {
  const auto spec = source.engine.FindTable(table);
  if (!spec) ThrowJet(jeterr::kTableNotFound, {table});
  TableCopied copied;
  std::string columns, placeholders;
  for (const qv::jet::FieldSpec& f : spec->fields) {
    if (f.autoIncrement) copied.counters.push_back(f.name);
    columns += (columns.empty() ? "" : ", ") + Bracketed(f.name);
    placeholders += (placeholders.empty() ? "" : ", ") + Placeholder(f);
  }
  if (!dest.engine.FindTable(spec->name)) {
    // A table of the source's own, which the library's schema lacks.
    dest.engine.Execute(CreateTableStatement(*spec));
    for (const std::string& index : CreateIndexStatements(*spec)) dest.engine.Execute(index);
  } else if (!dest.writer) {
    dest.engine.Execute("DELETE FROM " + Bracketed(spec->name));
  }
  if (dest.writer) {
    // Bytes too: the server takes each parameter's type from its column.
    dest.writer->Replace(spec->name, FieldNames(*spec));
    std::vector<ServerText> texts(spec->fields.size());
    ReadRows(source, *spec, [&](const std::vector<qv::Variant>& row) {
      for (size_t i = 0; i < row.size(); ++i) texts[i] = ServerValueText(row[i]);
      dest.writer->Insert(texts);
      ++copied.rows;
    });
    return copied;
  }
  if (columns.empty()) return copied;
  std::unique_ptr<qv::jet::EngineStatement> write;
  ReadRows(source, *spec, [&](const std::vector<qv::Variant>& row) {
    if (!write)
      write = dest.engine.Prepare("INSERT INTO " + Bracketed(spec->name) + " (" + columns +
                                  ") VALUES (" + placeholders + ")");
    for (size_t k = 0; k < row.size(); ++k) write->Bind(static_cast<int>(k + 1), row[k]);
    write->Run();
    write->Reset();
    ++copied.rows;
  });
  return copied;
}

// Whether the file keeps its counters' high-water (a table with a counter
// made it).
bool HasSequenceTable(qv::dao::Database& db) {
  qv::jet::Statement probe = db.Connection(kSource).PrepareNative(
      "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'sqlite_sequence'");
  return probe.Step();
}

// The largest value the counter of a file's table has handed out: the
// file's own record of it (the table's row of sqlite_sequence), rows
// deleted since included; 0 before any.
int64_t FileCounterHighWater(qv::dao::Database& db, const std::string& table) {
  if (!HasSequenceTable(db)) return 0;
  qv::jet::Statement read =
      db.Connection(kSource).PrepareNative("SELECT seq FROM sqlite_sequence WHERE name = ?1");
  read.Bind(1, qv::Variant(table));
  return read.Step() ? static_cast<int64_t>(qv::CDbl(read.Value(0))) : 0;
}

// A file's counter goes on after `c`'s high-water as well as after its
// rows (the inserts moved it past those already).
void KeepFileHighWater(qv::dao::Database& db, const CopiedCounter& c) {
  if (c.highWater <= 0 || !HasSequenceTable(db)) return;
  for (const char* sql : {"UPDATE sqlite_sequence SET seq = max(seq, ?2) WHERE name = ?1",
                          "INSERT INTO sqlite_sequence (name, seq) SELECT ?1, ?2 "
                          "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = ?1)"}) {
    qv::jet::Statement write = db.Connection(kSource).PrepareNative(sql);
    write.Bind(1, qv::Variant(c.table));
    write.BindInt(2, c.highWater);
    write.Run();
  }
}

// A folder that could not be made, with the system's reason (permission
// denied, a file of that name, no room).
[[noreturn]] void CannotCreateFolder(const fs::path& folder, const std::error_code& ec) {
  throw qv::Error(
      qv::vberr::kPathFileAccessError,
      "Path/File access error: cannot create the folder " + folder.string() + ": " + ec.message(),
      kSource);
}

// Builds DEST's databases as the library builds a new folder.
void BuildDestination(const std::string& dest, const std::vector<std::string>& names,
                      qv::dao::Workspace& ws) {
  if (!IsServerFolder(dest)) {
    std::error_code ec;
    fs::create_directories(dest, ec);
    if (ec) CannotCreateFolder(dest, ec);
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
      if (ec) CannotCreateFolder(fs::path(location).parent_path(), ec);
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
                       const fs::path& madeFolder) {
  if (IsServerFolder(dest)) {
    for (const std::string& location : made) DropServerSchema(location);
    return;
  }
  std::error_code ec;
  if (!madeFolder.empty()) {
    fs::remove_all(madeFolder, ec);
    return;
  }
  for (const auto& entry : fs::directory_iterator(dest, ec)) fs::remove_all(entry.path(), ec);
}

std::vector<DatabaseCopied> CopyInto(const std::string& source, const std::string& dest,
                                     const std::vector<std::string>& names, std::ostream& out,
                                     ServerFolderReader* reader);

bool DestinationHoldsData(const std::string& dest) {
  if (IsServerFolder(dest)) return !ServerFolderDatabases(dest).empty();
  std::error_code ec;
  return fs::exists(dest, ec) && !fs::is_empty(dest, ec);
}

}  // namespace

ServerText ServerValueText(const qv::Variant& v) {
  auto number = [](double d) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, ec == std::errc() ? end : buf);
  };
  switch (v.Type()) {
    case qv::VarType::kEmpty:
    case qv::VarType::kNull:
      return std::nullopt;
    case qv::VarType::kBoolean:
      return std::string(qv::CBool(v) ? "-1" : "0");
    case qv::VarType::kByte:
    case qv::VarType::kInteger:
    case qv::VarType::kLong:
      return std::to_string(qv::CLng(v));
    case qv::VarType::kSingle:
    case qv::VarType::kDouble:
      return number(qv::CDbl(v));
    case qv::VarType::kCurrency:
      return number(qv::CCur(v).ToDouble());
    case qv::VarType::kDate:
      return number(v.AsDateSerial());
    case qv::VarType::kString:
      return v.AsString();
    default:
      break;
  }
  if (!v.IsByteArray()) ThrowJet(jeterr::kConversionError, {}, kSource);
  static constexpr char kHex[] = "0123456789abcdef";
  const std::vector<uint8_t>& bytes = v.AsBytes().bytes;
  std::string out = "\\x";
  out.reserve(2 + 2 * bytes.size());
  for (uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  }
  return out;
}

qv::Variant ValueOfServerText(const ServerText& text, qv::jet::JetType type) {
  using qv::jet::JetType;
  if (!text) return qv::Variant::Null();
  switch (type) {
    case JetType::kText:
    case JetType::kMemo:
    case JetType::kChar:
    case JetType::kGUID:
      return qv::Variant(*text);
    case JetType::kBinary:
    case JetType::kVarBinary:
    case JetType::kLongBinary: {
      // bytea's hex form (the reader's session asks for it).
      auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
      };
      const std::string& t = *text;
      if (!t.starts_with("\\x") || t.size() % 2 != 0)
        ThrowJet(jeterr::kConversionError, {}, kSource);
      qv::ByteArray bytes;
      bytes.bytes.reserve(t.size() / 2 - 1);
      for (size_t i = 2; i < t.size(); i += 2) {
        const int hi = digit(t[i]), lo = digit(t[i + 1]);
        if (hi < 0 || lo < 0) ThrowJet(jeterr::kConversionError, {}, kSource);
        bytes.bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
      }
      return qv::Variant(std::move(bytes));
    }
    default:
      break;
  }
  // A number kind (dates are day numbers, Yes/No -1 and 0).
  const std::string& t = *text;
  double d = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
  if (ec != std::errc() || end != t.data() + t.size()) {
    // The server's "Infinity", "-Infinity" and "NaN".
    char* stop = nullptr;
    d = std::strtod(t.c_str(), &stop);
    if (t.empty() || *stop != '\0') ThrowJet(jeterr::kConversionError, {}, kSource);
  }
  if (auto typed = qv::jet::NumberAsJetType(d, type)) return std::move(*typed);
  return qv::Variant(d);
}

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
  // A server folder's databases are read in one transaction, from the list
  // of them on: one instant of the whole folder, whatever is committed to
  // it meanwhile.
  std::unique_ptr<ServerFolderReader> reader;
  if (IsServerFolder(source))
    reader = std::make_unique<ServerFolderReader>(source, options.snapshot);
  const std::vector<std::string> names = reader ? reader->Databases() : FolderDatabases(source);
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
  if (!IsServerFolder(source) && !IsServerFolder(dest)) RefuseCopyIntoItself(source, dest, kSource);
  if (IsServerFolder(dest)) InstallServerFunctions(dest, options.functionsScript);
  out << options.heading;
  // The outermost folder the copy creates (DEST or a parent of it).
  const fs::path madeFolder = IsServerFolder(dest) ? fs::path() : OutermostMissing(dest);
  // The schemas there before the copy, which a failure leaves alone.
  std::vector<std::string> made;
  if (IsServerFolder(dest))
    for (const std::string& location : DestinationSchemas(dest, names))
      if (!ServerSchemaExists(location)) made.push_back(location);
  try {
    return CopyInto(source, dest, names, out, reader.get());
  } catch (...) {
    // Nothing half written is left: DEST is as empty as it was.
    try {
      RemoveDestination(dest, made, madeFolder);
    } catch (...) {
    }
    throw;
  }
}

namespace {

std::vector<DatabaseCopied> CopyInto(const std::string& source, const std::string& dest,
                                     const std::vector<std::string>& names, std::ostream& out,
                                     ServerFolderReader* reader) {
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
    // The engine reads a server database's catalogue only.
    if (reader) from = SnapshotLocation(from);
    qv::dao::DatabaseOptions readOnly;
    readOnly.readOnly = true;
    auto src = readWs->Open(from, readOnly);
    const std::string to = DatabaseLocation(dest, name);
    auto dst = ws->Open(to, {});
    auto srcEngine = EngineOf(*src);
    auto dstEngine = EngineOf(*dst);
    SourceDatabase readFrom{
        *srcEngine, reader,
        reader ? qv::jet::ServerFolderSchema(DatabaseLocation(source, name)) : ""};
    std::unique_ptr<ServerTableWriter> writer;
    if (IsServerFolder(dest)) writer = std::make_unique<ServerTableWriter>(to);
    DestDatabase writeTo{*dstEngine, writer.get()};
    DatabaseCopied copied{name};
    std::vector<CopiedCounter> counters;
    {
      // A file's reads in one transaction: one state of the database. A
      // file DEST is written in one transaction of the engine, a server's
      // in the writer's (the tables DEST lacks made before, by the engine).
      std::optional<qv::dao::Transaction> readTx, tx;
      if (!reader) readTx.emplace(*src);
      if (!writer) tx.emplace(*dst);
      for (const std::string& table : srcEngine->TableNames()) {
        TableCopied t;
        try {
          t = CopyTable(readFrom, writeTo, table);
        } catch (const qv::Error& e) {
          // Which table of which database: the engine's error names neither.
          throw qv::Error(e.Number(), e.Description() + " (" + name + ", table " + table + ")",
                          e.Source());
        }
        ++copied.tables;
        copied.rows += t.rows;
        for (const std::string& c : t.counters)
          counters.push_back({table, c,
                              reader ? reader->CounterHighWater(readFrom.schema, table, c)
                                     : FileCounterHighWater(*src, table)});
      }
      if (!writer)
        for (const CopiedCounter& c : counters) KeepFileHighWater(*dst, c);
      if (writer) writer->Commit();
      if (tx) tx->Commit();
      if (readTx) readTx->Rollback();
    }
    writer.reset();
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
