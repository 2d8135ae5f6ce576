#pragma once
// TableDefs: the tables of a database, read from its catalogue (user tables
// only) when first used, after Refresh and after any other change of the
// schema (a statement, a TableDef's new field or index, a rollback that
// undid one); Append creates a table from a TableDef, Delete drops one.
// Names compare case-insensitively; the same TableDef object is handed out
// for a table until the collection reads the catalogue again.

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/dao/DaoCollections.h"

namespace qv::jet {
struct TableSpec;
}

namespace qv::dao {

class Database;
class TableDef;

class TableDefs : public DaoCollection {
  QV_DECLARE_CLASS(TableDefs)

 public:
  TableDefs() = default;  // for late binding only
  explicit TableDefs(std::weak_ptr<Database> db) : db_(std::move(db)) {}

  int32_t Count() override;
  // Errors: 3367 a TableDef already appended, 3010 the table exists, and the
  // catalogue's errors for a bad definition (3125, 3264, 3191, 3283 ...).
  void Append(std::shared_ptr<TableDef> table);
  // Errors: 3265 no such table.
  void Delete(const std::string& name);
  void Refresh() override;
  // The table of that name, or null.
  std::shared_ptr<TableDef> Find(std::string_view name);

 protected:
  ObjectPtr At(int32_t i) override;
  ObjectPtr Named(std::string_view name) override;
  std::string_view Source() const override { return kSourceTableDefs; }

 private:
  std::shared_ptr<Database> LiveDatabase() const;
  void Load();
  std::shared_ptr<TableDef> TableObject(const std::string& name);

  std::weak_ptr<Database> db_;
  bool loaded_ = false;
  uint64_t generation_ = 0;  // the connection's (a server's engine's) SchemaGeneration when read
  std::vector<std::string> names_;
  std::unordered_map<std::string, std::shared_ptr<TableDef>> objects_;  // by folded name
  // On a server: the engine's description each object of objects_ was made
  // from (a change of the table replaces the engine's description).
  std::unordered_map<std::string, std::shared_ptr<const jet::TableSpec>> serverSpecs_;
};

}  // namespace qv::dao
