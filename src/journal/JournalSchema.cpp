// Tables of the event log (entries, their detail lines, the switch) and of the
// work journal (personnel events and the journal's free-text dictionaries).

#include "core/schema/FieldHelpers.h"
#include "core/schema/SubsystemSchemas.h"

namespace qv::schema {
namespace {

using namespace fields;

// Log entries, keyed by a GUID; an object identifier of 0 is stored as Null.
constexpr FieldDef kVarData[] = {
    Key(Guid("ID")),     Date("EventTime"), Long("UserID"),      Text("UserName"),
    Text("HostInfo"),    Long("EventType"), Text("EventName"),   Dbl("ObjectID1"),
    Text("ObjectName1"), Dbl("ObjectID2"),  Text("ObjectName2"), Dbl("ObjectID3"),
    Text("ObjectName3"), Dbl("ObjectID4"),  Text("ObjectName4"), Text("Data1"),
    Text("Data2"),       Text("Text1"),
};
constexpr IndexDef kVarDataIdx[] = {PrimaryKey("Id", "ID"), Index("EventTime", "EventTime")};

// Detail lines of an entry, 1-based InfoOrder within the entry.
constexpr FieldDef kVarData2[] = {
    Key(Guid("ID")),   Guid("VarDataID"), Long("InfoType"),
    Long("InfoOrder"), Text("InfoData1"), Text("InfoData2"),
};
constexpr IndexDef kVarData2Idx[] = {PrimaryKey("Id", "ID"), Index("VarDataID", "VarDataID")};

// One row: LActive 1 = logging on, 0 = off.
constexpr FieldDef kVarParams[] = {Long("LActive")};

// Personnel events of an insured person. The 1/0 flags (IsSbd, EvIsPartTime,
// App*IsPresent) are compared with 1, hence Long.
constexpr FieldDef kWjEvents[] = {
    Key(Long("ID")),
    Dbl("PfrPersonID"),
    Long("EventType"),
    Long("TrackingType"),
    Long("EmitState"),
    Long("CancelState"),
    Dbl("EmitDocID"),
    Long("EmitTable"),
    Long("EmitRow"),
    Dbl("CancelledEventID"),
    Dbl("CancelledByEventID"),
    Long("PersonDataSource"),
    Text("Surname"),
    Text("PersonName"),
    Text("Patronymic"),
    Text("PfrNumber"),
    Text("Inn"),
    Date("BirthDate"),
    Long("IsSbd"),
    Long("SbdYear"),
    Long("SbdMonth"),
    Long("SbdDay"),
    Text("Uid"),
    Text("SrcUid"),
    Date("EvDate"),
    Date("SrcDate"),
    Long("EvKind"),
    Text("EvDetails"),
    Text("EvPost"),
    Text("EvDivision"),
    Text("EvJobDescr"),
    Text("EvFuncCode"),
    Long("EvIsPartTime"),
    Text("EvDismTkSect"),
    Text("EvDismTkPara"),
    Text("EvDismBName"),
    Text("EvDismBSect"),
    Text("EvDismBPart"),
    Text("EvDismBPara"),
    Text("EvDismBSubPara"),
    Text("EvDismReason"),
    Date("EvBegDate"),
    Date("EvEndDate"),
    Text("EvBasdoc1Name"),
    Text("EvBasdoc1Series"),
    Text("EvBasdoc1Number"),
    Text("EvBasdoc2Name"),
    Text("EvBasdoc2Series"),
    Text("EvBasdoc2Number"),
    Date("EvBasdoc1Date"),
    Date("EvBasdoc2Date"),
    Long("AppTkIsPresent"),
    Long("AppTdIsPresent"),
    Date("AppTkDate"),
    Date("AppTdDate"),
    Long("AppTkState"),
    Long("AppTdState"),
    Text("EvNorthCode"),
    Text("EvFuncCode2"),
    Text("EvDismBMiniPara"),
    Long("EvDismBType"),
    Dbl("CitizenID"),
    Text("StatusCode"),
    Text("EvFuncCodeGpc"),
    Text("EvDismReasonCode"),
    Text("EvPartTimeCode"),
};
constexpr IndexDef kWjEventsIdx[] = {
    PrimaryKey("Id", "ID"),
    Index("PfrPersonID", "PfrPersonID"),
    Index("EmitDocID", "EmitDocID"),
};

// Suggestion lists of the journal, per dictionary and optional sub-key.
constexpr FieldDef kWjSoftDicts[] = {Key(Long("ID")), Long("DictType"), Dbl("SubID"), Text("Name")};

constexpr TableDef kJournalTables[] = {
    {"VarData", kVarData, kVarDataIdx},    {"VarData2", kVarData2, kVarData2Idx},
    {"VarParams", kVarParams, {}},         {"WjEvents", kWjEvents, kWjEventsIdx},
    {"WjSoftDicts", kWjSoftDicts, kIdIdx},
};

constexpr SchemaStep kJournalSteps[] = {
    {DbFile::kUser, 1, kJournalTables},
};

}  // namespace

std::span<const SchemaStep> JournalSchemaSteps() {
  return kJournalSteps;
}

}  // namespace qv::schema
