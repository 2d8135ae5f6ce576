#include "doctables/TBigTableIterator.h"

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"

namespace qv::doctables {

using mQvDaoDataBase::Number2DaoSql;

void TBigTableIterator::InitAsNdsSubDocsIterator(const std::shared_ptr<dao::Database>& aShard0,
                                                 double aVolumeID) {
  Guard(QV_HERE, [&] {
    mode_ = kVolumeSubDocs;
    db_ = aShard0;
    volumeId_ = aVolumeID;
    count_ = -1;
    rs_ = mQvDaoDataBase::QvGetTableRS("SubDocs", "Vol", db_);
    volumeField_ = rs_->FieldIndex("VolumeID");
    const Variant key[1] = {Variant(aVolumeID)};
    rs_->Seek("=", key);
    eof_ = rs_->NoMatch();
    if (!eof_) CalcIsEof();
  });
}

void TBigTableIterator::CalcIsEof() {
  eof_ = eof_ || !rs_ || rs_->IsEOF() ||
         (mode_ == kVolumeSubDocs && CDbl(rs_->FieldValue(volumeField_)) != volumeId_);
}

int32_t TBigTableIterator::Count() {
  return Guard(QV_HERE, [&] {
    if (count_ < 0)
      count_ = CLng(mQvDaoDataBase::QvQueryValue(
          "select count(*) from SubDocs where VolumeID = " + Number2DaoSql(volumeId_), Variant(),
          db_));
    return count_;
  });
}

void TBigTableIterator::MoveNext() {
  Guard(QV_HERE, [&] {
    if (eof_) ThrowVb(vberr::kInvalidProcedureCall, "the walk is at its end");
    rs_->MoveNext();
    CalcIsEof();
  });
}

Variant TBigTableIterator::GetField(const std::string& aName) {
  return Guard(QV_HERE, [&] { return eof_ ? Variant() : rs_->FieldValue(aName); });
}

std::string TBigTableIterator::GetString(const std::string& aName, const std::string& aDefault) {
  return Guard(QV_HERE, [&] {
    return eof_ ? aDefault : mQvDaoDataBase::GetDaoStringDef(*rs_, aName, aDefault);
  });
}

int32_t TBigTableIterator::GetLong(const std::string& aName, int32_t aDefault) {
  return Guard(QV_HERE, [&] {
    return eof_ ? aDefault : mQvCommonCalc::VarToLongDef(rs_->FieldValue(aName), aDefault);
  });
}

double TBigTableIterator::GetDouble(const std::string& aName, double aDefault) {
  return Guard(QV_HERE, [&] {
    return eof_ ? aDefault : mQvDaoDataBase::GetDaoDoubleDef(*rs_, aName, aDefault);
  });
}

Variant TBigTableIterator::GetDate(const std::string& aName) {
  return Guard(QV_HERE, [&] {
    if (eof_) return Variant();
    const Variant& v = rs_->FieldValue(aName);
    return v.IsEmptyOrNull() ? Variant() : Variant(CDate(v));
  });
}

QV_DEFINE_CLASS(TBigTableIterator, "Qv_DBProvider.TBigTableIterator", nullptr,
                Method("Count", &TBigTableIterator::Count),
                Method("MoveNext", &TBigTableIterator::MoveNext),
                Method("IsEOF", &TBigTableIterator::IsEOF),
                Method("GetField", &TBigTableIterator::GetField),
                Method("GetString", &TBigTableIterator::GetString, {Variant("")}),
                Method("GetLong", &TBigTableIterator::GetLong, {Variant(int32_t{0})}),
                Method("GetDouble", &TBigTableIterator::GetDouble, {Variant(0.0)}),
                Method("GetDate", &TBigTableIterator::GetDate))

}  // namespace qv::doctables
