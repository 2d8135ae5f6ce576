#include <string>

#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "core/mQvDataBase.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "records/DBDocument.h"

namespace qv::records {

namespace {
using namespace mQvDaoDataBase;

// First_Type of computed cells.
constexpr int16_t kComputedCell = 129;

ado::RecordsetPtr QueryA(const std::string& sql, const DatabasePtr& db) {
  DaoRecordsetPtr rs = QvQuerySql(sql, db);
  ado::RecordsetPtr result = mQvDataBase::DaoToAdoRS(rs, "");
  rs->Close();
  return result;
}
}  // namespace

void DBConsDocCells::RemoveDocCells(double aConsDocID) {
  Guard(QV_HERE, [&] {
    if (aConsDocID == 0) return;
    QvExecuteSql("delete from ConsCellValues where Document_ID = " + Number2DaoSql(aConsDocID),
                 MapperUserDatabase());
  });
}

void DBConsDocCells::RecalculateDocument(double aConsDocID) {
  Guard(QV_HERE, [&] {
    auto db = MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    {
      Variant stream, tmpl, period;
      QvQuery3Values("select ConsStream_ID, Template_ID, Time_ID from ConsDocs where ID = " +
                         Number2DaoSql(aConsDocID),
                     stream, tmpl, period, db);
      // The repetition counters of a key (characters 3-4 and 8-10) are
      // zeroed, so that repeated rows of the members add up in one cell.
      const std::string sql =
          std::string("select gkey AS cell_key, sum (v) as first_value from ( select ") +
          "mid(a.cell_key, 1, 2)+\"00\"+mid(a.cell_key, 5, 3)+\"000\"+mid(a.cell_key, 11,"
          " 2) as gkey, val (a.first_value) as v "
          "from doc_cell_values as a "
          "left join doc_registry as b on a.document_id=b.document_id "
          "Where b.template_id = " +
          Number2DaoSql(mQvCommonCalc::VarToDoubleDef(tmpl, 0)) +
          " and b.time_id = " + Number2DaoSql(mQvCommonCalc::VarToDoubleDef(period, 0)) +
          " and b.Taxpayer_ID in ( select AccStreamID from ConsMembers where ConsStreamID = " +
          Number2DaoSql(mQvCommonCalc::VarToDoubleDef(stream, 0)) +
          " ) and b.top_doc_id = 0 ) group by gkey ";
      ado::RecordsetPtr sums = QueryA(sql, db);
      auto out = db->OpenTable("ConsCellValues");
      const size_t key = sums->FieldIndex("cell_key"), value = sums->FieldIndex("first_value");
      for (size_t r = 0; r < sums->RowCount(); ++r) {
        out->AddNew();
        out->SetField("Document_ID", Variant(aConsDocID));
        out->SetField("Cell_Key", sums->Value(r, key));
        out->SetField("First_Type", Variant(kComputedCell));
        out->SetField("First_Value", sums->Value(r, value));
        out->Update();
      }
      out->Close();
    }
    tx.Commit();
  });
}

ado::RecordsetPtr DBConsDocCells::ReadCellValues(double aConsDocID) {
  return Guard(QV_HERE, [&] {
    return QueryA(
        "select cell_key, first_value, \"\" AS second_value, first_type, 0 AS second_type "
        "from ConsCellValues where Document_ID = " +
            Number2DaoSql(aConsDocID),
        MapperUserDatabase());
  });
}

QV_DEFINE_CLASS(DBConsDocCells, "Qv_DBProvider.DBConsDocCells", QV_CREATABLE(DBConsDocCells),
                Method("RemoveDocCells(aConsDocID)", &DBConsDocCells::RemoveDocCells),
                Method("RecalculateDocument(aConsDocID)", &DBConsDocCells::RecalculateDocument),
                Method("ReadCellValues(aConsDocID)", &DBConsDocCells::ReadCellValues))

}  // namespace qv::records
