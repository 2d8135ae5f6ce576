#include "records/ReferenceMappers.h"

namespace qv::records {
namespace {
using namespace col;
constexpr ColumnDef kIdentityTypeColumns[] = {
    Long("GroupID"), Text("Code"),    Text("SeriesPattern"), Text("NumberPattern"),
    Text("name"),    Text("PfrCode"), Text("TndflCode")};
constexpr ColumnMap kIdentityTypeMap{"CertificateType", kIdentityTypeColumns};
}  // namespace

const MapperDef& DBIdentityType::Def() {
  static const MapperDef def{"Qv_Records.QvIdentityType", kIdentityTypeMap};
  return def;
}

QV_DEFINE_CLASS(DBIdentityType, "Qv_DBProvider.DBIdentityType", QV_CREATABLE(DBIdentityType),
                QV_MAPPER_MEMBERS(DBIdentityType))

}  // namespace qv::records
