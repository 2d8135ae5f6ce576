#include "platform/ado/Connection.h"

#include "platform/ado/AdoError.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetStatement.h"

namespace qv::ado {

QV_DEFINE_CLASS(Connection, "ADODB.Connection", QV_CREATABLE(Connection),
                Property("ConnectionString", &Connection::ConnectionString,
                         &Connection::SetConnectionString),
                Property("", &Connection::ConnectionString, &Connection::SetConnectionString),
                Method("Open(ConnectionString, UserID, Password, Options)", &Connection::Open,
                       {Variant(""), Variant(""), Variant(""), Variant(int32_t{-1})}),
                Method("Close", &Connection::Close), Method("State", &Connection::State),
                Method("Provider", &Connection::Provider), Method("Version", &Connection::Version),
                Method("Execute(CommandText, RecordsAffected, Options)", &Connection::Execute,
                       {Variant::Missing(), Variant(int32_t{-1})}),
                Method("BeginTrans", &Connection::BeginTrans),
                Method("CommitTrans", &Connection::CommitTrans),
                Method("RollbackTrans", &Connection::RollbackTrans))

[[maybe_unused]] static const bool qv_registered_Connection26 =
    (ProgIdRegistry::Register("ADODB.Connection.2.6", &Connection::StaticClass), true);

namespace {

// Errors of the engine reach an ADO caller with the provider as their source.
template <class F>
decltype(auto) AsProvider(F&& body) {
  try {
    return body();
  } catch (const Error& e) {
    if (e.Source() == kConnectionSource || e.Source() == kRecordsetSource) throw;
    throw Error(e.Number(), e.Description(), std::string(kJetProviderSource));
  }
}

struct ColumnType {
  int32_t type;
  int32_t size;  // -1: the column's own size
};

// How the provider reports a column of each Jet type.
ColumnType AdoTypeOf(jet::JetType type) {
  using J = jet::JetType;
  switch (type) {
    case J::kBoolean:
      return {adBoolean, 0};
    case J::kByte:
      return {adUnsignedTinyInt, 0};
    case J::kInteger:
      return {adSmallInt, 0};
    case J::kLong:
      return {adInteger, 0};
    case J::kCurrency:
      return {adCurrency, 0};
    case J::kSingle:
      return {adSingle, 0};
    case J::kDouble:
    case J::kFloat:
      return {adDouble, 0};
    case J::kDate:
      return {adDate, 0};
    case J::kTime:
      return {adDBTime, 0};
    case J::kBinary:
    case J::kVarBinary:
      return {adVarBinary, -1};
    case J::kLongBinary:
      return {adLongVarBinary, 0};
    case J::kMemo:
      return {adLongVarWChar, 0};
    case J::kGUID:
      return {adGUID, 0};
    case J::kBigInt:
      return {adBigInt, 0};
    case J::kChar:
      return {adWChar, -1};
    case J::kNumeric:
      return {adNumeric, 0};
    case J::kDecimal:
      return {adDecimal, 0};
    case J::kText:
    case J::kNone:
      break;  // an untyped column (a Null) reads as text
  }
  return {adVarWChar, -1};
}

}  // namespace

JetConnectionString ParseConnectionString(std::string_view text) {
  JetConnectionString out;
  while (!text.empty()) {
    size_t eq = text.find('=');
    size_t semi = text.find(';');
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      if (TrimBlanks(text.substr(0, semi)).empty()) {  // an empty pair: ";;"
        text = semi == std::string_view::npos ? std::string_view() : text.substr(semi + 1);
        continue;
      }
      ThrowAdo(adoerr::kBadArguments, kConnectionSource,
               "no \"=\" in \"" + std::string(text.substr(0, semi)) + "\"");
    }
    std::string key = LCase(TrimBlanks(text.substr(0, eq)));
    std::string_view rest = text.substr(eq + 1);
    const size_t start = rest.find_first_not_of(" \t");
    rest = start == std::string_view::npos ? std::string_view() : rest.substr(start);
    std::string value;
    if (!rest.empty() && (rest.front() == '"' || rest.front() == '\'')) {
      size_t close = rest.find(rest.front(), 1);
      if (close == std::string_view::npos)
        ThrowAdo(adoerr::kBadArguments, kConnectionSource, "an unterminated quote");
      value = std::string(rest.substr(1, close - 1));
      rest = rest.substr(close + 1);
      semi = rest.find(';');
      if (!TrimBlanks(rest.substr(0, semi)).empty())
        ThrowAdo(adoerr::kBadArguments, kConnectionSource, "text after a quoted value");
    } else {
      semi = rest.find(';');
      value = std::string(TrimBlanks(rest.substr(0, semi)));
    }
    text = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
    if (key == "provider")
      out.provider = value;
    else if (key == "data source")
      out.dataSource = value;
    else if (key == "mode")
      out.readOnly = LCase(value) == "read";
  }
  return out;
}

RecordsetPtr RecordsetFromStatement(jet::Engine& conn, std::string_view sql) {
  return AsProvider([&] {
    std::unique_ptr<jet::EngineStatement> prepared = conn.Prepare(sql);
    jet::EngineStatement& st = *prepared;
    auto rs = std::make_shared<Recordset>();
    const int n = st.ColumnCount();
    for (int i = 0; i < n; ++i) {
      const jet::ColumnMeta& m = st.Column(i);
      ColumnType t = AdoTypeOf(m.type);
      int32_t size = t.size < 0 ? (m.size > 0 ? m.size : 255) : 0;
      rs->AppendField(m.name, t.type, size, adFldIsNullable | adFldMayBeNull);
    }
    rs->Open();
    while (st.Step()) {
      std::vector<Variant> row;
      row.reserve(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) row.push_back(st.Value(i));
      rs->AppendRow(std::move(row));
    }
    if (rs->RowCount() > 0) rs->MoveFirst();
    return rs;
  });
}

Connection::~Connection() = default;

void Connection::SetConnectionString(const std::string& text) {
  if (conn_) ThrowAdo(adoerr::kObjectOpen, kConnectionSource);
  connectionString_ = text;
}

void Connection::Open(const std::string& connectionString, const std::string&, const std::string&,
                      int32_t) {
  if (conn_) ThrowAdo(adoerr::kObjectOpen, kConnectionSource);
  if (!connectionString.empty()) connectionString_ = connectionString;
  JetConnectionString parsed = ParseConnectionString(connectionString_);
  if (!EqualsAsciiNoCase(parsed.provider, kJetProvider))
    ThrowAdo(adoerr::kProviderNotFound, kConnectionSource);
  conn_ =
      AsProvider([&] { return jet::OpenEngine(parsed.dataSource, {.readOnly = parsed.readOnly}); });
}

void Connection::Close() {
  if (!conn_) ThrowAdo(adoerr::kObjectClosed, kConnectionSource);
  auto conn = std::move(conn_);
  while (conn->TransactionDepth() > 0) {
    try {
      conn->Rollback();
    } catch (const Error&) {
      break;  // the file's handle goes below; SQLite rolls back what is left
    }
  }
}

jet::Engine& Connection::Engine() const {
  if (!conn_) ThrowAdo(adoerr::kObjectClosed, kConnectionSource);
  return *conn_;
}

std::string Connection::DataSource() const {
  return conn_ ? conn_->Location() : std::string();
}

RecordsetPtr Connection::Run(std::string_view sql, int64_t* affected) {
  jet::Engine& conn = Engine();
  bool select =
      AsProvider([&] { return conn.Prepare(sql)->Kind() == jet::StatementKind::kSelect; });
  if (select) {
    if (affected) *affected = 0;
    return RecordsetFromStatement(conn, sql);
  }
  int64_t rows = AsProvider([&] { return conn.Execute(sql); });
  if (affected) *affected = rows;
  return std::make_shared<Recordset>();  // closed, as for any statement without rows
}

RecordsetPtr Connection::Execute(const std::string& commandText, Variant& recordsAffected,
                                 int32_t) {
  int64_t rows = 0;
  RecordsetPtr rs = Run(commandText, &rows);
  recordsAffected = Variant(static_cast<int32_t>(rows));
  return rs;
}

int32_t Connection::BeginTrans() {
  jet::Engine& conn = Engine();
  AsProvider([&] { conn.BeginTrans(); });
  return conn.TransactionDepth();
}

void Connection::CommitTrans() {
  jet::Engine& conn = Engine();
  AsProvider([&] { conn.CommitTrans(); });
}

void Connection::RollbackTrans() {
  jet::Engine& conn = Engine();
  AsProvider([&] { conn.Rollback(); });
}

}  // namespace qv::ado
