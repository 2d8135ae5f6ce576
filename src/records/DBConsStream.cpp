#include "records/ReferenceMappers.h"

namespace qv::records {
namespace {
using namespace col;
constexpr ColumnDef kConsStreamColumns[] = {Text("DisplayName"), Long("LPCategory")};
constexpr ColumnMap kConsStreamMap{"ConsStream", kConsStreamColumns};
}  // namespace

const MapperDef& DBConsStream::Def() {
  static const MapperDef def{"Qv_Records.QvConsStream", kConsStreamMap, true};
  return def;
}

QV_DEFINE_CLASS(DBConsStream, "Qv_DBProvider.DBConsStream", QV_CREATABLE(DBConsStream),
                QV_MAPPER_MEMBERS(DBConsStream))

}  // namespace qv::records
