// DBQPfr: sub-documents of a document and of a person in a document.

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/mQvDataBase.h"
#include "pfr/DBQPfr.h"
#include "pfr/IntPfrCellValuesTable.h"
#include "pfr/PfrMappers.h"
#include "pfr/mPfrInternal.h"
#include "pfr/mPfrQueries.h"
#include "platform/dao/Transaction.h"
#include "records/MapperSession.h"
#include "records/miRecCollection.h"
#include "siblings/records/RecordFactory.h"

namespace qv::pfr {
using namespace mQvDaoDataBase;
using namespace mPfrQueries;
using records::QvRecordPtr;

namespace {

constexpr std::string_view kSubDocType = "Qv_PfrRecords.QvPfrSubDoc";

// The one-type or type-list selection of a document's sub-documents, in the
// order they were made (their keys): a file's index on DocumentID gives them
// so, a server in whatever order it keeps the rows, so the first is the
// first made on both. The first alone is the row of the least key (a TOP 1
// with ORDER BY ranks every row in a window on a file).
std::string DocSubDocsSql(double aDocID, const std::string& aTypeCondition, bool aTop1) {
  const std::string ofDocument =
      "from PfrSubDocs where DocumentID = " + Number2DaoSql(aDocID) + aTypeCondition;
  if (aTop1) return "select ID from PfrSubDocs where ID = (select min(ID) " + ofDocument + ")";
  return "select ID " + ofDocument + " order by ID";
}
std::string OneType(int32_t aSubDocType) {
  return " and SubDocType = " + Number2DaoSql(aSubDocType);
}

Variant ValuesOf(double aSubDocID, const Variant& aKeys) {
  if (!aKeys.IsArray() || aKeys.AsArray().dims.size() != 1)
    ThrowVb(vberr::kInvalidProcedureCall, "aKeys must be a one-dimensional array of cell keys");
  VariantArray out = aKeys.AsArray();
  for (Variant& item : out.items) {
    const int32_t key = CLng(item);
    item = Variant(aSubDocID == 0 ? std::string() : CellText(aSubDocID, key));
  }
  return Variant(std::move(out));
}

void DeleteIds(const CollectionPtr& ids) {
  if (ids->Count() > 0) DBPfrSubDoc().DeleteRecordsByIDs(ids);
}

}  // namespace

CollectionPtr DBQPfr::GetSubDocsByDocumentID(double aDocID, int32_t aFlags, Variant&) {
  return Guard(QV_HERE, [&] {
    if (aDocID == 0) return std::make_shared<Collection>();
    // References (1024) are not filled, so 1024 leaves out what 512 preloads.
    const bool byName = aFlags & 1, bareIds = aFlags & 2048, references = aFlags & 1024;
    const bool preload = (aFlags & 512) && !references;
    const std::string d = (aFlags & 256) ? " desc " : "";
    const std::string order = byName ? " order by UCase(p.Surname)" + d + ", UCase (p.Name)" + d +
                                           ", UCase(p.Patronymic) " + d + ", p.ID " + d +
                                           ", s.ID " + d + " "
                                     : " order by s.ID ";
    const std::string join =
        " from PfrSubDocs AS s "
        "Left Join PfrPersons AS p ON p.ID = s.PfrPersonID "
        "where s.DocumentID = " +
        Number2DaoSql(aDocID) + " ";
    std::string sql;
    if (preload)
      sql =
          "select s.ID, s.PfrPersonID, s.SubDocType, s.Disabled, s.EndDocumentID, "
          "s.EndPersonNumber, s.MaxErrorLevel, s.ManualSheafID, p.Surname, p.Name, "
          "p.Patronymic, p.TabNumber, p.PfrNumber, p.Inn, p.IsDismissed, p.DismissDate, "
          "p.ID AS " +
          std::string(kJoinedPersonId) + join + order;
    else if (byName)
      sql = "select s.ID " + join + order;
    else
      sql =
          "select s.ID from PfrSubDocs AS s where s.DocumentID = " + Number2DaoSql(aDocID) + order;
    if (bareIds) return IdsOf(sql);
    DaoRecordsetPtr rs = QvQuerySqlStatic(sql);
    CollectionPtr out;
    if (preload) {
      out = std::make_shared<Collection>();
      auto factory = records::RecordFactory::ForThisThread();
      for (DaoSafeMoveFirst(*rs); !rs->IsEOF(); rs->MoveNext()) {
        QvRecordPtr rec = factory->NewRecord(std::string(kSubDocType));
        FillPfrSubDocFromRow(*rs, *rec, true);
        out->Add(Variant(ObjectPtr(rec)));
      }
    } else if (references) {
      out = miRecCollection::GetRecCollection_QvPfrSubDoc(*rs, "ID");
    } else {
      out = miRecCollection::GetRecCollection_QvPfrSubDocPreloaded(*rs, "ID");
    }
    rs->Close();
    return out;
  });
}

CollectionPtr DBQPfr::GetSubDocsByDocumentIDAndSubDocType(double aDocID, int32_t aSubDocType,
                                                          bool aOnlyFirst) {
  return Guard(QV_HERE, [&] {
    if (aDocID == 0) return std::make_shared<Collection>();
    return SubDocsOf(DocSubDocsSql(aDocID, OneType(aSubDocType), aOnlyFirst));
  });
}

CollectionPtr DBQPfr::GetSubDocIDsByDocumentIDAndSubDocType(double aDocID,
                                                            const std::string& aSubDocTypes,
                                                            bool aOnlyFirst) {
  return Guard(QV_HERE, [&] {
    const std::string types = SubDocTypesCondition(aSubDocTypes);
    if (aDocID == 0) return std::make_shared<Collection>();
    return IdsOf(DocSubDocsSql(aDocID, types, aOnlyFirst));
  });
}

ObjectPtr DBQPfr::GetFirstSubDocsByDocumentIDAndSubDocType(double aDocID, int32_t aSubDocType) {
  return Guard(QV_HERE, [&] {
    if (aDocID == 0) return ObjectPtr();
    return SubDocOrNothing(FirstIdOf(DocSubDocsSql(aDocID, OneType(aSubDocType), true)));
  });
}

double DBQPfr::GetFirstSubDocIDByDocumentIDAndSubDocType(double aDocID,
                                                         const std::string& aSubDocTypes) {
  return Guard(QV_HERE, [&] {
    const std::string types = SubDocTypesCondition(aSubDocTypes);
    return aDocID == 0 ? 0.0 : FirstIdOf(DocSubDocsSql(aDocID, types, true));
  });
}

CollectionPtr DBQPfr::GetSubDocIDsByDocIDAndSubDocTypeSorted(double aDocID, int32_t aSubDocType,
                                                             const std::string&) {
  return Guard(QV_HERE, [&] {
    if (aDocID == 0) return std::make_shared<Collection>();
    return IdsOf(
        "select s.ID from PfrSubDocs AS s "
        "Left Join PfrPersons AS p ON p.ID = s.PfrPersonID "
        "where (s.DocumentID = " +
        Number2DaoSql(aDocID) + ") and (s.SubDocType = " + Number2DaoSql(aSubDocType) + ")" +
        " order by UCase(p.Surname), UCase(p.Name), UCase(p.Patronymic), p.ID, s.ID");
  });
}

CollectionPtr DBQPfr::GetSubdocsByExportedNums(double aMasterDocID, double aEndDocID,
                                               int32_t aNumInSheaf) {
  return Guard(QV_HERE, [&] {
    if (aMasterDocID == 0 || aEndDocID == 0) return std::make_shared<Collection>();
    return IdsOf("select ID from PfrSubDocs where DocumentID = " + Number2DaoSql(aMasterDocID) +
                 " and EndDocumentID = " + Number2DaoSql(aEndDocID) +
                 " and EndPersonNumber = " + Number2DaoSql(aNumInSheaf) + " order by ID");
  });
}

ado::RecordsetPtr DBQPfr::GetSubDocInfo(double aSubDocID, int32_t aOptions) {
  return Guard(QV_HERE, [&] {
    std::string sql = "select s.ID AS SubDocID, s.PfrPersonID, s.DocumentID, s.SubDocType, ";
    if (aOptions & 1) {
      const auto cell = [](const char* alias, const char* key, const char* as) {
        const std::string c(alias);
        return "(select top 1 " + c + ".[Value] from PfrCellValues AS " + c + " where " + c +
               ".SubDocID = s.ID and " + c + ".Key = " + key + " and " + c + ".TableNum = 0 and " +
               c + ".LineNum = 0) AS " + as + ", ";
      };
      sql += cell("c1", "200005", "DataType") + cell("c2", "200026", "CorrYear") +
             cell("c3", "200027", "CorrMonth");
    }
    return QvQuerySqlA(sql +
                       " 0 AS Dummy from PfrSubDocs as s where s.ID = " + Number2DaoSql(aSubDocID));
  });
}

Variant DBQPfr::GetSubDocValues(double aSubDocID, const Variant& aKeys) {
  return Guard(QV_HERE, [&] { return ValuesOf(aSubDocID, aKeys); });
}

Variant DBQPfr::GetSubDocValuesBySubDocType(double aDocID, int32_t aSubDocType,
                                            const Variant& aKeys) {
  return Guard(QV_HERE, [&] {
    const double id =
        aDocID == 0 ? 0 : FirstIdOf(DocSubDocsSql(aDocID, OneType(aSubDocType), true));
    return ValuesOf(id, aKeys);
  });
}

void DBQPfr::SetSubDocValuesBySubDocType(double aDocID, int32_t aSubDocType,
                                         const Variant& aValues) {
  Guard(QV_HERE, [&] {
    const std::vector<Variant> pairs = Elements(aValues);
    if (pairs.size() % 2 != 0)
      ThrowVb(vberr::kInvalidProcedureCall, "aValues must hold pairs of cell key and value");
    if (aDocID == 0) return;
    const double id = FirstIdOf(DocSubDocsSql(aDocID, OneType(aSubDocType), true));
    if (id == 0) return;
    auto db = records::MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    auto session = IntPfrCellValuesTable::OpenSession();
    session->SetSubDocID(id);
    for (size_t i = 0; i < pairs.size(); i += 2)
      session->SetString(CLng(pairs[i]), pairs[i + 1].IsNull() ? "" : CStr(pairs[i + 1]), 0, 0);
    session->CloseTable();
    tx.Commit();
  });
}

ObjectPtr DBQPfr::GetPfrCellsDirectSession() {
  return Guard(QV_HERE, [&] { return ObjectPtr(IntPfrCellValuesTable::OpenSession()); });
}

// ---- a person in a document

CollectionPtr DBQPfr::GetSubDocsOfPersonInDocument(double aDocumentID, double aPfrPersonID,
                                                   const std::string& aSubDocTypes) {
  return Guard(QV_HERE, [&] {
    const std::string sql = PersonSubDocsSql(aDocumentID, aPfrPersonID, aSubDocTypes, false);
    return aDocumentID == 0 ? std::make_shared<Collection>() : SubDocsOf(sql);
  });
}

CollectionPtr DBQPfr::GetSubDocIDsOfPersonInDocument(double aDocumentID, double aPfrPersonID,
                                                     const std::string& aSubDocTypes) {
  return Guard(QV_HERE, [&] {
    const std::string sql = PersonSubDocsSql(aDocumentID, aPfrPersonID, aSubDocTypes, false);
    return aDocumentID == 0 ? std::make_shared<Collection>() : IdsOf(sql);
  });
}

double DBQPfr::GetFirstSubDocIDOfPersonInDocument(double aDocumentID, double aPfrPersonID,
                                                  const std::string& aSubDocTypes) {
  return Guard(QV_HERE, [&] {
    const std::string sql = PersonSubDocsSql(aDocumentID, aPfrPersonID, aSubDocTypes, true);
    return aDocumentID == 0 ? 0.0 : FirstIdOf(sql);
  });
}

ObjectPtr DBQPfr::GetFirstSubDocOfPersonInDocument(double aDocumentID, double aPfrPersonID,
                                                   const std::string& aSubDocTypes) {
  return Guard(QV_HERE, [&] {
    const std::string sql = PersonSubDocsSql(aDocumentID, aPfrPersonID, aSubDocTypes, true);
    return aDocumentID == 0 ? ObjectPtr() : SubDocOrNothing(FirstIdOf(sql));
  });
}

bool DBQPfr::HasSubDocsOfPersonInDocument(double aDocumentID, double aPfrPersonID,
                                          const std::string& aSubDocTypes) {
  return Guard(QV_HERE, [&] {
    const std::string sql = PersonSubDocsSql(aDocumentID, aPfrPersonID, aSubDocTypes, true);
    return aDocumentID != 0 && FirstIdOf(sql) != 0;
  });
}

void DBQPfr::CopyPersonSubDocsToDestDoc(double aSrcDocumentID, double aSrcPfrPersonID,
                                        double aDestDocumentID, const std::string& aSubDocTypes) {
  Guard(QV_HERE, [&] {
    const std::string sourceSql =
        PersonSubDocsSql(aSrcDocumentID, aSrcPfrPersonID, aSubDocTypes, false);
    if (aSrcDocumentID == 0 || aSrcPfrPersonID == 0 || aDestDocumentID == 0 ||
        aSrcDocumentID == aDestDocumentID)
      return;
    auto db = records::MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    DeleteIds(IdsOf(PersonSubDocsSql(aDestDocumentID, aSrcPfrPersonID, "*", false)));
    auto factory = records::RecordFactory::ForThisThread();
    DBPfrSubDoc mapper;
    CollectionPtr ids = IdsOf(sourceSql);
    for (int32_t i = 1; i <= ids->Count(); ++i) {
      QvRecordPtr src = factory->GetLoadedRecord(std::string(kSubDocType), ids->At(i));
      QvRecordPtr copy = factory->NewRecord(std::string(kSubDocType));
      copy->SubRecord(copy->PropertyIndex("PfrPerson"))->SetID(Variant(aSrcPfrPersonID));
      for (const char* p : {"SubDocType", "Disabled"}) copy->Let(p, src->Get(p));
      copy->Let("Cells", src->Get("Cells"));
      copy->Let("DocumentID", Variant(aDestDocumentID));
      mapper.SaveRecord3(Variant(ObjectPtr(copy)), kPfrSaveCells | kPfrSaveKeepFlags, Variant());
    }
    tx.Commit();
  });
}

void DBQPfr::DeleteSubDocsOfPersonInDocument(double aDocumentID, double aPfrPersonID) {
  Guard(QV_HERE, [&] {
    if (aDocumentID != 0) DeleteIds(IdsOf(PersonSubDocsSql(aDocumentID, aPfrPersonID, "*", false)));
  });
}

void DBQPfr::DeleteSubDocsWithSubDocTypeInDocument(double aDocumentID,
                                                   const std::string& aSubDocTypes) {
  Guard(QV_HERE, [&] {
    const std::string types = SubDocTypesCondition(aSubDocTypes);
    if (aDocumentID != 0) DeleteIds(IdsOf(DocSubDocsSql(aDocumentID, types, false)));
  });
}

void DBQPfr::DeleteCollisioningSubDocsInDocument(double aDocumentID, int32_t aDelCollisionsType,
                                                 Variant& aParams) {
  Guard(QV_HERE, [&] {
    const std::vector<Variant> params = Elements(aParams);
    const std::string kind = mPfrInternal::GetIndDataTypeText(aDelCollisionsType);
    if (params.empty() || kind.empty())
      ThrowVb(vberr::kInvalidProcedureCall,
              "aDelCollisionsType must be a kind of individual data with a text and aParams "
              "hold the person's identifier first");
    const double person = CDbl(params[0]);
    if (aDocumentID == 0) return;
    DeleteIds(
        IdsOf("select ID "
              "from ( select s.ID AS ID, s.SubDocType AS SubDocType, "
              "(select top 1 c.Value from PfrCellValues AS c "
              "where c.SubDocID = s.ID and c.Key = " +
              Number2DaoSql(mPfrInternal::kIndDataTypeKey) +
              " and c.LineNum = 0 and c.TableNum = 0 ) As CellValue "
              "from PfrSubDocs AS s "
              "where s.DocumentID = " +
              Number2DaoSql(aDocumentID) + " and s.PfrPersonID = " + Number2DaoSql(person) +
              " ) where SubDocType in (7, 9) and CellValue = " + DaoQString(kind)));
  });
}

}  // namespace qv::pfr
