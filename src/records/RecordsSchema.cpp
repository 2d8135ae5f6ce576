// Tables of the record mappers: reference records, persons and their details,
// accounting streams and profiles, documents with their cells, stored files
// and data blobs.
//
// Type rules used where a column's type is not fixed elsewhere: a key column
// is Long; a reference column has the type of the key it refers to; a flag
// that statements compare with 1 (and mappers write as 1 or 0) is Long, not
// Yes/No, since Jet stores True as -1.

#include "core/schema/FieldHelpers.h"
#include "core/schema/SubsystemSchemas.h"

namespace qv::schema {
namespace {

using namespace fields;

// --- Reference records -------------------------------------------------------

constexpr FieldDef kCountry[] = {
    Key(Long("ID")),   Text("Alfa2"),    Text("Alfa3"),    Text("Code"),
    Text("ShortName"), Text("FullName"), Long("OrderNum"),
};

constexpr FieldDef kRegion[] = {
    Key(Long("ID")), Text("Code"), Text("Name"), Text("NameNoAb"), Text("AbName"), Long("OrderNum"),
};

// Identity-document types.
constexpr FieldDef kCertificateType[] = {
    Key(Long("ID")),       Long("GroupID"),       Text("Code"),
    Text("SeriesPattern"), Text("NumberPattern"), Text("Name"),
    Text("PfrCode"),       Text("TndflCode"),     Long("OrderNum"),
};

// Document classes. `ID` equals `doc_type_id`; references hold `doc_type_id`.
constexpr FieldDef kDocTypeClass[] = {
    Key(Long("doc_type_id")),
    Long("ID"),
    Text("KND"),
    Text("name_short"),
    Long("Accumulated"),
    Long("Obligable"),
    Long("Buh_Doc"),
    Text("Tax_Name"),
    Long("instance_permission"),
    Long("scale_index"),
    Long("send_type"),
    Long("list_order"),
    Long("doc_group_id"),
    Long("alter_doc_type_id"),
};
constexpr IndexDef kDocTypeClassIdx[] = {PrimaryKey("Id", "doc_type_id")};

// Reporting periods: one row per period; report_id 1-12 months, 13-16
// quarters, 17 year and the further codes of report_time.
constexpr FieldDef kTimeByMonth[] = {
    Key(Long("time_id")), Long("the_year"), Long("report_id"), Date("beg_date"), Date("end_date"),
};
constexpr IndexDef kTimeByMonthIdx[] = {PrimaryKey("Id", "time_id")};

// Form templates (versions of a document class).
constexpr FieldDef kDocTemplates[] = {
    Key(Long("template_id")), Text("full_name"),       Text("Name"),        Date("begin_date"),
    Date("end_date"),         Dbl("doc_type_id"),      Long("enable"),      Long("Month_Payments"),
    Long("Payments_List"),    Long("no_utoch"),        Bool("Sign_Exec"),   Bool("TarvoImportable"),
    Long("SignatureRule"),    Long("Scatter_ClassID"), Long("EditorType"),  Bool("Creatable"),
    Flag("PfrMaster"),        Bool("PfrEndDoc"),       Long("ContoraType"), Long("Varnel_SendType"),
    Long("FssSendType"),      Bool("CheckXMLable"),    Bool("CheckUFAble"), Long("AttachmentsSet"),
    Long("FolderID"),
};
constexpr IndexDef kDocTemplatesIdx[] = {
    PrimaryKey("Id", "template_id"),
    Index("Doc_Type_ID", "doc_type_id"),
};

// System tax offices and other recipient authorities (identifiers below 1e9).
constexpr FieldDef kTaxOffice[] = {
    Key(Long("ID")), Text("Code"),        Text("ShortName"), Text("FullName"),
    Text("Address"), Text("INN"),         Text("KPP"),       Text("Email"),
    Text("Phone"),   Long("ContoraType"), Text("RegType"),   Long("showorder"),
};

// User-defined offices (identifiers from 1000000001 on).
constexpr FieldDef kUserContoras[] = {
    Key(Long("ID")),
    Text("Code"),
    Text("Name"),
    Long("ContoraType"),
};

// Consolidation streams, their member streams and documents.
constexpr FieldDef kConsStream[] = {Key(Long("ID")), Text("DisplayName"), Long("LPCategory")};

constexpr FieldDef kConsMembers[] = {Key(Long("ID")), Long("ConsStreamID"), Long("AccStreamID")};
constexpr IndexDef kConsMembersIdx[] = {PrimaryKey("Id", "ID"),
                                        Index("ConsStreamID", "ConsStreamID")};

constexpr FieldDef kConsDocs[] = {
    Key(Long("ID")),      Dbl("Template_ID"), Dbl("Time_ID"),
    Dbl("ConsStream_ID"), Date("CreateTime"), Text("DisplayName"),
};

// Cells of a consolidated document: sums of the member documents' cells.
constexpr FieldDef kConsCellValues[] = {
    Key(Dbl("Document_ID")),
    Key(Text("Cell_Key", 12)),
    Int("First_Type"),
    Dbl("First_Value"),
};
constexpr IndexDef kConsCellValuesIdx[] = {Index("Document_ID", "Document_ID;Cell_Key")};

// Regulator licences of an accounting stream.
constexpr FieldDef kAccStreamOfrLicenses[] = {
    Key(Long("ID")), Dbl("AccStreamID"), Text("Number"),       Date("DateBeg"),
    Date("DateEnd"), Text("IssuerName"), Long("OfrLicTypeID"),
};
constexpr IndexDef kAccStreamOfrLicensesIdx[] = {PrimaryKey("ID", "ID")};

// --- Persons -------------------------------------------------------------------

// The header of every person; PersonRealID is the row of the detail table of
// its Type (1 NaturalPerson, 2 LegalPerson).
constexpr FieldDef kPerson[] = {Key(Dbl("ID")), Long("Type"), Dbl("PersonRealID")};

constexpr FieldDef kNaturalPerson[] = {
    Key(Long("ID")),
    Text("INN"),
    Text("Surname"),
    Text("Name"),
    Text("Patronymic"),
    Flag("Archival"),
    Text("PFRNumber"),
    Text("PFRNumberForSelf"),
    Date("BirthDate"),
    Text("BirthPlace"),
    Long("Sex"),
    Long("CitizenshipID"),
    Long("HomeAddressID"),
    Text("HomeTelephone"),
    Long("IdentityDocID"),
    Long("AccountantDocID"),
    Text("WorkTelephone"),
    Text("EMail"),
    Long("AbroadAddressID"),
    Text("FPINN"),
    Date("FPStartDay"),
    Text("OGRNIP"),
    Text("LegalFormName"),
    Text("LegalFormOCOPF"),
    Text("ActivityName"),
    Text("ActivityOCVED"),
    Text("FSSRegNumber"),
    Text("FSSRegNumForSelf"),
    Text("OCPO"),
    Long("PboulRegCertificateID"),
    Text("SNILS"),
    Text("EstateFormName"),
    Text("EstateFormOCFS"),
    Text("KGRKORegNum"),
    Text("KGRKOOrdNum"),
};

constexpr FieldDef kLegalPerson[] = {
    Key(Long("ID")),
    Text("INN"),
    Text("KPP"),
    Text("ShortName"),
    Text("FullName"),
    Long("LPCategory"),
    Flag("Archival"),
    Text("PFRNumber"),
    Bool("IsSameAddress"),
    Long("CtrlAddressID"),
    Long("RegAddressID"),
    Text("OGRN"),
    Text("Category"),
    Text("OCPO"),
    Text("OCOGU"),
    Text("OCATO"),
    Text("OCTMO"),
    Text("SectorName"),
    Text("SectorOCONH"),
    Text("ActivityOCDP"),
    Text("ActivityName"),
    Text("ActivityOCVED"),
    Text("EstateFormName"),
    Text("EstateFormOCFS"),
    Text("CtrlOrganOCPO"),
    Text("LegalFormName"),
    Text("LegalFormOCOPF"),
    Long("InnRegCertificateID"),
    Text("BankRegNumber"),
    Text("BankBIC"),
    Text("BankMFO"),
    Text("BankReceiver"),
    Text("Phone"),
    Text("Fax"),
    Text("EMail"),
    Long("FPRegCountryID"),
    Long("FPPermanentCountryID"),
    Long("FPRegAddrID"),
    Text("FPName"),
    Text("FPINN"),
    Text("EGRSSDCode"),
    Text("BudgMasterName"),
    Text("BudgMasterPPP"),
    Text("KGRKORegNum"),
    Text("KGRKOOrdNum"),
    Text("FSSRegNumber"),
    Text("FssAddCode"),
};

constexpr FieldDef kAddress[] = {
    Key(Long("ID")),  Text("KladrCode"), Long("CountryID"), Text("PostIndex"), Long("RegionID"),
    Text("Area"),     Text("City"),      Text("Village"),   Text("Street"),    Text("House"),
    Text("Building"), Text("Flat"),      Text("NonStruct"),
};

// Identity documents and certificates; the issuing office's code is written
// cut to 20 characters.
constexpr FieldDef kCertificate[] = {
    Key(Long("ID")),   Long("TypeID"),   Text("Series"),           Text("Number"),
    Date("IssueDate"), Text("IssueOrg"), Text("IssueOrgCode", 20), Text("DocTypeName"),
};

// A job held by a person (WorkerID) at a taxpayer or branch (JobPlaceID).
constexpr FieldDef kPersonnel[] = {
    Key(Long("ID")),        Dbl("JobPlaceID"),      Dbl("WorkerID"),      Text("PostName"),
    Date("BeginDate"),      Date("EndDate"),        Text("Telephone"),    Text("Fax"),
    Flag("ShowInBranches"), Long("AuthorityDocID"), Flag("IsFormalBoss"), Text("Email"),
};
constexpr IndexDef kPersonnelIdx[] = {
    PrimaryKey("Id", "ID"),
    Index("JobPlaceID", "JobPlaceID"),
    Index("WorkerID", "WorkerID"),
};

// --- Accounting streams and profiles ---------------------------------------------

constexpr FieldDef kAccStream[] = {
    Key(Long("ID")),
    Dbl("PersonID"),
    Text("DisplayName"),
    Bool("AutoDisplayName"),
    Long("AccStreamType"),
    Long("TaxOfficeID"),
    Long("TaxOffice2ID"),
    Long("PropTaxOfficeID"),
    Text("KPP"),
    Long("LastYear"),
    Long("LastMonth"),
    Bool("Archival"),
    Long("FirstLeaderID"),
    Long("SecondLeaderID"),
    Long("ELS_SignerID"),
    Long("ExecutorID"),
    Flag("FLS_IsSigned"),
    Flag("SLS_IsSigned"),
    Flag("ELS_IsSigned"),
    Flag("Exec_IsSigned"),
    Text("OCATO"),
    Text("OCTMO"),
    Text("DipostTPCode"),
    Bool("UseCourier"),
    Long("CourMailAccount_ID"),
    Bool("UseProfiles"),
    Text("TfomsNumber"),
    Text("TfomsNumberForSelf"),
    Text("FssSubCode"),
    Text("OfrAbonentCode"),
    Text("OfrDeclarantType"),
    Text("SwiftCode"),
    Text("OfrNationalBIC"),
    Text("OfrForeignTaxCode"),
    Text("OfrGiin"),
    Text("OfrForeignOrgName"),
    Text("RfmIdentifier"),
};
constexpr IndexDef kAccStreamIdx[] = {PrimaryKey("Id", "ID"), Index("PersonID", "PersonID")};

// Profile assignments of a stream for a range of months (0 = open end).
constexpr FieldDef kAccStreamProfiles[] = {
    Key(Long("ID")),  Dbl("AccStream_ID"), Dbl("Profile_ID"), Long("BegYear"),
    Long("BegMonth"), Long("EndYear"),     Long("EndMonth"),
};
constexpr IndexDef kAccStreamProfilesIdx[] = {
    PrimaryKey("Id", "ID"),
    Index("ParentIdx", "AccStream_ID"),
};

// Profiles: user profiles below 1e8 in UserProfiles, dictionary profiles from
// 1e8 in DictProfiles; their obligations in the *ProfData tables.
constexpr FieldDef kProfiles[] = {Key(Long("ID")), Text("Name")};
constexpr FieldDef kProfData[] = {Key(Long("Profile_ID")), Long("PeriodType"), Long("Doc_Type_ID")};
constexpr IndexDef kProfDataIdx[] = {Index("Idx1", "Profile_ID;PeriodType;Doc_Type_ID")};

// --- Documents -------------------------------------------------------------------

// One row per document. Prev_Doc_ID and Next_Doc_ID are filled only by the
// import dataset, which carries every column of this table.
constexpr FieldDef kDocRegistry[] = {
    Key(Dbl("document_id")),
    Dbl("template_id"),
    Dbl("time_id"),
    Dbl("taxpayer_id"),
    Date("Registry_Date"),
    Long("Less"),
    Long("Currency_ID"),
    Date("accept_date"),
    Date("Payment_Date"),
    Dbl("reg_number"),
    Text("Notes"),
    Long("Delivery_Type"),
    Long("doc_type"),
    Dbl("top_doc_id"),
    Dbl("bottom_next_id"),
    Long("Deleted"),
    Date("Accept_Term"),
    Date("Payment_Term"),
    Long("instance_number"),
    Long("Status_Qv"),
    Long("DeliveryNumber"),
    Flag("FLS_IsSigned"),
    Flag("SLS_IsSigned"),
    Flag("ELS_IsSigned"),
    Flag("Exec_IsSigned"),
    Dbl("FLS_SignerID"),
    Dbl("SLS_SignerID"),
    Dbl("ELS_SignerID"),
    Dbl("Exec_SignerID"),
    Date("SignDate"),
    Long("KonStatus"),
    Text("KonDC_GUID"),
    Dbl("CourDocCircle_ID"),
    Long("Status"),
    Long("EditorType"),
    Text("FileName"),
    Dbl("FileContent_ID"),
    Long("EpistolaFileType"),
    Bool("Unreaded"),
    Dbl("PfrMasterDocID"),
    Long("PfrPersonsCount"),
    Text("PfrMarks"),
    Long("PfrNumberingType"),
    Long("PfrStartNumber"),
    Dbl("FssDocCircleID"),
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
    Text("Mtks_Comment"),
    Dbl("Prev_Doc_ID"),
    Dbl("Next_Doc_ID"),
};
constexpr IndexDef kDocRegistryIdx[] = {
    PrimaryKey("Id", "document_id"),
    Index("Taxpayer_ID", "taxpayer_id;time_id;template_id"),
    Index("PfrMaster", "PfrMasterDocID"),
    Index("reg_number", "reg_number"),
};

// One row per non-empty cell of a document. The index is not unique: copying
// cells into a document that already has some may repeat a key.
constexpr FieldDef kDocCellValues[] = {
    Key(Dbl("document_id")),
    Key(Text("cell_key", 12)),
    Text("first_value"),
    Int("first_type"),
};
constexpr IndexDef kDocCellValuesIdx[] = {Index("Document_ID", "document_id;cell_key")};

// --- Stored files, attachments and blobs -------------------------------------------

constexpr FieldDef kStoredFiles[] = {
    Key(Long("ID")),      Long("CompressionType"), Text("StoreName"),
    Text("OriginalName"), Long("FormatType"),
};

constexpr FieldDef kDocAttachments[] = {
    Key(Long("ID")),
    Long("StoredFileID"),
    Dbl("DocumentID"),
    Long("AttachmentType"),
};
constexpr IndexDef kDocAttachmentsIdx[] = {PrimaryKey("Id", "ID"),
                                           Index("DocumentID", "DocumentID")};

// ContentLength counts the bytes held in Content (after compression, if any).
constexpr FieldDef kCourBlobs[] = {
    Key(Dbl("ID")),
    Long("ContentLength"),
    Long("DesiredCompressionType"),
    Long("ActualCompressionType"),
    Blob("Content"),
};

constexpr TableDef kRecordsTables[] = {
    {"Country", kCountry, kIdIdx},
    {"Region", kRegion, kIdIdx},
    {"CertificateType", kCertificateType, kIdIdx},
    {"doc_type_class", kDocTypeClass, kDocTypeClassIdx},
    {"time_by_month", kTimeByMonth, kTimeByMonthIdx},
    {"doc_templates", kDocTemplates, kDocTemplatesIdx},
    {"TaxOffice", kTaxOffice, kIdIdx},
    {"UserContoras", kUserContoras, kIdIdx},
    {"ConsStream", kConsStream, kIdIdx},
    {"ConsMembers", kConsMembers, kConsMembersIdx},
    {"ConsDocs", kConsDocs, kIdIdx},
    {"ConsCellValues", kConsCellValues, kConsCellValuesIdx},
    {"AccStreamOfrLicenses", kAccStreamOfrLicenses, kAccStreamOfrLicensesIdx},
    {"Person", kPerson, kIdIdx},
    {"NaturalPerson", kNaturalPerson, kIdIdx},
    {"LegalPerson", kLegalPerson, kIdIdx},
    {"Address", kAddress, kIdIdx},
    {"Certificate", kCertificate, kIdIdx},
    {"Personnel", kPersonnel, kPersonnelIdx},
    {"AccStream", kAccStream, kAccStreamIdx},
    {"AccStreamProfiles", kAccStreamProfiles, kAccStreamProfilesIdx},
    {"UserProfiles", kProfiles, kIdIdx},
    {"UserProfData", kProfData, kProfDataIdx},
    {"DictProfiles", kProfiles, kIdIdx},
    {"DictProfData", kProfData, kProfDataIdx},
    {"doc_registry", kDocRegistry, kDocRegistryIdx},
    {"doc_cell_values", kDocCellValues, kDocCellValuesIdx},
    {"StoredFiles", kStoredFiles, kIdIdx},
    {"Doc_Attachments", kDocAttachments, kDocAttachmentsIdx},
    {"CourBlobs", kCourBlobs, kIdIdx},
};

constexpr SchemaStep kRecordsSteps[] = {
    {DbFile::kUser, 1, kRecordsTables},
};

}  // namespace

std::span<const SchemaStep> RecordsSchemaSteps() {
  return kRecordsSteps;
}

}  // namespace qv::schema
