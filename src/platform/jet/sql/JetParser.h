#pragma once
// The recursive-descent parser of Jet SQL: statement text in, syntax tree out.
// Syntax errors raise qv::Error with Jet's number and text, followed by the
// position, the token and the statement.

#include <cassert>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/jet/JetCatalog.h"
#include "platform/jet/sql/JetAst.h"
#include "platform/jet/sql/JetToken.h"

namespace qv::jet::sql {

// Nesting of parentheses, sub-selects and function calls, and the height of
// an expression or join tree, are limited so that no input can exhaust the
// stack of the parser, of the emitter, or of SQLite (whose own expression
// depth limit is 1000); beyond them the statement raises 3360.
inline constexpr int kMaxNesting = 64;
inline constexpr int kMaxHeight = 256;

class JetParser {
 public:
  explicit JetParser(std::string_view sql);
  ~JetParser();
  JetParser(const JetParser&) = delete;
  JetParser& operator=(const JetParser&) = delete;

  // REQUIRES: a TreeScope (JetAst.h) around the parse and every use of the
  // tree it returns.
  Statement Parse();

 private:
  Statement ParseStatement();
  // The value of a string or GUID token: a view of its token when that is
  // its value, else of a text kept in `texts_`.
  std::string_view LiteralText(const Token& t);
  class NestingGuard;
  struct ParenContent;  // what a parenthesis in FROM holds: a query or a join

  // Cursor: inline, every level of the expression grammar asks it. Kept as
  // pointers: an index was divided by a token's size at every look. The
  // tokens end with kLookahead more kEnd tokens after the one `last_`
  // points to, so that a look ahead needs no bounds check.
  static constexpr size_t kLookahead = 3;
  const Token& Peek(size_t ahead = 0) const {
    assert(ahead <= kLookahead);
    return next_[ahead];
  }
  const Token& Take() {
    const Token& t = *next_;
    if (next_ != last_) ++next_;
    return t;
  }
  bool Accept(Keyword k) {
    if (!Peek().Is(k)) return false;
    Take();
    return true;
  }
  bool AcceptSymbol(std::string_view s) {
    if (!Peek().IsSymbol(s)) return false;
    Take();
    return true;
  }
  void Expect(Keyword k);
  void ExpectSymbol(std::string_view s);
  std::string ExpectName();

  // Errors: the current clause's number, or 3075 quoting the expression.
  [[noreturn]] void Fail(const Token& at) const;
  [[noreturn]] void Fail(int32_t number, const Token& at) const;
  [[noreturn]] void FailExpression(const Token& at) const;
  [[noreturn]] void FailExpression(const Token& at, std::string_view jetText) const;

  // Statements.
  Statement ParseSelectStatement();
  Statement ParseInsert();
  Statement ParseUpdate();
  Statement ParseDelete();
  void ExpectStatementEnd();

  // Schema statements (JetParseDdl.cpp).
  bool IsWord(const Token& t, std::string_view word) const;
  bool AcceptWord(std::string_view word);
  void ExpectWord(std::string_view word);
  [[noreturn]] void FailUnsupported(const Token& at, std::string_view what) const;
  Statement SchemaStatement(std::shared_ptr<SchemaChange> change, size_t pos);
  Statement ParseCreate();
  Statement ParseCreateTable(size_t pos);
  Statement ParseCreateIndex(size_t pos, bool unique);
  Statement ParseDrop();
  Statement ParseAlter();
  // A field definition with its constraints; a constraint's index goes to `table`.
  FieldSpec ParseFieldDefinition(TableSpec& table);
  // CONSTRAINT name PRIMARY KEY (...) | UNIQUE (...) after a field or in a table.
  IndexSpec ParseConstraint(const std::string& column);
  std::vector<IndexField> ParseIndexColumns();

  // Queries.
  TreePtr<Query> ParseQuery();
  TreePtr<Query> ParseQueryTerm(bool* parenthesised);
  TreePtr<Query> ContinueUnion(TreePtr<Query> first, bool firstParenthesised);
  TreePtr<Select> ParseSelect();
  void ParseTop(Select& s);
  void ParseSelectList(Select& s);
  TreeList<OrderKey> ParseOrderBy();
  TreeList<ExprPtr> ParseExpressionList();

  // FROM.
  TreePtr<TableRef> ParseFromList();
  TreePtr<TableRef> ContinueFromList(TreePtr<TableRef> left);
  TreePtr<TableRef> ContinueJoinChain(TreePtr<TableRef> left);
  TreePtr<TableRef> ParseFromItem();
  ParenContent ParseParenContent();
  TreePtr<TableRef> SubqueryRef(TreePtr<Query> q, size_t pos);
  std::string_view OptionalAlias();  // the alias after a table, empty for none
  TreePtr<TableRef> MakeJoin(JoinKind kind, TreePtr<TableRef> left, TreePtr<TableRef> right,
                             ExprPtr on, size_t pos);

  // Expressions, loosest binding first.
  ExprPtr ParseExpression();
  ExprPtr ParseOr();
  ExprPtr ParseAnd();
  ExprPtr ParseNot();
  ExprPtr ParseComparison();
  // & + - Mod \ * /, binding at least as tightly as `minLevel` (JetParserExpr.cpp).
  ExprPtr ParseInfix(int minLevel);
  ExprPtr ParseUnary();
  ExprPtr ParsePower();
  ExprPtr ParsePrimary();
  // The tokens of the operand at the cursor when it is a number, a string, a
  // name or q.name (a leaf of ParsePrimary); 0 for any other.
  size_t PlainOperandTokens() const;
  ExprPtr ParseNamePrimary();
  ExprPtr ParseCall(const Token& name);
  TreePtr<Query> ParseNestedQuery();
  ExprPtr MakeBinary(Op op, ExprPtr left, ExprPtr right);
  ExprPtr MakeNode(ExprKind kind, size_t pos, ExprList args);
  // After a whole expression: a token that cannot follow one is a missing operator.
  void CheckExpressionEnd() const;

  std::string_view sql_;
  ThreadBuffer<std::vector<Token>, 4096> tokens_;
  const Token* next_ = nullptr;  // the next token of tokens_
  const Token* last_ = nullptr;  // the kEnd token that ends tokens_
  int nesting_ = 0;
  int tableRefs_ = 0;         // joins made so far, limited like an expression's height
  int32_t clauseError_;       // number for a syntax error outside an expression
  int exprDepth_ = 0;         // > 0 while inside an expression
  size_t exprStart_ = 0;      // where the outermost current expression began
  bool intoAllowed_ = false;  // the statement's first select may name a new table (INTO)
  std::string into_;          // the table a SELECT ... INTO makes
  std::forward_list<std::string> texts_;  // Statement::texts, moved into the statement parsed
};

}  // namespace qv::jet::sql
