#include "platform/dao/Recordset.h"
#include "records/ReferenceMappers.h"

namespace qv::records {
namespace {
using namespace col;
// AccStreamID is read from the row but written from the owner the caller names.
constexpr ColumnDef kOfrLicenseColumns[] = {
    ReadOnly(Num("AccStreamID")), Text("Number"),      Date("DateBeg"), Date("DateEnd"),
    Text("IssuerName"),           Long("OfrLicTypeID")};
constexpr ColumnMap kOfrLicenseMap{"AccStreamOfrLicenses", kOfrLicenseColumns, "ID", "ID"};

void WriteOwner(dao::Recordset& rs, QvRecord&, const Variant& parentId) {
  rs.SetField("AccStreamID", Variant(CDbl(parentId)));
}
}  // namespace

const MapperDef& DBOfrLicense::Def() {
  static const MapperDef def{
      "Qv_Records.QvOfrLicense", kOfrLicenseMap, true, {.beforeUpdate = &WriteOwner}};
  return def;
}

void DBOfrLicense::SaveRecord(const Variant& aRecord, bool aRecursive, double aParentID) {
  Guard(QV_HERE, [&] {
    auto rec = RecordArg(Def(), aRecord);
    SaveRow(*MapperUserDatabase(), Def(), *rec, aRecursive, Variant(aParentID));
  });
}

QV_DEFINE_CLASS(DBOfrLicense, "Qv_DBProvider.DBOfrLicense", QV_CREATABLE(DBOfrLicense),
                Method("ReadRecord(aID, aRecord)", &DBOfrLicense::ReadRecord),
                Method("SaveRecord(aRecord, aRecursive, aParentID)", &DBOfrLicense::SaveRecord),
                Method("DeleteRecord(aRecord)", &DBOfrLicense::DeleteRecord),
                Method("IsRecordExists(aID)", &DBOfrLicense::IsRecordExists))

}  // namespace qv::records
