#pragma once
// TableDef: a table definition. Made by CreateTableDef (or by name as
// "DAO.TableDef"), it collects fields and indexes until TableDefs.Append
// creates the table; a TableDef of an existing table reads the catalogue,
// and appending a field or an index to it changes the table at once.
// Deleting a field of an existing table is not supported (3219).

#include <memory>
#include <string>

#include "platform/automation/Object.h"
#include "platform/jet/JetCatalog.h"

namespace qv::dao {

class Database;
class Field;
class Fields;
class Index;
class Indexes;
class Properties;
class Property;
class Recordset;

class TableDef : public Object {
  QV_DECLARE_CLASS(TableDef)

 public:
  TableDef() = default;
  explicit TableDef(std::string name) : name_(std::move(name)) {}
  // The definition of an existing table.
  static std::shared_ptr<TableDef> OfTable(const jet::TableSpec& spec,
                                           const std::shared_ptr<Database>& db);

  std::string Name() const { return name_; }
  // Errors: 3219 once the table exists.
  void SetName(const std::string& name);
  std::shared_ptr<Fields> FieldsCollection();
  std::shared_ptr<Indexes> IndexesCollection();
  // CreateField(name, type, size): a Text field without a size gets 255.
  std::shared_ptr<Field> CreateField(const Variant& name, const Variant& type, const Variant& size);
  std::shared_ptr<Index> CreateIndex(const Variant& name);
  std::shared_ptr<Properties> PropertiesCollection();
  std::shared_ptr<Property> CreateProperty(const std::string& name, int32_t type,
                                           const Variant& value);
  // The rows of an existing table; 0 before it is appended.
  int32_t RecordCount();
  int32_t Attributes() const { return 0; }
  std::string Connect() const { return {}; }
  std::string SourceTableName() const { return {}; }
  bool Updatable() const { return true; }
  std::shared_ptr<Recordset> OpenRecordset(const Variant& type, const Variant& options);

  bool IsAppended() const { return appended_; }
  // The definition TableDefs.Append hands to the catalogue.
  jet::TableSpec BuildSpec() const;
  // Binds the definition to the table just created from it in `db`.
  void Attach(const std::shared_ptr<Database>& db);

 private:
  std::shared_ptr<Database> LiveDatabase() const;

  std::string name_;
  bool appended_ = false;
  std::weak_ptr<Database> db_;
  std::shared_ptr<Fields> fields_;
  std::shared_ptr<Indexes> indexes_;
  std::shared_ptr<Properties> properties_;
};

}  // namespace qv::dao
