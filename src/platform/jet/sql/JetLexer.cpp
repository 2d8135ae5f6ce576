#include "platform/jet/sql/JetLexer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/automation/VbaText.h"
#include "platform/jet/sql/JetSqlError.h"

namespace qv::jet::sql {

namespace {

constexpr std::array<std::pair<std::string_view, Keyword>, 40> kKeywords{{
    {"ALL", Keyword::kAll},
    {"AND", Keyword::kAnd},
    {"AS", Keyword::kAs},
    {"ASC", Keyword::kAsc},
    {"BETWEEN", Keyword::kBetween},
    {"BY", Keyword::kBy},
    {"DELETE", Keyword::kDelete},
    {"DESC", Keyword::kDesc},
    {"DISTINCT", Keyword::kDistinct},
    {"DISTINCTROW", Keyword::kDistinctRow},
    {"EXISTS", Keyword::kExists},
    {"FALSE", Keyword::kFalse},
    {"FROM", Keyword::kFrom},
    {"GROUP", Keyword::kGroup},
    {"HAVING", Keyword::kHaving},
    {"IN", Keyword::kIn},
    {"INNER", Keyword::kInner},
    {"INSERT", Keyword::kInsert},
    {"INTO", Keyword::kInto},
    {"IS", Keyword::kIs},
    {"JOIN", Keyword::kJoin},
    {"LEFT", Keyword::kLeft},
    {"LIKE", Keyword::kLike},
    {"MOD", Keyword::kMod},
    {"NOT", Keyword::kNot},
    {"NULL", Keyword::kNull},
    {"ON", Keyword::kOn},
    {"OR", Keyword::kOr},
    {"ORDER", Keyword::kOrder},
    {"OUTER", Keyword::kOuter},
    {"PERCENT", Keyword::kPercent},
    {"RIGHT", Keyword::kRight},
    {"SELECT", Keyword::kSelect},
    {"SET", Keyword::kSet},
    {"TOP", Keyword::kTop},
    {"TRUE", Keyword::kTrue},
    {"UNION", Keyword::kUnion},
    {"UPDATE", Keyword::kUpdate},
    {"VALUES", Keyword::kValues},
    {"WHERE", Keyword::kWhere},
}};

static_assert(std::is_sorted(kKeywords.begin(), kKeywords.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; }));

constexpr size_t kLongestKeyword = 11;  // DISTINCTROW

// Every word of a statement is looked up, by a hash of its first two
// letters and its length that puts no two keywords in one slot: a word is
// compared, without case, with one keyword at most.
constexpr size_t kKeywordSlots = 128;

constexpr size_t KeywordSlot(std::string_view word) {
  // The low five bits of a letter are the same in either case; the
  // factors were found by trying them all.
  return ((static_cast<unsigned char>(word[0]) & 0x1Fu) +
          (static_cast<unsigned char>(word[1]) & 0x1Fu) * 80u + word.size()) %
         kKeywordSlots;
}

// What a slot holds: its keyword's letters as a little-endian word of
// eight bytes (all keywords but DISTINCTROW fit), for a comparison of a whole
// word at once, its size (0 in a slot without a keyword) and its index in
// kKeywords. One entry a slot, read at one place: a word that is no keyword
// costs a load and a comparison of sizes.
struct KeywordSlotEntry {
  uint64_t letters = 0;
  uint8_t size = 0;
  Keyword keyword = Keyword::kNone;
  uint8_t index = 0;
};

constexpr std::array<KeywordSlotEntry, kKeywordSlots> kKeywordInSlot = [] {
  std::array<KeywordSlotEntry, kKeywordSlots> slots{};
  for (size_t k = 0; k < kKeywords.size(); ++k) {
    KeywordSlotEntry& e = slots[KeywordSlot(kKeywords[k].first)];
    for (size_t i = 0; i < kKeywords[k].first.size() && i < 8; ++i)
      e.letters |= uint64_t{static_cast<unsigned char>(kKeywords[k].first[i])} << (8 * i);
    e.size = static_cast<uint8_t>(kKeywords[k].first.size());
    e.keyword = kKeywords[k].second;
    e.index = static_cast<uint8_t>(k);
  }
  return slots;
}();
static_assert(
    [] {
      for (size_t k = 0; k < kKeywords.size(); ++k)
        if (kKeywordInSlot[KeywordSlot(kKeywords[k].first)].index != k) return false;
      return true;
    }(),
    "two keywords share a slot");

// `word` is a view of a text that goes on to `textEnd`.
Keyword LookupKeyword(std::string_view word, const char* textEnd) {
  if (word.size() < 2 || word.size() > kLongestKeyword) return Keyword::kNone;
  const KeywordSlotEntry& e = kKeywordInSlot[KeywordSlot(word)];
  if (e.size != word.size()) return Keyword::kNone;
  // Clearing bit 5 maps a letter of either case to the upper case one
  // and no other byte to a letter.
  if constexpr (std::endian::native == std::endian::little) {
    // Eight bytes read at once where the text has them; those past the
    // word are masked off.
    if (e.size <= 8 && textEnd - word.data() >= 8) {
      uint64_t bytes;
      std::memcpy(&bytes, word.data(), 8);
      const uint64_t mask = ~uint64_t{0} >> (64 - 8 * e.size);
      return (bytes & mask & ~uint64_t{0x2020202020202020}) == e.letters ? e.keyword
                                                                         : Keyword::kNone;
    }
  }
  const std::string_view key = kKeywords[e.index].first;
  for (size_t i = 0; i < key.size(); ++i)
    if ((static_cast<unsigned char>(word[i]) & ~0x20u) != static_cast<unsigned char>(key[i]))
      return Keyword::kNone;
  return e.keyword;
}

// Space, tab, carriage return, line feed, form feed and vertical tab: a
// table, as every byte between tokens is looked at.
constexpr std::array<bool, 256> kSpaceBytes = [] {
  std::array<bool, 256> space{};
  for (const char c : {' ', '\t', '\r', '\n', '\f', '\v'})
    space[static_cast<unsigned char>(c)] = true;
  return space;
}();

bool IsHex(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

class Lexer {
 public:
  explicit Lexer(std::string_view sql) : sql_(sql) {}

  void Run(std::vector<Token>& out) {
    if (sql_.size() > kMaxStatementBytes) ThrowJet(sqlerr::kTooComplex);
    out.clear();
    // About one token in four bytes of text: growing the vector moved every
    // token so far each time.
    out.reserve(sql_.size() / 4 + 2);
    // Spaces and words, most of a statement, are read here with the text and
    // the position in locals (through the members every byte reloaded them);
    // the other tokens go through Next.
    const char* const text = sql_.data();
    const size_t n = sql_.size();
    const size_t trailing = trailingWord_;
    size_t i = 0;
    for (;;) {
      while (i < n && kSpaceBytes[static_cast<unsigned char>(text[i])]) ++i;
      // Made in place: a token copied into the vector cost as much as its
      // making.
      Token& t = out.emplace_back();
      const size_t start = i;
      // Words first: most tokens are (a digit is a word byte too, but starts a number).
      if (i < n && IsWordByte(static_cast<unsigned char>(text[i])) && !IsAsciiDigit(text[i])) {
        i = WordEnd(sql_, i, trailing);
        if (i < n && text[i] == '$') ++i;  // Trim$, UCase$ ...
        t.kind = TokenKind::kWord;
        t.pos = static_cast<uint32_t>(start);
        t.text = std::string_view(text + start, i - start);
        t.keyword = LookupKeyword(t.text, text + n);
      } else {
        i_ = i;
        Next(t);
        if (t.kind == TokenKind::kEnd) break;
        i = i_;
      }
      if (out.size() > kMaxTokens) ThrowJet(sqlerr::kTooComplex);
    }
  }

 private:
  void SkipSpace() {
    const size_t n = sql_.size();
    size_t i = i_;
    while (i < n && kSpaceBytes[static_cast<unsigned char>(sql_[i])]) ++i;
    i_ = i;
  }

  void Make(Token& t, TokenKind kind, size_t start) {
    t.kind = kind;
    t.pos = static_cast<uint32_t>(start);
    // Not substr: its bounds check kept it out of line, a call per token.
    t.text = std::string_view(sql_.data() + start, i_ - start);
  }

  // The token's value: `size` bytes from `offset` within its text.
  static void SetValue(Token& t, size_t offset, size_t size) {
    t.valueStart = static_cast<uint32_t>(offset);
    t.valueSize = static_cast<uint32_t>(size);
  }

  // A token that is no word, at i_ (after spaces).
  void Next(Token& t) {
    const size_t start = i_;
    if (i_ >= sql_.size()) return Make(t, TokenKind::kEnd, start);
    const char c = sql_[i_];
    if (StartsNumber(sql_, i_)) {
      i_ = NumberEnd(sql_, i_);
      return Make(t, TokenKind::kNumber, start);
    }
    switch (c) {
      case '\'':
      case '"':
        return String(t, start, c);
      case '[':
      case '`':
        return Bracket(t, start, c == '[' ? ']' : '`');
      case '#':
        return Date(t, start);
      case '{':
        return Guid(t, start);
      case '<':
        ++i_;
        if (i_ < sql_.size() && (sql_[i_] == '=' || sql_[i_] == '>')) ++i_;
        return Make(t, TokenKind::kSymbol, start);
      case '>':
        ++i_;
        if (i_ < sql_.size() && sql_[i_] == '=') ++i_;
        return Make(t, TokenKind::kSymbol, start);
      case '(':
      case ')':
      case ',':
      case '.':
      case ';':
      case '*':
      case '+':
      case '-':
      case '/':
      case '\\':
      case '^':
      case '&':
      case '=':
      case '!':
        ++i_;
        return Make(t, TokenKind::kSymbol, start);
      default:
        ++i_;
        return Make(t, TokenKind::kInvalid, start);
    }
  }

  // A quote inside is written twice.
  void String(Token& t, size_t start, char quote) {
    ++i_;
    for (;;) {
      const size_t close = sql_.find(quote, i_);
      if (close == std::string_view::npos) {
        ThrowSyntax(sqlerr::kExpression,
                    "Syntax error in string in query expression '" +
                        std::string(sql_.substr(start, 200)) + "'.",
                    sql_, start, sql_.substr(start, 1));
      }
      i_ = close + 1;
      if (i_ < sql_.size() && sql_[i_] == quote) {
        ++i_;
        continue;
      }
      break;
    }
    Make(t, TokenKind::kString, start);
    SetValue(t, 1, i_ - start - 2);
  }

  // [name] or `name`.
  void Bracket(Token& t, size_t start, char closing) {
    const size_t close = sql_.find(closing, i_ + 1);
    if (close == std::string_view::npos) {
      ThrowSyntax(sqlerr::kBadBracketing,
                  JetMessage(sqlerr::kBadBracketing, sql_.substr(start, 200)), sql_, start,
                  sql_.substr(start, 1));
    }
    i_ = close + 1;
    Make(t, TokenKind::kBracket, start);
    SetValue(t, 1, close - start - 1);
  }

  void Date(Token& t, size_t start) {
    const size_t close = sql_.find('#', i_ + 1);
    if (close == std::string_view::npos) {
      ThrowSyntax(sqlerr::kExpression,
                  "Syntax error in date in query expression '" +
                      std::string(sql_.substr(start, 200)) + "'.",
                  sql_, start, "#");
    }
    i_ = close + 1;
    Make(t, TokenKind::kDate, start);
    SetValue(t, 1, close - start - 1);
  }

  // {guid {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}}, spaces allowed between the parts.
  void Guid(Token& t, size_t start) {
    ++i_;
    SkipSpace();
    bool ok = i_ + 4 <= sql_.size() && EqualsAsciiNoCase(sql_.substr(i_, 4), "GUID");
    if (ok) {
      i_ += 4;
      SkipSpace();
      ok = i_ < sql_.size() && sql_[i_] == '{';
    }
    size_t digits = 0;
    if (ok) {
      digits = ++i_;
      for (int k = 0; k < 36 && ok; ++k, ++i_) {
        const bool dash = k == 8 || k == 13 || k == 18 || k == 23;
        ok = i_ < sql_.size() && (dash ? sql_[i_] == '-' : IsHex(sql_[i_]));
      }
    }
    for (int k = 0; k < 2 && ok; ++k) {
      SkipSpace();
      ok = i_ < sql_.size() && sql_[i_] == '}';
      ++i_;
    }
    if (!ok) {
      const size_t stop = sql_.find("}}", start);
      const size_t len = stop == std::string_view::npos ? 60 : stop + 2 - start;
      ThrowSyntax(sqlerr::kExpression,
                  "Malformed GUID. in query expression '" +
                      std::string(sql_.substr(start, std::min<size_t>(len, 200))) + "'.",
                  sql_, start, "{");
    }
    Make(t, TokenKind::kGuid, start);
    SetValue(t, digits - start, 36);
  }

  std::string_view sql_;
  size_t trailingWord_ = TrailingWordStart(sql_);
  size_t i_ = 0;
};

}  // namespace

void Tokenize(std::string_view sql, std::vector<Token>& out) {
  Lexer(sql).Run(out);
}

std::string LiteralTokenValue(const Token& t) {
  std::string out;
  const std::string_view value = t.value();
  if (t.kind == TokenKind::kGuid) {
    out.reserve(value.size() + 2);
    out += '{';
    for (const char c : value)
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    out += '}';
    return out;
  }
  const char quote = t.text.front();
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    out += value[i];
    if (value[i] == quote) ++i;  // the second of a doubled quote
  }
  return out;
}

}  // namespace qv::jet::sql
