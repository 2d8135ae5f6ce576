// Runs one .test file of Jet SQL behaviour against a new database (created
// with the Russian locale in a temporary folder) and reports every record
// that fails. Exit status 0 when all pass.
//
// A file is a list of records separated by blank lines; lines starting with
// "#" are comments. Records:
//
//   statement ok
//   JET SQL
//       runs a Jet statement, which must succeed.
//   statement native
//   SQLITE SQL
//       runs SQLite text as it is (one or more statements).
//   statement error NUMBER [native]
//   JET SQL (SQLite text with native)
//   ----
//   TEXT
//       the statement must fail with Jet error NUMBER; the optional part
//       after "----" must occur in the error's description.
//   query TYPES [rowsort]
//   JET SQL
//   ----
//   ROWS
//       runs a Jet select; one letter per column: T text, I integer, R real,
//       D date, B boolean, V the value's type and text ("Long 5"). Expected
//       rows follow one per line, values separated by tabs: NULL for Null,
//       (empty) for "", dates as YYYY-MM-DD or YYYY-MM-DD HH:MM:SS, booleans
//       as True/False, reals as CStr writes them. With rowsort, rows are
//       compared after sorting both sides.
//   query native TYPES [rowsort]
//       the same with SQLite text.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "SqlScript.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetConnection.h"

namespace qv::sqltest {
namespace {

using jet::Connection;
using jet::Statement;

std::string Render(const Variant& v, char kind) {
  if (v.IsNull() || v.IsEmpty()) return "NULL";
  switch (kind) {
    case 'I': {
      double d = CDbl(v);
      if (d == std::floor(d) && std::fabs(d) < 9e15) return std::to_string(static_cast<int64_t>(d));
      return FormatVbDouble(d);
    }
    case 'R':
      return FormatVbDouble(CDbl(v));
    case 'B':
      return CBool(v) ? "True" : "False";
    case 'V':
      return v.Describe();
    case 'D': {
      DateParts p = SplitDate(CDate(v));
      char buf[40];
      if (p.hour || p.minute || p.second)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                      p.hour, p.minute, p.second);
      else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
      return buf;
    }
    default: {
      std::string s = CStr(v);
      return s.empty() ? "(empty)" : s;
    }
  }
}

std::vector<std::string> Words(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

class Runner {
 public:
  Runner(std::string file, std::shared_ptr<Connection> db)
      : file_(std::move(file)), db_(std::move(db)) {}

  int failures() const { return failures_; }
  int records() const { return records_; }

  void Run(const Record& r) {
    ++records_;
    try {
      RunRecord(r);
    } catch (const Error& e) {
      Fail(r, "unexpected error " + std::to_string(e.Number()) + ": " + e.Description());
    } catch (const std::exception& e) {
      Fail(r, std::string("bad record: ") + e.what());
    }
  }

 private:
  void RunRecord(const Record& r) {
    std::vector<std::string> w = Words(r.directive);
    const std::string& kind = w[0];
    if (kind == "statement" && w.size() >= 2 && w[1] == "ok") {
      db_->Prepare(r.sql).Run();
    } else if (kind == "statement" && w.size() >= 2 && w[1] == "native") {
      db_->ExecuteNative(r.sql);
    } else if (kind == "statement" && w.size() >= 3 && w[1] == "error") {
      ExpectError(r, std::atoi(w[2].c_str()), w.size() > 3 && w[3] == "native");
    } else if (kind == "query" && w.size() >= 2) {
      bool native = w[1] == "native";
      size_t typesAt = native ? 2 : 1;
      if (w.size() <= typesAt) throw std::runtime_error("query without column types");
      bool rowsort = w.size() > typesAt + 1 && w[typesAt + 1] == "rowsort";
      Query(r, native, w[typesAt], rowsort);
    } else {
      throw std::runtime_error("unknown directive: " + r.directive);
    }
  }

  void ExpectError(const Record& r, int32_t number, bool native) {
    try {
      native ? void(db_->ExecuteNative(r.sql)) : void(db_->Prepare(r.sql).Run());
    } catch (const Error& e) {
      std::string want = r.expected.empty() ? "" : r.expected[0];
      if (e.Number() != number || e.Description().find(want) == std::string::npos)
        Fail(r, "expected error " + std::to_string(number) +
                    (want.empty() ? "" : " \"" + want + "\"") + "\n  actual error " +
                    std::to_string(e.Number()) + " \"" + e.Description() + "\"");
      return;
    }
    Fail(r, "expected error " + std::to_string(number) + ", the statement succeeded");
  }

  void Query(const Record& r, bool native, const std::string& types, bool rowsort) {
    Statement s = native ? db_->PrepareNative(r.sql) : db_->Prepare(r.sql);
    if (s.ColumnCount() != static_cast<int>(types.size()))
      return Fail(r, "the query has " + std::to_string(s.ColumnCount()) + " columns, types say " +
                         std::to_string(types.size()));
    std::vector<std::string> rows;
    while (s.Step()) {
      std::string row;
      for (int i = 0; i < s.ColumnCount(); ++i) {
        if (i) row += '\t';
        row += Render(s.Value(i), types[static_cast<size_t>(i)]);
      }
      rows.push_back(row);
    }
    std::vector<std::string> expected = r.expected;
    if (rowsort) {
      std::sort(rows.begin(), rows.end());
      std::sort(expected.begin(), expected.end());
    }
    if (rows == expected) return;
    std::string msg = "expected:\n";
    for (const auto& e : expected) msg += "    " + e + "\n";
    msg += "  actual:\n";
    for (const auto& a : rows) msg += "    " + a + "\n";
    Fail(r, msg);
  }

  void Fail(const Record& r, const std::string& what) {
    ++failures_;
    std::cerr << file_ << ":" << r.line << ": " << r.directive << "\n";
    if (!r.sql.empty()) std::cerr << "  " << r.sql << "\n";
    if (auto t = TranslationOf(r); !t.empty()) std::cerr << "  as SQLite: " << t << "\n";
    std::cerr << "  " << what << "\n";
  }

  std::string TranslationOf(const Record& r) {
    if (r.sql.empty() || r.directive.find("native") != std::string::npos ||
        r.directive.starts_with("table"))
      return {};
    try {
      return db_->Translate(r.sql)->sql;
    } catch (const Error&) {
      return {};
    }
  }

  std::string file_;
  std::shared_ptr<Connection> db_;
  int failures_ = 0;
  int records_ = 0;
};

int Main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qv_sql_runner FILE.test\n";
    return 2;
  }
  const std::optional<std::string> text = qv::sqltest::ReadScriptFile(argv[1]);
  if (!text) return 2;
  std::string pattern = (std::filesystem::temp_directory_path() / "qvsqlXXXXXX").string();
  std::filesystem::path folder = mkdtemp(pattern.data());
  int failures = 0, records = 0;
  {
    auto db = Connection::Create((folder / "Test.mdb").string());
    Runner runner(argv[1], db);
    for (const Record& r : ParseScript(*text)) runner.Run(r);
    failures = runner.failures();
    records = runner.records();
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  std::cout << argv[1] << ": " << records << " records, " << failures << " failed\n";
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace qv::sqltest

int main(int argc, char** argv) {
  return qv::sqltest::Main(argc, argv);
}
