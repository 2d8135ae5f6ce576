#include "platform/jet/JetFunctionImpl.h"

namespace qv::jet::fn {

sqlite3_value* Args::Raw(int i) const {
  if (i < 0 || i >= argc_) ThrowVb(vberr::kArgumentNotOptional);
  return argv_[i];
}

bool Args::AnyNull() const {
  for (int i = 0; i < argc_; ++i)
    if (sqlite3_value_type(argv_[i]) == SQLITE_NULL) return true;
  return false;
}

std::string_view Args::Text(int i) {
  sqlite3_value* v = Raw(i);
  if (sqlite3_value_type(v) == SQLITE_TEXT) {
    const unsigned char* t = sqlite3_value_text(v);
    return std::string_view(reinterpret_cast<const char*>(t),
                            static_cast<size_t>(sqlite3_value_bytes(v)));
  }
  return scratch_.emplace_front(CStr(ArgToVariant(v)));
}

double Args::Double(int i) const {
  sqlite3_value* v = Raw(i);
  int t = sqlite3_value_type(v);
  if (t == SQLITE_FLOAT || t == SQLITE_INTEGER) return sqlite3_value_double(v);
  return CDbl(ArgToVariant(v));
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
