#pragma once
// DBQPfr ("Qv_DBProvider.DBQPfr"): the query and service class of the
// pension-fund and insurance-contribution reports. It keeps no state.
//
// The class is one dispatch table over several files, one per family:
//   DBQPfrSubDocs.cpp  sub-documents of a document and of a person in a
//                      document; copying and deleting a person's ones
//   DBQPfrPersons.cpp  insured persons of a taxpayer and their searches
//   DBQPfrSheafs.cpp   end documents of a master and pack (sheaf) numbers
//   DBQPfrDicts.cpp    code dictionaries, limits and tariffs
// and those of particular reports:
//   DBQPfrRsv.cpp      contribution reports, their correction sheets and the
//                      sums of a person's earlier reports in the year
//   DBQPfrSlices.cpp   payment slices, manual sums of a person's account,
//                      documents to copy from
//   DBQPfrSzvTd.cpp    the labour-activity report
//
// Common rules. Identifiers go into SQL as plain decimal text, texts through
// DaoQString, dates through Date2DaoSql ("DateSerial(1899,12,31)" for an
// empty date). A type list is sub-document types separated by "," ("*":
// every type, in every operation); anything else is error 5, the empty list
// included, so no list widens a statement. A document, master or
// sub-document identifier 0 answers 0, False, Nothing or an empty
// collection, and deletes or copies nothing, without a statement (rows of
// document 0 are orphans, not its sub-documents); a type list is checked
// first. Lookups that find nothing leave their in/out parameters untouched.
//
// Records: sub-document records are filled by DBPfrSubDoc, person records
// by DBPfrPerson, document records by DBDocument; "records read by
// identifier" are references that read themselves on first use.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"
#include "platform/automation/ValueProperty.h"

namespace qv::pfr {

// The contribution rates of a year and payer category (GetTariffs4): a
// value with a get and a let per property, no behaviour.
class TRsvTariff : public Object {
  QV_DECLARE_CLASS(TRsvTariff)

  QV_VALUE_PROPERTY(int32_t, TheTear, 0)    // the year
  QV_VALUE_PROPERTY(std::string, Code, "")  // the payer category
  QV_VALUE_PROPERTY(double, LowPart, 0)     // below the base limit: insurance + funded
  QV_VALUE_PROPERTY(double, OverPart, 0)    // above it
  QV_VALUE_PROPERTY(double, FomsPart, 0)    // medical insurance
  QV_VALUE_PROPERTY(double, FinalRate, 0)   // 728 for category "МД", else 1000
  QV_VALUE_PROPERTY(bool, IsMD, false)
};

// The sub-documents of one person kept while a correction chain is read:
// the first identifier alone, and from the second on all of them.
class TRsvSortItem {
 public:
  // 0 is ignored.
  void AddSubDocID(double aID) {
    if (aID == 0) return;
    if (first_ == 0) {
      first_ = aID;
      return;
    }
    if (all_.empty()) all_.push_back(first_);
    all_.push_back(aID);
  }
  // aID becomes the only identifier.
  void ClearAndSetSubDocID(double aID) {
    all_.clear();
    first_ = aID;
  }
  // The identifiers kept, in the order they came.
  std::vector<double> SubDocIDs() const {
    if (!all_.empty()) return all_;
    return first_ == 0 ? std::vector<double>{} : std::vector<double>{first_};
  }

 private:
  double first_ = 0;
  std::vector<double> all_;
};

class IntPfrCellValuesTable;

class DBQPfr : public Object {
  QV_DECLARE_CLASS(DBQPfr)

 public:
  // ---- sub-documents of a document

  // Flag bits: 1 order by the person's name (then ID); 256 descending;
  // 512 fill records and their persons from one joined statement (a person
  // that does not exist marked not found); 1024 give references instead of
  // read or filled records (so with 512 as without); 2048 identifiers
  // instead of records. aParams is not used.
  CollectionPtr GetSubDocsByDocumentID(double aDocID, int32_t aFlags, Variant& aParams);
  CollectionPtr GetSubDocsByDocumentIDAndSubDocType(double aDocID, int32_t aSubDocType,
                                                    bool aOnlyFirst);
  CollectionPtr GetSubDocIDsByDocumentIDAndSubDocType(double aDocID,
                                                      const std::string& aSubDocTypes,
                                                      bool aOnlyFirst);
  // The first record, or Nothing.
  ObjectPtr GetFirstSubDocsByDocumentIDAndSubDocType(double aDocID, int32_t aSubDocType);
  double GetFirstSubDocIDByDocumentIDAndSubDocType(double aDocID, const std::string& aSubDocTypes);
  // Ordered by the person's surname, name, patronymic (letter case ignored)
  // and ID; any sort method orders so.
  CollectionPtr GetSubDocIDsByDocIDAndSubDocTypeSorted(double aDocID, int32_t aSubDocType,
                                                       const std::string& aSortMethod);
  CollectionPtr GetSubdocsByExportedNums(double aMasterDocID, double aEndDocID,
                                         int32_t aNumInSheaf);
  // SubDocID, PfrPersonID, DocumentID, SubDocType, with option bit 1 also
  // DataType, CorrYear, CorrMonth (cells 200005, 200026, 200027), Dummy.
  // For 0 too (no saved sub-document has the key 0): a recordset of no row.
  ado::RecordsetPtr GetSubDocInfo(double aSubDocID, int32_t aOptions);
  // An array with the bounds of aKeys: the text of each key's cell (line 0,
  // table 0), "" for an absent cell or sub-document 0.
  Variant GetSubDocValues(double aSubDocID, const Variant& aKeys);
  Variant GetSubDocValuesBySubDocType(double aDocID, int32_t aSubDocType, const Variant& aKeys);
  // aValues: an array of key, value, key, value ... written as texts into
  // the first sub-document of the type by the cell session's rules (an empty
  // value deletes the cell). Nothing happens when there is no such one.
  void SetSubDocValuesBySubDocType(double aDocID, int32_t aSubDocType, const Variant& aValues);
  // A cell-storage session, already open.
  ObjectPtr GetPfrCellsDirectSession();

  // ---- sub-documents of a person in a document (aSubDocTypes "*": all)

  CollectionPtr GetSubDocsOfPersonInDocument(double aDocumentID, double aPfrPersonID,
                                             const std::string& aSubDocTypes);
  CollectionPtr GetSubDocIDsOfPersonInDocument(double aDocumentID, double aPfrPersonID,
                                               const std::string& aSubDocTypes);
  double GetFirstSubDocIDOfPersonInDocument(double aDocumentID, double aPfrPersonID,
                                            const std::string& aSubDocTypes);
  ObjectPtr GetFirstSubDocOfPersonInDocument(double aDocumentID, double aPfrPersonID,
                                             const std::string& aSubDocTypes);
  bool HasSubDocsOfPersonInDocument(double aDocumentID, double aPfrPersonID,
                                    const std::string& aSubDocTypes);
  // Replaces the person's sub-documents in the destination document by
  // copies (row, flags and cells) of those in the source of the listed
  // types, in one transaction. Nothing when an identifier is 0 or the two
  // documents are one.
  void CopyPersonSubDocsToDestDoc(double aSrcDocumentID, double aSrcPfrPersonID,
                                  double aDestDocumentID, const std::string& aSubDocTypes);
  void DeleteSubDocsOfPersonInDocument(double aDocumentID, double aPfrPersonID);
  void DeleteSubDocsWithSubDocTypeInDocument(double aDocumentID, const std::string& aSubDocTypes);
  // aDelCollisionsType: the kind of individual data (its code, see
  // mPfrInternal); aParams: the person's identifier first (an array or a
  // plain value). The person's sections of types 7 and 9 in the document
  // whose cell 200005 holds that kind's text are deleted. Error 5 for a kind
  // without a text or no person.
  void DeleteCollisioningSubDocsInDocument(double aDocumentID, int32_t aDelCollisionsType,
                                           Variant& aParams);

  // ---- insured persons of a taxpayer

  CollectionPtr GetPfrPersonsByTaxpayer(double aTaxpayerID);
  // Sort method "fio" (any letter case) by surname, name, patronymic,
  // descending for direction 1; any other method in table order.
  CollectionPtr GetPfrPersonsByTaxpayerSorted(double aTaxpayerID, const std::string& aSortMethod,
                                              int32_t aSortDirection);
  // With aPreloadNonLazyFields the records are filled from the statement.
  CollectionPtr GetPfrPersonsByTaxpayerEx(double aTaxpayerID, bool aPreloadNonLazyFields,
                                          const std::string& aSortMethod, int32_t aSortDirection);
  // The person an imported one merges into: the same INN, else the same
  // insurance number, else the same name without a different number; Nothing.
  ObjectPtr FindMergingCandidate(double aTaxpayerID, const std::string& aSurname,
                                 const std::string& aName, const std::string& aPatronymic,
                                 const std::string& aPfrNumber, const std::string& aInn);
  CollectionPtr FindPfrPersonsWithFioByTaxpayer(double aTaxpayerID, const std::string& aSurname,
                                                const std::string& aName,
                                                const std::string& aPatronymic);
  CollectionPtr FindPfrPersonsByPfrNumber(double aTaxpayerID, const std::string& aPfrNumber);
  CollectionPtr FindPfrPersonsByInn(double aTaxpayerID, const std::string& aInn);
  // Series and number compare without blanks and dashes, in upper case.
  CollectionPtr FindPfrPersonByPassport(double aTaxpayerID, const std::string& aSurname,
                                        const std::string& aName, const std::string& aPatronymic,
                                        int32_t aPassportTypeID, const std::string& aPassportSeries,
                                        const std::string& aPassportNumber);
  // aWhatToFind 1: the insurance number, 2: the INN. True and rDuplicate
  // the other person's identifier when one has it.
  bool FindPfrPersonDuplicate(double aTaxpayerID, double aExcludePersonID, int32_t aWhatToFind,
                              const Variant& aData, Variant& rDuplicate);

  // ---- end documents and pack numbers

  // The sort arguments are not used.
  CollectionPtr GetPfrEndDocsByMasterDocID(double aMasterDocID, int32_t aSortMode,
                                           int32_t aSortDirection);
  int32_t CountPfrEndDocsInApprovedState(double aMasterDocID);
  // Each end document through its record's delete (with its cells and
  // sub-documents), all in one transaction.
  void DeletePfrEndDocuments(double aMasterDocID);
  bool IsMasterContainsEndDocs(double aMasterDocID);
  int32_t GetPfrMasterStatus(double aMasterDocID);
  int32_t GetMinSheafNumberOfMaster(double aMasterDocID);
  // Pack numbers are unique per stream and calendar year over all masters.
  bool IsSheafWithNumberExistsInPeriodAndAccStream(int32_t aNumber, double aAccStreamID,
                                                   double aMasterDocTimeID,
                                                   double aExcludeMasterDocID);
  int32_t GetMaxSheafNumberInPeriodAndAccStream(double aAccStreamID, double aMasterDocTimeID,
                                                double aExcludeMasterDocID);
  // The same within the master's numbering group: masters of document type
  // 184 not addressed to authority kind 2, or all other masters.
  int32_t GetMaxSheafNumberForPfrNumbering(double aMasterDocID, bool aExcludeThisDoc);
  bool IsSheafWithNumberExistsInPfrNumbering(int32_t aNumber, double aMasterDocID,
                                             bool aExcludeThisDoc);
  // ID, PfrTag, Name, DefCount, UserCount by OrderNum.
  ado::RecordsetPtr GetPfrEndFormOptions();
  // A count of 0 removes the user's override.
  void SetUserPfrEndFormOption(double aFormID, int32_t aCountInSheaf, Variant& aParams);
  int32_t GetPfrEndFormCountInSheaf(double aFormID);

  // ---- dictionaries, limits and tariffs (the latest year not after aYear)

  double GetIncomeLimit(int32_t aYear);
  double GetMROT(int32_t aYear);
  void GetTariffs(int32_t aYear, const std::string& aCategory, double& rEnsurPart,
                  double& rCumulPart);
  bool GetTariffs2(int32_t aYear, const std::string& aCategory, double& rEnsurPart,
                   double& rCumulPart, double& rOverEnsurPart, double& rOverCumulPart);
  bool GetTariffs3(int32_t aYear, const std::string& aCategory, double& rEnsurPart,
                   double& rCumulPart, double& rOverEnsurPart, double& rOverCumulPart,
                   double& rFomsPart);
  // A new TRsvTariff, or Nothing.
  ObjectPtr GetTariffs4(int32_t aYear, const std::string& aCategory);
  bool GetAddTariffs(const Variant& aDate, const std::string& aCode, double& rRate);
  // Code, Name of dictionary 1..8 (rate codes, territorial, special
  // conditions, service-length codes and additions, early-pension
  // conditions, fee rate codes, additional rate codes); valid at the date,
  // or every distinct one without a date. Another type: no recordset.
  ado::RecordsetPtr GetPfrDict(int32_t aDictType, const Variant& aActualDate);
  bool IsDictCodeAllowedAtDate(const std::string& aCode, int32_t aDictType,
                               const Variant& aActualDate);

  // ---- contribution reports and their corrections
  //
  // The correction chain of a document is every version of its instance,
  // newest first (miDocument::GetCorrectionChain: it stops at a gap or a
  // loop). Personal sections by template: 548 types 7 and 17, 638 type 26,
  // 780 type 38, 918 type 51, 940 type 56, 1035 type 70; in 780, 918, 940
  // and 1035 a person may have several. Cells of a section: 1021001 sheet
  // number, 1021002 correction number, 1021003 cancelling ("1").

  // The current documents of document type 168, completed or delivered,
  // in the period, over every stream of kind 4 of the stream's owner.
  CollectionPtr GetRsv1DocsForSending(double aAccStreamID, double aTimePeriodID);
  // The newest of template 548 in the stream and period (highest instance,
  // then identifier); with aOnlyWithSection6 the newest holding a section
  // of type 7 or 17. 0 when none.
  double GetLatestRsv1DocumentInPeriod(double aAccStreamID, double aTimeID, bool aOnlyWithSection6);
  // The current version of instance 0 of template 638, 780, 918, 940, 1035.
  double GetLatestRsv2017DocumentInPeriod(double aAccStreamID, double aTimeID);
  double GetLatestRsv2020DocumentInPeriod(double aAccStreamID, double aTimeID);
  double GetLatestRsv2022DocumentInPeriod(double aAccStreamID, double aTimeID);
  double GetLatestRsv2023DocumentInPeriod(double aAccStreamID, double aTimeID);
  double GetLatestRsv2025DocumentInPeriod(double aAccStreamID, double aTimeID);
  // The person's highest correction number over the chain; 0 without sections.
  int32_t GetRsvMaxCorrNum(double aDocID, double aPfrPersonID);
  // Sheet and correction number of the person's new section: in an
  // adjustment whose chain holds the person, the sheet of the section with
  // the highest correction number and that number + 1; otherwise one above
  // the largest sheet (of the chain for an adjustment, of the document
  // itself else) and correction 0. Only template 638 numbers sheets; other
  // templates count their largest sheet as 0.
  void GetRsvNewSheetAndCorrNum(double aDocID, double aTemplateID, bool aIsAdjustment,
                                double aPfrPersonID, int32_t& rSheetNum, int32_t& rCorrNum);
  // One above the largest sheet over the chain.
  int32_t GetRsvStartSheetNumForRenumbering(double aDocID, double aTemplateID);
  // The person's first section in the chain (newest document first): of
  // type 26 for template 638; of the template's type and not cancelling for
  // 780, 918, 940, 1035. 0 for other templates or none.
  double GetRsvPreceededCorrectedSubDoc(double aDocID, double aPfrPersonID, double aTemplateID);
  // Per person the sections of the newest document of the chain that has
  // any (several of one document where the template allows it), person by
  // person (by name with aSortByFio). Empty for a template outside the list.
  CollectionPtr GetRsvAllActualSubDocIDs(double aDocID, bool aSortByFio);
  // The earlier periods of a cumulative period of a year: none for the
  // first quarter (report code 13), 13 for the half year (14), 13 and 14 for
  // nine months (15), 13 to 15 for the year (16); none for any other code.
  // The person's section of type 26 in the current document of template
  // 317 of the latest earlier period in which the stream has a document
  // with one; 0 when none (always for a first quarter).
  double GetRsvPastSubDocIDForPerson(double aAccStreamID, double aTimeID, double aPfrPersonID);
  // The sums of the person's rate-table lines in the current documents of
  // the earlier periods of the year. Template and section type: 317 and 26
  // (CalcRsvPastSumsForPerson), 638 and 26 (2), 780 and 38 (2020), 918 and
  // 51 (2022), 940 and 56 (2023), 1035 and 70 (2025). A section's rate
  // table: 1024000 (line 0, table 0) the number of lines; line n of table 1
  // holds the rate code (1024005) and five indicators (i = 1..5) of three
  // months (m = 1..3) at key 1024000 + 10 i + m: payments, amounts not
  // subject to contributions, the base, the base over the limit, the
  // contributions. Each result is an array (1 to n, 1 to 6): a rate code
  // and the five sums of its lines, rounded to kopecks after each addition;
  // a rate met first adds a row. aMainRate / aAddRate: the rate to sum,
  // "*" every rate, "" nothing (the result is left as it is); a named rate
  // has its row even when no line has it. aPfrCellsSession: a cell-storage
  // session to read through; a new one is opened and handed back when it
  // holds none. aDocCache is accepted for the callers and not used: every
  // read goes through the session.
  void CalcRsvPastSumsForPerson(double aAccStreamID, double aTimeID, double aPfrPersonID,
                                const std::string& aMainRate, Variant& rMainResult,
                                const std::string& aAddRate, Variant& rAddResult,
                                Variant& aPfrCellsSession);
  void CalcRsvPastSumsForPerson2(double aAccStreamID, double aTimeID, double aPfrPersonID,
                                 const std::string& aMainRate, Variant& rMainResult,
                                 const std::string& aAddRate, Variant& rAddResult,
                                 Variant& aPfrCellsSession, const Variant& aDocCache);
  void CalcRsvPastSumsForPerson2020(double aAccStreamID, double aTimeID, double aPfrPersonID,
                                    const std::string& aMainRate, Variant& rMainResult,
                                    const std::string& aAddRate, Variant& rAddResult,
                                    Variant& aPfrCellsSession, const Variant& aDocCache);
  void CalcRsvPastSumsForPerson2022(double aAccStreamID, double aTimeID, double aPfrPersonID,
                                    const std::string& aMainRate, Variant& rMainResult,
                                    const std::string& aAddRate, Variant& rAddResult,
                                    Variant& aPfrCellsSession, const Variant& aDocCache);
  void CalcRsvPastSumsForPerson2023(double aAccStreamID, double aTimeID, double aPfrPersonID,
                                    const std::string& aMainRate, Variant& rMainResult,
                                    const std::string& aAddRate, Variant& rAddResult,
                                    Variant& aPfrCellsSession, const Variant& aDocCache);
  void CalcRsvPastSumsForPerson2025(double aAccStreamID, double aTimeID, double aPfrPersonID,
                                    const std::string& aMainRate, Variant& rMainResult,
                                    const std::string& aAddRate, Variant& rAddResult,
                                    Variant& aPfrCellsSession, const Variant& aDocCache);
  // The person's sections of the type in the stream's documents of the
  // template and year, by period and document: DocumentID, SubDocID,
  // RepYear, RepMonth (the period's report code) and per key of aCells (an
  // array of cell keys, or one key) a column "K" + key with the cell's text
  // (line 0 of any table). aCells is left as given.
  ado::RecordsetPtr CollectSheetedCells(const Variant& aAccStreamID, const Variant& aYear,
                                        const Variant& aTemplateID, const Variant& aSubDocType,
                                        double aPfrPersonID, Variant& aCells);

  // ---- payment slices, manual sums, documents to copy from
  //
  // A slice is a "Qv_PfrActions.QvPfrSlicedSubDoc": one payment of an
  // individual-data section (type 7). Cells: 200005 kind of individual data
  // (text), 200032 several payments, 208000 number of payment lines; one
  // payment 200012 / 200013 insurance / funded charge, 200024 / 200025
  // insurance / funded payment, 200029 distribution kind; payment line n
  // the same at 208012, 208013, 208024, 208025, 208029 (line n, table 0).
  // ContentType 1: a slice of the payment distribution (its kind and
  // payments are written back); 2: a slice of the distribution kind only,
  // over the payment lines in RecList.

  // Writes every slice of the collection, in one transaction.
  void SaveSlices(const CollectionPtr& aSlices);
  // Writes one slice; with aKeepTableOpen the session stays open for the
  // next call (and is closed by a call without it).
  void SaveSlice(const ObjectPtr& aSlice, bool aKeepTableOpen);
  // Writes one slice as content aContentType, whatever its own.
  void SaveSliceSDR(const ObjectPtr& aSDRecord, int32_t aContentType);
  // Slices (content 1) of the document's sections of type 7: one per
  // payment line with several payments (DynPaymentsNum n), else one
  // (DynPaymentsNum 0).
  CollectionPtr LoadSlicesForIndPaymentScattering(double aDocumentID);
  // The slice (content 2) of one section: its distribution kind (of the
  // first payment line with several payments) and in RecList its payment
  // lines (1..n; empty without several payments). Nothing for 0.
  ObjectPtr LoadSliceForIndMassPaymentScatteringTypeSetting(double aSubDocID);
  ado::RecordsetPtr GetPeracManualSums(double aAccStreamID, double aPfrPersonID);
  // With aIsManual the month's value is stored (updated or added), without
  // it removed, so that the computed value applies again; in one
  // transaction. The person's sums after it.
  ado::RecordsetPtr SetPeracManualSum(double aAccStreamID, double aPfrPersonID, int32_t aYear,
                                      int32_t aMonth, int32_t aValueType, bool aIsManual,
                                      double aValue);
  void ClearPeracManualSums(double aAccStreamID, double aPfrPersonID);
  // The stream's documents of the template whose periods lie within the
  // dates, newest period first, except those of aExcludeDocsID (";").
  CollectionPtr GetDocsToCopyFrom(double aAccStreamID, double aTemplateID,
                                  const Variant& aBegPeriodDate, const Variant& aEndPeriodDate,
                                  const std::string& aExcludeDocsID);

  // ---- the labour-activity report (templates 789: types 41, 46; 961 and
  // 963: types 59, 63)

  // DocumentID, AccStreamID, TimeID, TemplateID, SubDocID, SubDocType,
  // PfrPersonID of the person's sections in the stream, by period and
  // document.
  ado::RecordsetPtr GetSzvTdSubDocsForPfrPerson(double aPfrPersonID, double aAccStreamID);
  // The same for the 2023 forms, with aIncludeOldRecs the older one too.
  ado::RecordsetPtr GetSzvTdSubDocsForPfrPerson2023(double aPfrPersonID, double aAccStreamID,
                                                    bool aIncludeOldRecs);
  // The distinct trimmed posts (cell 1051105) of the stream's sections.
  CollectionPtr GetSzvTdPostsList(double aAccStreamID);
  // Whether the person has a section of type 41 or 46 in another document
  // of the stream.
  bool HasAnotherSzvTdOnPerson(double aAccStreamID, double aPfrPersonID, double aExcludeDocID);

 private:
  // The session SaveSlice keeps open between calls.
  std::shared_ptr<IntPfrCellValuesTable> sliceSession_;
};

}  // namespace qv::pfr
