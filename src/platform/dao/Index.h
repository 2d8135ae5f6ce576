#pragma once
// Index: a definition made by TableDef.CreateIndex (fields appended one by
// one or set as the text "a;-b", "-" for descending; Primary, Unique), or an
// index of an existing table read from the catalogue, which cannot change
// (3219).

#include <memory>
#include <string>

#include "platform/automation/Object.h"
#include "platform/jet/JetCatalog.h"

namespace qv::dao {

class Field;
class Fields;
class Properties;

class Index : public Object {
  QV_DECLARE_CLASS(Index)

 public:
  Index() = default;
  explicit Index(std::string name);
  // An index of an existing table.
  static std::shared_ptr<Index> OfTable(const jet::IndexSpec& spec);

  std::string Name() const { return name_; }
  void SetName(const std::string& name);
  bool Primary() const { return primary_; }
  void SetPrimary(bool primary);
  bool Unique() const { return unique_ || primary_; }
  void SetUnique(bool unique);
  bool Required() const { return required_; }
  void SetRequired(bool required);
  bool IgnoreNulls() const { return ignoreNulls_; }
  void SetIgnoreNulls(bool ignore);
  bool Foreign() const { return false; }
  // The Fields collection; a text assigned to it ("a;-b") replaces the fields.
  Variant FieldsValue();
  void SetFieldsValue(const Variant& value);
  std::shared_ptr<Fields> FieldsCollection();
  std::shared_ptr<Field> CreateField(const std::string& name, const Variant& type,
                                     const Variant& size);
  std::shared_ptr<Properties> PropertiesCollection();

  // The definition for the catalogue (its fields by name and direction).
  jet::IndexSpec Spec() const;
  // Once appended to a table the index is fixed.
  void Freeze();

 private:
  void CheckChangeable() const;

  std::string name_;
  bool primary_ = false;
  bool unique_ = false;
  bool required_ = false;
  bool ignoreNulls_ = false;
  bool frozen_ = false;
  std::shared_ptr<Fields> fields_;
  std::shared_ptr<Properties> properties_;
};

}  // namespace qv::dao
