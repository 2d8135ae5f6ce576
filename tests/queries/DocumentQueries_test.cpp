// The document queries through their public class, by name: the creation
// services with the chain rule checked after each, every move type with the
// moved rows' stream, period, instance, adjustment and links, failures
// injected half-way through a move, the month and quarter analogues
// of a form, single cells, counts and attribute searches, and the
// structured document search.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaDate.h"
#include "queries/DocumentQueries.h"
#include "records/DocumentFixture.h"
#include "siblings/records/RecordFactory.h"

namespace qv::queries::testing {
namespace {

using records::testing::DocumentTest;
using records::testing::ExpectError;
using records::testing::kAnyError;

class DocumentQueriesTest : public DocumentTest {
 protected:
  void SetUp() override {
    DocumentTest::SetUp();
    q_ = CreateObject("Qv_DBProvider.DocumentQueries");
  }
  // "id|stream|period|instance|adjustment|bottom|top" of every document.
  std::string Docs() {
    return Rows(
        "select document_id, taxpayer_id, time_id, instance_number, doc_type, bottom_next_id, "
        "top_doc_id from doc_registry order by document_id");
  }
  // "document:key=value" of every cell.
  std::string AllCells() {
    return Rows(
        "select document_id & ':' & cell_key & '=' & first_value from doc_cell_values order by "
        "document_id, cell_key");
  }
  static std::string Ids(const Variant& collection) { return coretest::RenderResult(collection); }
  ObjectPtr q_;
};

// ---- creation

TEST_F(DocumentQueriesTest, CreationServicesKeepTheChainRule) {
  using V = Variant;
  const struct {
    const char* service;
    std::vector<Variant> args;
    const char* docs;        // the new document: id|stream|period|instance|adjustment|bottom|top
    const char* cells;       // its cells
    bool copyFails = false;  // first with the cells' copy failing half-way: nothing written
  } steps[] = {
      {"CreateNewDocument2", {V(5.0), V(2513.0), V(101.0)}, "51|5|2513|0|0|0|0", ""},
      {"CreateNewInstance2", {V(5.0), V(2513.0), V(101.0)}, "52|5|2513|1|0|0|0", ""},
      // with the archive's cells
      {"CreateNewAdjustment2",
       {V(5.0), V(2513.0), V(102.0), V(true)},
       "53|5|2513|0|1|51|0",
       "010000100001=base/129",
       true},
      // of a given version, no cells
      {"CreateNewAdjustment2",
       {V(5.0), V(2513.0), V(101.0), V(false), V(52.0)},
       "54|5|2513|1|1|52|0",
       ""},
      // with a document's cells
      {"CreateNewAdjustment2",
       {V(5.0), V(2513.0), V(101.0), V(true), V(53.0), V(0), V(-1), V(1), V(50.0)},
       "55|5|2513|0|2|53|0",
       "010000200001=other/129"},
      {"CreateNewDocument2",
       {V(5.0), V(2514.0), V(101.0), V(-1), V(2), V(50.0)},
       "56|5|2514|0|0|0|0",
       "010000200001=other/129",
       true},
      {"CreatePfrEndDocument", {V(51.0), V(101.0)}, "57|5|246|0|0|0|0", ""},
      {"CreatePfrEndDocument", {V(52.0), V(101.0)}, "58|5|246|1|0|0|0", ""},  // the next instance
      // Instances 0 and 1 have current versions (55, 54): a new chain takes
      // the next instance rather than become a second current version.
      {"CreateNewDocument2", {V(5.0), V(2513.0), V(101.0)}, "59|5|2513|2|0|0|0", ""},
  };
  AddDoc(50, "taxpayer_id = 6, time_id = 2417");  // cells to copy, in another stream
  AddCell(50, "010000200001", "other");
  for (auto s : steps) {
    SCOPED_TRACE(s.docs);
    if (s.cells == std::string("010000100001=base/129")) AddCell(51, "010000100001", "base");
    if (s.copyFails) {
      const std::string before = Docs() + " || " + AllCells();
      Refuse("fail_copy", "BEFORE INSERT ON doc_cell_values");
      ExpectError(kAnyError, "", [&] { q_->Call(s.service, s.args); });
      EXPECT_EQ(Docs() + " || " + AllCells(), before);
      Allow("fail_copy");
    }
    auto doc = q_->Call(s.service, s.args).ObjectAs<records::QvRecord>();
    EXPECT_EQ(doc->State(), records::kLoaded);
    const std::string all = Docs();
    EXPECT_NE(all.find(s.docs), std::string::npos) << all;
    EXPECT_EQ(Cells(doc->Id()), s.cells);
    EXPECT_EQ(ChainFaults(), "");
  }
  EXPECT_EQ(Number("select PfrMasterDocID from doc_registry where document_id = 57"), 51);
  for (const char* p : {"Accept_Date", "Accept_Term", "Payment_Term"})  // 1 March of its year
    EXPECT_EQ(CStr(Read(57)->Get(p)), "01.03.2025") << p;
  EXPECT_EQ(Number("select Status_Qv from doc_registry where document_id = 56"), 2);

  // A master that does not exist: error 5, nothing made.
  ExpectError(5, "[Qv_DBProvider::DocumentQueries.CreatePfrEndDocument]",
              [&] { q_->CallV("CreatePfrEndDocument", 99.0, 101.0); });
  EXPECT_EQ(Count("doc_registry"), 10);
}

// ---- moves

class Moves : public DocumentQueriesTest {
 protected:
  // Stream 5, Q1: versions 1 <- 2 of instance 0 and instance 1 (3) of doc
  // type 10, a document of doc type 20 (30); stream 6, Q2: instances 0 (10)
  // and 1 (11) of doc type 10.
  void SetUp() override {
    DocumentQueriesTest::SetUp();
    AddDoc(1, "top_doc_id = 2");
    AddDoc(2,
           "doc_type = 1, bottom_next_id = 1, template_id = 102, Notes = 'moved', "
           "Status_Qv = 2, reg_number = 7");
    AddDoc(3, "instance_number = 1");
    AddDoc(30, "template_id = 201");
    AddDoc(10, "taxpayer_id = 6, time_id = 2514, reg_number = 3");
    AddDoc(11, "taxpayer_id = 6, time_id = 2514, instance_number = 1");
    AddCell(1, "010000100001", "old");
    AddCell(2, "010000100001", "new");
    AddCell(10, "020000100001", "dest");
  }
  std::string State() { return Docs() + " || " + AllCells(); }
  double Move(double src, int32_t type, double destDoc = 0, double stream = 6,
              double period = 2514) {
    std::vector<Variant> args{Variant(src),    Variant(type),    Variant(stream),
                              Variant(period), Variant(destDoc), Variant(-1.0)};
    q_->Call("MoveDocument", args);
    return CDbl(args[5]);
  }
};

// Each move type first fails half-way (its last kind of write refused) and
// leaves every row as it was, then moves the rows it should.
TEST_F(Moves, EachTypeMovesTheRowsItShouldOrNone) {
  const struct {
    int32_t type;
    double destDoc, result;
    const char* failing;  // the move's last kind of write on doc_registry
    const char* docs;
    const char* cells;
    double period = 2514;  // of the destination
  } cases[] = {
      // Alone: 2 leaves its chain (1 is current again) and is a new instance.
      {1, 0, 2, "UPDATE OF taxpayer_id",
       "1|5|2513|0|0|0|0; 2|6|2514|2|0|0|0; 3|5|2513|1|0|0|0; 10|6|2514|0|0|0|0; "
       "11|6|2514|1|0|0|0; 30|5|2513|0|0|0|0",
       "1:010000100001=old; 2:010000100001=new; 10:020000100001=dest"},
      // The group of doc type 10 to Q1 of stream 6, links and numbers as they were.
      {2, 0, -1, nullptr,
       "1|6|2513|0|0|0|2; 2|6|2513|0|1|1|0; 3|6|2513|1|0|0|0; 10|6|2514|0|0|0|0; "
       "11|6|2514|1|0|0|0; 30|5|2513|0|0|0|0",
       "1:010000100001=old; 2:010000100001=new; 10:020000100001=dest", 2513},
      // The group numbered after the destination's instances 0 and 1.
      {3, 0, -1, "UPDATE OF instance_number",
       "1|6|2514|2|0|0|2; 2|6|2514|2|1|1|0; 3|6|2514|3|0|0|0; 10|6|2514|0|0|0|0; "
       "11|6|2514|1|0|0|0; 30|5|2513|0|0|0|0",
       "1:010000100001=old; 2:010000100001=new; 10:020000100001=dest"},
      // Merged into 10: its cells and fields go there, 2 is gone.
      {4, 10, 10, "DELETE",
       "1|5|2513|0|0|0|0; 3|5|2513|1|0|0|0; 10|6|2514|0|0|0|0; 11|6|2514|1|0|0|0; "
       "30|5|2513|0|0|0|0",
       "1:010000100001=old; 10:010000100001=new; 10:020000100001=dest"},
      // A new adjustment (31) of the destination's newest version 11.
      {5, 0, 31, "DELETE",
       "1|5|2513|0|0|0|0; 3|5|2513|1|0|0|0; 10|6|2514|0|0|0|0; 11|6|2514|1|0|0|31; "
       "30|5|2513|0|0|0|0; 31|6|2514|1|1|11|0",
       "1:010000100001=old; 10:020000100001=dest; 31:010000100001=new"},
      // The group, replacing the destination's.
      {6, 0, -1, "UPDATE OF taxpayer_id",
       "1|6|2514|0|0|0|2; 2|6|2514|0|1|1|0; 3|6|2514|1|0|0|0; 30|5|2513|0|0|0|0",
       "1:010000100001=old; 2:010000100001=new"},
      {7, 0, -1, nullptr, "", ""},
  };
  const std::string before = State();
  for (const auto& c : cases) {
    SCOPED_TRACE("move type " + std::to_string(c.type));
    TearDown();
    SetUp();
    if (c.failing) {
      Refuse("fail_move", std::string("BEFORE ") + c.failing + " ON doc_registry");
      ExpectError(kAnyError, "[Qv_DBProvider::DocumentQueries.MoveDocument]",
                  [&] { Move(2, c.type, c.destDoc, 6, c.period); });
      EXPECT_EQ(State(), before);
      Allow("fail_move");
    }
    EXPECT_EQ(Move(2, c.type, c.destDoc, 6, c.period), c.result);
    if (c.type == 7) {
      EXPECT_EQ(State(), before);
      continue;
    }
    EXPECT_EQ(Docs(), c.docs);
    EXPECT_EQ(AllCells(), c.cells);
    EXPECT_EQ(ChainFaults(), "");
    if (c.type == 4) {  // the source's fields, the destination's place and registration
      auto doc = Read(10);
      EXPECT_EQ(CStr(doc->Get("Notes")) + "/" + CStr(doc->Get("Status_Qv")) + "/" +
                    CStr(Sub(doc, "Template")->Get("ID")) + "/" + CStr(doc->Get("Reg_Number")),
                "moved/2/102/3");
    }
  }
}

TEST_F(Moves, RefusedMovesMoveNothing) {
  const struct {
    double src;
    int32_t type;
    double destDoc, stream, period;
    int32_t error;
  } cases[] = {
      {99, 2, 0, 6, 2514, 40090},  // no source
      {2, 2, 0, 99, 2514, 5},      // no destination stream
      {2, 1, 0, 6, 1, 5},          // no destination period
      {2, 4, 99, 6, 2514, 5},      // no destination document
      {2, 4, 2, 6, 2514, 5},       // into itself
      {2, 4, 30, 6, 2514, 5},      // into another doc type
      {2, 6, 0, 5, 2513, 5},       // a group onto itself
      {2, 2, 0, 6, 2514, 5},       // a group onto instances the destination has
  };
  const std::string before = State();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.error));
    ExpectError(c.error, "", [&] { Move(c.src, c.type, c.destDoc, c.stream, c.period); });
    EXPECT_EQ(State(), before);
  }
}

TEST_F(Moves, MovingOneDocumentToAnotherStream) {
  const auto can = [&](double doc, double stream) {
    return CLng(q_->CallV("CanMoveDocumentToAnotherAccStream", doc, stream));
  };
  EXPECT_EQ(can(99, 7), kMoveNoDocument);  // whatever the destination holds
  EXPECT_EQ(can(10, 5), kMoveAllowed);     // stream 5 has template 101 only in Q1
  AddDoc(12, "taxpayer_id = 6, time_id = 2513, template_id = 102");
  EXPECT_EQ(can(1, 6), kMoveAllowed);  // another template of the doc type
  EXPECT_EQ(can(12, 5), kMoveDestinationHasForm);

  // Clearing the way deletes the destination's documents of that exact
  // template and period, with their cells.
  AddCell(2, "030000100001", "x");
  q_->CallV("PrepareMovingDociumentToAnotherAccStream", 12.0, 5.0);
  EXPECT_EQ(CStr(Scalar("select count(*) & '/' & min(document_id) from doc_registry where "
                        "template_id = 102")),
            "1/12");
  EXPECT_EQ(Count("doc_cell_values where document_id = 2"), 0);
  EXPECT_EQ(Chain(), "1:0.0 <0 >0; 3:1.0 <0 >0; 30:0.0 <0 >0");  // 1 is current again
  // Stream 5 has instance 0 of the doc type in Q1: 12 becomes instance 2.
  q_->CallV("MoveDocumentToAnotherAccStream", 12.0, 5.0);
  EXPECT_EQ(Text("select taxpayer_id & '/' & instance_number from doc_registry where "
                 "document_id = 12"),
            "5/2");
  ExpectError(5, "", [&] { q_->CallV("MoveDocumentToAnotherAccStream", 12.0, 99.0); });
  // A version goes with its chain (11 <- 13).
  AddDoc(13,
         "taxpayer_id = 6, time_id = 2514, instance_number = 1, doc_type = 1, "
         "bottom_next_id = 11");
  Sql("update doc_registry set top_doc_id = 13 where document_id = 11");
  q_->CallV("MoveDocumentToAnotherAccStream", 11.0, 5.0);
  EXPECT_EQ(Chain(kOrgStream, kQ2), "11:1.0 <0 >13; 13:1.1 <11 >0");
  EXPECT_EQ(ChainFaults(), "");

  EXPECT_EQ(Ids(q_->CallV("GetMovingDocsInSrcAccStream", 5.0)), "1;3;12;30;11;13;");
  EXPECT_EQ(Ids(q_->CallV("GetAppropriateDocsInDestAccStream", 1.0, 5.0)), "1;3;12;");
  EXPECT_EQ(Ids(q_->CallV("GetAppropriateDocsInDestAccStream", 99.0, 5.0)), "");
}

// ---- periods (the neighbouring ones: DocumentChains_test.cpp)

TEST_F(DocumentQueriesTest, MonthAndQuarterAnalogues) {
  AddDoc(1, "time_id = 2514");  // II quarter 2025
  AddDoc(2, "time_id = 2501");  // January, April and June 2025
  AddDoc(3, "time_id = 2504");
  AddDoc(4, "time_id = 2506");
  const struct {
    double period;
    bool answer;
    int32_t result;
    const char* names;
  } cases[] = {
      {2505, true, kAnalogQuarterOfMonth, "II квартал, полугодие"},  // May
      {2502, true, -1, "untouched"},                                 // February: Q1 has none
      {2514, true, kAnalogMonthsOfQuarter, "Апрель, Июнь"},
      {2515, true, -1, "untouched"},
      {2517, true, -1, "untouched"},  // the year
      {1, false, -1, "untouched"},    // no such period
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.period);
    std::vector<Variant> args{Variant(5.0), Variant(c.period), Variant(101.0), Variant(-1),
                              Variant("untouched")};
    EXPECT_EQ(CBool(q_->Call("CheckForMonthOrQuartAnalogs", args)), c.answer);
    EXPECT_EQ(CLng(args[3]), c.result);
    EXPECT_EQ(CStr(args[4]), c.names);
  }
  EXPECT_EQ(DocumentQueries::GetReportName(23), "(Конечные документы ПУ ПФР)");
  EXPECT_EQ(DocumentQueries::GetReportName(22), "");
  EXPECT_EQ(DocumentQueries::GetReportName(101), "");
}

// ---- cells

TEST_F(DocumentQueriesTest, SingleCells) {
  AddDoc(1);
  const std::string key = "010000100001";
  const std::string long300(300, 'z');
  const struct {
    double doc;
    std::string key, value, cells;
  } steps[] = {
      {1, key, "", ""},  // an empty value never makes a cell
      {1, key, "5", "010000100001=5/2"},
      {1, key, "6", "010000100001=6/2"},
      {1, "01000010000", "7", "010000100001=6/2"},  // 11 characters: ignored
      {0, key, "7", "010000100001=6/2"},            // document 0: ignored
      {1, key, "", ""},
      {1, "0100001000Ё1", long300, "0100001000Ё1=" + std::string(250, 'z') + "/2"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.key + "=" + s.value.substr(0, 5));
    q_->CallV("SaveDocCellValue", s.doc, s.key, s.value, 2);
    EXPECT_EQ(Cells(1), s.cells);
  }

  // Copies add to what the target has; zeroing takes every cell.
  AddDoc(2, "time_id = 2514");
  AddCell(2, "020000100001", "kept");
  EXPECT_TRUE(CBool(q_->CallV("CopyDocumentCells", 1.0, 2.0)));
  EXPECT_EQ(Count("doc_cell_values where document_id = 2"), 2);
  EXPECT_EQ(Ids(q_->CallV("LoadDocCellValues", 2.0)),
            "0100001000Ё1|" + std::string(250, 'z') + "|2;020000100001|kept|129;");
  EXPECT_TRUE(CBool(q_->CallV("ZeroDocumentCells", 2.0)));
  EXPECT_EQ(Count("doc_cell_values where document_id = 2"), 0);

  // The recordset the application fills, written by the package service.
  Variant cells = q_->CallV("CreateRecordsetForCellValues");
  auto rs = cells.ObjectAs<ado::Recordset>();
  rs->AppendRow({Variant("030000100001"), Variant(129), Variant("из пакета")});
  std::vector<Variant> args{Variant(2.0), cells};
  q_->Call("UpdateDocCellValues", args);
  EXPECT_EQ(Cells(2), "030000100001=из пакета/129");
}

// ---- counts and searches

TEST_F(DocumentQueriesTest, CountsAndAttributeSearches) {
  AddDoc(1, "instance_number = Null, top_doc_id = 2");
  AddDoc(2, "doc_type = 1, bottom_next_id = 1");
  AddDoc(3, "instance_number = 2, template_id = 201");
  AddDoc(4, "time_id = 2514");
  AddDoc(5, "taxpayer_id = 6");
  const struct {
    double tmpl, period;
    int32_t instance, adjustment;
    const char* ids;
  } searches[] = {
      {-1, -1, -1, -1, "4;3;2;1;"}, {101, -1, -1, -1, "4;2;1;"}, {-1, 2513, 0, -1, "2;1;"},
      {-1, -1, 0, 0, "4;1;"},       {201, 2513, 2, 0, "3;"},     {102, -1, -1, -1, ""},
  };
  for (const auto& s : searches) {
    SCOPED_TRACE(s.ids);
    EXPECT_EQ(CBool(q_->CallV("IsExistsDocumentWithAttributesInAccStream", 5.0, s.tmpl, s.period,
                              s.instance, s.adjustment)),
              std::string(s.ids) != "");
    EXPECT_EQ(Ids(q_->CallV("GetDocumentsWithAttributesInAccStream", 5.0, s.tmpl, s.period,
                            s.instance, s.adjustment)),
              s.ids);
  }
  EXPECT_EQ(CLng(q_->CallV("GetDocCountForSolverInPeriod", 5.0, 2513)), 2);
  EXPECT_EQ(CLng(q_->CallV("GetDocCountForSolverInPeriod2", 5.0, 2513, "")), 2);
  EXPECT_EQ(CLng(q_->CallV("GetDocCountForSolverInPeriod2", 5.0, 2513, "20")), 1);
  EXPECT_EQ(CLng(q_->CallV("GetDocCountForSolverInPeriod2", 5.0, 2513, " 10; 20")), 0);
  EXPECT_EQ(CLng(q_->CallV("GetTotalDocsCount")), 5);
  EXPECT_EQ(CLng(q_->CallV("GetDocInstancesCount", 1.0)), 2);
  EXPECT_EQ(CLng(q_->CallV("GetDocInstancesCount", 99.0)), 0);

  // Current versions of the doc type in the owner's streams of type 1.
  InsertRows("insert into AccStream (ID, PersonID, DisplayName, AccStreamType)",
             {"(7, 1, 'Org 2', 1)", "(8, 1, 'Org 3', 3)"});
  AddDoc(6, "taxpayer_id = 7, template_id = 102");
  AddDoc(7, "taxpayer_id = 8");
  EXPECT_EQ(Ids(q_->CallV("GetTaxDocsAnalogs", 5.0, 2513.0, 101.0)), "2;6;");
  ExpectError(40090, "", [&] { q_->CallV("GetTaxDocsAnalogs", 99.0, 2513.0, 101.0); });

  // Lists of a stream, and attachments.
  auto inPeriod =
      q_->CallV("GetDocumentsInPeriodAndAccStream", 5.0, 2513.0).ObjectAs<ado::Recordset>();
  EXPECT_EQ(inPeriod->RowCount(), 3u);
  auto all = q_->CallV("GetDocumentsInAccStream", 5.0).ObjectAs<ado::Recordset>();
  std::string order;
  for (size_t r = 0; r < all->RowCount(); ++r) order += CStr(all->Value(r, 0)) + ",";
  EXPECT_EQ(order, "1,2,3,4,");
  InsertRows("insert into Doc_Attachments (ID, DocumentID, StoredFileID)",
             {"(1, 2, 0)", "(2, 0, 0)"});
  EXPECT_EQ(Ids(q_->CallV("GetDocumentAttachments", 2.0)), "1;");
  EXPECT_EQ(Ids(q_->CallV("GetDocumentAttachments", 0.0)), "");
}

// References to a manual pack are cleared in one transaction with the
// sub-documents read again, which needs their mapper.
TEST_F(DocumentQueriesTest, ManualPackReferences) {
  AddDoc(1);
  InsertRows("insert into PfrSubDocs (ID, DocumentID, ManualSheafID)", {"(1, 1, 4)", "(2, 1, 5)"});
  EXPECT_TRUE(CBool(q_->CallV("IsPfrManualSheafReferencesExists", 4.0, 1.0)));
  EXPECT_FALSE(CBool(q_->CallV("IsPfrManualSheafReferencesExists", 4.0, 2.0)));
  q_->CallV("ClearReferencesToPfrManualSheaf", 4.0, 1.0);
  EXPECT_EQ(CStr(Scalar("select ManualSheafID from PfrSubDocs where ID = 1")), "0");
  EXPECT_EQ(CStr(Scalar("select ManualSheafID from PfrSubDocs where ID = 2")), "5");
  EXPECT_FALSE(CBool(q_->CallV("IsPfrManualSheafReferencesExists", 4.0, 1.0)));
}

// ---- the structured search: each criterion of the query object alone and
// a few together, on one set of documents, with the joins its statement
// needs; criteria read from the documents' records (signing date, signer,
// tax offices); the other documents of a pension-fund pack.

class DocSearch : public DocumentQueriesTest {
 protected:
  void SetUp() override {
    DocumentQueriesTest::SetUp();
    // Person 3, a branch of organisation 1, with a closed stream 7; a
    // signer (worker 1, Петров); the streams' tax offices 7701 and 7802.
    InsertRows("insert into Person (ID, Type, PersonRealID)", {"(3, 2, 2)", "(4, 1, 2)"});
    Sql("insert into LegalPerson (ID, ShortName, LPCategory) values (2, 'Филиал', 1)");
    // The branch is registered under organisation 5 as well.
    InsertRows("insert into Branches (ID, ParentPersonID, ChildPersonID)",
               {"(1, 1, 3)", "(2, 5, 3)"});
    Sql("insert into AccStream (ID, PersonID, DisplayName, AccStreamType, LastYear) values (7, 3, "
        "'Branch', 1, 2024)");
    Sql("insert into NaturalPerson (ID, Surname) values (2, 'Петров')");
    Sql("insert into Personnel (ID, JobPlaceID, WorkerID) values (1, 1, 4)");
    InsertRows("insert into TaxOffice (ID, Code, ShortName, ContoraType, showorder)",
               {"(1, '7701', 'ИФНС 1', 1, 0)", "(2, '7802', 'ИФНС 2', 1, 0)"});
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
    auto docs = q_->Call("PerformDocQuery", args).ObjectAs<Collection>();
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

using Set = std::function<void(Object&)>;

// Switches the query object's criterion "Is<criterion>" on and sets the
// properties that follow, as name, value pairs.
template <typename... A>
Set On(const std::string& criterion, A... nameValues) {
  const std::vector<Variant> kv{Variant(nameValues)...};
  return [=](Object& q) {
    q.Let("Is" + criterion, Variant(true));
    for (size_t i = 0; i + 1 < kv.size(); i += 2) q.Let(CStr(kv[i]), kv[i + 1]);
  };
}
Set Both(Set a, Set b) {
  return [=](Object& q) { a(q), b(q); };
}

TEST_F(DocSearch, EachCriterionSelectsItsDocuments) {
  const auto range = [](int y1, int m1, int y2, int m2) {
    return On("Periods", "PeriodCriterion", 2, "RangePeriodYear1", y1, "RangePeriodMonth1", m1,
              "RangePeriodYear2", y2, "RangePeriodMonth2", m2);
  };
  const auto period = [](int month) {
    return On("Periods", "PeriodCriterion", 1, "OnePeriodYear", 2025, "OnePeriodMonthID", month);
  };
  // The two offices' prefixes, either or both; one document with its pack.
  const auto offices = [](int joining) {
    return Both(On("ContoraPrefix1", "ContoraPrefix1", "77"),
                On("ContoraPrefix2", "ContoraPrefix2", "78", "ContoraJoining", joining));
  };
  const auto cluster = [](int doc) {
    return On("DocNum", "DocNumMode", 1, "DocNum1", doc, "DocNum2", doc, "WholePfrCluster", true);
  };
  const auto status = [](int statuses) { return On("DocStatus", "DocStatuses", statuses); };
  const auto notes = [](int mode, const char* text = "") {
    return On("Notes", "NotesMode", mode, "Notes", text);
  };
  const auto templates = [](int mode, Variant ids) {
    return On("Template", "TemplatesMode", mode, "Templates", ids);
  };
  const auto taxpayers = [](int type, Variant persons = List({1})) {
    return On("Taxpayers", "TaxpayersType", type, "TaxpayersList", persons);
  };
  const struct {
    const char* name;
    Set set;
    const char* ids;
    size_t joins;
  } cases[] = {
      {"nothing asked", [](Object&) {}, "1,2,3,4,5,6", 0},
      {"in work", status(1), "1,6", 0},
      {"in work or archived", status(9), "1,4,6", 0},
      {"archived", status(8), "4", 0},
      {"no status", status(0), "", 0},
      {"no note", notes(1), "2,3", 0},
      {"a note", notes(2), "1,4,5,6", 0},
      {"a note with", notes(3, "ГОДОВОЙ"), "1,4", 0},
      {"a star is a star", notes(3, "*"), "1", 0},
      {"a quote", notes(3, "x\" or \"1"), "", 0},
      {"numbers", On("DocNum", "DocNumMode", 1, "DocNum1", 2, "DocNum2", 4), "2,3,4", 0},
      {"the last two", On("DocNum", "DocNumMode", 2, "LastDocNumsCount", 2), "5,6", 0},
      {"templates", templates(1, List({101})), "1,4,5,6", 0},
      {"doc types", templates(2, List({20})), "3", 1},
      {"no template", templates(1, List({})), "", 0},
      {"one period", period(13), "1,3", 0},
      {"a period that is not", period(99), "", 0},
      {"a range", range(2025, 1, 2025, 3), "1,3,4,5", 0},
      {"months of a range", Both(range(2025, 1, 2025, 6), On("PeriodTypes", "PeriodTypes", 1)),
       "4,5", 0},
      {"a long range", range(2020, 1, 2026, 12), "1,2,3,4,5", 0},
      {"stream type 2", On("AccStreamType", "AccStreamTypes", 2), "3", 1},
      {"open streams", On("AccStreamOpeness", "AccStreamOpen", 1), "1,2,3,6", 1},
      {"closed streams", On("AccStreamOpeness", "AccStreamOpen", 2), "4,5", 1},
      {"streams", On("AccStreamsList", "AccStreamsList", List({6, 7})), "3,4,5", 0},
      {"owners", taxpayers(1), "1,2,6", 1},
      {"branches", taxpayers(2), "4,5", 2},
      {"branches of both parents, once", taxpayers(2, List({1, 5})), "4,5", 2},
      {"branches and their parent", Both(taxpayers(2), On("Taxpayers", "IncludeMainOrgDocs", true)),
       "1,2,4,5,6", 2},
      {"status and doc type",
       Both(Both(status(3), templates(2, List({10}))), On("AccStreamType", "AccStreamTypes", 1)),
       "1,2,5,6", 2},
      {"signed in April",
       On("SignDate", "SignDate1", DateSerial(2025, 4, 1), "SignDate2", DateSerial(2025, 4, 30)),
       "1", 0},
      {"signed from May", On("SignDate", "SignDate1", DateSerial(2025, 5, 1)), "2", 0},
      {"signer", On("SignerFio", "SignerSurname", " петров "), "2", 0},
      {"first office", On("ContoraPrefix1", "ContoraPrefix1", "50, 77"), "1,2,6", 0},
      {"either office", offices(2), "1,2,3,6", 0},
      {"both offices", offices(1), "", 0},
      {"a master with its pack", cluster(2), "2,6", 0},
      {"an end document with its master", cluster(6), "2,6", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Found f = Search(c.set);
    EXPECT_EQ(f.ids, c.ids) << f.statement;
    EXPECT_EQ(Joins(f.statement), c.joins) << f.statement;
  }
}

// A list that is not identifiers is refused before any statement runs.
TEST_F(DocSearch, ListsHoldIdentifiers) {
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
