// The sweep: every public operation of every class of the library, called
// once on a generated data folder with arguments taken from that folder, and
// again after some rows were given stored Nulls and documents lost their
// accept dates. A call fails the sweep unless its row expects that error;
// afterwards `qvdb check` must find the folder sound. The rows are data; a
// registered operation without a row fails its own test, so a new operation
// cannot go uncalled.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CallArgs.h"
#include "Check.h"
#include "ConsoleTester.h"
#include "DataFolder.h"
#include "FolderCopy.h"
#include "Generator.h"
#include "Output.h"
#include "QvdbTestSupport.h"
#include "Reference.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Recordset.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetConnection.h"
#include "siblings/records/QvRecord.h"
#include "support/PgTestProcess.h"
#include "support/RecordWalk.h"
#include "support/ServerRun.h"

namespace qvdb {
namespace {

using qv::ObjectPtr;

// One call. `args` are separated by blanks, each read as `qvdb call` reads an
// argument (CallArgs.h) after these forms are replaced:
//   $name              a value found in the folder (Values below), or one a
//                      row before kept; inside a longer form its text;
//   rec:PROGID:$id     a record of PROGID read by its mapper;
//   tester             a self-test tester that prints nowhere;
//   blank              an object that answers Empty to every member (the
//                      caller's filter objects).
// `keep` names the result (or, when the call has none, the first argument's
// ID) for later rows; "=CLASS" makes the result the object later rows of
// CLASS call. `error` is the error number the call must raise (0:
// none), `why` says why. "CLASS.A B C" calls A, B and C of CLASS one after
// another, each with the row's arguments.
struct Row {
  std::string op;  // CLASS.OPERATION
  std::string args = "";
  std::string keep = "";
  int32_t error = 0;
  std::string why = "";
};

// Documents: $doc has cells and no sub-documents; $big is of editor 6;
// $pfrdoc holds sub-documents ($sub of person $pp, taxpayer $pfrtp); $v1..$v6
// are documents of their own for the rows that delete, move or fill.
const Row kRows[] = {
    // The session and the core classes.
    {"DBCommon.GetDBConnection FlushObstacleData GetDBVerion GetDaoVersion"},
    {"DBCommon.GetCurrCounter", "i:1"},
    {"DBCommon.GetNextCounter", "i:1 i:2024"},
    {"DBCommon.GetUserDBLockManager IsDataBaseLockingEnabled GetFormatDBVerion CloseDatabase"},
    {"ServerStuff.GetUserDataBase GetKladrDataBase GetOkatoDataBase IsKladrDataBasePresent "
     "IsOkatoDataBasePresent"},
    {"DBGlobalParams.GetCurrentDeliveryNumber GetNextDeliveryNumber"},
    {"STQvDBProvider.TestClassesRegistration TestControlsRegistartion", "tester"},
    {"STQvDBProvider.TestExecute", "tester [i:1]"},

    // Dictionaries and periods.
    {"DictQueries.GetCountry", "s:643 i:0"},
    {"DictQueries.GetRegion", "s:77"},
    {"DictQueries.GetCertificateType", "s:21 0"},
    {"DictQueries.GetTaxOffice", "s:5403 i:0"},
    {"DictQueries.GetTaxOfficeIDByCode", "s:5403"},
    {"DictQueries.GetPersonnelPost GetNsiListClass", "s:"},
    {"DictQueries.GetPersonnelOfTaxpayer", "$tp s: s: false"},
    {"DictQueries.GetPersonsAllowedForSigners", "$tp s: true"},
    {"DictQueries.GetNsiOKOPF GetNsiOKFS GetNsiOKVED GetNsiOKATO GetStdProfiles "
     "GetOfrDeclarantType GetOfrLicType",
     "s:"},
    {"DictQueries.FindOkatoID", "s:45000000000"},
    {"DictQueries.FindOkatoByID", "1"},
    {"DictQueries.GetAllPotentialSenders", "$tp s:"},
    {"DictQueries.GetIdentityTypeByPfrCode", "s:ПАСПОРТ"},
    {"DictQueries.GetIdentityTypeByIdentityCode GetIdentityTypeByTndflCode", "s:21"},
    {"DictQueries.GetWarPermissions"},
    {"PeriodQueries.GetAllowedYears GetOtherDocsPeriodID GetCalendar"},
    {"PeriodQueries.GetAllowedYearsInAccStream", "$stream"},
    {"PeriodQueries.GetAllowedTimePeriodsInYear", "i:$year"},
    {"PeriodQueries.GetAllowedTimePeriodsInYear3", "i:$year i:1"},
    {"PeriodQueries.GetAllowedTimePeriodsInQuartal", "$period"},
    {"PeriodQueries.CountDocStatusesInTimePeriod", "$stream $period"},
    {"PeriodQueries.CountDocStatusesInYear", "$stream i:$year"},
    {"PeriodQueries.CountDocStatuses", "$stream i:1 $period i:0 i:0 i:0"},
    {"PeriodQueries.GetTimeIDByYearAndMonth", "i:$year i:3"},
    {"PeriodQueries.GetReqsPeriodIDByYear", "i:$year true"},

    // Blanks (forms).
    {"BlankQueries.GetBlanksByPeriod IsPeriodContainsBlanks", "$stream 0 $period"},
    {"BlankQueries.GetBlanksByPeriodEx GetDocFoldersByPeriod", "$stream $period true"},
    {"BlankQueries.GetAllBlanksInDateRange", "d:2024-01-01 d:2024-12-31 true"},
    {"BlankQueries.GetAllBlanksInDateRange", "d:2024-01-01 d:2024-12-31 false"},
    {"BlankQueries.GetDocsAndArchivesByTemplate GetBranchBlanksForGroup", "$stream $tmpl $period"},
    {"BlankQueries.GetDocumentsWithBadVisibility", "$stream $period s:$doc"},
    {"BlankQueries.GetTemplateIDByDateAndTemplateClass", "$tclass d:2024-06-30"},
    {"BlankQueries.GetTemplateIDByTimeID", "$tmpl $period"},
    {"BlankQueries.GetTemplateIDByTimeIDAndTemplateClass", "$tclass $period"},
    {"BlankQueries.GetAllTemplatesOfClass GetLastTemplateData GetAllTemplatesByTemplateType",
     "$tclass"},
    {"BlankQueries.IsPeriodContainsComplexDocuments GetProfileDocTypes", "$stream $period"},
    {"BlankQueries.GetDocsAndArchivesByTemplateClass", "$stream $tclass $period"},
    {"BlankQueries.GetBranchesBlanksForGroup4", "$tp $tmpl $period i:1 s: i:0"},
    {"BlankQueries.IsMultiInstancesAllowedInBranchesGroup", "i:$tmpl"},
    {"BlankQueries.IsTemplateReady", "$tmpl $period false"},
    {"BlankQueries.GetDocsAndArchivesByPeriod", "$stream $period s: i:0"},
    {"BlankQueries.GetRegistryTermByTemplateAndTime", "i:$tmpl i:$period"},
    {"BlankQueries.GetRegistryTermByTemplateAndTime2", "i:$tmpl i:$period i:1"},
    {"BlankQueries.GetTemplateVisibilityInfo", "i:1 $tmpl empty empty"},
    {"BlankQueries.GetBlanksByPeriod3", "$stream $period true s:"},
    {"BlankQueries.GetDocsAndArchivesByPeriod2", "$stream $period s: s: i:0"},
    {"BlankQueries.GetDocumentsWithBadVisibility2", "$stream $period s: s:$doc"},
    {"BlankQueries.GetActualAdjustmentByTemplateAndInstance", "$stream $tmpl $period i:0"},
    {"BlankQueries.GetAttachmentTypesForDocument", "$tmpl d:2024-06-30"},
    {"BlankQueries.GetTemplatesInFolder GetTemplateTypesInFolder", "i:0"},
    {"BlankQueries.GetDocsByTemplateAndInstance", "$stream $tmpl $period i:0 true"},

    // Persons and streams.
    {"PersonQueries.GetAccPersons", "s: i:0"},
    {"PersonQueries.IsAnyAccPersonExists"},
    {"PersonQueries.GetWorkers HasWorkers GetFormalBoss", "$tp"},
    {"PersonQueries.SetFormalBoss", "$worker $jobplace"},
    {"PersonQueries.SearchNPPersons", "@Qv_Records.QvPerson{Type=1}"},
    {"PersonQueries.SearchLPPersons", "@Qv_Records.QvPerson{Type=2}"},
    {"PersonQueries.GetAllPersonsAllowedToBeWorkers", "empty"},
    {"PersonQueries.AddBranch", "$tp $tp2"},
    {"PersonQueries.GetBranchesByParentOrg", "$tp s: i:0"},
    {"PersonQueries.HasBranches", "$tp"},
    {"PersonQueries.IsBranchClosed", "$tp2"},
    {"PersonQueries.HasClosedBranches", "$tp true"},
    {"PersonQueries.GetParentOfUniqueBranch", "$tp2"},
    {"PersonQueries.CheckPersonBeforeSaving", "rec:Qv_Records.QvPerson:$tp i:0 0"},
    {"PersonQueries.GetWorkerIDByPersonID", "$worker"},
    {"PersonQueries.GetAllBranches", "s: i:0"},
    {"PersonQueries.GetAccPersonsAndBranches"},
    {"PersonQueries.FindBranchDuplicates", "$tp s:000000000 0"},
    {"PersonQueries.GetPersonsByGiin", "s:X"},
    {"PersonQueries.IsAccPerson", "$tp"},
    {"PersonQueries.IsBranch", "$tp2"},
    {"PersonQueries.GetBranchAccStreams", "$tp i:1 s: i:0"},
    {"PersonQueries.RemoveBranch", "$tp2"},
    {"PersonQueries.AddAccPerson", "$tp"},
    {"PersonQueries.RemoveAccPerson", "$worker"},
    {"DBQAccStream.GetPersonIDByAccStreamID HasDocuments IsBanMoveAccStream", "$stream"},
    {"DBQAccStream.HasAccStreams", "$tp"},
    {"DBQAccStream.GetAllAccStreams GetAllAliveAccStreams", "s: i:0"},
    {"DBQAccStream.IsAnyAccStreamExists GetAccStreamsForSolver GetAllOfrLicTypesList"},
    {"DBQAccStream.IsAnyAccStreamWithTypeExists", "i:1"},
    {"DBQAccStream.GetAllAliveAccStreamsWithType", "i:1 s: i:0"},
    {"DBQAccStream.GetAccStreamsByPerson", "$tp s: i:0"},
    {"DBQAccStream.GetAccStreamsByPersonAndType", "$tp i:1"},
    {"DBQAccStream.FindDuplicates", "$tp i:1 s:000000000 0 0 0"},
    {"DBQAccStream.GetAccStreamsByGiin", "s:X"},
    {"DBQProfiles.GetAllDictProfiles GetAllUserProfiles"},
    {"DBQProfiles.GetDocClassesForSelecting", "s:"},
    {"DBQProfiles.IsProfileInUsing", "1"},
    {"DBQSolver.GetDocCountInPeriod GetTaxmonDocCountInPeriod", "$stream i:$period s:"},
    {"DBQKladr.IsKladrPresents"},
    {"DBQKladr.GetKladrObjects IsKladrObjectsExist", "i:0 i:1"},
    {"DBQKladr.GetKladrObjectByIDList", "s:1"},
    {"DBQKladr.FindKladrObjectByName", "i:0 i:1 s:Москва false"},
    {"DBQKladr.FindKladrObjectByName15", "i:0 i:1 s:Москва s:г"},
    {"DBQKladr.FindKladrObjectsByNameStart", "i:0 i:1 s:Мо"},
    {"DBQKladr.RecognizeCountry", "s:Россия"},
    {"DBQKladr.RecognizeRegion", "s:Москва"},
    {"DBQKontur.GetDocumentIDByGuid", "s:{00000000-0000-0000-0000-000000000000}"},
    {"DBQKontur.GetDocumentsForSyncronyzation"},
    {"DBQKontur.FindDocumentsForLinking",
     "s:7700000000 s:770001001 s:7700 s:1151001 d:2024-01-01 d:2024-12-31"},
    {"DBQScattering.GetAccStreamsFromDocument", "$doc s:01* s:INN s:01* s:KPP"},
    {"DBQScattering.GetScatteringPage", "$doc s:01 s:01* false"},
    {"DBQFss.GetDocsNeedToBeCheckedAtServer", "empty"},

    // Consolidation (a stream is made here).
    {"DBConsStream.SaveRecord", "@Qv_Records.QvConsStream{DisplayName=Группа}", "cons"},
    {"DBConsStream.ReadRecord", "$cons @Qv_Records.QvConsStream"},
    {"DBConsStream.IsRecordExists", "$cons"},
    {"DBQConsStream.SaveMembersList", "$cons s:$stream"},
    {"DBQConsStream.GetMembersListOfConsStream GetDocumentsCountInConsStream", "$cons"},
    {"DBQConsStream.GetAllConsStreams IsAnyConsStreamExists"},
    {"BlankQueries.GetConsBlanksByPeriod IsPeriodContainsConsBlanks", "$cons i:1 $period"},
    {"DBConsDocument.SaveRecord", "@Qv_Records.QvConsDocument{DisplayName=Сводный}", "consdoc"},
    {"DBConsDocument.ReadRecord", "$consdoc @Qv_Records.QvConsDocument"},
    {"DBConsDocument.IsRecordExists", "$consdoc"},
    {"DBConsDocCells.RecalculateDocument ReadCellValues RemoveDocCells", "$consdoc"},
    {"DBConsDocument.DeleteRecord", "rec:Qv_Records.QvConsDocument:$consdoc"},
    {"DBConsStream.DeleteRecord", "rec:Qv_Records.QvConsStream:$cons"},

    // Documents.
    {"DocumentQueries.GetDocumentsInPeriodAndAccStream", "$stream $period"},
    {"DocumentQueries.GetDocumentsInAccStream GetMovingDocsInSrcAccStream", "$stream"},
    {"DocumentQueries.GetPrevPeriodDocID GetNextPeriodDocID", "$doc 0"},
    {"DocumentQueries.CheckForMonthOrQuartAnalogs", "$stream $period $tmpl i:0 s:"},
    {"DocumentQueries.IsExistsDocumentWithAttributesInAccStream "
     "GetDocumentsWithAttributesInAccStream",
     "$stream $tmpl $period i:0 i:0"},
    {"DocumentQueries.CanMoveDocumentToAnotherAccStream GetAppropriateDocsInDestAccStream",
     "$doc $stream2"},
    {"DocumentQueries.CreateRecordsetForCellValues GetTotalDocsCount"},
    {"DocumentQueries.LoadDocCellValues GetDocumentAttachments GetDocInstancesCount", "$doc"},
    {"DocumentQueries.GetDocCountForSolverInPeriod", "$stream i:$period"},
    {"DocumentQueries.GetDocCountForSolverInPeriod2", "$stream i:$period s:"},
    {"DocumentQueries.GetTaxDocsAnalogs", "$stream $period $tmpl"},
    {"DocumentQueries.IsPfrManualSheafReferencesExists ClearReferencesToPfrManualSheaf",
     "1 $pfrdoc"},
    {"DocumentQueries.PerformDocQuery", "@Qv_Records.QvDocQuery empty"},
    {"DocumentQueries.SaveDocCellValue", "$v1 s:010000100001 s:1 i:200"},
    {"DocumentQueries.UpdateDocCellValues",
     "$v1 rs:[{cell_key=010000100002,first_value=2,first_type=200}]"},
    {"DocumentQueries.CopyDocumentCells", "$doc $v1"},
    {"DocumentQueries.ZeroDocumentCells", "$v1"},
    {"DocumentQueries.ZeroBigDocCells", "$big"},
    {"DocumentQueries.CreateDocument2", "$stream $period $tmpl i:0"},
    {"DocumentQueries.CreateNewDocument2 CreateNewInstance2", "$stream $period $tmpl"},
    {"DocumentQueries.CreateNewAdjustment2", "$stream $period $tmpl false"},
    {"DocumentQueries.CreateImportingDocument", "$stream $period $tmpl i:5 i:0"},
    {"DocumentQueries.CreatePfrEndDocument", "$pfrdoc $pfrtmpl"},
    {"DocumentQueries.PrepareMovingDociumentToAnotherAccStream MoveDocumentToAnotherAccStream",
     "$v2 $stream2"},
    {"DocumentQueries.MoveDocument", "$v3 i:1 $stream $period 0 0"},
    {"DocumentQueries.DeleteDocumentsWithTemplateAndTimeInAccStream",
     "$v4stream $v4tmpl $v4period"},
    {"DBDocument.ReadRecord", "$doc @Qv_Records.QvDocument"},
    {"DBDocument.IsRecordExists ReadCells ReadManualSheafs", "$doc"},
    {"DBDocument.SaveManualSheafs", "$v5 @VBA.Collection"},
    {"DBDocument.SetIsCheckedFlags", "$doc i:1 i:1 i:1"},
    {"DBDocument.SaveCells", "$v5 rs:[{cell_key=010000100001,first_value=5,first_type=200}]"},
    {"DBDocument.SaveDocumentFields", "i:1 rec:Qv_Records.QvDocument:$doc"},
    {"DBDocument.IncreaseExportCounters SaveRecord", "rec:Qv_Records.QvDocument:$doc"},
    {"DBDocument.DeleteRecord", "rec:Qv_Records.QvDocument:$v6"},
    {"DBAImport.GetDatasetForCreateDocument", "", "dataset"},
    {"DBAImport.CreateDocument", "$dataset 0"},
    {"DBBigDocs.GetBigDocTable", "$big"},
    {"DBBigDocs.CopyBigDocContent", "$big $big2"},
    {"DBKprDocTable.OpenDoc", "$doc"},
    {"DBKprDocTable.HasCell", "s:010000100001"},
    {"DBKprDocTable.GetCell", "s:010000100001 s: i:0"},
    {"DBKprDocTable.SetCell", "s:010000100001 s:7 i:200"},
    {"DBKprDocTable.GetDynamicTablesCount", "s:01"},
    {"DBKprDocTable.GetDynamicRowsCount", "s:0100"},
    {"DBKprDocTable.IsAnyCellPresent"},
    {"DBKprDocTable.IsTablePresent", "s:01"},
    {"DBKprDocTable.IsRowPresent", "s:0100001"},
    {"DBKprDocTable.IsRowReallyPresentInColumnsRange", "s:0100001 i:1 i:5"},
    {"DBKprDocTable.RemoveCell", "s:010000100001"},
    {"DBKprDocTable.ClearRow", "s:0100002"},
    {"DBKprDocTable.ClearTable", "s:02"},
    {"DBKprDocTable.ClearAllCells CloseDoc"},
    {"DBQ2Ndfl.GetIncomesDictEx", "i:1 13 d:2024-06-30"},
    {"DBQ2Ndfl.IsIncomeAllowed", "i:2000 i:1 13"},
    {"DBQ2Ndfl.IsIncomeAllowedEx", "i:2000 i:1 13 d:2024-06-30"},
    {"DBQ2Ndfl.GetMonthDeductsDictEx IsMultiDeductsAllowedForIncome", "i:2000 d:2024-06-30"},
    {"DBQ2Ndfl.IsMonthDeductAllowed", "i:501 i:2000"},
    {"DBQ2Ndfl.IsMonthDeductAllowedEx", "i:501 i:2000 d:2024-06-30"},
    {"DBQ2Ndfl.GetYearDeductsDict GetYearDeductsList"},
    {"DBQ2Ndfl.GetYearDeductsDict2 GetNdflKbkList", "d:2024-06-30"},
    {"DBQ2Ndfl.GetKppListInDocument GetOkatoListInDocument GetMaxSheetNum GetMaxSheetNum2015 "
     "GetMaxSheetNum2021 GetMaxSheetNum2024",
     "$pfrdoc"},
    {"DBQ2Ndfl.GetMaxSheetNumEx", "$pfrdoc $pfrtmpl"},
    {"DBQ2Ndfl.GetNdflPreceededCorrectedSubDoc", "$pfrdoc $pp $pfrtmpl"},
    {"DBQ2Ndfl.GetNdflSheetNumForCorrection", "$pfrdoc $pp $pfrtmpl i:0 i:0"},
    {"DBQ2Ndfl.GetNdflKbkName", "s:18210102010011000110 d:2024-06-30"},

    // Pension data.
    {"DBPfrPerson.ReadRecord", "$pp @Qv_PfrRecords.QvPfrPerson"},
    {"DBPfrPerson.ReadLazyFields", "rec:Qv_PfrRecords.QvPfrPerson:$pp"},
    {"DBPfrPerson.IsRecordExists HasReferences", "$pp"},
    // A later person of $pfrtp with the name and numbers of $pp, which is then saved again:
    // the look-ups by them must still find $pp first on a server.
    {"DBPfrPerson.SaveRecord",
     "@Qv_PfrRecords.QvPfrPerson{Person=@Qv_Records.QvPerson{ID=$pfrtp},Surname=$ppsurname,"
     "Name=$ppname,Patronymic=$pppatr,PfrNumber=s:$pppfr,Inn=s:$ppinn}"},
    {"DBPfrPerson.SaveRecord", "rec:Qv_PfrRecords.QvPfrPerson:$pp"},
    {"DBPfrSubDoc.ReadRecord", "$sub @Qv_PfrRecords.QvPfrSubDoc"},
    {"DBPfrSubDoc.ReadLazyFields ReadCells ReadErrors", "rec:Qv_PfrRecords.QvPfrSubDoc:$sub"},
    {"DBPfrSubDoc.ReadOneCell", "$sub i:1021001 i:0 i:0"},
    {"DBPfrSubDoc.IsRecordExists", "$sub"},
    // A second sub-document of $pp in $pfrdoc; $sub, the first, is then saved again.
    {"DBPfrSubDoc.SaveRecord",
     "@Qv_PfrRecords.QvPfrSubDoc{DocumentID=$pfrdoc,SubDocType=1,"
     "PfrPerson=@Qv_PfrRecords.QvPfrPerson{ID=$pp}}"},
    {"DBPfrSubDoc.SaveRecord", "rec:Qv_PfrRecords.QvPfrSubDoc:$sub"},
    // Two more, exported as the first person of one end document ($pfrdest stands for it);
    // the first, made for $pp3, is then saved with $pp as its person (a server writes the
    // row anew, its index entries too).
    {"DBPfrSubDoc.SaveRecord",
     "@Qv_PfrRecords.QvPfrSubDoc{DocumentID=$pfrdoc,SubDocType=1,"
     "PfrPerson=@Qv_PfrRecords.QvPfrPerson{ID=$pp3},EndDocumentID=$pfrdest,EndPersonNumber=1}",
     "exported"},
    {"DBPfrSubDoc.SaveRecord",
     "@Qv_PfrRecords.QvPfrSubDoc{DocumentID=$pfrdoc,SubDocType=1,"
     "PfrPerson=@Qv_PfrRecords.QvPfrPerson{ID=$pp},EndDocumentID=$pfrdest,EndPersonNumber=1}"},
    {"DBPfrSubDoc.SaveRecord",
     "@Qv_PfrRecords.QvPfrSubDoc{ID=$exported,DocumentID=$pfrdoc,SubDocType=1,"
     "PfrPerson=@Qv_PfrRecords.QvPfrPerson{ID=$pp},EndDocumentID=$pfrdest,EndPersonNumber=1}"},
    {"DBPfrSubDoc.SaveRecordEx", "rec:Qv_PfrRecords.QvPfrSubDoc:$sub false true true"},
    {"DBPfrSubDoc.SaveRecord3", "rec:Qv_PfrRecords.QvPfrSubDoc:$sub i:0"},
    {"DBFssDocCircle.SaveRecord", "@Qv_PfrRecords.QvFssDocCircle", "circle"},
    {"DBFssDocCircle.ReadRecord", "$circle @Qv_PfrRecords.QvFssDocCircle"},
    {"DBFssDocCircle.ReadLazyFields", "rec:Qv_PfrRecords.QvFssDocCircle:$circle"},
    {"DBFssDocCircle.IsRecordExists", "$circle"},
    {"DBFssDocCircle.DeleteRecord", "rec:Qv_PfrRecords.QvFssDocCircle:$circle"},
    {"DBQPfr.GetSubDocsByDocumentID", "$pfrdoc i:512"},
    {"DBQPfr.GetSubDocsByDocumentIDAndSubDocType GetFirstSubDocsByDocumentIDAndSubDocType "
     "GetSubDocIDsByDocIDAndSubDocTypeSorted",
     "$pfrdoc i:1"},
    {"DBQPfr.GetSubDocIDsByDocumentIDAndSubDocType GetFirstSubDocIDByDocumentIDAndSubDocType",
     "$pfrdoc s:1"},
    {"DBQPfr.GetSubdocsByExportedNums", "$pfrdoc 0 i:1"},
    {"DBQPfr.GetSubdocsByExportedNums", "$pfrdoc $pfrdest i:1"},
    {"DBQPfr.GetSubDocInfo", "$sub i:0"},
    {"DBQPfr.GetSubDocValues", "$sub [i:1021001]"},
    {"DBQPfr.GetSubDocValuesBySubDocType", "$pfrdoc i:1 [i:1021001]"},
    {"DBQPfr.SetSubDocValuesBySubDocType", "$pfrdoc i:1 [i:1021001,s:1]"},
    {"DBQPfr.GetPfrCellsDirectSession GetPfrEndFormOptions"},
    {"DBQPfr.GetSubDocsOfPersonInDocument GetSubDocIDsOfPersonInDocument "
     "GetFirstSubDocIDOfPersonInDocument GetFirstSubDocOfPersonInDocument "
     "HasSubDocsOfPersonInDocument",
     "$pfrdoc $pp"},
    {"DBQPfr.GetPfrPersonsByTaxpayer GetPfrPersonsByTaxpayerSorted", "$pfrtp"},
    {"DBQPfr.GetPfrPersonsByTaxpayerEx", "$pfrtp true"},
    {"DBQPfr.GetPfrPersonsByTaxpayerEx", "$pfrtp true s:"},
    {"DBQPfr.FindMergingCandidate", "$pfrtp s:$ppsurname s:$ppname s:$pppatr s:$pppfr s:$ppinn"},
    {"DBQPfr.FindPfrPersonsWithFioByTaxpayer", "$pfrtp s:$ppsurname s:$ppname s:$pppatr"},
    {"DBQPfr.FindPfrPersonsByPfrNumber", "$pfrtp s:$pppfr"},
    {"DBQPfr.FindPfrPersonsByInn", "$pfrtp s:$ppinn"},
    {"DBQPfr.FindPfrPersonByPassport",
     "$pfrtp s:$ppsurname s:$ppname s:$pppatr i:21 s:4500 s:123456"},
    {"DBQPfr.FindPfrPersonDuplicate", "$pfrtp 0 i:1 s:$pppfr"},
    {"DBQPfr.GetPfrEndDocsByMasterDocID", "$pfrdoc i:0 i:0"},
    {"DBQPfr.CountPfrEndDocsInApprovedState IsMasterContainsEndDocs GetPfrMasterStatus "
     "GetMinSheafNumberOfMaster",
     "$pfrdoc"},
    {"DBQPfr.IsSheafWithNumberExistsInPeriodAndAccStream", "i:1 $pfrstream $pfrperiod 0"},
    {"DBQPfr.GetMaxSheafNumberInPeriodAndAccStream", "$pfrstream $pfrperiod 0"},
    {"DBQPfr.GetMaxSheafNumberForPfrNumbering", "$pfrdoc false"},
    {"DBQPfr.IsSheafWithNumberExistsInPfrNumbering", "i:1 $pfrdoc false"},
    {"DBQPfr.SetUserPfrEndFormOption", "1 i:200"},
    {"DBQPfr.GetPfrEndFormCountInSheaf", "1", "", 40090,
     "the folder has no end forms: a single-value query answers no row"},
    {"DBQPfr.GetIncomeLimit GetMROT", "i:$year"},
    {"DBQPfr.GetTariffs", "i:$year s:НР 0 0"},
    {"DBQPfr.GetTariffs2", "i:$year s:НР 0 0 0 0"},
    {"DBQPfr.GetTariffs3", "i:$year s:НР 0 0 0 0 0"},
    {"DBQPfr.GetTariffs4", "i:$year s:НР", "=TRsvTariff"},
    {"DBQPfr.GetAddTariffs", "d:2024-06-30 s:1 0"},
    {"DBQPfr.GetPfrDict", "i:1 d:2024-06-30"},
    {"DBQPfr.IsDictCodeAllowedAtDate", "s:НР i:1 d:2024-06-30"},
    {"DBQPfr.GetRsv1DocsForSending", "$pfrstream $pfrperiod"},
    {"DBQPfr.GetLatestRsv1DocumentInPeriod", "$pfrstream $pfrperiod false"},
    {"DBQPfr.GetLatestRsv2017DocumentInPeriod GetLatestRsv2020DocumentInPeriod "
     "GetLatestRsv2022DocumentInPeriod GetLatestRsv2023DocumentInPeriod "
     "GetLatestRsv2025DocumentInPeriod",
     "$pfrstream $pfrperiod"},
    {"DBQPfr.GetRsvMaxCorrNum", "$pfrdoc $pp"},
    {"DBQPfr.GetRsvNewSheetAndCorrNum", "$pfrdoc $pfrtmpl false $pp i:0 i:0"},
    {"DBQPfr.GetRsvStartSheetNumForRenumbering", "$pfrdoc $pfrtmpl"},
    {"DBQPfr.GetRsvPreceededCorrectedSubDoc", "$pfrdoc $pp $pfrtmpl"},
    {"DBQPfr.GetRsvAllActualSubDocIDs", "$pfrdoc true"},
    {"DBQPfr.GetRsvPastSubDocIDForPerson", "$pfrstream $pfrperiod $pp"},
    {"DBQPfr.CalcRsvPastSumsForPerson CalcRsvPastSumsForPerson2 CalcRsvPastSumsForPerson2020 "
     "CalcRsvPastSumsForPerson2022 CalcRsvPastSumsForPerson2023 CalcRsvPastSumsForPerson2025",
     "$pfrstream $pfrperiod $pp s:НР empty s: empty"},
    {"DBQPfr.CollectSheetedCells", "$pfrstream i:$year $pfrtmpl i:1 $pp [i:1021001]"},
    {"DBQPfr.LoadSlicesForIndPaymentScattering", "$pfrdoc", "slices"},
    {"DBQPfr.SaveSlices", "$slices"},
    {"DBQPfr.LoadSliceForIndMassPaymentScatteringTypeSetting", "$sub", "slice"},
    {"DBQPfr.SaveSlice", "$slice false"},
    {"DBQPfr.SaveSliceSDR", "$slice i:1"},
    {"DBQPfr.SetPeracManualSum", "$pfrstream $pp i:$year i:1 i:1 true 100"},
    {"DBQPfr.GetPeracManualSums ClearPeracManualSums", "$pfrstream $pp"},
    {"DBQPfr.GetDocsToCopyFrom", "$pfrstream $pfrtmpl d:2020-01-01 d:2025-12-31 s:"},
    {"DBQPfr.GetSzvTdSubDocsForPfrPerson", "$pp $pfrstream"},
    {"DBQPfr.GetSzvTdSubDocsForPfrPerson2023", "$pp $pfrstream true"},
    {"DBQPfr.GetSzvTdPostsList", "$pfrstream"},
    {"DBQPfr.HasAnotherSzvTdOnPerson", "$pfrstream $pp 0"},
    {"DBQPfr.CopyPersonSubDocsToDestDoc", "$pfrdoc $pp $pfrdest"},
    {"DBQPfr.DeleteCollisioningSubDocsInDocument", "$pfrdoc i:1 empty"},
    {"DBQPfr.DeleteSubDocsWithSubDocTypeInDocument", "$v1 s:1"},
    {"DBQPfr.DeleteSubDocsOfPersonInDocument", "$pfrdoc2 $pp2"},
    {"DBQPfr.DeletePfrEndDocuments", "$pfrdoc2"},
    {"DBPfrSubDoc.DeleteRecordsByIDs", "@VBA.Collection"},
    {"DBPfrSubDoc.DeleteRecordsInDocument", "$pfrdoc2"},
    {"DBPfrSubDoc.DeleteRecord", "rec:Qv_PfrRecords.QvPfrSubDoc:$sub2"},
    {"DBPfrPerson.DeleteRecord", "rec:Qv_PfrRecords.QvPfrPerson:$pp2"},
    {"TRsvTariff.TheTear Code LowPart OverPart FomsPart FinalRate IsMD"},

    // Warrants (a warrant of the worker is made here).
    {"DBWarrant.SaveRecord", "@Qv_Records.QvWarrant{WorkerID=$worker,ContoraType=1}", "war"},
    {"DBWarrant.ReadRecord", "$war @Qv_Records.QvWarrant"},
    {"DBWarrant.ReadLazyFields", "rec:Qv_Records.QvWarrant:$war"},
    {"DBWarrant.IsRecordExists", "$war"},
    {"DBWarPower.SaveRecord", "@Qv_Records.QvWarPower false $war", "warpow"},
    {"DBWarPower.ReadRecord", "$warpow @Qv_Records.QvWarPower"},
    {"DBWarPower.IsRecordExists", "$warpow"},
    {"DBWarPower.DeleteRecord", "rec:Qv_Records.QvWarPower:$warpow"},
    {"DBQWarrant.GetWarrantsOfWorker HasWorkerAnyWarrant SetActiveWarrantIfAlone", "$worker"},
    {"DBQWarrant.GetWarrantsOfWorkerEx HasWorkerAnyWarrantEx SetActiveWarrantIfAloneEx",
     "$worker i:1"},
    {"DBQWarrant.SetActiveWarrant", "$war $worker"},
    {"DBQWarrant.SetActiveWarrantEx", "$war $worker i:1"},
    {"DBQWarrant.GetActiveWarrant", "$worker true"},
    {"DBQWarrant.GetActiveWarrantEx", "$worker i:1 true"},
    // An active warrant of another kind and a second one of $war's kind, made later; $war is
    // then saved for another worker and back (a server writes the row anew, its index entries
    // too). The active warrant of any kind (-1) is the first made; the warrants of a kind are
    // listed as they were made.
    {"DBWarrant.SaveRecord", "@Qv_Records.QvWarrant{WorkerID=$worker,ContoraType=2}", "war2"},
    {"DBQWarrant.SetActiveWarrantEx", "$war2 $worker i:2"},
    {"DBWarrant.SaveRecord", "@Qv_Records.QvWarrant{WorkerID=$worker,ContoraType=1}", "war3"},
    {"DBWarrant.SaveRecord", "@Qv_Records.QvWarrant{ID=$war,WorkerID=$worker2,ContoraType=1}"},
    {"DBWarrant.SaveRecord", "@Qv_Records.QvWarrant{ID=$war,WorkerID=$worker,ContoraType=1}"},
    {"DBQWarrant.GetActiveWarrantEx", "$worker i:-1 true"},
    {"DBQWarrant.GetWarrantsOfWorkerEx", "$worker i:1"},
    {"DBWarrant.DeleteRecord", "rec:Qv_Records.QvWarrant:$war3"},
    {"DBWarrant.DeleteRecord", "rec:Qv_Records.QvWarrant:$war2"},
    {"DBWarrant.DeleteRecord", "rec:Qv_Records.QvWarrant:$war"},

    // Users, the log and the work journal.
    {"DBPermissions.GetPermissionsSystem"},
    {"DBPermissions.SetPermHash", "i:1"},
    {"DBPermissions.CreateRightsSystemIfNeed"},
    {"DBPermissions.GetEntityGenealogy", "i:1 $stream"},
    {"DBPermissions.SaveUser", "@Qv_Records.QvPermUser{Login=sweep}", "user"},
    {"DBPermissions.IsThereUserWithLogin", "s:sweep 0"},
    {"DBPermissions.LoadUsers"},
    {"DBPermissions.LoadUser", "$user"},
    {"DBPermissions.LoadGlobalPermBlock", "", "root"},
    {"DBPermissions.SaveGlobalRootBlock", "$root"},
    {"DBPermissions.SavePassword CheckPassword", "$user s:secret"},
    {"DBPermissions.GetDocClassesForSelecting", "s:"},
    {"DBPermissions.DeleteUser", "$user"},
    {"DBLogs.IsLoggingEnabled"},
    {"DBLogs.SetIsLoggingEnabled", "true"},
    {"DBLogs.LogEvent", "0 s:host i:1 s:Sweep [$doc] [s:doc]"},
    {"DBLogs.LogEventByRecord", "@Qv_Records.QvLogEvent{EventName=Sweep}", "event"},
    {"DBLogs.GetEvents", "empty empty"},
    {"DBLogs.GetEventsIDs", "empty empty true"},
    {"DBLogs.GetEventSubItems GetEventRecord", "$event"},
    {"DBLogs.RemoveEventsInRange", "d:2000-01-01 d:2000-12-31"},
    {"DBWjEvent.SaveRecord", "@Qv_PfrRecords.QvWjEvent{PfrPersonID=$pp}", "wj"},
    {"DBWjEvent.ReadRecord", "$wj @Qv_PfrRecords.QvWjEvent"},
    {"DBWjEvent.IsRecordExists", "$wj"},
    {"DBQWJournal.GetEventsOfPerson HasSentEventsOnPerson", "$pp"},
    {"DBQWJournal.GetAccStreamsForEmitForTaxpayer GetEmitWaitingEventsOfTaxpayer", "$pfrtp"},
    {"DBQWJournal.GetEventsOfTaxpayer", "$pfrtp blank"},
    {"DBQWJournal.UnlinkEventsFromDeletingDocument", "$pfrdoc i:1"},
    {"DBQWJournal.AddSoftDictItem", "i:1 0 s:Должность", "soft"},
    {"DBQWJournal.UpdateSoftDictItem", "i:$soft s:Должность2"},
    {"DBQWJournal.GetSoftDict", "i:1 0 s: i:10"},
    {"DBQWJournal.CollectMaterialForSoftDict", "i:1 0"},
    {"DBQWJournal.DeleteSoftDictItem", "i:$soft"},
    {"DBWjEvent.DeleteRecord", "rec:Qv_PfrRecords.QvWjEvent:$wj"},

    // The operations of the mappers beyond the four of every mapper (kMappers).
    {"DBAccStream.ReadLazyFields", "rec:Qv_Records.QvAccStream:$stream"},
    {"DBAccStream.SaveRecord", "@Qv_Records.QvAccStream{DisplayName=Новый,AccStreamType=1}",
     "newstream"},
    {"DBAccStream.DeleteRecord", "rec:Qv_Records.QvAccStream:$newstream"},
    {"DBPerson.ReadLazyFields", "rec:Qv_Records.QvPerson:$tp"},
    {"DBDataBlob.SaveRecord", "@Qv_Records.QvDataBlob", "blob"},
    {"DBDataBlob.LoadContent", "rec:Qv_Records.QvDataBlob:$blob"},

    // Temporary databases.
    {"TempDataBase.CreateMdb", "s:sweep"},
    {"TempDataBase.FileName DaoDataBase"},
    {"TempDataBase.CreateTable", "s:T", "=TempDBTable"},
    {"TempDBTable.Name"},
    {"TempDBTable.AddField", "s:A i:4"},
    {"TempDBTable.AddIndex", "s:I true true [s:A]"},
    {"TempDBTable.ClearUnicodeCompression CommitCreateTable TableDef"},
    {"TempDBTable.GetTableRS", "s:I"},
    {"TempDBTable.DeleteTable"},
    {"TempDataBase.CloseDB"},
};

// The caller's objects the library only reads members of (a filter).
class Blank : public qv::Object {
 public:
  const qv::ClassInfo& Class() const override {
    static const qv::ClassInfo info("QvdbTest.Blank", {}, nullptr);
    return info;
  }
  qv::Variant Invoke(std::string_view, qv::CallKind, qv::Args) override { return qv::Variant(); }
};

// Mappers whose ReadRecord, IsRecordExists, SaveRecord and DeleteRecord take
// their plain arguments: `row` names a stored row, which is read and saved
// back (a record of ID 0 is deleted), or is a new record (@PROGID{...} and
// SaveRecord's further arguments), which is saved, read and deleted.
struct MapperRows {
  const char* mapper;
  const char* record;  // its ProgID
  const char* row;
};
const MapperRows kMappers[] = {
    {"DBAccStream", "Qv_Records.QvAccStream", "$stream"},
    {"DBPerson", "Qv_Records.QvPerson", "$tp"},
    {"DBWorker", "Qv_Records.QvWorker", "$personnel"},
    {"DBAddress", "Qv_Records.QvAddress", "$addr"},
    {"DBIdentity", "Qv_Records.QvIdentity", "$ident"},
    {"DBIdentityType", "Qv_Records.QvIdentityType", "21"},
    {"DBAdrCountry", "Qv_Records.QvAdrCountry", "643"},
    {"DBAdrRegion", "Qv_Records.QvAdrRegion", "77"},
    {"DBTaxOffice", "Qv_Records.QvTaxOffice", "$taxoffice"},
    {"DBTemplType", "Qv_Records.QvTemplType", "$tclass"},
    {"DBTemplate", "Qv_Records.QvTemplate", "$tmpl"},
    {"DBTimePeriod", "Qv_Records.QvTimePeriod", "$period"},
    {"DBStdProfile", "Qv_Records.QvStdProfile", "@Qv_Records.QvStdProfile{Name=Профиль}"},
    {"DBAccProfile", "Qv_Records.QvAccProfile", "@Qv_Records.QvAccProfile{AccStream_ID=$stream}"},
    {"DBStoredFile", "Qv_Records.QvStoredFile", "@Qv_Records.QvStoredFile{OriginalName=a.txt}"},
    {"DBAttachmentDoc", "Qv_Records.QvAttachmentDoc",
     "@Qv_Records.QvAttachmentDoc{DocumentID=$doc}"},
    {"DBDataBlob", "Qv_Records.QvDataBlob", "$blob"},
    {"DBPfrAddress", "Qv_PfrRecords.QvPfrAddress", "@Qv_PfrRecords.QvPfrAddress"},
    {"DBPfrManualSheaf", "Qv_PfrRecords.QvPfrManualSheaf",
     "@Qv_PfrRecords.QvPfrManualSheaf{DocumentID=$pfrdoc}"},
    {"DBWarSubject", "Qv_Records.QvWarSubject", "@Qv_Records.QvWarSubject"},
    {"DBOfrLicense", "Qv_Records.QvOfrLicense", "@Qv_Records.QvOfrLicense false $stream"},
};

// "CLASS.A B C" as CLASS.A, CLASS.B and CLASS.C.
std::vector<std::string> Ops(const std::string& list) {
  const std::string cls = list.substr(0, list.find('.') + 1);
  std::stringstream names(list.substr(cls.size()));
  std::vector<std::string> ops;
  for (std::string name; names >> name;) ops.push_back(cls + name);
  return ops;
}

// kRows, then the rows of kMappers.
std::vector<Row> AllRows() {
  std::vector<Row> rows;
  for (const Row& row : kRows)
    for (const std::string& op : Ops(row.op))
      rows.push_back({op, row.args, row.keep, row.error, row.why});
  for (const MapperRows& m : kMappers) {
    const std::string op = std::string(m.mapper) + ".", rec = m.record, row = m.row;
    if (row[0] != '@') {
      rows.push_back({op + "ReadRecord", row + " @" + rec});
      rows.push_back({op + "IsRecordExists", row});
      rows.push_back({op + "SaveRecord", "rec:" + rec + ":" + row});
      rows.push_back({op + "DeleteRecord", "@" + rec + "{ID=0}"});
      continue;
    }
    const std::string id = "$new" + std::string(m.mapper);
    rows.push_back({op + "SaveRecord", row, id.substr(1)});
    rows.push_back({op + "ReadRecord", id + " @" + rec});
    rows.push_back({op + "IsRecordExists", id});
    rows.push_back({op + "DeleteRecord", "rec:" + rec + ":" + id});
  }
  return rows;
}

// The values the rows name, found by statements on the generated folder.
// Each statement answers one row, whose columns name the values, or several:
// column v of the third row is v3.
const char* const kValueQueries[] = {
    // A current document with cells and without sub-documents.
    "select top 1 d.document_id as doc, d.taxpayer_id as stream, d.time_id as period, "
    "d.template_id as tmpl, t.doc_type_id as tclass, s.PersonID as tp, "
    "m.the_year as year from doc_registry d, doc_templates t, AccStream s, time_by_month m "
    "where t.template_id = d.template_id and s.ID = d.taxpayer_id and m.time_id = d.time_id "
    "and d.top_doc_id = 0 and d.EditorType <> 6 "
    "and exists (select 1 from doc_cell_values c where c.document_id = d.document_id) "
    "and not exists (select 1 from PfrSubDocs p where p.DocumentID = d.document_id) "
    "order by d.document_id",
    "select min(ID) as stream2 from AccStream where ID <> (select min(taxpayer_id) from "
    "doc_registry)",
    "select min(document_id) as big from doc_registry where EditorType = 6",
    "select max(document_id) as big2 from doc_registry where EditorType = 6",
    // A document with sub-documents, one of them and its person.
    "select top 1 p.DocumentID as pfrdoc, p.ID as sub, p.PfrPersonID as pp, d.taxpayer_id as "
    "pfrstream, "
    "d.time_id as pfrperiod, d.template_id as pfrtmpl, r.Person_ID as pfrtp, "
    "r.Surname as ppsurname, r.Name as ppname, r.Patronymic as pppatr, r.PfrNumber as pppfr, "
    "r.Inn as ppinn from PfrSubDocs p, doc_registry d, PfrPersons r "
    "where d.document_id = p.DocumentID and r.ID = p.PfrPersonID order by p.ID",
    // Another, whose sub-documents the rows delete.
    "select top 1 p.DocumentID as pfrdoc2, p.ID as sub2, p.PfrPersonID as pp2 from PfrSubDocs p "
    "where p.DocumentID <> (select top 1 DocumentID from PfrSubDocs order by ID) "
    "order by p.ID desc",
    // Another person of $pfrdoc, which no row saves (a save of $pp writes over its Nulls).
    "select min(s.PfrPersonID) as pp3 from PfrSubDocs s where s.DocumentID = (select top 1 "
    "DocumentID from PfrSubDocs order by ID) and s.PfrPersonID <> (select top 1 PfrPersonID from "
    "PfrSubDocs order by ID) and s.ID <> (select max(ID) from PfrSubDocs where DocumentID = "
    "s.DocumentID)",
    "select top 1 d.document_id as pfrdest from doc_registry d, doc_registry p, PfrSubDocs s "
    "where s.ID = (select min(ID) from PfrSubDocs) and p.document_id = s.DocumentID "
    "and d.taxpayer_id = p.taxpayer_id and d.document_id <> p.document_id and d.EditorType <> 6 "
    "and d.top_doc_id = 0 order by d.document_id",
    "select top 1 ID as personnel, WorkerID as worker, JobPlaceID as jobplace from Personnel "
    "order by ID",
    "select max(ID) as worker2 from Personnel where ID <> (select top 1 WorkerID from Personnel "
    "order by ID)",
    "select min(ID) as addr from Address",
    "select min(ID) as ident from Certificate",
    "select min(ID) as taxoffice from TaxOffice",
    // A second organisation, made a branch of the first by a row.
    "select max(PersonID) as tp2 from AccPerson",
    // The documents the rows change: current, of editor 1, without sub-documents.
    "select top 6 d.document_id as v from doc_registry d "
    "where d.top_doc_id = 0 and d.EditorType <> 6 and d.Status_Qv <> 3 "
    "and not exists (select 1 from PfrSubDocs p where p.DocumentID = d.document_id) "
    "and not exists (select 1 from doc_registry o where o.bottom_next_id = d.document_id) "
    "order by d.document_id desc",
};

// The day of a date as ToJson writes it ("2024-06-30").
std::string Day(qv::OleDate date) {
  const std::string json = ToJson(qv::Variant(date));
  return json.substr(json.find(':') + 2, 10);
}
const std::string kFirstDay = Day(qv::Now());

// What a call gave, as both engines must give it: the result, then every
// argument after the call, each with its variant type and as `qvdb call
// --format json` prints it (a recordset's columns with their types and all
// its rows, a record's properties, a collection's items and keys). A date of
// a day the run went through came from the clock (the generated rows' dates
// are those of their periods, the rows' arguments are of 2024) and is
// written "clock": the two runs read it at different seconds. A DAO
// recordset is left at its first row again, as the call returned it.
std::string Outcome(const qv::Variant& result, const std::vector<qv::Variant>& args) {
  const std::string today = Day(qv::Now());
  std::string out;
  for (size_t i = 0; i <= args.size(); ++i) {
    const qv::Variant& v = i == 0 ? result : args[i - 1];
    std::string json = ToJson(v);
    if (auto rs = v.ObjectAs<qv::dao::Recordset>(); rs && rs->RecordCount() > 0) rs->MoveFirst();
    for (const std::string& day : {kFirstDay, today})
      for (size_t at = json.find("{\"date\":\"" + day); at != std::string::npos;
           at = json.find("{\"date\":\"" + day, at))
        json.replace(at, json.find('}', at) + 1 - at, "\"clock\"");
    out += (i ? " | " : "") + std::to_string(static_cast<int>(v.Type())) + ":" + json;
  }
  return out;
}

// What of an operation's outcome the engines may give each their own way,
// and why: each names one operation, and what it leaves out of the
// comparison.
enum Leeway {
  kNewGuids = 1,        // GUIDs made by the call: each written as its number in the run
  kRowsInAnyOrder = 2,  // the result's rows compared as a set
  kNoResult = 4,        // the result left out
};
const struct {
  const char* op;  // CLASS.OPERATION, or "CLASS.A B C" as in kRows
  int leeway;
  const char* why;
} kLeeways[] = {
    {"DBLogs.LogEventByRecord GetEventSubItems GetEventRecord", kNewGuids,
     "an event's ID is a new random GUID"},
    {"DBLogs.GetEvents GetEventsIDs", kNewGuids | kRowsInAnyOrder,
     "an event's ID is a new random GUID; the rows are ordered by EventTime alone, and the "
     "sweep logs its two events within one second: a file and a server break the tie each "
     "its own way"},
    {"TempDataBase.FileName", kNoResult, "a temporary file's name, made up anew by each run"},
};

class Sweep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    holder_ = new TempFolder();
    const fs::path f = holder_->Path() / "generated";
    fs::copy(test::PristineDataFolder(), f, fs::copy_options::recursive);
    Generate(UserDatabasePath(f), {.seed = 1, .streams = 10, .documents = 200, .cells = 7});
  }
  static void TearDownTestSuite() {
    delete holder_;
    holder_ = nullptr;
  }
  static fs::path Generated() { return holder_->Path() / "generated"; }

  // A copy of the generated folder the library is pointed at.
  fs::path Folder(const std::string& name) {
    const fs::path f = temp_ / name;
    fs::copy(Generated(), f, fs::copy_options::recursive);
    PointLibraryAt(f);
    return f;
  }

  void FindValues(const fs::path& folder) {
    auto conn = qv::jet::Connection::Open(UserDatabasePath(folder).string());
    for (const char* sql : kValueQueries) {
      auto st = conn->Prepare(sql);
      ASSERT_TRUE(st.Step()) << sql;
      for (int row = 1; row == 1 || st.Step(); ++row)
        for (int i = 0; i < st.ColumnCount(); ++i) {
          const qv::Variant v = st.Value(i);
          ASSERT_FALSE(v.IsNull()) << st.Column(i).name << " of " << sql;
          values_[st.Column(i).name +
                  (row > 1 || st.Column(i).name == "v" ? std::to_string(row) : "")] = v;
        }
    }
    ASSERT_EQ(values_.count("v6"), 1u);
    // The stream, form and period of $v4, whose documents a row deletes.
    auto st = conn->Prepare(
        "select taxpayer_id, template_id, time_id from doc_registry where document_id = " +
        qv::CStr(values_["v4"]));
    ASSERT_TRUE(st.Step());
    values_["v4stream"] = st.Value(0);
    values_["v4tmpl"] = st.Value(1);
    values_["v4period"] = st.Value(2);
  }

  // The text of a value inside a longer form.
  std::string Substitute(std::string text) const {
    for (size_t at = text.find('$'); at != std::string::npos; at = text.find('$', at)) {
      size_t end = at + 1;
      while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])))) ++end;
      const auto found = values_.find(text.substr(at + 1, end - at - 1));
      if (found == values_.end())
        qv::ThrowVb(qv::vberr::kInvalidProcedureCall, "no value " + text.substr(at, end - at));
      const std::string value = qv::CStr(found->second);
      text.replace(at, end - at, value);
      at += value.size();
    }
    return text;
  }

  qv::Variant Argument(const std::string& token) {
    if (token == "blank") return qv::Variant(qv::ObjectPtr(std::make_shared<Blank>()));
    if (token == "tester") return qv::Variant(qv::ObjectPtr(new ConsoleTester(null_)));
    if (token.starts_with("rec:")) {
      const size_t colon = token.find(':', 4);
      qv::ObjectPtr rec = qv::CreateObject(token.substr(4, colon - 4));
      rec->CallV("SetID", ParseCallArg(Substitute(token.substr(colon + 1))));
      rec->CallV("Refresh");
      return qv::Variant(rec);
    }
    if (token.size() > 1 && token[0] == '$' && values_.count(token.substr(1)))
      return values_[token.substr(1)];
    return ParseCallArg(Substitute(token));
  }

  // Runs every row on the folder; a failure names the row and its error.
  // With `outcomes`, each call's Outcome is added to it.
  std::string RunRows(std::vector<std::string>* outcomes = nullptr) {
    std::map<std::string, qv::ObjectPtr> objects;
    std::string failures;
    for (const Row& row : AllRows()) {
      const std::string& op = row.op;
      const std::string cls = op.substr(0, op.find('.'));
      std::string outcome;
      const qv::Error e = qv::testsupport::RaisedError([&] {
        qv::ObjectPtr& object = objects[cls];
        if (!object) object = qv::CreateObject("Qv_DBProvider." + cls);
        std::vector<qv::Variant> args;
        std::stringstream tokens(row.args);
        for (std::string token; tokens >> token;) args.push_back(Argument(token));
        const qv::Variant result = object->Call(op.substr(op.find('.') + 1), args);
        qv::testsupport::TouchEveryProperty(result, 2);
        for (const qv::Variant& a : args) qv::testsupport::TouchEveryProperty(a, 2);
        if (outcomes) outcome = Outcome(result, args);
        if (row.keep.empty()) return;
        if (!result.IsEmpty())
          values_[row.keep] = result;
        else
          values_[row.keep] = args.at(0).ObjectAs<qv::Object>()->Get("ID");
        if (row.keep[0] == '=')
          objects[row.keep.substr(1)] = values_[row.keep].ObjectAs<qv::Object>();
      });
      if (outcomes)
        outcomes->push_back(e.Number() ? "error " + std::to_string(e.Number())
                                       : WithLeeway(op, outcome));
      if (e.Number() != row.error)
        failures +=
            op + " " + row.args + ": error " + std::to_string(e.Number()) + " " + e.Description() +
            (row.error ? " (expected " + std::to_string(row.error) + ": " + row.why + ")" : "") +
            "\n";
    }
    return failures;
  }

  // `outcome` of `op` without what kLeeways lets the engines give each
  // their own way.
  std::string WithLeeway(const std::string& op, std::string outcome) {
    int leeway = 0;
    for (const auto& l : kLeeways)
      if (std::ranges::count(Ops(l.op), op)) leeway = l.leeway;
    if (leeway & kNoResult) {
      const size_t args = outcome.find(" | ");
      outcome = "(left out)" + (args == std::string::npos ? "" : outcome.substr(args));
    }
    if (leeway & kNewGuids) {
      static const std::regex guid("\\{?[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\\}?");
      std::string out;
      std::sregex_iterator it(outcome.begin(), outcome.end(), guid), end;
      size_t from = 0;
      for (; it != end; ++it) {
        std::string key = qv::AsciiLower(it->str());
        std::erase(key, '{');
        std::erase(key, '}');
        const auto [at, added] = guids_.emplace(key, guids_.size() + 1);
        out += outcome.substr(from, it->position() - from) + "guid" + std::to_string(at->second);
        from = it->position() + it->length();
      }
      outcome = out + outcome.substr(from);
    }
    if (leeway & kRowsInAnyOrder) {
      // The rows of the result, "rows":[[x],[y]], sorted.
      const size_t head = outcome.find("\"rows\":[[");
      const size_t to = head == std::string::npos ? head : outcome.find("]]", head);
      if (to != std::string::npos) {
        const size_t from = head + 9;
        const std::string rows = outcome.substr(from, to - from);
        std::vector<std::string> items;
        for (size_t at = 0, end; at <= rows.size(); at = end + 3) {
          end = std::min(rows.find("],[", at), rows.size());
          items.push_back(rows.substr(at, end - at));
        }
        std::sort(items.begin(), items.end());
        std::string sorted;
        for (size_t i = 0; i < items.size(); ++i) sorted += (i ? "],[" : "") + items[i];
        outcome.replace(from, to - from, sorted);
      }
    }
    return outcome;
  }

  // Every row runs as it expects, and `qvdb check` finds the folder sound.
  void ExpectEveryRowAndASoundFolder(const fs::path& folder) {
    const std::string failures = RunRows();
    EXPECT_TRUE(failures.empty()) << failures;
    std::ostringstream out;
    const CheckResult r = CheckDataFolder(folder, out);
    EXPECT_TRUE(r.problems == 0 && r.selfTestFailed <= 0) << out.str();
  }

  // Nullable columns of a few rows hold Null, and documents have no accept
  // date (not yet accepted).
  void StoreNulls(const fs::path& f) {
    // Every column that may hold Null, but the ones that tie a row to its
    // stream, period, form, document, chain, shard files, person or job place
    // (so that the lists still load the row), in the rows the values name; and
    // the last sub-document of $pfrdoc without its person.
    const std::set<std::string> ties = {
        "taxpayer_id", "time_id",     "template_id", "DocumentID", "top_doc_id", "bottom_next_id",
        "EditorType",  "PfrPersonID", "Person_ID",   "PersonID",   "JobPlaceID", "WorkerID"};
    auto conn = qv::jet::Connection::Open(UserDatabasePath(f).string());
    const struct {
      const char* table;
      const char* key;
      std::vector<const char*> values;
    } rows[] = {
        {"doc_registry", "document_id", {"doc", "pfrdoc", "big", "v1", "v2", "v3", "v4", "v5"}},
        {"PfrSubDocs", "ID", {"sub", "sub2"}},
        {"PfrPersons", "ID", {"pp", "pp2", "pp3"}},
        {"AccStream", "ID", {"stream", "stream2"}},
        {"Personnel", "ID", {"personnel"}},
        {"Address", "ID", {"addr"}},
        {"Certificate", "ID", {"ident"}},
        {"TaxOffice", "ID", {"taxoffice"}},
    };
    for (const auto& r : rows) {
      const auto spec = conn->Schema().FindTable(r.table);
      ASSERT_TRUE(spec) << r.table;
      for (const qv::jet::FieldSpec& field : spec->fields) {
        if (field.required || qv::NamesEqual(field.name, r.key) || ties.count(field.name)) continue;
        for (const char* value : r.values)
          conn->Execute("update [" + std::string(r.table) + "] set [" + field.name +
                        "] = Null where [" + r.key + "] = " + qv::CStr(values_[value]));
      }
    }
    conn->Execute(
        "update PfrSubDocs set PfrPersonID = Null where ID = (select max(ID) from PfrSubDocs "
        "where DocumentID = " +
        qv::CStr(values_["pfrdoc"]) + ")");
    conn->Execute("update doc_registry set accept_date = Null");
    {
      auto nulls = conn->Prepare("select count(*) from doc_registry where Status_Qv is null");
      ASSERT_TRUE(nulls.Step());
      EXPECT_EQ(qv::CLng(nulls.Value(0)), 8);  // the documents named above
    }
  }

  static TempFolder* holder_;
  TempFolder temp_;
  std::map<std::string, qv::Variant> values_;
  std::map<std::string, size_t> guids_;  // the GUIDs of kNewGuids met in a run, numbered
  std::ostringstream null_;
};
TempFolder* Sweep::holder_ = nullptr;

// The rows on the folder on disk and on a copy of it on the test server
// (QV_TEST_PG): ctest's server_sweep runs these with QV_SWEEP_SERVER set, and
// the program exits 77 (skipped) without a server.
class SweepOnServer : public Sweep {
 protected:
  static void SetUpTestSuite() {
    if (qv::testsupport::RunsOnServer("QV_SWEEP_SERVER")) Sweep::SetUpTestSuite();
  }
  void SetUp() override {
    if (holder_ == nullptr) GTEST_SKIP() << "runs as ctest's server_sweep (QV_SWEEP_SERVER)";
  }

  // Copies `folder` onto the server with `qvdb copy`, runs every row on the
  // folder, then on the copy, and compares each call's Outcome.
  void ExpectTheServerToAnswerAsTheDisk(const fs::path& folder) {
    const char* functions = std::getenv("QV_TEST_JET_SQL");
    ASSERT_TRUE(functions && *functions) << "QV_TEST_JET_SQL names the Jet functions' script";
    qv::testsupport::ServerFolder server(std::getenv("QV_TEST_PG"), "qvsweep", nullptr);
    std::ostringstream copied;
    CopyOptions options;
    options.functionsScript = functions;
    CopyDataFolder(folder.string(), server.Location(), copied, options);
    const std::map<std::string, qv::Variant> found = values_;
    std::vector<std::string> onDisk, onServer;
    EXPECT_EQ(RunRows(&onDisk), "");
    values_ = found;
    guids_.clear();
    PointLibraryAt(server.Location());
    EXPECT_EQ(RunRows(&onServer), "") << "on the server";
    ASSERT_EQ(onDisk.size(), onServer.size());
    const std::vector<Row> rows = AllRows();
    std::string differences;
    for (size_t i = 0; i < rows.size(); ++i) {
      const std::string &a = onDisk[i], &b = onServer[i];
      if (a == b) continue;
      // From a little before the first byte that differs.
      size_t at = std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
      at = at < 200 ? 0 : a.rfind(',', at - 200) + 1;
      differences += rows[i].op + " " + rows[i].args + " (from byte " + std::to_string(at) +
                     ")\n  on disk:       " + a.substr(at, 600) +
                     "\n  on the server: " + b.substr(at, 600) + "\n";
    }
    EXPECT_EQ(differences, "");
    std::ostringstream out;
    const CheckResult r = CheckDataFolder(server.Location(), out);
    EXPECT_TRUE(r.problems == 0 && r.selfTestFailed <= 0) << out.str();
    // The session leaves the server folder before its schemas are dropped.
    PointLibraryAt(folder);
  }
};

TEST(SweepRows, EveryOperationHasARow) {
  std::set<std::string> rows;
  for (const Row& row : AllRows()) rows.insert(qv::AsciiLower(row.op));
  std::set<std::string> registered;
  std::string missing;
  for (const qv::ClassInfo* info : CallableClasses()) {
    if (info->Library() != "Qv_DBProvider") continue;
    for (const std::string& line : MemberLines(*info)) {
      const std::string op = line.substr(0, line.find('\t'));
      registered.insert(qv::AsciiLower(op));
      if (!rows.count(qv::AsciiLower(op))) missing += op + "\n";
    }
  }
  EXPECT_EQ(missing, "") << "operations the sweep does not call";
  std::string stale;
  for (const std::string& r : rows)
    if (!registered.count(r)) stale += r + "\n";
  EXPECT_EQ(stale, "") << "rows of no registered operation";
}

TEST_F(Sweep, EveryOperationOnGeneratedData) {
  const fs::path f = Folder("plain");
  FindValues(f);
  ExpectEveryRowAndASoundFolder(f);
}

// Nullable columns of a few rows hold Null, and documents have no accept
// date (not yet accepted): the same calls succeed.
TEST_F(Sweep, EveryOperationAfterStoredNulls) {
  const fs::path f = Folder("nulls");
  FindValues(f);
  StoreNulls(f);
  ExpectEveryRowAndASoundFolder(f);
}

// The rows once more on a copy of the folder on the test server, each
// call's outcome compared with the folder on disk's.
TEST_F(SweepOnServer, EveryOperationAnswersAsOnDisk) {
  const fs::path f = Folder("plain");
  FindValues(f);
  ExpectTheServerToAnswerAsTheDisk(f);
}

TEST_F(SweepOnServer, EveryOperationAfterStoredNullsAnswersAsOnDisk) {
  const fs::path f = Folder("nulls");
  FindValues(f);
  StoreNulls(f);
  ExpectTheServerToAnswerAsTheDisk(f);
}

}  // namespace
}  // namespace qvdb
