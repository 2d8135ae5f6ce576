#include "core/mQvCommonCalc.h"

#include <cmath>

#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"

namespace qv::mQvCommonCalc {

std::string VarToStr(const Variant& value, const std::string& def) {
  try {
    if (value.IsDate()) return DateToDotText(value);
    if (value.IsNull() || value.IsObject() || value.IsArray()) return def;
    return CStr(value);
  } catch (const Error&) {
    return def;
  }
}

int32_t VarToLongDef(const Variant& value, int32_t def) {
  return ConvertOr(value, def, [](const Variant& v) { return CLng(v); });
}

double VarToDoubleDef(const Variant& value, double def) {
  return ConvertOr(value, def, [](const Variant& v) { return CDbl(v); });
}

double StrToDoubleEx(const std::string& text, bool& success) {
  if (auto d = ParseVbNumber(text)) {
    success = true;
    return *d;
  }
  std::string swapped = text;
  const bool hasComma = swapped.find(',') != std::string::npos;
  for (char& c : swapped) {
    if (hasComma && c == ',')
      c = '.';
    else if (!hasComma && c == '.')
      c = ',';
  }
  if (auto d = ParseVbNumber(swapped)) {
    success = true;
    return *d;
  }
  success = false;
  return 0;
}

int32_t StrToLongEx(const std::string& text, int32_t def, bool& success) {
  success = false;
  if (text.find_first_of(",. ") != std::string::npos) return def;
  try {
    const int32_t v = CLng(Variant(text));
    success = true;
    return v;
  } catch (const Error&) {
    return def;
  }
}

OleDate VarToDate(const Variant& value) {
  if (value.IsEmptyOrNull()) return OleDate{0};
  if (value.IsString() && Trim(value.AsString()).empty()) return OleDate{0};
  return CDate(value);
}

bool IsEmptyDate(const Variant& value) {
  if (value.IsDate()) return std::trunc(value.AsDateSerial()) == 0;
  if (value.IsString()) return !ParseVbDate(value.AsString()).has_value();
  return true;
}

std::string DateToDotText(const Variant& value) {
  if (IsEmptyDate(value)) return {};
  const DateParts p = SplitDate(CDate(value));
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d~%02d~%04d", p.day, p.month, p.year);
  std::string text(buf);
  for (char& c : text)
    if (c == '~') c = '.';
  return text;
}

Variant NullIfEmptyStr(const std::string& text) {
  return text.empty() ? Variant::Null() : Variant(text);
}

std::string PadLeftStr(const std::string& text, int32_t width, std::string_view fill) {
  const int32_t missing = width - Len(text);
  if (missing <= 0 || fill.empty()) return text;
  return StringOf(missing, fill) + text;
}

bool IsKeyInCollection(const Collection& collection, const std::string& key) {
  return collection.FindByKey(key) != nullptr;
}

Variant GetCollectionItem(const Collection& collection, const std::string& key) {
  const Variant* item = collection.FindByKey(key);
  return item ? *item : Variant::Nothing();
}

std::string JoinCollection(const Collection& collection, const std::string& separator) {
  std::string out;
  for (int32_t i = 1; i <= collection.Count(); ++i) {
    if (i > 1) out += separator;
    out += CStr(collection.At(i));  // CStr writes numbers with the invariant point
  }
  return out;
}

void RemovePrefix(std::string& text, const std::string& prefix, bool caseSensitive) {
  if (prefix.empty()) return;
  const int32_t n = Len(prefix);
  const std::string head = Left(text, n);
  const bool match = caseSensitive ? head == prefix : LCase(head) == LCase(prefix);
  if (match) text = Mid(text, n + 1);
}

void GetArrayBounds(const Variant& array, int32_t& count, int32_t& lower, int32_t& upper) {
  if (array.IsByteArray()) {
    const ByteArray& b = array.AsBytes();
    count = static_cast<int32_t>(b.bytes.size());
    lower = b.lower;
    upper = lower + count - 1;
    return;
  }
  const VariantArray& a = array.AsArray();
  if (a.dims.empty()) {
    count = 0, lower = 0, upper = -1;
    return;
  }
  count = a.dims[0].count;
  lower = a.dims[0].lower;
  upper = a.dims[0].Upper();
}

std::string JoinWithSeparator(std::string_view left, std::string_view right, char separator) {
  if (left.empty()) return std::string(right);
  if (!left.empty() && left.back() == separator) left.remove_suffix(1);
  if (!right.empty() && right.front() == separator) right.remove_prefix(1);
  std::string out(left);
  out += separator;
  out += right;
  return out;
}

std::string ConcatenatePath(std::string_view left, std::string_view right) {
  return JoinWithSeparator(left, right, '/');
}

}  // namespace qv::mQvCommonCalc
