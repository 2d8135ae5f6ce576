#include "siblings/kprsrv/KPRDocsPackageSrv.h"

#include "platform/ado/Recordset.h"
#include "platform/automation/ErrorGuard.h"

namespace qv::kprsrv {

namespace {

constexpr std::string_view kLibrary = "Qv_KPRSrv";

ObjectPtr Create(std::string_view progId) {
  return CreateObjectErr(kLibrary, KPRDocsPackageSrv::kModule, progId);
}

std::shared_ptr<ado::Recordset> DataSet(const Variant& v) {
  auto rs = v.IsObject() ? std::dynamic_pointer_cast<ado::Recordset>(v.AsObject()) : nullptr;
  if (!rs) ThrowVb(vberr::kTypeMismatch, "a recordset was expected");
  if (rs->RowCount() == 0) ThrowVb(vberr::kInvalidProcedureCall, "the dataset has no row");
  return rs;
}

size_t Column(const ado::Recordset& rs, std::string_view name) {
  auto c = rs.FindField(name);
  if (!c) ThrowVb(vberr::kInvalidProcedureCall, "the dataset has no column " + std::string(name));
  return *c;
}

const Variant& FirstRow(const ado::Recordset& rs, std::string_view name) {
  return rs.Value(0, Column(rs, name));
}

Variant OrZero(const Variant& v) {
  return v.IsNull() || v.IsEmpty() ? Variant(int32_t{0}) : v;
}

// The registry columns of the row written to the new document when given.
constexpr std::string_view kCopied[] = {"Registry_Date", "Accept_Date",   "Payment_Date",
                                        "Notes",         "Delivery_Type", "Status",
                                        "Deleted",       "Currency_ID"};

}  // namespace

bool KPRDocsPackageSrv::CreateDocument(const Variant& aDataSet) {
  return GuardIn(kLibrary, kModule, __func__, [&] {
    auto rs = DataSet(aDataSet);
    std::vector<Variant> args{
        FirstRow(*rs, "TAXPAYER_ID"),          FirstRow(*rs, "TIME_ID"),
        FirstRow(*rs, "TEMPLATE_ID"),          OrZero(FirstRow(*rs, "Instance_Number")),
        OrZero(FirstRow(*rs, "utoch_number")), OrZero(FirstRow(*rs, "scale_index")),
        OrZero(FirstRow(*rs, "Status_Qv"))};
    ObjectPtr doc =
        Create("Qv_DBProvider.DocumentQueries")->Call("CreateImportingDocument", args).AsObject();
    try {
      for (std::string_view name : kCopied)
        if (auto c = rs->FindField(name); c && !rs->Value(0, *c).IsNull())
          doc->Let(name, rs->Value(0, *c));
      doc->CallV("SaveToStore", false);
    } catch (...) {
      try {
        doc->CallV("DeleteFromStore");
      } catch (...) {
      }
      throw;
    }
    rs->MoveFirst();
    rs->SetValue(Column(*rs, "DOCUMENT_ID"), doc->Get("ID"));
    rs->Update();
    return true;
  });
}

void KPRDocsPackageSrv::UpdateDocumentCellValues(Variant& aDocumentID, Variant& aCells) {
  GuardIn(kLibrary, kModule, __func__,
          [&] { Create("Qv_DBProvider.DBDocument")->CallV("SaveCells", aDocumentID, aCells); });
}

QV_DEFINE_CLASS(KPRDocsPackageSrv, "Qv_KPRSrv.KPRDocsPackageSrv", QV_CREATABLE(KPRDocsPackageSrv),
                Method("CreateDocument(aDataSet)", &KPRDocsPackageSrv::CreateDocument),
                Method("UpdateDocumentCellValues(aDocumentID, aCells)",
                       &KPRDocsPackageSrv::UpdateDocumentCellValues))

}  // namespace qv::kprsrv
