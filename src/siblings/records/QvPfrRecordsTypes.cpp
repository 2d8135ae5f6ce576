// The record types of the Qv_PfrRecords library (pension-fund persons,
// sub-documents with their cells and errors, addresses, packs, social
// insurance exchanges, the work journal). Same conventions as
// QvRecordsTypes.cpp.

#include "siblings/records/RecordType.h"

namespace qv::records {

namespace {

using namespace decl;

constexpr int8_t kCells = 1;
constexpr int8_t kErrors = 2;

#define QR(name) "Qv_Records." name
#define PR(name) "Qv_PfrRecords." name
#define DBP(name) "Qv_DBProvider." name

constexpr PropertyDef kPfrPerson[] = {
    Text("Surname"), Text("Name"), Text("Patronymic"), Text("TabNumber"), Text("PfrNumber"),
    Text("Inn"), Bool("IsDismissed"), Date("DismissDate"),
    // lazy; Person is the taxpayer whose employee this is
    Sub("Person", QR("QvPerson"), kL), Date("BirthDate", kL), Long("BirthPlaceType", kL),
    Text("BirthCountry", kL), Text("BirthRegion", kL), Text("BirthDistrict", kL),
    Text("BirthCity", kL), Long("Gender", kL), Sub("Passport", QR("QvIdentity"), kL),
    Sub("RegAddress", PR("QvPfrAddress"), kL), Bool("IsActualAddressNonTrivial", kL),
    Sub("ActualAddress", PR("QvPfrAddress"), kL), Text("HomePhone", kL), Text("WorkPhone", kL),
    Sub("Citizen", QR("QvAdrCountry"), kL), Long("ResidentStatus", kL),
    Sub("ForeignCountry", QR("QvAdrCountry"), kL), Text("ForeignAddress", kL),
    Text("InnForeign", kL)};

// Cells and errors are read on first use (the mapper's ReadCells and
// ReadErrors hand a collection over). A caller that edits the items of a
// collection sets CellsModified / ErrorsModified; assigning a whole
// collection sets it by itself.
constexpr LazyGroupDef kSubDocGroups[] = {
    kLazyFields, {"Cells", "ReadCells", "CellsLoaded"}, {"Errors", "ReadErrors", "ErrorsLoaded"}};

constexpr PropertyDef kPfrSubDoc[] = {
    Long("SubDocType"),
    Sub("PfrPerson", PR("QvPfrPerson")),
    Bool("Disabled"),
    Num("EndDocumentID"),
    Long("EndPersonNumber"),
    Long("MaxErrorLevel"),
    Num("ManualSheafID"),
    Num("DocumentID", kL),
    Marking(List("Cells", PR("QvPfrCell"), kCells), "CellsModified"),
    Flag("CellsModified"),
    Marking(List("Errors", PR("QvPfrError"), kErrors), "ErrorsModified"),
    Flag("ErrorsModified")};

constexpr PropertyDef kPfrCell[] = {Long("Key"), Long("LineNum"), Long("TableNum"),
                                    Long("ValueType"), Text("Value")};

constexpr PropertyDef kPfrError[] = {Long("ListCode"), Long("LineNum"), Text("SubjectName"),
                                     Long("ErrorLevel"), Text("ErrorText")};

constexpr PropertyDef kPfrAddress[] = {Text("KladrCode"),
                                       Long("AddressType"),
                                       Text("PostIndex"),
                                       Sub("Country", QR("QvAdrCountry")),
                                       Sub("Region", QR("QvAdrRegion")),
                                       Text("Area"),
                                       Text("City"),
                                       Text("Point"),
                                       Text("Street"),
                                       Text("House"),
                                       Text("Building"),
                                       Text("Flat"),
                                       Text("AbArea"),
                                       Text("AbCity"),
                                       Text("AbPoint"),
                                       Text("AbStreet"),
                                       Text("AbHouse"),
                                       Text("AbBuilding"),
                                       Text("AbFlat"),
                                       Text("NonStruct")};

constexpr PropertyDef kPfrManualSheaf[] = {Num("DocumentID"), Text("Caption")};

constexpr PropertyDef kFssDocCircle[] = {Long("Status"),
                                         Num("DocumentID", kL),
                                         Text("SrvFileID", kL),
                                         Date("SendDate", kL),
                                         Text("ServerAddress", kL),
                                         Sub("DocText_Blob", QR("QvDataBlob"), kL),
                                         Sub("LastHtml_Blob", QR("QvDataBlob"), kL),
                                         Date("LastHtmlDate", kL),
                                         Sub("Ticket_Blob", QR("QvDataBlob"), kL),
                                         Date("TicketDate", kL)};

constexpr PropertyDef kWjEvent[] = {Num("PfrPersonID"),
                                    Long("EventType"),
                                    Long("TrackingType"),
                                    Long("EmitState"),
                                    Long("CancelState"),
                                    Num("EmitDocID"),
                                    Long("EmitTable"),
                                    Long("EmitRow"),
                                    Num("CancelledEventID"),
                                    Num("CancelledByEventID"),
                                    Long("PersonDataSource"),
                                    Text("Surname"),
                                    Text("PersonName"),
                                    Text("Patronymic"),
                                    Text("PfrNumber"),
                                    Text("Inn"),
                                    Date("BirthDate"),
                                    Bool("IsSbd"),
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
                                    Bool("EvIsPartTime"),
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
                                    Bool("AppTkIsPresent"),
                                    Bool("AppTdIsPresent"),
                                    Date("AppTkDate"),
                                    Date("AppTdDate"),
                                    Long("AppTkState"),
                                    Long("AppTdState"),
                                    Text("EvNorthCode"),
                                    Text("EvFuncCode2"),
                                    Text("EvDismBMiniPara"),
                                    Long("EvDismBType"),
                                    Sub("Citizen", QR("QvAdrCountry")),
                                    Text("StatusCode"),
                                    Text("EvFuncCodeGpc"),
                                    Text("EvDismReasonCode"),
                                    Text("EvPartTimeCode")};

constexpr RecordType kQvPfrRecordsTypes[] = {
    {.progId = PR("QvPfrPerson"),
     .mapperProgId = DBP("DBPfrPerson"),
     .properties = kPfrPerson,
     .groups = kLazyOnly},
    {.progId = PR("QvPfrSubDoc"),
     .mapperProgId = DBP("DBPfrSubDoc"),
     .properties = kPfrSubDoc,
     .groups = kSubDocGroups},
    {.progId = PR("QvPfrCell"), .properties = kPfrCell},
    {.progId = PR("QvPfrError"), .properties = kPfrError},
    {.progId = PR("QvPfrAddress"), .mapperProgId = DBP("DBPfrAddress"), .properties = kPfrAddress},
    {.progId = PR("QvPfrManualSheaf"),
     .mapperProgId = DBP("DBPfrManualSheaf"),
     .properties = kPfrManualSheaf},
    {.progId = PR("QvFssDocCircle"),
     .mapperProgId = DBP("DBFssDocCircle"),
     .properties = kFssDocCircle,
     .groups = kLazyOnly},
    {.progId = PR("QvWjEvent"), .mapperProgId = DBP("DBWjEvent"), .properties = kWjEvent},
};

#undef QR
#undef PR
#undef DBP

}  // namespace

std::span<const RecordType> QvPfrRecordsTypes() {
  return kQvPfrRecordsTypes;
}

}  // namespace qv::records
