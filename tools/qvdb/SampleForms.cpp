#include "SampleForms.h"

#include <cstdio>

namespace qvdb::sample {

namespace {

constexpr uint8_t kOrg = static_cast<uint8_t>(Filer::kOrganisation);
constexpr uint8_t kBranch = static_cast<uint8_t>(Filer::kBranch);
constexpr uint8_t kIe = static_cast<uint8_t>(Filer::kEntrepreneur);

constexpr FormDef kForms[] = {
    // Banks and budget institutions report their accounts elsewhere.
    {1, "0710099", "Бухгалтерская (финансовая) отчетность", "Бухгалтерская отчетность", false, kOrg,
     1, 90, CategoryBit(kCommercial) | CategoryBit(kNonProfit) | CategoryBit(kInsurer)},
    // Budget institutions are not VAT payers here.
    {2, "1151001", "Декларация по НДС", "НДС", true, kOrg, 0, 25,
     static_cast<uint8_t>(kEveryLegalCategory & ~CategoryBit(kBudget))},
    {3, "1151006", "Декларация по налогу на прибыль", "Налог на прибыль", true, kOrg, 0, 25},
    {4, "1151111", "Расчет по страховым взносам", "Страховые взносы", true, kOrg | kBranch | kIe, 0,
     25},
    // One sub-document per employee's income statement.
    {5, "1151100", "Расчет 6-НДФЛ", "НДФЛ", true, kOrg | kBranch | kIe, 0, 25, kEveryLegalCategory,
     true},
    {6, "1152017", "Декларация по УСН", "УСН", false, kIe, 0, 115},
    {7, "1152026", "Декларация по налогу на имущество", "Налог на имущество", false, kOrg | kBranch,
     0, 85},
};

}  // namespace

std::span<const FormDef> Forms() {
  return kForms;
}

std::string CellKey(int section, int line, int column) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d00%03d000%02d", section % 100, line % 1000, column % 100);
  return buf;
}

std::vector<std::string> CellLayout(int count) {
  std::vector<std::string> keys;
  keys.reserve(count);
  for (int j = 0; j < count && j < kTitleCells; ++j) keys.push_back(CellKey(1, j + 1, 1));
  // Four columns per line, 30 lines of 10, 20 ... 300 per section.
  for (int idx = 0; static_cast<int>(keys.size()) < count; ++idx)
    keys.push_back(CellKey(2 + idx / 120, 10 * (1 + (idx / 4) % 30), 3 + idx % 4));
  return keys;
}

}  // namespace qvdb::sample
