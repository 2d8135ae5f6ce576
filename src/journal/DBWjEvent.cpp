#include "core/mQvDaoDataBase.h"
#include "journal/WorkJournal.h"

namespace qv::journal {
namespace {
using namespace records::col;
using records::ColumnDef;
using records::ColumnMap;

constexpr ColumnDef kWjEventColumns[] = {
    Num("PfrPersonID"),       Long("EventType"),
    Long("TrackingType"),     Long("EmitState"),
    Long("CancelState"),      Num("EmitDocID"),
    Long("EmitTable"),        Long("EmitRow"),
    Num("CancelledEventID"),  Num("CancelledByEventID"),
    Long("PersonDataSource"), Text("Surname"),
    Text("PersonName"),       Text("Patronymic"),
    Text("PfrNumber"),        Text("Inn"),
    Date("BirthDate"),        Flag("IsSbd"),
    Long("SbdYear"),          Long("SbdMonth"),
    Long("SbdDay"),           Text("Uid"),
    Text("SrcUid"),           Date("EvDate"),
    Date("SrcDate"),          Long("EvKind"),
    Text("EvDetails"),        Text("EvPost"),
    Text("EvDivision"),       Text("EvJobDescr"),
    Text("EvFuncCode"),       Text("EvDismTkSect"),
    Text("EvDismTkPara"),     Text("EvDismBName"),
    Text("EvDismBSect"),      Text("EvDismBPart"),
    Text("EvDismBPara"),      Text("EvDismBSubPara"),
    Text("EvDismReason"),     Date("EvBegDate"),
    Date("EvEndDate"),        Text("EvBasdoc1Name"),
    Text("EvBasdoc1Series"),  Text("EvBasdoc1Number"),
    Text("EvBasdoc2Name"),    Text("EvBasdoc2Series"),
    Text("EvBasdoc2Number"),  Date("EvBasdoc1Date"),
    Date("EvBasdoc2Date"),    Flag("AppTkIsPresent"),
    Flag("AppTdIsPresent"),   Date("AppTkDate"),
    Date("AppTdDate"),        Long("AppTkState"),
    Long("AppTdState"),       Text("EvNorthCode"),
    Text("EvFuncCode2"),      Text("EvDismBMiniPara"),
    Long("EvDismBType"),      Ref("CitizenID", "Citizen"),
    Text("StatusCode"),       Text("EvFuncCodeGpc"),
    Text("EvDismReasonCode"), Text("EvPartTimeCode"),
};
constexpr ColumnMap kWjEventMap{"WjEvents", kWjEventColumns};

// The part-time flag is stored for the report but never read back into a
// record, so it is no column of the map.
void WritePartTime(dao::Recordset& rs, records::QvRecord& rec, const Variant&) {
  mQvDaoDataBase::DaoRsSet(rs, "EvIsPartTime",
                           Variant(int32_t{CBool(rec.Get("EvIsPartTime")) ? 1 : 0}));
}
}  // namespace

const records::MapperDef& DBWjEvent::Def() {
  static const records::MapperDef def{
      "Qv_PfrRecords.QvWjEvent", kWjEventMap, true, {.beforeUpdate = &WritePartTime}};
  return def;
}

QV_DEFINE_CLASS(DBWjEvent, "Qv_DBProvider.DBWjEvent", QV_CREATABLE(DBWjEvent),
                QV_MAPPER_MEMBERS(DBWjEvent))

}  // namespace qv::journal
