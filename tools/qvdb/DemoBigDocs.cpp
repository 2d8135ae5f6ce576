#include "DemoBigDocs.h"

#include <ostream>
#include <string>

#include "DemoSteps.h"
#include "GenerateBigDocs.h"
#include "core/mQvDaoDataBase.h"
#include "platform/automation/Object.h"

namespace qvdb {

namespace {

using qv::CreateObject;
using qv::ObjectPtr;
using qv::Variant;

constexpr int kSubDocsShown = 3;

void PrintSubDocCells(std::ostream& out, const ObjectPtr& table, const Variant& sub) {
  const struct {
    const char* name;
    int32_t key;
  } cells[] = {{"number", kStatementNumberKey},
               {"income code", kIncomeCodeKey},
               {"income", kIncomeKey},
               {"tax", kTaxKey}};
  for (const auto& c : cells)
    out << "    " << c.name << " (key " << c.key
        << ") = " << qv::CStr(table->CallV("GetString", sub, c.key)) << "\n";
  out << "    monthly income (key " << kMonthlyIncomeKey << ", lines 1-3) =";
  for (int32_t line = 1; line <= 3; ++line)
    out << " " << qv::CStr(table->CallV("GetCMoney", sub, kMonthlyIncomeKey, line));
  out << "\n";
}

void ReadBigDoc(std::ostream& out) {
  const Variant doc = qv::mQvDaoDataBase::QvQueryFirstValue(
      "select top 1 document_id from doc_registry where EditorType = 6 order by document_id",
      Variant::Null());
  if (doc.IsNull()) {
    out << "(no document of editor type 6 in this folder)\n";
    return;
  }
  ObjectPtr table =
      CreateObject("Qv_DBProvider.DBBigDocs")->CallV("GetBigDocTable", doc).AsObject();
  out << "DBBigDocs.GetBigDocTable(" << qv::CStr(doc)
      << "): DocID = " << qv::CStr(table->CallV("DocID")) << "\n";
  const Variant volume = table->CallV("FindVolume", int32_t{1}, int32_t{1});
  out << "FindVolume(1, 1) = " << qv::CStr(volume) << "\n";
  ObjectPtr it = table->CallV("GetVolumeSubDocsList", volume).AsObject();
  out << "GetVolumeSubDocsList: Count = " << qv::CStr(it->CallV("Count")) << "\n";
  for (int shown = 0; shown < kSubDocsShown && !qv::CBool(it->CallV("IsEOF"));
       ++shown, it->CallV("MoveNext")) {
    const Variant sub = it->CallV("GetField", std::string("ID"));
    out << "  sub-document " << qv::CStr(sub) << ", OrderNum "
        << qv::CStr(it->CallV("GetLong", std::string("OrderNum"))) << ":\n";
    PrintSubDocCells(out, table, sub);
  }
}

}  // namespace

void WalkBigDocs(std::ostream& out) {
  DemoSteps walk(out);
  walk.Heading("A big document in its shard files (DBBigDocs, DBBigDocTable, IDBForwardIter)");
  walk.Step([&] { ReadBigDoc(out); });
  walk.Finish("big-document");
}

}  // namespace qvdb
