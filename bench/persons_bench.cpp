// The person mapper against plain SQLite doing the same reads and writes on
// the same file: a legal person read with its lazy part (header row, detail
// row's base and lazy columns, the branch and accounted-person lookups) and
// saved without recursion (both rows updated in one write transaction),
// both sides on the same tables and row. bench/ratios prints ours/raw.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/miDataBase.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetConnection.h"
#include "records/EntityMappers.h"
#include "siblings/records/QvRecord.h"

#include "BenchSupport.h"
#include "SameWork.h"

namespace {

using qv::Variant;

constexpr const auto& kBase = benchwork::kLegalPersonBase;
constexpr const auto& kLazy = benchwork::kLegalPersonLazy;

std::string Joined(const char* const* names, size_t n, const char* suffix) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += (i ? ", " : "") + std::string(names[i]) + suffix;
  return s;
}

// A data folder with one legal person (ID 5, detail 3) that is a branch and
// an accounted person, every detail column filled.
struct Fixture : qvbench::DataFolder {
  Fixture() : DataFolder("qvpersbench") {
    auto db = qv::miDataBase::GetUserDataBase();
    db->ExecuteSql("insert into Person (ID, Type, PersonRealID) values (5, 2, 3)");
    db->ExecuteSql("insert into LegalPerson (ID) values (3)");
    for (const char* c : kBase) db->ExecuteSql(std::string("update LegalPerson set ") + c + " = 1");
    for (const char* c : kLazy) db->ExecuteSql(std::string("update LegalPerson set ") + c + " = 2");
    db->ExecuteSql("update LegalPerson set KPP = '770101001', FullName = 'Организация полностью'");
    db->ExecuteSql("insert into Branches (ID, ParentPersonID, ChildPersonID) values (1, 4, 5)");
    db->ExecuteSql("insert into AccPerson (PersonID) values (5)");
    OpenRaw();
    // The tables' rules (text sizes) call Jet functions on both sides.
    qv::jet::RegisterJetFunctions(raw);
  }
};

Fixture& Db() {
  static Fixture f;
  return f;
}

// Every column of the one row, copied out as a caller would.
void RawReadRow(sqlite3_stmt* s, std::vector<std::string>& out) {
  if (sqlite3_step(s) == SQLITE_ROW) {
    for (int c = 0; c < sqlite3_column_count(s); ++c) {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
      out.emplace_back(t ? t : "", static_cast<size_t>(sqlite3_column_bytes(s, c)));
    }
  }
  sqlite3_reset(s);
}

bool RawExists(sqlite3_stmt* s) {
  bool found = sqlite3_step(s) == SQLITE_ROW;
  sqlite3_reset(s);
  return found;
}

void LegalPersonReadSave_Ours(benchmark::State& state) {
  Db();
  qv::records::DBPerson mapper;
  auto r = qv::records::QvRecord::Create("Qv_Records.QvPerson");
  const Variant rec{qv::ObjectPtr(r)};
  int i = 0;
  for (auto _ : state) {
    mapper.ReadRecord(5, rec);
    mapper.ReadLazyFields(rec);
    r->Let("Phone", Variant(std::to_string(i++)));
    mapper.SaveRecord(rec, false);
  }
  if (!qv::CBool(r->Get("IsBranch"))) state.SkipWithError("not read");
}

void LegalPersonReadSave_Raw(benchmark::State& state) {
  constexpr size_t kB = std::size(kBase), kL = std::size(kLazy);
  sqlite3_stmt* header = Db().MustPrepare("SELECT Type, PersonRealID FROM Person WHERE ID = ?");
  sqlite3_stmt* base =
      Db().MustPrepare("SELECT " + Joined(kBase, kB, "") + " FROM LegalPerson WHERE ID = ?");
  sqlite3_stmt* lazy =
      Db().MustPrepare("SELECT " + Joined(kLazy, kL, "") + " FROM LegalPerson WHERE ID = ?");
  sqlite3_stmt* branch = Db().MustPrepare("SELECT 1 FROM Branches WHERE ChildPersonID = ?");
  sqlite3_stmt* acc = Db().MustPrepare("SELECT 1 FROM AccPerson WHERE PersonID = ?");
  sqlite3_stmt* seekHeader = Db().MustPrepare("SELECT rowid FROM Person WHERE ID = ?");
  sqlite3_stmt* seekDetail = Db().MustPrepare("SELECT rowid FROM LegalPerson WHERE ID = ?");
  sqlite3_stmt* writeDetail =
      Db().MustPrepare("UPDATE LegalPerson SET " + Joined(kBase, kB, " = ?") + ", " +
                       Joined(kLazy, kL, " = ?") + " WHERE ID = ?");
  sqlite3_stmt* writeHeader =
      Db().MustPrepare("UPDATE Person SET Type = ?, PersonRealID = ? WHERE ID = ?");
  // Prepared once, as the connection of ours keeps them.
  sqlite3_stmt* begin = Db().MustPrepare("BEGIN IMMEDIATE");
  sqlite3_stmt* commit = Db().MustPrepare("COMMIT");
  std::vector<std::string> values;
  int i = 0;
  for (auto _ : state) {
    values.clear();
    sqlite3_bind_double(header, 1, 5);
    RawReadRow(header, values);
    const double real = std::stod(values[1]);
    sqlite3_bind_double(base, 1, real);
    RawReadRow(base, values);
    sqlite3_bind_double(lazy, 1, real);
    RawReadRow(lazy, values);
    sqlite3_bind_double(branch, 1, 5);
    sqlite3_bind_double(acc, 1, 5);
    bool flags = RawExists(branch) && RawExists(acc);
    benchmark::DoNotOptimize(flags);
    values[2 + 6 + 25] = std::to_string(i++);  // Phone

    Db().Check(sqlite3_step(begin));
    sqlite3_reset(begin);
    sqlite3_bind_double(seekHeader, 1, 5);
    RawExists(seekHeader);
    sqlite3_bind_double(seekDetail, 1, real);
    RawExists(seekDetail);
    for (size_t c = 0; c < kB + kL; ++c)
      sqlite3_bind_text(writeDetail, static_cast<int>(c + 1), values[2 + c].c_str(), -1,
                        SQLITE_TRANSIENT);
    sqlite3_bind_double(writeDetail, static_cast<int>(kB + kL + 1), real);
    Db().Check(sqlite3_step(writeDetail));
    sqlite3_reset(writeDetail);
    sqlite3_bind_int(writeHeader, 1, 2);
    sqlite3_bind_double(writeHeader, 2, real);
    sqlite3_bind_double(writeHeader, 3, 5);
    Db().Check(sqlite3_step(writeHeader));
    sqlite3_reset(writeHeader);
    Db().Check(sqlite3_step(commit));
    sqlite3_reset(commit);
  }
  for (sqlite3_stmt* s : {header, base, lazy, branch, acc, seekHeader, seekDetail, writeDetail,
                          writeHeader, begin, commit})
    sqlite3_finalize(s);
}

BENCHMARK(LegalPersonReadSave_Ours);
BENCHMARK(LegalPersonReadSave_Raw);

}  // namespace
