#include "records/FileMappers.h"

namespace qv::records {
namespace {
using namespace col;
constexpr ColumnDef kStoredFileColumns[] = {Long("CompressionType"), Text("StoreName"),
                                            Text("OriginalName"), Long("FormatType")};
constexpr ColumnMap kStoredFileMap{"StoredFiles", kStoredFileColumns};
}  // namespace

const MapperDef& DBStoredFile::Def() {
  static const MapperDef def{"Qv_Records.QvStoredFile", kStoredFileMap, true};
  return def;
}

QV_DEFINE_CLASS(DBStoredFile, "Qv_DBProvider.DBStoredFile", QV_CREATABLE(DBStoredFile),
                QV_MAPPER_MEMBERS(DBStoredFile))

}  // namespace qv::records
