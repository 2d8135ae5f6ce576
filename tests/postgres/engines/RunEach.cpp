// Engine::RunEach and the round trips of the server engine, on a schema of
// the PostgreSQL server QV_TEST_PG names: every run of an action in one
// round trip, all or nothing, inside a transaction and outside one; and
// what each engine call costs in round trips (jet::ServerRoundTrips). The
// same runs on a database file give the same rows. Without QV_TEST_PG the
// program says so and exits 77 (skipped).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/PgConnection.h"
#include "support/PgBothEngines.h"
#include "support/TestSupport.h"

namespace qv::pgtest {
namespace {

std::string gConninfo;
const char* gFunctions = nullptr;  // the Jet functions' script, when the build has one

// The rows of T as "ID:N" joined by "," (N "Null" when it is).
std::string Rows(jet::Engine& e) {
  auto st = e.Prepare("SELECT ID, N FROM T ORDER BY ID");
  std::string out;
  while (st->Step())
    out += (out.empty() ? "" : ",") + CStr(st->Value(0)) + ":" +
           (st->Value(1).IsNull() ? "Null" : CStr(st->Value(1)));
  return out;
}

class RunEach : public ::testing::Test {
 protected:
  void SetUp() override {
    places_.emplace(gConninfo, "qv_runeach_", gFunctions, "RunEach.mdb");
    engines_.push_back(jet::OpenEngine(places_->File(), {.create = true}));
    // Named by the schema, so that a test can end the session (EndSessions).
    engines_.push_back(jet::OpenEngine(
        places_->Server() + " application_name=" + places_->SchemaName(), {.create = true}));
    for (auto& e : engines_) {
      e->Execute("CREATE TABLE T (ID LONG CONSTRAINT pk PRIMARY KEY, N LONG)");
      e->Execute("INSERT INTO T (ID, N) VALUES (1, 10)");
      e->Execute("INSERT INTO T (ID, N) VALUES (2, 20)");
    }
  }
  void TearDown() override {
    engines_.clear();
    places_.reset();
  }

  // A change made through this connection (`self`) or another of the same
  // database (`other`), and whether it moves the generation asked.
  struct GenerationCase {
    const char* what;
    std::function<void(jet::Engine& self, jet::Engine& other)> change;
    bool moves;
    bool serverOnly = false;
  };
  // Each case on each engine; a server's move is waited for a moment (its
  // notice comes after the other session's commit).
  void ExpectMoves(const std::vector<GenerationCase>& cases,
                   uint64_t (jet::Engine::*generation)()) {
    for (const auto& self : engines_) {
      auto other = jet::OpenEngine(self->IsServer() ? places_->Server() : places_->File());
      for (const GenerationCase& c : cases) {
        if (c.serverOnly && !self->IsServer()) continue;
        const uint64_t before = ((*self).*generation)();
        c.change(*self, *other);
        bool moved = false;
        for (int i = 0; i < 25 && !moved; ++i) {
          moved = ((*self).*generation)() != before;
          if (self->IsServer() && !moved)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(moved, c.moves) << self->Location() << ": " << c.what;
      }
    }
  }

  std::optional<testsupport::FileAndSchema> places_;
  std::vector<std::shared_ptr<jet::Engine>> engines_;  // the file's, the server's
};

// `read`'s text, or "error N" for the Error it raises.
std::string OrError(const std::function<std::string()>& read) {
  std::string out;
  const int32_t n = testsupport::RaisedError([&] { out = read(); }).Number();
  return n ? "error " + std::to_string(n) : out;
}

// Runs written "3,30;4,N": a whole number a Long, one with a point a
// Double, N Null, 'x' a text.
std::vector<std::vector<Variant>> Runs(std::string_view text) {
  std::vector<std::vector<Variant>> runs(1);
  for (size_t at = 0, end; at <= text.size(); at = end + 1) {
    end = std::min(text.find_first_of(",;", at), text.size());
    const std::string v(text.substr(at, end - at));
    runs.back().push_back(v == "N"                ? Variant::Null()
                          : v[0] == '\''          ? Variant(v.substr(1, v.size() - 2))
                          : v.find('.') != v.npos ? Variant(std::stod(v))
                                                  : Variant(int32_t{std::stoi(v)}));
    if (end < text.size() && text[end] == ';') runs.emplace_back();
  }
  return runs;
}

TEST_F(RunEach, RunsAllOrNothing) {
  struct Case {
    const char* what;
    const char* sql;
    const char* runs;         // Runs()
    int levels;               // transaction levels open around the call
    std::string expected;     // the rows changed per run, or "error N"; then " | " and T's rows
    std::string onFile = "";  // the file's when it differs (it keeps the runs before a failure)
    uint64_t roundTrips = 1;  // on the server
  };
  const std::vector<Case> cases = {
      {"updates, each run's rows counted", "UPDATE T SET N = 0 WHERE ID = 0", "11,1;99,3;22,2", 0,
       "1,0,1 | 1:11,2:22"},
      {"inserts in a transaction", "INSERT INTO T (ID, N) VALUES (0, 0)", "3,30;4,40", 1,
       "1,1 | 1:10,2:20,3:30,4:40"},
      {"a Null among the values", "INSERT INTO T (ID, N) VALUES (0, 0)", "3,N;4,40", 0,
       "1,1 | 1:10,2:20,3:Null,4:40"},
      {"values of other kinds than the literals': prepared for the first run's",
       "INSERT INTO T (ID, N) VALUES (0, 0)", "3,2.5;4,4.5", 0, "1,1 | 1:10,2:20,3:2,4:4", "", 3},
      {"runs of different kinds: one by one, all or nothing", "INSERT INTO T (ID, N) VALUES (0, 0)",
       "3,2.5;4,'x'", 0, "error 3464 | 1:10,2:20", "error 3464 | 1:10,2:20,3:2"},
      {"a run short of a value: refused before any run", "INSERT INTO T (ID, N) VALUES (0, 0)",
       "3,30;4", 0, "error 3061 | 1:10,2:20"},
      {"a run with a value too many: refused before any run", "INSERT INTO T (ID, N) VALUES (0, 0)",
       "3,30,1", 0, "error 3265 | 1:10,2:20"},
      {"a duplicate key outside a transaction: no run stays", "INSERT INTO T (ID, N) VALUES (0, 0)",
       "5,50;1,0;6,60", 0, "error 3022 | 1:10,2:20", "error 3022 | 1:10,2:20,5:50"},
      {"a duplicate key in a transaction: the call undone, the transaction goes on",
       "INSERT INTO T (ID, N) VALUES (0, 0)", "5,50;1,0;6,60", 1, "error 3022 | 1:10,2:20,7:70",
       "error 3022 | 1:10,2:20,5:50,7:70"},
      {"a duplicate key first in a nested level just begun: undone to the level's start",
       "INSERT INTO T (ID, N) VALUES (0, 0)", "5,50;1,0;6,60", 2, "error 3022 | 1:10,2:20,7:70",
       "error 3022 | 1:10,2:20,5:50,7:70"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Values of other kinds than the literals' run the text made for their
    // kinds, whose stores are the server's Jet functions.
    const std::vector<std::vector<Variant>> runs = Runs(c.runs);
    const bool otherKinds = std::ranges::any_of(runs, [](const std::vector<Variant>& run) {
      return std::ranges::any_of(
          run, [](const Variant& v) { return v.Type() != VarType::kLong && !v.IsNull(); });
    });
    for (size_t k = 0; k < engines_.size(); ++k) {
      jet::Engine& e = *engines_[k];
      const bool server = k == 1;
      if (server && otherKinds && gFunctions == nullptr) continue;
      for (int i = 0; i < c.levels; ++i) e.BeginTrans();
      const std::string got = OrError([&] {
        auto st = e.Prepare(c.sql);
        const uint64_t before = jet::ServerRoundTrips();
        const std::vector<int64_t> changed = e.RunEach(*st, runs);
        // Every run in one round trip on the server.
        if (server) {
          EXPECT_EQ(jet::ServerRoundTrips() - before, c.roundTrips);
        }
        std::string out;
        for (int64_t n : changed) out += (out.empty() ? "" : ",") + std::to_string(n);
        return out;
      });
      if (c.levels > 0) {
        // The transaction still takes statements after a failed call, and
        // after a statement failed first in a level just begun.
        if (got.starts_with("error")) {
          e.BeginTrans();
          EXPECT_THROW(e.Execute("INSERT INTO T (ID, N) VALUES (2, 0)"), Error);
          e.CommitTrans();
          e.Execute("INSERT INTO T (ID, N) VALUES (7, 70)");
        }
        for (int i = 0; i < c.levels; ++i) e.CommitTrans();
      }
      EXPECT_EQ(got + " | " + Rows(e), server || c.onFile.empty() ? c.expected : c.onFile)
          << (server ? "on the server" : "on the file");
      e.Execute("DELETE FROM T WHERE ID > 2");
      e.Execute("UPDATE T SET N = ID * 10");
    }
  }
}

// A select whose rows are asked for whole (ReadsEveryRow) on the server: its
// rows as they are, or the failure of any row at the first Step (no rows
// before it); the connection, and a transaction around it, go on after it.
TEST_F(RunEach, RowsReadWhole) {
  jet::Engine& e = *engines_[1];
  e.Execute("INSERT INTO T (ID, N) VALUES (3, 0)");
  struct Case {
    const char* what;
    const char* sql;
    bool inTransaction;
    std::string expected;  // the rows as "N;N", or "error N"; then " | " and T's rows after
  };
  const std::vector<Case> cases = {
      {"rows", "SELECT N FROM T ORDER BY ID", false, "10;20;0 | 1:10,2:20,3:0"},
      {"a row that fails", "SELECT 10 \\ N FROM T ORDER BY ID", false, "error 11 | 1:10,2:20,3:0"},
      {"rows in a transaction", "SELECT N FROM T ORDER BY ID", true,
       "10;20;0;40 | 1:10,2:20,3:0,4:40"},
      {"a row that fails in a transaction", "SELECT 10 \\ N FROM T ORDER BY ID", true,
       "error 11 | 1:10,2:20,3:0,4:40"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Jet's \ is a server function: a build without the Jet functions' script has none.
    if (gFunctions == nullptr && std::string_view(c.sql).find('\\') != std::string_view::npos)
      continue;
    if (c.inTransaction) {
      e.BeginTrans();
      e.Execute("INSERT INTO T (ID, N) VALUES (4, 40)");  // the transaction opened first
    }
    const std::string got = OrError([&] {
      auto st = e.Prepare(c.sql);
      st->ReadsEveryRow();
      std::string out;
      while (st->Step()) out += (out.empty() ? "" : ";") + CStr(st->Value(0));
      return out;
    });
    if (c.inTransaction) e.CommitTrans();
    EXPECT_EQ(got + " | " + Rows(e), c.expected);
    e.Execute("DELETE FROM T WHERE ID = 4");
  }
}

// A read snapshot whose begin went with its first select: another
// session's commit after that select is not seen until the snapshot ends;
// one before it is.
TEST_F(RunEach, ASnapshotBegunWithItsFirstSelect) {
  jet::Engine& e = *engines_[1];
  auto other = jet::OpenEngine(places_->Server());
  const auto N = [&] {
    auto st = e.Prepare("SELECT N FROM T WHERE ID = 1");
    return st->Step() ? CStr(st->Value(0)) : std::string("none");
  };
  std::string seen;
  e.HoldReadSnapshot();
  other->Execute("UPDATE T SET N = 11 WHERE ID = 1");  // before the first select: seen
  seen += N();
  other->Execute("UPDATE T SET N = 12 WHERE ID = 1");  // after it: not seen
  seen += " " + N();
  e.ReleaseReadSnapshot();
  seen += " " + N();
  EXPECT_EQ(seen, "11 11 12");
}

// Selects started with the next select (StartWithNextSelect): on the server
// they go in its round trip, each read as it would be alone, its failure at
// its own Step (in a transaction inside the select's savepoint: a failure
// undone, the select sent again); where they cannot go with it (a write
// between, a bind after) they run at their Step. The file reads the same
// rows.
TEST_F(RunEach, SelectsStartedWithTheNext) {
  struct Case {
    const char* what;
    bool needsFunctions;
    // Reads through the engine and returns what it read.
    std::function<std::string(jet::Engine&)> reads;
    uint64_t roundTrips;  // on the server
    std::string expected;
  };
  // The first rows' first value of each statement, stepped in the order given.
  const auto Read = [](std::initializer_list<jet::EngineStatement*> sts) {
    std::string out;
    for (jet::EngineStatement* st : sts)
      out += " " + OrError([&] { return st->Step() ? CStr(st->Value(0)) : std::string("none"); });
    return out;
  };
  using Sts = std::vector<std::unique_ptr<jet::EngineStatement>>;
  const auto Prepared = [](jet::Engine& e, std::initializer_list<const char*> sqls) {
    Sts sts;
    for (const char* sql : sqls) sts.push_back(e.Prepare(sql));
    return sts;
  };
  const std::vector<Case> cases = {
      {"one with the next", false,
       [&](jet::Engine& e) {
         Sts s = Prepared(e, {"SELECT N FROM T WHERE ID = 1", "SELECT N FROM T WHERE ID = 2"});
         s[0]->StartWithNextSelect();
         return Read({s[1].get(), s[0].get()});
       },
       1, " 20 10"},
      {"after a select read row by row (its mode kept for the pipeline's first select)", false,
       [&](jet::Engine& e) {
         Sts s = Prepared(e, {"SELECT N FROM T WHERE ID = 2", "SELECT N FROM T WHERE ID = 1",
                              "SELECT N FROM T WHERE ID = 2"});
         const std::string first = Read({s[0].get()});
         s[1]->StartWithNextSelect();
         return first + Read({s[2].get(), s[1].get()});
       },
       2, " 20 20 10"},
      {"two with the next, one without rows", false,
       [&](jet::Engine& e) {
         Sts s = Prepared(e, {"SELECT N FROM T WHERE ID = 1", "SELECT N FROM T WHERE ID = 9",
                              "SELECT N FROM T WHERE ID = 2"});
         s[0]->StartWithNextSelect();
         s[1]->StartWithNextSelect();
         return Read({s[2].get(), s[1].get(), s[0].get()});
       },
       1, " 20 none 10"},
      {"a failure of its own at its Step, the others read", true,
       [&](jet::Engine& e) {
         Sts s = Prepared(e, {"SELECT 10 \\ N FROM T WHERE ID = 3", "SELECT N FROM T WHERE ID = 1",
                              "SELECT N FROM T WHERE ID = 2"});
         s[0]->StartWithNextSelect();
         s[1]->StartWithNextSelect();
         return Read({s[2].get(), s[0].get(), s[1].get()});
       },
       1, " 20 error 11 10"},
      {"one whose start failed runs again at its next Step", true,
       [&](jet::Engine& e) {
         Sts s = Prepared(e, {"SELECT 10 \\ N FROM T WHERE ID = 3"});
         return Read({s[0].get(), s[0].get()});
       },
       2, " error 11 error 11"},
      {"a write between: it runs at its Step, after the write", false,
       [&](jet::Engine& e) {
         Sts s = Prepared(e, {"SELECT N FROM T WHERE ID = 1", "SELECT N FROM T WHERE ID = 2"});
         s[0]->StartWithNextSelect();
         e.Execute("UPDATE T SET N = 11 WHERE ID = 1");
         return Read({s[1].get(), s[0].get()});
       },
       3, " 20 11"},
      {"a bind after: it runs with the value bound", false,
       [&](jet::Engine& e) {
         Sts s = Prepared(e, {"SELECT N FROM T WHERE ID = 1", "SELECT N FROM T WHERE ID = 2"});
         s[0]->StartWithNextSelect();
         s[0]->Bind(1, Variant(3));
         return Read({s[1].get(), s[0].get()});
       },
       2, " 20 0"},
      {"under a write lock: with the next, inside its savepoint", false,
       [&](jet::Engine& e) {
         e.BeginTrans(true);
         e.Execute("UPDATE T SET N = 12 WHERE ID = 1");
         Sts s = Prepared(e, {"SELECT N FROM T WHERE ID = 1", "SELECT N FROM T WHERE ID = 2"});
         s[0]->StartWithNextSelect();
         const std::string out = Read({s[1].get(), s[0].get()});
         e.CommitTrans();
         return out;
       },
       4, " 20 12"},
      {"with a RunEach in a write-locked transaction: after the lock, before the runs, read "
       "when a run fails",
       false,
       [&](jet::Engine& e) {
         e.BeginTrans(true, jet::LockTaking::kWithFirstRequest);
         Sts s =
             Prepared(e, {"SELECT N FROM T WHERE ID = 1", "INSERT INTO T (ID, N) VALUES (0, 0)"});
         s[0]->StartWithNextSelect();
         std::string out = " " + OrError([&] {
                             e.RunEach(*s[1], Runs("4,40;1,0"));
                             return std::string("no error");
                           });
         out += Read({s[0].get()});
         e.Rollback();
         return out;
       },
       3, " error 3022 10"},
      {"a failure in a transaction: undone, the next sent again, the one after at its Step", true,
       [&](jet::Engine& e) {
         e.BeginTrans(true);
         Sts s = Prepared(e, {"SELECT 10 \\ N FROM T WHERE ID = 3", "SELECT N FROM T WHERE ID = 1",
                              "SELECT N FROM T WHERE ID = 2"});
         s[0]->StartWithNextSelect();
         s[1]->StartWithNextSelect();
         const std::string out = Read({s[2].get(), s[0].get(), s[1].get()});
         e.Execute("UPDATE T SET N = 13 WHERE ID = 1");
         e.CommitTrans();
         return out + Read({e.Prepare("SELECT N FROM T WHERE ID = 1").get()});
       },
       8, " 20 error 11 10 13"},
      {"one left unread goes with the statement", false,
       [&](jet::Engine& e) {
         Sts s = Prepared(e, {"SELECT N FROM T WHERE ID = 1", "SELECT N FROM T WHERE ID = 2"});
         s[0]->StartWithNextSelect();
         const std::string out = Read({s[1].get()});
         s.clear();
         return out + Read({e.Prepare("SELECT N FROM T WHERE ID = 1").get()});
       },
       2, " 20 10"},
  };
  for (auto& e : engines_) {
    e->Execute("INSERT INTO T (ID, N) VALUES (3, 0)");
    // Each shape prepared once.
    for (const char* sql : {"SELECT N FROM T WHERE ID = 1", "UPDATE T SET N = 11 WHERE ID = 1",
                            "UPDATE T SET N = ID * 10 WHERE ID < 3"})
      e->Prepare(sql)->Run();
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsFunctions && gFunctions == nullptr) continue;
    for (size_t k = 0; k < engines_.size(); ++k) {
      jet::Engine& e = *engines_[k];
      if (c.needsFunctions) e.Prepare("SELECT 10 \\ N FROM T WHERE ID = 2")->Run();
      const uint64_t before = jet::ServerRoundTrips();
      EXPECT_EQ(c.reads(e), c.expected) << (k == 1 ? "on the server" : "on the file");
      if (k == 1) {
        EXPECT_EQ(jet::ServerRoundTrips() - before, c.roundTrips);
      }
      e.Execute("UPDATE T SET N = ID * 10 WHERE ID < 3");
    }
  }
}

// What each call costs on the server, a statement's shape prepared before.
TEST_F(RunEach, RoundTripsPerCall) {
  jet::Engine& e = *engines_[1];
  e.Prepare("SELECT N FROM T WHERE ID = 1")->Run();
  e.Prepare("UPDATE T SET N = 5 WHERE ID = 1")->Run();
  e.Prepare("INSERT INTO T (ID, N) VALUES (9, 9)");
  struct Case {
    const char* what;
    std::function<void()> call;
    uint64_t roundTrips;
  };
  testsupport::PgAdmin admin(gConninfo);
  const std::string table = places_->SchemaName() + ".\"T\"";
  const std::string named = places_->Server() + " application_name=" + places_->SchemaName();
  const jet::EngineOptions exclusive{.exclusive = true};
  std::shared_ptr<jet::Engine> other, held;
  auto failure = [](const std::function<void()>& call) {
    return testsupport::RaisedError(call).Number();
  };
  // The outer select's first row, the inner one's value (after a failure
  // when `ended` ends the second session first), then the outer's rows.
  auto nested = [&](bool ended) {
    auto outer = e.Prepare("SELECT ID, N FROM T ORDER BY ID");
    outer->Step();
    std::string out;
    if (ended) {
      admin.Value(
          "SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE "
          "application_name = '" +
          places_->SchemaName() + "' AND query LIKE '%FROM \"T\"%' AND query NOT LIKE '%ORDER%'");
      out =
          std::to_string(failure([&] { e.Prepare("SELECT N FROM T WHERE ID = 2")->Step(); })) + " ";
    }
    auto inner = e.Prepare("SELECT N FROM T WHERE ID = 2");
    inner->Step();
    out += CStr(inner->Value(0)) + " " + CStr(outer->Value(0)) + ":" + CStr(outer->Value(1));
    while (outer->Step()) out += "," + CStr(outer->Value(0)) + ":" + CStr(outer->Value(1));
    return out;
  };
  // A text bound where the statement compares a number with a column.
  auto textForNumber = [&] {
    auto st = e.Prepare("SELECT N FROM T WHERE ID = 1");
    st->Bind(1, Variant("2"));
    st->Run();
  };
  const std::vector<Case> cases = {
      {"a select", [&] { e.Prepare("SELECT N FROM T WHERE ID = 2")->Run(); }, 1},
      {"an update", [&] { e.Execute("UPDATE T SET N = 6 WHERE ID = 2"); }, 1},
      {"a begin (sent with the next statement)", [&] { e.BeginTrans(); }, 0},
      {"a select in a transaction (with the begin and its savepoint)",
       [&] { e.Prepare("SELECT N FROM T WHERE ID = 2")->Run(); }, 1},
      {"a nested level (sent with the next statement)", [&] { e.BeginTrans(); }, 0},
      {"an update in it (with the level's savepoint)",
       [&] { e.Execute("UPDATE T SET N = 7 WHERE ID = 2"); }, 1},
      {"the nested level's commit (its release sent with the next request)",
       [&] { e.CommitTrans(); }, 0},
      {"a level no statement needed, begun and committed",
       [&] {
         e.BeginTrans();
         e.CommitTrans();
       },
       0},
      {"a commit (the release before it in its round trip)", [&] { e.CommitTrans(); }, 1},
      {"a begin and a commit with nothing between",
       [&] {
         e.BeginTrans();
         e.CommitTrans();
       },
       0},
      {"a transaction of reads alone (each select by itself, no begin or commit sent)",
       [&] {
         e.BeginTrans();
         e.Prepare("SELECT N FROM T WHERE ID = 1")->Run();
         e.Prepare("SELECT N FROM T WHERE ID = 2")->Run();
         e.CommitTrans();
       },
       2},
      {"a read, then a write, in a transaction (the begin with the write, then the commit)",
       [&] {
         e.BeginTrans();
         e.Prepare("SELECT N FROM T WHERE ID = 1")->Run();
         e.Execute("UPDATE T SET N = 8 WHERE ID = 2");
         e.CommitTrans();
       },
       3},
      {"a write-locked begin (with the lock)", [&] { e.BeginTrans(true); }, 1},
      {"a write-locked level inside it (the lock held already)", [&] { e.BeginTrans(true); }, 0},
      {"its rollback (the level was never opened)", [&] { e.Rollback(); }, 0},
      {"a failed insert in a transaction (and the rollback to its savepoint)",
       [&] { testsupport::RaisedError([&] { e.Execute("INSERT INTO T (ID, N) VALUES (1, 1)"); }); },
       2},
      {"a rollback", [&] { e.Rollback(); }, 1},
      {"a select after the rollback (its statement kept)",
       [&] { e.Prepare("SELECT N FROM T WHERE ID = 1")->Run(); }, 1},
      // A select run among another's rows goes to a second session (opened
      // then), and the first one's rows keep coming.
      {"a select among another's (prepared first): the second session set up, the select "
       "prepared there, run",
       [&] { EXPECT_EQ(nested(false), "8 1:5,2:8"); }, 6},
      {"again", [&] { EXPECT_EQ(nested(false), "8 1:5,2:8"); }, 2},
      {"the second session ended by the server: 3043, then it connects again",
       [&] { EXPECT_EQ(nested(true), "3043 8 1:5,2:8"); }, 5},
      {"a text for a number compared with a number column: its text refused by the translation "
       "(3464, no round trip), the number's statement run",
       textForNumber, 1},
      {"the same again: the refusal remembered, the number's statement run", textForNumber, 1},
      {"a definition read before", [&] { e.FindTable("T"); }, 0},
      {"a name no table has (the names read again: a table made by another program)",
       [&] { EXPECT_EQ(e.FindTable("NoSuchTable"), nullptr); }, 1},
      {"a statement's text asked for as a table's name (the names read before answer)",
       [&] { EXPECT_EQ(e.FindTable("SELECT N FROM T WHERE ID = 3"), nullptr); }, 0},
      {"the data generation (the notices the socket holds)", [&] { e.DataGeneration(); }, 0},
      {"a read snapshot held (its begin sent with the first select)", [&] { e.HoldReadSnapshot(); },
       0},
      {"a select in it (with the begin)", [&] { e.Prepare("SELECT N FROM T WHERE ID = 1")->Run(); },
       1},
      {"another select in it", [&] { e.Prepare("SELECT N FROM T WHERE ID = 2")->Run(); }, 1},
      {"its end", [&] { e.ReleaseReadSnapshot(); }, 1},
      {"a read snapshot no statement needed, held and released",
       [&] {
         e.HoldReadSnapshot();
         e.ReleaseReadSnapshot();
       },
       0},
      {"an insert held for the commit of a write-locked transaction: sent with the COMMIT",
       [&] {
         e.BeginTrans(true);
         e.BeginTrans(true);
         e.Prepare("INSERT INTO T (ID, N) VALUES (9, 9)")->RunAtCommit();
         e.CommitTrans();
         e.CommitTrans();
       },
       2},
      {"a held insert that fails: the commit's failure, then the rollback",
       [&] {
         e.BeginTrans(true);
         e.Prepare("INSERT INTO T (ID, N) VALUES (1, 1)")->RunAtCommit();
         EXPECT_EQ(failure([&] { e.CommitTrans(); }), 3022);
         e.Rollback();
       },
       3},
      {"a held insert that fails sent by the next request, which raises it and is not made",
       [&] {
         e.BeginTrans(true);
         e.Prepare("INSERT INTO T (ID, N) VALUES (1, 1)")->RunAtCommit();
         EXPECT_EQ(failure([&] { e.Execute("UPDATE T SET N = 3 WHERE ID = 2"); }), 3022);
         e.CommitTrans();
       },
       4},
      {"a held insert dropped by the rollback of its level: never sent",
       [&] {
         e.BeginTrans(true);
         e.BeginTrans(true);
         e.Prepare("INSERT INTO T (ID, N) VALUES (7, 7)")->RunAtCommit();
         e.Rollback();
         e.CommitTrans();
       },
       2},
      {"a held insert whose COMMIT alone fails (a deferred check): raised, then the rollback",
       [&] {
         admin.Value("ALTER TABLE " + table +
                     " ADD CONSTRAINT n_once UNIQUE (\"N\") DEFERRABLE "
                     "INITIALLY DEFERRED");
         e.BeginTrans(true);
         e.Prepare("INSERT INTO T (ID, N) VALUES (6, 8)")->RunAtCommit();
         EXPECT_EQ(failure([&] { e.CommitTrans(); }), 3022);
         e.Rollback();
         admin.Value("ALTER TABLE " + table + " DROP CONSTRAINT n_once");
       },
       3},
      {"two updates held for the next request after a read: sent with the COMMIT",
       [&] {
         e.BeginTrans(true, jet::LockTaking::kWithFirstRequest);
         e.Prepare("SELECT N FROM T WHERE ID = 1")->Run();
         EXPECT_FALSE(e.Prepare("UPDATE T SET N = 50 WHERE ID = 1")->RunWithNextRequest());
         EXPECT_FALSE(e.Prepare("UPDATE T SET N = 80 WHERE ID = 2")->RunWithNextRequest());
         e.CommitTrans();
       },
       2},
      {"held updates sent by SendHeld",
       [&] {
         e.BeginTrans(true, jet::LockTaking::kWithFirstRequest);
         e.Prepare("SELECT N FROM T WHERE ID = 1")->Run();
         e.Prepare("UPDATE T SET N = 5 WHERE ID = 1")->RunWithNextRequest();
         e.Prepare("UPDATE T SET N = 8 WHERE ID = 2")->RunWithNextRequest();
         e.SendHeld();
         e.CommitTrans();
       },
       3},
      {"two updates held while the begin and the lock wait for the first request: the begin, "
       "the lock, the updates and the COMMIT in one round trip",
       [&] {
         e.BeginTrans(true, jet::LockTaking::kWithFirstRequest);
         EXPECT_FALSE(e.Prepare("UPDATE T SET N = 50 WHERE ID = 1")->RunWithNextRequest());
         EXPECT_FALSE(e.Prepare("UPDATE T SET N = 80 WHERE ID = 2")->RunWithNextRequest());
         e.CommitTrans();
         EXPECT_EQ(e.TransactionDepth(), 0);
         EXPECT_EQ(admin.Value("SELECT string_agg(\"N\"::text, ',' ORDER BY \"ID\") FROM " + table),
                   "50,80,9");
       },
       1},
      {"a held update whose row another session deleted, after a read and with the begin and "
       "the lock waiting: 3167 from the commit, nothing written; then one raised by the next "
       "request, which is not made",
       [&] {
         for (const bool read : {true, false})
           for (const bool commit : {true, false}) {
             e.BeginTrans(true, jet::LockTaking::kWithFirstRequest);
             if (read) e.Prepare("SELECT N FROM T WHERE ID = 9")->Run();
             admin.Value("DELETE FROM " + table + " WHERE \"ID\" = 9");
             e.Prepare("UPDATE T SET N = 5 WHERE ID = 1")->RunWithNextRequest();
             e.Prepare("UPDATE T SET N = 9 WHERE ID = 9")->RunWithNextRequest();
             EXPECT_EQ(failure([&] {
                         if (commit) e.CommitTrans();
                         e.Prepare("SELECT N FROM T WHERE ID = 2")->Run();
                       }),
                       3167);
             EXPECT_EQ(e.TransactionDepth(), 1);
             e.Rollback();
             admin.Value("INSERT INTO " + table + " VALUES (9, 9)");
           }
         EXPECT_EQ(Rows(e), "1:50,2:80,9:9");
       },
       13},
      {"held with the begin and the lock waiting, dropped by a rollback: nothing sent",
       [&] {
         e.BeginTrans(true, jet::LockTaking::kWithFirstRequest);
         e.Prepare("UPDATE T SET N = 5 WHERE ID = 1")->RunWithNextRequest();
         e.Rollback();
       },
       0},
      {"held with the begin and the lock waiting, sent by SendHeld, then the commit",
       [&] {
         e.BeginTrans(true, jet::LockTaking::kWithFirstRequest);
         e.Prepare("UPDATE T SET N = 5 WHERE ID = 1")->RunWithNextRequest();
         e.Prepare("UPDATE T SET N = 8 WHERE ID = 2")->RunWithNextRequest();
         e.SendHeld();
         e.CommitTrans();
       },
       2},
      {"a held insert whose session is lost in the commit's pipeline: the transaction ends",
       [&] {
         e.BeginTrans(true);
         e.Prepare("INSERT INTO T (ID, N) VALUES (7, 7)")->RunAtCommit();
         admin.EndSessions(places_->SchemaName());
         EXPECT_EQ(failure([&] { e.CommitTrans(); }), 3043);
         EXPECT_EQ(e.TransactionDepth(), 0);
       },
       2},
      {"the rows after them (a new session: set up, the table read, the select prepared)",
       [&] { EXPECT_EQ(Rows(e), "1:5,2:8,9:9"); }, 9},
      // The open lock: an open takes it with the catalogue's presence.
      {"a plain open (three to set up, the catalogue's presence with the lock, the upgrades)",
       [&] { other = jet::OpenEngine(places_->Server()); }, 5},
      {"an exclusive open while others have it open: refused at once",
       [&] { EXPECT_EQ(failure([&] { jet::OpenEngine(places_->Server(), exclusive); }), 3218); },
       4},
      {"an exclusive open once one closed (the close waits for its session's end) and the "
       "other's session ended",
       [&] {
         other.reset();
         admin.EndSessions(places_->SchemaName());
         held = jet::OpenEngine(named, exclusive);
       },
       6},
      {"a plain open while it is held: refused at once",
       [&] {
         EXPECT_EQ(failure([&] { jet::OpenEngine(places_->Server(), {.readOnly = true}); }), 3218);
       },
       5},
      {"the ended session: its next request fails, the one after finds the reconnect refused",
       [&] {
         EXPECT_EQ(failure([&] { Rows(e); }), 3043);
         EXPECT_EQ(failure([&] { Rows(e); }), 3218);
       },
       4},
      {"the holder's session ended: another's open, then the holder's reconnect refused",
       [&] {
         admin.EndSessions(places_->SchemaName());
         other = jet::OpenEngine(places_->Server());
         EXPECT_EQ(failure([&] { Rows(*held); }), 3043);
         EXPECT_EQ(failure([&] { Rows(*held); }), 3218);
       },
       9},
      {"the other closed (its end awaited): the holder's reconnect holds it again at once and "
       "keeps an open out",
       [&] {
         other.reset();
         EXPECT_EQ(Rows(*held), "1:5,2:8,9:9");
         EXPECT_EQ(failure([&] { jet::OpenEngine(places_->Server()); }), 3218);
       },
       15},
  };
  for (const Case& c : cases) {
    const uint64_t before = jet::ServerRoundTrips();
    c.call();
    EXPECT_EQ(jet::ServerRoundTrips() - before, c.roundTrips) << c.what;
  }
}

// Another session's schema statement drops this session's prepared
// statements when it changes this session's schema, and only then: not
// when it changes an unrelated schema of the server (another folder's, a
// shard's), nor when it writes rows. Its notice reaches this session a
// moment after its commit: the select is run for a while after it, each
// run's round trips counted.
TEST_F(RunEach, ASchemaChangeOfAnotherSession) {
  jet::Engine& e = *engines_[1];
  testsupport::TestSchema unrelated(gConninfo, "qv_runeach_other_", nullptr);
  struct Case {
    const char* what;
    std::string location;
    const char* statement;
    bool prepareAgain;
  };
  const std::vector<Case> cases = {
      {"in an unrelated schema", unrelated.Location(), "CREATE TABLE U1 (A LONG)", false},
      {"rows written in this session's schema", places_->Server(), "UPDATE T SET N = 4", false},
      {"in this session's schema", places_->Server(), "CREATE TABLE U2 (A LONG)", true},
  };
  for (const Case& c : cases) {
    e.Prepare("SELECT N FROM T WHERE ID = 1")->Run();
    jet::OpenEngine(c.location, {.create = true})->Execute(c.statement);
    bool preparedAgain = false;
    for (int i = 0; i < 50 && !preparedAgain; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      const uint64_t before = jet::ServerRoundTrips();
      e.Prepare("SELECT N FROM T WHERE ID = 1")->Run();
      preparedAgain = jet::ServerRoundTrips() - before > 1;
    }
    EXPECT_EQ(preparedAgain, c.prepareAgain) << c.what;
  }
}

// The data generation of a file's connection and of a server's session:
// this connection's write outside a transaction and its rollback move it,
// its transaction's commit does not; another connection's or program's
// commit moves it (on a server once its notice arrives, and only one to a
// table whose commits are told), its rollback does
// not on a server (a file's connection may count one: the file engine errs
// towards reading again).
TEST_F(RunEach, TheDataGeneration) {
  testsupport::PgAdmin admin(gConninfo);
  const std::string update = "UPDATE T SET N = N + 1 WHERE ID = 1";
  const std::vector<GenerationCase> cases = {
      {"a write outside a transaction", [&](auto& self, auto&) { self.Execute(update); }, true},
      {"a transaction's commit",
       [&](auto& self, auto&) {
         self.BeginTrans();
         self.Execute(update);
         self.CommitTrans();
       },
       false},
      {"a rollback",
       [&](auto& self, auto&) {
         self.BeginTrans();
         self.Execute(update);
         self.Rollback();
       },
       true},
      {"another connection's write", [&](auto&, auto& other) { other.Execute(update); }, true},
      {"another connection's rollback",
       [&](auto&, auto& other) {
         other.BeginTrans();
         other.Execute(update);
         other.Rollback();
       },
       false, true},
      {"another connection's transaction committed",
       [&](auto&, auto& other) {
         other.BeginTrans(true);
         other.Execute(update);
         other.CommitTrans();
       },
       true},
      {"another program's write (on a file another connection's)",
       [&](jet::Engine& self, jet::Engine& other) {
         if (!self.IsServer())
           other.Execute(update);
         else
           admin.Value("UPDATE " + places_->SchemaName() + ".\"T\" SET \"N\" = 2");
       },
       true},
      {"another connection's schema statement",
       [&](auto&, auto& other) {
         other.Execute("CREATE TABLE U (A LONG)");
         other.Execute("CREATE TABLE V (A LONG)");
       },
       true},
      {"another connection's write to the table it made",
       [&](auto&, auto& other) { other.Execute("INSERT INTO U (A) VALUES (1)"); }, true},
      {"another connection's write to a table whose commits are not told",
       [&](auto&, auto& other) { other.Execute("INSERT INTO V (A) VALUES (1)"); }, false, true},
  };
  ExpectMoves(cases, &jet::Engine::DataGeneration);
}

// The innermost level rolled back: whether that moves the schema
// generation, and on a server the round trips of the rollback and of a run
// after it of a statement held across it (prepared again when it moved).
void ExpectRollback(jet::Engine& self, bool moves, uint64_t trips) {
  auto held = self.Prepare("SELECT N FROM T WHERE ID = 1");
  held->Run();
  const uint64_t generation = self.SchemaGeneration(), before = jet::ServerRoundTrips();
  self.Rollback();
  held->Run();
  EXPECT_EQ(self.SchemaGeneration() != generation, moves) << self.Location();
  if (self.IsServer()) {
    EXPECT_EQ(jet::ServerRoundTrips() - before, trips);
  }
}

// The schema generation of a file's connection and of a server's session:
// it moves at this connection's schema statement and at the rollback of a
// level that undid one (not of a level inside it), at another connection's
// (on a server once its notice arrives), when a server's session connects
// again, and not at writes of rows.
TEST_F(RunEach, TheSchemaGeneration) {
  const std::vector<GenerationCase> cases = {
      {"a write", [](auto& self, auto&) { self.Execute("UPDATE T SET N = 3"); }, false},
      {"a schema statement", [](auto& self, auto&) { self.Execute("CREATE TABLE S1 (A LONG)"); },
       true},
      {"a rollback of a write",
       [](auto& self, auto&) {
         self.BeginTrans();
         self.Execute("UPDATE T SET N = 4");
         self.Rollback();
       },
       false},
      {"a rollback of a schema statement (the rollback alone)",
       [](auto& self, auto&) {
         self.BeginTrans();
         self.Execute("CREATE TABLE S2 (A LONG)");
         ExpectRollback(self, true, 4);
       },
       true},
      {"a rollback of a level inside the one that ran a schema statement",
       [](auto& self, auto&) {
         self.BeginTrans();
         self.Execute("CREATE TABLE S4 (A LONG)");
         self.BeginTrans();
         self.Execute("UPDATE T SET N = 6");
         ExpectRollback(self, false, 2);
         ExpectRollback(self, true, 4);
       },
       true},
      {"a rollback of the level around a released one that ran a schema statement",
       [](auto& self, auto&) {
         self.BeginTrans();
         self.BeginTrans();
         self.Execute("CREATE TABLE S5 (A LONG)");
         self.CommitTrans();
         ExpectRollback(self, true, 4);
       },
       true},
      {"another connection's write",
       [](auto&, auto& other) { other.Execute("UPDATE T SET N = 5"); }, false},
      {"another connection's CREATE TABLE",
       [](auto&, auto& other) { other.Execute("CREATE TABLE S3 (A LONG)"); }, true},
      {"another connection's DROP TABLE",
       [](auto&, auto& other) { other.Execute("DROP TABLE S3"); }, true},
      {"the session ended by the server (connected again)",
       [&](auto&, auto&) { testsupport::PgAdmin(gConninfo).EndSessions(places_->SchemaName()); },
       true, true},
  };
  ExpectMoves(cases, &jet::Engine::SchemaGeneration);
}

}  // namespace
}  // namespace qv::pgtest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* conninfo = qv::testsupport::TestServerOrSkip();
  if (conninfo == nullptr) return 77;
  qv::pgtest::gConninfo = conninfo;
  qv::pgtest::gFunctions = argc > 1 ? argv[1] : nullptr;
  // The tables whose commits move the other sessions' data generation on a
  // server (V's do not).
  qv::jet::TellCommitsOf({"T", "U"});
  return RUN_ALL_TESTS();
}
