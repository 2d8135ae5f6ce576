// Tables of the pension and tax reporting data: insured persons, sub-documents
// with their cells and check errors, addresses, manual packs, social-insurance
// exchanges, the dictionaries of the personified and 2-NDFL reports, end-form
// options and hand-entered sums.

#include "core/schema/FieldHelpers.h"
#include "core/schema/SubsystemSchemas.h"

namespace qv::schema {
namespace {

using namespace fields;

// --- Persons, sub-documents and their parts -----------------------------------

// Insured persons of a taxpayer (Person_ID). PfrNumber is kept packed (11 digits).
constexpr FieldDef kPfrPersons[] = {
    Key(Dbl("ID")),         Dbl("Person_ID"),
    Text("Surname"),        Text("Name"),
    Text("Patronymic"),     Text("TabNumber"),
    Text("PfrNumber"),      Text("Inn"),
    Bool("IsDismissed"),    Date("DismissDate"),
    Date("BirthDate"),      Long("BirthPlaceType"),
    Text("BirthCountry"),   Text("BirthRegion"),
    Text("BirthDistrict"),  Text("BirthCity"),
    Long("Gender"),         Dbl("PassportID"),
    Dbl("RegAddressID"),    Bool("IsActualAddressNonTrivial"),
    Dbl("ActualAddressID"), Text("HomePhone"),
    Text("WorkPhone"),      Dbl("CitizenID"),
    Long("ResidentStatus"), Dbl("ForeignCountryID"),
    Text("ForeignAddress"), Text("InnForeign"),
};
constexpr IndexDef kPfrPersonsIdx[] = {PrimaryKey("Id", "ID"), Index("Person_ID", "Person_ID")};

constexpr FieldDef kPfrSubDocs[] = {
    Key(Dbl("ID")),          Dbl("DocumentID"),     Dbl("PfrPersonID"),
    Long("SubDocType"),      Bool("Disabled"),      Dbl("EndDocumentID"),
    Long("EndPersonNumber"), Long("MaxErrorLevel"), Dbl("ManualSheafID"),
};
constexpr IndexDef kPfrSubDocsIdx[] = {
    PrimaryKey("Id", "ID"),
    Index("DocumentID", "DocumentID"),
    Index("PfrPersonID", "PfrPersonID"),
};

// One row per non-empty cell of a sub-document; a cell is addressed by
// (SubDocID, Key, TableNum, LineNum), in that order in index "SubDoc".
constexpr FieldDef kPfrCellValues[] = {
    Key(Dbl("ID")),   Dbl("SubDocID"),   Long("Key"),   Long("LineNum"),
    Long("TableNum"), Long("ValueType"), Text("Value"),
};
constexpr IndexDef kPfrCellValuesIdx[] = {
    PrimaryKey("ID", "ID"),
    Index("SubDoc", "SubDocID;Key;TableNum;LineNum"),
};

// ErrorText is written in full, hence Memo.
constexpr FieldDef kPfrErrors[] = {
    Key(Dbl("ID")),      Dbl("SubDocID"),    Long("ListCode"),  Long("LineNum"),
    Text("SubjectName"), Long("ErrorLevel"), Memo("ErrorText"),
};
constexpr IndexDef kPfrErrorsIdx[] = {
    PrimaryKey("ID", "ID"),
    Index("SubDoc", "SubDocID;ID"),
};

constexpr FieldDef kPfrAddress[] = {
    Key(Dbl("ID")),    Text("KladrCode"), Long("AddressType"), Text("PostIndex"),  Dbl("CountryID"),
    Dbl("RegionID"),   Text("Area"),      Text("City"),        Text("Point"),      Text("Street"),
    Text("House"),     Text("Building"),  Text("Flat"),        Text("AbArea"),     Text("AbCity"),
    Text("AbPoint"),   Text("AbStreet"),  Text("AbHouse"),     Text("AbBuilding"), Text("AbFlat"),
    Text("NonStruct"),
};

constexpr FieldDef kPfrManualSheafs[] = {Key(Long("ID")), Dbl("DocumentID"), Text("Caption")};

// Exchanges of a social-insurance document with the insurer's server.
constexpr FieldDef kFssDocCircles[] = {
    Key(Dbl("ID")),       Long("Status"),        Dbl("DocumentID"),     Text("SrvFileID"),
    Date("SendDate"),     Text("ServerAddress"), Dbl("DocText_BlobID"), Dbl("LastHtml_BlobID"),
    Date("LastHtmlDate"), Dbl("Ticket_BlobID"),  Date("TicketDate"),
};

// Sums of a person's account entered by hand, per stream, person and month.
constexpr FieldDef kPfrPAManualSums[] = {
    Key(Long("ID")),  Long("AccStreamID"), Dbl("PfrPersonID"), Long("TheYear"),
    Long("TheMonth"), Long("ValueType"),   Dbl("Summa"),
};

// --- Dictionaries of the personified reports -------------------------------------

// A year's row holds until the next year that has a row.
constexpr FieldDef kPfrDictLimits[] = {Long("TheYear"), Dbl("IncomeLimit"), Dbl("MROT")};

constexpr FieldDef kPfrDictTariffs[] = {
    Long("TheYear"),      Text("Category"),     Dbl("EnsurPart"), Dbl("CumulPart"),
    Dbl("OverEnsurPart"), Dbl("OverCumulPart"), Dbl("FomsPart"),
};

constexpr FieldDef kPfrDictAddTariffs[] = {
    Text("Code"),
    Date("BegDate"),
    Date("EndDate"),
    Dbl("Rate"),
};

// The code dictionaries (rate codes, working conditions, service-length codes ...).
constexpr FieldDef kPfrCodeDict[] = {
    Text("Code"), Text("Name"), Long("OrderNum"), Date("BegDate"), Date("EndDate"),
};

constexpr FieldDef kPfrDictEndForms[] = {
    Key(Long("ID")), Text("Name"), Text("PfrTag"), Long("CountInSheaf"), Long("OrderNum"),
};

// The user's override of the number of end forms per pack (0 rows = default).
constexpr FieldDef kUserPfrEndForms[] = {Long("PfrEndFormID"), Long("CountInSheaf")};

// --- 2-NDFL dictionaries (IsDefault = 1 marks the name used without a date) -------

constexpr FieldDef kCodeById[] = {Key(Long("ID")), Text("Code")};
constexpr FieldDef kIncomesNames[] = {
    Long("IncomeID"), Text("Name"), Long("IsDefault"), Date("DateBeg"), Date("DateEnd"),
};
constexpr FieldDef kIncomesRates[] = {
    Long("IncomeID"), Long("Residentship"), Dbl("Rate"),
    Text("TaxCode"),  Date("DateBeg"),      Date("DateEnd"),
};
constexpr FieldDef kMDeductsNames[] = {
    Long("DeductID"),  Text("ShortName"), Text("FullName"),
    Long("IsDefault"), Date("DateBeg"),   Date("DateEnd"),
};
constexpr FieldDef kDeductsToIncomes[] = {
    Long("DeductID"),
    Long("IncomeID"),
    Date("DateBeg"),
    Date("DateEnd"),
};
// Category: 1 standard, 2 social, 3 property, 4 investment deductions.
constexpr FieldDef kYDeducts[] = {
    Key(Long("ID")), Text("Code"), Long("Category"), Date("DateBeg"), Date("DateEnd"),
};
constexpr FieldDef kYDeductsNames[] = {
    Long("DeductID"), Text("ShortName"), Text("FullName"), Date("DateBeg"), Date("DateEnd"),
};
constexpr FieldDef kDeductsSumms[] = {
    Long("DeductID"),
    Dbl("Summa"),
    Date("DateBeg"),
    Date("DateEnd"),
};

constexpr TableDef kPfrTables[] = {
    {"PfrPersons", kPfrPersons, kPfrPersonsIdx},
    {"PfrSubDocs", kPfrSubDocs, kPfrSubDocsIdx},
    {"PfrCellValues", kPfrCellValues, kPfrCellValuesIdx},
    {"PfrErrors", kPfrErrors, kPfrErrorsIdx},
    {"PfrAddress", kPfrAddress, kIdIdx},
    {"PfrManualSheafs", kPfrManualSheafs, kIdIdx},
    {"FssDocCircles", kFssDocCircles, kIdIdx},
    {"PfrPAManualSums", kPfrPAManualSums, kIdIdx},
    {"PfrDict_Limits", kPfrDictLimits, {}},
    {"PfrDict_Tariffs", kPfrDictTariffs, {}},
    {"PfrDict_AddTariffs", kPfrDictAddTariffs, {}},
    {"PfrDict_MainRates", kPfrCodeDict, {}},
    {"PfrDict_TerrConds", kPfrCodeDict, {}},
    {"PfrDict_SpecConds", kPfrCodeDict, {}},
    {"PfrDict_StageCalcs", kPfrCodeDict, {}},
    {"PfrDict_StageCalcAdds", kPfrCodeDict, {}},
    {"PfrDict_EarlyConds", kPfrCodeDict, {}},
    {"PfrDict_FeeMainRates", kPfrCodeDict, {}},
    {"PfrDict_AddRates", kPfrCodeDict, {}},
    {"PfrDict_EndForms", kPfrDictEndForms, kIdIdx},
    {"UserPfrEndForms", kUserPfrEndForms, {}},
    {"TndflDict_Incomes", kCodeById, kIdIdx},
    {"TndflDict_IncomesNames", kIncomesNames, {}},
    {"TndflDict_IncomesRates", kIncomesRates, {}},
    {"TndflDict_MDeducts", kCodeById, kIdIdx},
    {"TndflDict_MDeductsNames", kMDeductsNames, {}},
    {"TndflDict_DeductsToIncomes", kDeductsToIncomes, {}},
    {"TndflDict_YDeducts", kYDeducts, kIdIdx},
    {"TndflDict_YDeductsNames", kYDeductsNames, {}},
    {"TndflDict_DeductsSumms", kDeductsSumms, {}},
};

constexpr SchemaStep kPfrSteps[] = {
    {DbFile::kUser, 1, kPfrTables},
};

}  // namespace

std::span<const SchemaStep> PfrSchemaSteps() {
  return kPfrSteps;
}

}  // namespace qv::schema
