#include "platform/dao/Recordset.h"

#include <cstring>

#include "platform/automation/VbaText.h"
#include "platform/dao/DaoCollections.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/Field.h"
#include "platform/dao/FieldValues.h"
#include "platform/dao/SpareCells.h"

namespace qv::dao {

namespace {

// Seek(comparison, key1, key2 ...): the keys are a parameter array.
Variant InvokeSeek(Object& self, Args args) {
  if (args.size() < 2) ThrowVb(vberr::kArgumentNotOptional, "Seek");
  std::vector<Variant> keys;
  for (size_t i = 1; i < args.size() && !args[i].IsMissing(); ++i) keys.push_back(args[i]);
  static_cast<Recordset&>(self).Seek(CStr(args[0]), keys);
  return Variant();
}

// Fields(name or position).Value, as the hidden member Collect reads it.
Variant InvokeCollect(Object& self, Args args) {
  if (args.size() != 1) ThrowVb(vberr::kArgumentNotOptional, "Collect");
  auto& rs = static_cast<Recordset&>(self);
  if (args[0].IsString()) return rs.FieldValue(std::string_view(args[0].AsString()));
  return rs.FieldValue(CLng(args[0]));
}

Variant LetCollect(Object& self, Args args) {
  if (args.size() != 2) ThrowVb(vberr::kArgumentNotOptional, "Collect");
  auto& rs = static_cast<Recordset&>(self);
  if (args[0].IsString())
    rs.SetField(std::string_view(args[0].AsString()), args[1]);
  else
    rs.SetField(CLng(args[0]), args[1]);
  return Variant();
}

// What help prints: Seek's comparison and up to thirteen keys (a key
// left out ends the list), Collect's field and value.
std::shared_ptr<const Signature> SeekSignature() {
  Signature s{{Param{"aComparison", &dispatch::TypeName<std::string>, false, false, Variant()}},
              nullptr,
              0};
  for (int i = 1; i <= 13; ++i)
    s.params.push_back(Param{"aKey" + std::to_string(i), &dispatch::TypeName<Variant>, false, i > 1,
                             Variant::Missing()});
  s.namesGiven = s.params.size();
  return std::make_shared<const Signature>(std::move(s));
}

std::shared_ptr<const Signature> CollectSignature() {
  return std::make_shared<const Signature>(
      Signature{{Param{"aIndex", &dispatch::TypeName<Variant>, false, false, Variant()}},
                &dispatch::TypeName<Variant>,
                1});
}

}  // namespace

QV_DEFINE_CLASS(Recordset, "DAO.Recordset", nullptr, Method("MoveFirst", &Recordset::MoveFirst),
                Method("MoveLast", &Recordset::MoveLast), Method("MoveNext", &Recordset::MoveNext),
                Method("MovePrevious", &Recordset::MovePrevious),
                Method("Move(Rows)", &Recordset::Move), Method("EOF", &Recordset::IsEOF),
                Method("BOF", &Recordset::IsBOF), Method("RecordCount", &Recordset::RecordCount),
                Method("AddNew", &Recordset::AddNew), Method("Edit", &Recordset::Edit),
                Method("Update", &Recordset::Update),
                Method("CancelUpdate", &Recordset::CancelUpdate),
                Method("Delete", &Recordset::Delete), Method("EditMode", &Recordset::EditMode),
                Method("Updatable", &Recordset::Updatable),
                CollectionMember("Fields", &Recordset::FieldsCollection),
                qv::Property("Index", &Recordset::Index, &Recordset::SetIndex),
                Member{"Seek", InvokeSeek, nullptr, SeekSignature()},
                Method("NoMatch", &Recordset::NoMatch),
                qv::Property("Bookmark", &Recordset::Bookmark, &Recordset::SetBookmark),
                Method("LastModified", &Recordset::LastModified),
                Method("Close", &Recordset::Close), Method("Name", &Recordset::Name),
                Method("Type", &Recordset::Type), Method("Requery", &Recordset::Requery),
                Member{"Collect", InvokeCollect, LetCollect, CollectSignature()})

Recordset::Recordset(std::shared_ptr<Database> db, std::string name, int32_t type, bool updatable)
    : db_(std::move(db)), name_(std::move(name)), type_(type), updatable_(updatable) {
  static const auto none = std::make_shared<const ColumnSet>(std::vector<RecordsetColumn>{});
  columns_ = none;
}

Recordset::~Recordset() = default;

void Recordset::SetColumns(std::vector<RecordsetColumn> columns) {
  SetColumns(std::make_shared<const ColumnSet>(std::move(columns)));
}

void Recordset::SetColumns(std::shared_ptr<const ColumnSet> columns) {
  columns_ = std::move(columns);
  defaults_.clear();
  clockDefaults_.clear();
  row_.assign(columns_->size(), Variant::Null());
  values_ = row_.data();
}

void Recordset::CheckOpen() const {
  if (!open_) ThrowDao(daoerr::kObjectInvalid, kSourceRecordset);
}

const RecordsetColumn& Recordset::Column(int32_t i) const {
  if (i < 0 || i >= FieldCount()) ThrowDao(daoerr::kItemNotFound, kSourceFields);
  return (*columns_)[static_cast<size_t>(i)];
}

void ColumnSet::BuildLookup() const {
  if (!exact_.empty() || columns_.empty()) return;
  for (size_t i = 0; i < columns_.size(); ++i) {
    const std::string& n = columns_[i].spec.name;
    exact_.emplace(n, static_cast<int32_t>(i));
    folded_.emplace(FoldCase(n), static_cast<int32_t>(i));
  }
}

int32_t ColumnSet::Find(std::string_view name) const {
  BuildLookup();
  if (auto it = exact_.find(name); it != exact_.end()) return it->second;
  if (auto it = folded_.find(FoldCase(name)); it != folded_.end()) return it->second;
  return -1;
}

int32_t Recordset::FieldIndex(std::string_view name) const {
  return columns_->Find(name);
}

const Variant& Recordset::FieldValueSlow(int32_t i) const {
  CheckOpen();
  if (i < 0 || i >= FieldCount()) ThrowDao(daoerr::kItemNotFound, kSourceFields);
  if (mode_ != dbEditNone) {
    const auto f = static_cast<size_t>(i);
    if (dirty_[f]) return buffer_[f];
    if (mode_ == dbEditAdd) return defaults_[f];
    if (bufferHoldsRow_) return buffer_[f];
    // An edit of a row not read yet: the field as stored.
    Positioned();
    if (pos_ == Pos::kDeleted) ThrowDao(daoerr::kRecordDeleted, kSourceRecordset);
    return values_[i];
  }
  Positioned();
  if (pos_ == Pos::kRow) return values_[i];
  if (pos_ == Pos::kDeleted) ThrowDao(daoerr::kRecordDeleted, kSourceRecordset);
  ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
}

const Variant& Recordset::FieldValue(std::string_view name) const {
  int32_t i = FieldIndex(name);
  if (i < 0) ThrowDao(daoerr::kItemNotFound, kSourceFields);
  return FieldValue(i);
}

int32_t Recordset::RequiredFieldIndex(std::string_view name) const {
  const int32_t i = FieldIndex(name);
  if (i < 0) ThrowDao(daoerr::kItemNotFound, kSourceFields);
  return i;
}

Variant& Recordset::SlotToSet(int32_t i, const jet::FieldSpec*& field) {
  CheckOpen();
  if (i < 0 || i >= FieldCount()) ThrowDao(daoerr::kItemNotFound, kSourceFields);
  if (mode_ == dbEditNone) ThrowDao(daoerr::kUpdateWithoutEdit, kSourceField);
  const auto f = static_cast<size_t>(i);
  field = &(*columns_)[f].spec;
  return buffer_[f];
}

void Recordset::SetField(int32_t i, const Variant& value) {
  const jet::FieldSpec* f;
  Variant& slot = SlotToSet(i, f);
  if (FitsFieldAsIs(value, f->type, f->size))
    slot = value;
  else
    slot = CoerceToField(value, f->type, f->size);
  dirty_[static_cast<size_t>(i)] = 1;
}

void Recordset::SetField(int32_t i, Variant&& value) {
  const jet::FieldSpec* f;
  Variant& slot = SlotToSet(i, f);
  if (FitsFieldAsIs(value, f->type, f->size))
    slot = std::move(value);
  else
    slot = CoerceToField(value, f->type, f->size);  // a copy: `value` stays if it fails
  dirty_[static_cast<size_t>(i)] = 1;
}

void Recordset::SetField(std::string_view name, const Variant& value) {
  SetField(RequiredFieldIndex(name), value);
}

void Recordset::SetField(std::string_view name, Variant&& value) {
  SetField(RequiredFieldIndex(name), std::move(value));
}

std::shared_ptr<Fields> Recordset::FieldsCollection() {
  CheckOpen();
  if (auto fields = fields_.lock()) return fields;
  auto self = std::static_pointer_cast<Recordset>(shared_from_this());
  std::vector<std::shared_ptr<Field>> items;
  for (int32_t i = 0; i < FieldCount(); ++i) items.push_back(std::make_shared<Field>(self, i));
  auto fields = Fields::Fixed(std::move(items));
  fields_ = fields;
  return fields;
}

void Recordset::RequireRowToWrite() {
  if (pos_ != Pos::kUnread) Positioned();  // a row not read yet is written unread
  if (pos_ == Pos::kDeleted) ThrowDao(daoerr::kRecordDeleted, kSourceRecordset);
  if (pos_ != Pos::kRow && pos_ != Pos::kUnread)
    ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
}

void Recordset::AddNew() {
  CheckOpen();
  if (!updatable_) ThrowDao(daoerr::kReadOnly, kSourceRecordset);
  const ColumnSet& columns = *columns_;
  if (defaults_.size() != columns.size()) {
    defaults_.clear();
    for (size_t i = 0; i < columns.size(); ++i) {
      defaults_.push_back(DefaultFieldValue(columns[i].spec));
      if (columns[i].spec.defaultValue.find('(') != std::string::npos)
        clockDefaults_.push_back(static_cast<int32_t>(i));
    }
  }
  // The buffer takes only the fields set (the insert writes those alone);
  // the others show their defaults, those naming the clock read again.
  for (int32_t i : clockDefaults_)
    defaults_[static_cast<size_t>(i)] = DefaultFieldValue(columns[static_cast<size_t>(i)].spec);
  if (buffer_.empty() && buffer_.capacity() < columns.size())
    buffer_ = TakeSpareCells(columns.size());
  buffer_.resize(columns.size());
  dirty_.assign(columns.size(), 0);
  bufferHoldsRow_ = true;
  mode_ = dbEditAdd;
}

void Recordset::Edit() {
  CheckOpen();
  if (!updatable_) ThrowDao(daoerr::kReadOnly, kSourceRecordset);
  RequireRowToWrite();
  // The buffer takes only the fields set: the others read through to the
  // row, which stays put until the edit ends (KeepEditedRow); a row not
  // read yet is read when one of them is looked at.
  if (buffer_.empty() && buffer_.capacity() < columns_->size())
    buffer_ = TakeSpareCells(columns_->size());
  buffer_.resize(columns_->size());
  dirty_.assign(columns_->size(), 0);
  bufferHoldsRow_ = false;
  mode_ = dbEditInProgress;
}

void Recordset::KeepEditedRow() {
  // A row not read yet showed no field: those looked at later are read then.
  if (mode_ != dbEditInProgress || bufferHoldsRow_ || pos_ == Pos::kUnread) return;
  for (size_t i = 0; i < buffer_.size(); ++i)
    if (!dirty_[i]) buffer_[i] = values_[i];
  bufferHoldsRow_ = true;
}

void Recordset::Update() {
  CheckOpen();
  if (mode_ == dbEditNone) ThrowDao(daoerr::kUpdateWithoutEdit, kSourceRecordset);
  if (mode_ == dbEditAdd) {
    lastModified_ = AddRow(buffer_, dirty_);
  } else {
    bool any = false;
    for (uint8_t d : dirty_) any = any || d;
    if (any) UpdateRow(buffer_, dirty_);
  }
  mode_ = dbEditNone;
}

void Recordset::UpdateWithNextRequest() {
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{updateWithNext_ = true};
  Update();
}

void Recordset::CancelUpdate() {
  CheckOpen();
  if (mode_ == dbEditNone) ThrowDao(daoerr::kUpdateWithoutEdit, kSourceRecordset);
  mode_ = dbEditNone;
}

void Recordset::Delete() {
  CheckOpen();
  if (!updatable_) ThrowDao(daoerr::kReadOnly, kSourceRecordset);
  RequireRowToWrite();
  mode_ = dbEditNone;
  DeleteRow();
  pos_ = Pos::kDeleted;
}

int64_t Recordset::AddRow(const std::vector<Variant>&, const std::vector<uint8_t>&) {
  ThrowDao(daoerr::kReadOnly, kSourceRecordset);
}
void Recordset::UpdateRow(std::vector<Variant>&, const std::vector<uint8_t>&) {
  ThrowDao(daoerr::kReadOnly, kSourceRecordset);
}
void Recordset::DeleteRow() {
  ThrowDao(daoerr::kReadOnly, kSourceRecordset);
}

std::string Recordset::Index() const {
  CheckOpen();
  ThrowDao(daoerr::kNotSupported, kSourceRecordset);
}
void Recordset::SetIndex(const std::string&) {
  CheckOpen();
  ThrowDao(daoerr::kNotSupported, kSourceRecordset);
}
void Recordset::Seek(std::string_view, std::span<const Variant>) {
  CheckOpen();
  ThrowDao(daoerr::kNotSupported, kSourceRecordset);
}
void Recordset::SeekUnread(std::string_view comparison, std::span<const Variant> keys) {
  Seek(comparison, keys);
}

void Recordset::Requery() {
  CheckOpen();
  ThrowDao(daoerr::kNotSupported, kSourceRecordset);
}

Variant Recordset::LastModified() const {
  CheckOpen();
  if (lastModified_ < 0) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  return MakeBookmark(lastModified_);
}

void Recordset::Close() {
  if (!open_) return;
  open_ = false;
  mode_ = dbEditNone;
  OnClose();
  pos_ = Pos::kEmpty;
  values_ = nullptr;
  row_.clear();
  GiveSpareCells(buffer_);
}

Variant MakeBookmark(int64_t value) {
  ByteArray b;
  b.bytes.resize(sizeof value);
  std::memcpy(b.bytes.data(), &value, sizeof value);
  return Variant(std::move(b));
}

int64_t ReadBookmark(const Variant& bookmark) {
  if (!bookmark.IsByteArray() || bookmark.AsBytes().bytes.size() != sizeof(int64_t))
    ThrowDao(daoerr::kInvalidBookmark, kSourceRecordset);
  int64_t value;
  std::memcpy(&value, bookmark.AsBytes().bytes.data(), sizeof value);
  return value;
}

}  // namespace qv::dao
