#include "siblings/kprapplied/KprDocument.h"

#include "platform/automation/VbaDate.h"

namespace qv::kprapplied {

namespace {

// The last month of a period (1..12); 12 for codes that are no month,
// quarter or half-year.
int32_t ClosingMonth(int32_t reportId) {
  if (reportId >= 1 && reportId <= 12) return reportId;
  if (reportId >= 13 && reportId <= 16) return (reportId - 12) * 3;
  if (reportId == 19) return 6;
  return 12;
}

bool ClosesYear(int32_t reportId) {
  return reportId == 16 || reportId == 17 || reportId == 20 || reportId == 21 || reportId == 24;
}

// Saturday and Sunday move to the next Monday.
OleDate WorkingDay(OleDate d) {
  const int32_t wd = Weekday(d);  // 1 Sunday .. 7 Saturday
  if (wd == 7) return OleDate{d.serial + 2};
  if (wd == 1) return OleDate{d.serial + 1};
  return d;
}

ObjectPtr ObjectOf(const Variant& v) {
  if (!v.IsObject() || !v.AsObject()) ThrowVb(vberr::kObjectRequired, "an object was expected");
  return v.AsObject();
}

}  // namespace

Terms TermsOf(std::string_view knd, int32_t year, int32_t reportId, bool naturalPerson) {
  const bool closesYear = ClosesYear(reportId);
  const bool wholeYear = reportId == 17 || reportId == 21 || reportId == 24;
  // The 25th of the month after the period (the month after December is
  // January of the next year: DateSerial rolls over).
  OleDate term = DateSerial(year, ClosingMonth(reportId) + 1, 25);
  if (knd == "0710099")
    term = DateSerial(year + 1, 3, 31);
  else if (knd == "1151006" && closesYear)
    term = DateSerial(year + 1, 3, 25);
  else if (knd == "1151100" && closesYear)
    term = DateSerial(year + 1, 2, 25);
  else if (knd == "1152017")
    term = DateSerial(year + 1, naturalPerson ? 4 : 3, 25);
  else if (knd == "1152026" || wholeYear)
    term = DateSerial(year + 1, 3, 25);
  const DateParts p = SplitDate(term);
  OleDate payment = DateSerial(p.year, p.month, 28);
  if (payment.serial < term.serial) payment = term;
  return {WorkingDay(term), WorkingDay(payment)};
}

void KprDocument::CalcDates(const Variant& aTemplate, int32_t aYear, int32_t aReportID,
                            const Variant& aAccStream) {
  const std::string knd = CStr(ObjectOf(ObjectOf(aTemplate)->Get("Doc_Type"))->Get("KND"));
  const bool natural = CLng(ObjectOf(ObjectOf(aAccStream)->Get("Person"))->Get("Type")) == 1;
  const Terms t = TermsOf(knd, aYear, aReportID, natural);
  accept_ = Today();
  acceptTerm_ = t.accept;
  paymentTerm_ = t.payment;
}

QV_DEFINE_CLASS(KprDocument, "KS_KPRApplied.Document", QV_CREATABLE(KprDocument),
                Method("CalcDates(aTemplate, aYear, aReportID, aAccStream)",
                       &KprDocument::CalcDates),
                Method("AcceptDate", &KprDocument::AcceptDate),
                Method("AcceptTerm", &KprDocument::AcceptTerm),
                Method("PaymentTerm", &KprDocument::PaymentTerm))

}  // namespace qv::kprapplied
