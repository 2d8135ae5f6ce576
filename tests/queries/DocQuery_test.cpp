// The structured document search: each criterion of the query object alone
// and a few together, on one set of documents, with the joins its
// statement needs; criteria read from the documents' records (signing
// date, signer, tax offices); the other documents of a pension-fund pack;
// texts and lists that would change the statement.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaDate.h"
#include "records/DocumentFixture.h"

namespace qv::queries::testing {
namespace {

using records::testing::DocumentTest;
using records::testing::ExpectError;
using records::testing::kAnyError;

class DocQueryTest : public DocumentTest {
 protected:
  void SetUp() override {
    DocumentTest::SetUp();
    // Person 3, a branch of organisation 1, with a closed stream 7; a
    // signer (worker 1, Петров); the streams' tax offices 7701 and 7802.
    Sql("insert into Person (ID, Type, PersonRealID) values (3, 2, 2)");
    Sql("insert into LegalPerson (ID, ShortName, LPCategory) values (2, 'Филиал', 1)");
    Sql("insert into Branches (ID, ParentPersonID, ChildPersonID) values (1, 1, 3)");
    Sql("insert into AccStream (ID, PersonID, DisplayName, AccStreamType, LastYear) values (7, 3, "
        "'Branch', 1, 2024)");
    Sql("insert into Person (ID, Type, PersonRealID) values (4, 1, 2)");
    Sql("insert into NaturalPerson (ID, Surname) values (2, 'Петров')");
    Sql("insert into Personnel (ID, JobPlaceID, WorkerID) values (1, 1, 4)");
    Sql("insert into TaxOffice (ID, Code, ShortName, ContoraType, showorder) values (1, '7701', "
        "'ИФНС 1', 1, 0)");
    Sql("insert into TaxOffice (ID, Code, ShortName, ContoraType, showorder) values (2, '7802', "
        "'ИФНС 2', 1, 0)");
    Sql("update AccStream set TaxOfficeID = 1 where ID = 5");
    Sql("update AccStream set TaxOffice2ID = 2 where ID = 6");

    AddDoc(1, "Notes = 'Годовой * отчёт', SignDate = DateSerial(2025, 4, 10)");
    AddDoc(2,
           "time_id = 2514, template_id = 102, Status_Qv = 2, Notes = '', "
           "SignDate = DateSerial(2025, 5, 1), FLS_SignerID = 1");
    AddDoc(3, "taxpayer_id = 6, template_id = 201, Status_Qv = 3");
    AddDoc(4, "taxpayer_id = 7, time_id = 2501, top_doc_id = 5, Notes = 'годовой'");
    AddDoc(5,
           "taxpayer_id = 7, time_id = 2501, doc_type = 1, bottom_next_id = 4, Status_Qv = 2, "
           "Notes = 'квартал'");
    AddDoc(6, "time_id = 246, PfrMasterDocID = 2, Notes = 'x'");
  }

  struct Found {
    std::string ids;  // sorted
    std::string statement;
  };
  Found Search(const std::function<void(Object&)>& set) {
    ObjectPtr query = CreateObject("Qv_Records.QvDocQuery");
    set(*query);
    std::vector<Variant> args{Variant(query), Variant()};
    auto docs = std::dynamic_pointer_cast<Collection>(
        CreateObject("Qv_DBProvider.DocumentQueries")->Call("PerformDocQuery", args).AsObject());
    std::vector<double> ids;
    for (int32_t i = 1; i <= docs->Count(); ++i) {
      const double id = CDbl(docs->At(i).AsObject()->Get("ID"));
      EXPECT_TRUE(docs->FindByKey("_" + CStr(Variant(id)))) << id;
      ids.push_back(id);
    }
    std::sort(ids.begin(), ids.end());
    Found f;
    for (double id : ids) f.ids += (f.ids.empty() ? "" : ",") + CStr(Variant(id));
    const VariantArray& info = args[1].AsArray();
    f.statement = CStr(info.At(0));
    EXPECT_EQ(CLng(info.At(2)), std::min<int32_t>(CLng(info.At(1)), docs->Count()));
    return f;
  }
  static Variant List(std::initializer_list<double> ids) {
    auto c = std::make_shared<Collection>();
    for (double id : ids) c->Add(Variant(id));
    return Variant(ObjectPtr(c));
  }
};

size_t Joins(const std::string& sql) {
  size_t n = 0;
  for (size_t at = sql.find("JOIN"); at != std::string::npos; at = sql.find("JOIN", at + 1)) ++n;
  return n;
}

TEST_F(DocQueryTest, EachCriterionSelectsItsDocuments) {
  using Set = std::function<void(Object&)>;
  const auto on = [](const char* sw, std::vector<std::pair<const char*, Variant>> values) -> Set {
    return [=](Object& q) {
      q.Let(sw, Variant(true));
      for (const auto& [name, v] : values) q.Let(name, v);
    };
  };
  const struct {
    const char* name;
    Set set;
    const char* ids;
    size_t joins;
  } cases[] = {
      {"nothing asked", [](Object&) {}, "1,2,3,4,5,6", 0},
      {"in work", on("IsDocStatus", {{"DocStatuses", Variant(1)}}), "1,6", 0},
      {"in work or archived", on("IsDocStatus", {{"DocStatuses", Variant(9)}}), "1,4,6", 0},
      {"archived", on("IsDocStatus", {{"DocStatuses", Variant(8)}}), "4", 0},
      {"no status", on("IsDocStatus", {{"DocStatuses", Variant(0)}}), "", 0},
      {"no note", on("IsNotes", {{"NotesMode", Variant(1)}}), "2,3", 0},
      {"a note", on("IsNotes", {{"NotesMode", Variant(2)}}), "1,4,5,6", 0},
      {"a note with", on("IsNotes", {{"NotesMode", Variant(3)}, {"Notes", Variant("ГОДОВОЙ")}}),
       "1,4", 0},
      {"a star is a star", on("IsNotes", {{"NotesMode", Variant(3)}, {"Notes", Variant("*")}}),
       "1", 0},
      {"a quote", on("IsNotes", {{"NotesMode", Variant(3)}, {"Notes", Variant("x\" or \"1")}}), "",
       0},
      {"numbers", on("IsDocNum", {{"DocNumMode", Variant(1)}, {"DocNum1", Variant(2)},
                                  {"DocNum2", Variant(4)}}),
       "2,3,4", 0},
      {"the last two", on("IsDocNum", {{"DocNumMode", Variant(2)}, {"LastDocNumsCount", Variant(2)}}),
       "5,6", 0},
      {"templates", on("IsTemplate", {{"TemplatesMode", Variant(1)}, {"Templates", List({101})}}),
       "1,4,5,6", 0},
      {"doc types", on("IsTemplate", {{"TemplatesMode", Variant(2)}, {"Templates", List({20})}}),
       "3", 1},
      {"no template", on("IsTemplate", {{"TemplatesMode", Variant(1)}, {"Templates", List({})}}), "",
       0},
      {"one period", on("IsPeriods", {{"PeriodCriterion", Variant(1)}, {"OnePeriodYear", Variant(2025)},
                                      {"OnePeriodMonthID", Variant(13)}}),
       "1,3", 0},
      {"a period that is not", on("IsPeriods", {{"PeriodCriterion", Variant(1)},
                                                {"OnePeriodYear", Variant(2025)},
                                                {"OnePeriodMonthID", Variant(99)}}),
       "", 0},
      {"a range", on("IsPeriods", {{"PeriodCriterion", Variant(2)},
                                   {"RangePeriodYear1", Variant(2025)},
                                   {"RangePeriodMonth1", Variant(1)},
                                   {"RangePeriodYear2", Variant(2025)},
                                   {"RangePeriodMonth2", Variant(3)}}),
       "1,3,4,5", 0},
      {"months of a range", on("IsPeriods", {{"PeriodCriterion", Variant(2)},
                                             {"RangePeriodYear1", Variant(2025)},
                                             {"RangePeriodMonth1", Variant(1)},
                                             {"RangePeriodYear2", Variant(2025)},
                                             {"RangePeriodMonth2", Variant(6)},
                                             {"IsPeriodTypes", Variant(true)},
                                             {"PeriodTypes", Variant(1)}}),
       "4,5", 0},
      {"a long range", on("IsPeriods", {{"PeriodCriterion", Variant(2)},
                                        {"RangePeriodYear1", Variant(2020)},
                                        {"RangePeriodMonth1", Variant(1)},
                                        {"RangePeriodYear2", Variant(2026)},
                                        {"RangePeriodMonth2", Variant(12)}}),
       "1,2,3,4,5", 0},
      {"stream type 2", on("IsAccStreamType", {{"AccStreamTypes", Variant(2)}}), "3", 1},
      {"open streams", on("IsAccStreamOpeness", {{"AccStreamOpen", Variant(1)}}), "1,2,3,6", 1},
      {"closed streams", on("IsAccStreamOpeness", {{"AccStreamOpen", Variant(2)}}), "4,5", 1},
      {"streams", on("IsAccStreamsList", {{"AccStreamsList", List({6, 7})}}), "3,4,5", 0},
      {"owners", on("IsTaxpayers", {{"TaxpayersType", Variant(1)}, {"TaxpayersList", List({1})}}),
       "1,2,6", 1},
      {"branches", on("IsTaxpayers", {{"TaxpayersType", Variant(2)}, {"TaxpayersList", List({1})}}),
       "4,5", 2},
      {"branches and their parent",
       on("IsTaxpayers", {{"TaxpayersType", Variant(2)},
                          {"TaxpayersList", List({1})},
                          {"IncludeMainOrgDocs", Variant(true)}}),
       "1,2,4,5,6", 2},
      {"status and doc type",
       [](Object& q) {
         q.Let("IsDocStatus", Variant(true));
         q.Let("DocStatuses", Variant(3));
         q.Let("IsTemplate", Variant(true));
         q.Let("TemplatesMode", Variant(2));
         q.Let("Templates", List({10}));
         q.Let("IsAccStreamType", Variant(true));
         q.Let("AccStreamTypes", Variant(1));
       },
       "1,2,5,6", 2},
      {"signed in April", on("IsSignDate", {{"SignDate1", Variant(DateSerial(2025, 4, 1))},
                                            {"SignDate2", Variant(DateSerial(2025, 4, 30))}}),
       "1", 0},
      {"signed from May", on("IsSignDate", {{"SignDate1", Variant(DateSerial(2025, 5, 1))}}), "2",
       0},
      {"signer", on("IsSignerFio", {{"SignerSurname", Variant(" петров ")}}), "2", 0},
      {"first office", on("IsContoraPrefix1", {{"ContoraPrefix1", Variant("50, 77")}}), "1,2,6", 0},
      {"either office",
       [](Object& q) {
         q.Let("IsContoraPrefix1", Variant(true));
         q.Let("ContoraPrefix1", Variant("77"));
         q.Let("IsContoraPrefix2", Variant(true));
         q.Let("ContoraPrefix2", Variant("78"));
         q.Let("ContoraJoining", Variant(2));
       },
       "1,2,3,6", 0},
      {"both offices",
       [](Object& q) {
         q.Let("IsContoraPrefix1", Variant(true));
         q.Let("ContoraPrefix1", Variant("77"));
         q.Let("IsContoraPrefix2", Variant(true));
         q.Let("ContoraPrefix2", Variant("78"));
         q.Let("ContoraJoining", Variant(1));
       },
       "", 0},
      {"a master with its pack",
       [](Object& q) {
         q.Let("IsDocNum", Variant(true));
         q.Let("DocNumMode", Variant(1));
         q.Let("DocNum1", Variant(2));
         q.Let("DocNum2", Variant(2));
         q.Let("WholePfrCluster", Variant(true));
       },
       "2,6", 0},
      {"an end document with its master",
       [](Object& q) {
         q.Let("IsDocNum", Variant(true));
         q.Let("DocNumMode", Variant(1));
         q.Let("DocNum1", Variant(6));
         q.Let("DocNum2", Variant(6));
         q.Let("WholePfrCluster", Variant(true));
       },
       "2,6", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Found f = Search(c.set);
    EXPECT_EQ(f.ids, c.ids) << f.statement;
    EXPECT_EQ(Joins(f.statement), c.joins) << f.statement;
  }
}

// A list that is not identifiers is refused before any statement runs.
TEST_F(DocQueryTest, ListsHoldIdentifiers) {
  auto bad = std::make_shared<Collection>();
  bad->Add(Variant("1) or (1=1"));
  ExpectError(13, "", [&] {
    Search([&](Object& q) {
      q.Let("IsAccStreamsList", Variant(true));
      q.Let("AccStreamsList", Variant(ObjectPtr(bad)));
    });
  });
  ExpectError(13, "", [&] { Search([](Object& q) { q.Let("Templates", Variant(5)); }); });
}

}  // namespace
}  // namespace qv::queries::testing
