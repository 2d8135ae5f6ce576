// Files and blobs kept with documents: blobs written and read back through
// their records at the sizes where the format changes, refused compression
// types and damaged content, stored files saved with their attachments, and
// documents deleted with what is attached to them.

#include <gtest/gtest.h>

#include <vector>

#include "platform/automation/Object.h"
#include "records/DocumentFixture.h"
#include "records/FileMappers.h"
#include "siblings/records/QvByteStream.h"

namespace qv::records::testing {
namespace {

class Files : public DocumentTest {
 protected:
  // Bytes that compress: runs of a pattern with a counter in them.
  static std::vector<uint8_t> Sample(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i / 7) % 31 + (i % 3) * 64);
    return b;
  }
  // A new blob record holding `bytes`, saved; its identifier.
  double SaveBlob(const std::vector<uint8_t>& bytes, int32_t desired, QvRecordPtr* out = nullptr) {
    auto blob = New("QvDataBlob");
    blob->Let("DesiredCompressionType", Variant(desired));
    auto stream = std::make_shared<QvByteStream>();
    stream->SetData(bytes);
    blob->Let("Content", Variant(ObjectPtr(stream)));
    DBDataBlob().SaveRecord(Obj(blob), false);
    if (out) *out = blob;
    return blob->Id();
  }
  // The content of blob `id` as a fresh record reads it on first use.
  std::vector<uint8_t> LoadBlob(double id) {
    auto blob = ReadWith(DBDataBlob(), "QvDataBlob", id);
    auto stream = blob->Get("Content").ObjectAs<QvByteStream>();
    return stream->Data();
  }
  std::vector<uint8_t> StoredBytes(double id) {
    auto rs = db_->OpenStatement("select Content from CourBlobs where ID = " + CStr(Variant(id)),
                                 dao::dbOpenSnapshot);
    return rs->FieldValue(0).AsBytes().bytes;
  }
  // "length/desired/actual" of a stored blob row.
  std::string Row(double id) {
    return Text(
        "select ContentLength & '/' & DesiredCompressionType & '/' & "
        "ActualCompressionType from CourBlobs where ID = " +
        CStr(Variant(id)));
  }
};

TEST_F(Files, BlobsComeBackAsTheyWereSaved) {
  const struct {
    size_t size;
    int32_t desired, actual;
  } cases[] = {
      {1, 0, 0},  {1, 1, 0},  // short content is never compressed
      {49, 1, 0}, {50, 1, 1}, {50, 0, 0}, {10 * 1024 * 1024, 1, 1}, {10 * 1024 * 1024, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes, desired " + std::to_string(c.desired));
    const std::vector<uint8_t> bytes = Sample(c.size);
    QvRecordPtr blob;
    const double id = SaveBlob(bytes, c.desired, &blob);
    ASSERT_NE(id, 0);
    EXPECT_EQ(blob->State(), kLoaded);
    const int32_t stored =
        CLng(Scalar("select ContentLength from CourBlobs where ID = " + CStr(Variant(id))));
    EXPECT_EQ(CLng(blob->Get("ContentLength")), stored);
    EXPECT_EQ(Row(id), std::to_string(stored) + "/" + std::to_string(c.desired) + "/" +
                           std::to_string(c.actual));
    if (c.actual == 1) {
      EXPECT_LT(stored, static_cast<int32_t>(c.size));
      // A zlib stream's header, its level field saying level 7 (6 and below
      // write another second byte).
      EXPECT_EQ(StoredBytes(id).at(0), 0x78);
      EXPECT_EQ(StoredBytes(id).at(1), 0xDA);
    } else {
      EXPECT_EQ(stored, static_cast<int32_t>(c.size));
    }
    EXPECT_TRUE(LoadBlob(id) == bytes);
    // Saved again into its row with other bytes: none of the first save's
    // values is written or read back.
    std::vector<uint8_t> other = bytes;
    for (uint8_t& b : other) b ^= 0x5A;
    auto stream = std::make_shared<QvByteStream>();
    stream->SetData(other);
    blob->Let("Content", Variant(ObjectPtr(stream)));
    DBDataBlob().SaveRecord(Obj(blob), false);
    EXPECT_EQ(Row(id), std::to_string(CLng(blob->Get("ContentLength"))) + "/" +
                           std::to_string(c.desired) + "/" + std::to_string(c.actual));
    EXPECT_TRUE(LoadBlob(id) == other);
  }
}

TEST_F(Files, EmptyContentWritesNothingOrDeletesTheBlob) {
  EXPECT_EQ(SaveBlob({}, 1), 0);
  EXPECT_EQ(Count("CourBlobs"), 0);

  QvRecordPtr blob;
  const double id = SaveBlob(Sample(100), 1, &blob);
  blob->Let("Content", Variant(ObjectPtr(std::make_shared<QvByteStream>())));
  DBDataBlob().SaveRecord(Obj(blob), false);
  EXPECT_EQ(Count("CourBlobs"), 0);
  EXPECT_EQ(blob->State(), kDeleted);
  EXPECT_TRUE(LoadBlob(id).empty());
}

// A save writes only content a caller gave, and never recreates a row that
// went away meanwhile.
TEST_F(Files, SavesOnlyWhatACallerChanged) {
  const double id = SaveBlob(Sample(80), 1);
  auto blob = ReadWith(DBDataBlob(), "QvDataBlob", id);
  EXPECT_EQ(LoadBlob(id).size(), 80u);
  blob->Get("Content");  // read, not changed
  Sql("update CourBlobs set DesiredCompressionType = 9");
  DBDataBlob().SaveRecord(Obj(blob), false);
  EXPECT_EQ(Number("select DesiredCompressionType from CourBlobs"), 9);

  auto stream = std::make_shared<QvByteStream>();
  stream->SetData(Sample(60));
  blob->Let("Content", Variant(ObjectPtr(stream)));
  Sql("delete from CourBlobs");
  notices_.clear();
  DBDataBlob().SaveRecord(Obj(blob), false);
  EXPECT_EQ(Count("CourBlobs"), 0);
  EXPECT_TRUE(notices_.empty());
}

TEST_F(Files, RefusedCompressionAndDamagedContent) {
  const std::vector<uint8_t> sample = Sample(200);
  const double id = SaveBlob(sample, 1);
  const std::vector<uint8_t> stream = StoredBytes(id);
  std::vector<uint8_t> cut(stream.begin(), stream.begin() + stream.size() / 2);
  std::vector<uint8_t> longer = stream;
  longer.push_back(0);
  const struct {
    const char* name;
    int32_t actualType;
    std::vector<uint8_t> content;
    const char* text;
  } cases[] = {
      {"unknown stored type", 2, stream, "Unknown copmpression type in database blob (2)."},
      {"plain bytes", 1, sample, "is not valid compressed data"},
      {"cut short", 1, cut, "is not valid compressed data"},
      {"bytes after the stream", 1, longer, "is not valid compressed data"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    {
      auto rs = db_->OpenTable("CourBlobs");
      rs->Edit();
      rs->SetField("ActualCompressionType", Variant(c.actualType));
      rs->SetField("Content", Variant(ByteArray{0, c.content}));
      rs->Update();
    }
    auto blob = ReadWith(DBDataBlob(), "QvDataBlob", id);
    const std::string text =
        ExpectError(1001, c.text, [&] { DBDataBlob().LoadContent(Obj(blob)); }).Description();
    EXPECT_EQ(text.rfind("[Qv_DBProvider::DBDataBlob.LoadContent]", 0), 0u) << text;
    EXPECT_FALSE(CBool(blob->Get("ContentLoaded")));
    EXPECT_TRUE(StoredBytes(id) == c.content);  // a failed read writes nothing
  }

  // A compression nobody knows is refused before anything is written.
  QvRecordPtr blob;
  ExpectError(1001, "Unknown copmression type.", [&] { SaveBlob(sample, 3, &blob); });
  EXPECT_EQ(Count("CourBlobs"), 1);
}

// A stored file is saved with its attachment and goes with it; a document
// takes its attachments and their files along when it is deleted.
TEST_F(Files, AttachmentsAndTheirStoredFiles) {
  AddDoc(1);
  AddDoc(2, "time_id = 2514");
  const auto attach = [&](double doc, const char* name) {
    auto a = New("QvAttachmentDoc");
    a->Let("DocumentID", Variant(doc));
    a->Let("AttachmentType", Variant(int32_t{3}));
    auto file = Sub(a, "StoredFile");
    file->Let("OriginalName", Variant(name));
    file->Let("StoreName", Variant(std::string("store/") + name));
    file->Let("FormatType", Variant(int32_t{2}));
    CreateObject("Qv_DBProvider.DBAttachmentDoc")->CallV("SaveRecord", Obj(a), true);
    return a;
  };
  auto first = attach(1, "счёт.pdf");
  attach(1, "акт.pdf");
  attach(2, "other.pdf");
  EXPECT_EQ(Text("select count(*) & '/' & min(StoredFileID) & '/' & max(StoredFileID) from "
                 "Doc_Attachments"),
            "3/1/3");

  auto read = ReadWith(DBAttachmentDoc(), "QvAttachmentDoc", first->Id());
  EXPECT_EQ(CStr(Sub(read, "StoredFile")->Get("OriginalName")), "счёт.pdf");
  EXPECT_EQ(CStr(Sub(read, "StoredFile")->Get("StoreName")), "store/счёт.pdf");
  EXPECT_EQ(CLng(read->Get("AttachmentType")), 3);

  // The document's row refuses to go: its attachments and files stay too.
  Refuse("keep_doc", "BEFORE DELETE ON doc_registry");
  ExpectError(kAnyError, "", [&] { DBDocument().DeleteRecord(Obj(Read(1))); });
  EXPECT_EQ(Count("Doc_Attachments") * 10 + Count("StoredFiles"), 33);
  Allow("keep_doc");

  DBDocument().DeleteRecord(Obj(Read(1)));
  EXPECT_EQ(Text("select count(*) & '/' & min(DocumentID) from Doc_Attachments"), "1/2");
  EXPECT_EQ(Text("select count(*) & '/' & min(OriginalName) from StoredFiles"), "1/other.pdf");
  EXPECT_EQ(Count("doc_registry"), 1);
}

}  // namespace
}  // namespace qv::records::testing
