#include "records/ReferenceMappers.h"

namespace qv::records {
namespace {
using namespace col;
// A recursive save saves the template, period and stream first (through
// their own mappers); only the stream is ever written, the other two being
// read-only types.
constexpr ColumnDef kConsDocumentColumns[] = {Ref("Template_ID"), Ref("Time_ID"),
                                              Ref("ConsStream_ID"), Date("CreateTime"),
                                              Text("DisplayName")};
constexpr ColumnMap kConsDocumentMap{"ConsDocs", kConsDocumentColumns};
}  // namespace

const MapperDef& DBConsDocument::Def() {
  static const MapperDef def{"Qv_Records.QvConsDocument", kConsDocumentMap, true};
  return def;
}

QV_DEFINE_CLASS(DBConsDocument, "Qv_DBProvider.DBConsDocument", QV_CREATABLE(DBConsDocument),
                QV_MAPPER_MEMBERS(DBConsDocument))

}  // namespace qv::records
