// Warrants with their subjects, powers and permissions: saved, changed as a
// difference against the stored rows, deleted with what they own, and
// refused when they break a rule.

#include <gtest/gtest.h>

#include <functional>

#include "warrants/WarrantFixture.h"
#include "warrants/WarrantMappers.h"

namespace qv::warrants::testing {
namespace {

// "okato:code,code" per power of a loaded warrant, joined by "; ".
std::string PowersText(const QvRecordPtr& warrant) {
  std::string text;
  const CollectionPtr powers = WarrantTest::List(warrant, "Powers");
  for (int32_t i = 1; i <= powers->Count(); ++i) {
    const QvRecordPtr p = WarrantTest::Item(powers, i);
    text += (i > 1 ? "; " : "") + CStr(p->Get("Okato")) + ":";
    const CollectionPtr perms = WarrantTest::List(p, "Permissions");
    for (int32_t k = 1; k <= perms->Count(); ++k)
      text += (k > 1 ? "," : "") + CStr(WarrantTest::Item(perms, k)->Get("Code"));
  }
  return text;
}

QvRecordPtr ReadWarrant(double id) {
  QvRecordPtr w = WarrantTest::New("QvWarrant");
  DBWarrant().ReadRecord(id, WarrantTest::Obj(w));
  DBWarrant().ReadLazyFields(WarrantTest::Obj(w));
  return w;
}

TEST_F(WarrantTest, SavedChangedAsADifferenceAndDeletedWithWhatItOwns) {
  QvRecordPtr w = Warrant("Доверенность №1");
  w->Let("IsActive", Variant(true));  // a save never writes the flag
  QvRecordPtr origin = Sub(w, "Origin_Subject");
  origin->Let("PersonType", Variant(int32_t{2}));
  origin->Let("FullName", Variant("АО «Принципал»"));
  Sub(origin, "Address")->Let("City", Variant("Тверь"));
  QvRecordPtr agent = Sub(w, "NAgent_Subject");
  agent->Let("PersonType", Variant(int32_t{1}));
  agent->Let("Surname", Variant("Петров"));
  Sub(agent, "Passport")->Let("Number", Variant("123456"));
  for (const QvRecordPtr& p : {Power("28401", {1, 2}), Power("28402", {3}), Power("45000", {})})
    List(w, "Powers")->Add(Obj(p));
  DBWarrant().SaveRecord(Obj(w), true);

  EXPECT_EQ(Counts(),
            "Warrants=1 WarSubjects=2 WarPowers=3 WarPermissions=3 Address=1 Certificate=1");
  EXPECT_EQ(Rows("select ID, WorkerID, IsActive, Origin_SubjectID, NAgent_SubjectID, "
                 "LAgent_SubjectID from Warrants"),
            "1|7|0|1|2|0");  // IsActive not written: the column's default
  EXPECT_EQ(Rows("select ID, Warrant_ID, Okato from WarPowers order by ID"),
            "1|1|28401; 2|1|28402; 3|1|45000");
  EXPECT_EQ(Rows("select AddressID, PassportID from WarSubjects order by ID"), "1|0; 0|1");

  QvRecordPtr read = ReadWarrant(1);
  EXPECT_EQ(CStr(Sub(Sub(read, "Origin_Subject"), "Address")->Get("City")), "Тверь");
  EXPECT_EQ(CStr(Sub(Sub(read, "NAgent_Subject"), "Passport")->Get("Number")), "123456");
  EXPECT_EQ(PowersText(read), "28401:01,02; 28402:03; 45000:");

  // A power removed from a freshly read warrant: only that power goes (with
  // its permission rows); the others, never read, are not written. The
  // stored IsActive stays whatever the record says.
  Sql("update Warrants set IsActive = 1");
  QvRecordPtr w2 = ReadWarrant(1);
  w2->Let("IsActive", Variant(false));
  List(w2, "Powers")->Remove(Variant(int32_t{2}));
  notices_.clear();
  DBWarrant().SaveRecord(Obj(w2), false);
  EXPECT_EQ(Rows("select ID, Okato from WarPowers order by ID"), "1|28401; 3|45000");
  EXPECT_EQ(Rows("select WarPower_ID, WarPermission_ID from WarPermissions order by 1, 2"),
            "1|1; 1|2");
  EXPECT_EQ(Rows("select IsActive from Warrants"), "1");
  EXPECT_EQ(notices_, (std::vector<std::string>{"delete QvWarPower 2", "update QvWarrant 1"}));

  // One permission taken away and one granted: one row deleted, one added.
  QvRecordPtr w3 = ReadWarrant(1);
  QvRecordPtr power = Item(List(w3, "Powers"), 1);
  List(power, "Permissions")->Remove(Variant(int32_t{2}));
  List(power, "Permissions")->Add(Permission(4));
  DBWarrant().SaveRecord(Obj(w3), false);
  EXPECT_EQ(Rows("select WarPower_ID, WarPermission_ID from WarPermissions order by 1, 2"),
            "1|1; 1|4");
  EXPECT_EQ(PowersText(ReadWarrant(1)), "28401:01,04; 45000:");

  QvRecordPtr gone = New("QvWarrant");
  gone->SetID(Variant(1.0));
  DBWarrant().DeleteRecord(Obj(gone));
  EXPECT_EQ(Counts(),
            "Warrants=0 WarSubjects=0 WarPowers=0 WarPermissions=0 Address=0 Certificate=0");
  EXPECT_EQ(Count("Personnel"), 1);
  EXPECT_EQ(Count("WarDict_Permissions"), 4);
}

TEST_F(WarrantTest, BrokenRulesAreRefusedAndNothingIsWritten) {
  const struct {
    const char* what;
    std::function<QvRecordPtr()> make;
    int32_t error;
    const char* text;
  } cases[] = {
      {"no worker", [] { return Warrant("w", 0); }, 5, "names no worker"},
      {"a worker without its row", [] { return Warrant("w", 99); }, 5, "worker 99 does not exist"},
      {"ends before it begins", [] { return Warrant("w", kWorker, 45657, 45292); }, 5,
       "ends on 01.01.2024, before it begins on 31.12.2024"},
      {"a permission the dictionary lacks",
       [] {
         QvRecordPtr w = Warrant("w");
         List(w, "Powers")->Add(Obj(Power("28401", {1, 9})));
         return w;
       },
       5, "grants permission 9"},
      {"a power that is no power record",
       [] {
         QvRecordPtr w = Warrant("w");
         List(w, "Powers")->Add(Obj(New("QvWarSubject")));
         return w;
       },
       13, "QvWarPower"},
      {"control: no end date", [] { return Warrant("w", kWorker, 45292, 0); }, 0, ""},
      {"control: one day", [] { return Warrant("w", kWorker, 45292, 45292); }, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* t : {"Warrants", "WarSubjects", "WarPowers", "WarPermissions", "Address"})
      Sql(std::string("delete from ") + t);
    QvRecordPtr w = c.make();
    Sub(w, "Origin_Subject")->Let("FullName", Variant("АО"));
    Sub(Sub(w, "Origin_Subject"), "Address")->Let("City", Variant("Тверь"));
    List(w, "Powers")->Add(Obj(Power("28402", {3})));
    const std::string text =
        ExpectError(c.error, c.text, [&] { DBWarrant().SaveRecord(Obj(w), true); }).Description();
    if (c.error == 0) {
      EXPECT_EQ(Count("Warrants"), 1);
      continue;
    }
    EXPECT_NE(text.find("DBWarrant.SaveRecord"), std::string::npos) << text;
    EXPECT_EQ(Counts(),
              "Warrants=0 WarSubjects=0 WarPowers=0 WarPermissions=0 Address=0 Certificate=0");
    EXPECT_EQ(w->Id(), 0);
    EXPECT_EQ(Sub(w, "Origin_Subject")->Id(), 0);
    EXPECT_EQ(Sub(Sub(w, "Origin_Subject"), "Address")->Id(), 0);
  }
}

}  // namespace
}  // namespace qv::warrants::testing
