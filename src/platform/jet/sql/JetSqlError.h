#pragma once
// The engine errors the translator raises: Jet's numbers and texts, with the
// position, the token and the statement appended for syntax errors.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv::jet::sql {

namespace sqlerr {
inline constexpr int32_t kTooFewParameters = 3061;
inline constexpr int32_t kDuplicateOutput = 3063;
inline constexpr int32_t kNoInput = 3067;
inline constexpr int32_t kRepeatedTable = 3074;
inline constexpr int32_t kNotAFieldName = 3070;
inline constexpr int32_t kExpression = 3075;  // every "... in query expression '|'." text
inline constexpr int32_t kNoSuchTable = 3078;
inline constexpr int32_t kAmbiguousField = 3079;
inline constexpr int32_t kUndefinedFunction = 3085;
inline constexpr int32_t kCannotDelete = 3086;
inline constexpr int32_t kHavingWithoutGrouping = 3091;
inline constexpr int32_t kOrderByDistinct = 3093;
inline constexpr int32_t kOrderByGroupBy = 3094;
inline constexpr int32_t kAggregateInExpression = 3095;
inline constexpr int32_t kAggregateInWhere = 3096;
inline constexpr int32_t kAggregateInOrderBy = 3097;
inline constexpr int32_t kAggregateInGroupBy = 3098;
inline constexpr int32_t kAggregateInJoin = 3099;
inline constexpr int32_t kCircularAlias = 3103;
inline constexpr int32_t kGroupOnQualifiedStar = 3120;
inline constexpr int32_t kGroupOnStar = 3121;
inline constexpr int32_t kNotGrouped = 3122;
inline constexpr int32_t kBadBracketing = 3126;
inline constexpr int32_t kInsertUnknownField = 3127;
inline constexpr int32_t kDeleteWhichTable = 3128;
inline constexpr int32_t kInvalidStatement = 3129;
inline constexpr int32_t kFromClause = 3131;
inline constexpr int32_t kInsertSyntax = 3134;
inline constexpr int32_t kJoinSyntax = 3135;
inline constexpr int32_t kOrderByClause = 3138;
inline constexpr int32_t kSelectSyntax = 3141;
inline constexpr int32_t kAfterEnd = 3142;
inline constexpr int32_t kUpdateSyntax = 3144;
inline constexpr int32_t kConstraintSyntax = 3289;
inline constexpr int32_t kCreateTableSyntax = 3290;
inline constexpr int32_t kCreateIndexSyntax = 3291;
inline constexpr int32_t kFieldSyntax = 3292;
inline constexpr int32_t kAlterTableSyntax = 3293;
inline constexpr int32_t kDropSyntax = 3295;
inline constexpr int32_t kSubqueryFields = 3306;
inline constexpr int32_t kUnionColumns = 3307;
inline constexpr int32_t kValueCount = 3346;
inline constexpr int32_t kTooComplex = 3360;
}  // namespace sqlerr

// The error source every translator error carries.
inline constexpr std::string_view kErrorSource = "DAO.Database";

// Jet's text for `number`, with `arg` in place of its "|" placeholder.
std::string JetMessage(int32_t number, std::string_view arg = {});

// 1-based character (code point) position of byte offset `pos` in `sql`.
int32_t CharPosition(std::string_view sql, size_t pos);

// Raises `text` (a Jet text, already filled in) with the detail
// " Position N, near 'token', in: <statement>". An empty `near` reads as the
// end of the statement.
[[noreturn]] void ThrowSyntax(int32_t number, std::string text, std::string_view sql, size_t pos,
                              std::string_view near);

// Raises JetMessage(number, arg) without position detail (name errors).
[[noreturn]] void ThrowJet(int32_t number, std::string_view arg = {});

}  // namespace qv::jet::sql
