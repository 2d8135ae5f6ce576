// Jet's conversion, Null-test and text functions. A Null argument gives a
// Null result except where VBA rejects it: the C* conversions and Val raise
// 94 (Invalid use of Null), IsNull/IsNumeric/IsDate answer False, "&" reads
// it as an empty text.

#include <array>
#include <cmath>

#include "platform/automation/VbaFormat.h"
#include "platform/automation/VbaText.h"
#include "platform/automation/VbaTextReplace.h"
#include "platform/jet/JetFunctionImpl.h"

namespace qv::jet::fn {

namespace {

// Windows-1251, the code page of Chr and Asc: 0x80..0xBF (0xC0..0xFF are
// U+0410..U+044F in order; 0x98 is unassigned and kept as U+0098).
constexpr std::array<char16_t, 64> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

char16_t FromCp1251(int32_t code) {
  if (code < 0x80) return static_cast<char16_t>(code);
  if (code < 0xC0) return kCp1251High[static_cast<size_t>(code - 0x80)];
  return static_cast<char16_t>(0x0410 + (code - 0xC0));
}

// The code page byte of a UTF-16 unit; "?" (63) for one the page lacks, as
// Windows' conversion gives.
int32_t ToCp1251(char16_t u) {
  if (u < 0x80) return u;
  if (u >= 0x0410 && u <= 0x044F) return 0xC0 + (u - 0x0410);
  for (size_t i = 0; i < kCp1251High.size(); ++i)
    if (kCp1251High[i] == u) return static_cast<int32_t>(0x80 + i);
  return '?';
}

std::string Utf8Of(char16_t u) {
  return ToUtf8(std::u16string_view(&u, 1));
}

// Jet compares texts as the database does (case-insensitively) unless the
// call asks for a binary comparison with 0.
CompareMode ModeArg(Args& a, int i) {
  if (i >= a.Count() || a.IsNull(i)) return CompareMode::kText;
  int32_t m = a.Long(i);
  if (m < -1 || m > 2) ThrowVb(vberr::kInvalidProcedureCall, "comparison mode");
  return m == 0 ? CompareMode::kBinary : CompareMode::kText;
}

Variant NullOr(Args& a, std::string (*f)(std::string_view)) {
  if (a.IsNull(0)) return Variant::Null();
  return Variant(f(a.Text(0)));
}

}  // namespace

// ---- Null tests and conversions

Variant IsNumericFn(Args& a) {
  return Variant(!a.IsNull(0) && a.Get(0).IsNumeric());
}
Variant IsDateFn(Args& a) {
  Variant v = a.Get(0);
  return Variant(v.IsDate() || (v.IsString() && ParseVbDate(v.AsString()).has_value()));
}
Variant CStrFn(Args& a) {
  return Variant(CStr(a.Get(0)));
}
Variant CLngFn(Args& a) {
  return Variant(CLng(a.Get(0)));
}
Variant CIntFn(Args& a) {
  return Variant(CInt(a.Get(0)));
}
Variant CByteFn(Args& a) {
  return Variant(CByte(a.Get(0)));
}
Variant CDblFn(Args& a) {
  return Variant(CDbl(a.Get(0)));
}
Variant CSngFn(Args& a) {
  return Variant(CSng(a.Get(0)));
}
Variant CCurFn(Args& a) {
  return Variant(CCur(a.Get(0)));
}
Variant CDateFn(Args& a) {
  return Variant(CDate(a.Get(0)));
}
Variant CBoolFn(Args& a) {
  return Variant(CBool(a.Get(0)));
}

// CDec: Decimal values are held as Double, as Decimal columns store them;
// beyond Decimal's range is an overflow.
Variant CDecFn(Args& a) {
  const double d = CDbl(a.Get(0));
  if (!(std::fabs(d) <= 7.9228162514264337593543950335e28)) ThrowVb(vberr::kOverflow, "Decimal");
  return Variant(d);
}

Variant StrFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  Variant v = a.Get(0);
  std::string s = CStr(v);
  if (v.IsNumericType() && CDbl(v) >= 0) s.insert(s.begin(), ' ');  // room for the sign
  return Variant(std::move(s));
}

Variant ValFn(Args& a) {
  if (a.IsNull(0)) ThrowVb(vberr::kInvalidUseOfNull);
  return Variant(Val(a.Text(0)));
}

Variant AsDateFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  return Variant(CDate(a.Get(0)));
}

Variant AsBooleanFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  return Variant(CBool(a.Get(0)));
}

// ---- text

Variant LenFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  return Variant(Len(a.Text(0)));
}

void TextLen(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc == 1 && sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
    const auto* p = sqlite3_value_text(argv[0]);
    const int n = sqlite3_value_bytes(argv[0]);
    bool ascii = true;
    for (int i = 0; i < n && ascii; ++i) ascii = p[i] < 0x80;
    if (ascii) return sqlite3_result_int(ctx, n);  // a unit per byte
  }
  Invoke<LenFn>(ctx, argc, argv);
}

namespace {

// UCase and LCase of a text argument written straight into SQLite's result
// buffer when the text maps case without changing length; anything else
// through the Variant body.
template <bool upper, Body body>
void MapCase(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc == 1 && sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const auto n = static_cast<size_t>(sqlite3_value_bytes(argv[0]));
    char* out = static_cast<char*>(sqlite3_malloc64(n + 1));
    if (!out) return sqlite3_result_error_nomem(ctx);
    if (MapCaseSameLength(std::string_view(p, n), out, upper))
      return sqlite3_result_text64(ctx, out, n, sqlite3_free, SQLITE_UTF8);
    sqlite3_free(out);
  }
  Invoke<body>(ctx, argc, argv);
}

}  // namespace

void TextUCase(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  MapCase<true, UCaseFn>(ctx, argc, argv);
}

void TextLCase(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  MapCase<false, LCaseFn>(ctx, argc, argv);
}

Variant LeftFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  return Variant(Left(a.Text(0), a.Long(1)));
}

Variant RightFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  return Variant(Right(a.Text(0), a.Long(1)));
}

Variant MidFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  std::optional<int32_t> length;
  if (a.Count() > 2 && !a.IsNull(2)) length = a.Long(2);
  return Variant(Mid(a.Text(0), a.Long(1), length));
}

// InStr(s, what), InStr(start, s, what [, compare]).
Variant InStrFn(Args& a) {
  int first = a.Count() >= 3 ? 1 : 0;
  if (a.IsNull(first) || a.IsNull(first + 1)) return Variant::Null();
  int32_t start = first ? a.Long(0) : 1;
  return Variant(InStr(start, a.Text(first), a.Text(first + 1), ModeArg(a, first + 2)));
}

// InStrRev(s, what [, start [, compare]]): the last position of `what`
// ending at or before `start` (-1: the end of the text), 0 when absent.
Variant InStrRevFn(Args& a) {
  if (a.IsNull(0) || a.IsNull(1)) return Variant::Null();
  const std::string_view s = a.Text(0), what = a.Text(1);
  const int32_t len = Len(s);
  int32_t start = a.Count() > 2 && !a.IsNull(2) ? a.Long(2) : -1;
  if (start == 0 || start < -1) ThrowVb(vberr::kInvalidProcedureCall, "InStrRev start");
  if (start == -1) start = len;
  if (start > len) return Variant(int32_t{0});
  const int32_t whatLen = Len(what);
  if (whatLen == 0) return Variant(start);
  const CompareMode mode = ModeArg(a, 3);
  // One pass back from `start` over the text's units (an InStr per
  // occurrence would count the text from its start each time).
  const std::u16string hay = ToUtf16(s), needle = ToUtf16(what);
  for (int32_t p = start - static_cast<int32_t>(needle.size()) + 1; p >= 1; --p) {
    const std::u16string_view at = std::u16string_view(hay).substr(p - 1, needle.size());
    if (mode == CompareMode::kBinary ? at == needle : CompareTextRu(ToUtf8(at), what) == 0)
      return Variant(p);
  }
  return Variant(int32_t{0});
}

// StrConv(s, conversion): 1 upper case, 2 lower case, 3 the first letter of
// every word upper and the rest lower (words end at spaces, tabs, line
// breaks and NUL). The byte and East Asian conversions have no meaning for
// Jet's Unicode text and raise 5.
Variant StrConvFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  const std::string_view s = a.Text(0);
  switch (a.Long(1)) {
    case 1:
      return Variant(UCase(s));
    case 2:
      return Variant(LCase(s));
    case 3: {
      std::string out;
      out.reserve(s.size());
      size_t i = 0;
      while (i < s.size()) {
        const size_t wordEnd = s.find_first_of(std::string_view(" \t\r\n\f\v\0", 7), i);
        const std::string_view word =
            s.substr(i, wordEnd == std::string_view::npos ? s.npos : wordEnd - i);
        if (!word.empty()) out += UCase(Left(word, 1)) + LCase(Mid(word, 2));
        if (wordEnd == std::string_view::npos) break;
        out += s[wordEnd];
        i = wordEnd + 1;
      }
      return Variant(std::move(out));
    }
    default:
      ThrowVb(vberr::kInvalidProcedureCall, "StrConv conversion");
  }
}

Variant LCaseFn(Args& a) {
  return NullOr(a, LCase);
}
Variant UCaseFn(Args& a) {
  return NullOr(a, UCase);
}
Variant TrimFn(Args& a) {
  return NullOr(a, Trim);
}
Variant LTrimFn(Args& a) {
  return NullOr(a, LTrim);
}
Variant RTrimFn(Args& a) {
  return NullOr(a, RTrim);
}

// String(n, character): the character as a text or as a code (Chr's page).
Variant StringFn(Args& a) {
  if (a.IsNull(0) || a.IsNull(1)) return Variant::Null();
  int32_t n = a.Long(0);
  Variant ch = a.Get(1);
  if (ch.IsNumericType()) {
    int32_t code = CLng(ch) % 256;
    if (code < 0) code += 256;
    return Variant(StringOf(n, Utf8Of(FromCp1251(code))));
  }
  return Variant(StringOf(n, a.Text(1)));
}

Variant SpaceFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  return Variant(Space(a.Long(0)));
}

// Replace(s, find, with [, start [, count [, compare]]]): as VBA, the result
// begins at `start`, and at most `count` (-1: all) occurrences are replaced.
Variant ReplaceFn(Args& a) {
  if (a.IsNull(0) || a.IsNull(1) || a.IsNull(2)) return Variant::Null();
  int32_t start = a.Count() > 3 && !a.IsNull(3) ? a.Long(3) : 1;
  int32_t count = a.Count() > 4 && !a.IsNull(4) ? a.Long(4) : -1;
  if (start < 1 || count < -1) ThrowVb(vberr::kInvalidProcedureCall, "Replace");
  CompareMode mode = ModeArg(a, 5);
  std::string s = Mid(a.Text(0), start);
  std::string_view what = a.Text(1), with = a.Text(2);
  return Variant(ReplaceAtMost(s, what, with, mode, count));
}

Variant StrCompFn(Args& a) {
  if (a.IsNull(0) || a.IsNull(1)) return Variant::Null();
  return Variant(static_cast<int16_t>(StrComp(a.Text(0), a.Text(1), ModeArg(a, 2))));
}

Variant StrReverseFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  std::u16string u = ToUtf16(a.Text(0));
  std::u16string r;
  r.reserve(u.size());
  for (size_t i = u.size(); i > 0; --i) {
    char16_t c = u[i - 1];
    // keep a surrogate pair in order
    if (c >= 0xDC00 && c <= 0xDFFF && i >= 2 && u[i - 2] >= 0xD800 && u[i - 2] <= 0xDBFF) {
      r += u[i - 2];
      r += c;
      --i;
    } else {
      r += c;
    }
  }
  return Variant(ToUtf8(r));
}

Variant AscFn(Args& a) {
  if (a.IsNull(0)) ThrowVb(vberr::kInvalidUseOfNull);
  std::u16string u = ToUtf16(a.Text(0));
  if (u.empty()) ThrowVb(vberr::kInvalidProcedureCall, "Asc of an empty text");
  return Variant(static_cast<int16_t>(ToCp1251(u[0])));
}

Variant AscWFn(Args& a) {
  if (a.IsNull(0)) ThrowVb(vberr::kInvalidUseOfNull);
  std::u16string u = ToUtf16(a.Text(0));
  if (u.empty()) ThrowVb(vberr::kInvalidProcedureCall, "AscW of an empty text");
  return Variant(static_cast<int16_t>(u[0]));  // VBA's AscW is signed above 32767
}

Variant ChrFn(Args& a) {
  if (a.IsNull(0)) ThrowVb(vberr::kInvalidUseOfNull);
  int32_t code = a.Long(0);
  if (code < 0 || code > 255) ThrowVb(vberr::kInvalidProcedureCall, "Chr code");
  return Variant(Utf8Of(FromCp1251(code)));
}

Variant ChrWFn(Args& a) {
  if (a.IsNull(0)) ThrowVb(vberr::kInvalidUseOfNull);
  int32_t code = a.Long(0);
  if (code < -32768 || code > 65535) ThrowVb(vberr::kInvalidProcedureCall, "ChrW code");
  if (code < 0) code += 65536;
  return Variant(Utf8Of(static_cast<char16_t>(code)));
}

// Format(Null) is Null, unless the format has a fourth section: that
// section's text is what Null shows.
Variant FormatFn(Args& a) {
  std::string_view format = a.Count() > 1 && !a.IsNull(1) ? a.Text(1) : std::string_view();
  if (a.IsNull(0) && !HasNullSection(format)) return Variant::Null();
  return Variant(Format(a.Get(0), format));
}

// "&": Null reads as an empty text; Null & Null stays Null.
Variant ConcatFn(Args& a) {
  std::string out;
  bool allNull = true;
  for (int i = 0; i < a.Count(); ++i) {
    if (a.IsNull(i)) continue;
    allNull = false;
    out += a.Text(i);
  }
  return allNull ? Variant::Null() : Variant(std::move(out));
}

}  // namespace qv::jet::fn
