// Users, roles and permission blocks stored and loaded by DBPermissions, the
// rights system's state, and its part of the person and stream deletes.

#include "perms/DBPermissions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "core/miDataBase.h"
#include "perms/mPasswordShuffling.h"
#include "perms/miPerms.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/PgConnection.h"
#include "records/EntityFixture.h"
#include "records/EntityMappers.h"

namespace qv::perms {
namespace {

using records::QvRecordPtr;
using records::testing::EntityTest;
using testsupport::ExpectError;
using testsupport::kAnyError;

const jet::CommitsWatch kUsers{"PermUsers"};

class Permissions : public EntityTest {
 protected:
  // Every table of the rights system, as one text.
  std::string AllRows() {
    return Rows("select ID, RecType, Login, Disabled from PermUsers order by ID") + " / " +
           Rows("select * from PermSystem") + " / " +
           Rows(
               "select ID, UserID, BlockType, AreaType, OrderNum, PermObjectID, m1, v1, m5, v5 "
               "from PermBlocks order by ID") +
           " / " + Rows("select * from PermObjectLists order by BlockID, PermObjectID") + " / " +
           Rows("select * from PermMultiBlocks order by ID") + " / " +
           Rows("select * from PermDocLists order by MultiBlockID, TemplTypeID") + " / " +
           Rows("select * from PermUserRoles order by UserID, OrderNum");
  }

  static void AddAll(const CollectionPtr& c, std::initializer_list<double> values) {
    for (double v : values) c->Add(Variant(v));
  }
  static QvRecordPtr PermItem(int32_t type, int32_t order, std::initializer_list<double> classes) {
    QvRecordPtr item = New("QvPermItem");
    item->Let("ItemType", Variant(type));
    item->Let("OrderNum", Variant(order));
    item->Let("m", Variant(int32_t{-1}));
    item->Let("v", Variant(int32_t{7}));
    AddAll(List(item, "DocClasses"), classes);
    return item;
  }
  static QvRecordPtr PermBlock(int32_t type, double object, std::initializer_list<double> objects,
                               std::initializer_list<QvRecordPtr> items) {
    QvRecordPtr block = New("QvPermBlock");
    block->Let("BlockType", Variant(type));
    block->Let("AreaType", Variant(int32_t{2}));
    block->Let("OrderNum", Variant(type));
    block->Let("PermObjectID", Variant(object));
    block->Let("m1", Variant(int32_t{-1}));
    block->Let("v5", Variant(int32_t{31}));
    AddAll(List(block, "Objects"), objects);
    for (const QvRecordPtr& i : items) List(block, "Items")->Add(Obj(i));
    return block;
  }
  static QvRecordPtr PermUser(double id, const std::string& login, const std::string& password) {
    QvRecordPtr u = New("QvPermUser");
    u->SetID(Variant(id));
    u->Let("RecType", Variant(int32_t{1}));
    u->Let("Login", Variant(login));
    u->Let("Password", Variant(password));
    u->Let("Surname", Variant("Иванова"));
    return u;
  }

  // " a b c" of a collection of values.
  static std::string Values(const CollectionPtr& c) {
    std::string text;
    for (int32_t i = 1; i <= c->Count(); ++i) text += " " + CStr(c->At(i));
    return text;
  }
  // A loaded user as one text: its row, blocks (with objects, items and
  // document classes) and roles.
  static std::string UserText(const Variant& v) {
    if (v.IsNothing()) return "Nothing";
    auto u = v.ObjectAs<records::QvRecord>();
    std::string text = CStr(u->Get("ID")) + "|" + CStr(u->Get("Login")) + "|" +
                       CStr(u->Get("Password")) + "|" + CStr(u->Get("Surname")) + "|" +
                       CStr(u->Get("Disabled")) + " roles" + Values(List(u, "Roles"));
    const CollectionPtr blocks = List(u, "Blocks");
    for (int32_t i = 1; i <= blocks->Count(); ++i) text += " " + BlockText(Item(blocks, i));
    return text;
  }
  static std::string BlockText(const QvRecordPtr& b) {
    std::string text = "[" + CStr(b->Get("BlockType")) + " on " + CStr(b->Get("PermObjectID")) +
                       " m1=" + CStr(b->Get("m1")) + " v5=" + CStr(b->Get("v5")) + " objects" +
                       Values(List(b, "Objects"));
    const CollectionPtr items = List(b, "Items");
    for (int32_t i = 1; i <= items->Count(); ++i) {
      const QvRecordPtr it = Item(items, i);
      text += " item " + CStr(it->Get("ItemType")) + "/" + CStr(it->Get("v")) + ":" +
              Values(List(it, "DocClasses"));
    }
    return text + "]";
  }

  DBPermissions perms_;
};

TEST_F(Permissions, RightsSystemCreatedOnceAndSwitched) {
  EXPECT_EQ(perms_.GetPermissionsSystem(), 0);  // no PermSystem row yet
  perms_.CreateRightsSystemIfNeed();
  const std::string created = AllRows();
  EXPECT_EQ(created, "1|2|admin|0 / 0 / 1|-1|1|1|1|0|-1|15|-1|-1 /  / 1|1|5|1|1|-1|255 /  / ");
  EXPECT_EQ(Text("select Remarks from PermUsers"), "Встроенная учетная запись администратора.");
  perms_.CreateRightsSystemIfNeed();
  EXPECT_EQ(AllRows(), created);

  perms_.SetPermHash(5);
  EXPECT_EQ(perms_.GetPermissionsSystem(), 5);
  perms_.SetPermHash(0);
  EXPECT_EQ(perms_.GetPermissionsSystem(), 0);
  EXPECT_EQ(Count("PermSystem"), 1);
  Sql("delete from PermSystem");
  perms_.SetPermHash(3);  // the row comes back
  EXPECT_EQ(perms_.GetPermissionsSystem(), 3);

  // The root block is replaced by the one given; its item is the caller's.
  perms_.SaveGlobalRootBlock(Obj(PermBlock(1, 0, {}, {PermItem(5, 1, {})})));
  EXPECT_EQ(BlockText(perms_.LoadGlobalPermBlock().ObjectAs<records::QvRecord>()),
            "[1 on 0 m1=-1 v5=31 objects item 5/7:]");
  // The admin is no part of it.
  EXPECT_EQ(Counts({"PermBlocks", "PermMultiBlocks", "PermUsers where ID = 1"}),
            "PermBlocks=1 PermMultiBlocks=1 PermUsers where ID = 1=1");
}

TEST_F(Permissions, UsersSavedLoadedReplacedAndDeleted) {
  QvRecordPtr u = PermUser(4, "Buh", "пароль");
  AddAll(List(u, "Roles"), {3, 1});
  List(u, "Blocks")
      ->Add(Obj(PermBlock(3, 200, {200, 201}, {PermItem(2, 1, {10, 11}), PermItem(5, 2, {})})));
  List(u, "Blocks")->Add(Obj(PermBlock(5, 30, {}, {PermItem(3, 1, {12})})));
  perms_.SaveUser(Obj(u));
  perms_.SaveUser(Obj(PermUser(7, "Other", "")));
  const std::string expected =
      "4|Buh|пароль|Иванова|False roles 3 1 [3 on 200 m1=-1 v5=31 objects 200 201 item 2/7: 10 "
      "11 item 5/7:] [5 on 30 m1=-1 v5=31 objects item 3/7: 12]";
  EXPECT_EQ(UserText(perms_.LoadUser(4)), expected);
  EXPECT_EQ(UserText(perms_.LoadUser(99)), "Nothing");
  // The stored password is the scrambled form, never the text itself.
  const std::string stored = Text("select Password from PermUsers where ID = 4");
  EXPECT_EQ(mPasswordShuffling::DecodePassword(stored), "пароль");
  perms_.SavePassword(4, "пароль");
  EXPECT_NE(Text("select Password from PermUsers where ID = 4"), stored);
  EXPECT_EQ(UserText(perms_.LoadUser(4)), expected);

  // Saving again replaces every row of the user and leaves user 7 alone.
  QvRecordPtr again = PermUser(4, "Buh", "новый");
  List(again, "Blocks")->Add(Obj(PermBlock(4, 9, {9}, {})));
  perms_.SaveUser(Obj(again));
  EXPECT_EQ(UserText(perms_.LoadUser(4)),
            "4|Buh|новый|Иванова|False roles [4 on 9 m1=-1 v5=31 objects 9]");
  EXPECT_EQ(Counts({"PermMultiBlocks", "PermDocLists", "PermUserRoles"}),
            "PermMultiBlocks=0 PermDocLists=0 PermUserRoles=0");

  // A user without an identifier gets the next one.
  QvRecordPtr fresh = PermUser(0, "New", "x");
  perms_.SaveUser(Obj(fresh));
  EXPECT_EQ(fresh->Id(), 8);

  Sql("insert into PermUsers (ID, Login) values (-1, 'root')");
  CollectionPtr all = perms_.LoadUsers();
  std::string keys;
  for (int32_t i = 1; i <= all->Count(); ++i) keys += all->KeyAt(i) + " ";
  EXPECT_EQ(keys, "_4 _7 _8 ");

  perms_.DeleteUser(0);
  perms_.DeleteUser(-1);
  EXPECT_EQ(Count("PermUsers"), 4);
  perms_.DeleteUser(4);
  EXPECT_EQ(Rows("select ID from PermUsers order by ID"), "-1; 7; 8");
  EXPECT_EQ(Count("PermBlocks") + Count("PermObjectLists"), 0);
}

// The login kept for the log's entries follows every change of the user's
// row: this thread's saves and deletes, another connection's write, and a
// rename that was rolled back.
TEST_F(Permissions, TheKeptLoginFollowsChangesOfTheUsersRow) {
  const struct {
    const char* change;
    std::function<void()> run;
    const char* login;
  } steps[] = {
      {"saved", [&] { perms_.SaveUser(Obj(PermUser(4, "Buh", ""))); }, "Buh"},
      {"saved again", [&] { perms_.SaveUser(Obj(PermUser(4, "Glav", ""))); }, "Glav"},
      {"another connection",
       [&] {
         const uint64_t seen = Db().DataGeneration(kUsers);
         miDataBase::OpenUserDataBase()->ExecuteSql(
             "update PermUsers set Login = 'Kass' where ID = 4");
         // On a server the commit is told a moment after it.
         for (int i = 0; i < 50 && Db().DataGeneration(kUsers) == seen; ++i)
           std::this_thread::sleep_for(std::chrono::milliseconds(20));
       },
       "Kass"},
      {"rolled back",
       [&] {
         dao::Transaction tx(Db(), dao::kWriteLock);
         perms_.SaveUser(Obj(PermUser(4, "Temp", "")));
         EXPECT_EQ(miPerms::GetUserName(4), "Temp");
       },
       "Kass"},
      {"deleted", [&] { perms_.DeleteUser(4); }, ""},
  };
  for (const auto& step : steps) {
    step.run();
    EXPECT_EQ(miPerms::GetUserName(4), step.login) << step.change;
    // Kept: on a server too, read again without a round trip.
    const uint64_t trips = jet::ServerRoundTrips();
    EXPECT_EQ(miPerms::GetUserName(4), step.login);
    if (*step.login) {
      EXPECT_EQ(jet::ServerRoundTrips(), trips) << step.change;
    }
  }
}

TEST_F(Permissions, LoginsInAnyCaseAndOfTheTypesAsked) {
  InsertRows("insert into PermUsers (ID, RecType, Login)",
             {"(1, 2, 'Admin')", "(2, 1, 'ОПЕРАТОР')", "(3, 3, 'оператор')"});
  const struct {
    const char* login;
    double exclude;
    const char* types;
    double expected;
  } cases[] = {
      {"ADMIN", 0, "*", 1},      {"admin", 1, "*", 0},   {"admin", 0, "2", 1},
      {"admin", 0, "1", 0},      {"Оператор", 2, "", 3}, {"оператор", 0, "1;3", 2},
      {"оператор", 2, "1,3", 3}, {"нет", 0, "*", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.login) + " " + c.types);
    EXPECT_EQ(perms_.IsThereUserWithLogin(c.login, c.exclude, c.types), c.expected);
  }
}

// The stored form itself (damaged values included) is mPasswordShuffling's;
// here the check by name finds the user's row.
TEST_F(Permissions, PasswordsAreCheckedAgainstTheUsersRow) {
  perms_.SaveUser(Obj(PermUser(1, "a", "секрет")));
  perms_.SaveUser(Obj(PermUser(2, "b", "")));
  const struct {
    double user;
    const char* password;
    bool matches;
  } cases[] = {
      {1, "секрет", true}, {1, "", false}, {2, "", true}, {2, "секрет", false}, {99, "", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.user) + " " + c.password);
    EXPECT_EQ(CBool(CreateObject("Qv_DBProvider.DBPermissions")
                        ->CallV("CheckPassword", c.user, std::string(c.password))),
              c.matches);
  }
}

TEST_F(Permissions, FailedWritesNameNoPasswordAndLeaveThePreviousState) {
  perms_.SaveUser(Obj(PermUser(1, "a", "старый")));
  const std::string before = AllRows();
  Refuse("refuse", "BEFORE UPDATE ON PermUsers");
  const std::string secret = "Тайна-42";
  std::string text = ExpectError(kAnyError, "DBPermissions.SavePassword", [&] {
                       perms_.SavePassword(1, secret);
                     }).Description();
  EXPECT_EQ(text.find(secret), std::string::npos) << text;
  EXPECT_EQ(text.find("update PermUsers"), std::string::npos) << text;

  QvRecordPtr u = PermUser(1, "a", secret);
  List(u, "Blocks")->Add(Obj(PermBlock(3, 5, {5}, {})));
  text = ExpectError(kAnyError, "DBPermissions.SaveUser", [&] {
           perms_.SaveUser(Obj(u));
         }).Description();
  EXPECT_EQ(text.find(secret), std::string::npos) << text;
  EXPECT_EQ(AllRows(), before);
  EXPECT_EQ(UserText(perms_.LoadUser(1)), "1|a|старый|Иванова|False roles");

  // A new user whose last row fails stays new: no row, no identifier.
  Refuse("refuseRole", "BEFORE INSERT ON PermUserRoles");
  QvRecordPtr fresh = PermUser(0, "b", secret);
  AddAll(List(fresh, "Roles"), {1});
  text = ExpectError(kAnyError, "", [&] { perms_.SaveUser(Obj(fresh)); }).Description();
  EXPECT_EQ(text.find(secret), std::string::npos) << text;
  EXPECT_EQ(fresh->Id(), 0);
  EXPECT_EQ(AllRows(), before);
}

TEST_F(Permissions, PersonAndStreamDeletesRemoveTheirBlocks) {
  Sql("insert into Person (ID, Type, PersonRealID) values (9, 1, 1)");
  Sql("insert into NaturalPerson (ID, Surname) values (1, 'Петров')");
  Sql("insert into AccStream (ID, PersonID) values (30, 8)");
  QvRecordPtr u = PermUser(4, "u", "");
  // Blocks of each object type on person 9 and stream 30, and two on other
  // objects that must stay.
  for (const QvRecordPtr& b :
       {PermBlock(3, 9, {9}, {PermItem(2, 1, {10})}), PermBlock(4, 9, {9}, {}),
        PermBlock(5, 30, {30}, {PermItem(3, 1, {11})}),
        PermBlock(3, 8, {8}, {PermItem(2, 1, {12})}),
        PermBlock(5, 9, {9}, {})})  // the last on a stream 9, not the person
    List(u, "Blocks")->Add(Obj(b));
  perms_.SaveUser(Obj(u));

  QvRecordPtr person = New("QvPerson");
  person->SetID(Variant(9.0));
  records::DBPerson().DeleteRecord(Obj(person));
  EXPECT_EQ(Rows("select BlockType, PermObjectID from PermBlocks order by ID"), "5|30; 3|8; 5|9");
  QvRecordPtr stream = New("QvAccStream");
  stream->SetID(Variant(30.0));
  records::DBAccStream().DeleteRecord(Obj(stream));
  EXPECT_EQ(Rows("select BlockType, PermObjectID from PermBlocks order by ID"), "3|8; 5|9");
  EXPECT_EQ(Rows("select * from PermObjectLists order by BlockID"), "4|8; 5|9");
  EXPECT_EQ(Rows("select * from PermDocLists"), "3|12");
  EXPECT_EQ(Rows("select ID, BlockID from PermMultiBlocks"), "3|4");
}

TEST_F(Permissions, GenealogyOfStreamsDocumentsAndTaxpayers) {
  Sql("insert into Branches (ID, ParentPersonID, ChildPersonID) values (1, 100, 101)");
  InsertRows("insert into AccStream (ID, PersonID)", {"(30, 100)", "(31, 101)"});
  Sql("insert into Doc_Templates (Template_ID, Doc_Type_ID) values (7, 70)");
  Sql("insert into Doc_Registry (Document_ID, Taxpayer_ID, Template_ID) values (500, 31, 7)");
  const struct {
    int32_t type;
    double id;
    const char* expected;  // IsBranch|Taxpayer|Branch|Stream|TemplType
  } cases[] = {
      {1, 30, "False|100|-5|-5|-5"},   {1, 31, "True|100|101|-5|-5"},
      {19, 500, "True|100|101|31|70"}, {28, 100, "False|100|-5|-5|-5"},
      {28, 101, "True|100|101|-5|-5"}, {2, 30, "False|-5|-5|-5|-5"},  // another type: untouched
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.id));
    bool branch = false;
    double taxpayer = -5, branchId = -5, stream = -5, templType = -5;
    perms_.GetEntityGenealogy(c.type, c.id, branch, taxpayer, branchId, stream, templType);
    EXPECT_EQ(CStr(Variant(branch)) + "|" + CStr(Variant(taxpayer)) + "|" +
                  CStr(Variant(branchId)) + "|" + CStr(Variant(stream)) + "|" +
                  CStr(Variant(templType)),
              c.expected);
  }
  ExpectError(40090, "", [&] {
    bool b;
    double t, br, s, tt;
    perms_.GetEntityGenealogy(1, 99, b, t, br, s, tt);
  });
}

}  // namespace
}  // namespace qv::perms
