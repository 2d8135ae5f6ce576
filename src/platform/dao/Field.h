#pragma once
// Field: a column of a recordset (bound to it: Value reads and writes the
// current record), a field definition of a TableDef (made by CreateField,
// settable until its table is appended), or a field of an Index (a name and
// dbDescending). Fields of an appended table read the catalogue; of their
// properties only UnicodeCompression can still change, as the catalogue
// keeps the other rules as constraints of the file (3219 otherwise).

#include <memory>
#include <string>

#include "platform/automation/Object.h"
#include "platform/jet/JetCatalog.h"

namespace qv::dao {

class Database;
class Properties;
class Property;
class Recordset;

class Field : public Object {
  QV_DECLARE_CLASS(Field)

 public:
  Field() = default;  // for late binding only
  // A definition made by CreateField.
  Field(std::string name, jet::JetType type, int32_t size);
  // Column `ordinal` of a recordset.
  Field(std::shared_ptr<Recordset> recordset, int32_t ordinal);

  // The definition of a field of an existing table, bound to it.
  static std::shared_ptr<Field> OfTable(const jet::FieldSpec& spec, int32_t ordinal,
                                        std::weak_ptr<Database> db, std::string table);

  std::string Name() const;
  void SetName(const std::string& name);
  int32_t Type() const;
  void SetType(int32_t type);
  int32_t Size() const;
  void SetSize(int32_t size);
  bool Required() const;
  void SetRequired(bool required);
  bool AllowZeroLength() const;
  void SetAllowZeroLength(bool allow);
  Variant DefaultValue() const;
  void SetDefaultValue(const Variant& value);
  int32_t Attributes() const { return attributes_; }
  void SetAttributes(int32_t attributes);
  int32_t OrdinalPosition() const { return ordinal_; }
  std::string SourceTable() const;
  std::string SourceField() const;
  bool UnicodeCompression() const;
  // On a field of an appended table the catalogue records the change.
  void SetUnicodeCompression(bool on);

  // The current record's value (recordset fields; 3219 for definitions).
  Variant Value() const;
  void SetValue(const Variant& value);

  std::shared_ptr<Properties> PropertiesCollection();
  std::shared_ptr<Property> CreateProperty(const std::string& name, int32_t type,
                                           const Variant& value);

  // For TableDef and Index.
  const jet::FieldSpec& Spec() const;
  bool IsDescending() const;
  // Binds a definition to the table it was appended to.
  void Attach(std::weak_ptr<Database> db, std::string table, int32_t ordinal);

 private:
  enum class Kind { kDefinition, kRecordset };
  void CheckChangeable() const;

  Kind kind_ = Kind::kDefinition;
  jet::FieldSpec spec_;
  int32_t ordinal_ = 0;
  int32_t attributes_ = 0;
  std::shared_ptr<Recordset> recordset_;
  std::weak_ptr<Database> db_;  // set once the table exists
  std::string table_;
  bool attached_ = false;
  std::shared_ptr<Properties> properties_;
};

}  // namespace qv::dao
