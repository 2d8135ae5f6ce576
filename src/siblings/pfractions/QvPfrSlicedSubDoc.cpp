#include "siblings/pfractions/QvPfrSlicedSubDoc.h"

namespace qv::pfractions {

#define QV_SLICE_MEMBER(Name) \
  Property(#Name, &QvPfrSlicedSubDoc::Get##Name, &QvPfrSlicedSubDoc::Let##Name)
QV_DEFINE_CLASS(QvPfrSlicedSubDoc, "Qv_PfrActions.QvPfrSlicedSubDoc",
                QV_CREATABLE(QvPfrSlicedSubDoc), QV_SLICE_MEMBER(SubDocID),
                QV_SLICE_MEMBER(ContentType), QV_SLICE_MEMBER(DataType),
                QV_SLICE_MEMBER(IsMultiPayments), QV_SLICE_MEMBER(RecList),
                QV_SLICE_MEMBER(DynPaymentsNum), QV_SLICE_MEMBER(EnsurCharge),
                QV_SLICE_MEMBER(CumulCharge), QV_SLICE_MEMBER(EnsurPayment),
                QV_SLICE_MEMBER(CumulPayment), QV_SLICE_MEMBER(PaymentScatteringType))
#undef QV_SLICE_MEMBER

}  // namespace qv::pfractions
