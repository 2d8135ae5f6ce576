// The blank queries on one data set: forms of three doc types with older
// and newer template versions, disabled and non-ordinary forms, a form
// published without deadline; a main organisation with two branches, an
// entrepreneur, a consolidation stream; documents in several versions,
// instances and folders; profiles of streams.

#include <gtest/gtest.h>

#include "platform/automation/Object.h"
#include "platform/automation/VbaDate.h"
#include "queries/BlankQueries.h"
#include "queries/PersonQueriesFixture.h"

namespace qv::queries::testing {
namespace {

constexpr double kQ1 = 2513, kQ2 = 2514, kYear = 2517;

class BlankQueriesTest : public PersonQueriesTest {
 protected:
  void SetUp() override {
    PersonQueriesTest::SetUp();
    InsertRows("insert into doc_type_class (doc_type_id, ID, list_order, instance_permission)",
               {"(10, 10, 2, 1)", "(20, 20, 1, 0)", "(30, 30, 3, 0)"});
    // template, class, enable, Payments_List, folder, begin, end, attachment set
    InsertRows(
        "insert into doc_templates (template_id, doc_type_id, enable, Payments_List, FolderID, "
        "begin_date, end_date, AttachmentsSet)",
        {"(101, 10, 1, 0, 1, DateSerial(2020,1,1), DateSerial(2023,12,31), 3)",
         "(102, 10, 1, 2, 1, DateSerial(2024,1,1), DateSerial(2030,12,31), 0)",
         "(201, 20, 1, 0, 2, DateSerial(2003,1,1), DateSerial(2030,12,31), 0)",
         "(301, 30, 0, 0, 0, Null, Null, 0)", "(302, 30, 1, 1, 0, Null, Null, 0)",
         "(303, 30, 1, 0, 0, Null, Null, 0)"});
    Sql("update doc_templates set EditorType = 1, ContoraType = 0, PfrEndDoc = False");
    InsertRows("insert into doc_templates_folders (ID, Name)",
               {"(1, 'Налоги')", "(2, 'Имущество')"});
    InsertRows(
        "insert into template_dates (template_id, time_id, doc_type_id, date_to_registry, "
        "Date_To_Registry_FL)",
        {"(102, 2513, 10, DateSerial(2025,4,25), DateSerial(2025,5,25))",
         "(201, 2513, 20, DateSerial(2025,4,28), Null)",
         "(201, 2517, 20, DateSerial(2026,3,25), Null)", "(301, 2513, 30, 0, Null)",
         "(302, 2513, 30, DateSerial(2025,4,1), Null)", "(303, 2513, 30, Null, Null)"});
    // template, category, stream type, main organisation, branch
    InsertRows(
        "insert into TemplateByTPCategory (template_id, TPCategory_ID, AccStreamType, "
        "AllowedForMainOrg, AllowedForBranch)",
        {"(102, 1, 1, 1, 0)", "(201, 1, 1, 1, 1)", "(201, 6, 2, 1, 0)", "(301, 1, 1, 1, 1)",
         "(302, 1, 1, 1, 1)", "(303, 1, 1, 1, 1)"});
    // A main organisation (1) with branches 2, 4 and 5; an entrepreneur (3).
    for (double p : {1, 2, 4, 5}) Legal(p, "770100000" + std::to_string(int(p)), "", "Org");
    Sql("update LegalPerson set LPCategory = 1");
    Natural(3, "770200000000", "Иванов");
    Branch(1, 1, 2);
    Branch(2, 1, 4);
    Branch(3, 1, 5);
    Stream({.id = 5, .person = 1});
    Stream({.id = 6, .person = 2});
    Stream({.id = 7, .person = 3, .type = 2});
    Stream({.id = 8, .person = 4});
    Stream({.id = 9, .person = 5});
    // Stream 5 in Q1: versions 1 (old template) <- 2 of instance 0, a complex
    // document of doc type 20, one of a form outside every folder.
    Doc(1, 5, 101, 0, 0, "top_doc_id = 2");
    Doc(2, 5, 102, 0, 1, "bottom_next_id = 1");
    Doc(3, 5, 201, 0, 0, "EditorType = 4");
    Doc(4, 5, 301, 0, 0);
    // Branch stream 8: instance 0, and instance 1 in two versions.
    Doc(11, 8, 101, 0, 0);
    Doc(12, 8, 101, 1, 0, "top_doc_id = 13");
    Doc(13, 8, 101, 1, 1, "bottom_next_id = 12");
    // Profiles: stream 5 and 8 cover doc type 10 in Q1; 9's profile ended.
    Sql("update AccStream set UseProfiles = True where ID in (5, 8, 9)");
    Sql("insert into UserProfData (Profile_ID, PeriodType, Doc_Type_ID) values (7, 2, 10)");
    InsertRows(
        "insert into AccStreamProfiles (ID, AccStream_ID, Profile_ID, BegYear, BegMonth, EndYear, "
        "EndMonth)",
        {"(1, 5, 7, 0, 0, 0, 0)", "(2, 8, 7, 2025, 1, 0, 0)", "(3, 9, 7, 2020, 1, 2024, 12)"});
  }
  static void Doc(double id, double stream, double tmpl, int instance, int adjustment,
                  const std::string& more = "") {
    Sql("insert into doc_registry (document_id, taxpayer_id, time_id, template_id, "
        "instance_number, doc_type, top_doc_id, bottom_next_id) values (" +
        N(id) + ", " + N(stream) + ", 2513, " + N(tmpl) + ", " + std::to_string(instance) + ", " +
        std::to_string(adjustment) + ", 0, 0)");
    if (!more.empty()) Sql("update doc_registry set " + more + " where document_id = " + N(id));
  }

  BlankQueries q_;
};

TEST_F(BlankQueriesTest, BlanksOfAStreamInAPeriod) {
  const struct {
    const char* what;
    ado::RecordsetPtr rs;
    const char* rows;  // template_id|FolderID|DocsCount|Prof
  } cases[] = {
      // Doc type 20 first (list order); 102 counts the document of its
      // older version 101; disabled, non-ordinary and undated forms left out.
      {"main organisation", q_.GetBlanksByPeriod(5, 0, kQ1), "201|2|1|1; 102|1|2|1"},
      {"branch", q_.GetBlanksByPeriod(6, 0, kQ1), "201|2|0|1"},
      {"natural person (category 6)", q_.GetBlanksByPeriod(7, 0, kQ1), "201|2|0|1"},
      {"nothing published", q_.GetBlanksByPeriod(5, 0, kQ2), ""},
      {"profiles cover doc type 10", q_.GetBlanksByPeriodEx(5, kQ1, true), "201|2|1|0; 102|1|2|1"},
      {"profiles on, none of the stream", q_.GetBlanksByPeriodEx(6, kQ1, true), "201|2|0|0"},
      {"profiles on, a year period", q_.GetBlanksByPeriodEx(5, kYear, true), "201|2|0|1"},
      {"folder 2", q_.GetBlanksByPeriod3(5, kQ1, false, "2"), "201|2|1|1"},
      {"folders 1 and 2", q_.GetBlanksByPeriod3(5, kQ1, false, "1, 2"), "201|2|1|1; 102|1|2|1"},
      // The blanks' folders (never 0) and the documents' (0 included).
      {"folders", q_.GetDocFoldersByPeriod(5, kQ1, false), "0|Null; 1|Налоги; 2|Имущество"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (std::string(c.what) == "folders")
      EXPECT_EQ(Rows(c.rs, {"FolderID", "FolderName"}, true), c.rows);
    else
      EXPECT_EQ(Rows(c.rs, {"template_id", "FolderID", "DocsCount", "Prof"}), c.rows);
  }
  ExpectError(40090, "", [&] { q_.GetBlanksByPeriod(99, 0, kQ1); });
  // By name, with the arguments the application passes.
  const Variant byName =
      CreateObject("Qv_DBProvider.BlankQueries")->CallV("GetBlanksByPeriod", 5.0, 1.0, kQ1);
  EXPECT_EQ(Rows(byName.ObjectAs<ado::Recordset>(), {"template_id"}), "201; 102");
}

TEST_F(BlankQueriesTest, ExistenceOfBlanksAndDocuments) {
  Sql("insert into ConsStream (ID, DisplayName, LPCategory) values (1, 'Group', 1)");
  Sql("insert into ConsDocs (ID, ConsStream_ID, Template_ID, Time_ID) values (4, 1, 101, 2513)");
  EXPECT_TRUE(q_.IsPeriodContainsBlanks(7, 0, kQ1));  // no document, 201 offered
  EXPECT_FALSE(q_.IsPeriodContainsBlanks(7, 0, kQ2));
  ExpectError(40090, "", [&] { q_.IsPeriodContainsBlanks(99, 0, kQ1); });
  EXPECT_TRUE(q_.IsPeriodContainsComplexDocuments(5, kQ1));
  EXPECT_FALSE(q_.IsPeriodContainsComplexDocuments(8, kQ1));
  // Consolidation blanks: the stream's category (1) when the one given is
  // negative, none for 0; DocumentID of the doc type's consolidated document.
  EXPECT_EQ(Rows(q_.GetConsBlanksByPeriod(1, -1, kQ1), {"template_id", "DocumentID"}),
            "201|Null; 102|4");
  EXPECT_EQ(Rows(q_.GetConsBlanksByPeriod(1, 0, kQ1), {"template_id"}), "201; 102");
  EXPECT_EQ(Rows(q_.GetConsBlanksByPeriod(1, 6, kQ1), {"template_id"}), "");
  EXPECT_TRUE(q_.IsPeriodContainsConsBlanks(1, -1, kQ1));
  EXPECT_FALSE(q_.IsPeriodContainsConsBlanks(1, 6, kQ1));
}

TEST_F(BlankQueriesTest, DocumentsOfATemplateAndAPeriod) {
  const char* cols[] = {"Document_id", "bottom_next_id", "top_doc_id", "adj_number"};
  auto rows = [&](const ado::RecordsetPtr& rs, bool sorted = false) {
    return Rows(rs, {cols[0], cols[1], cols[2], cols[3]}, sorted);
  };
  EXPECT_EQ(rows(q_.GetDocsAndArchivesByTemplate(5, 102, kQ1)), "2|1|0|1; 1|0|2|0");
  EXPECT_EQ(rows(q_.GetDocsByTemplateAndInstance(8, 102, kQ1, 1, true)), "12|0|13|0; 13|12|0|1");
  EXPECT_EQ(rows(q_.GetDocsByTemplateAndInstance(8, 102, kQ1, 1, false)), "13|12|0|1; 12|0|13|0");
  EXPECT_EQ(Rows(q_.GetDocsAndArchivesByTemplateClass(5, 10, kQ1), {"Document_id"}), "2; 1");
  EXPECT_EQ(
      Rows(q_.GetDocumentsWithBadVisibility(5, kQ1, "2;3"), {"Document_id", "template_id"}, true),
      "1|101; 4|301");
  EXPECT_EQ(Rows(q_.GetDocumentsWithBadVisibility2(5, kQ1, "1", "1"), {"Document_id"}), "2");
  EXPECT_EQ(q_.GetActualAdjustmentByTemplateAndInstance(8, 101, kQ1, 1), 13);
  EXPECT_EQ(q_.GetActualAdjustmentByTemplateAndInstance(8, 101, kQ1, 2), 0);
  // By doc type list order, template, instance, adjustment.
  EXPECT_EQ(Ids(q_.GetDocsAndArchivesByPeriod(5, kQ1, "name", 1)), IdList({3, 1, 2, 4}));
  EXPECT_EQ(Ids(q_.GetDocsAndArchivesByPeriod2(5, kQ1, "1", "", 0)), IdList({1, 2}));
}

TEST_F(BlankQueriesTest, TemplatesByDatePeriodAndFolder) {
  const Variant june2022(DateSerial(2022, 6, 15)), newYear(DateSerial(2025, 1, 1));
  EXPECT_EQ(q_.GetTemplateIDByDateAndTemplateClass(10, june2022), 101);
  EXPECT_EQ(q_.GetTemplateIDByDateAndTemplateClass(10, newYear), 102);
  EXPECT_EQ(q_.GetTemplateIDByDateAndTemplateClass(10, Variant()), 0);
  EXPECT_EQ(q_.GetTemplateIDByTimeID(101, kQ1), 102);  // 101 is not published: its newer version
  EXPECT_EQ(q_.GetTemplateIDByTimeID(102, kQ1), 102);
  EXPECT_EQ(q_.GetTemplateIDByTimeID(201, kQ2), 0);
  EXPECT_EQ(q_.GetTemplateIDByTimeIDAndTemplateClass(30, kQ1), 302);
  EXPECT_EQ(Ids(q_.GetAllTemplatesOfClass(10)), IdList({102, 101}));
  EXPECT_EQ(Rows(q_.GetAllTemplatesByTemplateType(30), {"template_id"}, true), "301; 303");
  CollectionPtr inFolder = q_.GetTemplatesInFolder(1);
  EXPECT_EQ(inFolder->Count(), 2);
  EXPECT_EQ(CDbl(inFolder->Item(Variant("_102"))), 102);
  EXPECT_EQ(CDbl(q_.GetTemplateTypesInFolder(2)->Item(Variant("_20"))), 20);

  const struct {
    Variant beg, end;
    bool types;
    IdList ids;
  } ranges[] = {
      {Variant(), Variant(), false, {101, 102, 201, 301, 302, 303}},
      {Variant(DateSerial(2024, 1, 1)), Variant::Null(), false, {102, 201}},
      {Variant::Null(), Variant("31.12.2021"), true, {10, 20}},
      {Variant("not a date"), Variant(5.0), false, {101, 102, 201, 301, 302, 303}},
  };
  for (const auto& r : ranges)
    EXPECT_EQ(Sorted(Ids(q_.GetAllBlanksInDateRange(r.beg, r.end, r.types))), r.ids);

  auto last = [&](double type) {
    std::string text;
    const Variant data = q_.GetLastTemplateData(type);
    for (const Variant& v : data.AsArray().items) text += CStr(v) + " ";
    return text;
  };
  EXPECT_EQ(last(10), "102 1 False 0 ");
  EXPECT_EQ(last(99), "0 0 False 0 ");

  Variant categories, times, keep("kept");
  q_.GetTemplateVisibilityInfo(2, 102, categories, times);
  EXPECT_EQ(Rows(categories.ObjectAs<ado::Recordset>(),
                 {"template_id", "TPCategory_ID", "AccStreamType"}),
            "102|1|1");
  EXPECT_EQ(
      Rows(times.ObjectAs<ado::Recordset>(), {"template_id", "time_id", "month_id", "the_year"}),
      "102|2513|13|2025");
  q_.GetTemplateVisibilityInfo(1, 10, categories, times);
  EXPECT_EQ(Rows(categories.ObjectAs<ado::Recordset>(), {"template_id"}, true),
            "102; Null");  // 101 has no category row
  Variant untouched = keep;
  q_.GetTemplateVisibilityInfo(3, 10, untouched, untouched);
  EXPECT_EQ(CStr(untouched), "kept");
}

TEST_F(BlankQueriesTest, DeadlinesReadinessAndAttachments) {
  Sql("insert into PfrDict_TemplateDates (ID, Date_To_Registry) values (201, "
      "DateSerial(2026,1,15))");
  Sql("insert into TemplateReadyException (Template_ID, Time_ID, IsReady) values (102, 2513, 0)");
  InsertRows("insert into DictAttachmentTypes (AttachmentType, Name, AttachmentSetID, OrderNum)",
             {"(2, 'Доверенность', 3, 2)", "(1, 'Пояснения', 3, 1)"});
  const struct {
    int32_t tmpl, period, personType;
    const char* term;
  } terms[] = {
      {201, 2514, 2, "15.01.2026"},  // the pension-fund dictionary's, whatever the period
      {102, 2513, 2, "25.04.2025"}, {102, 2513, 1, "25.05.2025"},
      {301, 2513, 2, "Null"},  // stored as 0
      {303, 2513, 2, "Null"},       {102, 2514, 2, "Null"},
  };
  for (const auto& t : terms) {
    const Variant v = q_.GetRegistryTermByTemplateAndTime2(t.tmpl, t.period, t.personType);
    EXPECT_EQ(v.IsNull() ? "Null" : CStr(v), t.term) << t.tmpl << " " << t.personType;
  }
  EXPECT_EQ(CStr(q_.GetRegistryTermByTemplateAndTime(102, 2513)), "25.04.2025");
  EXPECT_FALSE(q_.IsTemplateReady(102, kQ1, true));
  EXPECT_TRUE(q_.IsTemplateReady(201, kQ1, true));
  EXPECT_FALSE(q_.IsTemplateReady(201, kQ1, false));
  EXPECT_TRUE(q_.IsMultiInstancesAllowedInBranchesGroup(102));
  EXPECT_FALSE(q_.IsMultiInstancesAllowedInBranchesGroup(201));
  Sql("insert into ScattersList (template_id, coupled_class_id) values (102, 20)");
  EXPECT_FALSE(q_.IsMultiInstancesAllowedInBranchesGroup(102));
  EXPECT_EQ(Rows(q_.GetAttachmentTypesForDocument(101, Variant()), {"AttachmentType", "Name"}),
            "1|Пояснения; 2|Доверенность");
  EXPECT_EQ(Rows(q_.GetAttachmentTypesForDocument(102, Variant()), {"AttachmentType"}), "");
}

TEST_F(BlankQueriesTest, BlanksOfTheBranchesOfAGroup) {
  const char* cols = "accstream_id template_id document_id CalcProfiles UseProfiles HasLiabs";
  auto rows = [&](const ado::RecordsetPtr& rs) {
    return Rows(rs, {"accstream_id", "template_id", "document_id", "CalcProfiles", "UseProfiles",
                     "HasLiabs"});
  };
  SCOPED_TRACE(cols);
  // 6: no document, the published version 102; 8: the current version of
  // each instance, its profile covering the doc type; 9: its profile ended.
  EXPECT_EQ(rows(q_.GetBranchesBlanksForGroup4(1, 102, kQ1, 1, "", 0)),
            "6|102|0|1|0|0; 8|101|11|1|1|1; 8|101|13|1|1|1; 9|102|0|1|1|0");
  EXPECT_EQ(rows(q_.GetBranchBlanksForGroup(8, 102, kQ1)), "8|101|11|1|1|1; 8|101|13|1|1|1");
  EXPECT_EQ(rows(q_.GetBranchBlanksForGroup(6, 102, kQ2)), "");  // nothing published
  // A year is no profile period: the profile columns say "not considered".
  EXPECT_EQ(rows(q_.GetBranchBlanksForGroup(6, 201, kYear)), "6|201|0|0|1|1");
  ExpectError(5, "", [&] { q_.GetBranchesBlanksForGroup4(1, 102, kQ1, 1, "bogus", 0); });
}

}  // namespace
}  // namespace qv::queries::testing
