#include "platform/jet/sql/JetTyping.h"

#include <algorithm>

namespace qv::jet::sql {

namespace {

// Ranks of the numeric types for promotion; 0 for the others.
int NumericRank(JetType t) {
  switch (t) {
    case JetType::kByte:
      return 1;
    case JetType::kBoolean:
    case JetType::kInteger:
      return 2;
    case JetType::kLong:
      return 3;
    case JetType::kBigInt:
      return 4;
    case JetType::kCurrency:
      return 5;
    case JetType::kSingle:
      return 6;
    case JetType::kDouble:
    case JetType::kFloat:
      return 7;
    case JetType::kNumeric:
    case JetType::kDecimal:
      return 8;
    default:
      return 0;
  }
}

JetType ByRank(int rank) {
  static constexpr JetType kTypes[] = {JetType::kNone,   JetType::kByte,   JetType::kInteger,
                                       JetType::kLong,   JetType::kBigInt, JetType::kCurrency,
                                       JetType::kSingle, JetType::kDouble, JetType::kDecimal};
  return kTypes[rank];
}

bool IsPlainText(JetType t) {
  return t == JetType::kText || t == JetType::kMemo || t == JetType::kChar;
}

JetType TextResult(JetType a, JetType b) {
  return a == JetType::kMemo || b == JetType::kMemo ? JetType::kMemo : JetType::kText;
}

}  // namespace

bool IsNumericType(JetType t) {
  return NumericRank(t) > 0;
}

bool IsIntegerType(JetType t) {
  const int r = NumericRank(t);
  return r >= 1 && r <= 4;
}

bool IsDateType(JetType t) {
  return t == JetType::kDate || t == JetType::kTime;
}

bool IsArithmeticType(JetType t) {
  return IsNumericType(t) || IsDateType(t);
}

JetType PromoteNumeric(JetType a, JetType b) {
  const int ra = NumericRank(a), rb = NumericRank(b);
  if (ra == 0 || rb == 0) return ra == 0 ? (rb == 0 ? JetType::kDouble : ByRank(rb)) : ByRank(ra);
  const int currency = NumericRank(JetType::kCurrency);
  if ((ra == currency && (rb == 6 || rb == 7)) || (rb == currency && (ra == 6 || ra == 7)))
    return JetType::kDouble;
  return ByRank(std::max(ra, rb));
}

JetType ArithmeticType(Op op, JetType a, JetType b) {
  if (op == Op::kConcat) return TextResult(a, b);
  if (a == JetType::kNone && b == JetType::kNone) return JetType::kNone;
  if (a == JetType::kNone) a = b;
  if (b == JetType::kNone) b = a;
  switch (op) {
    case Op::kDiv:
    case Op::kPow:
      return JetType::kDouble;
    case Op::kIntDiv:
    case Op::kMod: {
      const int r = std::max(NumericRank(a) == 0 ? 7 : NumericRank(a),
                             NumericRank(b) == 0 ? 7 : NumericRank(b));
      return r <= 1 ? JetType::kByte : r <= 2 ? JetType::kInteger : JetType::kLong;
    }
    case Op::kAdd:
      if (IsPlainText(a) && IsPlainText(b)) return TextResult(a, b);
      [[fallthrough]];
    case Op::kSub:
      if (IsDateType(a) && IsDateType(b)) return op == Op::kAdd ? JetType::kDate : JetType::kDouble;
      if (IsDateType(a) || IsDateType(b)) return JetType::kDate;
      [[fallthrough]];
    default:
      if (IsDateType(a) || IsDateType(b)) return JetType::kDouble;
      if (IsNumericType(a) && IsNumericType(b)) {
        const JetType t = PromoteNumeric(a, b);
        return t == JetType::kBoolean ? JetType::kInteger : t;
      }
      return JetType::kDouble;  // a text read as a number
  }
}

JetType NegationType(JetType t) {
  switch (t) {
    case JetType::kBoolean:
    case JetType::kByte:
      return JetType::kInteger;
    case JetType::kNone:
      return JetType::kNone;
    default:
      return IsNumericType(t) || IsDateType(t) ? t : JetType::kDouble;
  }
}

JetType CommonType(JetType a, JetType b) {
  if (a == b) return a;
  if (a == JetType::kNone) return b;
  if (b == JetType::kNone) return a;
  const bool textA = IsTextType(a), textB = IsTextType(b);
  if (textA || textB) return textA && textB ? TextResult(a, b) : JetType::kText;
  if (IsNumericType(a) && IsNumericType(b)) return PromoteNumeric(a, b);
  if (IsDateType(a) && IsDateType(b)) return JetType::kDate;
  if ((IsDateType(a) || IsNumericType(a)) && (IsDateType(b) || IsNumericType(b)))
    return JetType::kDouble;
  return JetType::kLongBinary;
}

}  // namespace qv::jet::sql
