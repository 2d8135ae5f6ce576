#pragma once
// The mappers of the reference records. Each is its MapperDef (in its own
// .cpp file) over the shared engine; the read-only ones accept SaveRecord and
// DeleteRecord and do nothing.

#include "records/PlainMapper.h"

namespace qv::records {

#define QV_REFERENCE_MAPPER(Cls)        \
  class Cls : public PlainMapper<Cls> { \
    QV_DECLARE_CLASS(Cls)               \
                                        \
   public:                              \
    static const MapperDef& Def();      \
  };

QV_REFERENCE_MAPPER(DBAdrCountry)    // Country (990 always exists)
QV_REFERENCE_MAPPER(DBAdrRegion)     // Region
QV_REFERENCE_MAPPER(DBIdentityType)  // CertificateType
QV_REFERENCE_MAPPER(DBTemplType)     // Doc_Type_Class
QV_REFERENCE_MAPPER(DBTimePeriod)    // Time_By_Month, with the derived PeriodOrder
QV_REFERENCE_MAPPER(DBTemplate)      // Doc_Templates
QV_REFERENCE_MAPPER(DBTaxOffice)     // TaxOffice (system) and UserContoras (user, saved)
QV_REFERENCE_MAPPER(DBConsStream)    // ConsStream, saved
QV_REFERENCE_MAPPER(DBConsDocument)  // ConsDocs, saved, recursive over its stream

#undef QV_REFERENCE_MAPPER

// AccStreamOfrLicenses: the save names the owning accounting stream.
class DBOfrLicense : public PlainMapper<DBOfrLicense> {
  QV_DECLARE_CLASS(DBOfrLicense)

 public:
  static const MapperDef& Def();
  // aParentID is written to AccStreamID (the record's own value is not).
  void SaveRecord(const Variant& aRecord, bool aRecursive, double aParentID);
};

// PeriodOrder of a Report_ID: its place in the year's chronology, 99 when
// the code has none. The table is built once per thread.
int32_t PeriodOrderOf(int32_t reportId);

}  // namespace qv::records
