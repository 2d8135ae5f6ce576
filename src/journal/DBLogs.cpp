#include "journal/DBLogs.h"

#include <array>
#include <optional>
#include <vector>

#include "core/DBCommon.h"
#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "core/mQvGuids.h"
#include "core/mQvRegistryParams.h"
#include "core/miDBProviderFactory.h"
#include "core/miDataBase.h"
#include "core/miLocks.h"
#include "journal/SkippedLogWrites.h"
#include "perms/miPerms.h"
#include "platform/automation/Collection.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "siblings/records/QvRecord.h"
#include "siblings/records/RecordFactory.h"

namespace qv::journal {
namespace {
using namespace mQvDaoDataBase;

constexpr int32_t kTextSize = 255;
constexpr int kObjects = 4;
// DateSerial(1899, 12, 31), what an empty date is written as (none is: the
// entries are stamped Now).
constexpr double kEmptyDate = 1;
constexpr const char* kEventType = "Qv_Records.QvLogEvent";
constexpr const char* kLineType = "Qv_Records.QvLogEventLine";

// A text as a column of the log stores it: cut to 255 characters.
Variant TextValue(std::string_view text) {
  return Variant(DaoQStringValue(Truncate16(text, kTextSize)));
}

// The values of one VarData row, as LogEvent and LogEventByRecord take them.
struct Entry {
  double userId = 0;
  std::string host;
  int32_t type = 0;
  std::string name;
  std::array<double, kObjects> ids{};
  std::array<std::string, kObjects> names{};
  // Data1, Data2, Text1: written only for a record.
  std::optional<std::array<std::string, 3>> extra;
};

// The inserts of the log, each prepared once per connection and thread and
// run with its values bound: a text carrying the values was built, scanned
// for its literals and looked up in the statement cache for every row.
enum Insert { kInsertEntry, kInsertRecordEntry, kInsertLine, kInserts };
constexpr std::string_view kInsertSql[kInserts] = {
    "insert into VarData (ID, EventTime, UserID, UserName, HostInfo, EventType, EventName, "
    "ObjectID1, ObjectName1, ObjectID2, ObjectName2, ObjectID3, ObjectName3, ObjectID4, "
    "ObjectName4) "
    "values (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)",
    "insert into VarData (ID, EventTime, UserID, UserName, HostInfo, EventType, EventName, "
    "ObjectID1, ObjectName1, ObjectID2, ObjectName2, ObjectID3, ObjectName3, ObjectID4, "
    "ObjectName4, Data1, Data2, Text1) "
    "values (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18)",

    "insert into VarData2 (ID, VarDataID, InfoType, InfoOrder, InfoData1, InfoData2) "
    "values (?1, ?2, ?3, ?4, ?5, ?6)",
};

// The same inserts as Jet statements, for a server database: each literal
// is a parameter of the kind its column takes ('' a text or GUID, 0 a Long,
// 0.5 another number or a date) and is bound as the file's are. The server
// keeps one prepared statement per text and connection.
constexpr std::string_view kServerInsertSql[kInserts] = {
    "insert into VarData (ID, EventTime, UserID, UserName, HostInfo, EventType, EventName, "
    "ObjectID1, ObjectName1, ObjectID2, ObjectName2, ObjectID3, ObjectName3, ObjectID4, "
    "ObjectName4) "
    "values ('', 0.5, 0.5, '', '', 0, '', 0.5, '', 0.5, '', 0.5, '', 0.5, '')",
    "insert into VarData (ID, EventTime, UserID, UserName, HostInfo, EventType, EventName, "
    "ObjectID1, ObjectName1, ObjectID2, ObjectName2, ObjectID3, ObjectName3, ObjectID4, "
    "ObjectName4, Data1, Data2, Text1) "
    "values ('', 0.5, 0.5, '', '', 0, '', 0.5, '', 0.5, '', 0.5, '', 0.5, '', '', '', '')",
    "insert into VarData2 (ID, VarDataID, InfoType, InfoOrder, InfoData1, InfoData2) "
    "values ('', '', 0, 0, '', '')",
};

// One row to write: which insert, and its values in parameter order.
struct Row {
  Insert insert;
  std::vector<Variant> values;
};

// `userName`: the login of e.userId (miPerms::GetUserName), read once per entry.
Row EntryRow(const Entry& e, const std::string& guid, OleDate now, const std::string& userName) {
  Row row{e.extra ? kInsertRecordEntry : kInsertEntry, {}};
  std::vector<Variant>& v = row.values;
  v.reserve(18);
  v.emplace_back(Guid2DaoValue(guid, "LogEvent"));
  v.emplace_back(DateTime2DaoValue(Variant(now), kEmptyDate));
  v.emplace_back(Number2DaoValue(e.userId));
  v.push_back(TextValue(userName));
  v.push_back(TextValue(e.host));
  v.emplace_back(e.type);
  v.push_back(TextValue(e.name));
  for (int i = 0; i < kObjects; ++i) {
    v.push_back(e.ids[i] != 0 ? Variant(Number2DaoValue(e.ids[i])) : Variant::Null());
    v.push_back(TextValue(e.names[i]));
  }
  if (e.extra)
    for (const std::string& t : *e.extra) v.push_back(TextValue(t));
  return row;
}

Row LineRow(const std::string& entryGuid, int32_t type, int32_t order, std::string_view data1,
            std::string_view data2) {
  Row row{kInsertLine, {}};
  row.values.reserve(6);
  row.values.emplace_back(Guid2DaoValue(mQvGuids::CreateNewGuid(), "LogEventByRecord"));
  row.values.emplace_back(Guid2DaoValue(entryGuid, "LogEventByRecord"));
  row.values.emplace_back(type);
  row.values.emplace_back(order);
  row.values.push_back(TextValue(data1));
  row.values.push_back(TextValue(data2));
  return row;
}

// Counts skipped writes in the database; what it refuses to count (a
// read-only folder) is kept in the user's state folder instead.
void CountSkipped(int32_t skipped) {
  int32_t counted = 0;
  try {
    DBCommon common;
    for (; counted < skipped; ++counted) common.GetNextCounter(kSkippedWritesCounter, 0);
  } catch (const Error&) {
    try {
      KeepSkippedWrites(miDataBase::GetUserDBFileName(), skipped - counted);
    } catch (const Error&) {
    }
  }
}

// Writes the rows of one entry under the transaction of the lock (action
// 2, no lock between processes). Outside development mode a failing insert
// is skipped; a failure to lock, begin or commit skips them all. The skips
// are counted once the lock is released. In development mode an error names
// the failing statement. A lone row outside development mode goes to a
// server with the commit when this is the outermost transaction
// (RunAtCommit): its failure, raised by the commit then, skips it as its
// own would, and the transaction has nothing else to keep.
void WriteEntry(const std::vector<Row>& rows) {
  const bool strict = mQvRegistryParams::IsDevelopmentModeByRegistry();
  // Per thread: a connection is used by one thread at a time.
  thread_local std::array<jet::Connection::NativeText, kInserts> kept;
  int32_t skipped = 0;
  try {
    auto db = miDataBase::GetUserDataBase();
    // The lone row goes with the commit only where the scope below is the
    // outermost: its end is then that commit, with no request between.
    const bool withCommit =
        !strict && rows.size() == 1 && db->IsServer() && db->ServerEngine().TransactionDepth() == 0;
    miLocks::WriteUnderLock(
        *db,
        [&] {
          const bool server = db->IsServer();
          jet::Connection* conn = server ? nullptr : &db->Connection();
          for (const Row& row : rows) {
            const std::string_view sql = (server ? kServerInsertSql : kInsertSql)[row.insert];
            auto run = [&] {
              if (server) {
                // Kept by the database: every value is bound again.
                const std::shared_ptr<jet::EngineStatement> st = db->KeptServerStatement(sql);
                for (size_t i = 0; i < row.values.size(); ++i)
                  st->Bind(static_cast<int>(i) + 1, row.values[i]);
                if (withCommit)
                  st->RunAtCommit();
                else
                  st->Run();
                return;
              }
              jet::Statement st = conn->PrepareNative(sql, kept[row.insert]);
              for (size_t i = 0; i < row.values.size(); ++i)
                st.BindView(static_cast<int>(i) + 1, row.values[i]);
              st.Run();
            };
            if (strict) {
              GuardX(
                  DBLogs::kModule, "WriteEntry", [&] { return StatementExtra(sql); }, run);
              continue;
            }
            try {
              Guard(DBLogs::kModule, "WriteEntry", run);
            } catch (const Error&) {
              ++skipped;
            }
          }
        },
        lockaction::kTransaction,
        // The lone row is the scope's one request: the lock goes with it.
        withCommit);
  } catch (const Error&) {
    if (strict) throw;
    skipped = static_cast<int32_t>(rows.size());
  }
  if (skipped > 0) CountSkipped(skipped);
}

// Up to four elements of an argument array from its lower bound; an
// argument that is no array gives none.
template <class T, class Convert>
void TakeFirst(const Variant& array, std::array<T, kObjects>& out, Convert convert) {
  if (!array.IsArray() || array.IsByteArray()) return;
  const VariantArray& a = array.AsArray();
  const size_t count = std::min<size_t>(a.items.size(), kObjects);
  for (size_t i = 0; i < count; ++i) out[i] = convert(a.items[i]);
}

std::string RangeWhere(const Variant& begin, const Variant& end) {
  const std::string range = DateRange2DaoQuery("a.EventTime", begin, end, false, false);
  return range.empty() ? std::string() : " where " + range;
}

constexpr std::string_view kEventColumns =
    "CStr(a.ID) AS ID2, a.EventTime, a.UserID, a.UserName, a.HostInfo, a.EventType, a.EventName, "
    "a.ObjectID1, a.ObjectName1, a.ObjectID2, a.ObjectName2, a.ObjectID3, a.ObjectName3, "
    "a.ObjectID4, a.ObjectName4, a.Data1, a.Data2, a.Text1, ";

}  // namespace

bool DBLogs::IsLoggingEnabled() {
  return Guard(QV_HERE, [] {
    return CLng(miDBProviderFactory::IntGetDBPermissions()->CallV("GetPermissionsSystem")) != 0;
  });
}

void DBLogs::SetIsLoggingEnabled(bool aValue) {
  Guard(QV_HERE, [&] {
    const std::string value = aValue ? "1" : "0";
    auto db = miDataBase::GetUserDataBase();
    dao::Transaction tx(*db, dao::kWriteLock);
    if (CLng(QvQueryValue("select count (*) AS aaa from VarParams", Variant(), db)) < 1)
      QvExecuteSql("insert into VarParams (LActive) values (" + value + ")", db);
    else
      QvExecuteSql("update VarParams set LActive = " + value, db);
    tx.Commit();
  });
}

void DBLogs::LogEvent(double aUserID, const std::string& aHostInfo, int32_t aEventType,
                      const std::string& aEventName, Variant& aObjectsIDs, Variant& aObjectsNames) {
  Guard(QV_HERE, [&] {
    Entry e{
        .userId = aUserID, .host = aHostInfo, .type = aEventType, .name = aEventName, .extra = {}};
    TakeFirst(aObjectsIDs, e.ids, [](const Variant& v) { return CDbl(v); });
    TakeFirst(aObjectsNames, e.names, [](const Variant& v) { return CStr(v); });
    // Moved in: a list's rows would be copied, each of their values.
    std::vector<Row> rows;
    rows.push_back(EntryRow(e, mQvGuids::CreateNewGuid(), Now(), miPerms::GetUserName(e.userId)));
    WriteEntry(rows);
  });
}

std::string DBLogs::LogEventByRecord(const Variant& aRec) {
  return Guard(QV_HERE, [&] {
    if (!aRec.IsObject() || aRec.IsNothing())
      ThrowVb(vberr::kObjectRequired, "LogEventByRecord needs an event record");
    const ObjectPtr& rec = aRec.AsObject();
    const std::string guid = mQvGuids::CreateNewGuid();
    const OleDate now = Now();
    Entry e{.userId = CDbl(rec->Get("UserID")),
            .host = CStr(rec->Get("HostInfo")),
            .type = CLng(rec->Get("EventType")),
            .name = CStr(rec->Get("EventName")),
            .extra = std::array<std::string, 3>{CStr(rec->Get("Data1")), CStr(rec->Get("Data2")),
                                                CStr(rec->Get("Text1"))}};
    for (int i = 0; i < kObjects; ++i) {
      const std::string n = std::to_string(i + 1);
      e.ids[i] = CDbl(rec->Get("ObjectID" + n));
      e.names[i] = CStr(rec->Get("ObjectName" + n));
    }
    rec->Let("ID", Variant(guid));
    const std::string userName = miPerms::GetUserName(e.userId);
    rec->Let("UserName", Variant(userName));
    rec->Let("EventTime", Variant(now));

    std::vector<Row> rows{EntryRow(e, guid, now, userName)};
    const auto lines = rec->Get("Lines").ObjectAs<Collection>();
    const int32_t count = lines ? lines->Count() : 0;
    rows.reserve(1 + static_cast<size_t>(count));
    for (int32_t i = 1; i <= count; ++i) {
      const ObjectPtr line = lines->At(i).AsObject();
      line->Let("InfoOrder", Variant(i));
      rows.push_back(LineRow(guid, CLng(line->Get("InfoType")), i, CStr(line->Get("InfoData1")),
                             CStr(line->Get("InfoData2"))));
    }
    WriteEntry(rows);
    return guid;
  });
}

ado::RecordsetPtr DBLogs::GetEvents(const Variant& aDateBeg, const Variant& aDateEnd) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA("Select " + std::string(kEventColumns) +
                       "b.InfoType, b.InfoData1, b.InfoData2 from VarData AS a "
                       "Left Join VarData2 AS b ON b.VarDataID = a.ID " +
                       RangeWhere(aDateBeg, aDateEnd) + " order by a.EventTime ");
  });
}

ado::RecordsetPtr DBLogs::GetEventsIDs(const Variant& aDateBeg, const Variant& aDateEnd,
                                       bool aLatestFirst) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA("Select CStr(a.ID) AS ID2, a.EventTime from VarData AS a " +
                       RangeWhere(aDateBeg, aDateEnd) + " order by a.EventTime " +
                       (aLatestFirst ? " DESC " : " ASC "));
  });
}

ado::RecordsetPtr DBLogs::GetEventSubItems(const std::string& aID) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(
        "select * from ( select InfoType, InfoOrder, InfoData1, InfoData2 from VarData2 "
        "where VarDataID = " +
        Guid2DaoSql(aID, "GetEventSubItems") + " ) Order by InfoOrder ");
  });
}

Variant DBLogs::GetEventRecord(const std::string& aID) {
  return Guard(QV_HERE, [&] {
    auto rs = QvQuerySql(
        "Select " + std::string(kEventColumns) +
        "iif(IsNull(b.ID), 0, 1) AS IsSubRecExists, b.InfoType, b.InfoData1, b.InfoData2, "
        "b.InfoOrder "
        "from VarData AS a "
        "Left Join VarData2 AS b ON b.VarDataID = a.ID "
        "where a.ID = " +

        Guid2DaoSql(aID, "GetEventRecord") + " order by b.InfoOrder ");
    if (rs->IsEOF()) {
      rs->Close();
      return Variant::Nothing();
    }
    auto factory = records::RecordFactory::ForThisThread();
    records::QvRecordPtr rec = factory->NewRecord(kEventType);
    rec->Let("ID", Variant(GetDaoString(*rs, "ID2")));
    rec->Let("EventTime", Variant(GetDaoDate(*rs, "EventTime")));
    rec->Let("UserID", Variant(GetDaoDouble(*rs, "UserID")));
    rec->Let("EventType", Variant(GetDaoLong(*rs, "EventType")));
    for (const char* text : {"UserName", "HostInfo", "EventName", "Data1", "Data2", "Text1"})
      rec->Let(text, Variant(GetDaoString(*rs, text)));
    for (int i = 1; i <= kObjects; ++i) {
      const std::string n = std::to_string(i);
      rec->Let("ObjectID" + n, Variant(GetDaoDouble(*rs, "ObjectID" + n)));
      rec->Let("ObjectName" + n, Variant(GetDaoString(*rs, "ObjectName" + n)));
    }
    auto lines = std::make_shared<Collection>();
    for (; !rs->IsEOF(); rs->MoveNext()) {
      if (GetDaoLong(*rs, "IsSubRecExists") != 1) continue;
      records::QvRecordPtr line = factory->NewRecord(kLineType);
      line->Let("InfoType", Variant(GetDaoLong(*rs, "InfoType")));
      line->Let("InfoData1", Variant(GetDaoString(*rs, "InfoData1")));
      line->Let("InfoData2", Variant(GetDaoString(*rs, "InfoData2")));
      line->Let("InfoOrder", Variant(GetDaoLong(*rs, "InfoOrder")));
      lines->Add(Variant(ObjectPtr(line)));
    }
    rs->Close();
    if (lines->Count() > 0) rec->Let("Lines", Variant(ObjectPtr(lines)));
    return Variant(ObjectPtr(rec));
  });
}

int32_t DBLogs::RemoveEventsInRange(const Variant& aDateBeg, const Variant& aDateEnd) {
  return Guard(QV_HERE, [&] {
    RequireDateOrEmpty(aDateBeg, "the first day");
    RequireDateOrEmpty(aDateEnd, "the last day");
    const std::string sql = "Delete from VarData AS a " + RangeWhere(aDateBeg, aDateEnd);
    auto db = miDataBase::GetUserDataBase();
    int32_t removed = 0;
    miLocks::WriteUnderLock(
        *db,
        [&] {
          if (mQvRegistryParams::IsDevelopmentModeByRegistry())
            QvExecuteSql(sql, db);
          else
            QvExecuteSqlQuiet(sql, db);
          removed = db->RecordsAffected();
        },
        lockaction::kTransaction);
    return removed;
  });
}

int32_t DBLogs::SkippedWrites(const std::shared_ptr<dao::Database>& db) {
  return Guard(QV_HERE, [&] {
    return mQvCommonCalc::VarToLongDef(
        QvQueryValueSafe("select CounterValue from Counters where CounterType = " +
                             std::to_string(kSkippedWritesCounter) + " and TheYear = 0",
                         Variant(int32_t{0}), db),
        0);
  });
}

QV_DEFINE_CLASS(
    DBLogs, "Qv_DBProvider.DBLogs", QV_CREATABLE(DBLogs),
    Method("IsLoggingEnabled", &DBLogs::IsLoggingEnabled),
    Method("LogEvent(aUserID, aHostInfo, aEventType, aEventName, aObjectsIDs, aObjectsNames)",
           &DBLogs::LogEvent),
    Method("GetEvents(aDateBeg, aDateEnd)", &DBLogs::GetEvents),
    Method("SetIsLoggingEnabled(aValue)", &DBLogs::SetIsLoggingEnabled),
    Method("GetEventSubItems(aID)", &DBLogs::GetEventSubItems),
    Method("LogEventByRecord(aRec)", &DBLogs::LogEventByRecord),
    Method("GetEventsIDs(aDateBeg, aDateEnd, aLatestFirst)", &DBLogs::GetEventsIDs),
    Method("GetEventRecord(aID)", &DBLogs::GetEventRecord),
    Method("RemoveEventsInRange(aDateBeg, aDateEnd)", &DBLogs::RemoveEventsInRange))

}  // namespace qv::journal
