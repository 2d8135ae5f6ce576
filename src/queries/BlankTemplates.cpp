// BlankQueries: template lookups, deadlines, readiness and attachment types.

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "platform/automation/VbaDate.h"
#include "queries/BlankQueries.h"
#include "queries/BlankSql.h"
#include "queries/mCommonLookups.h"
#include "records/miRecCollection.h"

namespace qv::queries {

using namespace mQvDaoDataBase;

namespace {

constexpr std::string_view kEmptyDate = "DateSerial(1899,12,31)";

// A bound of a date range: a date with a day part, or a text that reads as
// one; anything else (empty, Null, a number, the zero date) is no bound.
std::optional<Variant> DateBound(const Variant& v) {
  if (v.IsDate()) {
    if (CDate(v).serial == 0) return std::nullopt;
    return v;
  }
  if (!v.IsString() || CStr(v).empty()) return std::nullopt;
  try {
    const OleDate d = CDate(v);
    if (d.serial == 0) return std::nullopt;
    return Variant(d);
  } catch (const Error&) {
    return std::nullopt;
  }
}

// The ID column of a statement as identifiers keyed "_" + ID.
CollectionPtr KeyedIds(const std::string& sql) {
  auto rs = QvQuerySqlStatic(sql);
  CollectionPtr ids = miRecCollection::GetIDCollection(*rs, "ID", true);
  rs->Close();
  return ids;
}

}  // namespace

CollectionPtr BlankQueries::GetAllBlanksInDateRange(const Variant& aDateBeg,
                                                    const Variant& aDateEnd,
                                                    bool aReturnTemplTypes) {
  return Guard(QV_HERE, [&] {
    std::string conditions;
    if (auto beg = DateBound(aDateBeg))
      conditions += " where te.end_date >= " + Date2DaoSql(*beg, kEmptyDate);
    if (auto end = DateBound(aDateEnd))
      conditions += std::string(conditions.empty() ? " where " : " and ") +
                    "te.begin_date <= " + Date2DaoSql(*end, kEmptyDate);
    // The types or forms in key order, as a file gives them (a server's distinct may
    // hash, and keeps a rewritten row after the others).
    const std::string sql = aReturnTemplTypes
                                ? "select distinct doc_type_id AS ID from "
                                  "( select te.doc_type_id from doc_templates AS te " +
                                      conditions + ") order by doc_type_id"
                                : "select te.template_id AS ID from doc_templates AS te " +
                                      conditions + " order by te.template_id";
    auto rs = QvQuerySqlStatic(sql);
    CollectionPtr records = aReturnTemplTypes
                                ? miRecCollection::GetRecCollection_QvTemplType(*rs, "ID")
                                : miRecCollection::GetRecCollection_QvTemplate(*rs, "ID");
    rs->Close();
    return records;
  });
}

double BlankQueries::GetTemplateIDByDateAndTemplateClass(double aTemplateClassID,
                                                         const Variant& aDate) {
  return Guard(QV_HERE, [&] {
    const std::string d = Date2DaoSql(aDate, kEmptyDate);
    return CDblOr(
        QvQueryValue("select max(t.template_id) from doc_templates AS t where t.doc_type_id = " +
                     Number2DaoSql(aTemplateClassID) + " and t.begin_date<=" + d +
                     " and t.end_date>=" + d + " and t.enable<>0 "),
        0);
  });
}

double BlankQueries::GetTemplateIDByTimeID(double aTemplateID, double aTimeID) {
  return Guard(QV_HERE, [&] {
    const double published = CDblOr(
        QvQueryValue("select count (*) From template_dates As td "
                     "INNER JOIN doc_templates AS te ON td.template_id=te.template_id "
                     "Where td.template_id=" +
                     Number2DaoSql(aTemplateID) + " and td.time_id=" + Number2DaoSql(aTimeID) +
                     " and te.enable<>0 and Not IsNull (td.date_to_registry) "),
        0);
    if (published >= 1) return aTemplateID;
    return CDblOr(QvQueryValue("select max (template_id) From template_dates "
                               "Where doc_type_id in ( select doc_type_id "
                               "From doc_templates Where template_id=" +
                               Number2DaoSql(aTemplateID) + " ) and time_id=" +
                               Number2DaoSql(aTimeID) + " and Not IsNull (Date_To_Registry) "),
                  0);
  });
}

double BlankQueries::GetTemplateIDByTimeIDAndTemplateClass(double aTemplateClassID,
                                                           double aTimeID) {
  return Guard(QV_HERE, [&] {
    return CDblOr(QvQueryValue("select max (template_id) From template_dates Where doc_type_id=" +
                               Number2DaoSql(aTemplateClassID) + " and time_id=" +
                               Number2DaoSql(aTimeID) + " and Not IsNull (Date_To_Registry) "),
                  0);
  });
}

CollectionPtr BlankQueries::GetAllTemplatesOfClass(double aTemplateClassID) {
  return Guard(QV_HERE, [&] {
    auto rs = QvQuerySqlStatic("select template_id AS id from doc_templates where doc_type_id = " +
                               Number2DaoSql(aTemplateClassID) +
                               " and payments_list in (0, 2) order by begin_date desc ");
    CollectionPtr templates = miRecCollection::GetRecCollection_QvTemplate(*rs, "id");
    rs->Close();
    return templates;
  });
}

ado::RecordsetPtr BlankQueries::GetAllTemplatesByTemplateType(double aTemplateType) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA("select template_id, full_name from doc_templates where doc_type_id = " +
                       Number2DaoSql(aTemplateType) +
                       " and Payments_List in (0, 2) order by begin_date desc ");
  });
}

CollectionPtr BlankQueries::GetTemplatesInFolder(int32_t aFolder) {
  return Guard(QV_HERE, [&] {
    return KeyedIds(
        "select distinct t.Template_ID AS ID from Doc_Templates AS t where t.FolderID = " +
        Number2DaoSql(aFolder) + " ");
  });
}

CollectionPtr BlankQueries::GetTemplateTypesInFolder(int32_t aFolder) {
  return Guard(QV_HERE, [&] {
    return KeyedIds(
        "select distinct c.Doc_Type_ID AS ID from Doc_Templates AS t "
        "left join Doc_Type_Class AS c ON c.Doc_Type_ID = t.Doc_Type_ID "
        "where t.FolderID = " +
        Number2DaoSql(aFolder) + " ");
  });
}

Variant BlankQueries::GetLastTemplateData(double aTemplTypeID) {
  return Guard(QV_HERE, [&] {
    std::vector<Variant> data{Variant(0.0), Variant(int32_t{0}), Variant(false),
                              Variant(int32_t{0})};
    const double newest =
        CDblOr(QvQueryFirstValueSafe(
                   "select max(template_id) AS id from doc_templates where doc_type_id = " +
                       Number2DaoSql(aTemplTypeID),
                   Variant(0.0)),
               0);
    if (newest != 0) {
      data[0] = Variant(newest);
      const Variant row = QvQueryValuesArraySafe(
          "select EditorType, PfrEndDoc, ContoraType from doc_templates where template_id = " +
          Number2DaoSql(newest));
      if (row.AsArray().items.size() == 3) {
        const std::vector<Variant>& v = row.AsArray().items;
        data[1] = Variant(v[0].IsNull() ? 0 : CLng(v[0]));
        data[2] = Variant(!v[1].IsNull() && CBool(v[1]));
        data[3] = Variant(v[2].IsNull() ? 0 : CLng(v[2]));
      }
    }
    return Variant(VariantArray::Of(std::move(data)));
  });
}

void BlankQueries::GetTemplateVisibilityInfo(int32_t aType, double aID, Variant& rCategoryInfo,
                                             Variant& rTimeInfo) {
  Guard(QV_HERE, [&] {
    if (aType != 1 && aType != 2) return;
    const std::string id = Number2DaoSql(aID);
    // Doc type: its templates; template: itself.
    const std::string templates =
        aType == 1 ? "(doc_type_class AS tc "
                     "left join doc_templates AS tm ON tm.doc_type_id = tc.doc_type_id)"
                   : "doc_templates AS tm";
    const std::string where =
        aType == 1 ? "where tc.doc_type_id = " + id + " " : "where tm.template_id = " + id + " ";
    rCategoryInfo = Variant(ObjectPtr(QvQuerySqlA(
        "select ca.* from " + templates +
        " left join TemplateByTPCategory AS ca ON ca.template_id = tm.template_id " + where)));
    rTimeInfo = Variant(ObjectPtr(
        QvQuerySqlA("select * from "
                    "( select d.template_id, d.time_id, m.report_id AS month_id, m.the_year "
                    "from (" +
                    templates +
                    " left join template_dates AS d ON d.template_id = tm.template_id) "
                    "left join time_by_month AS m ON m.time_id = d.time_id " +

                    where + ") order by template_id, the_year desc, month_id ")));
  });
}

bool BlankQueries::IsTemplateReady(double aTemplateID, double aTimeID, bool aDefaultAnswer) {
  return Guard(QV_HERE, [&] {
    const Variant ready = QvQueryFirstValueSafe(
        "select top 1 IsReady From TemplateReadyException where Template_ID = " +
            Number2DaoSql(aTemplateID) + " and Time_ID = " + Number2DaoSql(aTimeID),
        Variant(int32_t{aDefaultAnswer ? 1 : 0}));
    return !ready.IsNull() && CDbl(ready) != 0;
  });
}

bool BlankQueries::IsMultiInstancesAllowedInBranchesGroup(int32_t aMainTemplateID) {
  return Guard(QV_HERE, [&] {
    Variant permission;
    QvLookupValue(permission, "doc_type_class", "Id",
                  Variant(int32_t{GetDocTypeOfTemplate(aMainTemplateID)}), "instance_permission",
                  Variant(int32_t{0}));
    return !permission.IsNull() && CDbl(permission) != 0;
  });
}

Variant BlankQueries::GetRegistryTermByTemplateAndTime(int32_t aTemplateID, int32_t aTimeID) {
  return Guard(QV_HERE, [&] { return GetRegistryTermByTemplateAndTime2(aTemplateID, aTimeID, 2); });
}

Variant BlankQueries::GetRegistryTermByTemplateAndTime2(int32_t aTemplateID, int32_t aTimeID,
                                                        int32_t aPersonType) {
  return Guard(QV_HERE, [&] {
    auto fixed = QvGetTableRS("PfrDict_TemplateDates", "ID");
    const Variant key[] = {Variant(aTemplateID)};
    fixed->Seek("=", key);
    if (!fixed->NoMatch()) {
      Variant term = fixed->FieldValue("Date_To_Registry");
      fixed->Close();
      return term;
    }
    fixed->Close();
    auto dates = QvGetTableRS("TEMPLATE_DATES", "TEMPLATE_ID_TIME_ID");
    const Variant keys[] = {Variant(aTemplateID), Variant(aTimeID)};
    dates->Seek("=", keys);
    Variant term;
    if (!dates->NoMatch())
      term = dates->FieldValue(aPersonType == 1 ? "Date_To_Registry_FL" : "Date_To_Registry");
    dates->Close();
    // A stored 0 or a date in the first days of the calendar is no deadline.
    if (term.IsNull() || term.IsEmpty() || CDbl(term) < 10) return Variant::Null();
    return term;
  });
}

ado::RecordsetPtr BlankQueries::GetAttachmentTypesForDocument(double aTemplateID, const Variant&) {
  return Guard(QV_HERE, [&] {
    const Variant set =
        QvQueryValueSafe("select AttachmentsSet from DOC_TEMPLATES where template_id = " +
                             Number2DaoSql(aTemplateID),
                         Variant(int32_t{0}));
    return QvQuerySqlA(
        "select AttachmentType, Name, FilterTitle "
        "from DictAttachmentTypes where AttachmentSetID = " +
        Number2DaoSql(set.IsNull() ? 0 : CLng(set)) + " order by OrderNum ");
  });
}

}  // namespace qv::queries
