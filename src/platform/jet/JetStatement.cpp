#include "platform/jet/JetStatement.h"

#include <climits>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/automation/VbaText.h"
#include "platform/jet/JetCellRead.h"
#include "platform/jet/JetCellValue.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetStatementCache.h"
#include "platform/jet/JetValue.h"

namespace qv::jet {

Statement::Statement(std::shared_ptr<Connection> conn, sqlite3_stmt* stmt,
                     std::shared_ptr<StatementCacheEntry> entry)
    : conn_(std::move(conn)), stmt_(stmt), entry_(std::move(entry)) {}

Statement::Statement(Statement&& other) noexcept
    : conn_(std::move(other.conn_)),
      stmt_(std::exchange(other.stmt_, nullptr)),
      entry_(std::move(other.entry_)),
      source_(other.source_),
      ahead_(std::exchange(other.ahead_, std::nullopt)),
      boundFrom_(std::exchange(other.boundFrom_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    Release();
    conn_ = std::move(other.conn_);
    stmt_ = std::exchange(other.stmt_, nullptr);
    entry_ = std::move(other.entry_);
    source_ = other.source_;
    ahead_ = std::exchange(other.ahead_, std::nullopt);
    boundFrom_ = std::exchange(other.boundFrom_, nullptr);
  }
  return *this;
}

Statement::~Statement() {
  Release();
}

void Statement::Release() noexcept {
  if (stmt_) conn_->Return(stmt_, entry_.get(), boundFrom_);
  stmt_ = nullptr;
  boundFrom_ = nullptr;
}

bool Statement::Step() {
  if (!stmt_) ThrowJet(jeterr::kObjectInvalid, {}, source_);
  // A row kept by StepAhead is gone when a reset came in between.
  if (ahead_ && (!*ahead_ || sqlite3_stmt_busy(stmt_))) return *std::exchange(ahead_, std::nullopt);
  ahead_.reset();
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite::Throw(rc, sqlite3_db_handle(stmt_), source_);
}

int64_t Statement::Run() {
  if (!stmt_ && entry_ && entry_->translation && entry_->translation->change)
    return conn_->ApplySchemaChange(*entry_->translation->change);
  while (Step()) {
  }
  return sqlite3_stmt_readonly(stmt_) ? 0 : sqlite3_changes64(sqlite3_db_handle(stmt_));
}

void Statement::StepAhead() {
  ahead_.reset();
  ahead_ = Step();
}

void Statement::Reset() {
  ahead_.reset();
  if (stmt_) sqlite3_reset(stmt_);
}

bool Statement::Busy() const {
  return stmt_ && sqlite3_stmt_busy(stmt_);
}

const Translation* Statement::Jet() const {
  return entry_ && entry_->translation ? &*entry_->translation : nullptr;
}

int Statement::ParameterCount() const {
  return stmt_ ? sqlite3_bind_parameter_count(stmt_) : 0;
}

void Statement::CheckParameter(int index) const {
  if (!stmt_) ThrowJet(jeterr::kObjectInvalid, {}, source_);
  if (index < 1 || index > ParameterCount()) ThrowJet(jeterr::kItemNotFound, {}, source_);
  // The statement no longer holds only its text's values.
  if (entry_) entry_->boundStmt = nullptr;
}

bool Statement::NumberOperand(int index) const {
  return entry_ && index <= 64 && (entry_->numberOperands >> (index - 1) & 1);
}

void Statement::CheckNumberOperand(int index, const Variant& value) const {
  const Translation* t = Jet();
  const uint64_t bit = uint64_t{1} << (index - 1);
  if (value.IsString() ? ParseVbNumber(value.AsString()).has_value() : !value.IsByteArray()) return;
  // Jet's "+" of a text and a number; a comparison or other arithmetic (and
  // bytes anywhere) as the server's parameter refuses the value.
  if (value.IsString() && (t->added & bit)) ThrowVb(vberr::kTypeMismatch);
  ThrowJet(jeterr::kTypeMismatch, {}, source_);
}

void Statement::Bind(int index, const Variant& value) {
  CheckParameter(index);
  if ((value.IsString() || value.IsArray()) && NumberOperand(index))
    CheckNumberOperand(index, value);
  BindVariant(stmt_, index, value, source_);
}

void Statement::BindView(int index, const Variant& value) {
  CheckParameter(index);
  if ((value.IsString() || value.IsArray()) && NumberOperand(index))
    CheckNumberOperand(index, value);
  BindVariant(stmt_, index, value, source_, false);
}

void Statement::BindInt(int index, int64_t value) {
  CheckParameter(index);
  sqlite::Check(sqlite3_bind_int64(stmt_, index, value), sqlite3_db_handle(stmt_), source_);
}

void Statement::BindAll(std::span<const Variant> values) {
  for (size_t i = 0; i < values.size(); ++i) Bind(static_cast<int>(i) + 1, values[i]);
}

size_t Statement::RowsLastRun() const {
  return entry_ ? entry_->rowsLastRun : 0;
}

void Statement::NoteRowsRun(size_t rows) {
  if (entry_) entry_->rowsLastRun = rows;
}

std::shared_ptr<const void> Statement::Kept(Reader reader) const {
  return entry_ ? entry_->kept[static_cast<size_t>(reader)] : nullptr;
}

void Statement::Keep(Reader reader, std::shared_ptr<const void> what) {
  // A dropped entry keeps nothing: a statement prepared before the cache was
  // cleared may still be running.
  if (entry_ && entry_->live) entry_->kept[static_cast<size_t>(reader)] = std::move(what);
}

int Statement::ColumnCount() const {
  return static_cast<int>(entry_->columns.size());
}

void Statement::CheckColumn(int i) const {
  if (i < 0 || i >= ColumnCount()) ThrowJet(jeterr::kItemNotFound, {}, source_);
}

const ColumnMeta& Statement::Column(int i) const {
  CheckColumn(i);
  StatementCacheEntry& entry = *entry_;
  if (entry.originsPending) {
    // Those a translation typed were left without their table and column
    // (Connection::FromEntry); the others have theirs already.
    for (size_t k = 0; k < entry.columns.size(); ++k) {
      ColumnMeta& m = entry.columns[k];
      if (!m.table.empty() || !m.column.empty()) continue;
      if (const char* t = sqlite3_column_table_name(stmt_, static_cast<int>(k))) m.table.append(t);
      if (const char* c = sqlite3_column_origin_name(stmt_, static_cast<int>(k)))
        m.column.append(c);
    }
    entry.originsPending = false;
  }
  return entry.columns[static_cast<size_t>(i)];
}

int Statement::ColumnIndex(std::string_view name) const {
  for (int i = 0; i < ColumnCount(); ++i)
    if (NamesEqual(entry_->columns[static_cast<size_t>(i)].name, name)) return i;
  return -1;
}

namespace {

// Cell i of the current row into `out`, as Value gives it: a cell of the
// kinds SetCellValue writes in place, any other through the general
// conversion.
[[gnu::always_inline]] inline void ReadInto(sqlite3_stmt* stmt, int i, JetType type, Variant& out) {
  const Statement::Cell c = ReadCell(stmt, i, type);
  if (c.kind != Statement::Cell::Kind::kOther)
    SetCellValue(out, c);
  else
    out = ColumnToVariant(stmt, i, type);
}

}  // namespace

Statement::Cell Statement::CellAt(int i) const {
  return ReadCell(stmt_, i, entry_->columns[static_cast<size_t>(i)].type);
}

Statement::RowCells Statement::Cells() const {
  return {stmt_, entry_->columns.data()};
}

bool Statement::PackRow(std::span<PackedCell> out, SpareBuffer<char>& texts) const {
  const ColumnMeta* columns = entry_->columns.data();
  bool other = false;
  for (size_t i = 0; i < out.size(); ++i) {
    const Cell c = ReadCell(stmt_, static_cast<int>(i), columns[i].type);
    PackedCell& p = out[i];
    p.kind = c.kind;
    if (c.kind == Cell::Kind::kText) {
      // Copied while the cell is at hand: SQLite's text is gone at the next step.
      const size_t n = c.text.size();
      p.size = static_cast<uint32_t>(n);
      p.at = texts.size;
      if (n > 0) std::memcpy(texts.Extend(n), c.text.data(), n);
    } else {
      p.size = 0;
      p.number = c.number;
      other |= c.kind == Cell::Kind::kOther;
    }
  }
  return other;
}

void Statement::Values(std::span<Variant> out) const {
  // The count and the columns held in locals: the cells written could
  // otherwise be the vector's own, read again after each.
  const size_t n = entry_->columns.size();
  const ColumnMeta* columns = entry_->columns.data();
  if (out.size() < n) ThrowJet(jeterr::kItemNotFound, {}, source_);
  // Each cell written where it is (a text into the String the cell holds
  // from the row before).
  for (size_t i = 0; i < n; ++i) ReadInto(stmt_, static_cast<int>(i), columns[i].type, out[i]);
}

Variant Statement::Value(int i) const {
  CheckColumn(i);
  // The same value ColumnToVariant gives, read through the typed cell (no
  // general conversion).
  Variant out;
  ReadInto(stmt_, i, entry_->columns[static_cast<size_t>(i)].type, out);
  return out;
}

bool Statement::IsNull(int i) const {
  CheckColumn(i);
  return sqlite3_column_type(stmt_, i) == SQLITE_NULL;
}

int64_t Statement::Int64(int i) const {
  CheckColumn(i);
  return sqlite3_column_int64(stmt_, i);
}

double Statement::Double(int i) const {
  CheckColumn(i);
  return sqlite3_column_double(stmt_, i);
}

std::string Statement::Text(int i) const {
  CheckColumn(i);
  const unsigned char* t = sqlite3_column_text(stmt_, i);
  return t ? std::string(reinterpret_cast<const char*>(t),
                         static_cast<size_t>(sqlite3_column_bytes(stmt_, i)))
           : std::string();
}

std::string_view Statement::Sql() const {
  return entry_ ? entry_->sql : std::string_view();
}

bool Statement::IsReadOnly() const {
  return stmt_ && sqlite3_stmt_readonly(stmt_);
}

}  // namespace qv::jet
