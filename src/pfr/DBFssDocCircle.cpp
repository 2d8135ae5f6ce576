#include "pfr/PfrMappers.h"
#include "pfr/PfrOwnedParts.h"

namespace qv::pfr {
namespace {
using namespace records::col;
// The three blobs (the text sent, the last answer page, the receipt) belong
// to the exchange: saved first when recursive, deleted with it, through the
// data-blob mapper.
constexpr ColumnDef kFssDocCircleColumns[] = {
    Long("Status"),
    Lazy(Num("DocumentID")),
    Lazy(Text("SrvFileID")),
    Lazy(Date("SendDate")),
    Lazy(Text("ServerAddress")),
    Lazy(Owned(Ref("DocText_BlobID"))),
    Lazy(Owned(Ref("LastHtml_BlobID"))),
    Lazy(Date("LastHtmlDate")),
    Lazy(Owned(Ref("Ticket_BlobID"))),
    Lazy(Date("TicketDate")),
};
constexpr ColumnMap kFssDocCircleMap{"FssDocCircles", kFssDocCircleColumns};
}  // namespace

const MapperDef& DBFssDocCircle::Def() {
  static const MapperDef def{"Qv_PfrRecords.QvFssDocCircle",
                             kFssDocCircleMap,
                             true,
                             {.beforeDelete = &ReadOwnedPartsFirst<DBFssDocCircle>}};
  return def;
}

QV_DEFINE_CLASS(DBFssDocCircle, "Qv_DBProvider.DBFssDocCircle", QV_CREATABLE(DBFssDocCircle),
                QV_LAZY_MAPPER_MEMBERS(DBFssDocCircle))

}  // namespace qv::pfr
