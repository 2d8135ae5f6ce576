#include "platform/dao/TableDefs.h"

#include "platform/dao/Database.h"
#include "platform/dao/DatabaseServer.h"
#include "platform/dao/TableDef.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"

namespace qv::dao {

QV_DEFINE_CLASS(TableDefs, "DAO.TableDefs", nullptr, Method("Count", &TableDefs::Count),
                Method("Item(Index)", &TableDefs::Item),
                Method("Append(table)", &TableDefs::Append),
                Method("Delete(name)", &TableDefs::Delete), Method("Refresh", &TableDefs::Refresh))

std::shared_ptr<Database> TableDefs::LiveDatabase() const {
  auto db = db_.lock();
  if (!db || !db->IsOpen()) ThrowDao(daoerr::kObjectInvalid, kSourceTableDefs);
  return db;
}

void TableDefs::Load() {
  auto db = LiveDatabase();
  if (db->IsServer()) {
    // The names are read again when the session's schema generation moved;
    // the TableDef objects are kept while the names stay (a change of one
    // table's definition makes a new object in TableObject).
    const uint64_t generation = db->ServerEngine().SchemaGeneration();
    if (loaded_ && generation_ == generation) return;
    std::vector<std::string> names = db->TableNames();
    if (!loaded_ || names != names_) {
      names_ = std::move(names);
      objects_.clear();
      serverSpecs_.clear();
    }
    generation_ = generation;
    loaded_ = true;
    return;
  }
  jet::Connection& conn = db->Connection();
  conn.Schema().Refresh();  // counts a change another connection made
  if (loaded_ && generation_ == conn.SchemaGeneration()) return;
  names_ = conn.Schema().TableNames();
  objects_.clear();
  generation_ = conn.SchemaGeneration();
  loaded_ = true;
}

void TableDefs::Refresh() {
  loaded_ = false;
  objects_.clear();
  serverSpecs_.clear();
  Load();
}

int32_t TableDefs::Count() {
  Load();
  return static_cast<int32_t>(names_.size());
}

std::shared_ptr<TableDef> TableDefs::TableObject(const std::string& name) {
  std::string key = FoldCase(name);
  auto it = objects_.find(key);
  if (it != objects_.end()) {
    auto kept = serverSpecs_.find(key);
    if (kept == serverSpecs_.end()) return it->second;
    // A server's object is kept while the engine's description of the table
    // is the one it was made from: a schema statement makes a new one.
    if (LiveDatabase()->FindTableSpec(name) == kept->second) return it->second;
    objects_.erase(it);
    serverSpecs_.erase(kept);
  }
  auto db = LiveDatabase();
  auto spec = db->FindTableSpec(name);
  if (!spec) return nullptr;
  auto table = TableDef::OfTable(*spec, db);
  objects_.emplace(key, table);
  if (db->IsServer()) serverSpecs_.emplace(std::move(key), std::move(spec));
  return table;
}

ObjectPtr TableDefs::At(int32_t i) {
  Load();
  return TableObject(names_[static_cast<size_t>(i)]);
}

ObjectPtr TableDefs::Named(std::string_view name) {
  return Find(name);
}

std::shared_ptr<TableDef> TableDefs::Find(std::string_view name) {
  Load();
  for (const std::string& n : names_)
    if (NamesEqual(n, name)) return TableObject(n);
  return nullptr;
}

void TableDefs::Append(std::shared_ptr<TableDef> table) {
  if (!table) ThrowVb(vberr::kObjectNotSet, "Append");
  if (table->IsAppended()) ThrowDao(daoerr::kNameExists, kSourceTableDefs);
  auto db = LiveDatabase();
  Load();
  if (db->IsServer()) {
    db->ServerEngine().CreateTable(table->BuildSpec());
  } else {
    db->Connection("TableDefs.Append").Schema().CreateTable(table->BuildSpec());
    generation_ = db->Connection().SchemaGeneration();
  }
  table->Attach(db);
  names_.push_back(table->Name());
  objects_[FoldCase(table->Name())] = table;
  if (db->IsServer()) serverSpecs_[FoldCase(table->Name())] = db->FindTableSpec(table->Name());
}

void TableDefs::Delete(const std::string& name) {
  auto table = Find(name);
  if (!table) ThrowDao(daoerr::kItemNotFound, kSourceTableDefs);
  auto db = LiveDatabase();
  if (db->IsServer()) {
    // The catalogue's name is a valid Jet name: it holds no bracket.
    db->ServerEngine().Execute("DROP TABLE [" + table->Name() + "]");
  } else {
    db->Connection().Schema().DropTable(table->Name());
    generation_ = db->Connection().SchemaGeneration();
  }
  std::string key = FoldCase(table->Name());
  objects_.erase(key);
  serverSpecs_.erase(key);
  std::erase_if(names_, [&](const std::string& n) { return FoldCase(n) == key; });
}

}  // namespace qv::dao
