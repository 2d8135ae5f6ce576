#pragma once
// A fresh folder (or server schemas) per test, the thread's engine, and
// helpers that render recordsets as text (tables are made with
// support/DaoTables.h).

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dao/DBEngine.h"
#include "platform/dao/DaoCollections.h"
#include "platform/dao/Database.h"
#include "platform/dao/Field.h"
#include "platform/dao/Index.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TableDef.h"
#include "platform/dao/TableDefs.h"
#include "support/DaoTables.h"
#include "support/PgTestProcess.h"
#include "support/ServerRun.h"
#include "support/TestSupport.h"

namespace qv::dao::testing {

using testsupport::ExpectError;
using testsupport::FieldDef;
using testsupport::IndexDef;
using testsupport::kAnyError;
using testsupport::MakeTable;
using testsupport::TempFolder;

// Where a test's databases are: files of a folder of its own, or, when
// QV_DAO_TEST_SERVER is set (the program's second run, on the server), a
// schema of the test server (QV_TEST_PG) per database name, made with the
// Jet functions of the script QV_JET_TEST_SQL names and dropped with the
// object. In that run without QV_TEST_PG the program exits 77 (skipped).
class TestPlaces {
 public:
  static bool OnServer() {
    static const bool onServer = testsupport::RunsOnServer("QV_DAO_TEST_SERVER");
    return onServer;
  }

  // The location of the database `fileName` ("Test.mdb"): the same for the
  // same name within one test.
  std::string Location(const std::string& fileName) {
    if (!OnServer()) return folder_.File(fileName);
    auto found = locations_.find(fileName);
    if (found != locations_.end()) return found->second;
    const char* functions = std::getenv("QV_JET_TEST_SQL");
    schemas_.push_back(std::make_unique<testsupport::TestSchema>(
        std::getenv("QV_TEST_PG"), "qv_daot" + std::to_string(schemas_.size()) + "_",
        functions != nullptr && *functions != '\0' ? functions : nullptr));
    return locations_[fileName] = schemas_.back()->Location();
  }

 private:
  TempFolder folder_;
  std::vector<std::unique_ptr<testsupport::TestSchema>> schemas_;
  std::map<std::string, std::string> locations_;
};

// Ends the test as skipped on the server, with what a server database lacks
// that the test needs.
#define QV_SKIP_ON_SERVER(reason) \
  if (::qv::dao::testing::TestPlaces::OnServer()) GTEST_SKIP() << "on a server database: " << reason

// A value as a test expects to read it: Null as "Null", else CStr.
inline std::string Text(const Variant& v) {
  return v.IsNull() ? "Null" : CStr(v);
}

// The current record's fields `names` joined by ",".
inline std::string RowText(Recordset& rs, const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ",") + Text(rs.FieldValue(n));
  return out;
}

// Field `name` of every row from the current one to the end (to the start
// when not `forward`), joined by " ".
inline std::string WalkForward(Recordset& rs, const std::string& name, bool forward = true) {
  std::string out;
  while (forward ? !rs.IsEOF() : !rs.IsBOF()) {
    out += (out.empty() ? "" : " ") + Text(rs.FieldValue(name));
    forward ? rs.MoveNext() : rs.MovePrevious();
  }
  return out;
}

// Adds a row (`add`) or edits the current one: sets `fields`, then Update.
inline void WriteRow(Recordset& rs, bool add,
                     std::initializer_list<std::pair<const char*, Variant>> fields) {
  if (add)
    rs.AddNew();
  else
    rs.Edit();
  for (const auto& [name, value] : fields) rs.SetField(name, value);
  rs.Update();
}

// Every row of a table in the order of `index` ("" for the primary key).
inline std::string TableText(Database& db, const std::string& table, const std::string& index,
                             const std::vector<std::string>& names) {
  auto rs = db.OpenTable(table);
  if (!index.empty()) rs->SetIndex(index);
  std::string out;
  if (rs->IsEOF()) return out;
  rs->MoveFirst();
  while (!rs->IsEOF()) {
    out += (out.empty() ? "" : " | ") + RowText(*rs, names);
    rs->MoveNext();
  }
  return out;
}

// The whole definition of a table as the objects report it, one line per
// field and index.
inline std::string Describe(TableDef& table) {
  std::string out = table.Name() + "\n";
  auto fields = table.FieldsCollection();
  for (int32_t i = 0; i < fields->Count(); ++i) {
    auto f = std::static_pointer_cast<Field>(fields->Item(Variant(i)));
    out += "  " + f->Name() + " type=" + std::to_string(f->Type()) +
           " size=" + std::to_string(f->Size()) + (f->Required() ? " required" : "") +
           (f->AllowZeroLength() ? "" : " no-zero-length") +
           (CStr(f->DefaultValue()).empty() ? "" : " default=" + CStr(f->DefaultValue())) +
           (f->UnicodeCompression() ? " compressed" : "") +
           ((f->Attributes() & dbAutoIncrField) ? " counter" : "") + "\n";
  }
  auto indexes = table.IndexesCollection();
  for (int32_t i = 0; i < indexes->Count(); ++i) {
    auto x = std::static_pointer_cast<Index>(indexes->Item(Variant(i)));
    out += "  index " + x->Name() + " (";
    auto xf = x->FieldsCollection();
    for (int32_t k = 0; k < xf->Count(); ++k) {
      auto f = std::static_pointer_cast<Field>(xf->Item(Variant(k)));
      out += (k ? ";" : "") + std::string(f->IsDescending() ? "-" : "") + f->Name();
    }
    out +=
        ")" + std::string(x->Primary() ? " primary" : "") + (x->Unique() ? " unique" : "") + "\n";
  }
  return out;
}

class DaoTest : public ::testing::Test {
 protected:
  DaoTest() : engine_(DBEngine::ForThread()) {
    db_ = engine_->DefaultWorkspace()->Create(places_.Location("Test.mdb"), dbLangCyrillic);
  }
  ~DaoTest() override {
    if (db_) db_->Close();
  }

  TestPlaces places_;
  std::shared_ptr<DBEngine> engine_;
  std::shared_ptr<Database> db_;
};

}  // namespace qv::dao::testing
