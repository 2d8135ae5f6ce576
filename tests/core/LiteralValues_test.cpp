// The bound values of the toolkit's literal builders store what their
// literals store.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "CoreTestSupport.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/automation/VbaDate.h"
#include "platform/jet/JetConnection.h"

namespace qv {
namespace {

using namespace mQvDaoDataBase;

// Each value goes into its column once as the literal in a Jet statement
// and once bound to a native one; both rows must hold the same value of
// the same storage type.
class LiteralValues : public coretest::DataFolderTest {};

TEST_F(LiteralValues, BoundValuesStoreWhatTheLiteralsStore) {
  auto db = miDataBase::GetUserDataBase();
  jet::Connection& conn = db->Connection();
  conn.Schema().CreateTable({"V",
                             {{"K", jet::JetType::kLong},
                              {"L", jet::JetType::kLong},
                              {"N", jet::JetType::kDouble},
                              {"T", jet::JetType::kText, 255},
                              {"G", jet::JetType::kGUID},
                              {"D", jet::JetType::kDate}},
                             {}});
  const Variant withFraction(OleDate{MakeDate({2026, 1, 2, 10, 11, 12}).serial + 0.4 / 86400});
  const struct {
    const char* column;
    std::string literal;
    Variant value;
  } cases[] = {
      {"L", Number2DaoSql(3.0), Variant(Number2DaoValue(3.0))},
      {"L", Number2DaoSql(-0.0), Variant(Number2DaoValue(-0.0))},
      {"N", Number2DaoSql(1017.0), Variant(Number2DaoValue(1017.0))},
      {"N", Number2DaoSql(0.1 + 0.2), Variant(Number2DaoValue(0.1 + 0.2))},
      {"N", Number2DaoSql(1.0 / 3), Variant(Number2DaoValue(1.0 / 3))},
      {"N", Number2DaoSql(-2.5e-7), Variant(Number2DaoValue(-2.5e-7))},
      {"N", Number2DaoSql(1e20), Variant(Number2DaoValue(1e20))},
      {"T", DaoQString("a\"b\tc\r\nd"), Variant(DaoQStringValue("a\"b\tc\r\nd"))},
      {"T", DaoQString("Ёлка '' \"\""), Variant(DaoQStringValue("Ёлка '' \"\""))},
      {"G", Guid2DaoSql("6f9619ff-8b86-d011-b42d-00c04fc964ff", "g"),
       Variant(Guid2DaoValue("6f9619ff-8b86-d011-b42d-00c04fc964ff", "g"))},
      {"G", Guid2DaoSql(" {6F9619FF-8b86-D011-B42D-00C04FC964FF} ", "g"),
       Variant(Guid2DaoValue(" {6F9619FF-8b86-D011-B42D-00C04FC964FF} ", "g"))},
      {"D", DateTime2DaoSql(withFraction, "Null"),
       Variant(DateTime2DaoValue(withFraction, std::nan("")))},
      {"D", DateTime2DaoSql(Variant(OleDate{0.75}), "DateSerial(1899,12,31)"),
       Variant(DateTime2DaoValue(Variant(OleDate{0.75}), DateSerial(1899, 12, 31).serial))},
  };
  int32_t key = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.literal);
    ++key;
    const std::string column = c.column;
    QvExecuteSql(
        "insert into V (K, " + column + ") values (" + std::to_string(key) + ", " + c.literal + ")",
        db);
    jet::Statement insert = conn.PrepareNative("INSERT INTO V (K, " + column + ") VALUES (" +
                                               std::to_string(-key) + ", ?)");
    insert.Bind(1, c.value);
    insert.Run();
    jet::Statement same =
        conn.PrepareNative("SELECT a." + column + " IS b." + column + " AND typeof(a." + column +
                           ") = typeof(b." + column + "), quote(a." + column + "), quote(b." +
                           column + ") FROM V AS a, V AS b WHERE a.K = " + std::to_string(key) +
                           " AND b.K = " + std::to_string(-key));
    ASSERT_TRUE(same.Step());
    EXPECT_EQ(same.Int64(0), 1) << same.Text(1) << " against " << same.Text(2);
  }
  // The same errors as the literals.
  testsupport::ExpectError(6, "", [] { Number2DaoValue(std::numeric_limits<double>::infinity()); });
  testsupport::ExpectError(6, "", [] { Number2DaoValue(std::nan("")); });
  testsupport::ExpectError(5, "", [] { Guid2DaoValue("{guid {x}}", "g"); });
  testsupport::ExpectError(5, "", [] { DaoQStringValue(std::string(kMaxQStringBytes + 1, 'x')); });
}

}  // namespace
}  // namespace qv
