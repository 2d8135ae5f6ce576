#include "FolderCopy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>

#include "Backup.h"
#include "Check.h"
#include "QvdbTestSupport.h"
#include "ServerFolder.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/ServerLocation.h"

namespace qvdb {
namespace {

// Every row of every table of every database of a folder: "DATABASE TABLE:"
// and the table's rows, sorted (a copy need not keep the engine's order).
std::string FolderRows(const fs::path& folder) {
  std::string all;
  for (const fs::path& rel : DatabaseFiles(folder)) {
    const fs::path file = folder / rel;
    std::vector<std::string> tables;
    {
      auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
      qv::dao::DatabaseOptions readOnly;
      readOnly.readOnly = true;
      auto db = ws->Open(file.string(), readOnly);
      tables = db->TableNames();
      db->Close();
    }
    for (const std::string& t : tables) {
      std::istringstream rows(test::Rows(file, "select * from [" + t + "]"));
      std::vector<std::string> lines;
      for (std::string line; std::getline(rows, line);) lines.push_back(line);
      std::sort(lines.begin(), lines.end());
      all += rel.generic_string() + " " + t + ": " + std::to_string(lines.size()) + "\n";
      for (const std::string& l : lines) all += "  " + l + "\n";
    }
  }
  return all;
}

// A folder with rows of its own: a table with a counter (rows deleted in
// the middle), Russian text, a Null, a date, and a big document's shard.
fs::path SampleFolder(const TempFolder& tmp) {
  const fs::path folder = test::CopyOfPristine(tmp, "source");
  test::Execute(folder / "Quivane.mdb",
                {"CREATE TABLE Notes (ID COUNTER CONSTRAINT pk PRIMARY KEY, T TEXT(20), "
                 "D DATETIME, N DOUBLE)",
                 "INSERT INTO Notes (T, D, N) VALUES ('Ёлкина', #2024-03-31 10:20:30#, 0.1)",
                 "INSERT INTO Notes (T, D, N) VALUES (Null, Null, -1E300)",
                 "INSERT INTO Notes (T, D, N) VALUES ('третья', #1899-12-30#, 3)",
                 "DELETE FROM Notes WHERE ID = 2",
                 "INSERT INTO Post (ID, ShortName) VALUES (1, 'Директор')"});
  const fs::path shard = folder / "BigDocs" / "12" / "00" / "12_0.mdb";
  fs::create_directories(shard.parent_path());
  auto ws = qv::dao::DBEngine::ForThread()->CreateWorkspace("sample", "admin", "",
                                                            qv::Variant(qv::dao::dbUseJet));
  auto db = ws->Create(shard.string(), qv::jet::kLocaleRussian);
  qv::schema::CreateBigDocTables(*db, true);
  db->ExecuteSql("insert into Volumes (ID) values (4)");
  db->Close();
  ws->Close();
  return folder;
}

TEST(FolderCopy, CopiesEveryRowOfEveryDatabase) {
  TempFolder tmp;
  const fs::path source = SampleFolder(tmp);
  const std::string before = FolderRows(source);
  std::ostringstream out;
  const auto copied = CopyDataFolder(source.string(), (tmp / "dest").string(), out);
  ASSERT_EQ(copied.size(), 4u) << out.str();
  EXPECT_EQ(copied[3].name, "BigDocs/12/00/12_0.mdb");
  EXPECT_EQ(FolderRows(tmp / "dest"), before);
  EXPECT_EQ(FolderRows(source), before);  // the source is not changed
  // The counter goes on after the largest value copied.
  test::Execute(tmp / "dest" / "Quivane.mdb", {"INSERT INTO Notes (T) VALUES ('next')"});
  EXPECT_EQ(test::Rows(tmp / "dest" / "Quivane.mdb", "select ID from Notes where T = 'next'"),
            "4\n");
  // The check finds in the copy what it finds in the source: the sample
  // shard has no StorageInfo row and no document owns it (2 problems).
  std::ostringstream checkSource, checkCopy;
  EXPECT_EQ(CheckDataFolder(source, checkSource).problems, 2) << checkSource.str();
  EXPECT_EQ(CheckDataFolder(tmp / "dest", checkCopy).problems, 2) << checkCopy.str();
}

// What is refused leaves DEST as it was.
TEST(FolderCopy, RefusesAndLeavesDestAsItWas) {
  TempFolder tmp;
  const fs::path source = SampleFolder(tmp);
  const std::string before = FolderRows(source);
  fs::create_directories(tmp / "full");
  std::ofstream(tmp / "full" / "note.txt") << "keep";
  fs::create_directories(tmp / "nodb");
  struct Case {
    const char* name;
    fs::path from, to;
    int32_t error;
    bool destAfter;  // DEST exists after the refusal
  } cases[] = {
      {"DEST holds a file", source, tmp / "full", 3204, true},
      {"DEST holds a data folder", source, source, 3204, true},
      {"SRC holds no database", tmp / "nodb", tmp / "new1", 3024, false},
      {"SRC does not exist", tmp / "none", tmp / "new2", 3024, false},
      {"DEST cannot be made (under a file)", source, tmp / "full" / "note.txt" / "c", 75, false},
      {"DEST inside SRC's BigDocs", source, source / "BigDocs" / "c", 75, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream out;
    ExpectError(c.error, "", [&] { CopyDataFolder(c.from.string(), c.to.string(), out); });
    EXPECT_EQ(fs::exists(c.to), c.destAfter);
  }
  EXPECT_EQ(test::ReadFileText(tmp / "full" / "note.txt"), "keep");
  EXPECT_EQ(FolderRows(source), before);
}

// A database's schema on a server and its relative name, both ways.
TEST(FolderCopy, ServerSchemasAndTheirDatabases) {
  const std::string folder = "host=/run/pg dbname=office options='-c search_path=acme,fn'";
  struct Case {
    const char* relative;
    const char* schema;
  } cases[] = {
      {"Quivane.mdb", "acme"},
      {"Kladr.mdb", "acme_kladr"},
      {"Okato.mdb", "acme_okato"},
      {"BigDocs/12/00/12_0.mdb", "acme_bigdocs_12_00_12_0"},
      {"BigDocs/07/31/3107_15.mdb", "acme_bigdocs_07_31_3107_15"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.relative);
    const std::string location = qv::jet::ServerDatabaseLocation(folder, c.relative, "Quivane.mdb");
    EXPECT_EQ(qv::jet::ServerFolderSchema(location), c.schema);
    EXPECT_EQ(RelativeNameOfSchema("acme", c.schema), c.relative);
    EXPECT_EQ(DatabaseLocation(folder, c.relative), location);
  }
  // Schemas that are none of the folder's databases.
  for (const char* other : {"acmex", "acmex_kladr", "acme_other", "acme_bigdocs_1_00_12_0",
                            "acme_bigdocs_12_00_12", "other_kladr", "acme_kladr_2"}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(RelativeNameOfSchema("acme", other), "");
  }
}

// The snapshot settings join the location's own options; its schema stays.
TEST(FolderCopy, SnapshotLocationKeepsTheFolder) {
  for (const std::string location :
       {"postgresql://h:5433/office?options=-csearch_path%3Dacme,fn&user=qv",
        "host=/run/pg dbname=office options='-c search_path=acme,fn'", "host=h dbname=office"}) {
    SCOPED_TRACE(location);
    const std::string snapshot = SnapshotLocation(location);
    EXPECT_EQ(qv::jet::ServerFolderSchema(snapshot), qv::jet::ServerFolderSchema(location));
    EXPECT_THAT(snapshot, HasSubstr("-c default_transaction_isolation=serializable"));
    EXPECT_THAT(snapshot, HasSubstr("-c default_transaction_read_only=on"));
    EXPECT_THAT(snapshot, HasSubstr("dbname='office'"));
  }
}

// A value's text as a server's parameter takes it, and back by the
// column's type: the same value, bytes 0x00 and 0xFF included.
TEST(FolderCopy, ValuesCrossTheServerAsText) {
  using qv::Variant;
  using qv::jet::JetType;
  struct Case {
    Variant value;
    JetType column;
    ServerText text;
  };
  const Case cases[] = {
      {Variant::Null(), JetType::kLong, std::nullopt},
      {Variant::Null(), JetType::kLongBinary, std::nullopt},
      {Variant(true), JetType::kBoolean, "-1"},
      {Variant(false), JetType::kBoolean, "0"},
      {Variant(uint8_t{255}), JetType::kByte, "255"},
      {Variant(int16_t{-32768}), JetType::kInteger, "-32768"},
      {Variant(int32_t{2147483647}), JetType::kLong, "2147483647"},
      {Variant(0.1), JetType::kDouble, "0.1"},
      {Variant(-1e300), JetType::kDouble, "-1e+300"},
      {Variant(1.5f), JetType::kSingle, "1.5"},
      {Variant(qv::Currency{-1234567}), JetType::kCurrency, "-123.4567"},
      {Variant(qv::OleDate{45000.75}), JetType::kDate, "45000.75"},
      {Variant(qv::OleDate{-1.5}), JetType::kDate, "-1.5"},
      {Variant(""), JetType::kText, ""},
      {Variant("Привет, 'мир'"), JetType::kMemo, "Привет, 'мир'"},
      {Variant("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"), JetType::kGUID,
       "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"},
      {Variant(qv::ByteArray{0, {0x00}}), JetType::kLongBinary, "\\x00"},
      {Variant(qv::ByteArray{0, {0xFF}}), JetType::kLongBinary, "\\xff"},
      {Variant(qv::ByteArray{0, {0x00, 0xAB, 0x0F, 0x00}}), JetType::kBinary, "\\x00ab0f00"},
      {Variant(qv::ByteArray{}), JetType::kLongBinary, "\\x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.Describe());
    EXPECT_EQ(ServerValueText(c.value), c.text);
    EXPECT_EQ(ValueOfServerText(c.text, c.column).Describe(), c.value.Describe());
  }
  // The server's own spellings: upper-case hex digits, a whole number of a
  // double column, infinity.
  EXPECT_EQ(ValueOfServerText("\\xFF00", JetType::kLongBinary).Describe(),
            Variant(qv::ByteArray{0, {0xFF, 0x00}}).Describe());
  EXPECT_EQ(ValueOfServerText("3", JetType::kDouble).Describe(), Variant(3.0).Describe());
  EXPECT_EQ(qv::CDbl(ValueOfServerText("-Infinity", JetType::kDouble)),
            -std::numeric_limits<double>::infinity());
  // A megabyte of every byte value, there and back.
  qv::ByteArray big;
  for (int i = 0; i < (1 << 20); ++i) big.bytes.push_back(static_cast<uint8_t>(i * 7 + i / 256));
  const ServerText bigText = ServerValueText(Variant(big));
  ASSERT_TRUE(bigText);
  EXPECT_EQ(bigText->size(), 2 + 2 * big.bytes.size());
  EXPECT_EQ(ValueOfServerText(bigText, JetType::kLongBinary).AsBytes().bytes, big.bytes);
  // What cannot be a value of the column: 3421.
  for (const char* bad : {"00ff", "\\x0", "\\xzz", "\\x0g"}) {
    SCOPED_TRACE(bad);
    ExpectError(3421, "", [&] { ValueOfServerText(std::string(bad), JetType::kLongBinary); });
  }
  for (const char* bad : {"", "1x", "abc"}) {
    SCOPED_TRACE(bad);
    ExpectError(3421, "", [&] { ValueOfServerText(std::string(bad), JetType::kLong); });
  }
  ExpectError(3421, "", [] { ServerValueText(Variant(qv::VariantArray{})); });
}

}  // namespace
}  // namespace qvdb
