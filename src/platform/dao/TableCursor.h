#pragma once
// What both table cursors share: the file's (TableRecordset: SQLite probes
// that keep the position by rowid) and the server's (ServerTableRecordset:
// TOP 1 Jet statements that keep it by primary key). A cursor stands on the
// current row's key in its order (TableCursorSql.h) and finds every other
// row by probes; the moves, the index set, a seek's checks and its keys,
// and a refresh are the same rules on both, written here once. How a probe
// runs and how a row is read again are each cursor's own.
//
// Errors: a move raises 3021 past the end or before the start, and relative
// to no current record; 3420 after Close; Index and SetIndex 3251 on a
// dynaset, SetIndex 3015 a name that is no index of the table; the seek's
// checks as PlanSeek says.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dao/Recordset.h"
#include "platform/dao/TableCursorSql.h"

namespace qv::dao {

class TableCursor : public Recordset {
 public:
  void MoveFirst() final;
  void MoveLast() final;
  void MoveNext() final;
  void MovePrevious() final;
  // Move(0) reads the current row again (kDeleted when it is gone).
  void Move(int32_t rows) final;

  std::string Index() const final;
  void SetIndex(const std::string& name) final;
  void Refresh() final;

 protected:
  // REQUIRES: the derived constructor sets order_ (the order with no index
  // set) before the cursor is used.
  TableCursor(const std::shared_ptr<Database>& db, std::shared_ptr<const jet::TableSpec> table,
              int32_t type, bool updatable);

  // The first row (`last`: the last) in the current order, read into the
  // current record; false when the table has none.
  virtual bool ReadEnd(bool last) = 0;
  // The row after the current one (`backward`: before it) in the current
  // order, read into the current record; false when there is none.
  virtual bool ReadNeighbour(bool backward) = 0;
  // The order of index `ordinal` of the table (-1: no index set).
  virtual const CursorOrder& OrderOf(int32_t ordinal) const = 0;

  void ReadFirstRow() final;

  // The checks of Seek and its plan: 3420 closed, 3251 not table-type, 3019
  // no index set, 3001 no key or more keys than the index has columns (or
  // a comparison SeekPlan does not know); then a pending edit cancelled and
  // `converted` the keys converted to their columns' types (3464 one that
  // does not convert). With `raise` false a refusal returns false instead,
  // with nothing cancelled (SeekPlan's 3001 is raised either way).
  bool PlanSeek(std::string_view comparison, std::span<const Variant> keys, bool raise,
                std::vector<Probe>& plan, std::vector<Variant>& converted);
  // The current record's values of the order's columns.
  std::vector<Variant> CurrentOrderKey() const;
  // Bit i set when keys[i] is Empty or Null.
  static uint16_t KeyNulls(std::span<const Variant> keys);
  // The position of index `name` in the table's indexes (3015 when none).
  static size_t IndexOrdinal(const jet::TableSpec& table, std::string_view name);

  const std::shared_ptr<const jet::TableSpec> table_;
  int32_t indexOrdinal_ = -1;           // in table_->indexes; -1 none set
  const CursorOrder* order_ = nullptr;  // OrderOf(indexOrdinal_), or a dynaset's

 private:
  void FirstOrLast(bool last);
};

}  // namespace qv::dao
