#include "pfr/PfrMappers.h"

namespace qv::pfr {
namespace {
using namespace records::col;
constexpr ColumnDef kPfrManualSheafColumns[] = {Num("DocumentID"), Text("Caption")};
constexpr ColumnMap kPfrManualSheafMap{"PfrManualSheafs", kPfrManualSheafColumns};
}  // namespace

const MapperDef& DBPfrManualSheaf::Def() {
  static const MapperDef def{"Qv_PfrRecords.QvPfrManualSheaf", kPfrManualSheafMap, true};
  return def;
}

QV_DEFINE_CLASS(DBPfrManualSheaf, "Qv_DBProvider.DBPfrManualSheaf", QV_CREATABLE(DBPfrManualSheaf),
                QV_MAPPER_MEMBERS(DBPfrManualSheaf))

}  // namespace qv::pfr
