// Tables of the two classifier databases beside the user database: the
// address classifier (Kladr.mdb) and the classifier of administrative-
// territorial units (Okato.mdb). Both are opened read-only; the schema serves
// to build them (tools, tests).

#include "core/schema/FieldHelpers.h"
#include "core/schema/SubsystemSchemas.h"

namespace qv::schema {
namespace {

using namespace fields;

// Address objects in a tree (ParentID, Level); the abbreviation of the kind of
// object (street, town ...) is a row of KladrAbbrevs.
constexpr FieldDef kKladrObjects[] = {
    Key(Long("ID")), Long("ParentID"), Long("Level"),
    Text("ObjName"), Long("AbbrevID"), Text("PostIndex"),
};
constexpr IndexDef kKladrObjectsIdx[] = {
    PrimaryKey("Id", "ID"),
    Index("ParentID", "ParentID;Level"),
};

constexpr FieldDef kKladrAbbrevs[] = {Key(Long("ID")), Text("ShortName")};

constexpr FieldDef kOkatoClassifier[] = {Key(Long("ID")), Text("Code"), Text("Name")};
constexpr IndexDef kOkatoClassifierIdx[] = {PrimaryKey("Id", "ID"), Index("Code", "Code")};

constexpr TableDef kKladrTables[] = {
    {"KladrObjects", kKladrObjects, kKladrObjectsIdx},
    {"KladrAbbrevs", kKladrAbbrevs, kIdIdx},
};

constexpr TableDef kOkatoTables[] = {
    {"NSI_OKATO", kOkatoClassifier, kOkatoClassifierIdx},
};

constexpr SchemaStep kClassifierSteps[] = {
    {DbFile::kKladr, 1, kKladrTables},
    {DbFile::kOkato, 1, kOkatoTables},
};

}  // namespace

std::span<const SchemaStep> ClassifierSchemaSteps() {
  return kClassifierSteps;
}

}  // namespace qv::schema
