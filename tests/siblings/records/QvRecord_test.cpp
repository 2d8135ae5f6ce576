#include "siblings/records/QvRecord.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "siblings/records/FakeMapper.h"
#include "siblings/records/RecordFactory.h"
#include "support/TestSupport.h"

namespace qv::records {
namespace {

using testing::FakeLog;
using testing::kTestType;
using testing::ResetFake;
using testsupport::ExpectError;

// The mapper calls logged since the last look, emptying the log.
std::string Log() {
  std::string out;
  for (const std::string& line : FakeLog()) out += (out.empty() ? "" : "; ") + line;
  FakeLog().clear();
  return out;
}

// The properties `names` (" "-separated) of an object, each with its kind
// as Variant::Describe gives it, joined by "; ".
std::string Props(Object& o, const std::string& names) {
  std::string out, name;
  for (std::istringstream in(names); in >> name;)
    out += (out.empty() ? "" : "; ") + o.Get(name).Describe();
  return out;
}

// A record of the test type in each state; row 7 exists in the fake table.
QvRecordPtr InState(int state) {
  QvRecordPtr r = QvRecord::Create(kTestType);
  switch (state) {
    case 1:
      r->SetID(Variant(7));
      break;
    case 2:
      r->Let("Name", Variant("new"));
      break;
    case 3:
      r->SetID(Variant(7));
      r->Get("Name");  // reads itself
      break;
    case 4:
      r->Delete();
      break;
  }
  return r;
}

class QvRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFake(); }
};

TEST_F(QvRecordTest, StateMachineFromEveryState) {
  const struct {
    const char* op;
    std::function<void(Object&)> call;
    const char* states;  // the state after the call, from states 0 1 2 3 4
  } cases[] = {
      {"SetID(9)", [](Object& r) { r.CallV("SetID", 9); }, "1 1 1 1 1"},
      {"SetID(0)", [](Object& r) { r.CallV("SetID", 0); }, "0 0 0 0 0"},
      {"ID = 9", [](Object& r) { r.Let("ID", Variant(9)); }, "1 1 1 1 1"},
      {"let a value", [](Object& r) { r.Let("Count", Variant(5)); }, "2 3 2 3 4"},
      {"Clear", [](Object& r) { r.CallV("Clear"); }, "0 0 0 0 0"},
      {"BeginLoad", [](Object& r) { r.CallV("BeginLoad", 7); }, "1 1 1 1 1"},
      {"BeginLoad+EndLoad", [](Object& r) { r.CallV("BeginLoad", 7), r.CallV("EndLoad"); },
       "3 3 3 3 3"},
      {"MarkNotFound", [](Object& r) { r.CallV("MarkNotFound", 8); }, "0 0 0 0 0"},
      {"AssignNewID", [](Object& r) { r.CallV("AssignNewID", 8); }, "0 1 2 3 4"},
      {"AfterInsert", [](Object& r) { r.CallV("AfterInsert"); }, "0 1 3 3 4"},
      {"AfterUpdate", [](Object& r) { r.CallV("AfterUpdate"); }, "0 1 3 3 4"},
      {"AfterDelete", [](Object& r) { r.CallV("AfterDelete"); }, "4 4 4 4 4"},
      {"Delete", [](Object& r) { r.CallV("Delete"); }, "4 4 4 4 4"},
  };
  for (const auto& c : cases) {
    std::string got;
    for (int from = 0; from <= 4; ++from) {
      QvRecordPtr r = InState(from);
      ASSERT_EQ(r->State(), from);
      c.call(*r);
      got += (from ? " " : "") + std::to_string(CLng(r->Get("RState")));
    }
    EXPECT_EQ(got, c.states) << c.op;
  }
}

TEST_F(QvRecordTest, IdentifierEffectsOfTheProtocol) {
  QvRecordPtr r = InState(2);
  r->AssignNewID(Variant(8));
  EXPECT_EQ(Props(*r, "ID Name"), "Double 8; String \"new\"");  // AssignNewID keeps the data
  r->MarkNotFound(Variant(12));
  EXPECT_EQ(r->Id(), 12);
  EXPECT_EQ(r->Get("Name"), Variant(""));
  EXPECT_EQ(Log(), "");  // a record marked not found does not ask its mapper
  r->Clear();
  EXPECT_EQ(r->Id(), 0);
  ExpectError(vberr::kTypeMismatch, "", [&] { r->CallV("SetID", "x"); });
}

TEST_F(QvRecordTest, LoadsItselfThroughItsMapperOnFirstUse) {
  ObjectPtr r = RecordFactory::ForThisThread()->GetRecord(kTestType, Variant(7));
  EXPECT_EQ(Props(*r, "ID RState"), "Double 7; Long 1");
  EXPECT_EQ(Log(), "");  // ID and RState do not load
  EXPECT_EQ(Props(*r, "NAME"), "String \"seven\"");
  EXPECT_EQ(Log(), "ReadRecord 7");
  EXPECT_EQ(Props(*r, "RState Count"), "Long 3; Long 7");
  EXPECT_EQ(Log(), "");  // read once

  // The sub-record is a reference set by the mapper; it loads on its own use.
  EXPECT_EQ(Props(*r->Get("Parent").AsObject(), "ID RState Name"),
            "Double 3; Long 1; String \"three\"");

  // The lazy groups: each read by its own operation, once.
  FakeLog().clear();
  EXPECT_EQ(Props(*r, "LazyLoaded Note LazyLoaded"),
            "Boolean False; String \"note of 7\"; Boolean True");
  EXPECT_EQ(r->Get("Items").ObjectAs<Collection>()->Count(), 2);
  r->Get("Note");
  r->Get("Items");
  EXPECT_EQ(Log(), "ReadLazyFields 7; ReadItems 7");
  // The mapper's hand-over of the items is no change.
  EXPECT_EQ(Props(*r, "ItemsLoaded ItemsModified"), "Boolean True; Boolean False");
}

TEST_F(QvRecordTest, LoadingCornerCases) {
  // A missing row: MarkNotFound, no error, and no second attempt.
  QvRecordPtr missing = RecordFactory::ForThisThread()->GetRecord(kTestType, Variant(99));
  EXPECT_EQ(Props(*missing, "Name Note"), "String \"\"; String \"\"");
  EXPECT_EQ(missing->State(), kNew);
  EXPECT_EQ(Log(), "ReadRecord 99");

  // Writing a lazy value of a stored record reads the group first, so the
  // save keeps the rest of it.
  QvRecordPtr r = InState(1);
  r->Let("Note", Variant("changed"));
  EXPECT_EQ(Log(), "ReadRecord 7; ReadLazyFields 7");
  EXPECT_EQ(r->State(), kLoaded);
  EXPECT_EQ(r->Get("Note"), Variant("changed"));

  // Assigning a whole bracket-less group needs no read.
  QvRecordPtr s = InState(3);
  FakeLog().clear();
  s->Let("Items", Variant(std::make_shared<Collection>()));
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(Props(*s, "ItemsLoaded ItemsModified"), "Boolean True; Boolean True");

  // LoadOnSetID reads at once.
  QvRecordPtr eager = QvRecord::Create(kTestType);
  eager->Let("LoadOnSetID", Variant(true));
  EXPECT_EQ(eager->State(), kNew);  // a control member is not data
  eager->SetID(Variant(3));
  EXPECT_EQ(Log(), "ReadRecord 3");
  EXPECT_EQ(eager->State(), kLoaded);

  // A new record has nothing stored to read.
  QvRecordPtr fresh = QvRecord::Create(kTestType);
  EXPECT_EQ(Props(*fresh, "Note LazyLoaded"), "String \"\"; Boolean True");
  EXPECT_EQ(Log(), "");
}

TEST_F(QvRecordTest, AFailedLoadIsReportedEveryTime) {
  QvRecordPtr r = QvRecord::Create(testing::kOrphanType);
  r->SetID(Variant(5));
  for (int attempt = 0; attempt < 2; ++attempt) {
    const std::string text = ExpectError(vberr::kCannotCreateObject, "[QvTest::Orphan.Name]", [&] {
                               r->Get("Name");
                             }).Description();
    EXPECT_NE(text.find("[QvTest::Orphan.Load]"), std::string::npos) << text;
    EXPECT_NE(text.find("Object: QvTest.NoSuchMapper"), std::string::npos) << text;
  }
  EXPECT_EQ(r->State(), kReference);
}

TEST_F(QvRecordTest, SavesAndDeletesThroughItsMapperWithNotices) {
  std::vector<std::string> notices;
  NoticeSink previous = SetNoticeSink([&](const QvRecord& rec, Notice n) {
    const char* what[] = {"inserted", "updated", "deleted"};
    notices.push_back(std::string(what[static_cast<int>(n)]) + " " + CStr(rec.IdValue()));
  });
  QvRecordPtr r = QvRecord::Create(kTestType);
  r->Let("Name", Variant("eight"));
  r->Let("ItemsModified", Variant(true));
  r->CallV("SaveToStore");
  EXPECT_EQ(r->Id(), 8);
  EXPECT_EQ(r->State(), kLoaded);
  EXPECT_EQ(r->Get("ItemsModified"), Variant(false));  // a save clears the change flags
  EXPECT_EQ(testing::FakeTable()[8].name, "eight");

  r->Let("Count", Variant(80));
  FakeLog().clear();
  r->CallV("SaveToStore", true, 5);  // a third argument goes to the mapper
  EXPECT_EQ(testing::FakeTable()[8].count, 80);
  EXPECT_EQ(Log(), "SaveRecord 8 owner 5");

  QvRecordPtr quiet = InState(3);
  quiet->Let("DeafForNotifications", Variant(true));
  quiet->CallV("SaveToStore");
  quiet->CallV("DeleteFromStore");
  EXPECT_EQ(quiet->State(), kDeleted);

  r->CallV("DeleteFromStore");
  EXPECT_EQ(r->State(), kDeleted);
  EXPECT_EQ(testing::FakeTable().count(8), 0u);
  SetNoticeSink(previous);

  EXPECT_EQ(notices, (std::vector<std::string>{"inserted 8", "updated 8", "deleted 8"}));
}

TEST_F(QvRecordTest, PropertiesConvertByKindAndIgnoreCase) {
  const struct {
    const char* name;
    Variant in;
    Variant out;
  } cases[] = {
      {"name", Variant(42), Variant("42")},
      {"COUNT", Variant("17"), Variant(int32_t{17})},
      {"Count", Variant(2.5), Variant(int32_t{2})},  // banker's rounding
      {"amount", Variant("1.5"), Variant(1.5)},
      {"When", Variant("05.03.2007"), Variant(OleDate{39146})},
      {"flag", Variant(int32_t{1}), Variant(true)},
      {"Any", Variant::Null(), Variant::Null()},
      // Values already of the property's kind are stored as they came.
      {"Name", Variant("as it came"), Variant("as it came")},
      {"Count", Variant(int32_t{-9}), Variant(int32_t{-9})},
      {"flag", Variant(false), Variant(false)},
  };
  for (const auto& c : cases) {
    QvRecordPtr r = QvRecord::Create(kTestType);
    r->Let(c.name, c.in);
    EXPECT_EQ(r->Get(c.name), c.out) << c.name;
    EXPECT_EQ(r->CallV(c.name), c.out) << c.name << " called as a method";
    EXPECT_EQ(r->State(), kChanged) << c.name;
    // The same value as a mapper's load writes it into the property's slot.
    QvRecordPtr loaded = QvRecord::Create(kTestType);
    loaded->BeginLoad(Variant(7));
    const int i = loaded->PropertyIndex(c.name);
    *loaded->LoadSlot(i) = c.in;
    loaded->LoadedValue(i);
    loaded->EndLoad();
    EXPECT_EQ(loaded->Value(i), c.out) << c.name << " loaded";
  }
}

// Records of one buffer of rows, made one by one or together in one
// allocation: each shows its own row, takes a copy when changed (the buffer
// and its neighbours keep theirs), has a value of another kind converted at
// once, drops the row when cleared, and one kept after its neighbours, the
// rows and the list are gone still reads, changes and clears.
TEST_F(QvRecordTest, RecordsOfSharedRows) {
  const RecordClass& cls = QvRecord::ClassOf("Qv_Records.QvDocCell");
  QvRecordPtr kept;
  {
    auto rows = std::make_shared<const std::vector<Variant>>(std::vector<Variant>{
        Variant(int32_t{129}), Variant("k1"), Variant("v1"), Variant(7.6), Variant("k2"),
        Variant("v2"), Variant(int32_t{129}), Variant("k3"), Variant("v3")});
    QvRecordPtr a = QvRecord::OfSharedRow(cls, rows, 0);
    EXPECT_EQ(a->State(), kChanged);
    EXPECT_FALSE(a->IsBlank());
    a->Let("First_Value", Variant("changed"));
    EXPECT_EQ(Props(*a, "First_Value Cell_Key"), "String \"changed\"; String \"k1\"");
    EXPECT_EQ((*rows)[2], Variant("v1"));
    std::vector<QvRecordPtr> records = QvRecord::OfSharedRows(cls, rows);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(Props(*records[0], "First_Value"), "String \"v1\"");
    EXPECT_EQ(Props(*records[2], "Cell_Key"), "String \"k3\"");
    records[2]->Clear();
    EXPECT_EQ(Props(*records[2], "Cell_Key"), "String \"\"");
    kept = records[1];
  }
  EXPECT_EQ(Props(*kept, "First_Value First_Type"), "String \"v2\"; Long 8");
  kept->Let("First_Value", Variant("changed"));
  EXPECT_EQ(Props(*kept, "First_Value"), "String \"changed\"");
  EXPECT_EQ(kept, std::static_pointer_cast<QvRecord>(kept->shared_from_this()));
  kept->Clear();
  EXPECT_EQ(Props(*kept, "Cell_Key"), "String \"\"");
}

TEST_F(QvRecordTest, RejectsBadAccessAndChangesNothing) {
  QvRecordPtr r = InState(0);
  auto country = QvRecord::Create("Qv_Records.QvAdrCountry");
  auto self = QvRecord::Create(kTestType);
  testsupport::ExpectErrors({
      {"text into Long", [&] { r->Let("Count", Variant("abc")); }, vberr::kTypeMismatch},
      {"Long overflow", [&] { r->Let("Count", Variant(3e10)); }, vberr::kOverflow},
      {"Null into text", [&] { r->Let("Name", Variant::Null()); }, vberr::kInvalidUseOfNull},
      {"number as a sub-record", [&] { r->Let("Parent", Variant(5)); }, vberr::kObjectRequired},
      {"record of another type", [&] { r->Let("Parent", Variant(country)); }, vberr::kTypeMismatch},
      {"record as a collection", [&] { r->Let("Children", Variant(self)); }, vberr::kTypeMismatch},
      {"unknown property", [&] { r->Get("Nope"); }, vberr::kNotSupported},
      {"unknown property let", [&] { r->Let("Nope", Variant(1)); }, vberr::kNotSupported},
      {"RState is read-only", [&] { r->Let("RState", Variant(3)); }, vberr::kWrongArguments},
      {"property with arguments", [&] { r->CallV("Name", 1); }, vberr::kWrongArguments},
      {"SetID without its argument", [&] { r->CallV("SetID"); }, vberr::kArgumentNotOptional},
  });
  EXPECT_EQ(r->State(), kNew);
  EXPECT_TRUE(r->IsBlank());
}

TEST_F(QvRecordTest, SubRecordsAndCollectionsAreMadeOnFirstRead) {
  // What a first read gives is RecordTypes.EveryTypeIsCreatableByProgIdAndReadable's.
  QvRecordPtr r = InState(0);
  ObjectPtr parent = r->Get("Parent").AsObject();
  EXPECT_EQ(r->Get("Parent").AsObject(), parent);  // the same object each time
  EXPECT_EQ(r->State(), kNew);                     // reading does not change the owner

  parent->CallV("SetID", 3);
  EXPECT_EQ(r->SubRecord(r->PropertyIndex("parent"))->Id(), 3);
  auto other = QvRecord::Create(kTestType);
  r->Let("Parent", Variant(other));
  EXPECT_EQ(r->Get("Parent").AsObject(), other);
  r->Let("Parent", Variant::Nothing());  // dropped; the next read makes a new one
  EXPECT_NE(r->Get("Parent").AsObject(), other);

  r->CollectionAt(r->PropertyIndex("Children"))->Add(Variant(other));
  EXPECT_EQ(r->Get("children").ObjectAs<Collection>()->Count(), 1);
}

TEST_F(QvRecordTest, IsBlankLooksAtDataOnly) {
  const struct {
    const char* what;
    std::function<void(QvRecord&)> change;
    bool blank;
  } cases[] = {
      {"new", [](QvRecord&) {}, true},
      {"a default value assigned", [](QvRecord& r) { r.Let("Name", Variant("")); }, true},
      {"a change flag", [](QvRecord& r) { r.Let("ItemsModified", Variant(true)); }, true},
      {"a value", [](QvRecord& r) { r.Let("Count", Variant(1)); }, false},
      {"a referenced record", [](QvRecord& r) { r.Get("Parent").AsObject()->CallV("SetID", 1); },
       false},
      {"a new sub-record with data",
       [](QvRecord& r) { r.Get("Parent").AsObject()->Let("Name", Variant("p")); }, false},
      {"an item", [](QvRecord& r) { r.CollectionAt(r.PropertyIndex("Children"))->Add(1); }, false},
      {"a reference", [](QvRecord& r) { r.SetID(Variant(7)); }, false},
  };
  for (const auto& c : cases) {
    QvRecordPtr r = QvRecord::Create(kTestType);
    c.change(*r);
    EXPECT_EQ(r->Get("IsBlank"), Variant(c.blank)) << c.what;
  }
  EXPECT_EQ(Log(), "");
}

}  // namespace
}  // namespace qv::records
