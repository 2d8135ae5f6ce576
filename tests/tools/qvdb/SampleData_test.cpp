#include "SampleData.h"

#include <gtest/gtest.h>

#include <set>

#include "DocumentPlan.h"
#include "SampleForms.h"
#include "platform/automation/VbaDate.h"

namespace qvdb::sample {
namespace {

TEST(SampleData, CheckDigitsOfKnownNumbers) {
  const struct {
    const char* text;
    bool (*check)(std::string_view);
    bool valid;
  } cases[] = {
      {"7707083893", IsValidInn, true},         {"7707083894", IsValidInn, false},
      {"500100732259", IsValidInn, true},       {"500100732258", IsValidInn, false},
      {"500100732249", IsValidInn, false},      {"770708389", IsValidInn, false},
      {"77070838 3", IsValidInn, false},        {"1027700132195", IsValidOgrn, true},
      {"1027700132196", IsValidOgrn, false},    {"102770013219", IsValidOgrn, false},
      {"304500116000157", IsValidOgrnip, true}, {"304500116000158", IsValidOgrnip, false},
      {"112-233-445 95", IsValidSnils, true},   {"112-233-445 94", IsValidSnils, false},
      {"112233445 95", IsValidSnils, false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.check(c.text), c.valid) << c.text;
  // Weighted sums below 100 are the check number; 100 and 101 give 00;
  // above, the remainder of 101, where 100 gives 00 again.
  const std::pair<const char*, const char*> snils[] = {
      {"900000001", "900-000-001 82"}, {"900000091", "900-000-091 00"},
      {"900000092", "900-000-092 00"}, {"123456789", "123-456-789 64"},
      {"996000006", "996-000-006 00"}, {"999999999", "999-999-999 01"},
  };
  for (const auto& [nine, full] : snils) EXPECT_EQ(SnilsWithCheck(nine), full) << nine;
}

TEST(SampleData, RandomIsFixedBySeedAndInRange) {
  Random a(7), b(7), c(8);
  bool differs = false;
  for (int i = 0; i < 1000; ++i) {
    const uint64_t x = a.Next();
    EXPECT_EQ(x, b.Next());
    differs = differs || x != c.Next();
  }
  std::set<uint32_t> seen;
  for (int i = 0; i < 1000; ++i) {
    const uint32_t k = a.Below(6);
    const int32_t m = a.Between(-2, 2);
    const double u = a.Unit();
    EXPECT_TRUE(k < 6 && m >= -2 && m <= 2 && u >= 0 && u < 1) << k << " " << m << " " << u;
    seen.insert(k);
  }
  EXPECT_TRUE(differs);
  EXPECT_EQ(seen.size(), 6u);
  EXPECT_EQ(Random(0).Below(0), 0u);
  // The first value of seed 0 is splitmix64's published first output.
  EXPECT_EQ(Random(0).Next(), 0xE220A8397B1DCDAFull);
}

TEST(SampleData, FeminineNames) {
  Random r(3);
  int women = 0;
  for (int i = 0; i < 300; ++i) {
    const PersonName n = RandomPersonName(r);
    if (n.sex == 2) {
      ++women;
      EXPECT_TRUE(n.surname.ends_with("а") || n.surname.ends_with("ая")) << n.surname;
      EXPECT_TRUE(n.patronymic.ends_with("на")) << n.patronymic;
    } else {
      EXPECT_TRUE(n.patronymic.ends_with("ич")) << n.patronymic;
    }
  }
  EXPECT_GT(women, 100);
}

TEST(SampleForms, CellLayouts) {
  for (int count : {1, 3, 4, 50, 121, 1000}) {
    const auto keys = CellLayout(count);
    ASSERT_EQ(keys.size(), static_cast<size_t>(count));
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), keys.size()) << count;
    for (const std::string& k : keys) {
      EXPECT_EQ(k.size(), 12u) << k;
      EXPECT_EQ(k.substr(2, 2), "00") << k;  // repetition counters
      EXPECT_EQ(k.substr(7, 3), "000") << k;
    }
  }
  EXPECT_EQ(CellLayout(5)[0], "010000100001");
  EXPECT_EQ(CellLayout(5)[3], "020001000003");
}

std::vector<PlanPeriod> Quarters(int firstYear, int lastYear) {
  std::vector<PlanPeriod> periods;
  for (int y = firstYear; y <= lastYear; ++y) {
    for (int q = 0; q < 4; ++q)
      periods.push_back({(y - 2000) * 100 + 13 + q, y, 13 + q,
                         qv::DateSerial(y, 3 * q + 1, 1).serial,
                         qv::DateSerial(y, 3 * q + 4, 0).serial});
    periods.push_back({(y - 2000) * 100 + 17, y, 17, qv::DateSerial(y, 1, 1).serial,
                       qv::DateSerial(y, 12, 31).serial});
  }
  return periods;
}

TEST(DocumentPlan, ChainsQuotasAndOrder) {
  const std::vector<Filer> filers = {Filer::kOrganisation, Filer::kEntrepreneur, Filer::kBranch};
  const auto periods = Quarters(2024, 2025);
  for (int64_t documents : {0, 1, 2, 100, 1000}) {
    Random r(11);
    const auto plan = PlanDocuments(r, filers, periods, documents);
    ASSERT_EQ(static_cast<int64_t>(plan.size()), documents);
    std::vector<int64_t> perStream(filers.size(), 0);
    std::set<std::tuple<int, int, int, int, int>> keys;
    for (size_t i = 0; i < plan.size(); ++i) {
      const PlannedDoc& d = plan[i];
      ++perStream[d.stream];
      if (i > 0) {
        EXPECT_LE(plan[i - 1].registryDate, d.registryDate);
      }
      const FormDef& form = Forms()[d.form];
      EXPECT_TRUE(form.filers & static_cast<uint8_t>(filers[d.stream])) << form.knd;
      EXPECT_EQ(form.quarterly, periods[d.period].reportId != 17) << form.knd;
      EXPECT_GT(d.registryDate, periods[d.period].end);
      EXPECT_TRUE(keys.insert({d.stream, d.form, d.period, d.instance, d.version}).second);
      // The chain: links both ways, adjustment numbers one apart.
      EXPECT_EQ(d.older < 0, d.version == 0);
      if (d.older >= 0) {
        const PlannedDoc& o = plan[d.older];
        EXPECT_EQ(o.newer, static_cast<int32_t>(i));
        EXPECT_EQ(o.version + 1, d.version);
        EXPECT_EQ(std::tie(o.stream, o.form, o.period, o.instance),
                  std::tie(d.stream, d.form, d.period, d.instance));
        EXPECT_TRUE(o.delivered);
      }
      if (d.newer >= 0) {
        EXPECT_EQ(plan[d.newer].older, static_cast<int32_t>(i));
      }
    }
    for (size_t s = 0; s < filers.size(); ++s)
      EXPECT_EQ(perStream[s], documents / 3 + (static_cast<int64_t>(s) < documents % 3 ? 1 : 0));
  }
}

TEST(DocumentPlan, MoreDocumentsThanSlotsMakeInstances) {
  const std::vector<Filer> filers = {Filer::kBranch};
  const auto periods = Quarters(2025, 2025);  // 9 slots: 2 quarterly forms x 4, 1 yearly
  Random r(5);
  const auto plan = PlanDocuments(r, filers, periods, 40);
  int32_t maxInstance = 0;
  for (const auto& d : plan) maxInstance = std::max(maxInstance, d.instance);
  EXPECT_GE(maxInstance, 2);
}

}  // namespace
}  // namespace qvdb::sample
