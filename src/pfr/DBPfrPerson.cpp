#include "core/mQvDaoDataBase.h"
#include "core/mQvPfrUtils.h"
#include "pfr/PfrMappers.h"
#include "pfr/PfrOwnedParts.h"

namespace qv::pfr {
namespace {
using namespace records::col;

// Person_ID is the taxpayer whose employee this is. A save without the lazy
// columns leaves it as stored, which is what the record's taxpayer reads
// as. The passport and both addresses belong to the person: saved first
// when recursive, deleted with it. Countries are shared reference rows.
constexpr ColumnDef kPfrPersonColumns[] = {
    Text("Surname"),
    Text("Name"),
    Text("Patronymic"),
    Text("TabNumber"),
    Converted(Text("PfrNumber"), &mQvPfrUtils::PackPfrNumber, &mQvPfrUtils::PackPfrNumber),
    Text("Inn"),
    Bool("IsDismissed"),
    Date("DismissDate"),
    Lazy(NotSavedFirst(Ref("Person_ID"))),
    Lazy(Date("BirthDate")),
    Lazy(Long("BirthPlaceType")),
    Lazy(Text("BirthCountry")),
    Lazy(Text("BirthRegion")),
    Lazy(Text("BirthDistrict")),
    Lazy(Text("BirthCity")),
    Lazy(Long("Gender")),
    Lazy(Owned(Ref("PassportID"))),
    Lazy(Owned(Ref("RegAddressID"))),
    Lazy(Bool("IsActualAddressNonTrivial")),
    Lazy(Owned(Ref("ActualAddressID"))),
    Lazy(Text("HomePhone")),
    Lazy(Text("WorkPhone")),
    Lazy(Ref("CitizenID")),
    Lazy(Long("ResidentStatus")),
    Lazy(Ref("ForeignCountryID")),
    Lazy(Text("ForeignAddress")),
    Lazy(Text("InnForeign")),
};
constexpr ColumnMap kPfrPersonMap{"PfrPersons", kPfrPersonColumns};
}  // namespace

const MapperDef& DBPfrPerson::Def() {
  static const MapperDef def{"Qv_PfrRecords.QvPfrPerson",
                             kPfrPersonMap,
                             true,
                             {.beforeDelete = &ReadOwnedPartsFirst<DBPfrPerson>}};
  return def;
}

bool DBPfrPerson::HasReferences(double aID) {
  return Guard(QV_HERE, [&] {
    if (aID == 0) return false;
    return mQvDaoDataBase::QvQueryExistence(
        "select top 1 ID from PfrSubDocs where PfrPersonID = " + mQvDaoDataBase::Number2DaoSql(aID),
        records::MapperUserDatabase());
  });
}

void FillPfrPersonFromRow(dao::Recordset& rs, double aID, QvRecord& rec) {
  const double id = aID == -1 ? CDbl(rs.FieldValue("ID")) : aID;
  records::FillFromRow(DBPfrPerson::Def(), rs, id, rec);
}

QV_DEFINE_CLASS(DBPfrPerson, "Qv_DBProvider.DBPfrPerson", QV_CREATABLE(DBPfrPerson),
                QV_LAZY_MAPPER_MEMBERS(DBPfrPerson),
                Method("HasReferences(aID)", &DBPfrPerson::HasReferences))

}  // namespace qv::pfr
