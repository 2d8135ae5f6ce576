// Accounting streams: base and lazy columns, the profile and licence
// collections synchronised with the stored rows, and the delete cascade.

#include <gtest/gtest.h>

#include "records/EntityFixture.h"
#include "records/EntityMappers.h"

namespace qv::records::testing {
namespace {

using AccStream = EntityTest;

TEST_F(AccStream, NewStreamWithItsCollectionsRoundTrips) {
  Sql("insert into AccStream (ID, DisplayName) values (9, 'seed')");
  Sql("insert into AccStreamProfiles (ID, AccStream_ID, Profile_ID) values (20, 9, 1)");
  auto s = New("QvAccStream");
  s->Let("DisplayName", Variant("Main"));
  s->Let("Kpp", Variant(" 77о1 "));
  s->Let("FLS_IsSigned", Variant(true));
  s->Let("OCTMO", Variant("45000000"));
  auto profile = New("QvAccProfile");
  Sub(profile, "Profile")->SetID(Variant(100000001.0));  // a dictionary profile
  profile->Let("BegYear", Variant(int32_t{2026}));
  List(s, "Profiles")->Add(Obj(profile));
  auto licence = New("QvOfrLicense");
  licence->Let("Number", Variant("L-1"));
  List(s, "OfrLicenses")->Add(Obj(licence));
  DBAccStream().SaveRecord(Obj(s), true);

  EXPECT_EQ(s->Id(), 10);
  // О is no Latin look-alike.
  EXPECT_EQ(Rows("select KPP, FLS_IsSigned from AccStream where ID = 10"), "77О1|1");
  EXPECT_EQ(profile->Id(), 21);
  EXPECT_EQ(Rows("select AccStream_ID, Profile_ID from AccStreamProfiles where ID = 21"),
            "10|100000001");
  EXPECT_EQ(Rows("select ID, AccStreamID from AccStreamOfrLicenses"), "1|10");

  auto r = ReadWith(DBAccStream(), "QvAccStream", 10);
  DBAccStream().ReadLazyFields(Obj(r));
  EXPECT_EQ(CStr(r->Get("OCTMO")), "45000000");
  EXPECT_TRUE(CBool(r->Get("FLS_IsSigned")));
  ASSERT_EQ(List(r, "Profiles")->Count(), 1);
  EXPECT_EQ(Item(List(r, "Profiles"), 1)->Id(), 21);
  EXPECT_EQ(CLng(Item(List(r, "Profiles"), 1)->Get("BegYear")), 2026);
  ASSERT_EQ(List(r, "OfrLicenses")->Count(), 1);
  EXPECT_EQ(CStr(Item(List(r, "OfrLicenses"), 1)->Get("Number")), "L-1");
}

TEST_F(AccStream, RecursiveSaveWritesTheOfficesFirstButNeverTheOwner) {
  Sql("insert into Person (ID, Type, PersonRealID) values (5, 1, 1)");
  Sql("insert into NaturalPerson (ID, Surname) values (1, 'Owner')");
  auto s = New("QvAccStream");
  s->Let("DisplayName", Variant("S"));
  DBPerson().ReadRecord(5, Obj(Sub(s, "Person")));
  Sub(s, "Person")->Let("Surname", Variant("changed"));
  Sub(s, "TaxOffice")->Let("Code", Variant("9999"));
  Sub(s, "TaxOffice")->Let("FullName", Variant("own office"));
  DBAccStream().SaveRecord(Obj(s), true);
  EXPECT_EQ(Number("select PersonID from AccStream"), 5);
  EXPECT_EQ(Text("select Surname from NaturalPerson"), "Owner");
  EXPECT_EQ(Number("select TaxOfficeID from AccStream"), 1000000001);
  EXPECT_EQ(Text("select Name from UserContoras"), "own office");
}

TEST_F(AccStream, SavedCollectionsReplaceTheStoredRows) {
  InsertRows("insert into AccStream (ID, DisplayName)", {"(10, 'S')", "(11, 'other')"});
  InsertRows("insert into AccStreamProfiles (ID, AccStream_ID, Profile_ID, BegYear)",
             {"(1, 10, 0, 2020)", "(2, 10, 4, 2021)", "(3, 10, 0, 2022)", "(4, 11, 0, 2023)"});
  InsertRows("insert into AccStreamOfrLicenses (ID, AccStreamID, Number)",
             {"(1, 10, 'A')", "(2, 10, 'B')", "(3, 11, 'C')"});

  auto s = New("QvAccStream");
  DBAccStream().ReadLazyFields(Obj((s->SetID(Variant(10.0)), s)));
  CollectionPtr profiles = List(s, "Profiles");
  ASSERT_EQ(profiles->Count(), 3);
  // Assignment 1 deleted by state, 3 dropped from the collection, 2
  // changed, one new.
  Item(profiles, 1)->Delete();
  Item(profiles, 2)->Let("BegYear", Variant(int32_t{2030}));
  profiles->Remove(Variant(3));
  auto added = New("QvAccProfile");
  added->Let("BegYear", Variant(int32_t{2031}));
  profiles->Add(Obj(added));
  // Licence 1 dropped, 2 kept unread, one new.
  CollectionPtr licences = List(s, "OfrLicenses");
  licences->Remove(Variant(1));
  auto licence = New("QvOfrLicense");
  licence->Let("Number", Variant("N"));
  licences->Add(Obj(licence));
  // Assignment 2 is a part of assignment 4 (its Profile_ID names it); a
  // recursive save keeps that and writes no profile.
  DBAccStream().SaveRecord(Obj(s), true);

  // Another stream's rows (4, 3) stay.
  EXPECT_EQ(Rows("select ID, AccStream_ID, Profile_ID, BegYear from AccStreamProfiles order by ID"),
            "2|10|4|2030; 4|11|0|2023; 5|10|0|2031");
  EXPECT_EQ(Count("UserProfiles"), 0);
  EXPECT_EQ(Rows("select ID, AccStreamID, Number from AccStreamOfrLicenses order by ID"),
            "2|10|B; 3|11|C; 4|10|N");
}

TEST_F(AccStream, SavingWithoutTheLazyPartLeavesCollectionsAndLazyColumns) {
  Sql("insert into AccStream (ID, DisplayName, OCTMO, ExecutorID) values (10, 'S', '45', 3)");
  Sql("insert into AccStreamProfiles (ID, AccStream_ID) values (1, 10)");
  Sql("insert into AccStreamOfrLicenses (ID, AccStreamID) values (1, 10)");
  auto s = ReadWith(DBAccStream(), "QvAccStream", 10);
  s->Let("DisplayName", Variant("renamed"));
  DBAccStream().SaveRecord(Obj(s), true);
  EXPECT_EQ(Rows("select DisplayName, OCTMO, ExecutorID from AccStream"), "renamed|45|3");
  EXPECT_EQ(Counts({"AccStreamProfiles", "AccStreamOfrLicenses"}),
            "AccStreamProfiles=1 AccStreamOfrLicenses=1");
}

TEST_F(AccStream, DeletingAnAssignmentDeletesTheAssignmentsPointingToIt) {
  InsertRows("insert into AccStreamProfiles (ID, AccStream_ID, Profile_ID)",
             {"(1, 10, 5)", "(2, 10, 1)", "(3, 10, 5)"});
  auto a = ReadWith(DBAccProfile(), "QvAccProfile", 1);
  EXPECT_EQ(Sub(a, "Profile")->Id(), 5);
  DBAccProfile().DeleteRecord(Obj(a));
  EXPECT_EQ(Rows("select ID from AccStreamProfiles"), "3");
  EXPECT_EQ(a->State(), kDeleted);
}

// The document cascade runs first, the row delete last: a refused row delete
// brings back everything the cascade removed; once allowed, the same record
// deletes the stream with what depends on it.
TEST_F(AccStream, DeleteRemovesWhatDependsOnTheStreamOrNothing) {
  // A stream with everything that hangs on it.
  Sql("insert into AccStream (ID, DisplayName, TaxOfficeID, TaxOffice2ID) "
      "values (10, 'S', 500, 1000000001)");
  Sql("insert into TaxOffice (ID, Code) values (500, '7701')");
  Sql("insert into UserContoras (ID, Code, Name) values (1000000001, '9999', 'own')");
  Sql("insert into AccStreamOfrLicenses (ID, AccStreamID) values (1, 10)");
  InsertRows("insert into PfrPAManualSums (ID, AccStreamID, PfrPersonID)",
             {"(1, 10, 1)", "(2, 11, 1)"});
  Sql("insert into ConsMembers (ID, ConsStreamID, AccStreamID) values (1, 1, 10)");
  InsertRows("insert into PermBlocks (ID, UserID, BlockType, PermObjectID)",
             {"(1, 2, 5, 10)", "(2, 2, 4, 10)"});
  Sql("insert into PermObjectLists (BlockID, PermObjectID) values (1, 10)");
  Refuse("keep_stream", "BEFORE DELETE ON AccStream");
  auto s = ReadWith(DBAccStream(), "QvAccStream", 10);
  ExpectError(kAnyError, "", [&] { DBAccStream().DeleteRecord(Obj(s)); });
  EXPECT_EQ(Counts({"AccStream", "AccStreamOfrLicenses", "ConsMembers", "UserContoras",
                    "PermObjectLists", "PfrPAManualSums"}),
            "AccStream=1 AccStreamOfrLicenses=1 ConsMembers=1 UserContoras=1 PermObjectLists=1 "
            "PfrPAManualSums=2");
  EXPECT_EQ(s->State(), kLoaded);
  EXPECT_NE(Sub(s, "TaxOffice2")->State(), kDeleted);  // its delete was undone too

  Allow("keep_stream");
  DBAccStream().DeleteRecord(Obj(s));
  // Left: another stream's sums, a person's block (type 4), a system office.
  EXPECT_EQ(Counts({"AccStream", "AccStreamOfrLicenses", "PfrPAManualSums", "ConsMembers",
                    "PermBlocks", "PermObjectLists", "UserContoras", "TaxOffice"}),
            "AccStream=0 AccStreamOfrLicenses=0 PfrPAManualSums=1 ConsMembers=0 PermBlocks=1 "
            "PermObjectLists=0 UserContoras=0 TaxOffice=1");
  EXPECT_EQ(s->State(), kDeleted);
}

}  // namespace
}  // namespace qv::records::testing
