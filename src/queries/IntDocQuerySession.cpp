#include "queries/IntDocQuerySession.h"

#include <cmath>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Recordset.h"
#include "queries/mQueryLists.h"
#include "records/miRecCollection.h"
#include "siblings/records/RecordFactory.h"

namespace qv::queries {

using namespace mQvDaoDataBase;

namespace {

std::string ListCondition(std::string_view field, const std::vector<double>& ids) {
  const std::string f(field);
  if (ids.empty()) return f + " = -100";
  if (ids.size() == 1) return f + " = " + Number2DaoSql(ids[0]);
  std::string list;
  for (double id : ids) list += (list.empty() ? "" : ", ") + Number2DaoSql(id);
  return f + " in (" + list + ")";
}

// The values whose bit is set in `bits`: bit 0 gives values[0] ...
template <size_t K>
std::vector<double> FromBits(int32_t bits, const std::vector<double> (&values)[K]) {
  std::vector<double> out;
  for (size_t b = 0; b < K; ++b)
    if (bits & (1 << b)) out.insert(out.end(), values[b].begin(), values[b].end());
  return out;
}

// Report codes of each kind of period (PeriodTypes bits).
const std::vector<double> kPeriodKinds[] = {
    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {13, 14, 15, 16}, {19, 20}, {17}, {18, 21, 23, 24}};

double IdOf(const Variant& item) {
  if (item.IsObject()) return CDbl(item.AsObject()->Get("ID"));
  return CDbl(item);
}

std::string Upper(const Variant& v) {
  return UCase(Trim(CStr(v)));
}

double DayOf(const Variant& v) {
  return std::floor(CDate(v).serial);
}

bool IsDate(const Variant& v) {
  return !v.IsEmpty() && !v.IsNull() && DayOf(v) != 0;
}

// The prefixes of a "77, 78" text.
std::vector<std::string> Prefixes(const std::string& text) {
  std::vector<std::string> out;
  std::string current;
  for (char c : text + " ") {
    if (c == ',' || c == ' ') {
      if (!current.empty()) out.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  return out;
}

bool CodeBeginsWithOne(const Variant& taxOffice, const std::vector<std::string>& prefixes) {
  if (prefixes.empty()) return true;
  const std::string code = CStr(taxOffice.AsObject()->Get("Code"));
  for (const std::string& p : prefixes)
    if (code.starts_with(p)) return true;
  return false;
}

}  // namespace

IntDocQuerySession::IntDocQuerySession(ObjectPtr aQuery) : query_(std::move(aQuery)) {
  if (!query_) ThrowVb(vberr::kObjectRequired, "a query object was expected");
}

bool IntDocQuerySession::On(std::string_view criterion) const {
  return CBool(query_->Get(criterion));
}

Variant IntDocQuerySession::Value(std::string_view criterion) const {
  return query_->Get(criterion);
}

std::vector<double> IntDocQuerySession::Ids(std::string_view criterion) const {
  const Variant v = Value(criterion);
  auto list = v.IsObject() ? std::dynamic_pointer_cast<Collection>(v.AsObject()) : nullptr;
  if (!list)
    ThrowVb(vberr::kTypeMismatch, std::string(criterion) + " is not a collection of identifiers");
  std::vector<double> ids;
  for (int32_t i = 1; i <= list->Count(); ++i) ids.push_back(IdOf(list->At(i)));
  return ids;
}

void IntDocQuerySession::Add(const std::string& condition) {
  where_ += (where_.empty() ? "" : " and ") + (" (" + condition + ") ");
}

void IntDocQuerySession::AddDocStatus() {
  const int32_t bits = CLng(Value("DocStatuses"));
  if (bits == 0) return Add("1 = 0");
  std::vector<double> statuses;
  for (int32_t s = 0; s < 3; ++s)
    if (bits & (1 << s)) statuses.push_back(s + 1);
  const std::string list = statuses.empty() ? "" : ListCondition("d.status_qv", statuses);
  if (bits & 8)
    Add(list.empty() ? "d.top_doc_id <> 0" : list + " or d.top_doc_id <> 0");
  else
    Add(list.empty() ? "d.top_doc_id = 0" : list + " and d.top_doc_id = 0");
}

void IntDocQuerySession::AddNotes() {
  switch (CLng(Value("NotesMode"))) {
    case 1:
      return Add("(d.Notes = \"\") or (d.Notes is null)");
    case 2:
      return Add("(d.Notes <> \"\") and not (d.Notes is null)");
    case 3:
      return Add("d.Notes Like " +
                 DaoQString("*" + LikeLiteral(LCase(CStr(Value("Notes")))) + "*"));
    default:
      return;
  }
}

void IntDocQuerySession::AddDocNumbers() {
  const int32_t mode = CLng(Value("DocNumMode"));
  if (mode == 1) {
    const double first = CDbl(Value("DocNum1")), last = CDbl(Value("DocNum2"));
    Add(first == last
            ? "d.document_id = " + Number2DaoSql(first)
            : "d.document_id between " + Number2DaoSql(first) + " and " + Number2DaoSql(last));
  } else if (mode == 2) {
    const int32_t count = CLng(Value("LastDocNumsCount"));
    if (count < 1) return Add("1 = 0");
    top_ = "TOP " + Number2DaoSql(count);
    order_ = "d.document_id DESC";
  }
}

void IntDocQuerySession::AddTemplates() {
  const int32_t mode = CLng(Value("TemplatesMode"));
  if (mode == 1) {
    Add(ListCondition("d.template_id", Ids("Templates")));
  } else if (mode == 2) {
    usesTemplates_ = true;
    Add(ListCondition("t.doc_type_id", Ids("Templates")));
  }
}

void IntDocQuerySession::AddPeriods() {
  const int32_t criterion = CLng(Value("PeriodCriterion"));
  if (criterion == 1) {
    const Variant id = QvQueryFirstValueSafe(
        "select time_id from time_by_month where the_year = " +
            Number2DaoSql(CLng(Value("OnePeriodYear"))) +
            " and report_id = " + Number2DaoSql(CLng(Value("OnePeriodMonthID"))),
        Variant());
    Add(id.IsEmpty() || id.IsNull() ? "1 = 0" : "d.time_id = " + Number2DaoSql(CDbl(id)));
  } else if (criterion == 2) {
    const std::string first = Date2DaoSql(
        Variant(DateSerial(CLng(Value("RangePeriodYear1")), CLng(Value("RangePeriodMonth1")), 1)),
        "Null");
    const std::string last =
        Date2DaoSql(Variant(DateSerial(CLng(Value("RangePeriodYear2")),
                                       CLng(Value("RangePeriodMonth2")) + 1, 0)),
                    "Null");
    std::string where = "(beg_date between " + first + " and " + last + ") and (end_date between " +
                        first + " and " + last + ") ";
    if (On("IsPeriodTypes"))
      where +=
          " and " + ListCondition("report_id", FromBits(CLng(Value("PeriodTypes")), kPeriodKinds));
    auto rs = QvQuerySqlStatic("select time_id AS id from time_by_month where " + where +
                               " order by time_id");
    std::vector<double> ids;
    for (DaoSafeMoveFirst(*rs); !rs->IsEOF(); rs->MoveNext())
      ids.push_back(CDbl(rs->FieldValue(0)));
    rs->Close();
    if (ids.empty())
      Add("1 = 0");
    else if (ids.size() < kMaxListedPeriods)
      Add(ListCondition("d.time_id", ids));
    else
      Add("d.time_id in (select time_id from time_by_month where " + where + ")");
  }
}

void IntDocQuerySession::AddAccStreams() {
  if (On("IsAccStreamType")) {
    usesStreams_ = true;
    std::vector<double> types;
    const int32_t bits = CLng(Value("AccStreamTypes"));
    for (int32_t b = 0; b < 31; ++b)
      if (bits & (1 << b)) types.push_back(b + 1);
    Add(ListCondition("a.AccStreamType", types));
  }
  if (On("IsAccStreamOpeness")) {
    const int32_t open = CLng(Value("AccStreamOpen"));
    usesStreams_ = usesStreams_ || open == 1 || open == 2;
    if (open == 1) Add("a.LastYear = 0 or a.LastYear is null");
    if (open == 2) Add("a.LastYear <> 0");
  }
  if (On("IsAccStreamsList")) Add(ListCondition("d.taxpayer_id", Ids("AccStreamsList")));
}

void IntDocQuerySession::AddTaxpayers() {
  const int32_t type = CLng(Value("TaxpayersType"));
  const std::vector<double> persons = Ids("TaxpayersList");
  if (type == 1) {
    usesStreams_ = true;
    Add(ListCondition("a.PersonID", persons));
  } else if (type == 2) {
    usesStreams_ = usesBranches_ = true;
    const std::string branches = ListCondition("ch.ParentPersonID", persons);
    Add(CBool(Value("IncludeMainOrgDocs"))
            ? "(" + branches + ") or (" + ListCondition("a.PersonID", persons) + ")"
            : branches);
  }
}

std::string IntDocQuerySession::BuildStatement() {
  return Guard(QV_HERE, [&] {
    where_.clear();
    top_.clear();
    order_.clear();
    usesTemplates_ = usesStreams_ = usesBranches_ = false;
    if (On("IsDocStatus")) AddDocStatus();
    if (On("IsNotes")) AddNotes();
    if (On("IsDocNum")) AddDocNumbers();
    if (On("IsTemplate")) AddTemplates();
    if (On("IsPeriods")) AddPeriods();
    AddAccStreams();
    if (On("IsTaxpayers")) AddTaxpayers();

    std::string from = "doc_registry AS d ";
    bool joined = false;
    const auto join = [&](bool used, const char* clause) {
      if (!used) return;
      if (joined) from = "(" + from + ")";
      from += clause;
      joined = true;
    };
    join(usesTemplates_, " LEFT JOIN doc_templates AS t ON t.template_id = d.template_id ");
    join(usesStreams_, " LEFT JOIN AccStream AS a ON a.ID = d.taxpayer_id ");
    join(usesBranches_, " LEFT JOIN Branches AS ch ON ch.ChildPersonID = a.PersonID ");
    // A branch under two parents joins each of its documents twice.
    std::string sql = std::string("select ") + (usesBranches_ ? "distinct " : "") + top_ +
                      " d.document_id AS id " + " from " + from;
    if (!where_.empty()) sql += " where " + where_;
    if (!order_.empty()) sql += " ORDER BY " + order_;
    return sql;
  });
}

bool IntDocQuerySession::Keeps(const ObjectPtr& doc) const {
  if (On("IsSignDate")) {
    const Variant from = Value("SignDate1"), to = Value("SignDate2");
    const double day = DayOf(doc->Get("SignDate"));
    if ((IsDate(from) && day < DayOf(from)) || (IsDate(to) && day > DayOf(to))) return false;
  }
  if (On("IsSignerFio")) {
    const std::string wanted = Upper(Value("SignerSurname"));
    bool found = wanted.empty();
    for (const char* slot : {"FLS_Signer", "SLS_Signer", "ELS_Signer", "Exec_Signer"}) {
      ObjectPtr signer = doc->Get(slot).AsObject();
      if (found || CDbl(signer->Get("ID")) == 0) continue;
      found = Upper(signer->Get("Worker").AsObject()->Get("Surname")) == wanted;
    }
    if (!found) return false;
  }
  const bool first = On("IsContoraPrefix1"), second = On("IsContoraPrefix2");
  if (first || second) {
    ObjectPtr stream = doc->Get("Taxpayer").AsObject();
    const bool m1 = !first || CodeBeginsWithOne(stream->Get("TaxOffice"),
                                                Prefixes(CStr(Value("ContoraPrefix1"))));
    const bool m2 = !second || CodeBeginsWithOne(stream->Get("TaxOffice2"),
                                                 Prefixes(CStr(Value("ContoraPrefix2"))));
    const bool either = first && second && CLng(Value("ContoraJoining")) == 2;
    if (either ? !(m1 || m2) : !(m1 && m2)) return false;
  }
  return true;
}

void IntDocQuerySession::AddPfrCluster(Collection& docs, double aDocID) const {
  const Variant master = QvQueryValue(
      "select PfrMasterDocID from doc_registry where document_id = " + Number2DaoSql(aDocID));
  const double root = master.IsNull() || CDbl(master) == 0 ? aDocID : CDbl(master);
  auto rs = QvQuerySqlStatic(
      "select document_id from doc_registry where document_id = " + Number2DaoSql(root) +
      " or PfrMasterDocID = " + Number2DaoSql(root) + " order by document_id");
  auto& factory = *records::RecordFactory::ForThisThread();
  for (DaoSafeMoveFirst(*rs); !rs->IsEOF(); rs->MoveNext()) {
    const Variant id = rs->FieldValue(0);
    const std::string key = "_" + Number2DaoSql(CDbl(id));
    if (!docs.FindByKey(key))
      docs.Add(Variant(ObjectPtr(factory.GetRecord("Qv_Records.QvDocument", id))), key);
  }
  rs->Close();
}

CollectionPtr IntDocQuerySession::PerformDocQuery(Variant& aAdditionalInfo) {
  return Guard(QV_HERE, [&] {
    const std::string sql = BuildStatement();
    auto rs = QvQuerySqlStatic(sql);
    CollectionPtr found = miRecCollection::GetRecCollection_QvDocument(*rs, "id", true);
    rs->Close();
    auto kept = std::make_shared<Collection>();
    std::vector<double> ids;
    for (int32_t i = 1; i <= found->Count(); ++i) {
      ObjectPtr doc = found->At(i).AsObject();
      if (!Keeps(doc)) continue;
      const double id = CDbl(doc->Get("ID"));
      kept->Add(Variant(doc), "_" + Number2DaoSql(id));
      ids.push_back(id);
    }
    const int32_t keptCount = kept->Count();
    if (On("WholePfrCluster"))
      for (double id : ids) AddPfrCluster(*kept, id);
    aAdditionalInfo =
        Variant(VariantArray::Of({Variant(sql), Variant(found->Count()), Variant(keptCount)}));
    return kept;
  });
}

}  // namespace qv::queries
