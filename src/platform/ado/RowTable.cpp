#include "platform/ado/RowTable.h"

#include <iterator>
#include <limits>

#include "platform/ado/AdoError.h"
#include "platform/automation/VbaText.h"

namespace qv::ado {

void RowTable::AppendField(FieldInfo field) {
  std::string key = FoldCase(field.name);
  if (byName_.count(key)) ThrowAdo(adoerr::kAlreadyInCollection, kFieldsSource, field.name);
  byName_.emplace(std::move(key), fields_.size());
  fields_.push_back(std::move(field));
}

void RowTable::RemoveField(size_t col) {
  fields_.erase(fields_.begin() + static_cast<std::ptrdiff_t>(col));
  byName_.clear();
  for (size_t i = 0; i < fields_.size(); ++i) byName_.emplace(FoldCase(fields_[i].name), i);
}

std::optional<size_t> RowTable::Find(std::string_view name) const {
  auto it = byName_.find(FoldCase(name));
  if (it == byName_.end()) return std::nullopt;
  return it->second;
}

std::span<Variant> RowTable::Row(size_t row) {
  return std::span<Variant>(cells_).subspan(row * fields_.size(), fields_.size());
}

void RowTable::Reserve(size_t rows) {
  cells_.reserve(cells_.size() + rows * fields_.size());
  deleted_.reserve(deleted_.size() + rows);
}

uint32_t RowTable::AddBlankRow() {
  if (deleted_.size() >= std::numeric_limits<uint32_t>::max())
    ThrowAdo(adoerr::kBadArguments, kRecordsetSource, "too many rows");
  cells_.resize(cells_.size() + fields_.size(), Variant::Null());
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
  cells_.resize(cells_.size() - fields_.size());
  deleted_.pop_back();
}

void RowTable::ClearRows() {
  cells_.clear();
  cells_.shrink_to_fit();
  deleted_.clear();
  deleted_.shrink_to_fit();
}

}  // namespace qv::ado
