// The Jet functions as PostgreSQL C-language functions (fmgr V1): every
// scalar function of the Jet function table runs its engine-neutral body
// here, the body SQLite runs. One entry point serves them all: it finds the
// table's entry by the SQL function's name once per call site, reads the
// arguments into Variants by their types, calls the body and writes the
// Variant result as the function's declared type. The SQL that creates the
// functions is ServerFunctionsSql's (the extension's install script).
//
// Values: smallint, integer and bigint are whole numbers (bigint beyond
// Long's range a Double), real, double precision and numeric Doubles, text
// and untyped literals texts, boolean a Boolean, bytea a byte array; the
// domains jetdate (a day number) and jetbool (-1/0) are a Date and a
// Boolean, so CStr, Format and "&" render them as SQLite's subtypes make
// them do. Any other type arrives as its text. A Jet error becomes an
// ERROR whose SQLSTATE is "Q" and the error's number in four digits
// (Q0013 type mismatch, Q3464 ...), its message the error's description.

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/jet/JetError.h"
#include "platform/jet/JetFunctionImpl.h"
#include "platform/jet/JetFunctions.h"
#include "platform/jet/JetLike.h"
#include "platform/jet/sql/JetServerFunctions.h"

extern "C" {
#include "postgres.h"
// postgres.h first
#include "access/htup_details.h"
#include "catalog/pg_type.h"
#include "fmgr.h"
#include "utils/builtins.h"
#include "utils/datum.h"
#include "utils/lsyscache.h"
#include "utils/syscache.h"

PG_MODULE_MAGIC;

PG_FUNCTION_INFO_V1(qv_jet_call);
PG_FUNCTION_INFO_V1(qv_jet_first_step);
PG_FUNCTION_INFO_V1(qv_jet_last_step);
PG_FUNCTION_INFO_V1(qv_jet_kept_final);
}

namespace {

using qv::Variant;
using qv::jet::JetFunction;

enum class Kind : uint8_t {
  kInt2,
  kInt4,
  kInt8,
  kFloat4,
  kFloat8,
  kNumeric,
  kText,
  kCString,
  kBool,
  kBytea,
  kJetDate,
  kJetBool,
  kOther
};

struct ArgInfo {
  Kind kind;
  Oid output;  // kOther: the type's output function
};

// The Like operator's compiled pattern, kept while a call site's pattern
// stays the same (SQLite's form keeps it with the statement likewise).
struct KeptPattern {
  std::string text;
  std::unique_ptr<qv::jet::LikePattern> pattern;
};

// What a call site needs, found on its first call and kept in fn_extra.
struct CallSite {
  qv::jet::BodyFn body;
  KeptPattern* like;  // for jet_like: deleted with the call site's memory
  bool store;         // a value made ready for a column (jet_store_*)
  Oid result;         // the declared result's base type
  Oid resultInput, resultIoParam;
  int nargs;
  ArgInfo args[FLEXIBLE_ARRAY_MEMBER];
};

bool IsNamed(Oid type, std::string_view name) {
  HeapTuple t = SearchSysCache1(TYPEOID, ObjectIdGetDatum(type));
  if (!HeapTupleIsValid(t)) return false;
  const bool same = NameStr(reinterpret_cast<Form_pg_type>(GETSTRUCT(t))->typname) == name;
  ReleaseSysCache(t);
  return same;
}

ArgInfo Classify(Oid type) {
  if (type == InvalidOid) return {Kind::kCString, InvalidOid};
  if (get_typtype(type) == TYPTYPE_DOMAIN) {
    if (IsNamed(type, qv::jet::sql::kServerDateType)) return {Kind::kJetDate, InvalidOid};
    if (IsNamed(type, qv::jet::sql::kServerBooleanType)) return {Kind::kJetBool, InvalidOid};
    type = getBaseType(type);
  }
  switch (type) {
    case INT2OID:
      return {Kind::kInt2, InvalidOid};
    case INT4OID:
      return {Kind::kInt4, InvalidOid};
    case INT8OID:
      return {Kind::kInt8, InvalidOid};
    case FLOAT4OID:
      return {Kind::kFloat4, InvalidOid};
    case FLOAT8OID:
      return {Kind::kFloat8, InvalidOid};
    case NUMERICOID:
      return {Kind::kNumeric, InvalidOid};
    case TEXTOID:
    case VARCHAROID:
    case BPCHAROID:
      return {Kind::kText, InvalidOid};
    case UNKNOWNOID:
    case CSTRINGOID:
      return {Kind::kCString, InvalidOid};
    case BOOLOID:
      return {Kind::kBool, InvalidOid};
    case BYTEAOID:
      return {Kind::kBytea, InvalidOid};
    default: {
      Oid output;
      bool varlena;
      getTypeOutputInfo(type, &output, &varlena);
      return {Kind::kOther, output};
    }
  }
}

// The table's entry of a SQL function, its lazy form too.
const JetFunction* FindBySqlName(std::string_view name) {
  if (name.ends_with(qv::jet::sql::kServerLazySuffix))
    name.remove_suffix(qv::jet::sql::kServerLazySuffix.size());
  for (const JetFunction& f : qv::jet::JetFunctionTable())
    if (f.body != nullptr && f.sqliteName == name) return &f;
  return nullptr;
}

CallSite* Site(FunctionCallInfo fcinfo) {
  FmgrInfo* flinfo = fcinfo->flinfo;
  if (flinfo->fn_extra != nullptr) {
    auto* site = static_cast<CallSite*>(flinfo->fn_extra);
    if (site->nargs == PG_NARGS()) return site;
  }
  const char* name = get_func_name(flinfo->fn_oid);
  const JetFunction* f = name ? FindBySqlName(name) : nullptr;
  if (f == nullptr)
    ereport(ERROR, (errcode(ERRCODE_UNDEFINED_FUNCTION),
                    errmsg("%s is not a Jet function of this library", name ? name : "?")));
  const int nargs = PG_NARGS();
  auto* site = static_cast<CallSite*>(MemoryContextAllocZero(
      flinfo->fn_mcxt, offsetof(CallSite, args) + sizeof(ArgInfo) * static_cast<size_t>(nargs)));
  site->body = f->body;
  site->nargs = nargs;
  site->store = f->sqliteName.starts_with("jet_store_");
  if (f->body == qv::jet::fn::LikeFn && nargs == 2) {
    site->like = new (std::nothrow) KeptPattern;
    if (site->like == nullptr)
      ereport(ERROR, (errcode(ERRCODE_OUT_OF_MEMORY), errmsg("out of memory")));
    auto* callback = static_cast<MemoryContextCallback*>(
        MemoryContextAllocZero(flinfo->fn_mcxt, sizeof(MemoryContextCallback)));
    callback->func = [](void* p) { delete static_cast<KeptPattern*>(p); };
    callback->arg = site->like;
    MemoryContextRegisterResetCallback(flinfo->fn_mcxt, callback);
  }
  for (int i = 0; i < nargs; ++i) site->args[i] = Classify(get_fn_expr_argtype(flinfo, i));
  const Oid declared = get_fn_expr_rettype(flinfo);
  site->result = getBaseType(declared);
  getTypeInputInfo(site->result, &site->resultInput, &site->resultIoParam);
  flinfo->fn_extra = site;
  return site;
}

std::string_view Bytes(Datum d) {
  auto* v = reinterpret_cast<varlena*>(PG_DETOAST_DATUM_PACKED(d));
  return {VARDATA_ANY(v), VARSIZE_ANY_EXHDR(v)};
}

Variant Read(const ArgInfo& a, Datum d) {
  switch (a.kind) {
    case Kind::kInt2:
      return Variant(static_cast<int32_t>(DatumGetInt16(d)));
    case Kind::kInt4:
      return Variant(DatumGetInt32(d));
    case Kind::kInt8: {
      const int64 i = DatumGetInt64(d);
      if (i >= INT32_MIN && i <= INT32_MAX) return Variant(static_cast<int32_t>(i));
      return Variant(static_cast<double>(i));
    }
    case Kind::kFloat4:
      return Variant(static_cast<double>(DatumGetFloat4(d)));
    case Kind::kFloat8:
      return Variant(DatumGetFloat8(d));
    case Kind::kNumeric:
      return Variant(DatumGetFloat8(DirectFunctionCall1(numeric_float8, d)));
    case Kind::kText:
      return Variant(std::string(Bytes(d)));
    case Kind::kCString:
      return Variant(std::string(DatumGetCString(d)));
    case Kind::kBool:
      return Variant(static_cast<bool>(DatumGetBool(d)));
    case Kind::kBytea: {
      const std::string_view b = Bytes(d);
      qv::ByteArray bytes;
      bytes.bytes.assign(b.begin(), b.end());
      return Variant(std::move(bytes));
    }
    case Kind::kJetDate:
      return Variant(qv::OleDate{DatumGetFloat8(d)});
    case Kind::kJetBool:
      return Variant(DatumGetInt16(d) != 0);
    case Kind::kOther:
      return Variant(std::string(OidOutputFunctionCall(a.output, d)));
  }
  return Variant::Null();
}

// The result as the declared type; a value that does not fit raises the
// conversion's VB error (6 overflow, 13 type mismatch).
Datum Write(const CallSite& site, const Variant& v) {
  switch (site.result) {
    case INT2OID:
      return Int16GetDatum(qv::CInt(v));
    case INT4OID:
      return Int32GetDatum(qv::CLng(v));
    case INT8OID: {
      const double d = qv::BankersRound(qv::CDbl(v));
      if (!(std::fabs(d) < 9.2e18)) qv::ThrowVb(qv::vberr::kOverflow);
      return Int64GetDatum(static_cast<int64>(d));
    }
    case FLOAT4OID:
      return Float4GetDatum(qv::CSng(v));
    case FLOAT8OID:
      return Float8GetDatum(qv::CDbl(v));
    case NUMERICOID:
      return DirectFunctionCall1(float8_numeric, Float8GetDatum(qv::CDbl(v)));
    case BOOLOID:
      return BoolGetDatum(qv::CBool(v));
    case BYTEAOID: {
      if (!v.IsByteArray()) qv::ThrowVb(qv::vberr::kTypeMismatch);
      const auto& b = v.AsBytes().bytes;
      bytea* out = static_cast<bytea*>(palloc(VARHDRSZ + b.size()));
      SET_VARSIZE(out, VARHDRSZ + b.size());
      if (!b.empty()) std::memcpy(VARDATA(out), b.data(), b.size());
      return PointerGetDatum(out);
    }
    case TEXTOID:
    case VARCHAROID:
    case BPCHAROID: {
      const std::string s = v.IsString() ? v.AsString() : qv::CStr(v);
      // The server's texts cannot hold the character 0 (ChrW(0), Chr(0)).
      if (s.find('\0') != std::string::npos)
        qv::ThrowVb(qv::vberr::kInvalidProcedureCall, "the character 0 in a text on the server");
      return PointerGetDatum(cstring_to_text_with_len(s.data(), static_cast<int>(s.size())));
    }
    default:
      // The text for the type's input function, which may raise its own
      // error: it is called once no C++ object of the call is alive.
      return CStringGetDatum(pstrdup(qv::CStr(v).c_str()));
  }
}

// The types Write gives the text of, for the input function.
bool ByInputFunction(Oid type) {
  switch (type) {
    case INT2OID:
    case INT4OID:
    case INT8OID:
    case FLOAT4OID:
    case FLOAT8OID:
    case NUMERICOID:
    case BOOLOID:
    case BYTEAOID:
    case TEXTOID:
    case VARCHAROID:
    case BPCHAROID:
      return false;
    default:
      return true;
  }
}

// Like with the pattern compiled once per distinct pattern text.
Variant Like(KeptPattern& kept, qv::jet::fn::Args& a) {
  if (a.IsNull(0) || a.IsNull(1)) return Variant::Null();
  const std::string_view pattern = a.Text(1);
  if (!kept.pattern || kept.text != pattern) {
    kept.pattern.reset();
    kept.pattern = std::make_unique<qv::jet::LikePattern>(pattern);
    kept.text = pattern;
  }
  return Variant(kept.pattern->Matches(a.Text(0)));
}

// The SQLSTATE of a Jet error: "Q" and its number in four digits.
int SqlState(int32_t number) {
  if (number < 0 || number > 9999) number = qv::vberr::kInternalError;
  return MAKE_SQLSTATE('Q', '0' + number / 1000, '0' + number / 100 % 10, '0' + number / 10 % 10,
                       '0' + number % 10);
}

}  // namespace

extern "C" Datum qv_jet_call(PG_FUNCTION_ARGS) {
  CallSite* site = Site(fcinfo);
  // No C++ object may be alive when ereport leaves this function: the server's
  // errors jump past C++ frames. Inside the try block only palloc, detoasting
  // and numeric conversions can raise one (out of memory, a damaged value),
  // which would leave this call's C++ memory unfreed.
  int32_t failed = 0;
  char message[400] = {};
  Datum result = 0;
  bool isNull = false;
  try {
    std::vector<Variant> values;
    values.reserve(static_cast<size_t>(site->nargs));
    for (int i = 0; i < site->nargs; ++i)
      values.push_back(PG_ARGISNULL(i) ? Variant::Null() : Read(site->args[i], PG_GETARG_DATUM(i)));
    qv::jet::fn::Args args(site->nargs, values.data());
    const Variant r = site->like != nullptr ? Like(*site->like, args) : site->body(args);
    if (r.IsEmptyOrNull()) {
      isNull = true;
    } else {
      result = Write(*site, r);
    }
  } catch (const qv::Error& e) {
    failed = e.Number() != 0 ? e.Number() : qv::vberr::kInternalError;
    std::strncpy(message, e.Description().c_str(), sizeof message - 1);
    // A value its column cannot take (a text into a number column): the
    // error the file gives for it, where the column refuses it.
    if (site->store && failed == qv::vberr::kTypeMismatch) {
      failed = qv::jet::jeterr::kTypeMismatch;
      std::strncpy(message, qv::jet::JetErrorText(failed).c_str(), sizeof message - 1);
    }
  } catch (const std::exception& e) {
    failed = qv::vberr::kInternalError;
    std::strncpy(message, e.what(), sizeof message - 1);
  }
  if (failed != 0) ereport(ERROR, (errcode(SqlState(failed)), errmsg("%s", message)));
  if (isNull) PG_RETURN_NULL();
  if (ByInputFunction(site->result))
    return OidInputFunctionCall(site->resultInput, DatumGetCString(result), site->resultIoParam,
                                -1);
  return result;
}

namespace {

// First and Last: the kept value, copied into the aggregate's memory.
struct Kept {
  bool seen;
  bool isNull;
  bool byValue;
  int16 length;
  Datum value;
};

Datum Keep(FunctionCallInfo fcinfo, bool first) {
  MemoryContext memory;
  if (!AggCheckCallContext(fcinfo, &memory))
    ereport(ERROR, (errmsg("jet_first and jet_last are aggregates")));
  Kept* k = PG_ARGISNULL(0) ? nullptr : reinterpret_cast<Kept*>(PG_GETARG_POINTER(0));
  if (k == nullptr) {
    k = static_cast<Kept*>(MemoryContextAllocZero(memory, sizeof(Kept)));
    get_typlenbyval(get_fn_expr_argtype(fcinfo->flinfo, 1), &k->length, &k->byValue);
  }
  if (first && k->seen) PG_RETURN_POINTER(k);
  if (k->seen && !k->isNull && !k->byValue) pfree(DatumGetPointer(k->value));
  k->seen = true;
  k->isNull = PG_ARGISNULL(1);
  if (!k->isNull) {
    MemoryContext old = MemoryContextSwitchTo(memory);
    k->value = datumCopy(PG_GETARG_DATUM(1), k->byValue, k->length);
    MemoryContextSwitchTo(old);
  }
  PG_RETURN_POINTER(k);
}

}  // namespace

extern "C" Datum qv_jet_first_step(PG_FUNCTION_ARGS) {
  return Keep(fcinfo, true);
}

extern "C" Datum qv_jet_last_step(PG_FUNCTION_ARGS) {
  return Keep(fcinfo, false);
}

extern "C" Datum qv_jet_kept_final(PG_FUNCTION_ARGS) {
  if (PG_ARGISNULL(0)) PG_RETURN_NULL();
  const Kept* k = reinterpret_cast<const Kept*>(PG_GETARG_POINTER(0));
  if (!k->seen || k->isNull) PG_RETURN_NULL();
  return k->value;
}
