#include "records/EntityMappers.h"

namespace qv::records {
namespace {
using namespace col;
// Countries and regions are read-only types: a recursive save leaves them.
constexpr ColumnDef kAddressColumns[] = {Text("KladrCode"), Ref("CountryID"), Text("PostIndex"),
                                         Ref("RegionID"),   Text("Area"),     Text("City"),
                                         Text("Village"),   Text("Street"),   Text("House"),
                                         Text("Building"),  Text("Flat"),     Text("NonStruct")};
constexpr ColumnMap kAddressMap{"Address", kAddressColumns};
}  // namespace

const MapperDef& DBAddress::Def() {
  static const MapperDef def{"Qv_Records.QvAddress", kAddressMap, true};
  return def;
}

QV_DEFINE_CLASS(DBAddress, "Qv_DBProvider.DBAddress", QV_CREATABLE(DBAddress),
                QV_MAPPER_MEMBERS(DBAddress))

}  // namespace qv::records
