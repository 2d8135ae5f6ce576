// The query half of JetEmitter: selects, FROM clauses, unions, TOP.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "platform/automation/VbaText.h"
#include "platform/jet/JetCollation.h"
#include "platform/jet/JetFunctions.h"
#include "platform/jet/Sqlite.h"
#include "platform/jet/sql/JetEmitter.h"
#include "platform/jet/sql/JetLiterals.h"
#include "platform/jet/sql/JetSqlError.h"
#include "platform/jet/sql/JetTyping.h"

namespace qv::jet::sql {

// Appended as views: an appended char pointer was measured for its length at each append.
using namespace std::string_view_literals;

struct JetEmitter::SelectItemOut {
  const Expr* expr = nullptr;           // null for a column of * or q.*
  const ScopeSource* source = nullptr;  // for a column of * or q.*
  const ColumnInfo* column = nullptr;   // for a column of * or q.*
  std::string_view alias;               // the syntax tree's, which outlives the emitter
  std::optional<Emitted> value;
  std::string sql;    // the value's text
  bool busy = false;  // being emitted: a reference back to it is circular
  std::string name;   // the Jet name of the result column
  // What `name` is qualified by when a column of a table or derived table
  // gives it, else empty (NameItems).
  std::string_view qualifier;
};

struct JetEmitter::SelectState {
  const Scope* scope = nullptr;
  std::vector<SelectItemOut>& items;
};

namespace {

// A literal, or a literal negated: SQLite and PostgreSQL read a whole number
// grouped by as the place of a result column (and PostgreSQL refuses any
// other literal there), where Jet groups by the value.
bool IsLiteral(const Expr& e) {
  switch (e.kind) {
    case ExprKind::kNumber:
    case ExprKind::kString:
    case ExprKind::kDate:
    case ExprKind::kGuid:
    case ExprKind::kNull:
    case ExprKind::kBool:
      return true;
    case ExprKind::kUnary:
      return e.op == Op::kNeg && IsLiteral(*e.args[0]);
    default:
      return false;
  }
}

// The most a select's body reserves before it is written: a long statement
// of many selects would reserve its length for each.
constexpr size_t kBodyReserveCap = 4096;

std::string InternalName(char kind, size_t i) {
  return "\"$" + std::string(1, kind) + std::to_string(i + 1) + "\"";
}

// Appends ` AS "name"`, the name quoted as sqlite::AppendQuoted quotes it,
// sized once: every result column is named so.
void AppendAlias(std::string& out, std::string_view name) {
  constexpr std::string_view kAs = " AS \"";
  size_t quotes = 0;
  for (const char c : name) quotes += c == '"' ? 1 : 0;
  const size_t at = out.size();
  out.resize(at + kAs.size() + name.size() + quotes + 1);
  char* p = std::copy(kAs.begin(), kAs.end(), out.data() + at);
  for (const char c : name) {
    *p++ = c;
    if (c == '"') *p++ = '"';
  }
  *p = '"';
}

// A TOP count as SQLite takes it: whole counts as integers (at most int64's
// largest), PERCENT fractions as they are.
std::string FormatCount(double v) {
  char buf[64];
  if (v >= 9.2e18) return "9223372036854775807";
  std::snprintf(buf, sizeof buf, std::floor(v) == v ? "%.0f" : "%.15g", v);
  return buf;
}

// Made in place in the select's columns (one made apart was copied and
// moved twice).
void MakeColumn(ResultColumn& c, std::string_view name, const Emitted& v) {
  c.name.append(name);
  c.type = v.type;
  if (v.type == JetType::kText || v.type == JetType::kChar) c.size = v.size > 0 ? v.size : 255;
  if (v.type == JetType::kBinary || v.type == JetType::kVarBinary) c.size = v.size;
}

// Restores the emitter's per-select state when a nested select is done.
template <class T>
class Restore {
 public:
  Restore(T& slot, T value) : slot_(slot), saved_(slot) { slot_ = value; }
  ~Restore() { slot_ = saved_; }
  Restore(const Restore&) = delete;
  Restore& operator=(const Restore&) = delete;

 private:
  T& slot_;
  T saved_;
};

}  // namespace

// Jet orders Null before every value, as SQLite does; PostgreSQL's default
// puts it last going up.
std::string_view JetEmitter::Direction(bool desc) const {
  if (Postgres()) return desc ? " DESC NULLS LAST" : " NULLS FIRST";
  return desc ? " DESC" : "";
}

JetEmitter::QueryOut JetEmitter::EmitQuery(const Query& q, const Scope* outer) {
  return q.IsCompound() ? EmitCompound(q, outer) : EmitSelect(*q.select, outer);
}

JetEmitter::QueryOut JetEmitter::EmitCompound(const Query& q, const Scope* outer) {
  derivedSelect_ = false;  // a union's parts pass no columns through by name
  std::vector<QueryOut> parts;
  for (const auto& p : q.parts) parts.push_back(EmitQuery(*p, outer));
  QueryOut out;
  out.simple = false;
  out.columns = parts[0].columns;
  for (const auto& p : parts) {
    if (p.columns.size() != out.columns.size()) ThrowJet(sqlerr::kUnionColumns);
    for (size_t i = 0; i < p.columns.size(); ++i) {
      out.columns[i].type = CommonType(out.columns[i].type, p.columns[i].type);
      out.columns[i].size = std::max(out.columns[i].size, p.columns[i].size);
    }
  }
  // A union's column is a text where a part gives a text and another a number
  // or a date: SQLite takes each row's value as it is, which reads as its
  // text; PostgreSQL refuses two types, so a part's values other than texts
  // are made text there by Jet's `&` (its CStr, Null kept), read through the
  // part by position, compared as texts are (JETRU).
  if (Postgres())
    for (QueryOut& p : parts) {
      std::string items, names;
      bool converted = false;
      for (size_t i = 0; i < p.columns.size(); ++i) {
        const std::string name = "\"c" + std::to_string(i + 1) + "\"";
        const JetType t = p.columns[i].type;
        const bool convert = IsTextType(out.columns[i].type) && !IsTextType(t) &&
                             t != JetType::kNone && !IsBinaryType(t);
        converted = converted || convert;
        if (i > 0) {
          items += ", "sv;
          names += ", "sv;
        }
        names += name;
        items += convert ? std::string(RequiredFunction("&").sqliteName) + "(" + name + ")" +
                               std::string(kCollateClause)
                         : name;
        items += " AS "sv;
        items += QuotedColumn(out.columns[i].name);
      }
      if (!converted) continue;
      p.sql = "SELECT " + items + " FROM (" + p.sql + ") AS \"$u\"(" + names + ")";
      p.simple = true;
    }
  // SQLite compares a compound's values by its first part's collations: a
  // column of texts whose first part gives numbers (or dates) compared them
  // as bytes, so 'a' and 'A' were two rows. That part's values go through a
  // CTE that gives them the texts' collation, as Jet compares them.
  if (!Postgres() && parts.size() > 1) {
    QueryOut& p = parts[0];
    std::string items, names;
    bool collated = false;
    for (size_t i = 0; i < p.columns.size(); ++i) {
      const std::string name = "\"c" + std::to_string(i + 1) + "\"";
      const bool collate = IsTextType(out.columns[i].type) && !IsTextType(p.columns[i].type);
      collated = collated || collate;
      if (i > 0) {
        items += ", "sv;
        names += ", "sv;
      }
      names += name;
      items += name;
      if (collate) items += kCollateClause;
      items += " AS "sv;
      items += QuotedColumn(out.columns[i].name);
    }
    if (collated) {
      p.sql = "WITH \"$u\"(" + names + ") AS (" + p.sql + ") SELECT " + items + " FROM \"$u\"";
      p.simple = false;
    }
  }
  // SQLite allows neither ORDER BY nor LIMIT on a part of a compound select.
  // PostgreSQL wants a name for every derived table.
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out.sql += q.unionAll[i - 1] ? " UNION ALL " : " UNION ";
    if (parts[i].simple && parts.size() > 1) {
      out.sql += parts[i].sql;
    } else {
      out.sql += "SELECT * FROM ("sv;
      out.sql += parts[i].sql;
      out.sql += Postgres() ? ") AS \"$u\""sv : ")"sv;
    }
  }
  // The ordering of a union names its columns or their positions.
  for (size_t k = 0; k < q.orderBy.size(); ++k) {
    const Expr& e = *q.orderBy[k].expr;
    size_t pos = 0;
    if (e.kind == ExprKind::kNumber) {
      pos = static_cast<size_t>(NumberLiteralValue(e.text));
    } else if (e.kind == ExprKind::kColumn) {
      const std::string full = WrittenName(e);
      for (size_t i = 0; i < out.columns.size() && pos == 0; ++i)
        if (NamesEqual(out.columns[i].name, e.text) || NamesEqual(out.columns[i].name, full))
          pos = i + 1;
    }
    if (pos == 0 || pos > out.columns.size())
      ThrowSyntax(sqlerr::kOrderByClause, JetMessage(sqlerr::kOrderByClause), jetSql_, e.pos,
                  SourceText(e));
    out.sql += k == 0 ? " ORDER BY "sv : ", "sv;
    out.sql += std::to_string(pos);
    out.sql += Direction(q.orderBy[k].desc);
  }
  // A union without ALL comes out ordered by its columns, the first first, as
  // Jet's (and SQLite's, which sorts to drop the duplicates) does; PostgreSQL
  // drops them by hashing as often, in no order.
  if (Postgres() && q.orderBy.empty() &&
      std::none_of(q.unionAll.begin(), q.unionAll.end(), [](bool all) { return all; }))
    for (size_t i = 0; i < out.columns.size(); ++i) {
      out.sql += i == 0 ? " ORDER BY "sv : ", "sv;
      out.sql += std::to_string(i + 1);
      out.sql += Direction(false);
    }
  CheckSize(out.sql);
  return out;
}

void JetEmitter::EmitFrom(const TableRef& t, Scope& scope, const Scope* outer, std::string& out) {
  switch (t.kind) {
    case TableRef::Kind::kTable: {
      const auto& columns = TableColumns(t.table);
      // Two sources of one name could not be told apart (`t, t`, `t, u AS t`).
      const std::string_view name = t.alias.empty() ? t.table : t.alias;
      if (scope.FindSource(name)) ThrowJet(sqlerr::kRepeatedTable, name);
      // Filled in place (one made apart was moved in and destroyed).
      ScopeSource& source = scope.Add();
      source.name.append(t.alias.empty() ? t.table : t.alias);
      if (t.alias.empty())
        AppendTable(source.qualifier, t.table);
      else
        sqlite::AppendQuoted(source.qualifier, t.alias);
      source.columns = &columns;
      AppendTable(out, t.table);
      if (!t.alias.empty()) {
        out += " AS "sv;
        out += source.qualifier;
      }
      return;
    }
    case TableRef::Kind::kSubquery: {
      // A derived table sees the enclosing selects, not its siblings.
      derivedSelect_ = true;
      if (!t.alias.empty() && scope.FindSource(t.alias)) ThrowJet(sqlerr::kRepeatedTable, t.alias);
      const QueryOut q = EmitQuery(*t.sub, outer);
      const std::string qualifier =
          t.alias.empty() ? QuoteName("$d" + std::to_string(++derivedCount_)) : QuoteName(t.alias);
      std::vector<ColumnInfo>& columns = derivedColumns_.emplace_back();
      columns.reserve(q.columns.size());
      for (const auto& c : q.columns) columns.push_back(ColumnInfo{c.name, c.type, c.size});
      for (ColumnInfo& c : columns) c.quoted = QuotedColumn(c.name);
      scope.Add(ScopeSource{std::string(t.alias), qualifier, &columns, q.innerSources, q.origins});
      out += '(';
      out += q.sql;
      out += ") AS "sv;
      out += qualifier;
      return;
    }
    case TableRef::Kind::kJoin:
      break;
  }
  EmitFrom(*t.left, scope, outer, out);
  static constexpr std::string_view kJoins[] = {" INNER JOIN ", " LEFT JOIN ", " RIGHT JOIN "};
  out += t.join == JoinKind::kCross ? ", "sv : kJoins[static_cast<int>(t.join)];
  const bool nested = t.right->kind == TableRef::Kind::kJoin;
  if (nested) out += '(';
  EmitFrom(*t.right, scope, outer, out);
  if (nested) out += ')';
  if (t.join == JoinKind::kCross) return;
  out += " ON "sv;
  Restore<Clause> clauseGuard(clause_, Clause::kJoin);
  Restore<const Expr*> onGuard(clauseExpr_, t.on.get());
  EmitCondition(*t.on, scope, out);
}

void JetEmitter::ExpandItems(const Select& s, const Scope& scope, SelectState& state) {
  state.items.reserve(s.items.size());  // at least one per item
  for (const auto& item : s.items) {
    if (item.expr) {
      // Made in place: one moved in moved its two strings.
      SelectItemOut& out = state.items.emplace_back();
      out.expr = item.expr.get();
      out.alias = item.alias;
      continue;
    }
    if (scope.Sources().empty()) ThrowJet(sqlerr::kNoInput);
    const ScopeSource* only = nullptr;
    if (!item.starQualifier.empty()) {
      only = scope.FindSource(item.starQualifier);
      if (only == nullptr) ThrowJet(sqlerr::kNotAFieldName, std::string(item.starQualifier) + ".*");
    }
    for (const auto& src : scope.Sources()) {
      if (only != nullptr && &src != only) continue;
      for (const auto& col : *src.columns) {
        if (IsRowKey(col)) continue;
        SelectItemOut& out = state.items.emplace_back();
        out.source = &src;
        out.column = &col;
      }
    }
  }
}

std::optional<size_t> JetEmitter::FindAlias(const SelectState& state, const Scope& scope,
                                            std::string_view name) const {
  if (state.scope != &scope) return std::nullopt;
  for (size_t i = 0; i < state.items.size(); ++i)
    if (!state.items[i].alias.empty() && NamesEqual(state.items[i].alias, name)) return i;
  return std::nullopt;
}

const Emitted& JetEmitter::ItemValue(SelectState& state, size_t i, const Scope& scope) {
  SelectItemOut& item = state.items[i];
  if (item.value) return *item.value;
  if (item.busy) ThrowJet(sqlerr::kCircularAlias, item.alias);
  item.busy = true;
  Emitted v;
  if (item.expr != nullptr) {
    // An expression's SQLite text is about twice its Jet text (quoted
    // names, function names): sized once rather than grown piece by piece.
    // A column's stays in the string itself.
    if (item.expr->kind != ExprKind::kColumn) item.sql.reserve(2 * SourceText(*item.expr).size());
    v = EmitValue(*item.expr, scope, item.sql);
  } else {
    AppendQualifiedName(item.sql, *item.source, *item.column);
    v.type = item.column->type;
    v.size = item.column->size;
    v.bareColumn = true;
  }
  item.busy = false;
  item.value = v;
  return *item.value;
}

const std::string& JetEmitter::ItemSql(const SelectState& state, size_t i) {
  return state.items[i].sql;
}

// Jet's names: the alias; else the column's name, "q.name" when two columns
// of different tables share it; else Expr1000, Expr1001 ... in order.
void JetEmitter::NameItems(SelectState& state) const {
  // The qualifiers are views of the syntax tree's and the scope's names,
  // which outlive this. The names are new and empty: appended to (an
  // assignment went through the general replace).
  int exprNumber = 1000;
  for (SelectItemOut& it : state.items) {
    if (!it.alias.empty()) {
      it.name.append(it.alias);
    } else if (it.column != nullptr) {
      it.name.append(it.column->name);
      it.qualifier = it.source->name;
    } else if (it.expr->kind == ExprKind::kColumn) {
      it.name.append(it.expr->text);
      it.qualifier = it.expr->qualifier;
    } else {
      it.name = "Expr" + std::to_string(exprNumber++);
    }
  }
  // A table's column whose name another output column also has is named
  // "source.column": two tables' columns of one name, or a column that an
  // alias or a derived name repeats ("a.*, ... As KPP" over a table with a
  // KPP gives "a.KPP" and "KPP").
  std::vector<std::string> renamed;  // sized only when a name repeats
  for (size_t i = 0; i < state.items.size(); ++i) {
    const std::string_view qualifier = state.items[i].qualifier;
    if (qualifier.empty()) continue;
    for (size_t j = 0; j < state.items.size(); ++j) {
      if (i == j || !NamesEqual(state.items[i].name, state.items[j].name)) continue;
      if (state.items[j].qualifier.empty() || !NamesEqual(qualifier, state.items[j].qualifier)) {
        renamed.resize(state.items.size());
        renamed[i] = Cat({qualifier, ".", state.items[i].name});
      }
    }
  }
  for (size_t i = 0; i < renamed.size(); ++i)
    if (!renamed[i].empty()) state.items[i].name = std::move(renamed[i]);
}

// What a select passes through, for naming its columns from outside when it
// is a derived table: a column of * or q.*, or a plain column reference that
// one of the select's own sources resolves.
void JetEmitter::Origins(const SelectState& state, const Scope& scope, QueryOut& out) const {
  for (const auto& src : scope.Sources())
    if (!src.name.empty()) out.innerSources.push_back(src.name);
  if (out.innerSources.empty()) return;
  out.origins.resize(state.items.size());
  for (size_t i = 0; i < state.items.size(); ++i) {
    const SelectItemOut& it = state.items[i];
    const ScopeSource* source = it.source;
    const ColumnInfo* column = it.column;
    if (it.expr != nullptr && it.expr->kind == ExprKind::kColumn) {
      if (const auto hit = scope.Find(it.expr->qualifier, it.expr->text)) {
        source = hit->source;
        column = hit->column;
      }
    }
    if (source != nullptr && !source->name.empty())
      out.origins[i] = ColumnOrigin{source->name, column->name};
  }
}

JetEmitter::ColumnRef JetEmitter::ResolveColumn(const Expr& e, const Scope& scope) const {
  ColumnRef r;
  for (const Scope* s = &scope; s != nullptr; s = s->Outer()) {
    if ((r.hit = s->Find(e.qualifier, e.text))) {
      r.scope = s;
      return r;
    }
    // Jet lets a select refer to the alias of one of its own columns.
    if (s == &scope && e.qualifier.empty() && select_ != nullptr)
      if ((r.alias = FindAlias(*select_, scope, e.text))) return r;
  }
  // q.name where q is no source of any enclosing select: Jet looks inside
  // the derived tables, innermost select first.
  for (const Scope* s = &scope; s != nullptr && !e.qualifier.empty(); s = s->Outer()) {
    if (s->FindSource(e.qualifier) != nullptr) break;
    const auto hit = s->FindThroughDerived(e.qualifier, e.text);
    if (!hit) continue;
    if (hit->column == nullptr) break;
    r.hit = hit;
    r.scope = s;
    r.derived = true;
    return r;
  }
  return r;
}

bool JetEmitter::SameExpr(const Expr& a, const Expr& b, const Scope& scope) const {
  if (a.kind != b.kind || a.op != b.op || a.negated != b.negated || a.star != b.star ||
      a.args.size() != b.args.size())
    return false;
  switch (a.kind) {
    case ExprKind::kColumn: {
      const auto hitA = ResolveColumn(a, scope).hit;
      const auto hitB = ResolveColumn(b, scope).hit;
      if (hitA || hitB)
        return hitA && hitB && hitA->source == hitB->source && hitA->column == hitB->column;
      return NamesEqual(a.qualifier, b.qualifier) && NamesEqual(a.text, b.text);
    }
    case ExprKind::kCall:
      if (!NamesEqual(a.text, b.text)) return false;
      break;
    case ExprKind::kDate:
    case ExprKind::kBool:
      if (a.number != b.number) return false;
      break;
    case ExprKind::kNumber:
    case ExprKind::kString:
    case ExprKind::kGuid:
      if (a.text != b.text) return false;
      break;
    default:
      break;
  }
  // A sub-select is the same only as the same text.
  if ((a.sub || b.sub) && SourceText(a) != SourceText(b)) return false;
  for (size_t i = 0; i < a.args.size(); ++i)
    if (!SameExpr(*a.args[i], *b.args[i], scope)) return false;
  return true;
}

// An ordering outside the select list would change what DISTINCT compares:
// a key must be an item (the same expression however written, its alias, a
// column of a *) or a literal, which orders nothing.
void JetEmitter::CheckDistinctKey(const Expr& key, const Select& s, const Scope& scope) const {
  if (IsLiteral(key)) return;
  for (const SelectItem& item : s.items) {
    if (!item.expr) {
      if (key.kind == ExprKind::kColumn) return;
      continue;
    }
    if (SameExpr(key, *item.expr, scope)) return;
    if (key.kind == ExprKind::kColumn && key.qualifier.empty() && !item.alias.empty() &&
        NamesEqual(key.text, item.alias))
      return;
  }
  ThrowJet(sqlerr::kOrderByDistinct, SourceText(key));
}

bool JetEmitter::Grouped(const Expr& e, const Select& s, const Scope& scope) const {
  for (const auto& key : s.groupBy)
    if (SameExpr(e, *key, scope)) return true;
  switch (e.kind) {
    case ExprKind::kColumn: {
      // A column of an enclosing select, a parameter or an alias (whose
      // item is checked as an item) is one value for the whole select.
      const ColumnRef r = ResolveColumn(e, scope);
      return !r.hit || r.scope != &scope;
    }
    case ExprKind::kCall: {
      const JetFunction* fn = FindJetFunction(e.text);
      if (fn != nullptr && fn->aggregate) return true;
      break;
    }
    case ExprKind::kSubquery:
    case ExprKind::kExists:
      return true;
    default:
      break;
  }
  for (const auto& arg : e.args)
    if (!Grouped(*arg, s, scope)) return false;
  return true;
}

void JetEmitter::CheckGrouping(const Select& s, const Scope& scope, size_t whereBegin,
                               size_t whereEnd) const {
  for (const auto& item : s.items) {
    if (item.expr == nullptr) {
      if (item.starQualifier.empty()) ThrowJet(sqlerr::kGroupOnStar);
      ThrowJet(sqlerr::kGroupOnQualifiedStar, item.starQualifier);
    }
    if (!Grouped(*item.expr, s, scope)) ThrowJet(sqlerr::kNotGrouped, SourceText(*item.expr));
  }
  if (s.having && !Grouped(*s.having, s, scope))
    ThrowJet(sqlerr::kNotGrouped, SourceText(*s.having));
  // A sub-select of an item or of HAVING sees the group, not its rows.
  for (size_t i = 0; i < outerReferences_.size(); ++i) {
    const OuterReference& r = outerReferences_[i];
    if (r.scope != &scope || (i >= whereBegin && i < whereEnd)) continue;
    const bool grouped = std::any_of(s.groupBy.begin(), s.groupBy.end(), [&](const auto& key) {
      const auto hit =
          key->kind == ExprKind::kColumn ? ResolveColumn(*key, scope).hit : std::nullopt;
      return hit && hit->source == r.hit.source && hit->column == r.hit.column;
    });
    if (!grouped) ThrowJet(sqlerr::kNotGrouped, SourceText(*r.expr));
  }
  for (const auto& key : s.orderBy)
    if (key.expr->kind != ExprKind::kNumber && !Grouped(*key.expr, s, scope))
      ThrowJet(sqlerr::kOrderByGroupBy, SourceText(*key.expr));
}

JetEmitter::QueryOut JetEmitter::EmitSelect(const Select& s, const Scope* outer) {
  Restore<SelectState*> selectGuard(select_, nullptr);
  Restore<Clause> clauseGuard(clause_, Clause::kOther);
  Restore<const Expr*> whereGuard(clauseExpr_, nullptr);
  Restore<const Expr*> aggregateGuard(aggregateExpr_, nullptr);
  Restore<bool> aggregatedGuard(aggregated_, false);
  // References to this select's columns mean nothing once it is written.
  struct Forget {
    std::vector<OuterReference>& references;
    const Scope* scope;
    ~Forget() {
      std::erase_if(references, [this](const OuterReference& r) { return r.scope == scope; });
    }
  };
  const bool derived = std::exchange(derivedSelect_, false);
  // The thread's buffers of its last select: its text after the items, and its items.
  static thread_local std::string tSpareBody;
  static thread_local std::vector<SelectItemOut> tSpareItems;
  Scope scope(outer);
  const Forget forget{outerReferences_, &scope};
  ThreadBuffer<std::string, kBodyReserveCap> kept(tSpareBody);
  std::string& body = *kept;
  // About as long as the statement's text, which quoted names and the
  // collation lengthen: grown from nothing it was reallocated several times.
  body.reserve(std::min<size_t>(jetSql_.size() + jetSql_.size() / 2, kBodyReserveCap));
  if (s.from) {
    body += " FROM "sv;
    EmitFrom(*s.from, scope, outer, body);
  }

  // PostgreSQL matches an item, HAVING or ORDER BY expression with a GROUP BY
  // or DISTINCT one by its text: a literal in each as a parameter of its own
  // ($1 and $2) would make `S & '|'` two expressions, and the select refused.
  // Their literals stay literals there (FROM's and WHERE's are parameters).
  Restore<bool> inlineGuard(
      inlineLiterals_, Postgres() && (!s.groupBy.empty() || s.distinct || s.having != nullptr));
  ThreadBuffer<std::vector<SelectItemOut>, 64> items(tSpareItems);
  SelectState state{&scope, *items};
  ExpandItems(s, scope, state);
  select_ = &state;
  for (size_t i = 0; i < state.items.size(); ++i) ItemValue(state, i, scope);
  NameItems(state);

  const size_t whereBegin = outerReferences_.size();
  if (s.where) {
    clause_ = Clause::kWhere;
    clauseExpr_ = s.where.get();
    body += " WHERE "sv;
    Restore<bool> whereGuard(inlineLiterals_, false);
    EmitCondition(*s.where, scope, body);
    clause_ = Clause::kOther;
  }
  for (size_t i = 0; i < s.groupBy.size(); ++i) {
    body += i == 0 ? " GROUP BY "sv : ", "sv;
    clause_ = Clause::kGroupBy;
    clauseExpr_ = s.groupBy[i].get();
    // A literal goes as a sub-select of its value, which no engine reads as a place.
    const bool literal = IsLiteral(*s.groupBy[i]);
    if (literal) body += "(SELECT "sv;
    AppendJetCollation(body, EmitValue(*s.groupBy[i], scope, body));
    if (literal) body += ')';
    clause_ = Clause::kOther;
  }
  const size_t whereEnd = outerReferences_.size();
  if (s.having) {
    body += " HAVING "sv;
    EmitCondition(*s.having, scope, body);
  }
  const bool grouped = !s.groupBy.empty() || aggregated_;
  if (s.having && !grouped) ThrowJet(sqlerr::kHavingWithoutGrouping, SourceText(*s.having));
  if (grouped) CheckGrouping(s, scope, whereBegin, whereEnd);
  // An ordering by an aggregate cannot make a select of rows one of groups.
  if (!grouped) clause_ = Clause::kOrderBy;

  QueryOut out;
  out.columns.reserve(state.items.size());
  for (const auto& it : state.items) MakeColumn(out.columns.emplace_back(), it.name, *it.value);
  if (derived) Origins(state, scope, out);
  out.simple = !s.hasTop && s.orderBy.empty();
  // PostgreSQL keeps the rows tied with the n-th itself.
  const bool withTies = s.hasTop && !s.orderBy.empty() && !s.topPercent && Postgres();
  if (s.hasTop && (!s.orderBy.empty() || s.topPercent) && !withTies) {
    out.sql = AssembleTop(s, state, body, scope);
    CheckSize(out.sql);
    return out;
  }
  // The whole select is at least its body and its items' texts.
  size_t size = body.size() + 16;
  for (const auto& it : state.items) size += it.sql.size() + it.name.size() + 24;
  for (const auto& key : s.orderBy) size += 2 * SourceText(*key.expr).size() + 16;
  out.sql.reserve(size);
  out.sql += s.distinct ? "SELECT DISTINCT "sv : "SELECT "sv;
  for (size_t i = 0; i < state.items.size(); ++i) {
    if (i > 0) out.sql += ", "sv;
    out.sql += state.items[i].sql;
    AppendJetCollation(out.sql, *state.items[i].value);
    if (Postgres()) {
      // A name beyond the server's limit is labelled by its short form.
      out.sql += " AS "sv;
      out.sql += QuotedColumn(state.items[i].name);
    } else {
      AppendAlias(out.sql, state.items[i].name);
    }
  }
  out.sql += body;
  bool ordered = false;
  for (size_t k = 0; k < s.orderBy.size(); ++k) {
    const Expr& e = *s.orderBy[k].expr;
    clauseExpr_ = &e;
    // Any other literal orders nothing: left out, as SQLite would read a
    // whole number as a place and PostgreSQL refuses any literal there.
    if (e.kind != ExprKind::kNumber && IsLiteral(e)) continue;
    if (s.distinct) CheckDistinctKey(e, s, scope);
    out.sql += ordered ? ", "sv : " ORDER BY "sv;
    ordered = true;
    if (e.kind == ExprKind::kNumber) {
      const double pos = NumberLiteralValue(e.text);
      if (pos < 1 || pos > static_cast<double>(state.items.size()) || std::floor(pos) != pos)
        ThrowSyntax(sqlerr::kOrderByClause, JetMessage(sqlerr::kOrderByClause), jetSql_, e.pos,
                    e.text);
      out.sql += e.text;
    } else {
      AppendJetCollation(out.sql, EmitValue(e, scope, out.sql));
    }
    if (const std::string_view d = Direction(s.orderBy[k].desc); !d.empty()) out.sql += d;
  }
  // Ordered by literals alone, every row ties with the n-th.
  if (withTies && ordered)
    out.sql += " FETCH FIRST " + FormatCount(s.top) + " ROWS WITH TIES";
  else if (s.hasTop && !withTies)
    out.sql += " LIMIT " + FormatCount(s.top);
  CheckSize(out.sql);
  return out;
}

// TOP n with ORDER BY returns the rows tied with the n-th as well, which
// SQLite's LIMIT does not: the rows are ranked in a window over the select,
// and the outer select keeps those ranked n or better. It returns exactly the
// Jet columns, so it may stand in IN (...) and as a scalar sub-select.
std::string JetEmitter::AssembleTop(const Select& s, SelectState& state, const std::string& body,
                                    const Scope& scope) {
  std::string core = s.distinct ? "SELECT DISTINCT " : "SELECT ";
  for (size_t i = 0; i < state.items.size(); ++i) {
    if (i > 0) core += ", "sv;
    core += state.items[i].sql;
    AppendJetCollation(core, *state.items[i].value);
    core += " AS " + InternalName('c', i);
  }
  std::string order;
  size_t extras = 0;
  for (size_t k = 0; k < s.orderBy.size(); ++k) {
    const Expr& e = *s.orderBy[k].expr;
    clauseExpr_ = &e;
    std::string ref;
    JetType type = JetType::kNone;
    if (e.kind == ExprKind::kNumber) {
      const double pos = NumberLiteralValue(e.text);
      if (pos < 1 || pos > static_cast<double>(state.items.size()) || std::floor(pos) != pos)
        ThrowSyntax(sqlerr::kOrderByClause, JetMessage(sqlerr::kOrderByClause), jetSql_, e.pos,
                    e.text);
      const auto i = static_cast<size_t>(pos) - 1;
      ref = InternalName('c', i);
      type = state.items[i].value->type;
    } else {
      std::string text;
      const Emitted v = EmitValue(e, scope, text);
      type = v.type;
      for (size_t i = 0; i < state.items.size() && ref.empty(); ++i)
        if (state.items[i].sql == text) ref = InternalName('c', i);
      if (ref.empty()) {
        if (s.distinct) CheckDistinctKey(e, s, scope);
        ref = InternalName('o', extras++);
        core += ", " + text;
        AppendJetCollation(core, v);
        core += " AS " + ref;
      }
    }
    if (IsTextType(type)) ref += std::string(" COLLATE ") + kJetCollation;
    order += (k == 0 ? "" : ", ") + ref;
    order += Direction(s.orderBy[k].desc);
  }
  core += body;
  const std::string n = FormatCount(s.top);
  std::string ranked = "SELECT *, ";
  ranked += order.empty() ? "row_number() OVER ()" : "rank() OVER (ORDER BY " + order + ")";
  ranked += " AS \"$r\""sv;
  if (s.topPercent) ranked += ", count(*) OVER () AS \"$n\""sv;
  ranked += " FROM (" + core + (Postgres() ? ") AS \"$t\"" : ")");
  std::string sql = "SELECT ";
  for (size_t i = 0; i < state.items.size(); ++i) {
    if (i > 0) sql += ", "sv;
    sql += InternalName('c', i) + " AS " + QuotedColumn(state.items[i].name);
  }
  sql += " FROM (" + ranked + (Postgres() ? ") AS \"$t\" WHERE " : ") WHERE ");
  // PERCENT keeps ceil(n% of the rows): rank r is kept while (r - 1) < n * count / 100.
  sql += s.topPercent ? "(\"$r\" - 1) * 100 < " + n + " * \"$n\"" : "\"$r\" <= " + n;
  if (!order.empty()) sql += " ORDER BY " + order;
  return sql;
}

}  // namespace qv::jet::sql
