#include "records/ReferenceMappers.h"

namespace qv::records {
namespace {
using namespace col;
constexpr ColumnDef kColumns[] = {Text("DisplayName"), Long("LPCategory")};
constexpr ColumnMap kMap{"ConsStream", kColumns};
}  // namespace

const MapperDef& DBConsStream::Def() {
  static const MapperDef def{"Qv_Records.QvConsStream", kMap, true};
  return def;
}

QV_DEFINE_CLASS(DBConsStream, "Qv_DBProvider.DBConsStream", QV_CREATABLE(DBConsStream),
                QV_MAPPER_MEMBERS(DBConsStream))

}  // namespace qv::records
