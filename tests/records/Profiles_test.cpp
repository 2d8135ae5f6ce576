// Profiles: user profiles with their obligations written and deleted,
// dictionary profiles never; the profile queries.

#include <gtest/gtest.h>

#include "platform/ado/Recordset.h"
#include "records/EntityFixture.h"
#include "records/EntityMappers.h"

namespace qv::records::testing {
namespace {

using Profiles = EntityTest;

QvRecordPtr Liab(int32_t periodType, double docType) {
  auto l = QvRecord::Create("Qv_Records.QvProfileLiab");
  l->Let("PeriodType", Variant(periodType));
  l->Let("Doc_Type_ID", Variant(docType));
  return l;
}

// "period/doc type" of a profile's obligation rows, "; " between them.
std::string LiabRows(Profiles& t, double profile) {
  return t.Rows("select PeriodType & '/' & Doc_Type_ID from UserProfData where Profile_ID = " +
                CStr(Variant(profile)) + " order by PeriodType, Doc_Type_ID");
}

TEST_F(Profiles, UserProfileWithItsObligationsIsWrittenAndDeleted) {
  Sql("insert into UserProfData (Profile_ID, PeriodType, Doc_Type_ID) values (7, 1, 1)");
  auto p = New("QvStdProfile");
  p->Let("Name", Variant("Quarterly"));
  for (auto [period, doc] : {std::pair{1, 10.0}, {2, 20.0}, {1, 10.0}})  // a duplicate
    List(p, "Liabs")->Add(Obj(Liab(period, doc)));
  DBStdProfile().SaveRecord(Obj(p), false);
  ASSERT_EQ(p->Id(), 1);
  EXPECT_EQ(LiabRows(*this, 1), "1/10; 2/20");

  auto r = ReadWith(DBStdProfile(), "QvStdProfile", 1);
  EXPECT_EQ(CStr(r->Get("Name")), "Quarterly");
  ASSERT_EQ(List(r, "Liabs")->Count(), 2);
  // One obligation dropped, one added: the rows follow.
  List(r, "Liabs")->Remove(Variant(1));
  List(r, "Liabs")->Add(Obj(Liab(3, 30)));
  DBStdProfile().SaveRecord(Obj(r), false);
  EXPECT_EQ(LiabRows(*this, 1), "2/20; 3/30");
  EXPECT_EQ(LiabRows(*this, 7), "1/1");  // another profile's

  DBStdProfile().DeleteRecord(Obj(r));
  EXPECT_EQ(Count("UserProfiles"), 0);
  EXPECT_EQ(LiabRows(*this, 1), "");
  EXPECT_EQ(LiabRows(*this, 7), "1/1");
}

TEST_F(Profiles, DictionaryProfilesAreNeverWrittenOrDeleted) {
  Sql("insert into DictProfiles (ID, Name) values (100000001, 'Standard')");
  Sql("insert into DictProfData (Profile_ID, PeriodType, Doc_Type_ID) values (100000001, 2, 5)");
  auto p = ReadWith(DBStdProfile(), "QvStdProfile", 100000001);
  EXPECT_EQ(CStr(p->Get("Name")), "Standard");
  ASSERT_EQ(List(p, "Liabs")->Count(), 1);
  EXPECT_EQ(CLng(Item(List(p, "Liabs"), 1)->Get("PeriodType")), 2);
  p->Let("Name", Variant("changed"));
  List(p, "Liabs")->Remove(Variant(1));
  DBStdProfile().SaveRecord(Obj(p), false);
  DBStdProfile().DeleteRecord(Obj(p));
  EXPECT_EQ(Text("select Name from DictProfiles"), "Standard");
  EXPECT_EQ(Counts({"DictProfData", "UserProfiles", "UserProfData"}),
            "DictProfData=1 UserProfiles=0 UserProfData=0");
  EXPECT_TRUE(DBStdProfile().IsRecordExists(100000001));
  EXPECT_FALSE(DBStdProfile().IsRecordExists(1));
}

TEST_F(Profiles, Queries) {
  Sql("insert into DictProfiles (ID, Name) values (100000001, 'Standard')");
  Sql("insert into UserProfiles (ID, Name) values (3, 'Mine')");
  Sql("insert into AccStreamProfiles (ID, AccStream_ID, Profile_ID) values (1, 10, 3)");
  Sql("delete from doc_type_class");
  InsertRows("insert into doc_type_class (doc_type_id, name_short, instance_permission)",
             {"(3, 'C', 0)", "(4, 'A', Null)", "(5, 'B', 0)", "(6, 'D', 1)"});
  DBQProfiles q;
  ASSERT_EQ(q.GetAllDictProfiles()->Count(), 1);
  EXPECT_EQ(Item(q.GetAllDictProfiles(), 1)->Id(), 100000001);
  EXPECT_EQ(Item(q.GetAllUserProfiles(), 1)->Id(), 3);
  EXPECT_TRUE(q.IsProfileInUsing(3));
  EXPECT_FALSE(q.IsProfileInUsing(100000001));

  const struct {
    const char* exclude;
    std::vector<double> ids;  // in order of name
  } cases[] = {{"", {4, 5, 3}}, {"3;5", {4}}, {" 4 ", {5, 3}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.exclude);
    auto rs = q.GetDocClassesForSelecting(c.exclude);
    std::vector<double> ids;
    for (; !rs->IsEOF(); rs->MoveNext())
      ids.push_back(CDbl(rs->CurrentValue(rs->FieldIndex("ID"))));
    EXPECT_EQ(ids, c.ids);
  }
}

}  // namespace
}  // namespace qv::records::testing
