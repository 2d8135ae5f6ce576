// A statement's text read again and again, as a recordset and as a
// disconnected copy in turn: each kind of result keeps the column list it
// shares with the later results of the same text apart from the other's,
// and texts that differ only in their literals share it too.

#include <gtest/gtest.h>

#include <string>

#include "CoreTestSupport.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/ado/AdoTestSupport.h"
#include "platform/dao/Recordset.h"
#include "platform/jet/JetConnection.h"

namespace qv {
namespace {

using mQvDaoDataBase::QvExecuteSql;

class SharedStatementColumns : public coretest::DataFolderTest {
 protected:
  void SetUp() override {
    DataFolderTest::SetUp();
    using J = jet::JetType;
    miDataBase::GetUserDataBase()->Connection().Schema().CreateTable(
        {"Item", {{"Code", J::kLong}, {"Title", J::kText, 20}, {"Price", J::kDouble}}, {}});
    QvExecuteSql("insert into Item (Code, Title, Price) values (1, 'один', 1.5)");
    QvExecuteSql("insert into Item (Code, Title, Price) values (2, 'два', 2.5)");
    QvExecuteSql("insert into Item (Code, Title, Price) values (3, 'три', 3.5)");
  }
};

// The recordset's columns and rows: "Name:type ... | value;value | ...".
std::string RecordsetText(dao::Recordset& rs) {
  std::string out;
  for (int32_t i = 0; i < rs.FieldCount(); ++i)
    out += rs.Column(i).spec.name + ":" + std::to_string(static_cast<int>(rs.Column(i).spec.type)) +
           " ";
  // Found by name, case-folded, as callers look fields up.
  const int32_t title = rs.FieldIndex("TITLE");
  for (; !rs.IsEOF(); rs.MoveNext())
    out += "| " + CStr(rs.FieldValue(0)) + ";" +
           (title < 0 ? std::string("-") : CStr(rs.FieldValue(title))) + " ";
  return out;
}

TEST_F(SharedStatementColumns, EachKindOfResultKeepsItsOwn) {
  const char* kCopyOfTwo =
      "Code:3(4) | Title:203(255)\n> Long 1 | String \"один\"\n  Long 2 | String \"два\"\n";
  const struct {
    bool copy;  // a disconnected copy (else a recordset)
    const char* sql;
    const char* expected;
  } rounds[] = {
      {false, "select Code, Title from Item where Code < 3 order by Code",
       "Code:4 Title:10 | 1;один | 2;два "},
      {true, "select Code, Title from Item where Code < 3 order by Code", kCopyOfTwo},
      {false, "select Code, Title from Item where Code < 3 order by Code",
       "Code:4 Title:10 | 1;один | 2;два "},
      {false, "select Code, Title from Item where Code < 4 order by Code",
       "Code:4 Title:10 | 1;один | 2;два | 3;три "},
      {true, "select Code, Title from Item where Code < 2 order by Code",
       "Code:3(4) | Title:203(255)\n> Long 1 | String \"один\"\n"},
      {false, "select Price as Title, Code from Item where Code > 2", "Title:7 Code:4 | 3.5;3.5 "},
      {true, "select Code, Title from Item where Code < 3 order by Code", kCopyOfTwo},
      {false, "select Code from Item where Code = 2", "Code:4 | 2;- "},
  };
  for (const auto& r : rounds) {
    SCOPED_TRACE(r.sql);
    if (r.copy) {
      EXPECT_EQ(ado::test::Render(*mQvDaoDataBase::QvQuerySqlA(r.sql)), r.expected);
    } else {
      auto rs = mQvDaoDataBase::QvQuerySql(r.sql);
      EXPECT_EQ(RecordsetText(*rs), r.expected);
      rs->Close();
    }
  }
}

}  // namespace
}  // namespace qv
