// The deadlines the date service gives a new document, by form, period and
// filer, weekends moved to the Monday.

#include <gtest/gtest.h>

#include "platform/automation/Object.h"
#include "siblings/kprapplied/KprDocument.h"

namespace qv::kprapplied {
namespace {

TEST(KprDocument, DeadlinesByFormPeriodAndFiler) {
  const struct {
    const char* knd;
    int32_t year, report;
    bool natural;
    const char* accept;
    const char* payment;
  } cases[] = {
      {"1151001", 2025, 13, false, "25.04.2025", "28.04.2025"},  // VAT, first quarter
      {"1151001", 2025, 16, false, "26.01.2026", "28.01.2026"},  // 25 January is a Sunday
      {"1151006", 2025, 14, false, "25.07.2025", "28.07.2025"},  // profit tax, half-year
      {"1151006", 2025, 16, false, "25.03.2026", "30.03.2026"},  // its year; the 28th: Saturday
      {"1151100", 2025, 16, false, "25.02.2026", "02.03.2026"},  // 6-NDFL year; 28.02: Saturday
      {"1151111", 2025, 16, false, "26.01.2026", "28.01.2026"},  // contributions, fourth quarter
      {"0710099", 2024, 17, false, "31.03.2025", "31.03.2025"},  // accounts
      {"1152017", 2024, 17, false, "25.03.2025", "28.03.2025"},  // simplified tax, organisation
      {"1152017", 2024, 17, true, "25.04.2025", "28.04.2025"},   // ... entrepreneur
      {"1152026", 2024, 17, false, "25.03.2025", "28.03.2025"},  // property tax
      {"9999999", 2025, 3, false, "25.04.2025", "28.04.2025"},   // another form, a month
      {"9999999", 2024, 17, false, "25.03.2025", "28.03.2025"},  // ... a whole year
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.knd) + " " + std::to_string(c.report));
    const Terms t = TermsOf(c.knd, c.year, c.report, c.natural);
    EXPECT_EQ(CStr(Variant(t.accept)), c.accept);
    EXPECT_EQ(CStr(Variant(t.payment)), c.payment);
  }
}

}  // namespace
}  // namespace qv::kprapplied
