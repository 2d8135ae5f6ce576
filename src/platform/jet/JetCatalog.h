#pragma once
// The catalogue each database file keeps of what SQLite does not record:
// the Jet type and size of every column, Required, AllowZeroLength,
// DefaultValue and UnicodeCompression, and the Jet names of indexes (per
// table, case-insensitive) with the unique SQLite index names behind them.
// Tables are created from a definition so that every text column gets the
// Jet collation and every rule is a constraint SQLite enforces on any write:
// a text longer than its column (3163), Null in a Required field (3314), ""
// where zero-length texts are not allowed (3315), a duplicate key (3022), a
// value of the wrong kind (3464).

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/jet/JetTranslator.h"
#include "platform/jet/JetTypes.h"
#include "platform/jet/WalIndex.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qv::jet {

struct SchemaChange;

struct FieldSpec {
  std::string name = {};
  JetType type = JetType::kText;
  int32_t size = 0;  // Text: 1..255 UTF-16 units, 0 meaning 255; ignored for other types
  bool required = false;
  bool allowZeroLength = true;  // texts only
  // Jet's default expression: a number, a quoted text, True/False/Yes/No,
  // Now(), Date() or Time(), optionally after "="; empty for none.
  std::string defaultValue = {};
  bool unicodeCompression = false;  // stored and reported; texts are UTF-8 anyway
  // A counter (Long only, one per table): a row written without a value
  // gets the next number, never one handed out before. The column is
  // SQLite's rowid, so a table can only be created with it.
  bool autoIncrement = false;
};

struct IndexField {
  std::string name = {};
  bool descending = false;
};

struct IndexSpec {
  std::string name = {};  // the Jet name, unique per table
  std::vector<IndexField> fields = {};
  bool primary = false;  // implies unique
  bool unique = false;
  std::string sqliteName = {};  // filled in by the catalogue

  // Fields written as Jet's index definitions write them: "a;-b" or
  // "+a;-b" (a leading "-" for descending).
  static std::vector<IndexField> ParseFields(std::string_view text);
};

struct TableSpec {
  std::string name = {};
  std::vector<FieldSpec> fields = {};
  std::vector<IndexSpec> indexes = {};

  // The field or index by name (case-insensitive), or null.
  const FieldSpec* FindField(std::string_view name) const;
  const IndexSpec* FindIndex(std::string_view name) const;
};

// Jet's name of a type as a definition writes it ("Text", "Long", "Date" ...).
std::string_view JetTypeName(JetType type);

class Catalog : public SchemaView {
 public:
  // REQUIRES: `db` outlives the catalogue. `onChange` runs after every
  // change of the schema (the connection drops its caches).
  Catalog(sqlite3* db, std::function<void()> onChange);
  ~Catalog() override;
  Catalog(const Catalog&) = delete;
  Catalog& operator=(const Catalog&) = delete;

  // Creates the catalogue's own tables when missing and records the locale
  // when given (a new file).
  void EnsureCreated(std::string_view locale = {});
  // The locale the file was created with, or "" when it was not recorded.
  std::string Locale() const;
  // Told of every native text the connection prepares (its own statements
  // never set a journal mode): one naming the journal_mode pragma may set
  // one, and running it may close the log and its shared memory.
  void NativeText(std::string_view sql) const;

  // Creates a table with its indexes, all or nothing. Errors: 3010 the table
  // exists, 3125 bad name, 3264 no fields, 3191 a field twice, 3259 a type
  // the catalogue cannot store, 3265 an index names a missing field, 3283 a
  // second primary key, 3284 an index name twice.
  void CreateTable(const TableSpec& table);
  // Drops a table with its indexes (3376 when it does not exist).
  void DropTable(std::string_view table);
  // Adds an index to an existing table (the errors of CreateTable, 3376).
  void CreateIndex(std::string_view table, const IndexSpec& index);
  // Drops an index by its Jet name (3015 when the table has no such index).
  void DropIndex(std::string_view table, std::string_view index);
  // Appends a field to an existing table. A Required field needs a default
  // when the table has rows, as SQLite cannot fill one in otherwise.
  void AddField(std::string_view table, const FieldSpec& field);
  // Drops a field. Errors: 3376 no such table, 3265 no such field, 3280 the
  // field is in an index (drop the index first; a counter that is the
  // primary key is in its index). A counter is dropped by copying the table.
  void DropField(std::string_view table, std::string_view field);
  // Carries out a schema statement, all or nothing; returns the rows a
  // make-table wrote (0 for the others). Besides the errors of the calls
  // above: 3375 CREATE INDEX of a name the table has, 3380 ADD of a field
  // the table has, 3371 DROP CONSTRAINT of a name the table has not.
  int64_t Apply(const SchemaChange& change);

  // Gives existing fields the rules of `fields` (matched by name): Required,
  // AllowZeroLength and DefaultValue; type and size stay. The table is made
  // again once for all of them, so a stored value the new rules refuse
  // fails the change and leaves the table as it was (a Null in a field now
  // Required: 3314). Errors: 3376 no such table, 3265 no such field.
  void ChangeFieldRules(std::string_view table, std::span<const FieldSpec> fields);

  // Records a field's UnicodeCompression flag (it changes nothing SQLite
  // stores). Errors: 3376 no such table, 3265 no such field.
  void SetUnicodeCompression(std::string_view table, std::string_view field, bool on);

  // User tables in creation order (the catalogue's own tables left out).
  std::vector<std::string> TableNames() const;
  // The definition of a table (name as stored), or null. A table made
  // without the catalogue is described from SQLite's declared types.
  std::shared_ptr<const TableSpec> FindTable(std::string_view table) const;
  // SchemaView: the columns of a table for the translator. Unlike
  // FindTable it does not Refresh: a translation holds the column lists of
  // its tables until it ends, so the connection refreshes before it starts.
  const std::vector<ColumnInfo>* TableColumns(std::string_view table) const override;
  bool KeyedAlone(std::string_view table, std::string_view column) const override;

  // Forgets cached definitions (after a change of the schema made without
  // the catalogue).
  void Invalidate() const;
  // Notices a change of the schema another connection committed: when the
  // file's schema version moved since the definitions were read, forgets
  // them and runs `onChange` (the connection drops its caches and counts a
  // new schema generation). FindTable starts with it. It reads the
  // schema version only after a commit to the file (this connection's or
  // another's) since it last did, told without I/O: for a file in WAL mode
  // first by the log index's header in shared memory (unchanged since it
  // was kept: no commit, inside a read transaction or not); else inside a
  // read transaction by the pager's data version, which the snapshot's
  // start set, and outside one by that header. Otherwise (a rollback
  // journal) the read outside a transaction is one of its own, with its
  // file locks. A commit of this
  // connection moves the header too, and the look-up after it reads the
  // version again: SQLite lets go of the write lock before the step that
  // commits returns, so the header read then may hold another connection's
  // commit as well; and a schema statement a prepared native statement
  // runs is noticed only so. A commit of this connection's write
  // transaction told to the catalogue (NoteCommitStart and NoteCommitEnd
  // around it) spares that read when nothing else was committed meanwhile.
  void Refresh() const;

  // Around the step that commits this connection's outermost transaction.
  // NoteCommitStart, called while the transaction is still open, reads the
  // schema version it leaves (no lock: the transaction holds its snapshot)
  // and, when it holds the write lock, the log index's header, which no
  // other connection can change until the commit lets go of the lock.
  // NoteCommitEnd, once the commit succeeded and when it wrote to the log,
  // reads the header again: a header whose commit counter moved by exactly
  // one, over the same log (its salts), with the log's last frame moved on
  // by the pages the commit wrote and nothing else of its format changed,
  // holds this commit alone, so the version read before is the file's
  // after it, and Refresh takes that header as its own. Any other header
  // (another connection's commit meanwhile, the log restarted, the index
  // rebuilt after a writer died, which starts the counter again so that
  // later commits may bring it back to this commit's; a transaction that
  // spilled pages before its commit) leaves the next Refresh to read the
  // version as before. Nothing for a file without a write-ahead log, or a
  // transaction that also wrote to another database of the connection.
  void NoteCommitStart() const;
  void NoteCommitEnd() const;

  // Counts the commits Refresh found in the file since the schema version
  // was last read that were not noted as this connection's own: another
  // connection's or process's, and an own commit made without
  // NoteCommitStart and NoteCommitEnd (a native statement in autocommit).
  uint64_t CommitsSeen() const { return commitsSeen_; }

  // Files made by earlier versions have two triggers per table that stored
  // values as Jet would (jet_norm_insert:T, jet_norm_update:T); the writes
  // of the engine do that now (Jet statements through the translator, DAO
  // recordsets through their fields' conversions). Drops them; returns how
  // many there were.
  int DropValueTriggers();

 private:
  struct Cached {
    std::shared_ptr<const TableSpec> spec;
    std::vector<ColumnInfo> columns;
  };
  const Cached* Load(std::string_view table) const;
  // Caches `spec` under `key` (a case-folded name) for the version held.
  const Cached* Keep(std::string key, std::shared_ptr<TableSpec> spec) const;
  // True when the file has a table of that name (ignoring case), from the
  // table names read again whenever the file's schema version changes, so
  // that names that are no table (a statement's text) cost little.
  bool TableExists(std::string_view key) const;
  // The pager's count of commits to the file, as of the last read
  // transaction begun.
  int64_t DataVersion() const;
  // The file's schema version as the connection's snapshot (or a read
  // transaction of its own) sees it.
  int64_t ReadSchemaVersion() const;
  // Takes `version` as the one cache_ and tableNames_ hold: when it differs
  // they are dropped, and when a version had been read, onChange_ runs.
  void TakeVersion(int64_t version) const;
  std::shared_ptr<TableSpec> ReadFromCatalogue(std::string_view table) const;
  std::shared_ptr<TableSpec> ReadFromSqlite(std::string_view table) const;
  void CreateIndexUnchecked(const TableSpec& table, IndexSpec index, int ordinal);
  // A table made without the catalogue (SQLite's own CREATE TABLE) taken
  // into it before the library changes it: its description as read from
  // SQLite written as the catalogue's rows, in the caller's savepoint, so
  // that the change's rows join them (a column added alone would be the
  // table's whole description). The indexes SQLite made for its column
  // constraints and its rowid's primary key are made the library's (their
  // sqliteName in `table` with them: the table made again). Returns whether
  // it was in the catalogue.
  bool Adopt(TableSpec& table);
  // Makes the table `from` again as `to` (same name): rows copied with
  // their rowids, a counter's next number kept, the indexes of `from` made
  // again. Within the caller's savepoint: a row `to` refuses fails it all.
  void RebuildTable(const TableSpec& from, const TableSpec& to);
  // The catalogue's rows of `fields` (`indexes`), numbered from `ordinal`.
  void InsertColumns(std::string_view table, int ordinal, std::span<const FieldSpec> fields);
  void InsertIndexes(std::string_view table, int ordinal, std::span<const IndexSpec> indexes);
  void Changed();

  sqlite3* db_;
  std::function<void()> onChange_;
  mutable std::unordered_map<std::string, Cached> cache_;  // by case-folded name
  mutable sqlite3_stmt* schemaVersion_ = nullptr;          // prepared once
  mutable int64_t version_ = -1;      // the schema version cache_ and tableNames_ hold, -1 unread
  mutable int64_t dataVersion_ = -1;  // the data version version_ was read at
  mutable uint64_t commitsSeen_ = 0;
  mutable bool namesRead_ = false;
  mutable WalIndexReader logIndex_;        // the log index's header, for a file in WAL mode
  mutable WalIndexHeader logHeader_ = {};  // the header before version_ was read
  mutable bool logHeaderValid_ = false;
  mutable std::unordered_map<std::string, bool> tableNames_;  // case-folded names
  // What NoteCommitStart read, while `commitNoted_`.
  mutable bool commitNoted_ = false;
  mutable WalIndexHeader commitHeader_ = {};
  mutable int64_t commitVersion_ = -1;
  mutable int commitPagesWritten_ = 0;
};

}  // namespace qv::jet
