#include "pfr/PfrMappers.h"

namespace qv::pfr {
namespace {
using namespace records::col;
constexpr ColumnDef kColumns[] = {Num("DocumentID"), Text("Caption")};
constexpr ColumnMap kMap{"PfrManualSheafs", kColumns};
}  // namespace

const MapperDef& DBPfrManualSheaf::Def() {
  static const MapperDef def{"Qv_PfrRecords.QvPfrManualSheaf", kMap, true};
  return def;
}

QV_DEFINE_CLASS(DBPfrManualSheaf, "Qv_DBProvider.DBPfrManualSheaf", QV_CREATABLE(DBPfrManualSheaf),
                QV_MAPPER_MEMBERS(DBPfrManualSheaf))

}  // namespace qv::pfr
