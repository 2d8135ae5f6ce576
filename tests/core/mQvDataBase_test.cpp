// DAO-to-ADO conversion of query results, and the ADO recordset routines.

#include "core/mQvDataBase.h"

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "core/mAdoRecordset.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/ado/AdoTestSupport.h"
#include "platform/automation/VbaDate.h"
#include "platform/dao/Recordset.h"
#include "platform/jet/JetConnection.h"
#include "support/DaoTables.h"

namespace qv {
namespace {

using coretest::ExpectError;
using mQvDaoDataBase::QvExecuteSql;
using mQvDaoDataBase::QvQuerySql;

class DaoToAdo : public coretest::DataFolderTest {
 protected:
  void SetUp() override {
    DataFolderTest::SetUp();
    using J = jet::JetType;
    testsupport::MakeTable(
        *miDataBase::GetUserDataBase(), "AllTypes",
        {{"Bool", J::kBoolean}, {"Byte", J::kByte},       {"Int", J::kInteger},
         {"Lng", J::kLong},     {"Cur", J::kCurrency},    {"Sng", J::kSingle},
         {"Dbl", J::kDouble},   {"Dt", J::kDate},         {"Bin", J::kBinary, 8},
         {"Txt", J::kText, 20}, {"LBin", J::kLongBinary}, {"Memo", J::kMemo},
         {"G", J::kGUID},       {"Big", J::kBigInt},      {"VBin", J::kVarBinary, 6},
         {"Ch", J::kChar, 3},   {"Num", J::kNumeric},     {"Dec", J::kDecimal},
         {"Flt", J::kFloat},    {"Tm", J::kTime}});
    QvExecuteSql("insert into AllTypes (Lng, Dt, Txt, Ch) values (1, #12/31/1899#, 'a', 'x')");
    QvExecuteSql("insert into AllTypes (Lng, Dt, Txt, Ch) values (2, #01/01/1901#, 'b', 'y')");
    QvExecuteSql(
        "insert into AllTypes (Lng, Dt, Txt, Ch) values (3, #12/31/1900 23:59:59#, 'c', 'z')");
    QvExecuteSql("insert into AllTypes (Lng, Dt, Ch) values (4, #03/05/1700#, 'w')");
  }
};

// Every Jet type becomes its ADO column; dates before 1901 become Null; the
// key column numbers the rows.
TEST_F(DaoToAdo, ColumnsTypesDatesAndKeyColumn) {
  auto rs = mQvDataBase::DaoToAdoRS(QvQuerySql("select * from AllTypes order by Lng"), "RowNo");
  ASSERT_TRUE(rs);
  std::string header;
  for (size_t c = 0; c < rs->FieldCount(); ++c) {
    const ado::FieldInfo& f = rs->FieldAt(c);
    header += f.name + ":" + std::to_string(f.type) + "(" + std::to_string(f.definedSize) + ")" +
              (f.attributes == ado::adFldIsNullable ? "" : "!") + " ";
  }
  EXPECT_EQ(header,
            "RowNo:3(4) Bool:11(2) Byte:3(4) Int:3(4) Lng:3(4) Cur:6(8) Sng:4(4) Dbl:5(8) "
            "Dt:7(8) Bin:128(8) Txt:203(255) LBin:128(0) Memo:203(1000000) G:72(16) Big:20(8) "
            "VBin:204(6) Ch:129(3)! Num:131(19) Dec:14(16) Flt:5(8) Tm:134(6) ");
  EXPECT_EQ(ado::test::ColumnText(*rs, 0), "1,2,3,4");
  EXPECT_EQ(ado::test::ColumnText(*rs, rs->FieldIndex("Dt")), "Null,01.01.1901,Null,Null");
  EXPECT_EQ(ado::test::ColumnText(*rs, rs->FieldIndex("Txt")), "a,b,c,Null");
  EXPECT_EQ(rs->AbsolutePosition(), 1);

  auto plain =
      mQvDataBase::DaoToAdoRS(QvQuerySql("select Lng, Txt from AllTypes where Lng > 9"), "");
  EXPECT_EQ(ado::test::Render(*plain), "Lng:3(4) | Txt:203(255)\n");
  EXPECT_EQ(mQvDataBase::DaoToAdoRS(nullptr, "K"), nullptr);
  EXPECT_TRUE(shown_.empty());
}

// Results of the same query share their column list until one changes it:
// a value, a field's precision or an appended field shows in that result
// only, and the next result still has the query's own columns.
TEST_F(DaoToAdo, ResultsOfOneQueryKeepTheirOwnColumns) {
  const std::string sql = "select Lng, Txt from AllTypes where Lng < 3 order by Lng";
  auto first = mQvDaoDataBase::QvQuerySqlA(sql);
  auto second = mQvDaoDataBase::QvQuerySqlA(sql);
  second->SetValue(1, Variant("changed"));
  second->Update();
  second->Close();
  second->SetPrecision(0, 7);
  second->AppendField("Extra", ado::adInteger);
  second->DeleteField(1);
  // a copy of the same statement with a key column has its own columns
  // (a server database prepares no statement: its copy is the recordset's)
  std::optional<jet::Statement> st = mQvDaoDataBase::QvPrepareQuery(sql);
  std::exception_ptr failed;
  auto keyed = st ? mQvDataBase::StatementToAdoRS(*st, "K", failed)
                  : mQvDataBase::DaoToAdoRS(QvQuerySql(sql), "K");
  ASSERT_TRUE(keyed);
  ASSERT_EQ(keyed->FieldCount(), 3u);
  EXPECT_EQ(keyed->FieldAt(0).name, "K");
  auto third = mQvDaoDataBase::QvQuerySqlA(sql);
  for (const auto& rs : {first, third}) {
    ASSERT_EQ(rs->FieldCount(), 2u);
    EXPECT_EQ(rs->FieldAt(1).name, "Txt");
    EXPECT_EQ(ado::test::ColumnText(*rs, 1), "a,b");
    EXPECT_EQ(rs->FieldAt(0).precision, first->FieldAt(0).precision);
    EXPECT_FALSE(rs->FindField("Extra"));
  }
  EXPECT_NE(first->FieldAt(0).precision, 7);
  EXPECT_EQ(second->FieldCount(), 2u);
  EXPECT_EQ(second->FieldAt(1).name, "Extra");
  EXPECT_EQ(second->FieldAt(0).precision, 7);
}

// The same texts read as recordsets and as copies in turn: each kind keeps
// the column list it shares with later results of the text (texts differing
// only in their literals included) apart from the other kind's.
TEST_F(DaoToAdo, RecordsetsAndCopiesOfOneTextKeepTheirOwnColumns) {
  const std::string two = "select Lng, Txt from AllTypes where Lng < 3 order by Lng";
  const char* kCopyOfTwo =
      "Lng:3(4) | Txt:203(255)\n> Long 1 | String \"a\"\n  Long 2 | String \"b\"\n";
  const struct {
    bool copy;  // a disconnected copy (else a recordset: "Name:type ... | value;Txt | ...")
    std::string sql;
    const char* expected;
  } rounds[] = {
      {false, two, "Lng:4 Txt:10 | 1;a | 2;b "},
      {true, two, kCopyOfTwo},
      {false, two, "Lng:4 Txt:10 | 1;a | 2;b "},
      {false, "select Lng, Txt from AllTypes where Lng < 4 order by Lng",
       "Lng:4 Txt:10 | 1;a | 2;b | 3;c "},
      {true, "select Lng, Txt from AllTypes where Lng < 2 order by Lng",
       "Lng:3(4) | Txt:203(255)\n> Long 1 | String \"a\"\n"},
      {false, "select Lng * 1.5 as Txt, Lng from AllTypes where Lng = 3", "Txt:7 Lng:4 | 4.5;4.5 "},
      {true, two, kCopyOfTwo},
      {false, "select Lng from AllTypes where Lng = 2", "Lng:4 | 2;- "},
  };
  for (const auto& r : rounds) {
    SCOPED_TRACE(r.sql);
    if (r.copy) {
      EXPECT_EQ(ado::test::Render(*mQvDaoDataBase::QvQuerySqlA(r.sql)), r.expected);
      continue;
    }
    auto rs = QvQuerySql(r.sql);
    std::string text;
    for (int32_t i = 0; i < rs->FieldCount(); ++i)
      text += rs->Column(i).spec.name + ":" +
              std::to_string(static_cast<int>(rs->Column(i).spec.type)) + " ";
    const int32_t txt = rs->FieldIndex("TXT");  // found by name, case-folded
    for (; !rs->IsEOF(); rs->MoveNext())
      text += "| " + CStr(rs->FieldValue(0)) + ";" +
              (txt < 0 ? std::string("-") : CStr(rs->FieldValue(txt))) + " ";
    EXPECT_EQ(text, r.expected);
    rs->Close();
  }
}

TEST_F(DaoToAdo, AnUnknownTypeIsShownAndLeftOut) {
  auto rs = mQvDataBase::DaoToAdoRS(QvQuerySql("select Null as Nothing, Lng from AllTypes"), "");
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, "DaoToAdoRS: Unknown field type");
  ASSERT_EQ(rs->FieldCount(), 1u);
  EXPECT_EQ(rs->FieldAt(0).name, "Lng");
  EXPECT_EQ(rs->RecordCount(), 4);
}

TEST_F(DaoToAdo, AValueThatDoesNotFitNamesItsColumn) {
  // A Char column is not nullable in the copy, so a Null there cannot be stored.
  QvExecuteSql("insert into AllTypes (Lng) values (5)");
  Error e = ExpectError(ado::adoerr::kMultipleStep, "", [] {
    mQvDataBase::DaoToAdoRS(QvQuerySql("select Lng, Ch from AllTypes"), "");
  });
  EXPECT_EQ(e.Description().substr(0, e.Description().find("\r\n")),
            "[Qv_DBProvider::mQvDataBase.DaoToAdoRS] {Name=[Ch], Type=129}");
}

TEST_F(DaoToAdo, AdoRoutinesCopyAndRead) {
  auto source = mQvDataBase::DaoToAdoRS(
      QvQuerySql("select Lng, Txt, Dt, Cur, Num from AllTypes order by Lng"), "");
  source->SetSort("Lng DESC");
  auto copy = mAdoRecordset::AdoCloneRecordset(source, true);
  EXPECT_EQ(ado::test::Render(*copy),
            "Lng:3(4) | Txt:203(255) | Dt:7(8) | Cur:6(8) | Num:131(19)\n"
            "  Long 4 | Null | Null | Null | Null\n"
            "  Long 3 | String \"c\" | Null | Null | Null\n"
            "  Long 2 | String \"b\" | Date 01.01.1901 | Null | Null\n"
            "> Long 1 | String \"a\" | Null | Null | Null\n");
  EXPECT_EQ(source->AbsolutePosition(), 1);  // the source did not move
  auto shape = mAdoRecordset::AdoCloneRecordset(source, false);
  EXPECT_EQ(shape->RecordCount(), 0);
  EXPECT_EQ(shape->FieldCount(), 5u);
  mAdoRecordset::AdoSafeMoveFirst(shape);
  mAdoRecordset::AdoSafeMoveFirst(nullptr);

  copy->MoveFirst();
  copy->MoveNext();
  copy->MoveNext();  // Lng 2
  EXPECT_EQ(mAdoRecordset::GetAdoString(*copy, "dt"), "01.01.1901");
  EXPECT_EQ(mAdoRecordset::GetAdoDate(*copy, "Dt"), MakeDate({1901, 1, 1}));
  EXPECT_EQ(mAdoRecordset::GetAdoLong(*copy, "Lng"), 2);
  EXPECT_EQ(mAdoRecordset::GetAdoDouble(*copy, "Cur", -1), -1);
  EXPECT_EQ(mAdoRecordset::GetAdoString(*copy, "Nosuch", "d"), "d");
  EXPECT_EQ(mAdoRecordset::GetAdoLong(*copy, "Txt", 7), 7);
  EXPECT_TRUE(mAdoRecordset::IsAdoFieldExists(*copy, "TXT"));
  EXPECT_FALSE(mAdoRecordset::IsAdoFieldExists(*copy, "T"));
  copy->MoveLast();
  copy->MoveNext();  // EOF: no current row
  EXPECT_EQ(mAdoRecordset::GetAdoString(*copy, "Txt", "eof"), "eof");

  EXPECT_EQ(mAdoRecordset::GetDelimitedNumberFieldValuesFromAdoRS(copy, "Lng", 0, ",", "-"),
            "4,3,2,1");
  EXPECT_EQ(mAdoRecordset::GetDelimitedNumberFieldValuesFromAdoRS(copy, "Txt", 0.5, ",", "-"),
            "0.5,0.5,0.5,0.5");
  EXPECT_EQ(mAdoRecordset::GetDelimitedNumberFieldValuesFromAdoRS(shape, "Lng", 0, ",", "-"), "-");
  EXPECT_EQ(mAdoRecordset::GetDelimitedNumberFieldValuesFromAdoRS(copy, "No", 0, ",", "-"), "-");

  // Precision and scale of numeric columns, and the defined size of
  // variable-length ones, are copied; values keep their kind.
  auto numbers = std::make_shared<ado::Recordset>();
  numbers->AppendField("N", ado::adNumeric, 0, ado::adFldIsNullable);
  numbers->SetPrecision(0, 12);
  numbers->SetNumericScale(0, 3);
  numbers->AppendField("T", ado::adVarWChar, 7, ado::adFldIsNullable);
  numbers->Open();
  numbers->AppendRow({Variant(1.25), Variant("abc")});
  auto numbersCopy = mAdoRecordset::AdoCloneRecordset(numbers, true);
  EXPECT_EQ(numbersCopy->FieldAt(0).precision, 12);
  EXPECT_EQ(numbersCopy->FieldAt(0).numericScale, 3);
  EXPECT_EQ(numbersCopy->FieldAt(1).definedSize, 7);
  EXPECT_EQ(ado::test::Render(*numbersCopy),
            "N:131(19) | T:202(7)\n> Double 1.25 | String \"abc\"\n");
}

}  // namespace
}  // namespace qv
