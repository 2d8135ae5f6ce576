#include "DemoDocuments.h"

#include <ostream>
#include <string>
#include <vector>

#include "DemoSteps.h"
#include "Output.h"
#include "platform/ado/AdoConstants.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"

namespace qvdb {

namespace {

using qv::CreateObject;
using qv::ObjectPtr;
using qv::Variant;

std::shared_ptr<qv::ado::Recordset> AsRecordset(const Variant& v) {
  return std::dynamic_pointer_cast<qv::ado::Recordset>(v.AsObject());
}

// The value of a named field of a recordset's row.
Variant Field(const qv::ado::Recordset& rs, size_t row, const char* name) {
  return rs.Value(row, rs.FieldIndex(name));
}

// "key = value" of the first `count` cells of a collection.
void PrintFirstCells(std::ostream& out, const Variant& cells, int32_t count) {
  auto* c = dynamic_cast<qv::Collection*>(cells.AsObject().get());
  out << "  " << c->Count() << " cells";
  out << (c->Count() > count ? ", the first " + std::to_string(count) + ":\n" : ":\n");
  for (int32_t i = 1; i <= c->Count() && i <= count; ++i) {
    ObjectPtr cell = c->Item(Variant(i)).AsObject();
    out << "    " << qv::CStr(cell->Get("Cell_Key")) << " = " << qv::CStr(cell->Get("First_Value"))
        << " (type " << qv::CStr(cell->Get("First_Type")) << ")\n";
  }
}

// A recordset of cells as the application hands it to SaveCells.
std::shared_ptr<qv::ado::Recordset> CellsRecordset() {
  auto rs = std::dynamic_pointer_cast<qv::ado::Recordset>(CreateObject("ADODB.Recordset"));
  rs->AppendField("cell_key", qv::ado::adVarWChar, 12, qv::ado::adFldIsNullable);
  rs->AppendField("first_value", qv::ado::adVarWChar, 250, qv::ado::adFldIsNullable);
  rs->AppendField("first_type", qv::ado::adInteger, 4, qv::ado::adFldIsNullable);
  rs->Open();
  return rs;
}

class DocumentWalk : public DemoSteps {
 public:
  explicit DocumentWalk(std::ostream& out) : DemoSteps(out) {}

  void Run() {
    Heading("The typical request: the forms of a stream for a period");
    Step([&] { ListForms(); });
    if (document_ == 0) return;
    Heading("DBDocument.ReadRecord and ReadCells: document " + qv::CStr(Variant(document_)));
    Step([&] { ReadDocument(); });
    Heading("DBDocument.SaveCells: one cell changed, one added, one emptied");
    Step([&] { SaveCells(); });
    Heading("DBLogs.LogEvent: the action recorded, then read back");
    Step([&] { LogAndReadBack(); });
    Heading("The versions of the document's instance (BlankQueries.GetDocsAndArchivesByTemplate)");
    Step([&] {
      PrintValue(out_,
                 CreateObject("Qv_DBProvider.BlankQueries")
                     ->CallV("GetDocsAndArchivesByTemplate", stream_, template_, period_),
                 Format::kTable);
    });
    Heading("A stream with a document is deleted with it (DBAccStream.DeleteRecord)");
    Step([&] { DeleteStreamWithDocument(); });
  }

 private:
  // The stream and period of the newest adjustment, and its forms.
  void ListForms() {
    ObjectPtr connection =
        CreateObject("Qv_DBProvider.DBCommon")->CallV("GetDBConnection").AsObject();
    auto latest = AsRecordset(
        connection->CallV("Execute",
                          "select top 1 document_id, taxpayer_id, time_id, template_id, PersonID "
                          "from doc_registry "
                          "inner join AccStream on AccStream.ID = doc_registry.taxpayer_id "
                          "where doc_type > 0 and top_doc_id = 0 "
                          "order by document_id desc"));

    if (latest->RowCount() == 0) {
      out_ << "(no adjusted document in this data folder)\n";
      return;
    }
    stream_ = qv::CDbl(Field(*latest, 0, "taxpayer_id"));
    period_ = qv::CDbl(Field(*latest, 0, "time_id"));
    template_ = qv::CDbl(Field(*latest, 0, "template_id"));
    person_ = qv::CDbl(Field(*latest, 0, "PersonID"));
    ObjectPtr blanks = CreateObject("Qv_DBProvider.BlankQueries");
    out_ << "BlankQueries.GetBlanksByPeriod(stream " << qv::CStr(Variant(stream_)) << ", 0, period "
         << qv::CStr(Variant(period_)) << "):\n";
    PrintValue(out_, blanks->CallV("GetBlanksByPeriod", stream_, 0.0, period_), Format::kTable);
    document_ = qv::CDbl(
        blanks->CallV("GetActualAdjustmentByTemplateAndInstance", stream_, template_, period_, 0));
    out_ << "GetActualAdjustmentByTemplateAndInstance(template " << qv::CStr(Variant(template_))
         << ", instance 0) = " << qv::CStr(Variant(document_)) << "\n";
  }

  void ReadDocument() {
    ObjectPtr mapper = CreateObject("Qv_DBProvider.DBDocument");
    ObjectPtr doc = CreateObject("Qv_Records.QvDocument");
    mapper->CallV("ReadRecord", document_, doc);
    for (const char* p : {"Doc_Type", "Instance_Number", "Status_Qv", "Reg_Number", "Accept_Term",
                          "Bottom_Next_ID", "Top_Doc_ID", "Notes"})
      out_ << "  " << p << " = " << ValueText(doc->Get(p)) << "\n";
    out_ << "  Template.Name = " << qv::CStr(doc->Get("Template").AsObject()->Get("Name"))
         << ", Taxpayer.DisplayName = "
         << qv::CStr(doc->Get("Taxpayer").AsObject()->Get("DisplayName")) << "\n";
    cells_ = mapper->CallV("ReadCells", document_);
    PrintFirstCells(out_, cells_, 5);
  }

  void SaveCells() {
    auto* cells = dynamic_cast<qv::Collection*>(cells_.AsObject().get());
    if (!cells || cells->Count() < 5) {
      out_ << "(the document has too few cells to change)\n";
      return;
    }
    ObjectPtr changed = cells->Item(Variant(4)).AsObject();
    ObjectPtr emptied = cells->Item(Variant(5)).AsObject();
    auto rs = CellsRecordset();
    rs->AppendRow({changed->Get("Cell_Key"), Variant("12345"), changed->Get("First_Type")});
    rs->AppendRow({Variant("990000100001"), Variant("Добавлено в демонстрации"), Variant(200)});
    rs->AppendRow({emptied->Get("Cell_Key"), Variant(""), emptied->Get("First_Type")});
    ObjectPtr mapper = CreateObject("Qv_DBProvider.DBDocument");
    mapper->CallV("SaveCells", document_, Variant(qv::ObjectPtr(rs)));
    out_ << "SaveCells: " << qv::CStr(changed->Get("Cell_Key")) << " = 12345, 990000100001 added, "
         << qv::CStr(emptied->Get("Cell_Key")) << " emptied; ReadCells again:\n";
    PrintFirstCells(out_, mapper->CallV("ReadCells", document_), 5);
    const Variant again = mapper->CallV("ReadCells", document_);
    auto* now = dynamic_cast<qv::Collection*>(again.AsObject().get());
    out_ << "  990000100001 = "
         << qv::CStr(now->Item(Variant("990000100001")).AsObject()->Get("First_Value")) << "\n";
  }

  // The entry of the saved cells: written by LogEvent, found as the newest
  // with GetEventsIDs and read with GetEventRecord.
  void LogAndReadBack() {
    ObjectPtr logs = CreateObject("Qv_DBProvider.DBLogs");
    std::vector<Variant> args{
        Variant(0.0),
        Variant("qvdb demo"),
        Variant(int32_t{1}),
        Variant("DBDocument.SaveCells"),
        Variant(qv::VariantArray::Of({Variant(document_), Variant(stream_)})),
        Variant(qv::VariantArray::Of({Variant("document"), Variant("stream")}))};
    logs->Call("LogEvent", args);
    auto ids = AsRecordset(logs->CallV("GetEventsIDs", Variant(), Variant(), true));
    const Variant id = Field(*ids, 0, "ID2");
    ObjectPtr entry = logs->CallV("GetEventRecord", id).AsObject();
    out_ << "LogEvent, then GetEventRecord(" << qv::CStr(id) << "):\n";
    for (const char* p : {"EventTime", "HostInfo", "EventType", "EventName", "ObjectID1",
                          "ObjectName1", "ObjectID2", "ObjectName2"})
      out_ << "  " << p << " = " << ValueText(entry->Get(p)) << "\n";
  }

  // A stream of the document's owner made for the walk, a document with a
  // cell in it, and the stream deleted: the document and its cells go too.
  void DeleteStreamWithDocument() {
    ObjectPtr streams = CreateObject("Qv_DBProvider.DBAccStream");
    ObjectPtr stream = CreateObject("Qv_Records.QvAccStream");
    stream->Get("Person").AsObject()->CallV("SetID", person_);
    stream->Let("AccStreamType", Variant(int32_t{1}));
    stream->Let("DisplayName", Variant("Поток демонстрации документов"));
    streams->CallV("SaveRecord", stream, false);
    const double streamId = qv::CDbl(stream->Get("ID"));

    ObjectPtr documents = CreateObject("Qv_DBProvider.DBDocument");
    ObjectPtr doc = CreateObject("Qv_Records.QvDocument");
    doc->Get("Taxpayer").AsObject()->CallV("SetID", streamId);
    doc->Get("Template").AsObject()->CallV("SetID", template_);
    doc->Get("Time").AsObject()->CallV("SetID", period_);
    doc->Let("Status_Qv", Variant(int32_t{1}));
    documents->CallV("SaveRecord", doc, false);
    const double docId = qv::CDbl(doc->Get("ID"));
    auto rs = CellsRecordset();
    rs->AppendRow({Variant("010000100001"), Variant("7701234567"), Variant(200)});
    documents->CallV("SaveCells", docId, Variant(qv::ObjectPtr(rs)));
    out_ << "DBAccStream.SaveRecord: stream " << qv::CStr(Variant(streamId))
         << "; DBDocument.SaveRecord: document " << qv::CStr(Variant(docId)) << " with "
         << qv::CStr(documents->CallV("ReadCells", docId).AsObject()->Get("Count")) << " cell\n";
    streams->CallV("DeleteRecord", stream);
    out_ << "DBAccStream.DeleteRecord: stream exists = "
         << qv::CStr(streams->CallV("IsRecordExists", streamId))
         << ", document exists = " << qv::CStr(documents->CallV("IsRecordExists", docId))
         << ", its cells: "
         << qv::CStr(documents->CallV("ReadCells", docId).AsObject()->Get("Count")) << "\n";
  }

  double stream_ = 0, period_ = 0, template_ = 0, person_ = 0, document_ = 0;
  Variant cells_;
};

}  // namespace

void WalkDocuments(std::ostream& out) {
  DocumentWalk walk(out);
  walk.Run();
  walk.Finish("documents'");
}

}  // namespace qvdb
