// The expression half of JetEmitter: typing and SQL text of expressions.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>

#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetCollation.h"
#include "platform/jet/JetError.h"
#include "platform/jet/JetFunctions.h"
#include "platform/jet/sql/JetEmitter.h"
#include "platform/jet/sql/JetLiterals.h"
#include "platform/jet/sql/JetPostgres.h"
#include "platform/jet/sql/JetServerFunctions.h"
#include "platform/jet/sql/JetSqlError.h"
#include "platform/jet/sql/JetTyping.h"

namespace qv::jet::sql {

// Appended as views: an appended char pointer was measured for its length at each append.
using namespace std::string_view_literals;

const JetFunction& RequiredFunction(std::string_view name) {
  const JetFunction* fn = FindJetFunction(name);
  if (fn == nullptr)
    ThrowVb(vberr::kInternalError, "the Jet function table has no entry " + std::string(name));
  return *fn;
}

namespace {

// The SQLite names of the entries the emitter calls, looked up once: a
// statement's operators looked each up again by name.
struct OperatorNames {
  std::string_view add, sub, mul, concat, div, intDiv, mod, pow, like, date, boolean, round;
};

const OperatorNames& Operators() {
  static const OperatorNames names{
      RequiredFunction("+").sqliteName,        RequiredFunction("-").sqliteName,
      RequiredFunction("*").sqliteName,        RequiredFunction("&").sqliteName,
      RequiredFunction("/").sqliteName,        RequiredFunction("\\").sqliteName,
      RequiredFunction("Mod").sqliteName,      RequiredFunction("^").sqliteName,
      RequiredFunction("Like").sqliteName,     RequiredFunction("%Date").sqliteName,
      RequiredFunction("%Boolean").sqliteName, RequiredFunction("Round").sqliteName};
  return names;
}

// Text as a SQL literal. A NUL would end the statement text, so it is
// spliced in with char(0) (chr(0) on PostgreSQL, which refuses it with a
// clear error: its texts cannot hold one).
void AppendStringLiteral(std::string& out, std::string_view s, bool postgres) {
  const bool spliced = s.find('\0') != std::string_view::npos;
  if (spliced) out += '(';
  out += '\'';
  for (const char c : s) {
    if (c == '\'') {
      out += "''"sv;
    } else if (c == '\0') {
      out += postgres ? "' || chr(0) || '"sv : "' || char(0) || '"sv;
    } else {
      out += c;
    }
  }
  out += '\'';
  if (spliced) out += ')';
}

// A date serial as a REAL literal; negative ones in parentheses so that no
// "--" (a SQLite comment) can arise next to a minus.
void AppendRealLiteral(std::string& out, double v) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  const std::string_view s(buf, static_cast<size_t>((ec == std::errc() ? end : buf) - buf));
  if (v < 0) out += '(';
  out += s;
  if (s.find_first_of(".e") == std::string_view::npos) out += ".0";
  if (v < 0) out += ')';
}

Emitted Condition() {
  Emitted e;
  e.type = JetType::kBoolean;
  e.condition = true;
  return e;
}

Emitted Value(JetType type, int32_t size = 0) {
  Emitted e;
  e.type = type;
  e.size = size;
  return e;
}

// A numeric constant whose value the translator can compare (Between bounds).
std::optional<double> ConstantNumber(const Expr& e) {
  switch (e.kind) {
    case ExprKind::kNumber:
      return NumberLiteralValue(e.text);
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

// A number literal is a Long when it is whole and within Long's range.
Emitted NumberType(std::string_view token) {
  return Value(NumberLiteralKind(token) == LiteralKind::kLong ? JetType::kLong : JetType::kDouble);
}

// The marker a date- or boolean-typed operand passed to a Jet function is
// wrapped in, so that the function knows it from a plain number; "" for none.
std::string_view Marker(const Emitted& e) {
  if (e.subtyped) return {};
  if (IsDateType(e.type)) return Operators().date;
  if (e.type == JetType::kBoolean) return Operators().boolean;
  return {};
}

// Wraps the operand out[start, end) in its marker.
void MarkAt(std::string& out, size_t start, const Emitted& e) {
  const std::string_view marker = Marker(e);
  if (marker.empty()) return;
  InsertAt(out, start, {marker, "("});
  out += ')';
}

// Made of literals alone: no column, parameter or sub-select, so that the
// server's planner may compute it before the statement runs.
bool OfLiterals(const Expr& e) {
  if (e.kind == ExprKind::kColumn || e.sub) return false;
  for (const ExprPtr& a : e.args)
    if (!OfLiterals(*a)) return false;
  return true;
}

std::string_view BaseName(std::string_view name) {
  if (!name.empty() && name.back() == '$') name.remove_suffix(1);
  return name;
}

// A column compared with a literal of another kind: a text literal with a
// number or Yes/No column, a number literal with a text column. Jet refuses
// the statement (3464) before it runs; SQLite would convert the literal by
// the column's affinity and find the rows it reads as equal, the server
// refuse it with an error of its own.
void CheckLiteralKind(const Expr& literal, const Emitted& other) {
  if (!other.bareColumn) return;
  const bool mismatch =
      (literal.kind == ExprKind::kString && IsNumericType(other.type)) ||
      (literal.kind == ExprKind::kNumber && IsTextType(other.type) && other.type != JetType::kGUID);
  if (mismatch) jet::ThrowJet(jeterr::kTypeMismatch);
}

// Two columns compared, a number or Yes/No with a text, are refused the same
// way: SQLite compared them by their storage classes (never equal), the
// server refused with an error of its own.
void CheckColumnKinds(const Emitted& a, const Emitted& b) {
  if (!a.bareColumn || !b.bareColumn) return;
  const auto text = [](const Emitted& v) { return IsTextType(v.type) && v.type != JetType::kGUID; };
  if ((IsNumericType(a.type) && text(b)) || (text(a) && IsNumericType(b.type)))
    jet::ThrowJet(jeterr::kTypeMismatch);
}

}  // namespace

void InsertAt(std::string& out, size_t at, std::initializer_list<std::string_view> pieces) {
  size_t size = 0;
  for (const std::string_view p : pieces) size += p.size();
  if (size == 0) return;
  out.insert(at, size, '\0');
  for (const std::string_view p : pieces) at += p.copy(out.data() + at, p.size());
}

void AppendJetCollation(std::string& out, const Emitted& e) {
  if (IsTextType(e.type) && !e.bareColumn) out += kCollateClause;
}

void JetEmitter::ParameterizeLiterals(std::span<const size_t> positions,
                                      std::vector<LiteralUse>& uses) {
  literalPositions_ = positions;
  literalUses_ = &uses;
}

bool JetEmitter::LiteralParameter(const Expr& e, std::string& out) {
  if (!literalUses_ || inlineLiterals_) return false;
  // Literals are mostly written in the order of the text: the one after the
  // last written is tried before a search.
  size_t i = nextLiteral_;
  if (i >= literalPositions_.size() || literalPositions_[i] != e.pos) {
    const auto it = std::lower_bound(literalPositions_.begin(), literalPositions_.end(), e.pos);
    if (it == literalPositions_.end() || *it != e.pos) return false;
    i = static_cast<size_t>(it - literalPositions_.begin());
  }
  nextLiteral_ = i + 1;
  LiteralUse& use = (*literalUses_)[i];
  if (use == LiteralUse::kNone) use = LiteralUse::kParameter;
  char buf[24];
  buf[0] = Postgres() ? '$' : '?';
  // The first nine by their digit (to_chars was some 40 instructions a literal).
  const char* end = buf + 2;
  if (i < 9)
    buf[1] = static_cast<char>('1' + i);
  else
    end = std::to_chars(buf + 1, buf + sizeof buf, i + 1).ptr;
  // By length: a range of two pointers went through the general replace.
  out.append(buf, static_cast<size_t>(end - buf));
  return true;
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

void JetEmitter::NumberOperand(const Expr& operand, const Emitted& other, bool added) {
  if (!literalUses_ || operand.kind != ExprKind::kNumber || !IsNumericType(other.type)) return;
  const auto it = std::lower_bound(literalPositions_.begin(), literalPositions_.end(), operand.pos);
  const auto i = static_cast<size_t>(it - literalPositions_.begin());
  if (it == literalPositions_.end() || *it != operand.pos || i >= 64 ||
      (*literalUses_)[i] != LiteralUse::kParameter)
    return;
  (added ? added_ : numberOperands_) |= uint64_t{1} << i;
}

size_t JetEmitter::AsBytes(std::string& out, size_t start, size_t end) const {
  // "$n" alone is the parameter of the n-th literal (LiteralParameter).
  if (literalUses_ && end - start > 1 && out[start] == '$') {
    size_t n = 0;
    const auto [stop, ec] = std::from_chars(out.data() + start + 1, out.data() + end, n);
    if (ec == std::errc() && stop == out.data() + end && n >= 1 && n <= literalUses_->size() &&
        (*literalUses_)[n - 1] != LiteralUse::kValue) {
      (*literalUses_)[n - 1] = LiteralUse::kBytes;
      return 0;
    }
  }
  InsertAt(out, end, {", 'UTF8')"});
  InsertAt(out, start, {"convert_to("});
  return std::string_view("convert_to(, 'UTF8')").size();
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

Emitted JetEmitter::EmitValue(const Expr& e, const Scope& scope, std::string& out) {
  const size_t start = out.size();
  Emitted v = Emit(e, scope, out);
  if (v.condition) {
    // PostgreSQL's true casts to 1.
    InsertAt(out, start, {"(-("});
    out += Postgres() ? ")::integer)"sv : "))"sv;
    v.condition = false;
  }
  return v;
}

// A value serves as a condition the way SQLite reads it (nonzero is true).
void JetEmitter::EmitCondition(const Expr& e, const Scope& scope, std::string& out) {
  const size_t start = out.size();
  const Emitted v = Emit(e, scope, out);
  AsCondition(v, out, start);
}

void JetEmitter::AsCondition(const Emitted& v, std::string& out, size_t start) const {
  if (v.condition) return;
  // A text as a condition is read as Jet reads a text as a Boolean (CBool's
  // rules: a number's text, True or False; any other is a type mismatch),
  // on both engines: SQLite read 'a' as false, the server refused to plan it.
  if (IsTextType(v.type) && !v.nullLiteral) {
    InsertAt(out, start, {Operators().boolean, "("});
    out += ')';
  }
  if (!Postgres()) return;
  InsertAt(out, start, {"("});
  out += " <> 0)"sv;
}

Emitted JetEmitter::Emit(const Expr& e, const Scope& scope, std::string& out) {
  Emitted v;
  switch (e.kind) {
    case ExprKind::kNumber:
      if (LiteralParameter(e, out))
        v = NumberType(e.text);
      else
        v = EmitNumber(e, out);
      break;
    case ExprKind::kString:
      // Quoted only when it stays a literal.
      v = Value(JetType::kText, 255);
      if (!LiteralParameter(e, out)) AppendStringLiteral(out, e.text, Postgres());
      break;
    case ExprKind::kDate:
      v = Value(JetType::kDate);
      AppendRealLiteral(out, e.number);
      break;
    case ExprKind::kGuid:
      v = Value(JetType::kGUID);
      if (!LiteralParameter(e, out)) AppendStringLiteral(out, e.text, Postgres());
      break;
    case ExprKind::kNull:
      out += "NULL"sv;
      v.nullLiteral = true;
      break;
    case ExprKind::kBool:
      v = Value(JetType::kBoolean);
      out += e.number != 0 ? "-1"sv : "0"sv;
      break;
    case ExprKind::kColumn:
      v = EmitColumn(e, scope, out);
      break;
    case ExprKind::kUnary:
      v = EmitUnary(e, scope, out);
      break;
    case ExprKind::kBinary:
      v = EmitBinary(e, scope, out);
      break;
    case ExprKind::kBetween:
      v = EmitBetween(e, scope, out);
      break;
    case ExprKind::kLike: {
      out += '(';
      AppendCallName(out, Operators().like, e);
      out += '(';
      EmitValue(*e.args[0], scope, out);
      out += ", "sv;
      EmitValue(*e.args[1], scope, out);
      // Compared with 0 so that the result is a truth value whatever nonzero
      // value the function gives for a match.
      out += e.negated ? ") = 0)"sv : ") <> 0)"sv;
      v = Condition();
      break;
    }
    case ExprKind::kIn:
      v = EmitIn(e, scope, out);
      break;
    case ExprKind::kIsNull:
      out += '(';
      EmitValue(*e.args[0], scope, out);
      out += e.negated ? " IS NOT NULL)"sv : " IS NULL)"sv;
      v = Condition();
      break;
    case ExprKind::kExists: {
      const QueryOut q = EmitQuery(*e.sub, &scope);
      out += "(EXISTS ("sv;
      out += q.sql;
      out += "))"sv;
      v = Condition();
      break;
    }
    case ExprKind::kSubquery:
      v = EmitSubquery(e, scope, out);
      break;
    case ExprKind::kCall:
      v = EmitCall(e, scope, out);
      break;
  }
  CheckSize(out);
  return v;
}

Emitted JetEmitter::EmitNumber(const Expr& e, std::string& out) const {
  const std::string_view t = e.text;
  if (t.front() == '.') out += '0';
  if (const size_t dot = t.find('.');
      dot != std::string::npos && (dot + 1 == t.size() || t[dot + 1] < '0' || t[dot + 1] > '9')) {
    out.append(t.substr(0, dot + 1));
    out += '0';
    out.append(t.substr(dot + 1));
  } else {
    out += t;
  }
  return NumberType(t);
}

Emitted JetEmitter::EmitColumn(const Expr& e, const Scope& scope, std::string& out) {
  const ColumnRef r = ResolveColumn(e, scope);
  if (r.alias) {
    const Emitted& v = ItemValue(*select_, *r.alias, scope);
    out += ItemSql(*select_, *r.alias);
    return v;
  }
  if (r.hit) {
    if (r.scope != &scope && !r.derived) outerReferences_.push_back({r.scope, *r.hit, &e});
    AppendQualifiedName(out, *r.hit->source, *r.hit->column);
    Emitted v = Value(r.hit->column->type, r.hit->column->size);
    v.bareColumn = true;
    return v;
  }
  std::string name = WrittenName(e);
  if (std::find(parameters_.begin(), parameters_.end(), name) == parameters_.end())
    parameters_.push_back(std::move(name));
  out += "NULL"sv;
  return Emitted{};
}

Emitted JetEmitter::EmitUnary(const Expr& e, const Scope& scope, std::string& out) {
  if (e.op == Op::kNeg) {
    const size_t start = out.size();
    out += "(- "sv;
    const Emitted v = EmitValue(*e.args[0], scope, out);
    // A Null as it stands has no type there for "-" to choose its form by.
    if (Postgres() && v.nullLiteral) out += "::double precision"sv;
    out += ')';
    // The least Long (or Integer) negated is beyond its type: a wider value
    // on a file, as "-" of two operands gives; made a bigint on PostgreSQL
    // instead of failing with "integer out of range".
    if (Postgres() && IsIntegerType(v.type) && v.type != JetType::kBigInt &&
        !ConstantNumber(*e.args[0])) {
      InsertAt(out, start + 3, {"("});
      out.insert(out.size() - 1, ")::bigint");
    }
    return Value(NegationType(v.type));
  }
  // Not: logical on conditions and booleans, bitwise on other numbers (Not 5 is -6).
  const size_t start = out.size();
  const Emitted v = Emit(*e.args[0], scope, out);
  out += ')';
  if (!v.condition && IsNumericType(v.type) && v.type != JetType::kBoolean) {
    InsertAt(out, start, {"(~ "});
    return Value(IsIntegerType(v.type) ? v.type : JetType::kLong);
  }
  out.pop_back();
  AsCondition(v, out, start);
  out += ')';
  InsertAt(out, start, {"(NOT "});
  return Condition();
}

Emitted JetEmitter::EmitBinary(const Expr& e, const Scope& scope, std::string& out) {
  if (e.op == Op::kConcat) return EmitConcat(e, scope, out);
  const size_t start = out.size();
  if (e.op == Op::kAnd || e.op == Op::kOr) {
    auto bitwise = [](const Emitted& x) {
      return !x.condition && IsIntegerType(x.type) && x.type != JetType::kBoolean;
    };
    out += '(';
    const Emitted a = Emit(*e.args[0], scope, out);
    // A first operand that is no whole number makes the operator logical
    // whatever the second is: written between them as they are emitted,
    // not inserted after.
    if (!Postgres() && !bitwise(a)) {
      out += e.op == Op::kAnd ? " AND "sv : " OR "sv;
      Emit(*e.args[1], scope, out);
      out += ')';
      return Condition();
    }
    const size_t mid = out.size();
    const Emitted b = Emit(*e.args[1], scope, out);
    out += ')';
    if (bitwise(a) && bitwise(b)) {
      InsertAt(out, mid, {e.op == Op::kAnd ? " & " : " | "});
      return Value(PromoteNumeric(a.type, b.type));
    }
    if (Postgres()) {
      // Both operands as conditions: the second is taken off while the
      // first is made one.
      const std::string second = out.substr(mid, out.size() - mid - 1);
      out.resize(mid);
      AsCondition(a, out, start + 1);
      out += e.op == Op::kAnd ? " AND "sv : " OR "sv;
      const size_t secondStart = out.size();
      out += second;
      AsCondition(b, out, secondStart);
      out += ')';
      return Condition();
    }
    InsertAt(out, mid, {e.op == Op::kAnd ? " AND " : " OR "});
    return Condition();
  }
  const Emitted a = EmitValue(*e.args[0], scope, out);
  const size_t mid = out.size();
  const Emitted b = EmitValue(*e.args[1], scope, out);
  switch (e.op) {
    case Op::kEq:
    case Op::kNe:
    case Op::kLt:
    case Op::kGt:
    case Op::kLe:
    case Op::kGe:
      CheckLiteralKind(*e.args[0], b);
      CheckLiteralKind(*e.args[1], a);
      CheckColumnKinds(a, b);
      NumberOperand(*e.args[0], b);
      NumberOperand(*e.args[1], a);
      return EmitComparison(e.op, a, b, out, start, mid);
    default:
      return EmitArithmetic(e, a, b, out, start, mid);
  }
}

// a & b & c: one call of the table's "&", which takes any number of operands.
Emitted JetEmitter::EmitConcat(const Expr& e, const Scope& scope, std::string& out) {
  out += Operators().concat;
  out += '(';
  const JetType type = EmitConcatOperands(e, scope, out);
  out += ')';
  return Value(type, type == JetType::kText ? 255 : 0);
}

// The chain a & b & c is ((a & b) & c): its operands are written leftmost
// first by descending the left operands, without collecting them.
JetType JetEmitter::EmitConcatOperands(const Expr& e, const Scope& scope, std::string& out) {
  const bool chain = e.kind == ExprKind::kBinary && e.op == Op::kConcat;
  JetType type = JetType::kText;
  if (chain) {
    type = EmitConcatOperands(*e.args[0], scope, out);
    out += ", "sv;
  }
  const size_t start = out.size();
  const Emitted v = EmitValue(chain ? *e.args[1] : e, scope, out);
  if (v.type == JetType::kMemo) type = JetType::kMemo;
  MarkAt(out, start, v);
  CheckSize(out);
  return type;
}

// SQLite's own operators where the static types make them agree with Jet's;
// the helper functions otherwise.
Emitted JetEmitter::EmitArithmetic(const Expr& e, const Emitted& a, const Emitted& b,
                                   std::string& out, size_t start, size_t mid) {
  const Op op = e.op;
  const JetType type = ArithmeticType(op, a.type, b.type);
  const bool arithmetic =
      (IsArithmeticType(a.type) || a.nullLiteral) && (IsArithmeticType(b.type) || b.nullLiteral);
  // Whole numbers up to Long add, subtract and multiply as SQLite's 64-bit
  // integers do: a result beyond its operands' type is a wider value
  // (Integer to Long, Long to Double when it is read), not an error. On
  // PostgreSQL the first operand is made a bigint so that the operation
  // is done in 64 bits instead of failing with "integer out of range".
  const bool widen = Postgres() && arithmetic && IsIntegerType(type) && type != JetType::kBigInt;
  auto infix = [&](std::string_view sqlOp) {
    if (widen) {
      InsertAt(out, mid, {")::bigint", sqlOp});
      InsertAt(out, start, {"(("});
      return;
    }
    InsertAt(out, mid, {sqlOp});
    InsertAt(out, start, {"("});
  };
  // fn(a, b), each operand marked when `marked`.
  auto call = [&](std::string_view fn, bool marked) {
    const std::string_view ma = marked ? Marker(a) : std::string_view();
    if (marked) MarkAt(out, mid, b);
    InsertAt(out, mid, {ma.empty() ? "" : ")", ", "});
    std::string name;
    AppendCallName(name, fn, e);
    InsertAt(out, start, {name, "(", ma, ma.empty() ? "" : "("});
  };
  // SQLite's own "+", "-" and "*" take a text that is no number as 0.
  auto numberOperands = [&](bool added) {
    NumberOperand(*e.args[0], b, added);
    NumberOperand(*e.args[1], a, added);
  };
  switch (op) {
    case Op::kAdd:
      if (arithmetic) {
        numberOperands(true);
        infix(" + ");
      } else if ((IsTextType(a.type) || a.nullLiteral) && (IsTextType(b.type) || b.nullLiteral)) {
        infix(" || ");  // Null propagates, as Jet's + on texts
      } else {
        call(Operators().add, true);
      }
      break;
    case Op::kSub:
    case Op::kMul:
      // A text operand: Jet reads it as a number or refuses it (13), where
      // SQLite takes a text that is no number as 0 and the server has no
      // such operator.
      if (IsTextType(a.type) || IsTextType(b.type)) {
        call(op == Op::kSub ? Operators().sub : Operators().mul, true);
      } else {
        numberOperands(false);
        infix(op == Op::kSub ? " - " : " * ");
      }
      break;
    case Op::kDiv:
      call(Operators().div, false);
      break;
    case Op::kIntDiv:
      call(Operators().intDiv, false);
      break;
    case Op::kMod:
      call(Operators().mod, false);
      break;
    case Op::kPow:
      call(Operators().pow, false);
      break;
    default:  // "&" is EmitConcat's
      ThrowVb(vberr::kInternalError, "an operator without SQL");
  }
  out += ')';
  return Value(type, type == JetType::kText ? 255 : 0);
}

Emitted JetEmitter::EmitComparison(Op op, const Emitted& a, const Emitted& b, std::string& out,
                                   size_t start, size_t mid) const {
  static constexpr const char* kOps[] = {" = ", " <> ", " < ", " > ", " <= ", " >= "};
  const char* sqlOp = kOps[static_cast<int>(op) - static_cast<int>(Op::kEq)];
  // A text compared with a binary column on PostgreSQL is its own bytes, as
  // where it is stored (the server has no comparison of bytea with a text);
  // bytes compare without a collation.
  bool bytes = false;
  if (Postgres()) {
    auto castsToBytes = [&](const Emitted& text, const Emitted& other) {
      return IsBinaryType(other.type) && IsTextType(text.type) && text.type != JetType::kGUID &&
             !text.nullLiteral;
    };
    if (castsToBytes(b, a)) {
      AsBytes(out, mid, out.size());
      bytes = true;
    } else if (castsToBytes(a, b)) {
      mid += AsBytes(out, start, mid);
      bytes = true;
    }
  }
  // A plain text column compares in its declared collation; only when neither
  // side is one is the collation given.
  const bool collate =
      !bytes && (IsTextType(a.type) || IsTextType(b.type)) && !a.bareColumn && !b.bareColumn;
  InsertAt(out, mid, {collate ? kCollateClause : "", sqlOp});
  InsertAt(out, start, {"("});
  out += ')';
  return Condition();
}

// Jet accepts the bounds in either order.
Emitted JetEmitter::EmitBetween(const Expr& e, const Scope& scope, std::string& out) {
  const size_t start = out.size();
  out += '(';
  const Emitted v = EmitValue(*e.args[0], scope, out);
  CheckLiteralKind(*e.args[1], v);
  CheckLiteralKind(*e.args[2], v);
  const std::string_view between = e.negated ? " NOT BETWEEN "sv : " BETWEEN "sv;
  const auto loNum = ConstantNumber(*e.args[1]);
  const auto hiNum = ConstantNumber(*e.args[2]);
  const bool bothText =
      e.args[1]->kind == ExprKind::kString && e.args[2]->kind == ExprKind::kString;
  // A plain column between constants (the most common): no collation after
  // the value and the bounds in their order, known before they are
  // emitted, so that nothing is inserted or moved after.
  if (v.bareColumn && ((loNum && hiNum) || bothText)) {
    DependsOnValue(*e.args[1]);
    DependsOnValue(*e.args[2]);
    const bool swap =
        bothText ? CompareTextRu(e.args[1]->text, e.args[2]->text) > 0 : *loNum > *hiNum;
    out += between;
    EmitValue(*e.args[swap ? 2 : 1], scope, out);
    out += " AND "sv;
    EmitValue(*e.args[swap ? 1 : 2], scope, out);
    out += ')';
    return Condition();
  }
  const size_t loStart = out.size();
  const Emitted lo = EmitValue(*e.args[1], scope, out);
  const size_t hiStart = out.size();
  const Emitted hi = EmitValue(*e.args[2], scope, out);
  const bool text = IsTextType(v.type) || IsTextType(lo.type) || IsTextType(hi.type);
  const std::string_view valueCollation = text && !v.bareColumn ? kCollateClause : "";
  if ((loNum && hiNum) || bothText) {
    DependsOnValue(*e.args[1]);
    DependsOnValue(*e.args[2]);
    const bool swap =
        bothText ? CompareTextRu(e.args[1]->text, e.args[2]->text) > 0 : *loNum > *hiNum;
    size_t second = hiStart;  // where the upper bound's text begins
    if (swap) {
      std::rotate(out.begin() + static_cast<std::ptrdiff_t>(loStart),
                  out.begin() + static_cast<std::ptrdiff_t>(hiStart), out.end());
      second = loStart + (out.size() - hiStart);
    }
    InsertAt(out, second, {" AND "});
    InsertAt(out, loStart, {valueCollation, between});
    out += ')';
    return Condition();
  }
  // A bound's number literal compared with a number (SQLite's own).
  NumberOperand(*e.args[1], v);
  NumberOperand(*e.args[2], v);
  // min and max take the collation of their first argument (least and
  // greatest on PostgreSQL, which take one for all).
  const std::string_view firstCollation = text ? kCollateClause : "";
  const std::string loText = out.substr(loStart, hiStart - loStart);
  const std::string hiText = out.substr(hiStart);
  out.resize(loStart);
  out += valueCollation;
  out += between;
  static constexpr const char* kSqlite[] = {"min(", ") AND max("};
  static constexpr const char* kPostgres[] = {"least(", ") AND greatest("};
  for (const char* head : Postgres() ? kPostgres : kSqlite) {
    out += head;
    out += loText;
    out += firstCollation;
    out += ", "sv;
    out += hiText;
  }
  out += "))"sv;
  if (Postgres()) {
    // min and max give Null for a Null bound, least and greatest pass it over.
    InsertAt(out, start,
             {"(CASE WHEN ", loText, " IS NULL OR ", hiText, " IS NULL THEN NULL ELSE "});
    out += " END)"sv;
  }
  return Condition();
}

Emitted JetEmitter::EmitIn(const Expr& e, const Scope& scope, std::string& out) {
  out += '(';
  const Emitted v = EmitValue(*e.args[0], scope, out);
  const size_t valueEnd = out.size();
  bool text = IsTextType(v.type);
  out += e.negated ? " NOT IN ("sv : " IN ("sv;
  if (e.sub) {
    const QueryOut q = EmitQuery(*e.sub, &scope);
    if (q.columns.size() != 1) ThrowJet(sqlerr::kSubqueryFields);
    text = text || IsTextType(q.columns[0].type);
    out += q.sql;
  } else {
    for (size_t i = 1; i < e.args.size(); ++i) {
      if (i > 1) out += ", "sv;
      const Emitted item = EmitValue(*e.args[i], scope, out);
      CheckLiteralKind(*e.args[i], v);
      NumberOperand(*e.args[i], v);
      text = text || IsTextType(item.type);
      CheckSize(out);
    }
  }
  out += "))"sv;
  if (text && !v.bareColumn) InsertAt(out, valueEnd, {kCollateClause});
  return Condition();
}

namespace {

// Whether `e` (a condition ANDed into a WHERE over the one table `t`) is
// `column = value` of a column a key of `t` is alone, the value a literal
// or a column of another source (an enclosing select's row).
bool KeyLookup(const Expr& e, const TableRef& t, const SchemaView& schema) {
  if (e.kind == ExprKind::kBinary && e.op == Op::kAnd)
    return KeyLookup(*e.args[0], t, schema) || KeyLookup(*e.args[1], t, schema);
  if (e.kind != ExprKind::kBinary || e.op != Op::kEq) return false;
  const std::string_view source = t.alias.empty() ? t.table : t.alias;
  auto ours = [&](const Expr& c) {
    return c.kind == ExprKind::kColumn && (c.qualifier.empty() || NamesEqual(c.qualifier, source));
  };
  auto other = [&](const Expr& v) {
    switch (v.kind) {
      case ExprKind::kNumber:
      case ExprKind::kString:
      case ExprKind::kDate:
      case ExprKind::kGuid:
        return true;
      case ExprKind::kColumn:
        return !v.qualifier.empty() && !NamesEqual(v.qualifier, source);
      default:
        return false;
    }
  };
  for (int side = 0; side < 2; ++side) {
    const Expr& c = *e.args[static_cast<size_t>(side)];
    if (ours(c) && other(*e.args[static_cast<size_t>(1 - side)]) &&
        schema.KeyedAlone(t.table, c.text))
      return true;
  }
  return false;
}

// A select that gives one row at most whatever its source holds: of
// expressions alone, TOP 1 without ORDER BY (with one, ties are rows too),
// an aggregate of its whole source (no GROUP BY), or one table's row found
// by a key that is one column alone.
bool GivesOneRowAtMost(const Query& q, const SchemaView& schema) {
  if (q.IsCompound()) return false;
  const Select& s = *q.select;
  if (!s.from) return true;
  if (s.hasTop && !s.topPercent && s.top == 1 && s.orderBy.empty()) return true;
  if (s.from->kind == TableRef::Kind::kTable && s.groupBy.empty() && s.where &&
      KeyLookup(*s.where, *s.from, schema))
    return true;
  if (!s.groupBy.empty() || s.items.empty() || !s.items.front().expr) return false;
  const Expr& first = *s.items.front().expr;
  if (first.kind != ExprKind::kCall) return false;
  const JetFunction* fn = FindJetFunction(first.text);
  return fn != nullptr && fn->aggregate;
}

}  // namespace

Emitted JetEmitter::EmitSubquery(const Expr& e, const Scope& scope, std::string& out) {
  const QueryOut q = EmitQuery(*e.sub, &scope);
  if (q.columns.size() != 1) ThrowJet(sqlerr::kSubqueryFields);
  // A scalar subquery of more than one row is Jet's 3354: the server refuses
  // it itself, SQLite would take the first row, so there its rows are
  // counted, the value read as the aggregate's bare column (the one row's),
  // Null for none, and a count above one raises 3354 (SQLite flattens the
  // CTE into the count, so a bare item that is no column of the sub-select's
  // own tables, a literal or an enclosing select's column, kept its value
  // over no rows). One that cannot give two rows (Max of a table, TOP 1)
  // stays as it is.
  if (!Postgres() && !GivesOneRowAtMost(*e.sub, schema_)) {
    out += "(WITH jet_subquery_rows(v) AS ("sv;
    out += q.sql;
    out += ") SELECT CASE WHEN count(*) > 1 THEN "sv;
    out += kSubqueryRowsError;
    out += "() WHEN count(*) = 0 THEN NULL ELSE v END FROM jet_subquery_rows)"sv;
  } else {
    out += '(';
    out += q.sql;
    out += ')';
  }
  return Value(q.columns[0].type, q.columns[0].size);
}

Emitted JetEmitter::EmitCall(const Expr& e, const Scope& scope, std::string& out) {
  const JetFunction* fn = FindJetFunction(e.text);
  // IsNull is not in the table: asked only of a name the table lacks.
  if (fn == nullptr && NamesEqual(BaseName(e.text), "IsNull")) {
    if (e.args.size() != 1 || e.star) FailWrongArguments(e);
    out += '(';
    EmitValue(*e.args[0], scope, out);
    out += " IS NULL)"sv;
    return Condition();
  }
  if (fn == nullptr) ThrowJet(sqlerr::kUndefinedFunction, e.text);
  if (fn->lazy) return EmitChoice(e, *fn, scope, out);
  return EmitFunction(e, *fn, scope, out);
}

// IIf, Switch and Choose as a CASE: only the value chosen is computed.
// A value of a choice typed as text (IIf, Switch, Choose, Nz) made text by
// `&`'s conversion where it is of another kind: on the server every one (its
// CASE and Nz have one type), on SQLite a date or Yes/No, whose kind a
// row's value keeps only as a subtype, lost in the result (a date read as
// its day number, where Jet gives the date).
bool JetEmitter::MadeText(const Emitted& v) const {
  if (IsTextType(v.type) || v.type == JetType::kNone || v.nullLiteral) return false;
  return Postgres() || IsDateType(v.type) || v.type == JetType::kBoolean;
}

Emitted JetEmitter::EmitChoice(const Expr& e, const JetFunction& fn, const Scope& scope,
                               std::string& out) {
  const auto n = static_cast<int>(e.args.size());
  if (e.star || n < fn.minArgs || (fn.maxArgs >= 0 && n > fn.maxArgs)) FailWrongArguments(e);
  const std::string_view base = BaseName(e.text);
  const bool choose = NamesEqual(base, "Choose"), iif = NamesEqual(base, "IIf");
  if (!choose && !iif && n % 2 != 0) FailWrongArguments(e);  // Switch takes pairs
  out += "(CASE"sv;
  if (choose) {
    // CASE Round(index) WHEN 1 THEN ...: a Null or out-of-range index gives Null.
    out += ' ';
    out += Operators().round;
    out += '(';
    const size_t start = out.size();
    MarkAt(out, start, EmitValue(*e.args[0], scope, out));
    out += ')';
  }
  // From the first value on (past Choose's index or the first condition),
  // each part may not be computed.
  struct Lazy {
    int& depth;
    bool on = false;
    void Begin() {
      if (!on) ++depth;
      on = true;
    }
    ~Lazy() {
      if (on) --depth;
    }
  } lazy{lazy_};
  JetType type = JetType::kNone;
  int32_t size = 0;
  // Each value's place in `out` and its type, for the server's conversions below.
  struct Placed {
    size_t start, end;
    Emitted value;
  };
  std::vector<Placed> values;
  auto add = [&](const Expr& value) {
    lazy.Begin();
    const size_t start = out.size();
    const Emitted v = EmitValue(value, scope, out);
    values.push_back({start, out.size(), v});
    type = CommonType(type, v.type);  // a Null value leaves the type to the others
    size = std::max(size, v.size);
    CheckSize(out);
  };
  if (choose) {
    for (int i = 1; i < n; ++i) {
      out += " WHEN "sv;
      out += std::to_string(i);
      out += " THEN "sv;
      add(*e.args[i]);
    }
  } else {
    for (int i = 0; i + 1 < n; i += 2) {
      out += " WHEN "sv;
      EmitCondition(*e.args[i], scope, out);
      out += " THEN "sv;
      add(*e.args[i + 1]);
    }
    if (iif) {
      out += " ELSE "sv;
      add(*e.args[2]);
    }
  }
  // Jet types a choice of a text and a number (or a date) as text, and
  // SQLite's CASE gives each row's value as it is, which reads as its text.
  // PostgreSQL's CASE has one type: the other values are made text there
  // by Jet's own conversion (`&`'s: the number's CStr, Null kept), so each
  // row reads as on SQLite. The last first: the earlier places stay valid.
  if (IsTextType(type)) {
    for (auto it = values.rbegin(); it != values.rend(); ++it) {
      const Emitted& v = it->value;
      if (!MadeText(v)) continue;
      const std::string_view marker = Marker(v);
      out.insert(it->end, marker.empty() ? ")" : "))");
      InsertAt(out, it->start, {Operators().concat, "(", marker, marker.empty() ? "" : "("});
    }
    CheckSize(out);
  }
  out += " END)"sv;
  return Value(type, IsTextType(type) ? size : 0);
}

Emitted JetEmitter::EmitFunction(const Expr& e, const JetFunction& fn, const Scope& scope,
                                 std::string& out) {
  const Expr* const enclosingAggregate = aggregateExpr_;
  if (fn.aggregate) {
    static constexpr int32_t kRefused[] = {0, sqlerr::kAggregateInWhere,
                                           sqlerr::kAggregateInGroupBy, sqlerr::kAggregateInOrderBy,
                                           sqlerr::kAggregateInJoin};
    if (clause_ != Clause::kOther)
      ThrowJet(kRefused[static_cast<int>(clause_)],
               clauseExpr_ ? SourceText(*clauseExpr_) : SourceText(e));
    if (enclosingAggregate != nullptr)
      ThrowJet(sqlerr::kAggregateInExpression, SourceText(*enclosingAggregate));
    aggregated_ = true;
    aggregateExpr_ = &e;
  }
  if (e.star) {
    if (!NamesEqual(BaseName(e.text), "Count")) FailWrongArguments(e);
    aggregateExpr_ = enclosingAggregate;
    out += "count(*)"sv;
    return Value(JetType::kLong);
  }
  const auto n = static_cast<int>(e.args.size());
  if (n < fn.minArgs || (fn.maxArgs >= 0 && n > fn.maxArgs)) FailWrongArguments(e);
  // SQLite's own aggregates take plain values; Jet's functions take marked ones.
  const bool jetFunction = fn.impl != nullptr && !fn.aggregate;
  if (jetFunction && fn.deterministic) {
    AppendCallName(out, fn.sqliteName, e);
  } else {
    out += fn.sqliteName;
  }
  out += '(';
  JetType type = fn.fixedType;
  int32_t size = 0;
  if (fn.rule == TypeRule::kArg0) type = JetType::kNone;
  // The places and types of a chosen value's arguments (Nz), for the
  // server's conversion below.
  std::vector<std::pair<std::pair<size_t, size_t>, Emitted>> chosen;
  for (size_t i = 0; i < e.args.size(); ++i) {
    if (i > 0) out += ", "sv;
    const size_t start = out.size();
    const Emitted v = EmitValue(*e.args[i], scope, out);
    if (jetFunction) MarkAt(out, start, v);
    if (fn.rule == TypeRule::kChosen) chosen.push_back({{start, out.size()}, v});
    // A binary column holds a text given to it as the text's bytes on
    // PostgreSQL, where a file keeps the text: Len reads them as that text
    // (bytes that are no UTF-8 text raise 13, as bytes do on a file).
    if (Postgres() && IsBinaryType(v.type) && NamesEqual(BaseName(e.text), "Len")) {
      InsertAt(out, start, {"convert_from("});
      out += ", 'UTF8')";
    }
    // PostgreSQL's own aggregates have one form per type (sum, avg): a
    // Null given as it stands names none of them, so it is a number's.
    if (Postgres() && fn.aggregate && fn.impl == nullptr && v.nullLiteral)
      out += "::double precision"sv;
    // Max and Min of a text compare in Jet's order: both engines' own
    // aggregates take the argument's collation, which only a column has
    // (SQLite compared other texts by their bytes, the server by its
    // default order: Max(LCase(name)) gave ёжевика, not яблоко).
    if (fn.aggregate && fn.impl == nullptr && fn.rule == TypeRule::kArg0 &&
        !NamesEqual(fn.name, "Sum"))
      AppendJetCollation(out, v);
    // Nz of one value gives a Null as a zero-length text, so Jet types it as
    // a text: a number, date or Yes/No reads as its text (CStr) on both
    // engines, where the server's Nz of a number, typed as the number, could
    // not hold the text (13). The server makes the value its text first.
    if (n == 1 && fn.rule == TypeRule::kChosen && NamesEqual(fn.name, "Nz") &&
        !IsTextType(v.type) && v.type != JetType::kNone && !v.nullLiteral) {
      if (Postgres()) {
        InsertAt(out, start, {Operators().concat, "("});
        out += ')';
      }
      type = JetType::kText;
      CheckSize(out);
      continue;
    }
    if (fn.rule == TypeRule::kArg0 && i == 0) {
      type = v.type;
      size = v.size;
    } else if (fn.rule == TypeRule::kChosen) {
      type = CommonType(type, v.type);
      size = std::max(size, v.size);
    }
    CheckSize(out);
  }
  // Nz(number, text) is typed as text, and SQLite gives each row's value as
  // it is; the server's Nz has one type, which the number's would decide
  // (a text there refused): the values that are no text are made text by
  // Jet's own conversion, as a choice's are (EmitChoice). The last first.
  // Of two numbers, the server's Nz has the first one's type, which the
  // replacement is made (Nz(n \ 2, 1.5) gave 2): the first goes as the
  // common type, as Jet types the call.
  if (Postgres() && chosen.size() > 1 && IsNumericType(type) && !IsDateType(type) &&
      IsNumericType(chosen[0].second.type) && chosen[0].second.type != type)
    if (const std::string_view server = PostgresType(type); !server.empty()) {
      out.insert(chosen[0].first.second, ")::" + std::string(server));
      InsertAt(out, chosen[0].first.first, {"("});
    }
  if (IsTextType(type) && chosen.size() > 1) {
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
      const Emitted& v = it->second;
      if (!MadeText(v)) continue;
      // Marked already as a function's argument.
      out.insert(it->first.second, ")");
      InsertAt(out, it->first.first, {Operators().concat, "("});
    }
    CheckSize(out);
  }
  out += ')';
  aggregateExpr_ = enclosingAggregate;
  if (IsTextType(type) && type != JetType::kGUID && size == 0 && type != JetType::kMemo) size = 255;
  Emitted v = Value(type, size);
  v.subtyped = jetFunction;  // a Jet function marks its date and boolean results itself
  // The server's Round of a date keeps the date only when the digits are
  // exactly an integer (its form of a date); other digits (a Double, a text,
  // Null, a bigint sum) take the form of numbers, whose result is the day
  // number: a function given it marks it as a date again.
  if (Postgres() && fn.rule == TypeRule::kArg0 && n > 1 && IsDateType(type)) v.subtyped = false;
  return v;
}

void JetEmitter::AppendCallName(std::string& out, std::string_view name, const Expr& e) const {
  out += name;
  if (lazy_ > 0 && Postgres() && OfLiterals(e)) out += kServerLazySuffix;
}

}  // namespace qv::jet::sql
