#include "queries/DocumentQueries.h"

#include <array>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDBProviderFactory.h"
#include "core/miDataBase.h"
#include "platform/ado/AdoConstants.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "queries/IntDocQuerySession.h"
#include "queries/PeriodQueries.h"
#include "queries/mCommonLookups.h"
#include "queries/mDocumentLookups.h"
#include "records/LaterDocumentParts.h"
#include "records/mQvDocumentSrv.h"
#include "records/miDocument.h"
#include "records/miRecCollection.h"
#include "siblings/records/RecordFactory.h"

namespace qv::queries {

using namespace mQvDaoDataBase;
using records::QvRecordPtr;

namespace {

// The conditions of the attribute searches: -1 leaves a criterion out;
// each piece follows the previous value directly, as callers have always
// had it ("=5and ..." is read as 5 and "and").
std::string AttributeConditions(double aAccStreamID, double aTemplateID, double aTimeID,
                                int32_t aInstanceNumber, int32_t aUtochNumber) {
  std::string sql = Number2DaoSql(aAccStreamID);
  if (aTemplateID != -1) sql += "and template_id=" + Number2DaoSql(aTemplateID);
  if (aTimeID != -1) sql += "and time_id=" + Number2DaoSql(aTimeID);
  if (aInstanceNumber != -1)
    sql +=
        "and iif (IsNull (instance_number), 0, instance_number)=" + Number2DaoSql(aInstanceNumber);
  if (aUtochNumber != -1)
    sql += "and iif (IsNull (doc_type), 0, doc_type)=" + Number2DaoSql(aUtochNumber);
  return sql;
}

int32_t Count(const std::string& sql) {
  const Variant v = QvQueryValue(sql);
  return v.IsNull() ? 0 : CLng(v);
}

// Names of the report codes 1 to 24; codes without one give "".
constexpr std::array<std::string_view, 25> kReportNames = {
    "",
    "Январь",
    "Февраль",
    "Март",
    "Апрель",
    "Май",
    "Июнь",
    "Июль",
    "Август",
    "Сентябрь",
    "Октябрь",
    "Ноябрь",
    "Декабрь",
    "I квартал",
    "II квартал, полугодие",
    "III квартал, 9 месяцев",
    "IV квартал, год",
    "Иное",
    "Прочие документы",
    "1-е полугодие",
    "2-е полугодие",
    "Запросы и переписка",
    "",
    "(Конечные документы ПУ ПФР)",
    "Документы",
};

constexpr int32_t kCellKeyLength = 12;

}  // namespace

// ---- lists and counts

ado::RecordsetPtr DocumentQueries::GetDocumentsInPeriodAndAccStream(double aAccStreamID,
                                                                    double aTimeID) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(
        "select document_id, status_qv, template_id, top_doc_id "
        "from doc_registry where time_id = " +
        Number2DaoSql(aTimeID) + " and taxpayer_id = " + Number2DaoSql(aAccStreamID) + ";");
  });
}

ado::RecordsetPtr DocumentQueries::GetDocumentsInAccStream(double aAccStreamID) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(
        "select document_id, status_qv, template_id, top_doc_id "
        "from doc_registry where taxpayer_id = " +
        Number2DaoSql(aAccStreamID) +
        " order by time_id, template_id, instance_number, top_doc_id ;");
  });
}

bool DocumentQueries::IsExistsDocumentWithAttributesInAccStream(double aAccStreamID,
                                                                double aTemplateID, double aTimeID,
                                                                int32_t aInstanceNumber,
                                                                int32_t aUtochNumber) {
  return Guard(QV_HERE, [&] {
    return Count("select count (*) from doc_registry where taxpayer_id=" +
                 AttributeConditions(aAccStreamID, aTemplateID, aTimeID, aInstanceNumber,
                                     aUtochNumber)) >= 1;
  });
}

CollectionPtr DocumentQueries::GetDocumentsWithAttributesInAccStream(double aAccStreamID,
                                                                     double aTemplateID,
                                                                     double aTimeID,
                                                                     int32_t aInstanceNumber,
                                                                     int32_t aUtochNumber) {
  return Guard(QV_HERE, [&] {
    return DocumentRecords(
        "select Document_ID AS ID from doc_registry where taxpayer_id=" +
        AttributeConditions(aAccStreamID, aTemplateID, aTimeID, aInstanceNumber, aUtochNumber) +
        " order by Document_ID desc");
  });
}

int32_t DocumentQueries::GetDocCountForSolverInPeriod(double aAccStreamID, int32_t aTimePeriodID) {
  return Guard(QV_HERE, [&] {
    return Count("select count(*) AS a From Doc_Registry where Taxpayer_ID = " +
                 Number2DaoSql(aAccStreamID) + " and Time_ID = " + Number2DaoSql(aTimePeriodID) +
                 " and Top_Doc_ID = 0 ");
  });
}

int32_t DocumentQueries::GetDocCountForSolverInPeriod2(double aAccStreamID, int32_t aTimePeriodID,
                                                       const std::string& aExcludeTemplTypes) {
  return Guard(QV_HERE, [&] {
    std::string sql =
        "select count(*) AS a From Doc_Registry AS d "
        "left join doc_templates AS t ON t.template_id = d.template_id "
        "where d.Taxpayer_ID = " +
        Number2DaoSql(aAccStreamID) + " and d.Time_ID = " + Number2DaoSql(aTimePeriodID) +
        " and d.Top_Doc_ID = 0 ";
    if (!aExcludeTemplTypes.empty())
      sql += " and t.doc_type_id not in (" +
             IdList2DaoSql(aExcludeTemplTypes, "aExcludeTemplTypes") + ") ";
    return Count(sql);
  });
}

int32_t DocumentQueries::GetTotalDocsCount() {
  return Guard(QV_HERE, [&] {
    return CLng(QvQueryFirstValue("select count(*) AS a from Doc_Registry", Variant(int32_t{0})));
  });
}

int32_t DocumentQueries::GetDocInstancesCount(double aDocID) {
  return Guard(QV_HERE, [&] {
    const std::optional<DocAttributes> a = FindDocAttributes(aDocID);
    if (!a) return int32_t{0};
    return CLng(QvQueryFirstValue(
        "select count(*) AS aaa from doc_registry AS d where d.taxpayer_id = " +
            Number2DaoSql(a->stream) + " and d.time_id = " + Number2DaoSql(a->period) +
            " and d.template_id = " + Number2DaoSql(a->templateId) + " ",
        Variant(int32_t{0})));
  });
}

CollectionPtr DocumentQueries::GetTaxDocsAnalogs(double aAccStreamID, double aTimePeriodID,
                                                 double aTemplateID) {
  return Guard(QV_HERE, [&] {
    const double person = GetAccStreamPersonID(aAccStreamID);
    const Variant docType =
        QvQueryValueSafe("select t.doc_type_id from doc_templates as t where t.template_id=" +
                             Number2DaoSql(aTemplateID),
                         Variant(0.0));
    return DocumentRecords(
        "select r.Document_ID AS id from (doc_registry as r "
        "LEFT JOIN AccStream AS a ON a.id = r.Taxpayer_ID) "
        "LEFT JOIN doc_templates AS t ON t.template_id = r.template_id "
        "where r.Time_ID = " +
        Number2DaoSql(aTimePeriodID) + " and a.PersonID = " + Number2DaoSql(person) +
        " and t.doc_type_id = " + Number2DaoSql(docType.IsNull() ? 0.0 : CDbl(docType)) +
        " and a.AccStreamType = 1 and r.Top_Doc_ID = 0 ");
  });
}

CollectionPtr DocumentQueries::GetDocumentAttachments(double aDocID) {
  return Guard(QV_HERE, [&] {
    if (aDocID == 0) return std::make_shared<Collection>();
    auto rs = QvQuerySqlStatic(
        "select ID from DOC_Attachments where DocumentID = " + Number2DaoSql(aDocID) + " ");
    CollectionPtr attachments = miRecCollection::GetRecCollection_QvAttachmentDoc(*rs, "ID");
    rs->Close();
    return attachments;
  });
}

// ---- cells

bool DocumentQueries::CopyDocumentCells(double aDocIDFrom, double aDocIDTo) {
  return Guard(QV_HERE, [&] {
    miDocument::CopyDocumentCells(*miDataBase::GetUserDataBase(), aDocIDFrom, aDocIDTo);
    return true;
  });
}

bool DocumentQueries::ZeroDocumentCells(double aDocID) {
  return Guard(QV_HERE, [&] {
    miDocument::DeleteDocumentCells(*miDataBase::GetUserDataBase(), aDocID);
    return true;
  });
}

void DocumentQueries::ZeroBigDocCells(double aDocID) {
  Guard(QV_HERE, [&] { records::ZeroBigDocCells(aDocID); });
}

void DocumentQueries::SaveDocCellValue(double aDocID, const std::string& aCellKey,
                                       const std::string& aValue, int32_t aType) {
  Guard(QV_HERE, [&] {
    if (aDocID == 0 || Len(aCellKey) != kCellKeyLength) return;
    auto db = miDataBase::GetUserDataBase();
    dao::Transaction tx(*db, dao::kWriteLock);
    auto rs = db->OpenTable("DOC_CELL_VALUES");
    rs->SetIndex("Document_ID");
    const Variant key[] = {Variant(aDocID), Variant(aCellKey)};
    rs->Seek("=", key);
    const Variant value(Truncate16(aValue, miDocument::kCellValueLength));
    if (rs->NoMatch()) {
      if (!aValue.empty()) {
        rs->AddNew();
        rs->SetField("Document_ID", Variant(aDocID));
        rs->SetField("first_type", Variant(aType));
        rs->SetField("Cell_Key", Variant(aCellKey));
        rs->SetField("first_value", value);
        rs->Update();
      }
    } else if (aValue.empty()) {
      rs->Delete();
    } else {
      rs->Edit();
      rs->SetField("first_type", Variant(aType));
      rs->SetField("first_value", value);
      rs->Update();
    }
    rs->Close();
    tx.Commit();
  });
}

ado::RecordsetPtr DocumentQueries::LoadDocCellValues(double aDocumentID) {
  return Guard(QV_HERE, [&] {
    // In the order of the cells' keys, as the document's index holds them
    // (a server gives a select without an order in no particular one).
    return QvQuerySqlA(
        "Select cell_key, first_value, first_type "
        "From doc_cell_values where document_id=" +
        Number2DaoSql(aDocumentID) + " order by cell_key");
  });
}

ado::RecordsetPtr DocumentQueries::CreateRecordsetForCellValues() {
  return Guard(QV_HERE, [&] {
    auto rs = std::make_shared<ado::Recordset>();
    rs->SetCursorLocation(ado::adUseClient);
    rs->AppendField("cell_key", ado::adVarWChar, kCellKeyLength, ado::adFldIsNullable);
    rs->AppendField("first_type", ado::adInteger, 4, ado::adFldIsNullable);
    rs->AppendField("first_value", ado::adVarWChar, miDocument::kCellValueLength,
                    ado::adFldIsNullable);
    rs->Open();
    return rs;
  });
}

void DocumentQueries::UpdateDocCellValues(double aDocumentID, Variant& aCells) {
  Guard(QV_HERE, [&] {
    ObjectPtr service = miDBProviderFactory::NewKPRDocsPackageSrv();
    std::vector<Variant> args{Variant(aDocumentID), aCells};
    service->Call("UpdateDocumentCellValues", args);
    aCells = args[1];
  });
}

// ---- neighbouring periods

bool DocumentQueries::GetPrevPeriodDocID(double aDocID, double& resDocID) {
  return Guard(QV_HERE, [&] {
    resDocID = mQvDocumentSrv::GetPrevDocumentID(aDocID);
    return true;
  });
}

bool DocumentQueries::GetNextPeriodDocID(double aDocID, double& resDocID) {
  return Guard(QV_HERE, [&] {
    resDocID = mQvDocumentSrv::GetNextDocumentID(aDocID);
    return true;
  });
}

std::string DocumentQueries::GetReportName(int32_t aReportID) {
  if (aReportID < 1 || aReportID >= static_cast<int32_t>(kReportNames.size())) return {};
  return std::string(kReportNames[static_cast<size_t>(aReportID)]);
}

bool DocumentQueries::CheckForMonthOrQuartAnalogs(double aAccStreamID, double aTimeID,
                                                  double aTemplateID, int32_t& resResult,
                                                  std::string& resBadPeriodsNames) {
  return Guard(QV_HERE, [&] {
    if (!QvQueryExistence("select time_id from time_by_month where time_id = " +
                          Number2DaoSql(aTimeID)))
      return false;
    int32_t report = 0, year = 0, kind = 0, parent = 0;
    bool found = false;
    PeriodQueries::GetTimeIDInfo(aTimeID, report, year, kind, parent, found);
    if (!found) return false;
    const std::string forms = " and template_id=" + Number2DaoSql(aTemplateID) + ";";
    if (kind == 1) {
      const double quarter = PeriodQueries::GetParentTimeID(aTimeID);
      if (Count("select count (*) AS a from doc_registry where taxpayer_id=" +
                Number2DaoSql(aAccStreamID) + " and time_id=" + Number2DaoSql(quarter) + forms) >
          0) {
        resResult = kAnalogQuarterOfMonth;
        int32_t qReport = 0, qYear = 0, qKind = 0, qParent = 0;
        bool qFound = false;
        PeriodQueries::GetTimeIDInfo(quarter, qReport, qYear, qKind, qParent, qFound);
        if (qFound) resBadPeriodsNames = GetReportName(qReport);
      }
    } else if (kind == 2) {
      // Numbers the library wrote itself ("-1" when the quarter has none).
      const std::string months = PeriodQueries::GetChildTimeIDs(aTimeID, ",", "-1");
      const std::string where = " where taxpayer_id=" + Number2DaoSql(aAccStreamID) +
                                " and time_id in (" + months + ")" + forms;
      if (Count("select count (*) AS a from doc_registry" + where) > 0) {
        resResult = kAnalogMonthsOfQuarter;
        auto rs = QvQuerySqlStatic(
            "select distinct c.name AS report_name "
            "from (doc_registry AS a "
            "left join time_by_month AS b on a.time_id=b.time_id) "
            "left join report_time AS c on b.report_id=c.report_id "
            "where a.taxpayer_id=" +
            Number2DaoSql(aAccStreamID) + " and a.time_id in (" + months +
            ") and a.template_id=" + Number2DaoSql(aTemplateID) + ";");
        resBadPeriodsNames =
            GetDelimitedStringFieldValuesFromDaoRS(rs, "report_name", "", ", ", "");
        rs->Close();
      }
    }
    return true;
  });
}

// ---- creation

QvRecordPtr DocumentQueries::CreateDocument2(double aAccStreamID, double aTimePeriodID,
                                             double aTemplateID, int32_t aFlags,
                                             double aArchivedDocumentID, int32_t aInstanceNumber,
                                             int32_t aScaleIndex, int32_t aStatusQv,
                                             double aCopyCellsFromDocID) {
  return Guard(QV_HERE, [&] {
    return miDocument::CreateDocument(aAccStreamID, aTimePeriodID, aTemplateID, aFlags,
                                      aArchivedDocumentID, aInstanceNumber, aScaleIndex, aStatusQv,
                                      aCopyCellsFromDocID, nullptr);
  });
}

QvRecordPtr DocumentQueries::CreateNewDocument2(double aAccStreamID, double aTimePeriodID,
                                                double aTemplateID, int32_t aScaleIndex,
                                                int32_t aStatusQv, double aCopyCellsFromDocID) {
  return Guard(QV_HERE, [&] {
    using namespace miDocument::createflags;
    return miDocument::CreateDocument(aAccStreamID, aTimePeriodID, aTemplateID,
                                      aCopyCellsFromDocID != 0 ? kCopyFromDocument : 0, 0, -1,
                                      aScaleIndex, aStatusQv, aCopyCellsFromDocID, nullptr);
  });
}

QvRecordPtr DocumentQueries::CreateNewInstance2(double aAccStreamID, double aTimePeriodID,
                                                double aTemplateID, int32_t aScaleIndex,
                                                int32_t aStatusQv, int32_t aInstanceNumber,
                                                double aCopyCellsFromDocID) {
  return Guard(QV_HERE, [&] {
    using namespace miDocument::createflags;
    const int32_t flags = kNewInstance | (aCopyCellsFromDocID != 0 ? kCopyFromDocument : 0);
    return miDocument::CreateDocument(aAccStreamID, aTimePeriodID, aTemplateID, flags, 0,
                                      aInstanceNumber, aScaleIndex, aStatusQv, aCopyCellsFromDocID,
                                      nullptr);
  });
}

QvRecordPtr DocumentQueries::CreateNewAdjustment2(double aAccStreamID, double aTimePeriodID,
                                                  double aTemplateID, bool aCopyCellsFromArchive,
                                                  double aArchivedDocumentID,
                                                  int32_t aInstanceNumber, int32_t aScaleIndex,
                                                  int32_t aStatusQv, double aCopyCellsFromDocID) {
  return Guard(QV_HERE, [&] {
    using namespace miDocument::createflags;
    const int32_t flags = kAdjustment | (aCopyCellsFromArchive ? kCopyFromArchive : 0) |
                          (aCopyCellsFromDocID != 0 ? kCopyFromDocument : 0);
    return miDocument::CreateDocument(aAccStreamID, aTimePeriodID, aTemplateID, flags,
                                      aArchivedDocumentID, aInstanceNumber, aScaleIndex, aStatusQv,
                                      aCopyCellsFromDocID, nullptr);
  });
}

QvRecordPtr DocumentQueries::CreatePfrEndDocument(double aMasterDocID, double aTemplateID,
                                                  int32_t aStatusQv) {
  return Guard(QV_HERE, [&] {
    QvRecordPtr master = records::RecordFactory::ForThisThread()->GetLoadedRecord(
        "Qv_Records.QvDocument", Variant(aMasterDocID));
    if (master->State() != records::kLoaded)
      ThrowVb(vberr::kInvalidProcedureCall,
              "the master document " + Number2DaoSql(aMasterDocID) + " does not exist");
    const double stream = CDbl(master->Get("Taxpayer").AsObject()->Get("ID"));
    // The end documents of one form for several masters of a stream share
    // its period: each is an instance of its own.
    using namespace miDocument::createflags;
    return miDocument::CreateDocument(stream, kPfrEndDocumentsPeriod, aTemplateID,
                                      kPfrEndDocument | kNewInstance, 0, -1, 0, aStatusQv, 0,
                                      master);
  });
}

QvRecordPtr DocumentQueries::CreateImportingDocument(double aAccStreamID, double aTimePeriodID,
                                                     double aTemplateID, int32_t aInstanceNumber,
                                                     int32_t aUtochNumber, int32_t aScaleIndex,
                                                     int32_t aStatusQv) {
  return Guard(QV_HERE, [&] {
    return miDocument::CreateImportingDocument(aAccStreamID, aTimePeriodID, aTemplateID,
                                               aInstanceNumber, aUtochNumber, aScaleIndex,
                                               aStatusQv);
  });
}

// ---- pension-fund manual packs

bool DocumentQueries::IsPfrManualSheafReferencesExists(double aManualSheafID, double aDocumentID) {
  return Guard(QV_HERE, [&] {
    if (aManualSheafID == 0 || aDocumentID == 0) return false;
    return QvQueryExistence(
        "select top 1 ID from PfrSubDocs where DocumentID = " + Number2DaoSql(aDocumentID) +
        " and ManualSheafID = " + Number2DaoSql(aManualSheafID));
  });
}

void DocumentQueries::ClearReferencesToPfrManualSheaf(double aManualSheafID, double aDocumentID) {
  Guard(QV_HERE, [&] {
    if (aManualSheafID == 0 || aDocumentID == 0) return;
    auto db = miDataBase::GetUserDataBase();
    const std::string where = " where DocumentID = " + Number2DaoSql(aDocumentID) +
                              " and ManualSheafID = " + Number2DaoSql(aManualSheafID);
    dao::Transaction tx(*db, dao::kWriteLock);
    auto rs = QvQuerySqlStatic("select ID from PfrSubDocs" + where, db);
    CollectionPtr ids = miRecCollection::GetIDCollection(*rs, "ID", false);
    rs->Close();
    QvExecuteSql("Update PfrSubDocs Set ManualSheafID = 0" + where, db);
    auto& factory = *records::RecordFactory::ForThisThread();
    for (int32_t i = 1; i <= ids->Count(); ++i)
      factory.GetRecord("Qv_PfrRecords.QvPfrSubDoc", ids->At(i))->Refresh();
    tx.Commit();
  });
}

// ---- the structured search

CollectionPtr DocumentQueries::PerformDocQuery(const ObjectPtr& aQuery, Variant& aAdditionalInfo) {
  return Guard(QV_HERE,
               [&] { return IntDocQuerySession(aQuery).PerformDocQuery(aAdditionalInfo); });
}

QV_DEFINE_CLASS(
    DocumentQueries, "Qv_DBProvider.DocumentQueries", QV_CREATABLE(DocumentQueries),
    Method("GetDocumentsInPeriodAndAccStream(aAccStreamID, aTimeID)",
           &DocumentQueries::GetDocumentsInPeriodAndAccStream),
    Method("GetDocumentsInAccStream(aAccStreamID)", &DocumentQueries::GetDocumentsInAccStream),
    Method("CopyDocumentCells(aDocIDFrom, aDocIDTo)", &DocumentQueries::CopyDocumentCells),
    Method("ZeroDocumentCells(aDocID)", &DocumentQueries::ZeroDocumentCells),
    Method("GetPrevPeriodDocID(aDocID, resDocID)", &DocumentQueries::GetPrevPeriodDocID),
    Method("GetNextPeriodDocID(aDocID, resDocID)", &DocumentQueries::GetNextPeriodDocID),
    Method("CheckForMonthOrQuartAnalogs(aAccStreamID, aTimeID, aTemplateID, resResult, "
           "resBadPeriodsNames)",
           &DocumentQueries::CheckForMonthOrQuartAnalogs),
    Method("IsExistsDocumentWithAttributesInAccStream(aAccStreamID, aTemplateID, aTimeID, "
           "aInstanceNumber, aUtochNumber)",
           &DocumentQueries::IsExistsDocumentWithAttributesInAccStream),
    Method("GetDocumentsWithAttributesInAccStream(aAccStreamID, aTemplateID, aTimeID, "
           "aInstanceNumber, aUtochNumber)",
           &DocumentQueries::GetDocumentsWithAttributesInAccStream),
    Method("DeleteDocumentsWithTemplateAndTimeInAccStream(aAccStreamID, aTemplateID, aTimeID)",
           &DocumentQueries::DeleteDocumentsWithTemplateAndTimeInAccStream),
    Method("CanMoveDocumentToAnotherAccStream(aDocumentID, aDestAccStreamID)",
           &DocumentQueries::CanMoveDocumentToAnotherAccStream),
    Method("PrepareMovingDociumentToAnotherAccStream(aDocumentID, aDestAccStreamID)",
           &DocumentQueries::PrepareMovingDociumentToAnotherAccStream),
    Method("MoveDocumentToAnotherAccStream(aDocumentID, aDestAccStreamID)",
           &DocumentQueries::MoveDocumentToAnotherAccStream),
    Method("CreateRecordsetForCellValues", &DocumentQueries::CreateRecordsetForCellValues),
    Method("UpdateDocCellValues(aDocumentID, aCells)", &DocumentQueries::UpdateDocCellValues),
    Method("LoadDocCellValues(aDocumentID)", &DocumentQueries::LoadDocCellValues),
    Method("SaveDocCellValue(aDocID, aCellKey, aValue, aType)", &DocumentQueries::SaveDocCellValue),
    Method("CreateDocument2(aAccStreamID, aTimePeriodID, aTemplateID, aFlags, aArchivedDocumentID, "
           "aInstanceNumber, aScaleIndex, aStatusQv, aCopyCellsFromDocID)",
           &DocumentQueries::CreateDocument2,
           {Variant(0.0), Variant(int32_t{-1}), Variant(int32_t{-1}), Variant(int32_t{1}),
            Variant(0.0)}),
    Method("CreateNewDocument2(aAccStreamID, aTimePeriodID, aTemplateID, aScaleIndex, aStatusQv, "
           "aCopyCellsFromDocID)",
           &DocumentQueries::CreateNewDocument2,
           {Variant(int32_t{-1}), Variant(int32_t{1}), Variant(0.0)}),
    Method("CreateNewInstance2(aAccStreamID, aTimePeriodID, aTemplateID, aScaleIndex, aStatusQv, "
           "aInstanceNumber, aCopyCellsFromDocID)",
           &DocumentQueries::CreateNewInstance2,
           {Variant(int32_t{-1}), Variant(int32_t{1}), Variant(int32_t{-1}), Variant(0.0)}),
    Method("CreateNewAdjustment2(aAccStreamID, aTimePeriodID, aTemplateID, aCopyCellsFromArchive, "
           "aArchivedDocumentID, aInstanceNumber, aScaleIndex, aStatusQv, aCopyCellsFromDocID)",
           &DocumentQueries::CreateNewAdjustment2,
           {Variant(0.0), Variant(int32_t{0}), Variant(int32_t{-1}), Variant(int32_t{1}),
            Variant(0.0)}),
    Method("CreatePfrEndDocument(aMasterDocID, aTemplateID, aStatusQv)",
           &DocumentQueries::CreatePfrEndDocument, {Variant(int32_t{1})}),
    Method("GetDocCountForSolverInPeriod(aAccStreamID, aTimePeriodID)",
           &DocumentQueries::GetDocCountForSolverInPeriod),
    Method("GetMovingDocsInSrcAccStream(aSrcAccStreamID)",
           &DocumentQueries::GetMovingDocsInSrcAccStream),
    Method("GetAppropriateDocsInDestAccStream(aSrcDocumentID, aDestAccStreamID)",
           &DocumentQueries::GetAppropriateDocsInDestAccStream),
    Method("MoveDocument(aSrcDocumentID, aMoveType, aDestAccStreamID, aDestTimePeriodID, "
           "aDestDocumentID, rResDocumentID)",
           &DocumentQueries::MoveDocument),
    Method("GetTaxDocsAnalogs(aAccStreamID, aTimePeriodID, aTemplateID)",
           &DocumentQueries::GetTaxDocsAnalogs),
    Method("IsPfrManualSheafReferencesExists(aManualSheafID, aDocumentID)",
           &DocumentQueries::IsPfrManualSheafReferencesExists),
    Method("ClearReferencesToPfrManualSheaf(aManualSheafID, aDocumentID)",
           &DocumentQueries::ClearReferencesToPfrManualSheaf),
    Method("GetDocumentAttachments(aDocID)", &DocumentQueries::GetDocumentAttachments),
    Method("PerformDocQuery(aQuery, aAdditionalInfo)", &DocumentQueries::PerformDocQuery),
    Method("CreateImportingDocument(aAccStreamID, aTimePeriodID, aTemplateID, aInstanceNumber, "
           "aUtochNumber, aScaleIndex, aStatusQv)",
           &DocumentQueries::CreateImportingDocument, {Variant(int32_t{-1}), Variant(int32_t{1})}),
    Method("GetTotalDocsCount", &DocumentQueries::GetTotalDocsCount),
    Method("ZeroBigDocCells(aDocID)", &DocumentQueries::ZeroBigDocCells),
    Method("GetDocCountForSolverInPeriod2(aAccStreamID, aTimePeriodID, aExcludeTemplTypes)",
           &DocumentQueries::GetDocCountForSolverInPeriod2),
    Method("GetDocInstancesCount(aDocID)", &DocumentQueries::GetDocInstancesCount))

}  // namespace qv::queries
