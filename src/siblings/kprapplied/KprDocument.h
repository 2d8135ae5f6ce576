#pragma once
// Stand-in for "KS_KPRApplied.Document", the application's service that
// dates a new report document. CalcDates(aTemplate, aYear, aReportID,
// aAccStream) works out, from the form (the KND of the template's document
// class, read late-bound as aTemplate.Doc_Type.KND), the reporting period
// (year and report code) and the filer (aAccStream.Person.Type: 1 natural
// person, else an organisation), the three dates it then offers as
// properties:
//   AcceptDate   the date of the call (the date the report is made)
//   AcceptTerm   the deadline for submitting it
//   PaymentTerm  the deadline for paying what it declares: the 28th of the
//                deadline's month, or the deadline itself when that is later
// A deadline falling on a Saturday or Sunday moves to the next Monday
// (public holidays are not known here). Deadlines, by form:
//   0710099 accounts                          31 March of the next year
//   1151006 profit tax     year: 25 March;    else the 25th after the period
//   1151100 6-NDFL         year: 25 February; else the 25th after the period
//   1152017 simplified tax organisations 25 March, entrepreneurs 25 April
//                          of the next year
//   1152026 property tax                      25 March of the next year
//   others (VAT, insurance contributions ...) the 25th of the month after
//                          the period; a whole year (17, 21, 24): 25 March
// "year:" is a period that closes the year: the year itself, the fourth
// quarter (16) or the second half-year (20).

#include <cstdint>

#include "platform/automation/Object.h"

namespace qv::kprapplied {

class KprDocument : public Object {
  QV_DECLARE_CLASS(KprDocument)

 public:
  void CalcDates(const Variant& aTemplate, int32_t aYear, int32_t aReportID,
                 const Variant& aAccStream);
  OleDate AcceptDate() const { return accept_; }
  OleDate AcceptTerm() const { return acceptTerm_; }
  OleDate PaymentTerm() const { return paymentTerm_; }

 private:
  OleDate accept_{}, acceptTerm_{}, paymentTerm_{};
};

// The deadline and payment deadline of a form (its KND) for a period, as
// CalcDates computes them.
struct Terms {
  OleDate accept, payment;
};
Terms TermsOf(std::string_view knd, int32_t year, int32_t reportId, bool naturalPerson);

}  // namespace qv::kprapplied
