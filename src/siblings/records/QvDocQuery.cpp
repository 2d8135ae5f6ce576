#include "siblings/records/QvDocQuery.h"

#include <iterator>

#include "platform/automation/Collection.h"

namespace qv::records {

namespace {

enum class CriterionKind { kBool, kLong, kDouble, kText, kDate, kList };

struct Criterion {
  std::string_view name;
  CriterionKind kind;
};

constexpr Criterion kCriteria[] = {
    {"IsDocStatus", CriterionKind::kBool},
    {"DocStatuses", CriterionKind::kLong},
    {"IsNotes", CriterionKind::kBool},
    {"NotesMode", CriterionKind::kLong},
    {"Notes", CriterionKind::kText},
    {"IsDocNum", CriterionKind::kBool},
    {"DocNumMode", CriterionKind::kLong},
    {"DocNum1", CriterionKind::kDouble},
    {"DocNum2", CriterionKind::kDouble},
    {"LastDocNumsCount", CriterionKind::kLong},
    {"IsTemplate", CriterionKind::kBool},
    {"Templates", CriterionKind::kList},
    {"TemplatesMode", CriterionKind::kLong},
    {"IsPeriods", CriterionKind::kBool},
    {"PeriodCriterion", CriterionKind::kLong},
    {"OnePeriodYear", CriterionKind::kLong},
    {"OnePeriodMonthID", CriterionKind::kLong},
    {"RangePeriodYear1", CriterionKind::kLong},
    {"RangePeriodMonth1", CriterionKind::kLong},
    {"RangePeriodYear2", CriterionKind::kLong},
    {"RangePeriodMonth2", CriterionKind::kLong},
    {"IsPeriodTypes", CriterionKind::kBool},
    {"PeriodTypes", CriterionKind::kLong},
    {"IsAccStreamType", CriterionKind::kBool},
    {"AccStreamTypes", CriterionKind::kLong},
    {"IsAccStreamOpeness", CriterionKind::kBool},
    {"AccStreamOpen", CriterionKind::kLong},
    {"IsAccStreamsList", CriterionKind::kBool},
    {"AccStreamsList", CriterionKind::kList},
    {"IsTaxpayers", CriterionKind::kBool},
    {"TaxpayersType", CriterionKind::kLong},
    {"TaxpayersList", CriterionKind::kList},
    {"IncludeMainOrgDocs", CriterionKind::kBool},
    {"IsSignDate", CriterionKind::kBool},
    {"SignDate1", CriterionKind::kDate},
    {"SignDate2", CriterionKind::kDate},
    {"IsSignerFio", CriterionKind::kBool},
    {"SignerSurname", CriterionKind::kText},
    {"IsContoraPrefix1", CriterionKind::kBool},
    {"ContoraPrefix1", CriterionKind::kText},
    {"IsContoraPrefix2", CriterionKind::kBool},
    {"ContoraPrefix2", CriterionKind::kText},
    {"ContoraJoining", CriterionKind::kLong},
    {"WholePfrCluster", CriterionKind::kBool},
};

Variant Initial(CriterionKind kind) {
  switch (kind) {
    case CriterionKind::kBool:
      return Variant(false);
    case CriterionKind::kLong:
      return Variant(int32_t{0});
    case CriterionKind::kDouble:
      return Variant(0.0);
    case CriterionKind::kText:
      return Variant(std::string());
    case CriterionKind::kDate:
      return Variant();
    case CriterionKind::kList:
      return Variant(ObjectPtr(std::make_shared<Collection>()));
  }
  return Variant();
}

Variant Converted(CriterionKind kind, const Variant& v) {
  switch (kind) {
    case CriterionKind::kBool:
      return Variant(CBool(v));
    case CriterionKind::kLong:
      return Variant(CLng(v));
    case CriterionKind::kDouble:
      return Variant(CDbl(v));
    case CriterionKind::kText:
      return Variant(CStr(v));
    case CriterionKind::kDate:
      return v.IsEmpty() || v.IsNull() ? v : Variant(CDate(v));
    case CriterionKind::kList:
      if (!v.IsObject() || !std::dynamic_pointer_cast<Collection>(v.AsObject()))
        ThrowVb(vberr::kTypeMismatch, "a collection of identifiers was expected");
      return v;
  }
  return v;
}

// "Property IsDocStatus As Boolean": what help prints; a date criterion is
// Empty until set, a list is a collection of identifiers.
std::shared_ptr<const Signature> SignatureOf(CriterionKind kind) {
  TypeNameFn type = &dispatch::TypeName<Variant>;
  switch (kind) {
    case CriterionKind::kBool:
      type = &dispatch::TypeName<bool>;
      break;
    case CriterionKind::kLong:
      type = &dispatch::TypeName<int32_t>;
      break;
    case CriterionKind::kDouble:
      type = &dispatch::TypeName<double>;
      break;
    case CriterionKind::kText:
      type = &dispatch::TypeName<std::string>;
      break;
    case CriterionKind::kDate:
      break;
    case CriterionKind::kList:
      type = [] { return std::string("VBA.Collection"); };
      break;
  }
  return std::make_shared<const Signature>(Signature{{}, type, 0});
}

}  // namespace

QvDocQuery::QvDocQuery() {
  for (const Criterion& c : kCriteria) values_.push_back(Initial(c.kind));
}

const ClassInfo& QvDocQuery::Info() {
  static const ClassInfo info = [] {
    std::vector<Member> members;
    for (size_t i = 0; i < std::size(kCriteria); ++i) {
      const CriterionKind kind = kCriteria[i].kind;
      members.push_back(Member{std::string(kCriteria[i].name),
                               [i](Object& o, Args args) {
                                 if (!args.empty())
                                   ThrowVb(vberr::kWrongArguments,
                                           "the criterion " + std::string(kCriteria[i].name) +
                                               " takes no arguments");
                                 return static_cast<QvDocQuery&>(o).values_[i];
                               },
                               [i, kind](Object& o, Args args) {
                                 if (args.size() != 1)
                                   ThrowVb(vberr::kWrongArguments, "a criterion takes one value");
                                 static_cast<QvDocQuery&>(o).values_[i] = Converted(kind, args[0]);
                                 return Variant();
                               },
                               SignatureOf(kind)});
    }
    return ClassInfo("Qv_Records.QvDocQuery", std::move(members),
                     [] { return ObjectPtr(std::make_shared<QvDocQuery>()); });
  }();
  return info;
}

[[maybe_unused]] static const bool kRegistered =
    (ProgIdRegistry::Register("Qv_Records.QvDocQuery", &QvDocQuery::Info), true);

}  // namespace qv::records
