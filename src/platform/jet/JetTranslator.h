#pragma once
// Translation of Jet SQL text into SQL text: a tokenizer and a
// recursive-descent parser build a small syntax tree, which is typed
// statically (Jet's result types) and emitted as SQLite SQL, or as
// PostgreSQL SQL (the same emitter in its PostgreSQL dialect).

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/JetTypes.h"

namespace qv::jet {

// What the translator needs of the catalogue: the columns of a table, in
// order, or null when there is no such table. Names are case-insensitive.
class SchemaView {
 public:
  virtual ~SchemaView() = default;
  virtual const std::vector<ColumnInfo>* TableColumns(std::string_view table) const = 0;
  // Whether a primary key or unique index of `table` is `column` alone (a
  // row found by it is the only one); false when not known.
  virtual bool KeyedAlone(std::string_view /*table*/, std::string_view /*column*/) const {
    return false;
  }
  // The name of `table` as the catalogue stores it, for an engine whose
  // quoted names are case-sensitive (PostgreSQL); empty to write the name
  // as the statement does (SQLite compares names case-insensitively).
  virtual std::string StoredTableName(std::string_view /*table*/) const { return {}; }
};

// The engine the emitted SQL is for. Both take the same syntax tree; what
// differs is written by the emitter where it differs (docs/postgres.md).
enum class SqlDialect : uint8_t { kSqlite, kPostgres };

struct SchemaChange;

// kSchema: CREATE, DROP and ALTER, and SELECT ... INTO, which the catalogue
// carries out (Translation::change) rather than SQLite.
enum class StatementKind { kSelect, kInsert, kUpdate, kDelete, kSchema };

struct ResultColumn {
  std::string name;  // the Jet name of the result column (alias, column, or ExprNNNN)
  JetType type = JetType::kNone;
  int32_t size = 0;
};

struct Translation {
  std::string sql;  // the SQLite statement
  StatementKind kind = StatementKind::kSelect;
  // Result columns of a select, in order, typed as Jet types them.
  std::vector<ResultColumn> columns;
  // Columns the emitted select returns after `columns` for its own use (the
  // rank of TOP with ties); the caller does not show them.
  int hiddenTrailingColumns = 0;
  // For kSchema: what the catalogue does (`sql` is empty). Its literals are
  // written as they stand, never as parameters.
  std::shared_ptr<const SchemaChange> change;
  // kPostgres: the Jet functions the statement calls, which the server must
  // provide (sorted, each once); SQLite registers them all itself.
  std::vector<std::string> serverFunctions;
  // Number literals written as parameters (bit n - 1 for ?n, the first 64)
  // that SQLite's own arithmetic (`+` in `added`) or comparison takes with
  // a number: a text bound there that reads as no number, or bytes, would
  // be taken as 0 or compared as they are, so the file refuses them as Jet
  // refuses such a literal (`+`: 13, else 3464) and as the server does.
  uint64_t numberOperands = 0;
  uint64_t added = 0;
};

// Translates one Jet statement. Raises an Error with a Jet syntax number
// (3075 in an expression, 3131 in FROM, 3000-range others) whose description
// names the position, the token and the statement.
Translation TranslateJet(std::string_view jetSql, const SchemaView& schema,
                         SqlDialect dialect = SqlDialect::kSqlite);

// How the literals of a statement (numbers and texts, in the order of the
// text; sql::ScanLiterals finds them) took part in its translation.
enum class LiteralUse : uint8_t {
  kNone,       // not in the SQLite text as a value (TOP n, ORDER BY 2)
  kParameter,  // written as the parameter ?<its position + 1>
  kValue,      // a parameter whose value the translation also depends on
  kBytes,      // a parameter stored into or compared with a binary column on PostgreSQL:
               // typed bytea there, a text given to it sent as its own bytes
};

// TranslateJet with every literal the SQL text holds as a value written as
// a parameter (?n for SQLite, $n for PostgreSQL), so that the translation
// serves every statement of the same shape whose literals of uses kNone and kValue are the same.
// `uses` gets one entry per literal. REQUIRES: `literalPositions` are the byte offsets of the
// statement's literals, ascending.
Translation TranslateJetParameterized(std::string_view jetSql, const SchemaView& schema,
                                      std::span<const size_t> literalPositions,
                                      std::vector<LiteralUse>& uses,
                                      SqlDialect dialect = SqlDialect::kSqlite);

}  // namespace qv::jet
