#include "platform/automation/VbaText.h"
#include "records/EntityMappers.h"

namespace qv::records {
namespace {
using namespace col;

// The issuing office's code is kept to 20 characters.
std::string First20(std::string_view code) {
  return Left(code, 20);
}

constexpr ColumnDef kIdentityColumns[] = {
    Ref("TypeID"),      Text("Series"),   Text("Number"),
    Date("IssueDate"),  Text("IssueOrg"), WrittenAs(Text("IssueOrgCode"), &First20),
    Text("DocTypeName")};
constexpr ColumnMap kIdentityMap{"Certificate", kIdentityColumns};
}  // namespace

const MapperDef& DBIdentity::Def() {
  static const MapperDef def{"Qv_Records.QvIdentity", kIdentityMap, true};
  return def;
}

QV_DEFINE_CLASS(DBIdentity, "Qv_DBProvider.DBIdentity", QV_CREATABLE(DBIdentity),
                QV_MAPPER_MEMBERS(DBIdentity))

}  // namespace qv::records
