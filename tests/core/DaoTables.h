#pragma once
// A table made through the DAO objects (CreateTableDef, CreateField,
// CreateIndex, the collections' Append), as a caller of the library makes
// one: the same on a file folder and on a server folder.

#include <string>

#include "platform/dao/DaoCollections.h"
#include "platform/dao/Database.h"
#include "platform/dao/Field.h"
#include "platform/dao/Index.h"
#include "platform/dao/TableDef.h"
#include "platform/dao/TableDefs.h"
#include "platform/jet/JetCatalog.h"

namespace qv::coretest {

inline void CreateTable(dao::Database& db, const jet::TableSpec& spec) {
  auto tdf = db.CreateTableDef(Variant(spec.name));
  for (const jet::FieldSpec& f : spec.fields) {
    auto field =
        tdf->CreateField(Variant(f.name), Variant(static_cast<int32_t>(f.type)), Variant(f.size));
    field->SetRequired(f.required);
    tdf->FieldsCollection()->Append(field);
  }
  for (const jet::IndexSpec& x : spec.indexes) {
    std::string fields;
    for (const jet::IndexField& f : x.fields)
      fields += (fields.empty() ? "" : ";") + std::string(f.descending ? "-" : "") + f.name;
    auto index = tdf->CreateIndex(Variant(x.name));
    index->SetFieldsValue(Variant(fields));
    index->SetPrimary(x.primary);
    index->SetUnique(x.unique);
    tdf->IndexesCollection()->Append(index);
  }
  db.TableDefsCollection()->Append(tdf);
}

}  // namespace qv::coretest
