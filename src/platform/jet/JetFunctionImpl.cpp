#include "platform/jet/JetFunctionImpl.h"

namespace qv::jet::fn {

sqlite3_value* Args::Raw(int i) const {
  if (i < 0 || i >= argc_) ThrowVb(vberr::kArgumentNotOptional);
  return argv_ ? argv_[i] : nullptr;
}

const Variant& Args::Value(int i) const {
  if (i < 0 || i >= argc_) ThrowVb(vberr::kArgumentNotOptional);
  return values_[i];
}

bool Args::AnyNull() const {
  for (int i = 0; i < argc_; ++i)
    if (IsNull(i)) return true;
  return false;
}

std::string_view Args::Text(int i) {
  if (values_) {
    const Variant& v = Value(i);
    if (v.IsString()) return v.AsString();
    return scratch_.emplace_front(CStr(v));
  }
  sqlite3_value* v = Raw(i);
  if (sqlite3_value_type(v) == SQLITE_TEXT) {
    const unsigned char* t = sqlite3_value_text(v);
    return std::string_view(reinterpret_cast<const char*>(t),
                            static_cast<size_t>(sqlite3_value_bytes(v)));
  }
  return scratch_.emplace_front(CStr(ArgToVariant(v)));
}

double Args::Double(int i) const {
  if (values_) return CDbl(Value(i));
  sqlite3_value* v = Raw(i);
  int t = sqlite3_value_type(v);
  if (t == SQLITE_FLOAT || t == SQLITE_INTEGER) return sqlite3_value_double(v);
  return CDbl(ArgToVariant(v));
}

bool Args::IsInteger(int i) const {
  if (values_) {
    const VarType t = Value(i).Type();
    return t == VarType::kByte || t == VarType::kInteger || t == VarType::kLong;
  }
  sqlite3_value* v = Raw(i);
  return sqlite3_value_type(v) == SQLITE_INTEGER && sqlite3_value_subtype(v) == 0;
}

bool Args::IsDate(int i) const {
  if (values_) return Value(i).IsDate();
  sqlite3_value* v = Raw(i);
  const int t = sqlite3_value_type(v);
  return (t == SQLITE_INTEGER || t == SQLITE_FLOAT) && sqlite3_value_subtype(v) == kSubtypeDate;
}

bool Args::IsText(int i) const {
  if (values_) return Value(i).IsString();
  return sqlite3_value_type(Raw(i)) == SQLITE_TEXT;
}

bool Args::IsNumber(int i) const {
  if (values_) {
    const Variant& v = Value(i);
    return v.IsNumericType() || v.IsDate() || v.Type() == VarType::kBoolean;
  }
  const int t = sqlite3_value_type(Raw(i));
  return t == SQLITE_INTEGER || t == SQLITE_FLOAT;
}

int64_t Args::Int64(int i) const {
  if (values_) return CLng(Value(i));
  return sqlite3_value_int64(Raw(i));
}

void ReportError(sqlite3_context* ctx, const Error& e) {
  sqlite::SetFunctionError(e);
  sqlite3_result_error(ctx, e.Description().c_str(), -1);
}

void ReportUnexpected(sqlite3_context* ctx, const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e)) return sqlite3_result_error_nomem(ctx);
  ReportError(ctx, Error(vberr::kInternalError, e.what()));
}

}  // namespace qv::jet::fn
