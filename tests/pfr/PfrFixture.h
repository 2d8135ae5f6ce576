#pragma once
// A data folder with the library's session on it, as the record tests use,
// plus what the pension-fund tests share: two taxpayers with a stream and a
// report document each (plain rows), records of the pension-fund library,
// and a count of the rows written per table and kind of write (triggers of
// the test's own connection).

#include <string>

#include "core/mQvDaoDataBase.h"
#include "pfr/PfrMappers.h"
#include "platform/ado/Recordset.h"
#include "platform/jet/JetConnection.h"
#include "records/EntityFixture.h"

namespace qv::pfr::testing {

using records::QvRecordPtr;
using records::testing::ExpectError;

class PfrTest : public records::testing::EntityTest {
 protected:
  // Taxpayer persons 5 and 6, their streams 50 and 60, documents 500 and 600.
  static constexpr double kTaxpayer = 5, kOtherTaxpayer = 6;
  static constexpr double kDocument = 500, kOtherDocument = 600;

  void SetUp() override {
    EntityTest::SetUp();
    InsertRows("insert into AccStream (ID, PersonID, DisplayName)",
               {"(50, 5, 'Main')", "(60, 6, 'Other')"});
    InsertRows("insert into doc_registry (document_id, taxpayer_id)", {"(500, 50)", "(600, 60)"});
  }

 public:
  static QvRecordPtr NewPfr(const std::string& type) {
    return records::QvRecord::Create("Qv_PfrRecords." + type);
  }
  static QvRecordPtr Cell(int32_t key, const std::string& value, int32_t line = 0,
                          int32_t table = 0, int32_t type = 1) {
    auto c = NewPfr("QvPfrCell");
    c->Let("Key", Variant(key));
    c->Let("LineNum", Variant(line));
    c->Let("TableNum", Variant(table));
    c->Let("ValueType", Variant(type));
    c->Let("Value", Variant(value));
    return c;
  }
  // A new sub-document of `document` about `person` (0: none).
  static QvRecordPtr NewSubDoc(double document, double person, int32_t type = 1) {
    auto s = NewPfr("QvPfrSubDoc");
    s->Let("DocumentID", Variant(document));
    s->Let("SubDocType", Variant(type));
    if (person != 0) Sub(s, "PfrPerson")->SetID(Variant(person));
    return s;
  }
  // "1,2" of a collection: the records' identifiers, or the values.
  static std::string Ids(const CollectionPtr& c) {
    std::string text;
    for (int32_t i = 1; i <= c->Count(); ++i) {
      const Variant& v = c->At(i);
      text += (i > 1 ? "," : "") + CStr(v.IsObject() ? Variant(Item(c, i)->Id()) : v);
    }
    return text;
  }
  // "a|b" of field `field` of every row of a recordset.
  static std::string Column(const ado::RecordsetPtr& rs, const char* field) {
    std::string text;
    if (rs->RecordCount() == 0) return text;
    for (rs->MoveFirst(); !rs->IsEOF(); rs->MoveNext())
      text += (text.empty() ? "" : "|") + CStr(rs->CurrentValue(rs->FieldIndex(field)));
    return text;
  }
  // A sub-document row of `document` about `person` (0: none).
  void SubDocRow(double id, double document, double person = 0, double type = 0) {
    Sql("insert into PfrSubDocs (ID, DocumentID, PfrPersonID, SubDocType) values (" +
        CStr(Variant(id)) + ", " + CStr(Variant(document)) + ", " + CStr(Variant(person)) + ", " +
        CStr(Variant(type)) + ")");
  }
  // A cell row of a sub-document under the next identifier of the test.
  void CellRow(double subDoc, int32_t key, const std::string& value, int32_t line = 0,
               int32_t table = 0) {
    Sql("insert into PfrCellValues (ID, SubDocID, Key, LineNum, TableNum, ValueType, [Value]) "
        "values (" +
        std::to_string(++cellRows_) + ", " + CStr(Variant(subDoc)) + ", " + std::to_string(key) +
        ", " + std::to_string(line) + ", " + std::to_string(table) + ", 1, " +
        mQvDaoDataBase::DaoQString(value) + ")");
  }
  // An insured person row of `taxpayer`.
  void InsertPfrPerson(double id, double taxpayer, const std::string& surname = "Ivanov") {
    Sql("insert into PfrPersons (ID, Person_ID, Surname) values (" + CStr(Variant(id)) + ", " +
        CStr(Variant(taxpayer)) + ", '" + surname + "')");
  }

  // From here on, every insert, update and delete of the pension-fund
  // tables is counted: by triggers of the folder's engine, on a file or on a
  // server.
  void CountWrites() {
    static constexpr const char* kTables[] = {"PfrSubDocs", "PfrCellValues", "PfrErrors",
                                              "PfrPersons"};
    if (OnServer()) {
      ServerSql("CREATE TABLE IF NOT EXISTS writes (tbl text, op text)");
      ServerSql("DELETE FROM writes");
      ServerSql(
          "CREATE OR REPLACE FUNCTION count_write() RETURNS trigger LANGUAGE plpgsql AS "
          "$$BEGIN INSERT INTO writes VALUES (TG_TABLE_NAME, TG_OP); RETURN NULL; END$$");
      for (const char* table : kTables)
        ServerSql(std::string("CREATE OR REPLACE TRIGGER count_write AFTER INSERT OR UPDATE OR "
                              "DELETE ON \"") +
                  table + "\" FOR EACH ROW EXECUTE FUNCTION count_write()");
      return;
    }
    NativeSql("CREATE TEMP TABLE IF NOT EXISTS writes (tbl TEXT, op TEXT)");
    NativeSql("DELETE FROM temp.writes");
    for (const char* table : kTables)
      for (const char* op : {"INSERT", "UPDATE", "DELETE"})
        NativeSql(std::string("CREATE TEMP TRIGGER IF NOT EXISTS count_") + table + "_" + op +
                  " AFTER " + op + " ON main." + table + " BEGIN INSERT INTO writes VALUES ('" +
                  table + "', '" + op + "'); END");
  }
  // "PfrCellValues: 3 INSERT, 1 UPDATE" ... the writes counted since the
  // last call, in a fixed order; "none" when there were none.
  std::string Writes() {
    std::string text;
    if (OnServer()) {
      text = ServerSql(
          "SELECT coalesce(string_agg(t, '; ' ORDER BY tbl), '') FROM (SELECT tbl, tbl || ': ' "
          "|| string_agg(n || ' ' || op, ', ' ORDER BY op) AS t FROM (SELECT tbl COLLATE \"C\" "
          "AS tbl, op COLLATE \"C\" AS op, count(*) AS n FROM writes GROUP BY 1, 2) AS w GROUP "
          "BY tbl) AS g");
      ServerSql("DELETE FROM writes");
      return text.empty() ? "none" : text;
    }
    jet::Statement st = db_->Connection().PrepareNative(
        "SELECT tbl || ': ' || group_concat(n || ' ' || op, ', ') FROM (SELECT tbl, op, count(*) "
        "AS n FROM temp.writes GROUP BY tbl, op ORDER BY tbl, op) GROUP BY tbl ORDER BY tbl");
    while (st.Step()) text += (text.empty() ? "" : "; ") + st.Text(0);
    st.Reset();
    NativeSql("DELETE FROM temp.writes");
    return text.empty() ? "none" : text;
  }

 private:
  int cellRows_ = 0;
};

}  // namespace qv::pfr::testing
