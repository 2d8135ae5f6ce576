// qvdb import-mdb on an installation made of sources of the test's own
// (the import's logic: matching, defaults, versions, what is left out,
// atomicity), and on a real Jet file compared with what mdb-export prints.

#include "ImportMdb.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "QvdbTestSupport.h"
#include "core/schema/Schema.h"
#include "platform/jet/JetConnection.h"

namespace qvdb {
namespace {

using qv::OleDate;
using qv::jet::FieldSpec;
using qv::jet::JetType;

struct FakeTable {
  SourceTable def;
  std::vector<std::vector<Variant>> rows;
  int64_t failAtRow = 0;  // reading this row (1-based) fails
};

FakeTable Table(std::string name, std::vector<FieldSpec> columns,
                std::vector<std::vector<Variant>> rows) {
  FakeTable t;
  t.def.name = std::move(name);
  t.def.columns = std::move(columns);
  t.def.rows = static_cast<int64_t>(rows.size());
  t.rows = std::move(rows);
  return t;
}

class FakeSource final : public JetSource {
 public:
  explicit FakeSource(std::vector<FakeTable> tables) : tables_(std::move(tables)) {
    for (const FakeTable& t : tables_) defs_.push_back(t.def);
  }
  std::string Format() const override { return "Jet 4"; }
  const std::vector<SourceTable>& Tables() const override { return defs_; }
  void ReadRows(const SourceTable& table,
                const std::function<void(std::span<const SourceValue>)>& onRow) override {
    const FakeTable& t = tables_.at(static_cast<size_t>(&table - defs_.data()));
    int64_t n = 0;
    for (const auto& row : t.rows) {
      if (++n == t.failAtRow) throw qv::Error(3043, "Disk or network error.", "libmdb");
      std::vector<SourceValue> values;
      for (const Variant& v : row) values.push_back({v, false});
      onRow(values);
    }
  }

 private:
  std::vector<FakeTable> tables_;
  std::vector<SourceTable> defs_;
};

const char* kGuid = "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";

// An installation: file names as a Windows folder may spell them, a table
// of each kind (known with other columns, reference rows, unknown), the
// options file, a big-document shard and files that are no part of it.
struct Installation {
  std::map<std::string, std::vector<FakeTable>> files;
  fs::path src;

  explicit Installation(const fs::path& root) : src(root / "windows") {
    files["quivane.mdb"] = {
        Table("DBVersion",
              {FieldSpec{"MajorVersion", JetType::kLong}, FieldSpec{"MinorVersion", JetType::kLong},
               FieldSpec{"BuildNumber", JetType::kLong}},
              {{Variant(2), Variant(5), Variant(117)}}),
        Table("country",
              {FieldSpec{"id", JetType::kLong}, FieldSpec{"ALFA2", JetType::kText, 2},
               FieldSpec{"ShortName", JetType::kText, 255}, FieldSpec{"Extra", JetType::kDouble}},
              {{Variant(643), Variant("RU"), Variant("Россия"), Variant(1.5)},
               {Variant(112), Variant("BY"), Variant::Null(), Variant::Null()}}),
        Table("report_time",
              {FieldSpec{"report_id", JetType::kLong}, FieldSpec{"name", JetType::kText, 255}},
              {{Variant(17), Variant("год")}}),
        Table("VarData",
              {FieldSpec{"ID", JetType::kGUID}, FieldSpec{"EventTime", JetType::kDate},
               FieldSpec{"UserID", JetType::kDouble}},
              {{Variant(kGuid), Variant(OleDate{-1.25}), Variant(2.5)}}),
        Table("Foo", {FieldSpec{"Name", JetType::kText, 50}}, {{Variant("a")}, {Variant("b")}}),
        Table("Warrants",
              {FieldSpec{"ID", JetType::kDouble}, FieldSpec{"IsActive", JetType::kLong}},
              {{Variant(1.0), Variant::Null()}}),
    };
    files["KLADR.MDB"] = {
        Table("KladrObjects",
              {FieldSpec{"ID", JetType::kLong}, FieldSpec{"ObjName", JetType::kText, 255}},
              {{Variant(1), Variant("Москва")}})};
    files["1234567_0.mdb"] = {
        Table("SubDocs", {FieldSpec{"ID", JetType::kLong}, FieldSpec{"VolumeID", JetType::kLong}},
              {{Variant(1), Variant(1)}}),
        Table("StatCells",
              {FieldSpec{"SubDocID", JetType::kLong}, FieldSpec{"Key", JetType::kInteger},
               FieldSpec{"Value0", JetType::kText, 255}, FieldSpec{"Value1", JetType::kText, 255}},
              {{Variant(1), Variant(int16_t{4}), Variant("x"), Variant("")}})};
    fs::create_directories(src / "BigDocs" / "67" / "45");
    for (const char* f : {"quivane.mdb", "KLADR.MDB", "Qv_DBOptions.xml", "readme.txt",
                          "BigDocs/67/45/1234567_0.mdb", "BigDocs/67/45/notes.txt"})
      std::ofstream(src / f) << "<DBOptions/>";
  }

  ImportOptions Options() {
    ImportOptions o;
    o.open = [this](const fs::path& p) {
      return std::make_unique<FakeSource>(files.at(p.filename().string()));
    };
    return o;
  }
};

std::set<std::string> Entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

const TableSummary* Find(const ImportSummary& s, std::string_view file, std::string_view table) {
  for (const FileSummary& f : s.files)
    if (f.file.starts_with(file))
      for (const TableSummary& t : f.tables)
        if (t.name == table) return &t;
  return nullptr;
}

TEST(ImportMdbTest, CopiesTheSchemasTablesByNameAndListsTheRest) {
  TempFolder tmp;
  Installation win(tmp.Path());
  const fs::path dest = tmp / "data";
  const ImportSummary s = ImportDataFolder(win.src, dest, win.Options());

  EXPECT_EQ(Rows(dest / "Quivane.mdb",
                 "select ID, Alfa2, Alfa3, ShortName, OrderNum from Country order by ID"),
            "112|BY|Null|Null|Null\n643|RU|Null|Россия|Null\n");
  // The source's rows replace the builder's reference rows.
  EXPECT_EQ(Rows(dest / "Quivane.mdb", "select report_id, parent_id, name from report_time"),
            "17|Null|год\n");
  EXPECT_EQ(Rows(dest / "Quivane.mdb",
                 "select ID, Format(EventTime, 'dd.mm.yyyy hh:nn:ss'), UserID from VarData"),
            std::string(kGuid) + "|29.12.1899 06:00:00|2\n");
  EXPECT_EQ(
      Rows(dest / "Quivane.mdb", "select MajorVersion, MinorVersion, BuildNumber from DBVersion"),
      "1|0|" + std::to_string(qv::schema::CurrentSchemaVersion()) + "\n");
  EXPECT_FALSE(
      qv::jet::Connection::Open((dest / "Quivane.mdb").string())->Schema().FindTable("Foo"));
  EXPECT_EQ(Rows(dest / "Kladr.mdb", "select ID, ObjName from KladrObjects"), "1|Москва\n");
  EXPECT_EQ(
      Rows(dest / "BigDocs/67/45/1234567_0.mdb", "select SubDocID, Key, Value0 from StatCells"),
      "1|4|x\n");
  EXPECT_EQ(Entries(dest),
            (std::set<std::string>{"BigDocs", "Kladr.mdb", "Qv_DBOptions.xml", "Quivane.mdb"}));
  EXPECT_EQ(Entries(tmp.Path()), (std::set<std::string>{"data", "windows"}));

  EXPECT_EQ(s.sourceVersion, "2.5.117");
  EXPECT_EQ(s.importedAt, 1);
  EXPECT_EQ(s.migratedTo, qv::schema::CurrentSchemaVersion());
  EXPECT_EQ(s.skippedFiles, (std::vector<std::string>{"BigDocs/67/45/notes.txt", "readme.txt"}));
  EXPECT_EQ(s.missingFiles, std::vector<std::string>{"Okato.mdb"});
  const TableSummary* country = Find(s, "Quivane.mdb", "country");
  ASSERT_TRUE(country);
  EXPECT_EQ(country->unknownColumns, std::vector<std::string>{"Extra"});
  EXPECT_FALSE(country->unknownColumnsKept);
  EXPECT_EQ(country->defaultedColumns,
            (std::vector<std::string>{"Alfa3", "Code", "FullName", "OrderNum"}));
  EXPECT_EQ(country->written, 2);
  const TableSummary* varData = Find(s, "Quivane.mdb", "VarData");
  ASSERT_TRUE(varData);
  EXPECT_EQ(varData->lossy, (std::map<std::string, int64_t>{{"UserID", 1}}));  // 2.5 into a Long
  // A flag that is never Null takes its default for the source's Null.
  EXPECT_EQ(Rows(dest / "Quivane.mdb", "select ID, IsActive from Warrants"), "1|0\n");
  EXPECT_EQ(Find(s, "Quivane.mdb", "Warrants")->lossy,
            (std::map<std::string, int64_t>{{"IsActive", 1}}));
  const TableSummary* foo = Find(s, "Quivane.mdb", "Foo");
  ASSERT_TRUE(foo);
  EXPECT_FALSE(foo->copied);
  EXPECT_EQ(foo->read, 2);
  EXPECT_EQ(Find(s, "Quivane.mdb", "DBVersion"), nullptr);
  EXPECT_EQ(Find(s, "BigDocs", "StatCells")->written, 1);

  std::ostringstream printed;
  PrintImportSummary(s, printed);
  EXPECT_THAT(printed.str(), HasSubstr("Source version 2.5.117: imported at schema version 1"));
  EXPECT_THAT(printed.str(), HasSubstr("Foo (2 rows)"));
  EXPECT_THAT(printed.str(), HasSubstr("Quivane.mdb: VarData.UserID 1"));
}

TEST(ImportMdbTest, KeepUnknownCopiesTablesAndColumnsWithTheirJetTypes) {
  TempFolder tmp;
  Installation win(tmp.Path());
  ImportOptions o = win.Options();
  o.keepUnknown = true;
  const fs::path dest = tmp / "data";
  ImportDataFolder(win.src, dest, o);
  EXPECT_EQ(Rows(dest / "Quivane.mdb", "select Name from Foo"), "a\nb\n");
  EXPECT_EQ(Rows(dest / "Quivane.mdb", "select ID, Extra from Country order by ID"),
            "112|Null\n643|1.5\n");
  auto conn = qv::jet::Connection::Open((dest / "Quivane.mdb").string());
  EXPECT_EQ(conn->Schema().FindTable("Foo")->fields.at(0).size, 50);
  EXPECT_EQ(conn->Schema().FindTable("Country")->FindField("Extra")->type, JetType::kDouble);
}

// A failure leaves no destination, or the one that was there as it was.
TEST(ImportMdbTest, AFailureLeavesNoDestinationAndNamesTableAndRow) {
  struct Case {
    const char* what;
    int64_t failAtRow;
    bool cancel;
    int32_t error;
    const char* where;
    bool existing = false;  // the destination holds a file of the user's
  };
  const Case cases[] = {
      {"a source table failing mid-way", 2, false, 3043, "Quivane.mdb, table country, row 2: "},
      {"an interruption", 0, true, 18, "Quivane.mdb, table country, row 1: "},
      {"an existing destination", 0, false, 3204, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder tmp;
    Installation win(tmp.Path());
    win.files["quivane.mdb"][1].failAtRow = c.failAtRow;
    std::atomic<bool> cancel{c.cancel};
    ImportOptions o = win.Options();
    o.cancel = &cancel;
    if (c.existing) {
      fs::create_directories(tmp / "data");
      std::ofstream(tmp / "data" / "mine.txt") << "mine";
    }
    ExpectError(c.error, c.where, [&] { ImportDataFolder(win.src, tmp / "data", o); });
    const std::set<std::string> left =
        c.existing ? std::set<std::string>{"data", "windows"} : std::set<std::string>{"windows"};
    EXPECT_EQ(Entries(tmp.Path()), left);
    if (c.existing) {
      EXPECT_EQ(Entries(tmp / "data"), std::set<std::string>{"mine.txt"});
    }
  }
}

TEST(ImportMdbTest, SourceVersionFromDBVersion) {
  const int32_t current = qv::schema::CurrentSchemaVersion();
  struct Case {
    int32_t major, minor, build, expected, error;
  };
  const Case cases[] = {
      {2, 5, 117, 1, 0},  // an installation's own numbering
      {0, 0, 0, 1, 0},    // an empty row
      {1, 0, 1, 1, 0},   {1, 0, current, current, 0}, {1, 0, current + 1, 0, 3343},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + "." +
                 std::to_string(c.build));
    int32_t v = 0;
    ExpectError(c.error, "", [&] { v = SourceSchemaVersion(c.major, c.minor, c.build); });
    if (c.error == 0) {
      EXPECT_EQ(v, c.expected);
    }
  }
}

// ---- fruit.mdb, a Jet 4 file nobody here wrote

// The fetched file, or empty when the test is to skip (the reason in `why`).
fs::path FruitMdb(std::string& why) {
  const fs::path cache = QV_TEST_CACHE;
  if (fs::exists(cache / "fruit.mdb")) return cache / "fruit.mdb";
  std::ifstream failed(cache / "fruit.mdb.failed");
  std::getline(failed, why);
  return {};
}

// What mdb-export prints of a table: a header line, then rows; fields
// unquoted between tabs, with tabs, line breaks and backslashes escaped, and
// "~" for Null. A value of ours is written the same way.
std::vector<std::vector<std::string>> Export(const fs::path& file, const std::string& table) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(
      CommandOutput("mdb-export -Q -e -0 '~' -d '\t' '" + file.string() + "' '" + table + "'"));
  for (std::string line; std::getline(lines, line);) {
    rows.emplace_back();
    for (size_t at = 0, tab = 0; tab != std::string::npos; at = tab + 1)
      rows.back().push_back(line.substr(at, (tab = line.find('\t', at)) - at));
  }
  return rows;
}

std::string Exported(const Variant& v) {
  if (v.IsNull()) return "~";
  std::string out;
  for (char c : qv::CStr(v))
    out += c == '\t'   ? "\\t"
           : c == '\n' ? "\\n"
           : c == '\r' ? "\\r"
           : c == '\\' ? "\\\\"
                       : std::string(1, c);
  return out;
}

TEST(ImportMdbTest, FruitMdbMatchesMdbExportRowByRow) {
  std::string why;
  const fs::path fruit = FruitMdb(why);
  if (fruit.empty()) GTEST_SKIP() << "fruit.mdb could not be fetched: " << why;
  TempFolder tmp;
  const ImportSummary s = ImportJetFile(fruit, tmp / "fruit.mdb", {});
  ASSERT_EQ(s.files.size(), 1u);
  const auto tables = CommandOutput("mdb-tables -1 '" + fruit.string() + "'");
  std::vector<std::string> names;
  std::istringstream lines(tables);
  for (std::string line; std::getline(lines, line);) names.push_back(line);
  ASSERT_EQ(names.size(), s.files[0].tables.size()) << "mdb-tables printed:\n" << tables;

  auto conn = qv::jet::Connection::Open((tmp / "fruit.mdb").string());
  for (size_t t = 0; t < names.size(); ++t) {
    SCOPED_TRACE(names[t]);
    EXPECT_EQ(s.files[0].tables[t].name, names[t]);
    const auto csv = Export(fruit, names[t]);
    ASSERT_FALSE(csv.empty());
    auto st = conn->Prepare("select * from [" + names[t] + "]");
    ASSERT_EQ(static_cast<size_t>(st.ColumnCount()), csv[0].size());
    for (int c = 0; c < st.ColumnCount(); ++c) EXPECT_EQ(st.Column(c).name, csv[0][c]);
    size_t row = 1;
    for (; st.Step(); ++row) {
      ASSERT_LT(row, csv.size()) << "more rows than mdb-export prints";
      ASSERT_EQ(csv[row].size(), csv[0].size()) << "row " << row;
      for (int c = 0; c < st.ColumnCount(); ++c)
        EXPECT_EQ(Exported(st.Value(c)), csv[row][static_cast<size_t>(c)])
            << "row " << row << ", column " << c;
    }
    EXPECT_EQ(row, csv.size()) << "fewer rows than mdb-export prints";
    EXPECT_EQ(s.files[0].tables[t].written, static_cast<int64_t>(csv.size() - 1));
    EXPECT_TRUE(s.files[0].tables[t].lossy.empty());
  }

  // As an installation's user database it holds no table of the schema.
  fs::create_directories(tmp / "windows");
  fs::copy_file(fruit, tmp / "windows" / "Quivane.mdb");
  const ImportSummary inst = ImportDataFolder(tmp / "windows", tmp / "data", {});
  ASSERT_EQ(inst.files.size(), 1u);
  for (const TableSummary& t : inst.files[0].tables) EXPECT_FALSE(t.copied) << t.name;
  EXPECT_EQ(Find(inst, "Quivane.mdb", "Fruit")->read, 37);
  EXPECT_FALSE(inst.sourceVersion);
  EXPECT_EQ(inst.missingFiles, (std::vector<std::string>{"Kladr.mdb", "Okato.mdb"}));
  EXPECT_EQ(Entries(tmp / "data"), std::set<std::string>{"Quivane.mdb"});
}

// A file libmdb cannot read: its own words come back inside error 3343 (for
// a file of this library's, where it goes instead) and nothing reaches
// standard error.
TEST(ImportMdbTest, LibmdbMessagesBecomeTheErrorsWords) {
  TempFolder tmp;
  const auto jetHead = [](size_t size, uint8_t version) {
    std::string bytes(size, '\0');
    bytes.replace(0, 19, std::string("\0\1\0\0Standard Jet DB", 19));
    bytes[0x14] = static_cast<char>(version);
    return bytes;
  };
  const struct {
    const char* name;
    std::string bytes;
    const char* said;  // part of what libmdb says
  } cases[] = {
      {"unknown version", jetHead(3 * 4096, 7), "The reader (libmdb) said: Unknown Jet version"},
      {"cut short", jetHead(100, 1), "Unable to read table MSysObjects"},
      {"a file of ours", test::ReadFileText(test::PristineDataFolder() / "Kladr.mdb"),
       "a database file of this library already, not a Jet file: open it with `qvdb sql --db"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = tmp / (std::string(c.name) + ".mdb");
    std::ofstream(file, std::ios::binary) << c.bytes;
    testing::internal::CaptureStderr();
    ExpectError(3343, c.said, [&] { OpenJetFile(file); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

// DEST is made with the user's umask, like any folder of theirs (the
// staging folder it was is private while it is written).
TEST(ImportMdbTest, TheNewFolderTakesTheUmask) {
  TempFolder tmp;
  Installation win(tmp.Path());
  for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{077}}) {
    const mode_t before = ::umask(mask);
    const fs::path dest = tmp / ("data" + std::to_string(mask));
    ImportDataFolder(win.src, dest, win.Options());
    ::umask(before);
    struct stat st {};
    ASSERT_EQ(::stat(dest.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777 & ~mask) << std::oct << mask;
  }
}

}  // namespace
}  // namespace qvdb
