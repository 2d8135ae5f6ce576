// Collections built from a recordset's identifier column.

#include "records/miRecCollection.h"

#include <gtest/gtest.h>

#include "records/EntityFixture.h"
#include "siblings/records/RecordFactory.h"

namespace qv::records::testing {
namespace {

using RecCollection = EntityTest;

// "Double 5 _5; ..." of a collection: each item described, with its key.
std::string Items(const Collection& c) {
  std::string out;
  for (int32_t i = 1; i <= c.Count(); ++i)
    out += (i > 1 ? "; " : "") + c.At(i).Describe() + (c.KeyAt(i).empty() ? "" : " " + c.KeyAt(i));
  return out;
}

TEST_F(RecCollection, IdentifiersInRowOrder) {
  InsertRows("insert into ConsMembers (ID, ConsStreamID, AccStreamID)",
             {"(1, 5, 10)", "(2, 7, 11)", "(3, 5, 12)", "(4, Null, 13)"});
  const struct {
    const char* sql;
    bool unique;
    const char* items;
  } cases[] = {
      {"select ConsStreamID from ConsMembers where ID < 4 order by ID", false,
       "Double 5; Double 7; Double 5"},
      {"select ConsStreamID from ConsMembers where ID < 4 order by ID", true,
       "Double 5 _5; Double 7 _7"},
      {"select ConsStreamID from ConsMembers order by ID desc", false,
       "Double 0; Double 5; Double 7; Double 5"},
      {"select ConsStreamID from ConsMembers where ID > 9", true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.sql) + (c.unique ? " unique" : ""));
    auto rs = db_->OpenStatement(c.sql, dao::dbOpenSnapshot);
    if (!rs->IsEOF()) rs->MoveLast();  // the builder starts from the first row itself
    CollectionPtr out = miRecCollection::GetIDCollection(*rs, "ConsStreamID", c.unique);
    EXPECT_EQ(Items(*out), c.items);
  }
  auto rs = db_->OpenStatement("select ConsStreamID from ConsMembers", dao::dbOpenSnapshot);
  ExpectError(vberr::kInvalidUseOfNull, "miRecCollection.GetIDCollection",
              [&] { miRecCollection::GetIDCollection(*rs, "ConsStreamID", true); });
  ExpectError(kAnyError, "", [&] { miRecCollection::GetIDCollection(*rs, "NoSuchColumn", false); });
}

TEST_F(RecCollection, EachBuilderMakesItsRecordType) {
  InsertRows("insert into ConsMembers (ID, ConsStreamID, AccStreamID)",
             {"(1, 5, 10)", "(2, Null, 11)", "(3, 6, 12)"});
  Sql("insert into PfrSubDocs (ID, SubDocType) values (5, 7)");
  Sql("insert into PfrPersons (ID, Surname) values (5, 'Orlov')");
  Sql("insert into doc_registry (document_id) values (5)");
  using Builder = CollectionPtr (*)(dao::Recordset&, const std::string&);
  const Builder documents = [](dao::Recordset& rs, const std::string& column) {
    return miRecCollection::GetRecCollection_QvDocument(rs, column, false);
  };
  const Builder documentsLoaded = [](dao::Recordset& rs, const std::string& column) {
    return miRecCollection::GetRecCollection_QvDocument(rs, column, true);
  };
  // Each builder with the record type it makes. Its records are references
  // that read themselves on first use (as the factory's records do), or,
  // preloaded, read through their mappers before anything asks: row 5
  // holds, row 6 is missing.
  const struct {
    Builder build;
    const char* type;
    bool preloaded = false;
  } cases[] = {
      {&miRecCollection::GetRecCollection_QvPerson, "Qv_Records.QvPerson"},
      {&miRecCollection::GetRecCollection_QvAccStream, "Qv_Records.QvAccStream"},
      {&miRecCollection::GetRecCollection_QvConsStream, "Qv_Records.QvConsStream"},
      {&miRecCollection::GetRecCollection_QvWorker, "Qv_Records.QvWorker"},
      {&miRecCollection::GetRecCollection_QvTimePeriod, "Qv_Records.QvTimePeriod"},
      {&miRecCollection::GetRecCollection_QvPfrSubDoc, "Qv_PfrRecords.QvPfrSubDoc"},
      {&miRecCollection::GetRecCollection_QvPfrAddress, "Qv_PfrRecords.QvPfrAddress"},
      {&miRecCollection::GetRecCollection_QvWarrant, "Qv_Records.QvWarrant"},
      {&miRecCollection::GetRecCollection_QvAttachmentDoc, "Qv_Records.QvAttachmentDoc"},
      {&miRecCollection::GetRecCollection_QvStoredFile, "Qv_Records.QvStoredFile"},
      {&miRecCollection::GetRecCollection_QvTemplate, "Qv_Records.QvTemplate"},
      {&miRecCollection::GetRecCollection_QvTemplType, "Qv_Records.QvTemplType"},
      {&miRecCollection::GetRecCollection_QvAccProfile, "Qv_Records.QvAccProfile"},
      {&miRecCollection::GetRecCollection_QvPfrManualSheaf, "Qv_PfrRecords.QvPfrManualSheaf"},
      {&miRecCollection::GetRecCollection_QvPfrPerson, "Qv_PfrRecords.QvPfrPerson"},
      {&miRecCollection::GetRecCollection_QvStdProfile, "Qv_Records.QvStdProfile"},
      {&miRecCollection::GetRecCollection_QvWjEvent, "Qv_PfrRecords.QvWjEvent"},
      {&miRecCollection::GetRecCollection_QvPfrSubDocPreloaded, "Qv_PfrRecords.QvPfrSubDoc", true},
      {&miRecCollection::GetRecCollection_QvPfrPersonWithNonLazyFields, "Qv_PfrRecords.QvPfrPerson",
       true},
      {documents, "Qv_Records.QvDocument"},
      {documentsLoaded, "Qv_Records.QvDocument", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.type) + (c.preloaded ? " preloaded" : ""));
    auto rs =
        db_->OpenStatement("select ConsStreamID from ConsMembers order by ID", dao::dbOpenSnapshot);
    CollectionPtr out = c.build(*rs, "ConsStreamID");
    ASSERT_EQ(out->Count(), 3);
    auto five = out->At(1).ObjectAs<QvRecord>();
    auto none = out->At(2).ObjectAs<QvRecord>();
    auto six = out->At(3).ObjectAs<QvRecord>();
    ASSERT_TRUE(five && none && six);
    EXPECT_EQ(five->Type().progId, std::string_view(c.type));
    EXPECT_EQ(five->Id(), 5);
    EXPECT_EQ(five->State(), c.preloaded ? kLoaded : kReference);
    EXPECT_EQ(none->Id(), 0);  // Null
    EXPECT_EQ(none->State(), kNew);
    EXPECT_EQ(six->State(), c.preloaded ? kNew : kReference);
  }
}

TEST_F(RecCollection, WorkJournalEventsWithOptions) {
  InsertRows("insert into ConsMembers (ID, ConsStreamID, AccStreamID)",
             {"(1, 5, 10)", "(2, 7, 11)", "(3, 5, 12)"});
  const struct {
    bool bareIds, keyed;
    std::vector<double> ids;
    std::vector<std::string> keys;
  } cases[] = {
      {true, false, {5, 7, 5}, {"", "", ""}},
      {true, true, {5, 7}, {"_5", "_7"}},
      {false, true, {5, 7}, {"_5", "_7"}},
      {false, false, {5, 7, 5}, {"", "", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bareIds) + std::to_string(c.keyed));
    auto rs =
        db_->OpenStatement("select ConsStreamID from ConsMembers order by ID", dao::dbOpenSnapshot);
    CollectionPtr out = miRecCollection::GetRecCollection_QvWjEvent_Ex(*rs, "ConsStreamID",
                                                                       c.bareIds, c.keyed, false);
    ASSERT_EQ(out->Count(), static_cast<int32_t>(c.ids.size()));
    for (int32_t i = 1; i <= out->Count(); ++i) {
      const Variant& item = out->At(i);
      if (c.bareIds) {
        EXPECT_EQ(item, Variant(c.ids[i - 1]));
      } else {
        auto rec = item.ObjectAs<QvRecord>();
        ASSERT_TRUE(rec);
        EXPECT_EQ(rec->Type().progId, "Qv_PfrRecords.QvWjEvent");
        EXPECT_EQ(rec->Id(), c.ids[i - 1]);
        EXPECT_FALSE(rec->LoadOnSetID());
      }
      EXPECT_EQ(out->KeyAt(i), c.keys[i - 1]);
    }
  }
}

}  // namespace
}  // namespace qv::records::testing
