#include "platform/dao/TableCursor.h"

#include "platform/automation/VbaText.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/FieldValues.h"

namespace qv::dao {

TableCursor::TableCursor(const std::shared_ptr<Database>& db,
                         std::shared_ptr<const jet::TableSpec> table, int32_t type, bool updatable)
    : Recordset(db, table->name, type, updatable), table_(std::move(table)) {}

size_t TableCursor::IndexOrdinal(const jet::TableSpec& table, std::string_view name) {
  for (size_t i = 0; i < table.indexes.size(); ++i)
    if (NamesEqual(table.indexes[i].name, name)) return i;
  ThrowDao(daoerr::kNotAnIndex, kSourceRecordset, {name});
}

uint16_t TableCursor::KeyNulls(std::span<const Variant> keys) {
  uint16_t nulls = 0;
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i].IsEmptyOrNull()) nulls = static_cast<uint16_t>(nulls | (1u << i));
  return nulls;
}

std::vector<Variant> TableCursor::CurrentOrderKey() const {
  std::vector<Variant> key;
  key.reserve(order_->columns.size());
  for (const OrderColumn& c : order_->columns) key.push_back(row_[static_cast<size_t>(c.field)]);
  return key;
}

void TableCursor::ReadFirstRow() {
  pos_ = ReadEnd(false) ? Pos::kRow : Pos::kEmpty;
}

void TableCursor::FirstOrLast(bool last) {
  CheckOpen();
  CancelEdit();
  if (ReadEnd(last)) {
    pos_ = Pos::kRow;
    return;
  }
  pos_ = Pos::kEmpty;
  ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
}

void TableCursor::MoveFirst() {
  FirstOrLast(false);
}

void TableCursor::MoveLast() {
  FirstOrLast(true);
}

void TableCursor::MoveNext() {
  CheckOpen();
  CancelEdit();
  if (IsEOF()) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  const bool found = pos_ == Pos::kBOF ? ReadEnd(false) : ReadNeighbour(false);
  pos_ = found ? Pos::kRow : Pos::kEOF;
}

void TableCursor::MovePrevious() {
  CheckOpen();
  CancelEdit();
  if (IsBOF() || pos_ == Pos::kNone) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  const bool found = pos_ == Pos::kEOF ? ReadEnd(true) : ReadNeighbour(true);
  pos_ = found ? Pos::kRow : Pos::kBOF;
}

void TableCursor::Move(int32_t rows) {
  CheckOpen();
  if (rows == 0) {
    CancelEdit();
    Positioned();
    if (pos_ != Pos::kRow) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
    ReadRowAgain();
    return;
  }
  if (rows > 0 ? IsEOF() : (IsBOF() || pos_ == Pos::kNone))
    ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  for (int32_t i = 0; i < (rows > 0 ? rows : -rows); ++i) {
    if (rows > 0) {
      MoveNext();
      if (IsEOF()) break;
    } else {
      MovePrevious();
      if (IsBOF()) break;
    }
  }
}

std::string TableCursor::Index() const {
  CheckOpen();
  if (Type() != dbOpenTable) ThrowDao(daoerr::kNotSupported, kSourceRecordset);
  return indexOrdinal_ < 0 ? std::string()
                           : table_->indexes[static_cast<size_t>(indexOrdinal_)].name;
}

void TableCursor::SetIndex(const std::string& name) {
  CheckOpen();
  if (Type() != dbOpenTable) ThrowDao(daoerr::kNotSupported, kSourceRecordset);
  const int32_t ordinal = name.empty() ? -1 : static_cast<int32_t>(IndexOrdinal(*table_, name));
  order_ = &OrderOf(ordinal);
  indexOrdinal_ = ordinal;
}

bool TableCursor::PlanSeek(std::string_view comparison, std::span<const Variant> keys, bool raise,
                           std::vector<Probe>& plan, std::vector<Variant>& converted) {
  const auto refuse = [&](int32_t error) {
    if (raise) ThrowDao(error, kSourceRecordset);
    return false;
  };
  if (!IsOpen()) {
    if (raise) CheckOpen();
    return false;
  }
  if (Type() != dbOpenTable) return refuse(daoerr::kNotSupported);
  if (indexOrdinal_ < 0) return refuse(daoerr::kNoCurrentIndex);
  if (keys.empty() || keys.size() > order_->columns.size()) return refuse(daoerr::kInvalidArgument);
  if (raise) CancelEdit();
  plan = SeekPlan(*order_, keys.size(), KeyNulls(keys), TrimBlanks(comparison));
  // Keys compare as the columns' values: converted to the column's type.
  converted.resize(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    const jet::FieldSpec& f = (*columns_)[static_cast<size_t>(order_->columns[i].field)].spec;
    try {
      converted[i] = CoerceToField(keys[i], f.type, INT32_MAX);
    } catch (const Error&) {
      return refuse(daoerr::kTypeMismatch);
    }
  }
  return true;
}

void TableCursor::Refresh() {
  KeepEditedRow();
  if (pos_ == Pos::kRow || pos_ == Pos::kStale) ReadRowAgain();
}

}  // namespace qv::dao
