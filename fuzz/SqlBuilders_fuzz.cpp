// libFuzzer target for the builders that put callers' values into
// statements: an identifier list, a text, a number or a date is either
// refused with its error (5 for a list or a text, 6 for a number or date
// out of range) or becomes SQL that the engine runs and that means exactly
// the value given:
//   - a list is numbers and separators only, one per item of the input,
//     and "... where id in (<list>)" runs;
//   - "select <text literal>" gives back the text, control characters as
//     spaces;
//   - "select <number>" gives the number (to 15 significant digits beyond
//     2^53, exactly below);
//   - "select <date>" gives the date's day, "select <date and time>" its
//     day and time (to the second; for dates from 30.12.1899 on, as Jet's
//     date arithmetic reads the sum only there).
// The first input byte picks the builder, the rest is its argument. Any
// other outcome, a crash or a sanitizer report aborts.

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "core/mQvDaoDataBase.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaDate.h"
#include "platform/jet/JetConnection.h"

namespace {

using namespace qv;
using namespace qv::mQvDaoDataBase;

jet::Connection& Db() {
  static const std::shared_ptr<jet::Connection> db = [] {
    static std::string dir = (std::filesystem::temp_directory_path() / "qvfuzzXXXXXX").string();
    if (!::mkdtemp(dir.data())) std::abort();
    // Runs after the connection below is closed (registered before it exists).
    std::atexit([] { std::filesystem::remove_all(dir); });
    auto conn = jet::Connection::Create(dir + "/Builders.mdb");
    conn->Schema().CreateTable({"t", {{"id", jet::JetType::kDouble}}, {}});
    conn->ExecuteNative("INSERT INTO t VALUES (1), (2.5), (-3)");
    return conn;
  }();
  return *db;
}

// The one value of "select <expression> as v".
Variant Evaluate(const std::string& expression) {
  jet::Statement s = Db().Prepare("select " + expression + " as v");
  if (!s.Step()) std::abort();
  return s.Value(0);
}

void Expect(bool condition) {
  if (!condition) std::abort();
}

// Runs `build`; true when it built, false when it raised `refusal`.
template <class F>
bool Built(F build, int32_t refusal) {
  try {
    build();
    return true;
  } catch (const Error& e) {
    Expect(e.Number() == refusal);
    return false;
  }
}

void IdList(std::string_view ids) {
  std::string list;
  if (!Built([&] { list = IdList2DaoSql(ids, "Fuzz", ","); }, 5)) return;
  size_t commas = 0;
  for (char c : list) {
    Expect((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == ',' || c == ' ');
    commas += c == ',';
  }
  size_t items = 1;
  for (char c : ids) items += c == ';' || c == ',';  // either separates items
  Expect(commas + 1 == items);
  jet::Statement s = Db().Prepare("select count(*) from t where id in (" + list + ")");
  Expect(s.Step());
}

void Text(std::string_view text) {
  std::string literal;
  if (!Built([&] { literal = DaoQString(text); }, 5)) return;
  std::string expected(text);
  for (char& c : expected)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  const Variant got = Evaluate(literal);
  Expect(got.IsString() && got.AsString() == expected);
}

void Number(double value) {
  std::string literal;
  if (!Built([&] { literal = Number2DaoSql(value); }, 6)) return;
  Expect(std::isfinite(value));
  const double got = CDbl(Evaluate(literal));
  if (std::fabs(value) < 9007199254740992.0 && std::trunc(value) == value)
    Expect(got == value);
  else
    Expect(std::fabs(got - value) <= std::fabs(value) * 1e-14);
}

void Date(double serial) {
  const Variant date{OleDate{serial}};
  std::string day, dayAndTime;
  if (!Built([&] { day = Date2DaoSql(date, "Null"); }, 6)) return;
  Expect(Built([&] { dayAndTime = DateTime2DaoSql(date, "Null"); }, 6));
  const DateParts want = SplitDate(OleDate{serial});
  const Variant gotDay = Evaluate(day);
  if (day == "Null") {  // an empty date: its day is 30.12.1899
    Expect(gotDay.IsNull() && dayAndTime == "Null" && std::trunc(serial) == 0);
    return;
  }
  const DateParts d = SplitDate(CDate(gotDay));
  Expect(d.year == want.year && d.month == want.month && d.day == want.day && d.hour == 0);
  if (serial < 0) return;
  const DateParts t = SplitDate(CDate(Evaluate(dayAndTime)));
  Expect(t.year == want.year && t.month == want.month && t.day == want.day && t.hour == want.hour &&
         t.minute == want.minute && t.second == want.second);
}

double DoubleOf(const uint8_t* data, size_t size) {
  double v = 0;
  std::memcpy(&v, data, std::min(size, sizeof v));
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 4) {
    case 0:
      IdList(rest);
      break;
    case 1:
      Text(rest);
      break;
    case 2:
      Number(DoubleOf(data + 1, size - 1));
      break;
    default:
      Date(DoubleOf(data + 1, size - 1));
      break;
  }
  return 0;
}
