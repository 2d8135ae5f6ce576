#pragma once
// Stand-in for "Qv_PfrActions.QvPfrSlicedSubDoc", the application's slice of
// an individual-data section: one payment of the section as the payment
// distribution sees it. A value with a get and a let per property and no
// behaviour; the data-access library fills and reads it late-bound.
//
//   SubDocID               the section
//   ContentType            what the slice carries (the library's choice)
//   DataType               the kind of individual data (its code)
//   IsMultiPayments        the section has several payment lines
//   RecList                the payment lines a kind applies to (a collection)
//   DynPaymentsNum         the payment line (0: the single payment)
//   EnsurCharge, CumulCharge, EnsurPayment, CumulPayment
//                          insurance / funded charges and payments
//   PaymentScatteringType  the distribution kind

#include <cstdint>

#include "platform/automation/Object.h"
#include "platform/automation/ValueProperty.h"

namespace qv::pfractions {

class QvPfrSlicedSubDoc : public Object {
  QV_DECLARE_CLASS(QvPfrSlicedSubDoc)

  QV_VALUE_PROPERTY(double, SubDocID, 0)
  QV_VALUE_PROPERTY(int32_t, ContentType, 0)
  QV_VALUE_PROPERTY(int32_t, DataType, 0)
  QV_VALUE_PROPERTY(bool, IsMultiPayments, false)
  QV_VALUE_PROPERTY(Variant, RecList, Variant::Nothing())
  QV_VALUE_PROPERTY(int32_t, DynPaymentsNum, 0)
  QV_VALUE_PROPERTY(double, EnsurCharge, 0)
  QV_VALUE_PROPERTY(double, CumulCharge, 0)
  QV_VALUE_PROPERTY(double, EnsurPayment, 0)
  QV_VALUE_PROPERTY(double, CumulPayment, 0)
  QV_VALUE_PROPERTY(int32_t, PaymentScatteringType, 0)
};

}  // namespace qv::pfractions
