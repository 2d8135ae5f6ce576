// Runs translated statements on SQLite: the emitted text must be valid SQLite
// and give Jet's rows. Small stand-ins for the engine's functions and
// collation are registered here; the engine's own are tested with it.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "TranslatorTestSchema.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetTranslator.h"

namespace qv::jet {
namespace {

std::string Text(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p ? std::string(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  return false;
}

void Identity(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_result_value(ctx, argv[0]);
}

void Add(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(argv[0]) == SQLITE_TEXT && sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
    const std::string s = Text(argv[0]) + Text(argv[1]);
    return sqlite3_result_text(ctx, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }
  sqlite3_result_double(ctx, sqlite3_value_double(argv[0]) + sqlite3_value_double(argv[1]));
}

void Concat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string s;
  bool allNull = true;
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) continue;
    allNull = false;
    s += Text(argv[i]);
  }
  if (allNull) return sqlite3_result_null(ctx);
  sqlite3_result_text(ctx, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// Only the wildcards "*" and "?", enough for these tests.
bool Glob(const std::u16string& p, size_t i, const std::u16string& s, size_t j) {
  if (i == p.size()) return j == s.size();
  if (p[i] == u'*') return Glob(p, i + 1, s, j) || (j < s.size() && Glob(p, i, s, j + 1));
  return j < s.size() && (p[i] == u'?' || p[i] == s[j]) && Glob(p, i + 1, s, j + 1);
}

void Like(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const bool match = Glob(ToUtf16(UCase(Text(argv[1]))), 0, ToUtf16(UCase(Text(argv[0]))), 0);
  sqlite3_result_int(ctx, match ? -1 : 0);
}

void Pow(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  sqlite3_result_double(ctx,
                        std::pow(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1])));
}

// Stand-ins for "/", "\" and Mod on whole operands (the engine's own round them first).
void Div(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  sqlite3_result_double(ctx, sqlite3_value_double(argv[0]) / sqlite3_value_double(argv[1]));
}

void IntDiv(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]) / sqlite3_value_int64(argv[1]));
}

void Mod(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]) % sqlite3_value_int64(argv[1]));
}

void UCaseFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const std::string s = UCase(Text(argv[0]));
  sqlite3_result_text(ctx, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void DateSerialFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_result_double(ctx, DateSerial(sqlite3_value_int(argv[0]), sqlite3_value_int(argv[1]),
                                        sqlite3_value_int(argv[2]))
                                 .serial);
}

int CompareJet(void*, int na, const void* a, int nb, const void* b) {
  return CompareTextRu(std::string_view(static_cast<const char*>(a), static_cast<size_t>(na)),
                       std::string_view(static_cast<const char*>(b), static_cast<size_t>(nb)));
}

class JetTranslatorSqlite : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    sqlite3_create_collation(db_, "JETRU", SQLITE_UTF8, nullptr, CompareJet);
    struct Fn {
      const char* name;
      int args;
      void (*impl)(sqlite3_context*, int, sqlite3_value**);
    };
    const Fn fns[] = {
        {"jet_add", 2, Add},       {"jet_concat", -1, Concat},          {"jet_like", 2, Like},
        {"jet_ucase", 1, UCaseFn}, {"jet_asdate", 1, Identity},         {"jet_asbool", 1, Identity},
        {"jet_cstr", 1, Identity}, {"jet_dateserial", 3, DateSerialFn}, {"jet_pow", 2, Pow},
        {"jet_div", 2, Div},       {"jet_idiv", 2, IntDiv},             {"jet_mod", 2, Mod}};
    for (const auto& f : fns)
      sqlite3_create_function(db_, f.name, f.args, SQLITE_UTF8, nullptr, f.impl, nullptr, nullptr);
    Native(
        "CREATE TABLE t (id INTEGER, name TEXT COLLATE JETRU, v REAL, d REAL, b INTEGER, c REAL, "
        "n INTEGER, bt INTEGER, s REAL, memo TEXT COLLATE JETRU, g TEXT COLLATE JETRU);"
        "CREATE TABLE u (id INTEGER, tid INTEGER, name TEXT COLLATE JETRU);"
        "INSERT INTO t (id, name, v, d, b) VALUES (1, 'яблоко', 2.5, 39146, -1), "
        "(2, 'Арбуз', 1.0, 39147, 0), (3, 'ёж', 2.5, NULL, -1), (4, 'арбуз', 2.5, 39148, 0), "
        "(5, NULL, 0.5, 39149, 0), (6, 'Ель', 3.0, 39150, -1);"
        "INSERT INTO u (id, tid, name) VALUES (1, 1, 'x'), (2, 1, 'y'), (3, 2, 'X'), (4, 9, "
        "NULL);");
  }
  void TearDown() override { sqlite3_close(db_); }

  void Native(const char* sql) {
    char* err = nullptr;
    ASSERT_EQ(sqlite3_exec(db_, sql, nullptr, nullptr, &err), SQLITE_OK) << err;
  }

  // Rows as "a|b" lines; NULL as NULL, reals in %g.
  std::string Run(const std::string& jet) {
    Translation t;
    try {
      t = TranslateJet(jet, schema_);
    } catch (const Error& e) {
      return "error " + std::to_string(e.Number()) + ": " + e.Description();
    }
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, t.sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
      return std::string("sqlite: ") + sqlite3_errmsg(db_) + " in " + t.sql;
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
    if (t.kind == StatementKind::kSelect &&
        sqlite3_column_count(raw) != static_cast<int>(t.columns.size()))
      return "column count differs from the typed columns: " + t.sql;
    std::string out;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
      for (int i = 0; i < sqlite3_column_count(raw); ++i) {
        if (i > 0) out += '|';
        switch (sqlite3_column_type(raw, i)) {
          case SQLITE_NULL:
            out += "NULL";
            break;
          case SQLITE_FLOAT: {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%g", sqlite3_column_double(raw, i));
            out += buf;
            break;
          }
          default:
            out += reinterpret_cast<const char*>(sqlite3_column_text(raw, i));
        }
      }
      out += '\n';
    }
    if (rc != SQLITE_DONE) return std::string("sqlite: ") + sqlite3_errmsg(db_);
    if (t.kind != StatementKind::kSelect) out += "changed " + std::to_string(sqlite3_changes(db_));
    return out;
  }

  sqlite3* db_ = nullptr;
  test::TestSchema schema_;
};

struct RowsCase {
  const char* jet;
  const char* rows;
};

TEST_F(JetTranslatorSqlite, SelectsGiveJetsRows) {
  const RowsCase cases[] = {
      // TOP n with ORDER BY returns the rows tied with the n-th
      {"select top 2 id from t order by v desc, id", "6\n1\n"},
      {"select top 2 id from t order by v desc", "6\n1\n3\n4\n"},
      {"select id from t where id in (select top 1 id from t order by b) order by id", "1\n3\n6\n"},
      {"select (select top 1 tid from u order by tid) as m", "1\n"},
      {"select top 1 id from t", "1\n"},
      {"select top 50 percent id from t order by id desc", "6\n5\n4\n"},
      {"select count(*) from (select top 2 id from t order by v desc)", "4\n"},
      {"select top 1 name from t union select name from u order by 1", "NULL\nx\ny\nяблоко\n"},
      // text order and equality are Jet's: case-insensitive, Russian alphabet (ё as е), Cyrillic
      // first
      {"select name from t where name is not null order by name, id",
       "Арбуз\nарбуз\nёж\nЕль\nяблоко\n"},
      {"select id from t where name = 'АРБУЗ' order by id", "2\n4\n"},
      {"select distinct UCase(name) & '' from t where name like 'а*'", "АРБУЗ\n"},
      {"select count(*) from (select name from t union select name from t)", "5\n"},
      {"select count(*) from (select name from u union select name from u)", "3\n"},
      {"select id from t where UCase(name) = 'ель'", "6\n"},
      // Between takes its bounds in either order
      {"select id from t where id between 4 and 2 order by id", "2\n3\n4\n"},
      {"select id from t where d between #2007-03-07# and #2007-03-06# order by id", "2\n4\n"},
      {"select id from t where v between id and 2 order by id", "3\n4\n6\n"},
      {"select id from t where name between 'я' and 'Ё' order by id", "3\n6\n"},
      // + and & on texts; booleans as -1/0
      {"select 'a' + Null, 'a' & Null, 'a' + 'b', 1 + 2", "NULL|a|ab|3\n"},
      {"select name + '!' from t where id = 5", "NULL\n"},
      {"select 1 = 1, 1 = 2, Null = 1, True, Not False", "-1|0|NULL|-1|-1\n"},
      {"select id from t where b order by id", "1\n3\n6\n"},
      {"select 7 \\ 2, 7 Mod 3, 2 ^ 3, 7 / 2", "3|1|8|3.5\n"},
      // aggregates and grouping with Null
      {"select count(*), count(name), max(v), min(name) from t", "6|5|3|Арбуз\n"},
      {"select UCase(name), count(*) from t group by UCase(name) order by 1",
       "NULL|1\nАРБУЗ|2\nЁЖ|1\nЕЛЬ|1\nЯБЛОКО|1\n"},
      {"select v, count(*) as k from t group by v having count(*) > 1", "2.5|3\n"},
      // joins, derived tables, correlated sub-selects, aliases of the select list
      {"select a.id, b.name from (t as a inner join u as b on a.id = b.tid) left join u as c on "
       "c.id = a.id "
       "where b.name = 'X' order by a.id, b.name",
       "1|x\n2|X\n"},
      {"select u.id, t.id from u left join t on t.id = u.tid order by u.id",
       "1|1\n2|1\n3|2\n4|NULL\n"},
      {"select t.id from u right join t on t.id = u.tid where u.id is null order by t.id",
       "3\n4\n5\n6\n"},
      {"select x.k from (select id * 10 as k from t where id < 3) as x order by x.k desc",
       "20\n10\n"},
      {"select id, (select count(*) from u where u.tid = t.id) as k from t where id < 3",
       "1|2\n2|1\n"},
      {"select id * 2 as x from t where x > 10", "12\n"},
      {"select id, (select top 1 name from u where u.tid = t.id order by name desc) from t where "
       "id < 3",
       "1|y\n2|X\n"},
      {"select count(*) from u where u.id in (select top 1 x.id from u as x where x.tid = u.tid "
       "order by x.name)",
       "3\n"},
      {"select id from t where exists (select * from u where u.tid = t.id) order by 1", "1\n2\n"},
      {"select d from t where d = #2007-03-05#", "39146\n"},
      {"select id from t where d >= DateSerial(2007, 3, 7) order by id", "4\n5\n6\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jet);
    EXPECT_EQ(Run(c.jet), c.rows);
  }
}

TEST_F(JetTranslatorSqlite, ChangesGiveJetsRows) {
  const RowsCase steps[] = {
      {"delete from u as x where x.tid = 9", "changed 1"},
      {"update u as r set r.name = r.name & '!' where r.tid = 1", "changed 2"},
      {"select name from u order by id", "x!\ny!\nX\n"},
      {"delete x.* from u as x inner join t on t.id = x.tid where t.name = 'арбуз'", "changed 1"},
      {"insert into u (id, tid, name) values (7, 1, \"a\"\"b\")", "changed 1"},
      {"insert into u select id + 100, id, name from t where id > 5", "changed 1"},
      {"select id, tid, name from u where id > 3 order by id", "7|1|a\"b\n106|6|Ель\n"},
      {"delete * from u where name like '*!'", "changed 2"},
      {"delete u where id = 7", "changed 1"},
      {"select count(*) from u", "1\n"},
      {"insert into t (id, g) values (10, {guid {0a1b2c3d-abcd-1111-2222-333344445555}})",
       "changed 1"},
      {"select id, g from t where g = {guid {0A1B2C3D-ABCD-1111-2222-333344445555}}",
       "10|{0A1B2C3D-ABCD-1111-2222-333344445555}\n"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.jet);
    EXPECT_EQ(Run(s.jet), s.rows);
  }
}

}  // namespace
}  // namespace qv::jet
