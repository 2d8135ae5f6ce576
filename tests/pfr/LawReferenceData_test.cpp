// The law's reference data the library ships, asked through the public
// operations: the answers an accountant checks against the acts.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "PfrFixture.h"
#include "core/schema/RefData.h"
#include "pfr/DBQ2Ndfl.h"
#include "pfr/DBQPfr.h"
#include "platform/automation/VbaDate.h"

namespace qv::pfr::testing {
namespace {

class LawReferenceData : public PfrTest {
 protected:
  void SetUp() override {
    PfrTest::SetUp();
    const auto dir = schema::ShippedRefDataDirectory();
    ASSERT_FALSE(dir.empty());
    schema::LoadRefData(Db(), schema::ReadRefData(dir));
  }
  static Variant Day(int y, int m, int d) { return Variant(DateSerial(y, m, d)); }
  // Name by Code of every row of a dictionary.
  static std::map<std::string, std::string> Names(const ado::RecordsetPtr& rs) {
    std::map<std::string, std::string> names;
    for (rs->MoveFirst(); !rs->IsEOF(); rs->MoveNext())
      names[CStr(rs->CurrentValue(rs->FieldIndex("Code")))] =
          CStr(rs->CurrentValue(rs->FieldIndex("Name")));
    return names;
  }
};

TEST_F(LawReferenceData, ContributionLimitsAndTariffs) {
  DBQPfr q;
  const struct {
    const char* what;
    double got, want;
  } values[] = {
      {"base limit 2017", q.GetIncomeLimit(2017), 876000},
      {"base limit 2024", q.GetIncomeLimit(2024), 2225000},
      {"base limit 2025", q.GetIncomeLimit(2025), 2759000},
      {"base limit 2026", q.GetIncomeLimit(2026), 2979000},
      {"minimum wage 2025", q.GetMROT(2025), 22440},
      {"minimum wage 2026", q.GetMROT(2026), 27093},
      {"before the first year shipped", q.GetIncomeLimit(2016), 0},
  };
  for (const auto& v : values) EXPECT_EQ(v.got, v.want) << v.what;

  const struct {
    int32_t year;
    const char* category;
    double ensur, cumul, overEnsur, overCumul, foms;
  } tariffs[] = {
      {2022, "НР", 22, 0, 10, 0, 5.1},  // pension 22 / 10 and medical 5.1
      {2023, "НР", 30, 0, 15.1, 0, 0},  // the unified tariff
      {2026, "НР", 30, 0, 15.1, 0, 0},
      {2021, "МС", 10, 0, 10, 0, 5},  // small business, above the minimum wage
      {2023, "МС", 15, 0, 15, 0, 0},
      // Foreign employees: the staying ones had no medical insurance until
      // the unified tariff.
      {2022, "ВЖНР", 22, 0, 10, 0, 5.1},
      {2022, "ВПНР", 22, 0, 10, 0, 0},
      {2023, "ВПНР", 30, 0, 15.1, 0, 0},
      // Information technology: nothing above the base until 2024 (the
      // medical rate apart until 2022), the same 7.6 above it in 2025, 15
      // within it from 2026.
      {2017, "ОДИТ", 8, 0, 0, 0, 4},
      {2020, "ОДИТ", 8, 0, 0, 0, 4},
      {2021, "ОДИТ", 6, 0, 0, 0, 0.1},
      {2022, "ОДИТ", 6, 0, 0, 0, 0.1},
      {2023, "ОДИТ", 7.6, 0, 0, 0, 0},
      {2024, "ОДИТ", 7.6, 0, 0, 0, 0},
      {2025, "ОДИТ", 7.6, 0, 7.6, 0, 0},
      {2026, "ОДИТ", 15, 0, 7.6, 0, 0},
      {2030, "ОДИТ", 15, 0, 7.6, 0, 0},  // the last year shipped holds on
      // Crews of ships in the international register: nothing at all.
      {2023, "ЧЭС", 0, 0, 0, 0, 0},
      {2026, "ЧЭС", 0, 0, 0, 0, 0},
  };
  for (const auto& t : tariffs) {
    SCOPED_TRACE(std::to_string(t.year) + " " + t.category);
    double e = -1, c = -1, oe = -1, oc = -1, f = -1;
    ASSERT_TRUE(q.GetTariffs3(t.year, t.category, e, c, oe, oc, f));
    EXPECT_EQ(std::vector<double>({e, c, oe, oc, f}),
              std::vector<double>({t.ensur, t.cumul, t.overEnsur, t.overCumul, t.foms}));
  }
  // Years before a category's first shipped year have no tariff rather than a
  // later year's rates.
  for (const auto& [year, category] :
       {std::pair{2016, "ОДИТ"}, {2019, "МС"}, {2016, "ВПНР"}, {2022, "ЧЭС"}}) {
    double e = -1, c = -1, oe = -1, oc = -1, f = -1;
    EXPECT_FALSE(q.GetTariffs3(year, category, e, c, oe, oc, f)) << year << " " << category;
  }
  // Additional tariffs: by the ground of early pension where no assessment
  // set a class, else by the class or subclass.
  const struct {
    int year;
    const char* code;
    double rate;
  } additional[] = {
      {2024, "428-1", 9}, {2024, "428-2", 6}, {2019, "4", 8},   {2019, "3.4", 7},
      {2025, "3.3", 6},   {2025, "3.2", 4},   {2017, "3.1", 2}, {2026, "2", 0},
  };
  for (const auto& a : additional) {
    double rate = -1;
    EXPECT_TRUE(q.GetAddTariffs(Day(a.year, 6, 30), a.code, rate)) << a.code;
    EXPECT_EQ(rate, a.rate) << a.code;
  }
}

TEST_F(LawReferenceData, TwoNdflIncomesAndDeductions) {
  DBQ2Ndfl q;
  // Income code, residentship, rate, day: whether the rate applies to it.
  const struct {
    const char* what;
    int income, resident, rate, y, m, d;
    bool want;
  } incomes[] = {
      {"salary of a resident at 13% in 2024", 2000, 1, 13, 2024, 6, 30, true},
      {"salary of a resident at 15% in 2020", 2000, 1, 15, 2020, 6, 30, false},
      {"salary of a resident at 15% in 2021", 2000, 1, 15, 2021, 6, 30, true},
      {"salary of a resident at 30% in 2024", 2000, 1, 30, 2024, 6, 30, false},
      {"salary of a non-resident at 30% in 2024", 2000, 2, 30, 2024, 6, 30, true},
      {"salary at 22% in 2025", 2000, 1, 22, 2025, 6, 30, true},
      // The codes the order of 24.10.2017 added: unused-leave compensation
      // had no code of its own before it.
      {"unused-leave compensation 2013 before the order", 2013, 1, 13, 2017, 6, 30, false},
      {"unused-leave compensation 2013 at 13% in 2018", 2013, 1, 13, 2018, 1, 31, true},
      {"severance above three earnings 2014 of a non-resident at 30% in 2020", 2014, 2, 30, 2020, 6,
       30, true},
      {"written-off bad debt 2611 at 22% in 2025", 2611, 1, 22, 2025, 6, 30, true},
      // The codes of the order of 09.01.2024: daily allowances above the
      // untaxed amounts, from the day the order applies.
      {"daily allowances above the norm 2017 before the order", 2017, 1, 13, 2024, 2, 19, false},
      {"daily allowances above the norm 2017 at 13% after the order", 2017, 1, 13, 2024, 2, 20,
       true},
      {"remote worker's expenses 2018 of a non-resident at 30% in 2024", 2018, 2, 30, 2024, 6, 30,
       true},
      {"daily allowances above the norm 2017 at 22% in 2025", 2017, 1, 22, 2025, 6, 30, true},
      // Special rates: 35% for a resident's material benefit on a loan and
      // for prizes of advertising games, 9% for interest on mortgage bonds
      // issued before 2007, 35% on deposit interest only until 2020.
      {"material benefit on a loan 2610 of a resident at 35% in 2024", 2610, 1, 35, 2024, 6, 30,
       true},
      {"material benefit on a loan 2610 of a resident at 13% in 2024", 2610, 1, 13, 2024, 6, 30,
       false},
      {"advertising prize 2740 at 35% in 2025", 2740, 1, 35, 2025, 6, 30, true},
      {"mortgage bond interest 1110 of a resident at 9% in 2020", 1110, 1, 9, 2020, 6, 30, true},
      {"mortgage bond interest 1110 of a resident at 13% in 2020", 1110, 1, 13, 2020, 6, 30, false},
      {"deposit interest 3020 at 35% in 2020", 3020, 1, 35, 2020, 6, 30, true},
      {"deposit interest 3020 at 35% in 2021", 3020, 1, 35, 2021, 6, 30, false},
      {"royalties 2201 of a non-resident at 30% in 2019", 2201, 2, 30, 2019, 6, 30, true},
      {"royalties 2201 at 22% in 2025", 2201, 1, 22, 2025, 6, 30, true},
      {"securities 1530 at 15% in 2025", 1530, 1, 15, 2025, 6, 30, true},
      // Code 1543 left the list with the amendment of 22.11.2016.
      {"code 1543 removed before 2017", 1543, 1, 13, 2018, 6, 30, false},
  };
  for (const auto& a : incomes)
    EXPECT_EQ(q.IsIncomeAllowedEx(a.income, a.resident, a.rate, Day(a.y, a.m, a.d)), a.want)
        << a.what;
  const struct {
    const char* what;
    int deduct, income, y, m, d;
    bool want;
  } deducts[] = {
      {"gift deduction 501 on gifts", 501, 2720, 2024, 1, 31, true},
      {"advertising prize deduction 505 on advertising prizes", 505, 2740, 2024, 1, 31, true},
      {"veterans' aid deduction 507 on gifts", 507, 2720, 2024, 1, 31, false},
      {"gift deduction 501 on salary", 501, 2000, 2024, 1, 31, false},
  };
  for (const auto& a : deducts)
    EXPECT_EQ(q.IsMonthDeductAllowedEx(a.deduct, a.income, Day(a.y, a.m, a.d)), a.want) << a.what;

  EXPECT_TRUE(Names(q.GetIncomesDictEx(1, 13, Day(2024, 6, 30), ""))["2000"].starts_with(
      "Вознаграждение, получаемое налогоплательщиком за выполнение трудовых"));

  auto listed2018 = Names(q.GetIncomesDictEx(1, 13, Day(2018, 6, 30), ""));
  EXPECT_EQ(listed2018["2013"], "Сумма компенсации за неиспользованный отпуск");
  EXPECT_EQ(listed2018["2611"],
            "Сумма списанного в установленном порядке безнадежного долга с баланса организации");
  EXPECT_TRUE(listed2018.count("3023"));
  EXPECT_EQ(listed2018["2640"], "Материальная выгода, полученная от приобретения ценных бумаг");
  // Renamed by the amendment of 22.11.2016.
  EXPECT_EQ(listed2018["3010"],
            "Доходы в виде выигрышей, полученных в букмекерской конторе и тотализаторе");
  EXPECT_FALSE(listed2018.count("2610")) << "taxed at 35%, not 13%";
  EXPECT_FALSE(listed2018.count("2017"));
  auto listed2024 = Names(q.GetIncomesDictEx(1, 13, Day(2024, 6, 30), ""));
  EXPECT_TRUE(listed2024["2017"].starts_with("Суточные или полевое довольствие работникам"));
  EXPECT_TRUE(listed2024["2018"].starts_with(
      "Доходы, полученные в виде возмещенных расходов дистанционного работника"));

  // A resident's 35% codes: the material benefit on a loan and the prizes of
  // advertising games, and from 2021 no longer deposit interest.
  for (const auto& [day, codes] :
       {std::pair{Day(2020, 6, 30), std::vector<std::string>{"2610", "2740", "3020", "3022"}},
        {Day(2024, 6, 30), std::vector<std::string>{"2610", "2740"}}}) {
    std::vector<std::string> listed;
    for (const auto& [code, name] : Names(q.GetIncomesDictEx(1, 35, day, ""))) {
      EXPECT_FALSE(name.empty()) << code;
      listed.push_back(code);
    }
    EXPECT_EQ(listed, codes);
  }

  // Per-income deductions of the list as amended on 22.11.2016: securities and
  // derivatives, royalty expenses, farm pay in kind, pension contributions.
  // 206 carries the amendment's text, not the one it replaced; 221 and 617
  // left the list with it.
  const struct {
    const char* code;
    const char* fullName;
  } perIncome[] = {
      {"201",
       "Расходы по операциям с ценными бумагами, обращающимися на организованном рынке ценных "
       "бумаг"},
      {"206", "Расходы по операциям с производными финансовыми инструментами, которые"},
      {"230",
       "Расходы в виде процентов по займу, произведенные по совокупности операций РЕПО, "
       "учитываемых на индивидуальном инвестиционном счете"},
      {"252", "Сумма убытка по операциям с производными финансовыми инструментами"},
      {"404",
       "Сумма фактически произведенных и документально подтвержденных расходов, связанных "
       "с получением авторских вознаграждений"},
      {"405", "Сумма в пределах нормативов затрат"},
      {"509", "Вычет из суммы доходов, полученных работниками в натуральной форме"},
      {"510", "Вычет в сумме уплаченных работодателем страховых взносов за работника"},
  };
  for (const auto& d : perIncome) {
    auto rs = q.GetMonthDeductsDictEx(0, Day(2024, 6, 30), d.code);
    ASSERT_EQ(rs->RecordCount(), 1) << d.code;
    rs->MoveFirst();
    const std::string full = CStr(rs->CurrentValue(rs->FieldIndex("FullName")));
    EXPECT_TRUE(full.starts_with(d.fullName)) << d.code << ": " << full;
    EXPECT_FALSE(CStr(rs->CurrentValue(rs->FieldIndex("ShortName"))).empty()) << d.code;
  }
  EXPECT_EQ(q.GetMonthDeductsDictEx(0, Day(2024, 6, 30), "221,617")->RecordCount(), 0);

  // Year deductions: the investment deduction 619 (an individual investment
  // account's positive result) from the order of 24.10.2017; social,
  // property and investment deductions with their category and no fixed
  // amount; monthly amounts: the second child's deduction doubled from 2025,
  // a sole parent's twice the parent's.
  const struct {
    const char* code;
    int day;           // yyyymmdd
    int32_t category;  // 0: no row
    double amount;     // -1: Null
  } yearDeducts[] = {
      {"619", 20170630, 0, 0},     {"619", 20240630, 4, -1},    {"311", 20240630, 3, -1},
      {"312", 20240630, 3, -1},    {"320", 20240630, 2, -1},    {"324", 20240630, 2, -1},
      {"328", 20240630, 2, -1},    {"618", 20240630, 4, -1},    {"127", 20241231, 1, 1400},
      {"127", 20250131, 1, 2800},  {"134", 20241231, 1, 2800},  {"136", 20241231, 1, 2800},
      {"136", 20250131, 1, 5600},  {"138", 20241231, 1, 6000},  {"138", 20250131, 1, 12000},
      {"140", 20241231, 1, 24000}, {"141", 20241231, 1, 12000}, {"141", 20250131, 1, 24000},
      {"149", 20250131, 1, 24000},
  };
  for (const auto& a : yearDeducts) {
    SCOPED_TRACE(std::string(a.code) + " on " + std::to_string(a.day));
    auto rs = q.GetYearDeductsDict2(Day(a.day / 10000, a.day / 100 % 100, a.day % 100), a.code);
    ASSERT_EQ(rs->RecordCount(), a.category ? 1 : 0);
    if (!a.category) continue;
    rs->MoveFirst();
    EXPECT_EQ(CLng(rs->CurrentValue(rs->FieldIndex("Category"))), a.category);
    const Variant amount = rs->CurrentValue(rs->FieldIndex("Summa"));
    EXPECT_EQ(amount.IsNull() ? -1 : CDbl(amount), a.amount);
    if (std::string(a.code) == "619") {
      EXPECT_TRUE(CStr(rs->CurrentValue(rs->FieldIndex("FullName")))
                      .starts_with("Вычет в сумме положительного финансового результата"));
    }
  }
}

}  // namespace
}  // namespace qv::pfr::testing
