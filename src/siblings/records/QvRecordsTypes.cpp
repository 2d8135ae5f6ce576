// The record types of the Qv_Records library: one entry per type, properties
// in the order their mapper reads them. A property is named after the column
// it maps; a reference column (X_ID, XID) is a sub-record property named X,
// whose ID the mapper sets (SetID) and reads.

#include <vector>

#include "siblings/records/QvRecord.h"
#include "siblings/records/RecordType.h"

namespace qv::records {

namespace {

using namespace decl;

#define QR(name) "Qv_Records." name
#define DBP(name) "Qv_DBProvider." name

// ---- reference records (read-only)

constexpr PropertyDef kAdrCountry[] = {Text("Alfa2"), Text("Alfa3"), Text("Code"),
                                       Text("ShortName"), Text("FullName")};

constexpr PropertyDef kAdrRegion[] = {Text("Code"), Text("Name"), Text("NameNoAb"), Text("AbName")};

constexpr PropertyDef kIdentityType[] = {Long("GroupID"),       Text("Code"), Text("SeriesPattern"),
                                         Text("NumberPattern"), Text("Name"), Text("PfrCode"),
                                         Text("TndflCode")};

constexpr PropertyDef kTemplType[] = {
    Text("KND"),      Text("Name_Short"), Long("Accumulated"),         Long("Obligable"),
    Long("Buh_Doc"),  Text("Tax_Name"),   Long("Instance_Permission"), Long("scale_index"),
    Long("send_type")};

constexpr PropertyDef kTimePeriod[] = {Long("Report_ID"), Long("The_Year"), Date("Beg_Date"),
                                       Date("End_Date"), Long("PeriodOrder")};

constexpr PropertyDef kTemplate[] = {Text("Full_Name"),
                                     Text("Name"),
                                     Date("Begin_Date"),
                                     Date("End_Date"),
                                     Sub("Doc_Type", QR("QvTemplType")),
                                     Long("Enable"),
                                     Long("Month_Payments"),
                                     Long("Payments_List"),
                                     Long("No_Utoch"),
                                     Bool("Sign_Exec"),
                                     Bool("TarvoImportable"),
                                     Long("SignatureRule"),
                                     Long("Scatter_ClassID"),
                                     Long("EditorType"),
                                     Bool("Creatable"),
                                     Bool("PfrMaster"),
                                     Bool("PfrEndDoc"),
                                     Long("ContoraType"),
                                     Long("Varnel_SendType"),
                                     Long("FssSendType"),
                                     Bool("CheckXMLable"),
                                     Bool("CheckUFAble"),
                                     Long("AttachmentsSet"),
                                     Long("FolderID")};

// ---- reference records that are saved

constexpr PropertyDef kTaxOffice[] = {Text("Code"),    Text("ShortName"), Text("FullName"),
                                      Text("Address"), Text("INN"),       Text("KPP"),
                                      Text("Email"),   Text("Phone"),     Long("ContoraType")};

// True for an office with neither code nor name: a new one of those is not
// worth a row.
Variant TaxOfficeIsEmpty(QvRecord& r, Args args) {
  if (!args.empty()) ThrowVb(vberr::kWrongArguments, "IsEmpty takes no arguments");
  for (const char* name : {"Code", "ShortName", "FullName"})
    if (!CStr(r.Value(r.PropertyIndex(name))).empty()) return Variant(false);
  return Variant(true);
}
std::shared_ptr<const Signature> TaxOfficeIsEmptySignature() {
  static const auto s =
      std::make_shared<const Signature>(Signature{{}, &dispatch::TypeName<bool>, 0});
  return s;
}
constexpr ExtraDef kTaxOfficeExtras[] = {
    {"IsEmpty", &TaxOfficeIsEmpty, &TaxOfficeIsEmptySignature}};

constexpr PropertyDef kConsStream[] = {Text("DisplayName"), Long("LPCategory")};

constexpr PropertyDef kConsDocument[] = {
    Sub("Template", QR("QvTemplate")), Sub("Time", QR("QvTimePeriod")),
    Sub("ConsStream", QR("QvConsStream")), Date("CreateTime"), Text("DisplayName")};

constexpr PropertyDef kOfrLicense[] = {Num("AccStreamID"), Text("Number"),
                                       Date("DateBeg"),    Date("DateEnd"),
                                       Text("IssuerName"), Long("OfrLicTypeID")};

// ---- persons

// The natural and the legal person in one record: `Type` 1 uses the first
// block of details, 2 the second; shared columns appear once.
constexpr PropertyDef kPerson[] = {
    Long("Type"), Num("PersonRealID"), Text("INN"), Text("Surname"), Text("Name"),
    Text("Patronymic"), Bool("Archival"), Text("KPP"), Text("ShortName"), Text("FullName"),
    Long("LPCategory"),
    // lazy, natural person
    Text("PFRNumber", kL), Text("PFRNumberForSelf", kL), Date("BirthDate", kL),
    Text("BirthPlace", kL), Long("Sex", kL), Sub("Citizenship", QR("QvAdrCountry"), kL),
    Sub("HomeAddress", QR("QvAddress"), kL), Text("HomeTelephone", kL),
    Sub("IdentityDoc", QR("QvIdentity"), kL), Sub("AccountantDoc", QR("QvIdentity"), kL),
    Text("WorkTelephone", kL), Text("EMail", kL), Sub("AbroadAddress", QR("QvAddress"), kL),
    Text("FPINN", kL), Date("FPStartDay", kL), Text("OGRNIP", kL), Text("LegalFormName", kL),
    Text("LegalFormOCOPF", kL), Text("ActivityName", kL), Text("ActivityOCVED", kL),
    Text("FSSRegNumber", kL), Text("FSSRegNumForSelf", kL), Text("OCPO", kL),
    Sub("PboulRegCertificate", QR("QvIdentity"), kL), Text("SNILS", kL), Text("EstateFormName", kL),
    Text("EstateFormOCFS", kL), Text("KGRKORegNum", kL), Text("KGRKOOrdNum", kL),
    // lazy, legal person (columns shared with the natural person are above)
    Bool("IsSameAddress", kL), Sub("CtrlAddress", QR("QvAddress"), kL),
    Sub("RegAddress", QR("QvAddress"), kL), Text("OGRN", kL), Text("Category", kL),
    Text("OCOGU", kL), Text("OCATO", kL), Text("OCTMO", kL), Text("SectorName", kL),
    Text("SectorOCONH", kL), Text("ActivityOCDP", kL), Text("CtrlOrganOCPO", kL),
    Sub("InnRegCertificate", QR("QvIdentity"), kL), Text("BankRegNumber", kL), Text("BankBIC", kL),
    Text("BankMFO", kL), Text("BankReceiver", kL), Text("Phone", kL), Text("Fax", kL),
    Sub("FPRegCountry", QR("QvAdrCountry"), kL), Sub("FPPermanentCountry", QR("QvAdrCountry"), kL),
    Sub("FPRegAddr", QR("QvAddress"), kL), Text("FPName", kL), Text("EGRSSDCode", kL),
    Text("BudgMasterName", kL), Text("BudgMasterPPP", kL), Text("FssAddCode", kL),
    // derived, read with the lazy columns, never written
    Bool("IsBranch", kL), Bool("IsAccPerson", kL)};

constexpr PropertyDef kAddress[] = {Text("KladrCode"), Sub("Country", QR("QvAdrCountry")),
                                    Text("PostIndex"), Sub("Region", QR("QvAdrRegion")),
                                    Text("Area"),      Text("City"),
                                    Text("Village"),   Text("Street"),
                                    Text("House"),     Text("Building"),
                                    Text("Flat"),      Text("NonStruct")};

constexpr PropertyDef kIdentity[] = {Sub("Type", QR("QvIdentityType")),
                                     Text("Series"),
                                     Text("Number"),
                                     Date("IssueDate"),
                                     Text("IssueOrg"),
                                     Text("IssueOrgCode"),
                                     Text("DocTypeName")};

constexpr PropertyDef kWorker[] = {Sub("JobPlace", QR("QvPerson")),
                                   Sub("Worker", QR("QvPerson")),
                                   Text("PostName"),
                                   Date("BeginDate"),
                                   Date("EndDate"),
                                   Text("Telephone"),
                                   Text("Fax"),
                                   Bool("ShowInBranches"),
                                   Sub("AuthorityDoc", QR("QvIdentity")),
                                   Bool("IsFormalBoss"),
                                   Text("Email")};

// ---- accounting streams and profiles

constexpr PropertyDef kAccStream[] = {
    Sub("Person", QR("QvPerson")), Text("DisplayName"), Bool("AutoDisplayName"),
    Long("AccStreamType"), Sub("TaxOffice", QR("QvTaxOffice")),
    Sub("TaxOffice2", QR("QvTaxOffice")), Sub("PropTaxOffice", QR("QvTaxOffice")), Text("Kpp"),
    Long("LastYear"), Long("LastMonth"), Bool("Archival"),
    // lazy
    Sub("FirstLeader", QR("QvWorker"), kL), Sub("SecondLeader", QR("QvWorker"), kL),
    Sub("ELS_Signer", QR("QvWorker"), kL), Sub("Executor", QR("QvWorker"), kL),
    Bool("FLS_IsSigned", kL), Bool("SLS_IsSigned", kL), Bool("ELS_IsSigned", kL),
    Bool("Exec_IsSigned", kL), Text("OCATO", kL), Text("OCTMO", kL), Text("DipostTPCode", kL),
    Bool("UseCourier", kL), Sub("CourMailAccount", QR("QvCourMailAccount"), kL),
    Bool("UseProfiles", kL), Text("TfomsNumber", kL), Text("TfomsNumberForSelf", kL),
    Text("FssSubCode", kL), Text("OfrAbonentCode", kL), Text("OfrDeclarantType", kL),
    Text("SwiftCode", kL), Text("OfrNationalBIC", kL), Text("OfrForeignTaxCode", kL),
    Text("OfrGiin", kL), Text("OfrForeignOrgName", kL), Text("RfmIdentifier", kL),
    List("Profiles", QR("QvAccProfile"), kL), List("OfrLicenses", QR("QvOfrLicense"), kL)};

constexpr PropertyDef kAccProfile[] = {Num("AccStream_ID"), Sub("Profile", QR("QvStdProfile")),
                                       Long("BegYear"),     Long("BegMonth"),
                                       Long("EndYear"),     Long("EndMonth")};

constexpr PropertyDef kStdProfile[] = {Text("Name"), List("Liabs", QR("QvProfileLiab"))};

constexpr PropertyDef kProfileLiab[] = {Long("PeriodType"), Num("Doc_Type_ID")};

// ---- documents, files and blobs

constexpr PropertyDef kDocument[] = {Sub("Template", QR("QvTemplate")),
                                     Sub("Time", QR("QvTimePeriod")),
                                     Sub("Taxpayer", QR("QvAccStream")),
                                     Date("Registry_Date"),
                                     Long("Less"),
                                     Long("Currency_ID"),
                                     Date("Accept_Date"),
                                     Date("Payment_Date"),
                                     Num("Reg_Number"),
                                     Text("Notes"),
                                     Long("Delivery_Type"),
                                     Long("Doc_Type"),
                                     Num("Top_Doc_ID"),
                                     Num("Bottom_Next_ID"),
                                     Long("Deleted"),
                                     Date("Accept_Term"),
                                     Date("Payment_Term"),
                                     Long("Instance_Number"),
                                     Long("Status_Qv"),
                                     Long("DeliveryNumber"),
                                     Bool("FLS_IsSigned"),
                                     Bool("SLS_IsSigned"),
                                     Bool("ELS_IsSigned"),
                                     Bool("Exec_IsSigned"),
                                     Sub("FLS_Signer", QR("QvWorker")),
                                     Sub("SLS_Signer", QR("QvWorker")),
                                     Sub("ELS_Signer", QR("QvWorker")),
                                     Sub("Exec_Signer", QR("QvWorker")),
                                     Date("SignDate"),
                                     Long("KonStatus"),
                                     Text("KonDC_GUID"),
                                     Sub("CourDocCircle", QR("QvCourDocCircle")),
                                     Long("Status"),
                                     Long("EditorType"),
                                     Text("FileName"),
                                     Sub("FileContent", QR("QvCourBlob")),
                                     Long("EpistolaFileType"),
                                     Bool("Unreaded"),
                                     Sub("PfrMasterDoc", QR("QvDocument")),
                                     Long("PfrPersonsCount"),
                                     Text("PfrMarks"),
                                     Long("PfrNumberingType"),
                                     Long("PfrStartNumber"),
                                     Num("FssDocCircleID"),
                                     Long("IsChecked"),
                                     Long("IsXsdChecked"),
                                     Long("IsCalculated"),
                                     Long("SenderEngine"),
                                     Text("IdentifierOfSend"),
                                     Long("StatusOfSend"),
                                     Date("Registry_Term"),
                                     Long("Mtks_Status"),
                                     Date("Mtks_Status_Date"),
                                     Text("Mtks_Service"),
                                     Text("Mtks_Comment")};

// SaveFields(aFields, [aPerformNotify = False]): writes the field groups
// `aFields` of this stored document through its mapper's SaveDocumentFields.
std::shared_ptr<const Signature> DocumentSaveFieldsSignature() {
  static const auto s = std::make_shared<const Signature>(
      Signature{{Param{"aFields", &dispatch::TypeName<int32_t>, false, false, Variant()},
                 Param{"aPerformNotify", &dispatch::TypeName<bool>, false, true, Variant(false)}},
                nullptr,
                2});
  return s;
}
Variant DocumentSaveFields(QvRecord& r, Args args) {
  std::vector<Variant> storage;
  auto slots = dispatch::BindSlots("SaveFields", args, 2, {Variant(false)}, storage,
                                   DocumentSaveFieldsSignature().get());
  std::vector<Variant> call{Variant(CLng(*slots[0])), Variant(r.shared_from_this()),
                            Variant(CBool(*slots[1]))};
  r.CreateMapper()->Call("SaveDocumentFields", call);
  return Variant();
}
constexpr ExtraDef kDocumentExtras[] = {
    {"SaveFields", &DocumentSaveFields, &DocumentSaveFieldsSignature}};

constexpr PropertyDef kDocCell[] = {Long("First_Type"), Text("Cell_Key"), Text("First_Value")};

constexpr PropertyDef kStoredFile[] = {Long("CompressionType"), Text("StoreName"),
                                       Text("OriginalName"), Long("FormatType")};

constexpr PropertyDef kAttachmentDoc[] = {Sub("StoredFile", QR("QvStoredFile")), Num("DocumentID"),
                                          Long("AttachmentType")};

// The content is read on first use (the mapper's LoadContent hands a byte
// stream over); the mapper saves a blob only when ContentLoaded and
// ContentModified are both True.
constexpr LazyGroupDef kBlobGroups[] = {{"Content", "LoadContent", "ContentLoaded"}};
constexpr PropertyDef kDataBlob[] = {
    Long("ContentLength"), Long("DesiredCompressionType"),
    Marking(Obj("Content", QR("QvByteStream"), kL), "ContentModified"), Flag("ContentModified")};

// ---- warrants

constexpr PropertyDef kWarrant[] = {
    Num("WorkerID"), Text("Caption"), Bool("IsAutoCaption"), Bool("ShowInBranches"),
    Bool("IsActive"), Bool("IsSmartBranchData"), Bool("IsSmartKppSubst"), Text("WarrantSeries"),
    Text("WarrantNumber"), Date("DateBeg"), Date("DateEnd"),
    Sub("Origin_Subject", QR("QvWarSubject")), Long("PrincipalType"), Long("PrincipalPersonType"),
    Sub("LPrincipal_Subject", QR("QvWarSubject")), Sub("NPrincipal_Subject", QR("QvWarSubject")),
    Long("AgentPersonType"), Sub("LAgent_Subject", QR("QvWarSubject")),
    Sub("NAgent_Subject", QR("QvWarSubject")), Bool("IsWitness"), Long("WitnessPersonType"),
    Sub("LWitness_Subject", QR("QvWarSubject")), Sub("NWitness_Subject", QR("QvWarSubject")),
    Text("WarrantGuid"), Long("ContoraType"),
    // lazy
    List("Powers", QR("QvWarPower"), kL)};

constexpr PropertyDef kWarSubject[] = {Long("PersonType"),
                                       Text("FullName"),
                                       Text("Inn"),
                                       Text("Kpp"),
                                       Text("Ogrn"),
                                       Sub("Address", QR("QvAddress")),
                                       Text("LeaderSurname"),
                                       Text("LeaderName"),
                                       Text("LeaderPatronymic"),
                                       Text("LeaderInn"),
                                       Text("LeaderPost"),
                                       Text("Surname"),
                                       Text("Name"),
                                       Text("Patronymic"),
                                       Sub("Citizenship", QR("QvAdrCountry")),
                                       Date("BirthDate"),
                                       Sub("Passport", QR("QvIdentity"))};

constexpr PropertyDef kWarPower[] = {Text("Okato"), List("Permissions", QR("QvWarPermission"))};

constexpr PropertyDef kWarPermission[] = {Text("Code"), Text("Name")};

// ---- users and permissions (filled and read by DBPermissions)

constexpr PropertyDef kPermUser[] = {Long("RecType"),  Text("Login"),
                                     Text("Password"), Text("Surname"),
                                     Text("Name"),     Text("Patronymic"),
                                     Text("Caption"),  Text("Remarks"),
                                     Bool("Disabled"), List("Blocks", QR("QvPermBlock")),
                                     List("Roles", {})};

constexpr PropertyDef kPermBlock[] = {Num("UserID"),
                                      Long("BlockType"),
                                      Long("AreaType"),
                                      Long("OrderNum"),
                                      Num("PermObjectID"),
                                      Long("m1"),
                                      Long("v1"),
                                      Long("m2"),
                                      Long("v2"),
                                      Long("m3"),
                                      Long("v3"),
                                      Long("m4"),
                                      Long("v4"),
                                      Long("m5"),
                                      Long("v5"),
                                      List("Objects", {}),
                                      List("Items", QR("QvPermItem"))};

constexpr PropertyDef kPermItem[] = {
    Num("BlockID"), Long("ItemType"), Long("AreaType"),      Long("m"),
    Long("v"),      Long("OrderNum"), List("DocClasses", {})};

// ---- event log (ID is the entry's GUID text)

constexpr PropertyDef kLogEvent[] = {
    Date("EventTime"),   Num("UserID"),       Text("UserName"),
    Text("HostInfo"),    Long("EventType"),   Text("EventName"),
    Num("ObjectID1"),    Text("ObjectName1"), Num("ObjectID2"),
    Text("ObjectName2"), Num("ObjectID3"),    Text("ObjectName3"),
    Num("ObjectID4"),    Text("ObjectName4"), Text("Data1"),
    Text("Data2"),       Text("Text1"),       List("Lines", QR("QvLogEventLine"))};

Variant LogEventLinesCount(QvRecord& r, Args args) {
  if (!args.empty()) ThrowVb(vberr::kWrongArguments, "LinesCount takes no arguments");
  return Variant(r.CollectionAt(r.PropertyIndex("Lines"))->Count());
}
std::shared_ptr<const Signature> LogEventLinesCountSignature() {
  static const auto s =
      std::make_shared<const Signature>(Signature{{}, &dispatch::TypeName<int32_t>, 0});
  return s;
}
constexpr ExtraDef kLogEventExtras[] = {
    {"LinesCount", &LogEventLinesCount, &LogEventLinesCountSignature}};

constexpr PropertyDef kLogEventLine[] = {Long("InfoType"), Long("InfoOrder"), Text("InfoData1"),
                                         Text("InfoData2")};

// ---- objects of the courier library a document or stream refers to: only
// their identifier and protocol are used here, their mappers live there.
constexpr std::span<const PropertyDef> kNoProperties{};

constexpr RecordType kQvRecordsTypes[] = {
    {.progId = QR("QvAdrCountry"),
     .mapperProgId = DBP("DBAdrCountry"),
     .readOnly = true,
     .properties = kAdrCountry},
    {.progId = QR("QvAdrRegion"),
     .mapperProgId = DBP("DBAdrRegion"),
     .readOnly = true,
     .properties = kAdrRegion},
    {.progId = QR("QvIdentityType"),
     .mapperProgId = DBP("DBIdentityType"),
     .readOnly = true,
     .properties = kIdentityType},
    {.progId = QR("QvTemplType"),
     .mapperProgId = DBP("DBTemplType"),
     .readOnly = true,
     .properties = kTemplType},
    {.progId = QR("QvTimePeriod"),
     .mapperProgId = DBP("DBTimePeriod"),
     .readOnly = true,
     .properties = kTimePeriod},
    {.progId = QR("QvTemplate"),
     .mapperProgId = DBP("DBTemplate"),
     .readOnly = true,
     .properties = kTemplate},
    {.progId = QR("QvTaxOffice"),
     .mapperProgId = DBP("DBTaxOffice"),
     .properties = kTaxOffice,
     .extras = kTaxOfficeExtras},
    {.progId = QR("QvConsStream"), .mapperProgId = DBP("DBConsStream"), .properties = kConsStream},
    {.progId = QR("QvConsDocument"),
     .mapperProgId = DBP("DBConsDocument"),
     .properties = kConsDocument},
    {.progId = QR("QvOfrLicense"), .mapperProgId = DBP("DBOfrLicense"), .properties = kOfrLicense},
    {.progId = QR("QvPerson"),
     .mapperProgId = DBP("DBPerson"),
     .properties = kPerson,
     .groups = kLazyOnly},
    {.progId = QR("QvAddress"), .mapperProgId = DBP("DBAddress"), .properties = kAddress},
    {.progId = QR("QvIdentity"), .mapperProgId = DBP("DBIdentity"), .properties = kIdentity},
    {.progId = QR("QvWorker"), .mapperProgId = DBP("DBWorker"), .properties = kWorker},
    {.progId = QR("QvAccStream"),
     .mapperProgId = DBP("DBAccStream"),
     .properties = kAccStream,
     .groups = kLazyOnly},
    {.progId = QR("QvAccProfile"), .mapperProgId = DBP("DBAccProfile"), .properties = kAccProfile},
    {.progId = QR("QvStdProfile"), .mapperProgId = DBP("DBStdProfile"), .properties = kStdProfile},
    {.progId = QR("QvProfileLiab"), .properties = kProfileLiab},
    {.progId = QR("QvDocument"),
     .mapperProgId = DBP("DBDocument"),
     .properties = kDocument,
     .extras = kDocumentExtras},
    {.progId = QR("QvDocCell"), .properties = kDocCell},
    {.progId = QR("QvStoredFile"), .mapperProgId = DBP("DBStoredFile"), .properties = kStoredFile},
    {.progId = QR("QvAttachmentDoc"),
     .mapperProgId = DBP("DBAttachmentDoc"),
     .properties = kAttachmentDoc},
    {.progId = QR("QvDataBlob"),
     .mapperProgId = DBP("DBDataBlob"),
     .properties = kDataBlob,
     .groups = kBlobGroups},
    {.progId = QR("QvWarrant"),
     .mapperProgId = DBP("DBWarrant"),
     .properties = kWarrant,
     .groups = kLazyOnly},
    {.progId = QR("QvWarSubject"), .mapperProgId = DBP("DBWarSubject"), .properties = kWarSubject},
    {.progId = QR("QvWarPower"), .mapperProgId = DBP("DBWarPower"), .properties = kWarPower},
    {.progId = QR("QvWarPermission"), .readOnly = true, .properties = kWarPermission},
    {.progId = QR("QvPermUser"), .properties = kPermUser},
    {.progId = QR("QvPermBlock"), .properties = kPermBlock},
    {.progId = QR("QvPermItem"), .properties = kPermItem},
    {.progId = QR("QvLogEvent"),
     .properties = kLogEvent,
     .extras = kLogEventExtras,
     .textId = true},
    {.progId = QR("QvLogEventLine"), .properties = kLogEventLine},
    {.progId = QR("QvCourMailAccount"),
     .mapperProgId = "Qv_CourDB.DBCourMailAccount",
     .properties = kNoProperties},
    {.progId = QR("QvCourDocCircle"),
     .mapperProgId = "Qv_CourDB.DBCourDocCircle",
     .properties = kNoProperties},
    {.progId = QR("QvCourBlob"),
     .mapperProgId = "Qv_CourDB.DBCourBlob",
     .properties = kNoProperties},
};

#undef QR
#undef DBP

}  // namespace

std::span<const RecordType> QvRecordsTypes() {
  return kQvRecordsTypes;
}

}  // namespace qv::records
