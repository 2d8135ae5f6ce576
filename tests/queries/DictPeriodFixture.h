#pragma once
// A data folder per test (the schema's files with its reference periods and
// calendar), the library's session pointed at it, and helpers that write
// rows, render query results as one text for one comparison and read back
// the identifiers of the record collections the queries return.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/CoreTestSupport.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/ServerLocation.h"
#include "platform/jet/ServerSchemas.h"
#include "siblings/records/QvRecord.h"

namespace qv::queries::testing {

using testsupport::ExpectError;
using testsupport::kAnyError;

class DictPeriodTest : public coretest::DataFolderTest {
 protected:
  static void Sql(const std::string& sql) { mQvDaoDataBase::QvExecuteSql(sql); }
  // One INSERT per row: `head` is "insert into T (cols)", each row "(values)".
  static void InsertRows(const std::string& head, std::initializer_list<const char*> rows) {
    for (const char* row : rows) Sql(head + " values " + row);
  }
  // Jet statements on the folder's address classifier (a file, or a schema
  // of the server), through a database of their own: the session opens it
  // read-only.
  static void KladrSql(const std::vector<std::string>& statements) {
    auto db =
        dao::DBEngine::ForThread()->DefaultWorkspace()->Open(miDataBase::GetKladrDBFileName(), {});
    for (const std::string& sql : statements) db->ExecuteSql(sql);
    db->Close();
  }
  // Removes a database of the folder (its file, or its schema of the
  // server) once the session has let it go.
  void RemoveFolderDatabase(const std::string& location) {
    miDataBase::ResetSessionForThread();
    if (OnServer())
      jet::DropServerSchemas(location, {jet::ServerFolderSchema(location)});
    else
      std::filesystem::remove(location);
  }

  // The rows of `rs` from its first: the named columns joined by "|", rows
  // by "; ", Null shown as "Null"; sorted when the statement leaves the
  // order open. Leaves the recordset on its first row.
  static std::string Rows(const ado::RecordsetPtr& rs, std::initializer_list<const char*> cols,
                          bool sorted = false) {
    if (!rs) return "Nothing";
    std::vector<std::string> rows;
    for (size_t r = 0; r < rs->RowCount(); ++r) {
      std::string row;
      for (const char* c : cols) {
        const Variant& v = rs->Value(r, rs->FieldIndex(c));
        row += (row.empty() ? "" : "|") + (v.IsNull() ? std::string("Null") : CStr(v));
      }
      rows.push_back(row);
    }
    if (sorted) std::sort(rows.begin(), rows.end());
    std::string text;
    for (const std::string& r : rows) text += (text.empty() ? "" : "; ") + r;
    return text;
  }

  // The record identifiers of a collection, in its order.
  static std::vector<double> Ids(const CollectionPtr& c) {
    std::vector<double> out;
    for (int32_t i = 1; i <= c->Count(); ++i) {
      auto rec = c->At(i).ObjectAs<records::QvRecord>();
      out.push_back(rec ? rec->Id() : -1);
    }
    return out;
  }
  static std::vector<double> Sorted(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v;
  }
};

using IdList = std::vector<double>;

}  // namespace qv::queries::testing
