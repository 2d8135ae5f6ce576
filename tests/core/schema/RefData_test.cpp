// Reference files: every fault is named by file, line and column before
// anything is written; a load goes by key and validity and changes exactly
// the rows that differ, in one transaction; the library's own edition reads
// and loads whole.

#include "core/schema/RefData.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "core/schema/SchemaBuilder.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Workspace.h"
#include "support/DaoTables.h"
#include "support/TestSupport.h"

namespace qv::schema {
namespace {

namespace fs = std::filesystem;
using testsupport::ExpectError;
using testsupport::TempFolder;

const std::string kLimits = "TheYear\tIncomeLimit\tMROT\tSource\n";
const std::string kAddTariffs = "Code\tBegDate\tEndDate\tRate\tSource\n";
const std::string kNames = "IncomeID\tName\tIsDefault\tDateBeg\tDateEnd\tSource\n";

void Write(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

TEST(RefDataFiles, EveryFaultNamesFileLineAndColumn) {
  const struct {
    const char* what;
    const char* file;
    std::string text;
    const char* error;
  } cases[] = {
      {"no such table", "PfrDict_Limit.tsv", kLimits,
       "PfrDict_Limit.tsv:0:0: no reference table is called PfrDict_Limit"},
      {"an unknown column", "PfrDict_Limits.tsv", "TheYear\tIncome\tMROT\tSource\n",
       "PfrDict_Limits.tsv:1:9: PfrDict_Limits has no column Income"},
      {"a column twice", "PfrDict_Limits.tsv", "TheYear\tMROT\tIncomeLimit\tMROT\tSource\n",
       "PfrDict_Limits.tsv:1:26: the column MROT again"},
      {"a column missing", "PfrDict_Limits.tsv", "TheYear\tIncomeLimit\tSource\n",
       "PfrDict_Limits.tsv:1:1: no column MROT"},
      {"no source column", "PfrDict_Limits.tsv", "TheYear\tIncomeLimit\tMROT\n",
       "PfrDict_Limits.tsv:1:1: no column Source"},
      {"comments and blank lines count as lines", "PfrDict_Limits.tsv",
       "# a note\n\n" + kLimits + "2024\t2225000\t19242\n",
       "PfrDict_Limits.tsv:4:19: 3 cells, the header has 4"},
      {"a cell too many", "PfrDict_Limits.tsv", kLimits + "2024\t1\t2\tact\textra\n",
       "PfrDict_Limits.tsv:2:14: 5 cells, the header has 4"},
      {"a decimal comma", "PfrDict_Limits.tsv", kLimits + "2024\t2225000,5\t19242\tact\n",
       "PfrDict_Limits.tsv:2:6: IncomeLimit: \"2225000,5\" is not a number"},
      {"a fraction for a year", "PfrDict_Limits.tsv", kLimits + "2024.5\t1\t2\tact\n",
       "PfrDict_Limits.tsv:2:1: TheYear: \"2024.5\" is not a whole number"},
      {"an empty key", "PfrDict_Limits.tsv", kLimits + "\t2225000\t19242\tact\n",
       "PfrDict_Limits.tsv:2:1: TheYear is empty"},
      {"a row without a source", "PfrDict_Limits.tsv", kLimits + "2024\t2225000\t19242\t \n",
       "PfrDict_Limits.tsv:2:20: no source"},
      {"a key twice", "PfrDict_Limits.tsv", kLimits + "2024\t1\t2\ta\n2024\t3\t4\tb\n",
       "PfrDict_Limits.tsv:3:1: the key of line 2 again"},
      {"a day that does not exist", "PfrDict_AddTariffs.tsv",
       kAddTariffs + "X\t2025-02-30\t9999-12-31\t1\ta\n",
       "PfrDict_AddTariffs.tsv:2:3: BegDate: \"2025-02-30\" is not a date YYYY-MM-DD"},
      {"a period that ends before it begins", "PfrDict_AddTariffs.tsv",
       kAddTariffs + "X\t2025-01-01\t2024-12-31\t1\ta\n",
       "PfrDict_AddTariffs.tsv:2:14: EndDate before BegDate"},
      {"periods of one code that overlap", "PfrDict_AddTariffs.tsv",
       kAddTariffs + "X\t2017-01-01\t2024-12-31\t1\ta\nX\t2024-06-01\t9999-12-31\t2\tb\n",
       "PfrDict_AddTariffs.tsv:3:3: the period overlaps the one of line 2"},
      {"two default names of a code", "TndflDict_IncomesNames.tsv",
       kNames + "2000\tA\t1\t2017-01-01\t2020-12-31\ts\n2000\tB\t1\t2021-01-01\t9999-12-31\ts\n",
       "TndflDict_IncomesNames.tsv:3:8: a second default name (the first on line 2)"},
      {"a text longer than its column", "TndflDict_Incomes.tsv",
       "ID\tCode\tSource\n1\t" + std::string(256, 'x') + "\ts\n",
       "TndflDict_Incomes.tsv:2:3: Code: the text has 256 characters, the column 255"},
      {"bytes that are not UTF-8", "PfrDict_Limits.tsv", kLimits + "2024\t1\t2\tact \xC3\x28\n",
       "PfrDict_Limits.tsv:2:14: not UTF-8"},
      {"no header", "PfrDict_Limits.tsv", "# only a note\n",
       "PfrDict_Limits.tsv:1:0: no header row"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder tmp;
    Write(tmp / c.file, c.text);
    ExpectError(kRefDataFormatError, c.error, [&] { ReadRefTable(tmp / c.file); });
  }
}

TEST(RefDataFiles, ADirectoryNeedsOneEditionAndOneFilePerTable) {
  const struct {
    const char* what;
    std::map<std::string, std::string> files;
    int32_t number;
    const char* error;
  } cases[] = {
      {"no EDITION", {{"PfrDict_Limits.tsv", kLimits}}, 3024, "EDITION"},
      {"an EDITION that is no date",
       {{"EDITION", "2026 edition\n"}},
       kRefDataFormatError,
       "EDITION:1:1: the edition is one date YYYY-MM-DD"},
      {"two files of one table",
       {{"EDITION", "2026-01-20\n"},
        {"PfrDict_Limits.tsv", kLimits},
        {"pfrdict_limits.tsv", kLimits}},
       kRefDataFormatError,
       ": a second file of PfrDict_Limits"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder tmp;
    for (const auto& [name, text] : c.files) Write(tmp / name, text);
    ExpectError(c.number, c.error, [&] { ReadRefData(tmp.Path()); });
  }
}

class RefDataLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildDataFolder(folder_.Path().string());
    db_ = dao::DBEngine::ForThread()->DefaultWorkspace()->Open(folder_.File("Quivane.mdb"), {});
  }
  void TearDown() override { db_->Close(); }

  // An edition directory with these files.
  fs::path Edition(const std::string& name, const std::string& edition,
                   const std::map<std::string, std::string>& files) {
    const fs::path dir = editions_ / name;
    fs::create_directories(dir);
    Write(dir / "EDITION", edition + "\n");
    for (const auto& [file, text] : files) Write(dir / file, text);
    return dir;
  }
  std::string Rows(const std::string& sql) { return testsupport::StatementRows(*db_, sql); }
  std::string State() {
    return Rows("select TheYear, IncomeLimit, MROT from PfrDict_Limits order by TheYear") +
           Rows("select ID, Code from TndflDict_Incomes order by ID") +
           Rows("select IncomeID, Name from TndflDict_IncomesNames order by IncomeID, Name") +
           Rows("select Edition, Added, Changed from RefDataEditions order by Edition");
  }

  TempFolder folder_, editions_;
  std::shared_ptr<dao::Database> db_;
};

const std::map<std::string, std::string> kEditionA = {
    {"PfrDict_Limits.tsv", kLimits + "2024\t2225000\t19242\ta\n2025\t2759000\t22440\ta\n"},
    {"TndflDict_Incomes.tsv", "ID\tCode\tSource\n2000\t2000\ts\n2010\t2010\ts\n"},
    {"TndflDict_IncomesNames.tsv", kNames + "2000\tЗарплата\t1\t2017-01-01\t9999-12-31\ts\n" +
                                       "2010\tГПХ\t1\t2017-01-01\t9999-12-31\ts\n"},
};

TEST_F(RefDataLoad, ANewerEditionChangesExactlyTheRowsThatDiffer) {
  const RefLoadResult first = LoadRefData(*db_, ReadRefData(Edition("a", "2025-01-01", kEditionA)));
  EXPECT_EQ(first.Added(), 6);
  EXPECT_EQ(first.Changed(), 0);
  db_->ExecuteSql("insert into PfrDict_Limits (TheYear, IncomeLimit, MROT) values (2030, 1, 1)");

  // 2024 as it was, 2025 corrected, 2026 new; one name reworded.
  const RefLoadResult r = LoadRefData(
      *db_,
      ReadRefData(Edition(
          "b", "2026-01-20",
          {{"PfrDict_Limits.tsv",
            kLimits +
                "2024\t2225000\t19242\ta\n2025\t2759000\t22441\tb\n2026\t2979000\t27093\tc\n"},
           {"TndflDict_Incomes.tsv", kEditionA.at("TndflDict_Incomes.tsv")},
           {"TndflDict_IncomesNames.tsv",
            kNames + "2000\tВознаграждение\t1\t2017-01-01\t9999-12-31\ts\n" +
                "2010\tГПХ\t1\t2017-01-01\t9999-12-31\ts\n"}})));
  std::string counts;
  for (const RefTableCounts& c : r.tables)
    counts += c.table + " " + std::to_string(c.added) + "/" + std::to_string(c.changed) + "/" +
              std::to_string(c.left) + "/" + std::to_string(c.untouched) + "\n";
  EXPECT_EQ(counts,
            "PfrDict_Limits 1/1/1/1\n"
            "TndflDict_Incomes 0/0/2/0\n"
            "TndflDict_IncomesNames 0/1/1/0\n");
  std::string changes;
  for (const RefRowChange& c : r.changes)
    changes += std::string(c.added ? "+ " : "~ ") + c.table + " " + c.key + " " + c.what + "\n";
  EXPECT_EQ(changes,
            "~ PfrDict_Limits TheYear=2025 MROT 22440 -> 22441\n"
            "+ PfrDict_Limits TheYear=2026 \n"
            "~ TndflDict_IncomesNames IncomeID=2000, DateBeg=2017-01-01 Name Зарплата -> "
            "Вознаграждение\n");
  EXPECT_EQ(State(),
            "2024|2225000|19242;2025|2759000|22441;2026|2979000|27093;2030|1|1;"
            "2000|2000;2010|2010;"
            "2000|Вознаграждение;2010|ГПХ;"
            "2025-01-01|6|0;2026-01-20|1|2;");
  EXPECT_EQ(StoredRefDataEdition(*db_), "2026-01-20");

  // The first edition again would put back the corrected minimum wage.
  const std::string state = State();
  ExpectError(5, "edition 2025-01-01 is older than the folder's 2026-01-20",
              [&] { LoadRefData(*db_, ReadRefData(editions_ / "a")); });
  EXPECT_EQ(State(), state);
}

TEST_F(RefDataLoad, AFaultLeavesEveryTableAsItWas) {
  LoadRefData(*db_, ReadRefData(Edition("a", "2025-01-01", kEditionA)));
  const struct {
    const char* what;
    std::function<void()> before;  // a change of the folder the load then meets
    std::map<std::string, std::string> files;
    const char* error;
  } cases[] = {
      {"a name of an income no file or row has",
       [] {},
       {{"PfrDict_Limits.tsv", kLimits + "2026\t2979000\t27093\tc\n"},
        {"TndflDict_IncomesNames.tsv", kNames + "2999\tНет\t1\t2017-01-01\t9999-12-31\ts\n"}},
       "TndflDict_IncomesNames.tsv:2:1: IncomeID 2999 names no row of TndflDict_Incomes"},
      {"a key the folder holds twice",
       [&] {
         db_->ExecuteSql(
             "insert into PfrDict_Limits (TheYear, IncomeLimit, MROT) values (2025, 1, 1)");
       },
       {{"PfrDict_Limits.tsv", kLimits + "2026\t2979000\t27093\tc\n2025\t2759000\t22440\ta\n"}},
       "PfrDict_Limits.tsv:3:1: the folder holds PfrDict_Limits rows of this key more than once "
       "(TheYear=2025)"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.before();
    const std::string before = State();
    const RefDataSet set = ReadRefData(Edition(std::to_string(++n), "2026-01-20", c.files));
    ExpectError(kRefDataFormatError, c.error, [&] { LoadRefData(*db_, set); });
    EXPECT_EQ(State(), before);
    EXPECT_EQ(StoredRefDataEdition(*db_), "2025-01-01");
  }
}

TEST_F(RefDataLoad, OneFileIsNoEdition) {
  const fs::path dir = Edition("a", "2025-01-01", kEditionA);
  const RefLoadResult r = LoadRefData(*db_, ReadRefData(dir / "PfrDict_Limits.tsv"));
  EXPECT_EQ(r.edition, "");
  EXPECT_EQ(r.Added(), 2);
  EXPECT_EQ(StoredRefDataEdition(*db_), "");
}

// The edition the library ships: it reads (every row with its source) and
// loads into a new folder, and covers the years the contribution lookups
// need.
TEST_F(RefDataLoad, TheShippedEditionLoadsWholeAndCoversTheYears) {
  const fs::path dir = ShippedRefDataDirectory();
  ASSERT_FALSE(dir.empty());
  const RefDataSet set = ReadRefData(dir);
  std::set<std::string> tables;
  for (const RefDataTable& t : set.tables) {
    tables.insert(std::string(t.spec->table));
    EXPECT_FALSE(t.rows.empty()) << t.file;
    for (const RefDataRow& row : t.rows)
      EXPECT_FALSE(row.source.empty()) << t.file << ":" << row.line;
  }
  for (const char* t : {"PfrDict_Limits", "PfrDict_Tariffs", "PfrDict_AddTariffs",
                        "TndflDict_Incomes", "TndflDict_IncomesNames", "TndflDict_IncomesRates"})
    EXPECT_TRUE(tables.count(t)) << t;
  const RefLoadResult r = LoadRefData(*db_, set);
  EXPECT_EQ(r.Changed(), 0);
  EXPECT_EQ(StoredRefDataEdition(*db_), set.edition);
  std::string years;
  for (int y = 2017; y <= 2026; ++y) years += std::to_string(y) + ";";
  EXPECT_EQ(Rows("select TheYear from PfrDict_Limits where TheYear between 2017 and 2026 "
                 "and IncomeLimit > 0 and MROT > 0 order by TheYear"),
            years);
  EXPECT_EQ(Rows("select TheYear from PfrDict_Tariffs where Category = 'НР' order by TheYear"),
            years);
  // Loading the same edition again changes nothing.
  const RefLoadResult again = LoadRefData(*db_, set);
  EXPECT_EQ(again.Added() + again.Changed(), 0);
}

}  // namespace
}  // namespace qv::schema
