// Reading, existence, deletion and late binding of the reference mappers, and
// records that load themselves through their mapper by ProgID.

#include <gtest/gtest.h>

#include "platform/automation/VbaDate.h"
#include "records/EntityFixture.h"
#include "records/MapperEngine.h"
#include "records/ReferenceMappers.h"

namespace qv::records::testing {
namespace {

using MapperRead = EntityTest;

TEST_F(MapperRead, EachMapperFillsItsRecordFromItsRow) {
  Sql("insert into Country (ID, Alfa2, Alfa3, Code, ShortName, FullName) "
      "values (643, 'RU', 'RUS', '643', 'Russia', 'Russian Federation')");
  Sql("insert into Region (ID, Code, Name, NameNoAb, AbName) values (77, '77', 'Moscow c', "
      "'Moscow', 'c')");
  Sql("insert into CertificateType (ID, GroupID, Code, Name, PfrCode) values (21, 2, '21', "
      "'Passport', 'PASS')");
  Sql("insert into doc_type_class (doc_type_id, ID, KND, name_short, send_type) values (8, 8, "
      "'1151001', 'VAT', 3)");
  Sql("insert into time_by_month (time_id, the_year, report_id, beg_date, end_date) values "
      "(900001, 2024, 13, #01/01/2024#, #03/31/2024#)");
  Sql("insert into doc_templates (template_id, full_name, Name, doc_type_id, enable, Sign_Exec, "
      "PfrMaster) values (31, 'VAT return', 'VAT', 8, 1, true, 1)");
  Sql("insert into ConsStream (ID, DisplayName, LPCategory) values (5, 'Group', 2)");
  Sql("insert into ConsDocs (ID, Template_ID, Time_ID, ConsStream_ID, DisplayName) values (6, "
      "31, 900001, 5, 'Doc')");
  Sql("insert into AccStreamOfrLicenses (ID, AccStreamID, Number, OfrLicTypeID) values (2, 12, "
      "'L-7', 4)");
  const struct {
    const char* mapper;
    const char* type;
    double id;
    const char* property;
    Variant expected;
  } cases[] = {
      {"DBAdrCountry", "QvAdrCountry", 643, "FullName", Variant("Russian Federation")},
      {"DBAdrRegion", "QvAdrRegion", 77, "Name", Variant("Moscow c")},
      {"DBIdentityType", "QvIdentityType", 21, "GroupID", Variant(int32_t{2})},
      {"DBIdentityType", "QvIdentityType", 21, "SeriesPattern", Variant("")},  // Null
      {"DBTemplType", "QvTemplType", 8, "send_type", Variant(int32_t{3})},
      {"DBTemplType", "QvTemplType", 8, "Accumulated", Variant(int32_t{0})},  // Null
      {"DBTimePeriod", "QvTimePeriod", 900001, "End_Date", Variant(DateSerial(2024, 3, 31))},
      {"DBTimePeriod", "QvTimePeriod", 900001, "PeriodOrder", Variant(int32_t{4})},
      {"DBTemplate", "QvTemplate", 31, "Full_Name", Variant("VAT return")},
      {"DBTemplate", "QvTemplate", 31, "Sign_Exec", Variant(true)},
      {"DBTemplate", "QvTemplate", 31, "PfrMaster", Variant(true)},
      {"DBTemplate", "QvTemplate", 31, "Creatable", Variant(false)},       // Null
      {"DBTemplate", "QvTemplate", 31, "Begin_Date", Variant(OleDate{})},  // Null
      {"DBConsStream", "QvConsStream", 5, "LPCategory", Variant(int32_t{2})},
      {"DBConsDocument", "QvConsDocument", 6, "DisplayName", Variant("Doc")},
      {"DBOfrLicense", "QvOfrLicense", 2, "AccStreamID", Variant(12.0)},
      {"DBOfrLicense", "QvOfrLicense", 2, "OfrLicTypeID", Variant(int32_t{4})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mapper) + "." + c.property);
    ObjectPtr mapper = CreateObject(std::string("Qv_DBProvider.") + c.mapper);
    auto r = New(c.type);
    mapper->CallV("ReadRecord", c.id, Obj(r));
    EXPECT_EQ(r->State(), kLoaded);
    EXPECT_EQ(r->Id(), c.id);
    EXPECT_EQ(r->Get(c.property), c.expected);
    EXPECT_TRUE(CBool(mapper->CallV("IsRecordExists", c.id)));
    EXPECT_FALSE(CBool(mapper->CallV("IsRecordExists", c.id + 1)));
    // A missing row marks the record, keeping the identifier asked for; its
    // values are a new record's. Read again, the row fills it as before.
    mapper->CallV("ReadRecord", c.id + 1, Obj(r));
    EXPECT_EQ(r->State(), kNew);
    EXPECT_EQ(r->Id(), c.id + 1);
    EXPECT_EQ(r->Get(c.property).Describe(), New(c.type)->Get(c.property).Describe());
    mapper->CallV("ReadRecord", c.id, Obj(r));
    EXPECT_EQ(r->Get(c.property), c.expected);
  }
  // Sub-records get their identifier only, and read themselves on first use.
  auto doc = ReadWith(DBConsDocument(), "QvConsDocument", 6);
  auto tmpl = doc->SubRecord(doc->PropertyIndex("Template"));
  EXPECT_EQ(tmpl->State(), kReference);
  EXPECT_EQ(tmpl->Id(), 31);
  EXPECT_EQ(doc->SubRecord(doc->PropertyIndex("Template")), tmpl);  // made once
  ObjectPtr docType = tmpl->Get("Doc_Type").AsObject();             // loads the template
  EXPECT_EQ(tmpl->State(), kLoaded);
  EXPECT_EQ(CStr(docType->Get("KND")), "1151001");  // loads the document class
  EXPECT_EQ(CLng(doc->SubRecord(doc->PropertyIndex("Time"))->Get("The_Year")), 2024);
  EXPECT_EQ(CStr(doc->SubRecord(doc->PropertyIndex("ConsStream"))->Get("DisplayName")), "Group");
  // Country 990 exists without a row.
  EXPECT_TRUE(DBAdrCountry().IsRecordExists(990));
  EXPECT_FALSE(DBAdrCountry().IsRecordExists(991));
  EXPECT_FALSE(DBAdrCountry().IsRecordExists(0));
}

TEST_F(MapperRead, PeriodOrderFollowsTheYear) {
  const struct {
    int32_t reportId, order;
  } cases[] = {{1, 1},   {13, 4},  {24, 21}, {18, 91}, {22, 99},
               {30, 99}, {31, 99}, {0, 99},  {-1, 99}};
  for (const auto& c : cases) EXPECT_EQ(PeriodOrderOf(c.reportId), c.order) << c.reportId;
}

TEST_F(MapperRead, IdentifierZeroClearsWithoutTheDatabase) {
  Sql("insert into ConsStream (ID, DisplayName) values (5, 'Group')");
  auto r = ReadWith(DBConsStream(), "QvConsStream", 5);
  SetUserDatabaseProvider(nullptr);
  DBConsStream().ReadRecord(0, Obj(r));
  EXPECT_EQ(r->State(), kNew);
  EXPECT_EQ(CStr(r->Get("DisplayName")), "");
  // Anything else needs the database.
  ExpectError(vberr::kObjectNotSet, "", [&] { DBConsStream().ReadRecord(5, Obj(r)); });
}

TEST_F(MapperRead, DeleteRecordRemovesTheRowAndNotifies) {
  InsertRows("insert into ConsStream (ID, DisplayName)", {"(5, 'a')", "(6, 'b')"});
  ObjectPtr mapper = CreateObject("Qv_DBProvider.DBConsStream");
  auto r = ReadWith(DBConsStream(), "QvConsStream", 5);
  mapper->CallV("DeleteRecord", Obj(r));
  EXPECT_EQ(Count("ConsStream"), 1);
  EXPECT_EQ(r->State(), kDeleted);
  // The row is already gone: still told.
  mapper->CallV("DeleteRecord", Obj(r));
  EXPECT_EQ(notices_, (std::vector<std::string>{"delete QvConsStream 5", "delete QvConsStream 5"}));
  // Nothing, or a record without identifier: nothing happens.
  mapper->CallV("DeleteRecord", Variant::Nothing());
  mapper->CallV("DeleteRecord", Obj(New("QvConsStream")));
  EXPECT_EQ(notices_.size(), 2u);
  EXPECT_EQ(Count("ConsStream"), 1);
  // Read-only mappers accept the call and keep their rows.
  Sql("insert into Country (ID, ShortName) values (643, 'Russia')");
  auto country = ReadWith(DBAdrCountry(), "QvAdrCountry", 643);
  CreateObject("Qv_DBProvider.DBAdrCountry")->CallV("DeleteRecord", Obj(country));
  CreateObject("Qv_DBProvider.DBAdrCountry")->CallV("SaveRecord", Obj(country), true);
  EXPECT_EQ(Count("Country"), 1);
}

TEST_F(MapperRead, LateBoundCallsCheckTheRecordType) {
  ObjectPtr mapper = CreateObject("qv_dbprovider.dbconsstream");
  EXPECT_EQ(mapper->Class().ProgId(), "Qv_DBProvider.DBConsStream");
  ExpectError(vberr::kTypeMismatch, "[Qv_DBProvider::DBConsStream.ReadRecord",
              [&] { mapper->CallV("ReadRecord", 5.0, Obj(New("QvAdrCountry"))); });
  ExpectError(vberr::kTypeMismatch, "[Qv_DBProvider::DBConsStream.SaveRecord",
              [&] { mapper->CallV("SaveRecord", Obj(New("QvAddress")), false); });
  ExpectError(vberr::kTypeMismatch, "",
              [&] { mapper->CallV("SaveRecord", Variant("text"), false); });
  ExpectError(vberr::kObjectRequired, "",
              [&] { mapper->CallV("ReadRecord", 5.0, Variant::Nothing()); });
  // A record's own save and delete go through the same mapper by ProgID.
  auto r = New("QvConsStream");
  r->Let("DisplayName", Variant("mine"));
  r->CallV("SaveToStore", false);
  EXPECT_EQ(r->Id(), 1);
  EXPECT_EQ(CStr(Scalar("select DisplayName from ConsStream where ID = 1")), "mine");
  r->CallV("DeleteFromStore");
  EXPECT_EQ(Count("ConsStream"), 0);
}

TEST_F(MapperRead, AMapThatDoesNotFitItsTypeIsAnError) {
  // A column without its property fails before the read (the record keeps
  // what it held); a value its property cannot take fails in the middle of
  // the load, its slot and the ones after it back to their defaults.
  constexpr static ColumnDef kNoProperty[] = {col::Text("DisplayName"), col::Text("NoSuchColumn")};
  constexpr static ColumnDef kTextIntoLong[] = {col::Text("DisplayName", "LPCategory"),
                                                col::Text("DisplayName")};
  constexpr static ColumnMap kMaps[] = {{"ConsStream", kNoProperty}, {"ConsStream", kTextIntoLong}};
  const struct {
    const ColumnMap& map;
    int32_t error;
    const char* where;
    const char* values;  // DisplayName, LPCategory afterwards
  } cases[] = {{kMaps[0], vberr::kInvalidProcedureCall, "NoSuchColumn", "String \"a\" Long 2"},
               {kMaps[1], vberr::kTypeMismatch, "", "String \"\" Long 0"}};
  Sql("insert into ConsStream (ID, DisplayName, LPCategory) values (5, 'a', 2)");
  for (const auto& c : cases) {
    auto r = ReadWith(DBConsStream(), "QvConsStream", 5);
    const MapperDef def{"Qv_Records.QvConsStream", c.map, true};
    ExpectError(c.error, c.where, [&] { ReadRow(*db_, def, 5, *r); });
    EXPECT_EQ(r->Get("DisplayName").Describe() + " " + r->Get("LPCategory").Describe(), c.values);
  }
  // A base column cannot fill a lazy group's property (a load writes a base
  // column into its property's slot).
  constexpr static ColumnDef kBaseIntoLazy[] = {col::Text("DisplayName", "OCATO")};
  constexpr static ColumnMap kLazyMap{"ConsStream", kBaseIntoLazy};
  const MapperDef lazy{"Qv_Records.QvAccStream", kLazyMap, true};
  ExpectError(vberr::kInvalidProcedureCall, "OCATO",
              [&] { ReadRow(*db_, lazy, 5, *New("QvAccStream")); });
}

}  // namespace
}  // namespace qv::records::testing
