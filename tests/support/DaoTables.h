#pragma once
// Tables made through the data-access objects (CreateTableDef, CreateField,
// CreateIndex and the collections' Append), as a caller of the library
// makes them, the same on a file database and on a server's, and the rows
// of a statement read back as one text.

#include <memory>
#include <string>
#include <vector>

#include "platform/dao/DaoCollections.h"
#include "platform/dao/Database.h"
#include "platform/dao/Field.h"
#include "platform/dao/Index.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TableDef.h"
#include "platform/dao/TableDefs.h"

namespace qv::testsupport {

struct FieldDef {
  std::string name;
  jet::JetType type;
  int32_t size = 0;
  bool required = false;
  std::string defaultValue = {};
};

struct IndexDef {
  std::string name;
  std::string fields;  // "a;-b"
  bool primary = false;
  bool unique = false;
};

inline std::shared_ptr<dao::TableDef> MakeTable(dao::Database& db, const std::string& name,
                                                const std::vector<FieldDef>& fields,
                                                const std::vector<IndexDef>& indexes = {}) {
  auto tdf = db.CreateTableDef(Variant(name));
  for (const FieldDef& f : fields) {
    auto field =
        tdf->CreateField(Variant(f.name), Variant(static_cast<int32_t>(f.type)), Variant(f.size));
    field->SetRequired(f.required);
    if (!f.defaultValue.empty()) field->SetDefaultValue(Variant(f.defaultValue));
    tdf->FieldsCollection()->Append(field);
  }
  for (const IndexDef& x : indexes) {
    auto index = tdf->CreateIndex(Variant(x.name));
    index->SetFieldsValue(Variant(x.fields));
    index->SetPrimary(x.primary);
    index->SetUnique(x.unique);
    tdf->IndexesCollection()->Append(index);
  }
  db.TableDefsCollection()->Append(tdf);
  return tdf;
}

// The rows of a statement: "|" between values, ";" after each row, Null as "Null".
inline std::string StatementRows(dao::Database& db, const std::string& sql) {
  auto rs = db.OpenStatement(sql, dao::dbOpenSnapshot);
  std::string out;
  for (; !rs->IsEOF(); rs->MoveNext()) {
    for (int32_t i = 0; i < rs->FieldCount(); ++i) {
      const Variant& v = rs->FieldValue(i);
      out += (i ? "|" : "") + (v.IsNull() ? std::string("Null") : CStr(v));
    }
    out += ";";
  }
  rs->Close();
  return out;
}

}  // namespace qv::testsupport
