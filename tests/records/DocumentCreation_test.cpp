// Creating documents: first versions, instances and adjustments with their
// chain links, copied cells, refused creations that leave nothing behind;
// walks along chains, damaged ones included; consolidated cells. (End
// documents and the neighbouring periods are the document queries' tests.)

#include <gtest/gtest.h>

#include <vector>

#include "platform/automation/VbaDate.h"
#include "records/DocumentFixture.h"
#include "records/miDocument.h"
#include "siblings/kprapplied/KprDocument.h"

namespace qv::records::testing {
namespace {

using DocumentCreation = DocumentTest;
using namespace miDocument::createflags;

QvRecordPtr Create(double stream, double period, double tmpl, int32_t flags, double archived = 0,
                   int32_t instance = -1, double copyFrom = 0) {
  return miDocument::CreateDocument(stream, period, tmpl, flags, archived, instance, -1, 1,
                                    copyFrom, nullptr);
}

TEST_F(DocumentCreation, InstancesAndAdjustmentsKeepTheirChains) {
  const struct {
    int32_t flags;
    double archived;
    int32_t instance;
    const char* chain;
  } steps[] = {
      {0, 0, -1, "1:0.0 <0 >0"},
      {kNewInstance, 0, -1, "1:0.0 <0 >0; 2:1.0 <0 >0"},
      {kAdjustment, 0, 0, "1:0.0 <0 >3; 2:1.0 <0 >0; 3:0.1 <1 >0"},
      {kAdjustment, 0, 0, "1:0.0 <0 >3; 2:1.0 <0 >0; 3:0.1 <1 >4; 4:0.2 <3 >0"},
      {kAdjustment, 2, -1, "1:0.0 <0 >3; 2:1.0 <0 >5; 3:0.1 <1 >4; 4:0.2 <3 >0; 5:1.1 <2 >0"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.chain);
    Create(kOrgStream, kQ1, kVat, s.flags, s.archived, s.instance);
    EXPECT_EQ(Chain(), s.chain);
    EXPECT_EQ(ChainFaults(), "");
  }
  // The middle version of instance 0 goes; its neighbours name each other.
  DBDocument().DeleteRecord(Obj(Read(3)));
  EXPECT_EQ(Chain(), "1:0.0 <0 >4; 2:1.0 <0 >5; 4:0.2 <1 >0; 5:1.1 <2 >0");
  EXPECT_EQ(ChainFaults(), "");

  // What a new document is given: numbers, scale, currency, statuses and
  // the dates of the date service (VAT for the first quarter of 2025).
  const kprapplied::Terms terms = kprapplied::TermsOf("1151001", 2025, 13, false);
  EXPECT_EQ(Text("select reg_number & '/' & Less & '/' & Currency_ID & '/' & Status & '/' & "
                 "Status_Qv & '/' & EditorType & '/' & accept_term & '/' & payment_term from "
                 "doc_registry where document_id = 1"),
            "1/1/157/1/1/1/" + CStr(Variant(terms.accept)) + "/" + CStr(Variant(terms.payment)));
  // Made today, and accepted as of today.
  EXPECT_EQ(Number("select min(Registry_Date) from doc_registry"), Today().serial);
  EXPECT_EQ(Number("select max(accept_date) from doc_registry"), Today().serial);
}

TEST_F(DocumentCreation, CellsAreCopiedByTheirFlags) {
  auto first = Create(kOrgStream, kQ1, kVat, 0);
  AddCell(first->Id(), "010000100001", "base");
  AddDoc(50, "time_id = 2514");
  AddCell(50, "010000200001", "other");
  const struct {
    int32_t flags;
    double copyFrom;
    const char* cells;
  } cases[] = {
      {kAdjustment, 50, ""},  // a document to copy from, but not asked to
      {kAdjustment | kCopyFromArchive, 0, "010000100001=base/129"},
      {kAdjustment | kCopyFromArchive | kCopyFromDocument, 50, "010000200001=other/129"},
      {kNewInstance | kCopyFromDocument, 50, "010000200001=other/129"},
      {kNewInstance | kCopyFromArchive, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    auto doc = Create(kOrgStream, kQ1, kVat, c.flags, first->Id(), -1, c.copyFrom);
    EXPECT_EQ(Cells(doc->Id()), c.cells);
  }
}

TEST_F(DocumentCreation, RefusedCreationsLeaveNothing) {
  auto base = Create(kOrgStream, kQ1, kVat, 0);
  AddCell(base->Id(), "010000100001", "1");
  const std::string before = Chain() + " " + Cells(base->Id());
  const struct {
    double stream, period, tmpl, archived;
    int32_t flags, error;
    std::string named;
  } cases[] = {
      {7, kQ1, kVat, 0, 0, 5, "accounting stream 7"},
      {kOrgStream, 1, kVat, 0, 0, 5, "period 1"},
      {kOrgStream, kQ1, 999, 0, 0, 5, "template 999"},
      {kOrgStream, kQ1, kVat, 77, kAdjustment, 5, "document 77"},
      // A big document whose shard folder cannot be made (a file is in the
      // way): the new row and the base's link go too.
      {kOrgStream, kQ1, kBig, base->Id(), kAdjustment | kCopyFromArchive, 1001,
       "Cannot create the folder " + Folder() + "BigDocs/02/00"},
  };
  WriteFile("BigDocs", "not a folder");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    // A server folder keeps its shards as schemas: no folder to be in the way of.
    if (OnServer() && c.error == 1001) continue;
    ExpectError(c.error, c.named, [&] { Create(c.stream, c.period, c.tmpl, c.flags, c.archived); });
    EXPECT_EQ(Chain() + " " + Cells(base->Id()), before);
    EXPECT_EQ(Count("doc_cell_values"), 1);
  }
}

TEST_F(DocumentCreation, ImportedVersionsTakeTheirPlaceInTheChain) {
  AddDoc(1, "top_doc_id = 2");
  AddDoc(2, "doc_type = 2, bottom_next_id = 1, template_id = 102");  // same doc type
  const struct {
    int32_t instance, adjustment;
    const char* chain;
    int32_t error = 0;
  } steps[] = {
      {0, 1, "1:0.0 <0 >3; 2:0.2 <3 >0; 3:0.1 <1 >2"},
      {0, 5, "1:0.0 <0 >3; 2:0.2 <3 >4; 3:0.1 <1 >2; 4:0.5 <2 >0"},
      // A second version 0 would make the chain go back.
      {0, 0, "1:0.0 <0 >3; 2:0.2 <3 >4; 3:0.1 <1 >2; 4:0.5 <2 >0", 5},
      {2, 3, "1:0.0 <0 >3; 2:0.2 <3 >4; 3:0.1 <1 >2; 4:0.5 <2 >0; 5:2.3 <0 >0"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.chain);
    const auto import = [&] {
      return miDocument::CreateImportingDocument(kOrgStream, kQ1, kVat, s.instance, s.adjustment,
                                                 -1, 2);
    };
    if (s.error) {
      ExpectError(s.error, "", import);
    } else {
      EXPECT_EQ(CLng(import()->Get("Status_Qv")), 2);
    }
    EXPECT_EQ(Chain(), s.chain);
    EXPECT_EQ(ChainFaults(), "");
  }
}

TEST_F(DocumentCreation, ChainWalksStopOnDamagedChains) {
  AddDoc(1, "top_doc_id = 2");
  AddDoc(2, "doc_type = 1, bottom_next_id = 1, top_doc_id = 3");
  AddDoc(3, "doc_type = 2, bottom_next_id = 2");
  EXPECT_EQ(miDocument::GetOlderVersionsList(3, true), "3, 2, 1");
  EXPECT_EQ(miDocument::GetOlderVersionsList(3, false), "2, 1");
  EXPECT_EQ(miDocument::GetOlderVersions(2, false)->Count(), 1);
  auto chainText = [](const CollectionPtr& c) {
    std::string text;
    for (int32_t i = 1; i <= c->Count(); ++i) text += CStr(c->At(i)) + " ";
    return text;
  };
  EXPECT_EQ(chainText(miDocument::GetDocClassChain(kOrgStream, kQ1, 10, true)), "3 2 1 ");
  EXPECT_EQ(chainText(miDocument::GetDocClassChain(kOrgStream, kQ1, 10, false)), "1 2 3 ");
  EXPECT_EQ(miDocument::GetDocClassChain(kOrgStream, kQ2, 10, true)->Count(), 0);

  // A loop: the walk stops after 100 steps. A dangling link: at the
  // document that does not exist.
  Sql("update doc_registry set bottom_next_id = 3 where document_id = 1");
  EXPECT_EQ(miDocument::GetOlderVersions(3, true)->Count(), 101);
  Sql("update doc_registry set bottom_next_id = 99 where document_id = 1");
  EXPECT_EQ(miDocument::GetOlderVersionsList(2, false), "1, 99");
  Sql("update doc_registry set top_doc_id = 1 where document_id = 3");
  EXPECT_EQ(miDocument::GetDocClassChain(kOrgStream, kQ1, 10, true)->Count(), 0);
}

TEST_F(DocumentCreation, ConsolidatedCellsSumTheCurrentVersionsOfTheMembers) {
  Sql("insert into ConsStream (ID, DisplayName) values (1, 'Group')");
  InsertRows("insert into ConsMembers (ID, ConsStreamID, AccStreamID)", {"(1, 1, 5)", "(2, 1, 6)"});
  Sql("insert into ConsDocs (ID, ConsStream_ID, Template_ID, Time_ID) values (3, 1, 101, 2513)");
  AddDoc(1, "top_doc_id = 2");  // superseded by 2
  AddDoc(2, "bottom_next_id = 1, doc_type = 1");
  AddDoc(3, "taxpayer_id = 6");
  AddDoc(4, "taxpayer_id = 7");    // not a member
  AddDoc(5, "template_id = 102");  // another template
  AddCell(1, "010000100001", "100");
  AddCell(2, "010100100001", "10");  // repetition counters zeroed:
  AddCell(2, "010200100001", "5");   // both add to 010000100001
  AddCell(2, "020000100003", "7");
  AddCell(3, "010000100001", "1.5");
  AddCell(4, "010000100001", "1000");
  AddCell(5, "010000100001", "50");
  ObjectPtr cells = CreateObject("Qv_DBProvider.DBConsDocCells");
  cells->CallV("RecalculateDocument", 3.0);
  const Variant read = cells->CallV("ReadCellValues", 3.0);
  auto rs = std::static_pointer_cast<ado::Recordset>(read.AsObject());
  std::string text;
  for (size_t r = 0; r < rs->RowCount(); ++r)
    for (size_t c = 0; c < rs->FieldCount(); ++c)
      text += rs->FieldAt(c).name + "=" + CStr(rs->Value(r, c)) +
              (c + 1 < rs->FieldCount() ? " " : "; ");
  EXPECT_EQ(text,
            "cell_key=010000100001 first_value=16.5 second_value= first_type=129 second_type=0; "
            "cell_key=020000100003 first_value=7 second_value= first_type=129 second_type=0; ");
  cells->CallV("RemoveDocCells", 3.0);
  EXPECT_EQ(Count("ConsCellValues"), 0);
  ExpectError(40090, "", [&] { cells->CallV("RecalculateDocument", 4.0); });
}

}  // namespace
}  // namespace qv::records::testing
