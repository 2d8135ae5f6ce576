// DBQPfr: pack numbering over masters with several packs, the end documents
// of a master, copying and deleting a person's sub-documents (one
// transaction), the order and shapes of a document's sub-documents, and the
// yearly lookups of limits and tariffs.

#include "pfr/DBQPfr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PfrFixture.h"

namespace qv::pfr::testing {
namespace {

using DBQPfrTest = PfrTest;

TEST_F(DBQPfrTest, PackNumbersAreCountedPerStreamYearAndNumberingGroup) {
  // Templates: 901 doc type 184 to authority kind 1, which numbers among doc
  // type 184; 902 doc type 184 to kind 2 and 903 another type, which number
  // among the other types.
  InsertRows("insert into doc_templates (template_id, doc_type_id, ContoraType)",
             {"(901, 184, 1)", "(902, 184, 2)", "(903, 77, 1)"});
  // Masters of stream 50: 700 (901, 2024), 710 (903, 2024), 720 (902, 2024),
  // 730 (901, 2023); packs as (document, master, number, status).
  InsertRows(
      "insert into doc_registry (document_id, taxpayer_id, template_id, time_id, PfrMasterDocID, "
      "instance_number, Status_Qv)",
      {"(700, 50, 901, 2413, 0, 0, 1)", "(701, 50, 0, 246, 700, 1, 2)",
       "(702, 50, 0, 246, 700, 2, 3)", "(703, 50, 0, 246, 700, 3, 1)",
       "(710, 50, 903, 2413, 0, 0, 1)", "(711, 50, 0, 246, 710, 5, 1)",
       "(712, 50, 0, 246, 710, 7, 1)", "(720, 50, 902, 2413, 0, 0, 1)",
       "(721, 50, 0, 246, 720, 6, 1)", "(730, 50, 901, 2313, 0, 0, 1)",
       "(731, 50, 0, 246, 730, 9, 1)"});
  InsertPfrPerson(1, kTaxpayer);
  SubDocRow(1, 701, 1, 1);

  DBQPfr q;
  const struct {
    const char* what;
    int32_t got, want;
  } cases[] = {
      {"max in 2024", q.GetMaxSheafNumberInPeriodAndAccStream(50, 2413, 0), 7},
      {"max in 2024 without 710", q.GetMaxSheafNumberInPeriodAndAccStream(50, 2413, 710), 6},
      {"max in 2023", q.GetMaxSheafNumberInPeriodAndAccStream(50, 2313, 0), 9},
      {"5 in 2024", q.IsSheafWithNumberExistsInPeriodAndAccStream(5, 50, 2413, 0), 1},
      {"5 in 2024 without 710", q.IsSheafWithNumberExistsInPeriodAndAccStream(5, 50, 2413, 710), 0},
      {"9 in 2024", q.IsSheafWithNumberExistsInPeriodAndAccStream(9, 50, 2413, 0), 0},
      {"type 184 of 700 and 720", q.GetMaxSheafNumberForPfrNumbering(700, false), 6},
      {"2 only in 700", q.IsSheafWithNumberExistsInPfrNumbering(2, 700, true), 0},
      {"kind 2 numbers with others", q.GetMaxSheafNumberForPfrNumbering(720, false), 7},
      {"others without 710", q.GetMaxSheafNumberForPfrNumbering(710, true), 0},
      {"7 not in 700's group", q.IsSheafWithNumberExistsInPfrNumbering(7, 700, false), 0},
      {"2 in 700's group", q.IsSheafWithNumberExistsInPfrNumbering(2, 700, false), 1},
      {"2 not in 710's group", q.IsSheafWithNumberExistsInPfrNumbering(2, 710, false), 0},
      {"min of 710", q.GetMinSheafNumberOfMaster(710), 5},
      {"approved of 700", q.CountPfrEndDocsInApprovedState(700), 2},
      {"700 has packs", q.IsMasterContainsEndDocs(700), 1},
      {"701 has none", q.IsMasterContainsEndDocs(701), 0},
      {"status of 700", q.GetPfrMasterStatus(700), 2},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  EXPECT_EQ(Ids(q.GetPfrEndDocsByMasterDocID(700, 0, 0)), "701,702,703");
  EXPECT_EQ(q.GetPfrEndDocsByMasterDocID(0, 0, 0)->Count(), 0);
  ExpectError(40090, "", [&] { q.GetMaxSheafNumberInPeriodAndAccStream(50, 99999, 0); });

  q.DeletePfrEndDocuments(700);
  EXPECT_EQ(Rows("select document_id from doc_registry where document_id in (700, 701, 702, 703, "
                 "711)"),
            "700; 711");
  EXPECT_EQ(Count("PfrSubDocs"), 0);  // the packs' sub-documents went with them
}

TEST_F(DBQPfrTest, PersonSubDocsAreCopiedIntoAnotherDocumentAndDeleted) {
  Sql("insert into doc_registry (document_id, taxpayer_id) values (501, 50)");
  InsertPfrPerson(1, kTaxpayer);
  InsertPfrPerson(2, kTaxpayer);
  for (const auto& [type, cells] : std::vector<std::pair<int, int>>{{1, 2}, {2, 1}}) {
    auto s = NewSubDoc(kDocument, 1, type);
    for (int k = 0; k < cells; ++k)
      List(s, "Cells")->Add(Obj(Cell(1000 + k, "v" + std::to_string(k))));
    s->Let("CellsModified", Variant(true));
    DBPfrSubDoc().SaveRecord(Obj(s), false, true);
  }
  DBPfrSubDoc().SaveRecord(Obj(NewSubDoc(501, 1, 5)), false, true);  // replaced by the copy
  DBPfrSubDoc().SaveRecord(Obj(NewSubDoc(501, 2, 5)), false, true);  // another person's: kept
  const std::string dest =
      "select s.SubDocType, c.Key, c.Value from PfrSubDocs AS s LEFT JOIN PfrCellValues AS c ON "
      "c.SubDocID = s.ID where s.DocumentID = 501 and s.PfrPersonID = 1 order by 1, 2";

  DBQPfr q;
  q.CopyPersonSubDocsToDestDoc(kDocument, 1, 501, "1");
  EXPECT_EQ(Rows(dest), "1|1000|v0; 1|1001|v1");
  q.CopyPersonSubDocsToDestDoc(kDocument, 1, 501, "*");
  EXPECT_EQ(Rows(dest), "1|1000|v0; 1|1001|v1; 2|1000|v0");
  EXPECT_EQ(Count("PfrCellValues"), 6);  // the source's three stay
  q.CopyPersonSubDocsToDestDoc(501, 1, 501, "*");
  EXPECT_EQ(Rows(dest), "1|1000|v0; 1|1001|v1; 2|1000|v0");

  // Refused before or during the writes: nothing changes.
  const std::string before = Rows("select ID, DocumentID, PfrPersonID, SubDocType from PfrSubDocs");
  ExpectError(5, "", [&] { q.CopyPersonSubDocsToDestDoc(kDocument, 1, 501, "1) or (1=1"); });
  ExpectError(5, "", [&] {
    q.CopyPersonSubDocsToDestDoc(kDocument, 1, kOtherDocument, "*");
  });  // the other taxpayer's document
  ExpectError(5, "", [&] { q.DeleteSubDocsWithSubDocTypeInDocument(501, "5;"); });
  EXPECT_EQ(Rows("select ID, DocumentID, PfrPersonID, SubDocType from PfrSubDocs"), before);

  EXPECT_TRUE(q.HasSubDocsOfPersonInDocument(501, 1, "2"));
  q.DeleteSubDocsOfPersonInDocument(501, 1);
  EXPECT_FALSE(q.HasSubDocsOfPersonInDocument(501, 1, "*"));
  EXPECT_EQ(Count("PfrCellValues"), 3);
  EXPECT_EQ(Ids(q.GetSubDocIDsOfPersonInDocument(501, 2, "*")), "4");
}

TEST_F(DBQPfrTest, DocumentSubDocsComeInTheAskedOrderAndShape) {
  InsertPfrPerson(1, kTaxpayer, "Бойко");
  InsertPfrPerson(2, kTaxpayer, "агеев");
  InsertPfrPerson(3, kTaxpayer, "Ветров");
  InsertRows("insert into PfrSubDocs (ID, DocumentID, PfrPersonID, SubDocType)",
             {"(1, 500, 1, 1)", "(2, 500, 2, 1)", "(3, 500, 3, 1)"});
  DBQPfr q;
  Variant unused;
  const struct {
    int32_t flags;
    const char* ids;
  } cases[] = {{2048, "1,2,3"}, {2048 | 1, "2,1,3"}, {2048 | 1 | 256, "3,1,2"}, {1 | 512, "2,1,3"}};
  for (const auto& c : cases)
    EXPECT_EQ(Ids(q.GetSubDocsByDocumentID(kDocument, c.flags, unused)), c.ids) << c.flags;
  // Preloaded: records filled from the joined row, their persons too.
  CollectionPtr filled = q.GetSubDocsByDocumentID(kDocument, 1 | 512, unused);
  EXPECT_EQ(CStr(Sub(Item(filled, 1), "PfrPerson")->Get("Surname")), "агеев");
  EXPECT_TRUE(q.GetSubDocsByDocumentID(kDocument, 2048, unused)->At(1).IsNumeric());

  // Cell values of the first sub-document of a type, written and read back
  // in an array with the keys' bounds; an empty value deletes its cell.
  q.SetSubDocValuesBySubDocType(
      kDocument, 1,
      Variant(VariantArray::Of(
          {Variant(200005), Variant("Корр."), Variant(7), Variant(3.5), Variant(8), Variant("")})));
  const Variant keys(VariantArray::Of({Variant(200005), Variant(7), Variant(8)}, 1));
  const Variant values = q.GetSubDocValuesBySubDocType(kDocument, 1, keys);
  EXPECT_EQ(values.AsArray().dims, keys.AsArray().dims);
  EXPECT_EQ(CStr(values.AsArray().At(1)) + "|" + CStr(values.AsArray().At(2)) + "|" +
                CStr(values.AsArray().At(3)),
            "Корр.|3.5|");
  EXPECT_EQ(Count("PfrCellValues where SubDocID = 1"), 2);
  EXPECT_EQ(CStr(q.GetSubDocValues(0, keys).AsArray().At(1)), "");
}

// Document 0 names no document: every operation answers empty, 0, False or
// Nothing and deletes nothing, though rows of document 0 (orphans) exist. A
// person that does not exist reads as not found however its sub-document is
// read; "*" is every type in every type list, and an empty list is error 5.
TEST_F(DBQPfrTest, IdentifierZeroUnknownPersonsAndEveryType) {
  InsertPfrPerson(101, kTaxpayer);
  InsertRows(
      "insert into PfrSubDocs (ID, DocumentID, PfrPersonID, SubDocType, EndDocumentID, "
      "EndPersonNumber, ManualSheafID)",
      {"(1, 500, 101, 1, 0, 0, 0)", "(2, 500, 101, 2, 0, 0, 0)", "(3, 500, 999, 3, 0, 0, 0)",
       "(5, 600, 0, 1, 0, 0, 0)", "(6, 600, 0, 2, 0, 0, 0)", "(8, 0, 101, 1, 0, 0, 0)",
       "(9, 0, 101, 7, 0, 0, 0)"});
  CellRow(9, 200005, "исходная");  // a collision of document 0
  CellRow(0, 1, "a cell of sub-document 0");
  Sql("insert into Warrants (ID, WorkerID, ContoraType) values (1, 0, 1)");
  Sql("insert into Personnel (ID, JobPlaceID, WorkerID) values (1, 0, 0)");
  const auto call = [](const char* cls, const char* op, std::vector<Variant> args) {
    return CreateObject(std::string("Qv_DBProvider.") + cls)->Call(op, args);
  };
  const auto text = [](const Variant& v) {
    if (v.IsObject() && !v.AsObject()) return std::string("Nothing");
    if (auto list = v.ObjectAs<Collection>()) return "[" + Ids(list) + "]";
    return CStr(v);
  };
  const Variant none, all("*"), zero(0.0), person(101.0);
  auto zeroIds = std::make_shared<Collection>();
  zeroIds->Add(zero);
  const struct {
    const char* cls;
    const char* op;
    std::vector<Variant> args;
    const char* want;  // the answer; "" for none
  } zeroCases[] = {
      {"DBQPfr", "GetSubDocsByDocumentID", {zero, Variant(512), none}, "[]"},
      {"DBQPfr", "GetSubDocsByDocumentIDAndSubDocType", {zero, Variant(1), Variant(false)}, "[]"},
      {"DBQPfr", "GetSubDocIDsByDocumentIDAndSubDocType", {zero, all, Variant(false)}, "[]"},
      {"DBQPfr", "GetFirstSubDocsByDocumentIDAndSubDocType", {zero, Variant(1)}, "Nothing"},
      {"DBQPfr", "GetFirstSubDocIDByDocumentIDAndSubDocType", {zero, Variant("1, 7")}, "0"},
      {"DBQPfr", "GetSubDocIDsByDocIDAndSubDocTypeSorted", {zero, Variant(1), Variant("")}, "[]"},
      {"DBQPfr", "GetSubdocsByExportedNums", {zero, zero, Variant(0)}, "[]"},
      {"DBQPfr", "GetSubDocsOfPersonInDocument", {zero, person, all}, "[]"},
      {"DBQPfr", "GetSubDocIDsOfPersonInDocument", {zero, person, all}, "[]"},
      {"DBQPfr", "GetFirstSubDocIDOfPersonInDocument", {zero, person, all}, "0"},
      {"DBQPfr", "GetFirstSubDocOfPersonInDocument", {zero, person, all}, "Nothing"},
      {"DBQPfr", "HasSubDocsOfPersonInDocument", {zero, person, all}, "False"},
      {"DBQPfr", "DeleteSubDocsOfPersonInDocument", {zero, person}, ""},
      {"DBQPfr", "DeleteSubDocsWithSubDocTypeInDocument", {zero, all}, ""},
      {"DBQPfr", "DeleteCollisioningSubDocsInDocument", {zero, Variant(1), person}, ""},
      {"DBQPfr", "CopyPersonSubDocsToDestDoc", {zero, person, Variant(500.0), all}, ""},
      {"DBPfrSubDoc", "DeleteRecordsInDocument", {zero, all, Variant("")}, ""},
      {"DBPfrSubDoc", "DeleteRecordsByIDs", {Variant(ObjectPtr(zeroIds))}, ""},
      {"DocumentQueries", "IsPfrManualSheafReferencesExists", {zero, Variant(500.0)}, "False"},
      {"DBQWarrant", "HasWorkerAnyWarrant", {zero}, "False"},
      {"PersonQueries", "HasWorkers", {zero}, "False"},
  };
  const std::string rows = "select ID from PfrSubDocs order by ID";
  const std::string cells = "select SubDocID from PfrCellValues order by SubDocID";
  for (const auto& c : zeroCases) {
    EXPECT_EQ(text(call(c.cls, c.op, c.args)), c.want) << c.op;
    EXPECT_EQ(Rows(rows) + " / " + Rows(cells), "1; 2; 3; 5; 6; 8; 9 / 0; 9") << c.op;
  }

  // Person 999 does not exist: once read, "sub-document:person" states.
  const struct {
    int32_t flags;
    const char* want;
  } persons[] = {{512, "3:3 3:3 3:0"}, {0, "3:3 3:3 3:0"}, {512 | 1024, "1:1 1:1 1:1"}};
  for (const auto& c : persons) {
    CollectionPtr list =
        call("DBQPfr", "GetSubDocsByDocumentID", {Variant(500.0), Variant(c.flags), none})
            .ObjectAs<Collection>();
    std::string got;
    for (int32_t i = 1; i <= list->Count(); ++i) {
      const std::string state = std::to_string(Item(list, i)->State());
      QvRecordPtr p = Sub(Item(list, i), "PfrPerson");
      if (c.flags == 0) p->Get("Surname");  // a reference reads itself
      got += (i > 1 ? " " : "") + state + ":" + std::to_string(p->State());
    }
    EXPECT_EQ(got, c.want) << c.flags;
  }

  // "*" is every type wherever a type list is taken; "" is no list.
  const struct {
    const char* op;
    std::vector<Variant> args;
    const char* want;
  } everyType[] = {
      {"GetSubDocIDsByDocumentIDAndSubDocType", {Variant(500.0), all, Variant(false)}, "[1,2,3]"},
      {"GetFirstSubDocIDByDocumentIDAndSubDocType", {Variant(500.0), all}, "1"},
      {"GetSubDocIDsOfPersonInDocument", {Variant(500.0), person, all}, "[1,2]"},
  };
  for (const auto& c : everyType) EXPECT_EQ(text(call("DBQPfr", c.op, c.args)), c.want) << c.op;
  for (const auto& c : everyType) {
    std::vector<Variant> args = c.args;
    for (Variant& a : args)
      if (a.IsString()) a = Variant("");
    ExpectError(5, "aSubDocTypes", [&] { call("DBQPfr", c.op, args); });
  }
  call("DBQPfr", "DeleteSubDocsWithSubDocTypeInDocument", {Variant(600.0), all});
  EXPECT_EQ(Rows(rows), "1; 2; 3; 8; 9");
}

TEST_F(DBQPfrTest, YearlyValuesHoldUntilTheNextYearWithARow) {
  InsertRows("insert into PfrDict_Limits (TheYear, IncomeLimit, MROT)",
             {"(2014, 624000, 5554)", "(2016, 796000, 6204)"});
  Sql("insert into PfrDict_Tariffs (TheYear, Category, EnsurPart, CumulPart, OverEnsurPart, "
      "OverCumulPart, FomsPart) values (2017, 'МД', 14, 6, 10, 0, 5.1)");
  DBQPfr q;
  EXPECT_EQ(q.GetIncomeLimit(2015), 624000);
  EXPECT_EQ(q.GetMROT(2030), 6204);
  EXPECT_EQ(q.GetIncomeLimit(2013), 0);

  double e = -1, c = -1, oe = -1, oc = -1, f = -1;
  EXPECT_FALSE(q.GetTariffs3(2020, "ПНЭ", e, c, oe, oc, f));
  EXPECT_EQ(e + c + oe + oc + f, -5);  // left as given
  EXPECT_FALSE(q.GetTariffs3(2016, "МД", e, c, oe, oc, f));
  EXPECT_TRUE(q.GetTariffs3(2020, "мд", e, c, oe, oc, f));  // letter case ignored, as Jet does
  auto t = std::dynamic_pointer_cast<TRsvTariff>(q.GetTariffs4(2020, "МД"));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->GetLowPart(), 20);
  EXPECT_EQ(t->GetFinalRate(), 728);
  EXPECT_TRUE(t->GetIsMD());
  EXPECT_EQ(q.GetTariffs4(2016, "МД"), nullptr);
}

}  // namespace
}  // namespace qv::pfr::testing
