// The schema builder: a data folder built from the schema steps holds every
// table, column and index of them, with one DBVersion row; building again
// runs nothing; a later version's steps run once on an older folder.

#include "core/schema/SchemaBuilder.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "core/schema/Schema.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/DaoCollections.h"
#include "platform/dao/Database.h"
#include "platform/dao/Field.h"
#include "platform/dao/Index.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TableDef.h"
#include "platform/dao/TableDefs.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetConnection.h"
#include "support/DaoTables.h"
#include "support/TestSupport.h"

namespace qv::schema {
namespace {

using testsupport::ExpectError;
using testsupport::kAnyError;
using testsupport::TempFolder;

std::shared_ptr<dao::Database> Open(const std::string& path) {
  return dao::DBEngine::ForThread()->DefaultWorkspace()->Open(path, {});
}

// The index's fields as the schema writes them ("a;-b").
std::string IndexFieldsText(dao::Index& x) {
  std::string out;
  auto fields = x.FieldsCollection();
  for (const auto& f : fields->Items())
    out += (out.empty() ? "" : ";") + std::string(f->IsDescending() ? "-" : "") + f->Name();
  return out;
}

// Every difference between the file's tables and the definitions, one line
// each; the definitions of a table over several steps are merged.
std::string Differences(dao::Database& db, const std::vector<const TableDef*>& defs) {
  std::ostringstream out;
  std::map<std::string, std::pair<size_t, size_t>> expectedCounts;  // fields, indexes
  for (const TableDef* def : defs) {
    auto tdf = db.TableDefsCollection()->Find(def->name);
    if (!tdf) {
      out << def->name << ": missing\n";
      continue;
    }
    auto& counts = expectedCounts[FoldCase(def->name)];
    counts.first += def->fields.size();
    counts.second += def->indexes.size();
    for (const FieldDef& f : def->fields) {
      auto field = tdf->FieldsCollection()->Find(f.name);
      std::string at = std::string(def->name) + "." + std::string(f.name);
      if (!field) {
        out << at << ": missing\n";
        continue;
      }
      bool text = f.type == JetType::kText || f.type == JetType::kMemo;
      if (field->Type() != static_cast<int32_t>(f.type)) out << at << ": type\n";
      if (f.type == JetType::kText && field->Size() != f.size) out << at << ": size\n";
      if (field->Required() != f.required) out << at << ": required\n";
      if (text && field->AllowZeroLength() != f.allowZeroLength) out << at << ": zero length\n";
      if (CStr(field->DefaultValue()) != f.defaultValue) out << at << ": default\n";
      if (text && !field->UnicodeCompression()) out << at << ": not compressed\n";
    }
    for (const IndexDef& x : def->indexes) {
      auto index = tdf->IndexesCollection()->Find(x.name);
      std::string at = std::string(def->name) + "/" + std::string(x.name);
      if (!index) {
        out << at << ": missing\n";
        continue;
      }
      if (CompareTextRu(IndexFieldsText(*index), x.fields) != 0) out << at << ": fields\n";
      if (index->Primary() != x.primary) out << at << ": primary\n";
      if (index->Unique() != (x.unique || x.primary)) out << at << ": unique\n";
    }
  }
  auto tables = db.TableDefsCollection();
  tables->Refresh();
  if (static_cast<size_t>(tables->Count()) != expectedCounts.size())
    out << "tables: " << tables->Count() << " instead of " << expectedCounts.size() << "\n";
  for (const auto& [name, counts] : expectedCounts) {
    auto tdf = tables->Find(name);
    if (!tdf) continue;
    if (static_cast<size_t>(tdf->FieldsCollection()->Count()) != counts.first)
      out << name << ": " << tdf->FieldsCollection()->Count() << " fields\n";
    if (static_cast<size_t>(tdf->IndexesCollection()->Count()) != counts.second)
      out << name << ": " << tdf->IndexesCollection()->Count() << " indexes\n";
  }
  return out.str();
}

std::vector<const TableDef*> TablesOf(std::span<const SchemaStep> steps, DbFile file) {
  std::vector<const TableDef*> out;
  for (const SchemaStep& s : steps)
    if (s.file == file)
      for (const TableDef& t : s.tables) out.push_back(&t);
  return out;
}

std::string VersionRows(dao::Database& db) {
  return testsupport::StatementRows(
      db, "SELECT MajorVersion, MinorVersion, BuildNumber FROM DBVersion ORDER BY BuildNumber");
}

int32_t Count(dao::Database& db, const std::string& table) {
  return db.OpenTable(table)->RecordCount();
}

constexpr RowStep kRows1[] = {{DbFile::kUser, 1, &AllReferenceRows}};

// Builds `folder` as version 1 of the schema did; its steps.
std::vector<SchemaStep> BuildVersionOne(const TempFolder& folder) {
  std::vector<SchemaStep> v1;
  for (const SchemaStep& s : AllSchemaSteps())
    if (s.version == 1) v1.push_back(s);
  BuildDataFolder(folder.Path(), {v1, kRows1});
  return v1;
}

constexpr DbFile kFiles[] = {DbFile::kUser, DbFile::kKladr, DbFile::kOkato};

TEST(SchemaBuilder, BuildsEveryTableColumnAndIndexOnce) {
  TempFolder folder;
  auto first = BuildDataFolder(folder.Path());
  ASSERT_EQ(first.size(), 3u);
  for (const FileBuildResult& r : first) {
    EXPECT_TRUE(r.created) << r.path;
    EXPECT_EQ(r.fromVersion, 0) << r.path;
    EXPECT_EQ(r.toVersion, CurrentSchemaVersion()) << r.path;
    EXPECT_FALSE(r.stepsRun.empty()) << r.path;
  }
  EXPECT_EQ(first[0].rowsInserted, AllReferenceRows().size());
  for (DbFile file : kFiles) {
    auto db = Open(folder.File(DbFileName(file)));
    EXPECT_EQ(Differences(*db, TablesOf(AllSchemaSteps(), file)), "") << DbFileName(file);
    EXPECT_EQ(db->SchemaVersion(), CurrentSchemaVersion());
  }
  auto user = Open(folder.File("Quivane.mdb"));
  EXPECT_EQ(VersionRows(*user), "1|0|" + std::to_string(CurrentSchemaVersion()) + ";");
  EXPECT_EQ(Count(*user, "report_time"), static_cast<int32_t>(ReportTimeRows().size()));
  EXPECT_EQ(Count(*user, "time_by_month"), static_cast<int32_t>(TimeByMonthRows().size()));
  EXPECT_EQ(Count(*user, "Calendar"), static_cast<int32_t>(CalendarRows().size()));

  // Building again runs no step and inserts no row; a second version row
  // (or a wrong one) is put right.
  user->ExecuteSql(
      "INSERT INTO DBVersion (MajorVersion, MinorVersion, BuildNumber) VALUES (1, 0, 0)");
  user->Close();
  for (const FileBuildResult& r : BuildDataFolder(folder.Path())) {
    EXPECT_FALSE(r.created) << r.path;
    EXPECT_TRUE(r.stepsRun.empty()) << r.path;
    EXPECT_EQ(r.rowsInserted, 0u) << r.path;
    EXPECT_EQ(r.fromVersion, CurrentSchemaVersion()) << r.path;
  }
  user = Open(folder.File("Quivane.mdb"));
  EXPECT_EQ(VersionRows(*user), "1|0|" + std::to_string(CurrentSchemaVersion()) + ";");
  EXPECT_EQ(Count(*user, "Calendar"), static_cast<int32_t>(CalendarRows().size()));
}

// A later version: a new table with its rows, and a field and an index
// added to an existing table.
constexpr FieldDef kExtraFields[] = {{"ID", JetType::kLong, 0, true, true, {}},
                                     {"Name", JetType::kText, 40, false, true, {}}};
constexpr IndexDef kExtraIndexes[] = {{"Id", "ID", true, true}};
constexpr FieldDef kCounterFields[] = {{"Note", JetType::kText, 50, false, true, "\"\""}};
constexpr IndexDef kCounterIndexes[] = {{"ByNote", "Note;-TheYear", false, false}};
constexpr TableDef kVersion2Tables[] = {{"Extra", kExtraFields, kExtraIndexes},
                                        {"Counters", kCounterFields, kCounterIndexes}};
// A version whose step fails half way: the table before the bad index must
// not stay.
constexpr IndexDef kBadIndexes[] = {{"Bad", "NoSuchField", false, false}};
constexpr TableDef kVersion3Tables[] = {{"Partial", kExtraFields, {}},
                                        {"Extra", kExtraFields, kBadIndexes}};

std::vector<RefRow> ExtraRows() {
  return {{"Extra", {{"ID", int64_t{1}}, {"Name", std::string("первая")}}},
          {"Extra", {{"ID", int64_t{2}}, {"Name", std::string("вторая")}}}};
}

TEST(SchemaBuilder, UpgradesAnOlderFolderAndRefusesANewerOne) {
  TempFolder folder;
  const std::vector<SchemaStep> v1 = BuildVersionOne(folder);
  Open(folder.File("Quivane.mdb"))
      ->ExecuteSql("INSERT INTO Counters (CounterType, TheYear, CounterValue) VALUES (1, 2024, 5)");

  std::vector<SchemaStep> v2 = v1;
  v2.push_back({DbFile::kUser, 2, kVersion2Tables});
  const RowStep rows2[] = {{DbFile::kUser, 1, &AllReferenceRows}, {DbFile::kUser, 2, &ExtraRows}};
  {
    std::string before =
        Differences(*Open(folder.File("Quivane.mdb")), TablesOf(v2, DbFile::kUser));
    EXPECT_NE(before.find("Extra: missing"), std::string::npos) << before;
    EXPECT_NE(before.find("Counters.Note: missing"), std::string::npos) << before;
    EXPECT_NE(before.find("Counters/ByNote: missing"), std::string::npos) << before;
  }
  auto results = BuildDataFolder(folder.Path(), {v2, rows2});
  EXPECT_EQ(results[0].fromVersion, 1);
  EXPECT_EQ(results[0].toVersion, 2);
  EXPECT_EQ(results[0].stepsRun, std::vector<size_t>{v2.size() - 1});
  EXPECT_EQ(results[0].rowsInserted, 2u);
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_TRUE(results[i].stepsRun.empty());
    EXPECT_EQ(results[i].toVersion, 2);
  }
  {
    auto user = Open(folder.File("Quivane.mdb"));
    EXPECT_EQ(Differences(*user, TablesOf(v2, DbFile::kUser)), "");
    EXPECT_EQ(VersionRows(*user), "1|0|2;");
    EXPECT_EQ(Count(*user, "Extra"), 2);
    auto counters = user->OpenStatement("SELECT CounterValue, Note FROM Counters");
    EXPECT_EQ(CStr(counters->FieldValue(0)) + "/" + CStr(counters->FieldValue(1)), "5/");
  }
  for (const FileBuildResult& r : BuildDataFolder(folder.Path(), {v2, rows2}))
    EXPECT_TRUE(r.stepsRun.empty() && r.rowsInserted == 0) << r.path;

  // A step that fails leaves its file as it was.
  std::vector<SchemaStep> v3 = v2;
  v3.push_back({DbFile::kUser, 3, kVersion3Tables});
  ExpectError(kAnyError, "", [&] { BuildDataFolder(folder.Path(), {v3, rows2}); });
  {
    auto user = Open(folder.File("Quivane.mdb"));
    EXPECT_EQ(VersionRows(*user), "1|0|2;");
    EXPECT_FALSE(user->TableDefsCollection()->Find("Partial"));
    EXPECT_EQ(user->SchemaVersion(), 2);
  }

  // An older library leaves a newer folder alone and says why.
  std::string description;
  description = ExpectError(3343, "Quivane.mdb", [&] {
                  BuildDataFolder(folder.Path(), {v1, kRows1});
                }).Description();
  EXPECT_NE(description.find("version 2"), std::string::npos) << description;
  EXPECT_EQ(VersionRows(*Open(folder.File("Quivane.mdb"))), "1|0|2;");
  EXPECT_EQ(Open(folder.File("Kladr.mdb"))->SchemaVersion(), 2);

  ExpectError(3044, "missing", [&] { BuildDataFolder(folder.File("missing")); });
}

// Version 1 put two triggers on every table to store values as Jet would;
// version 2 drops them in every file, and the stored values stay right.
TEST(SchemaBuilder, VersionTwoDropsTheValueTriggersOfEveryFile) {
  TempFolder folder;
  const std::vector<SchemaStep> v1 = BuildVersionOne(folder);
  auto triggers = [&](DbFile file) {
    auto db = Open(folder.File(DbFileName(file)));
    jet::Statement st =
        db->Connection().PrepareNative("SELECT count(*) FROM sqlite_master WHERE type = 'trigger'");
    st.Step();
    return st.Int64(0);
  };
  const std::pair<DbFile, const char*> tables[] = {
      {DbFile::kUser, "Calendar"}, {DbFile::kKladr, "KladrObjects"}, {DbFile::kOkato, "NSI_OKATO"}};
  for (const auto& [file, table] : tables) {
    auto db = Open(folder.File(DbFileName(file)));
    for (const char* kind : {"insert", "update"})
      db->Connection().ExecuteNative("CREATE TRIGGER \"jet_norm_" + std::string(kind) + ":" +
                                     table + "\" AFTER " + (kind[0] == 'i' ? "INSERT" : "UPDATE") +
                                     " ON \"" + table + "\" BEGIN SELECT 1; END");
    db->Close();
    EXPECT_EQ(triggers(file), 2);
  }
  for (const FileBuildResult& r : BuildDataFolder(folder.Path(), DefaultSchema(2))) {
    EXPECT_EQ(r.fromVersion, 1) << r.path;
    EXPECT_EQ(r.toVersion, 2) << r.path;
    EXPECT_EQ(triggers(r.file), 0) << r.path;
  }
  auto user = Open(folder.File("Quivane.mdb"));
  user->ExecuteSql("UPDATE Calendar SET IsWorkday = 1 WHERE IsWorkday = 0");
  EXPECT_EQ(CLng(user->OpenStatement("SELECT min(IsWorkday) FROM Calendar")->FieldValue(0)), -1);
}

// Version 4: Yes/No columns and the Long flags that stand for them are never
// Null. A file whose columns still take Nulls (as version 3 made them) gets
// the rule, and every Null it stored there becomes 0.
TEST(SchemaBuilder, VersionFourGivesYesNoColumnsTheirDefault) {
  TempFolder folder;
  BuildDataFolder(folder.Path());
  const struct {
    const char* table;
    const char* column;
    const char* row;  // an insert leaving the column Null
  } cases[] = {
      {"Warrants", "IsActive", "insert into Warrants (ID, WorkerID) values (1, 7)"},
      {"Warrants", "IsWitness", ""},
      {"PfrSubDocs", "Disabled", "insert into PfrSubDocs (ID, DocumentID) values (1, 5)"},
      {"doc_registry", "FLS_IsSigned", "insert into doc_registry (document_id) values (1)"},
      {"Calendar", "IsWorkday", ""},
  };
  {
    auto user = Open(folder.File("Quivane.mdb"));
    jet::Catalog& catalog = user->Connection().Schema();
    for (const auto& c : cases) {
      jet::FieldSpec loose = *catalog.FindTable(c.table)->FindField(c.column);
      loose.required = false;
      loose.defaultValue.clear();
      catalog.ChangeFieldRules(c.table, std::span(&loose, 1));
      if (*c.row) user->ExecuteSql(c.row);
    }
    user->ExecuteSql("UPDATE Calendar SET IsWorkday = Null WHERE DayDate = #01/09/2024#");
    user->SetSchemaVersion(3);
    user->ExecuteSql("UPDATE DBVersion SET BuildNumber = 3");
    EXPECT_NE(Differences(*user, TablesOf(AllSchemaSteps(), DbFile::kUser)), "");
  }
  EXPECT_EQ(BuildDataFolder(folder.Path())[0].fromVersion, 3);
  auto user = Open(folder.File("Quivane.mdb"));
  EXPECT_EQ(Differences(*user, TablesOf(AllSchemaSteps(), DbFile::kUser)), "");
  for (const auto& c : cases) {
    const std::string nulls = "SELECT count(*) FROM " + std::string(c.table) + " WHERE " + c.column;
    EXPECT_EQ(CLng(user->OpenStatement(nulls + " IS NULL")->FieldValue(0)), 0) << c.column;
    if (*c.row) {
      EXPECT_EQ(CLng(user->OpenStatement(nulls + " = 0")->FieldValue(0)), 1) << c.column;
    }
  }
  EXPECT_EQ(CLng(user->OpenStatement("SELECT IsWorkday FROM Calendar WHERE DayDate = #01/09/2024#")
                     ->FieldValue(0)),
            0);
  user->ExecuteSql("insert into Warrants (ID, WorkerID) values (2, 7)");
  EXPECT_EQ(CLng(user->OpenStatement("SELECT IsActive FROM Warrants WHERE ID = 2")->FieldValue(0)),
            0);
  ExpectError(3314, "", [&] { user->ExecuteSql("UPDATE Warrants SET IsActive = Null"); });
}

TEST(SchemaBuilder, CreatesTheTablesOfABigDocumentShard) {
  TempFolder folder;
  auto ws = dao::DBEngine::ForThread()->DefaultWorkspace();
  for (bool first : {true, false}) {
    auto db = ws->Create(folder.File(first ? "1_0.mdb" : "1_1.mdb"), dao::dbLangCyrillic);
    CreateBigDocTables(*db, first);
    std::vector<const TableDef*> defs;
    if (first)
      for (const TableDef& t : BigDocDirectoryTables()) defs.push_back(&t);
    for (const TableDef& t : BigDocCellTables()) defs.push_back(&t);
    EXPECT_EQ(Differences(*db, defs), "") << first;
  }
}

}  // namespace
}  // namespace qv::schema
