#pragma once
// IntAddBlanksContext: the blanks of the branches of a group for one main
// template and period, made for one call of BlankQueries and dropped after
// it. Per branch stream: one row per current version (top_doc_id 0) of a
// document of any usable template of the main template's doc type, or, when
// the stream has none, one row for the last of those templates published
// for the period (document_id 0); a stream with neither gets no row.
//
// Result (in memory, client-side): accstream_id, template_id, document_id,
// CalcProfiles, UseProfiles, HasLiabs. With period profiles (and a month or
// quarter period) CalcProfiles is 1, UseProfiles tells whether the stream
// uses profiles and HasLiabs whether one of its profiles active in the
// period covers the doc type; otherwise 0, 1, 1.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ado/Recordset.h"

namespace qv::dao {
class Recordset;
}

namespace qv::queries {

class IntAddBlanksContext {
 public:
  static constexpr std::string_view kModule = "IntAddBlanksContext";

  // The branches of the main organisation with streams of the type, in the
  // order the sort mode gives (PersonQueries.GetBranchAccStreams: error 5
  // for a mode it does not know).
  ado::RecordsetPtr FillForGroup(double aMainOrgPersonID, double aMainTemplateID,
                                 double aTimePeriodID, int32_t aAccStreamType,
                                 const std::string& aSortMode, int32_t aSortDirection,
                                 bool aUsePeriodProfiles);
  ado::RecordsetPtr FillForBranch(double aBranchAccStreamID, double aMainTemplateID,
                                  double aTimePeriodID, bool aUsePeriodProfiles);

 private:
  using TablePtr = std::shared_ptr<dao::Recordset>;

  void Setup(double aMainTemplateID, double aTimePeriodID, bool aUsePeriodProfiles);
  void AddStreamBlanks(double aStreamID);
  void AddRow(double aStreamID, int32_t aTemplateID, double aDocumentID);
  bool StreamUsesProfiles(double aStreamID);
  bool StreamHasProfileData(double aStreamID);
  // The table-type recordset, opened on first use.
  dao::Recordset& Table(TablePtr& slot, const char* table, const char* index);

  int32_t period_ = 0;
  bool periodProfiles_ = false;
  int32_t year_ = 0, month_ = 0, periodType_ = 0;
  int32_t docType_ = 0;
  std::vector<int32_t> templates_;
  ado::RecordsetPtr result_;
  TablePtr registry_, dates_, streams_, profiles_, dictProfData_, userProfData_;
};

}  // namespace qv::queries
