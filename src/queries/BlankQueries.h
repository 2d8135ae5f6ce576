#pragma once
// BlankQueries ("Qv_DBProvider.BlankQueries"): the report forms (blanks) a
// stream may fill in for a period, the folders they sit in, the documents
// and archived adjustments of a form, template lookups by date and period,
// deadlines, readiness, attachment types, and the blanks of every branch of
// a group (IntAddBlanksContext). Stateless; every operation reads only.
//
// A template is offered for a stream in a period when it is published for
// the period with a deadline (template_dates.date_to_registry), enabled,
// an ordinary form (Payments_List 0 or 2) and allowed by TemplateByTPCategory
// for the owner's category (6 for a natural person), the stream's type and
// the owner being a main organisation or a branch. "Same doc type" below
// means any template version of the template's document class.
//
// Identifier lists from callers (folders, visible documents) are numbers
// separated by ";" (a "," is taken as well); anything else is error 5.
// Errors: 40090 where the stream must exist (the owner is read).

#include <cstdint>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"

namespace qv::queries {

class BlankQueries : public Object {
  QV_DECLARE_CLASS(BlankQueries)

 public:
  // ---- the blanks of a stream in a period: template_id,
  // instance_permission, no_utoch, Creatable, FolderID, DocsCount (documents
  // of the stream and period of the same doc type), Prof (1: covered by an
  // active profile of the stream, or profiles not considered), by list order
  // of the doc types.
  ado::RecordsetPtr GetBlanksByPeriod(double aAccStreamID, double aTPCategory1,
                                      double aTimePeriodID);
  ado::RecordsetPtr GetBlanksByPeriodEx(double aAccStreamID, double aTimePeriodID,
                                        bool aWithProfiles);
  // `aFolderIDs`: only templates of these folders; empty: every folder.
  ado::RecordsetPtr GetBlanksByPeriod3(double aAccStreamID, double aTimePeriodID,
                                       bool aWithProfiles, const std::string& aFolderIDs);
  // The folders (FolderID, FolderName) of the offered blanks (never folder
  // 0) and of the stream's documents in the period, each once.
  ado::RecordsetPtr GetDocFoldersByPeriod(double aAccStreamID, double aTimePeriodID,
                                          bool aWithProfiles);
  // Blanks of a consolidation stream (stream type 1, branch flags ignored):
  // template_id and DocumentID, an existing consolidated document of the
  // doc type or Null. A negative category takes the consolidation stream's.
  ado::RecordsetPtr GetConsBlanksByPeriod(double aConsStreamID, int32_t aTPCategory,
                                          double aTimePeriodID);
  // True when the stream has a document in the period or a blank is offered.
  bool IsPeriodContainsBlanks(double aAccStreamID, double aTPCategory1, double aTimePeriodID);
  // True when the stream has a document of editor 4 or 5 in the period.
  bool IsPeriodContainsComplexDocuments(double aAccStreamID, double aTimePeriodID);
  bool IsPeriodContainsConsBlanks(double aConsStreamID, int32_t aTPCategory, double aTimePeriodID);

  // ---- documents: Document_id, bottom_next_id, instance_number,
  // top_doc_id, adj_number, by instance and newest adjustment first.
  ado::RecordsetPtr GetDocsAndArchivesByTemplate(double aAccStreamID, double aTemplateID,
                                                 double aTimePeriodID);
  // Document_id of the documents of the doc type.
  ado::RecordsetPtr GetDocsAndArchivesByTemplateClass(double aAccStreamID, double aTemplateClassID,
                                                      double aTimePeriodID);
  // The stream's documents in the period not in `aVisibleDocsIDList` (and,
  // for the second, of the folders given), with template_id.
  ado::RecordsetPtr GetDocumentsWithBadVisibility(double aAccStreamID, double aTimePeriodID,
                                                  const std::string& aVisibleDocsIDList);
  ado::RecordsetPtr GetDocumentsWithBadVisibility2(double aAccStreamID, double aTimePeriodID,
                                                   const std::string& aFolderIDs,
                                                   const std::string& aVisibleDocsIDList);
  // The stream's documents in the period as document records, by doc type
  // list order, template, instance and adjustment (the sort arguments do
  // not change it).
  CollectionPtr GetDocsAndArchivesByPeriod(double aAccStreamID, double aTimePeriodID,
                                           const std::string& aSortMode, int32_t aSortDirection);
  CollectionPtr GetDocsAndArchivesByPeriod2(double aAccStreamID, double aTimePeriodID,
                                            const std::string& aFolderIDs,
                                            const std::string& aSortMode, int32_t aSortDirection);
  // The current version (top_doc_id 0) of an instance with the highest
  // adjustment number; 0 when there is none.
  double GetActualAdjustmentByTemplateAndInstance(double aAccStreamID, double aTemplateID,
                                                  double aTimePeriodID, int32_t aInstanceNumber);
  // For the library: the versions of one instance (Document_id,
  // bottom_next_id, top_doc_id, adj_number) by adjustment number.
  ado::RecordsetPtr GetDocsByTemplateAndInstance(double aAccStreamID, double aTemplateID,
                                                 double aTimePeriodID, int32_t aInstanceNumber,
                                                 bool aAscending);
  // For the library: the doc types (ID) of the stream's profiles active in
  // the period; Nothing when the period is no month or quarter of a year.
  ado::RecordsetPtr GetProfileDocTypes(double aAccStreamID, double aTimePeriodID);

  // ---- templates
  // Template records (or doc-type records with `aReturnTemplTypes`) of the
  // templates valid at some time between the dates; a bound that is no date
  // is left out.
  CollectionPtr GetAllBlanksInDateRange(const Variant& aDateBeg, const Variant& aDateEnd,
                                        bool aReturnTemplTypes);
  // The newest enabled template of the doc type valid on the date; 0 when none.
  double GetTemplateIDByDateAndTemplateClass(double aTemplateClassID, const Variant& aDate);
  // The template itself when it is published for the period, else the
  // newest template of its doc type that is; 0 when none.
  double GetTemplateIDByTimeID(double aTemplateID, double aTimeID);
  double GetTemplateIDByTimeIDAndTemplateClass(double aTemplateClassID, double aTimeID);
  // Template records of the doc type, newest first.
  CollectionPtr GetAllTemplatesOfClass(double aTemplateClassID);
  // template_id, full_name of the doc type's templates, newest first.
  ado::RecordsetPtr GetAllTemplatesByTemplateType(double aTemplateType);
  // Identifiers of the templates (doc types) of a folder, keyed "_" + ID.
  CollectionPtr GetTemplatesInFolder(int32_t aFolder);
  CollectionPtr GetTemplateTypesInFolder(int32_t aFolder);
  // {template ID, EditorType, PfrEndDoc, ContoraType} of the doc type's
  // newest template; {0, 0, False, 0} when it has none.
  Variant GetLastTemplateData(double aTemplTypeID);
  // aType 1 (a doc type) or 2 (a template): the category rows and the
  // publication periods of its templates; other types leave both alone.
  void GetTemplateVisibilityInfo(int32_t aType, double aID, Variant& rCategoryInfo,
                                 Variant& rTimeInfo);
  // The readiness exception of a template in a period, else aDefaultAnswer.
  bool IsTemplateReady(double aTemplateID, double aTimeID, bool aDefaultAnswer);
  // Whether the doc type of a group's main template allows instances.
  bool IsMultiInstancesAllowedInBranchesGroup(int32_t aMainTemplateID);
  // The submission deadline (Null when none): a pension-fund template's
  // fixed one, else the publication's, for legal persons (person type other
  // than 1) or natural persons (1).
  Variant GetRegistryTermByTemplateAndTime(int32_t aTemplateID, int32_t aTimeID);
  Variant GetRegistryTermByTemplateAndTime2(int32_t aTemplateID, int32_t aTimeID,
                                            int32_t aPersonType);
  // AttachmentType, Name, FilterTitle of the template's attachment set.
  ado::RecordsetPtr GetAttachmentTypesForDocument(double aTemplateID, const Variant& aDate);

  // ---- branch groups (IntAddBlanksContext): accstream_id, template_id,
  // document_id (0 for a blank), CalcProfiles, UseProfiles, HasLiabs.
  ado::RecordsetPtr GetBranchesBlanksForGroup4(double aMainOrgPersonID, double aMainTemplateID,
                                               double aTimePeriodID, int32_t aAccStreamType,
                                               const std::string& aSortMode,
                                               int32_t aSortDirection);
  ado::RecordsetPtr GetBranchBlanksForGroup(double aBranchAccStreamID, double aMainTemplateID,
                                            double aTimePeriodID);
};

}  // namespace qv::queries
