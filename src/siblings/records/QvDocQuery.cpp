#include "siblings/records/QvDocQuery.h"

#include <iterator>

#include "platform/automation/Collection.h"

namespace qv::records {

namespace {

enum class Kind { kBool, kLong, kDouble, kText, kDate, kList };

struct Criterion {
  std::string_view name;
  Kind kind;
};

constexpr Criterion kCriteria[] = {
    {"IsDocStatus", Kind::kBool},
    {"DocStatuses", Kind::kLong},
    {"IsNotes", Kind::kBool},
    {"NotesMode", Kind::kLong},
    {"Notes", Kind::kText},
    {"IsDocNum", Kind::kBool},
    {"DocNumMode", Kind::kLong},
    {"DocNum1", Kind::kDouble},
    {"DocNum2", Kind::kDouble},
    {"LastDocNumsCount", Kind::kLong},
    {"IsTemplate", Kind::kBool},
    {"Templates", Kind::kList},
    {"TemplatesMode", Kind::kLong},
    {"IsPeriods", Kind::kBool},
    {"PeriodCriterion", Kind::kLong},
    {"OnePeriodYear", Kind::kLong},
    {"OnePeriodMonthID", Kind::kLong},
    {"RangePeriodYear1", Kind::kLong},
    {"RangePeriodMonth1", Kind::kLong},
    {"RangePeriodYear2", Kind::kLong},
    {"RangePeriodMonth2", Kind::kLong},
    {"IsPeriodTypes", Kind::kBool},
    {"PeriodTypes", Kind::kLong},
    {"IsAccStreamType", Kind::kBool},
    {"AccStreamTypes", Kind::kLong},
    {"IsAccStreamOpeness", Kind::kBool},
    {"AccStreamOpen", Kind::kLong},
    {"IsAccStreamsList", Kind::kBool},
    {"AccStreamsList", Kind::kList},
    {"IsTaxpayers", Kind::kBool},
    {"TaxpayersType", Kind::kLong},
    {"TaxpayersList", Kind::kList},
    {"IncludeMainOrgDocs", Kind::kBool},
    {"IsSignDate", Kind::kBool},
    {"SignDate1", Kind::kDate},
    {"SignDate2", Kind::kDate},
    {"IsSignerFio", Kind::kBool},
    {"SignerSurname", Kind::kText},
    {"IsContoraPrefix1", Kind::kBool},
    {"ContoraPrefix1", Kind::kText},
    {"IsContoraPrefix2", Kind::kBool},
    {"ContoraPrefix2", Kind::kText},
    {"ContoraJoining", Kind::kLong},
    {"WholePfrCluster", Kind::kBool},
};

Variant Initial(Kind kind) {
  switch (kind) {
    case Kind::kBool:
      return Variant(false);
    case Kind::kLong:
      return Variant(int32_t{0});
    case Kind::kDouble:
      return Variant(0.0);
    case Kind::kText:
      return Variant(std::string());
    case Kind::kDate:
      return Variant();
    case Kind::kList:
      return Variant(ObjectPtr(std::make_shared<Collection>()));
  }
  return Variant();
}

Variant Converted(Kind kind, const Variant& v) {
  switch (kind) {
    case Kind::kBool:
      return Variant(CBool(v));
    case Kind::kLong:
      return Variant(CLng(v));
    case Kind::kDouble:
      return Variant(CDbl(v));
    case Kind::kText:
      return Variant(CStr(v));
    case Kind::kDate:
      return v.IsEmpty() || v.IsNull() ? v : Variant(CDate(v));
    case Kind::kList:
      if (!v.IsObject() || !std::dynamic_pointer_cast<Collection>(v.AsObject()))
        ThrowVb(vberr::kTypeMismatch, "a collection of identifiers was expected");
      return v;
  }
  return v;
}

}  // namespace

QvDocQuery::QvDocQuery() {
  for (const Criterion& c : kCriteria) values_.push_back(Initial(c.kind));
}

const ClassInfo& QvDocQuery::Info() {
  static const ClassInfo info = [] {
    std::vector<Member> members;
    for (size_t i = 0; i < std::size(kCriteria); ++i) {
      const Kind kind = kCriteria[i].kind;
      members.push_back(
          Member{std::string(kCriteria[i].name),
                 [i](Object& o, Args) { return static_cast<QvDocQuery&>(o).values_[i]; },
                 [i, kind](Object& o, Args args) {
                   if (args.size() != 1)
                     ThrowVb(vberr::kWrongArguments, "a criterion takes one value");
                   static_cast<QvDocQuery&>(o).values_[i] = Converted(kind, args[0]);
                   return Variant();
                 }});
    }
    return ClassInfo("Qv_Records.QvDocQuery", std::move(members),
                     [] { return ObjectPtr(std::make_shared<QvDocQuery>()); });
  }();
  return info;
}

[[maybe_unused]] static const bool kRegistered =
    (ProgIdRegistry::Register("Qv_Records.QvDocQuery", &QvDocQuery::Info), true);

}  // namespace qv::records
