// The Jet engine against plain SQLite doing the same work in the same run.
// Each case is a pair <Case>_Ours / <Case>_Raw; bench/ratios prints ours/raw.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetFunctionImpl.h"

#include "BenchSupport.h"

namespace {

using qv::Variant;
using qv::jet::Connection;
using qv::jet::JetType;
using qv::jet::Statement;

constexpr int kRows = 100000;

// A deterministic Russian-looking word for row i, in mixed case.
std::string Word(int i) {
  static const char* kSyllables[] = {"ка", "ЛИ", "но", "Ви", "ца", "ТО", "ре", "Ми", "жу", "ЦЕ",
                                     "ва", "ПО", "ри", "Ст", "ел", "КО", "ну", "Да", "шо", "ЯР"};
  std::string w;
  unsigned x = static_cast<unsigned>(i) * 2654435761u + 12345u;
  for (int k = 0; k < 4; ++k) {
    w += kSyllables[x % 20];
    x /= 20;
  }
  return w + std::to_string(i);
}

// ---- what a plain SQLite program registers for Russian text: SQLite's own
// upper() and LIKE map ASCII letters only. These map ASCII and Cyrillic
// letters (the rest of the text passes unchanged), decoding UTF-8 as they go.

// The upper case of the code point of a one- or two-byte UTF-8 sequence.
uint32_t RawUpper(uint32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;  // а-я
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;  // ѐ-џ (ё among them)
  return c;
}

// The code point at `s` (one or two bytes; longer sequences are returned
// byte by byte, which no letter mapped here needs); `len` gets its length.
uint32_t RawDecode(const unsigned char* s, const unsigned char* end, int& len) {
  if (s[0] >= 0xC0 && s[0] < 0xE0 && s + 1 < end) {
    len = 2;
    return ((s[0] & 0x1Fu) << 6) | (s[1] & 0x3Fu);
  }
  len = 1;
  return s[0];
}

void RawUpperFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* s = sqlite3_value_text(argv[0]);
  if (!s) return sqlite3_result_null(ctx);
  const int n = sqlite3_value_bytes(argv[0]);
  auto* out = static_cast<unsigned char*>(sqlite3_malloc(n + 1));
  if (!out) return sqlite3_result_error_nomem(ctx);
  for (int i = 0; i < n;) {
    int len;
    const uint32_t c = RawUpper(RawDecode(s + i, s + n, len));
    if (len == 1) {
      out[i] = static_cast<unsigned char>(c);
    } else {
      out[i] = static_cast<unsigned char>(0xC0 | (c >> 6));
      out[i + 1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    i += len;
  }
  sqlite3_result_text(ctx, reinterpret_cast<char*>(out), n, sqlite3_free);
}

// like(pattern, text) for `text LIKE pattern`: "%" any run, "_" one
// character, letters compared in upper case; "*" backtracks to the last "%".
void RawLikeFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* p = sqlite3_value_text(argv[0]);
  const auto* t = sqlite3_value_text(argv[1]);
  if (!p || !t) return sqlite3_result_null(ctx);
  const unsigned char* pe = p + sqlite3_value_bytes(argv[0]);
  const unsigned char* te = t + sqlite3_value_bytes(argv[1]);
  const unsigned char *star = nullptr, *starText = nullptr;
  while (t < te) {
    if (p < pe && *p == '%') {
      star = ++p;
      starText = t;
      continue;
    }
    int tl, pl = 0;
    const uint32_t tc = RawUpper(RawDecode(t, te, tl));
    if (p < pe && (*p == '_' || RawUpper(RawDecode(p, pe, pl)) == tc)) {
      p += *p == '_' ? 1 : pl;
      t += tl;
    } else if (star) {
      p = star;
      RawDecode(starText, te, tl);
      t = starText += tl;
    } else {
      return sqlite3_result_int(ctx, 0);
    }
  }
  while (p < pe && *p == '%') ++p;
  sqlite3_result_int(ctx, p == pe);
}

// One database with the same rows twice: `words` made through the catalogue
// (text in the Jet collation) and `raw_words` made by plain SQLite (BINARY).
struct Fixture {
  std::filesystem::path folder;
  std::shared_ptr<Connection> ours;
  sqlite3* raw = nullptr;
  // The translation pairs prepare our translator's texts, which call the
  // Jet functions and compare in the Jet collation: a connection with both.
  sqlite3* rawJet = nullptr;

  Fixture() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvbenchXXXXXX").string();
    folder = mkdtemp(pattern.data());
    std::string path = (folder / "Bench.mdb").string();
    ours = Connection::Create(path);
    qv::jet::TableSpec t;
    t.name = "words";
    t.fields = {{"id", JetType::kLong}, {"word", JetType::kText, 50}};
    t.indexes.push_back({"id", qv::jet::IndexSpec::ParseFields("id"), true});
    t.indexes.push_back({"word", qv::jet::IndexSpec::ParseFields("word")});
    ours->Schema().CreateTable(t);
    ours->ExecuteNative(
        "CREATE TABLE raw_words (id INTEGER, word TEXT); CREATE UNIQUE INDEX raw_id ON raw_words "
        "(id); CREATE INDEX raw_word ON raw_words (word)");
    ours->BeginTrans();
    Statement a = ours->PrepareNative("INSERT INTO words VALUES (?, ?)");
    Statement b = ours->PrepareNative("INSERT INTO raw_words VALUES (?, ?)");
    for (int i = 0; i < kRows; ++i) {
      const Variant row[] = {Variant(int32_t{i}), Variant(Word(i))};
      a.BindAll(row);
      a.Run();
      a.Reset();
      b.BindAll(row);
      b.Run();
      b.Reset();
    }
    ours->CommitTrans();
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(raw, "upper", 1, flags, nullptr, RawUpperFunction, nullptr, nullptr);
    sqlite3_create_function(raw, "like", 2, flags, nullptr, RawLikeFunction, nullptr, nullptr);
    sqlite3_open_v2(path.c_str(), &rawJet, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    qv::jet::RegisterJetFunctions(rawJet);
    qv::jet::RegisterJetCollation(rawJet);
  }
  ~Fixture() {
    sqlite3_close_v2(raw);
    sqlite3_close_v2(rawJet);
    ours.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
};

Fixture& Db() {
  static Fixture f;
  return f;
}

bool HasTranslator(benchmark::State& state) {
  try {
    Db().ours->Translate("SELECT 1");
    return true;
  } catch (const qv::Error& e) {
    state.SkipWithError("the library has no Jet translator");
    return false;
  }
}

const char* kJetStatement =
    "SELECT w.id, UCase(w.word) & '!' AS w2 FROM words AS w WHERE w.id Between 10 And 20 "
    "AND w.word Like 'к*' ORDER BY w.word";

// ---- translation: a statement of a shape seen for the first time. The
// table's alias changes each iteration: a statement that differs from one
// seen before only in its literals would be served by the shape cache.

std::string WithAlias(std::string text, const std::string& alias) {
  for (size_t at = 0; (at = text.find("w.", at)) != std::string::npos; at += alias.size() + 1)
    text.replace(at, 1, alias);
  return text.replace(text.find("AS w "), 5, "AS " + alias + " ");
}

void TranslateUncached_Ours(benchmark::State& state) {
  if (!HasTranslator(state)) return;
  int64_t i = 0;
  for (auto _ : state) {
    Statement s = Db().ours->Prepare(WithAlias(kJetStatement, "w" + std::to_string(++i)));
    benchmark::DoNotOptimize(s.ColumnCount());
  }
}

// Our translation of `jet`, which must have kJetStatement's four literals
// as its parameters ?1 to ?4, or "" after skipping the benchmark.
std::string ParameterizedTranslation(benchmark::State& state, const std::string& jet) {
  std::string sqlite(Db().ours->Prepare(jet).Sql());
  if (sqlite.find("?4") != std::string::npos && sqlite.find("?5") == std::string::npos)
    return sqlite;
  state.SkipWithError("the translation no longer has the four parameters bound here");
  return {};
}

// Prepares `sql` as SQLite alone and binds kJetStatement's literals as our
// Prepare binds them; false after skipping the benchmark when it does not prepare.
bool PrepareAndBind(benchmark::State& state, const std::string& sql) {
  sqlite3_stmt* s = qvbench::Prepare(Db().rawJet, sql);
  if (!s) {
    state.SkipWithError(sqlite3_errmsg(Db().rawJet));
    return false;
  }
  // ?1 '!', ?2 10, ?3 20, ?4 'к*': the literals in the order of the text,
  // bound without a copy, as the library binds a text's literals where it
  // keeps the text.
  sqlite3_bind_text(s, 1, "!", -1, SQLITE_STATIC);
  sqlite3_bind_int64(s, 2, 10);
  sqlite3_bind_int64(s, 3, 20);
  sqlite3_bind_text(s, 4, "к*", -1, SQLITE_STATIC);
  benchmark::DoNotOptimize(sqlite3_column_count(s));
  sqlite3_finalize(s);
  return true;
}

// The same statements as our translator writes them (the alias set in the
// text of one translation, its literals parameters), prepared by SQLite
// alone and given the literals' values as our Prepare binds them.
void TranslateUncached_Raw(benchmark::State& state) {
  if (!HasTranslator(state)) return;
  const std::string sqlite = ParameterizedTranslation(state, WithAlias(kJetStatement, "wz"));
  if (sqlite.empty()) return;
  int64_t i = 0;
  for (auto _ : state) {
    const std::string alias = "\"w" + std::to_string(++i) + "\"";
    std::string sql = sqlite;
    for (size_t at = 0; (at = sql.find("\"wz\"", at)) != std::string::npos; at += alias.size())
      sql.replace(at, 4, alias);
    if (!PrepareAndBind(state, sql)) break;
  }
}

// ---- translation: the same text again (cache hit, prepared statement reused)

void TranslateCached_Ours(benchmark::State& state) {
  if (!HasTranslator(state)) return;
  for (auto _ : state) {
    Statement s = Db().ours->Prepare(kJetStatement);
    benchmark::DoNotOptimize(s.ColumnCount());
  }
}

// The text our Prepare runs, its literals parameters, prepared and bound
// by SQLite alone each time: what a program without a statement cache does.
void TranslateCached_Raw(benchmark::State& state) {
  if (!HasTranslator(state)) return;
  const std::string sqlite = ParameterizedTranslation(state, kJetStatement);
  if (sqlite.empty()) return;
  for (auto _ : state)
    if (!PrepareAndBind(state, sqlite)) break;
}

// The physical limit: the same text prepared once, its four values bound
// again per call (ours takes the prepared statement of the text's shape
// from its cache and binds the literals the text carries).
void TranslateCached_RawPrepared(benchmark::State& state) {
  if (!HasTranslator(state)) return;
  const std::string sqlite = ParameterizedTranslation(state, kJetStatement);
  if (sqlite.empty()) return;
  sqlite3_stmt* s = qvbench::MustPrepare(Db().rawJet, sqlite);
  for (auto _ : state) {
    sqlite3_reset(s);
    sqlite3_bind_text(s, 1, "!", -1, SQLITE_STATIC);
    sqlite3_bind_int64(s, 2, 10);
    sqlite3_bind_int64(s, 3, 20);
    sqlite3_bind_text(s, 4, "к*", -1, SQLITE_STATIC);
    benchmark::DoNotOptimize(sqlite3_column_count(s));
  }
  sqlite3_finalize(s);
}

// ---- a function call per row: UCase over 10000 rows against SQLite's upper

void UCaseRows_Ours(benchmark::State& state) {
  Db();  // the fixture is built before the timing starts
  for (auto _ : state) {
    Statement s = Db().ours->PrepareNative("SELECT jet_ucase(word) FROM words WHERE id < 10000");
    size_t bytes = 0;
    while (s.Step()) bytes += s.Text(0).size();
    benchmark::DoNotOptimize(bytes);
  }
}

// Both sides' texts, for checking that they do the same work.
std::string AllRows(Statement s) {
  std::string all;
  while (s.Step()) all += s.Text(0) + '\n';
  return all;
}

std::string AllRows(sqlite3_stmt* s) {
  std::string all;
  while (sqlite3_step(s) == SQLITE_ROW) {
    all.append(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)),
               static_cast<size_t>(sqlite3_column_bytes(s, 0)));
    all += '\n';
  }
  sqlite3_reset(s);
  return all;
}

void UCaseRows_Raw(benchmark::State& state) {
  sqlite3_stmt* s =
      qvbench::MustPrepare(Db().raw, "SELECT upper(word) FROM raw_words WHERE id < 10000");
  if (AllRows(s) != AllRows(Db().ours->PrepareNative(
                        "SELECT jet_ucase(word) FROM words WHERE id < 10000 ORDER BY id")))
    state.SkipWithError("the sides' texts differ");
  for (auto _ : state) {
    size_t bytes = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::string t(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)),
                    static_cast<size_t>(sqlite3_column_bytes(s, 0)));
      bytes += t.size();
    }
    sqlite3_reset(s);
    benchmark::DoNotOptimize(bytes);
  }
  sqlite3_finalize(s);
}

// ---- a point lookup by an indexed text key: the Jet collation against BINARY

void TextKeyLookup_Ours(benchmark::State& state) {
  Db();  // the fixture is built before the timing starts
  int i = 0;
  for (auto _ : state) {
    Statement s = Db().ours->PrepareNative("SELECT id FROM words WHERE word = ?");
    s.Bind(1, Variant(Word((i++ * 7919) % kRows)));
    if (!s.Step()) state.SkipWithError("key not found");
    benchmark::DoNotOptimize(s.Value(0));
  }
}

void TextKeyLookup_Raw(benchmark::State& state) {
  sqlite3_stmt* s = qvbench::MustPrepare(Db().raw, "SELECT id FROM raw_words WHERE word = ?");
  int i = 0;
  for (auto _ : state) {
    std::string key = Word((i++ * 7919) % kRows);  // lives past the step: bound without a copy
    sqlite3_bind_text(s, 1, key.c_str(), static_cast<int>(key.size()), SQLITE_STATIC);
    if (sqlite3_step(s) != SQLITE_ROW) state.SkipWithError("key not found");
    benchmark::DoNotOptimize(sqlite3_column_int64(s, 0));
    sqlite3_reset(s);
  }
  sqlite3_finalize(s);
}

// ---- Like over 100000 rows: Jet's Like against SQLite's LIKE

void LikeScan_Ours(benchmark::State& state) {
  Db();  // the fixture is built before the timing starts
  for (auto _ : state) {
    Statement s =
        Db().ours->PrepareNative("SELECT count(*) FROM words WHERE jet_like(word, '*ви*')");
    s.Step();
    benchmark::DoNotOptimize(s.Int64(0));
  }
}

void LikeScan_Raw(benchmark::State& state) {
  sqlite3_stmt* s =
      qvbench::MustPrepare(Db().raw, "SELECT count(*) FROM raw_words WHERE word LIKE '%ви%'");
  if (AllRows(s) !=
      AllRows(Db().ours->PrepareNative("SELECT count(*) FROM words WHERE jet_like(word, '*ви*')")))
    state.SkipWithError("the sides count different rows");
  for (auto _ : state) {
    sqlite3_step(s);
    benchmark::DoNotOptimize(sqlite3_column_int64(s, 0));
    sqlite3_reset(s);
  }
  sqlite3_finalize(s);
}

}  // namespace

BENCHMARK(TranslateUncached_Ours);
BENCHMARK(TranslateUncached_Raw);
BENCHMARK(TranslateCached_Ours);
BENCHMARK(TranslateCached_Raw);
BENCHMARK(TranslateCached_RawPrepared);
BENCHMARK(UCaseRows_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(UCaseRows_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(TextKeyLookup_Ours);
BENCHMARK(TextKeyLookup_Raw);
BENCHMARK(LikeScan_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(LikeScan_Raw)->Unit(benchmark::kMillisecond);
