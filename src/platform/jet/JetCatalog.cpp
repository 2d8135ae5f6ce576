#include "platform/jet/JetCatalog.h"

#include <algorithm>
#include <array>

#include "platform/automation/VbaText.h"
#include "platform/jet/JetError.h"
#include "platform/jet/JetTableSql.h"
#include "platform/jet/Sqlite.h"

namespace qv::jet {

namespace {

constexpr const char* kCatalogueSql =
    "CREATE TABLE IF NOT EXISTS _jet_meta (key TEXT PRIMARY KEY COLLATE NOCASE, value);"
    "CREATE TABLE IF NOT EXISTS _jet_columns (table_name TEXT NOT NULL COLLATE NOCASE, "
    "ordinal INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, "
    "size INTEGER NOT NULL, required INTEGER NOT NULL, allow_zero_length INTEGER NOT NULL, "
    "default_value TEXT NOT NULL, unicode_compression INTEGER NOT NULL, "
    "PRIMARY KEY (table_name, name));"
    "CREATE TABLE IF NOT EXISTS _jet_indexes (table_name TEXT NOT NULL COLLATE NOCASE, "
    "name TEXT NOT NULL COLLATE NOCASE, ordinal INTEGER NOT NULL, sqlite_name TEXT NOT NULL, "
    "fields TEXT NOT NULL, is_primary INTEGER NOT NULL, is_unique INTEGER NOT NULL, "
    "PRIMARY KEY (table_name, name));";

struct TypeName {
  std::string_view name;
  JetType type;
};
// The name JetTypeName gives each type.
constexpr auto kTypeNames = std::to_array<TypeName>({
    {"Boolean", JetType::kBoolean},   {"Byte", JetType::kByte},
    {"Integer", JetType::kInteger},   {"Long", JetType::kLong},
    {"Currency", JetType::kCurrency}, {"Single", JetType::kSingle},
    {"Double", JetType::kDouble},     {"Date", JetType::kDate},
    {"Binary", JetType::kBinary},     {"Text", JetType::kText},
    {"Char", JetType::kChar},         {"LongBinary", JetType::kLongBinary},
    {"Memo", JetType::kMemo},         {"GUID", JetType::kGUID},
    {"BigInt", JetType::kBigInt},     {"VarBinary", JetType::kVarBinary},
    {"Numeric", JetType::kNumeric},   {"Decimal", JetType::kDecimal},
    {"Time", JetType::kTime},
});

std::string Key(std::string_view name) {
  return FoldCase(name);
}

using sqlite::Savepoint;

void BindText(sqlite3_stmt* s, int i, std::string_view text) {
  sqlite3_bind_text64(s, i, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

std::string ColumnText(sqlite3_stmt* s, int i) {
  const unsigned char* t = sqlite3_column_text(s, i);
  return t ? std::string(reinterpret_cast<const char*>(t),
                         static_cast<size_t>(sqlite3_column_bytes(s, i)))
           : std::string();
}

void Step(sqlite3* db, sqlite3_stmt* s) {
  sqlite::Check(sqlite3_step(s), db);
}

// The Jet type SQLite's declared type suggests, for a table made without
// the catalogue.
FieldSpec FieldFromDeclared(std::string name, std::string declared, bool notNull) {
  FieldSpec f;
  f.name = std::move(name);
  std::string d = UCase(declared);
  f.required = notNull;
  auto has = [&](std::string_view s) { return d.find(s) != std::string::npos; };
  if (has("BOOL"))
    f.type = JetType::kBoolean;
  else if (has("DATE") || has("TIME"))
    f.type = JetType::kDate;
  else if (has("INT"))
    f.type = JetType::kLong;
  else if (has("REAL") || has("FLOA") || has("DOUB") || has("NUM") || has("DEC"))
    f.type = JetType::kDouble;
  else if (has("CHAR") || has("CLOB") || has("TEXT")) {
    size_t open = d.find('(');
    int size = open == std::string::npos ? 0 : std::atoi(d.c_str() + open + 1);
    f.type = size > 0 && size <= 255 ? JetType::kText : JetType::kMemo;
    f.size = f.type == JetType::kText ? size : 0;
  } else if (has("BLOB"))
    f.type = JetType::kLongBinary;
  else
    f.type = JetType::kNone;
  return f;
}

// The name SQLite gives the index of a column constraint (UNIQUE, a
// PRIMARY KEY not on the rowid): no Jet name, and it can go only with its
// table.
constexpr std::string_view kConstraintIndexPrefix = "sqlite_autoindex_";

// A Jet name for an index SQLite made for a constraint, as a server names
// one: "<table>_pkey", "<table>_<columns>_key", a number after it when the
// table has an index of that name already, "Index<n>" when it is too long.
std::string ConstraintIndexName(const TableSpec& table, const IndexSpec& index) {
  std::string base = table.name;
  if (index.primary) {
    base += "_pkey";
  } else {
    for (const IndexField& f : index.fields) base += "_" + f.name;
    base += "_key";
  }
  std::string name = base;
  for (int n = 1; !ddl::IsValidName(name) || table.FindIndex(name); ++n)
    name = ddl::IsValidName(base) ? base + std::to_string(n) : "Index" + std::to_string(n);
  return name;
}

std::string JoinFields(const std::vector<IndexField>& fields) {
  std::string out;
  for (const IndexField& f : fields) {
    if (!out.empty()) out += ';';
    if (f.descending) out += '-';
    out += f.name;
  }
  return out;
}

// SQLite's declaration of a column after its name, for a column of no Jet
// type made again: its declared type (which gives its values their
// affinity), collation, NOT NULL and default.
std::string NativeDeclaration(sqlite3* db, const std::string& table, const std::string& column) {
  const char* type = nullptr;
  const char* collation = nullptr;
  int notNull = 0;
  sqlite::Check(sqlite3_table_column_metadata(db, nullptr, table.c_str(), column.c_str(), &type,
                                              &collation, &notNull, nullptr, nullptr),
                db);
  std::string out = type ? type : "";
  if (collation && !EqualsAsciiNoCase(collation, "BINARY")) {
    out += " COLLATE ";
    sqlite::AppendQuoted(out, collation);
  }
  if (notNull) out += " NOT NULL";
  sqlite::StmtPtr s = sqlite::Prepare(
      db, "SELECT dflt_value FROM pragma_table_info(?) WHERE name = ? COLLATE NOCASE");
  BindText(s.get(), 1, table);
  BindText(s.get(), 2, column);
  if (sqlite3_step(s.get()) == SQLITE_ROW && sqlite3_column_type(s.get(), 0) != SQLITE_NULL)
    out += " DEFAULT (" + ColumnText(s.get(), 0) + ")";
  return out;
}

// Whether a table has a rowid (not made WITHOUT ROWID).
bool HasRowid(sqlite3* db, const std::string& table) {
  sqlite::StmtPtr s = sqlite::Prepare(db, "SELECT wr FROM pragma_table_list(?)");
  BindText(s.get(), 1, table);
  return sqlite3_step(s.get()) != SQLITE_ROW || sqlite3_column_int(s.get(), 0) == 0;
}

// Whether a table holds a row.
bool HasRows(sqlite3* db, const std::string& table) {
  std::string sql = "SELECT 1 FROM ";
  sqlite::AppendQuoted(sql, table);
  sql += " LIMIT 1";
  sqlite::StmtPtr s = sqlite::Prepare(db, sql.c_str());
  return sqlite3_step(s.get()) == SQLITE_ROW;
}

// The pages the connection's pagers have written to their files (to the
// log, in WAL mode) since it opened.
int PagesWritten(sqlite3* db) {
  int written = 0, highwater = 0;
  sqlite3_db_status(db, SQLITE_DBSTATUS_CACHE_WRITE, &written, &highwater, 0);
  return written;
}

}  // namespace

// ---- definitions

std::vector<IndexField> IndexSpec::ParseFields(std::string_view text) {
  std::vector<IndexField> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(start, end - start);
    part = TrimBlanks(part);
    IndexField f;
    if (!part.empty() && (part.front() == '-' || part.front() == '+')) {
      f.descending = part.front() == '-';
      part.remove_prefix(1);
    }
    f.name = std::string(part);
    if (!f.name.empty()) out.push_back(std::move(f));
    start = end + 1;
  }
  return out;
}

const FieldSpec* TableSpec::FindField(std::string_view name) const {
  for (const FieldSpec& f : fields)
    if (NamesEqual(f.name, name)) return &f;
  return nullptr;
}

const IndexSpec* TableSpec::FindIndex(std::string_view name) const {
  for (const IndexSpec& x : indexes)
    if (NamesEqual(x.name, name)) return &x;
  return nullptr;
}

std::string_view JetTypeName(JetType type) {
  for (const TypeName& t : kTypeNames)
    if (t.type == type) return t.name;
  return "Unknown";
}

// ---- the catalogue

Catalog::Catalog(sqlite3* db, std::function<void()> onChange)
    : db_(db), onChange_(std::move(onChange)), logIndex_(db) {}

Catalog::~Catalog() {
  sqlite3_finalize(schemaVersion_);
}

// Not an authorizer: SQLite then checks every column a statement reads
// with it, about 650 instructions of every translation's prepare. Any way
// of writing the pragma's name (quoted or not, in any case) holds it, and
// its table-valued form takes no mode.
void Catalog::NativeText(std::string_view sql) const {
  constexpr std::string_view kPragma = "journal_mode";
  for (size_t i = 0; i + kPragma.size() <= sql.size(); ++i)
    if ((sql[i] | 0x20) == 'j' && EqualsAsciiNoCase(sql.substr(i, kPragma.size()), kPragma)) {
      logIndex_.JournalModeMayChange();
      return;
    }
}

void Catalog::EnsureCreated(std::string_view locale) {
  // Checked first so that opening a file takes no write lock when the
  // catalogue is there.
  if (sqlite3_table_column_metadata(db_, nullptr, "_jet_indexes", "table_name", nullptr, nullptr,
                                    nullptr, nullptr, nullptr) != SQLITE_OK)
    sqlite::Exec(db_, kCatalogueSql);
  if (locale.empty()) return;
  sqlite::StmtPtr s =
      sqlite::Prepare(db_, "INSERT OR REPLACE INTO _jet_meta (key, value) VALUES ('locale', ?)");
  BindText(s.get(), 1, locale);
  Step(db_, s.get());
}

std::string Catalog::Locale() const {
  if (sqlite3_table_column_metadata(db_, nullptr, "_jet_meta", "value", nullptr, nullptr, nullptr,
                                    nullptr, nullptr) != SQLITE_OK)
    return {};
  sqlite::StmtPtr s = sqlite::Prepare(db_, "SELECT value FROM _jet_meta WHERE key = 'locale'");
  return sqlite3_step(s.get()) == SQLITE_ROW ? ColumnText(s.get(), 0) : std::string();
}

void Catalog::Changed() {
  Invalidate();
  if (onChange_) onChange_();
}

void Catalog::Invalidate() const {
  cache_.clear();
  namesRead_ = false;
  // Read again at the next look-up: a change inside a transaction leaves
  // the data version as it was until the commit.
  version_ = -1;
  dataVersion_ = -1;
  logHeaderValid_ = false;
}

int Catalog::DropValueTriggers() {
  std::vector<std::string> names;
  {
    sqlite::StmtPtr s = sqlite::Prepare(db_,
                                        "SELECT name FROM sqlite_master "
                                        "WHERE type = 'trigger' "
                                        "AND (name LIKE 'jet\\_norm\\_insert:%' ESCAPE '\\' "
                                        "OR name LIKE 'jet\\_norm\\_update:%' ESCAPE '\\')");
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) names.push_back(ColumnText(s.get(), 0));
    sqlite::Check(rc, db_);
  }
  if (names.empty()) return 0;
  Savepoint sp(db_);
  for (const std::string& name : names) {
    std::string sql = "DROP TRIGGER ";
    sqlite::AppendQuoted(sql, name);
    sqlite::Exec(db_, sql.c_str());
  }
  sp.Commit();
  Changed();
  return static_cast<int>(names.size());
}

void Catalog::CreateTable(const TableSpec& table) {
  ddl::CheckTable(table);
  if (FindTable(table.name)) ThrowJet(jeterr::kTableExists, {table.name}, kSourceTableDef);
  auto made = std::make_shared<TableSpec>(table);
  Savepoint sp(db_);
  EnsureCreated();
  // The table and its indexes in one text; then the catalogue's rows of
  // each kind in one statement (each schema statement makes SQLite prepare
  // every statement again, so one kept prepared would gain nothing).
  std::string sql = ddl::CreateTableSql(table);
  for (IndexSpec& x : made->indexes) {
    x.sqliteName = table.name + "." + x.name;
    sql += "; " + ddl::CreateIndexSql(table.name, x);
  }
  sqlite::Exec(db_, sql.c_str());
  InsertColumns(table.name, 0, table.fields);
  InsertIndexes(table.name, 0, made->indexes);
  // Read while the transaction holds the write lock: the version the
  // commit leaves when this savepoint is the outermost level.
  const int64_t version = ReadSchemaVersion();
  sp.Commit();
  Changed();
  // The definition as a read of the catalogue would give it, from what was
  // written: a later change of the schema (this connection's, another's,
  // or a rollback of an enclosing transaction) moves the version on and
  // drops it.
  for (FieldSpec& f : made->fields)
    if (f.type == JetType::kText && f.size == 0) f.size = 255;
  for (IndexSpec& x : made->indexes) {
    x.fields = IndexSpec::ParseFields(JoinFields(x.fields));
    x.unique = x.primary || x.unique;
  }
  version_ = version;
  Keep(Key(table.name), std::move(made));
}

bool Catalog::Adopt(TableSpec& table) {
  if (ReadFromCatalogue(table.name)) return true;
  // The indexes of column constraints and the rowid's primary key become
  // indexes of the library's (a remake of the table), so that each can be
  // dropped by itself and a later remake makes them again.
  bool remake = false;
  for (IndexSpec& x : table.indexes) {
    if (!x.sqliteName.empty() && !x.sqliteName.starts_with(kConstraintIndexPrefix)) continue;
    x.sqliteName = table.name + "." + x.name;
    remake = true;
  }
  InsertColumns(table.name, 0, table.fields);
  InsertIndexes(table.name, 0, table.indexes);
  if (remake) RebuildTable(table, table);
  return false;
}

void Catalog::CreateIndexUnchecked(const TableSpec& table, IndexSpec index, int ordinal) {
  index.sqliteName = table.name + "." + index.name;
  sqlite::Exec(db_, ddl::CreateIndexSql(table.name, index).c_str());
  InsertIndexes(table.name, ordinal, std::span<const IndexSpec>(&index, 1));
}

void Catalog::RebuildTable(const TableSpec& from, const TableSpec& to) {
  const std::string old = "$rebuild$" + from.name;
  // A column of no Jet type (of a table made without the catalogue) is
  // made again as SQLite declares it, its values as they are.
  std::vector<std::string> native;
  for (const FieldSpec& f : to.fields)
    if (f.type == JetType::kNone) native.push_back(NativeDeclaration(db_, from.name, f.name));
  bool counter = false;
  std::string columns;
  for (const FieldSpec& f : to.fields) {
    counter = counter || f.autoIncrement;
    if (!columns.empty()) columns += ", ";
    sqlite::AppendQuoted(columns, f.name);
  }
  // Rows keep their rowids (the order a table is read in without an index);
  // a counter is the rowid itself. A table made WITHOUT ROWID has none: it
  // is made again with one, its rows numbered in its key's order.
  const bool rowid = HasRowid(db_, from.name);
  if (!counter && rowid) columns = "rowid, " + columns;
  std::string sql = "ALTER TABLE ";
  sqlite::AppendQuoted(sql, from.name);
  sql += " RENAME TO ";
  sqlite::AppendQuoted(sql, old);
  sql += "; " + ddl::CreateTableSql(to, native) + "; INSERT INTO ";
  sqlite::AppendQuoted(sql, to.name);
  sql += " (" + columns + ") SELECT " + columns + " FROM ";
  sqlite::AppendQuoted(sql, old);
  if (rowid) sql += " ORDER BY rowid";
  sqlite::Exec(db_, sql.c_str());
  if (counter) {
    // The counter goes on from the highest number it ever handed out, not
    // from the highest row left.
    for (const char* keep : {"DELETE FROM sqlite_sequence WHERE name = ?1",
                             "INSERT INTO sqlite_sequence (name, seq) "
                             "SELECT ?1, seq FROM sqlite_sequence WHERE name = ?2"}) {
      sqlite::StmtPtr s = sqlite::Prepare(db_, keep);
      BindText(s.get(), 1, to.name);
      if (sqlite3_bind_parameter_count(s.get()) > 1) BindText(s.get(), 2, old);
      Step(db_, s.get());
    }
  }
  sql = "DROP TABLE ";
  sqlite::AppendQuoted(sql, old);
  for (const IndexSpec& x : from.indexes) sql += "; " + ddl::CreateIndexSql(to.name, x);
  sqlite::Exec(db_, sql.c_str());
}

void Catalog::CreateIndex(std::string_view tableName, const IndexSpec& index) {
  std::shared_ptr<const TableSpec> table = FindTable(tableName);
  if (!table) ThrowJet(jeterr::kTableNotFound, {tableName}, kSourceTableDef);
  TableSpec check = *table;
  check.indexes.push_back(index);
  ddl::CheckTable(check, check.fields.size());
  Savepoint sp(db_);
  EnsureCreated();
  // A primary key refuses Nulls by a check on its columns, which SQLite
  // adds only with the table: the table is made again with it (a Null
  // already stored fails the change with 3058). A table made without the
  // catalogue keeps its own definition.
  TableSpec adopted = *table;
  if (Adopt(adopted) && index.primary) RebuildTable(adopted, check);
  CreateIndexUnchecked(adopted, index, static_cast<int>(adopted.indexes.size()));
  sp.Commit();
  Changed();
}

void Catalog::DropIndex(std::string_view tableName, std::string_view indexName) {
  std::shared_ptr<const TableSpec> table = FindTable(tableName);
  if (!table) ThrowJet(jeterr::kTableNotFound, {tableName}, kSourceTableDef);
  if (!table->FindIndex(indexName)) ThrowJet(jeterr::kNotAnIndex, {indexName}, kSourceTableDef);
  Savepoint sp(db_);
  EnsureCreated();
  TableSpec adopted = *table;
  Adopt(adopted);
  const IndexSpec* index = adopted.FindIndex(indexName);
  std::string sql = "DROP INDEX ";
  sqlite::AppendQuoted(sql, index->sqliteName);
  sqlite::Exec(db_, sql.c_str());
  if (index->primary) {
    // Without its primary key the table takes Nulls in those columns again.
    TableSpec next = adopted;
    std::erase_if(next.indexes, [&](const IndexSpec& x) { return x.primary; });
    RebuildTable(next, next);
  }
  sqlite::StmtPtr s =
      sqlite::Prepare(db_, "DELETE FROM _jet_indexes WHERE table_name = ? AND name = ?");
  BindText(s.get(), 1, adopted.name);
  BindText(s.get(), 2, index->name);
  Step(db_, s.get());
  sp.Commit();
  Changed();
}

void Catalog::DropTable(std::string_view tableName) {
  std::shared_ptr<const TableSpec> table = FindTable(tableName);
  if (!table) ThrowJet(jeterr::kTableNotFound, {tableName}, kSourceTableDef);
  Savepoint sp(db_);
  std::string sql = "DROP TABLE ";
  sqlite::AppendQuoted(sql, table->name);
  sqlite::Exec(db_, sql.c_str());  // its indexes go with it
  EnsureCreated();
  for (const char* del : {"DELETE FROM _jet_columns WHERE table_name = ?",
                          "DELETE FROM _jet_indexes WHERE table_name = ?"}) {
    sqlite::StmtPtr s = sqlite::Prepare(db_, del);
    BindText(s.get(), 1, table->name);
    Step(db_, s.get());
  }
  sp.Commit();
  Changed();
}

void Catalog::AddField(std::string_view tableName, const FieldSpec& field) {
  std::shared_ptr<const TableSpec> table = FindTable(tableName);
  if (!table) ThrowJet(jeterr::kTableNotFound, {tableName}, kSourceTableDef);
  TableSpec next = *table;
  next.fields.push_back(field);
  ddl::CheckTable(next, table->fields.size());
  if (field.autoIncrement) ThrowJet(jeterr::kNotSupported, {}, kSourceField);
  Savepoint sp(db_);
  EnsureCreated();
  TableSpec adopted = *table;
  Adopt(adopted);
  // A required field without a default: the rows there would hold Null in
  // it, which Jet refuses (3314, as the server does), the table as it was
  // (SQLite's own refusal of the column was 3000). An empty table takes it.
  if (field.required && !ddl::DefaultSql(field) && HasRows(db_, table->name))
    ThrowJet(jeterr::kRequired, {table->name + "." + field.name}, kSourceTableDef);
  std::string sql = "ALTER TABLE ";
  sqlite::AppendQuoted(sql, table->name);
  sql += " ADD COLUMN " + ddl::ColumnSql(table->name, field, false);
  sqlite::Exec(db_, sql.c_str());
  InsertColumns(table->name, static_cast<int>(table->fields.size()),
                std::span<const FieldSpec>(&field, 1));
  sp.Commit();
  Changed();
}

namespace {

// "INSERT INTO <table> (<columns>) VALUES (?, ...), ..." for `rows` rows of
// `columns` values each.
std::string MultiRowInsert(std::string_view head, int columns, size_t rows) {
  std::string row = "(?";
  for (int c = 1; c < columns; ++c) row += ", ?";
  row += ")";
  std::string sql(head);
  for (size_t r = 0; r < rows; ++r) sql += (r ? ", " : " VALUES ") + row;
  return sql;
}

// Rows per statement: far below SQLite's least limit of bound values (999).
constexpr size_t kRowsPerInsert = 64;

// Inserts `count` rows of `columns` values through multi-row statements
// starting with `head`; bind(statement, row, parameter before the row's
// first) binds a row's values.
template <typename Bind>
void InsertRows(sqlite3* db, std::string_view head, int columns, size_t count, Bind bind) {
  for (size_t start = 0; start < count; start += kRowsPerInsert) {
    const size_t n = std::min(kRowsPerInsert, count - start);
    sqlite::StmtPtr s = sqlite::Prepare(db, MultiRowInsert(head, columns, n));
    for (size_t r = 0; r < n; ++r) bind(s.get(), start + r, static_cast<int>(r) * columns);
    Step(db, s.get());
  }
}

}  // namespace

void Catalog::InsertColumns(std::string_view table, int ordinal,
                            std::span<const FieldSpec> fields) {
  InsertRows(db_,
             "INSERT INTO _jet_columns (table_name, ordinal, name, type, size, required, "
             "allow_zero_length, default_value, unicode_compression)",
             9, fields.size(), [&](sqlite3_stmt* s, size_t i, int p) {
               const FieldSpec& f = fields[i];
               BindText(s, ++p, table);
               sqlite3_bind_int(s, ++p, ordinal + static_cast<int>(i));
               BindText(s, ++p, f.name);
               sqlite3_bind_int(s, ++p, static_cast<int>(f.type));
               sqlite3_bind_int(s, ++p, f.type == JetType::kText && f.size == 0 ? 255 : f.size);
               sqlite3_bind_int(s, ++p, f.required);
               sqlite3_bind_int(s, ++p, f.allowZeroLength);
               BindText(s, ++p, f.defaultValue);
               sqlite3_bind_int(s, ++p, f.unicodeCompression);
             });
}

void Catalog::InsertIndexes(std::string_view table, int ordinal,
                            std::span<const IndexSpec> indexes) {
  InsertRows(db_,
             "INSERT INTO _jet_indexes (table_name, name, ordinal, sqlite_name, fields, "
             "is_primary, is_unique)",
             7, indexes.size(), [&](sqlite3_stmt* s, size_t i, int p) {
               const IndexSpec& x = indexes[i];
               BindText(s, ++p, table);
               BindText(s, ++p, x.name);
               sqlite3_bind_int(s, ++p, ordinal + static_cast<int>(i));
               BindText(s, ++p, x.sqliteName);
               BindText(s, ++p, JoinFields(x.fields));
               sqlite3_bind_int(s, ++p, x.primary);
               sqlite3_bind_int(s, ++p, x.primary || x.unique);
             });
}

void Catalog::DropField(std::string_view tableName, std::string_view fieldName) {
  std::shared_ptr<const TableSpec> table = FindTable(tableName);
  if (!table) ThrowJet(jeterr::kTableNotFound, {tableName}, kSourceTableDef);
  const FieldSpec* field = table->FindField(fieldName);
  if (!field) ThrowJet(jeterr::kItemNotFound, {}, kSourceField);
  for (const IndexSpec& x : table->indexes)
    for (const IndexField& k : x.fields)
      if (NamesEqual(k.name, field->name)) ThrowJet(jeterr::kFieldInIndex, {}, kSourceField);
  if (table->fields.size() == 1) ThrowJet(jeterr::kNoFieldDefined, {}, kSourceTableDef);
  Savepoint sp(db_);
  EnsureCreated();
  if (field->autoIncrement) {
    // A counter is the table's rowid, which SQLite does not drop: the table
    // is made again without it.
    TableSpec next = *table;
    std::erase_if(next.fields, [&](const FieldSpec& f) { return NamesEqual(f.name, field->name); });
    RebuildTable(*table, next);
  } else {
    std::string sql = "ALTER TABLE ";
    sqlite::AppendQuoted(sql, table->name);
    sql += " DROP COLUMN ";
    sqlite::AppendQuoted(sql, field->name);
    sqlite::Exec(db_, sql.c_str());
  }
  for (const char* change :
       {"UPDATE _jet_columns SET ordinal = ordinal - 1 WHERE table_name = ?1 AND ordinal > "
        "(SELECT ordinal FROM _jet_columns WHERE table_name = ?1 AND name = ?2)",
        "DELETE FROM _jet_columns WHERE table_name = ?1 AND name = ?2"}) {
    sqlite::StmtPtr s = sqlite::Prepare(db_, change);
    BindText(s.get(), 1, table->name);
    BindText(s.get(), 2, field->name);
    Step(db_, s.get());
  }
  sp.Commit();
  Changed();
}

void Catalog::ChangeFieldRules(std::string_view tableName, std::span<const FieldSpec> fields) {
  std::shared_ptr<const TableSpec> table = FindTable(tableName);
  if (!table) ThrowJet(jeterr::kTableNotFound, {tableName}, kSourceTableDef);
  const TableSpec next = ddl::WithFieldRules(*table, fields);
  Savepoint sp(db_);
  EnsureCreated();
  TableSpec adopted = *table;
  Adopt(adopted);
  RebuildTable(adopted, next);
  sqlite::StmtPtr s = sqlite::Prepare(db_, "DELETE FROM _jet_columns WHERE table_name = ?");
  BindText(s.get(), 1, next.name);
  Step(db_, s.get());
  InsertColumns(next.name, 0, next.fields);
  sp.Commit();
  Changed();
}

void Catalog::SetUnicodeCompression(std::string_view tableName, std::string_view fieldName,
                                    bool on) {
  std::shared_ptr<const TableSpec> table = FindTable(tableName);
  if (!table) ThrowJet(jeterr::kTableNotFound, {tableName}, kSourceTableDef);
  const FieldSpec* field = table->FindField(fieldName);
  if (!field) ThrowJet(jeterr::kItemNotFound, {}, kSourceField);
  Savepoint sp(db_);
  EnsureCreated();
  TableSpec adopted = *table;
  Adopt(adopted);
  sqlite::StmtPtr s = sqlite::Prepare(
      db_, "UPDATE _jet_columns SET unicode_compression = ? WHERE table_name = ? AND name = ?");
  sqlite3_bind_int(s.get(), 1, on);
  BindText(s.get(), 2, table->name);
  BindText(s.get(), 3, field->name);
  Step(db_, s.get());
  if (sqlite3_changes(db_) == 0) ThrowJet(jeterr::kItemNotFound, {}, kSourceField);
  sp.Commit();
  cache_.clear();
}

std::vector<std::string> Catalog::TableNames() const {
  sqlite::StmtPtr s =
      sqlite::Prepare(db_,
                      "SELECT name FROM sqlite_master "
                      "WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                      "AND name NOT LIKE '\\_jet\\_%' ESCAPE '\\' "
                      "ORDER BY rowid");

  std::vector<std::string> out;
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) out.push_back(ColumnText(s.get(), 0));
  sqlite::Check(rc, db_);
  return out;
}

std::shared_ptr<const TableSpec> Catalog::FindTable(std::string_view table) const {
  Refresh();
  const Cached* c = Load(table);
  return c ? c->spec : nullptr;
}

const std::vector<ColumnInfo>* Catalog::TableColumns(std::string_view table) const {
  const Cached* c = Load(table);
  return c ? &c->columns : nullptr;
}

bool Catalog::KeyedAlone(std::string_view table, std::string_view column) const {
  const Cached* c = Load(table);
  if (!c) return false;
  for (const IndexSpec& x : c->spec->indexes)
    if ((x.primary || x.unique) && x.fields.size() == 1 && Key(x.fields[0].name) == Key(column))
      return true;
  for (const FieldSpec& f : c->spec->fields)
    if (f.autoIncrement && Key(f.name) == Key(column)) return true;  // the rowid
  return false;
}

const Catalog::Cached* Catalog::Load(std::string_view table) const {
  std::string key = Key(table);
  if (auto it = cache_.find(key); it != cache_.end()) return &it->second;
  if (!TableExists(key)) return nullptr;
  std::shared_ptr<TableSpec> spec = ReadFromCatalogue(table);
  if (!spec) spec = ReadFromSqlite(table);
  if (!spec) return nullptr;
  return Keep(std::move(key), std::move(spec));
}

const Catalog::Cached* Catalog::Keep(std::string key, std::shared_ptr<TableSpec> spec) const {
  Cached c;
  for (const FieldSpec& f : spec->fields)
    sqlite::AppendQuoted(c.columns.emplace_back(ColumnInfo{f.name, f.type, f.size}).quoted, f.name);
  c.spec = std::move(spec);
  return &cache_.insert_or_assign(std::move(key), std::move(c)).first->second;
}

int64_t Catalog::DataVersion() const {
  unsigned int version = 0;
  sqlite::Check(sqlite3_file_control(db_, "main", SQLITE_FCNTL_DATA_VERSION, &version), db_);
  return version;
}

void Catalog::Refresh() const {
  // Inside a read transaction (a statement of the caller stepping, a
  // transaction) the pager's data version, read without I/O, changes with
  // every commit that snapshot sees, this connection's or another's.
  // Outside one, the header of the log index in shared memory changes with
  // every commit to the file. Only when the one that applies changed is the
  // schema version read, which outside a transaction begins and ends a
  // read transaction (file locks) of its own.
  // First, for a file in WAL mode, the header kept when the version was
  // last read outside a snapshot (or after an own commit): while the one in
  // shared memory is the same, no commit reached the file since, and a
  // snapshot open now (begun after the header was kept: none was open
  // then) sees that same state, so neither test needs asking.
  if (logHeaderValid_ && logIndex_.Holds(logHeader_)) return;
  // Asked of every schema first (no name to look up): none in a transaction
  // is the common answer, and then the main one is not either.
  const bool inSnapshot = sqlite3_txn_state(db_, nullptr) != SQLITE_TXN_NONE &&
                          sqlite3_txn_state(db_, "main") != SQLITE_TXN_NONE;
  WalIndexHeader header;
  bool headerRead = false;
  if (inSnapshot) {
    if (dataVersion_ >= 0 && DataVersion() == dataVersion_) return;
  } else {
    headerRead = logIndex_.Read(header) && header.CopiesAgree();
    if (headerRead && logHeaderValid_ && header == logHeader_) return;
  }
  const int64_t version = ReadSchemaVersion();
  // Taken before any other read transaction begins: the pager keeps the
  // data version of the snapshot the version was read in.
  const int64_t data = DataVersion();
  TakeVersion(version);
  // A commit this connection did not note as its own (NoteCommitEnd), or
  // the first look-up.
  if (data != dataVersion_) ++commitsSeen_;
  dataVersion_ = data;
  // The header was read before the version: a commit in between makes the
  // next look-up read the version again.
  if (!inSnapshot) {
    logHeader_ = header;
    logHeaderValid_ = headerRead;
  }
}

int64_t Catalog::ReadSchemaVersion() const {
  if (!schemaVersion_)
    schemaVersion_ = sqlite::Prepare(db_, "PRAGMA schema_version", true).release();
  int rc = sqlite3_step(schemaVersion_);
  const int64_t version = rc == SQLITE_ROW ? sqlite3_column_int64(schemaVersion_, 0) : -1;
  sqlite3_reset(schemaVersion_);
  if (rc != SQLITE_ROW) sqlite::Check(rc, db_);
  return version;
}

void Catalog::TakeVersion(int64_t version) const {
  if (version == version_) return;
  const bool changedElsewhere = version_ >= 0;
  cache_.clear();
  namesRead_ = false;
  // The schema changed without the catalogue (another connection, or a
  // schema statement a native statement ran): what the connection keeps of
  // it (statements, translations, the generation) goes as after a change
  // of its own.
  if (changedElsewhere && onChange_) onChange_();
  version_ = version;
}

void Catalog::NoteCommitStart() const {
  commitNoted_ = false;
  // The write lock is held while the main database is in a write
  // transaction. Another database written in the same transaction would
  // count its pages in PagesWritten as well.
  if (sqlite3_txn_state(db_, "main") != SQLITE_TXN_WRITE) return;
  for (int i = 1; const char* name = sqlite3_db_name(db_, i); ++i)
    if (sqlite3_txn_state(db_, name) == SQLITE_TXN_WRITE) return;
  WalIndexHeader header;
  if (!logIndex_.Read(header) || !header.CopiesAgree()) return;
  commitVersion_ = ReadSchemaVersion();
  commitPagesWritten_ = PagesWritten(db_);
  commitHeader_ = header;
  commitNoted_ = true;
}

void Catalog::NoteCommitEnd() const {
  if (!commitNoted_) return;
  commitNoted_ = false;
  // A transaction that changed nothing commits without a write to the log,
  // which leaves the header as it was: the commit counter would then count
  // another connection's commit.
  const int written = PagesWritten(db_) - commitPagesWritten_;
  if (written <= 0) return;
  WalIndexHeader header;
  if (!logIndex_.Read(header) || !header.CopiesAgree() ||
      !header.FollowsOwnCommit(commitHeader_, static_cast<uint32_t>(written)))
    return;
  TakeVersion(commitVersion_);
  // The pager counts this commit in its data version; another connection's
  // commit it counts only when a read transaction of this connection
  // begins, none of which has begun since the commit.
  dataVersion_ = DataVersion();
  logHeader_ = header;
  logHeaderValid_ = true;
}

bool Catalog::TableExists(std::string_view key) const {
  if (!namesRead_) {
    tableNames_.clear();
    sqlite::StmtPtr s = sqlite::Prepare(db_, "SELECT name FROM sqlite_master WHERE type = 'table'");
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
      tableNames_[Key(ColumnText(s.get(), 0))] = true;
    sqlite::Check(rc, db_);
    namesRead_ = true;
  }
  return tableNames_.count(std::string(key)) != 0;
}

std::shared_ptr<TableSpec> Catalog::ReadFromCatalogue(std::string_view table) const {
  if (sqlite3_table_column_metadata(db_, nullptr, "_jet_columns", "table_name", nullptr, nullptr,
                                    nullptr, nullptr, nullptr) != SQLITE_OK)
    return nullptr;
  sqlite::StmtPtr s = sqlite::Prepare(
      db_,
      "SELECT c.table_name, c.name, c.type, c.size, c.required, c.allow_zero_length, "
      "c.default_value, c.unicode_compression FROM _jet_columns c JOIN sqlite_master m "
      "ON m.type = 'table' AND m.name = c.table_name COLLATE NOCASE "
      "WHERE c.table_name = ? ORDER BY c.ordinal");
  BindText(s.get(), 1, table);
  auto spec = std::make_shared<TableSpec>();
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
    spec->name = ColumnText(s.get(), 0);
    FieldSpec f;
    f.name = ColumnText(s.get(), 1);
    f.type = static_cast<JetType>(sqlite3_column_int(s.get(), 2));
    f.size = sqlite3_column_int(s.get(), 3);
    f.required = sqlite3_column_int(s.get(), 4) != 0;
    f.allowZeroLength = sqlite3_column_int(s.get(), 5) != 0;
    f.defaultValue = ColumnText(s.get(), 6);
    f.unicodeCompression = sqlite3_column_int(s.get(), 7) != 0;
    spec->fields.push_back(std::move(f));
  }
  sqlite::Check(rc, db_);
  if (spec->fields.empty()) return nullptr;
  // A counter is the table's rowid, which SQLite itself records.
  for (FieldSpec& f : spec->fields) {
    int autoIncrement = 0;
    if (f.type == JetType::kLong &&
        sqlite3_table_column_metadata(db_, nullptr, spec->name.c_str(), f.name.c_str(), nullptr,
                                      nullptr, nullptr, nullptr, &autoIncrement) == SQLITE_OK)
      f.autoIncrement = autoIncrement != 0;
  }
  sqlite::StmtPtr x =
      sqlite::Prepare(db_,
                      "SELECT name, sqlite_name, fields, is_primary, is_unique FROM _jet_indexes "
                      "WHERE table_name = ? ORDER BY ordinal");
  BindText(x.get(), 1, table);
  while ((rc = sqlite3_step(x.get())) == SQLITE_ROW) {
    IndexSpec i;
    i.name = ColumnText(x.get(), 0);
    i.sqliteName = ColumnText(x.get(), 1);
    i.fields = IndexSpec::ParseFields(ColumnText(x.get(), 2));
    i.primary = sqlite3_column_int(x.get(), 3) != 0;
    i.unique = sqlite3_column_int(x.get(), 4) != 0;
    spec->indexes.push_back(std::move(i));
  }
  sqlite::Check(rc, db_);
  return spec;
}

std::shared_ptr<TableSpec> Catalog::ReadFromSqlite(std::string_view table) const {
  sqlite::StmtPtr s =
      sqlite::Prepare(db_,
                      "SELECT m.name, p.name, p.type, p.\"notnull\", p.pk FROM sqlite_master m, "
                      "pragma_table_info(m.name) p "
                      "WHERE m.type = 'table' AND m.name = ? COLLATE NOCASE ORDER BY p.cid");
  BindText(s.get(), 1, table);
  auto spec = std::make_shared<TableSpec>();
  std::string primaryKey;  // its columns, for a rowid's primary key
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
    spec->name = ColumnText(s.get(), 0);
    spec->fields.push_back(FieldFromDeclared(ColumnText(s.get(), 1), ColumnText(s.get(), 2),
                                             sqlite3_column_int(s.get(), 3) != 0));
    if (sqlite3_column_int(s.get(), 4) > 0) primaryKey = spec->fields.back().name;
  }
  sqlite::Check(rc, db_);
  if (spec->fields.empty()) return nullptr;
  sqlite::StmtPtr x = sqlite::Prepare(
      db_,
      "SELECT l.name, l.\"unique\", l.origin = 'pk', "
      "(SELECT group_concat(CASE WHEN i.\"desc\" THEN '-' ELSE '' END || i.name, ';') "
      " FROM pragma_index_xinfo(l.name) i WHERE i.key AND i.cid >= 0) "
      "FROM pragma_index_list(?) l ORDER BY l.seq");
  BindText(x.get(), 1, spec->name);
  while ((rc = sqlite3_step(x.get())) == SQLITE_ROW) {
    IndexSpec i;
    i.name = i.sqliteName = ColumnText(x.get(), 0);
    i.unique = sqlite3_column_int(x.get(), 1) != 0;
    i.primary = sqlite3_column_int(x.get(), 2) != 0;
    i.fields = IndexSpec::ParseFields(ColumnText(x.get(), 3));
    spec->indexes.push_back(std::move(i));
  }
  sqlite::Check(rc, db_);
  // A primary key on the rowid (a column INTEGER PRIMARY KEY) has no index
  // of its own; the indexes of column constraints have SQLite's names,
  // which are no Jet names. Both are named as a server names its
  // constraints' indexes; Adopt makes them indexes of those names.
  const bool rowidKey =
      !primaryKey.empty() && std::none_of(spec->indexes.begin(), spec->indexes.end(),
                                          [](const IndexSpec& x) { return x.primary; });
  if (rowidKey) {
    IndexSpec key;
    key.primary = key.unique = true;
    key.fields = IndexSpec::ParseFields(primaryKey);
    spec->indexes.insert(spec->indexes.begin(), std::move(key));
  }
  for (IndexSpec& x : spec->indexes)
    if (x.name.empty() || x.name.starts_with(kConstraintIndexPrefix))
      x.name = ConstraintIndexName(*spec, x);
  return spec;
}

}  // namespace qv::jet
