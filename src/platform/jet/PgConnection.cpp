#include "platform/jet/PgConnection.h"
#include "platform/jet/ServerLocation.h"

#include <libpq-fe.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <limits>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/automation/VbaText.h"
#include "platform/jet/JetCellValue.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetSchemaChange.h"
#include "platform/jet/JetTableSql.h"
#include "platform/jet/JetValue.h"
#include "platform/jet/PgLockSession.h"
#include "platform/jet/Sqlite.h"
#include "platform/jet/sql/JetLiterals.h"
#include "platform/jet/sql/JetPostgres.h"
#include "platform/jet/sql/JetServerFunctions.h"

namespace qv::jet {

namespace {

// Type identifiers of the server's built-in types (pg_type.oid).
constexpr Oid kOidBool = 16;
constexpr Oid kOidBytea = 17;
constexpr Oid kOidInt8 = 20;
constexpr Oid kOidInt2 = 21;
constexpr Oid kOidInt4 = 23;
constexpr Oid kOidText = 25;
constexpr Oid kOidFloat4 = 700;
constexpr Oid kOidFloat8 = 701;
constexpr Oid kOidNumeric = 1700;

// The statement that marks the start of a statement inside a transaction,
// so that a failing one undoes itself alone: the server would otherwise
// refuse every statement after it until the transaction ends.
constexpr std::string_view kStatementSavepoint = "jet_stmt";

// A change of a schema is told (NOTIFY) on that schema's own channel,
// "jet_schema_" and its OID (short, unique in the database, kept by a
// rename); a session listens on the channels of the schemas its search
// path names and drops what it translated and prepared when one of them
// changes, not when another folder's or a shard's schema does.
// The call that tells of a change of the session's current schema (where
// its schema statements go).
constexpr std::string_view kSchemaChangeNotice =
    "pg_notify('jet_schema_' || (SELECT oid FROM pg_namespace "
    "WHERE nspname = current_schema()), '')";
// A commit of rows is told on the channel of the table's schema too, with
// the payload "rows" (a schema change's is empty): a statement-level
// trigger on each Jet table TellCommitsOf names calls this function, made
// in each schema of a catalogue. The server folds the notices of one
// transaction into one and sends it at the commit only; a trigger also
// sees writes made by other programs.
constexpr std::string_view kRowsFunctionBody =
    "RETURNS trigger LANGUAGE plpgsql AS $f$BEGIN PERFORM pg_notify('jet_schema_' || "
    "(SELECT relnamespace FROM pg_class WHERE oid = TG_RELID), 'rows'); RETURN NULL; END$f$";
// An UPDATE or DELETE held for the session's next request
// (RunWithNextRequest) runs as a select of this function of the rows it
// changed (CheckedSql), made in each schema of a catalogue: none is Jet's
// 3167, raised on the server so that what the pipeline holds after it (a
// COMMIT) does not run.
constexpr std::string_view kChangedFunction = "\"_jet_changed\"";
constexpr std::string_view kChangedFunctionBody =
    "(n bigint) RETURNS bigint LANGUAGE plpgsql AS $f$BEGIN IF n = 0 THEN RAISE EXCEPTION "
    "USING ERRCODE = 'Q3167', MESSAGE = 'Record is deleted.'; END IF; RETURN n; END$f$";
std::string CheckedSql(std::string_view sql) {
  return "WITH jet_rows AS (" + std::string(sql) + " RETURNING 1) SELECT " +
         std::string(kChangedFunction) + "(count(*)) FROM jet_rows";
}
constexpr std::string_view kRowsTrigger =
    "CREATE TRIGGER \"_jet_rows_changed\" AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON ";
constexpr std::string_view kRowsTriggerAction =
    " FOR EACH STATEMENT EXECUTE FUNCTION \"_jet_rows_changed\"()";
// Listens on the channels of the schemas of the search path that exist.
constexpr std::string_view kListenSchemaChanges =
    "DO $jet$DECLARE s oid; BEGIN FOR s IN SELECT oid FROM pg_namespace "
    "WHERE nspname = ANY (current_schemas(false)) LOOP EXECUTE format('LISTEN %I', "
    "'jet_schema_' || s); END LOOP; END $jet$";
// The lock service's error when its lock stays held (LockWithBegin's wait).
constexpr int32_t kCouldNotLockFile = 3050;
// The name in the key of the write-locked levels' advisory lock (apart from
// the database lock service's "Qv_DBLock").
constexpr std::string_view kWriteLockName = "Qv_WriteLock";
constexpr std::string_view kWriteLockStatement = "jet_write_lock";

// The call that takes the open lock (kOpenLockClass) of the schema whose
// OID the integer expression `oid` gives, without waiting: true when taken,
// false while another session holds it against this one (an exclusive open
// conflicts with every open), Null when there is no such schema.
std::string OpenLockCall(bool exclusive, std::string_view oid) {
  return std::string(exclusive ? "pg_try_advisory_lock(" : "pg_try_advisory_lock_shared(") +
         std::to_string(kOpenLockClass) + ", " + std::string(oid) + ")";
}

// An open, or a session's reconnect, refused by another session's open lock.
[[noreturn]] void ThrowOpenLocked(std::string_view shown, bool exclusive) {
  throw Error(jeterr::kLocked,
              JetErrorText(jeterr::kLocked) + " The database at '" + std::string(shown) +
                  (exclusive ? "' is open in another session."
                             : "' is open exclusively in another session."),
              std::string(kSourceDatabase));
}

// The statement shapes a connection keeps prepared on the server at most.
constexpr size_t kMaxCachedShapes = 512;
// The texts last prepared, one per slot chosen by the text's hash.
constexpr size_t kTextSlots = 64;

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

std::string_view DiagField(const PGresult* r, int code) {
  const char* s = r ? PQresultErrorField(r, code) : nullptr;
  return s ? std::string_view(s) : std::string_view();
}

[[noreturn]] void ThrowResult(const PGresult* r, PGconn* conn, std::string_view source) {
  const std::string_view state = DiagField(r, PG_DIAG_SQLSTATE);
  if (state.empty()) {
    // No answer from the server: the connection is gone.
    std::string message = PQerrorMessage(conn);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
      message.pop_back();
    throw Error(jeterr::kDiskError, JetErrorText(jeterr::kDiskError) + " " + message,
                std::string(source));
  }
  throw PgToJetError(state, DiagField(r, PG_DIAG_MESSAGE_PRIMARY), DiagField(r, PG_DIAG_TABLE_NAME),
                     DiagField(r, PG_DIAG_COLUMN_NAME), DiagField(r, PG_DIAG_CONSTRAINT_NAME),
                     source);
}

bool Succeeded(const PGresult* r) {
  const ExecStatusType st = PQresultStatus(r);
  return st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
}

void AppendDouble(std::string& out, double d) {
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
  if (ec == std::errc())
    out.append(buf, end);
  else
    out += '0';
}

// `bytes` in bytea's hex form.
void AppendBytea(std::string& out, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  for (const char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  }
}

// A Variant as the server reads a parameter's text, appended to `out`:
// Boolean -1/0, Date its day number, Currency its value, bytes as bytea's
// hex form. For a bytea parameter (`bytes`) any other value is the bytes of
// that text (a text its own UTF-8 bytes, whatever it spells). False for
// Null (no value, nothing appended). A text holding a NUL character is
// refused (3421): the server's texts cannot hold one, and libpq would send
// the text cut off there. A refused value appends nothing.
// What AppendParameterText did with a value: Null (nothing appended), its
// text, or nothing because the parameter's type cannot take its kind.
enum class Given : uint8_t { kNull, kText, kOtherKind };

// The literal kind a text of the same shape would have in place of a
// literal whose parameter is of type `type`, to run with `v` as the file
// engine runs it: a text or a fraction (a Date is its day number) where the
// parameter is integer, a text where it is double precision; else `own`.
// Numbers, Booleans and Null in place of a text behave as the text
// statement already does.
sql::LiteralKind KindFor(const Variant& v, Oid type, sql::LiteralKind own) {
  if (type != kOidInt4 && type != kOidFloat8) return own;
  switch (v.Type()) {
    case VarType::kString:
      return sql::LiteralKind::kText;
    case VarType::kSingle:
    case VarType::kDouble:
    case VarType::kCurrency:
    case VarType::kDate:
      return type == kOidInt4 ? sql::LiteralKind::kNumber : own;
    default:
      return own;
  }
}

// `v` as the text of a parameter of type `type` (bytea: escaped; 0: any
// type), appended to `out`; kOtherKind, nothing appended, when `type` is one
// KindFor would change.
Given AppendParameterText(std::string& out, const Variant& v, std::string_view source,
                          Oid type = 0) {
  if (type == kOidBytea && !v.IsByteArray()) {
    std::string text;
    if (AppendParameterText(text, v, source) == Given::kNull) return Given::kNull;
    AppendBytea(out, text);
    return Given::kText;
  }
  switch (v.Type()) {
    case VarType::kEmpty:
    case VarType::kNull:
      return Given::kNull;
    case VarType::kBoolean:
      out += CBool(v) ? "-1" : "0";
      return Given::kText;
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong: {
      char buf[16];
      const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, CLng(v));
      out.append(buf, end);
      return Given::kText;
    }
    case VarType::kSingle:
    case VarType::kDouble:
      if (type == kOidInt4) return Given::kOtherKind;
      AppendDouble(out, CDbl(v));
      return Given::kText;
    case VarType::kCurrency:
      if (type == kOidInt4) return Given::kOtherKind;
      AppendDouble(out, CCur(v).ToDouble());
      return Given::kText;
    case VarType::kDate:
      if (type == kOidInt4) return Given::kOtherKind;
      AppendDouble(out, v.AsDateSerial());
      return Given::kText;
    case VarType::kString:
      if (type == kOidInt4 || type == kOidFloat8) return Given::kOtherKind;
      if (v.AsString().find('\0') != std::string::npos)
        ThrowJet(jeterr::kConversionError, {}, source);
      out += v.AsString();
      return Given::kText;
    default:
      break;
  }
  if (!v.IsByteArray()) ThrowJet(jeterr::kConversionError, {}, source);
  const std::vector<uint8_t>& b = v.AsBytes().bytes;
  AppendBytea(out, std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
  return Given::kText;
}

// The values of the runs of a pipelined batch as the server's parameters:
// every text in one buffer, each ended by a NUL, and where each starts
// (-1: Null), `width` per run; the runs are sent from there.
struct PipelineRuns {
  std::string texts;
  std::vector<ptrdiff_t> starts;
  size_t width = 0, count = 0;
  bool otherKind = false;  // a value of a kind the statement's parameter cannot take
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

ByteArray ByteaBytes(std::string_view text) {
  ByteArray b;
  if (text.starts_with("\\x")) {
    for (size_t i = 2; i + 1 < text.size(); i += 2)
      b.bytes.push_back(static_cast<uint8_t>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1])));
  } else {
    b.bytes.assign(text.begin(), text.end());
  }
  return b;
}

bool IsNumberOid(Oid oid) {
  return oid == kOidInt2 || oid == kOidInt4 || oid == kOidInt8 || oid == kOidFloat4 ||
         oid == kOidFloat8 || oid == kOidNumeric;
}

// The number of a value's text: read in place (a row's numbers cost no
// copy), the server's "Infinity" and "NaN" through strtod. `text` is a
// value of a result, which libpq ends with a NUL.
double NumberText(std::string_view text, Oid oid) {
  const char* end = text.data() + text.size();
  if (oid == kOidInt2 || oid == kOidInt4 || oid == kOidInt8) {
    // The server's integer text: an optional '-', then digits. Up to 18
    // digits summed here (a cell's number mostly has a few), more by
    // from_chars.
    const bool negative = !text.empty() && text[0] == '-';
    const char* p = text.data() + negative;
    if (end - p <= 18) {
      int64_t i = 0;
      for (; p != end; ++p) i = i * 10 + (*p - '0');
      return static_cast<double>(negative ? -i : i);
    }
    int64_t i = 0;
    std::from_chars(text.data(), end, i);
    return static_cast<double>(i);
  }
  double d = 0;
  const auto [stop, ec] = std::from_chars(text.data(), end, d);
  return ec == std::errc() && stop == end ? d : std::strtod(text.data(), nullptr);
}

// A value by the server's type alone (a column the translator left untyped).
Variant NaturalValue(std::string_view text, Oid oid) {
  switch (oid) {
    case kOidInt2:
    case kOidInt4:
    case kOidInt8: {
      int64_t i = 0;
      std::from_chars(text.data(), text.data() + text.size(), i);
      return IntegerVariant(i);
    }
    case kOidFloat4:
    case kOidFloat8:
    case kOidNumeric:
      return Variant(NumberText(text, oid));
    case kOidBool:
      return Variant(text == "t");
    case kOidBytea:
      return Variant(ByteaBytes(text));
    default:
      return Variant(text);
  }
}

// A value of the server's text form typed by its Jet type, as the file
// engine types what it stores (ColumnToVariant).
Variant CellValue(std::string_view text, Oid oid, JetType type) {
  if (IsNumberOid(oid)) {
    const double d = NumberText(text, oid);
    if (auto typed = NumberAsJetType(d, type)) return std::move(*typed);
    if (type == JetType::kText || type == JetType::kMemo || type == JetType::kChar ||
        type == JetType::kGUID)
      return Variant(CStr(NaturalValue(text, oid)));
    return NaturalValue(text, oid);
  }
  switch (type) {
    case JetType::kBoolean:
      if (oid == kOidBool) return Variant(text == "t");
      break;
    case JetType::kText:
    case JetType::kMemo:
    case JetType::kChar:
    case JetType::kGUID:
      if (oid != kOidBytea) return Variant(text);
      break;
    case JetType::kBinary:
    case JetType::kVarBinary:
    case JetType::kLongBinary:
      if (oid == kOidBytea) return Variant(ByteaBytes(text));
      break;
    default:
      break;
  }
  return NaturalValue(text, oid);
}

// A value of the server's text form as the typed cell CellValue makes of
// it, for the kinds SetCellValue writes in place (a number of a Long,
// Integer, Byte, Double or Date column, a text of a text column, a Null);
// kOther for the rest, which CellValue reads. `text` is a value of a result
// (NUL-ended).
[[gnu::always_inline]] inline Statement::Cell PgCell(std::string_view text, Oid oid, JetType type) {
  using Kind = Statement::Cell::Kind;
  Statement::Cell c;
  if (IsNumberOid(oid)) {
    // As NumberAsJetType types the number.
    c.number = NumberText(text, oid);
    switch (type) {
      case JetType::kLong:
        if (c.number >= -2147483648.0 && c.number <= 2147483647.0) c.kind = Kind::kLong;
        break;
      case JetType::kInteger:
        if (c.number >= -32768 && c.number <= 32767) c.kind = Kind::kInteger;
        break;
      case JetType::kByte:
        if (c.number >= 0 && c.number <= 255) c.kind = Kind::kByte;
        break;
      case JetType::kDouble:
      case JetType::kBigInt:
      case JetType::kNumeric:
      case JetType::kDecimal:
      case JetType::kFloat:
        c.kind = Kind::kDouble;
        break;
      case JetType::kDate:
      case JetType::kTime:
        c.kind = Kind::kDate;
        break;
      default:
        break;
    }
    return c;
  }
  if ((type == JetType::kText || type == JetType::kMemo || type == JetType::kChar ||
       type == JetType::kGUID) &&
      oid != kOidBytea) {
    c.kind = Kind::kText;
    c.text = text;
  }
  return c;
}

// The server's type of a literal's parameter: Long literals integer,
// other numbers double precision, texts and GUIDs text.
Oid LiteralOid(sql::LiteralKind kind) {
  switch (kind) {
    case sql::LiteralKind::kLong:
      return kOidInt4;
    case sql::LiteralKind::kNumber:
      return kOidFloat8;
    default:
      return kOidText;
  }
}

std::string LiteralText(const sql::Literal& lit) {
  switch (lit.kind) {
    case sql::LiteralKind::kText:
      return sql::TextLiteralValue(lit.token);
    case sql::LiteralKind::kGuid:
      return sql::GuidLiteralValue(lit.token);
    case sql::LiteralKind::kLong:
      return std::string(lit.token);
    case sql::LiteralKind::kNumber: {
      std::string out;
      AppendDouble(out, sql::NumberLiteralValue(lit.token));
      return out;
    }
  }
  return std::string(lit.token);
}

std::string Quoted(std::string_view name) {
  std::string out;
  sqlite::AppendQuoted(out, name);
  return out;
}

// A Jet table's or field's name as the server's quoted identifier
// (sql::ServerObjectName).
std::string ServerQuoted(std::string_view name) {
  std::string out;
  sql::AppendServerName(out, name);
  return out;
}

// The quoted name of transaction level `depth`'s savepoint.
std::string LevelName(int depth) {
  return Quoted("jet_tx" + std::to_string(depth));
}

std::string IndexFieldsText(const IndexSpec& index) {
  std::string out;
  for (const IndexField& f : index.fields) {
    if (!out.empty()) out += ';';
    if (f.descending) out += '-';
    out += f.name;
  }
  return out;
}

constexpr std::string_view kCatalogueSql =
    "CREATE TABLE IF NOT EXISTS \"_jet_info\" (\"locale\" text, "
    "\"schema_version\" integer NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS \"_jet_tables\" (\"ordinal\" integer GENERATED ALWAYS AS IDENTITY, "
    "\"name\" text PRIMARY KEY);"
    "CREATE TABLE IF NOT EXISTS \"_jet_fields\" (\"table_name\" text, \"ordinal\" integer, "
    "\"name\" text, \"type\" smallint, \"size\" integer, \"required\" boolean, "
    "\"allow_zero_length\" boolean, \"default_value\" text, \"auto_increment\" boolean, "
    "\"unicode_compression\" boolean, PRIMARY KEY (\"table_name\", \"ordinal\"));"
    "CREATE TABLE IF NOT EXISTS \"_jet_indexes\" (\"table_name\" text, \"name\" text, "
    "\"fields\" text, \"is_primary\" boolean, \"is_unique\" boolean, "
    "PRIMARY KEY (\"table_name\", \"name\"))";

// The catalogue's tables and fields whose names are beyond the server's
// limit: (table, Null) rows first, then (table, field).
constexpr std::string_view kLongNamesSql =
    "SELECT \"name\", NULL FROM \"_jet_tables\" WHERE octet_length(\"name\") > 63 "
    "UNION ALL SELECT \"table_name\", \"name\" FROM \"_jet_fields\" "
    "WHERE octet_length(\"name\") > 63 ORDER BY 2 NULLS FIRST";

// A text as the server's literal.
std::string Literal(std::string_view text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// A database made before tables without a primary key had the row key
// (sql::kServerRowKey): each such table gets it, numbering its rows, and the
// other sessions are told of the change. One round trip when nothing is
// missing.
//
// The same round trip makes the function that tells of commits of rows in
// the schema when it is missing, and the one that checks a held statement's
// rows (kChangedFunction), the trigger that calls it on each table
// of the catalogue TellCommitsOf names that lacks it (a database made
// before they were), and drops it from the other tables (a database made
// when every table had it). Two sessions opening at once: the second's
// duplicate is let go.
std::string UpgradeSql() {
  const std::string key(sql::kServerRowKey);
  // The catalogue's tables without a primary key whose table lacks the key.
  const std::string missing =
      "SELECT j.\"name\" FROM \"_jet_tables\" j "
      "WHERE to_regclass(quote_ident(j.\"name\")) IS NOT NULL "
      "AND NOT EXISTS (SELECT 1 FROM \"_jet_indexes\" x "
      "WHERE x.\"table_name\" = j.\"name\" AND x.\"is_primary\") "
      "AND NOT EXISTS (SELECT 1 FROM pg_attribute a "
      "WHERE a.attrelid = to_regclass(quote_ident(j.\"name\")) AND a.attname = '" +
      key + "' AND NOT a.attisdropped)";
  const std::string add = "EXECUTE format('ALTER TABLE %I ADD COLUMN IF NOT EXISTS " +
                          sql::PostgresRowKeySql() + "', t)";
  const std::string notify = "PERFORM " + std::string(kSchemaChangeNotice);
  const std::string function =
      "IF to_regprocedure(format('%I.\"_jet_rows_changed\"()', current_schema())) IS NULL "
      "THEN BEGIN EXECUTE format($q$CREATE FUNCTION %I.\"_jet_rows_changed\"() " +
      std::string(kRowsFunctionBody) +
      "$q$, current_schema()); EXCEPTION WHEN duplicate_function OR unique_violation THEN "
      "NULL; END; END IF; "
      "IF to_regprocedure(format('%I.\"_jet_changed\"(bigint)', current_schema())) IS NULL "
      "THEN BEGIN EXECUTE format($q$CREATE FUNCTION %I." +
      std::string(kChangedFunction) + std::string(kChangedFunctionBody) +
      "$q$, current_schema()); EXCEPTION WHEN duplicate_function OR unique_violation THEN "
      "NULL; END; END IF; ";
  std::string told;
  for (const std::string& t : TablesTold()) told += (told.empty() ? "" : ", ") + Literal(t);
  told = "ARRAY[" + told + "]::text[]";
  // The catalogue's tables told (or not) and without (or with) the trigger.
  const std::string catalogued =
      "SELECT j.\"name\" FROM \"_jet_tables\" j "
      "WHERE to_regclass(quote_ident(j.\"name\")) IS NOT NULL AND lower(j.\"name\") ";
  const std::string hasTrigger =
      " (SELECT 1 FROM pg_trigger g WHERE g.tgrelid = to_regclass(quote_ident(j.\"name\")) "
      "AND g.tgname = '_jet_rows_changed')";
  const std::string untriggered = catalogued + "= ANY (" + told + ") AND NOT EXISTS" + hasTrigger;
  const std::string untold = catalogued + "<> ALL (" + told + ") AND EXISTS" + hasTrigger;
  const std::string trigger = "BEGIN EXECUTE format($q$" + std::string(kRowsTrigger) + "%I" +
                              std::string(kRowsTriggerAction) +
                              "$q$, t); EXCEPTION WHEN duplicate_object THEN NULL; END";
  return "DO $jet$DECLARE t text; BEGIN " + function + "FOR t IN " + missing + " LOOP " + add +
         "; " + notify + "; END LOOP; FOR t IN " + untriggered + " LOOP " + trigger +
         "; END LOOP; FOR t IN " + untold +
         " LOOP EXECUTE format('DROP TRIGGER IF EXISTS \"_jet_rows_changed\" ON %I', t); "
         "END LOOP; END $jet$";
}

}  // namespace

// ---- errors

std::string ShownLocation(std::string_view conninfo) {
  constexpr std::string_view kMask = "********";
  std::string out(conninfo);
  if (out.starts_with("postgresql://") || out.starts_with("postgres://")) {
    const size_t start = out.find("://") + 3;
    const size_t end = std::min(out.find_first_of("/?", start), out.size());
    const size_t at = out.rfind('@', end);
    if (at != std::string::npos && at >= start)
      if (const size_t colon = out.find(':', start); colon < at)
        out.replace(colon + 1, at - colon - 1, kMask);
    // ?password=... among the parameters
    for (size_t p = out.find("password=", end); p != std::string::npos;
         p = out.find("password=", p + 1)) {
      if (out[p - 1] != '?' && out[p - 1] != '&') continue;
      const size_t v = p + 9;
      out.replace(v, std::min(out.find('&', v), out.size()) - v, kMask);
    }
    return out;
  }
  // keyword = value, the value quoted ('...', with \' and \\ inside) or a word.
  for (size_t p = out.find("password"); p != std::string::npos; p = out.find("password", p + 1)) {
    if (p > 0 && out[p - 1] != ' ' && out[p - 1] != '\t') continue;
    size_t v = p + 8;
    while (v < out.size() && out[v] == ' ') ++v;
    if (v >= out.size() || out[v] != '=') continue;
    ++v;
    while (v < out.size() && out[v] == ' ') ++v;
    size_t e = v;
    if (e < out.size() && out[e] == '\'') {
      for (++e; e < out.size() && out[e] != '\''; ++e)
        if (out[e] == '\\') ++e;
      e = std::min(e + 1, out.size());
    } else {
      while (e < out.size() && out[e] != ' ' && out[e] != '\t') ++e;
    }
    out.replace(v, e - v, kMask);
  }
  return out;
}

Error PgToJetError(std::string_view sqlstate, std::string_view message, std::string_view table,
                   std::string_view column, std::string_view constraint, std::string_view source) {
  auto jet = [&](int32_t number, std::string_view arg = {}) {
    return Error(number, JetErrorText(number, {arg}), std::string(source));
  };
  auto tableField = [&](std::string_view field) {
    return std::string(table) + "." + std::string(field);
  };
  // A Jet function's error on the server (the extension's qv_jet_call):
  // "Q" and its number in four digits, the message its description.
  if (sqlstate.size() == 5 && sqlstate[0] == 'Q' &&
      std::all_of(sqlstate.begin() + 1, sqlstate.end(),
                  [](char c) { return c >= '0' && c <= '9'; }))
    return Error(std::atoi(std::string(sqlstate.substr(1)).c_str()), std::string(message),
                 std::string(source));
  if (sqlstate == "23505") return jet(jeterr::kDuplicateKey);
  if (sqlstate == "23502") return jet(jeterr::kRequired, tableField(column));
  if (sqlstate == "23514") {
    // The catalogue names its checks by what they check and the field.
    if (constraint.starts_with(kCheckSize)) return jet(jeterr::kFieldTooSmall);
    if (constraint.starts_with(kCheckZeroLength))
      return jet(jeterr::kZeroLength, tableField(constraint.substr(kCheckZeroLength.size())));
    if (constraint.starts_with(kCheckType)) return jet(jeterr::kTypeMismatch);
  }
  if (sqlstate == "22001") return jet(jeterr::kFieldTooSmall);
  // more than one row returned by a subquery used as an expression
  if (sqlstate == "21000") return jet(jeterr::kSubqueryRows);
  if (sqlstate == "55P03" || sqlstate == "40P01" || sqlstate == "40001")
    return jet(jeterr::kLocked);
  if (sqlstate == "25006") return jet(jeterr::kReadOnly);
  if (sqlstate == "42P01") {
    // relation "T" does not exist
    std::string_view name = message;
    if (const size_t a = message.find('"'), b = message.rfind('"');
        a != std::string_view::npos && b > a)
      name = message.substr(a + 1, b - a - 1);
    return jet(jeterr::kNoInputTable, name);
  }
  if (sqlstate == "42703") return jet(jeterr::kTooFewParameters, "1");
  if (sqlstate == "42883") {
    // function jet_x(text) does not exist
    std::string_view name = message;
    if (name.starts_with("function ")) name.remove_prefix(9);
    name = name.substr(0, name.find('('));
    return jet(jeterr::kUndefinedFunction, name);
  }
  if (sqlstate == "42P07") return jet(jeterr::kTableExists, table);
  if (sqlstate == "42701") return jet(jeterr::kFieldDefinedTwice);
  if (sqlstate == "22P02" || sqlstate == "42804" || sqlstate == "22003")
    return jet(jeterr::kTypeMismatch);
  // Bytes read as a text that are no UTF-8 (Len of a binary column): VB's
  // mismatch, as a function given bytes raises on a file.
  if (sqlstate == "22021")
    return Error(vberr::kTypeMismatch, std::string(VbErrorText(vberr::kTypeMismatch)),
                 std::string(source));
  if (sqlstate == "57014") return jet(jeterr::kCanceled);
  if (sqlstate == "53100") return jet(jeterr::kDiskFull);
  if (sqlstate == "53200") return jet(jeterr::kResourceExceeded);
  // The connection lost, or the session ended by the server (a shutdown or
  // restart, a terminated backend): the server's reason follows Jet's text.
  if (sqlstate.starts_with("08") || sqlstate == "57P01" || sqlstate == "57P02" ||
      sqlstate == "57P03")
    return Error(jeterr::kDiskError, JetErrorText(jeterr::kDiskError) + " " + std::string(message),
                 std::string(source));
  return Error(jeterr::kReserved, std::string(message), std::string(source));
}

// ---- the connection's state

namespace {

// One statement shape prepared on the server.
struct Entry {
  std::string name;  // the server's name of the prepared statement; empty for a schema statement
  Translation translation;
  std::vector<uint16_t> parameters;  // the literal each parameter stands for
  std::vector<Oid> types;            // each parameter's type
  // The Jet text it was made for, where its literals are and their kinds:
  // the text a value of another kind bound in place of one is run as.
  std::string jetText;
  std::vector<std::pair<size_t, size_t>> spans;  // each literal's position and size
  std::vector<sql::LiteralKind> kinds;
  // The kinds of literals whose text the server refused to prepare: not
  // asked again.
  std::vector<std::vector<sql::LiteralKind>> refused;
  std::vector<ColumnMeta> columns;
  bool columnsKnown = false;
  uint64_t preparedIn = 0;  // the connection's PgConnection::Impl::deallocations then
  // An UPDATE's or DELETE's checked form (CheckedSql), prepared under the
  // name and "c" when held for the next request: `deallocations` then.
  std::optional<uint64_t> checkedIn;
};

// The visible result columns of `r` (a description or a result), named
// and typed by the entry's translation where it has them.
void FillColumns(Entry& entry, const PGresult* r) {
  const int hidden = entry.translation.hiddenTrailingColumns;
  entry.columns.clear();
  for (int i = 0; i < PQnfields(r) - hidden; ++i) {
    ColumnMeta m;
    if (i < static_cast<int>(entry.translation.columns.size())) {
      const ResultColumn& rc = entry.translation.columns[static_cast<size_t>(i)];
      m.name = rc.name;
      m.type = rc.type;
      m.size = rc.size;
    } else {
      m.name = PQfname(r, i);
    }
    entry.columns.push_back(std::move(m));
  }
  entry.columnsKnown = true;
}

struct CachedTable {
  std::shared_ptr<const TableSpec> spec;
  std::vector<ColumnInfo> columns;
};

// A select's rows read from the server one at a time as they arrive
// (libpq's single-row mode): the server sends them all after one request,
// so a small result costs one round trip as before, and a large one is
// never held whole. The connection can send nothing else until the rows
// are all read: a statement sent meanwhile first moves the rest into
// `ahead` (the only case in which they are held).
struct Stream {
  bool active = false;          // rows still to come from the connection
  bool pipelined = false;       // in a transaction: after a savepoint, before its release
  bool syncAfter = false;       // after selects sent with it: its pipeline's sync follows
  bool queued = false;          // waits to go with the next select (StartWithNextSelect)
  bool begunAhead = false;      // went with another select: its rows are ahead (or its error)
  bool side = false;            // sent on the side session (PgConnection::Impl::side)
  std::deque<ResultPtr> ahead;  // rows read ahead for another statement's sake
  std::optional<Error> error;   // the failure met while reading ahead
};

// A select waiting to go with the connection's next select: its statement's
// prepared entry, values and rows.
struct Queued {
  Entry* entry;
  const std::vector<std::optional<std::string>>* values;
  Stream* stream;
};

}  // namespace

struct PgConnection::Impl {
  PGconn* conn = nullptr;
  // The advisory lock of write-locked levels: AdvisoryLockKey of the
  // session's database and schema and kWriteLockName.
  int64_t writeLockKey = 0;
  // The write lock's select is prepared in the session as kWriteLockStatement
  // (by the open's, the reconnect's and DEALLOCATE ALL's own round trips), so
  // that a write-locked transaction's lock is parsed and planned once a
  // session rather than in every transaction. A read-only session leaves it
  // unprepared and runs the select's text.
  bool writeLockPrepared = false;
  std::string PrepareWriteLock() const {
    return "PREPARE " + std::string(kWriteLockStatement) + " AS " + WriteLockSelect();
  }
  std::string WriteLockSelect() const {
    return "SELECT pg_advisory_xact_lock(" + std::to_string(writeLockKey) + ")";
  }
  // The session's database and schema the keys are made of.
  std::string keyDatabase, keySchema;
  // Another advisory lock the outermost level takes before its write lock
  // (LockWithBegin), as one pending command that sets its own wait, takes
  // the lock and puts the session's wait back. One plain select: a DO
  // block doing the same was compiled by the server at every call (about
  // 0.1 ms), and three statements cost two more parses and results.
  std::string keyLock;
  int keyTimeoutMs = -1;
  int64_t keyValue = 0;
  // The error of that lock's wait running out, and the connection's
  // failure when the lock's statement gave it (keyAt: the result of the
  // request being read that is the lock's; npos: none).
  std::string keyBusy;
  mutable size_t keyAt = std::string::npos;
  mutable bool keyFailed = false;
  std::unordered_map<std::string, std::shared_ptr<Entry>> cache;  // by shape and value literals
  // A text prepared before, its entry and its literals' values: a caller
  // runs the same texts again and again, and finding the entry by the text
  // itself spares the literal scan, the shape's key and the values' texts.
  // Only a text equal to the slot's takes its entry; emptied with `cache`.
  // A text has two slots (two parts of its hash): found in either, and a
  // new one takes the less recently used of its two, so that texts a call
  // runs in turn do not push each other out when their first slots meet.
  struct TextSlot {
    std::string text;
    uint64_t used = 0;             // textClock when last taken
    std::shared_ptr<Entry> entry;  // null: the slot is empty
    std::vector<std::optional<std::string>> values;
  };
  std::array<TextSlot, kTextSlots> texts;
  uint64_t textClock = 0;
  void ClearCache() {
    cache.clear();
    for (TextSlot& slot : texts) slot.entry.reset();
  }
  uint64_t named = 0;
  uint64_t deallocations = 0;  // DEALLOCATE ALL run so far
  sql::LiteralScan scan;
  std::vector<size_t> positions;
  std::vector<LiteralUse> uses;
  // The catalogue as read: table names by their folded form, definitions.
  bool namesRead = false;
  std::unordered_map<std::string, std::string> names;
  std::vector<std::string> ordered;
  // Folded names of the schema's tables the catalogue lacks (made by psql
  // or a script): described from the server's own catalogue.
  std::set<std::string> uncatalogued;
  std::unordered_map<std::string, CachedTable> tables;

  // The Jet name of the server's table `server` (sql::ServerObjectName of
  // the catalogue's name): a name cut to fit maps back; another is itself.
  std::string JetTableName(std::string_view server) const {
    if (server.size() == sql::kServerNameBytes)
      for (const auto& [key, name] : names)
        if (sql::ServerObjectName(name) == server) return name;
    return std::string(server);
  }
  // The same for a column of Jet table `table` read before.
  std::string JetFieldName(std::string_view table, std::string_view server) const {
    if (server.size() == sql::kServerNameBytes)
      if (auto t = tables.find(FoldCase(table)); t != tables.end())
        for (const FieldSpec& f : t->second.spec->fields)
          if (sql::ServerObjectName(f.name) == server) return f.name;
    return std::string(server);
  }

  // The server's failure as Jet's error, naming the table and the field by
  // their Jet names. A check of a field whose name with the check's kind is
  // beyond the server's limit has a shortened name (sql::PostgresCheckName):
  // the error names the field as the catalogue knows it.
  [[noreturn]] void ThrowResult(const PGresult* r, PGconn* c, std::string_view source) const {
    const std::string_view state = DiagField(r, PG_DIAG_SQLSTATE);
    keyAt = std::string::npos;  // a request not read (the session lost)
    if (std::exchange(keyFailed, false) && state == "55P03")
      throw Error(kCouldNotLockFile, keyBusy, std::string(source));
    if (state.empty()) jet::ThrowResult(r, c, source);
    const std::string table = JetTableName(DiagField(r, PG_DIAG_TABLE_NAME));
    std::string constraint(DiagField(r, PG_DIAG_CONSTRAINT_NAME));
    if (state == "23514" && constraint.starts_with(kCheckZeroLength) &&
        constraint.size() == sql::kServerNameBytes)
      if (auto t = tables.find(FoldCase(table)); t != tables.end())
        for (const FieldSpec& f : t->second.spec->fields)
          if (sql::PostgresCheckName(kCheckZeroLength, f.name) == constraint)
            constraint = std::string(kCheckZeroLength) + f.name;
    const std::string field = JetFieldName(table, DiagField(r, PG_DIAG_COLUMN_NAME));
    // The server's primary key makes its fields NOT NULL: a Null in one that
    // is not Required is the key's refusal (3058), as the file's check says.
    if (state == "23502" && InPrimaryKeyOnly(table, field))
      throw Error(jeterr::kNullInIndex, JetErrorText(jeterr::kNullInIndex), std::string(source));
    throw PgToJetError(state, DiagField(r, PG_DIAG_MESSAGE_PRIMARY), table, field, constraint,
                       source);
  }

  // Whether `field` of the table read before is in its primary key and not Required.
  bool InPrimaryKeyOnly(std::string_view table, std::string_view field) const {
    const auto t = tables.find(FoldCase(table));
    if (t == tables.end()) return false;
    const TableSpec& spec = *t->second.spec;
    for (const FieldSpec& f : spec.fields)
      if (NamesEqual(f.name, field) && f.required) return false;
    for (const IndexSpec& x : spec.indexes)
      if (x.primary)
        for (const IndexField& k : x.fields)
          if (NamesEqual(k.name, field)) return true;
    return false;
  }

  // The select whose rows are being read (Stream), if one is.
  Stream* streaming = nullptr;
  // The selects to send with the next select (StartWithNextSelect); any
  // other request drops them (each then runs at its first Step).
  std::vector<Queued> queued;

  void Unqueue(Stream& s) {
    if (!s.queued) return;
    s.queued = false;
    std::erase_if(queued, [&](const Queued& q) { return q.stream == &s; });
  }

  // Sends the queued select `q` as it was bound (in pipeline mode).
  bool SendQueued(const Queued& q) {
    std::vector<const char*> p;
    p.reserve(q.values->size());
    for (const auto& v : *q.values) p.push_back(v ? v->c_str() : nullptr);
    return PQsendQueryPrepared(conn, q.entry->name.c_str(), static_cast<int>(p.size()), p.data(),
                               nullptr, nullptr, 0);
  }

  // The results of the queued select `q` in a pipeline, up to the null that
  // ends them: its rows (as one result, or one a row: libpq keeps the
  // single-row mode of the connection's last select for the first select
  // of a pipeline) into `rows`, and its first failure (the server's
  // "aborted" too) returned; `answered` when any result came.
  ResultPtr ReadQueued(const Queued& q, std::deque<ResultPtr>& rows, bool& answered) {
    ResultPtr failure;
    while (ResultPtr r{PQgetResult(conn)}) {
      answered = true;
      const ExecStatusType status = PQresultStatus(r.get());
      if (status != PGRES_TUPLES_OK && status != PGRES_SINGLE_TUPLE) {
        if (!failure) failure = std::move(r);
        continue;
      }
      if (!q.entry->columnsKnown) FillColumns(*q.entry, r.get());
      if (PQntuples(r.get()) > 0) rows.push_back(std::move(r));
    }
    return failure;
  }

  // The side session: a second session of the same database for the reads
  // made while a select's rows are still coming on this one outside a
  // transaction (or before its first statement reached the server) and
  // outside a read snapshot: a caller's loop over two selects. There each
  // statement of this session would see what was committed at its start,
  // as the side session's does, so the inner select, its prepare and the
  // catalogue's look-ups run there and the outer one keeps streaming
  // instead of being read ahead whole. Opened at the first such read,
  // closed with the connection; read only (default_transaction_read_only),
  // no open lock, no LISTEN; connected again, as this one is, at the read
  // after the one that found it lost. A write, a transaction's statement,
  // a snapshot's read still read the outer rows ahead (Settle): they must
  // run in this session. A select started while the side session's own
  // rows are coming reads those ahead (two levels stream, a third reads
  // ahead).
  std::string conninfo;
  PGconn* side = nullptr;
  Stream* sideStreaming = nullptr;
  std::unordered_set<std::string> sidePrepared;  // entries' names prepared there
  uint64_t sideDeallocations = 0;                // `deallocations` when they were

  [[gnu::always_inline]] bool Nesting() { return streaming && NestingNow(); }
  [[gnu::noinline]] bool NestingNow() {
    return !snapshot && (depth == 0 || Unopened()) && Streaming();
  }

  // Whether the select streaming here still holds the session once what
  // already arrived of it is taken without waiting: its end (a select
  // whose rows were all read, stepped no further), or one row, kept ahead
  // (none more while one is kept), so that this stays bounded.
  bool Streaming() {
    Stream* s = streaming;
    if (!s->ahead.empty() || s->error || !PQconsumeInput(conn)) return true;
    try {
      if (!PQisBusy(conn))
        if (ResultPtr r = NextRows(*s)) s->ahead.push_back(std::move(r));
    } catch (const Error& e) {
      s->error = e;
    }
    return streaming != nullptr;
  }

  // The side session, ready for a request: opened or connected again when
  // needed, its rows still coming read ahead, its prepared statements
  // dropped when this session's were.
  PGconn* Side() {
    if (side && PQstatus(side) != CONNECTION_OK) {
      if (sideStreaming) {
        sideStreaming->active = false;
        sideStreaming = nullptr;
      }
      sidePrepared.clear();
      PQreset(side);
      if (PQstatus(side) != CONNECTION_OK) ThrowResult(nullptr, side, kSourceDatabase);
      SetUpSide();
    }
    if (!side) {
      side = PQconnectdb(conninfo.c_str());
      PQsetNoticeProcessor(
          side, [](void*, const char*) {}, nullptr);
      if (PQstatus(side) != CONNECTION_OK) {
        std::string message = PQerrorMessage(side);
        PQfinish(side);
        side = nullptr;
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
          message.pop_back();
        throw Error(jeterr::kDiskError, JetErrorText(jeterr::kDiskError) + " " + message,
                    std::string(kSourceDatabase));
      }
      SetUpSide();
    }
    if (Stream* s = sideStreaming) ReadAhead(*s);
    if (sideDeallocations != deallocations) {
      if (!sidePrepared.empty()) SideExec("DEALLOCATE ALL");
      sidePrepared.clear();
      sideDeallocations = deallocations;
    }
    return side;
  }
  void SetUpSide() {
    SideExec(
        "SET client_min_messages TO warning; SET default_transaction_isolation TO 'read "
        "committed'; SET default_transaction_read_only TO on; SET lock_timeout TO " +
        std::to_string(std::max(busyTimeoutMs, 1)));
  }
  ResultPtr SideExec(const std::string& sql) {
    CountServerRoundTrip();
    ResultPtr r(PQexec(side, sql.c_str()));
    if (!r || !Succeeded(r.get())) ThrowResult(r.get(), side, kSourceDatabase);
    return r;
  }
  // Prepares `entry` on the side session unless it is there.
  void PrepareOnSide(const Entry& entry) {
    PGconn* c = Side();
    if (sidePrepared.contains(entry.name)) return;
    CountServerRoundTrip();
    ResultPtr r(PQprepare(c, entry.name.c_str(), entry.translation.sql.c_str(),
                          static_cast<int>(entry.types.size()), entry.types.data()));
    if (!r || !Succeeded(r.get())) ThrowResult(r.get(), c, kSourceDatabase);
    sidePrepared.insert(entry.name);
  }

  // A read of the catalogue: on the side session while nesting, else here.
  ResultPtr Read(std::string_view sql, const std::vector<std::string>& values) {
    if (!Nesting()) return ExecParams(sql, values, !Unopened());
    return ExecParamsOn(Side(), sql, values);
  }

  // `sql` with `values` as its text parameters on session `c`, in one
  // round trip; a failure raised.
  ResultPtr ExecParamsOn(PGconn* c, std::string_view sql, const std::vector<std::string>& values) {
    std::vector<const char*> p;
    for (const std::string& v : values) p.push_back(v.c_str());
    CountServerRoundTrip();
    ResultPtr r(PQexecParams(c, std::string(sql).c_str(), static_cast<int>(p.size()), nullptr,
                             p.data(), nullptr, nullptr, 0));
    if (!r || !Succeeded(r.get())) ThrowResult(r.get(), c, kSourceDatabase);
    return r;
  }

  // Sends the prepared select on the side session (as StartStream does
  // here outside a transaction).
  [[gnu::noinline]] void StartOnSide(Entry& entry,
                                     const std::vector<std::optional<std::string>>& values,
                                     Stream& s, bool whole) {
    PrepareOnSide(entry);
    std::vector<const char*> p;
    p.reserve(values.size());
    for (const auto& v : values) p.push_back(v ? v->c_str() : nullptr);
    s.ahead.clear();
    s.error.reset();
    s.pipelined = false;
    s.syncAfter = false;
    s.side = true;
    CountServerRoundTrip();
    if (!PQsendQueryPrepared(side, entry.name.c_str(), static_cast<int>(p.size()), p.data(),
                             nullptr, nullptr, 0))
      ThrowResult(nullptr, side, kSourceDatabase);
    if (!whole) PQsetSingleRowMode(side);
    s.active = true;
    sideStreaming = &s;
  }

  // The tables the results' columns come from, by the server's table oid:
  // the name and the column names by attribute number (PQftable,
  // PQftablecol). Kept for the session: a table's oid and attribute numbers
  // never change while it exists, and a column added later has a number
  // beyond those read, which reads the table again.
  struct SourceNames {
    std::string table;
    std::vector<std::string> columns;  // by attribute number - 1
  };
  std::unordered_map<Oid, SourceNames> sources;

  // Names the table and column each of the entry's columns comes from (as
  // the file's statement does), empty for a computed one, from the
  // description `r`. The tables not read before are read in one request.
  void NameSources(Entry& entry, const PGresult* r) {
    const int n = static_cast<int>(entry.columns.size());
    std::string unknown;
    for (int i = 0; i < n; ++i) {
      const Oid table = PQftable(r, i);
      const int column = PQftablecol(r, i);
      if (table == InvalidOid || column <= 0) continue;
      auto found = sources.find(table);
      if (found != sources.end() && static_cast<size_t>(column) <= found->second.columns.size())
        continue;
      const std::string oid = std::to_string(table);
      if (("," + unknown + ",").find("," + oid + ",") == std::string::npos)
        unknown += (unknown.empty() ? "" : ",") + oid;
    }
    if (!unknown.empty()) {
      ResultPtr names = Read(
          "SELECT a.attrelid, c.relname, a.attnum, a.attname FROM pg_attribute a "
          "JOIN pg_class c ON c.oid = a.attrelid WHERE a.attrelid = ANY($1::oid[]) "
          "AND a.attnum > 0",
          {"{" + unknown + "}"});
      for (int row = 0; row < PQntuples(names.get()); ++row) {
        SourceNames& s =
            sources[static_cast<Oid>(std::strtoul(PQgetvalue(names.get(), row, 0), nullptr, 10))];
        s.table = JetTableName(PQgetvalue(names.get(), row, 1));
        const size_t number = std::strtoul(PQgetvalue(names.get(), row, 2), nullptr, 10);
        if (s.columns.size() < number) s.columns.resize(number);
        s.columns[number - 1] = JetFieldName(s.table, PQgetvalue(names.get(), row, 3));
      }
    }
    for (int i = 0; i < n; ++i) {
      const Oid table = PQftable(r, i);
      const int column = PQftablecol(r, i);
      auto found = table == InvalidOid || column <= 0 ? sources.end() : sources.find(table);
      if (found == sources.end() || static_cast<size_t>(column) > found->second.columns.size())
        continue;
      entry.columns[static_cast<size_t>(i)].table = found->second.table;
      entry.columns[static_cast<size_t>(i)].column =
          found->second.columns[static_cast<size_t>(column - 1)];
    }
  }

  ~Impl() {
    if (side) PQfinish(side);
    if (conn && !openLock.empty())
      FinishAndAwaitEnd(conn);
    else if (conn)
      PQfinish(conn);
  }

  // Ends the session holding the open lock and waits (a second at most: a
  // server out of reach does not hold the close) until the server has closed its end of the
  // socket, which its process does after it freed the session's locks. So
  // an exclusive open or a schema's removal this process makes right after
  // the close finds the open lock gone, as a closed file is; without the
  // wait the server's process may still hold it for a moment.
  static void FinishAndAwaitEnd(PGconn* c) {
    const int fd = PQstatus(c) == CONNECTION_OK ? ::dup(PQsocket(c)) : -1;
    PQfinish(c);
    if (fd < 0) return;
    CountServerRoundTrip();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    char discard[512];
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      pollfd p{fd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) break;
      if (::read(fd, discard, sizeof discard) <= 0) break;  // the end (or an error)
    }
    ::close(fd);
  }

  // The rest of the rows of `s` into its statement (a failure among them
  // waits there), so that its session can send something else.
  void ReadAhead(Stream& s) {
    try {
      while (ResultPtr r = NextRows(s)) {
        rowsReadAhead.fetch_add(static_cast<uint64_t>(PQntuples(r.get())),
                                std::memory_order_relaxed);
        s.ahead.push_back(std::move(r));
      }
    } catch (const Error& e) {
      s.error = e;
    }
  }

  // Before anything else is sent: the rows of a select still coming go
  // ahead into its statement (and a failure among them waits there).
  void Settle() {
    // A request after the write-locked begin: the transaction is no longer
    // quiet, and a statement held for the commit goes first.
    quiet = false;
    RunHeld();
    SendHeldRuns();
    for (const Queued& q : queued) q.stream->queued = false;
    queued.clear();
    if (Stream* s = streaming) ReadAhead(*s);
    // A read that failed in the snapshot ended its transaction's use.
    if (snapshot && PQtransactionStatus(conn) == PQTRANS_INERROR) EndSnapshot();
  }

  // The read snapshot (HoldReadSnapshot): whether it is held (its
  // transaction open on the server, or its begin pending), and how many
  // hold it.
  bool snapshot = false;
  int snapshotHolds = 0;

  // The snapshot's begin waits in `pending` (outside a transaction, nothing
  // else does) for the first statement, and goes in its round trip: the
  // server takes a repeatable-read transaction's snapshot at its first
  // statement, not at its begin, so the reads see what they would have.
  static inline const std::string kSnapshotBegin =
      "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";
  bool SnapshotUnopened() const {
    return snapshot && depth == 0 && pending.size() == 1 &&
           pending.front().kind == Command::kSnapshotBegin;
  }

  // Ends the snapshot's transaction (read only: nothing to keep). The rows
  // of a select still coming are read ahead first, as they were read in it.
  // A snapshot no statement opened ends without a word to the server.
  void EndSnapshot() {
    if (!snapshot) return;
    if (SnapshotUnopened()) {
      pending.clear();
      snapshot = false;
      return;
    }
    snapshot = false;
    Settle();
    CountServerRoundTrip();
    ResultPtr(PQexec(conn, "ROLLBACK"));
  }

  // The stream's next rows (one, or all that are left when they came
  // whole), or null at its end. A failure ends the stream and is thrown.
  ResultPtr NextRows(Stream& s) {
    if (s.side) [[unlikely]]
      return NextSideRows(s);
    ResultPtr r(PQgetResult(conn));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_SINGLE_TUPLE) return r;
    const bool ok = status == PGRES_TUPLES_OK;
    EndStream(s, ok);
    if (!ok) ThrowResult(r.get(), conn, kSourceDatabase);
    return PQntuples(r.get()) > 0 ? std::move(r) : nullptr;
  }
  // NextRows of a select sent on the side session.
  [[gnu::noinline]] ResultPtr NextSideRows(Stream& s) {
    ResultPtr r(PQgetResult(side));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_SINGLE_TUPLE) return r;
    s.active = false;
    if (sideStreaming == &s) sideStreaming = nullptr;
    while (PGresult* more = PQgetResult(side)) PQclear(more);
    if (status != PGRES_TUPLES_OK) ThrowResult(r.get(), side, kSourceDatabase);
    return PQntuples(r.get()) > 0 ? std::move(r) : nullptr;
  }

  // After the select's last result: the rest of its pipeline (the
  // release, the sync), and after a failure the rollback to the savepoint.
  void EndStream(Stream& s, bool ok) {
    s.active = false;
    if (streaming == &s) streaming = nullptr;
    DropNulls();
    if (s.syncAfter) {
      s.syncAfter = false;
      ResultPtr(PQgetResult(conn));  // the sync's
      PQexitPipelineMode(conn);
      return;
    }
    if (!s.pipelined) return;
    if (ResultPtr(PQgetResult(conn))) DropNulls();  // the release's
    ResultPtr(PQgetResult(conn));                   // the sync's
    PQexitPipelineMode(conn);
    if (!ok) {
      CountServerRoundTrip();
      ResultPtr(PQexec(conn, ("ROLLBACK TO SAVEPOINT " + Quoted(kStatementSavepoint) +
                              "; RELEASE SAVEPOINT " + Quoted(kStatementSavepoint))
                                 .c_str()));
    }
  }

  // The end of one statement's results (a null after them).
  void DropNulls() {
    while (PGresult* more = PQgetResult(conn)) PQclear(more);
  }

  // Transaction commands not sent yet: the BEGIN or SAVEPOINT of a level
  // (sent when a statement first needs the level), the RELEASE of an inner
  // level and a read snapshot's BEGIN. They go first in the next request,
  // in its round trip. Each keeps what it is, which decides what may
  // follow it (a level's savepoint marks the start of the statement just
  // after it) and which level a commit or rollback finds unopened.
  // kLock: the write lock of the level begun by the command before it.
  enum class Command { kBegin, kSnapshotBegin, kLevel, kLock, kRelease };
  struct Pending {
    Command kind;
    int level;                // the transaction level it begins or releases
    const std::string* text;  // kept by the connection (LevelTexts, kSnapshotBegin)
  };
  std::vector<Pending> pending;
  // The texts of level `level`'s commands, made once per connection: the
  // outermost level's BEGIN, an inner one's SAVEPOINT, its RELEASE, its
  // rollback, the write lock's select, and the begin with it.
  struct LevelTexts {
    std::string begin, release, rollback, lock, lockedBegin;
  };
  std::deque<LevelTexts> levelTexts;  // level 1 first
  const LevelTexts& Level(int level) {
    while (levelTexts.size() < static_cast<size_t>(level)) {
      const int made = static_cast<int>(levelTexts.size()) + 1;
      const std::string name = LevelName(made);
      LevelTexts t;
      t.begin = made == 1 ? std::string("BEGIN") : "SAVEPOINT " + name;
      t.release = "RELEASE SAVEPOINT " + name;
      t.rollback =
          made == 1 ? std::string("ROLLBACK") : "ROLLBACK TO SAVEPOINT " + name + "; " + t.release;
      t.lock =
          writeLockPrepared ? "EXECUTE " + std::string(kWriteLockStatement) : WriteLockSelect();
      t.lockedBegin = t.begin + "; " + t.lock;
      levelTexts.push_back(std::move(t));
    }
    return levelTexts[static_cast<size_t>(level) - 1];
  }
  // How many of the last pending commands begin transaction level `level`
  // (its begin, and its lock when taken with the first request): 0 when
  // the level has reached the server.
  size_t LevelPending(int level) const {
    size_t n = pending.size();
    while (n > 0 && pending[n - 1].level == level && pending[n - 1].kind == Command::kLock) --n;
    const bool begins =
        n > 0 && pending[n - 1].level == level &&
        (pending[n - 1].kind == Command::kBegin || pending[n - 1].kind == Command::kLevel);
    return begins ? pending.size() - n + 1 : 0;
  }
  // The level whose begin took the write lock; 0: this transaction does
  // not hold it.
  int lockLevel = 0;

  // No statement of the open transaction has reached the server and it
  // holds no write lock: its BEGIN (and any savepoint after it) is still
  // pending. A select then runs by itself, as the server's own transaction,
  // and leaves the BEGIN for the first statement that writes: at the
  // server's read-committed level each statement of a transaction reads
  // its own snapshot, so the select reads what it would inside, and a
  // transaction of reads alone costs no BEGIN and COMMIT. A failed select
  // leaves no transaction to roll back. Under the write lock a read goes
  // after the lock, inside.
  bool Unopened() const {
    return depth > 0 && lockLevel == 0 && !pending.empty() &&
           pending.front().kind == Command::kBegin;
  }

  // The pending commands as the start of a simple query, taken; keyAt set
  // to the statement that is the key's lock, if one is.
  std::string TakePending() {
    std::string text;
    for (size_t i = 0; i < pending.size(); ++i) {
      if (pending[i].text == &keyLock) keyAt = i;
      text += *pending[i].text + "; ";
    }
    pending.clear();
    return text;
  }

  // Sends a pending command into the pipeline begun. The write lock the
  // session prepared goes as a run of that statement: its text, EXECUTE,
  // would be parsed by the server in every transaction (and run through the
  // utility statement's own path); the key's lock and the levels' commands
  // go as their texts.
  bool SendCommand(const Pending& c) {
    if (c.kind == Command::kLock && c.text != &keyLock && writeLockPrepared)
      return PQsendQueryPrepared(conn, kWriteLockStatement.data(), 0, nullptr, nullptr, nullptr, 0);
    return PQsendQueryParams(conn, c.text->c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
  }

  ResultPtr Exec(std::string_view sql, std::string_view source = kSourceDatabase) {
    Settle();
    CountServerRoundTrip();
    keyFailed = false;
    const std::string text = pending.empty() ? std::string(sql) : TakePending() + std::string(sql);
    const size_t key = std::exchange(keyAt, std::string::npos);
    if (key == std::string::npos) {
      ResultPtr r(PQexec(conn, text.c_str()));
      if (!r || !Succeeded(r.get())) ThrowResult(r.get(), conn, source);
      return r;
    }
    // The key's lock among them: each statement's result, to tell whether
    // the one that failed (the server runs none after it) was the lock's.
    ResultPtr last;
    if (PQsendQuery(conn, text.c_str()))
      for (size_t i = 0; PGresult* got = PQgetResult(conn); ++i) {
        if (last && !Succeeded(last.get())) {
          PQclear(got);
          continue;
        }
        last.reset(got);
        keyFailed = i == key && !Succeeded(got);
      }
    if (!last || !Succeeded(last.get())) ThrowResult(last.get(), conn, source);
    return last;
  }

  // The pending commands sent by themselves (before a request that cannot
  // carry them).
  void Flush() {
    if (!pending.empty()) Exec("");
  }

  // The first statements of a pipeline in a transaction: the pending
  // commands, then the savepoint that marks where the statements start, so
  // that a failure among them undoes them alone: the statement's own, or,
  // with `levelMarks`, the savepoint of a level just begun when it is the
  // last pending command (nothing runs between them: the statement takes
  // that savepoint for its own, sends none and no release, and a failure
  // rolls back to the level's start, which stays open as it was). The
  // pending commands are sent from where they wait, which keeps its room
  // for the next level's.
  struct Preamble {
    bool sent = true;
    size_t results = 0;  // the results that come before the statements'
    int levelMark = 0;   // the level whose savepoint was taken; 0: the statement's own
    // The results that come after the statements' (the release's).
    size_t Trailing() const { return levelMark == 0 ? 1 : 0; }
  };
  Preamble SendPreamble(bool levelMarks = false) {
    static const std::string savepoint = "SAVEPOINT " + Quoted(kStatementSavepoint);
    Preamble out;
    if (levelMarks && !pending.empty() && pending.back().kind == Command::kLevel)
      out.levelMark = pending.back().level;
    for (size_t i = 0; i < pending.size(); ++i) {
      if (pending[i].text == &keyLock) keyAt = i;
      out.sent = out.sent && SendCommand(pending[i]);
    }
    out.results = pending.size() + (out.levelMark == 0 ? 1 : 0);
    if (out.levelMark == 0)
      out.sent = out.sent && PQsendQueryParams(conn, savepoint.c_str(), 0, nullptr, nullptr,
                                               nullptr, nullptr, 0);
    pending.clear();
    return out;
  }

  // Undoes the statements of a pipeline that failed after its preamble.
  void Undo(const Preamble& preamble) {
    static const std::string own = "ROLLBACK TO SAVEPOINT " + Quoted(kStatementSavepoint) +
                                   "; RELEASE SAVEPOINT " + Quoted(kStatementSavepoint);
    CountServerRoundTrip();
    ResultPtr(
        PQexec(conn, preamble.levelMark == 0
                         ? own.c_str()
                         : ("ROLLBACK TO SAVEPOINT " + LevelName(preamble.levelMark)).c_str()));
  }

  // The statement savepoint's release after the statements, when the
  // preamble set one.
  bool SendRelease(const Preamble& preamble) {
    static const std::string release = "RELEASE SAVEPOINT " + Quoted(kStatementSavepoint);
    return preamble.Trailing() == 0 ||
           PQsendQueryParams(conn, release.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
  }

  // The next `count` results of a pipeline (after a failure the server's
  // "aborted"), each followed by a null. `each(i, result)` is given each
  // result before the first failure. Returns the first failure (null:
  // none), `failedAt` where it came; `lost`: the connection gave no result.
  template <class Each>
  ResultPtr ReadResults(size_t count, bool& lost, size_t& failedAt, Each each) {
    // The key's lock is among the first results of a request, read first.
    const size_t key = std::exchange(keyAt, std::string::npos);
    if (key != std::string::npos) keyFailed = false;
    ResultPtr failure;
    for (size_t i = 0; i < count && !lost; ++i) {
      ResultPtr r(PQgetResult(conn));
      if (!r) {
        lost = true;
        break;
      }
      DropNulls();
      if (failure) continue;
      if (!Succeeded(r.get())) {
        failure = std::move(r);
        failedAt = i;
        if (i == key) keyFailed = true;
      } else {
        each(i, r.get());
      }
    }
    return failure;
  }

  // ReadResults of a whole pipeline ended by one sync, then the sync's, and
  // out of pipeline mode.
  template <class Each>
  ResultPtr ReadPipeline(size_t count, bool& lost, size_t& failedAt, Each each) {
    ResultPtr failure = ReadResults(count, lost, failedAt, each);
    if (!lost) {
      ResultPtr sync(PQgetResult(conn));
      lost = !sync || PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC;
    }
    PQexitPipelineMode(conn);
    return failure;
  }

  // The first `count` results of a pipeline: null when each succeeded, else
  // the first failure (the statements after it were skipped).
  ResultPtr ReadPreamble(size_t count, bool& lost) {
    size_t failedAt = 0;
    return ReadResults(count, lost, failedAt, [](size_t, const PGresult*) {});
  }

  // `flush`: the pending commands go first (a read in a transaction not
  // opened yet leaves them: it runs by itself, as a select there does).
  ResultPtr ExecParams(std::string_view sql, const std::vector<std::string>& values,
                       bool flush = true) {
    Settle();
    if (flush) Flush();
    return ExecParamsOn(conn, sql, values);
  }

  void Forget() {
    namesRead = false;
    names.clear();
    ordered.clear();
    uncatalogued.clear();
    tables.clear();
  }

  // Reads the table names unless read already; whether it read them.
  bool ReadNames() {
    if (namesRead) return false;
    // The catalogue's tables in their order, then the schema's other tables
    // (not the catalogue's own, nor a partition) in the order made.
    ResultPtr r = Read(
        "SELECT \"name\", false, \"ordinal\"::bigint FROM \"_jet_tables\" UNION ALL "
        "SELECT c.relname::text, true, c.oid::bigint FROM pg_class c JOIN pg_namespace n "
        "ON n.oid = c.relnamespace WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p') "
        "AND NOT c.relispartition AND c.relname NOT LIKE '\\_jet\\_%' ORDER BY 2, 3",
        {});
    names.clear();
    ordered.clear();
    uncatalogued.clear();
    std::set<std::string> serverNames;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
      std::string name = PQgetvalue(r.get(), i, 0);
      const bool server = *PQgetvalue(r.get(), i, 1) == 't';
      if (!server) {
        serverNames.insert(sql::ServerObjectName(name));
      } else if (serverNames.contains(name) || names.contains(FoldCase(name))) {
        continue;  // the catalogue's, or one a name of another case hides
      } else {
        uncatalogued.insert(FoldCase(name));
      }
      names[FoldCase(name)] = name;
      ordered.push_back(std::move(name));
    }
    namesRead = true;
    return true;
  }

  const CachedTable* Load(std::string_view table) {
    const bool fresh = ReadNames();
    const std::string key = FoldCase(table);
    if (auto it = tables.find(key); it != tables.end()) return &it->second;
    auto n = names.find(key);
    // A table made without the catalogue tells no one: a name not found in
    // the names read before is looked for again, unless it reads as a
    // statement (every statement a caller runs is asked whether it names a
    // table: a round trip per run; such a name made by another program is
    // seen at the next reading of the names).
    if (n == names.end() && !fresh && !ddl::IsStatement(table)) {
      namesRead = false;
      ReadNames();
      n = names.find(key);
    }
    if (n == names.end()) return nullptr;
    if (uncatalogued.contains(key)) return LoadFromServer(key, n->second);
    auto spec = std::make_shared<TableSpec>();
    spec->name = n->second;
    ResultPtr f = Read(
        "SELECT \"name\", \"type\", \"size\", \"required\", \"allow_zero_length\", "
        "\"default_value\", \"auto_increment\", \"unicode_compression\" FROM \"_jet_fields\" "
        "WHERE \"table_name\" = $1 ORDER BY \"ordinal\"",
        {spec->name});
    for (int i = 0; i < PQntuples(f.get()); ++i) {
      FieldSpec field;
      field.name = PQgetvalue(f.get(), i, 0);
      field.type = static_cast<JetType>(std::atoi(PQgetvalue(f.get(), i, 1)));
      field.size = std::atoi(PQgetvalue(f.get(), i, 2));
      field.required = *PQgetvalue(f.get(), i, 3) == 't';
      field.allowZeroLength = *PQgetvalue(f.get(), i, 4) == 't';
      field.defaultValue = PQgetvalue(f.get(), i, 5);
      field.autoIncrement = *PQgetvalue(f.get(), i, 6) == 't';
      field.unicodeCompression = *PQgetvalue(f.get(), i, 7) == 't';
      spec->fields.push_back(std::move(field));
    }
    // The indexes, and a row without fields when the table has the row key
    // (sql::kServerRowKey), which the translator then knows as a column.
    ResultPtr x = Read(
        "SELECT \"name\", \"fields\", \"is_primary\", \"is_unique\" FROM \"_jet_indexes\" "
        "WHERE \"table_name\" = $1 UNION ALL SELECT attname::text, NULL, NULL, NULL "
        "FROM pg_attribute WHERE attrelid = to_regclass(quote_ident($2)) AND attname = '" +
            std::string(sql::kServerRowKey) + "' AND NOT attisdropped ORDER BY 1",
        {spec->name, sql::ServerObjectName(spec->name)});
    bool rowKey = false;
    for (int i = 0; i < PQntuples(x.get()); ++i) {
      if (PQgetisnull(x.get(), i, 1)) {
        rowKey = true;
        continue;
      }
      IndexSpec index;
      index.name = PQgetvalue(x.get(), i, 0);
      index.fields = IndexSpec::ParseFields(PQgetvalue(x.get(), i, 1));
      index.primary = *PQgetvalue(x.get(), i, 2) == 't';
      index.unique = *PQgetvalue(x.get(), i, 3) == 't';
      spec->indexes.push_back(std::move(index));
    }
    return Cache(key, std::move(spec), rowKey);
  }

  const CachedTable* Cache(const std::string& key, std::shared_ptr<TableSpec> spec, bool rowKey) {
    CachedTable cached;
    for (const FieldSpec& field : spec->fields)
      cached.columns.push_back({field.name, field.type, field.size, field.autoIncrement});
    if (rowKey)
      cached.columns.push_back({std::string(sql::kServerRowKey), JetType::kLong, 0, false});
    for (ColumnInfo& column : cached.columns) sql::AppendServerName(column.quoted, column.name);
    cached.spec = std::move(spec);
    return &tables.emplace(key, std::move(cached)).first->second;
  }

  // A table the catalogue lacks, described from the server's catalogue: the
  // Jet type of each column's type (integer Long, a counter when an
  // identity or serial; smallint Integer; bigint BigInt; double precision
  // Double; real Single; numeric Double; boolean Yes/No; varchar(n) and
  // char(n) up to 255 Text(n), text and longer ones Memo; bytea
  // LongBinary); a type with none (timestamp, uuid, json ...) is None, its
  // values read as the server's text of them. NOT NULL is Required; the
  // indexes on columns (not on expressions) are the table's.
  const CachedTable* LoadFromServer(const std::string& key, const std::string& name) {
    auto spec = std::make_shared<TableSpec>();
    spec->name = name;
    ResultPtr f = Read(
        "SELECT a.attname::text, t.typname::text, a.atttypmod, a.attnotnull, a.attidentity <> '' "
        "OR coalesce(pg_get_expr(d.adbin, d.adrelid) LIKE 'nextval(%', false) FROM pg_attribute a "
        "JOIN pg_type t ON t.oid = a.atttypid LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid "
        "AND d.adnum = a.attnum WHERE a.attrelid = to_regclass(quote_ident($1)) AND a.attnum > 0 "
        "AND NOT a.attisdropped ORDER BY a.attnum",
        {name});
    bool rowKey = false;
    for (int i = 0; i < PQntuples(f.get()); ++i) {
      FieldSpec field;
      field.name = PQgetvalue(f.get(), i, 0);
      if (field.name == sql::kServerRowKey) {
        rowKey = true;
        continue;
      }
      const std::string_view type = PQgetvalue(f.get(), i, 1);
      const int length = std::atoi(PQgetvalue(f.get(), i, 2)) - 4;  // varchar(n): n + 4
      field.required = *PQgetvalue(f.get(), i, 3) == 't';
      field.autoIncrement = type == "int4" && *PQgetvalue(f.get(), i, 4) == 't';
      if (type == "int4")
        field.type = JetType::kLong;
      else if (type == "int2")
        field.type = JetType::kInteger;
      else if (type == "int8")
        field.type = JetType::kBigInt;
      else if (type == "float8" || type == "numeric")
        field.type = JetType::kDouble;
      else if (type == "float4")
        field.type = JetType::kSingle;
      else if (type == "bool")
        field.type = JetType::kBoolean;
      else if ((type == "varchar" || type == "bpchar") && length > 0 && length <= 255) {
        field.type = JetType::kText;
        field.size = length;
      } else if (type == "text" || type == "varchar" || type == "bpchar")
        field.type = JetType::kMemo;
      else if (type == "bytea")
        field.type = JetType::kLongBinary;
      else
        field.type = JetType::kNone;
      spec->fields.push_back(std::move(field));
    }
    if (spec->fields.empty()) return nullptr;
    ResultPtr x = Read(
        "SELECT c.relname::text, i.indisprimary, i.indisunique, "
        "(SELECT string_agg(CASE WHEN (i.indoption::int2[])[o.n::int - 1] & 1 = 1 THEN '-' "
        "ELSE '' END || a.attname, ';' ORDER BY o.n) "
        "FROM unnest(i.indkey::int2[]) WITH ORDINALITY o(attnum, n) "
        "JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = o.attnum "
        "AND o.n <= i.indnkeyatts) "
        "FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid "
        "WHERE i.indrelid = to_regclass(quote_ident($1)) AND NOT 0 = ANY (i.indkey::int2[]) "
        "ORDER BY 1",
        {name});
    for (int i = 0; i < PQntuples(x.get()); ++i) {
      IndexSpec index;
      index.name = PQgetvalue(x.get(), i, 0);
      index.primary = *PQgetvalue(x.get(), i, 1) == 't';
      index.unique = *PQgetvalue(x.get(), i, 2) == 't';
      index.fields = IndexSpec::ParseFields(PQgetvalue(x.get(), i, 3));
      spec->indexes.push_back(std::move(index));
    }
    return Cache(key, std::move(spec), rowKey);
  }

  // The catalogue as the translator sees it: a definition not read yet is
  // read from the server, through the connection (its requests first send
  // what waits, as every request does).
  struct Catalogue final : SchemaView {
    Impl& impl;
    explicit Catalogue(Impl& of) : impl(of) {}
    const std::vector<ColumnInfo>* TableColumns(std::string_view table) const override {
      const CachedTable* t = impl.Load(table);
      return t ? &t->columns : nullptr;
    }
    std::string StoredTableName(std::string_view table) const override {
      impl.ReadNames();
      auto n = impl.names.find(FoldCase(table));
      return n == impl.names.end() ? std::string() : n->second;
    }
  };
  Catalogue catalogue{*this};

  // ---- schema statements: the server's tables and the catalogue's rows
  // together, inside the caller's savepoint.

  void InsertField(const std::string& table, int ordinal, const FieldSpec& f) {
    ExecParams("INSERT INTO \"_jet_fields\" VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10)",
               {table, std::to_string(ordinal), f.name, std::to_string(static_cast<int>(f.type)),
                std::to_string(f.size), f.required ? "t" : "f", f.allowZeroLength ? "t" : "f",
                f.defaultValue, f.autoIncrement ? "t" : "f", f.unicodeCompression ? "t" : "f"});
  }

  void InsertIndex(const std::string& table, const IndexSpec& index) {
    ExecParams("INSERT INTO \"_jet_indexes\" VALUES ($1, $2, $3, $4, $5)",
               {table, index.name, IndexFieldsText(index), index.primary ? "t" : "f",
                index.unique || index.primary ? "t" : "f"});
  }

  // The row key's name is the server's own: no field takes it.
  static void CheckFieldName(const FieldSpec& f) {
    if (NamesEqual(f.name, sql::kServerRowKey))
      ThrowJet(jeterr::kInvalidName, {f.name}, kSourceTableDef);
  }

  static void CheckFields(const TableSpec& table) {
    if (table.fields.empty()) ThrowJet(jeterr::kNoFieldDefined, {}, kSourceTableDef);
    std::unordered_map<std::string, bool> seen;
    for (const FieldSpec& f : table.fields) {
      CheckFieldName(f);
      if (!seen.emplace(FoldCase(f.name), true).second)
        ThrowJet(jeterr::kFieldDefinedTwice, {}, kSourceTableDef);
    }
    int primaries = 0;
    for (const IndexSpec& x : table.indexes) {
      primaries += x.primary;
      for (const IndexField& f : x.fields)
        if (!table.FindField(f.name)) ThrowJet(jeterr::kItemNotFound, {}, kSourceIndex);
    }
    if (primaries > 1) ThrowJet(jeterr::kPrimaryKeyExists, {}, kSourceIndex);
  }

  void CreateTable(const TableSpec& table) {
    if (Load(table.name)) ThrowJet(jeterr::kTableExists, {table.name}, kSourceTableDef);
    CheckFields(table);
    Exec(sql::PostgresCreateTableSql(table) +
         (CommitsTold(table.name) ? "; " + std::string(kRowsTrigger) + ServerQuoted(table.name) +
                                        std::string(kRowsTriggerAction)
                                  : std::string()));
    for (const IndexSpec& x : table.indexes)
      if (!x.primary) Exec(sql::PostgresCreateIndexSql(table.name, x));
    // A counter holds each value once, as a file's (its rowid) does, where
    // an INSERT gives it one: a unique index of the server's own (not in the
    // catalogue) where no key of the table is the counter alone.
    for (const FieldSpec& f : table.fields) {
      if (!f.autoIncrement) continue;
      const bool keyed =
          std::any_of(table.indexes.begin(), table.indexes.end(), [&](const IndexSpec& x) {
            return (x.primary || x.unique) && x.fields.size() == 1 &&
                   FoldCase(x.fields[0].name) == FoldCase(f.name);
          });
      if (keyed) continue;
      IndexSpec counter;
      counter.name = "$counter";
      counter.unique = true;
      counter.fields.push_back(IndexField{f.name});
      Exec(sql::PostgresCreateIndexSql(table.name, counter));
    }
    ExecParams("INSERT INTO \"_jet_tables\" (\"name\") VALUES ($1)", {table.name});
    for (size_t i = 0; i < table.fields.size(); ++i)
      InsertField(table.name, static_cast<int>(i), table.fields[i]);
    for (const IndexSpec& x : table.indexes) InsertIndex(table.name, x);
  }

  const TableSpec& Existing(std::string_view table) {
    const CachedTable* t = Load(table);
    if (!t) ThrowJet(jeterr::kTableNotFound, {table}, kSourceTableDef);
    return *t->spec;
  }

  // A table the catalogue lacks (made by psql or a script) taken into it
  // before the library changes its schema or its fields' rules: the
  // description read from the server (LoadFromServer) written as the
  // catalogue's rows, in the change's transaction, so that the change's
  // rows join them and the table is the catalogue's from then on, as one
  // the library made. Its indexes keep their names in the catalogue; on the
  // server they take the names the library gives (PostgresIndexName, the
  // primary key's PostgresPrimaryKeyName), so that its DROP INDEX finds them.
  void Adopt(std::string_view table) {
    const std::string key = FoldCase(table);
    const CachedTable* t = Load(table);
    if (!t || !uncatalogued.contains(key)) return;
    const std::shared_ptr<const TableSpec> spec = t->spec;
    std::string renames;
    for (const IndexSpec& x : spec->indexes) {
      const std::string ours = x.primary ? sql::PostgresPrimaryKeyName(spec->name)
                                         : sql::PostgresIndexName(spec->name, x.name);
      if (ours != x.name)
        renames += "ALTER INDEX " + Quoted(x.name) + " RENAME TO " + Quoted(ours) + "; ";
    }
    if (!renames.empty()) Exec(renames);
    ExecParams("INSERT INTO \"_jet_tables\" (\"name\") VALUES ($1)", {spec->name});
    for (size_t i = 0; i < spec->fields.size(); ++i)
      InsertField(spec->name, static_cast<int>(i), spec->fields[i]);
    for (const IndexSpec& x : spec->indexes) InsertIndex(spec->name, x);
    uncatalogued.erase(key);
    tables.erase(key);
  }

  int64_t Apply(const SchemaChange& change) {
    using Op = SchemaChange::Op;
    if (change.op != Op::kCreateTable && change.op != Op::kMakeTable && change.op != Op::kDropTable)
      Adopt(change.table.name);
    switch (change.op) {
      case Op::kCreateTable:
        ddl::CheckTable(change.table);  // as the file's catalogue checks it (Text(300): 3001)
        CreateTable(change.table);
        return 0;
      case Op::kDropTable: {
        const std::string name = Existing(change.table.name).name;
        Exec("DROP TABLE " + ServerQuoted(name));
        for (std::string_view t : {"_jet_fields", "_jet_indexes", "_jet_tables"})
          ExecParams("DELETE FROM " + Quoted(t) + " WHERE " +
                         (t == "_jet_tables" ? "\"name\"" : "\"table_name\"") + " = $1",
                     {name});
        return 0;
      }
      case Op::kCreateIndex: {
        const TableSpec& t = Existing(change.table.name);
        const IndexSpec& x = change.table.indexes.at(0);
        if (t.FindIndex(x.name)) ThrowJet(jeterr::kIndexNameExists, {t.name, x.name}, kSourceIndex);
        for (const IndexField& f : x.fields)
          if (!t.FindField(f.name)) ThrowJet(jeterr::kItemNotFound, {}, kSourceIndex);
        TableSpec next = t;  // as the file's catalogue checks it (a second primary key: 3283)
        next.indexes.push_back(x);
        ddl::CheckTable(next, next.fields.size());
        const std::string name = t.name;
        Exec(sql::PostgresCreateIndexSql(name, x));
        InsertIndex(name, x);
        if (x.primary) SetRowKey(name, false);
        return 0;
      }
      case Op::kDropIndex: {
        const TableSpec& t = Existing(change.table.name);
        const IndexSpec* x = t.FindIndex(change.name);
        if (!x) ThrowJet(jeterr::kNotAnIndex, {change.name}, kSourceIndex);
        DropIndex(t.name, *x);
        return 0;
      }
      case Op::kAddFields: {
        const TableSpec& t = Existing(change.table.name);
        const std::string table = t.name;
        for (const FieldSpec& f : change.table.fields) {
          CheckFieldName(f);
          if (t.FindField(f.name)) ThrowJet(jeterr::kFieldExists, {f.name, table}, kSourceTableDef);
        }
        for (const IndexSpec& x : change.table.indexes)
          if (t.FindIndex(x.name))
            ThrowJet(jeterr::kIndexNameExists, {table, x.name}, kSourceIndex);
        TableSpec next = t;
        next.fields.insert(next.fields.end(), change.table.fields.begin(),
                           change.table.fields.end());
        next.indexes.insert(next.indexes.end(), change.table.indexes.begin(),
                            change.table.indexes.end());
        ddl::CheckTable(next, t.fields.size());
        // After the last ordinal in use: a dropped field leaves a gap, so
        // the count of fields can be an ordinal still taken.
        ResultPtr last = ExecParams(
            "SELECT MAX(\"ordinal\") FROM \"_jet_fields\" WHERE \"table_name\" = $1", {table});
        int ordinal =
            PQgetisnull(last.get(), 0, 0) ? 0 : std::atoi(PQgetvalue(last.get(), 0, 0)) + 1;
        for (const FieldSpec& f : change.table.fields) {
          Exec("ALTER TABLE " + ServerQuoted(table) + " ADD COLUMN " + sql::PostgresColumnSql(f));
          InsertField(table, ordinal++, f);
        }
        for (const IndexSpec& x : change.table.indexes) {
          Exec(sql::PostgresCreateIndexSql(table, x));
          InsertIndex(table, x);
          if (x.primary) SetRowKey(table, false);
        }
        return 0;
      }
      case Op::kDropField: {
        const TableSpec& t = Existing(change.table.name);
        const FieldSpec* f = t.FindField(change.name);
        if (!f) ThrowJet(jeterr::kItemNotFound, {}, kSourceTableDef);
        for (const IndexSpec& x : t.indexes)
          for (const IndexField& xf : x.fields)
            if (NamesEqual(xf.name, f->name)) ThrowJet(jeterr::kFieldInIndex, {}, kSourceTableDef);
        const std::string table = t.name, field = f->name;
        Exec("ALTER TABLE " + ServerQuoted(table) + " DROP COLUMN " + ServerQuoted(field));
        ExecParams("DELETE FROM \"_jet_fields\" WHERE \"table_name\" = $1 AND \"name\" = $2",
                   {table, field});
        return 0;
      }
      case Op::kDropConstraint: {
        // The index a constraint made, by its name; a table or constraint
        // that is not there is one error.
        const CachedTable* t = Load(change.table.name);
        const IndexSpec* x = t ? t->spec->FindIndex(change.name) : nullptr;
        if (!x) ThrowJet(jeterr::kNoTableOrConstraint, {}, kSourceTableDef);
        DropIndex(t->spec->name, *x);
        return 0;
      }
      case Op::kMakeTable: {
        // The table of the select's columns, filled from the select.
        ddl::CheckTable(change.table);
        CreateTable(change.table);
        std::string insert = "INSERT INTO " + ServerQuoted(change.table.name);
        for (size_t i = 0; i < change.table.fields.size(); ++i)
          insert += (i == 0 ? " (" : ", ") + ServerQuoted(change.table.fields[i].name);
        insert += ") " + change.selectSql;
        ResultPtr r = Exec(insert);
        return std::atoll(PQcmdTuples(r.get()));
      }
    }
    ThrowJet(jeterr::kNotSupported);
  }

  // The rules of `fields` given to the table's fields of their names: the
  // columns' NOT NULL, default and zero-length check altered in one
  // statement (a stored value they refuse fails it: a Null in a column now
  // NOT NULL is 3314), the catalogue's rows with them. A counter keeps its
  // column's rules (an identity is never Null and has no default).
  void ChangeFieldRules(std::string_view tableName, std::span<const FieldSpec> fields) {
    Adopt(tableName);
    const TableSpec& table = Existing(tableName);
    const TableSpec next = ddl::WithFieldRules(table, fields);
    std::string alter;
    for (const FieldSpec& change : fields) {
      const FieldSpec& f = *next.FindField(change.name);
      std::string column;
      sql::AppendServerName(column, f.name);
      if (!f.autoIncrement) {
        alter += ", ALTER COLUMN " + column + (f.required ? " SET" : " DROP") + " NOT NULL";
        const auto d = ddl::DefaultSql(f);
        alter += ", ALTER COLUMN " + column + (d ? " SET DEFAULT " + *d : " DROP DEFAULT");
      }
      if (IsTextType(f.type) && f.type != JetType::kGUID) {
        const std::string check = Quoted(sql::PostgresCheckName(kCheckZeroLength, f.name));
        alter += ", DROP CONSTRAINT IF EXISTS " + check;
        if (!f.allowZeroLength)
          alter += ", ADD CONSTRAINT " + check + " CHECK (" + column + " <> '')";
      }
    }
    if (!alter.empty()) Exec("ALTER TABLE " + ServerQuoted(next.name) + alter.substr(1));
    for (const FieldSpec& change : fields) {
      const FieldSpec& f = *next.FindField(change.name);
      ResultPtr r = ExecParams(
          "UPDATE \"_jet_fields\" SET \"required\" = $1, \"allow_zero_length\" = $2, "
          "\"default_value\" = $3 WHERE \"table_name\" = $4 AND \"name\" = $5",
          {f.required ? "t" : "f", f.allowZeroLength ? "t" : "f", f.defaultValue, next.name,
           f.name});
      if (std::string_view(PQcmdTuples(r.get())) != "1")
        ThrowJet(jeterr::kItemNotFound, {}, kSourceField);
    }
  }

  void SetUnicodeCompression(std::string_view tableName, std::string_view fieldName, bool on) {
    Adopt(tableName);
    const TableSpec& table = Existing(tableName);
    const FieldSpec* field = table.FindField(fieldName);
    if (!field) ThrowJet(jeterr::kItemNotFound, {}, kSourceField);
    ResultPtr r = ExecParams(
        "UPDATE \"_jet_fields\" SET \"unicode_compression\" = $1 WHERE \"table_name\" = $2 "
        "AND \"name\" = $3",
        {on ? "t" : "f", table.name, field->name});
    if (std::string_view(PQcmdTuples(r.get())) != "1")
      ThrowJet(jeterr::kItemNotFound, {}, kSourceField);
  }

  // A database made before the short forms of long names
  // (sql::ServerObjectName) holds its tables and fields of such names under
  // the names the server cut them to (sql::ServerCutName): each is renamed
  // to its short form, in one statement that tells the other sessions when
  // it renamed any (one round trip more for an open of such a database).
  // `longNames`: kLongNamesSql's rows.
  void RenameCutNames(const PGresult* longNames) {
    std::string body;
    auto attribute = [](const std::string& table, const std::string& column) {
      return "EXISTS (SELECT 1 FROM pg_attribute WHERE attrelid = to_regclass(" +
             Literal(ServerQuoted(table)) + ") AND attname = " + Literal(column) +
             " AND NOT attisdropped)";
    };
    for (int i = 0; i < PQntuples(longNames); ++i) {
      const std::string table = PQgetvalue(longNames, i, 0);
      if (PQgetisnull(longNames, i, 1)) {
        const std::string cut = Quoted(sql::ServerCutName(table));
        body += "IF to_regclass(" + Literal(cut) + ") IS NOT NULL AND to_regclass(" +
                Literal(ServerQuoted(table)) + ") IS NULL THEN ALTER TABLE " + cut + " RENAME TO " +
                ServerQuoted(table) + "; renamed := true; END IF; ";
      } else {
        const std::string field = PQgetvalue(longNames, i, 1);
        const std::string cut = sql::ServerCutName(field);
        body += "IF " + attribute(table, cut) + " AND NOT " +
                attribute(table, sql::ServerObjectName(field)) + " THEN ALTER TABLE " +
                ServerQuoted(table) + " RENAME COLUMN " + Quoted(cut) + " TO " +
                ServerQuoted(field) + "; renamed := true; END IF; ";
      }
    }
    Exec("DO $jet_names$DECLARE renamed boolean := false; BEGIN " + body +
         "IF renamed THEN PERFORM " + std::string(kSchemaChangeNotice) +
         "; END IF; END $jet_names$");
  }

  // The server's names of index `x` of `table`: the library's own and, for
  // a name beyond the server's limit, the one the server cut it to (an
  // index made before the library named such indexes itself).
  static std::string IndexNames(const std::string& table, const IndexSpec& x) {
    const std::string full = table + "$" + x.name;
    std::string out = Quoted(sql::PostgresIndexName(table, x.name));
    if (!sql::FitsServerName(full)) out += ", " + Quoted(full);
    return out;
  }

  void DropIndex(const std::string& table, const IndexSpec& x) {
    if (x.primary) {
      // The table's primary key (CREATE TABLE's constraint) or an index
      // made primary later (CREATE INDEX ... WITH PRIMARY): whichever it is.
      Exec("DROP INDEX IF EXISTS " + IndexNames(table, x));
      // The name the server gave it, and for a long table name made before
      // the short forms the one it gave the cut name.
      Exec("ALTER TABLE " + ServerQuoted(table) + " DROP CONSTRAINT IF EXISTS " +
           Quoted(sql::PostgresPrimaryKeyName(table)));
      if (!sql::FitsServerName(table))
        Exec("ALTER TABLE " + ServerQuoted(table) + " DROP CONSTRAINT IF EXISTS " +
             Quoted(sql::PostgresPrimaryKeyName(sql::ServerCutName(table))));
      SetRowKey(table, true);
    } else {
      // A unique constraint's index (a table made by psql, taken into the
      // catalogue) goes with its constraint; the library's are indexes.
      Exec("ALTER TABLE " + ServerQuoted(table) + " DROP CONSTRAINT IF EXISTS " +
           Quoted(sql::PostgresIndexName(table, x.name)) + "; DROP INDEX IF EXISTS " +
           IndexNames(table, x));
    }
    ExecParams("DELETE FROM \"_jet_indexes\" WHERE \"table_name\" = $1 AND \"name\" = $2",
               {table, x.name});
  }

  // Gives `table` the row key (a table left without a primary key) or takes
  // it away (a table given one). Adding it numbers the rows there.
  void SetRowKey(const std::string& table, bool keyless) {
    if (keyless)
      Exec("ALTER TABLE " + ServerQuoted(table) + " ADD COLUMN IF NOT EXISTS " +
           sql::PostgresRowKeySql());
    else
      Exec("ALTER TABLE " + ServerQuoted(table) + " DROP COLUMN IF EXISTS " +
           Quoted(sql::kServerRowKey));
  }

  // ---- running statements

  int depth = 0;
  int64_t changes = 0;
  // The row key (sql::kServerRowKey) of the row the last INSERT wrote, when
  // its table has one.
  std::optional<int64_t> lastRowKey;
  bool readOnly = false;
  int busyTimeoutMs = 0;
  // The open lock's call (OpenLockCall) on the schema's OID once the open
  // took it: a new session after a reconnect takes it again.
  std::string openLock;
  bool exclusive = false;
  std::string shown;  // the location as messages show it

  // The session's settings, made after the connect and after a reconnect.
  void SetUpSession() {
    // Read committed whatever the server's default: a select of a
    // transaction not opened yet runs by itself (Unopened).
    Exec(
        "SET client_min_messages TO warning; SET default_transaction_isolation TO 'read "
        "committed'");
    // A write waits for another's lock as long as the file engine waits
    // for the file's, then fails with 3218.
    Exec("SET lock_timeout TO " + std::to_string(std::max(busyTimeoutMs, 1)) +
         (writeLockPrepared ? "; " + PrepareWriteLock() : std::string()));
    if (readOnly) Exec("SET default_transaction_read_only TO on");
    if (openLock.empty()) {
      Exec(kListenSchemaChanges);
      return;
    }
    // The open lock again, in the same round trip. A session that cannot
    // take it (another opened the database meanwhile) ends itself, so that
    // nothing runs without it: each later request tries the reconnect again.
    bool taken = false;
    try {
      ResultPtr r = Exec(std::string(kListenSchemaChanges) + "; SELECT CASE WHEN " + openLock +
                         " THEN true ELSE NOT pg_terminate_backend(pg_backend_pid()) END");
      taken = PQstatus(conn) == CONNECTION_OK && *PQgetvalue(r.get(), 0, 0) == 't';
    } catch (const Error&) {
      if (PQstatus(conn) == CONNECTION_OK) throw;
    }
    if (!taken) ThrowOpenLocked(shown, exclusive);
  }

  // A session the server ended (a restart, a terminated backend, a broken
  // network) fails the statement that finds it so (3043). Outside a
  // transaction the next one connects again with the same settings and
  // open lock (3218 while another session's open keeps it out; the request
  // after tries again), and the server's prepared statements and what was
  // read of the schema are forgotten (a statement a caller holds is
  // prepared again); inside
  // one, the transaction is lost with the session, and the caller ends it
  // first (Rollback then succeeds, CommitTrans fails with 3043).
  void Revive() {
    if (depth > 0 || PQstatus(conn) == CONNECTION_OK) return;
    if (streaming) {
      streaming->active = false;
      streaming = nullptr;
    }
    pending.clear();
    lockLevel = 0;
    snapshot = false;
    // What was committed while the session was away was never told.
    ++dataGeneration;
    ++schemaGeneration;
    PQreset(conn);
    if (PQstatus(conn) != CONNECTION_OK) ThrowResult(nullptr, conn, kSourceDatabase);
    ClearCache();
    ++deallocations;
    Forget();
    SetUpSession();
  }

  // Runs `body` so that a failure undoes what it did and no more: inside a
  // transaction between a savepoint and its release (the server refuses
  // every statement after a failed one until the transaction ends),
  // otherwise as the server's own statement does.
  template <class Body>
  auto Atomically(Body body) {
    if (depth == 0) return body();
    const std::string name = Quoted(kStatementSavepoint);
    Exec("SAVEPOINT " + name);
    try {
      auto result = body();
      Exec("RELEASE SAVEPOINT " + name);
      return result;
    } catch (...) {
      CountServerRoundTrip();
      ResultPtr(
          PQexec(conn, ("ROLLBACK TO SAVEPOINT " + name + "; RELEASE SAVEPOINT " + name).c_str()));
      throw;
    }
  }

  void NoteChanges(const PGresult* r) {
    const char* n = PQcmdTuples(const_cast<PGresult*>(r));
    changes = n && *n ? std::atoll(n) : 0;
  }

  // Prepares `entry`'s text on the server under its name.
  // In a transaction not opened yet the prepare runs by itself, as a
  // select there does, and a refusal leaves nothing to undo.
  void PrepareOnServer(Entry& entry) {
    Settle();
    if (!Unopened()) Flush();
    CountServerRoundTrip();
    ResultPtr r(PQprepare(conn, entry.name.c_str(), entry.translation.sql.c_str(),
                          static_cast<int>(entry.types.size()), entry.types.data()));
    if (!r || !Succeeded(r.get())) ThrowResult(r.get(), conn, kSourceDatabase);
    entry.preparedIn = deallocations;
  }

  // A statement a caller holds, prepared again on the server (its
  // statements were dropped, or it was prepared on the side session).
  void PrepareAgain(Entry& entry) {
    if (Unopened()) {
      PrepareOnServer(entry);
      return;
    }
    Atomically([&] {
      PrepareOnServer(entry);
      return 0;
    });
  }

  ResultPtr RunPrepared(Entry& entry, const std::vector<std::optional<std::string>>& values) {
    Settle();
    Revive();
    if (entry.translation.kind != StatementKind::kSelect) EndSnapshot();
    std::vector<const char*> p;
    p.reserve(values.size());
    for (const auto& v : values) p.push_back(v ? v->c_str() : nullptr);
    // A statement a caller still holds from before a change of the
    // schema: the server forgot it with the others.
    if (entry.preparedIn != deallocations) PrepareAgain(entry);
    if (depth == 0) CountServerRoundTrip();
    ResultPtr r =
        depth == 0 ? ResultPtr(PQexecPrepared(conn, entry.name.c_str(), static_cast<int>(p.size()),
                                              p.data(), nullptr, nullptr, 0))
                   : RunBetweenSavepoints(entry, p);
    if (!r || !Succeeded(r.get())) ThrowResult(r.get(), conn, kSourceDatabase);
    NoteResult(entry, r.get());
    // Committed as the server's own transaction (a file's connection does
    // not note such a commit as its own either).
    if (depth == 0 && entry.translation.kind != StatementKind::kSelect) ++dataGeneration;
    return r;
  }

  // What a statement's result tells: the rows changed, an inserted row's key.
  void NoteResult(const Entry& entry, const PGresult* r) {
    // A select changes nothing (its command tag counts its rows).
    if (entry.translation.kind != StatementKind::kSelect) NoteChanges(r);
    // An INSERT of one row into a table with the row key returns the key.
    if (entry.translation.kind == StatementKind::kInsert)
      lastRowKey = PQntuples(r) == 1 && PQnfields(r) == 1
                       ? std::optional<int64_t>(std::atoll(PQgetvalue(r, 0, 0)))
                       : std::nullopt;
  }

  // A statement held for the commit (EngineStatement::RunAtCommit): sent
  // in the round trip of the outermost level's COMMIT, or before any other
  // request. Held only in a write-locked transaction no statement has
  // reached since its begin (`quiet`), so a failure in the commit's
  // pipeline leaves nothing else of the transaction to keep.
  struct Held {
    std::shared_ptr<Entry> entry;
    std::vector<std::optional<std::string>> values;
    int level = 0;                // the transaction level it ran in
    std::vector<Pending> before;  // the commands pending before it
    std::vector<const char*> Parameters() const {
      std::vector<const char*> p;
      p.reserve(values.size());
      for (const auto& v : values) p.push_back(v ? v->c_str() : nullptr);
      return p;
    }
  };
  std::optional<Held> held;
  bool quiet = false;

  bool CanHold(const Entry& entry) const {
    return quiet && !held && heldRuns.empty() && depth > 0 && lockLevel > 0 && !streaming &&
           queued.empty() && entry.preparedIn == deallocations && PQstatus(conn) == CONNECTION_OK;
  }
  // The values of the statement held last, kept with their room for the
  // next: a log entry's values are copied into texts that fit.
  std::vector<std::optional<std::string>> heldRoom;
  void Hold(std::shared_ptr<Entry> entry, const std::vector<std::optional<std::string>>& values) {
    heldRoom = values;
    held = Held{std::move(entry), std::move(heldRoom), depth, std::move(pending)};
    pending.clear();
  }
  // Takes the held statement, whose values' room goes back when it goes.
  struct Taken {
    Impl& impl;
    Held h;
    ~Taken() { impl.heldRoom = std::move(h.values); }
  };
  Taken TakeHeld() {
    struct Reset {
      std::optional<Held>& held;
      ~Reset() { held.reset(); }
    } reset{held};
    return Taken{*this, std::move(*held)};
  }

  // The held statement sent by itself, as Run sends it, before another
  // request; its failure is raised here.
  void RunHeld() {
    if (!held) return;
    Taken taken = TakeHeld();
    Held& h = taken.h;
    std::vector<Pending> after;
    after.swap(pending);
    pending = std::move(h.before);
    struct Restore {
      std::vector<Pending>& pending;
      std::vector<Pending>& after;
      ~Restore() { pending.insert(pending.end(), after.begin(), after.end()); }
    } restore{pending, after};
    ResultPtr r = RunBetweenSavepoints(*h.entry, h.Parameters());
    if (!r || !Succeeded(r.get())) ThrowResult(r.get(), conn, kSourceDatabase);
    NoteResult(*h.entry, r.get());
  }

  // A rollback of the held statement's level or one around it: the
  // statement, never sent, goes; the commands before it wait again.
  void DropHeld(int level) {
    if (!held || held->level < level) return;
    std::vector<Pending> after;
    after.swap(pending);
    pending = std::move(held->before);
    pending.insert(pending.end(), after.begin(), after.end());
    heldRoom = std::move(held->values);
    held.reset();
  }

  // The outermost level's commit with the held statement: the statement
  // and the COMMIT in one pipeline, after the transaction's BEGIN and lock
  // when it took its lock with its first request (they are that request).
  // The levels' savepoints and releases pending around it are left out:
  // none reached the server (the transaction was quiet), and the
  // transaction is committed or rolled back whole. When the lock's wait or
  // the statement fails the server skips the rest: the transaction stays
  // open and aborted, and the failure is the commit's (the caller rolls
  // back, as after any failed commit).
  void CommitHeld() {
    Taken taken = TakeHeld();
    Held& h = taken.h;
    pending.clear();
    const std::vector<const char*> p = h.Parameters();
    CountServerRoundTrip();
    bool sent = PQenterPipelineMode(conn);
    size_t opening = 0;
    for (const Pending& c : h.before)
      if (c.kind == Command::kBegin || c.kind == Command::kLock) {
        if (c.text == &keyLock) keyAt = opening;
        sent = sent && SendCommand(c);
        ++opening;
      }
    sent = sent &&
           PQsendQueryPrepared(conn, h.entry->name.c_str(), static_cast<int>(p.size()), p.data(),
                               nullptr, nullptr, 0) &&
           PQsendQueryParams(conn, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0) &&
           PQpipelineSync(conn);
    // The opening commands' results, the statement's and the COMMIT's.
    bool lost = !sent;
    size_t failedAt = 0;
    const ResultPtr failure =
        ReadPipeline(opening + 2, lost, failedAt, [&](size_t i, const PGresult* r) {
          if (i == opening) NoteResult(*h.entry, r);
        });
    if (lost || failure) {
      // A session the server ended took the transaction with it.
      if (PQstatus(conn) != CONNECTION_OK) EndTransaction();
      ThrowResult(failure.get(), conn, kSourceDatabase);
    }
    EndTransaction();
  }

  // The statements held for the next request (RunWithNextRequest), in the
  // order held: only at the outermost level with no command pending but its
  // own begin and write lock (Opening), so they go after those and before
  // every command pending since.
  struct HeldRun {
    std::shared_ptr<Entry> entry;
    std::vector<std::optional<std::string>> values;
  };
  std::vector<HeldRun> heldRuns;
  bool CanHoldRun(const Entry& entry) const {
    const StatementKind kind = entry.translation.kind;
    return (kind == StatementKind::kUpdate || kind == StatementKind::kDelete) && depth == 1 &&
           (pending.empty() || (lockLevel == 1 && Opening() == pending.size())) && !held &&
           !readOnly && !streaming && PQstatus(conn) == CONNECTION_OK;
  }
  // How many of the first pending commands are the outermost level's begin
  // and the locks taken with it, not sent yet: the held runs go after them.
  size_t Opening() const {
    size_t n = 0;
    while (n < pending.size() && pending[n].level == 1 &&
           (n == 0 ? pending[n].kind == Command::kBegin : pending[n].kind == Command::kLock))
      ++n;
    return n;
  }
  // Sends the first `count` pending commands into the pipeline begun (keyAt
  // set to the key's lock among them) and takes them out of pending.
  bool SendOpening(size_t count) {
    bool ok = true;
    for (size_t i = 0; i < count; ++i) {
      if (pending[i].text == &keyLock) keyAt = i;
      ok = ok && SendCommand(pending[i]);
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(count));
    return ok;
  }

  // Sends the held runs' checked forms into the pipeline begun, each
  // prepared first where the session has not; `sent` gets, per result to
  // come, the run it is of and whether it is its prepare's.
  struct SentRun {
    HeldRun* run;
    bool prepare;
  };
  bool SendHeldRunsInto(std::vector<HeldRun>& runs, std::vector<SentRun>& sent) {
    bool ok = true;
    for (HeldRun& h : runs) {
      Entry& e = *h.entry;
      const std::string name = e.name + "c";
      const bool preparing = e.checkedIn != deallocations &&
                             std::none_of(sent.begin(), sent.end(), [&](const SentRun& s) {
                               return s.run->entry == h.entry;
                             });
      if (preparing) {
        ok = ok && PQsendPrepare(conn, name.c_str(), CheckedSql(e.translation.sql).c_str(),
                                 static_cast<int>(e.types.size()), e.types.data());
        sent.push_back({&h, true});
      }
      std::vector<const char*> p;
      p.reserve(h.values.size());
      for (const auto& v : h.values) p.push_back(v ? v->c_str() : nullptr);
      ok = ok && PQsendQueryPrepared(conn, name.c_str(), static_cast<int>(p.size()), p.data(),
                                     nullptr, nullptr, 0);
      sent.push_back({&h, false});
    }
    return ok;
  }
  // A held run's result: its prepare done, or the rows its run changed.
  void NoteHeldResult(const SentRun& s, const PGresult* r) {
    if (s.prepare)
      s.run->entry->checkedIn = deallocations;
    else
      changes = PQntuples(r) == 1 ? std::atoll(PQgetvalue(r, 0, 0)) : 0;
  }

  // The held runs sent by themselves, before another request, between a
  // savepoint and its release (after the transaction's begin and lock when
  // they wait still): a failure undoes them all and is raised; a failure of
  // the begin or the lock leaves the transaction aborted for the caller's
  // rollback.
  void SendHeldRuns() {
    if (heldRuns.empty()) return;
    quiet = false;  // statements reach the transaction
    std::vector<HeldRun> runs;
    runs.swap(heldRuns);
    static const std::string savepoint = "SAVEPOINT " + Quoted(kStatementSavepoint);
    if (!PQenterPipelineMode(conn)) ThrowResult(nullptr, conn, kSourceDatabase);
    CountServerRoundTrip();
    std::vector<SentRun> order;
    const Preamble own;  // the statement savepoint's
    const size_t opening = Opening();
    bool sent = SendOpening(opening) && PQsendQueryParams(conn, savepoint.c_str(), 0, nullptr,
                                                          nullptr, nullptr, nullptr, 0);
    sent = sent && SendHeldRunsInto(runs, order) && SendRelease(own) && PQpipelineSync(conn);
    bool lost = !sent;
    size_t failedAt = 0;
    const ResultPtr failure =
        ReadPipeline(opening + order.size() + 2, lost, failedAt, [&](size_t i, const PGresult* r) {
          if (i > opening && i <= opening + order.size()) NoteHeldResult(order[i - opening - 1], r);
        });
    if (lost) ThrowResult(nullptr, conn, kSourceDatabase);
    if (failure) {
      if (failedAt > opening) Undo(own);
      ThrowResult(failure.get(), conn, kSourceDatabase);
    }
  }

  // The outermost level's commit with the held runs: the transaction's
  // begin and lock when they wait still, the runs, the commands pending
  // since and the COMMIT in one pipeline. A failure skips the rest: the
  // transaction stays open and aborted, and the failure is the commit's
  // (the caller rolls back, as after any failed commit).
  void CommitHeldRuns() {
    std::vector<HeldRun> runs;
    runs.swap(heldRuns);
    for (const Queued& q : queued) q.stream->queued = false;
    queued.clear();
    if (!PQenterPipelineMode(conn)) ThrowResult(nullptr, conn, kSourceDatabase);
    CountServerRoundTrip();
    std::vector<SentRun> order;
    const size_t opening = Opening();
    bool sent = SendOpening(opening) && SendHeldRunsInto(runs, order);
    for (const Pending& c : pending)
      sent = sent &&
             PQsendQueryParams(conn, c.text->c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
    const size_t count = opening + order.size() + pending.size() + 1;
    pending.clear();
    sent = sent && PQsendQueryParams(conn, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0) &&
           PQpipelineSync(conn);
    bool lost = !sent;
    size_t failedAt = 0;
    const ResultPtr failure = ReadPipeline(count, lost, failedAt, [&](size_t i, const PGresult* r) {
      if (i >= opening && i < opening + order.size()) NoteHeldResult(order[i - opening], r);
    });
    if (lost || failure) {
      // A session the server ended took the transaction with it.
      if (PQstatus(conn) != CONNECTION_OK) EndTransaction();
      ThrowResult(failure.get(), conn, kSourceDatabase);
    }
    EndTransaction();
  }

  // The outermost level ended on the server.
  void EndTransaction() {
    quiet = false;
    --depth;
    lockLevel = 0;
    schemaLevels.clear();
  }

  // Inside a transaction: the savepoint, the statement and the release in
  // one round trip (a pipeline); when the statement fails, the server skips
  // the release, and a rollback to the savepoint ends the failure. Returns
  // the statement's result, failed or not.
  ResultPtr RunBetweenSavepoints(const Entry& entry, const std::vector<const char*>& p) {
    if (!PQenterPipelineMode(conn)) ThrowResult(nullptr, conn, kSourceDatabase);
    CountServerRoundTrip();
    const Preamble preamble = SendPreamble(true);
    const bool sent = preamble.sent &&
                      PQsendQueryPrepared(conn, entry.name.c_str(), static_cast<int>(p.size()),
                                          p.data(), nullptr, nullptr, 0) &&
                      SendRelease(preamble) && PQpipelineSync(conn);
    // The preamble's results, the statement's and the release's (if sent),
    // each followed by a null, then the sync's.
    bool lost = !sent;
    ResultPtr failed = lost ? nullptr : ReadPreamble(preamble.results, lost);
    ResultPtr results[2];
    for (size_t i = 0; i < 1 + preamble.Trailing() && !lost; ++i) {
      results[i].reset(PQgetResult(conn));
      if (!results[i]) lost = true;
      while (PGresult* more = PQgetResult(conn)) PQclear(more);
    }
    if (!lost) {
      ResultPtr sync(PQgetResult(conn));
      lost = !sync || PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC;
    }
    PQexitPipelineMode(conn);
    if (lost) ThrowResult(nullptr, conn, kSourceDatabase);
    if (failed) return failed;
    if (!Succeeded(results[0].get())) Undo(preamble);
    return std::move(results[0]);
  }

  // Runs the prepared action once per entry of `runs` in one round trip (a
  // pipeline): inside a transaction between a savepoint and its release, a
  // failure rolled back to the savepoint; outside one, the pipeline's
  // implicit transaction undoes every run on a failure. Returns the rows
  // each run changed; raises the first failure.
  std::vector<int64_t> RunPipelined(Entry& entry, const PipelineRuns& runs) {
    std::vector<Queued> before;
    before.swap(queued);
    for (const Queued& q : before) q.stream->queued = false;
    Settle();
    Revive();
    EndSnapshot();
    if (entry.preparedIn != deallocations) PrepareAgain(entry);
    const bool inside = depth > 0;
    // In a transaction the selects waiting for the next select go after the
    // level's begin (and lock) and before the runs, so they read what the
    // lock guards; outside one each runs at its Step.
    if (!inside) before.clear();
    std::erase_if(before, [&](const Queued& q) { return q.entry->preparedIn != deallocations; });
    if (!PQenterPipelineMode(conn)) ThrowResult(nullptr, conn, kSourceDatabase);
    CountServerRoundTrip();
    const Preamble preamble = inside ? SendPreamble(true) : Preamble{};
    bool sent = preamble.sent;
    for (const Queued& q : before) sent = sent && SendQueued(q);
    std::vector<const char*> p(runs.width);
    for (size_t i = 0; sent && i < runs.count; ++i) {
      for (size_t j = 0; j < runs.width; ++j) {
        const ptrdiff_t start = runs.starts[i * runs.width + j];
        p[j] = start < 0 ? nullptr : runs.texts.data() + start;
      }
      sent = PQsendQueryPrepared(conn, entry.name.c_str(), static_cast<int>(p.size()), p.data(),
                                 nullptr, nullptr, 0);
    }
    sent = sent && (!inside || SendRelease(preamble)) && PQpipelineSync(conn);
    // Each statement's result (after a failure the server's "aborted"),
    // each followed by a null, then the sync's.
    const size_t first = inside ? preamble.results : 0,
                 total = first + runs.count + (inside ? preamble.Trailing() : 0);
    std::vector<int64_t> changed;
    changed.reserve(runs.count);
    size_t failedAt = 0;
    bool lost = !sent;
    ResultPtr failure = ReadResults(first, lost, failedAt, [](size_t, const PGresult*) {});
    // The selects' rows come whole into their statements; one that did not
    // run, or failed, runs again at its Step (its failure is the
    // pipeline's too, the runs after it skipped).
    for (const Queued& q : before) {
      if (lost) break;
      std::deque<ResultPtr> rows;
      bool answered = false;
      ResultPtr own = ReadQueued(q, rows, answered);
      lost = !answered;
      const bool ran = !failure && !own;
      if (own && !failure && PQresultStatus(own.get()) != PGRES_PIPELINE_ABORTED) {
        failure = std::move(own);
        failedAt = first;
      }
      if (!ran || lost) continue;
      q.stream->ahead = std::move(rows);
      q.stream->error.reset();
      q.stream->begunAhead = true;
    }
    size_t runsFailedAt = 0;
    ResultPtr runsFailure =
        ReadResults(total - first, lost, runsFailedAt, [&](size_t i, const PGresult* r) {
          if (i >= runs.count) return;
          NoteChanges(r);
          changed.push_back(changes);
        });
    if (!failure && runsFailure) {
      failure = std::move(runsFailure);
      failedAt = first + runsFailedAt;
    }
    if (!lost) {
      ResultPtr sync(PQgetResult(conn));
      lost = !sync || PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC;
    }
    PQexitPipelineMode(conn);
    if (lost) ThrowResult(nullptr, conn, kSourceDatabase);
    if (failure) {
      // The runs before the failure go with the savepoint (unless the
      // preamble failed: then nothing ran).
      if (inside && failedAt >= first) Undo(preamble);
      ThrowResult(failure.get(), conn, kSourceDatabase);
    }
    if (!inside) ++dataGeneration;
    return changed;
  }

  // Sends the prepared select and starts reading its rows one at a time;
  // in a transaction between a savepoint and its release (a pipeline, one
  // round trip), as RunBetweenSavepoints runs the others.
  void StartStream(Entry& entry, const std::vector<std::optional<std::string>>& values, Stream& s,
                   bool whole) {
    if (Nesting()) {
      StartOnSide(entry, values, s, whole);
      return;
    }
    s.side = false;
    std::vector<Queued> before;
    before.swap(queued);
    for (const Queued& q : before) q.stream->queued = false;
    Settle();
    Revive();
    std::vector<const char*> p;
    p.reserve(values.size());
    for (const auto& v : values) p.push_back(v ? v->c_str() : nullptr);
    if (entry.preparedIn != deallocations) PrepareAgain(entry);
    s.ahead.clear();
    s.error.reset();
    s.pipelined = depth > 0 && !Unopened();
    // The queued selects go first when this select runs by itself, each in
    // an implicit transaction of its own (a sync after it), so that a
    // failure of one is its own; in a transaction after its savepoint, with
    // it (SendPipelinedWithQueued); in a read snapshot, and when the schema
    // changed since their prepare, each runs at its Step.
    if (snapshot) before.clear();
    std::erase_if(before, [&](const Queued& q) { return q.entry->preparedIn != deallocations; });
    const int n = static_cast<int>(p.size());
    const bool withQueued = s.pipelined && !before.empty();
    if (!withQueued) CountServerRoundTrip();
    if (withQueued) {
      if (!SendPipelinedWithQueued(before, entry, p)) {
        // A queued select failed: the select runs by itself.
        StartStream(entry, values, s, whole);
        return;
      }
    } else if (!before.empty()) {
      SendWithQueued(before, entry, p);
      s.syncAfter = true;
    } else if (depth == 0 && !pending.empty()) {
      SendAfterPending(entry, p);
      s.syncAfter = true;
    } else if (!s.pipelined) {
      if (!PQsendQueryPrepared(conn, entry.name.c_str(), n, p.data(), nullptr, nullptr, 0))
        ThrowResult(nullptr, conn, kSourceDatabase);
    } else {
      if (!PQenterPipelineMode(conn)) ThrowResult(nullptr, conn, kSourceDatabase);
      const Preamble preamble = SendPreamble();
      const bool sent =
          preamble.sent &&
          PQsendQueryPrepared(conn, entry.name.c_str(), n, p.data(), nullptr, nullptr, 0) &&
          SendRelease(preamble) && PQpipelineSync(conn);
      bool lost = !sent;
      ResultPtr failed = lost ? nullptr : ReadPreamble(preamble.results, lost);
      if (lost || failed) {
        // The preamble failed: the select and the release were skipped.
        for (int i = 0; !lost && i < 2; ++i)
          if (ResultPtr(PQgetResult(conn))) DropNulls();
        if (!lost) ResultPtr(PQgetResult(conn));  // the sync's
        PQexitPipelineMode(conn);
        ThrowResult(failed.get(), conn, kSourceDatabase);
      }
    }
    // Set before the first of the select's results is read (in a pipeline:
    // now that the savepoint's are); had it failed, the rows would come
    // whole, which NextRows reads too, as it does the rows asked for whole.
    if (!whole) PQsetSingleRowMode(conn);
    s.active = true;
    streaming = &s;
  }

  // In a transaction: the pending commands and the statement savepoint,
  // the queued selects, the select of `entry`, the savepoint's release and
  // a sync in one pipeline; reads the queued selects' rows whole into their
  // streams and leaves the select's to be read. A failure of the pending
  // commands is raised (the queued selects then run at their Step). A
  // queued select's failure skips the rest: the savepoint undoes it, the
  // failure waits for that select's Step, the selects after it run at
  // theirs, and false says that the select is to be sent again.
  bool SendPipelinedWithQueued(const std::vector<Queued>& before, Entry& entry,
                               const std::vector<const char*>& p) {
    if (!PQenterPipelineMode(conn)) ThrowResult(nullptr, conn, kSourceDatabase);
    CountServerRoundTrip();
    const Preamble preamble = SendPreamble();
    bool sent = preamble.sent;
    for (const Queued& q : before) sent = sent && SendQueued(q);
    sent = sent &&
           PQsendQueryPrepared(conn, entry.name.c_str(), static_cast<int>(p.size()), p.data(),
                               nullptr, nullptr, 0) &&
           SendRelease(preamble) && PQpipelineSync(conn);
    bool lost = !sent;
    ResultPtr failed = lost ? nullptr : ReadPreamble(preamble.results, lost);
    // The results left before the sync once the preamble or a queued
    // select failed (the server's "aborted", each followed by a null).
    const auto drain = [&](size_t left) {
      for (size_t i = 0; !lost && i < left; ++i)
        if (ResultPtr(PQgetResult(conn))) DropNulls();
      if (!lost) ResultPtr(PQgetResult(conn));  // the sync's
      PQexitPipelineMode(conn);
    };
    if (lost || failed) {
      drain(before.size() + 1 + preamble.Trailing());
      ThrowResult(failed.get(), conn, kSourceDatabase);
    }
    for (size_t k = 0; k < before.size(); ++k) {
      const Queued& q = before[k];
      Stream& qs = *q.stream;
      qs.ahead.clear();
      qs.error.reset();
      bool answered = false;
      ResultPtr failure = lost ? nullptr : ReadQueued(q, qs.ahead, answered);
      lost = lost || !answered;
      if (lost) {
        PQexitPipelineMode(conn);
        ThrowResult(nullptr, conn, kSourceDatabase);
      }
      if (!failure) {
        qs.begunAhead = true;
        continue;
      }
      qs.ahead.clear();
      try {
        ThrowResult(failure.get(), conn, kSourceDatabase);
      } catch (const Error& e) {
        qs.error = e;
      }
      qs.begunAhead = true;
      drain(before.size() - k - 1 + 1 + preamble.Trailing());
      if (lost) ThrowResult(nullptr, conn, kSourceDatabase);
      Undo(preamble);
      return false;
    }
    return true;
  }

  // Outside a transaction, the pending commands (a read snapshot's begin),
  // then the select of `entry`, and a sync in one pipeline; reads the
  // commands' results and leaves the select's to be read.
  void SendAfterPending(Entry& entry, const std::vector<const char*>& p) {
    std::vector<Pending> commands;
    commands.swap(pending);
    bool sent = PQenterPipelineMode(conn);
    for (const Pending& c : commands)
      sent = sent &&
             PQsendQueryParams(conn, c.text->c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
    sent = sent &&
           PQsendQueryPrepared(conn, entry.name.c_str(), static_cast<int>(p.size()), p.data(),
                               nullptr, nullptr, 0) &&
           PQpipelineSync(conn);
    bool lost = !sent;
    ResultPtr failed = lost ? nullptr : ReadPreamble(commands.size(), lost);
    if (lost || failed) {
      // The select was skipped after the failure.
      if (!lost && ResultPtr(PQgetResult(conn))) DropNulls();
      if (!lost) ResultPtr(PQgetResult(conn));  // the sync's
      PQexitPipelineMode(conn);
      ThrowResult(failed.get(), conn, kSourceDatabase);
    }
  }

  // One pipeline: each of `before` and a sync, then the select of `entry`
  // and a sync; reads the results of `before` whole into their streams
  // (or their failures), and leaves the select's to be read.
  void SendWithQueued(const std::vector<Queued>& before, Entry& entry,
                      const std::vector<const char*>& p) {
    if (!PQenterPipelineMode(conn)) ThrowResult(nullptr, conn, kSourceDatabase);
    bool sent = true;
    for (const Queued& q : before) sent = sent && SendQueued(q) && PQpipelineSync(conn);
    sent = sent &&
           PQsendQueryPrepared(conn, entry.name.c_str(), static_cast<int>(p.size()), p.data(),
                               nullptr, nullptr, 0) &&
           PQpipelineSync(conn);
    bool lost = !sent;
    for (const Queued& q : before) {
      Stream& qs = *q.stream;
      qs.ahead.clear();
      qs.error.reset();
      qs.begunAhead = true;
      // A failure drops the rows before it, as a select read whole gives none.
      bool answered = false;
      ResultPtr failure = lost ? nullptr : ReadQueued(q, qs.ahead, answered);
      ResultPtr sync(lost ? nullptr : PQgetResult(conn));
      lost = lost || !answered || !sync || PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC;
      if (!failure && !lost) continue;
      qs.ahead.clear();
      try {
        ThrowResult(failure.get(), conn, kSourceDatabase);
      } catch (const Error& e) {
        qs.error = e;
      }
    }
    if (lost) {
      PQexitPipelineMode(conn);
      ThrowResult(nullptr, conn, kSourceDatabase);
    }
  }

  // Moves the data generation when another session told of a commit of
  // rows or of a change of the schema, and drops what was read of the
  // schema at the latter: the notices that arrived are read without
  // waiting (a commit's notice reaches the others a moment after it
  // returns). This session's own are let go.
  void CheckNotifications() {
    Revive();
    // The socket is read at most once a tick of the coarse clock (4 ms
    // here): one call of the library checks several times (its statement's
    // look-up, a cache's generation), each read that finds nothing is a
    // system call, and a notice reaches a session a moment after the other
    // one's commit anyway. What libpq read with an answer is taken at every
    // check.
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    const int64_t tick = int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
    if (tick != socketReadAt) {
      socketReadAt = tick;
      if (!PQconsumeInput(conn)) return;  // a lost connection fails the next statement
    }
    bool other = false, schema = false;
    while (PGnotify* n = PQnotifies(conn)) {
      if (n->be_pid != PQbackendPID(conn)) {
        other = true;
        schema = schema || *n->extra == '\0';
      }
      PQfreemem(n);
    }
    if (other) ++dataGeneration;
    if (schema) SchemaChanged();
  }

  // The coarse clock's time of the last read of the socket for notices.
  int64_t socketReadAt = -1;
  // Engine::DataGeneration and Engine::SchemaGeneration.
  uint64_t dataGeneration = 0;
  uint64_t schemaGeneration = 0;

  // What was read of the schema and prepared against it goes.
  void SchemaChanged() {
    ++dataGeneration;
    ++schemaGeneration;
    Forget();
    DropStatements();
  }

  void DropStatements() {
    Settle();
    ClearCache();
    CountServerRoundTrip();
    ResultPtr(PQexec(conn, writeLockPrepared ? ("DEALLOCATE ALL; " + PrepareWriteLock()).c_str()
                                             : "DEALLOCATE ALL"));
    ++deallocations;
  }

  // Returns the rows a make-table wrote (0 for the others).
  // The open transaction's levels (by depth) in which a schema statement
  // ran, an inner level's counted with the level around it once released:
  // a rollback of such a level undoes one, and what was read and prepared
  // against it goes then. A rollback of another level keeps it all.
  std::vector<bool> schemaLevels;

  // Whether level `level`, ending now, ran a schema statement (or a level
  // released into it did); forgets it.
  bool EndSchemaLevel(int level) {
    const bool ran = static_cast<int>(schemaLevels.size()) > level && schemaLevels[level];
    if (static_cast<int>(schemaLevels.size()) > level) schemaLevels.resize(level);
    return ran;
  }

  int64_t RunSchemaChange(const SchemaChange& change) {
    return RunSchemaWork([&] { return Apply(change); });
  }

  // `apply` (the server's statements and the catalogue's rows of a change
  // of the schema) in a transaction of its own or a savepoint of the open
  // one, told to the other sessions at the commit; returns what it does.
  template <class Apply>
  int64_t RunSchemaWork(Apply apply) {
    if (readOnly) ThrowJet(jeterr::kReadOnly);
    if (depth > 0) {
      if (static_cast<int>(schemaLevels.size()) <= depth) schemaLevels.resize(depth + 1);
      schemaLevels[depth] = true;
    }
    // The server's statements and the catalogue's rows together, all or
    // nothing.
    const bool outer = depth == 0;
    EndSnapshot();
    if (outer) Exec("BEGIN");
    int64_t rows = 0;
    try {
      ++depth;
      Atomically([&] {
        rows = apply();
        // Told to the other sessions when the transaction commits.
        Exec("SELECT " + std::string(kSchemaChangeNotice));
        return 0;
      });
      --depth;
      if (outer) Exec("COMMIT");
    } catch (...) {
      --depth;
      if (outer) {
        CountServerRoundTrip();
        ResultPtr(PQexec(conn, "ROLLBACK"));
      }
      SchemaChanged();
      throw;
    }
    SchemaChanged();
    changes = rows;
    return rows;
  }
};

// ---- statements

class PgStatement final : public EngineStatement {
 public:
  // Made for every statement: inlined where it is made, as it was before
  // it grew.
  [[gnu::always_inline]] PgStatement(std::shared_ptr<PgConnection> conn,
                                     std::shared_ptr<Entry> entry,
                                     std::vector<std::optional<std::string>> values)
      : conn_(std::move(conn)),
        entry_(std::move(entry)),
        shown_(entry_.get()),
        values_(std::move(values)) {}
  ~PgStatement() override {
    try {
      EndRows();
    } catch (...) {
      // The connection is gone: nothing is left to read.
    }
  }
  PgStatement(const PgStatement&) = delete;
  PgStatement& operator=(const PgStatement&) = delete;

  StatementKind Kind() const override { return entry_->translation.kind; }
  int ParameterCount() const override { return static_cast<int>(values_.size()); }
  void Bind(int index, const Variant& value) override {
    if (index < 1 || index > ParameterCount()) ThrowJet(jeterr::kItemNotFound);
    // The new text is appended to the one bound before, which is then cut
    // off: its room is reused, and a refused value leaves it as it was.
    const auto i = static_cast<size_t>(index - 1);
    std::optional<std::string>& slot = values_[i];
    const bool bound = slot.has_value();
    if (!bound) slot.emplace();
    const size_t before = slot->size();
    try {
      Given given = AppendParameterText(*slot, value, kSourceDatabase, entry_->types[i]);
      if (given == Given::kOtherKind || (retyped_ && retyped_->kinds[i] != shown_->kinds[i])) {
        // A value of another kind than its literal's, or one of the
        // literal's kind again after another: the statement runs as the
        // text with literals of the kinds bound (prepared once per
        // combination, as any text). Where the server cannot prepare that
        // text (a number column compared with a text) the value is given
        // to the literal's type, as before.
        const bool retyped = Retarget(i, KindFor(value, shown_->types[i], shown_->kinds[i]));
        slot->resize(before);
        given =
            AppendParameterText(*slot, value, kSourceDatabase,
                                retyped || entry_->types[i] == kOidBytea ? entry_->types[i] : 0);
      }
      if (given == Given::kText)
        slot->erase(0, before);
      else
        slot.reset();
    } catch (...) {
      if (!bound) slot.reset();
      throw;
    }
    if (stream_.queued || stream_.begunAhead) Reset();  // taken back: it runs with these
  }

  bool Step() override {
    if (!started_ && stream_.begunAhead) {
      // Sent with another select: its rows (or its failure) are here.
      stream_.begunAhead = false;
      started_ = true;
      row_ = -1;
      SetResult(NextRows());
    } else if (!started_) {
      Start();
    }
    if (result_ && row_ + 1 < PQntuples(result_.get())) {
      ++row_;
      return true;
    }
    result_.reset();  // a failure below leaves no current row
    SetResult(NextRows());
    row_ = 0;
    return result_ != nullptr;
  }

  int64_t Run() override {
    if (entry_->name.empty()) return conn_->impl_->RunSchemaChange(*entry_->translation.change);
    Reset();
    Start();
    if (Kind() != StatementKind::kSelect) return conn_->impl_->changes;
    // A select run for nothing but its success: its rows are read and let
    // go, and a failure among them is the run's, as the file engine steps
    // through them.
    while (NextRows()) {
    }
    return 0;
  }

  void Reset() override {
    EndRows();
    result_.reset();
    row_ = -1;
    started_ = false;
  }

  // The columns are the text's own: a value of another kind read as the
  // file engine reads it, by the type its column has there.
  int ColumnCount() const override { return static_cast<int>(shown_->columns.size()); }
  const ColumnMeta& Column(int i) const override {
    CheckColumn(i);
    return shown_->columns[static_cast<size_t>(i)];
  }
  Variant Value(int i) const override {
    CheckColumn(i);
    const PGresult* r = CurrentRow();
    Variant out;
    ReadInto(r, i, shown_->columns[static_cast<size_t>(i)].type, PQftype(r, i), out);
    return out;
  }
  void Values(std::span<Variant> out) const override {
    const size_t n = shown_->columns.size();
    const ColumnMeta* columns = shown_->columns.data();
    if (out.size() < n) ThrowJet(jeterr::kItemNotFound);
    const PGresult* r = CurrentRow();
    // The columns' server types are the result's: read once per result,
    // not per cell.
    if (!oidsRead_) {
      oids_.resize(n);
      for (size_t i = 0; i < n; ++i) oids_[i] = PQftype(r, static_cast<int>(i));
      oidsRead_ = true;
    }
    // Each cell written where it is, as the file engine's reader writes
    // them: a number over the number the cell holds, a text into its
    // String's memory (no Variant made and moved per value).
    for (size_t i = 0; i < n; ++i)
      ReadInto(r, static_cast<int>(i), columns[i].type, oids_[i], out[i]);
  }
  std::string_view Sql() const override { return entry_->translation.sql; }
  void ReadsEveryRow() override { whole_ = true; }
  void RunAtCommit() override {
    PgConnection::Impl& impl = *conn_->impl_;
    if (entry_->name.empty() || Kind() == StatementKind::kSelect || !impl.CanHold(*entry_)) {
      Run();
      return;
    }
    Reset();
    impl.Hold(entry_, values_);
  }
  std::optional<int64_t> RunWithNextRequest() override {
    PgConnection::Impl& impl = *conn_->impl_;
    if (entry_->name.empty() || !impl.CanHoldRun(*entry_)) return Run();
    Reset();
    impl.heldRuns.push_back({entry_, values_});
    return std::nullopt;
  }
  void StartWithNextSelect() override {
    if (Kind() != StatementKind::kSelect || entry_->name.empty()) return;
    Reset();
    conn_->impl_->queued.push_back({entry_.get(), &values_, &stream_});
    stream_.queued = true;
  }

  // The values of `runs` as the server's parameters, each run checked as
  // Bind checks a value; none (count 0) when this statement cannot run
  // them in one pipeline (a select, a schema statement, a statement of
  // another connection, fewer than two runs).
  PipelineRuns PipelineValues(const PgConnection& owner, size_t runs,
                              std::span<const Variant* const> values) const {
    PipelineRuns out;
    if (conn_.get() != &owner || entry_->name.empty() || Kind() == StatementKind::kSelect ||
        runs < 2)
      return out;
    // CheckRunValues made every run as wide as the parameters.
    out.width = values_.size();
    out.starts.reserve(values.size());
    out.texts.reserve(values.size() * 16);
    for (size_t i = 0; i < values.size(); ++i) {
      // A value given again in the same place of the next run (a save's
      // document in every run, the type its cells share) is the same text.
      if (i >= out.width && values[i] == values[i - out.width]) {
        out.starts.push_back(out.starts[i - out.width]);
        continue;
      }
      const auto start = static_cast<ptrdiff_t>(out.texts.size());
      const Given given =
          AppendParameterText(out.texts, *values[i], kSourceDatabase, entry_->types[i % out.width]);
      // A value of another kind: the runs go one by one (Bind prepares
      // the statement for it).
      if (given == Given::kOtherKind) {
        out = {};
        out.otherKind = true;
        return out;
      }
      if (given == Given::kText) out.texts += '\0';
      out.starts.push_back(given == Given::kText ? start : -1);
    }
    out.count = runs;
    return out;
  }
  Entry& Prepared() const { return *entry_; }
  void EndRowsNow() { Reset(); }

 private:
  // Runs the statement as its text with literal `i` of kind `kind` (and
  // the others of the kinds bound before): the entry of that text,
  // prepared as any text is (cached by its shape), or the text's own.
  // False, nothing changed, when the server refuses that text.
  bool Retarget(size_t i, sql::LiteralKind kind) {
    std::vector<sql::LiteralKind> kinds = retyped_ ? retyped_->kinds : shown_->kinds;
    kinds[i] = kind;
    if (kinds == shown_->kinds) {
      if (retyped_) entry_ = std::move(retyped_->own);
      retyped_.reset();
      return true;
    }
    if (std::find(shown_->refused.begin(), shown_->refused.end(), kinds) != shown_->refused.end())
      return false;
    std::string text;
    size_t copied = 0;
    for (size_t k = 0; k < kinds.size(); ++k) {
      const auto [pos, size] = shown_->spans[k];
      text.append(shown_->jetText, copied, pos - copied);
      copied = pos + size;
      if (kinds[k] == shown_->kinds[k])
        text.append(shown_->jetText, pos, size);
      else
        text += kinds[k] == sql::LiteralKind::kText     ? "''"
                : kinds[k] == sql::LiteralKind::kNumber ? "0.5"
                                                        : "0";
    }
    text.append(shown_->jetText, copied);
    std::unique_ptr<EngineStatement> other;
    try {
      other = conn_->Prepare(text);
    } catch (const Error& e) {
      if (e.Number() == jeterr::kDiskError) throw;  // the connection lost: no refusal
      shown_->refused.push_back(std::move(kinds));
      return false;
    }
    if (!retyped_) retyped_ = std::make_unique<Retyped>(Retyped{entry_, {}});
    entry_ = static_cast<PgStatement&>(*other).entry_;
    retyped_->kinds = std::move(kinds);
    return true;
  }

  void CheckColumn(int i) const {
    if (i < 0 || i >= ColumnCount()) ThrowJet(jeterr::kItemNotFound);
  }
  void SetResult(ResultPtr r) {
    result_ = std::move(r);
    oidsRead_ = false;
  }
  const PGresult* CurrentRow() const {
    const PGresult* r = result_.get();
    if (!r || row_ < 0 || row_ >= PQntuples(r)) ThrowJet(jeterr::kNoCurrentRecord);
    return r;
  }
  // Cell `col` of the current row into `out`, typed as CellValue types it:
  // the kinds SetCellValue writes in place there, the others through CellValue.
  // A Null is a value of no bytes: asked only for those.
  [[gnu::always_inline]] void ReadInto(const PGresult* r, int col, JetType type, Oid oid,
                                       Variant& out) const {
    static constexpr Statement::Cell kNullCell{Statement::Cell::Kind::kNull, 0, {}};
    const int length = PQgetlength(r, row_, col);
    if (length == 0 && PQgetisnull(r, row_, col)) {
      SetCellValue(out, kNullCell);
      return;
    }
    const std::string_view text(PQgetvalue(r, row_, col), static_cast<size_t>(length));
    const Statement::Cell c = PgCell(text, oid, type);
    if (c.kind != Statement::Cell::Kind::kOther)
      SetCellValue(out, c);
    else
      out = CellValue(text, oid, type);
  }

  void Start() {
    if (entry_->name.empty()) ThrowJet(jeterr::kObjectInvalid);
    EndRows();
    started_ = true;
    row_ = -1;
    try {
      if (Kind() == StatementKind::kSelect) {
        // The first row at once: a failure shows at the start, as it did
        // when the rows came whole.
        conn_->impl_->StartStream(*entry_, values_, stream_, whole_);
        SetResult(conn_->impl_->NextRows(stream_));
      } else {
        SetResult(conn_->impl_->RunPrepared(*entry_, values_));
      }
    } catch (...) {
      // A start that failed leaves nothing to read: the next Step runs the
      // statement again (as a file's does), not an end without a row.
      started_ = false;
      throw;
    }
    if (!entry_->columnsKnown && result_) FillColumns(*entry_, result_.get());
  }

  // The rows after the current result: those read ahead, then the failure
  // met reading them, then the connection's. Null at the end.
  ResultPtr NextRows() {
    if (!stream_.ahead.empty()) {
      ResultPtr r = std::move(stream_.ahead.front());
      stream_.ahead.pop_front();
      return r;
    }
    if (stream_.error) {
      const Error e = std::move(*stream_.error);
      stream_.error.reset();
      throw e;
    }
    return stream_.active ? conn_->impl_->NextRows(stream_) : nullptr;
  }

  // Lets the rest of the rows go: those still coming are read (the
  // connection is free again after them) and dropped.
  void EndRows() {
    conn_->impl_->Unqueue(stream_);
    stream_.begunAhead = false;
    while (stream_.active) {
      try {
        conn_->impl_->NextRows(stream_);
      } catch (const Error&) {
        // A failure past the rows wanted ends the stream all the same.
      }
    }
    stream_.ahead.clear();
    stream_.error.reset();
  }

  std::shared_ptr<PgConnection> conn_;
  std::shared_ptr<Entry> entry_;  // the one run
  Entry* shown_;                  // the text's own: its columns, its literals' kinds
  // While another entry runs (Retarget): the text's own, and each
  // literal's kind run.
  struct Retyped {
    std::shared_ptr<Entry> own;
    std::vector<sql::LiteralKind> kinds;
  };
  std::unique_ptr<Retyped> retyped_;
  std::vector<std::optional<std::string>> values_;
  Stream stream_;
  ResultPtr result_;
  // The columns' server types in result_ (Values), when oidsRead_.
  mutable std::vector<Oid> oids_;
  mutable bool oidsRead_ = false;
  int row_ = -1;
  bool started_ = false;
  bool whole_ = false;  // the rows come as one result (ReadsEveryRow)
};

// ---- the connection

int32_t PgConnection::SchemaVersion() {
  ResultPtr r = impl_->Exec("SELECT \"schema_version\" FROM \"_jet_info\"");
  return PQntuples(r.get()) > 0 ? std::stoi(PQgetvalue(r.get(), 0, 0)) : 0;
}

void PgConnection::SetSchemaVersion(int32_t version) {
  impl_->ExecParams("UPDATE \"_jet_info\" SET \"schema_version\" = $1::integer",
                    {std::to_string(version)});
}

std::shared_ptr<PgConnection> PgConnection::Open(const std::string& conninfo,
                                                 const EngineOptions& options) {
  const bool readOnly = options.readOnly, create = options.create;
  auto conn = std::make_shared<PgConnection>(Private{}, conninfo, options);
  Impl& impl = *conn->impl_;
  impl.exclusive = options.exclusive;
  // Held while the session lasts: the schema is open (kOpenLockClass).
  const std::string_view schemaOid =
      "(SELECT oid FROM pg_namespace WHERE nspname = current_schema())::integer";
  ResultPtr has = impl.Exec(
      "SELECT to_regclass('\"_jet_tables\"') IS NOT NULL, "
      "EXISTS (SELECT 1 FROM pg_collation WHERE collname = 'jetru' "
      "AND pg_collation_is_visible(oid)), current_database(), coalesce(current_schema(), ''), " +
      std::string(schemaOid) + ", " + OpenLockCall(options.exclusive, schemaOid));
  const bool catalogue = *PQgetvalue(has.get(), 0, 0) == 't';
  const bool collation = *PQgetvalue(has.get(), 0, 1) == 't';
  std::string schema = PQgetvalue(has.get(), 0, 3);
  // The open lock: 't' taken, 'f' refused, Null no schema yet.
  auto checkOpenLock = [&](const PGresult* r, int column) {
    if (PQgetisnull(r, 0, column)) return;
    if (*PQgetvalue(r, 0, column) != 't') ThrowOpenLocked(conn->Location(), options.exclusive);
    impl.openLock = OpenLockCall(options.exclusive, PQgetvalue(r, 0, column - 1));
  };
  checkOpenLock(has.get(), 5);
  if (!catalogue && !create) ThrowJet(jeterr::kBadDatabaseFormat, {conn->Location()});
  if (create && !readOnly && SetsSearchPath(conninfo)) {
    // The first schema the location's search path names is the database's
    // (a data folder's database on a server): made when missing.
    schema = ServerFolderSchema(conninfo);
    // Listened to once it exists (the session's setup found it missing),
    // and locked when it was.
    ResultPtr made = impl.Exec(
        "CREATE SCHEMA IF NOT EXISTS " + schema + "; " + std::string(kListenSchemaChanges) +
        "; SELECT " + std::string(schemaOid) + ", " +
        (impl.openLock.empty() ? OpenLockCall(options.exclusive, schemaOid) : std::string("NULL")));
    checkOpenLock(made.get(), 1);
  }
  impl.writeLockKey = AdvisoryLockKey(PQgetvalue(has.get(), 0, 2), schema, kWriteLockName);
  impl.keyDatabase = PQgetvalue(has.get(), 0, 2);
  impl.keySchema = schema;
  if (create && !readOnly) {
    // Jet's Russian order (CompareTextRu is ICU's root order at secondary
    // strength), when the functions' script has not made it already.
    if (!collation)
      impl.Exec("CREATE COLLATION jetru (provider = icu, locale = '" +
                std::string(sql::kServerCollationLocale) + "', deterministic = false)");
  }
  if (!readOnly && (create || catalogue)) {
    // The catalogue made when missing, the upgrades, and the catalogue's
    // long names back, in one round trip.
    ResultPtr longNames =
        impl.Exec((create ? std::string(kCatalogueSql) + "; " : std::string()) + UpgradeSql() +
                  "; " + impl.PrepareWriteLock() + "; " + std::string(kLongNamesSql));
    impl.writeLockPrepared = true;
    if (!catalogue)
      impl.ExecParams("INSERT INTO \"_jet_info\" VALUES ($1)", {std::string(kLocaleRussian)});
    if (PQntuples(longNames.get()) > 0) impl.RenameCutNames(longNames.get());
  }
  return conn;
}

PgConnection::PgConnection(Private, const std::string& conninfo, const EngineOptions& options)
    : location_(ShownLocation(conninfo)),
      readOnly_(options.readOnly),
      impl_(std::make_unique<Impl>()) {
  const bool readOnly = options.readOnly;
  impl_->readOnly = readOnly;
  impl_->shown = location_;
  impl_->conninfo = conninfo;
  impl_->conn = PQconnectdb(conninfo.c_str());
  if (PQstatus(impl_->conn) != CONNECTION_OK) {
    std::string message = PQerrorMessage(impl_->conn);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
      message.pop_back();
    throw Error(jeterr::kOpenedExclusively,
                JetErrorText(jeterr::kOpenedExclusively, {location_}) + " " + message,
                std::string(kSourceDatabase));
  }
  // The server's notices (a warning, the reason a session was ended) reach
  // the caller as errors or not at all: none is written to stderr.
  PQsetNoticeProcessor(
      impl_->conn, [](void*, const char*) {}, nullptr);
  impl_->busyTimeoutMs = options.busyTimeoutMs;
  impl_->SetUpSession();
}

PgConnection::~PgConnection() = default;

std::shared_ptr<const Translation> PgConnection::Translate(std::string_view jetSql) {
  impl_->CheckNotifications();
  return std::make_shared<const Translation>(
      TranslateJet(jetSql, impl_->catalogue, SqlDialect::kPostgres));
}

std::unique_ptr<EngineStatement> PgConnection::Prepare(std::string_view jetSql) {
  impl_->CheckNotifications();
  const size_t hash = std::hash<std::string_view>{}(jetSql);
  Impl::TextSlot* const slots[] = {&impl_->texts[hash % kTextSlots],
                                   &impl_->texts[(hash / kTextSlots) % kTextSlots]};
  for (Impl::TextSlot* s : slots) {
    if (s->entry && s->text == jetSql) {
      s->used = ++impl_->textClock;
      return std::make_unique<PgStatement>(shared_from_this(), s->entry, s->values);
    }
  }
  sql::LiteralScan& scan = impl_->scan;
  sql::ScanLiterals(jetSql, scan);
  std::vector<size_t>& positions = impl_->positions;
  positions.clear();
  for (const sql::Literal& lit : scan.literals) positions.push_back(lit.pos);
  // The key: the shape, then the literals whose values the translation
  // depends on (known once translated: the first text of a shape is
  // translated to learn them, and later ones are looked up by both keys).
  std::string key = scan.shape;
  auto it = impl_->cache.find(key);
  std::shared_ptr<Entry> entry;
  if (it != impl_->cache.end()) {
    entry = it->second;
    // An entry whose translation took literal values: the key holds them.
    if (!entry) {
      key += '\x01';
      for (const sql::Literal& lit : scan.literals) {
        key += lit.token;
        key += '\x01';
      }
      if (auto v = impl_->cache.find(key); v != impl_->cache.end()) entry = v->second;
    }
  }
  if (!entry) {
    // Many shapes seen once each (a shell's statements) would keep as
    // many statements on the server: past the limit they all go, and one a
    // caller still holds is prepared again at its next run.
    if (impl_->cache.size() >= kMaxCachedShapes) impl_->DropStatements();
    std::vector<LiteralUse>& uses = impl_->uses;
    Translation translated =
        TranslateJetParameterized(jetSql, impl_->catalogue, positions, uses, SqlDialect::kPostgres);
    auto made = std::make_shared<Entry>();
    if (translated.kind == StatementKind::kSchema) {
      made->translation = std::move(translated);
      return std::make_unique<PgStatement>(shared_from_this(), std::move(made),
                                           std::vector<std::optional<std::string>>{});
    }
    bool byValue = false;
    // Every literal is a parameter of the server's statement, the ones the
    // text does not use (TOP n) too: the text numbers a literal's parameter
    // by its position among all of them ($2 after TOP's), and Bind(i) names
    // the i-th literal on both engines. A parameter the text does not use
    // takes its declared type.
    for (size_t i = 0; i < uses.size(); ++i) {
      if (uses[i] != LiteralUse::kParameter && uses[i] != LiteralUse::kBytes) byValue = true;
      made->parameters.push_back(static_cast<uint16_t>(i));
      made->types.push_back(uses[i] == LiteralUse::kBytes ? kOidBytea
                                                          : LiteralOid(scan.literals[i].kind));
    }
    made->translation = std::move(translated);
    made->name = "jet_" + std::to_string(++impl_->named);
    made->jetText.assign(jetSql);
    for (const sql::Literal& lit : scan.literals) {
      made->spans.emplace_back(lit.pos, lit.token.size());
      made->kinds.push_back(lit.kind);
    }
    // While a select's rows are coming outside a transaction, on the side
    // session (prepared here at its first run).
    if (impl_->Nesting()) {
      impl_->PrepareOnSide(*made);
      made->preparedIn = std::numeric_limits<uint64_t>::max();
      CountServerRoundTrip();
      ResultPtr d(PQdescribePrepared(impl_->side, made->name.c_str()));
      if (!d || !Succeeded(d.get())) ThrowResult(d.get(), impl_->side, kSourceDatabase);
      FillColumns(*made, d.get());
      impl_->NameSources(*made, d.get());
    } else {
      const auto prepare = [&] {
        impl_->PrepareOnServer(*made);
        // The result columns, named and typed by the translation.
        CountServerRoundTrip();
        ResultPtr d(PQdescribePrepared(impl_->conn, made->name.c_str()));
        if (!d || !Succeeded(d.get())) ThrowResult(d.get(), impl_->conn, kSourceDatabase);
        FillColumns(*made, d.get());
        impl_->NameSources(*made, d.get());
        return 0;
      };
      // Inside a transaction a refusal (a function the server lacks: 3085)
      // must not end it; in one not opened yet it runs by itself.
      if (impl_->Unopened())
        prepare();
      else
        impl_->Atomically(prepare);
    }
    if (byValue) {
      impl_->cache[scan.shape] = nullptr;
      key = scan.shape + '\x01';
      for (const sql::Literal& lit : scan.literals) {
        key += lit.token;
        key += '\x01';
      }
    }
    impl_->cache[key] = made;
    entry = std::move(made);
  }
  // Emptied first: a failure on the way leaves no text beside another's
  // entry.
  Impl::TextSlot& slot = !slots[0]->entry                   ? *slots[0]
                         : !slots[1]->entry                 ? *slots[1]
                         : slots[0]->used <= slots[1]->used ? *slots[0]
                                                            : *slots[1];
  slot.used = ++impl_->textClock;
  slot.entry.reset();
  slot.values.clear();
  for (size_t p = 0; p < entry->parameters.size(); ++p) {
    std::string text = LiteralText(scan.literals[entry->parameters[p]]);
    if (entry->types[p] == kOidBytea) {
      std::string bytes;
      AppendBytea(bytes, text);
      text = std::move(bytes);
    }
    slot.values.emplace_back(std::move(text));
  }
  slot.text.assign(jetSql);
  slot.entry = entry;
  return std::make_unique<PgStatement>(shared_from_this(), std::move(entry), slot.values);
}

int64_t PgConnection::Execute(std::string_view jetSql) {
  return Prepare(jetSql)->Run();
}

std::vector<int64_t> PgConnection::RunEach(EngineStatement& st, size_t runs,
                                           std::span<const Variant* const> values) {
  CheckRunValues(st, runs, values.size());
  auto* pg = dynamic_cast<PgStatement*>(&st);
  PipelineRuns texts;
  if (pg) texts = pg->PipelineValues(*this, runs, values);
  if (texts.otherKind) {
    // A value of another kind than its literal's: the statement is
    // prepared for the first run's kinds (as Bind does), and every run goes
    // in one pipeline when the others fit it; else one by one, all or
    // nothing as the pipeline is.
    const size_t width = values.size() / runs;
    for (size_t i = 0; i < width; ++i) pg->Bind(static_cast<int>(i) + 1, *values[i]);
    texts = pg->PipelineValues(*this, runs, values);
    if (texts.otherKind) {
      BeginTrans();
      try {
        std::vector<int64_t> changed = Engine::RunEach(st, runs, values);
        CommitTrans();
        return changed;
      } catch (...) {
        Rollback();
        throw;
      }
    }
  }
  if (texts.count == 0) return Engine::RunEach(st, runs, values);
  pg->EndRowsNow();
  return impl_->RunPipelined(pg->Prepared(), texts);
}

uint64_t PgConnection::DataGeneration() {
  impl_->CheckNotifications();
  return impl_->dataGeneration;
}

uint64_t PgConnection::SchemaGeneration() {
  impl_->CheckNotifications();
  return impl_->schemaGeneration;
}

int PgConnection::TransactionDepth() const {
  return impl_->depth;
}

void PgConnection::HoldReadSnapshot() {
  impl_->Revive();
  if (!impl_->snapshot && impl_->depth == 0) {
    impl_->pending.push_back({Impl::Command::kSnapshotBegin, 0, &Impl::kSnapshotBegin});
    impl_->snapshot = true;
  }
  ++impl_->snapshotHolds;
}

void PgConnection::ReleaseReadSnapshot() noexcept {
  if (impl_->snapshotHolds > 0 && --impl_->snapshotHolds == 0) EndReadSnapshot();
}

void PgConnection::EndReadSnapshot() noexcept {
  try {
    impl_->EndSnapshot();
  } catch (const Error&) {
    // A session lost ended its transaction with it.
  }
}

int64_t PgConnection::Changes() const {
  return impl_->changes;
}

void PgConnection::BeginTrans(bool writeLock, LockTaking taking) {
  impl_->Revive();
  impl_->EndSnapshot();
  const int depth = impl_->depth;
  const Impl::LevelTexts& level = impl_->Level(depth + 1);
  // A level that takes no lock (or whose transaction holds it already) is
  // opened on the server with the first statement that needs it, in that
  // statement's round trip.
  if (!writeLock || readOnly_ || impl_->lockLevel > 0) {
    impl_->pending.push_back(
        {depth == 0 ? Impl::Command::kBegin : Impl::Command::kLevel, depth + 1, &level.begin});
    ++impl_->depth;
    return;
  }
  // The lock waits the session's lock_timeout (the busy timeout; 55P03 is
  // 3218) and lasts until the outermost transaction ends, or the session
  // does when the client dies. Taken with the first request: the begin and
  // the lock wait as a level's begin waits, for that request.
  if (taking == LockTaking::kWithFirstRequest) {
    impl_->pending.push_back(
        {depth == 0 ? Impl::Command::kBegin : Impl::Command::kLevel, depth + 1, &level.begin});
    impl_->pending.push_back({Impl::Command::kLock, depth + 1, &level.lock});
    impl_->quiet = depth == 0;
    ++impl_->depth;
    impl_->lockLevel = impl_->depth;
    return;
  }
  // Else in the begin's round trip.
  try {
    impl_->Exec(level.lockedBegin, kSourceWorkspace);
  } catch (...) {
    // The begin ran and its transaction failed with the wait: end the level.
    try {
      impl_->Exec(level.rollback);
    } catch (const Error&) {
      // A session the server has ended has no level left either.
    }
    throw;
  }
  // A transaction begun here with the lock has run nothing else yet.
  impl_->quiet = depth == 0;
  ++impl_->depth;
  impl_->lockLevel = impl_->depth;
}

bool PgConnection::LockWithBegin(std::string_view name, int64_t key, int timeoutMs,
                                 std::string_view busyMessage) {
  Impl& impl = *impl_;
  const std::vector<Impl::Pending>& p = impl.pending;
  if (timeoutMs <= 0 || impl.depth != 1 || impl.lockLevel != 1 || p.size() != 2 ||
      p[0].kind != Impl::Command::kBegin || p[1].kind != Impl::Command::kLock ||
      AdvisoryLockKey(impl.keyDatabase, impl.keySchema, name) != key)
    return false;
  // Its own wait, then the session's lock_timeout (the busy timeout, which
  // the write lock after it waits) put back, in one statement: the
  // function scan in FROM sets the wait before the subquery's row takes
  // the lock, and the outer select (the subquery kept apart by OFFSET 0)
  // puts it back after. A wait of the lock's statement that runs out is
  // raised as 3050 with the message (the write lock's as 3218: the same
  // 55P03 told apart by the statement that failed); the transaction is
  // then aborted, which undoes the local setting too.
  if (impl.keyTimeoutMs != timeoutMs || impl.keyValue != key || impl.keyLock.empty()) {
    impl.keyLock = "SELECT set_config('lock_timeout', '" +
                   std::to_string(std::max(impl.busyTimeoutMs, 1)) +
                   "', true) FROM (SELECT pg_advisory_xact_lock(" + std::to_string(key) +
                   ") FROM set_config('lock_timeout', '" + std::to_string(timeoutMs) +
                   "', true) OFFSET 0) AS jet_key";
    impl.keyTimeoutMs = timeoutMs;
    impl.keyValue = key;
  }
  impl.keyBusy.assign(busyMessage);
  impl.pending.insert(impl.pending.begin() + 1,
                      Impl::Pending{Impl::Command::kLock, 1, &impl.keyLock});
  return true;
}

void PgConnection::SendPending() {
  impl_->Flush();
}

void PgConnection::SendHeld() {
  impl_->SendHeldRuns();
}

void PgConnection::CommitTrans() {
  const int depth = impl_->depth;
  if (depth == 0) ThrowJet(jeterr::kNoTransaction, {}, kSourceWorkspace);
  // Statements held for the commit go with it, with the begin and the lock
  // when no request took them before.
  if (depth == 1 && !impl_->heldRuns.empty()) {
    impl_->CommitHeldRuns();
    return;
  }
  // A level no statement needed was never opened on the server (nor took
  // the lock it was to take with its first request).
  if (const size_t opening = impl_->LevelPending(depth)) {
    impl_->pending.resize(impl_->pending.size() - opening);
    if (impl_->lockLevel == depth) impl_->lockLevel = 0;
    if (depth == 1) impl_->quiet = false;
    --impl_->depth;
    return;
  }
  // An inner level's release goes with the next request.
  if (depth > 1) {
    // A schema statement the level ran is the enclosing level's now.
    if (impl_->EndSchemaLevel(depth)) impl_->schemaLevels[depth - 1] = true;
    impl_->pending.push_back({Impl::Command::kRelease, depth, &impl_->Level(depth).release});
    if (impl_->lockLevel == depth) impl_->lockLevel = depth - 1;
    --impl_->depth;
    return;
  }
  if (impl_->held) {
    impl_->CommitHeld();
    return;
  }
  try {
    impl_->Exec("COMMIT", kSourceWorkspace);
  } catch (const Error&) {
    // A session the server ended took the transaction with it: the level
    // is over (and the caller told by the error).
    if (PQstatus(impl_->conn) != CONNECTION_OK) impl_->EndTransaction();
    throw;
  }
  impl_->EndTransaction();
}

void PgConnection::Rollback() {
  const int depth = impl_->depth;
  if (depth == 0) ThrowJet(jeterr::kNoTransaction, {}, kSourceWorkspace);
  // Rows read since may have been the level's writes.
  ++impl_->dataGeneration;
  impl_->DropHeld(depth);
  if (depth == 1) impl_->heldRuns.clear();
  --impl_->depth;
  // A write lock taken at this level or inside it goes with the level.
  if (impl_->lockLevel >= depth) impl_->lockLevel = 0;
  std::vector<Impl::Pending>& pending = impl_->pending;
  const bool outer = depth == 1;
  const bool undoesSchema = impl_->EndSchemaLevel(depth);
  // A level no statement needed was never opened on the server.
  if (const size_t opening = impl_->LevelPending(depth)) {
    pending.resize(pending.size() - opening);
    if (outer) impl_->quiet = false;
    return;
  }
  // A session the server ended has rolled the transaction back already.
  if (PQstatus(impl_->conn) != CONNECTION_OK) {
    if (outer) pending.clear();
    return;
  }
  impl_->Exec(impl_->Level(depth).rollback, kSourceWorkspace);
  // A schema statement the level (or one released into it) ran is undone
  // with it: what was read and prepared goes (otherwise it all stays valid).
  if (undoesSchema) impl_->SchemaChanged();
}

int64_t PgConnection::LastInsertId() {
  // The row key of the row the last INSERT wrote, as the file engine gives
  // the rowid; for a table keyed otherwise the sequence of the last counter
  // this session advanced; none yet (the server refuses lastval then): 0.
  if (impl_->lastRowKey) return *impl_->lastRowKey;
  try {
    ResultPtr r = impl_->Atomically([&] { return impl_->Exec("SELECT lastval()"); });
    return std::atoll(PQgetvalue(r.get(), 0, 0));
  } catch (const Error&) {
    return 0;
  }
}

std::vector<std::string> PgConnection::TableNames() {
  impl_->CheckNotifications();
  // Read each time, as tables made without the catalogue tell no one.
  impl_->namesRead = false;
  impl_->ReadNames();
  return impl_->ordered;
}

std::shared_ptr<const TableSpec> PgConnection::FindTable(std::string_view table) {
  impl_->CheckNotifications();
  const CachedTable* t = impl_->Load(table);
  return t ? t->spec : nullptr;
}

// The same change CREATE TABLE and ALTER TABLE ... ADD make, from the
// definition itself (its types need no word of the DDL), after the checks
// the file catalogue makes of a definition given to it.
void PgConnection::CreateTable(const TableSpec& table) {
  ddl::CheckTable(table);
  impl_->CheckNotifications();
  SchemaChange change;
  change.op = SchemaChange::Op::kCreateTable;
  change.table = table;
  impl_->RunSchemaChange(change);
}

void PgConnection::AddField(std::string_view table, const FieldSpec& field) {
  ddl::CheckName(table);
  SchemaChange change;
  change.op = SchemaChange::Op::kAddFields;
  change.table.name = std::string(table);
  change.table.fields.push_back(field);
  ddl::CheckTable(change.table);
  // With the table's fields, as the file catalogue checks it: a name in use
  // is a field defined twice (3191).
  if (auto existing = FindTable(table)) {
    TableSpec next = *existing;
    next.fields.push_back(field);
    ddl::CheckTable(next, existing->fields.size());
  }
  // A counter is made with its table only, as on a file.
  if (field.autoIncrement) ThrowJet(jeterr::kNotSupported, {}, kSourceField);
  impl_->CheckNotifications();
  impl_->RunSchemaChange(change);
}

void PgConnection::ChangeFieldRules(std::string_view table, std::span<const FieldSpec> fields) {
  impl_->CheckNotifications();
  impl_->RunSchemaWork([&] {
    impl_->ChangeFieldRules(table, fields);
    return 0;
  });
}

void PgConnection::SetUnicodeCompression(std::string_view table, std::string_view field, bool on) {
  impl_->CheckNotifications();
  impl_->RunSchemaWork([&] {
    impl_->SetUnicodeCompression(table, field, on);
    return 0;
  });
}

}  // namespace qv::jet
