#pragma once
// A data folder built in a temporary directory, its user database opened on
// this thread and handed to the mappers, and the record notices collected.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/schema/SchemaBuilder.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Workspace.h"
#include "records/MapperSession.h"
#include "siblings/records/QvRecord.h"
#include "siblings/records/RecordFactory.h"
#include "support/TestSupport.h"

namespace qv::records::testing {

class MapperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvmapXXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    schema::BuildDataFolder(folder_.string());
    db_ = dao::DBEngine::ForThread()->DefaultWorkspace()->Open((folder_ / "Quivane.mdb").string(),
                                                               {});
    auto db = db_;
    previous_ = SetUserDatabaseProvider([db] { return db; });
    previousSink_ = SetNoticeSink([this](const QvRecord& r, Notice n) {
      static const char* kNames[] = {"insert", "update", "delete"};
      notices_.push_back(std::string(kNames[static_cast<int>(n)]) + " " + CStr(Variant(r.Id())));
    });
  }
  void TearDown() override {
    SetNoticeSink(previousSink_);
    SetUserDatabaseProvider(previous_);
    if (db_) db_->Close();
    db_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  void Sql(const std::string& sql) { db_->ExecuteSql(sql); }
  // One INSERT per row: `head` is "insert into T (cols)", each row "(values)".
  void InsertRows(const std::string& head, std::initializer_list<const char*> rows) {
    for (const char* row : rows) Sql(head + " values " + row);
  }
  // One value of the first row of `sql`; Empty when there is none.
  Variant Scalar(const std::string& sql) {
    auto rs = db_->OpenStatement(sql, dao::dbOpenSnapshot);
    return rs->IsEOF() ? Variant() : rs->FieldValue(0);
  }
  int32_t Count(const std::string& table) { return CLng(Scalar("select count(*) from " + table)); }

  static QvRecordPtr New(const std::string& type) { return QvRecord::Create("Qv_Records." + type); }
  static Variant Obj(const QvRecordPtr& r) { return Variant(ObjectPtr(r)); }

  std::filesystem::path folder_;
  std::shared_ptr<dao::Database> db_;
  UserDatabaseProvider previous_;
  NoticeSink previousSink_;
  std::vector<std::string> notices_;
};

using qv::testsupport::ErrorNumber;

}  // namespace qv::records::testing
