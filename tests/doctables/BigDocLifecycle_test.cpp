// A big document's life: made, filled, walked, copied, emptied and removed;
// its tables on one thread and on two; shard files that are not what they
// should be.

#include <future>
#include <string>
#include <thread>

#include "doctables/BigDocFixture.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/ServerLocation.h"

namespace qv::doctables::testing {
namespace {

class BigDocLifecycle : public BigDocTest {
 protected:
  // The shards' file names ("20_0.mdb"): on a server folder those whose
  // schemas exist, probed up to the tenth.
  static std::vector<std::string> ShardsOf(double doc) {
    std::vector<std::string> names;
    if (miDataBase::IsServerDataFolder()) {
      for (int32_t shard = 0; shard < 10; ++shard)
        if (jet::ServerSchemaExists(miBigDocument::GetBigDocFileName(doc, shard)))
          names.push_back(
              fs::path(miBigDocument::BigDocRelativeFileName(doc, shard)).filename().string());
      return names;
    }
    const fs::path folder = miBigDocument::GetBigDocFolder(doc);
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string Value(int sub, int key) {
    return std::to_string(sub) + "." + std::to_string(key);
  }
};

TEST_F(BigDocLifecycle, AHundredThousandCellsFromCreationToDeletion) {
  constexpr int kSubDocs = 1000, kKeys = 100;
  miBigDocument::CreateBigDocDataBase(20, 0);
  EXPECT_EQ(ShardsOf(20), std::vector<std::string>{"20_0.mdb"});
  auto t = CreateObject("Qv_DBProvider.DBBigDocs")
               ->CallV("GetBigDocTable", 20.0)
               .ObjectAs<DBBigDocTable>();
  ASSERT_TRUE(t);
  const double volume = t->FindOrCreateVolume(1, 1);
  {
    // The library workspace's transaction spans the shards its tables opened.
    dao::Transaction tx(*miDataBase::GetWorkspace());
    for (int s = 1; s <= kSubDocs; ++s) {
      const double sub = t->CreateSubDoc(1, 0, volume, kSubDocs - s);  // walked backwards
      for (int k = 0; k < kKeys; ++k) t->SetString(sub, k, Variant(Value(s, k)), k % 3, 0);
    }
    tx.Commit();
  }
  // Static keys share rows two by two; line 2 is a tabular row of its own.
  EXPECT_EQ(Rows(ShardFile(20, 0), "select count(*) from StatCells"), "50000");
  EXPECT_EQ(Rows(ShardFile(20, 0), "select count(*) from DynCells"), "33000");

  auto it = t->GetVolumeSubDocsList(volume);
  EXPECT_EQ(it->Count(), kSubDocs);
  int read = 0, expected = kSubDocs, wrong = 0;
  for (; !it->IsEOF(); it->MoveNext(), --expected) {
    const double sub = it->GetDouble("ID", 0);
    for (int k = 0; k < kKeys; ++k, ++read)
      wrong += t->GetString(sub, k, k % 3, 0, "") != Value(expected, k);
  }
  EXPECT_EQ(read, kSubDocs * kKeys);
  EXPECT_EQ(wrong, 0);

  auto copy = Open(21);
  bool exceeded = false;
  copy->AppendVolumeFromDoc(t, volume, copy->FindOrCreateVolume(1, 1), -1, exceeded);
  EXPECT_EQ(Rows(ShardFile(21, 0), "select count(*) from StatCells"), "50000");
  EXPECT_EQ(copy->GetString(kSubDocs, 99, 0, 0, ""), Value(1, 99));

  miBigDocument::ZeroBigDocCells(20);
  EXPECT_FALSE(t->IsOpen());
  ExpectError(91, "", [&] { t->GetString(1, 1, 0, 0, ""); });
  EXPECT_EQ(Rows(ShardFile(20, 0), "select count(*) from SubDocs"), "0");
  EXPECT_FALSE(Open(20)->IsDocumentContainAnySubDoc());

  miBigDocument::DeleteBigDocDataBase(21);
  EXPECT_FALSE(copy->IsOpen());
  miBigDocument::DeleteBigDocDataBase(20);
  EXPECT_EQ(ShardsOf(20), std::vector<std::string>{});
  EXPECT_EQ(ShardsOf(21), std::vector<std::string>{});
}

// Only a document's creation makes shard 0 and only a write a later
// shard: reads make nothing, a lost shard 0 is named rather than replaced
// by an empty one, and creating over a document removes nothing.
TEST_F(BigDocLifecycle, ReadsMakeNoFilesAndALostShardIsNamed) {
  ExpectError(3024, ShardFile(999999, 0).string(), [] { DBBigDocs().GetBigDocTable(999999); });
  miBigDocument::ZeroBigDocCells(999999);  // nothing to empty
  EXPECT_FALSE(fs::exists(miBigDocument::GetBigDocFolder(999999)));

  miBigDocument::CreateBigDocDataBase(70, 10);
  auto t = DBBigDocs().GetBigDocTable(70);
  EXPECT_EQ(t->GetString(25, 1, 0, 0, "none"), "none");
  EXPECT_EQ(t->GetWideString(35, 1, 0, 0), "");
  EXPECT_FALSE(fs::exists(ShardFile(70, 2)));
  EXPECT_FALSE(fs::exists(ShardFile(70, 3)));
  t->SetString(25, 1, Variant("kept"), 0, 0);
  EXPECT_TRUE(fs::exists(ShardFile(70, 2)));

  ExpectError(3204, ShardFile(70, 0).string(), [] { miBigDocument::CreateBigDocDataBase(70, 0); });
  EXPECT_EQ(t->GetString(25, 1, 0, 0, ""), "kept");

  t->CloseDoc();
  fs::remove(ShardFile(70, 0));
  ExpectError(3024, ShardFile(70, 0).string(), [] { DBBigDocs().GetBigDocTable(70); });
  EXPECT_FALSE(fs::exists(ShardFile(70, 0)));
}

// One transaction of the library's workspace covers the user database and
// every shard open in it, a shard made inside it included: a rollback
// undoes all of them, a commit keeps all of them.
TEST_F(BigDocLifecycle, AWorkspaceTransactionSpansTheUserDatabaseAndTheShards) {
  miBigDocument::CreateBigDocDataBase(80, 10);
  auto t = DBBigDocs().GetBigDocTable(80);
  auto ws = miDataBase::GetWorkspace();
  auto user = miDataBase::GetUserDataBase();
  for (const bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    const std::string value = commit ? "kept" : "undone";
    ws->BeginTrans();
    user->ExecuteSql("insert into Post (ID, ShortName) values (" + std::to_string(commit + 1) +
                     ", '" + value + "')");
    t->SetString(1, 1, Variant(value), 0, 0);   // shard 0
    t->SetString(25, 1, Variant(value), 0, 0);  // shard 2, made inside the transaction
    if (commit)
      ws->CommitTrans(Variant(int32_t{0}));
    else
      ws->Rollback();
  }
  const std::string expected = "kept";
  EXPECT_EQ(Rows(miDataBase::GetUserDBFileName(), "select ShortName from Post order by ID"),
            expected);
  EXPECT_EQ(Rows(ShardFile(80, 0), "select count(*) from StatCells"), "1");
  EXPECT_EQ(t->GetString(1, 1, 0, 0, ""), expected);
  EXPECT_EQ(t->GetString(25, 1, 0, 0, ""), expected);
  EXPECT_EQ(Rows(ShardFile(80, 2), "select count(*) from StatCells"), "1");
}

TEST_F(BigDocLifecycle, OneThreadSharesATableAndReopensItAfterCloseDatabase) {
  auto t = Open(30);
  EXPECT_EQ(Open(30), t);
  t->SetString(1, 1, Variant("kept"), 0, 0);
  CreateObject("Qv_DBProvider.DBCommon")->CallV("CloseDatabase");
  EXPECT_EQ(Open(30), t);
  EXPECT_EQ(t->GetString(1, 1, 0, 0, ""), "kept");
  t.reset();
  CreateObject("Qv_DBProvider.DBCommon")->CallV("CloseDatabase");
  auto again = Open(30);
  EXPECT_EQ(again->GetString(1, 1, 0, 0, ""), "kept");
}

TEST_F(BigDocLifecycle, TwoThreadsHaveTablesOfTheirOwn) {
  auto mine = Open(40);
  mine->SetString(1, 1, Variant("main"), 0, 0);
  std::promise<std::string> opened;
  std::promise<void> release;
  std::string seen, wrongThread;
  std::thread other([&] {
    try {
      auto theirs = Open(40);
      seen = theirs->GetString(1, 1, 0, 0, "") + (theirs == mine ? " shared" : " own");
      theirs->SetString(1, 2, Variant("other"), 0, 0);
      wrongThread = RaisedError([&] { mine->GetString(1, 1, 0, 0, ""); }).Description();
      opened.set_value(theirs->DocID() == 40 ? "open" : "closed");
      release.get_future().wait();
    } catch (const Error& e) {
      opened.set_value(e.Description());
    }
  });
  EXPECT_EQ(opened.get_future().get(), "open");
  // The other thread's connection keeps the files; this thread's table is
  // closed all the same.
  ExpectError(3045, ShardFile(40, 0).string(), [&] { miBigDocument::DeleteBigDocDataBase(40); });
  EXPECT_TRUE(fs::exists(ShardFile(40, 0)));
  EXPECT_FALSE(mine->IsOpen());
  release.set_value();
  other.join();
  EXPECT_EQ(seen, "main own");
  EXPECT_NE(wrongThread.find("different thread"), std::string::npos) << wrongThread;
  EXPECT_EQ(Open(40)->GetString(1, 2, 0, 0, ""), "other");
  miBigDocument::DeleteBigDocDataBase(40);
  EXPECT_FALSE(fs::exists(ShardFile(40, 0)));
}

TEST_F(BigDocLifecycle, ShardsThatAreNoDatabasesAreNamedAndLeftAlone) {
  // The shard files written below would be folders named after the server's
  // location on a server folder, whose shards are schemas.
  if (OnServer()) GTEST_SKIP() << "writes shard files on disk";
  miBigDocument::CreateBigDocDataBase(50, 0);
  const std::string valid = testsupport::ReadFileText(ShardFile(50, 0));
  const struct {
    const char* what;
    std::string content;
    int32_t shard;
  } cases[] = {
      {"text", "these are not the cells you are looking for", 0},
      {"truncated", valid.substr(0, 1500), 0},
      {"the header alone", valid.substr(0, 100), 0},
      {"a second shard of text", "garbage", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    miBigDocument::DeleteBigDocDataBase(51);
    fs::create_directories(miBigDocument::GetBigDocFolder(51));
    if (c.shard > 0) miBigDocument::CreateBigDocDataBase(51, 10);
    const fs::path file = ShardFile(51, c.shard);
    std::ofstream(file, std::ios::binary) << c.content;
    ExpectError(kAnyError, "FileName: " + file.string(), [&] {
      auto t = Open(51);
      t->SetString(10 * c.shard + 1, 1, Variant("x"), 0, 0);
    });
    EXPECT_EQ(testsupport::ReadFileText(file), c.content);
  }
}

// A shard's build removes what a build of it or of another shard of the
// document cut off left (a temporary schema whose builder's session is
// gone), never a build under way.
TEST_F(BigDocLifecycle, AShardBuildRemovesTheSchemaOfACutOffBuildOnly) {
  if (!OnServer()) GTEST_SKIP() << "a file folder's shards are files";
  // Whether the other build is under way, and the shard it builds.
  for (const auto& [running, of] : {std::pair{false, 0}, {true, 0}, {false, 1}, {true, 1}}) {
    SCOPED_TRACE(std::string(running ? "under way" : "cut off") + " of shard " +
                 std::to_string(of));
    const double doc = 91 + 2 * of + running;
    const std::string shard = miBigDocument::GetBigDocFileName(doc, 0);
    const std::string built = miBigDocument::GetBigDocFileName(doc, of);
    std::string temp =
        jet::ServerLocationInSchema(built, jet::ServerFolderSchema(built) + "_n4242_7");
    std::unique_ptr<jet::ServerSchemaBuild> other;
    if (running) {
      other = std::make_unique<jet::ServerSchemaBuild>(built);
      temp = other->Location();
    } else {
      jet::CreateServerSchema(temp);
    }
    miBigDocument::CreateBigDocDataBase(doc, 0);
    EXPECT_TRUE(jet::ServerSchemaExists(shard));
    EXPECT_EQ(jet::ServerSchemaExists(temp), running);
    // So does the document's removal, shard 1's of the newer name too.
    const std::string temp1 = jet::ServerLocationInSchema(
        shard, jet::ServerFolderSchema(miBigDocument::GetBigDocFileName(doc, 1)) + "_n4243");
    jet::CreateServerSchema(temp1);
    if (!running) jet::CreateServerSchema(temp);
    miBigDocument::DeleteBigDocDataBase(doc);
    EXPECT_FALSE(jet::ServerSchemaExists(shard));
    EXPECT_EQ(jet::ServerSchemaExists(temp), running);
    EXPECT_FALSE(jet::ServerSchemaExists(temp1));
  }
}

}  // namespace
}  // namespace qv::doctables::testing
