// Tables of the warrants (powers of attorney): the warrant, its parties, its
// powers with their permissions, and the dictionary of permissions.

#include "core/schema/FieldHelpers.h"
#include "core/schema/SubsystemSchemas.h"

namespace qv::schema {
namespace {

using namespace fields;

// Each party has a slot for an organisation (L*) and one for a natural person
// (N*). IsActive is compared with 1 and written as 1 or 0.
constexpr FieldDef kWarrants[] = {
    Key(Dbl("ID")),
    Dbl("WorkerID"),
    Text("Caption"),
    Bool("IsAutoCaption"),
    Bool("ShowInBranches"),
    Flag("IsActive"),
    Bool("IsSmartBranchData"),
    Bool("IsSmartKppSubst"),
    Text("WarrantSeries"),
    Text("WarrantNumber"),
    Date("DateBeg"),
    Date("DateEnd"),
    Dbl("Origin_SubjectID"),
    Long("PrincipalType"),
    Long("PrincipalPersonType"),
    Dbl("LPrincipal_SubjectID"),
    Dbl("NPrincipal_SubjectID"),
    Long("AgentPersonType"),
    Dbl("LAgent_SubjectID"),
    Dbl("NAgent_SubjectID"),
    Bool("IsWitness"),
    Long("WitnessPersonType"),
    Dbl("LWitness_SubjectID"),
    Dbl("NWitness_SubjectID"),
    Text("WarrantGuid"),
    Long("ContoraType"),
};
constexpr IndexDef kWarrantsIdx[] = {PrimaryKey("Id", "ID"), Index("WorkerID", "WorkerID")};

// A party of a warrant; all columns are kept whatever its person type.
constexpr FieldDef kWarSubjects[] = {
    Key(Long("ID")),    Long("PersonType"),
    Text("FullName"),   Text("Inn"),
    Text("Kpp"),        Text("Ogrn"),
    Long("AddressID"),  Text("LeaderSurname"),
    Text("LeaderName"), Text("LeaderPatronymic"),
    Text("LeaderInn"),  Text("LeaderPost"),
    Text("Surname"),    Text("Name"),
    Text("Patronymic"), Long("CitizenshipID"),
    Date("BirthDate"),  Long("PassportID"),
};

// A power, limited to a territory (Okato).
constexpr FieldDef kWarPowers[] = {Key(Long("ID")), Dbl("Warrant_ID"), Text("Okato")};
constexpr IndexDef kWarPowersIdx[] = {PrimaryKey("Id", "ID"), Index("Warrant", "Warrant_ID")};

constexpr FieldDef kWarPermissions[] = {Key(Long("WarPower_ID")), Key(Long("WarPermission_ID"))};
constexpr IndexDef kWarPermissionsIdx[] = {Index("WarPower", "WarPower_ID;WarPermission_ID")};

constexpr FieldDef kWarDictPermissions[] = {Key(Long("ID")), Text("Code"), Text("Name")};

constexpr TableDef kWarrantsTables[] = {
    {"Warrants", kWarrants, kWarrantsIdx},
    {"WarSubjects", kWarSubjects, kIdIdx},
    {"WarPowers", kWarPowers, kWarPowersIdx},
    {"WarPermissions", kWarPermissions, kWarPermissionsIdx},
    {"WarDict_Permissions", kWarDictPermissions, kIdIdx},
};

constexpr SchemaStep kWarrantsSteps[] = {
    {DbFile::kUser, 1, kWarrantsTables},
};

}  // namespace

std::span<const SchemaStep> WarrantsSchemaSteps() {
  return kWarrantsSteps;
}

}  // namespace qv::schema
