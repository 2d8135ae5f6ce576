// Documents: the row read and written through the mapper, the field groups
// of SaveDocumentFields, the check flags and export counters, manual sheafs,
// and the delete cascade with what it must leave untouched when it fails.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaDate.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Workspace.h"
#include "records/DocumentFixture.h"
#include "records/EntityMappers.h"
#include "records/LaterDocumentParts.h"
#include "records/MapperSession.h"
#include "siblings/records/RecordFactory.h"

namespace qv::records::testing {
namespace {

namespace fs = std::filesystem;
using Document = DocumentTest;

// "name=value" of properties; a sub-record shows its identifier.
std::string Props(const QvRecordPtr& r, std::initializer_list<const char*> names) {
  std::string text;
  for (const char* n : names) {
    const Variant v = r->Get(n);
    text += (text.empty() ? "" : " ") + std::string(n) + "=" +
            (v.IsObject() ? CStr(v.AsObject()->Get("ID")) : CStr(v));
  }
  return text;
}

TEST_F(Document, ReadsTheRowAndWritesItBack) {
  AddDoc(7,
         "Notes = 'Уточнённый', instance_number = Null, FLS_IsSigned = 1, FLS_SignerID = 3, "
         "CourDocCircle_ID = 4, FileContent_ID = 9, PfrMasterDocID = 2, accept_date = "
         "DateSerial(2025, 4, 25), Less = 1, reg_number = 77, Unreaded = True, KonDC_GUID = 'g'");
  auto doc = New("QvDocument");
  CreateObject("Qv_DBProvider.DBDocument")->CallV("ReadRecord", 7.0, Obj(doc));
  EXPECT_EQ(doc->State(), kLoaded);
  EXPECT_EQ(
      Props(doc, {"Template", "Time", "Taxpayer", "Notes", "Instance_Number", "FLS_IsSigned",
                  "SLS_IsSigned", "FLS_Signer", "CourDocCircle", "FileContent", "PfrMasterDoc",
                  "Accept_Date", "Less", "Reg_Number", "Unreaded", "KonDC_GUID", "Currency_ID"}),
      "Template=101 Time=2513 Taxpayer=5 Notes=Уточнённый Instance_Number=0 "
      "FLS_IsSigned=True SLS_IsSigned=False FLS_Signer=3 CourDocCircle=4 FileContent=9 "
      "PfrMasterDoc=2 Accept_Date=25.04.2025 Less=1 Reg_Number=77 Unreaded=True "
      "KonDC_GUID=g Currency_ID=157");

  doc->Let("Notes", Variant(std::string(300, 'x')));
  doc->Let("FLS_IsSigned", Variant(false));
  doc->Let("SLS_IsSigned", Variant(true));
  doc->Let("Instance_Number", Variant(int32_t{2}));
  Sub(doc, "FileContent")->Delete();  // a deleted sub-record is referenced as 0
  DBDocument().SaveRecord(Obj(doc), false);
  EXPECT_EQ(Number("select len(Notes) from doc_registry"), 255);
  EXPECT_EQ(Text("select FLS_IsSigned & '/' & SLS_IsSigned & '/' & instance_number & '/' & "
                 "FileContent_ID & '/' & CourDocCircle_ID from doc_registry"),
            "0/1/2/0/4");

  auto added = New("QvDocument");
  added->Let("Notes", Variant("new"));
  Sub(added, "Taxpayer")->SetID(Variant(kOrgStream));
  DBDocument().SaveRecord(Obj(added), false);
  EXPECT_EQ(added->Id(), 8);
  EXPECT_EQ(Number("select taxpayer_id from doc_registry where document_id = 8"), kOrgStream);
  EXPECT_EQ(notices_, (std::vector<std::string>{"update QvDocument 7", "insert QvDocument 8"}));
  EXPECT_TRUE(DBDocument().IsRecordExists(8));
  EXPECT_FALSE(DBDocument().IsRecordExists(9));
}

TEST_F(Document, RecursiveSaveWritesStreamAndSignersButNotTheMaster) {
  Sql("insert into Personnel (ID, JobPlaceID, WorkerID, PostName) values (3, 1, 2, 'Бухгалтер')");
  AddDoc(2, "Notes = 'master'");
  AddDoc(7, "FLS_SignerID = 3, PfrMasterDocID = 2");
  auto doc = Read(7);
  Sub(doc, "Taxpayer")->Let("DisplayName", Variant("Renamed"));
  Sub(doc, "FLS_Signer")->Let("PostName", Variant("Главный бухгалтер"));
  Sub(doc, "PfrMasterDoc")->Let("Notes", Variant("changed"));
  DBDocument().SaveRecord(Obj(doc), true);
  EXPECT_EQ(Text("select DisplayName from AccStream where ID = 5"), "Renamed");
  EXPECT_EQ(Text("select PostName from Personnel where ID = 3"), "Главный бухгалтер");
  EXPECT_EQ(Text("select Notes from doc_registry where document_id = 2"), "master");
}

// The stored text of every doc_registry column of document 7, by name.
std::vector<std::pair<std::string, std::string>> RowText(Document& t) {
  auto rs =
      t.Db().OpenStatement("select * from doc_registry where document_id = 7", dao::dbOpenSnapshot);
  std::vector<std::pair<std::string, std::string>> values;
  for (int32_t i = 0; i < rs->FieldCount(); ++i)
    values.emplace_back(rs->Column(i).spec.name,
                        CStr(rs->FieldValue(i).IsNull() ? Variant("") : rs->FieldValue(i)));
  return values;
}

TEST_F(Document, SaveDocumentFieldsWritesOnlyTheGroupsAsked) {
  const struct {
    int32_t fields;
    const char* changed;
  } cases[] = {
      {1,
       "accept_date Status_Qv FLS_IsSigned SLS_IsSigned ELS_IsSigned Exec_IsSigned FLS_SignerID "
       "SLS_SignerID ELS_SignerID Exec_SignerID SignDate Status"},
      {0x2, "Status"},
      {0x4, "Status_Qv"},
      {0x8, "template_id"},
      {0x10,
       "FLS_IsSigned SLS_IsSigned ELS_IsSigned Exec_IsSigned FLS_SignerID SLS_SignerID "
       "ELS_SignerID Exec_SignerID SignDate"},
      {0x20, "KonStatus KonDC_GUID"},
      {0x40, "IsChecked"},
      {0x80, "reg_number DeliveryNumber"},
      {0x100, "CourDocCircle_ID"},
      {0x200, "top_doc_id bottom_next_id"},
      {0x400, "FileName FileContent_ID EpistolaFileType"},
      {0x800, "PfrNumberingType PfrStartNumber"},
      {0x1000, "FssDocCircleID"},
      {0x2000, "accept_date Status"},
      {0x4000, "IsXsdChecked"},
      {0x8000, "IsCalculated"},
      {0x10000, "SenderEngine IdentifierOfSend StatusOfSend"},
      {0x20000, "Less"},
      {0x40000, "Notes"},
      {0x80000, "Mtks_Status Mtks_Status_Date Mtks_Service Mtks_Comment"},
      {0x4 | 0x200, "top_doc_id bottom_next_id Status_Qv"},
      {0, ""},
  };
  const Variant date(DateSerial(2025, 5, 5));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fields);
    Sql("delete from doc_registry");
    AddDoc(7);
    const auto before = RowText(*this);
    auto doc = Read(7);
    // A new value for every property, also for those no group writes.
    for (const char* p : {"Status", "Status_Qv", "KonStatus", "IsChecked", "DeliveryNumber",
                          "EpistolaFileType", "PfrNumberingType", "PfrStartNumber", "IsXsdChecked",
                          "IsCalculated", "SenderEngine", "StatusOfSend", "Less", "Mtks_Status",
                          "Doc_Type", "Instance_Number", "Delivery_Type", "PfrPersonsCount"})
      doc->Let(p, Variant(int32_t{7}));
    for (const char* p : {"Reg_Number", "Top_Doc_ID", "Bottom_Next_ID", "FssDocCircleID"})
      doc->Let(p, Variant(8.0));
    for (const char* p : {"KonDC_GUID", "FileName", "IdentifierOfSend", "Notes", "Mtks_Service",
                          "Mtks_Comment", "PfrMarks"})
      doc->Let(p, Variant("text"));
    for (const char* p : {"Accept_Date", "SignDate", "Mtks_Status_Date", "Payment_Date"})
      doc->Let(p, date);
    for (const char* p : {"FLS_IsSigned", "SLS_IsSigned", "ELS_IsSigned", "Exec_IsSigned"})
      doc->Let(p, Variant(true));
    for (const char* p : {"FLS_Signer", "SLS_Signer", "ELS_Signer", "Exec_Signer", "CourDocCircle",
                          "FileContent", "Template", "Taxpayer"})
      Sub(doc, p)->SetID(Variant(102.0));
    DBDocument().SaveDocumentFields(c.fields, Obj(doc), false);
    std::string changed;
    const auto after = RowText(*this);
    for (size_t i = 0; i < after.size(); ++i)
      if (after[i] != before[i]) changed += (changed.empty() ? "" : " ") + after[i].first;
    EXPECT_EQ(changed, c.changed);
  }
  EXPECT_TRUE(notices_.empty());
}

TEST_F(Document, SaveDocumentFieldsNeedsAStoredRecord) {
  AddDoc(7);
  auto reference = New("QvDocument");
  reference->SetID(Variant(7.0));  // state 1: never read
  DBDocument().SaveDocumentFields(0x200, Obj(reference), true);
  auto stale = Read(7);
  stale->Let("Top_Doc_ID", Variant(3.0));
  Sql("delete from doc_registry");
  DBDocument().SaveDocumentFields(0x200, Obj(stale), true);  // the row is gone
  EXPECT_EQ(Count("doc_registry"), 0);
  EXPECT_TRUE(notices_.empty());

  AddDoc(7);
  auto doc = Read(7);
  doc->Let("Top_Doc_ID", Variant(3.0));
  doc->CallV("SaveFields", 0x200, true);  // the record's own call
  EXPECT_EQ(Number("select top_doc_id from doc_registry"), 3);
  EXPECT_EQ(notices_, std::vector<std::string>{"update QvDocument 7"});
}

TEST_F(Document, SetIsCheckedFlagsLeavesOmittedStates) {
  const struct {
    std::vector<Variant> args;  // aDocID, aIsCalculated, aIsChecked, aIsXsdChecked, aNotify
    const char* stored;         // IsChecked/IsXsdChecked/IsCalculated
    size_t notices;
  } cases[] = {
      {{Variant(7.0)}, "0/0/0", 0},
      {{Variant(7.0), Variant(int32_t{1})}, "0/0/1", 0},
      {{Variant(7.0), Variant(-1), Variant(int32_t{2}), Variant(-1), Variant(true)}, "2/0/0", 1},
      {{Variant(7.0), Variant(int32_t{3}), Variant(int32_t{4}), Variant(int32_t{5})}, "4/5/3", 0},
      {{Variant(7.0), Variant(-1), Variant(-1), Variant(-1), Variant(true)}, "0/0/0", 0},
      {{Variant(0.0), Variant(int32_t{1}), Variant(int32_t{1}), Variant(int32_t{1}), Variant(true)},
       "0/0/0",
       0},
      // A document that does not exist: nothing written, the notice still goes.
      {{Variant(99.0), Variant(int32_t{1}), Variant(-1), Variant(-1), Variant(true)}, "0/0/0", 1},
  };
  ObjectPtr mapper = CreateObject("Qv_DBProvider.DBDocument");
  for (const auto& c : cases) {
    SCOPED_TRACE(CStr(c.args[0]) + " with " + std::to_string(c.args.size()) + " arguments");
    Sql("delete from doc_registry");
    AddDoc(7, "IsChecked = 0, IsXsdChecked = 0, IsCalculated = 0");
    notices_.clear();
    std::vector<Variant> args = c.args;
    mapper->Call("SetIsCheckedFlags", args);
    EXPECT_EQ(Text("select IsChecked & '/' & IsXsdChecked & '/' & IsCalculated from "
                   "doc_registry"),
              c.stored);
    EXPECT_EQ(notices_.size(), c.notices);
  }
}

TEST_F(Document, IncreaseExportCountersTakesTheNextRegistrationNumber) {
  AddDoc(6, "reg_number = 40");
  AddDoc(7, "reg_number = 5, DeliveryNumber = 3");
  auto doc = Read(7);
  DBDocument().IncreaseExportCounters(Obj(doc));
  EXPECT_EQ(Text("select reg_number & '/' & DeliveryNumber from doc_registry where document_id "
                 "= 7"),
            "41/0");
  EXPECT_EQ(CDbl(doc->Get("Reg_Number")), 41);
  EXPECT_EQ(notices_, std::vector<std::string>{"update QvDocument 7"});
}

TEST_F(Document, ManualSheafsFollowTheCollection) {
  AddDoc(7);
  AddDoc(8);
  InsertRows("insert into PfrManualSheafs (ID, DocumentID, Caption)",
             {"(1, 7, 'one')", "(2, 7, 'two')", "(3, 8, 'other')"});
  auto make = [](double id, const char* caption) {
    auto s = QvRecord::Create("Qv_PfrRecords.QvPfrManualSheaf");
    s->Let("Caption", Variant(caption));
    if (id != 0) s->AssignNewID(Variant(id));
    return s;
  };
  auto sheafs = std::make_shared<Collection>();
  sheafs->Add(Obj(make(2, "два")), "_2");
  auto added = make(0, "new");
  sheafs->Add(Obj(added));
  DBDocument().SaveManualSheafs(7, Variant(ObjectPtr(sheafs)));
  EXPECT_EQ(added->Id(), 4);
  EXPECT_EQ(Rows("select ID & ':' & DocumentID & ':' & Caption from PfrManualSheafs order by ID"),
            "2:7:два; 3:8:other; 4:7:new");
  CollectionPtr read = DBDocument().ReadManualSheafs(7);
  ASSERT_EQ(read->Count(), 2);
  EXPECT_EQ(Item(read, 2)->Id(), 4);
  EXPECT_EQ(DBDocument().ReadManualSheafs(0)->Count(), 0);

  // A sheaf of another document is refused and nothing changes.
  sheafs->Add(Obj(make(3, "stolen")));
  sheafs->Add(Obj(make(0, "never")));
  ExpectError(5, "", [&] { DBDocument().SaveManualSheafs(7, Variant(ObjectPtr(sheafs))); });
  EXPECT_EQ(Count("PfrManualSheafs"), 3);
  EXPECT_EQ(Text("select Caption from PfrManualSheafs where ID = 3"), "other");
}

TEST_F(Document, CourierObjectsFollowTheRecordProtocol) {
  Sql("insert into CourBlobs (ID, ContentLength) values (4, 0)");
  ObjectPtr blobs = CreateObject("Qv_CourDB.DBCourBlob");
  ObjectPtr circles = CreateObject("Qv_CourDB.DBCourDocCircle");
  auto blob = New("QvCourBlob");
  blobs->CallV("ReadRecord", 4.0, Obj(blob));
  EXPECT_EQ(blob->State(), kLoaded);
  blobs->CallV("SaveRecord", Obj(blob), true);  // a stored blob: updated in place
  EXPECT_TRUE(CBool(blobs->CallV("IsRecordExists", 4.0)));
  blobs->CallV("DeleteRecord", Obj(blob));
  EXPECT_EQ(blob->State(), kDeleted);
  EXPECT_EQ(Count("CourBlobs"), 0);
  blobs->CallV("ReadRecord", 4.0, Obj(blob));
  EXPECT_EQ(blob->State(), kNew);  // not found

  auto circle = New("QvCourDocCircle");
  circles->CallV("SaveRecord", Obj(circle), true);  // nothing in it: not stored
  EXPECT_EQ(circle->Id(), 0);
  circles->CallV("ReadRecord", 1.0, Obj(circle));
  EXPECT_EQ(circle->State(), kNew);
  EXPECT_EQ(notices_, (std::vector<std::string>{"update QvCourBlob 4", "delete QvCourBlob 4"}));
}

// ---- deleting

class DocumentDelete : public DocumentTest {
 protected:
  // Versions 1 <- 2 <- 3 of one instance; 2 has cells, a sheaf, a blob, an
  // exchange with the insurer, a master 10 whose sub-document names it as
  // end document, and two end documents of its own (11, 12) with cells.
  void SetUp() override {
    DocumentTest::SetUp();
    AddDoc(1, "top_doc_id = 2");
    AddDoc(2,
           "doc_type = 1, bottom_next_id = 1, top_doc_id = 3, FileContent_ID = 9, FssDocCircleID "
           "= 1, PfrMasterDocID = 10");
    AddDoc(3, "doc_type = 2, bottom_next_id = 2");
    AddDoc(10, "time_id = 2514");
    AddDoc(11, "time_id = 246, PfrMasterDocID = 2");
    AddDoc(12, "time_id = 246, PfrMasterDocID = 2");
    AddCell(2, "010000100001", "1");
    AddCell(11, "010000100001", "2");
    AddCell(3, "010000100001", "3");
    Sql("insert into PfrManualSheafs (ID, DocumentID, Caption) values (1, 2, 's')");
    Sql("insert into FssDocCircles (ID, DocumentID) values (1, 2)");
    Sql("insert into PfrSubDocs (ID, DocumentID, EndDocumentID, EndPersonNumber) values (1, 10, 2, "
        "4)");
    Sql("insert into CourBlobs (ID, ContentLength) values (9, 0)");
  }
  // What the cascade touches, as one text.
  std::string State() {
    return Chain() + " | cells " + Text("select count(*) from doc_cell_values") + " | docs " +
           Text("select count(*) from doc_registry") + " | sheafs " +
           Text("select count(*) from PfrManualSheafs") + " | fss " +
           Text("select DocumentID from FssDocCircles") + " | end " +
           Text("select EndDocumentID & '/' & EndPersonNumber from PfrSubDocs") + " | blobs " +
           Text("select count(*) from CourBlobs");
  }
};

TEST_F(DocumentDelete, TakesWhatHangsOnTheDocumentAndKeepsTheChain) {
  auto doc = Read(2);
  CreateObject("Qv_DBProvider.DBDocument")->CallV("DeleteRecord", Obj(doc));
  EXPECT_EQ(State(),
            "1:0.0 <0 >3; 3:0.2 <1 >0 | cells 1 | docs 3 | sheafs 0 | fss 0 | end 0/0 | "
            "blobs 0");
  EXPECT_EQ(doc->State(), kDeleted);

  // Deleting the current version makes the previous one current.
  DBDocument().DeleteRecord(Obj(Read(3)));
  EXPECT_EQ(Chain(), "1:0.0 <0 >0");
}

TEST_F(DocumentDelete, ABigDocumentGoesWithItsShardFilesOrNotAtAll) {
  Sql("update doc_registry set EditorType = 6 where document_id = 2");
  const std::string before = State();
  // The storage is internal: no ProgID, the documents reach it directly.
  ExpectError(429, "", [] { CreateObject("Qv_DBProvider.IntBigDocStorage"); });
  CreateBigDocDataBase(*MapperUserDatabase(), 2.0, 10);
  auto table = CreateObject("Qv_DBProvider.DBBigDocs")->CallV("GetBigDocTable", 2.0).AsObject();
  table->CallV("SetString", 25.0, int32_t{1}, Variant("in shard 2"));
  const fs::path folder = folder_ / "BigDocs" / "02" / "00";
  const auto files = [&] {
    std::string names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
      names += e.path().filename().string() + " ";
    return names;
  };
  ASSERT_TRUE(fs::exists(folder / "2_0.mdb") && fs::exists(folder / "2_2.mdb")) << files();

  // Another connection on a shard: the files cannot go, so the rows stay.
  {
    auto other = dao::DBEngine::ForThread()
                     ->CreateWorkspace("other", "admin", "", Variant(2))
                     ->Open((folder / "2_2.mdb").string(), {});
    auto doc = Read(2);
    ExpectError(3045, (folder / "2_2.mdb").string(), [&] { DBDocument().DeleteRecord(Obj(doc)); });
    EXPECT_EQ(State(), before);
    EXPECT_EQ(doc->State(), kLoaded);
    EXPECT_NE(Sub(doc, "FileContent")->State(), kDeleted);
    other->Close();
  }
  // The table that was open is closed by the delete, and the files go
  // with the rows.
  DBDocument().DeleteRecord(Obj(Read(2)));
  EXPECT_EQ(Count("doc_registry where document_id = 2"), 0);
  EXPECT_EQ(files(), "");
  ExpectError(91, "", [&] { table->CallV("GetString", 25.0, int32_t{1}); });
}

TEST_F(DocumentDelete, MastersThatLoopAreDeletedOnce) {
  Sql("update doc_registry set PfrMasterDocID = 11 where document_id = 2");
  Sql("update doc_registry set PfrMasterDocID = 2 where document_id = 11");
  Sql("update doc_registry set PfrMasterDocID = 12 where document_id = 12");  // its own master
  DBDocument().DeleteRecord(Obj(Read(2)));
  EXPECT_EQ(Count("doc_registry where document_id in (2, 11)"), 0);
  DBDocument().DeleteRecord(Obj(Read(12)));
  EXPECT_EQ(Count("doc_registry where document_id in (2, 11, 12)"), 0);
}

}  // namespace
}  // namespace qv::records::testing
