#include <gtest/gtest.h>

#include <array>
#include <string_view>

#include "DaoTestSupport.h"
#include "platform/dao/ServerQuery.h"
#include "platform/dao/TableRecordset.h"
#include "platform/jet/JetConnection.h"

namespace qv::dao::testing {
namespace {

using jet::JetType;

constexpr std::array<std::string_view, 2> kFields = {"Name", "Qty"};

// The fields of the row a point read finds, "none", or the error.
std::string PointRead(Database& db, double key) {
  std::string out;
  const Error e = testsupport::RaisedError([&] {
    if (db.IsServer()) {
      const auto row = SeekServerRow(db, "Item", "ById", key, {&kFields, kFields});
      out = row ? Text((*row)[0]) + "," + Text((*row)[1]) : "none";
      return;
    }
    std::optional<jet::Statement> st =
        TableRecordset::SeekFields(db, "Item", "ById", key, {&kFields, kFields});
    out = st ? Text(st->Value(0)) + "," + Text(st->Value(1)) : "none";
  });
  return e.Number() != 0 ? "error " + std::to_string(e.Number()) : out;
}

// A point read keeps what it looked up for its field list (definition,
// statement) between calls: each call still reads the file of its own
// database, by the table's definition as it stands after another
// connection changed it (on a server the database's own session, which
// sees its change at once), with the key converted to the key column's type.
TEST_F(DaoTest, PointReadsFollowTheirDatabaseAndTheSchema) {
  auto other = engine_->DefaultWorkspace()->Create(places_.Location("Other.mdb"), dbLangCyrillic);
  // The same table in both files, its columns in another order and its key
  // of another type.
  MakeTable(*db_, "Item",
            {{"ID", JetType::kLong}, {"Name", JetType::kText, 10}, {"Qty", JetType::kLong}},
            {{"ById", "ID", false, true}});
  MakeTable(*other, "Item",
            {{"Qty", JetType::kLong}, {"Name", JetType::kText, 10}, {"ID", JetType::kDouble}},
            {{"ById", "ID", false, true}});
  db_->ExecuteSql("INSERT INTO Item (ID, Name, Qty) VALUES (2, 'b', 20)");
  db_->ExecuteSql("INSERT INTO Item (ID, Name, Qty) VALUES (3, 'c', 30)");
  other->ExecuteSql("INSERT INTO Item (ID, Name, Qty) VALUES (2, 'y', 8)");
  other->ExecuteSql("INSERT INTO Item (ID, Name, Qty) VALUES (2.5, 'x', 9)");
  auto writer =
      TestPlaces::OnServer() ? nullptr : jet::Connection::Open(places_.Location("Test.mdb"));
  const struct {
    const char* change;  // run by another connection to Test.mdb first
    bool onOther;        // read Other.mdb
    double key;
    const char* seen;
  } steps[] = {
      {"", false, 2, "b,20"},
      {"", true, 2, "y,8"},
      {"", false, 3, "c,30"},
      {"", true, 2.5, "x,9"},
      {"", false, 2.5, "b,20"},  // a Long key rounds to even
      {"", false, 3.5, "none"},
      {"", false, 1e10, "error 3464"},
      {"DROP TABLE Item", false, 2, "error 3078"},
      {"CREATE TABLE Item (Qty DOUBLE, ID DOUBLE, Name TEXT(10))", false, 2, "error 3015"},
      {"CREATE UNIQUE INDEX ById ON Item (ID)", false, 2, "none"},
      {"INSERT INTO Item (ID, Name, Qty) VALUES (2.5, 'h', 1.5)", false, 2.5, "h,1.5"},
      {"", true, 2, "y,8"},
      {"ALTER TABLE Item DROP COLUMN Qty", false, 2.5, "error 3265"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(std::string(step.change) + " / " + std::to_string(step.key));
    if (*step.change && writer) writer->Execute(step.change);
    if (*step.change && !writer) db_->ExecuteSql(step.change);
    EXPECT_EQ(PointRead(step.onOther ? *other : *db_, step.key), step.seen);
  }
  other->Close();
}

}  // namespace
}  // namespace qv::dao::testing
