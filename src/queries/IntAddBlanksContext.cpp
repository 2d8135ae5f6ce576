#include "queries/IntAddBlanksContext.h"

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "platform/ado/AdoConstants.h"
#include "platform/dao/Recordset.h"
#include "queries/PersonQueries.h"
#include "queries/mCommonLookups.h"

namespace qv::queries {

namespace {
using namespace mQvDaoDataBase;

// Profiles from this identifier on are dictionary profiles (DictProfData).
constexpr double kFirstDictProfile = 100000000;

bool Seek(dao::Recordset& rs, std::initializer_list<Variant> keys) {
  const std::vector<Variant> k(keys);
  rs.Seek("=", k);
  return !rs.NoMatch();
}

// The usable templates of a doc type (enabled, ordinary forms) in the
// order of the Doc_Type_ID index.
std::vector<int32_t> TemplatesOfDocType(int32_t aDocType) {
  std::vector<int32_t> ids;
  auto rs = QvGetTableRS("Doc_Templates", "Doc_Type_ID");
  if (Seek(*rs, {Variant(static_cast<double>(aDocType))}))
    for (; !rs->IsEOF() && CLngOr(rs->FieldValue("Doc_Type_ID"), 0) == aDocType; rs->MoveNext()) {
      const int32_t list = CLngOr(rs->FieldValue("Payments_List"), 0);
      if (GetDaoBool(*rs, "enable") && (list == 0 || list == 2))
        ids.push_back(CLngOr(rs->FieldValue("Template_ID"), 0));
    }
  rs->Close();
  return ids;
}

ado::RecordsetPtr CreateGroupResult() {
  auto rs = std::make_shared<ado::Recordset>();
  rs->SetCursorLocation(ado::adUseClient);
  for (const char* f : {"accstream_id", "template_id", "document_id"})
    rs->AppendField(f, ado::adDouble, 0, ado::adFldIsNullable);
  for (const char* f : {"CalcProfiles", "UseProfiles", "HasLiabs"})
    rs->AppendField(f, ado::adInteger, 4, ado::adFldIsNullable);
  rs->Open();
  return rs;
}

}  // namespace

dao::Recordset& IntAddBlanksContext::Table(TablePtr& slot, const char* table, const char* index) {
  if (!slot) slot = QvGetTableRS(table, index);
  return *slot;
}

void IntAddBlanksContext::Setup(double aMainTemplateID, double aTimePeriodID,
                                bool aUsePeriodProfiles) {
  // Long identifiers as VB passes them: rounded, 6 beyond the Long range
  // (and, as in any statement, for a NaN).
  period_ = CLng(Variant(Number2DaoValue(aTimePeriodID)));
  docType_ = GetDocTypeOfTemplate(CLng(Variant(Number2DaoValue(aMainTemplateID))));
  templates_ = TemplatesOfDocType(docType_);
  periodProfiles_ =
      aUsePeriodProfiles && GetPeriodMonthAndType(period_, year_, month_, periodType_);
  result_ = CreateGroupResult();
}

ado::RecordsetPtr IntAddBlanksContext::FillForGroup(double aMainOrgPersonID, double aMainTemplateID,
                                                    double aTimePeriodID, int32_t aAccStreamType,
                                                    const std::string& aSortMode,
                                                    int32_t aSortDirection,
                                                    bool aUsePeriodProfiles) {
  return Guard(QV_HERE, [&] {
    Setup(aMainTemplateID, aTimePeriodID, aUsePeriodProfiles);
    ado::RecordsetPtr branches = PersonQueries().GetBranchAccStreams(
        aMainOrgPersonID, aAccStreamType, aSortMode, aSortDirection);
    const size_t id = branches->FieldIndex("ID");
    for (size_t r = 0; r < branches->RowCount(); ++r) {
      const Variant& v = branches->Value(r, id);
      AddStreamBlanks(v.IsNull() ? 0 : CDbl(v));
    }
    return result_;
  });
}

ado::RecordsetPtr IntAddBlanksContext::FillForBranch(double aBranchAccStreamID,
                                                     double aMainTemplateID, double aTimePeriodID,
                                                     bool aUsePeriodProfiles) {
  return Guard(QV_HERE, [&] {
    Setup(aMainTemplateID, aTimePeriodID, aUsePeriodProfiles);
    AddStreamBlanks(aBranchAccStreamID);
    return result_;
  });
}

void IntAddBlanksContext::AddStreamBlanks(double aStreamID) {
  bool found = false;
  int32_t ready = 0;
  dao::Recordset& registry = Table(registry_, "Doc_Registry", "Taxpayer_ID");
  for (int32_t t : templates_) {
    const Variant stream(aStreamID), period(static_cast<double>(period_)),
        tmpl(static_cast<double>(t));
    if (Seek(registry, {stream, period, tmpl}))
      for (; !registry.IsEOF() && GetDaoDouble(registry, "Taxpayer_ID") == aStreamID &&
             GetDaoLong(registry, "Time_ID") == period_ && GetDaoLong(registry, "Template_ID") == t;
           registry.MoveNext())
        if (GetDaoDouble(registry, "top_doc_id") == 0) {
          found = true;
          AddRow(aStreamID, t, GetDaoDouble(registry, "document_id"));
        }
    if (!found && Seek(Table(dates_, "TEMPLATE_DATES", "TEMPLATE_ID_TIME_ID"),
                       {Variant(t), Variant(period_)}))
      ready = t;
  }
  if (!found && ready != 0) AddRow(aStreamID, ready, 0);
}

void IntAddBlanksContext::AddRow(double aStreamID, int32_t aTemplateID, double aDocumentID) {
  int32_t calc = 0, use = 1, liabs = 1;
  if (periodProfiles_) {
    calc = 1;
    use = StreamUsesProfiles(aStreamID) ? 1 : 0;
    liabs = use && StreamHasProfileData(aStreamID) ? 1 : 0;
  }
  result_->AppendRow({Variant(aStreamID), Variant(static_cast<double>(aTemplateID)),
                      Variant(aDocumentID), Variant(calc), Variant(use), Variant(liabs)});
}

bool IntAddBlanksContext::StreamUsesProfiles(double aStreamID) {
  dao::Recordset& streams = Table(streams_, "AccStream", "Id");
  return Seek(streams, {Variant(aStreamID)}) && GetDaoDouble(streams, "UseProfiles") != 0;
}

bool IntAddBlanksContext::StreamHasProfileData(double aStreamID) {
  dao::Recordset& profiles = Table(profiles_, "AccStreamProfiles", "ParentIdx");
  if (!Seek(profiles, {Variant(aStreamID)})) return false;
  for (; !profiles.IsEOF() && GetDaoDouble(profiles, "AccStream_ID") == aStreamID;
       profiles.MoveNext()) {
    const int32_t begYear = GetDaoLong(profiles, "BegYear"),
                  begMonth = GetDaoLong(profiles, "BegMonth");
    const int32_t endYear = GetDaoLong(profiles, "EndYear"),
                  endMonth = GetDaoLong(profiles, "EndMonth");
    if (begYear != 0 && (begYear > year_ || (begYear == year_ && begMonth > month_))) continue;
    if (endYear != 0 && (endYear < year_ || (endYear == year_ && endMonth < month_))) continue;
    const double profile = GetDaoDouble(profiles, "Profile_ID");
    dao::Recordset& data = profile < kFirstDictProfile
                               ? Table(userProfData_, "UserProfData", "Idx1")
                               : Table(dictProfData_, "DictProfData", "Idx1");
    if (Seek(data, {Variant(profile), Variant(periodType_), Variant(docType_)})) return true;
  }
  return false;
}

}  // namespace qv::queries
