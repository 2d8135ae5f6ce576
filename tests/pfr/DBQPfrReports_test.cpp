// DBQPfr's operations of single reports: the sums of a person's earlier
// contribution reports across superseded corrections, correction chains
// (with a loop and a gap), payment slices written back in one transaction,
// manual sums, and the labour-activity report's selections.

#include <gtest/gtest.h>

#include "PfrFixture.h"
#include "pfr/DBQPfr.h"
#include "records/miDocument.h"

namespace qv::pfr::testing {
namespace {

class DBQPfrReportsTest : public PfrTest {
 protected:
  // A document of stream 50: template, period, older and newer version.
  void Doc(int id, int templ, int period, int older = 0, int newer = 0) {
    Sql("insert into doc_registry (document_id, taxpayer_id, template_id, time_id, "
        "bottom_next_id, top_doc_id, instance_number) values (" +
        Str(id) + ", 50, " + Str(templ) + ", " + Str(period) + ", " + Str(older) + ", " +
        Str(newer) + ", 0)");
  }
  // A rate-table line: its code and indicator i's three months all `amount`
  // (indicator 1 alone gets `first` in its first month instead).
  void RateLine(int subDoc, int line, const std::string& code, const std::string& amount,
                const std::string& first) {
    CellRow(subDoc, 1024005, code, line, 1);
    for (int i = 1; i <= 5; ++i)
      for (int m = 1; m <= 3; ++m)
        CellRow(subDoc, 1024000 + 10 * i + m, i == 1 && m == 1 ? first : amount, line, 1);
  }
  static std::string Str(double v) { return CStr(Variant(v)); }
  using PfrTest::Ids;
  static std::string Ids(const std::vector<double>& v) {
    std::string text;
    for (double id : v) text += (text.empty() ? "" : ",") + Str(id);
    return text;
  }
  // "code:s1 s2 s3 s4 s5; ..." of a result array, or its text.
  static std::string Sums(const Variant& v) {
    if (!v.IsArray()) return CStr(v);
    const VariantArray& a = v.AsArray();
    const int32_t n = a.dims[0].count;
    std::string text;
    for (int32_t r = 0; r < n; ++r) {
      text += (r ? "; " : "") + CStr(a.items[r]) + ":";
      for (int k = 1; k <= 5; ++k) text += (k > 1 ? " " : "") + CStr(a.items[r + k * n]);
    }
    return text;
  }
};

TEST_F(DBQPfrReportsTest, PastSumsTakeTheCurrentVersionOfEachEarlierPeriod) {
  Sql("insert into doc_templates (template_id, doc_type_id) values (317, 900)");
  InsertPfrPerson(1, kTaxpayer);
  InsertPfrPerson(2, kTaxpayer);
  // 2024: first quarter 801; half year 811 corrected by 812, itself
  // corrected by 813 (the current one); nine months none; the year's own 821.
  Doc(801, 317, 2413);
  Doc(811, 317, 2414, 0, 812), Doc(812, 317, 2414, 811, 813), Doc(813, 317, 2414, 812, 0);
  Doc(821, 317, 2416);
  const std::pair<int, int> sections[] = {{801, 1}, {811, 1}, {812, 1}, {813, 1}, {821, 1}};
  int id = 100;
  for (const auto& [doc, person] : sections) {
    SubDocRow(++id, doc, person, 26);
    CellRow(id, 1024000, "2");
    // Line 1 rate "01": 1.5 a month (0.004 in indicator 1's first month);
    // line 2 rate "02": 10 a month. Superseded and later versions are worth
    // 1000 so that counting one shows.
    const bool counts = doc == 801 || doc == 813;
    RateLine(id, 1, "01", counts ? "1.5" : "1000", "0.004");
    RateLine(id, 2, "02", counts ? "10" : "1000", counts ? "10" : "1000");
  }
  SubDocRow(200, 801, 2, 26), CellRow(200, 1024000, "1"), RateLine(200, 1, "01", "1000", "1000");

  DBQPfr q;
  const struct {
    const char* what;
    double period;
    std::string mainRate, addRate;
    Variant main, add;
    std::string wantMain, wantAdd;
  } cases[] = {
      // 0.004 + 3 + 0.004 + 3: rounded after each addition, not at the end.
      {"main and additional rate", 2416, "01", "02", Variant(), Variant(), "01:6 9 9 9 9",
       "02:60 60 60 60 60"},
      {"every rate, in the order met", 2416, "*", "", Variant(), Variant("kept"),
       "01:6 9 9 9 9; 02:60 60 60 60 60", "kept"},
      {"a named rate no line has", 2416, "09", "", Variant(), Variant(), "09:0 0 0 0 0", ""},
      {"a first quarter has no earlier periods", 2413, "01", "", Variant(), Variant(),
       "01:0 0 0 0 0", ""},
  };
  for (const auto& c : cases) {
    Variant main = c.main, add = c.add, session;
    q.CalcRsvPastSumsForPerson(50, c.period, 1, c.mainRate, main, c.addRate, add, session);
    EXPECT_EQ(Sums(main), c.wantMain) << c.what;
    EXPECT_EQ(Sums(add), c.wantAdd) << c.what;
  }
  // A result handed in again accumulates; a given session is used.
  Variant main, add, session = q.GetPfrCellsDirectSession();
  const ObjectPtr given = session.AsObject();
  q.CalcRsvPastSumsForPerson(50, 2416, 1, "01", main, "", add, session);
  q.CalcRsvPastSumsForPerson(50, 2415, 1, "01", main, "", add, session);
  EXPECT_EQ(Sums(main), "01:12 18 18 18 18");
  EXPECT_EQ(session.AsObject(), given);
  // The other variants read other templates: none of 317's documents.
  Variant other;
  q.CalcRsvPastSumsForPerson2(50, 2416, 1, "*", other, "", add, session, Variant());
  EXPECT_EQ(Sums(other), "");

  EXPECT_EQ(q.GetRsvPastSubDocIDForPerson(50, 2416, 1), 104);  // 813's, not 811's or 812's
  EXPECT_EQ(q.GetRsvPastSubDocIDForPerson(50, 2416, 2), 200);  // only in the first quarter
  EXPECT_EQ(q.GetRsvPastSubDocIDForPerson(50, 2413, 1), 0);
}

TEST_F(DBQPfrReportsTest, CorrectionChainsAreWalkedWholeAndStopAtLoopsAndGaps) {
  InsertPfrPerson(1, kTaxpayer, "A");
  InsertPfrPerson(2, kTaxpayer, "B");
  InsertPfrPerson(3, kTaxpayer, "C");
  // Template 638: 901 corrected by 902, then by 903. Sheets: person 1 sheet
  // 12 in 901 and, corrected (1), in 902; person 2 sheet 14 in 901; person 3
  // sheet 5 in 903.
  Doc(901, 638, 2413, 0, 902), Doc(902, 638, 2413, 901, 903), Doc(903, 638, 2413, 902, 0);
  const struct {
    int id, doc, person;
    const char *sheet, *corr;
  } sheets[] = {{11, 901, 1, "12", "0"},
                {12, 901, 2, "14", "0"},
                {13, 902, 1, "12", "1"},
                {14, 903, 3, "5", "0"}};
  for (const auto& s : sheets) {
    SubDocRow(s.id, s.doc, s.person, 26);
    CellRow(s.id, 1021001, s.sheet), CellRow(s.id, 1021002, s.corr);
  }
  // Template 780, several sections a person: 941 corrected by 942, whose
  // first section of person 1 cancels.
  Doc(941, 780, 2413, 0, 942), Doc(942, 780, 2413, 941, 0);
  SubDocRow(41, 941, 1, 38), SubDocRow(42, 942, 1, 38), SubDocRow(43, 942, 1, 38);
  CellRow(42, 1021003, "1");
  // Damaged chains: 921 and 922 name each other both ways; 931 names a
  // missing older version; 951 is its own newer version.
  Doc(921, 638, 2413, 922, 922), Doc(922, 638, 2413, 921, 921);
  SubDocRow(21, 922, 1, 26), CellRow(21, 1021002, "4");
  Doc(931, 638, 2413, 9999, 0);
  Doc(951, 638, 2413, 0, 951);
  Doc(961, 999, 2413);
  SubDocRow(61, 961, 1, 26);

  DBQPfr q;
  const auto sheetAndCorr = [&](double doc, bool adjustment, double person) {
    int32_t sheet = -1, corr = -1;
    q.GetRsvNewSheetAndCorrNum(doc, 638, adjustment, person, sheet, corr);
    return std::to_string(sheet) + "/" + std::to_string(corr);
  };
  const struct {
    const char* what;
    std::string got, want;
  } cases[] = {
      {"chain from the middle", Ids(miDocument::GetCorrectionChain(902)), "903,902,901"},
      {"chain of a loop", Ids(miDocument::GetCorrectionChain(921)), "922,921"},
      {"chain with a gap", Ids(miDocument::GetCorrectionChain(931)), "931"},
      {"chain naming itself", Ids(miDocument::GetCorrectionChain(951)), "951"},
      {"chain of no document", Ids(miDocument::GetCorrectionChain(9999)), ""},
      {"adjustment, person corrected before", sheetAndCorr(903, true, 1), "12/2"},
      {"adjustment, person new to the chain", sheetAndCorr(903, true, 4), "15/0"},
      {"first version: its own sheets", sheetAndCorr(903, false, 1), "6/0"},
      {"adjustment in a loop", sheetAndCorr(921, true, 1), "0/5"},
      {"max correction", Str(q.GetRsvMaxCorrNum(903, 1)), "1"},
      {"max correction of the oldest", Str(q.GetRsvMaxCorrNum(901, 1)), "1"},
      {"max correction, none", Str(q.GetRsvMaxCorrNum(903, 4)), "0"},
      {"max correction in a loop", Str(q.GetRsvMaxCorrNum(922, 1)), "4"},
      {"renumbering", Str(q.GetRsvStartSheetNumForRenumbering(901, 638)), "15"},
      {"renumbering, other template", Str(q.GetRsvStartSheetNumForRenumbering(901, 780)), "1"},
      {"actual by name", Ids(q.GetRsvAllActualSubDocIDs(901, true)), "13,12,14"},
      {"actual, several of one document", Ids(q.GetRsvAllActualSubDocIDs(941, false)), "42,43"},
      {"actual in a loop", Ids(q.GetRsvAllActualSubDocIDs(921, false)), "21"},
      {"actual, template outside the list", Ids(q.GetRsvAllActualSubDocIDs(961, false)), ""},
      {"corrected: newest first", Str(q.GetRsvPreceededCorrectedSubDoc(903, 1, 638)), "13"},
      {"corrected: cancelling skipped", Str(q.GetRsvPreceededCorrectedSubDoc(942, 1, 780)), "43"},
      {"corrected: other template", Str(q.GetRsvPreceededCorrectedSubDoc(903, 1, 548)), "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST_F(DBQPfrReportsTest, ReportsOfAStreamInAPeriod) {
  InsertPfrPerson(1, kTaxpayer);
  // Streams of taxpayer 5: 50 and 51 (kind 4), 52 (kind 1); taxpayer 6: 60.
  Sql("update AccStream set AccStreamType = 4 where ID in (50, 60)");
  InsertRows("insert into AccStream (ID, PersonID, AccStreamType)", {"(51, 5, 4)", "(52, 5, 1)"});
  InsertRows("insert into doc_templates (template_id, doc_type_id)", {"(548, 168)", "(638, 638)"});
  InsertRows(
      "insert into doc_registry (document_id, taxpayer_id, template_id, time_id, instance_number, "
      "status_qv, top_doc_id)",
      {"(601, 50, 548, 2413, 0, 2, 0)", "(602, 50, 548, 2413, 1, 1, 0)",
       "(603, 51, 548, 2413, 0, 3, 0)", "(604, 52, 548, 2413, 0, 2, 0)",
       "(605, 51, 548, 2413, 1, 2, 606)", "(606, 60, 548, 2413, 0, 2, 0)",
       "(611, 50, 638, 2413, 0, 1, 612)", "(612, 50, 638, 2413, 0, 1, 0)"});
  SubDocRow(91, 601, 1, 17), SubDocRow(92, 602, 1, 26);
  SubDocRow(93, 612, 1, 26), CellRow(93, 1021001, "3"), CellRow(93, 1021002, "1");
  SubDocRow(94, 611, 1, 26), CellRow(94, 1021001, "3");

  DBQPfr q;
  std::string collected;
  Variant keys(VariantArray::Of({Variant(1021001), Variant(1021002)}));
  ado::RecordsetPtr rs =
      q.CollectSheetedCells(Variant(50), Variant(2024), Variant(638), Variant(26), 1, keys);
  for (size_t r = 0; r < rs->RowCount(); ++r)
    for (const char* f :
         {"DocumentID", "SubDocID", "RepYear", "RepMonth", "K1021001", "K1021002"}) {
      const Variant& v = rs->Value(r, rs->FieldIndex(f));
      collected += (v.IsNull() ? "Null" : CStr(v)) + (std::string(f) == "K1021002" ? ";" : " ");
    }
  const struct {
    const char* what;
    std::string got, want;
  } cases[] = {
      {"for sending: the owner's kind 4 streams", Ids(q.GetRsv1DocsForSending(50, 2413)),
       "601,603"},
      {"for sending: stream 0", Ids(q.GetRsv1DocsForSending(0, 2413)), ""},
      {"latest first form", Str(q.GetLatestRsv1DocumentInPeriod(50, 2413, false)), "602"},
      {"latest with section 6", Str(q.GetLatestRsv1DocumentInPeriod(50, 2413, true)), "601"},
      {"latest 2017 form", Str(q.GetLatestRsv2017DocumentInPeriod(50, 2413)), "612"},
      {"latest 2020 form", Str(q.GetLatestRsv2020DocumentInPeriod(50, 2413)), "0"},
      {"sheeted cells", collected, "611 94 2024 13 3 Null;612 93 2024 13 3 1;"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST_F(DBQPfrReportsTest, SlicesReadAndWriteBackTheirSections) {
  // Section 71: two payment lines; 72: one payment.
  SubDocRow(71, 500, 0, 7), SubDocRow(72, 500, 0, 7), SubDocRow(73, 500, 0, 9);
  CellRow(71, 200005, "Корр."), CellRow(71, 200032, "1"), CellRow(71, 208000, "2");
  for (int line = 1; line <= 2; ++line) {
    CellRow(71, 208012, std::to_string(line * 100), line), CellRow(71, 208024, "1", line);
    CellRow(71, 208029, std::to_string(line), line);
  }
  CellRow(72, 200013, "7.5"), CellRow(72, 200025, "3"), CellRow(72, 200029, "2");
  const std::string cells =
      "select SubDocID, Key, LineNum, Value from PfrCellValues where Key in "
      "(200024, 200025, 200029, 208024, 208025, 208029) order by 1, 2, 3";

  DBQPfr q;
  CollectionPtr slices = q.LoadSlicesForIndPaymentScattering(500);
  std::string read;
  for (int32_t i = 1; i <= slices->Count(); ++i) {
    ObjectPtr s = slices->At(i).AsObject();
    read += (i > 1 ? "; " : "");
    for (const char* p :
         {"SubDocID", "DataType", "IsMultiPayments", "DynPaymentsNum", "EnsurCharge", "CumulCharge",
          "EnsurPayment", "CumulPayment", "PaymentScatteringType"})
      read += CStr(s->Get(p)) + " ";
  }
  EXPECT_EQ(read, "71 4 True 1 100 0 1 0 1 ; 71 4 True 2 200 0 1 0 2 ; 72 0 False 0 0 7.5 0 3 2 ");

  // Written back in one transaction: a slice naming no section refuses all.
  const std::string before = Rows(cells);
  for (int32_t i = 1; i <= slices->Count(); ++i) {
    ObjectPtr s = slices->At(i).AsObject();
    s->Let("PaymentScatteringType", Variant(int32_t{3}));
    s->Let("CumulPayment", Variant(0.25 * i));
  }
  auto bad = CreateObject("Qv_PfrActions.QvPfrSlicedSubDoc");
  bad->Let("ContentType", Variant(int32_t{1}));
  slices->Add(Variant(bad));
  ExpectError(5, "no sub-document", [&] { q.SaveSlices(slices); });
  EXPECT_EQ(Rows(cells), before);
  slices->Remove(slices->Count());
  q.SaveSlices(slices);
  EXPECT_EQ(Rows(cells),
            "71|208024|1|1; 71|208024|2|1; 71|208025|1|0.25; 71|208025|2|0.5; 71|208029|1|3; "
            "71|208029|2|3; 72|200025|0|0.75; 72|200029|0|3");

  // The kind alone, over every payment line, through a session kept open.
  ObjectPtr kind = q.LoadSliceForIndMassPaymentScatteringTypeSetting(71);
  EXPECT_EQ(Ids(kind->Get("RecList").ObjectAs<Collection>()), "1,2");
  kind->Let("PaymentScatteringType", Variant(int32_t{5}));
  q.SaveSlice(kind, true);
  ObjectPtr single = q.LoadSliceForIndMassPaymentScatteringTypeSetting(72);
  single->Let("PaymentScatteringType", Variant(int32_t{6}));
  q.SaveSlice(single, false);
  EXPECT_EQ(Rows("select SubDocID, LineNum, Value from PfrCellValues where Key in (200029, "
                 "208029) order by 1, 2"),
            "71|1|5; 71|2|5; 72|0|6");
}

TEST_F(DBQPfrReportsTest, ManualSumsAndCopySources) {
  DBQPfr q;
  const auto sums = [&] {
    return Rows("select ID, TheYear, TheMonth, ValueType, Summa from PfrPAManualSums order by ID");
  };
  q.SetPeracManualSum(50, 1, 2024, 3, 1, true, 10.5);
  q.SetPeracManualSum(50, 1, 2024, 4, 1, true, 7);
  q.SetPeracManualSum(50, 1, 2024, 3, 1, true, 11.25);
  q.SetPeracManualSum(50, 2, 2024, 3, 1, true, 1);
  EXPECT_EQ(sums(), "1|2024|3|1|11.25; 2|2024|4|1|7; 3|2024|3|1|1");
  ado::RecordsetPtr left = q.SetPeracManualSum(50, 1, 2024, 3, 1, false, 0);
  EXPECT_EQ(left->RowCount(), 1u);
  q.ClearPeracManualSums(50, 1);
  EXPECT_EQ(sums(), "3|2024|3|1|1");

  // Copy sources: within the dates, newest period first, minus the excluded.
  Doc(971, 555, 2413), Doc(972, 555, 2414), Doc(973, 555, 2414), Doc(974, 555, 2313);
  const Variant from(OleDate{45292}), to(OleDate{45657});  // 01.01.2024, 31.12.2024
  EXPECT_EQ(Ids(q.GetDocsToCopyFrom(50, 555, from, to, "")), "972,973,971");
  EXPECT_EQ(Ids(q.GetDocsToCopyFrom(50, 555, from, to, "972; 971")), "973");
  ExpectError(5, "", [&] { q.GetDocsToCopyFrom(50, 555, from, to, "1) or (1=1"); });
}

TEST_F(DBQPfrReportsTest, LabourActivitySectionsOfAPerson) {
  InsertPfrPerson(1, kTaxpayer);
  Doc(981, 789, 2413), Doc(982, 789, 2414), Doc(983, 961, 2414), Doc(984, 963, 2413);
  Sql("insert into doc_registry (document_id, taxpayer_id, template_id, time_id) values (985, 60, "
      "789, 2413)");
  SubDocRow(81, 982, 1, 41), SubDocRow(82, 981, 1, 46), SubDocRow(83, 983, 1, 59);
  SubDocRow(84, 984, 1, 63), SubDocRow(85, 985, 1, 41), SubDocRow(86, 981, 2, 41);
  SubDocRow(87, 981, 1, 7);
  CellRow(81, 1051105, " Инженер "), CellRow(82, 1051105, "Инженер"),
      CellRow(86, 1051105, "Бухгалтер");
  CellRow(85, 1051105, "Директор");

  DBQPfr q;
  const auto subDocs = [](const ado::RecordsetPtr& rs) { return Column(rs, "SubDocID"); };
  const struct {
    const char* what;
    std::string got, want;
  } cases[] = {
      {"first form, by period", subDocs(q.GetSzvTdSubDocsForPfrPerson(1, 50)), "82|81"},
      {"2023 forms", subDocs(q.GetSzvTdSubDocsForPfrPerson2023(1, 50, false)), "84|83"},
      {"2023 forms and the first", subDocs(q.GetSzvTdSubDocsForPfrPerson2023(1, 50, true)),
       "82|84|81|83"},
      {"another stream's", subDocs(q.GetSzvTdSubDocsForPfrPerson(1, 60)), "85"},
      {"posts, trimmed and distinct", Ids(q.GetSzvTdPostsList(50)), "Бухгалтер,Инженер"},
      {"another report", Str(q.HasAnotherSzvTdOnPerson(50, 1, 981)), "1"},
      {"none beside the excluded", Str(q.HasAnotherSzvTdOnPerson(50, 2, 981)), "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

}  // namespace
}  // namespace qv::pfr::testing
