#include "DemoDocQueries.h"

#include <filesystem>
#include <ostream>
#include <string>

#include "DemoSteps.h"
#include "Output.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaText.h"

namespace qvdb {

namespace {

using qv::CreateObject;
using qv::ObjectPtr;
using qv::Variant;

std::string Text(const Variant& v) {
  return qv::CStr(v);
}

int32_t CountOf(const Variant& collection) {
  return qv::CLng(collection.AsObject()->Get("Count"));
}

class DocQueriesWalk : public DemoSteps {
 public:
  explicit DocQueriesWalk(std::ostream& out) : DemoSteps(out) {}

  void Run() {
    Heading("DocumentQueries.CreateNewAdjustment2: a new adjustment with the cells copied");
    Step([&] { NewAdjustment(); });
    if (adjustment_ == 0) return;
    Heading("DBAttachmentDoc.SaveRecord: a file attached to the adjustment, its content a blob");
    Step([&] { Attach(); });
    Heading("DocumentQueries.GetDocumentsInPeriodAndAccStream: the stream's documents");
    Step([&] {
      PrintValue(out_,
                 CreateObject("Qv_DBProvider.DocumentQueries")
                     ->CallV("GetDocumentsInPeriodAndAccStream", stream_, period_),
                 Format::kTable);
    });
    Heading("TempDataBase: a scratch table of the document's cells, summed by row");
    Step([&] { ScratchTable(); });
  }

 private:
  // The newest current version with cells gets its next adjustment.
  void NewAdjustment() {
    ObjectPtr connection =
        CreateObject("Qv_DBProvider.DBCommon")->CallV("GetDBConnection").AsObject();
    auto latest = std::dynamic_pointer_cast<qv::ado::Recordset>(
        connection
            ->CallV("Execute",
                    "select top 1 d.document_id, d.taxpayer_id, d.time_id, d.template_id "
                    "from doc_registry as d "
                    "where d.top_doc_id = 0 "
                    "and d.document_id in (select document_id from doc_cell_values) "
                    "order by d.document_id desc")

            .AsObject());
    if (latest->RowCount() == 0) {
      out_ << "(no document with cells in this data folder)\n";
      return;
    }
    const double base = qv::CDbl(latest->Value(0, 0));
    stream_ = qv::CDbl(latest->Value(0, 1));
    period_ = qv::CDbl(latest->Value(0, 2));
    const double tmpl = qv::CDbl(latest->Value(0, 3));
    ObjectPtr queries = CreateObject("Qv_DBProvider.DocumentQueries");
    ObjectPtr doc =
        queries->CallV("CreateNewAdjustment2", stream_, period_, tmpl, true, base).AsObject();
    adjustment_ = qv::CDbl(doc->Get("ID"));
    ObjectPtr documents = CreateObject("Qv_DBProvider.DBDocument");
    out_ << "CreateNewAdjustment2(stream " << Text(Variant(stream_)) << ", period "
         << Text(Variant(period_)) << ", template " << Text(Variant(tmpl))
         << ", copy from the archive, document " << Text(Variant(base)) << "):\n"
         << "  document " << Text(Variant(adjustment_)) << ", instance "
         << Text(doc->Get("Instance_Number")) << ", adjustment " << Text(doc->Get("Doc_Type"))
         << ", Bottom_Next_ID " << Text(doc->Get("Bottom_Next_ID")) << "; cells "
         << CountOf(documents->CallV("ReadCells", adjustment_)) << " (document "
         << Text(Variant(base)) << ": " << CountOf(documents->CallV("ReadCells", base)) << ")\n";
    ObjectPtr older = CreateObject("Qv_Records.QvDocument");
    documents->CallV("ReadRecord", base, older);
    out_ << "  document " << Text(Variant(base)) << " now has Top_Doc_ID "
         << Text(older->Get("Top_Doc_ID")) << "\n";
  }

  void Attach() {
    const std::string name = "Пояснения к корректировке.txt";
    const std::string content = std::string(4000, ' ') + "Пояснения: сумма налога уточнена.";
    ObjectPtr stream = CreateObject("Qv_Records.QvByteStream");
    stream->Let("Bytes", Variant(content));
    ObjectPtr blob = CreateObject("Qv_Records.QvDataBlob");
    blob->Let("DesiredCompressionType", Variant(1));
    blob->Let("Content", Variant(stream));
    CreateObject("Qv_DBProvider.DBDataBlob")->CallV("SaveRecord", blob, false);
    out_ << "DBDataBlob.SaveRecord: blob " << Text(blob->Get("ID")) << ", " << content.size()
         << " bytes stored as " << Text(blob->Get("ContentLength")) << " (zlib)\n";

    ObjectPtr attachment = CreateObject("Qv_Records.QvAttachmentDoc");
    attachment->Let("DocumentID", Variant(adjustment_));
    attachment->Let("AttachmentType", Variant(1));
    ObjectPtr file = attachment->Get("StoredFile").AsObject();
    file->Let("OriginalName", Variant(name));
    file->Let("StoreName", Variant("blob:" + Text(blob->Get("ID"))));
    file->Let("CompressionType", Variant(1));
    CreateObject("Qv_DBProvider.DBAttachmentDoc")->CallV("SaveRecord", attachment, true);
    const Variant attachments =
        CreateObject("Qv_DBProvider.DocumentQueries")->CallV("GetDocumentAttachments", adjustment_);
    out_ << "GetDocumentAttachments(" << Text(Variant(adjustment_)) << "): " << CountOf(attachments)
         << " attachment(s)\n";
    auto* list = dynamic_cast<qv::Collection*>(attachments.AsObject().get());
    for (int32_t i = 1; i <= list->Count(); ++i) {
      ObjectPtr a = list->At(i).AsObject();
      ObjectPtr f = a->Get("StoredFile").AsObject();
      out_ << "  attachment " << Text(a->Get("ID")) << ": " << Text(f->Get("OriginalName")) << " ("
           << Text(f->Get("StoreName")) << ")\n";
    }
    ObjectPtr again = CreateObject("Qv_Records.QvDataBlob");
    CreateObject("Qv_DBProvider.DBDataBlob")->CallV("ReadRecord", blob->Get("ID"), again);
    out_ << "  the blob read back: " << Text(again->Get("Content").AsObject()->CallV("Size"))
         << " bytes\n";
  }

  // The adjustment's cells in a temporary table, summed by their row code.
  void ScratchTable() {
    ObjectPtr temp = CreateObject("Qv_DBProvider.TempDataBase");
    temp->CallV("CreateMdb", "QvzDemo");
    const std::string file = Text(temp->CallV("FileName"));
    out_ << "CreateMdb: " << std::filesystem::path(file).filename().string() << "\n";
    {
      ObjectPtr table = temp->CallV("CreateTable", "Cells@").AsObject();
      table->CallV("AddField", "RowCode", 10, 2);
      table->CallV("AddField", "Amount", 7);
      table->CallV("AddIndex", "ByRow", false, false, "RowCode");
      table->CallV("CommitCreateTable");
      ObjectPtr rs = table->CallV("GetTableRS").AsObject();
      auto cells = std::dynamic_pointer_cast<qv::ado::Recordset>(
          CreateObject("Qv_DBProvider.DocumentQueries")
              ->CallV("LoadDocCellValues", adjustment_)
              .AsObject());
      for (size_t r = 0; r < cells->RowCount(); ++r) {
        rs->CallV("AddNew");
        rs->Get("Fields")
            .AsObject()
            ->CallV("Item", "RowCode")
            .AsObject()
            ->Let("Value", Variant(Text(cells->Value(r, 0)).substr(0, 2)));
        rs->Get("Fields")
            .AsObject()
            ->CallV("Item", "Amount")
            .AsObject()
            ->Let("Value", Variant(qv::Val(Text(cells->Value(r, 1)))));
        rs->CallV("Update");
      }
      rs->CallV("Close");
      const std::string name = Text(table->CallV("Name"));
      ObjectPtr db = temp->CallV("DaoDataBase").AsObject();
      ObjectPtr sums = db->CallV("OpenRecordset",
                                 "select top 5 RowCode, count(*) as Cells, sum(Amount) as Total "
                                 "from " +
                                     name + " group by RowCode order by RowCode")
                           .AsObject();
      out_ << name << ", the first rows:\n";
      for (; !qv::CBool(sums->Get("EOF")); sums->CallV("MoveNext")) {
        ObjectPtr fields = sums->Get("Fields").AsObject();
        out_ << "  " << Text(fields->CallV("Item", "RowCode").AsObject()->Get("Value")) << ": "
             << Text(fields->CallV("Item", "Cells").AsObject()->Get("Value")) << " cells, "
             << Text(fields->CallV("Item", "Total").AsObject()->Get("Value")) << "\n";
      }
      sums->CallV("Close");
    }
    temp->CallV("CloseDB");
    out_ << "CloseDB: the file is " << (std::filesystem::exists(file) ? "still there" : "gone")
         << "\n";
  }

  double stream_ = 0, period_ = 0, adjustment_ = 0;
};

}  // namespace

void WalkDocQueries(std::ostream& out) {
  DocQueriesWalk walk(out);
  walk.Run();
  walk.Finish("document queries'");
}

}  // namespace qvdb
