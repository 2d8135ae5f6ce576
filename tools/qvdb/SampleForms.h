#pragma once
// The report forms of the sample data: document classes (doc_type_class),
// two template versions each (doc_templates), who files them and how often,
// and the cell layout of a template.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qvdb::sample {

enum class Filer : uint8_t { kOrganisation = 1, kBranch = 2, kEntrepreneur = 4 };

// Taxpayer categories (LegalPerson.LPCategory; 6 stands for a natural
// person), as bits 1 << category.
inline constexpr int32_t kCommercial = 1, kNonProfit = 2, kBudget = 3, kCredit = 4, kInsurer = 5,
                         kNaturalPersonCategory = 6;
inline constexpr uint8_t CategoryBit(int32_t category) {
  return static_cast<uint8_t>(1u << category);
}
inline constexpr uint8_t kEveryLegalCategory = CategoryBit(kCommercial) | CategoryBit(kNonProfit) |
                                               CategoryBit(kBudget) | CategoryBit(kCredit) |
                                               CategoryBit(kInsurer);
// Stream types of the sample: organisations and branches report in streams
// of type 1, entrepreneurs in type 2.
inline constexpr int32_t kOrganisationStreamType = 1, kEntrepreneurStreamType = 2;

struct FormDef {
  int32_t docTypeId;
  std::string_view knd;
  std::string_view shortName;
  std::string_view taxName;
  bool quarterly;        // else yearly
  uint8_t filers;        // Filer bits
  int32_t scaleIndex;    // Less of its documents: 0 roubles, 1 thousands
  int32_t deadlineDays;  // days after the period's end
  // The legal-person categories (CategoryBit) that file it.
  uint8_t legalCategories = kEveryLegalCategory;
  // From its 2024 template on, a big document (editor 6): its cells live
  // in shard files of their own, not in doc_cell_values.
  bool bigFrom2024 = false;
};
std::span<const FormDef> Forms();

// Template versions: the first until 2023, the second from 2024.
inline constexpr int32_t kTemplateVersions = 2;
inline int32_t TemplateId(const FormDef& form, int version) {
  return form.docTypeId * 10 + version + 1;
}
// The version in force in a year.
inline int TemplateVersionForYear(int32_t year) {
  return year <= 2023 ? 0 : 1;
}

// Editor types of templates and documents.
inline constexpr int32_t kPlainEditor = 1, kBigDocumentEditor = 6;
inline int32_t TemplateEditorType(const FormDef& form, int version) {
  return form.bigFrom2024 && version == 1 ? kBigDocumentEditor : kPlainEditor;
}

// A cell key: section (2 digits), repetition "00", line (3 digits),
// repetition "000", column (2 digits): 12 characters.
std::string CellKey(int section, int line, int column);

// The first cells of every layout hold the filer's INN, KPP and OKTMO.
inline constexpr int kTitleCells = 3;
inline constexpr int kMaxCells = 1000;

// The `count` keys of a form's layout, title cells first. REQUIRES:
// 1 <= count <= kMaxCells.
std::vector<std::string> CellLayout(int count);

}  // namespace qvdb::sample
