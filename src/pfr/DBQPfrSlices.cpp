// DBQPfr: payment slices of individual-data sections, the manual sums of a
// person's account, and the documents a new one can be copied from.

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "pfr/DBQPfr.h"
#include "pfr/IntPfrCellValuesTable.h"
#include "pfr/mPfrInternal.h"
#include "pfr/mPfrQueries.h"
#include "platform/dao/Transaction.h"
#include "records/MapperSession.h"

namespace qv::pfr {
using namespace mQvDaoDataBase;
using namespace mPfrQueries;

namespace {

constexpr std::string_view kSliceProgId = "Qv_PfrActions.QvPfrSlicedSubDoc";
constexpr int32_t kMultiPaymentsKey = 200032;
constexpr int32_t kPaymentLinesKey = 208000;
// The keys of one payment; those of payment line n are 8000 above them.
constexpr int32_t kEnsurChargeKey = 200012, kCumulChargeKey = 200013;
constexpr int32_t kEnsurPaymentKey = 200024, kCumulPaymentKey = 200025;
constexpr int32_t kScatteringKey = 200029;
constexpr int32_t kLineKeyOffset = 8000;
// ContentType of a slice.
constexpr int32_t kPaymentsContent = 1, kKindOnlyContent = 2;

// The key of a payment's value and the line it is on (0: the single one).
int32_t KeyOf(int32_t aKey, int32_t aLine) {
  return aLine == 0 ? aKey : aKey + kLineKeyOffset;
}

// What every slice of a section shares.
struct Section {
  double id = 0;
  int32_t dataType = 0, lines = 0;
  bool multi = false;
};
Section ReadSection(records::IQvPfrCellsStorage& cells, double aSubDocID) {
  cells.SetSubDocID(aSubDocID);
  Section s;
  s.id = aSubDocID;
  s.dataType = mPfrInternal::GetIndDataType(cells.GetString(mPfrInternal::kIndDataTypeKey, 0, 0));
  s.multi = cells.GetBoolean(kMultiPaymentsKey, 0, 0);
  s.lines = cells.GetLong(kPaymentLinesKey, 0, 0);
  return s;
}

ObjectPtr NewSlice(const Section& s, int32_t aContentType) {
  ObjectPtr slice = mErrorHandling::CreateObjectErr(kSliceProgId);
  slice->Let("SubDocID", Variant(s.id));
  slice->Let("ContentType", Variant(aContentType));
  slice->Let("DataType", Variant(s.dataType));
  slice->Let("IsMultiPayments", Variant(s.multi));
  return slice;
}

// The slice of a payment (line 0: the single one) with its values.
ObjectPtr PaymentSlice(records::IQvPfrCellsStorage& cells, const Section& s, int32_t aLine) {
  ObjectPtr slice = NewSlice(s, kPaymentsContent);
  slice->Let("DynPaymentsNum", Variant(aLine));
  const std::pair<const char*, int32_t> money[] = {{"EnsurCharge", kEnsurChargeKey},
                                                   {"CumulCharge", kCumulChargeKey},
                                                   {"EnsurPayment", kEnsurPaymentKey},
                                                   {"CumulPayment", kCumulPaymentKey}};
  for (const auto& [name, key] : money)
    slice->Let(name, Variant(cells.GetMoney(KeyOf(key, aLine), aLine, 0)));
  slice->Let("PaymentScatteringType",
             Variant(cells.GetLong(KeyOf(kScatteringKey, aLine), aLine, 0)));
  return slice;
}

ObjectPtr SliceArgument(const ObjectPtr& aSlice) {
  if (!aSlice) ThrowVb(vberr::kObjectRequired, "a slice object was expected");
  return aSlice;
}

// Writes a slice's distribution kind and, for content 1, its payments.
void WriteSlice(records::IQvPfrCellsStorage& cells, Object& aSlice, int32_t aContentType) {
  const double subDoc = CDbl(aSlice.Get("SubDocID"));
  if (subDoc == 0) ThrowVb(vberr::kInvalidProcedureCall, "the slice names no sub-document");
  cells.SetSubDocID(subDoc);
  const int32_t kind = CLng(aSlice.Get("PaymentScatteringType"));
  if (aContentType == kKindOnlyContent) {
    const Variant lines = aSlice.Get("RecList");
    auto list =
        lines.IsObject() ? std::dynamic_pointer_cast<Collection>(lines.AsObject()) : nullptr;
    if (!CBool(aSlice.Get("IsMultiPayments")) || !list) {
      cells.SetLong(kScatteringKey, kind, 0, 0);
      return;
    }
    for (int32_t i = 1; i <= list->Count(); ++i) {
      const int32_t line = CLng(list->At(i));
      cells.SetLong(KeyOf(kScatteringKey, line), kind, line, 0);
    }
    return;
  }
  if (aContentType != kPaymentsContent)
    ThrowVb(vberr::kInvalidProcedureCall, "a slice's content type is 1 or 2");
  const int32_t line = CLng(aSlice.Get("DynPaymentsNum"));
  if (line < 0) ThrowVb(vberr::kInvalidProcedureCall, "a slice's payment line is 0 or more");
  cells.SetLong(KeyOf(kScatteringKey, line), kind, line, 0);
  cells.SetMoney(KeyOf(kEnsurPaymentKey, line), CDbl(aSlice.Get("EnsurPayment")), line, 0);
  cells.SetMoney(KeyOf(kCumulPaymentKey, line), CDbl(aSlice.Get("CumulPayment")), line, 0);
}

std::string ManualSumsWhere(double aAccStreamID, double aPfrPersonID) {
  return " where AccStreamID = " + Number2DaoSql(aAccStreamID) +
         " and PfrPersonID = " + Number2DaoSql(aPfrPersonID);
}

}  // namespace

void DBQPfr::SaveSlices(const CollectionPtr& aSlices) {
  Guard(QV_HERE, [&] {
    if (!aSlices) ThrowVb(vberr::kObjectRequired, "a collection of slices was expected");
    auto cells = IntPfrCellValuesTable::OpenSession();
    {
      dao::Transaction tx(*records::MapperUserDatabase(), dao::kWriteLock);
      for (int32_t i = 1; i <= aSlices->Count(); ++i) {
        const Variant& item = aSlices->At(i);
        if (!item.IsObject()) ThrowVb(vberr::kObjectRequired, "a slice object was expected");
        ObjectPtr slice = SliceArgument(item.AsObject());
        WriteSlice(*cells, *slice, CLng(slice->Get("ContentType")));
      }
      tx.Commit();
    }
    cells->CloseTable();
  });
}

void DBQPfr::SaveSlice(const ObjectPtr& aSlice, bool aKeepTableOpen) {
  Guard(QV_HERE, [&] {
    ObjectPtr slice = SliceArgument(aSlice);
    if (!sliceSession_) sliceSession_ = IntPfrCellValuesTable::OpenSession();
    try {
      dao::Transaction tx(*records::MapperUserDatabase(), dao::kWriteLock);
      WriteSlice(*sliceSession_, *slice, CLng(slice->Get("ContentType")));
      tx.Commit();
    } catch (...) {
      if (!aKeepTableOpen) sliceSession_.reset();
      throw;
    }
    if (!aKeepTableOpen) sliceSession_.reset();
  });
}

void DBQPfr::SaveSliceSDR(const ObjectPtr& aSDRecord, int32_t aContentType) {
  Guard(QV_HERE, [&] {
    ObjectPtr slice = SliceArgument(aSDRecord);
    auto cells = IntPfrCellValuesTable::OpenSession();
    dao::Transaction tx(*records::MapperUserDatabase(), dao::kWriteLock);
    WriteSlice(*cells, *slice, aContentType);
    tx.Commit();
  });
}

CollectionPtr DBQPfr::LoadSlicesForIndPaymentScattering(double aDocumentID) {
  return Guard(QV_HERE, [&] {
    auto out = std::make_shared<Collection>();
    if (aDocumentID == 0) return out;
    CollectionPtr ids =
        IdsOf("select ID from PfrSubDocs where DocumentID = " + Number2DaoSql(aDocumentID) +
              " and SubDocType = 7");
    if (ids->Count() == 0) return out;
    auto cells = IntPfrCellValuesTable::OpenSession();
    for (int32_t i = 1; i <= ids->Count(); ++i) {
      const Section s = ReadSection(*cells, CDbl(ids->At(i)));
      if (!s.multi) {
        out->Add(Variant(PaymentSlice(*cells, s, 0)));
        continue;
      }
      for (int32_t line = 1; line <= s.lines; ++line)
        out->Add(Variant(PaymentSlice(*cells, s, line)));
    }
    return out;
  });
}

ObjectPtr DBQPfr::LoadSliceForIndMassPaymentScatteringTypeSetting(double aSubDocID) {
  return Guard(QV_HERE, [&]() -> ObjectPtr {
    if (aSubDocID == 0) return nullptr;
    auto cells = IntPfrCellValuesTable::OpenSession();
    const Section s = ReadSection(*cells, aSubDocID);
    ObjectPtr slice = NewSlice(s, kKindOnlyContent);
    auto lines = std::make_shared<Collection>();
    if (s.multi)
      for (int32_t line = 1; line <= s.lines; ++line) lines->Add(Variant(line));
    slice->Let("RecList", Variant(ObjectPtr(lines)));
    const int32_t first = s.multi && s.lines > 0 ? 1 : 0;
    slice->Let("PaymentScatteringType",
               Variant(cells->GetLong(KeyOf(kScatteringKey, first), first, 0)));
    return slice;
  });
}

ado::RecordsetPtr DBQPfr::GetPeracManualSums(double aAccStreamID, double aPfrPersonID) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA("select * from PfrPAManualSums" +
                       ManualSumsWhere(aAccStreamID, aPfrPersonID));
  });
}

ado::RecordsetPtr DBQPfr::SetPeracManualSum(double aAccStreamID, double aPfrPersonID, int32_t aYear,
                                            int32_t aMonth, int32_t aValueType, bool aIsManual,
                                            double aValue) {
  return Guard(QV_HERE, [&] {
    const std::string where = ManualSumsWhere(aAccStreamID, aPfrPersonID) +
                              " and TheYear = " + Number2DaoSql(aYear) +
                              " and TheMonth = " + Number2DaoSql(aMonth) +
                              " and ValueType = " + Number2DaoSql(aValueType) + " ";
    const std::string value = Number2DaoSql(aValue);
    auto db = records::MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    if (!aIsManual) {
      QvExecuteSql("delete from PfrPAManualSums" + where);
    } else if (QvQueryExistence("select ID from PfrPAManualSums" + where)) {
      QvExecuteSql("update PfrPAManualSums set Summa = " + value + where);
    } else {
      QvExecuteSql(
          "insert into PfrPAManualSums (ID, AccStreamID, PfrPersonID, TheYear, TheMonth, "
          "ValueType, Summa) "
          "values (" +
          Number2DaoSql(NextId(db, "PfrPAManualSums", "ID")) + ", " + Number2DaoSql(aAccStreamID) +
          ", " + Number2DaoSql(aPfrPersonID) + ", " + Number2DaoSql(aYear) + ", " +
          Number2DaoSql(aMonth) + ", " + Number2DaoSql(aValueType) + ", " + value + ")");
    }
    tx.Commit();
    return GetPeracManualSums(aAccStreamID, aPfrPersonID);
  });
}

void DBQPfr::ClearPeracManualSums(double aAccStreamID, double aPfrPersonID) {
  Guard(QV_HERE, [&] {
    if (aAccStreamID == 0 || aPfrPersonID == 0) return;
    QvExecuteSql("delete from PfrPAManualSums" + ManualSumsWhere(aAccStreamID, aPfrPersonID));
  });
}

CollectionPtr DBQPfr::GetDocsToCopyFrom(double aAccStreamID, double aTemplateID,
                                        const Variant& aBegPeriodDate,
                                        const Variant& aEndPeriodDate,
                                        const std::string& aExcludeDocsID) {
  return Guard(QV_HERE, [&] {
    const std::string exclude =
        aExcludeDocsID.empty()
            ? ""
            : " and r.Document_ID not in (" + IdList2DaoSql(aExcludeDocsID, "aExcludeDocsID") + ")";
    return IdsOf(
        "select r.Document_ID AS ID "
        "from ( select r.Document_ID, t.beg_date, t.end_date, t.report_id "
        "from Doc_Registry AS r "
        "INNER JOIN time_by_month AS t ON t.time_id = r.time_id "
        "where r.taxpayer_id = " +

        Number2DaoSql(aAccStreamID) + " and r.template_id = " + Number2DaoSql(aTemplateID) +
        " and t.beg_date >= " + Date2DaoSql(aBegPeriodDate, "DateSerial(1899,12,31)") +
        " and t.end_date <= " + Date2DaoSql(aEndPeriodDate, "DateSerial(1899,12,31)") + exclude +
        ") Order by t.beg_date desc, t.report_id, r.document_id asc ");
  });
}

}  // namespace qv::pfr
