#include "platform/dao/Field.h"

#include "platform/dao/DaoCollections.h"
#include "platform/dao/DaoConstants.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/Property.h"
#include "platform/dao/Recordset.h"
#include "platform/jet/JetEngine.h"

namespace qv::dao {

namespace {

constexpr std::string_view kUnicodeCompression = "UnicodeCompression";

bool IsTextField(jet::JetType t) {
  return t == jet::JetType::kText || t == jet::JetType::kMemo || t == jet::JetType::kChar;
}

}  // namespace

QV_DEFINE_CLASS(Field, "DAO.Field", nullptr, qv::Property("Name", &Field::Name, &Field::SetName),
                qv::Property("Type", &Field::Type, &Field::SetType),
                qv::Property("Size", &Field::Size, &Field::SetSize),
                qv::Property("Required", &Field::Required, &Field::SetRequired),
                qv::Property("AllowZeroLength", &Field::AllowZeroLength,
                             &Field::SetAllowZeroLength),
                qv::Property("DefaultValue", &Field::DefaultValue, &Field::SetDefaultValue),
                qv::Property("Attributes", &Field::Attributes, &Field::SetAttributes),
                Method("OrdinalPosition", &Field::OrdinalPosition),
                Method("SourceTable", &Field::SourceTable),
                Method("SourceField", &Field::SourceField),
                qv::Property("Value", &Field::Value, &Field::SetValue),
                CollectionMember("Properties", &Field::PropertiesCollection),
                Method("CreateProperty(name, type, value)", &Field::CreateProperty,
                       {Variant(""), Variant(int32_t{0}), Variant()}))

Field::Field(std::string name, jet::JetType type, int32_t size) {
  spec_.name = std::move(name);
  spec_.type = type;
  spec_.size = type == jet::JetType::kText && size <= 0 ? 255 : size;
}

Field::Field(std::shared_ptr<Recordset> recordset, int32_t ordinal)
    : kind_(Kind::kRecordset), ordinal_(ordinal), recordset_(std::move(recordset)) {
  spec_ = recordset_->Column(ordinal).spec;
}

std::shared_ptr<Field> Field::OfTable(const jet::FieldSpec& spec, int32_t ordinal,
                                      std::weak_ptr<Database> db, std::string table) {
  auto f = std::make_shared<Field>();
  f->spec_ = spec;
  if (spec.autoIncrement) f->attributes_ = dbAutoIncrField;
  f->Attach(std::move(db), std::move(table), ordinal);
  return f;
}

void Field::Attach(std::weak_ptr<Database> db, std::string table, int32_t ordinal) {
  db_ = std::move(db);
  table_ = std::move(table);
  ordinal_ = ordinal;
  attached_ = true;
}

const jet::FieldSpec& Field::Spec() const {
  return spec_;
}

bool Field::IsDescending() const {
  return (attributes_ & dbDescending) != 0;
}

void Field::CheckChangeable() const {
  if (kind_ == Kind::kRecordset || attached_) ThrowDao(daoerr::kInvalidOperation, kSourceField);
}

std::string Field::Name() const {
  return spec_.name;
}
void Field::SetName(const std::string& name) {
  CheckChangeable();
  spec_.name = name;
}
int32_t Field::Type() const {
  return static_cast<int32_t>(spec_.type);
}
void Field::SetType(int32_t type) {
  CheckChangeable();
  spec_.type = static_cast<jet::JetType>(type);
  if (spec_.type == jet::JetType::kText && spec_.size <= 0) spec_.size = 255;
}
int32_t Field::Size() const {
  switch (spec_.type) {
    case jet::JetType::kBoolean:
    case jet::JetType::kByte:
      return 1;
    case jet::JetType::kInteger:
      return 2;
    case jet::JetType::kLong:
    case jet::JetType::kSingle:
      return 4;
    case jet::JetType::kCurrency:
    case jet::JetType::kDouble:
    case jet::JetType::kDate:
    case jet::JetType::kBigInt:
      return 8;
    case jet::JetType::kGUID:
      return 16;
    case jet::JetType::kMemo:
    case jet::JetType::kLongBinary:
      return 0;
    default:
      return spec_.size;
  }
}
void Field::SetSize(int32_t size) {
  CheckChangeable();
  spec_.size = size;
}
bool Field::Required() const {
  return spec_.required;
}
void Field::SetRequired(bool required) {
  CheckChangeable();
  spec_.required = required;
}
bool Field::AllowZeroLength() const {
  return spec_.allowZeroLength;
}
void Field::SetAllowZeroLength(bool allow) {
  CheckChangeable();
  spec_.allowZeroLength = allow;
}
Variant Field::DefaultValue() const {
  return Variant(spec_.defaultValue);
}
void Field::SetDefaultValue(const Variant& value) {
  CheckChangeable();
  spec_.defaultValue = value.IsEmptyOrNull() ? std::string() : CStr(value);
}
void Field::SetAttributes(int32_t attributes) {
  CheckChangeable();
  attributes_ = attributes;
  spec_.autoIncrement = (attributes & dbAutoIncrField) != 0;
}

std::string Field::SourceTable() const {
  if (kind_ == Kind::kRecordset) return recordset_->Column(ordinal_).sourceTable;
  return table_;
}
std::string Field::SourceField() const {
  if (kind_ == Kind::kRecordset) return recordset_->Column(ordinal_).sourceField;
  return attached_ ? spec_.name : std::string();
}

bool Field::UnicodeCompression() const {
  return spec_.unicodeCompression;
}

void Field::SetUnicodeCompression(bool on) {
  if (kind_ == Kind::kRecordset) ThrowDao(daoerr::kInvalidOperation, kSourceField);
  if (attached_) {
    auto db = db_.lock();
    if (!db) ThrowDao(daoerr::kObjectInvalid, kSourceField);
    db->Engine().SetUnicodeCompression(table_, spec_.name, on);
  }
  spec_.unicodeCompression = on;
}

Variant Field::Value() const {
  if (kind_ != Kind::kRecordset) ThrowDao(daoerr::kInvalidOperation, kSourceField);
  return recordset_->FieldValue(ordinal_);
}

void Field::SetValue(const Variant& value) {
  if (kind_ != Kind::kRecordset) ThrowDao(daoerr::kInvalidOperation, kSourceField);
  recordset_->SetField(ordinal_, value);
}

std::shared_ptr<Properties> Field::PropertiesCollection() {
  if (properties_) return properties_;
  properties_ = std::make_shared<Properties>();
  std::weak_ptr<Field> weak = std::static_pointer_cast<Field>(shared_from_this());
  auto self = [weak] {
    auto f = weak.lock();
    if (!f) ThrowDao(daoerr::kObjectInvalid, kSourceField);
    return f;
  };
  using J = jet::JetType;
  auto add = [&](std::string name, J type, Property::Getter get, Property::Setter set) {
    properties_->Add(Property::BuiltIn(std::move(name), static_cast<int32_t>(type), std::move(get),
                                       std::move(set)));
  };
  add(
      "Name", J::kText, [self] { return Variant(self()->Name()); },
      [self](const Variant& v) { self()->SetName(CStr(v)); });
  add(
      "Type", J::kInteger, [self] { return Variant(self()->Type()); },
      [self](const Variant& v) { self()->SetType(CLng(v)); });
  add(
      "Size", J::kLong, [self] { return Variant(self()->Size()); },
      [self](const Variant& v) { self()->SetSize(CLng(v)); });
  add(
      "Required", J::kBoolean, [self] { return Variant(self()->Required()); },
      [self](const Variant& v) { self()->SetRequired(CBool(v)); });
  add(
      "AllowZeroLength", J::kBoolean, [self] { return Variant(self()->AllowZeroLength()); },
      [self](const Variant& v) { self()->SetAllowZeroLength(CBool(v)); });
  add(
      "DefaultValue", J::kText, [self] { return self()->DefaultValue(); },
      [self](const Variant& v) { self()->SetDefaultValue(v); });
  add(
      "OrdinalPosition", J::kInteger, [self] { return Variant(self()->OrdinalPosition()); },
      nullptr);
  add(
      "Attributes", J::kLong, [self] { return Variant(self()->Attributes()); },
      [self](const Variant& v) { self()->SetAttributes(CLng(v)); });
  add(
      "SourceTable", J::kText, [self] { return Variant(self()->SourceTable()); }, nullptr);
  add(
      "SourceField", J::kText, [self] { return Variant(self()->SourceField()); }, nullptr);
  if (IsTextField(spec_.type) && kind_ == Kind::kDefinition) {
    auto compression = Property::BuiltIn(
        std::string(kUnicodeCompression), static_cast<int32_t>(J::kBoolean),
        [self] { return Variant(self()->UnicodeCompression()); },
        [self](const Variant& v) { self()->SetUnicodeCompression(CBool(v)); });
    properties_->Add(compression);
    // UnicodeCompression may be deleted (it reads False afterwards) and
    // appended again by CreateProperty: its value then goes to the field.
    properties_->SetHooks(
        [self](const std::shared_ptr<Property>& p) {
          if (NamesEqual(p->Name(), kUnicodeCompression))
            self()->SetUnicodeCompression(CBool(p->Value()));
        },
        [self](const std::shared_ptr<Property>& p) {
          if (NamesEqual(p->Name(), kUnicodeCompression))
            self()->SetUnicodeCompression(false);
          else if (p->IsBuiltIn())
            ThrowDao(daoerr::kBuiltInProperty, kSourceProperties);
        });
  } else {
    properties_->SetHooks(nullptr, [](const std::shared_ptr<Property>& p) {
      if (p->IsBuiltIn()) ThrowDao(daoerr::kBuiltInProperty, kSourceProperties);
    });
  }
  return properties_;
}

std::shared_ptr<Property> Field::CreateProperty(const std::string& name, int32_t type,
                                                const Variant& value) {
  return std::make_shared<Property>(name, type, value);
}

}  // namespace qv::dao
