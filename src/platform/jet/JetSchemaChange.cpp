// Catalog::Apply: a schema statement carried out through the catalogue's
// own calls, in one savepoint, so that it is all or nothing and, inside a
// transaction, undone with it.

#include "platform/jet/JetSchemaChange.h"

#include "platform/automation/VbaText.h"
#include "platform/jet/JetError.h"
#include "platform/jet/Sqlite.h"

namespace qv::jet {

namespace {

std::shared_ptr<const TableSpec> ExistingTable(const Catalog& catalog, std::string_view name) {
  std::shared_ptr<const TableSpec> table = catalog.FindTable(name);
  if (!table) ThrowJet(jeterr::kTableNotFound, {name}, kSourceTableDef);
  return table;
}

void CheckNewIndexes(const TableSpec& table, const std::vector<IndexSpec>& indexes) {
  for (const IndexSpec& x : indexes)
    if (table.FindIndex(x.name))
      ThrowJet(jeterr::kIndexNameExists, {table.name, x.name}, kSourceIndex);
}

}  // namespace

int64_t Catalog::Apply(const SchemaChange& change) {
  using Op = SchemaChange::Op;
  const std::string& name = change.table.name;
  switch (change.op) {
    case Op::kCreateTable:
      CreateTable(change.table);
      return 0;
    case Op::kDropTable:
      DropTable(name);
      return 0;
    case Op::kDropIndex:
      DropIndex(name, change.name);
      return 0;
    case Op::kDropField:
      DropField(name, change.name);
      return 0;
    case Op::kDropConstraint: {
      std::shared_ptr<const TableSpec> table = FindTable(name);
      if (!table || !table->FindIndex(change.name))
        ThrowJet(jeterr::kNoTableOrConstraint, {}, kSourceTableDef);
      DropIndex(name, change.name);
      return 0;
    }
    case Op::kCreateIndex:
    case Op::kAddFields: {
      std::shared_ptr<const TableSpec> table = ExistingTable(*this, name);
      for (const FieldSpec& f : change.table.fields)
        if (table->FindField(f.name))
          ThrowJet(jeterr::kFieldExists, {f.name, table->name}, kSourceField);
      CheckNewIndexes(*table, change.table.indexes);
      sqlite::Savepoint sp(db_);
      for (const FieldSpec& f : change.table.fields) AddField(name, f);
      for (const IndexSpec& x : change.table.indexes) CreateIndex(name, x);
      sp.Commit();
      return 0;
    }
    case Op::kMakeTable: {
      sqlite::Savepoint sp(db_);
      CreateTable(change.table);
      std::string sql = "INSERT INTO ";
      sqlite::AppendQuoted(sql, name);
      for (size_t i = 0; i < change.table.fields.size(); ++i) {
        sql += i == 0 ? " (" : ", ";
        sqlite::AppendQuoted(sql, change.table.fields[i].name);
      }
      sql += ") " + change.selectSql;
      sqlite::Exec(db_, sql.c_str());
      const int64_t rows = sqlite3_changes64(db_);
      sp.Commit();
      return rows;
    }
  }
  return 0;
}

}  // namespace qv::jet
