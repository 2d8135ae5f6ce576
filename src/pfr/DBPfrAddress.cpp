#include "pfr/PfrMappers.h"

namespace qv::pfr {
namespace {
using namespace records::col;
// Countries and regions are read-only reference rows.
constexpr ColumnDef kPfrAddressColumns[] = {
    Text("KladrCode"), Long("AddressType"), Text("PostIndex"),  Ref("CountryID"), Ref("RegionID"),
    Text("Area"),      Text("City"),        Text("Point"),      Text("Street"),   Text("House"),
    Text("Building"),  Text("Flat"),        Text("AbArea"),     Text("AbCity"),   Text("AbPoint"),
    Text("AbStreet"),  Text("AbHouse"),     Text("AbBuilding"), Text("AbFlat"),   Text("NonStruct"),
};
constexpr ColumnMap kPfrAddressMap{"PfrAddress", kPfrAddressColumns};
}  // namespace

const MapperDef& DBPfrAddress::Def() {
  static const MapperDef def{"Qv_PfrRecords.QvPfrAddress", kPfrAddressMap, true};
  return def;
}

QV_DEFINE_CLASS(DBPfrAddress, "Qv_DBProvider.DBPfrAddress", QV_CREATABLE(DBPfrAddress),
                QV_MAPPER_MEMBERS(DBPfrAddress))

}  // namespace qv::pfr
