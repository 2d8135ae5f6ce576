#pragma once
// QueryDef: a Jet statement with a name, run on the database that made it
// (Database.CreateQueryDef). Query definitions are not stored in the file: a
// named one lives as long as the object. One made by name ("DAO.QueryDef")
// has no database and only holds its text (3420 when run).

#include <memory>
#include <string>

#include "platform/automation/Object.h"

namespace qv::dao {

class Database;
class Recordset;

class QueryDef : public Object {
  QV_DECLARE_CLASS(QueryDef)

 public:
  QueryDef() = default;
  QueryDef(std::string name, std::string sql) : name_(std::move(name)), sql_(std::move(sql)) {}

  std::string Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  std::string Sql() const { return sql_; }
  void SetSql(const std::string& sql) { sql_ = sql; }
  void Execute(const Variant& options);
  std::shared_ptr<Recordset> OpenRecordset(const Variant& type, const Variant& options);
  int32_t RecordsAffected() const { return recordsAffected_; }
  void Close() { db_.reset(); }

  void Bind(const std::shared_ptr<Database>& db) { db_ = db; }

 private:
  std::shared_ptr<Database> LiveDatabase() const;

  std::string name_;
  std::string sql_;
  std::weak_ptr<Database> db_;
  int32_t recordsAffected_ = 0;
};

}  // namespace qv::dao
