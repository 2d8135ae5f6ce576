// DBQPfr: the insured persons of a taxpayer and their searches.

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/mQvPfrUtils.h"
#include "pfr/DBQPfr.h"
#include "pfr/PfrMappers.h"
#include "pfr/mPfrQueries.h"
#include "platform/automation/VbaText.h"
#include "records/miRecCollection.h"
#include "siblings/records/RecordFactory.h"

namespace qv::pfr {
using namespace mQvDaoDataBase;
using namespace mPfrQueries;

namespace {

constexpr std::string_view kPersonType = "Qv_PfrRecords.QvPfrPerson";

std::string OfTaxpayer(double aTaxpayerID) {
  return "select ID from PfrPersons where Person_ID = " + Number2DaoSql(aTaxpayerID);
}

// The first made of a taxpayer's persons that meet `aCondition` (" and .."):
// the row of their least key, as a file's index on Person_ID gives them
// first; a server keeps a saved row after the others.
double FirstOfTaxpayer(double aTaxpayerID, const std::string& aCondition) {
  const std::string least =
      "select min(ID) from PfrPersons where Person_ID = " + Number2DaoSql(aTaxpayerID) + aCondition;
  return FirstIdOf("select ID from PfrPersons where ID = (" + least + ")");
}

// " and UCase (Surname)= 'S' and UCase (Name)= 'N' and UCase (Patronymic)= 'P'",
// with `prefix` before each column.
std::string FioCondition(const std::string& prefix, const std::string& aSurname,
                         const std::string& aName, const std::string& aPatronymic) {
  return "UCase (" + prefix + "Surname)= " + DaoQString(UCase(aSurname)) + " and UCase (" + prefix +
         "Name)= " + DaoQString(UCase(aName)) + " and UCase (" + prefix +
         "Patronymic)= " + DaoQString(UCase(aPatronymic));
}

ObjectPtr PersonOrNothing(double aID) {
  if (aID == 0) return nullptr;
  return records::RecordFactory::ForThisThread()->GetRecord(std::string(kPersonType), Variant(aID));
}

// A passport series or number as compared: no blanks or dashes, upper case.
std::string Bare(const std::string& text) {
  return UCase(Replace(Replace(text, " ", ""), "-", ""));
}

}  // namespace

CollectionPtr DBQPfr::GetPfrPersonsByTaxpayer(double aTaxpayerID) {
  // In key order, as a file's index on Person_ID gives them.
  return Guard(QV_HERE, [&] { return PfrPersonsOf(OfTaxpayer(aTaxpayerID) + " order by ID"); });
}

CollectionPtr DBQPfr::GetPfrPersonsByTaxpayerSorted(double aTaxpayerID,
                                                    const std::string& aSortMethod,
                                                    int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    return GetPfrPersonsByTaxpayerEx(aTaxpayerID, false, aSortMethod, aSortDirection);
  });
}

CollectionPtr DBQPfr::GetPfrPersonsByTaxpayerEx(double aTaxpayerID, bool aPreloadNonLazyFields,
                                                const std::string& aSortMethod,
                                                int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    const bool byName = LCase(aSortMethod) == "fio";
    std::string sql = aPreloadNonLazyFields ? "select ID, Surname, Name, Patronymic, TabNumber, "
                                              "PfrNumber, Inn, IsDismissed, DismissDate "
                      : byName              ? "select ID, Surname, Name, Patronymic "
                                            : "select ID ";
    sql += "from PfrPersons where Person_ID = " + Number2DaoSql(aTaxpayerID);
    if (byName) {
      const std::string d = aSortDirection == 1 ? " desc " : "";
      sql += " order by UCase(Surname)" + d + ", UCase (Name)" + d + ", UCase(Patronymic) " + d +
             ", ID " + d;
    } else {
      sql += " order by ID";
    }
    if (!aPreloadNonLazyFields) return PfrPersonsOf(sql);
    DaoRecordsetPtr rs = QvQuerySqlStatic(sql);
    auto out = std::make_shared<Collection>();
    auto factory = records::RecordFactory::ForThisThread();
    for (DaoSafeMoveFirst(*rs); !rs->IsEOF(); rs->MoveNext()) {
      records::QvRecordPtr rec = factory->NewRecord(std::string(kPersonType));
      FillPfrPersonFromRow(*rs, -1, *rec);
      out->Add(Variant(ObjectPtr(rec)));
    }
    rs->Close();
    return CollectionPtr(out);
  });
}

ObjectPtr DBQPfr::FindMergingCandidate(double aTaxpayerID, const std::string& aSurname,
                                       const std::string& aName, const std::string& aPatronymic,
                                       const std::string& aPfrNumber, const std::string& aInn) {
  return Guard(QV_HERE, [&]() -> ObjectPtr {
    const std::string pfrNumber = mQvPfrUtils::PackPfrNumber(aPfrNumber);
    const std::string inn = Trim(aInn);
    if (!inn.empty()) {
      if (double id = FirstOfTaxpayer(aTaxpayerID, " and Inn = " + DaoQString(inn)))
        return PersonOrNothing(id);
    } else if (!pfrNumber.empty()) {
      if (double id = FirstOfTaxpayer(aTaxpayerID, " and PfrNumber = " + DaoQString(pfrNumber)))
        return PersonOrNothing(id);
    }
    if (aSurname.empty()) return nullptr;
    return PersonOrNothing(FirstIdOf(
        OfTaxpayer(aTaxpayerID) + " and " + (pfrNumber.empty() ? "" : "PfrNumber = '' and ") +
        (inn.empty() ? "" : "Inn = '' and ") + FioCondition("", aSurname, aName, aPatronymic) +
        " Order by PfrNumber desc, Inn desc, ID "));
  });
}

CollectionPtr DBQPfr::FindPfrPersonsWithFioByTaxpayer(double aTaxpayerID,
                                                      const std::string& aSurname,
                                                      const std::string& aName,
                                                      const std::string& aPatronymic) {
  return Guard(QV_HERE, [&] {
    return PfrPersonsOf(OfTaxpayer(aTaxpayerID) + " and " +
                        FioCondition("", aSurname, aName, aPatronymic) + " order by ID");
  });
}

CollectionPtr DBQPfr::FindPfrPersonsByPfrNumber(double aTaxpayerID, const std::string& aPfrNumber) {
  return Guard(QV_HERE, [&] {
    return PfrPersonsOf(OfTaxpayer(aTaxpayerID) + " and PfrNumber= " +
                        DaoQString(mQvPfrUtils::PackPfrNumber(aPfrNumber)) + " order by ID");
  });
}

CollectionPtr DBQPfr::FindPfrPersonsByInn(double aTaxpayerID, const std::string& aInn) {
  return Guard(QV_HERE, [&] {
    return PfrPersonsOf(OfTaxpayer(aTaxpayerID) + " and inn= " + DaoQString(aInn) + " order by ID");
  });
}

CollectionPtr DBQPfr::FindPfrPersonByPassport(double aTaxpayerID, const std::string& aSurname,
                                              const std::string& aName,
                                              const std::string& aPatronymic,
                                              int32_t aPassportTypeID,
                                              const std::string& aPassportSeries,
                                              const std::string& aPassportNumber) {
  return Guard(QV_HERE, [&] {
    DaoRecordsetPtr rs = QvQuerySqlStatic(
        "select p.ID, c.Series, c.Number "
        "from PfrPersons AS p "
        "LEFT JOIN Certificate AS c ON p.PassportID = c.ID "
        "where Person_ID = " +

        Number2DaoSql(aTaxpayerID) + " and " + FioCondition("p.", aSurname, aName, aPatronymic) +
        " and c.TypeID = " + Number2DaoSql(aPassportTypeID) + " order by p.ID");
    const std::string series = Bare(aPassportSeries), number = Bare(aPassportNumber);
    auto out = std::make_shared<Collection>();
    for (DaoSafeMoveFirst(*rs); !rs->IsEOF(); rs->MoveNext())
      if (Bare(GetDaoString(*rs, "Series")) == series &&
          Bare(GetDaoString(*rs, "Number")) == number)
        out->Add(Variant(PersonOrNothing(GetDaoDouble(*rs, "ID"))));
    rs->Close();
    return CollectionPtr(out);
  });
}

bool DBQPfr::FindPfrPersonDuplicate(double aTaxpayerID, double aExcludePersonID,
                                    int32_t aWhatToFind, const Variant& aData,
                                    Variant& rDuplicate) {
  return Guard(QV_HERE, [&] {
    if (aWhatToFind != 1 && aWhatToFind != 2) return false;
    const std::string value = aData.IsNull() || aData.IsEmpty() ? "" : CStr(aData);
    const std::string packed = aWhatToFind == 1 ? mQvPfrUtils::PackPfrNumber(value) : value;
    if (packed.empty()) return false;
    const double id =
        FirstOfTaxpayer(aTaxpayerID, " and ID <> " + Number2DaoSql(aExcludePersonID) +
                                         (aWhatToFind == 1 ? " and PfrNumber = " : " and Inn = ") +
                                         DaoQString(packed));
    if (id == 0) return false;
    rDuplicate = Variant(id);
    return true;
  });
}

}  // namespace qv::pfr
