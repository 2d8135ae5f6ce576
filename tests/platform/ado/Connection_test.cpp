// The connection: connection strings, opening a Jet file, running statements
// into disconnected recordsets, and commands run through it.

#include <gtest/gtest.h>

#include "AdoTestSupport.h"
#include "platform/ado/Command.h"
#include "platform/ado/Connection.h"
#include "platform/jet/JetConnection.h"

namespace qv::ado {
namespace {

using test::ExpectError;

TEST(ConnectionString, ReadsProviderSourceAndMode) {
  const struct {
    const char* text;
    const char* provider;
    const char* source;
    bool readOnly;
  } cases[] = {
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/d/Quivane.mdb", "Microsoft.Jet.OLEDB.4.0",
       "/d/Quivane.mdb", false},
      {" provider = x ; DATA SOURCE = /a b/c.mdb ;", "x", "/a b/c.mdb", false},
      {"Data Source=\"/x;y/z.mdb\";Provider='P'", "P", "/x;y/z.mdb", false},
      {"Provider=P;;Data Source=;Mode=Read", "P", "", true},
      {"Mode=Share Deny None;User ID=admin", "", "", false},
      {"", "", "", false},
  };
  for (const auto& c : cases) {
    JetConnectionString parsed = ParseConnectionString(c.text);
    EXPECT_EQ(parsed.provider, c.provider) << c.text;
    EXPECT_EQ(parsed.dataSource, c.source) << c.text;
    EXPECT_EQ(parsed.readOnly, c.readOnly) << c.text;
  }
  for (const char* bad : {"Provider", "Data Source=\"/x", "Data Source=\"/x\" y"}) {
    SCOPED_TRACE(::testing::Message() << bad);
    ExpectError(adoerr::kBadArguments, "", [&] { ParseConnectionString(bad); });
  }
}

class ConnectionTest : public ::testing::Test {
 protected:
  ConnectionTest() {
    path_ = dir_.File("Quivane.mdb");
    auto db = jet::Connection::Create(path_);
    db->Schema().CreateTable({"T",
                              {{"ID", jet::JetType::kLong},
                               {"Name", jet::JetType::kText, 20},
                               {"Amount", jet::JetType::kCurrency},
                               {"Born", jet::JetType::kDate},
                               {"Memo", jet::JetType::kMemo}},
                              {}});
    db->Execute("INSERT INTO T (ID, Name, Amount, Born) VALUES (1, 'Иванов', 10.5, #03/05/2007#)");
    db->Execute("INSERT INTO T (ID, Name) VALUES (2, 'Петров')");
  }
  std::string Jet(const std::string& path) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
  }

  testsupport::TempFolder dir_;
  std::string path_;
};

TEST_F(ConnectionTest, RunsSelectsIntoRecordsetsAndCountsChanges) {
  ObjectPtr obj = CreateObject("ADODB.Connection.2.6");
  auto conn = std::dynamic_pointer_cast<Connection>(obj);
  ASSERT_TRUE(conn);
  obj->Let("ConnectionString", Variant(Jet(path_)));
  obj->CallV("Open");
  EXPECT_EQ(obj->Get("State"), Variant(adStateOpen));
  EXPECT_EQ(conn->DataSource(), path_);

  auto rs = obj->CallV("Execute", "select * from T order by ID").ObjectAs<Recordset>();
  ASSERT_TRUE(rs);
  EXPECT_EQ(test::Render(*rs),
            "ID:3(4) | Name:202(20) | Amount:6(8) | Born:7(8) | Memo:203(0)\n"
            "> Long 1 | String \"Иванов\" | Currency 10.5 | Date 05.03.2007 | Null\n"
            "  Long 2 | String \"Петров\" | Null | Null | Null\n");

  std::vector<Variant> args{Variant("update T set Name = Name & '!' where ID > 0"), Variant()};
  auto closed = obj->Call("Execute", args).ObjectAs<Recordset>();
  EXPECT_EQ(args[1], Variant(int32_t{2}));
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->State(), adStateClosed);

  EXPECT_EQ(conn->BeginTrans(), 1);
  conn->Run("delete from T");
  conn->RollbackTrans();
  EXPECT_EQ(test::ColumnText(*conn->Run("select Name from T order by ID"), 0), "Иванов!,Петров!");
  auto empty = conn->Run("select ID from T where ID = 0");
  EXPECT_EQ(empty->RecordCount(), 0);
  EXPECT_TRUE(empty->IsEOF());

  obj->CallV("Close");
  ExpectError(adoerr::kObjectClosed, "", [&] { obj->CallV("Close"); });
  ExpectError(adoerr::kObjectClosed, "", [&] { conn->Run("select * from T"); });
}

TEST_F(ConnectionTest, OpenFailuresNameTheirCause) {
  const struct {
    std::string text;
    int32_t number;
    const char* description;
    const char* source;
  } cases[] = {
      {"Provider=SQLOLEDB;Data Source=" + path_, adoerr::kProviderNotFound,
       "Provider cannot be found. It may not be properly installed.", "ADODB.Connection"},
      {"Data Source=" + path_, adoerr::kProviderNotFound, "", "ADODB.Connection"},
      {Jet((dir_ / "Missing.mdb").string()), 3024, "", "Microsoft JET Database Engine"},
      {Jet("/no/such/folder/Quivane.mdb"), 3044, "", "Microsoft JET Database Engine"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Connection conn;
    EXPECT_EQ(ExpectError(c.number, c.description, [&] { conn.Open(c.text, "", "", -1); }).Source(),
              c.source);
    EXPECT_EQ(conn.State(), adStateClosed);
  }
  Connection conn;
  conn.Open(Jet(path_), "", "", -1);
  ExpectError(adoerr::kObjectOpen, "", [&] { conn.Open(Jet(path_), "", "", -1); });
  ExpectError(adoerr::kObjectOpen, "", [&] { conn.SetConnectionString(""); });
  ExpectError(3078, "", [&] { conn.Run("select * from NoSuchTable"); });

  Connection reader;
  reader.Open(Jet(path_) + ";Mode=Read", "", "", -1);
  ExpectError(3027, "", [&] { reader.Run("delete from T"); });
}

TEST_F(ConnectionTest, CommandsRunThroughTheirConnection) {
  auto conn = std::make_shared<Connection>();
  conn->Open(Jet(path_), "", "", -1);
  ObjectPtr cmd = CreateObject("ADODB.Command");
  cmd->Let("ActiveConnection", Variant(ObjectPtr(conn)));
  cmd->Let("CommandText", Variant("select count(*) as N from T"));
  auto rs = cmd->CallV("Execute").ObjectAs<Recordset>();
  ASSERT_TRUE(rs);
  EXPECT_EQ(test::ColumnText(*rs, 0), "2");

  ObjectPtr byText = CreateObject("ADODB.Command");
  byText->Let("ActiveConnection", Variant(Jet(path_)));
  byText->Let("CommandType", Variant(adCmdTable));
  byText->Let("CommandText", Variant("T"));
  EXPECT_EQ(byText->CallV("Execute").ObjectAs<Recordset>()->RecordCount(), 2);
  EXPECT_TRUE(byText->Get("ActiveConnection").ObjectAs<Connection>());

  cmd->Let("CommandType", Variant(adCmdStoredProc));
  ExpectError(adoerr::kBadArguments, "", [&] { cmd->CallV("Execute"); });
  cmd->Let("CommandType", Variant(adCmdText));
  ObjectPtr param = cmd->CallV("CreateParameter", "p", adInteger).AsObject();
  cmd->Get("Parameters").AsObject()->CallV("Append", param);
  ExpectError(adoerr::kBadArguments, "", [&] { cmd->CallV("Execute"); });
  conn->Close();
  ExpectError(adoerr::kConnectionUnusable, "", [&] { cmd->CallV("Execute"); });
}

}  // namespace
}  // namespace qv::ado
