#include "FolderCopy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
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
    EXPECT_NE(snapshot.find("-c default_transaction_isolation=serializable"), std::string::npos);
    EXPECT_NE(snapshot.find("-c default_transaction_read_only=on"), std::string::npos);
    EXPECT_NE(snapshot.find("dbname='office'"), std::string::npos);
  }
}

}  // namespace
}  // namespace qvdb
