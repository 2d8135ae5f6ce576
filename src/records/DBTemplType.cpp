#include "records/ReferenceMappers.h"

namespace qv::records {
namespace {
using namespace col;
constexpr ColumnDef kTemplTypeColumns[] = {
    Text("KND"),      Text("Name_Short"), Long("Accumulated"),         Long("Obligable"),
    Long("Buh_Doc"),  Text("Tax_Name"),   Long("Instance_Permission"), Long("scale_index"),
    Long("send_type")};
// Document classes are keyed by doc_type_id (the identifier references hold).
constexpr ColumnMap kTemplTypeMap{"Doc_Type_Class", kTemplTypeColumns, "doc_type_id"};
}  // namespace

const MapperDef& DBTemplType::Def() {
  static const MapperDef def{"Qv_Records.QvTemplType", kTemplTypeMap};
  return def;
}

QV_DEFINE_CLASS(DBTemplType, "Qv_DBProvider.DBTemplType", QV_CREATABLE(DBTemplType),
                QV_MAPPER_MEMBERS(DBTemplType))

}  // namespace qv::records
