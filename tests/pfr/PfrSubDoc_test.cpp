// Sub-documents: cells and errors saved as a difference against the stored
// rows (counted writes), the whole save in one transaction, the owners a
// sub-document must have, the save options, and the bulk deletes.

#include <gtest/gtest.h>

#include <algorithm>

#include "PfrFixture.h"

namespace qv::pfr::testing {
namespace {

using PfrSubDoc = PfrTest;

CollectionPtr Cells(const QvRecordPtr& s) {
  return PfrTest::List(s, "Cells");
}

// Sub-document `s` with `n` cells of keys 1000.. on line 0 and table 0.
void AddCells(const QvRecordPtr& s, int n) {
  for (int k = 0; k < n; ++k)
    Cells(s)->Add(PfrTest::Obj(PfrTest::Cell(1000 + k, "v" + std::to_string(k))));
  s->Let("CellsModified", Variant(true));
}

TEST_F(PfrSubDoc, CellDifferenceCases) {
  InsertRows("insert into PfrSubDocs (ID, DocumentID)", {"(1, 500)", "(2, 500)"});
  const auto cells = [this](std::initializer_list<const char*> rows) {
    InsertRows("insert into PfrCellValues (ID, SubDocID, Key, ValueType, Value)", rows);
  };
  cells({"(20, 2, 1, 1, 'x')"});
  const struct {
    const char* what;
    std::function<void(const CollectionPtr&)> edit;  // on the stored cells 10 and 11
    const char* writes;
    const char* rows;  // the cells of sub-document 1 afterwards: ID=Key:Value
  } cases[] = {
      {"nothing changed", [](const CollectionPtr&) {}, "PfrSubDocs: 1 UPDATE", "10=1:a; 11=2:b"},
      {"a cell dropped from the collection loses its row",
       [](const CollectionPtr& c) { c->Remove(Variant(1)); },
       "PfrCellValues: 1 DELETE; PfrSubDocs: 1 UPDATE", "11=2:b"},
      {"a value emptied loses its row",
       [](const CollectionPtr& c) { Item(c, 1)->Let("Value", Variant("")); },
       "PfrCellValues: 1 DELETE; PfrSubDocs: 1 UPDATE", "11=2:b"},
      {"an empty cell never stored writes nothing",
       [](const CollectionPtr& c) { c->Add(PfrTest::Obj(PfrTest::Cell(3, ""))); },
       "PfrSubDocs: 1 UPDATE", "10=1:a; 11=2:b"},
      {"a changed kind is a change",
       [](const CollectionPtr& c) { Item(c, 2)->Let("ValueType", Variant(int32_t{2})); },
       "PfrCellValues: 1 UPDATE; PfrSubDocs: 1 UPDATE", "10=1:a; 11=2:b"},
      {"a cell whose row another user deleted comes back under a new identifier",
       [this](const CollectionPtr&) { Sql("delete from PfrCellValues where ID = 11"); },
       "PfrCellValues: 1 INSERT; PfrSubDocs: 1 UPDATE", "10=1:a; 21=2:b"},
      {"a cell of another sub-document is copied, not taken",
       [](const CollectionPtr& c) {
         auto foreign = PfrTest::Cell(5, "x");
         foreign->SetID(Variant(20.0));
         c->Add(PfrTest::Obj(foreign));
       },
       "PfrCellValues: 1 INSERT; PfrSubDocs: 1 UPDATE", "10=1:a; 11=2:b; 21=5:x"},
      {"a second cell with the same identifier is left out",
       [](const CollectionPtr& c) {
         auto twin = PfrTest::Cell(9, "twin");
         twin->SetID(Variant(10.0));
         c->Add(PfrTest::Obj(twin));
       },
       "PfrSubDocs: 1 UPDATE", "10=1:a; 11=2:b"},
      {"a value longer than 250 characters is cut",
       [](const CollectionPtr& c) { Item(c, 1)->Let("Value", Variant(std::string(300, 'z'))); },
       "PfrCellValues: 1 UPDATE; PfrSubDocs: 1 UPDATE", "10=1:250z; 11=2:b"},
      {"a long value whose cut is stored already writes nothing",
       [this](const CollectionPtr& c) {
         Sql("update PfrCellValues set Value = '" + std::string(250, 'z') + "' where ID = 10");
         Item(c, 1)->Let("Value", Variant(std::string(300, 'z')));
       },
       "PfrSubDocs: 1 UPDATE", "10=1:250z; 11=2:b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sql("delete from PfrCellValues where SubDocID = 1");
    cells({"(10, 1, 1, 1, 'a')", "(11, 1, 2, 1, 'b')"});
    auto s = NewPfr("QvPfrSubDoc");
    DBPfrSubDoc().ReadRecord(1, Obj(s));
    c.edit(Cells(s));
    s->Let("CellsModified", Variant(true));
    CountWrites();
    DBPfrSubDoc().SaveRecord(Obj(s), false, true);
    EXPECT_EQ(Writes(), c.writes);
    EXPECT_EQ(Rows("select ID & '=' & Key & ':' & iif(len(Value) > 20, len(Value) & left(Value, "
                   "1), Value) from PfrCellValues where SubDocID = 1 order by ID"),
              c.rows);
    EXPECT_EQ(Text("select Value from PfrCellValues where ID = 20"), "x");
    // Every cell the collection keeps knows its row.
    for (int32_t i = 1; i <= Cells(s)->Count(); ++i) {
      if (!CStr(Item(Cells(s), i)->Get("Value")).empty()) {
        EXPECT_NE(Item(Cells(s), i)->Id(), 0);
      }
    }
  }
}

TEST_F(PfrSubDoc, ErrorsAndTheirHighestLevel) {
  auto s = NewSubDoc(kDocument, 0);
  DBPfrSubDoc().SaveRecordEx(Obj(s), false, false, true);
  EXPECT_EQ(Number("select MaxErrorLevel from PfrSubDocs"), 0);
  for (int32_t level : {2, 5, 1}) {
    auto e = NewPfr("QvPfrError");
    e->Let("ErrorLevel", Variant(level));
    e->Let("SubjectName", Variant(std::string(300, 's')));
    e->Let("ErrorText", Variant(std::string(1000, 't')));
    List(s, "Errors")->Add(Obj(e));
  }
  s->Let("ErrorsModified", Variant(true));
  DBPfrSubDoc().SaveRecordEx(Obj(s), false, false, true);
  EXPECT_EQ(Number("select MaxErrorLevel from PfrSubDocs"), 5);
  EXPECT_EQ(CLng(s->Get("MaxErrorLevel")), 5);
  EXPECT_EQ(Number("select max(len(SubjectName)) from PfrErrors"), 255);
  EXPECT_EQ(Number("select min(len(ErrorText)) from PfrErrors"), 1000);

  auto r = NewPfr("QvPfrSubDoc");
  DBPfrSubDoc().ReadRecord(1, Obj(r));
  ASSERT_EQ(List(r, "Errors")->Count(), 3);
  List(r, "Errors")->Remove(Variant(2));  // the level 5 one
  r->Let("ErrorsModified", Variant(true));
  DBPfrSubDoc().SaveRecord3(Obj(r), kPfrSaveErrors, Variant());
  EXPECT_EQ(Count("PfrErrors"), 2);
  EXPECT_EQ(Number("select MaxErrorLevel from PfrSubDocs"), 2);
}

TEST_F(PfrSubDoc, BadOwnersAndItemsWriteNothing) {
  InsertPfrPerson(1, kTaxpayer);
  InsertPfrPerson(2, kOtherTaxpayer);
  const struct {
    const char* what;
    std::function<QvRecordPtr()> make;
    int32_t number;
    const char* message;
  } cases[] = {
      {"no such document", [] { return NewSubDoc(777, 0); }, 5, "document 777"},
      {"a person of another taxpayer", [] { return NewSubDoc(kDocument, 2); }, 5,
       "taxpayer 6, the document 500 belongs to the taxpayer 5"},
      {"no such person", [] { return NewSubDoc(kDocument, 9); }, 5, "person 9"},
      {"a new person of another taxpayer, saved first",
       [] {
         auto s = NewSubDoc(kDocument, 0);
         auto p = Sub(s, "PfrPerson");
         p->Let("Surname", Variant("New"));
         Sub(p, "Person")->SetID(Variant(kOtherTaxpayer));
         return s;
       },
       5, "taxpayer 6"},
      {"a cell that is no cell",
       [] {
         auto s = NewSubDoc(kDocument, 1);
         AddCells(s, 3);
         Cells(s)->Add(Obj(NewPfr("QvPfrError")));
         return s;
       },
       13, "no Qv_PfrRecords.QvPfrCell"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QvRecordPtr s = c.make();
    const double person = Sub(s, "PfrPerson")->Id();
    notices_.clear();
    const std::string text = ExpectError(c.number, c.message, [&] {
                               DBPfrSubDoc().SaveRecord(Obj(s), true, true);
                             }).Description();
    EXPECT_NE(text.find("DBPfrSubDoc.SaveRecord"), std::string::npos) << text;
    EXPECT_EQ(Counts({"PfrSubDocs", "PfrCellValues", "PfrPersons"}),
              "PfrSubDocs=0 PfrCellValues=0 PfrPersons=2");
    EXPECT_EQ(s->Id(), 0);                         // still new: the next save inserts
    EXPECT_EQ(Sub(s, "PfrPerson")->Id(), person);  // a person inserted first gets its 0 back
    for (const std::string& n : notices_) EXPECT_EQ(n.find("QvPfrSubDoc"), std::string::npos) << n;
  }
}

TEST_F(PfrSubDoc, OptionsChooseWhatIsWritten) {
  InsertPfrPerson(1, kTaxpayer);
  const struct {
    int32_t options;
    const char* writes;
    bool notified;
  } cases[] = {
      {0, "PfrSubDocs: 1 INSERT", true},
      {kPfrSaveCells, "PfrCellValues: 2 INSERT; PfrSubDocs: 1 INSERT", true},
      {kPfrSavePerson | kPfrSaveCells | kPfrSaveKeepFlags,
       "PfrCellValues: 2 INSERT; PfrPersons: 1 UPDATE; PfrSubDocs: 1 INSERT", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    auto s = NewSubDoc(kDocument, 0);
    DBPfrPerson().ReadRecord(1, Obj(Sub(s, "PfrPerson")));
    Sub(s, "PfrPerson")->Let("TabNumber", Variant("17"));
    AddCells(s, 2);
    CountWrites();
    notices_.clear();
    DBPfrSubDoc().SaveRecord3(Obj(s), c.options, Variant());
    EXPECT_EQ(Writes(), c.writes);
    EXPECT_NE(s->Id(), 0);
    EXPECT_EQ(std::count_if(
                  notices_.begin(), notices_.end(),
                  [](const std::string& n) { return n.find("QvPfrSubDoc") != std::string::npos; }),
              c.notified ? 1 : 0);
    EXPECT_EQ(CBool(s->Get("CellsModified")), !c.notified);
  }
}

TEST_F(PfrSubDoc, BulkDeleteGoesByHundredsAndLeavesOthers) {
  // A row deleted from PfrCellValues records how many sub-documents there
  // still are, which shows the batches and their order.
  if (OnServer()) {
    ServerSql("CREATE TABLE seen (n integer)");
    ServerSql(
        "CREATE FUNCTION seen_cell() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN INSERT INTO "
        "seen SELECT count(*) FROM \"PfrSubDocs\"; RETURN NULL; END$$");
    ServerSql(
        "CREATE TRIGGER seen_cell AFTER DELETE ON \"PfrCellValues\" FOR EACH ROW EXECUTE "
        "FUNCTION seen_cell()");
  } else {
    NativeSql("CREATE TEMP TABLE seen (n INTEGER)");
    NativeSql(
        "CREATE TEMP TRIGGER seen_cell AFTER DELETE ON main.PfrCellValues BEGIN INSERT INTO seen "
        "SELECT count(*) FROM main.PfrSubDocs; END");
  }
  auto ids = std::make_shared<Collection>();
  for (int i = 1; i <= 260; ++i) {
    SubDocRow(i, kDocument);
    CellRow(i, 1, "v");
    Sql("insert into PfrErrors (ID, SubDocID) values (" + std::to_string(i) + ", " +
        std::to_string(i) + ")");
    if (i <= 250) ids->Add(Variant(static_cast<double>(i)));
  }
  DBPfrSubDoc().DeleteRecordsByIDs(ids);
  EXPECT_EQ(Counts({"PfrSubDocs", "PfrCellValues", "PfrErrors"}),
            "PfrSubDocs=10 PfrCellValues=10 PfrErrors=10");
  if (OnServer()) {
    EXPECT_EQ(ServerSql("SELECT string_agg(n || 'x' || c, ' ' ORDER BY n DESC) FROM (SELECT n, "
                        "count(*) AS c FROM seen GROUP BY n) AS s"),
              "260x100 160x100 60x50");
  } else {
    jet::Statement st = db_->Connection().PrepareNative(
        "SELECT group_concat(n || 'x' || c, ' ') FROM (SELECT n, count(*) AS c FROM temp.seen "
        "GROUP BY n ORDER BY n DESC)");
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.Text(0), "260x100 160x100 60x50");
    st.Reset();
  }

  DBPfrSubDoc().DeleteRecordsByIDs(std::make_shared<Collection>());
  EXPECT_EQ(Count("PfrSubDocs"), 10);
  auto bad = std::make_shared<Collection>();
  bad->Add(Variant(251.0));
  bad->Add(Variant("not a number"));
  ExpectError(13, "", [&] { DBPfrSubDoc().DeleteRecordsByIDs(bad); });
  EXPECT_EQ(Count("PfrSubDocs"), 10);
}

TEST_F(PfrSubDoc, DeleteInDocumentByTypeLists) {
  const struct {
    std::vector<Variant> args;  // after the document
    const char* remaining;      // types of document 500 left
  } cases[] = {
      {{}, ""},
      {{Variant("*"), Variant("")}, ""},
      {{Variant("1,2"), Variant("")}, "3"},
      {{Variant("1,2"), Variant("3")}, "3"},  // the exclusions win
      {{Variant(""), Variant(" 1, 3 ")}, "1; 3"},
  };
  for (const auto& c : cases) {
    Sql("delete from PfrSubDocs");
    Sql("delete from PfrCellValues");
    for (int type = 1; type <= 3; ++type)
      for (double doc : {kDocument, kOtherDocument}) {
        const double id = type + (doc == kDocument ? 0 : 10);
        SubDocRow(id, doc, 0, type);
        CellRow(id, 1, "v");
      }
    std::vector<Variant> args{Variant(kDocument)};
    args.insert(args.end(), c.args.begin(), c.args.end());
    CreateObject("Qv_DBProvider.DBPfrSubDoc")->Call("DeleteRecordsInDocument", args);
    EXPECT_EQ(Rows("select SubDocType from PfrSubDocs where DocumentID = 500 order by 1"),
              c.remaining)
        << c.args.size();
    EXPECT_EQ(Count("PfrSubDocs where DocumentID = 600"), 3);
    EXPECT_EQ(Count("PfrCellValues where SubDocID not in (select ID from PfrSubDocs)"), 0);
  }
  ExpectError(5, "", [&] { DBPfrSubDoc().DeleteRecordsInDocument(kDocument, "1) or (1=1", ""); });
  EXPECT_EQ(Count("PfrSubDocs"), 5);
}

TEST_F(PfrSubDoc, ReadOneCellAndJoinedFills) {
  InsertPfrPerson(3, kTaxpayer, "Орлов");
  SubDocRow(4, kDocument, 3, 7);
  CellRow(4, 100, "12.5", 2, 1);
  auto cell = DBPfrSubDoc().ReadOneCell(4, 100, 2, 1).ObjectAs<records::QvRecord>();
  ASSERT_TRUE(cell);
  EXPECT_EQ(CStr(cell->Get("Value")), "12.5");
  EXPECT_EQ(cell->Id(), 1);
  EXPECT_TRUE(DBPfrSubDoc().ReadOneCell(4, 100, 1, 2).IsNothing());  // line and table swapped
  EXPECT_TRUE(DBPfrSubDoc().ReadOneCell(0, 100, 2, 1).IsNothing());

  auto rs = db_->OpenStatement(
      "select s.ID, s.PfrPersonID, s.SubDocType, s.Disabled, s.EndDocumentID, s.EndPersonNumber, "
      "s.MaxErrorLevel, s.ManualSheafID, p.Surname, p.Name, p.Patronymic, p.TabNumber, "
      "p.PfrNumber, p.Inn, p.IsDismissed, p.DismissDate, p.ID AS " +
          std::string(kJoinedPersonId) +
          " from PfrSubDocs AS s Left Join PfrPersons AS p ON p.ID = s.PfrPersonID",
      dao::dbOpenSnapshot);
  for (bool withPerson : {false, true}) {
    auto s = NewPfr("QvPfrSubDoc");
    FillPfrSubDocFromRow(*rs, *s, withPerson);
    EXPECT_EQ(s->Id(), 4);
    EXPECT_EQ(CLng(s->Get("SubDocType")), 7);
    EXPECT_EQ(Sub(s, "PfrPerson")->Id(), 3);
    EXPECT_EQ(Sub(s, "PfrPerson")->State(), withPerson ? records::kLoaded : records::kReference);
  }
}

TEST_F(PfrSubDoc, ADocumentDeletedByItsMapperTakesItsSubDocuments) {
  for (double document : {kDocument, kOtherDocument}) {
    auto s = NewSubDoc(document, 0);
    AddCells(s, 3);
    List(s, "Errors")->Add(Obj(NewPfr("QvPfrError")));
    s->Let("ErrorsModified", Variant(true));
    DBPfrSubDoc().SaveRecordEx(Obj(s), false, true, true);
  }
  auto doc = New("QvDocument");
  ObjectPtr documents = CreateObject("Qv_DBProvider.DBDocument");
  documents->CallV("ReadRecord", kDocument, Obj(doc));
  documents->CallV("DeleteRecord", Obj(doc));
  EXPECT_EQ(Counts({"doc_registry where document_id = 500", "PfrSubDocs where DocumentID = 600",
                    "PfrSubDocs", "PfrCellValues", "PfrErrors"}),
            "doc_registry where document_id = 500=0 PfrSubDocs where DocumentID = 600=1 "
            "PfrSubDocs=1 PfrCellValues=3 PfrErrors=1");
}

}  // namespace
}  // namespace qv::pfr::testing
