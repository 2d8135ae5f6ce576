// Tables read by the query classes that no record mapper owns: dictionaries
// and classifiers, report codes and period rules, the calendar, template
// publication and visibility, branches and accounted persons.

#include "core/schema/FieldHelpers.h"
#include "core/schema/SubsystemSchemas.h"

namespace qv::schema {
namespace {

using namespace fields;

// --- Dictionaries --------------------------------------------------------------

// Personnel posts.
constexpr FieldDef kPost[] = {Key(Long("ID")), Text("ShortName"), Text("FullName")};

constexpr FieldDef kNsiListClass[] = {Key(Long("SYSTEM_ID")), Text("class_name")};
constexpr IndexDef kNsiListClassIdx[] = {PrimaryKey("Id", "SYSTEM_ID")};

constexpr FieldDef kNsiOkopf[] = {Key(Long("ID")), Text("code"), Text("sole_name")};
constexpr FieldDef kNsiOkfs[] = {Key(Long("ID")), Text("code"), Text("name")};
constexpr FieldDef kNsiOkved[] = {Key(Long("OKVED_ID")), Text("code"), Text("name")};
constexpr IndexDef kNsiOkvedIdx[] = {PrimaryKey("Id", "OKVED_ID")};

// The copy of the OKATO classifier used when the OKATO database is absent.
constexpr FieldDef kNsiOkato[] = {Key(Long("ID")), Text("Code"), Text("Name")};
constexpr IndexDef kNsiOkatoIdx[] = {PrimaryKey("Id", "ID"), Index("Code", "Code")};

constexpr FieldDef kOfrDeclarantTypes[] = {Key(Long("ID")), Text("code"), Text("thename")};
constexpr FieldDef kDictOfrLicType[] = {
    Key(Long("ID")),
    Text("Code"),
    Text("ShortName"),
    Text("FullName"),
};

// --- Periods and the calendar --------------------------------------------------

// Report codes; parent_id is the code of the period that contains this one.
constexpr FieldDef kReportTime[] = {Key(Long("report_id")), Long("parent_id"), Text("name")};
constexpr IndexDef kReportTimeIdx[] = {PrimaryKey("Id", "report_id")};

// Which report codes a kind of accounting stream offers, for a range of years.
constexpr FieldDef kReportByAccStreamType[] = {
    Long("AccStreamType"), Long("Report_ID"), Long("BegYear"), Long("EndYear"), Long("OrderNum"),
};

constexpr FieldDef kCalendar[] = {Key(Date("DayDate")), Bool("IsWorkday")};
constexpr IndexDef kCalendarIdx[] = {PrimaryKey("DayDate", "DayDate")};

// --- Template publication and visibility -----------------------------------------

// Publication of a template for a period, with the registry deadlines for legal
// (date_to_registry) and natural persons (Date_To_Registry_FL).
constexpr FieldDef kTemplateDates[] = {
    Key(Long("template_id")), Key(Long("time_id")),        Long("doc_type_id"),
    Date("date_to_registry"), Date("Date_To_Registry_FL"),
};
constexpr IndexDef kTemplateDatesIdx[] = {Index("TEMPLATE_ID_TIME_ID", "template_id;time_id")};

// Fixed deadlines of pension-fund templates, by template (ID).
constexpr FieldDef kPfrDictTemplateDates[] = {Key(Long("ID")), Date("Date_To_Registry")};
constexpr IndexDef kPfrDictTemplateDatesIdx[] = {PrimaryKey("ID", "ID")};

// Which templates a taxpayer category and stream type may use (1 = allowed).
constexpr FieldDef kTemplateByTPCategory[] = {
    Long("template_id"),       Long("TPCategory_ID"),    Long("AccStreamType"),
    Long("AllowedForMainOrg"), Long("AllowedForBranch"),
};
constexpr IndexDef kTemplateByTPCategoryIdx[] = {Index("template_id", "template_id")};

constexpr FieldDef kDocTemplatesFolders[] = {Key(Long("ID")), Text("Name")};

constexpr FieldDef kTemplateReadyException[] = {
    Long("Template_ID"),
    Long("Time_ID"),
    Long("IsReady"),
};

constexpr FieldDef kDictAttachmentTypes[] = {
    Long("AttachmentType"),  Text("Name"),     Text("FilterTitle"),
    Long("AttachmentSetID"), Long("OrderNum"),
};

constexpr FieldDef kScattersList[] = {Long("template_id"), Long("coupled_class_id")};

// --- Branches and accounted persons ----------------------------------------------

constexpr FieldDef kBranches[] = {Key(Long("ID")), Dbl("ParentPersonID"), Dbl("ChildPersonID")};
constexpr IndexDef kBranchesIdx[] = {
    PrimaryKey("Id", "ID"),
    Index("ChildPersonID", "ChildPersonID"),
    Index("ParentPersonID", "ParentPersonID"),
};

constexpr FieldDef kAccPerson[] = {Key(Dbl("PersonID"))};
constexpr IndexDef kAccPersonIdx[] = {PrimaryKey("PersonId", "PersonID")};

constexpr TableDef kQueriesTables[] = {
    {"Post", kPost, kIdIdx},
    {"NSI_LIST_CLASS", kNsiListClass, kNsiListClassIdx},
    {"NSI_OKOPF", kNsiOkopf, kIdIdx},
    {"NSI_OKFS", kNsiOkfs, kIdIdx},
    {"NSI_OKVED", kNsiOkved, kNsiOkvedIdx},
    {"NSI_OKATO", kNsiOkato, kNsiOkatoIdx},
    {"OfrDeclarantTypes", kOfrDeclarantTypes, kIdIdx},
    {"DictOfrLicType", kDictOfrLicType, kIdIdx},
    {"report_time", kReportTime, kReportTimeIdx},
    {"Report_by_AccStreamType", kReportByAccStreamType, {}},
    {"Calendar", kCalendar, kCalendarIdx},
    {"template_dates", kTemplateDates, kTemplateDatesIdx},
    {"PfrDict_TemplateDates", kPfrDictTemplateDates, kPfrDictTemplateDatesIdx},
    {"TemplateByTPCategory", kTemplateByTPCategory, kTemplateByTPCategoryIdx},
    {"doc_templates_folders", kDocTemplatesFolders, kIdIdx},
    {"TemplateReadyException", kTemplateReadyException, {}},
    {"DictAttachmentTypes", kDictAttachmentTypes, {}},
    {"ScattersList", kScattersList, {}},
    {"Branches", kBranches, kBranchesIdx},
    {"AccPerson", kAccPerson, kAccPersonIdx},
};

constexpr SchemaStep kQueriesSteps[] = {
    {DbFile::kUser, 1, kQueriesTables},
};

}  // namespace

std::span<const SchemaStep> QueriesSchemaSteps() {
  return kQueriesSteps;
}

}  // namespace qv::schema
