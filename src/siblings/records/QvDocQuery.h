#pragma once
// QvDocQuery ("Qv_Records.QvDocQuery"): the criteria of a structured
// document search, filled by the application and read late-bound by the
// search. Every criterion has an "Is..." switch; the values:
//
//   DocStatuses       bits: 1 in work, 2 completed, 4 delivered, 8 archived
//                     versions as well
//   NotesMode         1 no note, 2 any note, 3 a note containing Notes
//   DocNumMode        1 DocNum1 (to DocNum2), 2 the last LastDocNumsCount
//   TemplatesMode     1 Templates are templates, 2 doc types
//   PeriodCriterion   1 OnePeriodYear / OnePeriodMonthID (a report code),
//                     2 RangePeriodYear1 / RangePeriodMonth1 to
//                     RangePeriodYear2 / RangePeriodMonth2 (months 1..12),
//                     with IsPeriodTypes the kinds in PeriodTypes (bits:
//                     1 months, 2 quarters, 4 half-years, 8 years, 16 the
//                     other codes)
//   AccStreamTypes    bits: bit n-1 selects stream type n
//   AccStreamOpen     1 open streams, 2 closed ones
//   TaxpayersType     1 TaxpayersList are the owners, 2 their branches
//                     (with IncludeMainOrgDocs the owners' own too)
//   SignDate1/2       the signing dates, either may be empty
//   SignerSurname     a signer's surname (case and spaces ignored)
//   ContoraPrefix1/2  codes of the stream's first / second tax office
//                     begin with one of these ("77, 78"), joined by
//                     ContoraJoining 1 and, 2 or
//   WholePfrCluster   the other documents of each found pension-fund pack
//                     come along
// Templates, AccStreamsList and TaxpayersList are collections of
// identifiers (numbers, or records whose ID is taken).

#include "platform/automation/Object.h"

namespace qv::records {

class QvDocQuery : public Object {
 public:
  QvDocQuery();
  static const ClassInfo& Info();
  const ClassInfo& Class() const override { return Info(); }

 private:
  std::vector<Variant> values_;
};

}  // namespace qv::records
