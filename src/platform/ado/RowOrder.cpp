#include "platform/ado/RowOrder.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/ado/AdoConstants.h"
#include "platform/ado/AdoError.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaText.h"

namespace qv::ado {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsDelimiter(char c) {
  return IsSpace(c) || c == '=' || c == '<' || c == '>' || c == '\'' || c == '#' || c == '[' ||
         c == ']' || c == '(' || c == ')';
}

[[noreturn]] void BadCriteria(std::string_view text, std::string_view why) {
  ThrowAdo(adoerr::kBadArguments, kRecordsetSource,
           std::string(why) + " in \"" + std::string(text) + "\"");
}

size_t ColumnOf(const RowTable& table, const std::string& name) {
  auto col = table.Find(name);
  if (!col) ThrowAdo(adoerr::kItemNotFound, kRecordsetSource, name);
  return *col;
}

// Reads the pieces of a sort or filter text from left to right.
class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}

  bool AtEnd() {
    SkipSpaces();
    return i_ >= s_.size();
  }
  // A field name: bracketed, or a run of characters up to a delimiter.
  std::string Name() {
    SkipSpaces();
    if (i_ < s_.size() && s_[i_] == '[') {
      const size_t close = s_.find(']', i_);
      if (close == std::string_view::npos) BadCriteria(s_, "an unclosed bracket");
      std::string name(s_.substr(i_ + 1, close - i_ - 1));
      i_ = close + 1;
      return name;
    }
    return Word();
  }
  std::string Word() {
    SkipSpaces();
    const size_t start = i_;
    while (i_ < s_.size() && !IsDelimiter(s_[i_])) ++i_;
    return std::string(s_.substr(start, i_ - start));
  }
  std::optional<FilterOp> Op() {
    SkipSpaces();
    static constexpr std::pair<std::string_view, FilterOp> kOps[] = {
        {"<=", FilterOp::kLe}, {">=", FilterOp::kGe}, {"<>", FilterOp::kNe},
        {"=", FilterOp::kEq},  {"<", FilterOp::kLt},  {">", FilterOp::kGt}};
    for (const auto& [text, op] : kOps) {
      if (s_.substr(i_, text.size()) == text) {
        i_ += text.size();
        return op;
      }
    }
    const size_t save = i_;
    if (EqualsAsciiNoCase(Word(), "LIKE")) return FilterOp::kLike;
    i_ = save;
    return std::nullopt;
  }
  // A quoted text, a #date#, a number or Null.
  Variant Literal() {
    SkipSpaces();
    if (i_ >= s_.size()) BadCriteria(s_, "a missing value");
    if (s_[i_] == '\'') return Quoted();
    if (s_[i_] == '#') {
      const size_t close = s_.find('#', i_ + 1);
      if (close == std::string_view::npos) BadCriteria(s_, "an unclosed date");
      auto date = ParseVbDate(s_.substr(i_ + 1, close - i_ - 1));
      if (!date) BadCriteria(s_, "a date that cannot be read");
      i_ = close + 1;
      return Variant(*date);
    }
    const std::string word = Word();
    if (EqualsAsciiNoCase(word, "Null")) return Variant::Null();
    auto number = ParseVbNumber(word);
    if (!number) BadCriteria(s_, "a value that cannot be read");
    return Variant(*number);
  }

 private:
  void SkipSpaces() {
    while (i_ < s_.size() && IsSpace(s_[i_])) ++i_;
  }
  Variant Quoted() {
    std::string out;
    for (size_t j = i_ + 1; j < s_.size(); ++j) {
      if (s_[j] != '\'') {
        out += s_[j];
      } else if (j + 1 < s_.size() && s_[j + 1] == '\'') {
        out += '\'';
        ++j;
      } else {
        i_ = j + 1;
        return Variant(std::move(out));
      }
    }
    BadCriteria(s_, "an unclosed quote");
  }

  std::string_view s_;
  size_t i_ = 0;
};

// The literal as a value of the column's type, so comparisons are like with like.
Variant ConvertLiteral(const FieldInfo& field, Variant literal, std::string_view text) {
  if (field.info->kind == StorageKind::kText) return Variant(CStr(literal));
  FieldInfo loose = field;
  loose.definedSize = 0;
  loose.attributes = adFldIsNullable;
  try {
    return CoerceToField(loose, std::move(literal), kRecordsetSource);
  } catch (const Error&) {
    BadCriteria(text, "a value of the wrong type for " + field.name);
  }
}

bool LikeMatch(std::string_view value, std::string_view pattern) {
  auto isWild = [](char c) { return c == '*' || c == '%'; };
  const bool any = !pattern.empty() && isWild(pattern.front());
  if (any) pattern.remove_prefix(1);
  const bool tail = !pattern.empty() && isWild(pattern.back());
  if (tail) pattern.remove_suffix(1);
  const std::string v = FoldCase(value), p = FoldCase(pattern);
  if (any && tail) return v.find(p) != std::string::npos;
  if (any) return v.size() >= p.size() && v.compare(v.size() - p.size(), p.size(), p) == 0;
  if (tail) return v.compare(0, p.size(), p) == 0;
  return v == p;
}

bool Holds(FilterOp op, int c) {
  switch (op) {
    case FilterOp::kEq:
      return c == 0;
    case FilterOp::kNe:
      return c != 0;
    case FilterOp::kLt:
      return c < 0;
    case FilterOp::kGt:
      return c > 0;
    case FilterOp::kLe:
      return c <= 0;
    case FilterOp::kGe:
      return c >= 0;
    case FilterOp::kLike:
      return false;
  }
  return false;
}

}  // namespace

std::vector<SortKey> ParseSort(const RowTable& table, std::string_view text) {
  std::vector<SortKey> keys;
  if (Scanner(text).AtEnd()) return keys;
  // Split at the commas outside brackets: one key per piece.
  size_t start = 0;
  bool bracket = false;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] == '[') bracket = true;
    if (i < text.size() && text[i] == ']') bracket = false;
    if (i < text.size() && (bracket || text[i] != ',')) continue;
    Scanner piece(text.substr(start, i - start));
    start = i + 1;
    const std::string name = piece.Name();
    if (name.empty()) BadCriteria(text, "a missing field name");
    SortKey key{ColumnOf(table, name), false};
    const std::string word = piece.Word();
    if (EqualsAsciiNoCase(word, "DESC"))
      key.descending = true;
    else if (!word.empty() && !EqualsAsciiNoCase(word, "ASC"))
      BadCriteria(text, "\"" + word + "\"");
    if (!piece.AtEnd()) BadCriteria(text, "a misplaced word");
    keys.push_back(key);
  }
  return keys;
}

std::vector<FilterTerm> ParseFilter(const RowTable& table, std::string_view text) {
  std::vector<FilterTerm> terms;
  Scanner scan(text);
  if (scan.AtEnd()) return terms;
  while (true) {
    const std::string name = scan.Name();
    if (name.empty()) BadCriteria(text, "a missing field name");
    FilterTerm term;
    term.col = ColumnOf(table, name);
    const FieldInfo& field = table.Field(term.col);
    auto op = scan.Op();
    if (!op) BadCriteria(text, "a missing comparison after " + name);
    term.op = *op;
    Variant literal = scan.Literal();
    if (literal.IsNull()) {
      if (term.op != FilterOp::kEq && term.op != FilterOp::kNe)
        BadCriteria(text, "Null compared other than by = or <>");
      term.value = Variant::Null();
    } else if (term.op == FilterOp::kLike) {
      if (field.info->kind != StorageKind::kText || !literal.IsString())
        BadCriteria(text, "LIKE on a field or value that is not a text");
      const std::string& p = literal.AsString();
      const size_t wild = p.find_first_of("*%", 1);
      if (wild != std::string::npos && wild + 1 != p.size())
        BadCriteria(text, "a wildcard inside the pattern");
      term.value = std::move(literal);
    } else {
      term.value = ConvertLiteral(field, std::move(literal), text);
    }
    terms.push_back(std::move(term));
    if (scan.AtEnd()) break;
    const std::string joint = scan.Word();
    if (!EqualsAsciiNoCase(joint, "AND"))
      BadCriteria(text, "\"" + joint + "\" where AND was expected");
  }
  return terms;
}

int CompareCells(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() == b.IsNull() ? 0 : a.IsNull() ? -1 : 1;
  if (a.IsString() && b.IsString()) return CompareTextRu(a.AsString(), b.AsString());
  if (a.IsByteArray() && b.IsByteArray()) {
    const auto& x = a.AsBytes().bytes;
    const auto& y = b.AsBytes().bytes;
    const auto c = std::lexicographical_compare_three_way(x.begin(), x.end(), y.begin(), y.end());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  const double x = CDbl(a), y = CDbl(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

bool Matches(const RowTable& table, size_t row, const std::vector<FilterTerm>& terms) {
  for (const FilterTerm& t : terms) {
    const Variant& v = table.Cell(row, t.col);
    if (t.value.IsNull()) {
      if (v.IsNull() != (t.op == FilterOp::kEq)) return false;
    } else if (v.IsNull()) {
      return false;
    } else if (t.op == FilterOp::kLike) {
      if (!LikeMatch(v.AsString(), t.value.AsString())) return false;
    } else if (!Holds(t.op, CompareCells(v, t.value))) {
      return false;
    }
  }
  return true;
}

std::vector<uint32_t> OrderRows(const RowTable& table, const std::vector<FilterTerm>& filter,
                                const std::vector<SortKey>& sort) {
  std::vector<uint32_t> rows;
  rows.reserve(table.RowCount());
  for (size_t r = 0; r < table.RowCount(); ++r)
    if (!table.IsDeleted(r) && Matches(table, r, filter)) rows.push_back(static_cast<uint32_t>(r));
  if (sort.empty()) return rows;
  std::stable_sort(rows.begin(), rows.end(), [&](uint32_t x, uint32_t y) {
    for (const SortKey& k : sort) {
      const int c = CompareCells(table.Cell(x, k.col), table.Cell(y, k.col));
      if (c != 0) return k.descending ? c > 0 : c < 0;
    }
    return false;
  });
  return rows;
}

}  // namespace qv::ado
