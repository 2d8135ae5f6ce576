#include "platform/jet/JetValue.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace qv::jet {

namespace {

ByteArray BlobBytes(const void* data, int size) {
  ByteArray b;
  if (size > 0) {
    const auto* p = static_cast<const uint8_t*>(data);
    b.bytes.assign(p, p + size);
  }
  return b;
}

std::string_view TextView(const unsigned char* text, int size) {
  return text ? std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(size))
              : std::string_view();
}

// A value by its storage class alone.
Variant NaturalValue(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      return IntegerVariant(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
      return Variant(sqlite3_value_double(v));
    case SQLITE_TEXT: {
      const unsigned char* t = sqlite3_value_text(v);
      return Variant(TextView(t, sqlite3_value_bytes(v)));
    }
    case SQLITE_BLOB: {
      const void* p = sqlite3_value_blob(v);
      return Variant(BlobBytes(p, sqlite3_value_bytes(v)));
    }
    default:
      return Variant::Null();
  }
}

bool InRange(double d, double lo, double hi) {
  return d >= lo && d <= hi;
}

}  // namespace

Variant IntegerVariant(int64_t i) {
  if (i >= std::numeric_limits<int32_t>::min() && i <= std::numeric_limits<int32_t>::max())
    return Variant(static_cast<int32_t>(i));
  return Variant(static_cast<double>(i));
}

std::optional<Variant> NumberAsJetType(double d, JetType type) {
  switch (type) {
    case JetType::kBoolean:
      return Variant(d != 0);
    case JetType::kByte:
      if (InRange(d, 0, 255)) return Variant(static_cast<uint8_t>(d));
      break;
    case JetType::kInteger:
      if (InRange(d, -32768, 32767)) return Variant(static_cast<int16_t>(d));
      break;
    case JetType::kLong:
      if (InRange(d, -2147483648.0, 2147483647.0)) return IntegerVariant(static_cast<int64_t>(d));
      break;
    case JetType::kCurrency:
      // A value of a Currency column's type beyond its range (a sum of
      // large amounts) is Jet's overflow; as ten-thousandths it would wrap.
      if (!(std::fabs(d) < 922337203685477.5807)) ThrowVb(vberr::kOverflow, "Currency");
      return Variant(Currency{std::llround(d * 10000.0)});
    case JetType::kSingle:
      return Variant(static_cast<float>(d));
    case JetType::kDouble:
    case JetType::kBigInt:
    case JetType::kNumeric:
    case JetType::kDecimal:
    case JetType::kFloat:
      return Variant(d);
    case JetType::kDate:
    case JetType::kTime:
      return Variant(OleDate{d});
    default:
      break;
  }
  return std::nullopt;
}

Variant ArgToVariant(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: {
      sqlite3_int64 i = sqlite3_value_int64(v);
      unsigned sub = sqlite3_value_subtype(v);
      if (sub == kSubtypeBoolean) return Variant(i != 0);
      if (sub == kSubtypeDate) return Variant(OleDate{static_cast<double>(i)});
      return IntegerVariant(i);
    }
    case SQLITE_FLOAT: {
      double d = sqlite3_value_double(v);
      if (sqlite3_value_subtype(v) == kSubtypeDate) return Variant(OleDate{d});
      return Variant(d);
    }
    case SQLITE_TEXT:
      return Variant(TextView(sqlite3_value_text(v), sqlite3_value_bytes(v)));
    case SQLITE_BLOB:
      return Variant(BlobBytes(sqlite3_value_blob(v), sqlite3_value_bytes(v)));
    default:
      return Variant::Null();
  }
}

void ResultVariant(sqlite3_context* ctx, const Variant& v) {
  switch (v.Type()) {
    case VarType::kEmpty:
    case VarType::kNull:
      sqlite3_result_null(ctx);
      return;
    case VarType::kBoolean:
      sqlite3_result_int(ctx, CBool(v) ? -1 : 0);
      sqlite3_result_subtype(ctx, kSubtypeBoolean);
      return;
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
      sqlite3_result_int64(ctx, CLng(v));
      return;
    case VarType::kSingle:
    case VarType::kDouble:
    case VarType::kCurrency:
      sqlite3_result_double(ctx, CDbl(v));
      return;
    case VarType::kDate:
      sqlite3_result_double(ctx, v.AsDateSerial());
      sqlite3_result_subtype(ctx, kSubtypeDate);
      return;
    case VarType::kString: {
      const std::string& s = v.AsString();
      sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      return;
    }
    default:
      if (v.IsByteArray()) {
        const auto& b = v.AsBytes().bytes;
        sqlite3_result_blob64(ctx, b.data(), b.size(), SQLITE_TRANSIENT);
        return;
      }
      ThrowVb(vberr::kTypeMismatch);
  }
}

void BindVariant(sqlite3_stmt* stmt, int index, const Variant& v, std::string_view source,
                 bool copy) {
  const auto keep = copy ? SQLITE_TRANSIENT : SQLITE_STATIC;
  int rc = SQLITE_OK;
  switch (v.Type()) {
    case VarType::kEmpty:
    case VarType::kNull:
      rc = sqlite3_bind_null(stmt, index);
      break;
    case VarType::kBoolean:
      rc = sqlite3_bind_int(stmt, index, CBool(v) ? -1 : 0);
      break;
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
      rc = sqlite3_bind_int64(stmt, index, CLng(v));
      break;
    case VarType::kSingle:
    case VarType::kDouble:
      rc = sqlite3_bind_double(stmt, index, CDbl(v));
      break;
    case VarType::kCurrency:
      rc = sqlite3_bind_double(stmt, index, CCur(v).ToDouble());
      break;
    case VarType::kDate:
      rc = sqlite3_bind_double(stmt, index, v.AsDateSerial());
      break;
    case VarType::kString: {
      const std::string& s = v.AsString();
      // Bound as ending at its terminator when it holds no NUL of its own,
      // so that SQLite knows the text is terminated: otherwise every
      // sqlite3_value_text of it (a Jet function in a table's validation
      // rule, a LIKE) copies it to add the terminator.
      if (s.size() < static_cast<size_t>(INT_MAX) && std::strlen(s.c_str()) == s.size())
        rc = sqlite3_bind_text(stmt, index, s.c_str(), -1, keep);
      else
        rc = sqlite3_bind_text64(stmt, index, s.data(), s.size(), keep, SQLITE_UTF8);
      break;
    }
    default:
      if (!v.IsByteArray()) ThrowJet(jeterr::kConversionError, {}, source);
      {
        const auto& b = v.AsBytes().bytes;
        // No bytes are still a value: a null pointer would bind Null.
        rc = b.empty() ? sqlite3_bind_zeroblob(stmt, index, 0)
                       : sqlite3_bind_blob64(stmt, index, b.data(), b.size(), keep);
      }
  }
  sqlite::Check(rc, sqlite3_db_handle(stmt), source);
}

Variant ColumnToVariant(sqlite3_stmt* stmt, int col, JetType type) {
  // The value is looked up once; the typed reads below are what the
  // sqlite3_column_* calls do after looking it up (the connection has no
  // mutex to take), and each of those looked it up again.
  sqlite3_value* v = sqlite3_column_value(stmt, col);
  int storage = sqlite3_value_type(v);
  if (storage == SQLITE_NULL) return Variant::Null();
  if (type == JetType::kBinary || type == JetType::kVarBinary || type == JetType::kLongBinary) {
    const void* p = sqlite3_value_blob(v);
    return Variant(BlobBytes(p, sqlite3_value_bytes(v)));
  }
  if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
    // A Long column's integer as it is, whatever its size.
    if (type == JetType::kLong && storage == SQLITE_INTEGER)
      return IntegerVariant(sqlite3_value_int64(v));
    if (auto typed = NumberAsJetType(sqlite3_value_double(v), type)) return std::move(*typed);
    if (type == JetType::kText || type == JetType::kMemo || type == JetType::kChar ||
        type == JetType::kGUID)
      return Variant(CStr(NaturalValue(v)));
  }
  return NaturalValue(v);
}

}  // namespace qv::jet
