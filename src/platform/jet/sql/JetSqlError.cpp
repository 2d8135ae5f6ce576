#include "platform/jet/sql/JetSqlError.h"

#include <array>
#include <utility>

#include "platform/automation/Error.h"

namespace qv::jet::sql {

namespace {

constexpr std::array<std::pair<int32_t, std::string_view>, 43> kTexts{{
    {sqlerr::kTooFewParameters, "Too few parameters. Expected |."},
    {sqlerr::kDuplicateOutput, "Duplicate output destination '|'."},
    {sqlerr::kNoInput, "Query input must contain at least one table or query."},
    {sqlerr::kNotAFieldName,
     "The Microsoft Jet database engine does not recognize '|' as a valid field name or "
     "expression."},
    {sqlerr::kExpression, "Syntax error (missing operator) in query expression '|'."},
    {sqlerr::kRepeatedTable, "Can't repeat table name '|' in FROM clause."},
    {sqlerr::kNoSuchTable,
     "The Microsoft Jet database engine cannot find the input table or query '|'.  Make sure it "
     "exists and that its name is spelled correctly."},
    {sqlerr::kAmbiguousField,
     "The specified field '|' could refer to more than one table listed in the FROM clause of "
     "your SQL statement."},
    {sqlerr::kUndefinedFunction, "Undefined function '|' in expression."},
    {sqlerr::kCannotDelete, "Could not delete from specified tables."},
    {sqlerr::kHavingWithoutGrouping, "HAVING clause (|) without grouping or aggregation."},
    {sqlerr::kOrderByDistinct, "ORDER BY clause (|) conflicts with DISTINCT."},
    {sqlerr::kOrderByGroupBy, "ORDER BY clause (|) conflicts with GROUP BY clause."},
    {sqlerr::kAggregateInExpression, "Cannot have aggregate function in expression (|)."},
    {sqlerr::kAggregateInWhere, "Cannot have aggregate function in WHERE clause (|)."},
    {sqlerr::kAggregateInOrderBy, "Cannot have aggregate function in ORDER BY clause (|)."},
    {sqlerr::kAggregateInGroupBy, "Cannot have aggregate function in GROUP BY clause (|)."},
    {sqlerr::kAggregateInJoin, "Cannot have aggregate function in JOIN operation (|)."},
    {sqlerr::kCircularAlias,
     "Circular reference caused by alias '|' in query definition's SELECT list."},
    {sqlerr::kGroupOnQualifiedStar, "Cannot group on fields selected with '*' (|)."},
    {sqlerr::kGroupOnStar, "Cannot group on fields selected with '*'."},
    {sqlerr::kNotGrouped,
     "You tried to execute a query that does not include the specified expression '|' as part "
     "of an aggregate function."},
    {sqlerr::kBadBracketing, "Invalid bracketing of name '|'."},
    {sqlerr::kInsertUnknownField,
     "The INSERT INTO statement contains the following unknown field name: '|'.  Make sure you "
     "have typed the name correctly, and try the operation again."},
    {sqlerr::kDeleteWhichTable, "Specify the table containing the records you want to delete."},
    {sqlerr::kInvalidStatement,
     "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'."},
    {sqlerr::kFromClause, "Syntax error in FROM clause."},
    {sqlerr::kInsertSyntax, "Syntax error in INSERT INTO statement."},
    {sqlerr::kJoinSyntax, "Syntax error in JOIN operation."},
    {sqlerr::kOrderByClause, "Syntax error in ORDER BY clause."},
    {sqlerr::kSelectSyntax,
     "The SELECT statement includes a reserved word or an argument name that is misspelled or "
     "missing, or the punctuation is incorrect."},
    {sqlerr::kAfterEnd, "Characters found after end of SQL statement."},
    {sqlerr::kUpdateSyntax, "Syntax error in UPDATE statement."},
    {sqlerr::kConstraintSyntax, "Syntax error in CONSTRAINT clause."},
    {sqlerr::kCreateTableSyntax, "Syntax error in CREATE TABLE statement."},
    {sqlerr::kCreateIndexSyntax, "Syntax error in CREATE INDEX statement."},
    {sqlerr::kFieldSyntax, "Syntax error in field definition."},
    {sqlerr::kAlterTableSyntax, "Syntax error in ALTER TABLE statement."},
    {sqlerr::kDropSyntax, "Syntax error in DROP TABLE or DROP INDEX."},
    {sqlerr::kSubqueryFields,
     "You have written a subquery that can return more than one field without using the EXISTS "
     "reserved word in the main query's FROM clause.  Revise the SELECT statement of the "
     "subquery to request only one field."},
    {sqlerr::kUnionColumns,
     "The number of columns in the two selected tables or queries of a union query do not "
     "match."},
    {sqlerr::kValueCount, "Number of query values and destination fields are not the same."},
    {sqlerr::kTooComplex, "Query is too complex."},
}};

// Statements quoted in a message are cut to this many bytes (at a character
// boundary) so that a huge statement does not make a huge message.
constexpr size_t kMaxQuoted = 1000;

std::string_view CutUtf8(std::string_view s, size_t max) {
  if (s.size() <= max) return s;
  size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

}  // namespace

std::string JetMessage(int32_t number, std::string_view arg) {
  for (const auto& [n, pattern] : kTexts) {
    if (n != number) continue;
    const size_t bar = pattern.find('|');
    if (bar == std::string_view::npos) return std::string(pattern);
    std::string out(pattern.substr(0, bar));
    out.append(CutUtf8(arg, kMaxQuoted));
    out.append(pattern.substr(bar + 1));
    return out;
  }
  return "Reserved error (" + std::to_string(number) + "); there is no message for this error.";
}

int32_t CharPosition(std::string_view sql, size_t pos) {
  int32_t chars = 0;
  for (size_t i = 0; i < pos && i < sql.size(); ++i)
    if ((static_cast<unsigned char>(sql[i]) & 0xC0) != 0x80) ++chars;
  return chars + 1;
}

void ThrowSyntax(int32_t number, std::string text, std::string_view sql, size_t pos,
                 std::string_view near) {
  text += " Position ";
  text += std::to_string(CharPosition(sql, pos));
  if (near.empty()) {
    text += ", at the end";
  } else {
    text += ", near '";
    text.append(CutUtf8(near, 100));
    text += "'";
  }
  text += ", in: ";
  const std::string_view quoted = CutUtf8(sql, kMaxQuoted);
  text.append(quoted);
  if (quoted.size() < sql.size()) text += "...";
  throw Error(number, std::move(text), std::string(kErrorSource));
}

void ThrowJet(int32_t number, std::string_view arg) {
  throw Error(number, JetMessage(number, arg), std::string(kErrorSource));
}

}  // namespace qv::jet::sql
