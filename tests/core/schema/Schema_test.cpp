// The schema tables: structure (names, indexes, types). Whether a column or
// index a statement names exists, and has the type and width the statement
// relies on, is left to the tests that run the statements.

#include "core/schema/Schema.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/automation/VbaText.h"

namespace qv::schema {
namespace {

// Faults of one table the catalogue lets through when the builder creates
// it, as text lines ("" when none). What it refuses (a table without
// columns, a column or index name twice, an index on a missing column,
// two primary indexes) fails SchemaBuilder's tests, which build them all.
std::string TableFaults(const TableDef& t) {
  std::ostringstream out;
  for (const FieldDef& f : t.fields) {
    const bool text = f.type == JetType::kText;
    if (text && (f.size < 1 || f.size > 255)) out << t.name << "." << f.name << ": bad size\n";
    if (!text && f.size != 0) out << t.name << "." << f.name << ": size on a non-text\n";
  }
  for (const IndexDef& i : t.indexes) {
    if (i.primary && !i.unique) out << t.name << "/" << i.name << ": primary, not unique\n";
    std::vector<IndexField> parts = SplitIndexFields(i.fields);
    if (parts.empty()) out << t.name << "/" << i.name << ": no fields\n";
    for (const IndexField& p : parts)
      if (const FieldDef* f = FindField(t, p.name); i.primary && f && !f->required)
        out << t.name << "/" << i.name << ": key column " << f->name << " not required\n";
  }
  return out.str();
}

TEST(SchemaStructure, TablesColumnsAndIndexesAreWellFormed) {
  std::string faults;
  std::set<std::pair<DbFile, std::string>> tables;
  int32_t lastVersion = 0;
  for (const SchemaStep& step : AllSchemaSteps()) {
    EXPECT_GE(step.version, lastVersion) << "steps out of version order";
    lastVersion = step.version;
    EXPECT_TRUE(!step.tables.empty() || step.migrate) << "a step that does nothing";
    for (const TableDef& t : step.tables) {
      if (!tables.insert({step.file, AsciiLower(t.name)}).second)
        faults += std::string(t.name) + ": twice\n";
      faults += TableFaults(t);
    }
  }
  std::set<std::string> bigDocTables;
  for (auto tables : {BigDocDirectoryTables(), BigDocCellTables()}) {
    for (const TableDef& t : tables) {
      if (!bigDocTables.insert(AsciiLower(t.name)).second)
        faults += std::string(t.name) + ": twice\n";
      faults += TableFaults(t);
    }
  }
  EXPECT_EQ(faults, "");
  EXPECT_EQ(CurrentSchemaVersion(), lastVersion);
  EXPECT_EQ(CurrentSchemaVersion(), 4);
}

TEST(SchemaStructure, LookupsIgnoreCase) {
  const TableDef* t = FindTable(DbFile::kUser, "DOC_REGISTRY");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t, FindTable(DbFile::kUser, "Doc_Registry"));
  EXPECT_NE(FindField(*t, "TAXPAYER_ID"), nullptr);
  EXPECT_NE(FindIndex(*t, "id"), nullptr);
  EXPECT_EQ(FindTable(DbFile::kKladr, "doc_registry"), nullptr);  // per file
  EXPECT_EQ(FindTable(DbFile::kUser, "doc_registr"), nullptr);
  EXPECT_EQ(FindField(*t, "document_i"), nullptr);
  EXPECT_NE(FindTable(DbFile::kOkato, "nsi_okato"), nullptr);
  EXPECT_NE(FindBigDocTable("statcells"), nullptr);
  EXPECT_EQ(FindTable(DbFile::kUser, "StatCells"), nullptr);  // shard tables stay apart

  std::vector<IndexField> parts = SplitIndexFields("a;-b");
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[1].name, "b");
  EXPECT_TRUE(parts[1].descending);
  EXPECT_FALSE(parts[0].descending);
}

// Shard fields carry the creation rules of the big-document files: numbers
// required with default 0, texts required with the empty text as default.
TEST(SchemaColumns, BigDocumentFieldsAreRequiredWithDefaults) {
  for (auto tables : {BigDocDirectoryTables(), BigDocCellTables()}) {
    for (const TableDef& t : tables) {
      for (const FieldDef& f : t.fields) {
        SCOPED_TRACE(std::string(t.name) + "." + std::string(f.name));
        EXPECT_TRUE(f.required);
        const bool text = f.type == JetType::kText || f.type == JetType::kMemo;
        EXPECT_EQ(f.defaultValue, text ? "\"\"" : "0");
        if (text) {
          EXPECT_TRUE(f.allowZeroLength);
        }
      }
    }
  }
}

}  // namespace
}  // namespace qv::schema
