#include "platform/jet/JetEngine.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <utility>

#include "platform/automation/VbaText.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/PgConnection.h"
#include "platform/jet/ServerLocation.h"

namespace qv::jet {

namespace {

// TellCommitsOf's names, folded.
struct ToldTables {
  std::mutex mutex;
  std::set<std::string> names;
};
ToldTables& Told() {
  static ToldTables told;
  return told;
}

class FileStatement final : public EngineStatement {
 public:
  explicit FileStatement(Statement st) : st_(std::move(st)) {}

  StatementKind Kind() const override {
    const Translation* t = st_.Jet();
    return t ? t->kind : StatementKind::kSelect;
  }
  int ParameterCount() const override { return st_.ParameterCount(); }
  void Bind(int index, const Variant& value) override { st_.Bind(index, value); }
  bool Step() override { return st_.Step(); }
  int64_t Run() override { return st_.Run(); }
  void Reset() override { st_.Reset(); }
  int ColumnCount() const override { return st_.ColumnCount(); }
  const ColumnMeta& Column(int i) const override { return st_.Column(i); }
  Variant Value(int i) const override { return st_.Value(i); }
  void Values(std::span<Variant> out) const override { st_.Values(out); }
  std::string_view Sql() const override { return st_.Sql(); }

 private:
  Statement st_;
};

class FileEngineImpl final : public Engine {
 public:
  explicit FileEngineImpl(std::shared_ptr<Connection> conn) : conn_(std::move(conn)) {}

  const std::string& Location() const override { return conn_->Path(); }
  bool IsServer() const override { return false; }
  bool IsReadOnly() const override { return conn_->IsReadOnly(); }
  std::unique_ptr<EngineStatement> Prepare(std::string_view jetSql) override {
    return std::make_unique<FileStatement>(conn_->Prepare(jetSql));
  }
  int64_t Execute(std::string_view jetSql) override { return conn_->Execute(jetSql); }
  std::shared_ptr<const Translation> Translate(std::string_view jetSql) override {
    return conn_->Translate(jetSql);
  }
  void BeginTrans(bool writeLock = false, LockTaking = LockTaking::kAtBegin) override {
    conn_->BeginTrans(writeLock);
  }
  void CommitTrans() override { conn_->CommitTrans(); }
  void Rollback() override { conn_->Rollback(); }
  int TransactionDepth() const override { return conn_->TransactionDepth(); }
  uint64_t Serial() const override { return conn_->Serial(); }
  uint64_t DataGeneration() override { return conn_->DataGeneration(); }
  uint64_t SchemaGeneration() override {
    conn_->Schema().Refresh();  // counts a change another connection made
    return conn_->SchemaGeneration();
  }
  int64_t Changes() const override { return conn_->Changes(); }
  int64_t LastInsertId() override { return conn_->LastInsertRowId(); }
  std::vector<std::string> TableNames() override { return conn_->Schema().TableNames(); }
  std::shared_ptr<const TableSpec> FindTable(std::string_view table) override {
    return conn_->Schema().FindTable(table);
  }
  void CreateTable(const TableSpec& table) override { conn_->Schema().CreateTable(table); }
  void AddField(std::string_view table, const FieldSpec& field) override {
    conn_->Schema().AddField(table, field);
  }
  void ChangeFieldRules(std::string_view table, std::span<const FieldSpec> fields) override {
    conn_->Schema().ChangeFieldRules(table, fields);
  }
  void SetUnicodeCompression(std::string_view table, std::string_view field, bool on) override {
    conn_->Schema().SetUnicodeCompression(table, field, on);
  }

 private:
  std::shared_ptr<Connection> conn_;
};

bool IsKeyChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

}  // namespace

bool IsServerLocation(std::string_view location) {
  if (location.starts_with("postgresql://") || location.starts_with("postgres://")) return true;
  // A connection string starts with one of libpq's keywords and "=" (spaces
  // allowed around it); a file's name such as "a=b.mdb" starts with a word
  // libpq does not know.
  size_t i = 0;
  while (i < location.size() && location[i] == ' ') ++i;
  const size_t start = i;
  while (i < location.size() && IsKeyChar(location[i])) ++i;
  if (i == start) return false;
  const std::string_view key = location.substr(start, i - start);
  while (i < location.size() && location[i] == ' ') ++i;
  return i < location.size() && location[i] == '=' && IsConnectionKeyword(key);
}

void CheckRunValues(const EngineStatement& st, size_t runs, size_t values) {
  // A run short of values would run with whatever its parameters still
  // held (the previous run's on a file, the statement's own on a server),
  // one with more would fail only when it came: both are refused before
  // anything runs.
  const size_t expected = static_cast<size_t>(st.ParameterCount());
  if (values < runs * expected) ThrowJet(jeterr::kTooFewParameters, {std::to_string(expected)});
  if (values > runs * expected) ThrowJet(jeterr::kItemNotFound);
}

std::vector<int64_t> Engine::RunEach(EngineStatement& st,
                                     const std::vector<std::vector<Variant>>& runs) {
  // Each run's count is checked before any runs (a short run and a long
  // one would balance in the sum).
  for (const std::vector<Variant>& values : runs) CheckRunValues(st, 1, values.size());
  std::vector<const Variant*> values;
  for (const std::vector<Variant>& run : runs)
    for (const Variant& v : run) values.push_back(&v);
  return RunEach(st, runs.size(), values);
}

std::vector<int64_t> Engine::RunEach(EngineStatement& st, size_t runs,
                                     std::span<const Variant* const> values) {
  CheckRunValues(st, runs, values.size());
  const size_t width = values.size() / std::max<size_t>(runs, 1);
  std::vector<int64_t> changed;
  changed.reserve(runs);
  for (size_t r = 0; r < runs; ++r) {
    for (size_t i = 0; i < width; ++i) st.Bind(static_cast<int>(i) + 1, *values[r * width + i]);
    changed.push_back(st.Run());
    st.Reset();
  }
  return changed;
}

std::shared_ptr<Engine> FileEngine(std::shared_ptr<Connection> connection) {
  return std::make_shared<FileEngineImpl>(std::move(connection));
}

std::shared_ptr<Engine> OpenEngine(const std::string& location, const EngineOptions& options) {
  if (IsServerLocation(location)) return PgConnection::Open(location, options);
  if (options.exclusive) ThrowJet(jeterr::kNotSupported);
  const OpenOptions file{.readOnly = options.readOnly, .busyTimeoutMs = options.busyTimeoutMs};
  if (options.create) return FileEngine(Connection::Create(location, kLocaleRussian, file));
  return FileEngine(Connection::Open(location, file));
}

void TellCommitsOf(std::initializer_list<std::string_view> tables) {
  ToldTables& told = Told();
  const std::lock_guard lock(told.mutex);
  for (const std::string_view t : tables) told.names.insert(FoldCase(t));
}

bool CommitsTold(std::string_view table) {
  ToldTables& told = Told();
  const std::lock_guard lock(told.mutex);
  return told.names.contains(FoldCase(table));
}

std::vector<std::string> TablesTold() {
  ToldTables& told = Told();
  const std::lock_guard lock(told.mutex);
  return {told.names.begin(), told.names.end()};
}

}  // namespace qv::jet
