#pragma once
// A prepared statement of a Connection: bind Variants, step through rows,
// read each column as a Variant typed by its Jet type. Cached statements go
// back to their connection's cache when the Statement is destroyed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/SpareMemory.h"
#include "platform/automation/Variant.h"
#include "platform/jet/JetError.h"
#include "platform/jet/JetTranslator.h"
#include "platform/jet/JetTypes.h"

struct sqlite3_stmt;

namespace qv::jet {

class Connection;
struct StatementCacheEntry;

// A result column: its name, its Jet type and size, and the table column it
// comes from when it is one (empty otherwise).
struct ColumnMeta {
  std::string name;
  JetType type = JetType::kNone;
  int32_t size = 0;
  std::string table;
  std::string column;
};

class Statement {
 public:
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  // Advances to the next row: true when there is one. Errors are Jet errors
  // (3022, 3163, 3218 ...), raised with this statement's source.
  bool Step();
  // Steps now and keeps the outcome for the next Step, so that whatever
  // the caller checks in between is read inside this statement's read
  // snapshot (no transaction of its own). Errors as Step's; the first
  // Step after it does not advance.
  void StepAhead();
  // Runs the statement to its end; returns the rows an action changed.
  int64_t Run();
  // Back before the first row; bindings are kept.
  void Reset();
  // True from the first Step until the end or a reset (its own, or
  // Connection::EndReadSnapshot's): while a read statement is busy, its
  // connection's reads share its snapshot.
  bool Busy() const;

  int ParameterCount() const;
  // Binds parameter `index` (1-based) as the column will store it: Boolean
  // -1/0, Date the OLE serial, Currency rounded to 4 decimals, Empty/Null
  // NULL. Raises 3421 for an object or array.
  void Bind(int index, const Variant& value);
  // As Bind, without a copy of a text or byte array: SQLite reads it where
  // it is. REQUIRES: `value` stays alive and unchanged until the statement
  // is reset, bound again or destroyed.
  void BindView(int index, const Variant& value);
  // Binds an integer as Bind binds a Long, without making a Variant: the
  // keys and numbers callers bind on every call.
  void BindInt(int index, int64_t value);
  void BindAll(std::span<const Variant> values);

  // The visible result columns (a translated TOP ... WITH TIES may add
  // hidden ones after them).
  int ColumnCount() const;
  const ColumnMeta& Column(int i) const;
  // The index of a column by name (case-insensitive), or -1.
  int ColumnIndex(std::string_view name) const;
  // The current row's value, typed by the column's Jet type.
  Variant Value(int i) const;
  // Every visible column of the current row into out[0 .. ColumnCount()),
  // as Value gives them: one call per row for readers of whole rows.
  // REQUIRES: out.size() >= ColumnCount().
  void Values(std::span<Variant> out) const;
  // Cell i of the current row as Value would type it, for the values that
  // readers of many rows meet most, without making a Variant: Null, a Long,
  // an Integer or a Byte (in `number`), a Double or a Date serial
  // (`number`), a text (`text`, valid until the next step or reset).
  // kOther: anything else, which Value reads. REQUIRES: 0 <= i < ColumnCount().
  struct Cell {
    enum class Kind : uint8_t { kNull, kLong, kInteger, kByte, kDouble, kDate, kText, kOther };
    Kind kind = Kind::kOther;
    double number = 0;
    std::string_view text;
  };
  Cell CellAt(int i) const;
  // What CellAt reads a cell of the current row from, for a reader that
  // reads a row's cells in a loop of its own with CellAt's code inlined
  // (JetCellRead.h): SQLite's statement and the result's columns. Valid
  // until the statement is reset, stepped or destroyed.
  struct RowCells {
    sqlite3_stmt* stmt;
    const ColumnMeta* columns;
  };
  RowCells Cells() const;
  // The current row's cells 0 .. out.size() as CellAt types them, packed in
  // 16 bytes each for readers that keep many rows, in one pass over the
  // row: a number or Date in `number`, a text's bytes appended to
  // `texts` (where they start in `at`); a kOther cell is Value's to read.
  // Returns whether there is one. REQUIRES: out.size() <= ColumnCount().
  struct PackedCell {
    Cell::Kind kind;
    uint32_t size;  // a text's bytes
    union {
      double number;
      uint64_t at;
    };
  };
  bool PackRow(std::span<PackedCell> out, SpareBuffer<char>& texts) const;
  bool IsNull(int i) const;
  int64_t Int64(int i) const;
  double Double(int i) const;
  std::string Text(int i) const;

  // The rows the last run of this text gave, as its reader noted them with
  // NoteRowsRun (0: not known). A statement cannot tell how many rows it will
  // give, and the same texts run again and again: a reader that copies every
  // row sizes its copy by this. Statements whose texts differ only in their
  // literals share one count.
  size_t RowsLastRun() const;
  void NoteRowsRun(size_t rows);
  // What a reader of a statement's rows kept for the next run of the same
  // text (the column list its results share), one place per kind of reader,
  // which alone keeps anything there and so knows the type: null until kept,
  // and dropped with the statement's cached description (a change of the
  // schema, the cache cleared).
  enum class Reader : uint8_t {
    kTableCopy,  // a disconnected table made of the rows
    kRecordset,  // a recordset of the rows
  };
  static constexpr size_t kReaders = 2;
  std::shared_ptr<const void> Kept(Reader reader) const;
  void Keep(Reader reader, std::shared_ptr<const void> what);

  // The SQLite text that runs.
  std::string_view Sql() const;
  // True for a statement that only reads.
  bool IsReadOnly() const;
  // The translation of a Jet statement (Connection::Prepare); null for
  // native SQL. Its `sql` is empty: the text is Sql().
  const Translation* Jet() const;
  // The source named by errors this statement raises ("DAO.Database" unless set).
  void SetSource(std::string_view source) { source_ = source; }

 private:
  friend class Connection;
  Statement(std::shared_ptr<Connection> conn, sqlite3_stmt* stmt,
            std::shared_ptr<StatementCacheEntry> entry);
  void Release() noexcept;
  void CheckColumn(int i) const;
  void CheckParameter(int index) const;
  // Refuses a text that reads as no number, or bytes, bound where the text's
  // number literal `index` is SQLite's own operand (Translation::numberOperands).
  // REQUIRES: NumberOperand(index).
  void CheckNumberOperand(int index, const Variant& value) const;
  bool NumberOperand(int index) const;

  std::shared_ptr<Connection> conn_;
  sqlite3_stmt* stmt_ = nullptr;
  std::shared_ptr<StatementCacheEntry> entry_;  // columns; where the statement goes back
  std::string_view source_ = kSourceDatabase;
  std::optional<bool> ahead_;  // the outcome StepAhead kept
  // The count of Statements out whose texts are bound where their
  // connection keeps the statement's text (without a copy): while it is not
  // zero, the connection keeps those bytes unchanged. Null when none is.
  uint32_t* boundFrom_ = nullptr;
};

// Puts a statement back before its first row when the scope ends, also when
// an error leaves it, so that no read snapshot or bound text outlives the
// call that stepped it.
class ResetOnExit {
 public:
  explicit ResetOnExit(Statement& st) noexcept : st_(st) {}
  ResetOnExit(const ResetOnExit&) = delete;
  ResetOnExit& operator=(const ResetOnExit&) = delete;
  ~ResetOnExit() { st_.Reset(); }

 private:
  Statement& st_;
};

}  // namespace qv::jet
