#pragma once
// Types a Jet syntax tree statically and emits it as SQLite SQL, or in the
// PostgreSQL dialect as PostgreSQL SQL.
//
// Conventions of the emitted SQL, which the engine registering the functions
// relies on:
// - Every text comparison, ORDER BY, GROUP BY, DISTINCT and UNION works in the
//   collation kJetCollation. Table columns carry it from their declaration;
//   the emitter adds "COLLATE JETRU" only to text-typed expressions that are
//   not plain column references, never to numbers (indexes stay usable).
// - Jet operators without a SQLite equivalent become calls of the function
//   table's operator entries (JetFunctions.cpp), which must exist. IIf is a
//   CASE (only the branch taken is computed) and IsNull is IS NULL: neither
//   is a function.
// - A condition used as a value gives Jet's booleans: -1, 0 or Null.
// - Every result column is named with AS "name", the name Jet gives it.
// - INSERT and UPDATE write values as their columns store them: Booleans as
//   -1/0, whole numbers in integer columns, Currency at four decimals, GUIDs
//   in upper case (Stored); the tables have no rules of their own for that.
//
// The PostgreSQL dialect writes the same text but where the engines differ:
// - A condition is a boolean there, not a number: a value used as one is
//   compared with 0, a condition used as a value is cast to -1/0/Null.
// - ORDER BY puts Null first going up (NULLS FIRST / DESC NULLS LAST).
// - Parameters are $n; a derived table always has a name; TOP n with ORDER
//   BY is FETCH FIRST n ROWS WITH TIES; Between with bounds of unknown order
//   takes least/greatest; DELETE through a join finds the rows by ctid.
// - Tables are named as the catalogue stores them (quoted names are
//   case-sensitive there).
// - The function table's entries are called by the same names (jet_...);
//   the server must provide them, and Translation::serverFunctions lists
//   the ones a statement calls. The collation JETRU is the server's too.
// - A call of literals alone in a part of IIf, Switch or Choose that may not
//   be computed (a value, a condition after Switch's first) calls the
//   function's lazy form (kServerLazySuffix), which the server's planner does
//   not compute before the statement runs: a call that fails (1 \ 0) there
//   fails only when its branch is chosen, as on a file.

#include <cstddef>
#include <initializer_list>
#include <list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/JetCollation.h"
#include "platform/jet/JetTranslator.h"
#include "platform/jet/sql/JetAst.h"
#include "platform/jet/sql/JetScope.h"

namespace qv::jet {
struct JetFunction;
}

namespace qv::jet::sql {

// The emitted SQL is limited so that operators that repeat an operand (the
// bounds of Between) cannot make it grow without bound; beyond it 3360.
inline constexpr size_t kMaxEmittedBytes = size_t{4} << 20;

// What an emitted expression is. Its SQL text is what the call that emitted
// it appended to the output it was given: always atomic (a literal, a name, a
// call or a parenthesised whole), so a COLLATE clause or an operator may
// follow it. The expressions of a statement are written into one buffer (an
// enclosing node wraps its operands' text in place) instead of a string per
// node concatenated upward.
struct Emitted {
  JetType type = JetType::kNone;
  int32_t size = 0;
  bool condition = false;   // a SQLite truth value (1/0/Null), not yet a Jet value
  bool bareColumn = false;  // a column of a table or derived table (carries its collation)
  bool nullLiteral = false;
  bool subtyped = false;  // a Jet function's result, which marks its own dates and booleans
};

class JetEmitter {
 public:
  JetEmitter(const SchemaView& schema, std::string_view jetSql,
             SqlDialect dialect = SqlDialect::kSqlite);

  Translation Translate(const Statement& st);
  // Makes Translate write the literals at `positions` (ascending byte
  // offsets) that it emits as values as parameters ?<index + 1>, recording
  // in `uses` (one per position) how each literal took part.
  void ParameterizeLiterals(std::span<const size_t> positions, std::vector<LiteralUse>& uses);

 private:
  struct QueryOut {
    std::string sql;
    std::vector<ResultColumn> columns;
    bool simple = true;  // a plain SELECT that may stand as a part of a union
    // A plain SELECT: the names of its FROM's sources and, per column, the
    // source column it passes through (see ScopeSource).
    std::vector<std::string> innerSources;
    std::vector<ColumnOrigin> origins;
  };
  struct SelectItemOut;
  struct SelectState;
  // Where an aggregate may not stand (each has its own error); kOther: anywhere else.
  enum class Clause { kOther, kWhere, kGroupBy, kOrderBy, kJoin };

  // Statements (JetEmitStatement.cpp).
  Translation EmitInsert(const Statement& st);
  Translation EmitUpdate(const Statement& st);
  Translation EmitDelete(const Statement& st);
  // CREATE, DROP, ALTER and SELECT ... INTO: the change, with a make-table's
  // fields and select filled in (its literals as they stand).
  Translation EmitSchemaChange(const Statement& st);
  const std::vector<ColumnInfo>& TableColumns(std::string_view table) const;
  // The server's row key of a table (sql::kServerRowKey): named only, never
  // in `*` or an INSERT's implied columns.
  bool IsRowKey(const ColumnInfo& column) const;
  // The SQL of `value` written to a column of type `column`: wrapped in the
  // function table's "%Store..." entry of that type unless its static type
  // already is stored as the column stores it. The value's text is
  // out[start, end); returns whether it was wrapped. `update`: the value
  // of an UPDATE's SET, whose function is the server's lazy one when the
  // value is of literals (refused for a row written, not when planned).
  bool Stored(const Emitted& value, JetType column, std::string& out, size_t start,
              const Expr* update = nullptr) const;
  // A value given to a counter on PostgreSQL moves the counter past it (as a file's does).
  void CounterWritten(std::string& out, size_t start, std::string_view table,
                      std::string_view column) const;

  // Queries (JetEmitQuery.cpp).
  QueryOut EmitQuery(const Query& q, const Scope* outer);
  QueryOut EmitCompound(const Query& q, const Scope* outer);
  QueryOut EmitSelect(const Select& s, const Scope* outer);
  void EmitFrom(const TableRef& t, Scope& scope, const Scope* outer, std::string& out);
  void ExpandItems(const Select& s, const Scope& scope, SelectState& state);
  // The item's value, emitted into the item's own text (ItemSql) on first use.
  const Emitted& ItemValue(SelectState& state, size_t i, const Scope& scope);
  static const std::string& ItemSql(const SelectState& state, size_t i);
  // The select item of `state` aliased `name`, when `scope` is that select's own.
  std::optional<size_t> FindAlias(const SelectState& state, const Scope& scope,
                                  std::string_view name) const;
  void NameItems(SelectState& state) const;
  void Origins(const SelectState& state, const Scope& scope, QueryOut& out) const;
  // What follows a key of ORDER BY: its direction, and where Null goes.
  std::string_view Direction(bool desc) const;
  std::string AssembleTop(const Select& s, SelectState& state, const std::string& body,
                          const Scope& scope);
  // A select that groups (GROUP BY, or an aggregate in its items or HAVING)
  // gives a row per group: each item, the HAVING condition and each ORDER BY
  // key must be one value per group (3122, 3094; '*' 3121 or 3120). Run once
  // the items, WHERE, GROUP BY and HAVING are emitted, so that their own
  // errors come first.
  // `whereBegin` and `whereEnd`: the outer references made in its WHERE
  // and GROUP BY, which see rows, not groups.
  void CheckGrouping(const Select& s, const Scope& scope, size_t whereBegin, size_t whereEnd) const;
  // Whether `e` is one value per group of `s`: a GROUP BY expression, an
  // aggregate, a literal, a parameter, a value of an enclosing select, or
  // made of such.
  bool Grouped(const Expr& e, const Select& s, const Scope& scope) const;
  bool SameExpr(const Expr& a, const Expr& b, const Scope& scope) const;
  // Raises 3093 for an ORDER BY key of a DISTINCT select that is none of its items.
  void CheckDistinctKey(const Expr& key, const Select& s, const Scope& scope) const;
  // What the column reference `e` names, looked up in Jet's order: a source
  // of this select, an alias of one of this select's items, a source of an
  // enclosing select (innermost first), then `q.name` inside a derived
  // table. Neither hit nor alias: a parameter.
  struct ColumnRef {
    std::optional<Scope::Hit> hit;
    const Scope* scope = nullptr;  // the scope whose source `hit` is
    std::optional<size_t> alias;   // an item of select_
    bool derived = false;          // found inside a derived table
  };
  ColumnRef ResolveColumn(const Expr& e, const Scope& scope) const;

  // Expressions (JetEmitExpr.cpp). Each appends the expression's SQL to `out`.
  Emitted Emit(const Expr& e, const Scope& scope, std::string& out);
  Emitted EmitValue(const Expr& e, const Scope& scope, std::string& out);
  void EmitCondition(const Expr& e, const Scope& scope, std::string& out);
  Emitted EmitColumn(const Expr& e, const Scope& scope, std::string& out);
  Emitted EmitNumber(const Expr& e, std::string& out) const;
  Emitted EmitUnary(const Expr& e, const Scope& scope, std::string& out);
  Emitted EmitBinary(const Expr& e, const Scope& scope, std::string& out);
  Emitted EmitConcat(const Expr& e, const Scope& scope, std::string& out);
  // The operands of the chain of & at `e`, comma-separated; Memo when one is.
  JetType EmitConcatOperands(const Expr& e, const Scope& scope, std::string& out);
  // The operators on a and b, whose texts are out[start, mid) and out[mid, end).
  Emitted EmitArithmetic(const Expr& e, const Emitted& a, const Emitted& b, std::string& out,
                         size_t start, size_t mid);
  Emitted EmitComparison(Op op, const Emitted& a, const Emitted& b, std::string& out, size_t start,
                         size_t mid) const;
  // PostgreSQL: turns the value out[start, end) into a condition (<> 0)
  // unless `v` is one already. SQLite reads a value as a condition as it is.
  void AsCondition(const Emitted& v, std::string& out, size_t start) const;
  // The table's name as the emitted SQL writes it, quoted.
  void AppendTable(std::string& out, std::string_view table) const;
  std::string QuotedTable(std::string_view table) const;
  // A table's column as the emitted SQL writes it, quoted (on PostgreSQL
  // under the server's name of it, sql::ServerObjectName).
  std::string QuotedColumn(std::string_view column) const;
  bool Postgres() const { return dialect_ == SqlDialect::kPostgres; }
  Emitted EmitBetween(const Expr& e, const Scope& scope, std::string& out);
  Emitted EmitIn(const Expr& e, const Scope& scope, std::string& out);
  Emitted EmitCall(const Expr& e, const Scope& scope, std::string& out);
  // Whether a value of a choice typed as text is made text first.
  bool MadeText(const Emitted& v) const;
  Emitted EmitChoice(const Expr& e, const JetFunction& fn, const Scope& scope, std::string& out);
  Emitted EmitFunction(const Expr& e, const JetFunction& fn, const Scope& scope, std::string& out);
  Emitted EmitSubquery(const Expr& e, const Scope& scope, std::string& out);
  // Appends the server function's name for the call `e` of a deterministic
  // function: its lazy form in a part of a choice that may not be computed
  // when every operand is made of literals (see the conventions above).
  void AppendCallName(std::string& out, std::string_view name, const Expr& e) const;
  // An expression of the current statement as written (for messages).
  std::string_view SourceText(const Expr& e) const;
  [[noreturn]] void FailWrongArguments(const Expr& e) const;
  void CheckSize(const std::string& sql) const;
  // Appends the parameter a literal leaf is written as; false when literals
  // are not parameters here.
  bool LiteralParameter(const Expr& e, std::string& out);
  // Records that the translation depends on the value of the literals of `e`.
  void DependsOnValue(const Expr& e);
  // Notes `operand`, when it is a number literal written as a parameter, as
  // one SQLite's own arithmetic (`added`: its "+") or comparison takes with
  // `other`, a number (Translation::numberOperands).
  void NumberOperand(const Expr& operand, const Emitted& other, bool added = false);
  // PostgreSQL: the text value out[start, end) as the bytes a binary column
  // holds of it, its own UTF-8 bytes: a literal's parameter alone becomes a
  // bytea parameter (the caller's text is sent as its bytes, bytes as they
  // are), anything else is wrapped in convert_to. Returns how many
  // characters were inserted.
  size_t AsBytes(std::string& out, size_t start, size_t end) const;

  const SchemaView& schema_;
  std::string_view jetSql_;
  SqlDialect dialect_;
  std::vector<std::string> parameters_;  // names no scope resolves, in order
  SelectState* select_ = nullptr;        // the select whose items are being emitted
  // The columns of enclosing selects that sub-selects name, with the scope
  // each was found in, for that select's grouping check; dropped when it ends.
  struct OuterReference {
    const Scope* scope;
    Scope::Hit hit;
    const Expr* expr;
  };
  std::vector<OuterReference> outerReferences_;
  Clause clause_ = Clause::kOther;
  // The WHERE or JOIN condition, or GROUP BY or ORDER BY item being
  // emitted, which an aggregate found in it is refused with.
  const Expr* clauseExpr_ = nullptr;
  // The aggregate whose arguments are being emitted: an aggregate inside
  // it is refused (3095).
  const Expr* aggregateExpr_ = nullptr;
  bool aggregated_ = false;  // an aggregate was emitted in the select's items or HAVING
  // The columns of the derived tables emitted so far, which their scopes'
  // sources point to: a list keeps them in place as it grows, and allocates
  // nothing for a statement without derived tables.
  std::list<std::vector<ColumnInfo>> derivedColumns_;
  int derivedCount_ = 0;                      // names the unnamed derived tables
  bool derivedSelect_ = false;                // the next select is a derived table's
  std::span<const size_t> literalPositions_;  // empty: literals stay literals
  std::vector<LiteralUse>* literalUses_ = nullptr;
  size_t nextLiteral_ = 0;                   // the literal after the last one written, tried first
  uint64_t numberOperands_ = 0, added_ = 0;  // Translation's
  int lazy_ = 0;                             // inside parts of a choice that may not be computed
  bool inlineLiterals_ = false;              // literals written as they are, not as parameters
};

// Appends " COLLATE JETRU" when `e` is text-typed and not a plain column.
void AppendJetCollation(std::string& out, const Emitted& e);

// The function table's entry for an operator or marker the emitter calls
// ("+", "Mod", "%Date", "%StoreInteger" ...). A missing one is a fault of
// the table, not of the statement: error 51 (internal error).
const JetFunction& RequiredFunction(std::string_view name);

// Inserts the pieces at `at` of `out`, moving what follows once.
void InsertAt(std::string& out, size_t at, std::initializer_list<std::string_view> pieces);

// " COLLATE " and the collation's name.
inline constexpr std::string_view kCollateClause = " COLLATE JETRU";
static_assert(kCollateClause.substr(9) == std::string_view(kJetCollation));

// The pieces joined into one string, sized once: every node of the emitted
// text is a few pieces, and joining them with + made a string per piece.
inline std::string Cat(std::initializer_list<std::string_view> pieces) {
  size_t size = 0;
  for (const std::string_view p : pieces) size += p.size();
  std::string out;
  out.reserve(size);
  for (const std::string_view p : pieces) out.append(p);
  return out;
}

}  // namespace qv::jet::sql
