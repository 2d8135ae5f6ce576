#include "records/EntityMappers.h"

namespace qv::records {
namespace {
using namespace col;

// User profiles lie below this identifier; from it on, the dictionary's,
// which are never written.
constexpr double kDictRangeStart = 1e8;

constexpr ColumnDef kProfileColumns[] = {Text("Name")};
constexpr ColumnMap kUserProfileMap{"UserProfiles", kProfileColumns};
constexpr ColumnMap kDictProfileMap{"DictProfiles", kProfileColumns};

bool IsUserId(double id) {
  return id < kDictRangeStart;
}
const ColumnMap* ProfileMapFor(double id) {
  return IsUserId(id) ? &kUserProfileMap : &kDictProfileMap;
}
bool UserOnly(QvRecord& rec) {
  return IsUserId(rec.Id());
}

// The obligations: which document class is due for which kind of period.
// A row is its values (no identifier); the dictionary's are read from
// DictProfData.
constexpr ColumnDef kLiabColumns[] = {Long("PeriodType"), Num("Doc_Type_ID")};
constexpr ColumnMap kLiabMap{"UserProfData", kLiabColumns};
std::string_view LiabTableFor(double id) {
  return IsUserId(id) ? "UserProfData" : "DictProfData";
}
constexpr ValueListDef kLiabs[] = {{.property = "Liabs",
                                    .itemProgId = "Qv_Records.QvProfileLiab",
                                    .ownerColumn = "Profile_ID",
                                    .map = kLiabMap,
                                    .readTableFor = &LiabTableFor}};
}  // namespace

const MapperDef& DBStdProfile::Def() {
  static const MapperDef def{
      "Qv_Records.QvStdProfile",
      kUserProfileMap,
      true,
      {.mapFor = &ProfileMapFor, .saveGate = &UserOnly, .deleteGate = &IsUserId},
      &kUserProfileMap,
      nullptr,
      {},
      kLiabs};
  return def;
}

QV_DEFINE_CLASS(DBStdProfile, "Qv_DBProvider.DBStdProfile", QV_CREATABLE(DBStdProfile),
                QV_MAPPER_MEMBERS(DBStdProfile))

}  // namespace qv::records
