#pragma once
// The SQL and recordset toolkit every class of the library runs its
// statements through: statements on a database, single values and rows
// under strict row-count rules, table-type recordsets read and written
// through indexes, field readers that fall back to a default, and the
// builders of Jet SQL literals.
//
// Database arguments: null means the thread's user database
// (miDataBase::GetUserDataBase). Statements are Jet SQL as the caller wrote
// them. Every routine raises through the library's error discipline with
// its own location line; statement routines name the statement:
//   [Qv_DBProvider::mQvDaoDataBase.QvQuerySql] {Запрос, вызвавший ошибку: <CR LF><statement>}
// The "Safe" routines and the field readers never raise.
//
// Row-count rule: single-value queries need exactly one row, else error
// 40090 (QvErrors.h), "...не возвратил ни одной записи." for none and
// "...возвратил несколько записей (N)." for N rows.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/ado/Recordset.h"
#include "platform/automation/Variant.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"

namespace qv::mQvDaoDataBase {

inline constexpr std::string_view kModule = "mQvDaoDataBase";

using DatabasePtr = std::shared_ptr<dao::Database>;
using DaoRecordsetPtr = std::shared_ptr<dao::Recordset>;

// "Запрос, вызвавший ошибку: " CR LF statement: the extra text of a failing statement.
std::string StatementExtra(std::string_view sql);

// ---- statements

// A recordset of the engine's default kind: a dynaset for a statement, a
// table-type recordset for a plain table name.
DaoRecordsetPtr QvQuerySql(const std::string& sql, const DatabasePtr& db = nullptr);
// A snapshot.
DaoRecordsetPtr QvQuerySqlStatic(const std::string& sql, const DatabasePtr& db = nullptr);
// QvQuerySql as a disconnected ADO recordset.
ado::RecordsetPtr QvQuerySqlA(const std::string& sql, const DatabasePtr& db = nullptr);
// A select prepared for stepping its rows straight from SQLite; nothing when
// the text names a table or the database is on a server (QvQuerySql opens
// it then). Errors of preparing as QvQuerySql's, naming the statement;
// stepping raises the engine's errors.
std::optional<jet::Statement> QvPrepareQuery(const std::string& sql,
                                             const DatabasePtr& db = nullptr);
// Runs an action statement.
void QvExecuteSql(const std::string& sql, const DatabasePtr& db = nullptr);
// As QvExecuteSql; a failure does not name the statement.
void QvExecuteSqlQuiet(const std::string& sql, const DatabasePtr& db = nullptr);
// True when the statement gives a row.
bool QvQueryExistence(const std::string& sql, const DatabasePtr& db = nullptr);

// The first column of the one row the statement must give (read from a
// read-only snapshot; a Null is returned as Null). `def` is returned only
// when no value was read, which every failure prevents by raising.
Variant QvQueryValue(const std::string& sql, const Variant& def = Variant(),
                     const DatabasePtr& db = nullptr);
// The first column when the statement gives exactly one row, else `def`;
// any failure (a syntax error included) gives `def`.
Variant QvQueryValueSafe(const std::string& sql, const Variant& def = Variant(),
                         const DatabasePtr& db = nullptr);
// Columns 0..N-1 of the one row the statement must give.
void QvQuery2Values(const std::string& sql, Variant& r1, Variant& r2,
                    const DatabasePtr& db = nullptr);
void QvQuery3Values(const std::string& sql, Variant& r1, Variant& r2, Variant& r3,
                    const DatabasePtr& db = nullptr);
void QvQuery4Values(const std::string& sql, Variant& r1, Variant& r2, Variant& r3, Variant& r4,
                    const DatabasePtr& db = nullptr);
// With exactly one row: the values into the out arguments and true;
// otherwise (any failure included) false with the out arguments untouched.
bool QvQuery2ValuesSafe(const std::string& sql, Variant& r1, Variant& r2,
                        const DatabasePtr& db = nullptr);
bool QvQuery4ValuesSafe(const std::string& sql, Variant& r1, Variant& r2, Variant& r3, Variant& r4,
                        const DatabasePtr& db = nullptr);
bool QvQuery5ValuesSafe(const std::string& sql, Variant& r1, Variant& r2, Variant& r3, Variant& r4,
                        Variant& r5, const DatabasePtr& db = nullptr);
// The open recordset positioned on the one row the statement must give.
void QvQueryValues(const std::string& sql, DaoRecordsetPtr& rs, const DatabasePtr& db = nullptr);
// The values of every column of the first row as an array from 0; an array
// without elements when there is no row or anything fails.
Variant QvQueryValuesArraySafe(const std::string& sql, const DatabasePtr& db = nullptr);
// The first column of the first row; the statement must give a row (40090).
Variant QvQueryFirstValue(const std::string& sql, const Variant& def = Variant(),
                          const DatabasePtr& db = nullptr);
// The first column of the first row, or `def` when there is none or
// anything fails.
Variant QvQueryFirstValueSafe(const std::string& sql, const Variant& def = Variant(),
                              const DatabasePtr& db = nullptr);
// "select max(<field>) from <table>;" as a number; 0 when the table is empty.
double QvGetMaximumFromTable(const std::string& table, const std::string& field,
                             const DatabasePtr& db = nullptr);

// ---- row-count checks (both move to the first row first, ignoring errors)

// True when the recordset holds exactly one row; otherwise 40090 when
// `raise`, else false.
bool QvCheckDaoRsForOnlyOneRecord(dao::Recordset& rs, bool raise);
// True when the recordset has a row; otherwise 40090 when `raise`, else false.
bool QvCheckDaoRsForAtLeastOneRecord(dao::Recordset& rs, bool raise);

// ---- dictionary statements

// The dictionary statement over table `aTable` (every column, then
// `aExtraFields`): rows whose key field `aKeyField` is the identifier
// `aIDs` (or one of the ";"-separated identifiers; "" for every row) and
// that meet `aFilter`. `aIDs` comes from the caller and goes through
// IdList2DaoSql (error 5 for anything but numbers); the other arguments
// are the library's own SQL pieces. `aSearchFields` adds the column
// SeekName (the fields joined by "|", Null as "", or the expression after
// a leading "@"); `aOrder` orders.
std::string BuildDictQuery(const std::string& aTable, const std::string& aIDs,
                           const std::string& aFilter, const std::string& aSearchFields,
                           const std::string& aOrder, const std::string& aKeyField,
                           const std::string& aExtraFields);
// BuildDictQuery opened as a snapshot on the user database.
DaoRecordsetPtr GetDictQuery(const std::string& aTable, const std::string& aIDs,
                             const std::string& aFilter, const std::string& aSearchFields,
                             const std::string& aOrder, const std::string& aKeyField,
                             const std::string& aExtraFields);
ado::RecordsetPtr GetDictQueryA(const std::string& aTable, const std::string& aIDs,
                                const std::string& aFilter, const std::string& aSearchFields,
                                const std::string& aOrder, const std::string& aKeyField,
                                const std::string& aExtraFields);

// ---- table-type recordsets

// A table-type recordset; its Index set when `index` is not empty.
// Errors name the table and index: {Таблица: T, Индекс: I}.
DaoRecordsetPtr QvGetTableRS(const std::string& table, const std::string& index,
                             const DatabasePtr& db = nullptr);
// True when Seek "=" on the first 1 to 3 index columns finds a row; keys
// after the first may be Missing (not given).
bool QvIsKeyExists(const DatabasePtr& db, const std::string& table, const std::string& index,
                   const Variant& key1, const Variant& key2 = Variant::Missing(),
                   const Variant& key3 = Variant::Missing());
// `rValue` = the field of the row Seek "=" finds by `key`, or `def`.
void QvLookupValue(Variant& rValue, const std::string& table, const std::string& index,
                   const Variant& key, const std::string& field, const Variant& def,
                   const DatabasePtr& db = nullptr);
// Adds a row with the primary key `aID`, or, when `aID` is 0, the last key
// in index order plus 1 (1 for an empty table), and the fields of the
// alternating name/value `pairs`; returns the key. The key is chosen and
// the row written in one write-locked transaction (dao::Transaction), so
// concurrent callers never get the same key.
double QvAddRecord(const std::string& table, const std::string& pkIndex, const std::string& pkField,
                   double aID, std::span<const Variant> pairs, const DatabasePtr& db = nullptr);
// Sets each named field of a recordset in AddNew or Edit from alternating
// names and values. Errors name the field and the value.
void FillRsWithValues(dao::Recordset& rs, std::span<const Variant> pairs);
void DaoRsSet(dao::Recordset& rs, const std::string& field, const Variant& value);
// The next identifier of a table, the one way to number a new row: the
// largest `field` plus 1, 1 for an empty table. REQUIRES a write-locked
// scope over the read and the write of the row (dao::Transaction with
// dao::kWriteLock, or a lock keeper's transaction), so that no other
// process writes in between; without one, error 5 naming the table.
double NextId(const DatabasePtr& db, const std::string& table, const std::string& field);
// The same for a table-type recordset with its key index set (the mappers'
// new rows, QvAddRecord): its last value of `field` plus 1, from any
// position. Leaves the recordset on its last row (on none when empty).
double NextId(dao::Recordset& rs, std::string_view field);
void DaoSafeMoveFirst(dao::Recordset& rs) noexcept;
bool IsDaoFieldExists(const dao::Recordset& rs, std::string_view field);

// ---- field readers: the named field of the current record, converted;
// anything failing (a Null, a missing field, no current record) gives the
// default.

std::string GetDaoString(const dao::Recordset& rs, std::string_view field);
std::string GetDaoStringDef(const dao::Recordset& rs, std::string_view field,
                            const std::string& def);
int32_t GetDaoLong(const dao::Recordset& rs, std::string_view field);
double GetDaoDouble(const dao::Recordset& rs, std::string_view field);
double GetDaoDoubleDef(const dao::Recordset& rs, std::string_view field, double def);
OleDate GetDaoDate(const dao::Recordset& rs, std::string_view field);
bool GetDaoBool(const dao::Recordset& rs, std::string_view field);

// The field's values of every row from the first, joined by `separator`
// (numbers in plain decimal form); `noRows` when the recordset is null,
// lacks the field or has no rows. The recordset is left at its end.
std::string GetDelimitedNumberFieldValuesFromDaoRS(const DaoRecordsetPtr& rs,
                                                   std::string_view field, double def,
                                                   std::string_view separator,
                                                   std::string_view noRows);
std::string GetDelimitedStringFieldValuesFromDaoRS(const DaoRecordsetPtr& rs,
                                                   std::string_view field, const std::string& def,
                                                   std::string_view separator,
                                                   std::string_view noRows);

// ---- SQL literals

// A number as plain decimal text: whole numbers with all their digits and
// no point, others as VB writes them ("2.5"). An infinity or NaN is error 6
// (no Jet number stands for it).
std::string Number2DaoSql(double value);

// The text in double quotes, each double quote doubled and each character
// of code 0 to 31 made a space. A text of more than kMaxQStringBytes bytes
// is error 5: no column holds it, and a statement carrying it would pass
// the engine's size limit (3360) with the whole text in the error.
inline constexpr size_t kMaxQStringBytes = 65536;
std::string DaoQString(std::string_view text);
// A caller's identifier list as SQL: numbers (an optional sign, digits with
// at most one decimal point, spaces around) separated by ";" or ",", written with
// `separator` between them ("3; 5" gives "3, 5"). Anything else, an empty
// item or an empty list included, is error 5 naming `what`: the list goes
// into a statement, so it is refused rather than widened. So is a list of
// more than kMaxIdListItems identifiers or an identifier longer than
// kMaxIdListItemChars characters: a statement with a few such lists stays
// well inside the engine's limits on statement size and tokens (error 3360
// beyond them), which a caller could not tell from a broken statement.
// Linear in the list's length.
inline constexpr size_t kMaxIdListItems = 10000;
inline constexpr size_t kMaxIdListItemChars = 24;
std::string IdList2DaoSql(std::string_view ids, std::string_view what,
                          std::string_view separator = ", ");
// A GUID as the Jet literal "{guid {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}}":
// 36 characters of hexadecimal digits and hyphens in the 8-4-4-4-12 groups,
// with or without one pair of surrounding braces and spaces around.
// Anything else is error 5 naming `what`.
std::string Guid2DaoSql(std::string_view guid, std::string_view what);
// "DateSerial(2007, 3, 5)"; `emptyText` for an empty date (not a date, or
// its day part 0: 30.12.1899).
std::string Date2DaoSql(const Variant& date, std::string_view emptyText);
// "(DateSerial(2007, 3, 5) + TimeSerial(9, 5, 0))"; `emptyText` when empty.
std::string DateTime2DaoSql(const Variant& dateTime, std::string_view emptyText);

// The values the literals above stand for, for a statement that binds them
// instead of carrying them in its text: what a column stores from the
// literal, with the same checks and errors.
// Number2DaoSql's number (as exact as the text: a fraction rounds to the
// digits VB writes).
double Number2DaoValue(double value);
// DaoQString's text, without quotes.
std::string DaoQStringValue(std::string_view text);
// Guid2DaoSql's GUID as a column stores it: "{XXXXXXXX-...}" in capitals.
std::string Guid2DaoValue(std::string_view guid, std::string_view what);
// DateTime2DaoSql's date to the second; `emptyValue` when empty.
double DateTime2DaoValue(const Variant& dateTime, double emptyValue);
// A condition on `field` between the non-empty dates among `begin` and
// `end`, as " (<condition>) " with "and " before the bracket when
// `andBefore` and " and" after it when `andAfter`; "" when both are empty.
std::string DateRange2DaoQuery(std::string_view field, const Variant& begin, const Variant& end,
                               bool andBefore, bool andAfter);

// A bound of a date range by which a statement deletes or rewrites rows:
// empty (Empty, Null, Missing, a blank text; the zero date is a date that
// counts as no bound) or a date (a date value, a text that reads as one).
// Anything else, a number included, is error 13 naming `what`: a slip must
// not widen the rows a write touches. Reads keep such a bound as empty.
void RequireDateOrEmpty(const Variant& bound, std::string_view what);

// How errors show a value: "Null", "Empty", "(String) \"text\"",
// "(Long) 5", "(Date) 05.03.2007", "(Object) " ..., "(0x2008) ???" for
// other kinds.
std::string DescribeValue(const Variant& value);

}  // namespace qv::mQvDaoDataBase
