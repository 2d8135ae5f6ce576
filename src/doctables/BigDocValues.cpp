#include "doctables/BigDocValues.h"

#include "core/mQvCommonCalc.h"
#include "platform/automation/VbaDate.h"

namespace qv::doctables {

namespace {

using mQvCommonCalc::DateToDotText;
using mQvCommonCalc::StrToDoubleEx;
using mQvCommonCalc::StrToLongEx;
using mQvCommonCalc::VarToStr;

// The groups of Variant types the setters tell apart.
enum class Shape { kEmpty, kInteger, kReal, kDate, kString, kBoolean, kOther };

Shape ShapeOf(const Variant& v) {
  switch (static_cast<VarType>(v.VbVarType())) {
    case VarType::kEmpty:
    case VarType::kNull:
      return Shape::kEmpty;
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
      return Shape::kInteger;
    case VarType::kSingle:
    case VarType::kDouble:
      return Shape::kReal;
    case VarType::kDate:
      return Shape::kDate;
    case VarType::kString:
      return Shape::kString;
    case VarType::kBoolean:
      return Shape::kBoolean;
    default:
      return Shape::kOther;
  }
}

std::optional<std::string> NonEmpty(std::string text) {
  if (text.empty()) return std::nullopt;
  return text;
}

std::string IntegerText(int64_t v) {
  return std::to_string(v);
}

std::string BooleanText(bool v) {
  return v ? "1" : "0";
}

// The value of a text kind (String, WideString).
std::optional<std::string> AsText(const Variant& v, Shape shape) {
  switch (shape) {
    case Shape::kInteger:
      return IntegerText(CLng(v));
    case Shape::kReal:
      return DoubleText(v);
    case Shape::kDate:
      return NonEmpty(DateToDotText(v));
    case Shape::kString:
      return NonEmpty(v.AsString());
    case Shape::kBoolean:
      return BooleanText(CBool(v));
    default:
      return NonEmpty(VarToStr(v));
  }
}

std::optional<std::string> AsLong(const Variant& v, Shape shape) {
  if (shape == Shape::kInteger) return IntegerText(CLng(v));
  if (shape == Shape::kReal) return DoubleText(v);
  if (shape != Shape::kString) return std::nullopt;
  bool ok = false;
  const int32_t n = StrToLongEx(v.AsString(), 0, ok);
  if (!ok) return std::nullopt;
  return IntegerText(n);
}

std::optional<std::string> AsDouble(const Variant& v, Shape shape) {
  if (shape == Shape::kInteger) return IntegerText(CLng(v));
  if (shape == Shape::kReal) return DoubleText(v);
  if (shape != Shape::kString) return std::nullopt;
  bool ok = false;
  const double d = StrToDoubleEx(v.AsString(), ok);
  if (!ok) return std::nullopt;
  return DoubleText(Variant(d));
}

std::optional<std::string> AsBoolean(const Variant& v, Shape shape) {
  if (shape == Shape::kInteger || shape == Shape::kReal) return BooleanText(CDbl(v) != 0);
  if (shape == Shape::kBoolean) return BooleanText(CBool(v));
  return std::nullopt;
}

// A count: 0 is no count.
std::optional<std::string> AsCounter(const Variant& v, Shape shape) {
  int32_t n = 0;
  if (shape == Shape::kInteger) {
    n = CLng(v);
  } else if (shape == Shape::kReal) {
    try {
      n = CLng(v);
    } catch (const Error&) {
      n = 0;
    }
  } else if (shape == Shape::kString) {
    bool ok = false;
    n = StrToLongEx(v.AsString(), 0, ok);
  }
  if (n == 0) return std::nullopt;
  return IntegerText(n);
}

}  // namespace

std::string DoubleText(const Variant& aNumber) {
  std::string text = CStr(aNumber);
  // VB's text of a number below 1 in magnitude starts with "0." or "-0.";
  // the cells keep it without the zero.
  if (text.starts_with("0.")) return text.substr(1);
  if (text.starts_with("-0.")) return "-" + text.substr(2);
  return text;
}

std::optional<std::string> EncodeCellValue(const Variant& aValue, int32_t aKind) {
  const Shape shape = ShapeOf(aValue);
  if (shape == Shape::kEmpty) return std::nullopt;
  switch (static_cast<ValueKind>(aKind)) {
    case ValueKind::kString:
    case ValueKind::kWideString:
      return AsText(aValue, shape);
    case ValueKind::kLong:
      return AsLong(aValue, shape);
    case ValueKind::kDouble:
    case ValueKind::kMoney:
      return AsDouble(aValue, shape);
    case ValueKind::kDate:
      if (shape != Shape::kDate) return std::nullopt;
      return NonEmpty(DateToDotText(aValue));
    case ValueKind::kBoolean:
      return AsBoolean(aValue, shape);
    case ValueKind::kCounter:
      return AsCounter(aValue, shape);
  }
  ThrowVb(vberr::kInvalidProcedureCall, "no value kind " + std::to_string(aKind));
}

Variant DecodeCellDate(const std::string& aText) {
  int32_t parts[3] = {0, 0, 0};
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t dot = aText.find('.', start);
    if ((i < 2) == (dot == std::string::npos)) return Variant();
    bool ok = false;
    parts[i] =
        StrToLongEx(aText.substr(start, dot == std::string::npos ? dot : dot - start), 0, ok);
    if (!ok || parts[i] == 0) return Variant();
    start = dot + 1;
  }
  try {
    return Variant(DateSerial(parts[2], parts[1], parts[0]));
  } catch (const Error&) {
    return Variant();
  }
}

}  // namespace qv::doctables
