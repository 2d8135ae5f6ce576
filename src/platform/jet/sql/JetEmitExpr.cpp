// The expression half of JetEmitter: typing and SQLite text of expressions.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetCollation.h"
#include "platform/jet/JetFunctions.h"
#include "platform/jet/sql/JetEmitter.h"
#include "platform/jet/sql/JetSqlError.h"
#include "platform/jet/sql/JetTyping.h"

namespace qv::jet::sql {

namespace {

const JetFunction* LookupFunction(std::string_view name) {
  return FindJetFunction(name);
}

// The function table's entry for an operator or marker the emitter calls
// (found by its token: "+", "&", "/", "\\", "Mod", "^", "Like", "%Date",
// "%Boolean"). A missing one is a fault of the table, not of the statement.
const JetFunction& RequiredFunction(std::string_view name) {
  const JetFunction* fn = FindJetFunction(name);
  if (fn == nullptr)
    ThrowVb(vberr::kInternalError, "the Jet function table has no entry " + std::string(name));
  return *fn;
}

// Text as a SQLite literal. A NUL would end the statement text, so it is
// spliced in with char(0).
std::string StringLiteral(std::string_view s) {
  std::string out = "'";
  bool spliced = false;
  for (const char c : s) {
    if (c == '\'') {
      out += "''";
    } else if (c == '\0') {
      out += "' || char(0) || '";
      spliced = true;
    } else {
      out += c;
    }
  }
  out += '\'';
  return spliced ? Cat({"(", out, ")"}) : out;
}

// A date serial as a REAL literal; negative ones in parentheses so that no
// "--" (a SQLite comment) can arise next to a minus.
std::string RealLiteral(double v) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, ec == std::errc() ? end : buf);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return v < 0 ? "(" + s + ")" : s;
}

Emitted Condition(std::string sql) {
  Emitted e;
  e.sql = std::move(sql);
  e.type = JetType::kBoolean;
  e.condition = true;
  return e;
}

Emitted Value(std::string sql, JetType type, int32_t size = 0) {
  Emitted e;
  e.sql = std::move(sql);
  e.type = type;
  e.size = size;
  return e;
}

std::string Call(std::string_view fn, std::string_view a, std::string_view b) {
  return Cat({fn, "(", a, ", ", b, ")"});
}

// A numeric constant whose value the translator can compare (Between bounds).
std::optional<double> ConstantNumber(const Expr& e) {
  switch (e.kind) {
    case ExprKind::kNumber:
      return std::strtod(e.text.c_str(), nullptr);
    case ExprKind::kDate:
    case ExprKind::kBool:
      return e.number;
    case ExprKind::kUnary:
      if (e.op == Op::kNeg) {
        if (auto v = ConstantNumber(*e.args[0])) return -*v;
      }
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// The SQLite name of an operator's entry in the function table.
std::string_view OperatorFunction(std::string_view token) {
  return RequiredFunction(token).sqliteName;
}

// A date- or boolean-typed operand passed to a Jet function, wrapped in the
// table's marker so that the function knows it from a plain number.
void AppendMarked(std::string& out, const Emitted& e) {
  const char* marker = e.subtyped                    ? nullptr
                       : IsDateType(e.type)          ? "%Date"
                       : e.type == JetType::kBoolean ? "%Boolean"
                                                     : nullptr;
  if (marker == nullptr) {
    out += e.sql;
    return;
  }
  out += RequiredFunction(marker).sqliteName;
  out += '(';
  out += e.sql;
  out += ')';
}

std::string Marked(const Emitted& e) {
  std::string out;
  AppendMarked(out, e);
  return out;
}

std::string_view BaseName(std::string_view name) {
  if (!name.empty() && name.back() == '$') name.remove_suffix(1);
  return name;
}

}  // namespace

std::string WithJetCollation(const Emitted& e) {
  std::string out;
  AppendWithJetCollation(out, e);
  return out;
}

void AppendWithJetCollation(std::string& out, const Emitted& e) {
  out += e.sql;
  if (IsTextType(e.type) && !e.bareColumn) out += kCollateClause;
}

void JetEmitter::ParameterizeLiterals(std::span<const size_t> positions,
                                      std::vector<LiteralUse>& uses) {
  literalPositions_ = positions;
  literalUses_ = &uses;
}

std::string JetEmitter::LiteralParameter(const Expr& e) {
  if (!literalUses_) return {};
  const auto it = std::lower_bound(literalPositions_.begin(), literalPositions_.end(), e.pos);
  if (it == literalPositions_.end() || *it != e.pos) return {};
  const auto i = static_cast<size_t>(it - literalPositions_.begin());
  LiteralUse& use = (*literalUses_)[i];
  if (use == LiteralUse::kNone) use = LiteralUse::kParameter;
  return "?" + std::to_string(i + 1);
}

void JetEmitter::DependsOnValue(const Expr& e) {
  if (!literalUses_) return;
  if (e.kind == ExprKind::kNumber || e.kind == ExprKind::kString) {
    const auto it = std::lower_bound(literalPositions_.begin(), literalPositions_.end(), e.pos);
    if (it != literalPositions_.end() && *it == e.pos)
      (*literalUses_)[static_cast<size_t>(it - literalPositions_.begin())] = LiteralUse::kValue;
  }
  for (const ExprPtr& a : e.args) DependsOnValue(*a);
}

void JetEmitter::CheckSize(const std::string& sql) const {
  if (sql.size() > kMaxEmittedBytes) ThrowJet(sqlerr::kTooComplex);
}

std::string_view JetEmitter::SourceText(const Expr& e) const {
  if (e.pos >= jetSql_.size() || e.end < e.pos) return {};
  return jetSql_.substr(e.pos, e.end - e.pos);
}

void JetEmitter::FailWrongArguments(const Expr& e) const {
  ThrowSyntax(sqlerr::kExpression,
              "Wrong number of arguments used with function in query expression '" +
                  std::string(SourceText(e)) + "'.",
              jetSql_, e.pos, e.text);
}

Emitted JetEmitter::EmitValue(const Expr& e, const Scope& scope) {
  Emitted out = Emit(e, scope);
  if (out.condition) {
    out.sql = Cat({"(-(", out.sql, "))"});
    out.condition = false;
  }
  return out;
}

// A value serves as a condition the way SQLite reads it (nonzero is true).
std::string JetEmitter::EmitCondition(const Expr& e, const Scope& scope) {
  return Emit(e, scope).sql;
}

Emitted JetEmitter::Emit(const Expr& e, const Scope& scope) {
  Emitted out;
  switch (e.kind) {
    case ExprKind::kNumber:
      out = EmitNumber(e);
      if (std::string p = LiteralParameter(e); !p.empty()) out.sql = std::move(p);
      break;
    case ExprKind::kString:
      // Quoted only when it stays a literal.
      out = Value(LiteralParameter(e), JetType::kText, 255);
      if (out.sql.empty()) out.sql = StringLiteral(e.text);
      break;
    case ExprKind::kDate:
      out = Value(RealLiteral(e.number), JetType::kDate);
      break;
    case ExprKind::kGuid:
      out = Value(StringLiteral(e.text), JetType::kGUID);
      if (std::string p = LiteralParameter(e); !p.empty()) out.sql = std::move(p);
      break;
    case ExprKind::kNull:
      out.sql = "NULL";
      out.nullLiteral = true;
      break;
    case ExprKind::kBool:
      out = Value(e.number != 0 ? "-1" : "0", JetType::kBoolean);
      break;
    case ExprKind::kColumn:
      out = EmitColumn(e, scope);
      break;
    case ExprKind::kUnary:
      out = EmitUnary(e, scope);
      break;
    case ExprKind::kBinary:
      out = EmitBinary(e, scope);
      break;
    case ExprKind::kBetween:
      out = EmitBetween(e, scope);
      break;
    case ExprKind::kLike: {
      const Emitted v = EmitValue(*e.args[0], scope);
      const Emitted p = EmitValue(*e.args[1], scope);
      const std::string_view name = OperatorFunction("Like");
      // Compared with 0 so that the result is a truth value whatever nonzero
      // value the function gives for a match.
      out = Condition(Cat({"(", name, "(", v.sql, ", ", p.sql, e.negated ? ") = 0)" : ") <> 0)"}));
      break;
    }
    case ExprKind::kIn:
      out = EmitIn(e, scope);
      break;
    case ExprKind::kIsNull: {
      const Emitted v = EmitValue(*e.args[0], scope);
      out = Condition(Cat({"(", v.sql, e.negated ? " IS NOT NULL)" : " IS NULL)"}));
      break;
    }
    case ExprKind::kExists: {
      const QueryOut q = EmitQuery(*e.sub, &scope);
      out = Condition(Cat({"(EXISTS (", q.sql, "))"}));
      break;
    }
    case ExprKind::kSubquery:
      out = EmitSubquery(e, scope);
      break;
    case ExprKind::kCall:
      out = EmitCall(e, scope);
      break;
  }
  CheckSize(out.sql);
  return out;
}

Emitted JetEmitter::EmitNumber(const Expr& e) const {
  std::string text = e.text;
  if (text.front() == '.') text.insert(text.begin(), '0');
  if (const size_t dot = text.find('.');
      dot != std::string::npos &&
      (dot + 1 == text.size() || text[dot + 1] < '0' || text[dot + 1] > '9'))
    text.insert(dot + 1, "0");
  if (text.find_first_of(".eE") == std::string::npos) {
    int64_t v = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec == std::errc() && ptr == text.data() + text.size() && v <= INT32_MAX)
      return Value(std::move(text), JetType::kLong);
  }
  return Value(std::move(text), JetType::kDouble);
}

Emitted JetEmitter::EmitColumn(const Expr& e, const Scope& scope) {
  for (const Scope* s = &scope; s != nullptr; s = s->Outer()) {
    if (const auto hit = s->Find(e.qualifier, e.text)) {
      Emitted out = Value(QualifiedName(*hit->source, hit->column->name), hit->column->type,
                          hit->column->size);
      out.bareColumn = true;
      return out;
    }
    // Jet lets a select refer to the alias of one of its own columns.
    if (s == &scope && e.qualifier.empty() && select_ != nullptr) {
      if (const auto alias = FindAlias(*select_, scope, e.text))
        return ItemValue(*select_, *alias, scope);
    }
  }
  // q.name where q is no source of any enclosing select: Jet looks inside
  // the derived tables, innermost select first.
  for (const Scope* s = &scope; s != nullptr && !e.qualifier.empty(); s = s->Outer()) {
    if (s->FindSource(e.qualifier) != nullptr) break;
    const auto hit = s->FindThroughDerived(e.qualifier, e.text);
    if (!hit) continue;
    if (hit->column == nullptr) break;
    Emitted out =
        Value(QualifiedName(*hit->source, hit->column->name), hit->column->type, hit->column->size);
    out.bareColumn = true;
    return out;
  }
  std::string name = e.qualifier.empty() ? e.text : e.qualifier + "." + e.text;
  if (std::find(parameters_.begin(), parameters_.end(), name) == parameters_.end())
    parameters_.push_back(std::move(name));
  Emitted out;
  out.sql = "NULL";
  return out;
}

Emitted JetEmitter::EmitUnary(const Expr& e, const Scope& scope) {
  if (e.op == Op::kNeg) {
    const Emitted v = EmitValue(*e.args[0], scope);
    return Value(Cat({"(- ", v.sql, ")"}), NegationType(v.type));
  }
  // Not: logical on conditions and booleans, bitwise on other numbers (Not 5 is -6).
  const Emitted v = Emit(*e.args[0], scope);
  if (!v.condition && IsNumericType(v.type) && v.type != JetType::kBoolean) {
    const JetType t = IsIntegerType(v.type) ? v.type : JetType::kLong;
    return Value(Cat({"(~ ", v.sql, ")"}), t);
  }
  return Condition(Cat({"(NOT ", v.sql, ")"}));
}

Emitted JetEmitter::EmitBinary(const Expr& e, const Scope& scope) {
  if (e.op == Op::kConcat) return EmitConcat(e, scope);
  if (e.op == Op::kAnd || e.op == Op::kOr) {
    const Emitted a = Emit(*e.args[0], scope);
    const Emitted b = Emit(*e.args[1], scope);
    auto bitwise = [](const Emitted& x) {
      return !x.condition && IsIntegerType(x.type) && x.type != JetType::kBoolean;
    };
    if (bitwise(a) && bitwise(b)) {
      const char* op = e.op == Op::kAnd ? " & " : " | ";
      return Value(Cat({"(", a.sql, op, b.sql, ")"}), PromoteNumeric(a.type, b.type));
    }
    return Condition(Cat({"(", a.sql, e.op == Op::kAnd ? " AND " : " OR ", b.sql, ")"}));
  }
  Emitted a = EmitValue(*e.args[0], scope);
  Emitted b = EmitValue(*e.args[1], scope);
  switch (e.op) {
    case Op::kEq:
    case Op::kNe:
    case Op::kLt:
    case Op::kGt:
    case Op::kLe:
    case Op::kGe:
      return EmitComparison(e.op, std::move(a), std::move(b));
    default:
      return EmitArithmetic(e.op, std::move(a), std::move(b));
  }
}

// a & b & c: one call of the table's "&", which takes any number of operands.
Emitted JetEmitter::EmitConcat(const Expr& e, const Scope& scope) {
  std::vector<const Expr*> operands;
  const Expr* cur = &e;
  for (; cur->kind == ExprKind::kBinary && cur->op == Op::kConcat; cur = cur->args[0].get())
    operands.push_back(cur->args[1].get());
  operands.push_back(cur);
  std::string sql(OperatorFunction("&"));
  sql += '(';
  JetType type = JetType::kText;
  for (size_t i = operands.size(); i-- > 0;) {
    const Emitted v = EmitValue(*operands[i], scope);
    if (v.type == JetType::kMemo) type = JetType::kMemo;
    AppendMarked(sql, v);
    sql += i > 0 ? ", " : ")";
    CheckSize(sql);
  }
  return Value(std::move(sql), type, type == JetType::kText ? 255 : 0);
}

// SQLite's own operators where the static types make them agree with Jet's;
// the helper functions otherwise.
Emitted JetEmitter::EmitArithmetic(Op op, Emitted a, Emitted b) {
  const JetType type = ArithmeticType(op, a.type, b.type);
  const bool arithmetic =
      (IsArithmeticType(a.type) || a.nullLiteral) && (IsArithmeticType(b.type) || b.nullLiteral);
  auto infix = [&](const char* sqlOp) { return Cat({"(", a.sql, sqlOp, b.sql, ")"}); };
  std::string sql;
  switch (op) {
    case Op::kAdd:
      if (arithmetic) {
        sql = infix(" + ");
      } else if ((IsTextType(a.type) || a.nullLiteral) && (IsTextType(b.type) || b.nullLiteral)) {
        sql = infix(" || ");  // Null propagates, as Jet's + on texts
      } else {
        sql = Call(OperatorFunction("+"), Marked(a), Marked(b));
      }
      break;
    case Op::kSub:
      sql = infix(" - ");
      break;
    case Op::kMul:
      sql = infix(" * ");
      break;
    case Op::kDiv:
      sql = Call(OperatorFunction("/"), a.sql, b.sql);
      break;
    case Op::kIntDiv:
      sql = Call(OperatorFunction("\\"), a.sql, b.sql);
      break;
    case Op::kMod:
      sql = Call(OperatorFunction("Mod"), a.sql, b.sql);
      break;
    case Op::kPow:
      sql = Call(OperatorFunction("^"), a.sql, b.sql);
      break;
    default:  // "&" is EmitConcat's
      ThrowVb(vberr::kInternalError, "an operator without SQL");
  }
  return Value(std::move(sql), type, type == JetType::kText ? 255 : 0);
}

Emitted JetEmitter::EmitComparison(Op op, Emitted a, Emitted b) {
  static constexpr const char* kOps[] = {" = ", " <> ", " < ", " > ", " <= ", " >= "};
  const char* sqlOp = kOps[static_cast<int>(op) - static_cast<int>(Op::kEq)];
  // A plain text column compares in its declared collation; only when neither
  // side is one is the collation given.
  const bool collate = (IsTextType(a.type) || IsTextType(b.type)) && !a.bareColumn && !b.bareColumn;
  return Condition(Cat({"(", a.sql, collate ? kCollateClause : "", sqlOp, b.sql, ")"}));
}

// Jet accepts the bounds in either order.
Emitted JetEmitter::EmitBetween(const Expr& e, const Scope& scope) {
  const Emitted v = EmitValue(*e.args[0], scope);
  Emitted lo = EmitValue(*e.args[1], scope);
  Emitted hi = EmitValue(*e.args[2], scope);
  const bool text = IsTextType(v.type) || IsTextType(lo.type) || IsTextType(hi.type);
  const std::string_view valueCollation = text && !v.bareColumn ? kCollateClause : "";
  const char* between = e.negated ? " NOT BETWEEN " : " BETWEEN ";
  const auto loNum = ConstantNumber(*e.args[1]);
  const auto hiNum = ConstantNumber(*e.args[2]);
  const bool bothText =
      e.args[1]->kind == ExprKind::kString && e.args[2]->kind == ExprKind::kString;
  if ((loNum && hiNum) || bothText) {
    DependsOnValue(*e.args[1]);
    DependsOnValue(*e.args[2]);
    const bool swap =
        bothText ? CompareTextRu(e.args[1]->text, e.args[2]->text) > 0 : *loNum > *hiNum;
    if (swap) std::swap(lo, hi);
    return Condition(Cat({"(", v.sql, valueCollation, between, lo.sql, " AND ", hi.sql, ")"}));
  }
  // min and max take the collation of their first argument.
  const std::string_view firstCollation = text ? kCollateClause : "";
  return Condition(Cat({"(", v.sql, valueCollation, between, "min(", lo.sql, firstCollation, ", ",
                        hi.sql, ") AND max(", lo.sql, firstCollation, ", ", hi.sql, "))"}));
}

Emitted JetEmitter::EmitIn(const Expr& e, const Scope& scope) {
  const Emitted v = EmitValue(*e.args[0], scope);
  bool text = IsTextType(v.type);
  std::string list;
  if (e.sub) {
    const QueryOut q = EmitQuery(*e.sub, &scope);
    if (q.columns.size() != 1) ThrowJet(sqlerr::kSubqueryFields);
    text = text || IsTextType(q.columns[0].type);
    list = q.sql;
  } else {
    for (size_t i = 1; i < e.args.size(); ++i) {
      const Emitted item = EmitValue(*e.args[i], scope);
      text = text || IsTextType(item.type);
      if (i > 1) list += ", ";
      list += item.sql;
      CheckSize(list);
    }
  }
  return Condition(Cat({"(", v.sql, text && !v.bareColumn ? kCollateClause : "",
                        e.negated ? " NOT IN (" : " IN (", list, "))"}));
}

Emitted JetEmitter::EmitSubquery(const Expr& e, const Scope& scope) {
  const QueryOut q = EmitQuery(*e.sub, &scope);
  if (q.columns.size() != 1) ThrowJet(sqlerr::kSubqueryFields);
  return Value(Cat({"(", q.sql, ")"}), q.columns[0].type, q.columns[0].size);
}

Emitted JetEmitter::EmitCall(const Expr& e, const Scope& scope) {
  const std::string_view base = BaseName(e.text);
  if (NamesEqual(base, "IsNull")) {
    if (e.args.size() != 1 || e.star) FailWrongArguments(e);
    const Emitted v = EmitValue(*e.args[0], scope);
    return Condition(Cat({"(", v.sql, " IS NULL)"}));
  }
  const JetFunction* fn = LookupFunction(e.text);
  if (fn == nullptr) ThrowJet(sqlerr::kUndefinedFunction, e.text);
  if (fn->lazy) return EmitChoice(e, *fn, scope);
  return EmitFunction(e, *fn, scope);
}

// IIf, Switch and Choose as a CASE: only the value chosen is computed.
Emitted JetEmitter::EmitChoice(const Expr& e, const JetFunction& fn, const Scope& scope) {
  const auto n = static_cast<int>(e.args.size());
  if (e.star || n < fn.minArgs || (fn.maxArgs >= 0 && n > fn.maxArgs)) FailWrongArguments(e);
  const std::string_view base = BaseName(e.text);
  const bool choose = NamesEqual(base, "Choose"), iif = NamesEqual(base, "IIf");
  if (!choose && !iif && n % 2 != 0) FailWrongArguments(e);  // Switch takes pairs
  std::string sql = "(CASE";
  if (choose) {
    // CASE Round(index) WHEN 1 THEN ...: a Null or out-of-range index gives Null.
    sql += ' ';
    sql += RequiredFunction("Round").sqliteName;
    sql += '(';
    AppendMarked(sql, EmitValue(*e.args[0], scope));
    sql += ')';
  }
  JetType type = JetType::kNone;
  int32_t size = 0;
  auto add = [&](const std::string& head, const Expr& value) {
    const Emitted v = EmitValue(value, scope);
    type = CommonType(type, v.type);  // a Null value leaves the type to the others
    size = std::max(size, v.size);
    sql += head;
    sql += v.sql;
    CheckSize(sql);
  };
  if (choose) {
    for (int i = 1; i < n; ++i) add(" WHEN " + std::to_string(i) + " THEN ", *e.args[i]);
  } else {
    for (int i = 0; i + 1 < n; i += 2)
      add(" WHEN " + EmitCondition(*e.args[i], scope) + " THEN ", *e.args[i + 1]);
    if (iif) add(" ELSE ", *e.args[2]);
  }
  sql += " END)";
  return Value(std::move(sql), type, IsTextType(type) ? size : 0);
}

Emitted JetEmitter::EmitFunction(const Expr& e, const JetFunction& fn, const Scope& scope) {
  if (fn.aggregate && clause_ == Clause::kWhere)
    ThrowJet(sqlerr::kAggregateInWhere, whereExpr_ ? SourceText(*whereExpr_) : SourceText(e));
  if (e.star) {
    if (!NamesEqual(BaseName(e.text), "Count")) FailWrongArguments(e);
    return Value("count(*)", JetType::kLong);
  }
  const auto n = static_cast<int>(e.args.size());
  if (n < fn.minArgs || (fn.maxArgs >= 0 && n > fn.maxArgs)) FailWrongArguments(e);
  // SQLite's own aggregates take plain values; Jet's functions take marked ones.
  const bool jetFunction = fn.impl != nullptr && !fn.aggregate;
  std::vector<Emitted> args;
  args.reserve(e.args.size());
  std::string sql(fn.sqliteName);
  sql += '(';
  for (const auto& a : e.args) {
    args.push_back(EmitValue(*a, scope));
    if (args.size() > 1) sql += ", ";
    if (jetFunction)
      AppendMarked(sql, args.back());
    else
      sql += args.back().sql;
    CheckSize(sql);
  }
  sql += ")";
  JetType type = fn.fixedType;
  int32_t size = 0;
  if (fn.rule == TypeRule::kArg0) {
    type = args.empty() ? JetType::kNone : args[0].type;
    size = args.empty() ? 0 : args[0].size;
  } else if (fn.rule == TypeRule::kChosen) {
    for (const Emitted& a : args) {
      type = CommonType(type, a.type);
      size = std::max(size, a.size);
    }
  }
  if (IsTextType(type) && type != JetType::kGUID && size == 0 && type != JetType::kMemo) size = 255;
  Emitted out = Value(std::move(sql), type, size);
  out.subtyped = jetFunction;  // a Jet function marks its date and boolean results itself
  return out;
}

}  // namespace qv::jet::sql
