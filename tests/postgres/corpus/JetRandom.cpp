// Random Jet selects (JetRandom.h): expressions of four kinds (number, text,
// date, condition) drawn from a table of productions over two tables with
// Nulls, Cyrillic texts of both cases, dates and numbers of each type.

#include "JetRandom.h"

#include <array>
#include <functional>
#include <random>
#include <string_view>

namespace qv::pgtest {
namespace {

// The kinds of value: N number, T text, D date, B condition.
struct Column {
  std::string_view name;
  char kind;
};

constexpr std::array<Column, 11> kT = {{{"id", 'N'},
                                        {"n", 'T'},
                                        {"m", 'T'},
                                        {"b", 'N'},
                                        {"i", 'N'},
                                        {"l", 'N'},
                                        {"s", 'N'},
                                        {"d", 'N'},
                                        {"c", 'N'},
                                        {"dt", 'D'},
                                        {"y", 'B'}}};
constexpr std::array<Column, 5> kU = {
    {{"id", 'N'}, {"t_id", 'N'}, {"w", 'T'}, {"v", 'N'}, {"dt", 'D'}}};

Piece Text(std::string text) {
  return Piece{std::move(text), {}, false, false};
}

// An expression: `text` with a '\x01' for each part.
Piece Expr(std::string text, std::vector<Piece> parts = {}) {
  return Piece{std::move(text), std::move(parts), true, false};
}

Piece Optional(std::string text, std::vector<Piece> parts) {
  return Piece{std::move(text), std::move(parts), false, true};
}

class Gen {
 public:
  explicit Gen(uint64_t seed) : rng_(seed) {}

  int Below(int n) { return static_cast<int>(rng_() % static_cast<uint64_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <class T, size_t N>
  const T& Pick(const std::array<T, N>& a) {
    return a[static_cast<size_t>(Below(static_cast<int>(N)))];
  }
  char AnyKind() { return "NNTTDB"[Below(6)]; }

  Piece Of(char kind);

  // What an expression may name: columns ("t.n"), and aggregates or not.
  struct Scope {
    std::vector<std::pair<std::string, char>> columns;
    bool aggregates = false;                         // a grouped select's item, HAVING or ORDER BY
    std::vector<std::pair<std::string, char>> rows;  // the columns an aggregate reads
  };
  Scope scope;
  int depth = 0;

  Piece Column(char kind) {
    std::vector<const std::pair<std::string, char>*> fit;
    for (const auto& c : scope.columns)
      if (c.second == kind) fit.push_back(&c);
    if (fit.empty()) return Literal(kind);
    return Expr(fit[static_cast<size_t>(Below(static_cast<int>(fit.size())))]->first);
  }

  Piece Literal(char kind) {
    static constexpr std::array<std::string_view, 17> numbers = {
        "0",   "1",  "-1",  "2",   "3",     "0.5",   "1.5",        "2.5",  "-2.5",
        "0.1", "10", "255", "256", "32767", "32768", "2147483648", "1E+15"};
    static constexpr std::array<std::string_view, 13> texts = {
        "''",      "'а'",   "'Ёлка'",       "'ЁЛКА'", "'ёлка'",  "'арбуз'", "'12'",
        "' 3,5 '", "'3.5'", "'2000-01-31'", "'abc'",  "'Zebra'", "'  x  '"};
    static constexpr std::array<std::string_view, 6> dates = {
        "#2000-01-31#", "#1899-12-30#", "#2024-02-29 13:45:00#",
        "#1970-06-15#", "#12:30:00#",   "#1753-01-01#"};
    if (Chance(5)) return Expr("Null");
    switch (kind) {
      case 'N':
        return Expr(std::string(Pick(numbers)));
      case 'T':
        return Expr(std::string(Pick(texts)));
      case 'D':
        return Expr(std::string(Pick(dates)));
      default:
        return Expr(Chance(50) ? "True" : "False");
    }
  }

  // An aggregate's argument: the rows' columns, no aggregate inside.
  Piece Aggregated(char kind) {
    Scope outer = scope;
    scope.columns = scope.rows;
    scope.aggregates = false;
    Piece p = Of(kind);
    scope = std::move(outer);
    return p;
  }

  // A sub-select of u as q, correlated or not, of one value.
  Piece SubSelect(char kind, bool aggregate) {
    Scope outer = scope;
    scope.columns.clear();
    for (const auto& c : kU) scope.columns.emplace_back("q." + std::string(c.name), c.kind);
    scope.rows = scope.columns;
    if (Chance(50))
      for (const auto& c : outer.columns) scope.columns.push_back(c);
    scope.aggregates = aggregate;
    Piece item = aggregate ? Agg(kind) : Column(kind);
    scope.aggregates = false;
    Piece where = Optional(" where \x01", {Of('B')});
    scope = std::move(outer);
    return Expr("(select \x01 from u as q\x01)", {std::move(item), std::move(where)});
  }

  Piece Agg(char kind) {
    switch (kind) {
      case 'N':
        switch (Below(5)) {
          case 0:
            return Expr("Count(*)");
          case 1:
            return Expr("Count(\x01)", {Aggregated(AnyKind())});
          case 2:
            return Expr("Sum(\x01)", {Aggregated('N')});
          case 3:
            return Expr("Avg(\x01)", {Aggregated('N')});
          default:
            return Expr(Chance(50) ? "Max(\x01)" : "Min(\x01)", {Aggregated('N')});
        }
      case 'B':
        return Expr("(Count(*) > \x01)", {Literal('N')});
      default:
        return Expr(Chance(50) ? "Max(\x01)" : "Min(\x01)", {Aggregated(kind)});
    }
  }

 private:
  std::mt19937_64 rng_;
};

// A production: the kind it makes, its weight, whether it makes no deeper
// expression, and how.
struct Production {
  char kind;
  int weight;
  bool leaf;
  Piece (*make)(Gen&);
};

// A call of `name` with arguments of the kinds in `args` ('?' any kind).
Piece Call(Gen& g, std::string_view name, std::string_view args) {
  std::string text(name);
  text += '(';
  std::vector<Piece> parts;
  for (size_t i = 0; i < args.size(); ++i) {
    text += i ? ", \x01" : "\x01";
    parts.push_back(g.Of(args[i] == '?' ? g.AnyKind() : args[i]));
  }
  return Expr(text + ')', std::move(parts));
}

// `op` between two expressions of `a` and `b`.
Piece Binary(Gen& g, char a, std::string_view op, char b) {
  return Expr("(\x01 " + std::string(op) + " \x01)", {g.Of(a), g.Of(b)});
}

// Functions by the kind they give: name and argument kinds.
struct Signature {
  std::string_view name, args;
};
constexpr std::array<Signature, 36> kNumberFunctions = {{
    {"Len", "T"},    {"InStr", "TT"},   {"InStr", "NTT"},    {"InStrRev", "TT"}, {"Abs", "N"},
    {"Int", "N"},    {"Fix", "N"},      {"Round", "N"},      {"Round", "NN"},    {"Sgn", "N"},
    {"Sqr", "N"},    {"Log", "N"},      {"Exp", "N"},        {"CLng", "?"},      {"CInt", "?"},
    {"CByte", "?"},  {"CDbl", "?"},     {"CSng", "?"},       {"CCur", "?"},      {"Val", "T"},
    {"Year", "D"},   {"Month", "D"},    {"Day", "D"},        {"Hour", "D"},      {"Minute", "D"},
    {"Second", "D"}, {"Weekday", "D"},  {"DateDiff", "TDD"}, {"DatePart", "TD"}, {"Asc", "T"},
    {"AscW", "T"},   {"StrComp", "TT"}, {"StrComp", "TTN"},  {"Nz", "NN"},       {"CVar", "N"},
    {"Atn", "N"},
}};
constexpr std::array<Signature, 22> kTextFunctions = {{
    {"Left", "TN"},      {"Right", "TN"},   {"Mid", "TN"},      {"Mid", "TNN"},
    {"UCase", "T"},      {"LCase", "T"},    {"Trim", "T"},      {"LTrim", "T"},
    {"RTrim", "T"},      {"Space", "N"},    {"String", "NT"},   {"Replace", "TTT"},
    {"StrReverse", "T"}, {"Chr", "N"},      {"ChrW", "N"},      {"CStr", "?"},
    {"Str", "N"},        {"Format", "?"},   {"MonthName", "N"}, {"WeekdayName", "N"},
    {"Nz", "TT"},        {"StrConv", "TN"},
}};
constexpr std::array<Signature, 7> kDateFunctions = {{{"DateSerial", "NNN"},
                                                      {"TimeSerial", "NNN"},
                                                      {"DateValue", "T"},
                                                      {"TimeValue", "T"},
                                                      {"CDate", "?"},
                                                      {"DateAdd", "TND"},
                                                      {"Nz", "DD"}}};
constexpr std::array<std::string_view, 9> kCompare = {
    "=", "<>", "<", ">", "<=", ">=", "=", "<", "="};
constexpr std::array<std::string_view, 8> kPatterns = {"'а*'", "'*Ё*'", "'[а-я]*'",  "'?л*'",
                                                       "'#*'", "'*'",   "'[!А-Я]*'", "'*к?'"};
constexpr std::array<std::string_view, 7> kIntervals = {"'d'",  "'m'", "'yyyy'", "'h'",
                                                        "'ww'", "'q'", "'y'"};
constexpr std::array<std::string_view, 6> kFormats = {"'0.00'",       "'#,##0'", "'yyyy-mm-dd'",
                                                      "'Short Date'", "'>'",     "'Yes/No'"};

template <size_t N>
Piece CallOf(Gen& g, const std::array<Signature, N>& table) {
  const Signature& s = g.Pick(table);
  // The interval of DateAdd, DateDiff and DatePart mostly one Jet knows, a
  // format mostly a real one: the other texts mostly reach only the error.
  if ((s.name == "DateDiff" || s.name == "DatePart" || s.name == "DateAdd") && g.Chance(85)) {
    Piece p = Call(g, s.name, s.args);
    p.parts[0] = Expr(std::string(g.Pick(kIntervals)));
    return p;
  }
  if (s.name == "StrConv" && g.Chance(85))
    return Expr("StrConv(\x01, " + std::to_string(1 + g.Below(3)) + ")", {g.Of('T')});
  if (s.name == "Format" && g.Chance(70))
    return Expr("Format(\x01, " + std::string(g.Pick(kFormats)) + ")", {g.Of(g.AnyKind())});
  return Call(g, s.name, s.args);
}

// Any kind's choices: IIf, Switch, Choose, Nz.
Piece Choice(Gen& g, char kind) {
  switch (g.Below(4)) {
    case 0:
      return Expr("IIf(\x01, \x01, \x01)", {g.Of('B'), g.Of(kind), g.Of(kind)});
    case 1:
      return Expr("Switch(\x01, \x01, \x01, \x01)", {g.Of('B'), g.Of(kind), g.Of('B'), g.Of(kind)});
    case 2:
      return Expr("Choose(\x01, \x01, \x01)", {g.Of('N'), g.Of(kind), g.Of(kind)});
    default:
      return Expr("Nz(\x01, \x01)", {g.Of(kind), g.Of(kind)});
  }
}

Piece Compared(Gen& g) {
  const char k = g.Chance(85) ? g.AnyKind() : 'N';
  const char other = g.Chance(85) ? k : g.AnyKind();
  return Binary(g, k, g.Pick(kCompare), other);
}

constexpr auto kProductions = std::to_array<Production>({
    {'N', 6, true, [](Gen& g) { return g.Column('N'); }},
    {'N', 3, true, [](Gen& g) { return g.Literal('N'); }},
    {'N', 4, false,
     [](Gen& g) {
       static constexpr std::array<std::string_view, 8> ops = {"+", "-", "*", "/",
                                                               "\\", "Mod", "^", "+"};
       return Binary(g, 'N', g.Pick(ops), g.Chance(85) ? 'N' : g.AnyKind());
     }},
    {'N', 1, false, [](Gen& g) { return Expr("-\x01", {g.Of('N')}); }},
    {'N', 5, false, [](Gen& g) { return CallOf(g, kNumberFunctions); }},
    {'N', 1, false, [](Gen& g) { return Choice(g, 'N'); }},
    {'N', 1, false, [](Gen& g) { return g.SubSelect('N', true); }},
    {'T', 6, true, [](Gen& g) { return g.Column('T'); }},
    {'T', 3, true, [](Gen& g) { return g.Literal('T'); }},
    {'T', 2, false, [](Gen& g) { return Binary(g, g.AnyKind(), "&", g.AnyKind()); }},
    {'T', 1, false, [](Gen& g) { return Binary(g, 'T', "+", g.Chance(80) ? 'T' : 'N'); }},
    {'T', 5, false, [](Gen& g) { return CallOf(g, kTextFunctions); }},
    {'T', 1, false, [](Gen& g) { return Choice(g, 'T'); }},
    {'T', 1, false, [](Gen& g) { return g.SubSelect('T', g.Chance(70)); }},
    {'D', 5, true, [](Gen& g) { return g.Column('D'); }},
    {'D', 3, true, [](Gen& g) { return g.Literal('D'); }},
    {'D', 3, false, [](Gen& g) { return CallOf(g, kDateFunctions); }},
    {'D', 1, false, [](Gen& g) { return Binary(g, 'D', g.Chance(50) ? "+" : "-", 'N'); }},
    {'D', 1, false, [](Gen& g) { return Choice(g, 'D'); }},
    {'B', 3, true, [](Gen& g) { return g.Column('B'); }},
    {'B', 1, true, [](Gen& g) { return g.Literal('B'); }},
    {'B', 8, false, [](Gen& g) { return Compared(g); }},
    {'B', 3, false,
     [](Gen& g) {
       static constexpr std::array<std::string_view, 5> ops = {"And", "Or", "Xor", "Eqv", "And"};
       return Binary(g, 'B', g.Pick(ops), g.Chance(90) ? 'B' : 'N');
     }},
    {'B', 1, false, [](Gen& g) { return Expr("(Not \x01)", {g.Of('B')}); }},
    {'B', 2, false,
     [](Gen& g) {
       return Expr(g.Chance(50) ? "(\x01 Is Null)" : "(\x01 Is Not Null)", {g.Of(g.AnyKind())});
     }},
    {'B', 2, false,
     [](Gen& g) {
       Piece pattern = g.Chance(70) ? Expr(std::string(g.Pick(kPatterns))) : g.Of('T');
       return Expr("(\x01 Like \x01)", {g.Of('T'), std::move(pattern)});
     }},
    {'B', 2, false,
     [](Gen& g) {
       const char k = g.AnyKind();
       return Expr("(\x01 Between \x01 And \x01)", {g.Of(k), g.Of(k), g.Of(k)});
     }},
    {'B', 2, false,
     [](Gen& g) {
       const char k = g.AnyKind();
       return Expr("(\x01 In (\x01, \x01, \x01))", {g.Of(k), g.Of(k), g.Of(k), g.Of(k)});
     }},
    {'B', 1, false,
     [](Gen& g) { return Expr(g.Chance(50) ? "IsNumeric(\x01)" : "IsDate(\x01)", {g.Of('?')}); }},
    {'B', 1, false,
     [](Gen& g) {
       const char k = "NTD"[g.Below(3)];
       return Expr("(\x01 In \x01)", {g.Of(k), g.SubSelect(k, false)});
     }},
    {'B', 1, false,
     [](Gen& g) {
       Piece sub = g.SubSelect('N', false);
       sub.text.replace(0, 1, "(Exists (");
       sub.text += ")";
       return sub;
     }},
});

Piece Gen::Of(char kind) {
  if (kind == '?') kind = AnyKind();
  if (scope.aggregates && Chance(25)) return Agg(kind);
  const bool leafOnly = depth >= 3;
  int total = 0;
  for (const Production& p : kProductions)
    if (p.kind == kind && (p.leaf || !leafOnly)) total += p.weight;
  int at = Below(total);
  for (const Production& p : kProductions) {
    if (p.kind != kind || (!p.leaf && leafOnly)) continue;
    if ((at -= p.weight) >= 0) continue;
    ++depth;
    Piece out = p.make(*this);
    --depth;
    return out;
  }
  return Literal(kind);
}

// "a, b, c" of `items`.
Piece List(std::vector<Piece> items) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) text += i ? ", \x01" : "\x01";
  return Piece{std::move(text), std::move(items), false, false};
}

void Collect(const Piece& p, std::vector<const Piece*>& out) {
  out.push_back(&p);
  for (const Piece& part : p.parts) Collect(part, out);
}

// `p` with the piece at preorder position `at` replaced by `with`.
Piece Replaced(const Piece& p, int& at, const Piece& with) {
  if (at-- == 0) return with;
  Piece out{p.text, {}, p.expr, p.optional};
  for (const Piece& part : p.parts) out.parts.push_back(Replaced(part, at, with));
  return out;
}

}  // namespace

std::string Piece::Render() const {
  std::string out;
  size_t next = 0;
  for (const char c : text) {
    if (c == '\x01' && next < parts.size())
      out += parts[next++].Render();
    else
      out += c;
  }
  return out;
}

std::vector<std::string> RandomTables() {
  return {
      "create table t (id long primary key, n text(20), m memo, b byte, i short, l long, s "
      "single, d double, c currency, dt datetime, y bit)",
      "create table u (id long primary key, t_id long, w text(10), v double, dt datetime)",
      "insert into t values (1, 'Ёлка', 'ёлка и ель', 1, 10, 100000, 1.5, 2.5, 12.3456, "
      "#2024-02-29#, True)",
      "insert into t values (2, 'ёлка', Null, 0, -3, -7, -0.5, 0.1, -1.5, #1899-12-30 06:00:00#, "
      "False)",
      "insert into t values (3, 'АРБУЗ', 'арбуз', 255, 32767, 2147483647, 3.25, 1E+10, 1000000, "
      "#2000-01-01 23:59:59#, True)",
      "insert into t (id, n, m) values (4, 'арбуз', '')",
      "insert into t values (5, Null, '12', 7, 2, 2, 2, 2.5, 0.5, #1970-06-15#, False)",
      "insert into t values (6, '', ' 3,5 ', 2, -32768, 0, 0, -2.5, 0, #1753-01-01#, Null)",
      "insert into t values (7, 'Zebra', 'zebra', 3, 5, 5, 5.5, 3.5, 2.5, #2099-12-31 12:00:00#, "
      "True)",
      "insert into t values (8, 'ель', 'Ель', 1, 10, 100000, 1.5, 2.5, 12.3456, #2024-02-29#, "
      "True)",
      "insert into u values (1, 1, 'x', 1.5, #2024-01-01#)",
      "insert into u values (2, 1, 'Я', Null, Null)",
      "insert into u values (3, 2, 'я', 2.5, #2024-03-01#)",
      "insert into u values (4, 9, Null, -1, #2000-01-01#)",
      "insert into u values (5, Null, 'ё', 0, #2024-01-01#)",
  };
}

Piece RandomSelect(uint64_t seed) {
  Gen g(seed);
  auto columnsOf = [](std::string_view table, const auto& columns, Gen::Scope& scope) {
    for (const Column& c : columns)
      scope.columns.emplace_back(std::string(table) + "." + std::string(c.name), c.kind);
  };
  if (g.Chance(10)) {
    // A union of two selects of one item each.
    const char k = g.AnyKind();
    columnsOf("t", kT, g.scope);
    Piece a = g.Of(k);
    g.scope.columns.clear();
    columnsOf("u", kU, g.scope);
    Piece b = g.Of(k);
    return Piece{std::string("select \x01 from t union") + (g.Chance(50) ? " all" : "") +
                     " select \x01 from u",
                 {std::move(a), std::move(b)},
                 false,
                 false};
  }
  columnsOf("t", kT, g.scope);
  const int from = g.Below(10);
  const bool joined = from >= 6;
  if (joined) columnsOf("u", kU, g.scope);
  const std::string source = !joined    ? "t"
                             : from < 8 ? "t inner join u on t.id = u.t_id"
                                        : "t left join u on t.id = u.t_id";
  Piece where = Optional(" where \x01", {g.Of('B')});
  if (g.Chance(60)) where = Piece{};
  const bool grouped = g.Chance(30);
  std::vector<Piece> groups;
  if (grouped) {
    g.scope.rows = g.scope.columns;
    std::vector<std::pair<std::string, char>> keys;
    for (int n = 1 + g.Below(2); n > 0; --n)
      keys.push_back(
          g.scope.columns[static_cast<size_t>(g.Below(static_cast<int>(g.scope.columns.size())))]);
    for (const auto& k : keys) groups.push_back(Expr(k.first));
    g.scope.columns = keys;
    g.scope.aggregates = true;
  }
  std::vector<Piece> items;
  for (int n = 1 + g.Below(3); n > 0; --n) items.push_back(g.Of(g.AnyKind()));
  const bool distinct = g.Chance(15);
  Piece having;
  if (grouped && g.Chance(30)) having = Optional(" having \x01", {g.Of('B')});
  Piece order, top;
  if (g.Chance(50)) {
    // Every item is a key; rows of one table also by their keys, so that
    // no two rows tie (grouped and distinct rows may still tie as texts
    // equal but for case).
    std::vector<Piece> keys = items;
    if (!grouped && !distinct) {
      keys.push_back(Expr("t.id"));
      if (joined) keys.push_back(Expr("u.id"));
    }
    for (Piece& k : keys)
      if (g.Chance(30)) k = Expr("\x01 desc", {std::move(k)});
    order = Optional(" order by \x01", {List(std::move(keys))});
    if (g.Chance(30)) top = Optional("top \x01 ", {Expr(std::to_string(1 + g.Below(4)))});
  }
  Piece groupBy = grouped ? Text(" group by \x01") : Piece{};
  if (grouped) groupBy.parts.push_back(List(std::move(groups)));
  return Piece{std::string("select ") + (distinct ? "distinct " : "") + "\x01\x01 from " + source +
                   "\x01\x01\x01\x01",
               {std::move(top), List(std::move(items)), std::move(where), std::move(groupBy),
                std::move(having), std::move(order)},
               false,
               false};
}

Piece RandomChange(uint64_t seed) {
  Gen g(seed);
  auto kindOf = [&](const Column& c) { return g.Chance(85) ? c.kind : g.AnyKind(); };
  auto where = [&]() { return g.Chance(25) ? Piece{} : Optional(" where \x01", {g.Of('B')}); };
  for (const Column& c : kT) g.scope.columns.emplace_back("t." + std::string(c.name), c.kind);
  switch (g.Below(4)) {
    case 0: {
      // Columns of t set to expressions over its row (its key too, now and then).
      std::vector<Piece> sets;
      for (int n = 1 + g.Below(2); n > 0; --n) {
        const Column& c = kT[static_cast<size_t>(g.Chance(5) ? 0 : 1 + g.Below(kT.size() - 1))];
        sets.push_back(Expr("t." + std::string(c.name) + " = \x01", {g.Of(kindOf(c))}));
      }
      return Piece{"update t set \x01\x01", {List(std::move(sets)), where()}, false, false};
    }
    case 1: {
      // A row of literals into some of t's columns, its key a new one or not.
      g.scope.columns.clear();
      std::string names = "id";
      std::vector<Piece> values = {Expr(std::to_string(g.Chance(90) ? 100 + g.Below(100) : 1))};
      for (size_t i = 1; i < kT.size(); ++i) {
        if (g.Chance(40)) continue;
        names += ", " + std::string(kT[i].name);
        values.push_back(g.Of(kindOf(kT[i])));
      }
      return Piece{
          "insert into t (" + names + ") values (\x01)", {List(std::move(values))}, false, false};
    }
    case 2: {
      // Rows of t into u, each column an expression of its row.
      std::vector<Piece> items = {Expr("t.id + 100")};
      for (size_t i = 1; i < kU.size(); ++i) items.push_back(g.Of(kindOf(kU[i])));
      return Piece{"insert into u (id, t_id, w, v, dt) select \x01 from t\x01",
                   {List(std::move(items)), where()},
                   false,
                   false};
    }
    default:
      if (g.Chance(50)) {
        g.scope.columns.clear();
        for (const Column& c : kU) g.scope.columns.emplace_back("u." + std::string(c.name), c.kind);
        return Piece{"delete from u\x01", {where()}, false, false};
      }
      return Piece{"delete from t\x01", {where()}, false, false};
  }
}

std::vector<Piece> Smaller(const Piece& p) {
  std::vector<const Piece*> all;
  Collect(p, all);
  std::vector<Piece> out;
  for (size_t i = 0; i < all.size(); ++i) {
    const Piece& at = *all[i];
    auto with = [&](const Piece& replacement) {
      int n = static_cast<int>(i);
      out.push_back(Replaced(p, n, replacement));
    };
    if (at.optional) with(Piece{});
    // A list without one of its items.
    if (!at.expr && !at.optional && at.parts.size() > 1 && at.text.starts_with('\x01')) {
      for (size_t k = 0; k < at.parts.size(); ++k) {
        std::vector<Piece> rest = at.parts;
        rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(k));
        with(List(std::move(rest)));
      }
    }
    if (at.expr)
      for (const Piece& part : at.parts)
        if (part.expr) with(part);
  }
  return out;
}

}  // namespace qv::pgtest
