// DBQPfr's dispatch table, family by family in the order of DBQPfr.h, and
// the tariff value class.

#include "pfr/DBQPfr.h"

#include "pfr/IntPfrCellValuesTable.h"

namespace qv::pfr {

#define QV_TARIFF_MEMBER(Name) Property(#Name, &TRsvTariff::Get##Name, &TRsvTariff::Let##Name)
QV_DEFINE_CLASS(TRsvTariff, "Qv_DBProvider.TRsvTariff", QV_CREATABLE(TRsvTariff),
                QV_TARIFF_MEMBER(TheTear), QV_TARIFF_MEMBER(Code), QV_TARIFF_MEMBER(LowPart),
                QV_TARIFF_MEMBER(OverPart), QV_TARIFF_MEMBER(FomsPart), QV_TARIFF_MEMBER(FinalRate),
                QV_TARIFF_MEMBER(IsMD))
#undef QV_TARIFF_MEMBER

namespace {
const Variant kAll("*");
}  // namespace

QV_DEFINE_CLASS(
    DBQPfr, "Qv_DBProvider.DBQPfr", QV_CREATABLE(DBQPfr),
    // sub-documents of a document
    Method("GetSubDocsByDocumentID", &DBQPfr::GetSubDocsByDocumentID, {Variant()}),
    Method("GetSubDocsByDocumentIDAndSubDocType", &DBQPfr::GetSubDocsByDocumentIDAndSubDocType,
           {Variant(false)}),
    Method("GetSubDocIDsByDocumentIDAndSubDocType", &DBQPfr::GetSubDocIDsByDocumentIDAndSubDocType,
           {Variant(false)}),
    Method("GetFirstSubDocsByDocumentIDAndSubDocType",
           &DBQPfr::GetFirstSubDocsByDocumentIDAndSubDocType),
    Method("GetFirstSubDocIDByDocumentIDAndSubDocType",
           &DBQPfr::GetFirstSubDocIDByDocumentIDAndSubDocType),
    Method("GetSubDocIDsByDocIDAndSubDocTypeSorted",
           &DBQPfr::GetSubDocIDsByDocIDAndSubDocTypeSorted, {Variant("fio")}),
    Method("GetSubdocsByExportedNums", &DBQPfr::GetSubdocsByExportedNums),
    Method("GetSubDocInfo", &DBQPfr::GetSubDocInfo),
    Method("GetSubDocValues", &DBQPfr::GetSubDocValues),
    Method("GetSubDocValuesBySubDocType", &DBQPfr::GetSubDocValuesBySubDocType),
    Method("SetSubDocValuesBySubDocType", &DBQPfr::SetSubDocValuesBySubDocType),
    Method("GetPfrCellsDirectSession", &DBQPfr::GetPfrCellsDirectSession),
    // sub-documents of a person in a document
    Method("GetSubDocsOfPersonInDocument", &DBQPfr::GetSubDocsOfPersonInDocument, {kAll}),
    Method("GetSubDocIDsOfPersonInDocument", &DBQPfr::GetSubDocIDsOfPersonInDocument, {kAll}),
    Method("GetFirstSubDocIDOfPersonInDocument", &DBQPfr::GetFirstSubDocIDOfPersonInDocument,
           {kAll}),
    Method("GetFirstSubDocOfPersonInDocument", &DBQPfr::GetFirstSubDocOfPersonInDocument, {kAll}),
    Method("HasSubDocsOfPersonInDocument", &DBQPfr::HasSubDocsOfPersonInDocument, {kAll}),
    Method("CopyPersonSubDocsToDestDoc", &DBQPfr::CopyPersonSubDocsToDestDoc, {kAll}),
    Method("DeleteSubDocsOfPersonInDocument", &DBQPfr::DeleteSubDocsOfPersonInDocument),
    Method("DeleteSubDocsWithSubDocTypeInDocument", &DBQPfr::DeleteSubDocsWithSubDocTypeInDocument),
    Method("DeleteCollisioningSubDocsInDocument", &DBQPfr::DeleteCollisioningSubDocsInDocument),
    // insured persons
    Method("GetPfrPersonsByTaxpayer", &DBQPfr::GetPfrPersonsByTaxpayer),
    Method("GetPfrPersonsByTaxpayerSorted", &DBQPfr::GetPfrPersonsByTaxpayerSorted,
           {Variant("fio"), Variant(0)}),
    Method("GetPfrPersonsByTaxpayerEx", &DBQPfr::GetPfrPersonsByTaxpayerEx,
           {Variant("fio"), Variant(0)}),
    Method("FindMergingCandidate", &DBQPfr::FindMergingCandidate),
    Method("FindPfrPersonsWithFioByTaxpayer", &DBQPfr::FindPfrPersonsWithFioByTaxpayer),
    Method("FindPfrPersonsByPfrNumber", &DBQPfr::FindPfrPersonsByPfrNumber),
    Method("FindPfrPersonsByInn", &DBQPfr::FindPfrPersonsByInn),
    Method("FindPfrPersonByPassport", &DBQPfr::FindPfrPersonByPassport),
    Method("FindPfrPersonDuplicate", &DBQPfr::FindPfrPersonDuplicate, {Variant()}),
    // end documents and pack numbers
    Method("GetPfrEndDocsByMasterDocID", &DBQPfr::GetPfrEndDocsByMasterDocID),
    Method("CountPfrEndDocsInApprovedState", &DBQPfr::CountPfrEndDocsInApprovedState),
    Method("DeletePfrEndDocuments", &DBQPfr::DeletePfrEndDocuments),
    Method("IsMasterContainsEndDocs", &DBQPfr::IsMasterContainsEndDocs),
    Method("GetPfrMasterStatus", &DBQPfr::GetPfrMasterStatus),
    Method("GetMinSheafNumberOfMaster", &DBQPfr::GetMinSheafNumberOfMaster),
    Method("IsSheafWithNumberExistsInPeriodAndAccStream",
           &DBQPfr::IsSheafWithNumberExistsInPeriodAndAccStream),
    Method("GetMaxSheafNumberInPeriodAndAccStream", &DBQPfr::GetMaxSheafNumberInPeriodAndAccStream),
    Method("GetMaxSheafNumberForPfrNumbering", &DBQPfr::GetMaxSheafNumberForPfrNumbering),
    Method("IsSheafWithNumberExistsInPfrNumbering", &DBQPfr::IsSheafWithNumberExistsInPfrNumbering),
    Method("GetPfrEndFormOptions", &DBQPfr::GetPfrEndFormOptions),
    Method("SetUserPfrEndFormOption", &DBQPfr::SetUserPfrEndFormOption, {Variant()}),
    Method("GetPfrEndFormCountInSheaf", &DBQPfr::GetPfrEndFormCountInSheaf),
    // dictionaries, limits and tariffs
    Method("GetIncomeLimit", &DBQPfr::GetIncomeLimit), Method("GetMROT", &DBQPfr::GetMROT),
    Method("GetTariffs", &DBQPfr::GetTariffs), Method("GetTariffs2", &DBQPfr::GetTariffs2),
    Method("GetTariffs3", &DBQPfr::GetTariffs3), Method("GetTariffs4", &DBQPfr::GetTariffs4),
    Method("GetAddTariffs", &DBQPfr::GetAddTariffs), Method("GetPfrDict", &DBQPfr::GetPfrDict),
    Method("IsDictCodeAllowedAtDate", &DBQPfr::IsDictCodeAllowedAtDate),
    // contribution reports and their corrections
    Method("GetRsv1DocsForSending", &DBQPfr::GetRsv1DocsForSending),
    Method("GetLatestRsv1DocumentInPeriod", &DBQPfr::GetLatestRsv1DocumentInPeriod),
    Method("GetLatestRsv2017DocumentInPeriod", &DBQPfr::GetLatestRsv2017DocumentInPeriod),
    Method("GetLatestRsv2020DocumentInPeriod", &DBQPfr::GetLatestRsv2020DocumentInPeriod),
    Method("GetLatestRsv2022DocumentInPeriod", &DBQPfr::GetLatestRsv2022DocumentInPeriod),
    Method("GetLatestRsv2023DocumentInPeriod", &DBQPfr::GetLatestRsv2023DocumentInPeriod),
    Method("GetLatestRsv2025DocumentInPeriod", &DBQPfr::GetLatestRsv2025DocumentInPeriod),
    Method("GetRsvMaxCorrNum", &DBQPfr::GetRsvMaxCorrNum),
    Method("GetRsvNewSheetAndCorrNum", &DBQPfr::GetRsvNewSheetAndCorrNum),
    Method("GetRsvStartSheetNumForRenumbering", &DBQPfr::GetRsvStartSheetNumForRenumbering),
    Method("GetRsvPreceededCorrectedSubDoc", &DBQPfr::GetRsvPreceededCorrectedSubDoc),
    Method("GetRsvAllActualSubDocIDs", &DBQPfr::GetRsvAllActualSubDocIDs),
    Method("GetRsvPastSubDocIDForPerson", &DBQPfr::GetRsvPastSubDocIDForPerson),
    Method("CalcRsvPastSumsForPerson", &DBQPfr::CalcRsvPastSumsForPerson, {Variant()}),
    Method("CalcRsvPastSumsForPerson2", &DBQPfr::CalcRsvPastSumsForPerson2, {Variant(), Variant()}),
    Method("CalcRsvPastSumsForPerson2020", &DBQPfr::CalcRsvPastSumsForPerson2020,
           {Variant(), Variant()}),
    Method("CalcRsvPastSumsForPerson2022", &DBQPfr::CalcRsvPastSumsForPerson2022,
           {Variant(), Variant()}),
    Method("CalcRsvPastSumsForPerson2023", &DBQPfr::CalcRsvPastSumsForPerson2023,
           {Variant(), Variant()}),
    Method("CalcRsvPastSumsForPerson2025", &DBQPfr::CalcRsvPastSumsForPerson2025,
           {Variant(), Variant()}),
    Method("CollectSheetedCells", &DBQPfr::CollectSheetedCells),
    // payment slices, manual sums, documents to copy from
    Method("SaveSlices", &DBQPfr::SaveSlices), Method("SaveSlice", &DBQPfr::SaveSlice),
    Method("SaveSliceSDR", &DBQPfr::SaveSliceSDR),
    Method("LoadSlicesForIndPaymentScattering", &DBQPfr::LoadSlicesForIndPaymentScattering),
    Method("LoadSliceForIndMassPaymentScatteringTypeSetting",
           &DBQPfr::LoadSliceForIndMassPaymentScatteringTypeSetting),
    Method("GetPeracManualSums", &DBQPfr::GetPeracManualSums),
    Method("SetPeracManualSum", &DBQPfr::SetPeracManualSum),
    Method("ClearPeracManualSums", &DBQPfr::ClearPeracManualSums),
    Method("GetDocsToCopyFrom", &DBQPfr::GetDocsToCopyFrom),
    // the labour-activity report
    Method("GetSzvTdSubDocsForPfrPerson", &DBQPfr::GetSzvTdSubDocsForPfrPerson),
    Method("GetSzvTdSubDocsForPfrPerson2023", &DBQPfr::GetSzvTdSubDocsForPfrPerson2023),
    Method("GetSzvTdPostsList", &DBQPfr::GetSzvTdPostsList),
    Method("HasAnotherSzvTdOnPerson", &DBQPfr::HasAnotherSzvTdOnPerson))

}  // namespace qv::pfr
