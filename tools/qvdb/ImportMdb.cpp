#include "ImportMdb.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>

#include "core/schema/Schema.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/DaoConstants.h"
#include "platform/dao/Database.h"
#include "platform/dao/TableCursorSql.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetError.h"

namespace qvdb {

namespace fs = std::filesystem;
using qv::Variant;
using qv::jet::FieldSpec;
using qv::jet::TableSpec;
using qv::schema::DbFile;

namespace {

constexpr int32_t kUserInterrupt = 18;
constexpr std::string_view kVersionTable = "DBVersion";
constexpr std::string_view kOptionsFile = "Qv_DBOptions.xml";
constexpr std::string_view kBigDocsFolder = "BigDocs";

[[noreturn]] void ThrowImportFileError(const std::string& what, const fs::path& path) {
  throw qv::Error(qv::vberr::kPathFileAccessError,
                  "Path/File access error: " + what + " " + path.string(), kImportSource);
}

// A folder beside the destination that everything is written into first;
// removed with its contents unless Publish renamed it (or a file in it) to
// the destination.
class Staging {
 public:
  explicit Staging(const fs::path& dest) {
    std::error_code ec;
    const fs::path parent = dest.parent_path().empty() ? fs::path(".") : dest.parent_path();
    if (!fs::is_directory(parent, ec))
      qv::jet::ThrowJet(qv::jet::jeterr::kInvalidPath, {parent.string()}, kImportSource);
    if (fs::exists(dest, ec))
      throw qv::Error(qv::jet::jeterr::kDatabaseExists,
                      "The destination already exists: " + dest.string(), kImportSource);
    std::string pattern = (parent / ("." + dest.filename().string() + ".import-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) ThrowImportFileError("cannot create", pattern);
    path_ = pattern;
    // mkdtemp makes the folder for its owner alone; the folder it becomes
    // gets what any new folder of the user's gets (0777 less the umask).
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(pattern.c_str(), 0777 & ~mask);
  }
  ~Staging() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  const fs::path& Path() const { return path_; }

  // Renames `from` (the staging folder or a file in it) to `dest`, which
  // must not exist by then either.
  void Publish(const fs::path& from, const fs::path& dest) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, dest.c_str(), RENAME_NOREPLACE) != 0) {
      const int err = errno;
      std::error_code ec;
      // A file system without RENAME_NOREPLACE: check, then rename.
      if ((err != EINVAL && err != ENOSYS) || fs::exists(dest, ec) ||
          ::rename(from.c_str(), dest.c_str()) != 0)
        ThrowImportFileError(std::string("cannot rename to (") + std::strerror(err) + ")", dest);
    }
  }

 private:
  fs::path path_;
};

// The entries of `folder` by their names without regard to case.
std::optional<fs::path> FindEntry(const fs::path& folder, std::string_view name) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec))
    if (qv::EqualsAsciiNoCase(e.path().filename().string(), name)) return e.path();
  return std::nullopt;
}

std::shared_ptr<qv::dao::Workspace> NewWorkspace() {
  return qv::dao::DBEngine::ForThread()->CreateWorkspace("import", "admin", "",
                                                         Variant(qv::dao::dbUseJet));
}

bool Cancelled(const ImportOptions& o) {
  return o.cancel && o.cancel->load(std::memory_order_relaxed);
}

std::unique_ptr<JetSource> OpenSource(const ImportOptions& o, const fs::path& path) {
  return o.open ? o.open(path) : OpenJetFile(path);
}

// Copies the tables of one source file into `conn`: the tables `conn`
// has take the source's rows in their place; others are created when
// `createUnknown`.
class TableCopier {
 public:
  TableCopier(JetSource& src, qv::dao::Database& db, const ImportOptions& options,
              std::string label, bool createUnknown)
      : src_(src),
        db_(db),
        conn_(db.Connection()),
        options_(options),
        label_(std::move(label)),
        createUnknown_(createUnknown) {}

  // Copies every table but those in `skip`; `doneBefore`/`total` for the
  // progress of a caller counting files instead.
  void Run(FileSummary& out, const std::vector<std::string_view>& skip = {}) {
    int64_t total = 0;
    for (const SourceTable& t : src_.Tables()) total += t.rows;
    total_ = total;
    for (const SourceTable& t : src_.Tables()) {
      bool skipped = false;
      for (std::string_view s : skip) skipped = skipped || qv::NamesEqual(t.name, s);
      if (!skipped) out.tables.push_back(CopyTable(t));
    }
  }

 private:
  TableSummary CopyTable(const SourceTable& t) {
    TableSummary s;
    s.name = t.name;
    qv::jet::Catalog& catalog = conn_.Schema();
    std::shared_ptr<const TableSpec> spec = catalog.FindTable(t.name);
    s.known = spec != nullptr;
    if (!spec && !createUnknown_) {
      s.read = t.rows;
      return s;
    }
    const bool keepColumns = !spec || options_.keepUnknown;
    // One transaction for the table's definition and its rows: the pages
    // the definition writes (the schema's, the catalogue's, the new table's
    // and its indexes' roots) go to the log once, with the rows, where a
    // commit of their own wrote them twice (an import's log 130 pages
    // against 107).
    qv::dao::Transaction tx(db_);
    if (!spec) {
      TableSpec made;
      made.name = t.name;
      made.fields = t.columns;
      made.indexes = t.indexes;
      catalog.CreateTable(made);
    } else {
      for (const FieldSpec& c : t.columns)
        if (!spec->FindField(c.name)) {
          s.unknownColumns.push_back(c.name);
          if (!keepColumns) continue;
          FieldSpec added = c;
          added.required = false;  // the rows already there have no value
          catalog.AddField(spec->name, added);
        }
      s.unknownColumnsKept = keepColumns && !s.unknownColumns.empty();
    }
    spec = catalog.FindTable(t.name);
    std::vector<int> sourceOf(spec->fields.size(), -1);  // per field: the source column
    for (size_t c = 0; c < t.columns.size(); ++c)
      for (size_t f = 0; f < spec->fields.size(); ++f)
        if (qv::NamesEqual(spec->fields[f].name, t.columns[c].name))
          sourceOf[f] = static_cast<int>(c);
    std::vector<uint8_t> dirty(spec->fields.size(), 0);
    for (size_t f = 0; f < spec->fields.size(); ++f) {
      if (sourceOf[f] >= 0)
        dirty[f] = 1;
      else
        s.defaultedColumns.push_back(spec->fields[f].name);
    }
    s.copied = true;

    conn_.Execute("DELETE FROM [" + spec->name + "]");  // the builder's reference rows
    qv::jet::Statement insert = conn_.PrepareNative(qv::dao::TableSql(*spec).InsertSql(dirty));
    // An error names the row: the one being written, or the next one when
    // reading it failed.
    bool inRow = false;
    try {
      src_.ReadRows(t, [&](std::span<const SourceValue> row) {
        ++s.read;
        inRow = true;
        if (Cancelled(options_)) throw qv::Error(kUserInterrupt, "Interrupted", kImportSource);
        int param = 0;
        for (size_t f = 0; f < spec->fields.size(); ++f) {
          if (sourceOf[f] < 0) continue;
          const SourceValue& v = row[static_cast<size_t>(sourceOf[f])];
          const FieldSpec& field = spec->fields[f];
          bool lossy = v.lossy;
          // A Null where the column holds none (a flag never Null) is its default.
          const bool defaulted = v.value.IsNull() && field.required && !field.defaultValue.empty();
          insert.Bind(++param, ConvertForColumn(defaulted ? Variant(field.defaultValue) : v.value,
                                                field, lossy));
          lossy = lossy || defaulted;
          if (lossy) ++s.lossy[spec->fields[f].name];
        }
        insert.Run();
        insert.Reset();
        inRow = false;
        ++s.written;
        ++done_;
        if (options_.progress && (done_ % 256 == 0 || done_ == total_))
          options_.progress(label_, done_, total_);
      });
    } catch (const qv::Error& e) {
      throw qv::Error(e.Number(),
                      label_ + ", table " + t.name + ", row " +
                          std::to_string(s.read + (inRow ? 0 : 1)) + ": " + e.Description(),
                      e.Source());
    }
    tx.Commit();
    return s;
  }

  JetSource& src_;
  qv::dao::Database& db_;
  qv::jet::Connection& conn_;
  const ImportOptions& options_;
  std::string label_;
  bool createUnknown_;
  int64_t done_ = 0, total_ = 0;
};

// DBVersion's row of a source user database, if it has one.
std::optional<std::array<int32_t, 3>> ReadVersionRow(JetSource& src) {
  for (const SourceTable& t : src.Tables()) {
    if (!qv::NamesEqual(t.name, kVersionTable)) continue;
    int cols[3] = {-1, -1, -1};
    const char* names[3] = {"MajorVersion", "MinorVersion", "BuildNumber"};
    for (size_t c = 0; c < t.columns.size(); ++c)
      for (int k = 0; k < 3; ++k)
        if (qv::NamesEqual(t.columns[c].name, names[k])) cols[k] = static_cast<int>(c);
    std::optional<std::array<int32_t, 3>> found;
    src.ReadRows(t, [&](std::span<const SourceValue> row) {
      if (found) return;
      std::array<int32_t, 3> v{};
      for (int k = 0; k < 3; ++k) {
        const Variant* x = cols[k] >= 0 ? &row[static_cast<size_t>(cols[k])].value : nullptr;
        v[static_cast<size_t>(k)] = x && !x->IsNull() ? qv::CLng(*x) : 0;
      }
      found = v;
    });
    return found;
  }
  return std::nullopt;
}

// Merges the table summaries of one big-document shard into the folder's.
void Accumulate(FileSummary& into, const FileSummary& shard) {
  for (const TableSummary& t : shard.tables) {
    auto it = std::find_if(into.tables.begin(), into.tables.end(),
                           [&](const TableSummary& x) { return qv::NamesEqual(x.name, t.name); });
    if (it == into.tables.end()) {
      into.tables.push_back(t);
      continue;
    }
    it->read += t.read;
    it->written += t.written;
    it->copied = it->copied || t.copied;
    for (const auto& [c, n] : t.lossy) it->lossy[c] += n;
    for (const std::string& c : t.unknownColumns)
      if (std::find(it->unknownColumns.begin(), it->unknownColumns.end(), c) ==
          it->unknownColumns.end())
        it->unknownColumns.push_back(c);
  }
}

// Shard files under BigDocs: "<document>_<shard>.mdb", by relative path.
struct ShardFile {
  fs::path source;
  fs::path relative;  // below BigDocs
  int64_t shard = 0;
};

std::optional<int64_t> ShardIndex(const fs::path& file) {
  std::string name = file.filename().string();
  if (name.size() < 4 || !qv::EqualsAsciiNoCase(name.substr(name.size() - 4), ".mdb"))
    return std::nullopt;
  name.resize(name.size() - 4);
  const size_t sep = name.find('_');
  auto digits = [](std::string_view s) {
    return !s.empty() && s.size() < 18 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (sep == std::string::npos || !digits(name.substr(0, sep)) || !digits(name.substr(sep + 1)))
    return std::nullopt;
  return std::stoll(name.substr(sep + 1));
}

std::vector<ShardFile> FindShards(const fs::path& bigDocs, std::vector<std::string>& skipped) {
  std::vector<ShardFile> shards;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(bigDocs, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const fs::path rel = fs::relative(it->path(), bigDocs, ec);
    if (auto shard = ShardIndex(it->path()))
      shards.push_back({it->path(), rel, *shard});
    else
      skipped.push_back((fs::path(kBigDocsFolder) / rel).string());
  }
  std::sort(shards.begin(), shards.end(),
            [](const ShardFile& a, const ShardFile& b) { return a.relative < b.relative; });
  return shards;
}

void ImportShards(const std::vector<ShardFile>& shards, const fs::path& destBigDocs,
                  const ImportOptions& options, ImportSummary& summary) {
  if (shards.empty()) return;
  FileSummary all;
  all.file = std::string(kBigDocsFolder) + " (" + std::to_string(shards.size()) + " files)";
  auto ws = NewWorkspace();
  int64_t done = 0;
  for (const ShardFile& shard : shards) {
    auto src = OpenSource(options, shard.source);
    all.format = src->Format();
    const fs::path dest = destBigDocs / shard.relative;
    std::error_code ec;
    fs::create_directories(dest.parent_path(), ec);
    auto db = ws->Create(dest.string(), qv::jet::kLocaleRussian);
    qv::schema::CreateBigDocTables(*db, shard.shard == 0);
    FileSummary one;
    ImportOptions quiet = options;
    quiet.progress = nullptr;
    TableCopier(*src, *db, quiet, (fs::path(kBigDocsFolder) / shard.relative).string(), false)
        .Run(one);
    db->Close();
    Accumulate(all, one);
    for (const std::string& m : src->Messages())
      all.readerMessages.push_back(shard.relative.string() + ": " + m);
    if (options.progress) options.progress(std::string(kBigDocsFolder), ++done, shards.size());
  }
  ws->Close();
  summary.files.push_back(std::move(all));
}

}  // namespace

int32_t SourceSchemaVersion(int32_t major, int32_t minor, int32_t build) {
  const int32_t current = qv::schema::CurrentSchemaVersion();
  if (major != 1 || minor != 0 || build < 1) return 1;
  if (build > current)
    throw qv::Error(qv::jet::jeterr::kBadDatabaseFormat,
                    "The source's schema version " + std::to_string(build) +
                        " is newer than version " + std::to_string(current) +
                        ", the newest this library works with.",
                    kImportSource);
  return build;
}

ImportSummary ImportDataFolder(const fs::path& src, const fs::path& dest,
                               const ImportOptions& options) {
  std::error_code ec;
  if (!fs::is_directory(src, ec))
    qv::jet::ThrowJet(qv::jet::jeterr::kInvalidPath, {src.string()}, kImportSource);
  const auto userFile = FindEntry(src, qv::schema::DbFileName(DbFile::kUser));
  if (!userFile)
    qv::jet::ThrowJet(qv::jet::jeterr::kFileNotFound,
                      {(src / qv::schema::DbFileName(DbFile::kUser)).string()}, kImportSource);
  Staging staging(dest);
  const fs::path& tmp = staging.Path();
  ImportSummary summary;

  std::vector<std::unique_ptr<JetSource>> sources;
  for (DbFile file : qv::schema::kDbFiles) {
    const auto path = FindEntry(src, qv::schema::DbFileName(file));
    sources.push_back(path ? OpenSource(options, *path) : nullptr);
  }
  if (auto row = ReadVersionRow(*sources[0])) {
    summary.sourceVersion = std::to_string((*row)[0]) + "." + std::to_string((*row)[1]) + "." +
                            std::to_string((*row)[2]);
    summary.importedAt = SourceSchemaVersion((*row)[0], (*row)[1], (*row)[2]);
  } else {
    summary.importedAt = 1;
  }

  qv::schema::BuildDataFolder(tmp.string(), qv::schema::DefaultSchema(summary.importedAt));
  auto ws = NewWorkspace();
  for (size_t i = 0; i < std::size(qv::schema::kDbFiles); ++i) {
    if (!sources[i]) continue;
    const std::string name(qv::schema::DbFileName(qv::schema::kDbFiles[i]));
    auto db = ws->Open((tmp / name).string(), {});
    FileSummary file;
    file.file = name;
    file.format = sources[i]->Format();
    TableCopier(*sources[i], *db, options, name, options.keepUnknown).Run(file, {kVersionTable});
    db->Close();
    file.readerMessages = sources[i]->Messages();
    summary.files.push_back(std::move(file));
  }
  ws->Close();
  sources.clear();

  if (const auto bigDocs = FindEntry(src, kBigDocsFolder); bigDocs && fs::is_directory(*bigDocs))
    ImportShards(FindShards(*bigDocs, summary.skippedFiles), tmp / kBigDocsFolder, options,
                 summary);

  summary.migratedTo = summary.importedAt;
  for (const auto& built : qv::schema::BuildDataFolder(tmp.string()))
    summary.migratedTo = std::max(summary.migratedTo, built.toVersion);
  for (size_t i = 0; i < std::size(qv::schema::kDbFiles); ++i)
    if (!FindEntry(src, qv::schema::DbFileName(qv::schema::kDbFiles[i]))) {
      fs::remove(tmp / qv::schema::DbFileName(qv::schema::kDbFiles[i]), ec);
      summary.missingFiles.emplace_back(qv::schema::DbFileName(qv::schema::kDbFiles[i]));
    }

  for (const auto& e : fs::directory_iterator(src, ec)) {
    const std::string name = e.path().filename().string();
    if (qv::EqualsAsciiNoCase(name, kOptionsFile)) {
      fs::copy_file(e.path(), tmp / kOptionsFile, ec);
      if (ec) ThrowImportFileError("cannot copy", e.path());
      continue;
    }
    bool imported = qv::EqualsAsciiNoCase(name, kBigDocsFolder);
    for (DbFile f : qv::schema::kDbFiles)
      imported = imported || qv::EqualsAsciiNoCase(name, qv::schema::DbFileName(f));
    if (!imported) summary.skippedFiles.push_back(name);
  }
  if (Cancelled(options)) throw qv::Error(kUserInterrupt, "Interrupted", kImportSource);
  staging.Publish(tmp, dest);
  return summary;
}

ImportSummary ImportJetFile(const fs::path& src, const fs::path& dest,
                            const ImportOptions& options) {
  auto source = OpenSource(options, src);
  Staging staging(dest);
  const fs::path file = staging.Path() / dest.filename();
  ImportSummary summary;
  FileSummary out;
  out.file = src.filename().string();
  out.format = source->Format();
  auto ws = NewWorkspace();
  auto db = ws->Create(file.string(), qv::jet::kLocaleRussian);
  TableCopier(*source, *db, options, out.file, true).Run(out);
  ws->Close();
  out.readerMessages = source->Messages();
  for (TableSummary& t : out.tables) t.known = true;
  summary.files.push_back(std::move(out));
  if (Cancelled(options)) throw qv::Error(kUserInterrupt, "Interrupted", kImportSource);
  staging.Publish(file, dest);
  return summary;
}

namespace {

std::string Padded(const std::string& s, size_t width, bool right) {
  const size_t len = static_cast<size_t>(qv::Len(s));
  const std::string pad(width > len ? width - len : 0, ' ');
  return right ? pad + s : s + pad;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

void PrintFile(const FileSummary& f, std::ostream& out, std::vector<std::string>& lossy) {
  out << f.file << " (" << f.format << ")\n";
  std::vector<std::vector<std::string>> rows = {{"Table", "Read", "Written", "Lossy"}};
  std::vector<std::string> unknown, unknownColumns, defaulted;
  for (const TableSummary& t : f.tables) {
    if (!t.copied) {
      unknown.push_back(t.name + " (" + std::to_string(t.read) + " rows)");
      continue;
    }
    int64_t n = 0;
    for (const auto& [column, count] : t.lossy) {
      n += count;
      lossy.push_back(f.file + ": " + t.name + "." + column + " " + std::to_string(count));
    }
    rows.push_back({t.name + (t.known ? "" : " (new)"), std::to_string(t.read),
                    std::to_string(t.written), std::to_string(n)});
    for (const std::string& c : t.unknownColumns)
      unknownColumns.push_back(t.name + "." + c + (t.unknownColumnsKept ? " (kept)" : ""));
    for (const std::string& c : t.defaultedColumns) defaulted.push_back(t.name + "." + c);
  }
  std::vector<size_t> width(4, 0);
  for (const auto& r : rows)
    for (size_t i = 0; i < r.size(); ++i)
      width[i] = std::max(width[i], static_cast<size_t>(qv::Len(r[i])));
  for (const auto& r : rows) {
    if (rows.size() == 1) break;  // no table copied: no header either
    out << "  ";
    for (size_t i = 0; i < r.size(); ++i) out << (i ? "  " : "") << Padded(r[i], width[i], i > 0);
    out << "\n";
  }
  if (!unknown.empty())
    out << "  Tables not in the schema, not copied (--keep-unknown copies them): "
        << JoinNames(unknown) << "\n";
  if (!unknownColumns.empty())
    out << "  Columns not in the schema: " << JoinNames(unknownColumns) << "\n";
  if (!defaulted.empty())
    out << "  Columns the source lacks (left at their defaults): " << JoinNames(defaulted) << "\n";
  if (!f.readerMessages.empty())
    out << "  The reader (libmdb) reported: " << JoinNames(f.readerMessages) << "\n";
}

}  // namespace

void PrintImportSummary(const ImportSummary& summary, std::ostream& out) {
  if (summary.importedAt > 0) {
    out << "Source version "
        << (summary.sourceVersion ? *summary.sourceVersion : std::string("(no DBVersion row)"))
        << ": imported at schema version " << summary.importedAt << ", now at version "
        << summary.migratedTo << "\n";
  }
  std::vector<std::string> lossy;
  int64_t read = 0, written = 0;
  for (const FileSummary& f : summary.files) {
    PrintFile(f, out, lossy);
    for (const TableSummary& t : f.tables)
      if (t.copied) {
        read += t.read;
        written += t.written;
      }
  }
  if (!summary.skippedFiles.empty())
    out << "Files not imported: " << JoinNames(summary.skippedFiles) << "\n";
  out << read << " rows read, " << written << " written; values converted with loss: "
      << (lossy.empty() ? std::string("none") : JoinNames(lossy)) << "\n";
}

}  // namespace qvdb
