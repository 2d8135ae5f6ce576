// The collation jetru of the server's Jet functions against the library's
// CompareTextRu: every pair of a table of texts must compare the same way
// (less, equal, greater) on the server as in the library. Needs the server
// named by QV_TEST_PG (exit 77 without) and the functions' script.

#include <libpq-fe.h>

#include <array>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/VbaText.h"
#include "support/PgTestProcess.h"

namespace {

// Case, Ё and Е, Latin and Cyrillic, letters with diacritics, digits and
// punctuation, a soft hyphen, ß and ss, prefixes, spaces.
constexpr auto kTexts = std::to_array<std::string_view>(
    {"",     "a",        "A",    "b",    "z",    "Z",      "ab",     "aB",      "а",      "А",
     "б",    "е",        "Е",    "ё",    "Ё",    "ж",      "я",      "Я",       "ель",    "ёлка",
     "Ёлка", "елка",     "ЕЛКА", "ежик", "ёжик", "é",      "e",      "E",       "è",      "ß",
     "ss",   "SS",       "1",    "10",   "2",    " ",      "a b",    "ab ",     "-",      "a-b",
     "ab",   "a\u00ADb", "ї",    "і",    "ґ",    "Иванов", "иванов", "Иванова", "Іванов", "О'Нил",
     "Onil", "№",        "#",    "_",    "~"});

int Sign(int c) {
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

std::string Literal(std::string_view s) {
  std::string out = "'";
  for (const char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

}  // namespace

int main(int argc, char** argv) {
  const char* conninfo = qv::testsupport::TestServerOrSkip();
  if (conninfo == nullptr) return 77;
  if (argc != 2) {
    std::cerr << "usage: qv_pg_collation FUNCTIONS.sql\n";
    return 2;
  }
  // Every pair in one query: the texts numbered, joined with themselves.
  std::string values;
  for (size_t i = 0; i < kTexts.size(); ++i)
    values += (i ? ", (" : "(") + std::to_string(i) + ", " + Literal(kTexts[i]) + ")";
  const std::string query =
      "SELECT a.n, b.n, CASE WHEN a.t < b.t COLLATE jetru THEN -1 WHEN a.t = b.t COLLATE jetru "
      "THEN 0 ELSE 1 END FROM (VALUES " +
      values + ") AS a(n, t), (VALUES " + values + ") AS b(n, t) ORDER BY 1, 2";
  int failures = 0, pairs = 0;
  try {
    const qv::testsupport::TestSchema schema(conninfo, "qv_collation_", argv[1]);
    std::unique_ptr<PGconn, void (*)(PGconn*)> pg(PQconnectdb(schema.Location().c_str()), PQfinish);
    std::unique_ptr<PGresult, void (*)(PGresult*)> r(PQexec(pg.get(), query.c_str()), PQclear);
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
      throw std::runtime_error(PQresultErrorMessage(r.get()));
    for (int row = 0; row < PQntuples(r.get()); ++row) {
      const auto a = static_cast<size_t>(std::stoi(PQgetvalue(r.get(), row, 0)));
      const auto b = static_cast<size_t>(std::stoi(PQgetvalue(r.get(), row, 1)));
      const int server = std::stoi(PQgetvalue(r.get(), row, 2));
      const int library = Sign(qv::CompareTextRu(kTexts[a], kTexts[b]));
      ++pairs;
      if (server != library) {
        ++failures;
        std::cerr << "\"" << kTexts[a] << "\" vs \"" << kTexts[b] << "\": server " << server
                  << ", CompareTextRu " << library << "\n";
      }
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  std::cout << pairs << " pairs compared, " << failures << " differ\n";
  return failures == 0 ? 0 : 1;
}
