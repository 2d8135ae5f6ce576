#include "core/mQvInnChecking.h"
#include "records/ReferenceMappers.h"

namespace qv::records {
namespace {
using namespace col;

// Identifiers below this are system offices (TaxOffice); from it on, user
// offices (UserContoras), the first of which is 1000000001.
constexpr double kUserRangeStart = 1e9;

constexpr ColumnDef kSystemColumns[] = {
    Text("Code"),    Text("ShortName"), Text("FullName"),
    Text("Address"), Text("INN"),       Converted(Text("KPP"), &mQvInnChecking::NormalizeKpp),
    Text("Email"),   Text("Phone"),     Long("ContoraType")};
constexpr ColumnMap kSystemMap{"TaxOffice", kSystemColumns};

// A user office has one name: it fills both names and is written from the
// full one.
constexpr ColumnDef kUserColumns[] = {Text("Code"), ReadOnly(Text("Name", "ShortName")),
                                      Text("Name", "FullName"), Long("ContoraType")};
constexpr ColumnMap kUserOfficeMap{"UserContoras", kUserColumns};

bool IsSystemId(double id) {
  return id > 0 && id < kUserRangeStart;
}
const ColumnMap* OfficeMapFor(double id) {
  return id < kUserRangeStart ? &kSystemMap : &kUserOfficeMap;
}

// A user office has no address, tax numbers or contacts.
void ClearUserOnlyFields(QvRecord& rec) {
  if (rec.Id() < kUserRangeStart) return;
  for (const char* name : {"Address", "INN", "KPP", "Email", "Phone"})
    rec.SetValue(rec.PropertyIndex(name), Variant(std::string()));
}

// System offices are never written; a new office without code or names
// is not worth a row.
bool SaveGate(QvRecord& rec) {
  if (IsSystemId(rec.Id())) return false;
  return rec.Id() != 0 || !CBool(rec.CallV("IsEmpty"));
}

double UserId(double next) {
  return next > kUserRangeStart ? next : kUserRangeStart + 1;
}
bool DeleteGate(double id) {
  return !IsSystemId(id);
}
}  // namespace

const MapperDef& DBTaxOffice::Def() {
  static const MapperDef def{"Qv_Records.QvTaxOffice",
                             kSystemMap,
                             true,
                             {.mapFor = &OfficeMapFor,
                              .afterRead = &ClearUserOnlyFields,
                              .saveGate = &SaveGate,
                              .newId = &UserId,
                              .insertMissing = true,
                              .deleteGate = &DeleteGate},
                             &kUserOfficeMap};
  return def;
}

QV_DEFINE_CLASS(DBTaxOffice, "Qv_DBProvider.DBTaxOffice", QV_CREATABLE(DBTaxOffice),
                QV_MAPPER_MEMBERS(DBTaxOffice))

}  // namespace qv::records
