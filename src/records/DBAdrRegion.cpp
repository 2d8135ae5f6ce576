#include "records/ReferenceMappers.h"

namespace qv::records {
namespace {
using namespace col;
constexpr ColumnDef kAdrRegionColumns[] = {Text("Code"), Text("name"), Text("NameNoAb"),
                                           Text("AbName")};
constexpr ColumnMap kAdrRegionMap{"Region", kAdrRegionColumns};
}  // namespace

const MapperDef& DBAdrRegion::Def() {
  static const MapperDef def{"Qv_Records.QvAdrRegion", kAdrRegionMap};
  return def;
}

QV_DEFINE_CLASS(DBAdrRegion, "Qv_DBProvider.DBAdrRegion", QV_CREATABLE(DBAdrRegion),
                QV_MAPPER_MEMBERS(DBAdrRegion))

}  // namespace qv::records
