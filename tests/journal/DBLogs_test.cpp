#include "journal/DBLogs.h"
#include "journal/SkippedLogWrites.h"

#include "JournalFixture.h"
#include "core/miDataBase.h"
#include "platform/automation/Collection.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Workspace.h"

namespace qv::journal::testing {
namespace {

class DBLogsTest : public JournalTest {
 protected:
  void SetUp() override {
    JournalTest::SetUp();
    Sql("insert into PermUsers (ID, RecType, Login) values (3, 1, 'ivanov')");
  }
  // A new event of user 3 with detail lines whose InfoOrder is given.
  static QvRecordPtr Event(const std::string& name, std::initializer_list<int32_t> orders) {
    QvRecordPtr e = New("QvLogEvent");
    e->Let("UserID", Variant(3.0));
    e->Let("EventName", Variant(name));
    e->Let("ObjectID2", Variant(9.0));
    e->Let("Data1", Variant("d1"));
    int32_t n = 0;
    for (int32_t order : orders) {
      QvRecordPtr line = New("QvLogEventLine");
      line->Let("InfoOrder", Variant(order));
      line->Let("InfoData1", Variant("line " + std::to_string(++n)));
      List(e, "Lines")->Add(Obj(line));
    }
    return e;
  }
  // An entry written as rows, at `time`, with one detail line.
  void AddEntry(int n, double time) {
    const std::string guid =
        "{guid {00000000-0000-0000-0000-00000000000" + std::to_string(n) + "}}";
    Sql("insert into VarData (ID, EventTime, EventName) values (" + guid + ", " +
        std::to_string(time) + ", 'e" + std::to_string(n) + "')");
    Sql("insert into VarData2 (ID, VarDataID, InfoOrder) values "
        "({guid {10000000-0000-0000-0000-00000000000" +
        std::to_string(n) + "}}, " + guid + ", 1)");
  }
  DBLogs logs_;
};

// The VarData row LogEvent writes: the user's login, identifiers 0 as Null,
// at most four objects, texts cut to 255 characters and kept as given.
TEST_F(DBLogsTest, LogEventWritesOneRowAsGiven) {
  Variant ids(VariantArray::Of(
      {Variant(0.0), Variant(7.0), Variant(int32_t{8}), Variant("9"), Variant(10.0)}, 1));
  Variant names(VariantArray::Of({Variant("a"), Variant("b \"q\"; c")}));
  logs_.LogEvent(3, std::string(300, 'h'), 12, "saved; \"x\" ' --", ids, names);
  EXPECT_EQ(Rows("select UserID, UserName, Len(HostInfo), EventType, EventName, ObjectID1, "
                 "ObjectName1, ObjectID2, ObjectName2, ObjectID3, ObjectName3, ObjectID4, "
                 "ObjectName4, Data1 from VarData"),
            "3|ivanov|255|12|saved; \"x\" ' --|Null|a|7|b \"q\"; c|8||9||Null");
  Variant none;
  logs_.LogEvent(404, "", 1, "unknown user", none, none);
  EXPECT_EQ(Rows("select UserName, ObjectID1 from VarData where EventName = 'unknown user'"),
            "|Null");
}

TEST_F(DBLogsTest, AnEntryByRecordReadsBackWithItsLinesRenumbered) {
  QvRecordPtr e = Event("signed", {7, 7, 2});
  const std::string guid = logs_.LogEventByRecord(Obj(e));
  EXPECT_EQ(CStr(e->Get("ID")), guid);
  EXPECT_EQ(CStr(e->Get("UserName")), "ivanov");
  EXPECT_EQ(Rows("select InfoOrder, InfoData1 from VarData2 order by InfoOrder"),
            "1|line 1; 2|line 2; 3|line 3");

  const std::string lines = RsRows(logs_.GetEventSubItems(guid));
  EXPECT_EQ(lines, "0|1|line 1|;0|2|line 2|;0|3|line 3|;");
  EXPECT_EQ(RsRows(logs_.GetEventSubItems(" {" + guid + "} ")), lines);

  const Variant back = logs_.GetEventRecord("{" + guid + "}");
  ASSERT_TRUE(back.IsObject() && !back.IsNothing());
  const auto rec = back.ObjectAs<records::QvRecord>();
  EXPECT_EQ(CStr(rec->Get("ID")), "{" + qv::UCase(guid) + "}");
  EXPECT_EQ(CStr(rec->Get("EventName")) + "|" + CStr(rec->Get("UserName")) + "|" +
                CStr(rec->Get("ObjectID2")) + "|" + CStr(rec->Get("Data1")) + "|" +
                CStr(rec->Get("LinesCount")),
            "signed|ivanov|9|d1|3");
  EXPECT_EQ(CStr(Item(List(rec, "Lines"), 3)->Get("InfoData1")), "line 3");

  EXPECT_TRUE(logs_.GetEventRecord("{00000000-0000-0000-0000-000000000000}").IsNothing());
  for (const char* bad : {"", "{guid {x}}", "00000000-0000-0000-0000-000000000000} or 1=1 --"})
    ExpectError(5, "", [&] { logs_.GetEventRecord(bad); });
}

// Days as bounds: an end day is its midnight.
TEST_F(DBLogsTest, RangesReadAndPurgeAtTheBoundaries) {
  const double jan10 = 46032, jan11 = 46033;  // 10.01.2026, 11.01.2026
  const struct {
    Variant begin, end;
    const char* remaining;  // EventNames left after the purge
    int32_t removed;
  } cases[] = {
      {Variant(OleDate{jan10}), Variant(OleDate{jan11}), "e4", 3},
      {Variant(OleDate{jan11}), Variant(), "e1|e2", 2},
      {Variant(), Variant(OleDate{jan10}), "e2|e3|e4", 1},
      {Variant(OleDate{jan11 + 5}), Variant(OleDate{jan11 + 6}), "e1|e2|e3|e4", 0},
      {Variant(), Variant(), "", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.remaining);
    Sql("delete from VarData");
    Sql("delete from VarData2");
    AddEntry(3, jan11);
    AddEntry(1, jan10);
    AddEntry(4, jan11 + 1.375);
    AddEntry(2, jan10 + 0.625);
    EXPECT_EQ(RsRows(logs_.GetEventsIDs(Variant(), Variant(), true)).substr(0, 38),
              "{00000000-0000-0000-0000-000000000004}");
    EXPECT_EQ(logs_.RemoveEventsInRange(c.begin, c.end), c.removed);
    EXPECT_EQ(Column(logs_.GetEvents(Variant(), Variant()), "EventName"), c.remaining);
  }
}

// Outside development mode a failing insert is skipped and counted; in
// development mode it raises and the entry is not written at all. Both with
// the database lock on (its transaction) and off.
TEST_F(DBLogsTest, AFailingInsertIsSkippedAndCountedOrRaises) {
  LockingOffAndOn([&] {
    Sql("delete from VarData");
    Sql("delete from VarData2");
    Sql("delete from Counters");
    Refuse("fail_line", "BEFORE INSERT ON VarData2 WHEN NEW.InfoData1 = 'line 2'");
    SetDevelopmentMode(false);
    logs_.LogEventByRecord(Obj(Event("quiet", {1, 2, 3})));
    EXPECT_EQ(Rows("select count(*) from VarData") + " " +
                  Rows("select InfoData1 from VarData2 order by InfoOrder"),
              "1 line 1; line 3");
    EXPECT_EQ(DBLogs::SkippedWrites(db_), 1);

    SetDevelopmentMode(true);
    const std::string text = ExpectError(kAnyError, "", [&] {
                               logs_.LogEventByRecord(Obj(Event("strict", {1, 2})));
                             }).Description();
    EXPECT_NE(text.find("insert into VarData2"), std::string::npos) << text;
    EXPECT_EQ(Count("VarData where EventName = 'strict'"), 0);
    EXPECT_EQ(Count("VarData2"), 2);
    EXPECT_EQ(miDataBase::GetWorkspace()->TransactionDepth(), 0);
    Allow("fail_line");
  });
}

// When the database refuses the count as well (a read-only folder refuses
// every write), the count is kept in the user's state folder, where
// `qvdb check` finds it.
TEST_F(DBLogsTest, SkipsTheDatabaseCannotCountAreKeptOutsideIt) {
  testsupport::TempFolder state("qvstate");
  testsupport::ScopedEnv env{"XDG_STATE_HOME", state.Path().c_str()};
  SetDevelopmentMode(false);
  Sql("delete from Counters");
  Refuse("fail_entry", "BEFORE INSERT ON VarData");
  Refuse("fail_count_insert", "BEFORE INSERT ON Counters");
  Refuse("fail_count_update", "BEFORE UPDATE ON Counters");
  const std::string file = miDataBase::GetUserDBFileName();
  EXPECT_EQ(KeptSkippedWrites(file), 0);
  logs_.LogEventByRecord(Obj(Event("lost", {1})));
  logs_.LogEventByRecord(Obj(Event("lost too", {1})));
  EXPECT_EQ(DBLogs::SkippedWrites(db_), 0);
  EXPECT_EQ(KeptSkippedWrites(file), 2);
  EXPECT_EQ(SkippedWritesFile(file).rfind(state.Path().string(), 0), 0u);
}

TEST_F(DBLogsTest, LoggingIsEnabledByTheRightsSystemOnly) {
  logs_.SetIsLoggingEnabled(true);
  logs_.SetIsLoggingEnabled(true);
  EXPECT_EQ(Rows("select LActive from VarParams"), "1");
  EXPECT_FALSE(logs_.IsLoggingEnabled());
  Sql("insert into PermSystem (PermSystem) values (5)");
  logs_.SetIsLoggingEnabled(false);
  EXPECT_TRUE(logs_.IsLoggingEnabled());
}

// Entries per writing process. 4 x 2,500 ran 12 s (6 s of CPU) on the
// shared 2-core build machine; under the sanitizers the same count ran
// 104 s, so that build writes 250 per process.
#ifdef __SANITIZE_ADDRESS__
constexpr int kEntriesPerWriter = 250;
#else
constexpr int kEntriesPerWriter = 2500;
#endif

// Entries with their lines from several processes at once: none lost, none
// doubled, every entry's lines with it.
TEST_F(DBLogsTest, ConcurrentWritersKeepEveryEntryWhole) {
  constexpr int kProcesses = 4, kEntries = kEntriesPerWriter, kAll = kProcesses * kEntries;
  db_.reset();
  EnableLocking();
  std::vector<std::unique_ptr<coretest::Child>> children;
  for (int p = 0; p < kProcesses; ++p)
    children.push_back(std::make_unique<coretest::Child>([p] {
      DBLogs logs;
      for (int i = 0; i < kEntries; ++i)
        logs.LogEventByRecord(Obj(Event(std::to_string(p) + "/" + std::to_string(i), {0, 0, 0})));
      return std::string("ok");
    }));
  for (auto& child : children) EXPECT_EQ(child->Join(), "ok");
  db_ = miDataBase::GetUserDataBase();
  const std::string all = std::to_string(kAll);
  EXPECT_EQ(Rows("select count(*) from VarData") + " " +
                Rows("select count(*) from (select distinct EventName from VarData)"),
            all + " " + all);
  EXPECT_EQ(
      Rows("select count(*) from (select a.ID from VarData AS a inner join VarData2 AS b "
           "on b.VarDataID = a.ID group by a.ID having count(*) = 3 and sum(b.InfoOrder) = 6)"),
      all);
  EXPECT_EQ(Count("VarData2"), 3 * kAll);
  EXPECT_EQ(DBLogs::SkippedWrites(db_), 0);
}

}  // namespace
}  // namespace qv::journal::testing
