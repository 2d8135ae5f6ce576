#include "records/FileMappers.h"

namespace qv::records {
namespace {
using namespace col;
// The stored file belongs to its attachment: deleting the attachment
// deletes the file's row first.
constexpr ColumnDef kAttachmentDocColumns[] = {Owned(Ref("StoredFileID")), Num("DocumentID"),
                                               Long("AttachmentType")};
constexpr ColumnMap kAttachmentDocMap{"Doc_Attachments", kAttachmentDocColumns};
}  // namespace

const MapperDef& DBAttachmentDoc::Def() {
  static const MapperDef def{"Qv_Records.QvAttachmentDoc", kAttachmentDocMap, true};
  return def;
}

QV_DEFINE_CLASS(DBAttachmentDoc, "Qv_DBProvider.DBAttachmentDoc", QV_CREATABLE(DBAttachmentDoc),
                QV_MAPPER_MEMBERS(DBAttachmentDoc))

}  // namespace qv::records
