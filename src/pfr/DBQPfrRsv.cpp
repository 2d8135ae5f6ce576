// DBQPfr: the insurance-contribution reports, their correction sheets and
// the sums of a person's earlier reports in the year.

#include <cmath>
#include <map>
#include <unordered_map>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDBProviderFactory.h"
#include "pfr/DBQPfr.h"
#include "pfr/IntPfrCellValuesTable.h"
#include "pfr/mPfrQueries.h"
#include "queries/mCommonLookups.h"
#include "records/miDocument.h"

namespace qv::pfr {
using namespace mQvDaoDataBase;
using namespace mPfrQueries;

namespace {

constexpr int32_t kRsvSheetNumKey = 1021001;
constexpr int32_t kCorrNumKey = 1021002;
constexpr int32_t kCancellingKey = 1021003;
constexpr int32_t kRateLinesKey = 1024000;
constexpr int32_t kRateCodeKey = 1024005;
constexpr int32_t kRateTable = 1;
constexpr int kSums = 5;

// The personal sections of a contribution report's template.
struct RsvForm {
  int32_t templ;
  const char* types;
  bool several;  // a person may have several sections in one document
};
constexpr RsvForm kForms[] = {
    {548, "7, 17", false}, {638, "26", false}, {780, "38", true},
    {918, "51", true},     {940, "56", true},  {1035, "70", true},
};
const RsvForm* FormOf(double aTemplateID) {
  for (const RsvForm& f : kForms)
    if (f.templ == aTemplateID) return &f;
  return nullptr;
}

int32_t IntOrZero(const Variant& v) {
  return v.IsNull() || v.IsEmpty() ? 0 : CLng(v);
}

double ActualDocument(double aAccStreamID, double aTemplateID, double aTimeID) {
  return CDblOr(miDBProviderFactory::IntGetBlankQueries()->CallV(
                    "GetActualAdjustmentByTemplateAndInstance", aAccStreamID, aTemplateID, aTimeID,
                    int32_t{0}),
                0);
}

// The largest sheet number of a document; only template 638 numbers them.
int32_t MaxSheetNum(double aDocID, double aTemplateID) {
  if (aTemplateID != 638) return 0;
  return IntOrZero(
      QvQueryValue("select max (V) from ( select Val (c.Value) AS V from PfrCellValues AS c "
                   "where c.SubDocID in ( select s.ID from PfrSubDocs AS s where s.DocumentID = " +
                   Number2DaoSql(aDocID) +
                   " and s.SubDocType = 26) and c.Key = " + Number2DaoSql(kRsvSheetNumKey) + " )"));
}

int32_t MaxSheetNumOfChain(const std::vector<double>& aChain, double aTemplateID) {
  int32_t top = 0;
  for (double doc : aChain) top = std::max(top, MaxSheetNum(doc, aTemplateID));
  return top;
}

bool PersonInChain(const std::string& aChain, double aPfrPersonID) {
  return CLng(QvQueryValue("select count (*) AS RecCount  from PfrSubDocs AS s "
                           "where s.PfrPersonID = " +
                           Number2DaoSql(aPfrPersonID) + " and s.DocumentID in (" + aChain +
                           ") ")) > 0;
}

// The cumulative periods of the year before aTimeID (see DBQPfr.h), oldest
// first.
std::vector<queries::IntTimePeriodInfo> EarlierPeriods(double aTimeID) {
  int32_t year = 0, report = 0;
  std::vector<queries::IntTimePeriodInfo> periods;
  if (!queries::GetPeriodFromCache(aTimeID, year, report) || report < 14 || report > 16)
    return periods;
  for (int32_t r = 13; r < report; ++r)
    if (const auto* p = queries::GetPeriodByYearAndReport(year, r)) periods.push_back(*p);
  return periods;
}

// A result of the past sums: rows of a rate code and five sums, as the
// array (1 to n, 1 to 6) the caller holds.
class SumTable {
 public:
  explicit SumTable(const Variant& aArray) {
    if (!aArray.IsArray()) return;
    const VariantArray& a = aArray.AsArray();
    if (a.dims.size() != 2 || a.dims[1].count != kSums + 1)
      ThrowVb(vberr::kTypeMismatch, "a result must be an array (1 to n, 1 to 6)");
    const int32_t n = a.dims[0].count;
    for (int32_t r = 0; r < n; ++r) {
      Row& row = rows_.emplace_back();
      row.code = CStr(a.items[r]);
      for (int k = 0; k < kSums; ++k) row.sums[k] = CDblOr(a.items[r + (k + 1) * n], 0);
    }
  }
  // The row of a rate code, added with zero sums when it is new.
  std::array<double, kSums>& Sums(const std::string& aCode) {
    for (Row& row : rows_)
      if (row.code == aCode) return row.sums;
    Row& row = rows_.emplace_back();
    row.code = aCode;
    return row.sums;
  }
  void Add(const std::string& aCode, const std::array<double, kSums>& aLine) {
    std::array<double, kSums>& sums = Sums(aCode);
    for (int k = 0; k < kSums; ++k) sums[k] = std::round((sums[k] + aLine[k]) * 100) / 100;
  }
  bool HasRows() const { return !rows_.empty(); }
  Variant ToVariant() const {
    const int32_t n = static_cast<int32_t>(rows_.size());
    VariantArray a;
    a.dims = {{1, n}, {1, kSums + 1}};
    a.items.resize(static_cast<size_t>(n) * (kSums + 1));
    for (int32_t r = 0; r < n; ++r) {
      a.items[r] = Variant(rows_[r].code);
      for (int k = 0; k < kSums; ++k) a.items[r + (k + 1) * n] = Variant(rows_[r].sums[k]);
    }
    return Variant(std::move(a));
  }

 private:
  struct Row {
    std::string code;
    std::array<double, kSums> sums{};
  };
  std::vector<Row> rows_;
};

// The caller's session, or a new one handed back through the argument.
records::IQvPfrCellsStorage& SessionOf(Variant& rSession) {
  if (rSession.IsObject() && rSession.AsObject()) {
    auto* cells = dynamic_cast<records::IQvPfrCellsStorage*>(rSession.AsObject().get());
    if (!cells) ThrowVb(vberr::kTypeMismatch, "aPfrCellsSession must be a cell-storage session");
    return *cells;
  }
  auto session = IntPfrCellValuesTable::OpenSession();
  rSession = Variant(ObjectPtr(session));
  return *session;
}

// One member of the past-sums family: template and personal-section type.
void PastSums(double aAccStreamID, double aTimeID, double aPfrPersonID, double aTemplateID,
              int32_t aSubDocType, const std::string& aMainRate, Variant& rMainResult,
              const std::string& aAddRate, Variant& rAddResult, Variant& rSession) {
  struct Target {
    const std::string& rate;
    Variant& result;
    SumTable table;
    bool Takes(const std::string& code) const { return rate == "*" || rate == code; }
  };
  std::vector<Target> targets;
  targets.reserve(2);
  const std::pair<const std::string*, Variant*> given[] = {{&aMainRate, &rMainResult},
                                                           {&aAddRate, &rAddResult}};
  for (const auto& [rate, result] : given) {
    if (rate->empty()) continue;
    Target& t = targets.emplace_back(Target{*rate, *result, SumTable(*result)});
    if (*rate != "*") t.table.Sums(*rate);
  }
  // A result without rows stays as the caller gave it.
  const auto handBack = [&] {
    for (Target& t : targets)
      if (t.table.HasRows() || t.result.IsArray()) t.result = t.table.ToVariant();
  };
  if (targets.empty() || aPfrPersonID == 0) return handBack();
  records::IQvPfrCellsStorage& cells = SessionOf(rSession);
  const std::string type = Number2DaoSql(aSubDocType);
  for (const queries::IntTimePeriodInfo& period : EarlierPeriods(aTimeID)) {
    const double doc = ActualDocument(aAccStreamID, aTemplateID, period.TimeID);
    if (doc == 0) continue;
    const double section = FirstIdOf(PersonSubDocsSql(doc, aPfrPersonID, type, true));
    if (section == 0) continue;
    cells.SetSubDocID(section);
    const int32_t lines = cells.GetLong(kRateLinesKey, 0, 0);
    for (int32_t line = 1; line <= lines; ++line) {
      const std::string code = cells.GetString(kRateCodeKey, line, kRateTable);
      bool wanted = false;
      for (const Target& t : targets) wanted = wanted || t.Takes(code);
      if (!wanted) continue;
      std::array<double, kSums> amounts{};
      for (int k = 0; k < kSums; ++k)
        for (int32_t month = 1; month <= 3; ++month)
          amounts[k] += cells.GetMoney(kRateLinesKey + 10 * (k + 1) + month, line, kRateTable);
      for (Target& t : targets)
        if (t.Takes(code)) t.table.Add(code, amounts);
    }
  }
  handBack();
}

}  // namespace

CollectionPtr DBQPfr::GetRsv1DocsForSending(double aAccStreamID, double aTimePeriodID) {
  return Guard(QV_HERE, [&]() -> CollectionPtr {
    if (aAccStreamID == 0) return std::make_shared<Collection>();
    const Variant owner = QvQueryFirstValueSafe("select PersonID from AccStream where ID = " +
                                                Number2DaoSql(aAccStreamID));
    if (owner.IsNull() || owner.IsEmpty()) return std::make_shared<Collection>();
    CollectionPtr streams =
        IdsOf("select a.ID From AccStream AS a where a.PersonID = " + Number2DaoSql(CDbl(owner)) +
              " AND a.AccStreamType = 4");
    std::vector<double> ids;
    for (int32_t i = 1; i <= streams->Count(); ++i) ids.push_back(CDbl(streams->At(i)));
    if (ids.empty()) return std::make_shared<Collection>();
    return IdsOf(
        "select d.document_id AS ID from Doc_Registry AS d "
        "left join doc_templates AS t ON t.template_id = d.template_id "
        "where t.doc_type_id = 168 and d.time_id = " +
        Number2DaoSql(aTimePeriodID) +
        " and d.status_qv in (2, 3) and d.top_doc_id = 0 and d.taxpayer_id in (" + NumList(ids) +
        ") order by time_id desc ");
  });
}

double DBQPfr::GetLatestRsv1DocumentInPeriod(double aAccStreamID, double aTimeID,
                                             bool aOnlyWithSection6) {
  return Guard(QV_HERE, [&]() -> double {
    CollectionPtr docs =
        IdsOf("select d.document_id AS ID from Doc_Registry AS d where d.Taxpayer_ID = " +
              Number2DaoSql(aAccStreamID) + " and d.Time_ID = " + Number2DaoSql(aTimeID) +
              " and d.Template_ID = 548 order by d.instance_number desc, d.document_id desc ");
    for (int32_t i = 1; i <= docs->Count(); ++i) {
      const double doc = CDbl(docs->At(i));
      if (!aOnlyWithSection6 ||
          QvQueryExistence("select top 1 s.ID from PfrSubDocs AS s where s.DocumentID = " +
                           Number2DaoSql(doc) + " and s.SubDocType in (7, 17) "))
        return doc;
    }
    return 0;
  });
}

double DBQPfr::GetLatestRsv2017DocumentInPeriod(double aAccStreamID, double aTimeID) {
  return Guard(QV_HERE, [&] { return ActualDocument(aAccStreamID, 638, aTimeID); });
}
double DBQPfr::GetLatestRsv2020DocumentInPeriod(double aAccStreamID, double aTimeID) {
  return Guard(QV_HERE, [&] { return ActualDocument(aAccStreamID, 780, aTimeID); });
}
double DBQPfr::GetLatestRsv2022DocumentInPeriod(double aAccStreamID, double aTimeID) {
  return Guard(QV_HERE, [&] { return ActualDocument(aAccStreamID, 918, aTimeID); });
}
double DBQPfr::GetLatestRsv2023DocumentInPeriod(double aAccStreamID, double aTimeID) {
  return Guard(QV_HERE, [&] { return ActualDocument(aAccStreamID, 940, aTimeID); });
}
double DBQPfr::GetLatestRsv2025DocumentInPeriod(double aAccStreamID, double aTimeID) {
  return Guard(QV_HERE, [&] { return ActualDocument(aAccStreamID, 1035, aTimeID); });
}

int32_t DBQPfr::GetRsvMaxCorrNum(double aDocID, double aPfrPersonID) {
  return Guard(QV_HERE, [&]() -> int32_t {
    if (aDocID == 0 || aPfrPersonID == 0) return 0;
    const std::string chain = NumList(miDocument::GetCorrectionChain(aDocID));
    if (chain.empty() || !PersonInChain(chain, aPfrPersonID)) return 0;
    return IntOrZero(
        QvQueryValue("select Max (V) AS MaxValue From ( select Val (c.Value) AS V "
                     "from PfrSubDocs AS s LEFT JOIN PfrCellValues AS c ON c.SubDocID = s.ID "
                     "where s.PfrPersonID = " +
                     Number2DaoSql(aPfrPersonID) + " and s.DocumentID in (" + chain +
                     ") and c.Key = " + Number2DaoSql(kCorrNumKey) + " )"));
  });
}

void DBQPfr::GetRsvNewSheetAndCorrNum(double aDocID, double aTemplateID, bool aIsAdjustment,
                                      double aPfrPersonID, int32_t& rSheetNum, int32_t& rCorrNum) {
  Guard(QV_HERE, [&] {
    if (aDocID == 0) return;
    rCorrNum = 0;
    if (!aIsAdjustment) {
      rSheetNum = MaxSheetNum(aDocID, aTemplateID) + 1;
      return;
    }
    const std::vector<double> chain = miDocument::GetCorrectionChain(aDocID);
    const std::string list = NumList(chain);
    if (aPfrPersonID != 0 && !list.empty() && PersonInChain(list, aPfrPersonID)) {
      DaoRecordsetPtr rs = QvQuerySqlStatic(
          "select top 1 * from ( select * from ( "
          "select iif (IsNull(V1), 0, Val (V1)) AS SheetNum, "
          "iif (IsNull(V2), 0, Val (V2)) AS CorrNum from ( "
          "select (select c1.Value from PfrCellValues as c1 "
          "where c1.SubDocID = s.ID and c1.Key = 1021001) AS V1, "
          "(select c2.Value from PfrCellValues as c2 "
          "where c2.SubDocID = s.ID and c2.Key = 1021002) AS V2 "
          "from PfrSubDocs as s "
          "where s.DocumentID in (" +
          list + ") and s.PfrPersonID = " + Number2DaoSql(aPfrPersonID) +
          " ) ) "
          "order by CorrNum desc ) ");
      rSheetNum = GetDaoLong(*rs, "SheetNum");
      rCorrNum = GetDaoLong(*rs, "CorrNum") + 1;
      rs->Close();
      return;
    }
    rSheetNum = MaxSheetNumOfChain(chain, aTemplateID) + 1;
  });
}

int32_t DBQPfr::GetRsvStartSheetNumForRenumbering(double aDocID, double aTemplateID) {
  return Guard(QV_HERE, [&] {
    if (aDocID == 0) return 0;
    return MaxSheetNumOfChain(miDocument::GetCorrectionChain(aDocID), aTemplateID) + 1;
  });
}

double DBQPfr::GetRsvPreceededCorrectedSubDoc(double aDocID, double aPfrPersonID,
                                              double aTemplateID) {
  return Guard(QV_HERE, [&]() -> double {
    const RsvForm* form = FormOf(aTemplateID);
    if (!form || form->templ == 548 || aDocID == 0 || aPfrPersonID == 0) return 0;
    const bool skipCancelling = form->templ != 638;
    for (double doc : miDocument::GetCorrectionChain(aDocID)) {
      CollectionPtr ids = IdsOf(PersonSubDocsSql(doc, aPfrPersonID, form->types, false));
      for (int32_t i = 1; i <= ids->Count(); ++i) {
        const double id = CDbl(ids->At(i));
        if (!skipCancelling || CellText(id, kCancellingKey) != "1") return id;
      }
    }
    return 0;
  });
}

CollectionPtr DBQPfr::GetRsvAllActualSubDocIDs(double aDocID, bool aSortByFio) {
  return Guard(QV_HERE, [&] {
    auto out = std::make_shared<Collection>();
    if (aDocID == 0) return out;
    const RsvForm* form = FormOf(
        CDblOr(QvQueryFirstValueSafe("select template_id from Doc_Registry where document_id = " +
                                     Number2DaoSql(aDocID)),
               0));
    if (!form) return out;
    const std::vector<double> chain = miDocument::GetCorrectionChain(aDocID);
    if (chain.empty()) return out;
    std::unordered_map<double, size_t> age;  // 0 for the newest document
    for (size_t i = 0; i < chain.size(); ++i) age.emplace(chain[i], i);
    DaoRecordsetPtr rs = QvQuerySqlStatic(
        "select s.ID As SubDocID, s.DocumentID, s.PfrPersonID, s.SubDocType "
        "from PfrSubDocs as s LEFT JOIN PfrPersons AS p ON p.ID = s.PfrPersonID "
        "where s.DocumentID in (" +
        NumList(chain) + ") and s.SubDocType in (" + form->types + ")" +
        (aSortByFio ? " Order By UCase(p.Surname), UCase (p.Name), UCase (p.Patronymic) " : ""));
    struct Kept {
      TRsvSortItem item;
      size_t age = 0;
    };
    std::vector<Kept> persons;
    std::unordered_map<double, size_t> index;  // person -> persons
    for (DaoSafeMoveFirst(*rs); !rs->IsEOF(); rs->MoveNext()) {
      const double id = GetDaoDouble(*rs, "SubDocID");
      const size_t docAge = age.at(GetDaoDouble(*rs, "DocumentID"));
      const auto [it, isNew] = index.emplace(GetDaoDouble(*rs, "PfrPersonID"), persons.size());
      if (isNew) {
        persons.push_back({{}, docAge});
        persons.back().item.AddSubDocID(id);
        continue;
      }
      Kept& kept = persons[it->second];
      if (docAge < kept.age) {
        kept.item.ClearAndSetSubDocID(id);
        kept.age = docAge;
      } else if (docAge == kept.age && form->several) {
        kept.item.AddSubDocID(id);
      }
    }
    rs->Close();
    for (const Kept& kept : persons)
      for (double id : kept.item.SubDocIDs()) out->Add(Variant(id));
    return out;
  });
}

double DBQPfr::GetRsvPastSubDocIDForPerson(double aAccStreamID, double aTimeID,
                                           double aPfrPersonID) {
  return Guard(QV_HERE, [&]() -> double {
    if (aPfrPersonID == 0) return 0;
    const std::vector<queries::IntTimePeriodInfo> periods = EarlierPeriods(aTimeID);
    if (periods.empty()) return 0;
    std::vector<double> ids;
    for (const auto& p : periods) ids.push_back(p.TimeID);
    const int32_t report = IntOrZero(QvQueryValue(
        "select max (t.report_id) "
        "from ( select * "
        "from (Doc_Registry AS d left join Time_By_Month AS t ON t.time_id = d.time_id) "
        "left join PfrSubDocs AS s ON s.DocumentID = d.Document_ID "
        "where d.Taxpayer_ID = " +
        Number2DaoSql(aAccStreamID) + " and d.Time_ID in (" + NumList(ids) +
        ") and s.PfrPersonID = " + Number2DaoSql(aPfrPersonID) + " and s.SubDocType = 26 ) "));
    for (const auto& p : periods) {
      if (p.ReportID != report) continue;
      const double doc = ActualDocument(aAccStreamID, 317, p.TimeID);
      return doc == 0 ? 0 : FirstIdOf(PersonSubDocsSql(doc, aPfrPersonID, "26", true));
    }
    return 0;
  });
}

#define QV_PAST_SUMS(Name, Template, Type)                                                       \
  void DBQPfr::Name(double aAccStreamID, double aTimeID, double aPfrPersonID,                    \
                    const std::string& aMainRate, Variant& rMainResult,                          \
                    const std::string& aAddRate, Variant& rAddResult, Variant& aPfrCellsSession, \
                    const Variant&) {                                                            \
    Guard(QV_HERE, [&] {                                                                         \
      PastSums(aAccStreamID, aTimeID, aPfrPersonID, Template, Type, aMainRate, rMainResult,      \
               aAddRate, rAddResult, aPfrCellsSession);                                          \
    });                                                                                          \
  }
QV_PAST_SUMS(CalcRsvPastSumsForPerson2, 638, 26)
QV_PAST_SUMS(CalcRsvPastSumsForPerson2020, 780, 38)
QV_PAST_SUMS(CalcRsvPastSumsForPerson2022, 918, 51)
QV_PAST_SUMS(CalcRsvPastSumsForPerson2023, 940, 56)
QV_PAST_SUMS(CalcRsvPastSumsForPerson2025, 1035, 70)
#undef QV_PAST_SUMS

void DBQPfr::CalcRsvPastSumsForPerson(double aAccStreamID, double aTimeID, double aPfrPersonID,
                                      const std::string& aMainRate, Variant& rMainResult,
                                      const std::string& aAddRate, Variant& rAddResult,
                                      Variant& aPfrCellsSession) {
  Guard(QV_HERE, [&] {
    PastSums(aAccStreamID, aTimeID, aPfrPersonID, 317, 26, aMainRate, rMainResult, aAddRate,
             rAddResult, aPfrCellsSession);
  });
}

ado::RecordsetPtr DBQPfr::CollectSheetedCells(const Variant& aAccStreamID, const Variant& aYear,
                                              const Variant& aTemplateID,
                                              const Variant& aSubDocType, double aPfrPersonID,
                                              Variant& aCells) {
  return Guard(QV_HERE, [&] {
    std::string columns;
    for (const Variant& key : Elements(aCells)) {
      if (key.IsEmpty() || key.IsMissing()) continue;
      const std::string k = Number2DaoSql(CLng(key));
      columns +=
          ", (select top 1 [Value] from PfrCellValues where SubDocID = sd.ID and [Key] = " + k +
          ") AS K" + k;
    }
    return QvQuerySqlA(
        "select sd.DocumentID AS DocumentID, sd.ID AS SubDocID, mo.the_year as RepYear, "
        "mo.Report_ID AS RepMonth" +
        columns +
        " from (PfrSubDocs AS sd left join Doc_Registry AS doc ON doc.Document_ID = sd.DocumentID) "
        "left join time_by_month AS mo ON mo.time_id = doc.Time_ID "

        "where sd.PfrPersonID = " +
        Number2DaoSql(aPfrPersonID) + " and sd.SubDocType = " + Number2DaoSql(CDbl(aSubDocType)) +
        " and sd.DocumentID in ( "
        "select di.document_id from Doc_Registry AS di "
        "left join time_by_month as mi ON mi.time_id = di.time_id "
        "where di.taxpayer_id = " +
        Number2DaoSql(CDbl(aAccStreamID)) + " and mi.the_year = " + Number2DaoSql(CDbl(aYear)) +
        " and di.template_id = " + Number2DaoSql(CDbl(aTemplateID)) +
        " ) "
        "Order by doc.Time_ID, sd.DocumentID ");
  });
}

}  // namespace qv::pfr
