// PersonQueries::CheckPersonBeforeSaving: the duplicate checks run before a
// person record is saved.

#include <optional>
#include <utility>
#include <vector>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/mQvInnChecking.h"
#include "platform/automation/VbaText.h"
#include "queries/PersonQueries.h"
#include "queries/mQueryLists.h"
#include "siblings/records/QvRecord.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

namespace {

constexpr std::string_view kPersonProgId = "Qv_Records.QvPerson";

// A text property of the record; empty for a Null.
std::string Text(records::QvRecord& rec, std::string_view name) {
  const Variant& v = rec.Value(rec.PropertyIndex(name));
  return v.IsNull() || v.IsEmpty() ? std::string() : CStr(v);
}

// One check: column = value pairs that must all match another person.
struct Check {
  std::vector<std::pair<std::string_view, std::string>> equal;
  int32_t code;
};

// The smallest identifier of another person of the kind meeting the
// check, when there is one. `aFrom` is the head of the statement up to its
// conditions.
std::optional<double> Collision(const std::string& aFrom, const Check& aCheck, double aOwnID) {
  std::string condition;
  for (const auto& [column, value] : aCheck.equal) {
    if (value.empty()) return std::nullopt;  // only checks whose texts are all given
    if (!condition.empty()) condition += " and ";
    condition += std::string(column) + "=" + DaoQString(value);
  }
  const std::string where = condition + " and pr.id<>" + Number2DaoSql(aOwnID);
  if (CLng(QvQueryValue("select count(*) " + aFrom + where)) == 0) return std::nullopt;
  return CDbl(QvQueryValue("select min(pr.id) " + aFrom + where));
}

}  // namespace

bool PersonQueries::CheckPersonBeforeSaving(ObjectPtr aRecord, int32_t& aResult,
                                            double& aCollisionObjectID) {
  return Guard(QV_HERE, [&] {
    aResult = kPersonCheckPassed;
    aCollisionObjectID = 0;
    if (!aRecord) ThrowVb(vberr::kObjectRequired, "the person record is Nothing");
    auto rec = std::dynamic_pointer_cast<records::QvRecord>(aRecord);
    if (!rec || !EqualsAsciiNoCase(rec->Class().ProgId(), kPersonProgId)) {
      aResult = kNotAPersonRecord;
      return false;
    }
    const int32_t type = CLng(rec->Value(rec->PropertyIndex("Type")));
    std::string from;
    std::vector<Check> checks;
    if (type == 2) {
      from =
          "from Person as pr "
          "inner join LegalPerson as lp on pr.PersonRealID=lp.id "
          "where pr.type = 2 and ";
      // The KPP as the person mapper will store it: trimmed, cut to 9, normalised.
      std::string kpp = Text(*rec, "KPP");
      kpp = mQvInnChecking::NormalizeKpp(Left(Trim(kpp), 9));
      checks = {{{{"lp.inn", Text(*rec, "INN")}, {"lp.kpp", kpp}}, kSameInnAndKpp},
                {{{"lp.ShortName", Text(*rec, "ShortName")}}, kSameShortName},
                {{{"lp.FullName", Text(*rec, "FullName")}}, kSameFullName}};
    } else if (type == 1) {
      from =
          "from Person as pr "
          "inner join NaturalPerson as np on pr.PersonRealID=np.id "
          "where pr.type = 1 and ";
      checks = {{{{"np.inn", Text(*rec, "INN")}}, kSameNaturalInn},
                {{{"np.Surname", Text(*rec, "Surname")},
                  {"np.Name", Text(*rec, "Name")},
                  {"np.Patronymic", Text(*rec, "Patronymic")}},
                 kSameFullPersonName}};
    } else {
      aResult = kNotAPersonRecord;
      return false;
    }
    for (const Check& check : checks) {
      if (auto id = Collision(from, check, rec->Id())) {
        aResult = check.code;
        aCollisionObjectID = *id;
        return false;
      }
    }
    return true;
  });
}

}  // namespace qv::queries
