#pragma once
// The shared engine of the record mappers: ReadRecord, SaveRecord,
// DeleteRecord and IsRecordExists of one entity, driven by its MapperDef
// (a column map plus the hooks of the entities that deviate). The engine
// takes the database explicitly; the public mapper classes (PlainMapper.h)
// pass the thread's user database.
//
// The plain pattern:
//   read    id 0: Clear. The row Seek "=" on the index finds, read without
//           a recordset by one SELECT of the base columns
//           (TableRecordset::SeekFields); no row: MarkNotFound(id); else
//           BeginLoad(id), the base columns in map order, afterRead,
//           EndLoad. Null or unconvertible values give the kind's default.
//   save    nothing when RState is 0, 1 or 4, the record is read-only, or
//           saveGate says no. ID other than 0: Seek; no row: nothing (or an
//           insert under that ID with insertMissing); else Edit. ID 0: nothing
//           when IsBlank; else AddNew under NextId (through newId). The
//           written columns in map order (references first save their
//           sub-record when recursive), beforeUpdate, Update, then for a new
//           row AssignNewID, and AfterInsert or AfterUpdate.
//   delete  nothing for Nothing, ID 0, read-only, or deleteGate saying no;
//           beforeDelete (cascades), the owned sub-records, then the row
//           when found; AfterDelete in any case.
//   exists  The same read of no column.
// A save or delete runs in one dao::Transaction (kWriteLock) that nested
// mapper calls on the same database join: a failure anywhere in it leaves
// nothing of it written, and undo steps put the records' identifiers and
// states back.
//
// Two shapes beyond one row per record:
//   header + detail (MapperDef::detail): the map's table holds a type and a
//           link; the row of the link in the detail table of that type holds
//           the rest. A type without a detail table reads as missing and is
//           not saved; a link without its row is recreated on save.
//   child lists (MapperDef::lists): a lazy collection property whose items
//           are the rows of a child table that name the record as owner;
//           read with the lazy group, synchronised with it on save.
//   value lists (MapperDef::valueLists): the same for items without
//           identifiers, matched by their values.

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Variant.h"
#include "records/ColumnMap.h"

namespace qv::dao {
class Database;
class Recordset;
}  // namespace qv::dao

namespace qv::records {

class RecordClass;

// The detail table of one value of the header's type column.
struct DetailMap {
  int32_t type;
  const ColumnMap* map;
};

// A header table whose rows are completed by a detail row: `typeColumn`
// picks the detail table, `linkColumn` holds the detail row's key. Both are
// columns of the header map and properties of the record of the same names.
struct DetailDef {
  std::string_view typeColumn;
  std::string_view linkColumn;
  std::span<const DetailMap> maps;
};

// A collection of child records kept in a table of their own, each row
// naming its owner in `ownerColumn`. Read with the owner's lazy group as
// references (each item reads itself through its mapper); saved with it:
// stored rows of the owner whose ID no remaining item has (items in state 4
// do not remain) are deleted, then each remaining item that is neither
// read-only nor a reference not read is saved through its mapper.
struct ChildListDef {
  std::string_view property;    // the record's collection property
  std::string_view itemProgId;  // the record type of the items
  std::string_view table;
  std::string_view ownerColumn;
  // The item property that receives the owner's ID before the item is
  // saved; empty: the owner's ID is the third argument of the item's save.
  std::string_view ownerProperty = {};
  // Items read get the owner's DeafForNotifications.
  bool inheritDeafness = false;
  // Stored rows no item keeps are deleted one by one through the item's
  // mapper (so that what they own goes with them) instead of by the batched
  // statement.
  bool removeThroughMapper = false;
};

// A collection of value records (no identifier of their own, no mapper)
// kept as rows of a child table: the owner's key in `ownerColumn` and the
// item's columns, which together are the item's key. Read with the base
// columns; saved after the owner's row (stored rows no item matches are
// deleted, items no row matches are added; a second item with the same
// values is one row); deleted before the owner's row.
struct ValueListDef {
  std::string_view property;    // the record's collection property
  std::string_view itemProgId;  // the record type of the items
  std::string_view ownerColumn;
  // The table written (and read) and the item columns, the item's key:
  // numbers or texts.
  const ColumnMap& map;
  // The table an owner's rows are read from when it is not map's (a range
  // of owners whose rows live elsewhere and are never written); null: map's.
  std::string_view (*readTableFor)(double ownerId) = nullptr;
};

struct MapperHooks {
  // The map an identifier lives in, for read and exists (tax offices choose
  // their table by range); null: MapperDef::map.
  const ColumnMap* (*mapFor)(double id) = nullptr;
  // True: IsRecordExists answers true without looking at the table.
  bool (*existsWithoutTable)(double id) = nullptr;
  // Called before EndLoad, once the base columns are assigned.
  void (*afterRead)(QvRecord& rec) = nullptr;
  // Called before the lazy row's read, the base columns read, with the
  // database read from (lookups elsewhere go to the same file): a select
  // it starts may go with the row's (StartWithNextSelect). What it returns
  // runs before the lazy group's closing bracket (ReadLazyFields).
  std::function<void(QvRecord&)> (*aroundLazyRead)(dao::Database& db, QvRecord& rec) = nullptr;
  // After the state and read-only gates: false skips the save.
  bool (*saveGate)(QvRecord& rec) = nullptr;
  // The identifier of a new row from NextId (last + 1, or 1); null: as is.
  double (*newId)(double next) = nullptr;
  // True: saving an ID that has no row inserts it under that ID.
  bool insertMissing = false;
  // Save, once the row to write is known (found, or to be added) and before
  // anything of the record or its sub-records is written: raises to refuse
  // a record that must not be stored.
  void (*beforeWrite)(dao::Database& db, QvRecord& rec) = nullptr;
  // Called after the mapped columns are written, before Update; `extra` is
  // the third argument of SaveRecord (Missing when not given).
  void (*beforeUpdate)(dao::Recordset& rs, QvRecord& rec, const Variant& extra) = nullptr;
  // After the read-only gate: false skips the delete (AfterDelete too).
  bool (*deleteGate)(double id) = nullptr;
  // Read, after afterRead: values taken from elsewhere than the row.
  void (*readMore)(dao::Database& db, QvRecord& rec) = nullptr;
  // Save, once the row is written and the record has its identifier, before
  // AfterInsert/AfterUpdate: rows of its own kept in other tables. `extra`
  // is the third argument of SaveRecord (Missing when not given).
  void (*afterWrite)(dao::Database& db, QvRecord& rec, bool recursive,
                     const Variant& extra) = nullptr;
  // Save, at its end: false leaves out AfterInsert/AfterUpdate, so the
  // record keeps its state and change flags (a caller's option in `extra`).
  bool (*notifies)(const Variant& extra) = nullptr;
  // Delete, after the gates and before the owned sub-records and the row:
  // the cascade into rows that depend on this one.
  void (*beforeDelete)(dao::Database& db, QvRecord& rec) = nullptr;
};

struct MapperDef {
  std::string_view recordProgId;  // the record type the mapper accepts
  const ColumnMap& map;
  bool saves = false;  // false: SaveRecord and DeleteRecord accept and do nothing
  MapperHooks hooks = {};
  // The map written by save and delete; null: `map`.
  const ColumnMap* writeMap = nullptr;
  // `map` is the header of a header + detail pair.
  const DetailDef* detail = nullptr;
  std::span<const ChildListDef> lists = {};
  std::span<const ValueListDef> valueLists = {};
};

// `aRecord` as the record type of `def`: error 13 for an object of another
// type; null for Nothing or Empty when `allowNothing`, else error 424.
std::shared_ptr<QvRecord> RecordArg(const MapperDef& def, const Variant& aRecord,
                                    bool allowNothing = false);
// The same for a record type named by its ProgID.
std::shared_ptr<QvRecord> RecordArg(std::string_view recordProgId, const Variant& aRecord,
                                    bool allowNothing = false);

// Each column's property index in `cls`, resolved once per (type, map) and
// kept for the process. Error 5 naming the property when the type lacks one,
// or when a base column would fill a property of a lazy group (a map that
// does not fit its record type).
const std::vector<int>& ResolvedProperties(const ColumnMap& map, const RecordClass& cls);

// A stored value as the column's property takes it: converted to the
// column's kind, null-tolerant (Null or unconvertible: "", 0, the zero date,
// False), a text through the column's readText. A value already of the
// kind's type is moved as it is.
Variant ColumnValue(const ColumnDef& c, Variant stored);
// The same in place.
void FitColumnValue(const ColumnDef& c, Variant& value);

// The property a column fills (see ColumnDef::property).
std::string_view PropertyNameOf(const ColumnDef& c);

// The table-type recordset of `map` with its index set.
std::shared_ptr<dao::Recordset> OpenMapTable(dao::Database& db, const ColumnMap& map);

void ReadRow(dao::Database& db, const MapperDef& def, double id, QvRecord& rec);
// Fills `rec` as ReadRow does from a row found elsewhere: the current row of
// `rs`, any recordset that carries the base columns of `def.map` under
// their names (a joined statement). REQUIRES: no header + detail pair.
void FillFromRow(const MapperDef& def, dao::Recordset& rs, double id, QvRecord& rec);
// The lazy columns (and child lists) of a stored record, read again on every
// call, between the brackets of its "LazyLoaded" group (error 5 for a type
// without one). A record not in state 3 reads its base columns first; no
// row: MarkNotFound. Save writes the lazy columns only while that group is
// loaded.
void ReadLazyRow(dao::Database& db, const MapperDef& def, QvRecord& rec);
void SaveRow(dao::Database& db, const MapperDef& def, QvRecord& rec, bool recursive,
             const Variant& extra = Variant::Missing());
// `rec` may be null (Nothing): nothing happens.
void DeleteRow(dao::Database& db, const MapperDef& def, QvRecord* rec);

// Inside a transaction scope on `db`: the record's identifier and state as
// they are now come back if the scope rolls back (call it before
// AssignNewID or AfterDelete).
void UndoOnRollback(dao::Database& db, QvRecord& rec);

// Picks columns by name (as the map spells them).
using ColumnFilter = std::function<bool(std::string_view column)>;
// Writes only the written columns `selected` picks (lazy ones only while the
// record holds its lazy group) into the stored row of the record's
// identifier, in map order: references as their sub-record's ID (0 when
// deleted) without saving the sub-record, texts cut to their column. No
// gates, hooks or notices: those are the caller's (a mapper that saves
// groups of columns of a stored record). False, with nothing written, when
// the row does not exist. Runs in one transaction scope (kWriteLock).
// REQUIRES: a map without a detail table.
bool UpdateColumns(dao::Database& db, const MapperDef& def, QvRecord& rec,
                   const ColumnFilter& selected);

// The child lists (MapperEngine's ChildListDef), for the engine.
void ReadChildList(dao::Database& db, const ChildListDef& list, QvRecord& owner);
void SaveChildList(dao::Database& db, const ChildListDef& list, QvRecord& owner, bool recursive);
void ReadValueList(dao::Database& db, const ValueListDef& list, QvRecord& owner);
void SaveValueList(dao::Database& db, const ValueListDef& list, QvRecord& owner);
void DeleteValueList(dao::Database& db, const ValueListDef& list, double ownerId);

// Calls `run` with `ids` as SQL number lists ("3, 5, 8") of at most 100
// identifiers each, in order; not at all for none.
void ForEachIdBatch(const std::vector<double>& ids,
                    const std::function<void(const std::string& list)>& run);
// "delete from <table> where <condition> and <idColumn> in (...)" for `ids`
// in batches of 100 identifiers (an empty condition: "where <idColumn> in");
// nothing for none.
void DeleteByIdList(dao::Database& db, std::string_view table, std::string_view condition,
                    std::string_view idColumn, const std::vector<double>& ids);
bool RowExists(dao::Database& db, const MapperDef& def, double id);
// Deletes through its mapper each record of type `progId` whose identifier
// the first column of `idQuery` gives on `db`: a cascade into records with
// cascades of their own. The identifiers are read before the first delete.
void DeleteRecordsListed(dao::Database& db, const std::string& idQuery, std::string_view progId);

}  // namespace qv::records
