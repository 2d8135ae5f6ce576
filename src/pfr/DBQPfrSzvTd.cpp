// DBQPfr: the labour-activity report (its sections of a person, the posts
// written in a stream's reports).

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "pfr/DBQPfr.h"
#include "pfr/mPfrQueries.h"

namespace qv::pfr {
using namespace mQvDaoDataBase;
using namespace mPfrQueries;

namespace {

ado::RecordsetPtr PersonSections(double aPfrPersonID, double aAccStreamID,
                                 const std::string& aTypes, const std::string& aTemplates) {
  return QvQuerySqlA(
      "select * "
      "from ( select d.document_id AS DocumentID, d.taxpayer_id AS AccStreamID, "
      "d.time_id AS TimeID, d.template_id AS TemplateID, s.ID AS SubDocID, s.SubDocType, "
      "s.PfrPersonID "
      "from PfrSubDocs AS s "
      "LEFT JOIN Doc_Registry AS d ON d.Document_ID = s.DocumentID "
      "WHERE s.PfrPersonID = " +
      Number2DaoSql(aPfrPersonID) + " and s.SubDocType in (" + aTypes + ") and d.template_id" +
      aTemplates + " and d.Taxpayer_ID = " + Number2DaoSql(aAccStreamID) +
      ") order by d.time_id, d.document_id ");
}

}  // namespace

ado::RecordsetPtr DBQPfr::GetSzvTdSubDocsForPfrPerson(double aPfrPersonID, double aAccStreamID) {
  return Guard(QV_HERE,
               [&] { return PersonSections(aPfrPersonID, aAccStreamID, "41, 46", " = 789"); });
}

ado::RecordsetPtr DBQPfr::GetSzvTdSubDocsForPfrPerson2023(double aPfrPersonID, double aAccStreamID,
                                                          bool aIncludeOldRecs) {
  return Guard(QV_HERE, [&] {
    return aIncludeOldRecs
               ? PersonSections(aPfrPersonID, aAccStreamID, "41, 46, 59, 63", " in (789, 961, 963)")
               : PersonSections(aPfrPersonID, aAccStreamID, "59, 63", " in (961, 963)");
  });
}

CollectionPtr DBQPfr::GetSzvTdPostsList(double aAccStreamID) {
  return Guard(QV_HERE, [&] {
    auto out = std::make_shared<Collection>();
    DaoRecordsetPtr rs = QvQuerySqlStatic(
        "select distinct Trim$(c.Value) AS v "
        "from ( select * "
        "from (PfrSubDocs AS s LEFT JOIN Doc_Registry AS d ON d.Document_ID = s.DocumentID) "
        "LEFT JOIN PfrCellValues AS c ON c.SubDocID = s.ID "
        "where s.SubDocType in (41, 46) and d.Taxpayer_ID = " +

        Number2DaoSql(aAccStreamID) + " and c.Key = 1051105 ) order by v ");
    for (DaoSafeMoveFirst(*rs); !rs->IsEOF(); rs->MoveNext())
      out->Add(Variant(GetDaoString(*rs, "v")));
    rs->Close();
    return out;
  });
}

bool DBQPfr::HasAnotherSzvTdOnPerson(double aAccStreamID, double aPfrPersonID,
                                     double aExcludeDocID) {
  return Guard(QV_HERE, [&] {
    if (aPfrPersonID == 0 || aAccStreamID == 0) return false;
    return QvQueryExistence(
        "select top 1 ID from ( select ID, SubDocType, DocumentID from PfrSubDocs "
        "where PfrPersonID = " +
        Number2DaoSql(aPfrPersonID) +
        " ) AS s LEFT JOIN Doc_Registry AS d ON d.Document_ID = s.DocumentID "
        "where s.SubDocType in (41, 46) and d.Taxpayer_ID = " +
        Number2DaoSql(aAccStreamID) + " and s.DocumentID <> " + Number2DaoSql(aExcludeDocID));
  });
}

}  // namespace qv::pfr
