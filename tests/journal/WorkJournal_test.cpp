#include "journal/WorkJournal.h"

#include <map>
#include <sstream>

#include "JournalFixture.h"

namespace qv::journal::testing {
namespace {

// A caller's filter object: the properties it is given, False or Empty for
// the rest.
class FilterStub : public Object {
 public:
  std::map<std::string, Variant, std::less<>> values;
  const ClassInfo& Class() const override {
    static const ClassInfo info("QvTest.WjFilter", {}, nullptr);
    return info;
  }
  Variant Invoke(std::string_view name, CallKind, Args) override {
    const auto it = values.find(name);
    if (it != values.end()) return it->second;
    return name.starts_with("EvDate") ? Variant() : Variant(false);
  }
};

class WorkJournalTest : public JournalTest {
 protected:
  static constexpr double kPerson = 70, kOtherPerson = 80;
  void SetUp() override {
    JournalTest::SetUp();
    InsertRows("insert into PfrPersons (ID, Person_ID, Surname)",
               {"(70, 5, 'Петров')", "(80, 6, 'Сидоров')"});
  }
  // A new tracked event of `person`.
  static QvRecordPtr Event(double person, int32_t type, double date) {
    QvRecordPtr e = NewPfr("QvWjEvent");
    e->Let("PfrPersonID", Variant(person));
    e->Let("EventType", Variant(type));
    e->Let("TrackingType", Variant(int32_t{1}));
    e->Let("EvDate", Variant(OleDate{date}));
    return e;
  }
  double Save(const QvRecordPtr& e) {
    DBWjEvent().SaveRecord(Obj(e), true);
    return e->Id();
  }
  DBQWJournal journal_;
};

// One person hired, transferred and dismissed; the dismissal is emitted
// into a document and unlinked again when that document goes.
TEST_F(WorkJournalTest, EventsOfAPersonThroughEmissionAndUnlinking) {
  QvRecordPtr hire = Event(kPerson, 1, 46023);
  hire->Let("EvPost", Variant("Инженер \"А\"; 1"));
  hire->Let("EvIsPartTime", Variant(true));
  hire->Let("AppTkIsPresent", Variant(true));
  hire->Let("EvDetails", Variant(std::string(300, 'x')));
  Sub(hire, "Citizen")->SetID(Variant(643.0));
  const double hired = Save(hire);
  Save(Event(kPerson, 2, 46100));
  QvRecordPtr dismissal = Event(kPerson, 1, 46200);
  dismissal->Let("EmitState", Variant(int32_t{1}));
  dismissal->Let("EmitDocID", Variant(kDocument));
  const double dismissed = Save(dismissal);
  Save(Event(kOtherPerson, 1, 46023));

  EXPECT_EQ(Rows("select ID, EvPost, EvIsPartTime, AppTkIsPresent, Len(EvDetails), CitizenID "
                 "from WjEvents where ID = 1"),
            "1|Инженер \"А\"; 1|1|1|255|643");
  QvRecordPtr back = NewPfr("QvWjEvent");
  DBWjEvent().ReadRecord(hired, Obj(back));
  EXPECT_EQ(CStr(back->Get("EvPost")) + "|" + CStr(back->Get("EvIsPartTime")) + "|" +
                CStr(back->Get("AppTkIsPresent")) + "|" + CStr(Sub(back, "Citizen")->Get("ID")),
            "Инженер \"А\"; 1|False|True|643");

  Variant none;
  EXPECT_EQ(Ids(journal_.GetEventsOfPerson(kPerson, none)), "1,2,3");
  EXPECT_EQ(Ids(journal_.GetEmitWaitingEventsOfTaxpayer(kTaxpayer, false, none)), "1,2");

  // Sent only once the document is completed or delivered.
  for (const auto& [status, sent] : std::map<int, bool>{{1, false}, {2, true}, {3, true}}) {
    Sql("update doc_registry set Status_Qv = " + std::to_string(status) +
        " where document_id = 500");
    EXPECT_EQ(journal_.HasSentEventsOnPerson(kPerson), sent) << status;
  }
  const std::string linked = "3|1|500";
  for (int32_t action : {0, 3}) {
    journal_.UnlinkEventsFromDeletingDocument(kDocument, action);
    EXPECT_EQ(Rows("select ID, EmitState, EmitDocID from WjEvents where ID = 3"), linked);
  }
  journal_.UnlinkEventsFromDeletingDocument(kDocument, 2);
  EXPECT_EQ(Rows("select ID, EmitState, EmitDocID from WjEvents where ID = 3"), "3|2|0");
  EXPECT_FALSE(journal_.HasSentEventsOnPerson(kPerson));
  Sql("update WjEvents set EmitState = 1, EmitDocID = 500 where ID = 3");
  journal_.UnlinkEventsFromDeletingDocument(kDocument, 1);
  EXPECT_EQ(Rows("select ID, EmitState, EmitDocID from WjEvents where ID = 3"), "3|0|0");
  EXPECT_EQ(dismissed, 3);
}

// Reversed date bounds select the same days as ordered ones.
TEST_F(WorkJournalTest, TheFilterSelectsByEachFlag) {
  // 1 event 10.01, tracked, not emitted; 2 event 20.01 emitted into 500
  // (status 2); 3 application 15.01 (paper book), not tracked, cancelled;
  // 4 event 10.01 of the other taxpayer's person.
  Save(Event(kPerson, 1, 46032));
  QvRecordPtr e2 = Event(kPerson, 2, 46042);
  e2->Let("EmitState", Variant(int32_t{1}));
  e2->Let("EmitDocID", Variant(kDocument));
  e2->Let("CancelState", Variant(int32_t{1}));
  Save(e2);
  QvRecordPtr e3 = Event(kPerson, 3, 0);
  e3->Let("TrackingType", Variant(int32_t{0}));
  e3->Let("CancelState", Variant(int32_t{2}));
  e3->Let("AppTkIsPresent", Variant(true));
  e3->Let("AppTkDate", Variant(OleDate{46037}));
  Save(e3);
  Save(Event(kOtherPerson, 1, 46032));
  Sql("update doc_registry set Status_Qv = 2 where document_id = 500");

  QvRecordPtr person = NewPfr("QvPfrPerson");
  person->SetID(Variant(kPerson));
  // The flags set True (PfrPerson also sets the person), the date bounds
  // (0: Empty), the events selected.
  const struct {
    const char* flags;
    double beg, end;
    const char* ids;
  } cases[] = {
      {"", 0, 0, "1,2,3"},
      {"UsePfrPerson", 0, 0, "1,2,3"},
      {"UseEventType", 0, 0, ""},
      {"UseEventType EvType_App", 0, 0, "3"},
      {"UseEventType EvType_Event", 0, 0, "1,2"},
      {"UseTracking Tracking_NoTracking", 0, 0, "3"},
      {"UseEmitState", 0, 0, ""},
      {"UseEmitState Emit_NotEmitted", 0, 0, "1"},
      {"UseEmitState Emit_Completed", 0, 0, "2"},
      {"UseEmitState Emit_InWorking", 0, 0, ""},
      {"UsePfrPerson UseEmitState Emit_NotTracking Emit_Completed", 0, 0, "2,3"},
      {"UseCancelState Cancel_CancelledBy", 0, 0, "3"},
      {"UseCancelState Cancel_Actual Cancel_Canceller", 0, 0, "1,2"},
      {"UseEventDate", 46037, 0, "2,3"},
      {"UseEventDate", 0, 46037, "1,3"},
      {"UseEventDate", 46040, 46030, "1,3"},
      {"UseEventDate", 0, 0, ""},
  };
  for (const auto& c : cases) {
    auto filter = std::make_shared<FilterStub>();
    std::istringstream flags(c.flags);
    for (std::string flag; flags >> flag;) filter->values[flag] = Variant(true);
    if (filter->values.count("UsePfrPerson")) filter->values["PfrPerson"] = Obj(person);
    if (c.beg) filter->values["EvDateBeg"] = Variant(OleDate{c.beg});
    if (c.end) filter->values["EvDateEnd"] = Variant(OleDate{c.end});
    EXPECT_EQ(Ids(journal_.GetEventsOfTaxpayer(kTaxpayer, Variant(ObjectPtr(filter)), 0)), c.ids)
        << c.flags << " " << c.beg << " " << c.end;
  }
  auto all = std::make_shared<FilterStub>();
  const CollectionPtr keyed = journal_.GetEventsOfTaxpayer(kTaxpayer, Variant(ObjectPtr(all)), 17);
  EXPECT_EQ(Ids(keyed), "1,2,3");
  EXPECT_TRUE(keyed->At(1).IsNumeric());  // identifiers, not records
  EXPECT_TRUE(keyed->FindByKey("_2"));
  ExpectError(424, "", [&] { journal_.GetEventsOfTaxpayer(kTaxpayer, Variant::Nothing(), 0); });
}

TEST_F(WorkJournalTest, SoftDictionaries) {
  for (const char* name : {"бета", "Альфа", "гамма \"г\"; 1", "Дельта", "ёж", "Жук"})
    journal_.AddSoftDictItem(1, 0, name);
  EXPECT_EQ(journal_.AddSoftDictItem(2, 5, "other"), 7);
  EXPECT_EQ(RsRows(journal_.GetSoftDict(1, 0, "x", 5)),
            "2|1|0|Альфа;1|1|0|бета;3|1|0|гамма \"г\"; 1;4|1|0|Дельта;5|1|0|ёж;");
  EXPECT_EQ(RsRows(journal_.GetSoftDict(2, 5, "", 0)), "7|2|5|other;");
  EXPECT_EQ(RsRows(journal_.GetSoftDict(2, 6, "", 0)), "");
  journal_.UpdateSoftDictItem(7, "it's \"new\"");
  journal_.DeleteSoftDictItem(1);
  EXPECT_EQ(Rows("select Name from WjSoftDicts where ID in (1, 7)"), "it's \"new\"");

  QvRecordPtr e = Event(kPerson, 1, 46032);
  e->Let("EvBasdoc1Name", Variant("Приказ"));
  Save(e);
  e = Event(kPerson, 1, 46033);
  e->Let("EvBasdoc2Name", Variant("Приказ"));
  e->Let("EvPost", Variant("Инженер"));
  Save(e);
  EXPECT_EQ(RsRows(journal_.CollectMaterialForSoftDict(4, 0)), "Приказ;");
  EXPECT_EQ(RsRows(journal_.CollectMaterialForSoftDict(1, 0)), "Инженер;");
  EXPECT_EQ(journal_.CollectMaterialForSoftDict(9, 0), nullptr);
}

}  // namespace
}  // namespace qv::journal::testing
