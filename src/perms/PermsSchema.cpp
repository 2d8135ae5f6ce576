// Tables of the users and the rights system: users and groups, their roles,
// permission blocks with their objects, items and document classes.

#include "core/schema/FieldHelpers.h"
#include "core/schema/SubsystemSchemas.h"

namespace qv::schema {
namespace {

using namespace fields;

// One row: the state value of the rights system.
constexpr FieldDef kPermSystem[] = {Long("PermSystem")};

// Users and groups; ID -1 is the global root owner. Password holds the
// scrambled password as hexadecimal text (4 digits per character, plus a
// random prefix), so it is a Memo rather than a Text(255).
constexpr FieldDef kPermUsers[] = {
    Key(Long("ID")), Long("RecType"),    Text("Login"),   Memo("Password"), Text("Surname"),
    Text("Name"),    Text("Patronymic"), Text("Caption"), Text("Remarks"),  Long("Disabled"),
};
constexpr IndexDef kPermUsersIdx[] = {PrimaryKey("ID", "ID")};

constexpr FieldDef kPermUserRoles[] = {Long("UserID"), Long("RoleID"), Long("OrderNum")};

// Permission blocks: m1..m5 masks with their values v1..v5.
constexpr FieldDef kPermBlocks[] = {
    Key(Long("ID")),  Long("UserID"),      Long("BlockType"), Long("AreaType"),
    Long("OrderNum"), Dbl("PermObjectID"), Long("m1"),        Long("v1"),
    Long("m2"),       Long("v2"),          Long("m3"),        Long("v3"),
    Long("m4"),       Long("v4"),          Long("m5"),        Long("v5"),
};
constexpr IndexDef kPermBlocksIdx[] = {PrimaryKey("ID", "ID"), Index("UserID", "UserID")};

constexpr FieldDef kPermObjectLists[] = {Long("BlockID"), Dbl("PermObjectID")};

constexpr FieldDef kPermMultiBlocks[] = {
    Key(Long("ID")),  Long("BlockID"), Long("ItemType"), Long("OrderNum"),
    Long("AreaType"), Long("m"),       Long("v"),
};
constexpr IndexDef kPermMultiBlocksIdx[] = {PrimaryKey("ID", "ID"), Index("BlockID", "BlockID")};

constexpr FieldDef kPermDocLists[] = {Long("MultiBlockID"), Long("TemplTypeID")};

constexpr TableDef kPermsTables[] = {
    {"PermSystem", kPermSystem, {}},
    {"PermUsers", kPermUsers, kPermUsersIdx},
    {"PermUserRoles", kPermUserRoles, {}},
    {"PermBlocks", kPermBlocks, kPermBlocksIdx},
    {"PermObjectLists", kPermObjectLists, {}},
    {"PermMultiBlocks", kPermMultiBlocks, kPermMultiBlocksIdx},
    {"PermDocLists", kPermDocLists, {}},
};

constexpr SchemaStep kPermsSteps[] = {
    {DbFile::kUser, 1, kPermsTables},
};

}  // namespace

std::span<const SchemaStep> PermsSchemaSteps() {
  return kPermsSteps;
}

}  // namespace qv::schema
