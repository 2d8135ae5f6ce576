#pragma once
// Jet's static result types of operators and of the common type of several
// values (IIf branches, union columns).

#include "platform/jet/JetTypes.h"
#include "platform/jet/sql/JetAst.h"

namespace qv::jet::sql {

bool IsNumericType(JetType t);  // Boolean, Byte ... Double, Currency, Decimal, BigInt
bool IsIntegerType(JetType t);  // Boolean, Byte, Integer, Long, BigInt
bool IsDateType(JetType t);     // Date, Time
// Numeric or date: operands for which SQLite's own arithmetic is Jet's.
bool IsArithmeticType(JetType t);

// The wider of two numeric types: Byte < Integer < Long < Single < Double, a
// Boolean counts as Integer, Currency stays Currency with the integer types
// and becomes Double with Single and Double.
JetType PromoteNumeric(JetType a, JetType b);

// The type of `a op b` for the arithmetic operators and &; kNone for an
// operand means Null or untyped and yields the other operand's type.
JetType ArithmeticType(Op op, JetType a, JetType b);
// The type of unary minus and of Not applied bitwise.
JetType NegationType(JetType t);
// The type that holds values of both types (IIf branches, union columns).
JetType CommonType(JetType a, JetType b);

}  // namespace qv::jet::sql
