#pragma once
// The cells and the check errors of a sub-document: rows of a table of
// their own that name the sub-document in SubDocID, held by the
// sub-document record as a collection of item records without a mapper of
// their own (the record's "Cells" and "Errors" groups).
//
// Saving makes the stored rows equal to the collection, writing only the
// difference: an item without a stored row of this sub-document (a new one,
// one whose row is gone, one copied from another sub-document) is inserted
// under a new identifier, which it is given; an item whose stored row holds
// other values is updated; an item equal to its row costs no write; stored
// rows no item names are deleted, 100 identifiers per statement. A second
// item with the identifier of an earlier one is left out. Cells whose value
// is empty are not stored: an emptied cell loses its row.

#include <string_view>

#include "platform/automation/Variant.h"
#include "records/ColumnMap.h"
#include "siblings/records/QvRecord.h"

namespace qv::dao {
class Database;
class Recordset;
}  // namespace qv::dao

namespace qv::pfr {

struct SubDocItemsDef {
  std::string_view property;    // the sub-document's collection
  std::string_view loadedFlag;  // the flag of its lazy group
  std::string_view itemProgId;
  // The table with its key "ID" and unique index "ID", and the item columns
  // (written texts pass through the column's write conversion, then are cut
  // to the column's size; Memo columns are written in full).
  const records::ColumnMap& map;
  std::string_view ownerColumn;  // "SubDocID"
  // The order of a read: the columns of the table's index that starts with
  // the owner, after it.
  std::string_view orderBy;
  // An item whose text column of this name is empty is not stored; empty:
  // every item is.
  std::string_view dropWhenEmpty = {};
};

const SubDocItemsDef& CellItems();
const SubDocItemsDef& ErrorItems();

// Hands the stored rows of sub-document `rec` to its collection as a new
// collection in the definition's order (Nothing for a record without
// identifier), without marking the collection changed. One statement reads
// them, over the table's index on the owner.
void ReadSubDocItems(dao::Database& db, const SubDocItemsDef& def, records::QvRecord& rec);

// Writes the difference between `rec`'s collection and its stored rows
// (see above). REQUIRES: inside the transaction scope of the save, and
// `rec` has its identifier. Errors: 13 for an item of another type.
void SaveSubDocItems(dao::Database& db, const SubDocItemsDef& def, records::QvRecord& rec);

// A new item record holding the current row of `rs`.
records::QvRecordPtr ItemFromRow(const SubDocItemsDef& def, dao::Recordset& rs);

}  // namespace qv::pfr
