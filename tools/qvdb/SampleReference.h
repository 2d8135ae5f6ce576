#pragma once
// The reference rows the sample data refers to, added where missing: the
// countries, the regions and their tax offices, the passport document type, the forms
// (doc_type_class, doc_templates), the publication dates of the templates
// for the given periods (template_dates), and who may use each template
// (TemplateByTPCategory: the legal-person categories that file the form
// with a main organisation's stream, and with a branch's when branches file
// it; entrepreneurs with category 6 in their streams of type 2). They are the same whatever the
// seed, so data generated with several seeds shares them.

#include <cstdint>
#include <span>
#include <string>

#include "DocumentPlan.h"
#include "platform/dao/Database.h"

namespace qvdb::sample {

inline constexpr int32_t kRussia = 643;
inline constexpr int32_t kPassport = 21;
inline constexpr int kTaxOfficesPerRegion = 3;

// "7701": the region's two digits and the office's number.
std::string TaxOfficeCode(int32_t region, int number);

// The countries the application looks up by code or name (RecognizeCountry,
// GetCountry, the addresses' CountryID), added where missing: Russia
// (OrderNum 1, the first of the list), its neighbours and frequent partners,
// keyed by their numeric classifier code. Returns the rows added.
int EnsureCountries(qv::dao::Database& db);

struct ReferenceCounts {
  int64_t templates = 0, templateDates = 0, templateCategories = 0;  // rows added
};
ReferenceCounts EnsureReferenceRows(qv::dao::Database& db, std::span<const PlanPeriod> periods);

}  // namespace qvdb::sample
