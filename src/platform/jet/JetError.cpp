#include "platform/jet/JetError.h"

#include <sqlite3.h>

#include <array>
#include <charconv>
#include <utility>

namespace qv::jet {

namespace {

using namespace jeterr;

constexpr auto kTexts = std::to_array<std::pair<int32_t, std::string_view>>({
    {kReserved, "|1"},
    {kInvalidArgument, "Invalid argument."},
    {kTableExists, "Table '|1' already exists."},
    {kObjectNotFound,
     "The Microsoft Jet database engine could not find the object '|1'.  Make sure the object "
     "exists and that you spell its name and the path name correctly."},
    {kNotAnIndex,
     "'|1' isn't an index in this table.  Look in the Indexes collection of the TableDef object "
     "to see the valid index names."},
    {kNoCurrentIndex, "Operation invalid without a current index."},
    {kUpdateWithoutEdit, "Update or CancelUpdate without AddNew or Edit."},
    {kNoCurrentRecord, "No current record."},
    {kDuplicateKey,
     "The changes you requested to the table were not successful because they would create "
     "duplicate values in the index, primary key, or relationship.  Change the data in the field "
     "or fields that contain duplicate data, remove the index, or redefine the index to permit "
     "duplicate entries and try again."},
    {kFileNotFound, "Could not find file '|1'."},
    {kDiskFull, "Not enough space on disk."},
    {kReadOnly, "Cannot update.  Database or object is read-only."},
    {kNoTransaction,
     "You tried to commit or rollback a transaction without first beginning a transaction."},
    {kResourceExceeded, "System resource exceeded."},
    {kDiskError, "Disk or network error."},
    {kInvalidPath,
     "'|1' is not a valid path.  Make sure that the path name is spelled correctly and that you "
     "are connected to the server on which the file resides."},
    {kCorrupt,
     "Cannot open database '|1'.  It may not be a database that your application recognizes, or "
     "the file may be corrupt."},
    {kOpenedExclusively,
     "The Microsoft Jet database engine cannot open the file '|1'.  It is already opened "
     "exclusively by another user, or you need permission to view its data."},
    {kNullInIndex, "Index or primary key cannot contain a Null value."},
    {kCanceled, "Operation canceled by user."},
    {kTooFewParameters, "Too few parameters. Expected |1."},
    {kSyntaxInExpression, "Syntax error (missing operator) in query expression '|1'."},
    {kNoInputTable,
     "The Microsoft Jet database engine cannot find the input table or query '|1'.  Make sure it "
     "exists and that its name is spelled correctly."},
    {kUndefinedFunction, "Undefined function '|1' in expression."},
    {kInvalidName,
     "'|1' is not a valid name.  Make sure that it does not include invalid characters or "
     "punctuation and that it is not too long."},
    {kSyntaxInFrom, "Syntax error in FROM clause."},
    {kFieldTooSmall,
     "The field is too small to accept the amount of data you attempted to add.  Try inserting or "
     "pasting less data."},
    {kFieldDefinedTwice, "Cannot define field more than once."},
    {kDatabaseExists, "Database already exists."},
    {kLocked, "Could not update; currently locked."},
    {kNotSupported, "Operation is not supported for this type of object."},
    {kInvalidFieldType, "Invalid field data type."},
    {kLockedByUser, "Could not update; currently locked by user '|2' on machine '|1'."},
    {kNoFieldDefined, "No field defined--cannot append TableDef or Index."},
    {kItemNotFound, "Item not found in this collection."},
    {kFieldInIndex, "Cannot delete a field that is part of an index or is needed by the system."},
    {kPrimaryKeyExists, "Primary key already exists."},
    {kIndexExists, "Index already exists."},
    {kRequired,
     "The field '|1' cannot contain a Null value because the Required property for this field is "
     "set to True.  Enter a value in this field."},
    {kZeroLength, "Field '|1' cannot be a zero-length string."},
    {kBadDatabaseFormat, "Unrecognized database format '|1'."},
    {kSubqueryRows, "At most one record can be returned by this subquery."},
    {kQueryTooComplex, "Query is too complex."},
    {kNoTableOrConstraint, "Cannot find table or constraint."},
    {kIndexNameExists, "Table '|1' already has an index named '|2'."},
    {kTableNotFound, "Table '|1' does not exist."},
    {kFieldExists, "Field '|1' already exists in table '|2'."},
    {kObjectInvalid, "Object invalid or no longer set."},
    {kConversionError, "Data type conversion error."},
    {kTypeMismatch, "Data type mismatch in criteria expression."},
});

// What part of SQLite's message fills the Jet text's first placeholder.
enum class Arg : uint8_t {
  kNone,   // the text has no placeholder
  kRest,   // the message after the matched prefix
  kOne,    // the literal "1" (one missing parameter)
  kWhole,  // the whole message
};

struct SqliteRule {
  int code;                 // primary result code; an extended code when > 255
  std::string_view prefix;  // the message must start with it ("" for any)
  int32_t jet;
  Arg arg;
};

// First match wins: the named checks before the plain CHECK, the extended
// codes before their primary code.
constexpr auto kRules = std::to_array<SqliteRule>({
    {SQLITE_CONSTRAINT_CHECK, "CHECK constraint failed: jet_size:", kFieldTooSmall, Arg::kNone},
    {SQLITE_CONSTRAINT_CHECK, "CHECK constraint failed: jet_zls:", kZeroLength, Arg::kRest},
    {SQLITE_CONSTRAINT_CHECK, "CHECK constraint failed: jet_type:", kTypeMismatch, Arg::kNone},
    {SQLITE_CONSTRAINT_CHECK, "CHECK constraint failed: jet_pk:", kNullInIndex, Arg::kNone},
    {SQLITE_CONSTRAINT_UNIQUE, "", kDuplicateKey, Arg::kNone},
    {SQLITE_CONSTRAINT_PRIMARYKEY, "", kDuplicateKey, Arg::kNone},
    {SQLITE_CONSTRAINT_NOTNULL, "NOT NULL constraint failed: ", kRequired, Arg::kRest},
    {SQLITE_ERROR, "no such table: main.", kNoInputTable, Arg::kRest},
    {SQLITE_ERROR, "no such table: ", kNoInputTable, Arg::kRest},
    {SQLITE_ERROR, "no such column: ", kTooFewParameters, Arg::kOne},
    {SQLITE_ERROR, "no such function: ", kUndefinedFunction, Arg::kRest},
    // Expressions nested deeper than SQLite's parser takes (about 35 calls
    // within calls; Jet SQL's own limits are wider).
    {SQLITE_ERROR, "parser stack overflow", kQueryTooComplex, Arg::kNone},
    {SQLITE_ERROR, "Expression tree is too large", kQueryTooComplex, Arg::kNone},
    {SQLITE_BUSY, "", kLocked, Arg::kNone},
    {SQLITE_LOCKED, "", kLocked, Arg::kNone},
    {SQLITE_READONLY, "", kReadOnly, Arg::kNone},
    {SQLITE_MISMATCH, "", kTypeMismatch, Arg::kNone},
    {SQLITE_FULL, "", kDiskFull, Arg::kNone},
    {SQLITE_IOERR, "", kDiskError, Arg::kNone},
    {SQLITE_NOMEM, "", kResourceExceeded, Arg::kNone},
    {SQLITE_INTERRUPT, "", kCanceled, Arg::kNone},
    {SQLITE_NOTADB, "", kBadDatabaseFormat, Arg::kWhole},
    {SQLITE_CORRUPT, "", kCorrupt, Arg::kWhole},
});

std::string_view TextOf(int32_t number) {
  for (const auto& [n, text] : kTexts)
    if (n == number) return text;
  return {};
}

}  // namespace

std::string JetErrorText(int32_t number, std::initializer_list<std::string_view> args) {
  std::string_view text = TextOf(number);
  if (text.empty()) return "Reserved error (" + std::to_string(number) + ")";
  return FillPlaceholders(text, args);
}

std::string FillPlaceholders(std::string_view text, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(text.size() + 32);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '|' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      size_t k = static_cast<size_t>(text[i + 1] - '1');
      if (k < args.size()) out += args.begin()[k];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

void ThrowJet(int32_t number, std::initializer_list<std::string_view> args,
              std::string_view source) {
  throw Error(number, JetErrorText(number, args), std::string(source));
}

Error SqliteToJetError(int code, std::string_view message, std::string_view source) {
  for (const SqliteRule& r : kRules) {
    bool codeMatches = r.code > 0xff ? code == r.code : (code & 0xff) == r.code;
    if (!codeMatches || !message.starts_with(r.prefix)) continue;
    std::string_view rest = message.substr(r.prefix.size());
    std::string_view arg = r.arg == Arg::kRest    ? rest
                           : r.arg == Arg::kOne   ? std::string_view("1")
                           : r.arg == Arg::kWhole ? message
                                                  : std::string_view();
    return Error(r.jet, JetErrorText(r.jet, {arg}), std::string(source));
  }
  return Error(kReserved, std::string(message), std::string(source));
}

}  // namespace qv::jet
