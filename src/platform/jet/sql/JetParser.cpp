#include "platform/jet/sql/JetParser.h"

#include <cmath>
#include <utility>

#include "platform/jet/JetSchemaChange.h"
#include "platform/jet/sql/JetLexer.h"
#include "platform/jet/sql/JetLiterals.h"
#include "platform/jet/sql/JetSqlError.h"

namespace qv::jet::sql {

class JetParser::NestingGuard {
 public:
  explicit NestingGuard(JetParser& p) : p_(p) {
    if (++p_.nesting_ > kMaxNesting) ThrowJet(sqlerr::kTooComplex);
  }
  ~NestingGuard() { --p_.nesting_; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;

 private:
  JetParser& p_;
};

struct JetParser::ParenContent {
  TreePtr<Query> query;
  TreePtr<TableRef> table;
};

namespace {
// The token buffer of the thread's last parse: a few kilobytes.
thread_local std::vector<Token> tSpareTokens;
}  // namespace

JetParser::JetParser(std::string_view sql)
    : sql_(sql), tokens_(tSpareTokens), clauseError_(sqlerr::kInvalidStatement) {
  Tokenize(sql, *tokens_);
  const Token end = tokens_->back();
  for (size_t k = 0; k < kLookahead; ++k) tokens_->push_back(end);
  next_ = tokens_->data();
  last_ = &tokens_->back() - kLookahead;
}

JetParser::~JetParser() = default;

// ---- cursor and errors

void JetParser::Expect(Keyword k) {
  if (!Accept(k)) Fail(Peek());
}

void JetParser::ExpectSymbol(std::string_view s) {
  if (!AcceptSymbol(s)) Fail(Peek());
}

std::string JetParser::ExpectName() {
  if (!Peek().IsName()) Fail(Peek());
  return std::string(Take().Name());
}

void JetParser::Fail(const Token& at) const {
  if (exprDepth_ > 0) FailExpression(at);
  Fail(clauseError_, at);
}

void JetParser::Fail(int32_t number, const Token& at) const {
  ThrowSyntax(number, JetMessage(number), sql_, at.pos, at.text);
}

void JetParser::FailExpression(const Token& at) const {
  FailExpression(at, "Syntax error (missing operator) in query expression '|'.");
}

void JetParser::FailExpression(const Token& at, std::string_view jetText) const {
  const size_t start = exprDepth_ > 0 || exprStart_ <= at.pos ? exprStart_ : at.pos;
  std::string_view quoted = sql_.substr(start, at.end() - start);
  while (!quoted.empty() && quoted.back() == ' ') quoted.remove_suffix(1);
  std::string text(jetText);
  const size_t bar = text.find('|');
  text.replace(bar, 1, quoted.substr(0, 500));
  ThrowSyntax(sqlerr::kExpression, std::move(text), sql_, at.pos, at.text);
}

// ---- statements

Statement JetParser::Parse() {
  Statement st = ParseStatement();
  st.texts = std::move(texts_);
  return st;
}

std::string_view JetParser::LiteralText(const Token& t) {
  if (t.kind == TokenKind::kString && t.value().find(t.text.front()) == std::string_view::npos)
    return t.value();
  return texts_.emplace_front(LiteralTokenValue(t));
}

Statement JetParser::ParseStatement() {
  const Token& first = Peek();
  if (first.Is(Keyword::kSelect) || first.IsSymbol("(")) return ParseSelectStatement();
  if (first.Is(Keyword::kInsert)) return ParseInsert();
  if (first.Is(Keyword::kUpdate)) return ParseUpdate();
  if (first.Is(Keyword::kDelete)) return ParseDelete();
  if (IsWord(first, "CREATE")) return ParseCreate();
  if (IsWord(first, "DROP")) return ParseDrop();
  if (IsWord(first, "ALTER")) return ParseAlter();
  Fail(sqlerr::kInvalidStatement, first);
}

void JetParser::ExpectStatementEnd() {
  if (AcceptSymbol(";")) {
    if (Peek().kind != TokenKind::kEnd) Fail(sqlerr::kAfterEnd, Peek());
    return;
  }
  if (Peek().kind != TokenKind::kEnd) Fail(Peek());
}

Statement JetParser::ParseSelectStatement() {
  Statement st;
  st.kind = StatementKind::kSelect;
  st.pos = Peek().pos;
  intoAllowed_ = true;
  st.query = ParseQuery();
  ExpectStatementEnd();
  if (!into_.empty()) {
    st.kind = StatementKind::kSchema;
    st.change = std::make_shared<SchemaChange>();
    st.change->op = SchemaChange::Op::kMakeTable;
    st.change->table.name = into_;
  }
  return st;
}

Statement JetParser::ParseInsert() {
  Statement st;
  st.kind = StatementKind::kInsert;
  st.pos = Take().pos;
  clauseError_ = sqlerr::kInsertSyntax;
  Expect(Keyword::kInto);
  st.table = ExpectName();
  if (Peek().IsSymbol("(") && !Peek(1).Is(Keyword::kSelect) && !Peek(1).IsSymbol("(")) {
    Take();
    do {
      std::string name = ExpectName();
      if (AcceptSymbol(".")) name = ExpectName();  // a qualified target column
      st.columns.push_back(std::move(name));
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
  }
  if (Accept(Keyword::kValues)) {
    ExpectSymbol("(");
    st.values = ParseExpressionList();
    ExpectSymbol(")");
  } else if (Peek().Is(Keyword::kSelect) || Peek().IsSymbol("(")) {
    st.query = ParseQuery();
    clauseError_ = sqlerr::kInsertSyntax;
  } else {
    Fail(Peek());
  }
  ExpectStatementEnd();
  return st;
}

Statement JetParser::ParseUpdate() {
  Statement st;
  st.kind = StatementKind::kUpdate;
  st.pos = Take().pos;
  clauseError_ = sqlerr::kUpdateSyntax;
  st.table = ExpectName();
  st.alias = OptionalAlias();
  const Token& t = Peek();
  if (t.Is(Keyword::kInner) || t.Is(Keyword::kLeft) || t.Is(Keyword::kRight) ||
      t.Is(Keyword::kJoin) || t.IsSymbol(",")) {
    ThrowSyntax(sqlerr::kUpdateSyntax,
                JetMessage(sqlerr::kUpdateSyntax) + " Updating through a join is not supported.",
                sql_, t.pos, t.text);
  }
  Expect(Keyword::kSet);
  do {
    Assignment a;
    a.pos = Peek().pos;
    a.column = ExpectName();
    if (AcceptSymbol(".")) {
      a.qualifier = std::move(a.column);
      a.column = ExpectName();
    }
    ExpectSymbol("=");
    a.value = ParseExpression();
    st.assignments.push_back(std::move(a));
  } while (AcceptSymbol(","));
  if (Accept(Keyword::kWhere)) st.where = ParseExpression();
  ExpectStatementEnd();
  return st;
}

// DELETE [* | q.* | q] FROM source [WHERE ...], or DELETE table [WHERE ...].
Statement JetParser::ParseDelete() {
  Statement st;
  st.kind = StatementKind::kDelete;
  st.pos = Take().pos;
  clauseError_ = sqlerr::kSelectSyntax;
  if (AcceptSymbol("*")) {
    Expect(Keyword::kFrom);
  } else if (Peek().IsName()) {
    const Token& name = Take();
    if (AcceptSymbol(".")) {
      ExpectSymbol("*");
      st.deleteQualifier = std::string(name.Name());
      Expect(Keyword::kFrom);
    } else if (Accept(Keyword::kFrom)) {
      st.deleteQualifier = std::string(name.Name());
    } else {
      // No FROM: the name is the table itself.
      st.from = MakeTree<TableRef>(TableRef::Kind::kTable, name.pos);
      st.from->table = name.Name();
      clauseError_ = sqlerr::kFromClause;
      st.from->alias = OptionalAlias();
    }
  } else {
    Expect(Keyword::kFrom);
  }
  if (!st.from) st.from = ParseFromList();
  if (Accept(Keyword::kWhere)) st.where = ParseExpression();
  ExpectStatementEnd();
  return st;
}

// ---- queries

TreePtr<Query> JetParser::ParseQuery() {
  bool parenthesised = false;
  auto first = ParseQueryTerm(&parenthesised);
  return ContinueUnion(std::move(first), parenthesised);
}

TreePtr<Query> JetParser::ParseQueryTerm(bool* parenthesised) {
  if (Peek().IsSymbol("(")) {
    NestingGuard guard(*this);
    Take();
    auto q = ParseQuery();
    ExpectSymbol(")");
    *parenthesised = true;
    return q;
  }
  *parenthesised = false;
  auto q = MakeTree<Query>();
  q->pos = Peek().pos;
  q->select = ParseSelect();
  return q;
}

TreePtr<Query> JetParser::ContinueUnion(TreePtr<Query> first, bool firstParenthesised) {
  const bool isUnion = Peek().Is(Keyword::kUnion);
  const bool ordersParenthesised = !isUnion && firstParenthesised && Peek().Is(Keyword::kOrder);
  if (!isUnion && !ordersParenthesised) return first;
  auto u = MakeTree<Query>();
  u->pos = first->pos;
  u->parts.push_back(std::move(first));
  bool lastParenthesised = firstParenthesised;
  while (Accept(Keyword::kUnion)) {
    u->unionAll.push_back(Accept(Keyword::kAll));
    if (!Peek().Is(Keyword::kSelect) && !Peek().IsSymbol("(")) Fail(sqlerr::kSelectSyntax, Peek());
    u->parts.push_back(ParseQueryTerm(&lastParenthesised));
  }
  // The ORDER BY after the last plain select of a union orders the union.
  Query& last = *u->parts.back();
  if (!lastParenthesised && !last.IsCompound() && u->parts.size() > 1)
    u->orderBy = std::move(last.select->orderBy);
  if (lastParenthesised && Peek().Is(Keyword::kOrder)) u->orderBy = ParseOrderBy();
  return u;
}

TreePtr<Select> JetParser::ParseSelect() {
  auto s = MakeTree<Select>();
  s->pos = Peek().pos;
  clauseError_ = sqlerr::kSelectSyntax;
  const bool intoAllowed = std::exchange(intoAllowed_, false);
  Expect(Keyword::kSelect);
  for (bool more = true; more;) {
    if (Accept(Keyword::kDistinct) || Accept(Keyword::kDistinctRow)) {
      s->distinct = true;
    } else if (Peek().Is(Keyword::kTop) && !s->hasTop) {
      ParseTop(*s);
    } else {
      more = false;
    }
  }
  ParseSelectList(*s);
  if (intoAllowed && Accept(Keyword::kInto)) into_ = ExpectName();
  if (Accept(Keyword::kFrom)) {
    clauseError_ = sqlerr::kFromClause;
    s->from = ParseFromList();
    clauseError_ = sqlerr::kFromClause;
  }
  if (Accept(Keyword::kWhere)) {
    clauseError_ = sqlerr::kSelectSyntax;
    s->where = ParseExpression();
  }
  if (Accept(Keyword::kGroup)) {
    clauseError_ = sqlerr::kSelectSyntax;
    Expect(Keyword::kBy);
    s->groupBy = ParseExpressionList();
  }
  if (Accept(Keyword::kHaving)) {
    clauseError_ = sqlerr::kSelectSyntax;
    s->having = ParseExpression();
  }
  if (Peek().Is(Keyword::kOrder)) s->orderBy = ParseOrderBy();
  return s;
}

void JetParser::ParseTop(Select& s) {
  Take();
  const Token& n = Peek();
  if (n.kind != TokenKind::kNumber) Fail(sqlerr::kSelectSyntax, n);
  Take();
  s.hasTop = true;
  s.top = NumberLiteralValue(n.text);
  s.topPercent = Accept(Keyword::kPercent);
  const bool whole = std::floor(s.top) == s.top;
  if (!std::isfinite(s.top) || (!s.topPercent && !whole) || (s.topPercent && s.top > 100))
    Fail(sqlerr::kSelectSyntax, n);
}

void JetParser::ParseSelectList(Select& s) {
  if (Peek().Is(Keyword::kFrom) || Peek().kind == TokenKind::kEnd)
    Fail(sqlerr::kSelectSyntax, Peek());
  // Most selects list a few items: room for three in one block of the
  // tree's pool, not a block per growth (1, 2, 4).
  s.items.reserve(3);
  do {
    SelectItem item;
    item.pos = Peek().pos;
    if (AcceptSymbol("*")) {
      s.items.push_back(std::move(item));
      continue;
    }
    if (Peek().IsName() && Peek(1).IsSymbol(".") && Peek(2).IsSymbol("*")) {
      item.starQualifier = Take().Name();
      Take();
      Take();
      s.items.push_back(std::move(item));
      continue;
    }
    if (Peek().Is(Keyword::kFrom)) Fail(sqlerr::kSelectSyntax, Peek());
    item.expr = ParseExpression();
    if (Accept(Keyword::kAs)) {
      if (!Peek().IsName()) Fail(sqlerr::kSelectSyntax, Peek());
      item.alias = Take().Name();
    }
    s.items.push_back(std::move(item));
  } while (AcceptSymbol(","));
}

TreeList<OrderKey> JetParser::ParseOrderBy() {
  const int32_t saved = clauseError_;
  clauseError_ = sqlerr::kOrderByClause;
  Take();  // ORDER
  Expect(Keyword::kBy);
  TreeList<OrderKey> keys;
  keys.reserve(2);  // most orderings: grown from none, a block per key
  do {
    const Token& t = Peek();
    if (t.kind == TokenKind::kEnd || t.IsSymbol(";") || t.IsSymbol(")") || t.IsSymbol(",") ||
        (t.kind == TokenKind::kWord && t.keyword != Keyword::kNone && !t.Is(Keyword::kNot) &&
         !t.Is(Keyword::kNull) && !t.Is(Keyword::kTrue) && !t.Is(Keyword::kFalse) &&
         !t.Is(Keyword::kExists)))
      Fail(t);
    OrderKey k;
    k.expr = ParseExpression();
    if (Accept(Keyword::kDesc))
      k.desc = true;
    else
      Accept(Keyword::kAsc);
    keys.push_back(std::move(k));
  } while (AcceptSymbol(","));
  clauseError_ = saved;
  return keys;
}

TreeList<ExprPtr> JetParser::ParseExpressionList() {
  TreeList<ExprPtr> out;
  do {
    out.push_back(ParseExpression());
  } while (AcceptSymbol(","));
  return out;
}

// ---- FROM

TreePtr<TableRef> JetParser::MakeJoin(JoinKind kind, TreePtr<TableRef> left,
                                      TreePtr<TableRef> right, ExprPtr on, size_t pos) {
  if (++tableRefs_ > kMaxHeight) ThrowJet(sqlerr::kTooComplex);
  auto j = MakeTree<TableRef>(TableRef::Kind::kJoin, pos);
  j->join = kind;
  j->left = std::move(left);
  j->right = std::move(right);
  j->on = std::move(on);
  return j;
}

TreePtr<TableRef> JetParser::ParseFromList() {
  return ContinueFromList(ContinueJoinChain(ParseFromItem()));
}

TreePtr<TableRef> JetParser::ContinueFromList(TreePtr<TableRef> left) {
  int count = 0;
  while (Peek().IsSymbol(",")) {
    const size_t pos = Take().pos;
    if (++count > kMaxNesting) ThrowJet(sqlerr::kTooComplex);
    auto right = ContinueJoinChain(ParseFromItem());
    left = MakeJoin(JoinKind::kCross, std::move(left), std::move(right), nullptr, pos);
  }
  return left;
}

TreePtr<TableRef> JetParser::ContinueJoinChain(TreePtr<TableRef> left) {
  for (int count = 0;; ++count) {
    const Token& t = Peek();
    JoinKind kind;
    if (t.Is(Keyword::kInner) || t.Is(Keyword::kJoin)) {
      kind = JoinKind::kInner;
    } else if (t.Is(Keyword::kLeft)) {
      kind = JoinKind::kLeft;
    } else if (t.Is(Keyword::kRight)) {
      kind = JoinKind::kRight;
    } else {
      return left;
    }
    if (count > kMaxNesting) ThrowJet(sqlerr::kTooComplex);
    const size_t pos = Take().pos;
    if (kind != JoinKind::kInner || t.Is(Keyword::kInner)) Accept(Keyword::kOuter);
    if (!t.Is(Keyword::kJoin)) Expect(Keyword::kJoin);
    auto right = ParseFromItem();
    if (!Peek().Is(Keyword::kOn)) Fail(sqlerr::kJoinSyntax, Peek());
    Take();
    ExprPtr on = ParseExpression();
    clauseError_ = sqlerr::kFromClause;
    left = MakeJoin(kind, std::move(left), std::move(right), std::move(on), pos);
  }
}

std::string_view JetParser::OptionalAlias() {
  if (Accept(Keyword::kAs)) {
    if (!Peek().IsName()) Fail(Peek());
    return Take().Name();
  }
  return Peek().IsName() ? Take().Name() : std::string_view();
}

TreePtr<TableRef> JetParser::SubqueryRef(TreePtr<Query> q, size_t pos) {
  auto ref = MakeTree<TableRef>(TableRef::Kind::kSubquery, pos);
  ref->sub = std::move(q);
  ref->alias = OptionalAlias();
  return ref;
}

TreePtr<TableRef> JetParser::ParseFromItem() {
  const Token& t = Peek();
  if (t.IsSymbol("(")) {
    NestingGuard guard(*this);
    Take();
    ParenContent c = ParseParenContent();
    if (c.query) return SubqueryRef(std::move(c.query), t.pos);
    // A parenthesised derived table may take its alias outside the parentheses.
    if (c.table->kind == TableRef::Kind::kSubquery && c.table->alias.empty())
      c.table->alias = OptionalAlias();
    return std::move(c.table);
  }
  if (!t.IsName()) Fail(sqlerr::kFromClause, t);
  auto ref = MakeTree<TableRef>(TableRef::Kind::kTable, t.pos);
  ref->table = Take().Name();
  ref->alias = OptionalAlias();
  return ref;
}

// After "(" in FROM: a query (a derived table, or the first part of a union)
// or a join; nested parentheses decide only once their content is known.
JetParser::ParenContent JetParser::ParseParenContent() {
  ParenContent out;
  const size_t pos = Peek().pos;
  if (Peek().Is(Keyword::kSelect)) {
    out.query = ParseQuery();
    clauseError_ = sqlerr::kFromClause;
    ExpectSymbol(")");
    return out;
  }
  TreePtr<TableRef> left;
  if (Peek().IsSymbol("(")) {
    NestingGuard guard(*this);
    Take();
    ParenContent inner = ParseParenContent();
    if (inner.query && Peek().Is(Keyword::kUnion)) {
      out.query = ContinueUnion(std::move(inner.query), true);
      clauseError_ = sqlerr::kFromClause;
      ExpectSymbol(")");
      return out;
    }
    if (inner.query && Peek().IsSymbol(")")) {
      Take();
      out.query = std::move(inner.query);
      return out;
    }
    left = inner.query ? SubqueryRef(std::move(inner.query), pos) : std::move(inner.table);
  } else {
    left = ParseFromItem();
  }
  out.table = ContinueFromList(ContinueJoinChain(std::move(left)));
  ExpectSymbol(")");
  return out;
}

}  // namespace qv::jet::sql
