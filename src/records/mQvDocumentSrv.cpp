#include "records/mQvDocumentSrv.h"

#include <string>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "records/MapperSession.h"

namespace qv::mQvDocumentSrv {

namespace {
using namespace mQvDaoDataBase;

// The first column of the first row, 0 for none or Null.
double FirstId(const std::string& sql) {
  return CDblOr(QvQueryFirstValueSafe(sql, Variant(0.0), records::MapperUserDatabase()), 0);
}

// What the period searches know of a document: stream, period, template,
// instance (Null as 0).
struct DocKeys {
  double stream = 0, period = 0, tmpl = 0, instance = 0;
};

std::string TemplatesOfClass(double docClass) {
  return "select t2.template_id from doc_templates As t2 where t2.doc_type_id = " +
         Number2DaoSql(docClass) + " ";
}

// The document of the stream and instance among `templates` in `periods`:
// backwards the highest adjustment, forwards the latest accepted (versions
// not yet accepted last).
double FindInPeriods(const DocKeys& k, const std::string& templates, const std::string& periods,
                     bool next) {
  return FirstId(
      "select doc.document_id from doc_registry AS doc "
      "Where doc.taxpayer_id=" +
      Number2DaoSql(k.stream) +
      " and iif (IsNull (doc.instance_number), 0, doc.instance_number) = " +
      Number2DaoSql(k.instance) + " and doc.template_id in (" + templates +
      ") and doc.time_id in (" + periods + ") " +
      (next ? "order by doc.accept_date desc, doc.document_id desc;"
            : "order by doc.DOC_TYPE desc, doc.document_id desc;"));
}

double FindNeighbour(double aDocumentID, bool next) {
  const auto db = records::MapperUserDatabase();
  Variant s, p, t, n;
  if (!QvQuery4ValuesSafe("select taxpayer_id, time_id, template_id, instance_number "
                          "from doc_registry where document_id = " +
                              Number2DaoSql(aDocumentID),
                          s, p, t, n, db))
    return 0;
  const DocKeys k{CDblOr(s, 0), CDblOr(p, 0), CDblOr(t, 0), CDblOr(n, 0)};
  const double docClass =
      CDblOr(QvQueryFirstValueSafe("select doc_type_id from doc_templates where template_id = " +
                                       Number2DaoSql(k.tmpl),
                                   Variant(0.0), db),
             0);
  Variant group, alternative;
  if (!QvQuery2ValuesSafe("select doc_group_id, alter_doc_type_id from doc_type_class "
                          "where doc_type_id = " +
                              Number2DaoSql(docClass),
                          group, alternative, db))
    return 0;
  const std::string periods =
      next ? "select ti2.time_id from time_by_month AS ti1 "
             "INNER JOIN time_by_month AS ti2 ON ti2.beg_date = ti1.end_date+1 "
             "Where ti1.time_id = " +
                 Number2DaoSql(k.period) + " "
           : "select ti2.time_id from time_by_month AS ti1 "
             "INNER JOIN time_by_month AS ti2 ON ti2.end_date = ti1.beg_date-1 "
             "Where ti1.time_id = " +
                 Number2DaoSql(k.period) + " and ti2.report_id <= 16 ";
  const std::string templates = CDblOr(group, 0) == 0
                                    ? TemplatesOfClass(docClass)
                                    : "select t2.template_id from doc_templates As t2 "
                                      "where t2.doc_type_id in ( select c4.doc_type_id "
                                      "from doc_type_class AS c4 where c4.doc_group_id = " +
                                          Number2DaoSql(CDblOr(group, 0)) + " ) ";
  double found = FindInPeriods(k, templates, periods, next);
  if (found == 0 && CDblOr(alternative, 0) != 0)
    found = FindInPeriods(k, TemplatesOfClass(CDblOr(alternative, 0)), periods, next);
  // Backwards a class is continued from its alternative class, so forwards
  // an alternative class is continued by the classes it stands in for.
  if (found == 0 && next)
    found = FindInPeriods(k,
                          "select t2.template_id from doc_templates As t2 "
                          "where t2.doc_type_id in ( select c4.doc_type_id "
                          "from doc_type_class AS c4 where c4.alter_doc_type_id = " +
                              Number2DaoSql(docClass) + " ) ",
                          periods, next);
  return found;
}

}  // namespace

double GetBottomDocumentIDForNewDocument(double aAccStreamID, double aTimePeriodID,
                                         double aTemplateID, int32_t aInstanceNumber,
                                         int32_t aCurrencyID) {
  return Guard(QV_HERE, [&] {
    const std::string instance =
        aInstanceNumber > 0
            ? "doc.instance_number = " + Number2DaoSql(aInstanceNumber)
            : std::string("(IsNull (doc.instance_number) or doc.instance_number = 0)");
    // Only a current version (no newer one) may be continued: a version
    // not yet accepted is current as well as an accepted one, and an older
    // one continued would give the chain two current versions. The
    // acceptance date only orders current versions of separate chains.
    return FirstId(
        "select doc.document_id from doc_registry AS doc "
        "Where doc.taxpayer_id=" +
        Number2DaoSql(aAccStreamID) + " and doc.time_id=" + Number2DaoSql(aTimePeriodID) + " and " +
        instance + " and doc.currency_id=" + Number2DaoSql(aCurrencyID) +
        " and (IsNull (doc.top_doc_id) or doc.top_doc_id = 0)" +
        " and doc.template_id in (select t2.template_id "
        "from doc_templates AS t1 "
        "INNER JOIN doc_templates AS t2 ON t1.doc_type_id=t2.doc_type_id "
        "Where t1.template_id = " +
        Number2DaoSql(aTemplateID) + " ) order by doc.accept_date desc, doc.doc_type desc;");
  });
}

double GetPrevDocumentID(double aDocumentID) {
  return Guard(QV_HERE, [&] { return FindNeighbour(aDocumentID, false); });
}

double GetNextDocumentID(double aDocumentID) {
  return Guard(QV_HERE, [&] { return FindNeighbour(aDocumentID, true); });
}

}  // namespace qv::mQvDocumentSrv
