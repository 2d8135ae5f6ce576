// Saving through the mapper engine: the gates that leave a record alone, new
// identifiers, failed writes, tax-office ranges, and the recursive save of a
// consolidation document.

#include <gtest/gtest.h>

#include "records/EntityFixture.h"
#include "records/MapperEngine.h"
#include "records/ReferenceMappers.h"
#include "siblings/records/RecordFactory.h"

namespace qv::records::testing {
namespace {

// A stream type whose records are read-only, saved through ConsStream's map.
constexpr PropertyDef kStreamProps[] = {decl::Text("DisplayName"), decl::Long("LPCategory")};
constexpr RecordType kReadOnlyStream{
    .progId = "QvTest.ReadOnlyStream", .readOnly = true, .properties = kStreamProps};
[[maybe_unused]] const bool kRegistered = (RegisterRecordType(kReadOnlyStream), true);

constexpr ColumnDef kStreamColumns[] = {col::Text("DisplayName"), col::Long("LPCategory")};
constexpr ColumnMap kStreamMap{"ConsStream", kStreamColumns};
const MapperDef kReadOnlyDef{"QvTest.ReadOnlyStream", kStreamMap, true};

using MapperSave = EntityTest;

TEST_F(MapperSave, GatesLeaveTheRowAndTheRecordAlone) {
  Sql("insert into ConsStream (ID, DisplayName, LPCategory) values (5, 'stored', 2)");
  // Each case makes a record aimed at row 5 (or a new row) that must not be
  // written; the last two are the controls that are.
  using Edit = std::function<void(const QvRecordPtr&)>;
  const auto set = [](const char* name, Variant v) -> Edit {
    return [=](const QvRecordPtr& r) { r->Let(name, v); };
  };
  const char* kCons = "Qv_Records.QvConsStream";
  const struct {
    const char* what;
    const char* type;
    bool read;  // row 5 read into the record first
    Edit edit;
    bool written;
  } cases[] = {
      {"state 0 (marked not found, id kept)", kCons, false,
       [](const QvRecordPtr& r) { r->MarkNotFound(Variant(5.0)); }, false},
      {"state 1 (a reference not read)", kCons, false,
       [](const QvRecordPtr& r) { r->SetID(Variant(5.0)); }, false},
      {"state 4 (deleted, then changed)", kCons, true,
       [](const QvRecordPtr& r) { r->Delete(), r->Let("DisplayName", Variant("changed")); }, false},
      {"read-only record", "QvTest.ReadOnlyStream", false, set("DisplayName", Variant("changed")),
       false},
      {"blank new record (state 2, all defaults)", kCons, false, set("DisplayName", Variant("")),
       false},
      {"state 3 whose row is gone", kCons, false,
       [](const QvRecordPtr& r) {
         r->BeginLoad(Variant(12.0)), r->EndLoad(), r->Let("DisplayName", Variant("ghost"));
       },
       false},
      {"control: state 3, changed", kCons, true, set("DisplayName", Variant("changed")), true},
      {"control: new with a value", kCons, false, set("LPCategory", Variant(int32_t{7})), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sql("update ConsStream set DisplayName = 'stored' where ID = 5");
    Sql("delete from ConsStream where ID <> 5");
    QvRecordPtr r = QvRecord::Create(c.type);
    if (c.read) DBConsStream().ReadRecord(5, Obj(r));
    c.edit(r);
    int32_t stateBefore = r->State();
    double idBefore = r->Id();
    notices_.clear();
    if (r->Type().readOnly)
      SaveRow(*db_, kReadOnlyDef, *r, false);
    else
      DBConsStream().SaveRecord(Obj(r), false);
    bool changed = CStr(Scalar("select DisplayName from ConsStream where ID = 5")) != "stored" ||
                   Count("ConsStream") != 1;
    EXPECT_EQ(changed, c.written);
    if (!c.written) {
      EXPECT_TRUE(notices_.empty());
      EXPECT_EQ(r->State(), stateBefore);
      EXPECT_EQ(r->Id(), idBefore);
    } else {
      EXPECT_EQ(notices_.size(), 1u);
      EXPECT_EQ(r->State(), kLoaded);
    }
  }
}

TEST_F(MapperSave, NewIdentifierIsLastPlusOne) {
  const struct {
    std::vector<const char*> rows;  // inserted first
    double expected;
  } cases[] = {
      {{}, 1},
      {{"(41, 'a', 0)"}, 42},
      {{"(41, 'a', 0)", "(3, 'b', 0)"}, 42},  // index order, not insertion order
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rows.size());
    Sql("delete from ConsStream");
    for (const char* row : c.rows)
      Sql(std::string("insert into ConsStream (ID, DisplayName, LPCategory) values ") + row);
    auto r = New("QvConsStream");
    r->Let("DisplayName", Variant("new"));
    notices_.clear();
    DBConsStream().SaveRecord(Obj(r), false);
    EXPECT_EQ(r->Id(), c.expected);
    EXPECT_EQ(r->State(), kLoaded);
    EXPECT_EQ(
        CStr(Scalar("select DisplayName from ConsStream where ID = " + CStr(Variant(c.expected)))),
        "new");
    EXPECT_EQ(notices_,
              std::vector<std::string>{"insert QvConsStream " + CStr(Variant(c.expected))});
    // Saved again, the same row is updated.
    r->Let("LPCategory", Variant(int32_t{3}));
    DBConsStream().SaveRecord(Obj(r), false);
    EXPECT_EQ(
        CLng(Scalar("select LPCategory from ConsStream where ID = " + CStr(Variant(c.expected)))),
        3);
    EXPECT_EQ(notices_.back(), "update QvConsStream " + CStr(Variant(c.expected)));
  }
}

// A stream type whose category is a text, so that a value the Long column
// cannot take makes a field write fail.
constexpr PropertyDef kBadStreamProps[] = {decl::Text("DisplayName"), decl::Text("LPCategory")};
constexpr RecordType kBadStream{.progId = "QvTest.BadStream", .properties = kBadStreamProps};
[[maybe_unused]] const bool kBadRegistered = (RegisterRecordType(kBadStream), true);
constexpr ColumnDef kBadColumns[] = {col::Text("DisplayName"), col::Text("LPCategory")};
constexpr ColumnMap kBadMap{"ConsStream", kBadColumns};
const MapperDef kBadDef{"QvTest.BadStream", kBadMap, true};

TEST_F(MapperSave, FailedWriteLeavesNoRowAndNamesTheField) {
  auto r = QvRecord::Create("QvTest.BadStream");
  r->Let("DisplayName", Variant("named"));
  r->Let("LPCategory", Variant("not a number"));
  ExpectError(kAnyError, "Table: ConsStream, Field: LPCategory, Value: ", [&] {
    SaveRow(*db_, kBadDef, *r, false);
  });
  EXPECT_EQ(Count("ConsStream"), 0);
  EXPECT_TRUE(notices_.empty());
  EXPECT_EQ(r->Id(), 0);  // still new: the next save inserts
  // The recordset was released: the table takes the next save.
  r->Let("LPCategory", Variant("7"));
  SaveRow(*db_, kBadDef, *r, false);
  EXPECT_EQ(Count("ConsStream"), 1);
}

TEST_F(MapperSave, TaxOfficesSplitByIdentifierRange) {
  Sql("insert into TaxOffice (ID, Code, ShortName, FullName, KPP, ContoraType) "
      "values (500, '7701', 'IFNS 1', 'IFNS number 1', ' 77о1a ', 1)");
  const struct {
    const char* what;
    const char* userRows;  // UserContoras before the save
    double id;             // the record's identifier (0: new)
    double expectedId;     // after the save; 0: nothing written
  } cases[] = {
      {"first user office", "", 0, 1000000001},
      {"after the last user office", "(1000000005, 'x', 'x', 0)", 0, 1000000006},
      {"small ids in the user table are raised", "(12, 'x', 'x', 0)", 0, 1000000001},
      {"a user id without row is inserted under it", "", 1000000009, 1000000009},
      {"an existing user office is updated", "(1000000003, 'old', 'old', 0)", 1000000003,
       1000000003},
      {"a system office is left alone", "", 500, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sql("delete from UserContoras");
    if (*c.userRows)
      Sql(std::string("insert into UserContoras (ID, Code, Name, ContoraType) values ") +
          c.userRows);
    auto r = New("QvTaxOffice");
    if (c.id != 0) {
      r->BeginLoad(Variant(c.id));
      r->EndLoad();
    }
    r->Let("Code", Variant("9901"));
    r->Let("ShortName", Variant("short"));
    r->Let("FullName", Variant("User office"));
    r->Let("ContoraType", Variant(int32_t{4}));
    int32_t usersBefore = Count("UserContoras");
    notices_.clear();
    DBTaxOffice().SaveRecord(Obj(r), false);
    EXPECT_EQ(CStr(Scalar("select FullName from TaxOffice where ID = 500")), "IFNS number 1");
    if (c.expectedId == 0) {
      EXPECT_EQ(Count("UserContoras"), usersBefore);
      EXPECT_TRUE(notices_.empty());
      continue;
    }
    EXPECT_EQ(r->Id(), c.expectedId);
    EXPECT_EQ(Text("select Name & '|' & Code & '|' & ContoraType from UserContoras where ID = " +
                   CStr(Variant(c.expectedId))),
              "User office|9901|4");
  }
  // A new office without code or names is not stored; a code alone is enough.
  Sql("delete from UserContoras");
  auto empty = New("QvTaxOffice");
  empty->Let("ContoraType", Variant(int32_t{4}));
  DBTaxOffice().SaveRecord(Obj(empty), false);
  EXPECT_EQ(Count("UserContoras"), 0);
  empty->Let("Code", Variant("9902"));
  DBTaxOffice().SaveRecord(Obj(empty), false);
  EXPECT_EQ(Count("UserContoras"), 1);
}

TEST_F(MapperSave, TaxOfficeReadDeleteAndExistsFollowTheRange) {
  Sql("insert into TaxOffice (ID, Code, ShortName, FullName, Address, INN, KPP, Email, Phone, "
      "ContoraType) values (500, '7701', 'IFNS 1', 'IFNS number 1', 'Moscow', '7701000001', "
      "' 77к1ak ', 'a@b', '123', 1)");
  Sql("insert into UserContoras (ID, Code, Name, ContoraType) values (1000000001, '9901', 'Mine', "
      "3)");
  auto r = New("QvTaxOffice");
  DBTaxOffice mapper;
  mapper.ReadRecord(500, Obj(r));
  EXPECT_EQ(CStr(r->Get("KPP")), "77K1AK");  // trimmed, upper-cased, Cyrillic к made Latin
  EXPECT_EQ(CStr(r->Get("Address")), "Moscow");
  // Reading a user office into the same record fills the derived fields.
  mapper.ReadRecord(1000000001, Obj(r));
  EXPECT_EQ(r->State(), kLoaded);
  std::string props;
  for (const char* name :
       {"Code", "ShortName", "FullName", "Address", "INN", "KPP", "Email", "Phone", "ContoraType"})
    props += CStr(r->Get(name)) + "|";
  EXPECT_EQ(props, "9901|Mine|Mine||||||3|");

  for (double id : {500.0, 1000000001.0, 501.0, 1000000002.0})
    EXPECT_EQ(mapper.IsRecordExists(id), id == 500 || id == 1000000001) << id;
  mapper.ReadRecord(-3, Obj(r));
  EXPECT_EQ(r->State(), kNew);
  EXPECT_EQ(r->Id(), -3);

  auto system = ReadWith(mapper, "QvTaxOffice", 500);
  mapper.DeleteRecord(Obj(system));
  EXPECT_EQ(Count("TaxOffice"), 1);
  EXPECT_TRUE(notices_.empty());
  auto user = ReadWith(mapper, "QvTaxOffice", 1000000001);
  mapper.DeleteRecord(Obj(user));
  EXPECT_EQ(Count("UserContoras"), 0);
  EXPECT_EQ(notices_, std::vector<std::string>{"delete QvTaxOffice 1000000001"});
}

TEST_F(MapperSave, ConsolidationDocumentSavesItsStreamFirst) {
  Sql("insert into ConsStream (ID, DisplayName, LPCategory) values (41, 'old', 0)");
  const struct {
    const char* what;
    bool recursive;
    int32_t streamKind;  // 0 a new stream, 1 a deleted one, 2 a reference not read
    double streamRef;    // ConsStream_ID written
    int32_t streams;     // ConsStream rows afterwards
  } cases[] = {
      {"recursive, new stream", true, 0, 42, 2},
      {"not recursive, new stream", false, 0, 0, 1},
      {"recursive, deleted stream", true, 1, 0, 1},
      {"recursive, reference left alone", true, 2, 41, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sql("delete from ConsStream where ID <> 41");
    Sql("delete from ConsDocs");
    auto doc = New("QvConsDocument");
    doc->SubRecord(doc->PropertyIndex("Template"))->SetID(Variant(3.0));
    doc->SubRecord(doc->PropertyIndex("Time"))->SetID(Variant(4.0));
    auto stream = doc->SubRecord(doc->PropertyIndex("ConsStream"));
    if (c.streamKind == 0) {
      stream->Let("DisplayName", Variant("fresh"));
    } else if (c.streamKind == 1) {
      stream->SetID(Variant(41.0));
      stream->Delete();
    } else {
      stream->SetID(Variant(41.0));
    }
    doc->Let("DisplayName", Variant("consolidated"));
    notices_.clear();
    DBConsDocument().SaveRecord(Obj(doc), c.recursive);
    EXPECT_EQ(Count("ConsStream"), c.streams);
    EXPECT_EQ(Text("select ConsStream_ID & '|' & Template_ID & '|' & Time_ID & '|' & DisplayName "
                   "from ConsDocs where ID = 1"),
              CStr(Variant(c.streamRef)) + "|3|4|consolidated");
    if (c.streams == 2) {
      EXPECT_EQ(CStr(Scalar("select DisplayName from ConsStream where ID = 42")), "fresh");
      EXPECT_EQ(notices_, (std::vector<std::string>{"insert QvConsStream 42",
                                                    "insert QvConsDocument 1"}));  // stream first
    }
  }
}

}  // namespace
}  // namespace qv::records::testing
