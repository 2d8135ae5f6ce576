// The schema tables: structure (names, indexes, types) and the column types
// and widths the library's statements rely on. Whether a column or index a
// statement names exists is left to the tests that run the statements.

#include "core/schema/Schema.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/automation/VbaText.h"

namespace qv::schema {
namespace {

std::vector<std::string> Words(std::string_view text) {
  std::istringstream in{std::string(text)};
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// Structural faults of one table, as text lines ("" when none).
std::string TableFaults(const TableDef& t) {
  std::ostringstream out;
  std::set<std::string> columns;
  if (t.fields.empty()) out << t.name << ": no columns\n";
  for (const FieldDef& f : t.fields) {
    if (!columns.insert(AsciiLower(f.name)).second)
      out << t.name << "." << f.name << ": duplicate\n";
    const bool text = f.type == JetType::kText;
    if (text && (f.size < 1 || f.size > 255)) out << t.name << "." << f.name << ": bad size\n";
    if (!text && f.size != 0) out << t.name << "." << f.name << ": size on a non-text\n";
  }
  std::set<std::string> indexes;
  int primaries = 0;
  for (const IndexDef& i : t.indexes) {
    if (!indexes.insert(AsciiLower(i.name)).second)
      out << t.name << "/" << i.name << ": duplicate\n";
    if (i.primary) ++primaries;
    if (i.primary && !i.unique) out << t.name << "/" << i.name << ": primary, not unique\n";
    std::vector<IndexField> parts = SplitIndexFields(i.fields);
    if (parts.empty()) out << t.name << "/" << i.name << ": no fields\n";
    for (const IndexField& p : parts) {
      const FieldDef* f = FindField(t, p.name);
      if (f == nullptr) {
        out << t.name << "/" << i.name << ": no column '" << p.name << "'\n";
      } else if (i.primary && !f->required) {
        out << t.name << "/" << i.name << ": key column " << f->name << " not required\n";
      }
    }
  }
  if (primaries > 1) out << t.name << ": several primary indexes\n";
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
  EXPECT_EQ(CurrentSchemaVersion(), 2);
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

struct ColumnType {
  bool shard;  // a table of the big-document files, else of the user file
  const char* table;
  const char* columns;
  JetType type;
  int32_t atLeast = 0;  // the least size of a text column
};

// Types the statements depend on. Flags compared with "= 1" and written as
// 1 or 0 must be numbers (a Jet Yes/No stores True as -1); GUID, blob and memo
// columns hold what a text or number column could not. Values written cut to
// a length must fit: cell texts are cut to 250 characters (255 in the
// sub-document cells), log texts to 255, cell keys are 12 characters.
constexpr ColumnType kColumnTypes[] = {
    {false, "Personnel", "ShowInBranches IsFormalBoss", JetType::kLong},
    {false, "doc_templates", "PfrMaster enable Payments_List", JetType::kLong},
    {false, "TemplateByTPCategory", "AllowedForMainOrg AllowedForBranch", JetType::kLong},
    {false, "Warrants", "IsActive", JetType::kLong},
    {false, "WjEvents", "AppTkIsPresent AppTdIsPresent IsSbd EvIsPartTime", JetType::kLong},
    {false, "TndflDict_IncomesNames", "IsDefault", JetType::kLong},
    {false, "TndflDict_MDeductsNames", "IsDefault", JetType::kLong},
    {false, "NaturalPerson", "Archival", JetType::kLong},
    {false, "doc_registry", "FLS_IsSigned SLS_IsSigned ELS_IsSigned Exec_IsSigned", JetType::kLong},
    {false, "doc_registry", "document_id taxpayer_id time_id template_id top_doc_id",
     JetType::kDouble},
    {false, "doc_registry", "Unreaded", JetType::kBoolean},
    {false, "doc_cell_values", "first_type", JetType::kInteger},
    {false, "PfrPersons", "ID Person_ID", JetType::kDouble},
    {false, "PfrPersons", "IsDismissed", JetType::kBoolean},
    {false, "time_by_month", "beg_date end_date", JetType::kDate},
    {false, "VarData", "ID", JetType::kGUID},
    {false, "VarData2", "ID VarDataID", JetType::kGUID},
    {false, "CourBlobs", "Content", JetType::kLongBinary},
    {false, "PfrErrors", "ErrorText", JetType::kMemo},
    {false, "PermUsers", "Password", JetType::kMemo},
    {false, "TaxOffice", "RegType", JetType::kText},
    {true, "StatCells", "Key", JetType::kInteger},
    {true, "WideCells", "Value", JetType::kMemo},
    {true, "SubDocs", "PfrPersonID", JetType::kDouble},
    {false, "doc_cell_values", "first_value", JetType::kText, 250},
    {false, "doc_cell_values", "cell_key", JetType::kText, 12},
    {false, "ConsCellValues", "Cell_Key", JetType::kText, 12},
    {false, "PfrCellValues", "Value", JetType::kText, 255},
    {false, "PfrErrors", "SubjectName", JetType::kText, 255},
    {false, "VarData", "HostInfo", JetType::kText, 255},
    {false, "VarData2", "InfoData2", JetType::kText, 255},
    {false, "WjEvents", "EvDismReason", JetType::kText, 255},
    {false, "Certificate", "IssueOrgCode", JetType::kText, 20},
};

TEST(SchemaColumns, ColumnTypesTheStatementsRelyOn) {
  for (const ColumnType& c : kColumnTypes) {
    const TableDef* t = c.shard ? FindBigDocTable(c.table) : FindTable(DbFile::kUser, c.table);
    ASSERT_NE(t, nullptr) << c.table;
    for (const std::string& name : Words(c.columns)) {
      const FieldDef* f = FindField(*t, name);
      ASSERT_NE(f, nullptr) << c.table << "." << name;
      EXPECT_EQ(static_cast<int>(f->type), static_cast<int>(c.type)) << c.table << "." << name;
      EXPECT_GE(f->size, c.atLeast) << c.table << "." << name;
    }
  }
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
