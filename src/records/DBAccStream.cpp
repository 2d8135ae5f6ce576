#include <string>

#include "core/mQvDaoDataBase.h"
#include "core/mQvInnChecking.h"
#include "records/EntityMappers.h"
#include "records/LaterCascades.h"
#include "records/MapperSession.h"

namespace qv::records {
namespace {
using namespace col;

// The tax offices belong to the stream (deleting it deletes the user-defined
// ones); the person, the signers and the mail account are shared. A
// recursive save saves the offices, signers and mail account first, never
// the owning person.
constexpr ColumnDef kAccStreamColumns[] = {
    NotSavedFirst(Ref("PersonID")),
    Text("DisplayName"),
    Bool("AutoDisplayName"),
    Long("AccStreamType"),
    Owned(Ref("TaxOfficeID")),
    Owned(Ref("TaxOffice2ID")),
    Owned(Ref("PropTaxOfficeID")),
    Converted(Text("KPP", "Kpp"), &mQvInnChecking::NormalizeKpp, &mQvInnChecking::NormalizeKpp),
    Long("LastYear"),
    Long("LastMonth"),
    Bool("Archival"),
    Lazy(Ref("FirstLeaderID")),
    Lazy(Ref("SecondLeaderID")),
    Lazy(Ref("ELS_SignerID")),
    Lazy(Ref("ExecutorID")),
    Lazy(Flag("FLS_IsSigned")),
    Lazy(Flag("SLS_IsSigned")),
    Lazy(Flag("ELS_IsSigned")),
    Lazy(Flag("Exec_IsSigned")),
    Lazy(Text("OCATO")),
    Lazy(Text("OCTMO")),
    Lazy(Text("DipostTPCode")),
    Lazy(Bool("UseCourier")),
    Lazy(Ref("CourMailAccount_ID")),
    Lazy(Bool("UseProfiles")),
    Lazy(Text("TfomsNumber")),
    Lazy(Text("TfomsNumberForSelf")),
    Lazy(Text("FssSubCode")),
    Lazy(Text("OfrAbonentCode")),
    Lazy(Text("OfrDeclarantType")),
    Lazy(Text("SwiftCode")),
    Lazy(Text("OfrNationalBIC")),
    Lazy(Text("OfrForeignTaxCode")),
    Lazy(Text("OfrGiin")),
    Lazy(Text("OfrForeignOrgName")),
    Lazy(Text("RfmIdentifier")),
};
constexpr ColumnMap kAccStreamMap{"AccStream", kAccStreamColumns};

// Profile assignments get the stream as their AccStream_ID; licences take
// it as the third argument of their save.
constexpr ChildListDef kLists[] = {
    {.property = "Profiles",
     .itemProgId = "Qv_Records.QvAccProfile",
     .table = "AccStreamProfiles",
     .ownerColumn = "AccStream_ID",
     .ownerProperty = "AccStream_ID"},
    {.property = "OfrLicenses",
     .itemProgId = "Qv_Records.QvOfrLicense",
     .table = "AccStreamOfrLicenses",
     .ownerColumn = "AccStreamID",
     .inheritDeafness = true},
};

// The stream's documents, hand-entered pension sums, consolidation
// memberships, rights-system entries and licences go before the row.
void DeleteStreamDependents(dao::Database& db, QvRecord& rec) {
  const double id = rec.Id();
  const std::string sid = mQvDaoDataBase::Number2DaoSql(id);
  const auto target = SharedDatabase(db);
  DeleteDocumentsOfStream(db, id);
  mQvDaoDataBase::QvExecuteSql("delete from PfrPAManualSums where AccStreamID = " + sid, target);
  mQvDaoDataBase::QvExecuteSql("Delete From ConsMembers Where AccStreamID = " + sid + ";", target);
  DeletePermObjectReferences(db, kPermBlockAccStream, id);
  mQvDaoDataBase::QvExecuteSql("Delete From AccStreamOfrLicenses Where AccStreamID = " + sid + ";",
                               target);
}
}  // namespace

const MapperDef& DBAccStream::Def() {
  static const MapperDef def{"Qv_Records.QvAccStream",
                             kAccStreamMap,
                             true,
                             {.beforeDelete = &DeleteStreamDependents},
                             nullptr,
                             nullptr,
                             kLists};
  return def;
}

QV_DEFINE_CLASS(DBAccStream, "Qv_DBProvider.DBAccStream", QV_CREATABLE(DBAccStream),
                QV_LAZY_MAPPER_MEMBERS(DBAccStream))

}  // namespace qv::records
