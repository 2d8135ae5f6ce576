#include "platform/ado/Recordset.h"

#include <algorithm>
#include <cmath>

#include "platform/ado/Field.h"
#include "platform/ado/Fields.h"

namespace qv::ado {

namespace {

// "Fields" and the default member: Fields() or Fields(index), and
// Fields(index) = value.
Member FieldsMember(std::string name) {
  auto signature = dispatch::MakeSignature<decltype(&Recordset::FieldsV)>(
      {"aIndex"}, {Variant::Missing()}, std::make_index_sequence<1>{});
  return Member{name,
                dispatch::MakeInvoker(name, &Recordset::FieldsV, {Variant::Missing()}, signature),
                dispatch::MakeInvoker(name, &Recordset::LetFieldsV, {}), signature};
}

}  // namespace

QV_DEFINE_CLASS(
    Recordset, "ADODB.Recordset", QV_CREATABLE(Recordset), FieldsMember("Fields"), FieldsMember(""),
    Property("Collect(Index)", &Recordset::Collect, &Recordset::LetCollect),
    Property("CursorLocation", &Recordset::CursorLocation, &Recordset::LetCursorLocationV),
    Method("Open(Source, ActiveConnection, CursorType, LockType, Options)", &Recordset::OpenV,
           {Variant::Missing(), Variant::Missing(), Variant::Missing(), Variant::Missing(),
            Variant(int32_t{-1})}),
    Method("Close", &Recordset::CloseV), Method("State", &Recordset::State),
    Method("EditMode", &Recordset::EditMode),
    Method("AddNew(fields, values)", &Recordset::AddNewV, {Variant::Missing(), Variant::Missing()}),
    Method("Update(fields, values)", &Recordset::UpdateV, {Variant::Missing(), Variant::Missing()}),
    Method("CancelUpdate", &Recordset::CancelUpdate),
    Method("Delete(affectRecords)", &Recordset::DeleteV, {Variant(adAffectCurrent)}),
    Method("MoveFirst", &Recordset::MoveFirst), Method("MoveLast", &Recordset::MoveLast),
    Method("MoveNext", &Recordset::MoveNext), Method("MovePrevious", &Recordset::MovePrevious),
    Method("Move(n, start)", &Recordset::MoveV, {Variant::Missing()}),
    Method("EOF", &Recordset::EofV), Method("BOF", &Recordset::BofV),
    Method("RecordCount", &Recordset::RecordCount),
    Property("AbsolutePosition", &Recordset::AbsolutePosition, &Recordset::LetAbsolutePositionV),
    Property("Sort", &Recordset::SortV, &Recordset::LetSortV),
    Property("Filter", &Recordset::FilterV, &Recordset::LetFilterV))

[[maybe_unused]] static const bool qv_registered_Recordset26 =
    (ProgIdRegistry::Register("ADODB.Recordset.2.6", &Recordset::StaticClass), true);

// ---- columns

void Recordset::AppendField(std::string name, int32_t type, int32_t definedSize,
                            int32_t attributes) {
  RequireClosed(kFieldsSource);
  table_.AppendField(MakeFieldInfo(std::move(name), type, definedSize, attributes));
}

void Recordset::UseFields(std::shared_ptr<const ColumnList> fields) {
  RequireClosed(kFieldsSource);
  table_.UseColumns(std::move(fields));
}

void Recordset::DeleteField(size_t col) {
  RequireClosed(kFieldsSource);
  table_.RemoveField(col);
}

void Recordset::SetPrecision(size_t col, uint8_t precision) {
  RequireClosed(kFieldSource);
  table_.MutableField(col).precision = precision;
}

void Recordset::SetNumericScale(size_t col, uint8_t scale) {
  RequireClosed(kFieldSource);
  table_.MutableField(col).numericScale = scale;
}

size_t Recordset::FieldIndex(std::string_view name) const {
  auto col = table_.Find(name);
  if (!col) ThrowAdo(adoerr::kItemNotFound, kFieldsSource, name);
  return *col;
}

size_t Recordset::ItemIndex(const Variant& index, std::string_view source) const {
  if (index.IsString()) {
    auto col = table_.Find(index.AsString());
    if (!col) ThrowAdo(adoerr::kItemNotFound, source, index.AsString());
    return *col;
  }
  if (index.IsNumericType() && std::fabs(CDbl(index)) < 2147483647.0) {
    const int32_t i = CLng(index);
    if (i >= 0 && static_cast<size_t>(i) < FieldCount()) return static_cast<size_t>(i);
  }
  ThrowAdo(adoerr::kItemNotFound, source, index.Describe());
}

// ---- state

void Recordset::SetCursorLocation(int32_t location) {
  RequireClosed(kRecordsetSource);
  if (location != adUseClient && location != adUseServer)
    ThrowAdo(adoerr::kBadArguments, kRecordsetSource,
             "cursor location " + std::to_string(location));
  cursorLocation_ = location;
}

void Recordset::Open() {
  RequireClosed(kRecordsetSource);
  if (FieldCount() == 0) ThrowAdo(adoerr::kBadArguments, kRecordsetSource, "no fields appended");
  // The columns may have changed since Sort and Filter were set.
  sortKeys_ = ParseSort(table_, sort_);
  filterTerms_ = ParseFilter(table_, filter_);
  open_ = true;
  order_.clear();
  pos_ = 0;
  onDeleted_ = false;
  edit_ = Edit::kNone;
}

void Recordset::Close() {
  RequireOpen();
  if (edit_ != Edit::kNone)
    ThrowAdo(adoerr::kNotAllowedInContext, kRecordsetSource, "a change is pending");
  open_ = false;
  table_.ClearRows();
  order_.clear();
  order_.shrink_to_fit();
  pos_ = 0;
  onDeleted_ = false;
}

int32_t Recordset::EditMode() const {
  RequireOpen();
  switch (edit_) {
    case Edit::kInProgress:
      return adEditInProgress;
    case Edit::kAdd:
      return adEditAdd;
    case Edit::kNone:
      break;
  }
  return adEditNone;
}

void Recordset::RequireOpen(std::string_view source) const {
  if (!open_) ThrowAdo(adoerr::kObjectClosed, source);
}

void Recordset::RequireClosed(std::string_view source) const {
  if (open_) ThrowAdo(adoerr::kObjectOpen, source);
}

// ---- reading

int32_t Recordset::RecordCount() const {
  RequireOpen();
  return static_cast<int32_t>(order_.size());
}

bool Recordset::HasCurrent() const {
  return open_ && !onDeleted_ && pos_ >= 0 && pos_ < static_cast<int64_t>(order_.size());
}

uint32_t Recordset::CurrentRow(std::string_view source) const {
  RequireOpen(source);
  if (!HasCurrent()) ThrowAdo(adoerr::kNoCurrentRecord, source);
  return order_[static_cast<size_t>(pos_)];
}

const Variant& Recordset::CurrentValue(size_t col, std::string_view source) const {
  return table_.Cell(CurrentRow(source), col);
}

bool Recordset::IsEOF() const {
  RequireOpen();
  return !onDeleted_ && (order_.empty() || pos_ >= static_cast<int64_t>(order_.size()));
}

bool Recordset::IsBOF() const {
  RequireOpen();
  return !onDeleted_ && (order_.empty() || pos_ < 0);
}

int32_t Recordset::AbsolutePosition() const {
  RequireOpen();
  if (onDeleted_ || order_.empty()) return adPosUnknown;
  if (pos_ < 0) return adPosBOF;
  if (pos_ >= static_cast<int64_t>(order_.size())) return adPosEOF;
  return static_cast<int32_t>(pos_ + 1);
}

void Recordset::SetAbsolutePosition(int32_t position) {
  RequireOpen();
  if (position < 1 || position > static_cast<int64_t>(order_.size()))
    ThrowAdo(adoerr::kBadArguments, kRecordsetSource, "position " + std::to_string(position));
  GoTo(position - 1);
}

// ---- moving

void Recordset::GoTo(int64_t pos) {
  CommitPending();
  pos_ = std::clamp<int64_t>(pos, -1, static_cast<int64_t>(order_.size()));
  onDeleted_ = false;
}

void Recordset::MoveFirst() {
  RequireOpen();
  if (order_.empty()) ThrowAdo(adoerr::kNoCurrentRecord, kRecordsetSource);
  GoTo(0);
}

void Recordset::MoveLast() {
  RequireOpen();
  if (order_.empty()) ThrowAdo(adoerr::kNoCurrentRecord, kRecordsetSource);
  GoTo(static_cast<int64_t>(order_.size()) - 1);
}

void Recordset::MoveNext() {
  if (onDeleted_) return GoTo(pos_);
  if (IsEOF()) ThrowAdo(adoerr::kNoCurrentRecord, kRecordsetSource);
  GoTo(pos_ + 1);
}

void Recordset::MovePrevious() {
  if (onDeleted_) return GoTo(pos_ - 1);
  if (IsBOF()) ThrowAdo(adoerr::kNoCurrentRecord, kRecordsetSource);
  GoTo(pos_ - 1);
}

void Recordset::Move(int32_t n, int32_t start) {
  RequireOpen();
  const auto size = static_cast<int64_t>(order_.size());
  int64_t base = 0;
  if (start == adBookmarkCurrent) {
    if (n == 0 && !HasCurrent()) ThrowAdo(adoerr::kNoCurrentRecord, kRecordsetSource);
    if (n > 0 && !onDeleted_ && IsEOF()) ThrowAdo(adoerr::kNoCurrentRecord, kRecordsetSource);
    if (n < 0 && !onDeleted_ && IsBOF()) ThrowAdo(adoerr::kNoCurrentRecord, kRecordsetSource);
    // A deleted row sits between pos_ - 1 and pos_.
    base = (onDeleted_ && n > 0) ? pos_ - 1 : pos_;
  } else if (start == adBookmarkFirst || start == adBookmarkLast) {
    if (size == 0) ThrowAdo(adoerr::kNoCurrentRecord, kRecordsetSource);
    base = start == adBookmarkFirst ? 0 : size - 1;
  } else {
    ThrowAdo(adoerr::kBadArguments, kRecordsetSource, "start " + std::to_string(start));
  }
  GoTo(base + n);
}

void Recordset::MoveV(int32_t n, const Variant& start) {
  Move(n, start.IsMissing() || start.IsEmpty() ? adBookmarkCurrent : CLng(start));
}

// ---- writing

void Recordset::CommitPending() {
  edit_ = Edit::kNone;
  original_.clear();
}

void Recordset::AddNew() {
  RequireOpen();
  CommitPending();
  posBeforeAdd_ = pos_;
  order_.push_back(table_.AddBlankRow());
  pos_ = static_cast<int64_t>(order_.size()) - 1;
  onDeleted_ = false;
  edit_ = Edit::kAdd;
}

void Recordset::SetValue(size_t col, Variant value, std::string_view source) {
  const uint32_t row = CurrentRow(source);
  Store(row, col, CoerceToField(table_.Field(col), std::move(value), source));
}

void Recordset::Store(uint32_t row, size_t col, Variant stored) {
  if (edit_ == Edit::kNone) {
    auto cells = table_.Row(row);
    original_.assign(cells.begin(), cells.end());
    edit_ = Edit::kInProgress;
  }
  table_.MutableCell(row, col) = std::move(stored);
}

void Recordset::Update() {
  CurrentRow(kRecordsetSource);
  CommitPending();
}

void Recordset::CancelUpdate() {
  RequireOpen();
  if (edit_ == Edit::kAdd) {
    order_.pop_back();
    table_.RemoveLastRow();
    pos_ = std::min<int64_t>(posBeforeAdd_, static_cast<int64_t>(order_.size()));
  } else if (edit_ == Edit::kInProgress) {
    auto cells = table_.Row(order_[static_cast<size_t>(pos_)]);
    std::move(original_.begin(), original_.end(), cells.begin());
  }
  CommitPending();
}

void Recordset::Delete() {
  const uint32_t row = CurrentRow(kRecordsetSource);
  CommitPending();
  table_.MarkDeleted(row);
  order_.erase(order_.begin() + pos_);
  onDeleted_ = true;
}

void Recordset::DeleteV(int32_t affectRecords) {
  if (affectRecords != adAffectCurrent)
    ThrowAdo(adoerr::kBadArguments, kRecordsetSource,
             "only the current record can be deleted, not group " + std::to_string(affectRecords));
  Delete();
}

void Recordset::AppendRow(std::vector<Variant>&& values) {
  AppendRow(std::span<Variant>(values));
}

void Recordset::AppendRow(std::span<Variant> values) {
  RequireOpen();
  if (values.size() != FieldCount())
    ThrowAdo(
        adoerr::kBadArguments, kRecordsetSource,
        std::to_string(values.size()) + " values for " + std::to_string(FieldCount()) + " fields");
  for (size_t c = 0; c < values.size(); ++c)
    CoerceInPlace(table_.Field(c), values[c], kRecordsetSource);
  CommitPending();
  order_.push_back(table_.AddRow(values));
  pos_ = static_cast<int64_t>(order_.size()) - 1;
  onDeleted_ = false;
}

void Recordset::ReserveRows(size_t rows) {
  RequireOpen();
  table_.Reserve(rows);
  order_.reserve(order_.size() + rows);
}

// Sets one field, or the fields of one array to the values of another;
// every value is converted before any is stored.
void Recordset::SetValues(const Variant& fields, const Variant& values, std::string_view source) {
  if (values.IsMissing()) ThrowAdo(adoerr::kBadArguments, source, "fields without values");
  std::vector<size_t> cols;
  std::vector<Variant> converted;
  if (fields.IsArray() && !fields.IsByteArray()) {
    const VariantArray& names = fields.AsArray();
    if (names.dims.size() > 1 || !values.IsArray() || values.IsByteArray() ||
        values.AsArray().dims.size() > 1 || values.AsArray().items.size() != names.items.size())
      ThrowAdo(adoerr::kBadArguments, source, "the field and value arrays do not match");
    for (size_t i = 0; i < names.items.size(); ++i) {
      cols.push_back(ItemIndex(names.items[i], source));
      converted.push_back(
          CoerceToField(table_.Field(cols.back()), values.AsArray().items[i], source));
    }
  } else {
    cols.push_back(ItemIndex(fields, source));
    converted.push_back(CoerceToField(table_.Field(cols.back()), values, source));
  }
  const uint32_t row = CurrentRow(source);
  for (size_t i = 0; i < cols.size(); ++i) Store(row, cols[i], std::move(converted[i]));
}

void Recordset::AddNewV(const Variant& fields, const Variant& values) {
  if (fields.IsMissing()) return AddNew();
  RequireOpen();
  AddNew();
  try {
    SetValues(fields, values, kRecordsetSource);
  } catch (...) {
    CancelUpdate();
    throw;
  }
  Update();
}

void Recordset::UpdateV(const Variant& fields, const Variant& values) {
  if (!fields.IsMissing()) {
    CurrentRow(kRecordsetSource);
    SetValues(fields, values, kRecordsetSource);
  }
  Update();
}

// ---- order

void Recordset::Reorder() {
  CommitPending();
  order_ = OrderRows(table_, filterTerms_, sortKeys_);
  pos_ = 0;
  onDeleted_ = false;
}

void Recordset::SetSort(const std::string& sort) {
  sortKeys_ = ParseSort(table_, sort);
  sort_ = sort;
  if (open_) Reorder();
}

Variant Recordset::Filter() const {
  if (filter_.empty()) return Variant(adFilterNone);
  return Variant(filter_);
}

void Recordset::SetFilter(const Variant& filter) {
  std::string text;
  if (filter.IsString()) {
    text = filter.AsString();
  } else if (!filter.IsNumericType() || CDbl(filter) != adFilterNone) {
    ThrowAdo(adoerr::kBadArguments, kRecordsetSource, "filter " + filter.Describe());
  }
  filterTerms_ = ParseFilter(table_, text);
  filter_ = std::move(text);
  if (open_) Reorder();
}

// ---- late-bound forms

Variant Recordset::FieldsV(const Variant& index) {
  auto self = std::static_pointer_cast<Recordset>(shared_from_this());
  if (index.IsMissing()) return Variant(std::make_shared<Fields>(self));
  return Variant(std::make_shared<Field>(self, ItemIndex(index)));
}

void Recordset::LetFieldsV(const Variant& index, const Variant& value) {
  SetValue(ItemIndex(index), value, kFieldSource);
}

Variant Recordset::Collect(const Variant& index) {
  return CurrentValue(ItemIndex(index, kRecordsetSource), kRecordsetSource);
}

void Recordset::LetCollect(const Variant& index, const Variant& value) {
  SetValue(ItemIndex(index, kRecordsetSource), value, kRecordsetSource);
}

void Recordset::OpenV(const Variant& source, const Variant& connection, const Variant&,
                      const Variant&, int32_t) {
  auto given = [](const Variant& v) {
    return !v.IsMissing() && !v.IsEmpty() && !v.IsNothing() &&
           !(v.IsString() && v.AsString().empty());
  };
  // Filling from a statement needs a connection; none can be used here yet.
  if (given(source) || given(connection)) ThrowAdo(adoerr::kConnectionUnusable, kRecordsetSource);
  Open();
}

}  // namespace qv::ado
