#pragma once
// A data folder of its own per test with the library's session on it; the
// mappers take the session's user database, as they do in the application
// (a test may point them at another with SetUserDatabaseProvider). Record
// notices are collected as "insert QvPerson 5".

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/CoreTestSupport.h"
#include "core/miDataBase.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/jet/JetConnection.h"
#include "records/MapperSession.h"
#include "siblings/records/QvRecord.h"
#include "support/TestSupport.h"

namespace qv::records::testing {

class EntityTest : public coretest::DataFolderTest {
 protected:
  void SetUp() override {
    DataFolderTest::SetUp();
    previous_ = SetUserDatabaseProvider([] { return miDataBase::GetUserDataBase(); });
    db_ = miDataBase::GetUserDataBase();
    previousSink_ = SetNoticeSink([this](const QvRecord& r, Notice n) {
      static const char* kNames[] = {"insert", "update", "delete"};
      notices_.push_back(std::string(kNames[static_cast<int>(n)]) + " " +
                         std::string(r.Type().progId.substr(11)) + " " + CStr(Variant(r.Id())));
    });
  }
  void TearDown() override {
    SetNoticeSink(previousSink_);
    db_.reset();
    SetUserDatabaseProvider(previous_);
    DataFolderTest::TearDown();
  }

 public:
  dao::Database& Db() { return *db_; }
  void Sql(const std::string& sql) { db_->ExecuteSql(sql); }
  // One INSERT per row: `head` is "insert into T (cols)", each row "(values)".
  void InsertRows(const std::string& head, std::initializer_list<const char*> rows) {
    for (const char* row : rows) Sql(head + " values " + row);
  }
  // A statement of SQLite's own on a file folder.
  void NativeSql(const std::string& sql) { db_->Connection().ExecuteNative(sql); }
  // From here on the writes `when` names ("BEFORE INSERT ON T [WHEN
  // NEW.Field = 'text']", "BEFORE UPDATE OF Field ON T") fail, until Allow(`name`): a trigger of
  // the folder's engine, on a file or on a server.
  void Refuse(const std::string& name, const std::string& when) {
    if (!OnServer()) {
      NativeSql("DROP TRIGGER IF EXISTS " + name);
      NativeSql("CREATE TRIGGER " + name + " " + when +
                " BEGIN SELECT RAISE(ABORT, 'refused'); END");
      return;
    }
    static const std::regex shape(
        R"(^BEFORE (INSERT|UPDATE|DELETE)(?: OF (\w+))? ON (\w+)(?: WHEN (.*))?$)");
    std::smatch m;
    if (!std::regex_match(when, m, shape)) throw std::logic_error("Refuse: " + when);
    const std::string table = "\"" + m[3].str() + "\"";
    const std::string event =
        "BEFORE " + m[1].str() + (m[2].matched ? " OF \"" + m[2].str() + "\"" : "");
    const std::string condition =
        std::regex_replace(m[4].str(), std::regex(R"(NEW\.(\w+))"), "NEW.\"$1\"");
    ServerSql("CREATE OR REPLACE FUNCTION " + name +
              "() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RAISE EXCEPTION 'refused'; END$$");
    ServerSql("DROP TRIGGER IF EXISTS " + name + " ON " + table);
    ServerSql("CREATE TRIGGER " + name + " " + event + " ON " + table + " FOR EACH ROW " +
              (condition.empty() ? "" : "WHEN (" + condition + ") ") + "EXECUTE FUNCTION " + name +
              "()");
    refusedOn_[name] = table;
  }
  // Ends Refuse(`name`).
  void Allow(const std::string& name) {
    if (!OnServer()) return NativeSql("DROP TRIGGER " + name);
    ServerSql("DROP TRIGGER " + name + " ON " + refusedOn_.at(name));
  }
  // Runs `check` with the database lock off, then on (its transaction).
  void LockingOffAndOn(const std::function<void()>& check) {
    for (bool locking : {false, true}) {
      SCOPED_TRACE(locking ? "locking on" : "locking off");
      if (locking) {
        EnableLocking();
        db_ = miDataBase::GetUserDataBase();
        ASSERT_TRUE(miDataBase::IsDBLockingEnabled());
      }
      check();
    }
  }
  Variant Scalar(const std::string& sql) {
    auto rs = db_->OpenStatement(sql, dao::dbOpenSnapshot);
    return rs->IsEOF() ? Variant() : rs->FieldValue(0);
  }
  std::string Text(const std::string& sql) { return CStr(Scalar(sql)); }
  double Number(const std::string& sql) { return CDbl(Scalar(sql)); }
  int32_t Count(const std::string& tableAndWhere) {
    return CLng(Scalar("select count(*) from " + tableAndWhere));
  }
  // "T=n U=m" for the tables (or "T where ...") named, in their order.
  std::string Counts(std::initializer_list<const char*> tables) {
    std::string text;
    for (const char* t : tables)
      text += std::string(text.empty() ? "" : " ") + t + "=" + std::to_string(Count(t));
    return text;
  }
  // The rows of `sql`: columns joined by "|", rows by "; ", Null as "Null".
  std::string Rows(const std::string& sql) {
    auto rs = db_->OpenStatement(sql, dao::dbOpenSnapshot);
    std::string text;
    for (; !rs->IsEOF(); rs->MoveNext()) {
      if (!text.empty()) text += "; ";
      for (int32_t i = 0; i < rs->FieldCount(); ++i)
        text += (i ? "|" : "") + (rs->FieldValue(i).IsNull() ? "Null" : CStr(rs->FieldValue(i)));
    }
    return text;
  }

  static QvRecordPtr New(const std::string& type) { return QvRecord::Create("Qv_Records." + type); }
  // A record of `type` that `mapper` read from row `id`.
  template <typename Mapper>
  static QvRecordPtr ReadWith(Mapper&& mapper, const std::string& type, double id) {
    QvRecordPtr r = New(type);
    mapper.ReadRecord(id, Obj(r));
    return r;
  }
  static Variant Obj(const QvRecordPtr& r) { return Variant(ObjectPtr(r)); }
  static QvRecordPtr Sub(const QvRecordPtr& r, const std::string& property) {
    return r->Get(property).ObjectAs<QvRecord>();
  }
  static CollectionPtr List(const QvRecordPtr& r, const std::string& property) {
    return r->Get(property).ObjectAs<Collection>();
  }
  static QvRecordPtr Item(const CollectionPtr& c, int32_t i) {
    return c->At(i).ObjectAs<QvRecord>();
  }

 protected:
  std::shared_ptr<dao::Database> db_;
  std::vector<std::string> notices_;
  std::map<std::string, std::string> refusedOn_;  // a server trigger's table

 private:
  UserDatabaseProvider previous_;
  NoticeSink previousSink_;
};

using qv::testsupport::ExpectError;
using qv::testsupport::kAnyError;

}  // namespace qv::records::testing
