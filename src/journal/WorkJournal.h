#pragma once
// The work journal: personnel events of insured persons (WjEvents rows, one
// Qv_PfrRecords.QvWjEvent record each) tracked through their emission into
// a report document, and the journal's free-text dictionaries
// (WjSoftDicts).
//
//   DBWjEvent    the record mapper of one event
//   DBQWJournal  lists of events, links to documents, the dictionaries
//
// Event states: TrackingType 1 tracked for the personnel-events report;
// EmitState 0 not emitted, 1 emitted into EmitDocID, 2 link broken;
// CancelState 0 actual, 1 cancels another, 2 cancelled by another.

#include <cstdint>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "records/PlainMapper.h"

namespace qv::journal {

// Event columns are written as the record holds them (texts cut to 255
// characters, flags as 1 or 0); EvIsPartTime is written but not read back;
// the citizenship is a country sub-record (CitizenID), saved first by a
// recursive save when it holds changes.
class DBWjEvent : public records::PlainMapper<DBWjEvent> {
  QV_DECLARE_CLASS(DBWjEvent)

 public:
  static const records::MapperDef& Def();
};

class DBQWJournal : public Object {
  QV_DECLARE_CLASS(DBQWJournal)

 public:
  // Result option bits of GetEventsOfTaxpayer.
  static constexpr int32_t kBareIds = 1;
  static constexpr int32_t kNoPreload = 2;
  static constexpr int32_t kPreload = 4;
  static constexpr int32_t kKeyed = 16;

  // The person's events, as records read on first use. aParams is not used.
  CollectionPtr GetEventsOfPerson(double aPfrPersonID, Variant& aParams);
  // The taxpayer's streams of type 2 (pension-fund reporting), as records.
  CollectionPtr GetAccStreamsForEmitForTaxpayer(double aPersonID);
  // The taxpayer's tracked events not yet emitted, by person and date, read
  // at once. aWithLast2019 and aParams are not used.
  CollectionPtr GetEmitWaitingEventsOfTaxpayer(double aTaxpayerID, bool aWithLast2019,
                                               Variant& aParams);
  // Unlinks the tracked events emitted into the document: aAction 1 makes
  // them not emitted again, 2 marks the link broken, anything else does
  // nothing.
  void UnlinkEventsFromDeletingDocument(double aDocID, int32_t aAction);
  // The events the filter object selects (see WjEventsFilter), as records
  // or bare identifiers per aResultOptions: kBareIds identifiers; kKeyed
  // each under "_" + ID; records read at once with kPreload without
  // kNoPreload.
  CollectionPtr GetEventsOfTaxpayer(double aTaxpayerID, const Variant& aFilter,
                                    int32_t aResultOptions);
  // True when an actual, tracked personnel event of the person is emitted
  // into a completed or delivered document.
  bool HasSentEventsOnPerson(double aPfrPersonID);
  // The dictionary's items (of the sub-key unless it is 0), ordered by
  // upper-cased name when aSort is not empty, at most aLimit when above 0.
  ado::RecordsetPtr GetSoftDict(int32_t aDictType, double aSubID, const std::string& aSort,
                                int32_t aLimit);
  // Distinct non-empty values used in events for dictionary 1 posts, 2
  // divisions, 3 job descriptions, 4 base document names, 5 dismissal
  // reasons, 6 occupation codes; Nothing for other types.
  ado::RecordsetPtr CollectMaterialForSoftDict(int32_t aDictType, double aSubID);
  int32_t AddSoftDictItem(int32_t aDictType, double aSubID, const std::string& aName);
  void UpdateSoftDictItem(int32_t aID, const std::string& aName);
  void DeleteSoftDictItem(int32_t aID);
};

}  // namespace qv::journal
