#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/jet/sql/JetLiterals.h"

namespace qv::jet::sql {
namespace {

TEST(JetNumberLiterals, ValueAndKindAsTheTokenReads) {
  // Whole numbers are read without strtod: they must round as it does
  // beyond 2^53 and past 64 bits, and be Long only within Long's range.
  struct Case {
    const char* token;
    LiteralKind kind;
  };
  const Case cases[] = {
      {"0", LiteralKind::kLong},
      {"007", LiteralKind::kLong},
      {"2147483647", LiteralKind::kLong},
      {"2147483648", LiteralKind::kNumber},
      {"9007199254740993", LiteralKind::kNumber},
      {"999999999999999999", LiteralKind::kNumber},   // the most digits summed directly
      {"000000000000000000042", LiteralKind::kLong},  // more digits, a small value
      {"12a", LiteralKind::kNumber},
      {"9223372036854775807", LiteralKind::kNumber},
      {"9223372036854775808", LiteralKind::kNumber},
      {"123456789012345678901234567890", LiteralKind::kNumber},
      {"1.5", LiteralKind::kNumber},
      {".5", LiteralKind::kNumber},
      {"5.", LiteralKind::kNumber},
      {"1e3", LiteralKind::kNumber},
      {"2E-2", LiteralKind::kNumber},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token);
    EXPECT_EQ(NumberLiteralValue(c.token), std::strtod(c.token, nullptr));
    EXPECT_EQ(NumberLiteralKind(c.token), c.kind);
  }
}

}  // namespace
}  // namespace qv::jet::sql
