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
    Method("GetSubDocsByDocumentID(aDocID, aFlags, aParams)", &DBQPfr::GetSubDocsByDocumentID,
           {Variant()}),
    Method("GetSubDocsByDocumentIDAndSubDocType(aDocID, aSubDocType, aOnlyFirst)",
           &DBQPfr::GetSubDocsByDocumentIDAndSubDocType, {Variant(false)}),
    Method("GetSubDocIDsByDocumentIDAndSubDocType(aDocID, aSubDocTypes, aOnlyFirst)",
           &DBQPfr::GetSubDocIDsByDocumentIDAndSubDocType, {Variant(false)}),
    Method("GetFirstSubDocsByDocumentIDAndSubDocType(aDocID, aSubDocType)",
           &DBQPfr::GetFirstSubDocsByDocumentIDAndSubDocType),
    Method("GetFirstSubDocIDByDocumentIDAndSubDocType(aDocID, aSubDocTypes)",
           &DBQPfr::GetFirstSubDocIDByDocumentIDAndSubDocType),
    Method("GetSubDocIDsByDocIDAndSubDocTypeSorted(aDocID, aSubDocType, aSortMethod)",
           &DBQPfr::GetSubDocIDsByDocIDAndSubDocTypeSorted, {Variant("fio")}),
    Method("GetSubdocsByExportedNums(aMasterDocID, aEndDocID, aNumInSheaf)",
           &DBQPfr::GetSubdocsByExportedNums),
    Method("GetSubDocInfo(aSubDocID, aOptions)", &DBQPfr::GetSubDocInfo),
    Method("GetSubDocValues(aSubDocID, aKeys)", &DBQPfr::GetSubDocValues),
    Method("GetSubDocValuesBySubDocType(aDocID, aSubDocType, aKeys)",
           &DBQPfr::GetSubDocValuesBySubDocType),
    Method("SetSubDocValuesBySubDocType(aDocID, aSubDocType, aValues)",
           &DBQPfr::SetSubDocValuesBySubDocType),
    Method("GetPfrCellsDirectSession", &DBQPfr::GetPfrCellsDirectSession),
    // sub-documents of a person in a document
    Method("GetSubDocsOfPersonInDocument(aDocumentID, aPfrPersonID, aSubDocTypes)",
           &DBQPfr::GetSubDocsOfPersonInDocument, {kAll}),
    Method("GetSubDocIDsOfPersonInDocument(aDocumentID, aPfrPersonID, aSubDocTypes)",
           &DBQPfr::GetSubDocIDsOfPersonInDocument, {kAll}),
    Method("GetFirstSubDocIDOfPersonInDocument(aDocumentID, aPfrPersonID, aSubDocTypes)",
           &DBQPfr::GetFirstSubDocIDOfPersonInDocument, {kAll}),
    Method("GetFirstSubDocOfPersonInDocument(aDocumentID, aPfrPersonID, aSubDocTypes)",
           &DBQPfr::GetFirstSubDocOfPersonInDocument, {kAll}),
    Method("HasSubDocsOfPersonInDocument(aDocumentID, aPfrPersonID, aSubDocTypes)",
           &DBQPfr::HasSubDocsOfPersonInDocument, {kAll}),
    Method("CopyPersonSubDocsToDestDoc(aSrcDocumentID, aSrcPfrPersonID, aDestDocumentID, "
           "aSubDocTypes)",
           &DBQPfr::CopyPersonSubDocsToDestDoc, {kAll}),
    Method("DeleteSubDocsOfPersonInDocument(aDocumentID, aPfrPersonID)",
           &DBQPfr::DeleteSubDocsOfPersonInDocument),
    Method("DeleteSubDocsWithSubDocTypeInDocument(aDocumentID, aSubDocTypes)",
           &DBQPfr::DeleteSubDocsWithSubDocTypeInDocument),
    Method("DeleteCollisioningSubDocsInDocument(aDocumentID, aDelCollisionsType, aParams)",
           &DBQPfr::DeleteCollisioningSubDocsInDocument),
    // insured persons
    Method("GetPfrPersonsByTaxpayer(aTaxpayerID)", &DBQPfr::GetPfrPersonsByTaxpayer),
    Method("GetPfrPersonsByTaxpayerSorted(aTaxpayerID, aSortMethod, aSortDirection)",
           &DBQPfr::GetPfrPersonsByTaxpayerSorted, {Variant("fio"), Variant(0)}),
    Method("GetPfrPersonsByTaxpayerEx(aTaxpayerID, aPreloadNonLazyFields, aSortMethod, "
           "aSortDirection)",
           &DBQPfr::GetPfrPersonsByTaxpayerEx, {Variant("fio"), Variant(0)}),
    Method("FindMergingCandidate(aTaxpayerID, aSurname, aName, aPatronymic, aPfrNumber, aInn)",
           &DBQPfr::FindMergingCandidate),
    Method("FindPfrPersonsWithFioByTaxpayer(aTaxpayerID, aSurname, aName, aPatronymic)",
           &DBQPfr::FindPfrPersonsWithFioByTaxpayer),
    Method("FindPfrPersonsByPfrNumber(aTaxpayerID, aPfrNumber)",
           &DBQPfr::FindPfrPersonsByPfrNumber),
    Method("FindPfrPersonsByInn(aTaxpayerID, aInn)", &DBQPfr::FindPfrPersonsByInn),
    Method("FindPfrPersonByPassport(aTaxpayerID, aSurname, aName, aPatronymic, aPassportTypeID, "
           "aPassportSeries, aPassportNumber)",
           &DBQPfr::FindPfrPersonByPassport),
    Method("FindPfrPersonDuplicate(aTaxpayerID, aExcludePersonID, aWhatToFind, aData, rDuplicate)",
           &DBQPfr::FindPfrPersonDuplicate, {Variant()}),
    // end documents and pack numbers
    Method("GetPfrEndDocsByMasterDocID(aMasterDocID, aSortMode, aSortDirection)",
           &DBQPfr::GetPfrEndDocsByMasterDocID),
    Method("CountPfrEndDocsInApprovedState(aMasterDocID)", &DBQPfr::CountPfrEndDocsInApprovedState),
    Method("DeletePfrEndDocuments(aMasterDocID)", &DBQPfr::DeletePfrEndDocuments),
    Method("IsMasterContainsEndDocs(aMasterDocID)", &DBQPfr::IsMasterContainsEndDocs),
    Method("GetPfrMasterStatus(aMasterDocID)", &DBQPfr::GetPfrMasterStatus),
    Method("GetMinSheafNumberOfMaster(aMasterDocID)", &DBQPfr::GetMinSheafNumberOfMaster),
    Method("IsSheafWithNumberExistsInPeriodAndAccStream(aNumber, aAccStreamID, aMasterDocTimeID, "
           "aExcludeMasterDocID)",
           &DBQPfr::IsSheafWithNumberExistsInPeriodAndAccStream),
    Method("GetMaxSheafNumberInPeriodAndAccStream(aAccStreamID, aMasterDocTimeID, "
           "aExcludeMasterDocID)",
           &DBQPfr::GetMaxSheafNumberInPeriodAndAccStream),
    Method("GetMaxSheafNumberForPfrNumbering(aMasterDocID, aExcludeThisDoc)",
           &DBQPfr::GetMaxSheafNumberForPfrNumbering),
    Method("IsSheafWithNumberExistsInPfrNumbering(aNumber, aMasterDocID, aExcludeThisDoc)",
           &DBQPfr::IsSheafWithNumberExistsInPfrNumbering),
    Method("GetPfrEndFormOptions", &DBQPfr::GetPfrEndFormOptions),
    Method("SetUserPfrEndFormOption(aFormID, aCountInSheaf, aParams)",
           &DBQPfr::SetUserPfrEndFormOption, {Variant()}),
    Method("GetPfrEndFormCountInSheaf(aFormID)", &DBQPfr::GetPfrEndFormCountInSheaf),
    // dictionaries, limits and tariffs
    Method("GetIncomeLimit(aYear)", &DBQPfr::GetIncomeLimit),
    Method("GetMROT(aYear)", &DBQPfr::GetMROT),
    Method("GetTariffs(aYear, aCategory, rEnsurPart, rCumulPart)", &DBQPfr::GetTariffs),
    Method("GetTariffs2(aYear, aCategory, rEnsurPart, rCumulPart, rOverEnsurPart, rOverCumulPart)",
           &DBQPfr::GetTariffs2),
    Method("GetTariffs3(aYear, aCategory, rEnsurPart, rCumulPart, rOverEnsurPart, rOverCumulPart, "
           "rFomsPart)",
           &DBQPfr::GetTariffs3),
    Method("GetTariffs4(aYear, aCategory)", &DBQPfr::GetTariffs4),
    Method("GetAddTariffs(aDate, aCode, rRate)", &DBQPfr::GetAddTariffs),
    Method("GetPfrDict(aDictType, aActualDate)", &DBQPfr::GetPfrDict),
    Method("IsDictCodeAllowedAtDate(aCode, aDictType, aActualDate)",
           &DBQPfr::IsDictCodeAllowedAtDate),
    // contribution reports and their corrections
    Method("GetRsv1DocsForSending(aAccStreamID, aTimePeriodID)", &DBQPfr::GetRsv1DocsForSending),
    Method("GetLatestRsv1DocumentInPeriod(aAccStreamID, aTimeID, aOnlyWithSection6)",
           &DBQPfr::GetLatestRsv1DocumentInPeriod),
    Method("GetLatestRsv2017DocumentInPeriod(aAccStreamID, aTimeID)",
           &DBQPfr::GetLatestRsv2017DocumentInPeriod),
    Method("GetLatestRsv2020DocumentInPeriod(aAccStreamID, aTimeID)",
           &DBQPfr::GetLatestRsv2020DocumentInPeriod),
    Method("GetLatestRsv2022DocumentInPeriod(aAccStreamID, aTimeID)",
           &DBQPfr::GetLatestRsv2022DocumentInPeriod),
    Method("GetLatestRsv2023DocumentInPeriod(aAccStreamID, aTimeID)",
           &DBQPfr::GetLatestRsv2023DocumentInPeriod),
    Method("GetLatestRsv2025DocumentInPeriod(aAccStreamID, aTimeID)",
           &DBQPfr::GetLatestRsv2025DocumentInPeriod),
    Method("GetRsvMaxCorrNum(aDocID, aPfrPersonID)", &DBQPfr::GetRsvMaxCorrNum),
    Method("GetRsvNewSheetAndCorrNum(aDocID, aTemplateID, aIsAdjustment, aPfrPersonID, rSheetNum, "
           "rCorrNum)",
           &DBQPfr::GetRsvNewSheetAndCorrNum),
    Method("GetRsvStartSheetNumForRenumbering(aDocID, aTemplateID)",
           &DBQPfr::GetRsvStartSheetNumForRenumbering),
    Method("GetRsvPreceededCorrectedSubDoc(aDocID, aPfrPersonID, aTemplateID)",
           &DBQPfr::GetRsvPreceededCorrectedSubDoc),
    Method("GetRsvAllActualSubDocIDs(aDocID, aSortByFio)", &DBQPfr::GetRsvAllActualSubDocIDs),
    Method("GetRsvPastSubDocIDForPerson(aAccStreamID, aTimeID, aPfrPersonID)",
           &DBQPfr::GetRsvPastSubDocIDForPerson),
    Method("CalcRsvPastSumsForPerson(aAccStreamID, aTimeID, aPfrPersonID, aMainRate, rMainResult, "
           "aAddRate, rAddResult, aPfrCellsSession)",
           &DBQPfr::CalcRsvPastSumsForPerson, {Variant()}),
    Method("CalcRsvPastSumsForPerson2(aAccStreamID, aTimeID, aPfrPersonID, aMainRate, rMainResult, "
           "aAddRate, rAddResult, aPfrCellsSession, aDocCache)",
           &DBQPfr::CalcRsvPastSumsForPerson2, {Variant(), Variant()}),
    Method("CalcRsvPastSumsForPerson2020(aAccStreamID, aTimeID, aPfrPersonID, aMainRate, "
           "rMainResult, aAddRate, rAddResult, aPfrCellsSession, aDocCache)",
           &DBQPfr::CalcRsvPastSumsForPerson2020, {Variant(), Variant()}),
    Method("CalcRsvPastSumsForPerson2022(aAccStreamID, aTimeID, aPfrPersonID, aMainRate, "
           "rMainResult, aAddRate, rAddResult, aPfrCellsSession, aDocCache)",
           &DBQPfr::CalcRsvPastSumsForPerson2022, {Variant(), Variant()}),
    Method("CalcRsvPastSumsForPerson2023(aAccStreamID, aTimeID, aPfrPersonID, aMainRate, "
           "rMainResult, aAddRate, rAddResult, aPfrCellsSession, aDocCache)",
           &DBQPfr::CalcRsvPastSumsForPerson2023, {Variant(), Variant()}),
    Method("CalcRsvPastSumsForPerson2025(aAccStreamID, aTimeID, aPfrPersonID, aMainRate, "
           "rMainResult, aAddRate, rAddResult, aPfrCellsSession, aDocCache)",
           &DBQPfr::CalcRsvPastSumsForPerson2025, {Variant(), Variant()}),
    Method(
        "CollectSheetedCells(aAccStreamID, aYear, aTemplateID, aSubDocType, aPfrPersonID, aCells)",
        &DBQPfr::CollectSheetedCells),
    // payment slices, manual sums, documents to copy from
    Method("SaveSlices(aSlices)", &DBQPfr::SaveSlices),
    Method("SaveSlice(aSlice, aKeepTableOpen)", &DBQPfr::SaveSlice),
    Method("SaveSliceSDR(aSDRecord, aContentType)", &DBQPfr::SaveSliceSDR),
    Method("LoadSlicesForIndPaymentScattering(aDocumentID)",
           &DBQPfr::LoadSlicesForIndPaymentScattering),
    Method("LoadSliceForIndMassPaymentScatteringTypeSetting(aSubDocID)",
           &DBQPfr::LoadSliceForIndMassPaymentScatteringTypeSetting),
    Method("GetPeracManualSums(aAccStreamID, aPfrPersonID)", &DBQPfr::GetPeracManualSums),
    Method("SetPeracManualSum(aAccStreamID, aPfrPersonID, aYear, aMonth, aValueType, aIsManual, "
           "aValue)",
           &DBQPfr::SetPeracManualSum),
    Method("ClearPeracManualSums(aAccStreamID, aPfrPersonID)", &DBQPfr::ClearPeracManualSums),
    Method("GetDocsToCopyFrom(aAccStreamID, aTemplateID, aBegPeriodDate, aEndPeriodDate, "
           "aExcludeDocsID)",
           &DBQPfr::GetDocsToCopyFrom),
    // the labour-activity report
    Method("GetSzvTdSubDocsForPfrPerson(aPfrPersonID, aAccStreamID)",
           &DBQPfr::GetSzvTdSubDocsForPfrPerson),
    Method("GetSzvTdSubDocsForPfrPerson2023(aPfrPersonID, aAccStreamID, aIncludeOldRecs)",
           &DBQPfr::GetSzvTdSubDocsForPfrPerson2023),
    Method("GetSzvTdPostsList(aAccStreamID)", &DBQPfr::GetSzvTdPostsList),
    Method("HasAnotherSzvTdOnPerson(aAccStreamID, aPfrPersonID, aExcludeDocID)",
           &DBQPfr::HasAnotherSzvTdOnPerson))

}  // namespace qv::pfr
