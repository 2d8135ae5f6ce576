// The callers above the data-access objects on a data folder on the
// PostgreSQL server QV_TEST_PG names, against the same calls on a folder of
// files: the event log's writes and readers, the lookups, the permissions'
// user names, person relations, NextId and QvAddRecord, and the counters.
// One table of steps runs in order on each folder; each step's result must
// be the one the table gives, on both. Then worker processes
// (qv_pg_layers_worker, the first argument) draw counters and identifiers
// on the server folder at once: no value may be handed out twice.
// Without QV_TEST_PG the program says so and exits 77 (skipped).

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/CoreTestSupport.h"
#include "core/DBCommon.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "core/schema/SchemaBuilder.h"
#include "journal/DBLogs.h"
#include "perms/miPerms.h"
#include "pfr/PfrSubDocItems.h"
#include "platform/automation/Collection.h"
#include "platform/dao/Database.h"
#include "platform/dao/Transaction.h"
#include "platform/os/RegistryStore.h"
#include "queries/mCommonLookups.h"
#include "records/PersonRelations.h"
#include "siblings/records/QvRecord.h"
#include "siblings/records/RecordFactory.h"
#include "support/PgTestProcess.h"

namespace qv::pgtest {
namespace {

namespace fs = std::filesystem;
using namespace mQvDaoDataBase;

std::string gConninfo;          // QV_TEST_PG
std::string gWorker;            // the worker program
const char* gScript = nullptr;  // the Jet functions' script of the build

// Points the thread's session at `folder` through a registry file of the
// test's own (QV_REGISTRY).
void UseFolder(const fs::path& registry, const std::string& folder) {
  os::RegistryStore(registry).SetValue(os::RegistryRoot::kLocalMachine, coretest::kGeneralKey,
                                       "DataBasePath", os::RegistryValue::String(folder));
  miDataBase::ResetSessionForThread();
}

std::string Rows(const std::string& sql) {
  return coretest::RenderResult(Variant(ObjectPtr(QvQuerySqlA(sql))));
}

// The outcome of a call: its text, or "error N".
std::string Outcome(const std::function<std::string()>& call) {
  try {
    return call();
  } catch (const Error& e) {
    return "error " + std::to_string(e.Number());
  }
}

records::QvRecordPtr NewRecord(const std::string& type) {
  return records::RecordFactory::ForThisThread()->NewRecord("Qv_Records." + type);
}

std::string gGuid;  // the entry LogEventByRecord wrote last

// A GUID as the log's readers give it: upper case in braces.
std::string GuidAsRead(const std::string& guid) {
  std::string out = "{" + guid + "}";
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

struct Step {
  const char* name;
  std::function<std::string()> run;
  const char* expected;
};

const std::vector<Step>& Steps() {
  static const std::vector<Step> steps = {
      // Rows the other steps read, written through Jet statements.
      {"rows",
       [] {
         for (const char* sql : {
                  "insert into PermUsers (ID, RecType, Login) values (3, 1, 'ivanov')",
                  "insert into Person (ID, Type, PersonRealID) values (10, 2, 100)",
                  "insert into Person (ID, Type, PersonRealID) values (11, 2, 101)",
                  "insert into Person (ID, Type, PersonRealID) values (12, 1, 0)",
                  "insert into LegalPerson (ID, LPCategory) values (100, 4)",
                  "insert into LegalPerson (ID, LPCategory) values (101, 5)",
                  "insert into AccStream (ID, PersonID, AccStreamType) values (1, 10, 2)",
                  "insert into AccStream (ID, PersonID, AccStreamType) values (2, 11, 3)",
                  "insert into AccStream (ID, PersonID, AccStreamType) values (3, 12, 1)",
                  "insert into Branches (ID, ParentPersonID, ChildPersonID) values (1, 10, 11)",
                  "insert into AccPerson (PersonID) values (12)",
                  "insert into ConsStream (ID, LPCategory) values (1, 4)",
                  "insert into doc_templates (template_id, doc_type_id) values (7, 70)",
                  "insert into doc_templates (template_id, doc_type_id) values (8, 80)",
                  "insert into ScattersList (template_id, coupled_class_id) values (8, 81)",
              })
           QvExecuteSql(sql);
         return std::string("ok");
       },
       "ok"},

      // The permissions: a user's login, read again after it changed.
      {"user name", [] { return miPerms::GetUserName(3) + "|" + miPerms::GetUserName(404); },
       "ivanov|"},
      {"user name after a change",
       [] {
         QvExecuteSql("update PermUsers set Login = 'petrov' where ID = 3");
         return miPerms::GetUserName(3);
       },
       "petrov"},

      // The event log.
      {"LogEvent",
       [] {
         Variant ids(VariantArray::Of({Variant(5.0), Variant(0.0), Variant(7.0)}));
         Variant names(VariantArray::Of({Variant("a"), Variant("б")}));
         journal::DBLogs().LogEvent(3, "host", 12, "saved", ids, names);
         return Rows(
             "select UserID, UserName, HostInfo, EventType, EventName, ObjectID1, ObjectName1, "
             "ObjectID2, ObjectName2, ObjectID3, ObjectID4, Data1 from VarData");
       },
       "3|petrov|host|12|saved|5|a|Null|б|7|Null|Null;"},
      {"LogEventByRecord",
       [] {
         records::QvRecordPtr e = NewRecord("QvLogEvent");
         e->Let("UserID", Variant(3.0));
         e->Let("EventType", Variant(int32_t{4}));
         e->Let("EventName", Variant("by record"));
         e->Let("ObjectID2", Variant(9.0));
         e->Let("Data1", Variant("d1"));
         auto lines = std::make_shared<Collection>();
         for (const char* text : {"first", "second"}) {
           records::QvRecordPtr line = NewRecord("QvLogEventLine");
           line->Let("InfoType", Variant(int32_t{2}));
           line->Let("InfoData1", Variant(text));
           lines->Add(Variant(ObjectPtr(line)));
         }
         e->Let("Lines", Variant(ObjectPtr(lines)));
         gGuid = journal::DBLogs().LogEventByRecord(Variant(ObjectPtr(e)));
         return Rows("select count(*) from VarData2 where VarDataID = " +
                     Guid2DaoSql(gGuid, "test"));
       },
       "2;"},
      {"GetEventRecord",
       [] {
         const Variant v = journal::DBLogs().GetEventRecord(gGuid);
         const ObjectPtr& r = v.AsObject();
         std::string out = CStr(r->Get("ID")) == GuidAsRead(gGuid) ? "same id" : "other id";
         for (const char* f : {"UserName", "EventType", "EventName", "ObjectID2", "Data1"})
           out += "|" + CStr(r->Get(f));
         auto lines = r->Get("Lines").ObjectAs<Collection>();
         for (int32_t i = 1; lines && i <= lines->Count(); ++i)
           out += "|" + CStr(lines->At(i).AsObject()->Get("InfoOrder")) + ":" +
                  CStr(lines->At(i).AsObject()->Get("InfoData1"));
         return out;
       },
       "same id|petrov|4|by record|9|d1|1:first|2:second"},
      {"GetEventSubItems",
       [] {
         return coretest::RenderResult(
             Variant(ObjectPtr(journal::DBLogs().GetEventSubItems(gGuid))));
       },
       "2|1|first|;2|2|second|;"},
      {"GetEvents and GetEventsIDs",
       [] {
         journal::DBLogs logs;
         const std::string events =
             coretest::RenderResult(Variant(ObjectPtr(logs.GetEvents(Variant(), Variant()))));
         const std::string ids = coretest::RenderResult(
             Variant(ObjectPtr(logs.GetEventsIDs(Variant(), Variant(), true))));
         return std::to_string(std::count(events.begin(), events.end(), ';')) + " rows, " +
                std::to_string(std::count(ids.begin(), ids.end(), ';')) + " ids, " +
                (ids.find(GuidAsRead(gGuid)) != std::string::npos ? "the entry's"
                                                                  : "not the entry's");
       },
       "3 rows, 2 ids, the entry's"},
      {"SetIsLoggingEnabled",
       [] {
         journal::DBLogs().SetIsLoggingEnabled(true);
         journal::DBLogs().SetIsLoggingEnabled(false);
         return Rows("select LActive from VarParams");
       },
       "0;"},
      {"RemoveEventsInRange",
       [] {
         const int32_t removed = journal::DBLogs().RemoveEventsInRange(Variant(), Variant());
         return std::to_string(removed) + " " + Rows("select count(*) from VarData");
       },
       "2 0;"},

      // The lookups.
      {"GetAccStreamOwnerInfo",
       [] {
         std::string out;
         for (double stream : {1.0, 2.0, 3.0}) {
           int32_t category = -1, type = -1;
           bool branch = false;
           queries::GetAccStreamOwnerInfo(stream, category, type, branch);
           out += std::to_string(category) + "," + std::to_string(type) + "," +
                  (branch ? "branch" : "-") + ";";
         }
         return out;
       },
       "4,2,-;5,3,branch;6,1,-;"},
      {"GetAccStreamPersonID, GetParentOfBranch",
       [] {
         return std::to_string(queries::GetAccStreamPersonID(2)) + " " +
                std::to_string(queries::GetParentOfBranch(11)) + " " +
                std::to_string(queries::GetParentOfBranch(12));
       },
       "11.000000 10.000000 0.000000"},
      {"GetConsStreamLPCategory, GetDocTypeOfTemplate",
       [] {
         return std::to_string(queries::GetConsStreamLPCategory(1)) + " " +
                std::to_string(queries::GetConsStreamLPCategory(2)) + " " +
                std::to_string(queries::GetDocTypeOfTemplate(7)) + " " +
                std::to_string(queries::GetDocTypeOfTemplate(8)) + " " +
                std::to_string(queries::GetDocTypeOfTemplate(9));
       },
       "4 0 70 81 0"},
      {"periods",
       [] {
         std::string out;
         for (int32_t report : {3, 14, 16}) {
           const queries::IntTimePeriodInfo* p = queries::GetPeriodByYearAndReport(2024, report);
           if (!p) {
             out += "none;";
             continue;
           }
           int32_t year = 0, month = 0, kind = 0;
           const bool known =
               queries::GetPeriodMonthAndType(static_cast<int32_t>(p->TimeID), year, month, kind);
           out += std::to_string(year) + "," + std::to_string(month) + "," + std::to_string(kind) +
                  (known ? ";" : "?;");
         }
         int32_t year = 0, report = 0;
         out += queries::GetPeriodFromCache(-5, year, report) ? "found" : "no -5";
         return out;
       },
       "2024,3,1;2024,6,2;2024,12,3;no -5"},

      // Person relations.
      {"IsBranch, IsAccPerson",
       [] {
         dao::Database& db = *miDataBase::GetUserDataBase();
         std::string out;
         for (double id : {10.0, 11.0, 12.0, 0.0})
           out += std::string(records::IsBranch(db, id) ? "b" : "-") +
                  (records::IsAccPerson(db, id) ? "a" : "-") + ";";
         return out;
       },
       "--;b-;-a;--;"},
      {"RemoveBranch, RemoveAccPerson",
       [] {
         dao::Database& db = *miDataBase::GetUserDataBase();
         records::RemoveBranch(db, 11);
         records::RemoveAccPerson(db, 12);
         return std::string(records::IsBranch(db, 11) ? "b" : "-") +
                (records::IsAccPerson(db, 12) ? "a" : "-");
       },
       "--"},

      // A sub-document's cells saved as a difference against the stored rows:
      // one changed, one dropped, one added.
      {"sub-document cells",
       [] {
         for (const char* sql : {
                  "insert into doc_registry (document_id, taxpayer_id) values (500, 1)",
                  "insert into PfrSubDocs (ID, DocumentID) values (1, 500)",
                  "insert into PfrCellValues (ID, SubDocID, Key, ValueType, Value) "
                  "values (10, 1, 1, 1, 'a')",
                  "insert into PfrCellValues (ID, SubDocID, Key, ValueType, Value) "
                  "values (11, 1, 2, 1, 'b')",
                  "insert into PfrCellValues (ID, SubDocID, Key, ValueType, Value) "
                  "values (12, 1, 4, 1, 'd')",
              })
           QvExecuteSql(sql);
         // The items alone: the sub-document mapper reads its row through
         // the keyed read of the record mappers.
         auto db = miDataBase::GetUserDataBase();
         records::QvRecordPtr s = records::QvRecord::Create("Qv_PfrRecords.QvPfrSubDoc");
         s->BeginLoad(Variant(1.0));
         s->EndLoad();
         pfr::ReadSubDocItems(*db, pfr::CellItems(), *s);
         auto cells = s->Get("Cells").ObjectAs<Collection>();
         cells->At(1).AsObject()->Let("Value", Variant("c"));
         cells->Remove(Variant(int32_t{2}));
         records::QvRecordPtr added = records::QvRecord::Create("Qv_PfrRecords.QvPfrCell");
         for (const auto& [field, value] :
              {std::pair<const char*, Variant>{"Key", Variant(int32_t{3})},
               {"LineNum", Variant(int32_t{0})},
               {"TableNum", Variant(int32_t{0})},
               {"ValueType", Variant(int32_t{1})},
               {"Value", Variant("n")}})
           added->Let(field, value);
         cells->Add(Variant(ObjectPtr(added)));
         dao::Transaction tx(*db, dao::kWriteLock);
         pfr::SaveSubDocItems(*db, pfr::CellItems(), *s);
         tx.Commit();
         return Rows("select ID, Key, Value from PfrCellValues where SubDocID = 1 order by ID") +
                " new " + CStr(added->Get("ID"));
       },
       "10|1|c;12|4|d;13|3|n; new 13"},

      // Identifiers and counters.
      {"NextId outside a write-locked scope",
       [] {
         return Outcome([] {
           return std::to_string(NextId(miDataBase::GetUserDataBase(), "PermUsers", "ID"));
         });
       },
       "error 5"},
      {"NextId, QvAddRecord",
       [] {
         auto db = miDataBase::GetUserDataBase();
         std::string out;
         {
           dao::Transaction tx(*db, dao::kWriteLock);
           out = std::to_string(NextId(db, "PermUsers", "ID"));
         }
         const Variant pairs[] = {Variant("RecType"), Variant(int32_t{1}), Variant("Login"),
                                  Variant("sidorov")};
         out += " " + std::to_string(QvAddRecord("PermUsers", "Id", "ID", 0, pairs));
         out += " " + std::to_string(QvAddRecord("WjSoftDicts", "Id", "ID", 0, {}));
         out += " " + std::to_string(QvAddRecord("WjSoftDicts", "Id", "ID", 0, {}));
         return out + " " + miPerms::GetUserName(4);
       },
       "4.000000 4.000000 1.000000 2.000000 sidorov"},
      {"GetNextCounter",
       [] {
         DBCommon common;
         std::string out;
         for (int i = 0; i < 3; ++i) out += std::to_string(common.GetNextCounter(7, 2024)) + ",";
         out += std::to_string(common.GetNextCounter(7, 2025)) + ",";
         return out + std::to_string(common.GetCurrCounter(7, 2024));
       },
       "1,2,3,1,3"},
      {"a single value: too many rows, none",
       [] {
         return Outcome([] { return CStr(QvQueryValue("select ID from PermUsers")); }) + " " +
                Outcome(
                    [] { return CStr(QvQueryValue("select ID from PermUsers where ID = 9")); }) +
                " " + CStr(QvQueryFirstValueSafe("select Login from PermUsers order by ID", "x")) +
                " " + CStr(QvQueryFirstValueSafe("select nonsense from", "x")) + " " +
                CStr(QvQueryValue("VarParams"));
       },
       "error 40090 error 40090 petrov x 0"},
  };
  return steps;
}

class LayersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_.emplace(gConninfo, "qv_layers_", gScript);
    schema::BuildDataFolder(server_->Location());
    schema::BuildDataFolder(fileFolder_.Path().string());
  }
  static void TearDownTestSuite() {
    miDataBase::ResetSessionForThread();
    server_.reset();
  }
  void TearDown() override { miDataBase::ResetSessionForThread(); }

  // The folder as the registry names it.
  static std::string FileFolder() { return fileFolder_.Path().string() + "/"; }

  static inline std::optional<testsupport::ServerFolder> server_;
  static inline testsupport::TempFolder fileFolder_{"qvlayers"};
  static inline testsupport::TempFolder registryFolder_{"qvlayers-registry"};
  const fs::path registry_ = registryFolder_.Path() / "registry.ini";
  testsupport::ScopedEnv env_{"QV_REGISTRY", registry_.c_str()};
};

TEST_F(LayersTest, EachStepGivesTheSameOnAFileAndOnTheServer) {
  for (const auto& [kind, folder] : {std::pair<std::string, std::string>{"file", FileFolder()},
                                     {"server", server_->Location()}}) {
    UseFolder(registry_, folder);
    ASSERT_EQ(miDataBase::IsServerDataFolder(), kind == "server");
    for (const Step& step : Steps()) {
      SCOPED_TRACE(kind + ": " + step.name);
      EXPECT_EQ(Outcome(step.run), step.expected);
    }
  }
}

// The numbers after `word` in a worker's line "word N N ...".
std::vector<int64_t> Numbers(const std::string& line, const std::string& word) {
  std::istringstream in(line);
  std::string first;
  in >> first;
  std::vector<int64_t> out;
  if (first != word) return out;
  for (int64_t n; in >> n;) out.push_back(n);
  return out;
}

// Workstations drawing at once: every counter value and every identifier
// is handed out once, and the counter ends at the number of draws.
TEST_F(LayersTest, WorkstationsDrawingAtOnceNeverGetTheSameValue) {
  constexpr int kWorkers = 4, kDraws = 25;
  UseFolder(registry_, server_->Location());
  const double before = QvGetMaximumFromTable("WjSoftDicts", "ID");
  miDataBase::ResetSessionForThread();
  std::vector<std::unique_ptr<testsupport::WorkerProcess>> workers;
  for (int w = 0; w < kWorkers; ++w)
    workers.push_back(std::make_unique<testsupport::WorkerProcess>(
        gWorker, std::vector<std::string>{std::to_string(kDraws)},
        std::vector<std::string>{"QV_REGISTRY=" + registry_.string()}));
  std::vector<int64_t> counters, ids;
  for (auto& w : workers) {
    const std::vector<int64_t> c = Numbers(w->ReadLine(), "counters");
    const std::vector<int64_t> i = Numbers(w->ReadLine(), "ids");
    EXPECT_EQ(c.size(), size_t{kDraws}) << w->Join();
    EXPECT_EQ(i.size(), size_t{kDraws});
    counters.insert(counters.end(), c.begin(), c.end());
    ids.insert(ids.end(), i.begin(), i.end());
  }
  for (auto& w : workers) EXPECT_EQ(w->Join(), "exit 0: ");
  const std::set<int64_t> distinctCounters(counters.begin(), counters.end());
  const std::set<int64_t> distinctIds(ids.begin(), ids.end());
  EXPECT_EQ(distinctCounters.size(), counters.size());
  EXPECT_EQ(distinctIds.size(), ids.size());
  EXPECT_EQ(counters.size(), size_t{kWorkers * kDraws});
  EXPECT_EQ(*distinctCounters.rbegin(), kWorkers * kDraws);
  EXPECT_EQ(*distinctIds.rbegin(), static_cast<int64_t>(before) + kWorkers * kDraws);
  EXPECT_EQ(DBCommon().GetCurrCounter(9, 2030), kWorkers * kDraws);
}

}  // namespace
}  // namespace qv::pgtest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* conninfo = qv::testsupport::TestServerOrSkip();
  if (conninfo == nullptr) return 77;
  if (argc < 2) {
    std::cerr << "usage: qv_pg_layers WORKER_PROGRAM [JET_FUNCTIONS_SCRIPT]\n";
    return 2;
  }
  qv::pgtest::gConninfo = conninfo;
  qv::pgtest::gWorker = argv[1];
  if (argc < 3) {
    std::cout << "skipped: the Jet functions' script of the build is needed (a GUID is written "
                 "through them)\n";
    return 77;
  }
  qv::pgtest::gScript = argv[2];
  return RUN_ALL_TESTS();
}
