#include <functional>
#include <memory>
#include <set>
#include <string>

#include "core/mQvDaoDataBase.h"
#include "core/mQvInnChecking.h"
#include "core/mQvPfrUtils.h"
#include "platform/automation/VbaText.h"
#include "records/EntityMappers.h"
#include "records/LaterCascades.h"
#include "records/MapperSession.h"
#include "records/PersonRelations.h"

namespace qv::records {
namespace {
using namespace col;

// What a user typed may be longer than a KPP: its first 9 characters count.
std::string KppToWrite(std::string_view kpp) {
  return mQvInnChecking::NormalizeKpp(Left(Trim(kpp), 9));
}
std::string Snils(std::string_view number) {
  return mQvPfrUtils::PackPfrNumber(number);
}

// The header: Type picks the detail table, PersonRealID is its row.
constexpr ColumnDef kHeader[] = {Long("Type"), Num("PersonRealID")};
constexpr ColumnMap kHeaderMap{"Person", kHeader};

// Archival is read with the base columns but written only with the lazy
// ones. Addresses and identity documents belong to the person (deleted with
// it, saved first when recursive); countries are shared reference rows.
constexpr ColumnDef kNatural[] = {
    Text("INN"),
    Text("Surname"),
    Text("Name"),
    Text("Patronymic"),
    WrittenWithLazy(Flag("Archival")),
    Lazy(Text("PFRNumber")),
    Lazy(Text("PFRNumberForSelf")),
    Lazy(Date("BirthDate")),
    Lazy(Text("BirthPlace")),
    Lazy(Long("Sex")),
    Lazy(Ref("CitizenshipID")),
    Lazy(Owned(Ref("HomeAddressID"))),
    Lazy(Text("HomeTelephone")),
    Lazy(Owned(Ref("IdentityDocID"))),
    Lazy(Owned(Ref("AccountantDocID"))),
    Lazy(Text("WorkTelephone")),
    Lazy(Text("EMail")),
    Lazy(Owned(Ref("AbroadAddressID"))),
    Lazy(Text("FPINN")),
    Lazy(Date("FPStartDay")),
    Lazy(Text("OGRNIP")),
    Lazy(Text("LegalFormName")),
    Lazy(Text("LegalFormOCOPF")),
    Lazy(Text("ActivityName")),
    Lazy(Text("ActivityOCVED")),
    Lazy(Text("FSSRegNumber")),
    Lazy(Text("FSSRegNumForSelf")),
    Lazy(Text("OCPO")),
    Lazy(Owned(Ref("PboulRegCertificateID"))),
    Lazy(Converted(Text("SNILS"), &Snils, &Snils)),
    Lazy(Text("EstateFormName")),
    Lazy(Text("EstateFormOCFS")),
    Lazy(Text("KGRKORegNum")),
    Lazy(Text("KGRKOOrdNum")),
};
constexpr ColumnMap kNaturalMap{"NaturalPerson", kNatural};

constexpr ColumnDef kLegal[] = {
    Text("INN"),
    Converted(Text("KPP"), &mQvInnChecking::NormalizeKpp, &KppToWrite),
    Text("ShortName"),
    Text("FullName"),
    Long("LPCategory"),
    WrittenWithLazy(Flag("Archival")),
    Lazy(Text("PFRNumber")),
    Lazy(Bool("IsSameAddress")),
    Lazy(Owned(Ref("CtrlAddressID"))),
    Lazy(Owned(Ref("RegAddressID"))),
    Lazy(Text("OGRN")),
    Lazy(Text("Category")),
    Lazy(Text("OCPO")),
    Lazy(Text("OCOGU")),
    Lazy(Text("OCATO")),
    Lazy(Text("OCTMO")),
    Lazy(Text("SectorName")),
    Lazy(Text("SectorOCONH")),
    Lazy(Text("ActivityOCDP")),
    Lazy(Text("ActivityName")),
    Lazy(Text("ActivityOCVED")),
    Lazy(Text("EstateFormName")),
    Lazy(Text("EstateFormOCFS")),
    Lazy(Text("CtrlOrganOCPO")),
    Lazy(Text("LegalFormName")),
    Lazy(Text("LegalFormOCOPF")),
    Lazy(Owned(Ref("InnRegCertificateID"))),
    Lazy(Text("BankRegNumber")),
    Lazy(Text("BankBIC")),
    Lazy(Text("BankMFO")),
    Lazy(Text("BankReceiver")),
    Lazy(Text("Phone")),
    Lazy(Text("Fax")),
    Lazy(Text("EMail")),
    Lazy(Ref("FPRegCountryID")),
    Lazy(Ref("FPPermanentCountryID")),
    Lazy(Owned(Ref("FPRegAddrID"))),
    Lazy(Text("FPName")),
    Lazy(Text("FPINN")),
    Lazy(Text("EGRSSDCode")),
    Lazy(Text("BudgMasterName")),
    Lazy(Text("BudgMasterPPP")),
    Lazy(Text("KGRKORegNum")),
    Lazy(Text("KGRKOOrdNum")),
    Lazy(Text("FSSRegNumber")),
    Lazy(Text("FssAddCode")),
};
constexpr ColumnMap kLegalMap{"LegalPerson", kLegal};

constexpr int32_t kNaturalType = 1;
constexpr int32_t kLegalType = 2;
constexpr DetailMap kDetails[] = {{kNaturalType, &kNaturalMap}, {kLegalType, &kLegalMap}};
constexpr DetailDef kDetail{"Type", "PersonRealID", kDetails};

// The relations of PersonRelations.h, read with the lazy columns from the
// database the record is read from: only an organisation can be a branch.
// An organisation's two marks are one select, which on a server goes with
// the lazy row's.
std::function<void(QvRecord&)> ReadRelations(dao::Database& db, QvRecord& rec) {
  static const int type = rec.PropertyIndex("Type");
  static const int isBranch = rec.PropertyIndex("IsBranch");
  static const int isAccPerson = rec.PropertyIndex("IsAccPerson");
  if (CLng(rec.Value(type)) != kLegalType)
    return [&db](QvRecord& r) { r.SetValue(isAccPerson, Variant(IsAccPerson(db, r.Id()))); };
  auto marks = std::make_shared<PersonMarksReader>(db, rec.Id());
  return [marks](QvRecord& r) {
    const PersonMarks m = marks->Read();
    r.SetValue(isBranch, Variant(m.branch));
    r.SetValue(isAccPerson, Variant(m.accounted));
  };
}

// Persons whose delete is under way on this thread: a branch relation that
// loops back (A under B under A) must not recurse for ever.
thread_local std::set<double> tPersonsDeleting;

// What depends on the person goes first: its branches (recursively), its
// streams, its insured persons, the jobs where it is the job place or the worker, its branch
// and accounted-person marks, and its entries in the rights system.
void DeletePersonDependents(dao::Database& db, QvRecord& rec) {
  const double id = rec.Id();
  if (!tPersonsDeleting.insert(id).second) return;
  struct Done {
    double id;
    ~Done() { tPersonsDeleting.erase(id); }
  } done{id};
  const std::string sid = mQvDaoDataBase::Number2DaoSql(id);
  DeleteRecordsListed(db, "SELECT ChildPersonID AS ID FROM Branches Where ParentPersonID = " + sid,
                      "Qv_Records.QvPerson");
  DeleteRecordsListed(db, "SELECT ID FROM AccStream Where PersonID = " + sid,
                      "Qv_Records.QvAccStream");
  DeletePfrPersonsOfTaxpayer(db, id);
  const auto target = SharedDatabase(db);
  mQvDaoDataBase::QvExecuteSql("Delete From Personnel Where JobPlaceId = " + sid, target);
  mQvDaoDataBase::QvExecuteSql("Delete From Personnel Where WorkerID = " + sid, target);
  RemoveBranch(db, id);
  RemoveAccPerson(db, id);
  DeletePermObjectReferences(db, kPermBlockNaturalPerson, id);
  DeletePermObjectReferences(db, kPermBlockLegalPerson, id);
}
}  // namespace

const MapperDef& DBPerson::Def() {
  static const MapperDef def{
      "Qv_Records.QvPerson",
      kHeaderMap,
      true,
      {.aroundLazyRead = &ReadRelations, .beforeDelete = &DeletePersonDependents},
      nullptr,
      &kDetail};
  return def;
}

QV_DEFINE_CLASS(DBPerson, "Qv_DBProvider.DBPerson", QV_CREATABLE(DBPerson),
                QV_LAZY_MAPPER_MEMBERS(DBPerson))

}  // namespace qv::records
