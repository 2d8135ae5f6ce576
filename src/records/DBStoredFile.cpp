#include "records/FileMappers.h"

namespace qv::records {
namespace {
using namespace col;
constexpr ColumnDef kColumns[] = {Long("CompressionType"), Text("StoreName"), Text("OriginalName"),
                                  Long("FormatType")};
constexpr ColumnMap kMap{"StoredFiles", kColumns};
}  // namespace

const MapperDef& DBStoredFile::Def() {
  static const MapperDef def{"Qv_Records.QvStoredFile", kMap, true};
  return def;
}

QV_DEFINE_CLASS(DBStoredFile, "Qv_DBProvider.DBStoredFile", QV_CREATABLE(DBStoredFile),
                QV_MAPPER_MEMBERS(DBStoredFile))

}  // namespace qv::records
