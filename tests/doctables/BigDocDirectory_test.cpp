// The directory of a big document: volumes, their ordered sub-documents, the
// walk over them, removals with the cells, and copies between documents.

#include <string>

#include "doctables/BigDocFixture.h"
#include "doctables/TBigTableIterator.h"

namespace qv::doctables::testing {
namespace {

class BigDocDirectory : public BigDocTest {
 protected:
  // "ID:OrderNum" of the walk over a volume.
  static std::string Walk(DBBigDocTable& t, double volume) {
    auto it = t.GetVolumeSubDocsList(volume);
    std::string text;
    for (; !it->IsEOF(); it->MoveNext())
      text += (text.empty() ? "" : " ") + it->GetString("ID", "") + ":" +
              std::to_string(it->GetLong("OrderNum", -1));
    return text + " (" + std::to_string(it->Count()) + ")";
  }
};

TEST_F(BigDocDirectory, VolumesHoldTheirSubDocumentsInOrder) {
  auto t = Open(5);
  EXPECT_EQ(t->FindVolume(1, 1), 0);
  const double a = t->FindOrCreateVolume(1, 1), b = t->FindOrCreateVolume(2, 7);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(t->FindOrCreateVolume(1, 1), a);
  EXPECT_EQ(t->FindVolume(2, 7), b);
  EXPECT_FALSE(t->IsDocumentContainAnySubDoc());
  EXPECT_EQ(t->GetLastOrderNumInVolume(a), 0);

  EXPECT_EQ(t->CreateSubDoc(3, 100, a, 20), 1);
  EXPECT_EQ(t->CreateSubDoc(3, 101, b, 1), 2);
  EXPECT_EQ(t->CreateSubDoc(4, 102, a, 10), 3);
  EXPECT_TRUE(t->IsDocumentContainAnySubDoc());
  EXPECT_FALSE(t->IsVolumeContainAnySubDoc(99));
  EXPECT_EQ(Walk(*t, a), "3:10 1:20 (2)");
  EXPECT_EQ(Walk(*t, b), "2:1 (1)");
  EXPECT_EQ(Walk(*t, 99), " (0)");
  EXPECT_EQ(t->GetSubDocsCountInVolume(a), 2);
  EXPECT_EQ(t->GetLastOrderNumInVolume(a), 20);
  EXPECT_EQ(t->GetLastOrderNumInVolume(b), 1);

  auto it = t->GetOrderedVolumeSubDocsList(a);
  EXPECT_EQ(it->GetField("PfrPersonID"), Variant(102.0));
  EXPECT_EQ(it->GetDouble("VolumeID", 0), a);
  for (; !it->IsEOF(); it->MoveNext()) {
  }
  EXPECT_EQ(it->GetField("ID"), Variant());
  EXPECT_EQ(it->GetLong("ID", -5), -5);
  EXPECT_EQ(it->GetDate("OrderNum"), Variant());

  // Every reader refuses a name SubDocs does not have (3265), on a row and
  // at the end, defaults or not.
  for (bool atEnd : {false, true}) {
    SCOPED_TRACE(atEnd ? "at the end" : "on a row");
    auto w = t->GetOrderedVolumeSubDocsList(a);
    while (atEnd && !w->IsEOF()) w->MoveNext();
    testsupport::ExpectErrors({
        {"GetField", [&] { w->GetField("Nosuch"); }, 3265},
        {"GetString", [&] { w->GetString("Nosuch", "x"); }, 3265},
        {"GetLong", [&] { w->GetLong("Nosuch", 1); }, 3265},
        {"GetDouble", [&] { w->GetDouble("Nosuch", 1); }, 3265},
        {"GetDate", [&] { w->GetDate("Nosuch"); }, 3265},
    });
  }
}

TEST_F(BigDocDirectory, RemovalsTakeTheCellsInEveryShard) {
  auto t = Open(6);
  const double v1 = t->FindOrCreateVolume(1, 1), v2 = t->FindOrCreateVolume(1, 2);
  for (int i = 0; i < 3; ++i) t->CreateSubDoc(1, 0, v1, i + 1);  // 1 2 3
  for (int i = 0; i < 2; ++i) t->CreateSubDoc(1, 0, v2, i + 1);  // 4 5
  // Cells of sub-documents 1..5, and of 250001 in shard 1 (as if its
  // directory row were 1).
  for (double s : {1.0, 2.0, 3.0, 4.0, 5.0}) {
    t->SetString(s, 1, Variant("s"), 0, 0);
    t->SetString(s, 1, Variant("d"), 3, 0);
    t->SetWideString(s, 2, Variant(std::string(300, 'w')), 0, 0);
  }
  t->SetString(250001, 1, Variant("far"), 0, 0);
  auto count = [&](int shard) {
    return Rows(ShardFile(6, shard),
                "select (select count(*) from StatCells) & '/' & (select count(*) from DynCells) "
                "& '/' & (select count(*) from WideCells) from StorageInfo");
  };
  EXPECT_EQ(count(0), "5/5/5");

  t->RemoveSubDoc(2);
  EXPECT_EQ(count(0), "4/4/4");
  EXPECT_EQ(Walk(*t, v1), "1:1 3:3 (2)");
  t->RemoveSubDoc(250001);  // no directory row: its cells go all the same
  EXPECT_EQ(Rows(ShardFile(6, 1), "select count(*) from StatCells"), "0");
  t->RemoveSubDoc(500001);  // its shard does not exist and is not made
  EXPECT_FALSE(fs::exists(ShardFile(6, 2)));

  t->ClearVolume(v2);
  EXPECT_EQ(count(0), "2/2/2");
  EXPECT_EQ(Walk(*t, v2), " (0)");
  EXPECT_EQ(t->FindVolume(1, 2), v2);
  t->ClearDocument();
  EXPECT_EQ(count(0), "0/0/0");
  EXPECT_FALSE(t->IsDocumentContainAnySubDoc());
  EXPECT_EQ(t->FindVolume(1, 1), v1);
}

TEST_F(BigDocDirectory, AppendingAVolumeCopiesSubDocumentsWithTheirCells) {
  auto src = Open(7);
  auto dst = Open(8);
  const double from = src->FindOrCreateVolume(1, 1);
  for (int i = 0; i < 4; ++i) {
    const double s = src->CreateSubDoc(10 + i, 500 + i, from, 40 - i);
    src->SetString(s, 1, Variant("s" + std::to_string(i)), 0, 0);
    src->SetString(s, 1, Variant("d" + std::to_string(i)), 2, 2);
    src->SetWideString(s, 3, Variant(std::string(260 + i, 'w')), 0, 0);
  }
  const double into = dst->FindOrCreateVolume(5, 5);
  bool exceeded = false;
  dst->AppendVolumeFromDoc(src, from, into, 3, exceeded);
  EXPECT_TRUE(exceeded);
  // Source order (OrderNum 37, 38, 39: sub-documents 4, 3, 2) numbered anew.
  EXPECT_EQ(Rows(ShardFile(8, 0),
                 "select ID, SubDocType, PfrPersonID, VolumeID, OrderNum from SubDocs order by ID"),
            "1|13|503|1|1; 2|12|502|1|2; 3|11|501|1|3");
  EXPECT_EQ(Cells(ShardFile(8, 0)),
            "stat 1|0||s3; 2|0||s2; 3|0||s1 / dyn 1|1|2|2|d3; 2|1|2|2|d2; 3|1|2|2|d1 / wide "
            "1|3|0|0|#263; 2|3|0|0|#262; 3|3|0|0|#261");
  dst->AppendVolumeFromDoc(src, from, into, 4, exceeded);
  EXPECT_TRUE(exceeded);
  EXPECT_EQ(dst->GetSubDocsCountInVolume(into), 4);
  dst->AppendVolumeFromDoc(src, from, into, -1, exceeded);
  EXPECT_FALSE(exceeded);
  EXPECT_EQ(dst->GetSubDocsCountInVolume(into), 8);

  // A volume appended to itself doubles once.
  src->AppendVolumeFromDoc(src, from, from, -1, exceeded);
  EXPECT_EQ(src->GetSubDocsCountInVolume(from), 8);
  EXPECT_EQ(src->GetString(8, 1, 0, 0, ""), "s0");
}

// A walk holds one read snapshot of shard 0 while it steps. Whatever ends
// that snapshot mid-walk (the engine's dbFreeLocks, a write through the
// table after another connection's commit) must neither fail nor make the
// walk repeat or skip a sub-document (here among equal order numbers), and
// after it, and after the walk's end, the table reads the other
// connection's commit.
TEST_F(BigDocDirectory, AWalkEndsItsSnapshotWithoutLosingItsPlace) {
  enum class Cut { kNone, kFreeLocks, kWrite, kAbandon };
  double doc = 20;
  // A server's walk in selects of 3 rows too: the first ends inside the ties,
  // after the other session's write, which the next must not see.
  const int32_t batch = serverWalkBatch;
  for (const int32_t rows : {batch, 3})
    for (const Cut cut : {Cut::kNone, Cut::kFreeLocks, Cut::kWrite, Cut::kAbandon}) {
      SCOPED_TRACE(std::to_string(rows) + " " + std::to_string(static_cast<int>(cut)));
      serverWalkBatch = rows;
      auto t = Open(++doc);
      const double v = t->FindOrCreateVolume(1, 1);
      for (const int32_t order : {1, 2, 2, 2, 3})
        t->SetString(t->CreateSubDoc(1, 0, v, order), 0, Variant("a"), 0, 0);
      auto ws = dao::DBEngine::ForThread()->CreateWorkspace("other", "admin", "", Variant(2));
      auto other = ws->Open(ShardFile(doc, 0).string(), {});
      std::string walked;
      auto it = t->GetVolumeSubDocsList(v);
      // Bounded: a walk that starts over would never end.
      for (int n = 0; !it->IsEOF() && n < 10; it->MoveNext(), ++n) {
        const double id = it->GetDouble("ID", 0);
        walked += it->GetString("ID", "") + "=" + t->GetString(id, 0, 0, 0, "") + " ";
        if (id != 3) continue;
        other->ExecuteSql("update StatCells set Value0 = 'b' where SubDocID = 4");
        if (cut == Cut::kFreeLocks) dao::DBEngine::ForThread()->Idle(Variant(dao::dbFreeLocks));
        if (cut == Cut::kWrite) t->SetString(1, 1, Variant("w"), 0, 0);
        if (cut == Cut::kAbandon) break;
      }
      // Without a cut the walk keeps its snapshot to the end; a walk let go
      // before its end lets its snapshot go with it.
      it.reset();
      EXPECT_EQ(walked, cut == Cut::kNone      ? "1=a 2=a 3=a 4=a 5=a "
                        : cut == Cut::kAbandon ? "1=a 2=a 3=a "
                                               : "1=a 2=a 3=a 4=b 5=a ");
      EXPECT_EQ(t->GetString(4, 0, 0, 0, ""), "b");
      other->Close();
    }
  serverWalkBatch = batch;
}

}  // namespace
}  // namespace qv::doctables::testing
