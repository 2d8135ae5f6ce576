#include "platform/ado/RowTable.h"

#include <iterator>
#include <limits>

#include "platform/ado/AdoError.h"
#include "platform/automation/VbaText.h"

namespace qv::ado {

ColumnList& RowTable::OwnColumns() {
  if (!columns_)
    columns_ = std::make_shared<ColumnList>();
  else if (columns_.use_count() > 1)
    columns_ = std::make_shared<ColumnList>(*columns_);
  // Every list is made non-const (above), and this table holds it alone.
  return const_cast<ColumnList&>(*columns_);
}

void RowTable::AppendField(FieldInfo field) {
  std::string key = FoldCase(field.name);
  if (columns_ && columns_->byName.count(key))
    ThrowAdo(adoerr::kAlreadyInCollection, kFieldsSource, field.name);
  ColumnList& columns = OwnColumns();
  columns.fields.reserve(columns.fields.size() + 1);
  columns.byName.emplace(std::move(key), columns.fields.size());
  columns.fields.push_back(std::move(field));
  width_ = columns.fields.size();
}

void RowTable::RemoveField(size_t col) {
  ColumnList& columns = OwnColumns();
  columns.fields.erase(columns.fields.begin() + static_cast<std::ptrdiff_t>(col));
  columns.byName.clear();
  for (size_t i = 0; i < columns.fields.size(); ++i)
    columns.byName.emplace(FoldCase(columns.fields[i].name), i);
  width_ = columns.fields.size();
}

void RowTable::UseColumns(std::shared_ptr<const ColumnList> columns) {
  columns_ = std::move(columns);
  width_ = columns_ ? columns_->fields.size() : 0;
}

std::optional<size_t> RowTable::Find(std::string_view name) const {
  if (!columns_) return std::nullopt;
  auto it = columns_->byName.find(FoldCase(name));
  if (it == columns_->byName.end()) return std::nullopt;
  return it->second;
}

std::span<Variant> RowTable::Row(size_t row) {
  return std::span<Variant>(cells_).subspan(row * width_, width_);
}

void RowTable::Reserve(size_t rows) {
  cells_.reserve(cells_.size() + rows * width_);
  deleted_.reserve(deleted_.size() + rows);
}

uint32_t RowTable::AddBlankRow() {
  if (deleted_.size() >= std::numeric_limits<uint32_t>::max())
    ThrowAdo(adoerr::kBadArguments, kRecordsetSource, "too many rows");
  cells_.resize(cells_.size() + width_, Variant::Null());
  deleted_.push_back(false);
  return static_cast<uint32_t>(deleted_.size() - 1);
}

uint32_t RowTable::AddRow(std::span<Variant> values) {
  if (deleted_.size() >= std::numeric_limits<uint32_t>::max())
    ThrowAdo(adoerr::kBadArguments, kRecordsetSource, "too many rows");
  cells_.insert(cells_.end(), std::make_move_iterator(values.begin()),
                std::make_move_iterator(values.end()));
  deleted_.push_back(false);
  return static_cast<uint32_t>(deleted_.size() - 1);
}

void RowTable::RemoveLastRow() {
  cells_.resize(cells_.size() - width_);
  deleted_.pop_back();
}

void RowTable::ClearRows() {
  cells_.clear();
  cells_.shrink_to_fit();
  deleted_.clear();
  deleted_.shrink_to_fit();
}

}  // namespace qv::ado
