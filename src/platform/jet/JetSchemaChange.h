#pragma once
// What a statement that changes the schema does (CREATE TABLE, DROP TABLE,
// CREATE INDEX, DROP INDEX, ALTER TABLE, SELECT ... INTO): the parser fills
// it in, the translator completes a make-table from its select, and
// Catalog::Apply carries it out through the same calls the schema builder
// and the data-access objects use. Internal to platform/jet.

#include <cstdint>
#include <string>

#include "platform/jet/JetCatalog.h"

namespace qv::jet {

struct SchemaChange {
  enum class Op : uint8_t {
    kCreateTable,     // `table`, with the indexes its constraints make
    kDropTable,       // `table.name`
    kCreateIndex,     // `table.name` and the index `table.indexes[0]`
    kDropIndex,       // `table.name`, the index `name`
    kAddFields,       // `table.name`, the fields and the indexes of their constraints
    kDropField,       // `table.name`, the field `name`
    kDropConstraint,  // `table.name`, the index `name` a constraint made
    kMakeTable,       // `table` from the columns of `selectSql`, filled with its rows
  };
  Op op = Op::kCreateTable;
  TableSpec table;
  std::string name;
  std::string selectSql;  // kMakeTable: SQLite text, its columns in the table's order
};

}  // namespace qv::jet
