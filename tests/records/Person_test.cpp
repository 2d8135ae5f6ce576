// Persons: header and detail rows by type, lazy columns, the write
// conversions, the missing-detail repair, workers' flags, and what one
// transaction per save or delete guarantees.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/automation/VbaText.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/PgConnection.h"
#include "records/EntityFixture.h"
#include "records/EntityMappers.h"
#include "records/ReferenceMappers.h"

namespace qv::records::testing {
namespace {

using Person = EntityTest;

// Identifier sequences that differ per table, so that a detail row taking
// the header's sequence (or the reverse) shows.
void SeedSequences(Person& t) {
  t.Sql("insert into Person (ID, Type, PersonRealID) values (41, 1, 7)");
  t.Sql("insert into NaturalPerson (ID, Surname) values (7, 'seed')");
  t.Sql("insert into LegalPerson (ID, ShortName) values (12, 'seed')");
  t.Sql("insert into Address (ID, City) values (30, 'seed')");
}

TEST_F(Person, NaturalAndLegalPersonsRoundTrip) {
  SeedSequences(*this);
  Sql("insert into AccPerson (PersonID) values (42)");  // the person about to be made
  const struct {
    int32_t type;
    const char* detail;
    double realId;
    const char* nameProperty;
    const char* addressProperty;
    bool isBranch;
  } cases[] = {
      {1, "NaturalPerson", 8, "Surname", "HomeAddress", false},
      {2, "LegalPerson", 13, "ShortName", "RegAddress", false},
  };
  double nextPerson = 42;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.detail);
    auto p = New("QvPerson");
    p->Let("Type", Variant(c.type));
    p->Let("INN", Variant("7701234567"));
    p->Let(c.nameProperty, Variant("Name of " + std::string(c.detail)));
    p->Let("Archival", Variant(true));
    p->Let("EMail", Variant("a@b.ru"));
    Sub(p, c.addressProperty)->Let("City", Variant("Tver"));
    DBPerson().SaveRecord(Obj(p), true);

    EXPECT_EQ(p->Id(), nextPerson);
    EXPECT_EQ(CDbl(p->Get("PersonRealID")), c.realId);
    const std::string realId = CStr(Variant(c.realId));
    EXPECT_EQ(Rows("select PersonRealID, Type from Person where ID = " + CStr(Variant(p->Id()))),
              realId + "|" + std::to_string(c.type));
    // Archival 1, not -1; the address was saved first and its identifier written.
    const double address = Sub(p, c.addressProperty)->Id();
    EXPECT_GT(address, 30);
    EXPECT_EQ(Rows(std::string("select Archival, EMail, ") + c.addressProperty + "ID from " +
                   c.detail + " where ID = " + realId),
              "1|a@b.ru|" + CStr(Variant(address)));

    auto r = ReadWith(DBPerson(), "QvPerson", p->Id());
    EXPECT_EQ(r->State(), kLoaded);
    EXPECT_EQ(CStr(r->Get(c.nameProperty)), "Name of " + std::string(c.detail));
    EXPECT_TRUE(CBool(r->Get("Archival")));
    DBPerson().ReadLazyFields(Obj(r));
    EXPECT_EQ(CStr(r->Get("EMail")), "a@b.ru");
    EXPECT_EQ(Sub(r, c.addressProperty)->Id(), address);
    EXPECT_EQ(CBool(r->Get("IsAccPerson")), p->Id() == 42);
    EXPECT_EQ(CBool(r->Get("IsBranch")), c.isBranch);
    ++nextPerson;
  }
}

// The branch and accounted-person marks read with the lazy part, for
// persons with none, one or two rows of each relation; only an organisation
// is a branch, and another person's rows mark nobody else.
TEST_F(Person, LazyReadMarksBranchesAndAccountedPersons) {
  const struct {
    double id;
    int32_t type;
    int branchRows;
    bool accounted;
    bool isBranch;
  } cases[] = {
      {51, 2, 0, false, false}, {52, 2, 1, false, true}, {53, 2, 0, true, false},
      {54, 2, 1, true, true},   {55, 2, 2, true, true},  {56, 1, 1, true, false},
  };
  Sql("insert into Branches (ID, ParentPersonID, ChildPersonID) values (90, 51, 50)");
  Sql("insert into AccPerson (PersonID) values (50)");
  int branchRow = 1;
  for (const auto& c : cases) {
    const std::string id = CStr(Variant(c.id));
    Sql("insert into Person (ID, Type, PersonRealID) values (" + id + ", " +
        std::to_string(c.type) + ", " + id + ")");
    Sql(std::string("insert into ") + (c.type == 2 ? "LegalPerson" : "NaturalPerson") +
        " (ID) values (" + id + ")");
    for (int i = 0; i < c.branchRows; ++i)
      Sql("insert into Branches (ID, ParentPersonID, ChildPersonID) values (" +
          std::to_string(branchRow++) + ", 4, " + id + ")");
    if (c.accounted) Sql("insert into AccPerson (PersonID) values (" + id + ")");
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    auto r = New("QvPerson");
    uint64_t trips = 0;
    for (int read = 0; read < 2; ++read) {  // the second with its statements prepared
      const uint64_t before = jet::ServerRoundTrips();
      DBPerson().ReadRecord(c.id, Obj(r));
      DBPerson().ReadLazyFields(Obj(r));
      trips = jet::ServerRoundTrips() - before;
    }
    // On a server the header with its detail row, then the lazy row with the
    // marks (a natural person's accounted mark after it).
    EXPECT_EQ(trips, OnServer() ? (c.type == 2 ? 2u : 3u) : 0u);
    EXPECT_EQ(CBool(r->Get("IsBranch")), c.isBranch);
    EXPECT_EQ(CBool(r->Get("IsAccPerson")), c.accounted);
  }
}

// Each read runs on its own: it shows what another connection committed
// since the last one, and leaves no read snapshot behind that would make the
// next write of this connection fail.
TEST_F(Person, ReadsSeeOtherConnectionsCommitsAndKeepNoSnapshot) {
  Sql("insert into Person (ID, Type, PersonRealID) values (5, 2, 3)");
  Sql("insert into LegalPerson (ID, ShortName, OGRN) values (3, 'before', 'before')");
  Sql("insert into Country (ID, ShortName) values (643, 'before')");
  auto other = dao::DBEngine::ForThread()
                   ->CreateWorkspace("other", "admin", "", Variant(2))
                   ->Open(db_->Name(), {});
  auto person = New("QvPerson");
  auto country = New("QvAdrCountry");
  const struct {
    const char* what;
    const char* change;  // by the other connection
    std::function<std::string()> read;
  } cases[] = {
      {"plain row", "update Country set ShortName = 'after' where ID = 643",
       [&] {
         DBAdrCountry().ReadRecord(643, Obj(country));
         return CStr(country->Get("ShortName"));
       }},
      {"header and detail", "update LegalPerson set ShortName = 'after' where ID = 3",
       [&] {
         DBPerson().ReadRecord(5, Obj(person));
         return CStr(person->Get("ShortName"));
       }},
      {"lazy columns", "update LegalPerson set OGRN = 'after' where ID = 3",
       [&] {
         DBPerson().ReadLazyFields(Obj(person));
         return CStr(person->Get("OGRN"));
       }},
      {"existence", "insert into Country (ID, ShortName) values (644, 'x')",
       [&] { return std::string(DBAdrCountry().IsRecordExists(644) ? "after" : "before"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.read(), "before");
    other->ExecuteSql(c.change);
    EXPECT_EQ(c.read(), "after");
    Sql("update Person set PersonRealID = 3 where ID = 5");  // a stale snapshot refuses it
  }
  other->Close();
}

TEST_F(Person, SavingWithoutTheLazyPartKeepsLazyColumnsAndArchival) {
  Sql("insert into Person (ID, Type, PersonRealID) values (5, 2, 3)");
  Sql("insert into LegalPerson (ID, ShortName, Archival, OGRN, RegAddressID) "
      "values (3, 'Old', 1, '1027700000000', 17)");
  auto r = ReadWith(DBPerson(), "QvPerson", 5);
  r->Let("ShortName", Variant("New"));
  DBPerson().SaveRecord(Obj(r), true);
  const std::string row = "select ShortName, Archival, OGRN, RegAddressID from LegalPerson";
  EXPECT_EQ(Rows(row), "New|1|1027700000000|17");

  // With the lazy part held, Archival and the lazy columns are written.
  DBPerson().ReadLazyFields(Obj(r));
  r->Let("Archival", Variant(false));
  r->Let("OGRN", Variant("1"));
  DBPerson().SaveRecord(Obj(r), false);
  EXPECT_EQ(Rows(row), "New|0|1|17");
  // The address read as a number is still made when asked for, and once
  // made it is what is written.
  EXPECT_EQ(Sub(r, "RegAddress")->Id(), 17);
  Sub(r, "RegAddress")->SetID(Variant(18));
  const uint64_t before = jet::ServerRoundTrips();
  DBPerson().SaveRecord(Obj(r), false);
  // On a server the begin, the lock, the two updates and the commit.
  EXPECT_EQ(jet::ServerRoundTrips() - before, OnServer() ? 1u : 0u);
  EXPECT_EQ(Rows(row), "New|0|1|18");
}

// A stored person's save writes its two rows without seeking them first;
// where one is gone since the read, or the write is refused, the outcome is
// the one a save that seeks its rows first gives: a new detail row under
// the next identifier (the record's link changed), nothing written without
// the header row, the refusal raised with nothing written. A save in a
// caller's transaction commits and rolls back with it.
TEST_F(Person, ASaveWhoseRowsChangedSinceTheReadEndsAsASeekingSave) {
  enum class Caller { kNone, kCommits, kRollsBack };
  const struct {
    const char* what;
    const char* change;  // after the read; "" none
    Caller caller;
    bool refused;      // an update of NaturalPerson refused
    const char* rows;  // Person's row; NaturalPerson's rows
    double link;       // PersonRealID after the save
    uint64_t trips;    // on a server; 0 not counted
  } cases[] = {
      {"the detail row deleted", "delete from NaturalPerson where ID = 3", Caller::kNone, false,
       "5|1|8; 7|other; 8|after", 8, 0},
      {"the header row deleted", "delete from Person where ID = 5", Caller::kNone, false,
       "; 3|before; 7|other", 3, 0},
      {"the update refused", "", Caller::kNone, true, "5|1|3; 3|before; 7|other", 3, 0},
      {"in a caller's transaction that commits", "", Caller::kCommits, false,
       "5|1|3; 3|after; 7|other", 3, 0},
      {"in a caller's transaction, the detail row deleted",
       "delete from NaturalPerson where ID = 3", Caller::kCommits, false, "5|1|8; 7|other; 8|after",
       8, 0},
      {"in a caller's transaction that rolls back", "", Caller::kRollsBack, false,
       "5|1|3; 3|before; 7|other", 3, 0},
      // Last: its statements prepared by the saves before.
      {"both rows there", "", Caller::kNone, false, "5|1|3; 3|after; 7|other", 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sql("delete from Person");
    Sql("delete from NaturalPerson");
    Sql("insert into Person (ID, Type, PersonRealID) values (5, 1, 3)");
    Sql("insert into NaturalPerson (ID, Surname) values (3, 'before')");
    Sql("insert into NaturalPerson (ID, Surname) values (7, 'other')");
    auto r = ReadWith(DBPerson(), "QvPerson", 5);
    r->Let("Surname", Variant("after"));
    if (*c.change) Sql(c.change);
    if (c.refused) Refuse("refuse_natural", "BEFORE UPDATE ON NaturalPerson");
    const uint64_t before = jet::ServerRoundTrips();
    if (c.refused) {
      ExpectError(kAnyError, "", [&] { DBPerson().SaveRecord(Obj(r), false); });
      Allow("refuse_natural");
    } else if (c.caller == Caller::kNone) {
      DBPerson().SaveRecord(Obj(r), false);
    } else {
      dao::Transaction outer(*db_, dao::kWriteLock);
      DBPerson().SaveRecord(Obj(r), false);
      if (c.caller == Caller::kCommits) outer.Commit();
    }
    if (c.trips && OnServer()) {
      EXPECT_EQ(jet::ServerRoundTrips() - before, c.trips);
    }
    EXPECT_EQ(Rows("select ID, Type, PersonRealID from Person") + "; " +
                  Rows("select ID, Surname from NaturalPerson order by ID"),
              c.rows);
    EXPECT_EQ(CDbl(r->Get("PersonRealID")), c.link);
  }
}

TEST_F(Person, ValuesAreWrittenAsTheirColumnsKeepThem) {
  const std::string latin(300, 'z');
  const std::string cyrillic = StringOf(130, "x") + StringOf(200, "я");  // 330 characters
  const struct {
    const char* what;
    int32_t type;
    const char* property;
    std::string value;
    std::string stored;  // also what reading it back gives
  } cases[] = {
      {"KPP: first 9 of the trimmed text, normalised", 2, "KPP", "  77а1бк0011234 ", "77A1BK001"},
      {"SNILS packed", 1, "SNILS", "112-233-445 95", "11223344595"},
      {"a text longer than its column is cut", 1, "Surname", latin, latin.substr(0, 255)},
      {"cut by characters, not bytes", 2, "FullName", cyrillic,
       StringOf(130, "x") + StringOf(125, "я")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto p = New("QvPerson");
    p->Let("Type", Variant(c.type));
    p->Let(c.property, Variant(c.value));
    DBPerson().SaveRecord(Obj(p), false);
    ASSERT_NE(p->Id(), 0);
    const std::string table = c.type == 1 ? "NaturalPerson" : "LegalPerson";
    EXPECT_EQ(Text("select " + std::string(c.property) + " from " + table +
                   " where ID = " + CStr(p->Get("PersonRealID"))),
              c.stored);
    auto r = ReadWith(DBPerson(), "QvPerson", p->Id());
    DBPerson().ReadLazyFields(Obj(r));
    EXPECT_EQ(CStr(r->Get(c.property)), c.stored);
  }
  // The identity document's issuing-office code keeps 20 characters.
  auto doc = New("QvIdentity");
  doc->Let("IssueOrgCode", Variant("123-456-789-012-345-678"));
  DBIdentity().SaveRecord(Obj(doc), false);
  EXPECT_EQ(Text("select IssueOrgCode from Certificate"), "123-456-789-012-345-");
}

TEST_F(Person, UnknownTypeOrMissingDetailReadsAsMissingAndWritesNothing) {
  InsertRows("insert into Person (ID, Type, PersonRealID)", {"(5, 3, 1)", "(6, 1, 99)"});
  Sql("insert into NaturalPerson (ID, Surname) values (1, 'x')");
  for (double id : {5.0, 6.0}) {
    auto r = ReadWith(DBPerson(), "QvPerson", id);
    EXPECT_EQ(r->State(), kNew) << id;
  }
  auto p = New("QvPerson");
  p->Let("Type", Variant(int32_t{3}));
  p->Let("Surname", Variant("nobody"));
  DBPerson().SaveRecord(Obj(p), true);
  EXPECT_EQ(p->Id(), 0);
  EXPECT_EQ(Counts({"Person", "NaturalPerson", "LegalPerson"}),
            "Person=2 NaturalPerson=1 LegalPerson=0");
  EXPECT_TRUE(notices_.empty());
}

TEST_F(Person, WorkerFlagsFollowTheirWriteRules) {
  const struct {
    bool formalBoss;
    bool showInBranches;
    const char* stored;  // IsFormalBoss|ShowInBranches after the save; the row holds 1|0 before
  } cases[] = {{true, true, "1|1"}, {false, false, "0|0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.formalBoss);
    Sql("delete from Personnel");
    Sql("insert into Personnel (ID, PostName, IsFormalBoss, ShowInBranches) values (4, 'boss', 1, "
        "0)");
    auto w = ReadWith(DBWorker(), "QvWorker", 4);
    EXPECT_TRUE(CBool(w->Get("IsFormalBoss")));
    w->Let("IsFormalBoss", Variant(c.formalBoss));
    w->Let("ShowInBranches", Variant(c.showInBranches));
    DBWorker().SaveRecord(Obj(w), false);
    EXPECT_EQ(Rows("select IsFormalBoss, ShowInBranches from Personnel where ID = 4"), c.stored);
  }
  // A new worker that is not the boss gets 0, never Null.
  auto w = New("QvWorker");
  w->Let("PostName", Variant("clerk"));
  DBWorker().SaveRecord(Obj(w), false);
  EXPECT_EQ(Number("select IsFormalBoss from Personnel where ID = 5"), 0);
}

TEST_F(Person, AFailureLateInARecursiveSaveLeavesNothingWritten) {
  // The legal-person row is written after the addresses and the identity
  // document it owns: refusing it must undo them.
  Refuse("refuse_legal", "BEFORE INSERT ON LegalPerson");
  auto p = New("QvPerson");
  p->Let("Type", Variant(int32_t{2}));
  p->Let("ShortName", Variant("Org"));
  Sub(p, "RegAddress")->Let("City", Variant("Tver"));
  Sub(p, "CtrlAddress")->Let("City", Variant("Pskov"));
  Sub(p, "InnRegCertificate")->Let("Number", Variant("77 000"));
  ExpectError(kAnyError, "", [&] { DBPerson().SaveRecord(Obj(p), true); });
  EXPECT_EQ(Counts({"Person", "Address", "Certificate"}), "Person=0 Address=0 Certificate=0");
  // The records are new again, so that the next save inserts them.
  for (const QvRecordPtr& r : {p, Sub(p, "RegAddress"), Sub(p, "InnRegCertificate")})
    EXPECT_EQ(r->Id(), 0) << r->Type().progId;
  Allow("refuse_legal");
  DBPerson().SaveRecord(Obj(p), true);
  EXPECT_EQ(Counts({"Person", "Address", "Certificate"}), "Person=1 Address=2 Certificate=1");
  EXPECT_EQ(Number("select RegAddressID from LegalPerson"), Sub(p, "RegAddress")->Id());
}

TEST_F(Person, DeletingAnOrganisationDeletesItsBranchesStreamsAndJobs) {
  // 1 is the organisation, 2 its branch, 3 the branch's branch; 9 stands
  // apart. Person 1's registration address (row 30) is read with its lazy
  // part; branch 2's address (31) never is: it goes all the same.
  InsertRows("insert into Person (ID, Type, PersonRealID)",
             {"(1, 2, 1)", "(2, 2, 2)", "(3, 2, 3)", "(9, 1, 1)"});
  InsertRows("insert into LegalPerson (ID, ShortName, RegAddressID)",
             {"(1, 'Org', 30)", "(2, 'Branch', 31)", "(3, 'Sub', 0)"});
  Sql("insert into NaturalPerson (ID, Surname) values (1, 'Apart')");
  InsertRows("insert into Address (ID, City)", {"(30, 'Tver')", "(31, 'Pskov')"});
  InsertRows("insert into Branches (ID, ParentPersonID, ChildPersonID)",
             {"(1, 1, 2)", "(2, 2, 3)"});
  InsertRows("insert into AccPerson (PersonID)", {"(1)", "(9)"});
  InsertRows("insert into AccStream (ID, PersonID)", {"(10, 1)", "(11, 3)", "(12, 9)"});
  InsertRows("insert into Personnel (ID, JobPlaceID, WorkerID)",
             {"(1, 1, 9)", "(2, 9, 1)", "(3, 3, 9)", "(4, 9, 9)"});
  InsertRows("insert into PermBlocks (ID, UserID, BlockType, PermObjectID)",
             {"(1, 2, 4, 1)", "(2, 2, 4, 9)"});

  auto p = ReadWith(DBPerson(), "QvPerson", 1);
  DBPerson().ReadLazyFields(Obj(p));
  DBPerson().DeleteRecord(Obj(p));

  // Person 9's rows stay: its stream 12 and job 4, on neither side of which
  // a deleted person stands. Address 30 was owned and read, 31 never read.
  EXPECT_EQ(Counts({"Person", "LegalPerson", "NaturalPerson", "Branches", "AccPerson", "AccStream",
                    "Personnel", "Address", "PermBlocks"}),
            "Person=1 LegalPerson=0 NaturalPerson=1 Branches=0 AccPerson=1 AccStream=1 "
            "Personnel=1 Address=0 PermBlocks=1");
  EXPECT_EQ(p->State(), kDeleted);
}

TEST_F(Person, APersonDeletedByItsIdentifierAloneLeavesNoOwnedRow) {
  Sql("insert into Person (ID, Type, PersonRealID) values (9, 1, 4)");
  Sql("insert into NaturalPerson (ID, Surname, HomeAddressID, AbroadAddressID, IdentityDocID, "
      "AccountantDocID) values (4, 'Apart', 32, 33, 40, 41)");
  InsertRows("insert into Address (ID)", {"(32)", "(33)", "(34)"});
  InsertRows("insert into Certificate (ID)", {"(40)", "(41)", "(42)"});
  auto p = New("QvPerson");
  p->SetID(Variant(9.0));
  DBPerson().DeleteRecord(Obj(p));
  EXPECT_EQ(Counts({"Person", "NaturalPerson"}), "Person=0 NaturalPerson=0");
  EXPECT_EQ(Text("select ID from Address"), "34");
  EXPECT_EQ(Text("select ID from Certificate"), "42");
}

// A mapper pointed at another file reads and deletes there only: the
// relation lookups and the cascade follow the mapper's database, not the
// session's. The session's file holds the same persons and other relations.
TEST_F(Person, AMapperOnAnotherFileKeepsItsWorkThere) {
  std::filesystem::copy_file(coretest::TemplateFolder() / "Quivane.mdb", root_ / "Other.mdb");
  auto other =
      dao::DBEngine::ForThread()->DefaultWorkspace()->Open((root_ / "Other.mdb").string(), {});
  for (dao::Database* d : {db_.get(), other.get()}) {
    d->ExecuteSql("insert into Person (ID, Type, PersonRealID) values (1, 2, 1)");
    d->ExecuteSql("insert into Person (ID, Type, PersonRealID) values (2, 2, 2)");
    d->ExecuteSql("insert into LegalPerson (ID, ShortName) values (1, 'Org')");
    d->ExecuteSql("insert into LegalPerson (ID, ShortName) values (2, 'Branch')");
  }
  other->ExecuteSql("insert into Branches (ID, ParentPersonID, ChildPersonID) values (1, 1, 2)");
  other->ExecuteSql("insert into AccPerson (PersonID) values (2)");
  Sql("insert into AccPerson (PersonID) values (1)");
  auto previous = SetUserDatabaseProvider([other] { return other; });
  struct Restore {
    UserDatabaseProvider p;
    ~Restore() { SetUserDatabaseProvider(p); }
  } restore{previous};

  auto branch = ReadWith(DBPerson(), "QvPerson", 2);
  DBPerson().ReadLazyFields(Obj(branch));
  EXPECT_TRUE(CBool(branch->Get("IsBranch")));
  EXPECT_TRUE(CBool(branch->Get("IsAccPerson")));
  auto org = New("QvPerson");
  org->SetID(Variant(1.0));
  DBPerson().DeleteRecord(Obj(org));

  auto count = [](dao::Database& d, const std::string& table) {
    auto rs = d.OpenStatement("select count(*) from " + table, dao::dbOpenSnapshot);
    return CLng(rs->FieldValue(0));
  };
  const struct {
    const char* table;
    int32_t inSession;  // untouched
  } checks[] = {{"Person", 2}, {"LegalPerson", 2}, {"Branches", 0}, {"AccPerson", 1}};
  for (const auto& c : checks) {
    EXPECT_EQ(count(*other, c.table), 0) << c.table;
    EXPECT_EQ(Count(c.table), c.inSession) << c.table;
  }
  other->Close();
}

}  // namespace
}  // namespace qv::records::testing
