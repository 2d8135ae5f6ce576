#pragma once
// The statements a table cursor runs. The cursor keeps its position as the
// key of the current row in the cursor's order (the index columns, then the
// rowid) and finds every other row with probes: a probe returns the first
// row, in forward or backward order, of the rows whose first order columns
// equal the key's (Null matched by IS NULL) and whose next column (or rowid)
// satisfies one range condition. Each probe is one index seek; a move or a
// seek runs the probes of its plan in turn until one returns a row, so no
// statement stays open between calls and writes through the cursor cannot
// disturb it.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/jet/JetCatalog.h"

namespace qv::dao {

enum class Cond : uint8_t { kNone, kGreater, kLess, kIsNull, kNotNull, kRowidGreater, kRowidLess };

struct Probe {
  uint8_t eqCount = 0;   // order columns matched by equality
  uint16_t eqNulls = 0;  // bit i: order column i is matched by IS NULL
  Cond cond = Cond::kNone;
  bool backward = false;
  // A number naming the probe's statement among those of one order.
  uint32_t Code() const;
};

struct OrderColumn {
  int32_t field;  // position in the table's fields
  bool descending;
};

// How the cursor reads its table in one order.
struct CursorOrder {
  std::string indexName;  // the SQLite index, "" for rowid order
  std::vector<OrderColumn> columns;
};

// The plans: `nulls` has bit i set when key column i is Null.
// After the row with key (columns..., rowid), in `backward` direction.
std::vector<Probe> StepPlan(const CursorOrder& order, uint16_t nulls, bool backward);
// Seek with `keyCount` leading key values: comparison "=", ">=", ">", "<=" or
// "<" (3001 for any other text).
std::vector<Probe> SeekPlan(const CursorOrder& order, size_t keyCount, uint16_t nulls,
                            std::string_view comparison);

// The SQLite text of the parts of a table's statements.
class TableSql {
 public:
  explicit TableSql(const jet::TableSpec& table);

  // SELECT of every field and the rowid (last) for a probe; parameters are
  // the non-null equal keys in order, then the range value.
  std::string ProbeSql(const CursorOrder& order, const Probe& probe) const;
  // The same probe selecting only `fields` (positions in the table's
  // fields, in the order given), then the rowid.
  std::string ProbeSql(const CursorOrder& order, const Probe& probe,
                       std::span<const int32_t> fields) const;
  // SELECT of `fields` (the rowid when none) of the row whose first column
  // of `order` equals the one parameter, for an index unique on that
  // column alone: one row at most, so no order, limit or rowid.
  std::string PointSql(const CursorOrder& order, std::span<const int32_t> fields) const;
  std::string ByRowidSql() const;
  std::string CountSql() const;
  std::string DeleteSql() const;
  // INSERT of the marked fields (DEFAULT VALUES when none); parameters in
  // field order.
  std::string InsertSql(const std::vector<uint8_t>& dirty) const;
  // UPDATE of the marked fields by rowid (the last parameter).
  std::string UpdateSql(const std::vector<uint8_t>& dirty) const;
  // SELECT of every field in rowid order, for a snapshot of the table.
  std::string SnapshotSql() const;

 private:
  // `select` ("SELECT ... FROM t") with the probe's conditions and order.
  std::string ProbeFrom(std::string select, const CursorOrder& order, const Probe& probe) const;

  std::vector<std::string> quoted_;  // quoted field names
  std::string table_;                // quoted table name
  std::string rowid_;                // a rowid name no field uses
  std::string select_;               // "SELECT f1, f2, ..., rowid FROM t"
};

// The value `make()` builds for the table definition `table`, built once per
// definition and thread and kept while the definition lives (the catalogue
// hands out a new definition when the table changes); one cache per Shape.
template <class Shape, class Make>
std::shared_ptr<const Shape> ShapeOfDefinition(const std::shared_ptr<const jet::TableSpec>& table,
                                               Make make) {
  struct Entry {
    std::weak_ptr<const jet::TableSpec> table;
    std::shared_ptr<const Shape> shape;
  };
  // Keyed by the definition's address: an entry whose definition is still
  // alive is the definition at that address.
  thread_local std::unordered_map<const jet::TableSpec*, Entry> shapes;
  auto it = shapes.find(table.get());
  if (it != shapes.end() && !it->second.table.expired()) return it->second.shape;
  if (shapes.size() >= 256)
    std::erase_if(shapes, [](const auto& e) { return e.second.table.expired(); });
  std::shared_ptr<const Shape> shape = make();
  shapes[table.get()] = Entry{table, shape};
  return shape;
}

}  // namespace qv::dao
