#include "SampleReference.h"

#include <cstdio>

#include "SampleData.h"
#include "SampleForms.h"
#include "TableWriter.h"
#include "platform/automation/VbaDate.h"

namespace qvdb::sample {

using qv::OleDate;
using qv::Variant;

namespace {

Variant Long(int64_t n) {
  return Variant(static_cast<int32_t>(n));
}
Variant Num(int64_t n) {
  return Variant(static_cast<double>(n));
}
Variant D(double serial) {
  return Variant(OleDate{serial});
}
double Serial(int y, int m, int d) {
  return qv::DateSerial(y, m, d).serial;
}

void EnsureForms(qv::dao::Database& db, std::span<const PlanPeriod> periods,
                 ReferenceCounts& counts) {
  TableWriter cls(db, "doc_type_class"), tpl(db, "doc_templates");
  TableWriter dates(db, "template_dates");
  for (const FormDef& f : Forms()) {
    if (!cls.Exists(Long(f.docTypeId))) {
      cls.Begin();
      cls.Set("doc_type_id", Long(f.docTypeId));
      cls.Set("ID", Long(f.docTypeId));
      cls.Set("KND", Variant(f.knd));
      cls.Set("name_short", Variant(f.shortName));
      cls.Set("Obligable", Long(1));
      cls.Set("Buh_Doc", Long(f.docTypeId == 1 ? 1 : 0));
      cls.Set("Tax_Name", Variant(f.taxName));
      cls.Set("scale_index", Long(f.scaleIndex));
      cls.Set("send_type", Long(1));
      cls.Set("list_order", Long(f.docTypeId));
      cls.End();
    }
    for (int v = 0; v < kTemplateVersions; ++v) {
      const int32_t id = TemplateId(f, v);
      const double begin = v == 0 ? Serial(2003, 1, 1) : Serial(2024, 1, 1);
      const double end = v == 0 ? Serial(2023, 12, 31) : Serial(2030, 12, 31);
      if (!tpl.Exists(Long(id))) {
        tpl.Begin();
        tpl.Set("template_id", Long(id));
        tpl.Set("full_name", Variant(std::string(f.shortName) + " (КНД " + std::string(f.knd) +
                                     (v == 0 ? ", до 2024 г.)" : ", с 2024 г.)")));
        tpl.Set("Name", Variant(f.shortName));
        tpl.Set("begin_date", D(begin));
        tpl.Set("end_date", D(end));
        tpl.Set("doc_type_id", Num(f.docTypeId));
        tpl.Set("enable", Long(1));
        tpl.Set("EditorType", Long(TemplateEditorType(f, v)));
        tpl.Set("Creatable", Variant(true));
        tpl.End();
        ++counts.templates;
      }
      for (const PlanPeriod& p : periods) {
        if ((p.reportId == 17) == f.quarterly || p.end < begin || p.beg > end) continue;
        const Variant keys[] = {Long(id), Long(p.timeId)};
        if (dates.Exists(std::span<const Variant>(keys), "TEMPLATE_ID_TIME_ID")) continue;
        dates.Begin();
        dates.Set("template_id", Long(id));
        dates.Set("time_id", Long(p.timeId));
        dates.Set("doc_type_id", Long(f.docTypeId));
        dates.Set("date_to_registry", D(p.end + f.deadlineDays));
        dates.Set("Date_To_Registry_FL", D(p.end + f.deadlineDays + (f.quarterly ? 0 : 30)));
        dates.End();
        ++counts.templateDates;
      }
    }
  }
}

// Who may use each template version: a template that has rows already is
// left as it is.
void EnsureTemplateCategories(qv::dao::Database& db, ReferenceCounts& counts) {
  TableWriter rows(db, "TemplateByTPCategory");
  auto add = [&](int32_t templateId, int32_t category, int32_t streamType, bool main, bool branch) {
    rows.Begin();
    rows.Set("template_id", Long(templateId));
    rows.Set("TPCategory_ID", Long(category));
    rows.Set("AccStreamType", Long(streamType));
    rows.Set("AllowedForMainOrg", Long(main ? 1 : 0));
    rows.Set("AllowedForBranch", Long(branch ? 1 : 0));
    rows.End();
    ++counts.templateCategories;
  };
  for (const FormDef& f : Forms()) {
    const bool organisations = f.filers & static_cast<uint8_t>(Filer::kOrganisation);
    const bool branches = f.filers & static_cast<uint8_t>(Filer::kBranch);
    for (int v = 0; v < kTemplateVersions; ++v) {
      const int32_t id = TemplateId(f, v);
      if (rows.Exists(Long(id), "template_id")) continue;
      if (organisations || branches)
        for (int32_t c = kCommercial; c <= kInsurer; ++c)
          if (f.legalCategories & CategoryBit(c))
            add(id, c, kOrganisationStreamType, organisations, branches);
      if (f.filers & static_cast<uint8_t>(Filer::kEntrepreneur))
        add(id, kNaturalPersonCategory, kEntrepreneurStreamType, true, false);
    }
  }
}

}  // namespace

std::string TaxOfficeCode(int32_t region, int number) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d%02d", region % 100, number % 100);
  return buf;
}

int EnsureCountries(qv::dao::Database& db) {
  TableWriter country(db, "Country");
  // Russia first (OrderNum 1), then neighbours and frequent partners, by
  // their numeric classifier codes.
  struct CountryRow {
    int32_t id;
    const char *alfa2, *alfa3, *shortName, *fullName;
  };
  static constexpr CountryRow kCountries[] = {
      {kRussia, "RU", "RUS", "Россия", "Российская Федерация"},
      {112, "BY", "BLR", "Беларусь", "Республика Беларусь"},
      {398, "KZ", "KAZ", "Казахстан", "Республика Казахстан"},
      {51, "AM", "ARM", "Армения", "Республика Армения"},
      {417, "KG", "KGZ", "Киргизия", "Киргизская Республика"},
      {860, "UZ", "UZB", "Узбекистан", "Республика Узбекистан"},
      {762, "TJ", "TJK", "Таджикистан", "Республика Таджикистан"},
      {31, "AZ", "AZE", "Азербайджан", "Республика Азербайджан"},
      {268, "GE", "GEO", "Грузия", "Грузия"},
      {498, "MD", "MDA", "Молдова", "Республика Молдова"},
      {156, "CN", "CHN", "Китай", "Китайская Народная Республика"},
      {276, "DE", "DEU", "Германия", "Федеративная Республика Германия"},
      {792, "TR", "TUR", "Турция", "Турецкая Республика"},
      {356, "IN", "IND", "Индия", "Республика Индия"},
  };
  int added = 0;
  for (const CountryRow& c : kCountries) {
    if (country.Exists(Long(c.id))) continue;
    ++added;
    char code[4];
    std::snprintf(code, sizeof code, "%03d", c.id);
    country.Begin();
    country.Set("ID", Long(c.id));
    country.Set("Alfa2", Variant(c.alfa2));
    country.Set("Alfa3", Variant(c.alfa3));
    country.Set("Code", Variant(code));
    country.Set("ShortName", Variant(c.shortName));
    country.Set("FullName", Variant(c.fullName));
    country.Set("OrderNum", Long(c.id == kRussia ? 1 : 0));
    country.End();
  }
  return added;
}

ReferenceCounts EnsureReferenceRows(qv::dao::Database& db, std::span<const PlanPeriod> periods) {
  ReferenceCounts counts;
  Random fixed(20240101);  // reference rows are the same whatever the seed
  EnsureCountries(db);
  TableWriter region(db, "Region"), office(db, "TaxOffice");
  int order = 0;
  for (const Region& g : Regions()) {
    ++order;
    if (!region.Exists(Long(g.code))) {
      region.Begin();
      region.Set("ID", Long(g.code));
      region.Set("Code", Variant(TaxOfficeCode(g.code, 0).substr(0, 2)));
      region.Set("Name", Variant(std::string(g.name) + " " + std::string(g.abbrev)));
      region.Set("NameNoAb", Variant(g.name));
      region.Set("AbName", Variant(g.abbrev));
      region.Set("OrderNum", Long(order));
      region.End();
    }
    for (int n = 1; n <= kTaxOfficesPerRegion; ++n) {
      const std::string code = TaxOfficeCode(g.code, n);
      const std::string inn = LegalInn(fixed, code);
      if (office.Exists(Long(std::stoi(code)))) continue;
      office.Begin();
      office.Set("ID", Long(std::stoi(code)));
      office.Set("Code", Variant(code));
      office.Set("ShortName",
                 Variant("ИФНС России № " + std::to_string(n) + " " + std::string(g.inWhere)));
      office.Set("FullName", Variant("Инспекция Федеральной налоговой службы № " +
                                     std::to_string(n) + " " + std::string(g.inWhere)));
      office.Set("INN", Variant(inn));
      office.Set("KPP", Variant(Kpp(code, "01", 1)));
      office.Set("ContoraType", Long(1));
      office.Set("showorder", Long(std::stoi(code)));
      office.End();
    }
  }
  TableWriter certType(db, "CertificateType");
  if (!certType.Exists(Long(kPassport))) {
    certType.Begin();
    certType.Set("ID", Long(kPassport));
    certType.Set("Code", Variant("21"));
    certType.Set("SeriesPattern", Variant("99 99"));
    certType.Set("NumberPattern", Variant("999999"));
    certType.Set("Name", Variant("Паспорт гражданина Российской Федерации"));
    certType.Set("PfrCode", Variant("ПАСПОРТ РОССИИ"));
    certType.Set("TndflCode", Variant("21"));
    certType.Set("OrderNum", Long(1));
    certType.End();
  }
  EnsureForms(db, periods, counts);
  EnsureTemplateCategories(db, counts);
  return counts;
}

}  // namespace qvdb::sample
