#include "records/ReferenceMappers.h"

namespace qv::records {
namespace {
using namespace col;
constexpr ColumnDef kColumns[] = {Text("Code"), Text("name"), Text("NameNoAb"), Text("AbName")};
constexpr ColumnMap kMap{"Region", kColumns};
}  // namespace

const MapperDef& DBAdrRegion::Def() {
  static const MapperDef def{"Qv_Records.QvAdrRegion", kMap};
  return def;
}

QV_DEFINE_CLASS(DBAdrRegion, "Qv_DBProvider.DBAdrRegion", QV_CREATABLE(DBAdrRegion),
                QV_MAPPER_MEMBERS(DBAdrRegion))

}  // namespace qv::records
