// Tables of a big-document shard file (BigDocs\..\<doc>_<k>.mdb). These files
// are not part of the user database's schema steps: the big-document code
// creates each shard with these definitions when it first needs it.
//
// Every numeric field is required with default 0; every Text(255) and Memo
// field is required, allows the empty text and defaults to it; dates are not
// required. Shard 0 also holds the directory (volumes and sub-documents).

#include "core/schema/FieldHelpers.h"
#include "core/schema/SubsystemSchemas.h"

namespace qv::schema {
namespace {

using namespace fields;

constexpr FieldDef Num(FieldDef f) {
  return RequiredWithDefault(f, "0");
}
constexpr FieldDef Str(FieldDef f) {
  return RequiredWithDefault(f, "\"\"");
}

constexpr FieldDef kVolumes[] = {Num(Long("ID")), Num(Long("VolType")), Num(Long("VolNum"))};
constexpr IndexDef kVolumesIdx[] = {
    PrimaryKey("ID", "ID"),
    Index("Vol", "VolType;VolNum"),
};

constexpr FieldDef kSubDocs[] = {
    Num(Long("ID")),       Num(Int("SubDocType")), Num(Dbl("PfrPersonID")),
    Num(Long("VolumeID")), Num(Long("OrderNum")),
};
constexpr IndexDef kSubDocsIdx[] = {
    PrimaryKey("ID", "ID"),
    Index("Vol", "VolumeID;OrderNum"),
};

// Static cells, two keys to a row: row key (K div 2)*2, Value0 for even K and
// Value1 for odd K.
constexpr FieldDef kStatCells[] = {
    Num(Long("SubDocID")),
    Num(Int("Key")),
    Str(Text("Value0")),
    Str(Text("Value1")),
};
constexpr IndexDef kStatCellsIdx[] = {Index("SubDoc", "SubDocID;Key")};

// Cells of dynamic tables (line or table number above 1).
constexpr FieldDef kDynCells[] = {
    Num(Long("SubDocID")), Num(Int("Key")),    Num(Int("TableNum")),
    Num(Int("LineNum")),   Str(Text("Value")),
};
// Texts of 256 characters or more, at any address.
constexpr FieldDef kWideCells[] = {
    Num(Long("SubDocID")), Num(Int("Key")),    Num(Int("TableNum")),
    Num(Int("LineNum")),   Str(Memo("Value")),
};
constexpr IndexDef kCellsIdx[] = {Index("SubDoc", "SubDocID;Key;TableNum;LineNum")};

// One row, written at creation: format version 1, the shard size, the owning
// document and this file's shard index.
constexpr FieldDef kStorageInfo[] = {
    Num(Long("VerNum")),
    Num(Long("ShardSize")),
    Num(Dbl("DocumentID")),
    Num(Long("ShardIndex")),
};

constexpr TableDef kDirectoryTables[] = {
    {"Volumes", kVolumes, kVolumesIdx},
    {"SubDocs", kSubDocs, kSubDocsIdx},
};

constexpr TableDef kCellTables[] = {
    {"StatCells", kStatCells, kStatCellsIdx},
    {"DynCells", kDynCells, kCellsIdx},
    {"WideCells", kWideCells, kCellsIdx},
    {"StorageInfo", kStorageInfo, {}},
};

}  // namespace

std::span<const TableDef> BigDocDirectoryTableDefs() {
  return kDirectoryTables;
}
std::span<const TableDef> BigDocCellTableDefs() {
  return kCellTables;
}

}  // namespace qv::schema
