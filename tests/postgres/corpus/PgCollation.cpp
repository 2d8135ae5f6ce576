// The collation jetru of the server's Jet functions against the library's
// CompareTextRu: every pair of a table of texts must compare the same way
// (less, equal, greater) on the server as in the library. Needs the server
// named by QV_TEST_PG (exit 77 without) and the functions' script.

#include <libpq-fe.h>
#include <unistd.h>

#include <array>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/VbaText.h"
#include "sql/SqlScript.h"

namespace {

// Case, Ё and Е, Latin and Cyrillic, letters with diacritics, digits and
// punctuation, a soft hyphen, ß and ss, prefixes, spaces.
constexpr auto kTexts = std::to_array<std::string_view>({
    "",
    "a",
    "A",
    "b",
    "z",
    "Z",
    "ab",
    "aB",
    "а",
    "А",
    "б",
    "е",
    "Е",
    "ё",
    "Ё",
    "ж",
    "я",
    "Я",
    "ель",
    "ёлка",
    "Ёлка",
    "елка",
    "ЕЛКА",
    "ежик",
    "ёжик",
    "é",
    "e",
    "E",
    "è",
    "ß",
    "ss",
    "SS",
    "1",
    "10",
    "2",
    " ",
    "a b",
    "ab ",
    "-",
    "a-b",
    "ab",
    "a\xC2\xAD"
    "b",
    "ї",
    "і",
    "ґ",
    "Иванов",
    "иванов",
    "Иванова",
    "Іванов",
    "О'Нил",
    "Onil",
    "№",
    "#",
    "_",
    "~",
});

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
  const char* conninfo = std::getenv("QV_TEST_PG");
  if (conninfo == nullptr || *conninfo == '\0') {
    std::cout << "skipped: QV_TEST_PG is not set\n";
    return 77;
  }
  if (argc != 2) {
    std::cerr << "usage: qv_pg_collation FUNCTIONS.sql\n";
    return 2;
  }
  const std::optional<std::string> functions = qv::sqltest::ReadScriptFile(argv[1]);
  if (!functions) return 2;
  std::unique_ptr<PGconn, void (*)(PGconn*)> pg(PQconnectdb(conninfo), PQfinish);
  if (PQstatus(pg.get()) != CONNECTION_OK) {
    std::cerr << "cannot connect: " << PQerrorMessage(pg.get());
    return 1;
  }
  const std::string schema = "qv_collation_" + std::to_string(getpid());
  // Every pair in one query: the texts numbered, joined with themselves.
  std::string values;
  for (size_t i = 0; i < kTexts.size(); ++i)
    values += (i ? ", (" : "(") + std::to_string(i) + ", " + Literal(kTexts[i]) + ")";
  const std::string query =
      "SELECT a.n, b.n, CASE WHEN a.t < b.t COLLATE jetru THEN -1 WHEN a.t = b.t COLLATE jetru "
      "THEN 0 ELSE 1 END FROM (VALUES " +
      values + ") AS a(n, t), (VALUES " + values + ") AS b(n, t) ORDER BY 1, 2";
  int failures = 0, pairs = 0;
  const std::vector<std::string> steps = {"SET client_min_messages TO warning",
                                          "CREATE SCHEMA " + schema, "SET search_path TO " + schema,
                                          *functions, query};
  for (size_t step = 0; step < steps.size(); ++step) {
    const std::string& sql = steps[step];
    std::unique_ptr<PGresult, void (*)(PGresult*)> r(PQexec(pg.get(), sql.c_str()), PQclear);
    const ExecStatusType st = PQresultStatus(r.get());
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
      std::cerr << sql.substr(0, 200) << ": " << PQresultErrorMessage(r.get());
      failures = 1;
      break;
    }
    if (step + 1 < steps.size()) continue;
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
  }
  std::unique_ptr<PGresult, void (*)(PGresult*)>(
      PQexec(pg.get(), ("DROP SCHEMA IF EXISTS " + schema + " CASCADE").c_str()), PQclear);
  std::cout << pairs << " pairs compared, " << failures << " differ\n";
  return failures == 0 ? 0 : 1;
}
