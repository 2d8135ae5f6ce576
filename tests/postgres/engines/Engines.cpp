// The same Jet operations on both engines through the engine seam
// (jet::Engine): a database file and a database on the PostgreSQL server
// QV_TEST_PG names, in a schema of its own. Each step's outcome (the rows,
// typed; the rows an action changed; the Jet error number) must be the
// expected one on both. Without QV_TEST_PG the program says so and exits 77
// (ctest: skipped).

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/PgConnection.h"
#include "sql/SqlScript.h"
#include "support/PgBothEngines.h"
#include "support/TestSupport.h"

namespace qv::pgtest {
namespace {

using jet::Engine;
using testsupport::RenderTyped;

enum class Op {
  kRun,          // an action or schema statement: the rows it changed
  kQuery,        // a select: its rows
  kBind,         // a select with its first literal bound again (`bind`, or `other` typed as
                 // "Str:a", "Dbl:2.5", "Date:45306", "Bool:True", "Bytes:ab", "Null"): its rows
  kBegin,        // BeginTrans
  kCommit,       // CommitTrans
  kRollback,     // Rollback
  kLastId,       // the counter value of the last insert
  kReadOnly,     // the statement on a second, read-only connection
  kChanges,      // the rows the last action changed
  kOther,        // an action or schema statement on a second connection
  kLocked,       // an action on a second connection waiting 200 ms for a lock
  kEventually,   // a select that must give its rows within a second
  kManyShapes,   // a select held while 600 other shapes run, then run
  kHeld,         // a select prepared before a schema statement (`bind` numbers it), run after it
  kUntilError,   // a select's rows read until one fails: the rows, then "error N"
  kInterleaved,  // a select's first row, then `other` run, then the select's other rows (or error)
  kRestart,      // a select's first row read, another select started and let go, then all rows
  kWhole,        // kInterleaved with the select's rows asked for whole (ReadsEveryRow)
  kNested,       // each of a select's rows, then `other` (a select) run and read: "row other"
                 // joined by "; ", and on a server the rows read ahead into memory meanwhile
  kCatalogue,    // the catalogue's definition of the table `sql` names (FindTable)
  kNative,       // `sql` run by the engine's own SQL on a second connection, not the catalogue
  kRules,        // `sql` "table|field" given the rules `other` ("!" Required, "~" no "",
                 // "=x" default; "^": UnicodeCompression on): the field's rules read again
  kAddField,     // `sql` "table|field": a Long field appended (Engine::AddField)
};

struct Step {
  Op op;
  std::string sql;
  // The rows ("type:value" cells joined by "|", rows by "; "), the rows
  // changed, or "error N".
  std::string expected;
  long bind = 0;
  std::string other = {};                  // kInterleaved: the statement run among the rows
  std::optional<std::string> server = {};  // the server's outcome where it differs
};

// The rows from the statement's next one on.
std::string Rows(jet::EngineStatement& st, size_t limit = SIZE_MAX) {
  std::string out;
  std::vector<Variant> row(static_cast<size_t>(st.ColumnCount()));
  for (size_t n = 0; n < limit && st.Step(); ++n) {
    st.Values(row);
    if (!out.empty()) out += "; ";
    for (size_t i = 0; i < row.size(); ++i) out += (i ? "|" : "") + RenderTyped(row[i]);
  }
  return out;
}

// `read`'s text, or "error N" for the Error it raises.
std::string OrError(const std::function<std::string()>& read) {
  std::string out;
  const int32_t n = testsupport::RaisedError([&] { out = read(); }).Number();
  return n ? "error " + std::to_string(n) : out;
}

const std::vector<Step>& Steps() {
  static const std::vector<Step> steps = {
      // Schema statements through the catalogue.
      {Op::kRun,
       "CREATE TABLE People (ID LONG CONSTRAINT pk PRIMARY KEY, Name TEXT(10) NOT NULL, "
       "Born DATETIME, Score DOUBLE, Active YESNO, Tiny BYTE)",
       "0"},
      {Op::kRun, "CREATE TABLE people (ID LONG)", "error 3010"},
      {Op::kRun, "CREATE TABLE Bad (A LONG, a TEXT(5))", "error 3191"},
      {Op::kRun, "CREATE TABLE Bad (A LONG, B TEXT(300))", "error 3001"},
      {Op::kRun, "ALTER TABLE People ADD COLUMN Note TEXT(256)", "error 3001"},
      {Op::kRun, "CREATE UNIQUE INDEX ByName ON People (Name)", "0"},
      // Rows, Null, dates, booleans; names written in another case.
      {Op::kRun,
       "INSERT INTO People (ID, Name, Born, Score, Active, Tiny) "
       "VALUES (1, 'Анна', #2024-01-15#, 1.5, True, 7)",
       "1"},
      {Op::kRun, "INSERT INTO people (id, name, active) VALUES (2, 'Bob', False)", "1"},
      {Op::kQuery, "SELECT ID, Name, Born, Score, Active, Tiny FROM People ORDER BY ID",
       "Long:1|Str:Анна|Date:45306|Dbl:1.5|Bool:True|Byte:7; "
       "Long:2|Str:Bob|Null|Null|Bool:False|Null"},
      // Jet's errors for the server's refusals.
      {Op::kRun, "INSERT INTO People (ID, Name) VALUES (1, 'Dup')", "error 3022"},
      {Op::kRun, "INSERT INTO People (ID, Name) VALUES (3, 'Bob')", "error 3022"},
      {Op::kRun, "INSERT INTO People (ID) VALUES (3)", "error 3314"},
      {Op::kRun, "INSERT INTO People (Name) VALUES ('Nil')", "error 3058"},
      {Op::kRun, "INSERT INTO People (ID, Name) VALUES (2147483648, 'Big')", "error 3464"},
      {Op::kRun, "CREATE INDEX Second ON People (Name) WITH PRIMARY", "error 3283"},
      {Op::kRun, "ALTER TABLE People ADD CONSTRAINT Second PRIMARY KEY (Name)", "error 3283"},
      {Op::kRun, "INSERT INTO People (ID, Name) VALUES (3, 'Юлия Ёлкина')", "error 3163"},
      {Op::kRun, "INSERT INTO People (ID, Name) VALUES (3, 'Юлия Ёлки')", "1"},
      {Op::kQuery, "SELECT Count(*) FROM People", "Long:3"},
      // Text(n) counts UTF-16 units: a character beyond U+FFFF counts 2
      // (8 letters and one at the limit of 10, 9 and one over it).
      {Op::kRun, "INSERT INTO People (ID, Name) VALUES (4, 'Юлия Ёлк😀')", "1"},
      {Op::kRun, "INSERT INTO People (ID, Name) VALUES (5, 'Юлия Ёлки😀')", "error 3163"},
      {Op::kRun, "UPDATE People SET Name = 'Юлия Ёлки😀' WHERE ID = 4", "error 3163"},
      {Op::kQuery, "SELECT Name, Len(Name) FROM People WHERE ID = 4", "Str:Юлия Ёлк😀|Long:10"},
      {Op::kRun, "DELETE FROM People WHERE ID = 4", "1"},
      // Literals as parameters: one shape, other values.
      {Op::kQuery, "SELECT Name FROM People WHERE ID = 2", "Str:Bob"},
      {Op::kQuery, "SELECT Name FROM People WHERE ID = 1", "Str:Анна"},
      {Op::kQuery, "SELECT ID FROM People WHERE Name = 'Bob'", "Long:2"},
      {Op::kBind, "SELECT Name FROM People WHERE ID = 1", "Str:Bob", 2},
      // The same expression with a literal in the items and GROUP BY.
      {Op::kQuery,
       "SELECT Name & '!', Count(*) FROM People WHERE ID > 0 GROUP BY Name & '!' "
       "ORDER BY Name & '!'",
       "Str:Bob!|Long:1; Str:Анна!|Long:1; Str:Юлия Ёлки!|Long:1"},
      // A value of another kind than its literal's: as on a file, the text
      // runs as with a literal of the value's kind, its columns typed as
      // the text's own; a text the server cannot prepare so (a number column
      // compared with a text) gives the value to the literal's type.
      {Op::kBind, "SELECT 1 + Name FROM People WHERE ID = 2", "Str:aBob", 0, "Str:a"},
      {Op::kBind, "SELECT 1 & ID FROM People WHERE ID = 2", "Str:a2", 0, "Str:a"},
      {Op::kBind, "SELECT 1 + ID FROM People WHERE ID = 2", "Long:4", 0, "Dbl:2.5"},
      {Op::kBind, "SELECT 1 + ID FROM People WHERE ID = 2", "Long:45308", 0, "Date:45306.5"},
      {Op::kBind, "SELECT ID FROM People WHERE Born < 1", "Long:1", 0, "Date:45306.5"},
      {Op::kBind, "SELECT ID FROM People WHERE ID = 1", "Long:2", 0, "Str:2"},
      {Op::kBind, "SELECT 1 + ID FROM People WHERE ID = 2", "Long:7", 5, "Str:3"},
      {Op::kBind, "INSERT INTO People (ID, Name, Tiny) VALUES (9, 'z', 1)", "error 3464", 0,
       "Str:x"},
      // A text that is no number, or bytes, where the number is compared
      // with a number or in arithmetic: Jet's `+` of a text and a number
      // (13), else the literal's mismatch (3464); a value of literals a
      // column cannot take is refused for a row written, not without one.
      {Op::kBind, "SELECT 1.5 + ID FROM People WHERE ID = 2", "error 13", 0, "Str:a"},
      {Op::kBind, "SELECT ID FROM People WHERE ID = 1", "error 3464", 0, "Str:a"},
      {Op::kBind, "SELECT ID FROM People WHERE ID IN (1, 3)", "error 3464", 0, "Str:a"},
      {Op::kBind, "SELECT ID FROM People WHERE ID IN (1, 3)", "Long:2; Long:3", 0, "Str:2"},
      {Op::kBind, "SELECT ID FROM People WHERE ID BETWEEN 1 AND ID", "error 3464", 0, "Str:a"},
      {Op::kBind, "SELECT 1.5 * ID FROM People WHERE ID = 2", "error 3464", 0, "Bytes:ab"},
      {Op::kBind, "UPDATE People SET Tiny = 1 WHERE ID = 99", "", 0, "Str:x"},
      {Op::kRun, "UPDATE People SET Tiny = 'x' WHERE ID = 2", "error 3464"},
      // A literal the text does not use as a value (TOP's count) before
      // others: the parameters keep the literals' numbers.
      {Op::kQuery, "SELECT TOP 1 Name FROM People WHERE ID >= 2 ORDER BY ID", "Str:Bob"},
      {Op::kQuery, "SELECT ID FROM People WHERE Born > #2024-01-01# AND Born < #2024-02-01#",
       "Long:1"},
      {Op::kQuery, "SELECT ID FROM People WHERE Born Is Null ORDER BY ID DESC", "Long:3; Long:2"},
      {Op::kQuery, "SELECT ID FROM People WHERE Score >= 1.25", "Long:1"},
      {Op::kRun, "UPDATE People SET Score = Score * 2, Active = True WHERE ID = 1", "1"},
      {Op::kQuery, "SELECT Score, Active FROM People WHERE ID = 1", "Dbl:3|Bool:True"},
      {Op::kRun, "UPDATE People SET Born = #2000-02-29 12:00:00# WHERE ID >= 2", "2"},
      {Op::kQuery, "SELECT Born FROM People WHERE ID = 2", "Date:36585.5"},
      {Op::kRun, "SELECT ID FROM People", "0"},
      {Op::kChanges, "", "2"},
      {Op::kRun, "UPDATE People SET Tiny = 300 WHERE ID = 2", "error 3464"},
      {Op::kRun, "DELETE FROM People WHERE ID = 3", "1"},
      {Op::kRun, "DELETE FROM People WHERE ID = 3", "0"},
      // (Nested transactions and a writer that waits for another
      // connection's are EngineStatements' cases, on the server too.)
      {Op::kRun, "INSERT INTO People (ID, Name) VALUES (10, 'T10')", "1"},
      {Op::kRun, "INSERT INTO People (ID, Name) VALUES (12, 'T12')", "1"},
      // Rows as they come: those before a failing one are read, and a
      // failure inside a transaction ends the statement alone.
      {Op::kUntilError,
       "SELECT ID, 10 \\ (ID - 2) FROM (SELECT TOP 4 ID FROM People ORDER BY ID) AS s",
       "Long:1|Long:-10; error 11"},
      {Op::kRun, "SELECT ID, 10 \\ (ID - 2) FROM (SELECT TOP 4 ID FROM People ORDER BY ID) AS s",
       "error 11"},
      {Op::kBegin, "", ""},
      {Op::kUntilError,
       "SELECT ID, 10 \\ (ID - 2) FROM (SELECT TOP 4 ID FROM People ORDER BY ID) AS s",
       "Long:1|Long:-10; error 11"},
      {Op::kRun, "UPDATE People SET Score = 4 WHERE ID = 10", "1"},
      {Op::kCommit, "", ""},
      {Op::kQuery, "SELECT Score FROM People WHERE ID = 10", "Dbl:4"},
      // Other statements among a select's rows; a select started again, one
      // let go half read.
      {Op::kInterleaved, "SELECT ID FROM People ORDER BY ID",
       "Long:1 / Long:2 / Long:2; Long:10; Long:12", 0, "SELECT Count(*) FROM People WHERE ID > 5"},
      {Op::kWhole, "SELECT ID FROM People ORDER BY ID",
       "Long:1 / Long:2 / Long:2; Long:10; Long:12", 0, "SELECT Count(*) FROM People WHERE ID > 5"},
      // A row that fails after another statement ran in a transaction: the
      // select's error.
      {Op::kBegin, "", ""},
      {Op::kInterleaved,
       "SELECT ID, 10 \\ (ID - 2) FROM (SELECT TOP 4 ID FROM People ORDER BY ID) AS s",
       "Long:1|Long:-10 / 1 / error 11", 0, "UPDATE People SET Score = 6 WHERE ID = 12"},
      {Op::kRollback, "", ""},
      // A loop over a select's rows running another select at each: a
      // server streams both, outside a transaction and in one before its
      // first write (the inner select on a second session); after a write
      // the inner one must see it, and the outer rows are read ahead.
      {Op::kNested, "SELECT ID FROM People ORDER BY ID",
       "Long:1 Long:10; Long:2 Long:10; Long:10 Long:10; Long:12 Long:10", 0,
       "SELECT Max(ID) FROM People WHERE ID < 11"},
      {Op::kNested, "SELECT ID FROM People WHERE ID < 3 ORDER BY ID",
       "Long:1 error 11; Long:2 error 11", 0, "SELECT 10 \\ (ID - 2) FROM People WHERE ID = 2"},
      {Op::kBegin, "", ""},
      {Op::kNested, "SELECT ID FROM People WHERE ID <> 0 ORDER BY ID",
       "Long:1 Long:3; Long:2 Long:3; Long:10 Long:3; Long:12 Long:3", 0,
       "SELECT Count(*) FROM People WHERE ID < 11"},
      {Op::kRun, "INSERT INTO People (ID, Name) VALUES (7, 'Seven')", "1"},
      {Op::kNested, "SELECT ID FROM People WHERE ID < 3 ORDER BY ID",
       "Long:1 Long:4; Long:2 Long:4", 0, "SELECT Count(*) FROM People WHERE ID < 11",
       "Long:1 Long:4; Long:2 Long:4 (1 read ahead)"},
      {Op::kRollback, "", ""},
      {Op::kRestart, "SELECT ID FROM People ORDER BY ID", "Long:1; Long:2; Long:10; Long:12"},
      // (A write that waits for another connection's transaction, then
      // fails, is EngineStatements' case, on the server too.)
      {Op::kRun, "UPDATE People SET Score = 8 WHERE ID = 12", "1"},
      {Op::kQuery, "SELECT Score FROM People WHERE ID = 12", "Dbl:8"},
      // Reads before a transaction's first write, one of them failing: the
      // write after them is still the transaction's (others wait for its
      // row, its rollback undoes it).
      {Op::kBegin, "", ""},
      {Op::kQuery, "SELECT Score FROM People WHERE ID = 12", "Dbl:8"},
      {Op::kRun, "SELECT ID, 10 \\ (ID - 2) FROM (SELECT TOP 4 ID FROM People ORDER BY ID) AS s",
       "error 11"},
      {Op::kRun, "UPDATE People SET Score = 9 WHERE ID = 12", "1"},
      {Op::kQuery, "SELECT Score FROM People WHERE ID = 12", "Dbl:9"},
      {Op::kLocked, "UPDATE People SET Score = 10 WHERE ID = 12", "error 3218"},
      {Op::kRollback, "", ""},
      {Op::kQuery, "SELECT Score FROM People WHERE ID = 12", "Dbl:8"},
      // The other number types (a Currency value is stored through the
      // server's jet_store_currency, which the Jet functions' script makes).
      {Op::kRun, "CREATE TABLE Sums (ID SHORT, C CURRENCY, S SINGLE, B LONGBINARY)", "0"},
      {Op::kRun, "INSERT INTO Sums (ID, S) VALUES (-7, 0.5)", "1"},
      {Op::kQuery, "SELECT ID, C, S, B FROM Sums", "Int:-7|Null|Sng:0.5|Null"},
      {Op::kRun, "INSERT INTO Sums (ID) VALUES (40000)", "error 3464"},
      {Op::kRun, "INSERT INTO Sums (ID, C) VALUES (8, 12.34567)", "1"},
      // Nz of one value: a Null is a zero-length text, so the value is a text.
      {Op::kQuery, "SELECT Nz(C), Nz(ID), Nz(S, 2) FROM Sums WHERE ID = -7", "Str:|Str:-7|Sng:0.5"},
      // A text as a condition: as CBool reads it.
      {Op::kQuery, "SELECT IIf('a', 1, 2) FROM Sums WHERE ID = -7", "error 13"},
      {Op::kQuery, "SELECT IIf('0', 1, 2), IIf(' 1 ', 1, 2) FROM Sums WHERE ID = -7",
       "Long:2|Long:1"},
      {Op::kQuery, "SELECT ID FROM Sums WHERE 'x'", "error 13"},
      // A subquery's value: at most one row.
      {Op::kQuery, "SELECT (SELECT ID FROM Sums) FROM Sums WHERE ID = 8", "error 3354"},
      {Op::kQuery,
       "SELECT (SELECT ID FROM Sums WHERE ID > 0), (SELECT ID FROM Sums WHERE ID > 8), "
       "(SELECT Max(ID) FROM Sums) FROM Sums WHERE ID = 8",
       "Int:8|Null|Int:8"},
      // A union's texts compare without case, whatever its first part gives.
      {Op::kQuery,
       "SELECT Count(*) FROM (SELECT ID FROM Sums WHERE ID = 8 UNION SELECT 'a' FROM Sums "
       "UNION SELECT 'A' FROM Sums)",
       "Long:2"},
      // A number beyond a Single's range is refused, as beyond Currency's.
      {Op::kRun, "INSERT INTO Sums (ID, S) VALUES (9, 1e39)", "error 3464"},
      {Op::kRun, "UPDATE Sums SET S = -3.5e38 WHERE ID = -7", "error 3464"},
      {Op::kRun, "UPDATE Sums SET S = 3.4e38 WHERE ID = 8", "1"},
      {Op::kQuery, "SELECT S FROM Sums WHERE ID = 8", "Sng:3.4E+38"},
      // A Currency sum beyond Currency's range is an overflow.
      {Op::kRun, "UPDATE Sums SET C = 900000000000000 WHERE ID IN (-7, 8)", "2"},
      {Op::kQuery, "SELECT Sum(C) FROM Sums", "error 6"},
      {Op::kQuery, "SELECT Sum(C) FROM Sums WHERE ID = 8", "Cur:900000000000000"},
      // A subquery's equality on a column no key is alone still counts its rows: C has an
      // index that is not unique and leads a unique one of two columns.
      {Op::kRun, "CREATE INDEX ByC ON Sums (C)", "0"},
      {Op::kRun, "CREATE UNIQUE INDEX ByCId ON Sums (C, ID)", "0"},
      {Op::kQuery,
       "SELECT (SELECT s.ID FROM Sums AS s WHERE s.C = t.C) FROM Sums AS t WHERE ID = 8",
       "error 3354"},
      {Op::kRun, "DROP INDEX ByC ON Sums", "0"},
      {Op::kRun, "DROP INDEX ByCId ON Sums", "0"},
      {Op::kQuery, "SELECT (SELECT Name FROM People WHERE ID = 2) FROM Sums WHERE ID = 8",
       "Str:Bob"},
      {Op::kRun, "DELETE FROM Sums WHERE ID <> -7", "1"},
      // A required field added: refused where rows would hold Null in it,
      // the table as it was; to an empty table it is added with its rule.
      {Op::kRun, "ALTER TABLE Sums ADD COLUMN X LONG NOT NULL", "error 3314"},
      {Op::kCatalogue, "Sums", "Sums: ID Integer(0) C Currency(0) S Single(0) B LongBinary(0)"},
      {Op::kQuery, "SELECT * FROM Sums", "Int:-7|Cur:900000000000000|Sng:0.5|Null"},
      {Op::kRun, "CREATE TABLE Bare (A LONG)", "0"},
      {Op::kRun, "ALTER TABLE Bare ADD COLUMN X LONG NOT NULL", "0"},
      {Op::kRun, "INSERT INTO Bare (A) VALUES (1)", "error 3314"},
      {Op::kRun, "INSERT INTO Bare (A, X) VALUES (1, 2)", "1"},
      {Op::kCatalogue, "Bare", "Bare: A Long(0) X Long(0) required"},
      // GUIDs.
      {Op::kRun, "CREATE TABLE Tagged (K GUID, N LONG)", "0"},
      {Op::kRun, "INSERT INTO Tagged VALUES ({guid {0a1b2c3d-0000-4000-8000-00000000abcd}}, 1)",
       "1"},
      {Op::kQuery, "SELECT K FROM Tagged WHERE K = {guid {0A1B2C3D-0000-4000-8000-00000000ABCD}}",
       "Str:{0A1B2C3D-0000-4000-8000-00000000ABCD}"},
      {Op::kRun, "INSERT INTO Tagged (K) VALUES ('no guid')", "error 3464"},
      // A Long column's sum past the Long's range is a Double (the server's bigint).
      {Op::kRun, "INSERT INTO Tagged (N) VALUES (2147483647)", "1"},
      {Op::kQuery, "SELECT Sum(N), Max(N) FROM Tagged", "Dbl:2147483648|Long:2147483647"},
      // A statement held while the cache is dropped still runs.
      {Op::kManyShapes, "SELECT Name FROM People WHERE ID = 12", "Str:T12"},
      // A statement held across a change of the schema still runs.
      {Op::kHeld, "SELECT Name FROM People WHERE ID = 12", "Str:T12", 1},
      // Counters.
      {Op::kRun, "CREATE TABLE Counted (ID COUNTER CONSTRAINT pk PRIMARY KEY, Label TEXT(20))",
       "0"},
      {Op::kRun, "INSERT INTO Counted (Label) VALUES ('a')", "1"},
      {Op::kRun, "INSERT INTO Counted (Label) VALUES ('b')", "1"},
      {Op::kLastId, "", "2"},
      {Op::kQuery, "SELECT ID, Label FROM Counted ORDER BY ID", "Long:1|Str:a; Long:2|Str:b"},
      // Another connection's change of the schema is seen.
      {Op::kQuery, "SELECT * FROM Counted ORDER BY ID", "Long:1|Str:a; Long:2|Str:b"},
      {Op::kOther, "ALTER TABLE Counted ADD COLUMN Extra LONG", "0"},
      {Op::kEventually, "SELECT * FROM Counted ORDER BY ID",
       "Long:1|Str:a|Null; Long:2|Str:b|Null"},
      {Op::kOther, "ALTER TABLE Counted DROP COLUMN Extra", "0"},
      {Op::kEventually, "SELECT * FROM Counted ORDER BY ID", "Long:1|Str:a; Long:2|Str:b"},
      // A read-only connection refuses writes.
      {Op::kReadOnly, "INSERT INTO Counted (Label) VALUES ('c')", "error 3027"},
      {Op::kReadOnly, "SELECT Count(*) FROM Counted", "Long:2"},
      // A value given to a counter: the next one follows it.
      {Op::kRun, "INSERT INTO Counted (ID, Label) VALUES (10, 'c')", "1"},
      {Op::kRun, "INSERT INTO Counted (Label) VALUES ('d')", "1"},
      {Op::kLastId, "", "11"},
      {Op::kRun, "INSERT INTO Counted (ID, Label) SELECT ID + 20, Label FROM Counted WHERE ID = 2",
       "1"},
      {Op::kRun, "INSERT INTO Counted (ID, Label) VALUES (5, 'f')", "1"},
      {Op::kRun, "INSERT INTO Counted (Label) VALUES ('e')", "1"},
      {Op::kLastId, "", "23"},
      // A counter that is no key holds each value once too.
      {Op::kRun, "CREATE TABLE Loose (ID COUNTER, Label TEXT(5))", "0"},
      {Op::kRun, "INSERT INTO Loose (Label) VALUES ('a')", "1"},
      {Op::kRun, "INSERT INTO Loose (ID, Label) VALUES (1, 'b')", "error 3022"},
      {Op::kRun, "INSERT INTO Loose (ID, Label) SELECT 1, 'c' FROM Loose", "error 3022"},
      {Op::kRun, "INSERT INTO Loose (ID, Label) VALUES (5, 'd')", "1"},
      {Op::kQuery, "SELECT ID, Label FROM Loose ORDER BY ID", "Long:1|Str:a; Long:5|Str:d"},
      {Op::kCatalogue, "Loose", "Loose: ID Long(0) Label Text(5)"},
      // SELECT ... INTO: a table of the select's columns and types, filled,
      // in one transaction with its catalogue rows.
      {Op::kRun,
       "SELECT ID, Name, Score * 2 AS Twice, 'x' AS Mark INTO PeopleCopy FROM People "
       "WHERE ID <= 2",
       "2"},
      {Op::kQuery, "SELECT * FROM PeopleCopy ORDER BY ID",
       "Long:1|Str:Анна|Dbl:6|Str:x; Long:2|Str:Bob|Null|Str:x"},
      {Op::kRun, "INSERT INTO PeopleCopy (ID, Name) VALUES (9, 'ABCDEFGHIJK')", "error 3163"},
      {Op::kCatalogue, "peoplecopy",
       "PeopleCopy: ID Long(0) Name Text(10) Twice Double(0) Mark Text(255)"},
      {Op::kRun, "SELECT Name INTO Sorted FROM People WHERE ID <= 2 ORDER BY Score DESC, ID", "2"},
      {Op::kQuery, "SELECT * FROM Sorted ORDER BY Name", "Str:Bob; Str:Анна"},
      {Op::kRun, "SELECT ID INTO peoplecopy FROM People", "error 3010"},
      {Op::kRun, "SELECT ID INTO Other FROM NoSuchTable", "error 3078"},
      {Op::kRun, "SELECT ID, ID AS id INTO Twice FROM People", "error 3191"},
      {Op::kRun, "SELECT ID, CLng(Name) AS N INTO Broken FROM People", "error 13"},
      {Op::kQuery, "SELECT * FROM Broken", "error 3078"},
      {Op::kBegin, "", ""},
      {Op::kRun, "SELECT ID INTO Undone FROM People WHERE ID = 1", "1"},
      {Op::kQuery, "SELECT ID FROM Undone", "Long:1"},
      {Op::kRollback, "", ""},
      {Op::kQuery, "SELECT ID FROM Undone", "error 3078"},
      // DROP CONSTRAINT: the index a constraint made, primary or not.
      {Op::kCatalogue, "People",
       "People: ID Long(0) Name Text(10) required Born Date(0) Score Double(0) Active Boolean(0) "
       "Tiny Byte(0); ByName(Name) unique; pk(ID) primary"},
      {Op::kRun, "ALTER TABLE People DROP CONSTRAINT NoSuch", "error 3371"},
      {Op::kRun, "ALTER TABLE NoSuchTable DROP CONSTRAINT pk", "error 3371"},
      {Op::kRun, "ALTER TABLE People DROP CONSTRAINT pk", "0"},
      {Op::kRun, "INSERT INTO People (ID, Name) VALUES (1, 'Again')", "1"},
      {Op::kRun, "ALTER TABLE People DROP CONSTRAINT pk", "error 3371"},
      {Op::kRun, "ALTER TABLE People DROP CONSTRAINT ByName", "0"},
      {Op::kRun, "DROP INDEX ByName ON People", "error 3015"},
      {Op::kCatalogue, "People",
       "People: ID Long(0) Name Text(10) required Born Date(0) Score Double(0) Active Boolean(0) "
       "Tiny Byte(0)"},
      // A table made without the catalogue, described from the engine's own.
      {Op::kNative,
       "CREATE TABLE made (id integer, name varchar(20) NOT NULL, note text, "
       "price double precision, flag boolean, doc json)",
       ""},
      {Op::kNative, "CREATE UNIQUE INDEX made_name ON made (name DESC)", ""},
      {Op::kNative, "INSERT INTO made VALUES (1, 'a', 'b', 1.5, true, '[1]')", ""},
      {Op::kCatalogue, "MADE",
       "made: id Long(0) name Text(20) required note Memo(0) price Double(0) flag Boolean(0) "
       "doc Unknown(0); made_name(-name) unique"},
      {Op::kQuery, "SELECT * FROM Made WHERE Name = 'a'",
       "Long:1|Str:a|Str:b|Dbl:1.5|Bool:True|Str:[1]"},
      // The library's schema statements and rules on it: it joins the
      // catalogue, its indexes of their names; its column of no Jet type
      // refuses rules and keeps its type and values when the table is made
      // again (a file's rules).
      {Op::kRules, "made|name", "!^", 0, "^"},
      {Op::kRun, "ALTER TABLE made ADD COLUMN Extra LONG", "0"},
      {Op::kAddField, "made|More", "0"},
      {Op::kRun, "CREATE INDEX ByPrice ON made (price DESC)", "0"},
      {Op::kRules, "made|doc", "error 3259", 0, "!"},
      {Op::kRules, "made|price", "!", 0, "!"},
      {Op::kCatalogue, "made",
       "made: id Long(0) name Text(20) required note Memo(0) price Double(0) required "
       "flag Boolean(0) doc Unknown(0) Extra Long(0) More Long(0); ByPrice(-price); "
       "made_name(-name) unique"},
      {Op::kNative, "INSERT INTO made (id, name, price, doc) VALUES (2, 'b', 2, '7')", ""},
      {Op::kQuery, "SELECT id, doc, Extra FROM made ORDER BY id",
       "Long:1|Str:[1]|Null; Long:2|Long:7|Null", 0, "", "Long:1|Str:[1]|Null; Long:2|Str:7|Null"},
      {Op::kRun, "DROP INDEX made_name ON made", "0"},
      {Op::kNative, "CREATE TABLE plain (id integer, name varchar(20))", ""},
      {Op::kRun, "ALTER TABLE plain ADD COLUMN Extra LONG", "0"},
      {Op::kCatalogue, "plain", "plain: id Long(0) name Text(20) Extra Long(0)"},
      {Op::kRules, "plain|name", "~=\"x\"", 0, "~=\"x\""},
      {Op::kRun, "INSERT INTO plain (id) VALUES (1)", "1"},
      {Op::kQuery, "SELECT name FROM plain", "Str:x"},
      {Op::kNative, "CREATE TABLE uq (id integer CONSTRAINT uq_id UNIQUE)", ""},
      {Op::kRun, "DROP INDEX uq_id ON uq", "error 3015", 0, "", "0"},
      // Indexes of column constraints and a rowid's primary key, named as
      // a server names them, made the library's when the table joins.
      {Op::kNative, "CREATE TABLE rk (id INTEGER PRIMARY KEY, v text)", ""},
      {Op::kNative, "INSERT INTO rk VALUES (1, 'a')", ""},
      {Op::kCatalogue, "rk", "rk: id Long(0) v Memo(0); rk_pkey(id) primary", 0, "",
       "rk: id Long(0) required v Memo(0); rk_pkey(id) primary"},
      {Op::kRules, "rk|v", "~=\"x\"", 0, "~=\"x\""},
      {Op::kRun, "INSERT INTO rk (id) VALUES (1)", "error 3022"},
      {Op::kRun, "INSERT INTO rk (id) VALUES (2)", "1"},
      {Op::kNative,
       "CREATE TABLE uq2 (id integer UNIQUE, n integer, v varchar(5), PRIMARY KEY (n, v))", ""},
      {Op::kNative, "INSERT INTO uq2 VALUES (1, 1, 'a')", ""},
      {Op::kCatalogue, "uq2",
       "uq2: id Long(0) n Long(0) v Text(5); uq2_id_key(id) unique; uq2_pkey(n;v) primary", 0, "",
       "uq2: id Long(0) n Long(0) required v Text(5) required; uq2_id_key(id) unique; "
       "uq2_pkey(n;v) primary"},
      {Op::kRun, "DROP INDEX uq2_id_key ON uq2", "0"},
      {Op::kRun, "INSERT INTO uq2 VALUES (1, 2, 'a')", "1"},
      {Op::kRun, "INSERT INTO uq2 VALUES (3, 1, 'a')", "error 3022"},
      {Op::kRun, "DROP INDEX uq2_pkey ON uq2", "0"},
      {Op::kRun, "INSERT INTO uq2 VALUES (3, 1, 'a')", "1"},
      {Op::kCatalogue, "uq2", "uq2: id Long(0) n Long(0) v Text(5)", 0, "",
       "uq2: id Long(0) n Long(0) required v Text(5) required"},
      // Rules given to existing fields: a stored value they refuse leaves all as it was.
      {Op::kRun, "CREATE TABLE Ruled (ID LONG, Note TEXT(10))", "0"},
      {Op::kRun, "INSERT INTO Ruled (ID) VALUES (1)", "1"},
      {Op::kRules, "Ruled|Note", "error 3314", 0, "!"},
      {Op::kRun, "UPDATE Ruled SET Note = '' WHERE ID = 1", "1"},
      {Op::kRules, "Ruled|Note", "error 3315", 0, "!~"},
      {Op::kRun, "UPDATE Ruled SET Note = 'a' WHERE ID = 1", "1"},
      {Op::kRules, "Ruled|note", "!~=\"x\"", 0, "!~=\"x\""},
      {Op::kRun, "INSERT INTO Ruled (ID) VALUES (2)", "1"},
      {Op::kRun, "INSERT INTO Ruled (ID, Note) VALUES (3, '')", "error 3315"},
      {Op::kRules, "Ruled|Nope", "error 3265", 0, "!"},
      {Op::kRules, "Nowhere|Note", "error 3376", 0, "!"},
      {Op::kRules, "Ruled|Note", "!~=\"x\"^", 0, "^"},
      {Op::kRules, "Ruled|Note", "^", 0, ""},
      {Op::kRun, "INSERT INTO Ruled (ID) VALUES (4)", "1"},
      {Op::kQuery, "SELECT ID, Note FROM Ruled ORDER BY ID",
       "Long:1|Str:a; Long:2|Str:x; Long:4|Null"},
      // Dropping.
      {Op::kRun, "INSERT INTO People (ID, Name) VALUES (20, 'Bob')", "1"},
      {Op::kRun, "DROP TABLE Counted", "0"},
      {Op::kQuery, "SELECT ID FROM Counted", "error 3078"},
      {Op::kRun, "DROP TABLE Counted", "error 3376"},
  };
  return steps;
}

std::string Outcome(Engine& engine, const std::string& location, const Step& step) {
  try {
    switch (step.op) {
      case Op::kRun:
        return std::to_string(engine.Execute(step.sql));
      case Op::kQuery:
        return Rows(*engine.Prepare(step.sql));
      case Op::kBind: {
        auto st = engine.Prepare(step.sql);
        // `other` then `bind`: the statement run with the first, then the second.
        const std::string& o = step.other;
        const std::string v = o.substr(o.find(':') + 1);
        st->Bind(1, o.empty()                ? Variant(static_cast<int32_t>(step.bind))
                    : o.starts_with("Str:")  ? Variant(v)
                    : o.starts_with("Dbl:")  ? Variant(std::stod(v))
                    : o.starts_with("Date:") ? Variant(OleDate{std::stod(v)})
                    : o.starts_with("Bool:") ? Variant(v == "True")
                    : o.starts_with("Bytes:")
                        ? Variant(ByteArray{0, std::vector<uint8_t>(v.begin(), v.end())})
                        : Variant::Null());
        if (o.empty() || step.bind == 0) return Rows(*st);
        Rows(*st);
        st->Reset();
        st->Bind(1, Variant(static_cast<int32_t>(step.bind)));
        return Rows(*st);
      }
      case Op::kBegin:
      case Op::kCommit:
      case Op::kRollback:
        step.op == Op::kBegin    ? engine.BeginTrans()
        : step.op == Op::kCommit ? engine.CommitTrans()
                                 : engine.Rollback();
        return "";
      case Op::kChanges:
        return std::to_string(engine.Changes());
      case Op::kLastId:
        return std::to_string(engine.LastInsertId());
      case Op::kManyShapes: {
        auto st = engine.Prepare(step.sql);
        for (int i = 0; i < 600; ++i)
          engine.Prepare("SELECT ID AS c" + std::to_string(i) + " FROM People WHERE ID = 12")
              ->Step();
        return Rows(*st);
      }
      case Op::kUntilError: {
        // One row at a time, so that those read before the failure count.
        std::string got;
        const Error e = testsupport::RaisedError([&] {
          auto st = engine.Prepare(step.sql);
          for (std::string row = Rows(*st, 1); !row.empty(); row = Rows(*st, 1)) got += row + "; ";
        });
        return got + (e.Number() ? "error " + std::to_string(e.Number()) : "no error");
      }
      case Op::kInterleaved:
      case Op::kWhole: {
        auto st = engine.Prepare(step.sql);
        if (step.op == Op::kWhole) st->ReadsEveryRow();
        const std::string got = Rows(*st, 1), other = OrError([&] {
                                                auto o = engine.Prepare(step.other);
                                                return o->Kind() == jet::StatementKind::kSelect
                                                           ? Rows(*o)
                                                           : std::to_string(o->Run());
                                              });
        return got + " / " + other + " / " + OrError([&] { return Rows(*st); });
      }
      case Op::kNested: {
        const uint64_t ahead = jet::ServerRowsReadAhead();
        auto st = engine.Prepare(step.sql);
        std::string out;
        for (std::string row = Rows(*st, 1); !row.empty(); row = Rows(*st, 1)) {
          out += (out.empty() ? "" : "; ") + row + " " +
                 OrError([&] { return Rows(*engine.Prepare(step.other)); });
        }
        if (const uint64_t n = jet::ServerRowsReadAhead() - ahead; n > 0)
          out += " (" + std::to_string(n) + " read ahead)";
        return out;
      }
      case Op::kRestart: {
        auto st = engine.Prepare(step.sql);
        Rows(*st, 1);
        {
          auto other = engine.Prepare("SELECT Name FROM People ORDER BY ID");
          Rows(*other, 1);
        }
        st->Reset();
        return Rows(*st);
      }
      case Op::kCatalogue: {
        // Fields as "name type(size)[ required]", indexes as
        // "name(fields)[ primary| unique]", in the catalogue's order
        // (indexes by name: the engines keep them in different orders).
        const auto table = engine.FindTable(step.sql);
        if (!table) return "none";
        std::string out = table->name + ":";
        for (const jet::FieldSpec& f : table->fields)
          out += " " + f.name + " " + std::string(jet::JetTypeName(f.type)) + "(" +
                 std::to_string(f.size) + ")" + (f.required ? " required" : "");
        std::vector<std::string> indexes;
        for (const jet::IndexSpec& x : table->indexes) {
          std::string fields;
          for (const jet::IndexField& f : x.fields)
            fields += (fields.empty() ? "" : ";") + std::string(f.descending ? "-" : "") + f.name;
          indexes.push_back(x.name + "(" + fields + ")" +
                            (x.primary  ? " primary"
                             : x.unique ? " unique"
                                        : ""));
        }
        std::sort(indexes.begin(), indexes.end());
        for (const std::string& x : indexes) out += "; " + x;
        return out;
      }
      case Op::kHeld: {
        auto st = engine.Prepare(step.sql);
        engine.Execute("CREATE TABLE Held" + std::to_string(step.bind) + " (A LONG)");
        return Rows(*st);
      }
      case Op::kLocked:
        return std::to_string(jet::OpenEngine(location, {.busyTimeoutMs = 200})->Execute(step.sql));
      case Op::kOther:
        return std::to_string(jet::OpenEngine(location)->Execute(step.sql));
      case Op::kRules: {
        const size_t bar = step.sql.find('|');
        const std::string table = step.sql.substr(0, bar), field = step.sql.substr(bar + 1);
        const std::string& rules = step.other;
        if (rules == "^") {
          engine.SetUnicodeCompression(table, field, true);
        } else {
          jet::FieldSpec f{.name = field, .required = rules.find('!') != std::string::npos};
          f.allowZeroLength = rules.find('~') == std::string::npos;
          if (const size_t eq = rules.find('='); eq != std::string::npos)
            f.defaultValue = rules.substr(eq + 1);
          engine.ChangeFieldRules(table, std::span(&f, 1));
        }
        const auto spec = engine.FindTable(table);
        const jet::FieldSpec* f = spec ? spec->FindField(field) : nullptr;
        if (!f) return "none";
        return (f->required ? "!" : "") + std::string(f->allowZeroLength ? "" : "~") +
               (f->defaultValue.empty() ? "" : "=" + f->defaultValue) +
               (f->unicodeCompression ? "^" : "");
      }
      case Op::kAddField: {
        const size_t bar = step.sql.find('|');
        engine.AddField(step.sql.substr(0, bar),
                        {.name = step.sql.substr(bar + 1), .type = jet::JetType::kLong});
        return "0";
      }
      case Op::kNative:
        if (engine.IsServer()) return testsupport::PgAdmin(location).Value(step.sql);
        jet::Connection::Open(location)->ExecuteNative(step.sql);
        return "";
      case Op::kEventually: {
        // A server's notice of the change reaches this session a moment
        // after the other's commit returns.
        std::string got;
        for (int i = 0; i < 50; ++i) {
          got = OrError([&] { return Rows(*engine.Prepare(step.sql)); });
          if (got == step.expected) break;
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return got;
      }
      case Op::kReadOnly: {
        auto reader = jet::OpenEngine(location, {.readOnly = true});
        auto st = reader->Prepare(step.sql);
        return st->Kind() == jet::StatementKind::kSelect ? Rows(*st) : std::to_string(st->Run());
      }
    }
  } catch (const Error& e) {
    return "error " + std::to_string(e.Number());
  }
  return "?";
}

// Runs every step on `engine`; returns the failures.
// `functions`: the server has the Jet functions (the extension's script
// was run in the schema).
int RunAll(const std::string& name, Engine& engine, const std::string& location, bool functions) {
  int failures = 0, skipped = 0;
  // Tables a skipped write would have changed: later steps naming one are
  // skipped too, their rows being another run's.
  std::vector<std::regex> unwritten;
  for (const Step& step : Steps()) {
    const std::string& expected = engine.IsServer() && step.server ? *step.server : step.expected;
    if (std::any_of(unwritten.begin(), unwritten.end(),
                    [&](const std::regex& table) { return std::regex_search(step.sql, table); })) {
      ++skipped;
      std::cout << name << ": skipped (follows a skipped write): " << step.sql << '\n';
      continue;
    }
    if (engine.IsServer() && !functions && !step.sql.empty()) {
      // The server's Jet functions come with its extension: without the
      // built module a statement that calls one is skipped.
      // (A nested select's inner one too.)
      std::shared_ptr<const jet::Translation> t;
      for (const std::string& text : {step.sql, step.op == Op::kNested ? step.other : ""}) {
        if (text.empty() || (t && !t->serverFunctions.empty())) continue;
        testsupport::RaisedError([&] { t = engine.Translate(text); });
      }
      // A value of another kind than its literal's runs the text made for
      // its kind, which may call them.
      if ((t && !t->serverFunctions.empty()) || (step.op == Op::kBind && !step.other.empty())) {
        static const std::regex kWrite(R"(^\s*(?:INSERT\s+INTO|UPDATE|DELETE\s+FROM)\s+(\w+))",
                                       std::regex::icase);
        if (std::smatch m; step.op == Op::kRun && expected != "0" &&
                           expected.rfind("error", 0) != 0 &&
                           std::regex_search(step.sql, m, kWrite))
          unwritten.emplace_back("\\b" + m[1].str() + "\\b", std::regex::icase);
        ++skipped;
        std::cout << name << ": skipped (needs "
                  << (t && !t->serverFunctions.empty() ? t->serverFunctions.front()
                                                       : std::string("the Jet functions"))
                  << " on the server): " << step.sql << '\n';
        continue;
      }
    }
    failures += testsupport::StepFailed(name, step.sql, expected, Outcome(engine, location, step));
  }
  std::cout << name << ": " << Steps().size() - static_cast<size_t>(skipped) << " steps run, "
            << skipped << " skipped, " << failures << " failed\n";
  return failures;
}

// `functionsScript`: the script that creates the Jet functions from the
// built module (the build's qv_jet_test.sql), or null when none was built.
int Main(const char* functionsScript) {
  return testsupport::RunOnFileAndServer(
      "qv_engines_", functionsScript, "Engines.mdb", [&](const testsupport::FileAndSchema& places) {
        int failures =
            RunAll("file", *jet::OpenEngine(places.File(), {.create = true}), places.File(), true);
        // A database without the catalogue is no database of ours.
        failures += testsupport::StepFailed("server", "an open without the catalogue", "error 3343",
                                            [&] { jet::OpenEngine(places.Server()); });
        return failures + RunAll("server", *jet::OpenEngine(places.Server(), {.create = true}),
                                 places.Server(), functionsScript != nullptr);
      });
}

}  // namespace
}  // namespace qv::pgtest

int main(int argc, char** argv) {
  return qv::pgtest::Main(argc > 1 ? argv[1] : nullptr);
}
