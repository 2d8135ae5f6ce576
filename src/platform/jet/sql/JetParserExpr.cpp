// The expression half of JetParser. Precedence, loosest first: Or; And; Not;
// comparisons (= <> < > <= >= Like Between In Is); &; + -; Mod; \; * /;
// unary minus; ^.

#include <algorithm>
#include <utility>

#include "platform/automation/VbaText.h"
#include "platform/jet/sql/JetDateLiteral.h"
#include "platform/jet/sql/JetLexer.h"
#include "platform/jet/sql/JetParser.h"
#include "platform/jet/sql/JetSqlError.h"

namespace qv::jet::sql {

namespace {

// The truth a word stands for wherever an expression may: 1 for True, Yes
// and On, -1 for False, No and Off, 0 for any other token.
int BooleanWord(const Token& t) {
  if (t.Is(Keyword::kTrue) || t.Is(Keyword::kOn)) return 1;
  if (t.Is(Keyword::kFalse)) return -1;
  if (t.kind != TokenKind::kWord || t.keyword != Keyword::kNone) return 0;
  if (t.text.size() > 3) return 0;  // most names: longer than the words below
  if (EqualsAsciiNoCase(t.text, "Yes")) return 1;
  if (EqualsAsciiNoCase(t.text, "No") || EqualsAsciiNoCase(t.text, "Off")) return -1;
  return 0;
}

Op ComparisonOp(const Token& t) {
  if (t.kind != TokenKind::kSymbol) return Op::kNone;
  if (t.text == "=") return Op::kEq;
  if (t.text == "<>") return Op::kNe;
  if (t.text == "<") return Op::kLt;
  if (t.text == ">") return Op::kGt;
  if (t.text == "<=") return Op::kLe;
  if (t.text == ">=") return Op::kGe;
  return Op::kNone;
}

// The operators between the comparisons and unary minus, by level, loosest
// first: & (1); + - (2); Mod (3); \ (4); * / (5). Level 0: no such operator.
struct InfixOp {
  Op op = Op::kNone;
  int level = 0;
};

InfixOp InfixOpOf(const Token& t) {
  if (t.kind == TokenKind::kWord)
    return t.keyword == Keyword::kMod ? InfixOp{Op::kMod, 3} : InfixOp{};
  if (t.kind != TokenKind::kSymbol || t.text.size() != 1) return {};
  switch (t.text[0]) {
    case '&':
      return {Op::kConcat, 1};
    case '+':
      return {Op::kAdd, 2};
    case '-':
      return {Op::kSub, 2};
    case '\\':
      return {Op::kIntDiv, 4};
    case '*':
      return {Op::kMul, 5};
    case '/':
      return {Op::kDiv, 5};
    default:
      return {};
  }
}

// Tokens that may follow a complete expression.
bool EndsExpression(const Token& t) {
  if (t.kind == TokenKind::kEnd) return true;
  if (t.kind == TokenKind::kSymbol) return t.text == ")" || t.text == "," || t.text == ";";
  if (t.kind != TokenKind::kWord) return false;
  switch (t.keyword) {
    case Keyword::kFrom:
    case Keyword::kInto:  // SELECT ... INTO
    case Keyword::kWhere:
    case Keyword::kGroup:
    case Keyword::kHaving:
    case Keyword::kOrder:
    case Keyword::kUnion:
    case Keyword::kAs:
    case Keyword::kAsc:
    case Keyword::kDesc:
    case Keyword::kInner:
    case Keyword::kLeft:
    case Keyword::kRight:
    case Keyword::kJoin:
      return true;
    default:
      return false;
  }
}

}  // namespace

class ExprNesting {
 public:
  explicit ExprNesting(int& n) : n_(n) {
    if (++n_ > kMaxNesting) ThrowJet(sqlerr::kTooComplex);
  }
  ~ExprNesting() { --n_; }
  ExprNesting(const ExprNesting&) = delete;
  ExprNesting& operator=(const ExprNesting&) = delete;

 private:
  int& n_;
};

ExprPtr JetParser::MakeNode(ExprKind kind, size_t pos, ExprList args) {
  auto e = MakeTree<Expr>(kind, pos);
  int tallest = 0;
  for (const auto& a : args) {
    tallest = std::max(tallest, a->height);
    e->end = std::max(e->end, a->end);
  }
  e->height = tallest + 1;
  if (e->height > kMaxHeight) ThrowJet(sqlerr::kTooComplex);
  e->args = std::move(args);
  return e;
}

ExprPtr JetParser::MakeBinary(Op op, ExprPtr left, ExprPtr right) {
  const size_t pos = left->pos;
  // Made of both at once: one allocation, and no append per operand.
  auto e = MakeNode(ExprKind::kBinary, pos, ExprList{left, right});
  e->op = op;
  return e;
}

void JetParser::CheckExpressionEnd() const {
  if (!EndsExpression(Peek())) FailExpression(Peek());
}

ExprPtr JetParser::ParseExpression() {
  if (exprDepth_ == 0) exprStart_ = Peek().pos;
  ++exprDepth_;
  ExprPtr e = ParseOr();
  --exprDepth_;
  if (exprDepth_ == 0) CheckExpressionEnd();
  return e;
}

size_t JetParser::PlainOperandTokens() const {
  const Token& t = Peek();
  if (t.kind == TokenKind::kNumber || t.kind == TokenKind::kString) return 1;
  if (!t.IsName()) return 0;
  const Token& next = Peek(1);
  if (next.kind != TokenKind::kSymbol) return 1;
  if (next.text == "(") return 0;  // a call
  if (next.text != ".") return 1;
  const Token& column = Peek(2);
  return column.kind == TokenKind::kWord || column.kind == TokenKind::kBracket ? 3 : 0;
}

ExprPtr JetParser::ParseOr() {
  // A plain operand that ends the expression (a select item, an argument,
  // an ORDER BY key) is the whole tree: each level of the grammar below
  // would look for its operator after it and find none.
  if (const size_t n = PlainOperandTokens(); n > 0 && EndsExpression(Peek(n)))
    return ParsePrimary();
  ExprPtr left = ParseAnd();
  while (Accept(Keyword::kOr)) left = MakeBinary(Op::kOr, std::move(left), ParseAnd());
  return left;
}

ExprPtr JetParser::ParseAnd() {
  ExprPtr left = ParseNot();
  while (Accept(Keyword::kAnd)) left = MakeBinary(Op::kAnd, std::move(left), ParseNot());
  return left;
}

ExprPtr JetParser::ParseNot() {
  if (!Peek().Is(Keyword::kNot)) return ParseComparison();
  ExprNesting guard(nesting_);
  const size_t pos = Take().pos;
  ExprList args;
  args.push_back(ParseNot());
  auto e = MakeNode(ExprKind::kUnary, pos, std::move(args));
  e->op = Op::kNot;
  return e;
}

ExprPtr JetParser::ParseComparison() {
  ExprPtr left = ParseInfix(1);
  for (;;) {
    const Token& t = Peek();
    const size_t pos = left->pos;
    if (const Op op = ComparisonOp(t); op != Op::kNone) {
      Take();
      left = MakeBinary(op, std::move(left), ParseInfix(1));
      continue;
    }
    if (t.Is(Keyword::kIs)) {
      Take();
      const bool negated = Accept(Keyword::kNot);
      const Token& n = Peek();
      if (!n.Is(Keyword::kNull)) FailExpression(n);
      Take();
      ExprList args;
      args.push_back(std::move(left));
      left = MakeNode(ExprKind::kIsNull, pos, std::move(args));
      left->negated = negated;
      left->end = n.end();
      continue;
    }
    const bool negated =
        t.Is(Keyword::kNot) &&
        (Peek(1).Is(Keyword::kLike) || Peek(1).Is(Keyword::kBetween) || Peek(1).Is(Keyword::kIn));
    if (negated) Take();
    ExprList args;
    ExprKind kind;
    TreePtr<Query> sub;
    size_t end = 0;
    if (Accept(Keyword::kLike)) {
      kind = ExprKind::kLike;
      args = ExprList{left, ParseInfix(1)};  // one allocation, no append per operand
    } else if (Accept(Keyword::kBetween)) {
      kind = ExprKind::kBetween;
      ExprPtr low = ParseInfix(1);
      if (!Accept(Keyword::kAnd)) FailExpression(Peek());
      args = ExprList{left, low, ParseInfix(1)};
    } else if (Accept(Keyword::kIn)) {
      kind = ExprKind::kIn;
      ExprNesting guard(nesting_);
      if (!Peek().IsSymbol("(")) FailExpression(Peek());
      Take();
      args.push_back(std::move(left));
      if (Peek().Is(Keyword::kSelect)) {
        sub = ParseNestedQuery();
      } else {
        do {
          args.push_back(ParseOr());
        } while (AcceptSymbol(","));
      }
      end = Peek().end();
      if (!AcceptSymbol(")")) FailExpression(Peek());
    } else {
      return left;
    }
    left = MakeNode(kind, pos, std::move(args));
    left->negated = negated;
    left->sub = std::move(sub);
    left->end = std::max(left->end, end);
  }
}

// Precedence climbing over the levels of InfixOp, each left-associative:
// the right operand of an operator takes only operators that bind tighter.
ExprPtr JetParser::ParseInfix(int minLevel) {
  // The same for an operand that no infix operator or ^ follows (a bound of
  // Between, a pattern of Like, the right side of a comparison).
  if (const size_t n = PlainOperandTokens(); n > 0) {
    const Token& after = Peek(n);
    if (InfixOpOf(after).level == 0 && !after.IsSymbol("^")) return ParsePrimary();
  }
  ExprPtr left = ParseUnary();
  for (;;) {
    const InfixOp infix = InfixOpOf(Peek());
    if (infix.level < minLevel) return left;
    Take();
    left = MakeBinary(infix.op, std::move(left), ParseInfix(infix.level + 1));
  }
}

// Unary minus binds looser than ^: -2^2 is -4.
ExprPtr JetParser::ParseUnary() {
  const Token& t = Peek();
  if (!t.IsSymbol("-") && !t.IsSymbol("+")) return ParsePower();
  ExprNesting guard(nesting_);
  const size_t pos = Take().pos;
  ExprPtr operand = ParseUnary();
  if (t.text == "+") return operand;
  ExprList args;
  args.push_back(std::move(operand));
  auto e = MakeNode(ExprKind::kUnary, pos, std::move(args));
  e->op = Op::kNeg;
  return e;
}

ExprPtr JetParser::ParsePower() {
  ExprPtr left = ParsePrimary();
  while (AcceptSymbol("^")) {
    // The exponent may carry its own sign: 2^-1.
    ExprPtr right;
    if (Peek().IsSymbol("-") || Peek().IsSymbol("+")) {
      ExprNesting guard(nesting_);
      const Token& sign = Take();
      ExprPtr operand = ParsePrimary();
      if (sign.text == "-") {
        ExprList args;
        args.push_back(std::move(operand));
        right = MakeNode(ExprKind::kUnary, sign.pos, std::move(args));
        right->op = Op::kNeg;
      } else {
        right = std::move(operand);
      }
    } else {
      right = ParsePrimary();
    }
    left = MakeBinary(Op::kPow, std::move(left), std::move(right));
  }
  return left;
}

TreePtr<Query> JetParser::ParseNestedQuery() {
  ExprNesting guard(nesting_);
  const int savedDepth = exprDepth_;
  const size_t savedStart = exprStart_;
  const int32_t savedClause = clauseError_;
  exprDepth_ = 0;
  auto q = ParseQuery();
  exprDepth_ = savedDepth;
  exprStart_ = savedStart;
  clauseError_ = savedClause;
  return q;
}

ExprPtr JetParser::ParsePrimary() {
  const Token& t = Peek();
  auto leaf = [&](ExprKind kind) {
    auto e = MakeTree<Expr>(kind, t.pos);
    e->end = t.end();
    Take();
    return e;
  };
  switch (t.kind) {
    case TokenKind::kNumber: {
      auto e = leaf(ExprKind::kNumber);
      e->text = t.text;
      return e;
    }
    case TokenKind::kString:
    case TokenKind::kGuid: {
      auto e = leaf(t.kind == TokenKind::kString ? ExprKind::kString : ExprKind::kGuid);
      e->text = LiteralText(t);
      return e;
    }
    case TokenKind::kDate: {
      const auto serial = ParseJetDateLiteral(t.value());
      if (!serial) FailExpression(t, "Syntax error in date in query expression '|'.");
      auto e = leaf(ExprKind::kDate);
      e->number = *serial;
      return e;
    }
    case TokenKind::kSymbol:
      if (t.text == "(") {
        ExprNesting guard(nesting_);
        const size_t pos = Take().pos;
        if (Peek().Is(Keyword::kSelect)) {
          auto e = MakeTree<Expr>(ExprKind::kSubquery, pos);
          e->sub = ParseNestedQuery();
          e->end = Peek().end();
          if (!AcceptSymbol(")")) FailExpression(Peek());
          return e;
        }
        ExprPtr inner = ParseOr();
        if (!Peek().IsSymbol(")")) FailExpression(Peek());
        inner->end = Take().end();
        return inner;
      }
      FailExpression(t);
    case TokenKind::kWord:
      if (t.Is(Keyword::kNull)) return leaf(ExprKind::kNull);
      if (const int truth = BooleanWord(t);
          truth != 0 && !Peek(1).IsSymbol("(") && !Peek(1).IsSymbol(".")) {
        auto e = leaf(ExprKind::kBool);
        e->number = truth > 0 ? -1 : 0;
        return e;
      }
      if (t.Is(Keyword::kExists)) {
        ExprNesting guard(nesting_);
        auto e = leaf(ExprKind::kExists);
        if (!AcceptSymbol("(")) FailExpression(Peek());
        if (!Peek().Is(Keyword::kSelect) && !Peek().IsSymbol("(")) FailExpression(Peek());
        e->sub = ParseNestedQuery();
        e->end = Peek().end();
        if (!AcceptSymbol(")")) FailExpression(Peek());
        return e;
      }
      // Left(, Right( and Asc( are the functions, not the keywords.
      if ((t.Is(Keyword::kLeft) || t.Is(Keyword::kRight) || t.Is(Keyword::kAsc)) &&
          Peek(1).IsSymbol("(")) {
        Take();
        return ParseCall(t);
      }
      if (t.keyword != Keyword::kNone) FailExpression(t);
      return ParseNamePrimary();
    case TokenKind::kBracket:
      return ParseNamePrimary();
    default:
      FailExpression(t);
  }
}

ExprPtr JetParser::ParseNamePrimary() {
  const Token& name = Take();
  if (Peek().IsSymbol("(")) {
    if (name.kind != TokenKind::kWord) FailExpression(Peek());
    return ParseCall(name);
  }
  auto e = MakeTree<Expr>(ExprKind::kColumn, name.pos);
  e->end = name.end();
  // Each name written once into its place (no temporary, no move).
  if (AcceptSymbol(".")) {
    // After the dot any word names a column, keywords included (t.Value, t.Order).
    const Token& col = Peek();
    if (col.kind != TokenKind::kWord && col.kind != TokenKind::kBracket) FailExpression(col);
    Take();
    e->qualifier = name.Name();
    e->text = col.Name();
    e->end = col.end();
  } else {
    e->text = name.Name();
  }
  return e;
}

ExprPtr JetParser::ParseCall(const Token& name) {
  ExprNesting guard(nesting_);
  Take();  // (
  ExprList args;
  bool star = false;
  if (Peek().IsSymbol("*") && Peek(1).IsSymbol(")")) {
    Take();
    star = true;
  } else if (!Peek().IsSymbol(")")) {
    // Room for most calls' arguments at once: grown from none, the list
    // took a block per argument.
    args.reserve(4);
    do {
      args.push_back(ParseOr());
    } while (AcceptSymbol(","));
  }
  const Token& close = Peek();
  if (!close.IsSymbol(")")) FailExpression(close);
  Take();
  auto e = MakeNode(ExprKind::kCall, name.pos, std::move(args));
  e->text = name.text;
  e->star = star;
  e->end = close.end();
  return e;
}

}  // namespace qv::jet::sql
