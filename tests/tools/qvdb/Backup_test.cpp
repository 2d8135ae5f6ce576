#include "Backup.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "QvdbTestSupport.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/automation/Error.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetConnection.h"

namespace qvdb {
namespace {

// The folder stays in use while it is copied: a committed row still in the
// log and a transaction not committed yet, in the user database and in a
// big-document shard. Each copy holds what was committed, and nothing else.
TEST(Backup, CopiesWhatIsCommittedWhileTheFolderIsInUse) {
  TempFolder tmp;
  const fs::path folder = test::CopyOfPristine(tmp);
  fs::create_directories(folder / "BigDocs");
  auto ws = qv::dao::DBEngine::ForThread()->CreateWorkspace("writer", "admin", "",
                                                            qv::Variant(qv::dao::dbUseJet));
  auto user = ws->Open((folder / "Quivane.mdb").string(), {});
  auto shard = ws->Create((folder / "BigDocs" / "7_0.mdb").string(), qv::jet::kLocaleRussian);
  qv::schema::CreateBigDocTables(*shard, true);
  user->ExecuteSql("insert into Post (ID, ShortName) values (1, 'Директор')");
  shard->ExecuteSql("insert into Volumes (ID) values (4)");
  ws->BeginTrans();
  user->ExecuteSql("insert into Post (ID, ShortName) values (2, 'Бухгалтер')");
  shard->ExecuteSql("insert into Volumes (ID) values (5)");

  std::ostringstream out;
  EXPECT_EQ(BackupDataFolder(folder, tmp / "copy", out).files, 4);
  EXPECT_EQ(out.str(),
            "  Quivane.mdb\n  Kladr.mdb\n  Okato.mdb\n  BigDocs/7_0.mdb\n  Qv_DBOptions.xml\n");
  ws->Rollback();
  ws->Close();
  EXPECT_EQ(test::Rows(tmp / "copy" / "Quivane.mdb", "select ID from Post order by ID"), "1\n");
  EXPECT_EQ(test::Rows(tmp / "copy" / "BigDocs" / "7_0.mdb", "select ID from Volumes order by ID"),
            "4\n");
  EXPECT_EQ(test::Rows(tmp / "copy" / "Kladr.mdb", "select count(*) from KladrObjects"),
            test::Rows(folder / "Kladr.mdb", "select count(*) from KladrObjects"));
}

TEST(Backup, RefusesWhatItCannotCopy) {
  TempFolder tmp;
  const fs::path folder = test::CopyOfPristine(tmp);
  fs::create_directories(tmp / "full");
  std::ofstream(tmp / "full" / "note.txt") << "keep";
  fs::create_directories(tmp / "empty");
  std::ostringstream out;
  EXPECT_EQ(BackupDataFolder(folder, tmp / "empty", out).files, 3);
  ExpectError(3204, "", [&] { BackupDataFolder(folder, tmp / "full", out); });
  EXPECT_TRUE(fs::exists(tmp / "full" / "note.txt"));
  fs::create_directories(tmp / "nodb");
  ExpectError(3024, "", [&] { BackupDataFolder(tmp / "nodb", tmp / "copy", out); });
  ExpectError(3044, "", [&] { BackupDataFolder(tmp / "none", tmp / "copy", out); });
  EXPECT_FALSE(fs::exists(tmp / "copy"));
  // A damaged file stops the copy and leaves no partial folder behind.
  fs::remove(folder / "Okato.mdb");
  std::ofstream(folder / "Okato.mdb") << std::string(8192, 'x');
  ExpectError(3343, "", [&] { BackupDataFolder(folder, tmp / "copy", out); });
  EXPECT_FALSE(fs::exists(tmp / "copy"));
}

// A file whose pages are damaged but that still opens: the backup refuses
// it (and leaves nothing), or copies it with --keep-damaged and lists it.
TEST(Backup, ChecksEachCopy) {
  TempFolder tmp;
  const fs::path folder = test::CopyOfPristine(tmp);
  fs::create_directories(folder / "BigDocs");
  const fs::path shard = folder / "BigDocs" / "9_0.mdb";
  {
    auto conn = qv::jet::Connection::Create(shard.string());
    conn->Execute("create table Filler (ID long, Txt memo)");
    conn->Execute("create index ByTxt on Filler (ID)");
    conn->BeginTrans();
    for (int i = 0; i < 2000; ++i)
      conn->Execute("insert into Filler (ID, Txt) values (" + std::to_string(i) +
                    ", String(300, 'x'))");
    conn->CommitTrans();
  }
  EXPECT_TRUE(QuickCheck(shard).empty());
  // Scribbles over the middle of the last pages, which hold the rows.
  const auto size = fs::file_size(shard);
  {
    std::fstream f(shard, std::ios::in | std::ios::out | std::ios::binary);
    for (uintmax_t at = size - 3 * 4096 + 100; at < size; at += 4096) {
      f.seekp(static_cast<std::streamoff>(at));
      f << std::string(64, '\xff');
    }
  }
  ASSERT_FALSE(QuickCheck(shard).empty());
  std::ostringstream out;
  ExpectError(3049, "9_0.mdb is damaged", [&] { BackupDataFolder(folder, tmp / "copy", out); });
  EXPECT_FALSE(fs::exists(tmp / "copy"));
  out.str("");
  const BackupResult kept = BackupDataFolder(folder, tmp / "copy", out, true);
  EXPECT_EQ(kept.files, 4);
  ASSERT_EQ(kept.damaged.size(), 1u);
  EXPECT_TRUE(kept.damaged[0].starts_with("BigDocs/9_0.mdb: ")) << kept.damaged[0];
  EXPECT_THAT(out.str(), HasSubstr("  BigDocs/9_0.mdb  DAMAGED: "));
  EXPECT_TRUE(fs::exists(tmp / "copy" / "BigDocs" / "9_0.mdb"));
}

}  // namespace
}  // namespace qvdb
