#include "records/ReferenceMappers.h"

namespace qv::records {
namespace {
using namespace col;
constexpr ColumnDef kAdrCountryColumns[] = {Text("Alfa2"), Text("Alfa3"), Text("Code"),
                                            Text("ShortName"), Text("FullName")};
constexpr ColumnMap kAdrCountryMap{"Country", kAdrCountryColumns};
// Country 990 (the "other country" code) is taken to exist without a row.
bool AlwaysThere(double id) {
  return id == 990;
}
}  // namespace

const MapperDef& DBAdrCountry::Def() {
  static const MapperDef def{
      "Qv_Records.QvAdrCountry", kAdrCountryMap, false, {.existsWithoutTable = &AlwaysThere}};
  return def;
}

QV_DEFINE_CLASS(DBAdrCountry, "Qv_DBProvider.DBAdrCountry", QV_CREATABLE(DBAdrCountry),
                QV_MAPPER_MEMBERS(DBAdrCountry))

}  // namespace qv::records
