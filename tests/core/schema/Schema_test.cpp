// The schema tables: structure (names, indexes, types) and the columns and
// indexes that the library's statements and index seeks rely on.

#include "core/schema/Schema.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace qv::schema {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return out;
}

std::vector<std::string> Words(std::string_view text) {
  std::istringstream in{std::string(text)};
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// Structural faults of one table, as text lines ("" when none).
std::string TableFaults(const TableDef& t) {
  std::ostringstream out;
  std::set<std::string> columns;
  if (t.fields.empty()) out << t.name << ": no columns\n";
  for (const FieldDef& f : t.fields) {
    if (!columns.insert(Lower(f.name)).second) out << t.name << "." << f.name << ": duplicate\n";
    const bool text = f.type == JetType::kText;
    if (text && (f.size < 1 || f.size > 255)) out << t.name << "." << f.name << ": bad size\n";
    if (!text && f.size != 0) out << t.name << "." << f.name << ": size on a non-text\n";
  }
  std::set<std::string> indexes;
  int primaries = 0;
  for (const IndexDef& i : t.indexes) {
    if (!indexes.insert(Lower(i.name)).second) out << t.name << "/" << i.name << ": duplicate\n";
    if (i.primary) ++primaries;
    if (i.primary && !i.unique) out << t.name << "/" << i.name << ": primary, not unique\n";
    std::vector<IndexField> parts = SplitIndexFields(i.fields);
    if (parts.empty()) out << t.name << "/" << i.name << ": no fields\n";
    for (const IndexField& p : parts) {
      const FieldDef* f = FindField(t, p.name);
      if (f == nullptr) {
        out << t.name << "/" << i.name << ": no column '" << p.name << "'\n";
      } else if (i.primary && !f->required) {
        out << t.name << "/" << i.name << ": key column " << f->name << " not required\n";
      }
    }
  }
  if (primaries > 1) out << t.name << ": several primary indexes\n";
  return out.str();
}

TEST(SchemaStructure, TablesColumnsAndIndexesAreWellFormed) {
  std::string faults;
  std::set<std::pair<DbFile, std::string>> tables;
  int32_t lastVersion = 0;
  for (const SchemaStep& step : AllSchemaSteps()) {
    EXPECT_GE(step.version, lastVersion) << "steps out of version order";
    lastVersion = step.version;
    EXPECT_TRUE(!step.tables.empty() || step.migrate) << "a step that does nothing";
    for (const TableDef& t : step.tables) {
      if (!tables.insert({step.file, Lower(t.name)}).second)
        faults += std::string(t.name) + ": twice\n";
      faults += TableFaults(t);
    }
  }
  std::set<std::string> bigDocTables;
  for (auto tables : {BigDocDirectoryTables(), BigDocCellTables()}) {
    for (const TableDef& t : tables) {
      if (!bigDocTables.insert(Lower(t.name)).second) faults += std::string(t.name) + ": twice\n";
      faults += TableFaults(t);
    }
  }
  EXPECT_EQ(faults, "");
  EXPECT_EQ(CurrentSchemaVersion(), lastVersion);
  EXPECT_EQ(CurrentSchemaVersion(), 2);
}

TEST(SchemaStructure, LookupsIgnoreCase) {
  const TableDef* t = FindTable(DbFile::kUser, "DOC_REGISTRY");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t, FindTable(DbFile::kUser, "Doc_Registry"));
  EXPECT_NE(FindField(*t, "TAXPAYER_ID"), nullptr);
  EXPECT_NE(FindIndex(*t, "id"), nullptr);
  EXPECT_EQ(FindTable(DbFile::kKladr, "doc_registry"), nullptr);  // per file
  EXPECT_EQ(FindTable(DbFile::kUser, "doc_registr"), nullptr);
  EXPECT_EQ(FindField(*t, "document_i"), nullptr);
  EXPECT_NE(FindTable(DbFile::kOkato, "nsi_okato"), nullptr);
  EXPECT_NE(FindBigDocTable("statcells"), nullptr);
  EXPECT_EQ(FindTable(DbFile::kUser, "StatCells"), nullptr);  // shard tables stay apart

  std::vector<IndexField> parts = SplitIndexFields("a;-b");
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[1].name, "b");
  EXPECT_TRUE(parts[1].descending);
  EXPECT_FALSE(parts[0].descending);
}

struct NamedIndex {
  int file;  // 0 user, 1 Kladr, 2 Okato, 9 big-document shard
  const char* table;
  const char* index;
  const char* fields;  // exact column list, ';'-separated, case-insensitive
};

// Indexes opened by name (Seek, NextId, forward walks), with their columns.
constexpr NamedIndex kNamedIndexes[] = {
    {0, "Counters", "Idx1", "CounterType;TheYear"},
    {0, "doc_registry", "Id", "Document_ID"},
    {0, "doc_registry", "Taxpayer_ID", "Taxpayer_ID;Time_ID;Template_ID"},
    {0, "doc_registry", "PfrMaster", "PfrMasterDocID"},
    {0, "doc_registry", "reg_number", "Reg_Number"},
    {0, "doc_cell_values", "Document_ID", "Document_ID;Cell_Key"},
    {0, "doc_templates", "ID", "Template_ID"},
    {0, "doc_templates", "Doc_Type_ID", "Doc_Type_ID"},
    {0, "doc_type_class", "Id", "Doc_Type_ID"},
    {0, "time_by_month", "Id", "Time_ID"},
    {0, "TEMPLATE_DATES", "TEMPLATE_ID_TIME_ID", "Template_ID;Time_ID"},
    {0, "PfrDict_TemplateDates", "ID", "ID"},
    {0, "AccStream", "ID", "ID"},
    {0, "AccStreamProfiles", "Id", "ID"},
    {0, "AccStreamProfiles", "ParentIdx", "AccStream_ID"},
    {0, "UserProfData", "Idx1", "Profile_ID;PeriodType;Doc_Type_ID"},
    {0, "DictProfData", "Idx1", "Profile_ID;PeriodType;Doc_Type_ID"},
    {0, "Branches", "ChildPersonID", "ChildPersonID"},
    {0, "AccPerson", "PersonId", "PersonID"},
    {0, "AccStreamOfrLicenses", "ID", "ID"},
    {0, "CourBlobs", "ID", "ID"},
    {0, "PfrCellValues", "ID", "ID"},
    {0, "PfrCellValues", "SubDoc", "SubDocID;Key;TableNum;LineNum"},
    {0, "PfrErrors", "ID", "ID"},
    {0, "WarPowers", "Warrant", "Warrant_ID"},
    {0, "WarPermissions", "WarPower", "WarPower_ID;WarPermission_ID"},
    {0, "PermUsers", "ID", "ID"},
    {0, "PermBlocks", "ID", "ID"},
    {0, "PermMultiBlocks", "ID", "ID"},
    {0, "WjEvents", "Id", "ID"},
    {0, "WjSoftDicts", "Id", "ID"},
    {1, "KladrObjects", "Id", "ID"},
    {2, "NSI_OKATO", "Id", "ID"},
    {9, "Volumes", "ID", "ID"},
    {9, "Volumes", "Vol", "VolType;VolNum"},
    {9, "SubDocs", "ID", "ID"},
    {9, "SubDocs", "Vol", "VolumeID;OrderNum"},
    {9, "StatCells", "SubDoc", "SubDocID;Key"},
    {9, "DynCells", "SubDoc", "SubDocID;Key;TableNum;LineNum"},
    {9, "WideCells", "SubDoc", "SubDocID;Key;TableNum;LineNum"},
};

const TableDef* Table(int file, std::string_view name) {
  switch (file) {
    case 1:
      return FindTable(DbFile::kKladr, name);
    case 2:
      return FindTable(DbFile::kOkato, name);
    case 9:
      return FindBigDocTable(name);
    default:
      return FindTable(DbFile::kUser, name);
  }
}

TEST(SchemaStructure, NamedIndexesCoverTheirColumns) {
  for (const NamedIndex& n : kNamedIndexes) {
    SCOPED_TRACE(std::string(n.table) + "/" + n.index);
    const TableDef* t = Table(n.file, n.table);
    ASSERT_NE(t, nullptr);
    const IndexDef* i = FindIndex(*t, n.index);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(Lower(i->fields), Lower(n.fields));
  }
}

// Mapped tables: the mappers seek their key on index "Id" and allocate new keys
// as the last key in that index plus one.
TEST(SchemaStructure, MappedTablesHaveUniqueIdIndex) {
  const char* kMapped =
      "Country Region CertificateType doc_type_class time_by_month doc_templates TaxOffice "
      "UserContoras ConsStream ConsDocs AccStreamOfrLicenses Person NaturalPerson LegalPerson "
      "Address Certificate Personnel AccStream AccStreamProfiles UserProfiles DictProfiles "
      "doc_registry StoredFiles Doc_Attachments CourBlobs PfrPersons PfrSubDocs PfrCellValues "
      "PfrErrors PfrAddress PfrManualSheafs FssDocCircles Warrants WarSubjects WarPowers "
      "WjEvents WjSoftDicts PermUsers PermBlocks PermMultiBlocks";
  for (const std::string& name : Words(kMapped)) {
    SCOPED_TRACE(name);
    const TableDef* t = FindTable(DbFile::kUser, name);
    ASSERT_NE(t, nullptr);
    const IndexDef* id = FindIndex(*t, "Id");
    ASSERT_NE(id, nullptr);
    EXPECT_TRUE(id->unique);
    EXPECT_EQ(SplitIndexFields(id->fields).size(), 1u);
  }
}

struct UsedColumns {
  int file;
  const char* table;
  const char* columns;  // blank-separated, as the statements spell them
};

// Columns named by the library's statements, index walks and row writes, per
// table. Grows with every operation that lands.
constexpr UsedColumns kUsedColumns[] = {
    // Core
    {0, "DBVersion", "MajorVersion MinorVersion BuildNumber"},
    {0, "Counters", "CounterType TheYear CounterValue"},
    {0, "GlobalParams", "DeliveryNumber"},
    // Reference records and dictionaries
    {0, "Country", "ID Alfa2 Alfa3 Code ShortName FullName OrderNum"},
    {0, "Region", "ID code name NameNoAb AbName OrderNum"},
    {0, "CertificateType",
     "ID GroupID Code SeriesPattern NumberPattern name PfrCode TNdflCode OrderNum"},
    {0, "doc_type_class",
     "doc_type_id id KND name_short Accumulated Obligable Buh_Doc Tax_Name instance_permission "
     "scale_index send_type list_order doc_group_id alter_doc_type_id"},
    {0, "time_by_month", "time_id the_year report_id beg_date end_date"},
    {0, "report_time", "report_id parent_id name"},
    {0, "Report_by_AccStreamType", "AccStreamType Report_ID BegYear EndYear OrderNum"},
    {0, "Calendar", "DayDate IsWorkday"},
    {0, "doc_templates",
     "template_id full_name Name begin_date end_date doc_type_id enable Month_Payments "
     "Payments_List no_utoch Sign_Exec TarvoImportable SignatureRule Scatter_ClassID EditorType "
     "Creatable PfrMaster PfrEndDoc ContoraType Varnel_SendType FssSendType CheckXMLable "
     "CheckUFAble AttachmentsSet FolderID"},
    {0, "template_dates", "template_id time_id doc_type_id date_to_registry Date_To_Registry_FL"},
    {0, "PfrDict_TemplateDates", "ID Date_To_Registry"},
    {0, "TemplateByTPCategory",
     "template_id TPCategory_ID AccStreamType AllowedForMainOrg AllowedForBranch"},
    {0, "doc_templates_folders", "ID Name"},
    {0, "TemplateReadyException", "Template_ID Time_ID IsReady"},
    {0, "DictAttachmentTypes", "AttachmentType Name FilterTitle AttachmentSetID OrderNum"},
    {0, "ScattersList", "template_id coupled_class_id"},
    {0, "TaxOffice",
     "ID Code ShortName FullName Address INN KPP Email Phone ContoraType RegType showorder"},
    {0, "UserContoras", "ID Code Name ContoraType"},
    {0, "Post", "ID ShortName FullName"},
    {0, "NSI_LIST_CLASS", "SYSTEM_ID class_name"},
    {0, "NSI_OKOPF", "ID code sole_name"},
    {0, "NSI_OKFS", "ID code name"},
    {0, "NSI_OKVED", "OKVED_ID code name"},
    {0, "NSI_OKATO", "ID Code Name"},
    {2, "NSI_OKATO", "ID Code Name"},
    {0, "OfrDeclarantTypes", "ID code thename"},
    {0, "DictOfrLicType", "ID Code ShortName FullName"},
    {0, "WarDict_Permissions", "ID Code Name"},
    // Persons and streams
    {0, "Person", "ID Type PersonRealID"},
    {0, "NaturalPerson",
     "ID Surname Name Patronymic INN IdentityDocID HomeAddressID Archival SNILS CitizenshipID"},
    {0, "LegalPerson", "ID FullName ShortName INN KPP LPCategory Archival IsSameAddress"},
    {0, "Address", "ID City Village Street House Building Flat NonStruct KladrCode RegionID"},
    {0, "Certificate", "ID TypeID Series Number IssueDate IssueOrgCode"},
    {0, "Personnel", "ID JobPlaceID WorkerID PostName ShowInBranches IsFormalBoss AuthorityDocID"},
    {0, "Branches", "ID ParentPersonID ChildPersonID"},
    {0, "AccPerson", "PersonID"},
    {0, "AccStream",
     "ID PersonID AccStreamType KPP DisplayName TaxOfficeID TaxOffice2ID LastYear LastMonth "
     "OfrForeignTaxCode UseProfiles Ocato FLS_IsSigned CourMailAccount_ID"},
    {0, "AccStreamProfiles", "ID AccStream_ID Profile_ID BegYear BegMonth EndYear EndMonth"},
    {0, "AccStreamOfrLicenses", "ID AccStreamID Number DateBeg DateEnd IssuerName OfrLicTypeID"},
    {0, "UserProfiles", "ID Name"},
    {0, "DictProfiles", "ID Name"},
    {0, "UserProfData", "Profile_ID PeriodType Doc_Type_ID"},
    {0, "DictProfData", "Profile_ID PeriodType Doc_Type_ID"},
    {0, "ConsStream", "ID DisplayName LPCategory"},
    {0, "ConsMembers", "ID ConsStreamID AccStreamID"},
    {0, "ConsDocs", "ID ConsStream_ID time_id template_id CreateTime DisplayName"},
    {0, "ConsCellValues", "Document_ID Cell_Key First_Type First_Value"},
    // Documents, cells, files
    {0, "doc_registry",
     "document_id taxpayer_id time_id template_id instance_number doc_type top_doc_id "
     "bottom_next_id status_qv EditorType Notes reg_number DeliveryNumber accept_date "
     "currency_id Registry_Date Less Status Deleted Delivery_Type Prev_Doc_ID Next_Doc_ID "
     "PfrMasterDocID KonDC_GUID KonStatus FssDocCircleID IsChecked IsXsdChecked IsCalculated "
     "Mtks_Status Mtks_Status_Date Mtks_Service Mtks_Comment SenderEngine IdentifierOfSend "
     "StatusOfSend FileName FileContent_ID EpistolaFileType CourDocCircle_ID SignDate "
     "PfrNumberingType PfrStartNumber"},
    {0, "doc_cell_values", "document_id cell_key first_value first_type"},
    {0, "Doc_Attachments", "ID StoredFileID DocumentID AttachmentType"},
    {0, "StoredFiles", "ID CompressionType StoreName OriginalName FormatType"},
    {0, "CourBlobs", "ID ContentLength DesiredCompressionType ActualCompressionType Content"},
    // Pension and tax reporting
    {0, "PfrPersons",
     "ID Person_ID Surname Name Patronymic TabNumber PfrNumber Inn IsDismissed DismissDate "
     "PassportID RegAddressID ActualAddressID CitizenID InnForeign"},
    {0, "PfrSubDocs",
     "ID DocumentID PfrPersonID SubDocType Disabled EndDocumentID EndPersonNumber MaxErrorLevel "
     "ManualSheafID"},
    {0, "PfrCellValues", "ID SubDocID Key LineNum TableNum ValueType Value"},
    {0, "PfrErrors", "ID SubDocID ListCode LineNum SubjectName ErrorLevel ErrorText"},
    {0, "PfrAddress",
     "ID KladrCode AddressType PostIndex CountryID RegionID Point AbPoint NonStruct"},
    {0, "PfrManualSheafs", "ID DocumentID Caption"},
    {0, "FssDocCircles", "ID Status DocumentID DocText_BlobID LastHtml_BlobID Ticket_BlobID"},
    {0, "PfrPAManualSums", "ID AccStreamID PfrPersonID TheYear TheMonth ValueType Summa"},
    {0, "PfrDict_Limits", "TheYear IncomeLimit MROT"},
    {0, "PfrDict_Tariffs",
     "TheYear Category EnsurPart CumulPart OverEnsurPart OverCumulPart FomsPart"},
    {0, "PfrDict_AddTariffs", "Code BegDate EndDate Rate"},
    {0, "PfrDict_MainRates", "Code Name OrderNum BegDate EndDate"},
    {0, "PfrDict_AddRates", "Code Name OrderNum BegDate EndDate"},
    {0, "PfrDict_EndForms", "ID Name PfrTag CountInSheaf OrderNum"},
    {0, "UserPfrEndForms", "PfrEndFormID CountInSheaf"},
    {0, "TndflDict_Incomes", "ID Code"},
    {0, "TndflDict_IncomesNames", "IncomeID Name IsDefault DateBeg DateEnd"},
    {0, "TndflDict_IncomesRates", "IncomeID Residentship Rate TaxCode DateBeg DateEnd"},
    {0, "TndflDict_MDeducts", "ID Code"},
    {0, "TndflDict_MDeductsNames", "DeductID ShortName FullName IsDefault DateBeg DateEnd"},
    {0, "TndflDict_DeductsToIncomes", "DeductID IncomeID DateBeg DateEnd"},
    {0, "TndflDict_YDeducts", "ID Code Category DateBeg DateEnd"},
    {0, "TndflDict_YDeductsNames", "DeductID ShortName FullName DateBeg DateEnd"},
    {0, "TndflDict_DeductsSumms", "DeductID Summa DateBeg DateEnd"},
    // Warrants, permissions, logs
    {0, "Warrants",
     "ID WorkerID ContoraType IsActive DateBeg Caption Origin_SubjectID NWitness_SubjectID "
     "WarrantGuid"},
    {0, "WarSubjects", "ID PersonType AddressID CitizenshipID PassportID LeaderPost"},
    {0, "WarPowers", "ID Warrant_ID Okato"},
    {0, "WarPermissions", "WarPower_ID WarPermission_ID"},
    {0, "PermSystem", "PermSystem"},
    {0, "PermUsers", "ID RecType Login Password Surname Name Patronymic Caption Remarks Disabled"},
    {0, "PermUserRoles", "UserID RoleID OrderNum"},
    {0, "PermBlocks",
     "ID UserID BlockType AreaType OrderNum PermObjectID m1 v1 m2 v2 m3 v3 m4 v4 m5 v5"},
    {0, "PermObjectLists", "BlockID PermObjectID"},
    {0, "PermMultiBlocks", "ID BlockID ItemType OrderNum AreaType m v"},
    {0, "PermDocLists", "MultiBlockID TemplTypeID"},
    {0, "VarData",
     "ID EventTime UserID UserName HostInfo EventType EventName ObjectID1 ObjectName1 ObjectID4 "
     "ObjectName4 Data1 Data2 Text1"},
    {0, "VarData2", "ID VarDataID InfoType InfoOrder InfoData1 InfoData2"},
    {0, "VarParams", "LActive"},
    {0, "WjEvents",
     "ID PfrPersonID EventType TrackingType EmitState CancelState EmitDocID EvDate EvPost "
     "EvDivision EvJobDescr EvBasdoc1Name EvBasdoc2Name EvDismReason EvFuncCode AppTkIsPresent "
     "AppTkDate AppTdIsPresent AppTdDate EvIsPartTime CitizenID"},
    {0, "WjSoftDicts", "ID DictType SubID Name"},
    // Classifier databases
    {1, "KladrObjects", "ID ParentID Level ObjName AbbrevID PostIndex"},
    {1, "KladrAbbrevs", "ID ShortName"},
    // Big-document shards
    {9, "Volumes", "ID VolType VolNum"},
    {9, "SubDocs", "ID SubDocType PfrPersonID VolumeID OrderNum"},
    {9, "StatCells", "SubDocID Key Value0 Value1"},
    {9, "DynCells", "SubDocID Key TableNum LineNum Value"},
    {9, "WideCells", "SubDocID Key TableNum LineNum Value"},
    {9, "StorageInfo", "VerNum ShardSize DocumentID ShardIndex"},
};

TEST(SchemaColumns, ColumnsUsedByStatementsExist) {
  std::string missing;
  for (const UsedColumns& u : kUsedColumns) {
    const TableDef* t = Table(u.file, u.table);
    if (t == nullptr) {
      missing += std::string(u.table) + "\n";
      continue;
    }
    for (const std::string& c : Words(u.columns)) {
      if (FindField(*t, c) == nullptr) missing += std::string(u.table) + "." + c + "\n";
    }
  }
  EXPECT_EQ(missing, "");
}

struct ColumnType {
  int file;
  const char* table;
  const char* columns;
  JetType type;
};

// Types the statements depend on. Flags compared with "= 1" and written as
// 1 or 0 must be numbers (a Jet Yes/No stores True as -1); GUID, blob and memo
// columns hold what a text or number column could not.
constexpr ColumnType kColumnTypes[] = {
    {0, "Personnel", "ShowInBranches IsFormalBoss", JetType::kLong},
    {0, "doc_templates", "PfrMaster enable Payments_List", JetType::kLong},
    {0, "TemplateByTPCategory", "AllowedForMainOrg AllowedForBranch", JetType::kLong},
    {0, "Warrants", "IsActive", JetType::kLong},
    {0, "WjEvents", "AppTkIsPresent AppTdIsPresent IsSbd EvIsPartTime", JetType::kLong},
    {0, "TndflDict_IncomesNames", "IsDefault", JetType::kLong},
    {0, "TndflDict_MDeductsNames", "IsDefault", JetType::kLong},
    {0, "NaturalPerson", "Archival", JetType::kLong},
    {0, "doc_registry", "FLS_IsSigned SLS_IsSigned ELS_IsSigned Exec_IsSigned", JetType::kLong},
    {0, "doc_registry", "document_id taxpayer_id time_id template_id top_doc_id", JetType::kDouble},
    {0, "doc_registry", "Unreaded", JetType::kBoolean},
    {0, "doc_cell_values", "first_type", JetType::kInteger},
    {0, "PfrPersons", "ID Person_ID", JetType::kDouble},
    {0, "PfrPersons", "IsDismissed", JetType::kBoolean},
    {0, "time_by_month", "beg_date end_date", JetType::kDate},
    {0, "VarData", "ID", JetType::kGUID},
    {0, "VarData2", "ID VarDataID", JetType::kGUID},
    {0, "CourBlobs", "Content", JetType::kLongBinary},
    {0, "PfrErrors", "ErrorText", JetType::kMemo},
    {0, "PermUsers", "Password", JetType::kMemo},
    {0, "TaxOffice", "RegType", JetType::kText},
    {9, "StatCells", "Key", JetType::kInteger},
    {9, "WideCells", "Value", JetType::kMemo},
    {9, "SubDocs", "PfrPersonID", JetType::kDouble},
};

TEST(SchemaColumns, ColumnTypesTheStatementsRelyOn) {
  for (const ColumnType& c : kColumnTypes) {
    const TableDef* t = Table(c.file, c.table);
    ASSERT_NE(t, nullptr) << c.table;
    for (const std::string& name : Words(c.columns)) {
      const FieldDef* f = FindField(*t, name);
      ASSERT_NE(f, nullptr) << c.table << "." << name;
      EXPECT_EQ(static_cast<int>(f->type), static_cast<int>(c.type)) << c.table << "." << name;
    }
  }
}

// Values written cut to a length must fit: cell texts are cut to 250
// characters (255 in the sub-document cells), log texts to 255, cell keys are
// 12 characters.
TEST(SchemaColumns, TextColumnsHoldWhatIsWrittenToThem) {
  struct Width {
    const char* table;
    const char* column;
    int32_t atLeast;
  };
  constexpr Width kWidths[] = {
      {"doc_cell_values", "first_value", 250}, {"doc_cell_values", "cell_key", 12},
      {"ConsCellValues", "Cell_Key", 12},      {"PfrCellValues", "Value", 255},
      {"PfrErrors", "SubjectName", 255},       {"VarData", "HostInfo", 255},
      {"VarData2", "InfoData2", 255},          {"WjEvents", "EvDismReason", 255},
      {"Certificate", "IssueOrgCode", 20},
  };
  for (const Width& w : kWidths) {
    const TableDef* t = FindTable(DbFile::kUser, w.table);
    ASSERT_NE(t, nullptr) << w.table;
    const FieldDef* f = FindField(*t, w.column);
    ASSERT_NE(f, nullptr) << w.table << "." << w.column;
    EXPECT_EQ(static_cast<int>(f->type), static_cast<int>(JetType::kText))
        << w.table << "." << w.column;
    EXPECT_GE(f->size, w.atLeast) << w.table << "." << w.column;
  }
}

// Shard fields carry the creation rules of the big-document files: numbers
// required with default 0, texts required with the empty text as default.
TEST(SchemaColumns, BigDocumentFieldsAreRequiredWithDefaults) {
  for (auto tables : {BigDocDirectoryTables(), BigDocCellTables()}) {
    for (const TableDef& t : tables) {
      for (const FieldDef& f : t.fields) {
        SCOPED_TRACE(std::string(t.name) + "." + std::string(f.name));
        EXPECT_TRUE(f.required);
        const bool text = f.type == JetType::kText || f.type == JetType::kMemo;
        EXPECT_EQ(f.defaultValue, text ? "\"\"" : "0");
        if (text) {
          EXPECT_TRUE(f.allowZeroLength);
        }
      }
    }
  }
}

}  // namespace
}  // namespace qv::schema
