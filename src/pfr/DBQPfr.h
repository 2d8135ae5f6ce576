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
// The families of particular reports go after these, in files of their own.
//
// Common rules. Identifiers go into SQL as plain decimal text, texts through
// DaoQString, dates through Date2DaoSql ("DateSerial(1899,12,31)" for an
// empty date). A type list is sub-document types separated by "," ("*":
// every type); anything else is error 5, so no list widens a statement.
// A document, master or sub-document identifier 0 answers 0, False, Nothing
// or an empty collection without a statement. Lookups that find nothing
// leave their in/out parameters untouched.
//
// Records: sub-document records are filled by DBPfrSubDoc, person records
// by DBPfrPerson, document records by DBDocument; "records read by
// identifier" are references that read themselves on first use.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"

namespace qv::pfr {

// The contribution rates of a year and payer category (GetTariffs4): a
// value with a get and a let per property, no behaviour.
class TRsvTariff : public Object {
  QV_DECLARE_CLASS(TRsvTariff)

#define QV_TARIFF_PROPERTY(Type, Name, Init) \
 public:                                     \
  Type Get##Name() const {                   \
    return Name##_;                          \
  }                                          \
  void Let##Name(Type v) {                   \
    Name##_ = v;                             \
  }                                          \
                                             \
 private:                                    \
  Type Name##_ = Init;

  QV_TARIFF_PROPERTY(int32_t, TheTear, 0)    // the year
  QV_TARIFF_PROPERTY(std::string, Code, "")  // the payer category
  QV_TARIFF_PROPERTY(double, LowPart, 0)     // below the base limit: insurance + funded
  QV_TARIFF_PROPERTY(double, OverPart, 0)    // above it
  QV_TARIFF_PROPERTY(double, FomsPart, 0)    // medical insurance
  QV_TARIFF_PROPERTY(double, FinalRate, 0)   // 728 for category "МД", else 1000
  QV_TARIFF_PROPERTY(bool, IsMD, false)
#undef QV_TARIFF_PROPERTY
};

class DBQPfr : public Object {
  QV_DECLARE_CLASS(DBQPfr)

 public:
  // ---- sub-documents of a document

  // Flag bits: 1 order by the person's name (then ID); 256 descending;
  // 512 fill records and their persons from one joined statement; 1024 give
  // references instead of read records (without 512); 2048 identifiers
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
};

}  // namespace qv::pfr
