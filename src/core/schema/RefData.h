#pragma once
// The reference data of the law a data folder needs: the contribution base
// limits and minimum wages, the contribution tariffs, the pension-fund code
// dictionaries, the 2-NDFL income and deduction codes and the powers of
// warrants. It is kept as plain UTF-8 text that the library ships and a
// user can update, one file per table:
//
//   DIR/EDITION      one line: the edition, a date "YYYY-MM-DD"; a later
//                    date is a newer edition
//   DIR/<Table>.tsv  a header row naming every column of the table and
//                    Source (the act the row comes from); then one row per
//                    line, cells separated by tabs; blank lines and lines
//                    starting with "#" are left out
//
// Cells: numbers with "." as the point ("2759000", "15.1"); dates
// "YYYY-MM-DD" (an open end is 9999-12-31); texts as they are (no tab).
// Every row needs a Source, every number and date a value.
//
// Loading goes by key and validity: a row is the stored row with the same
// key columns (the table's key and, for a table with a validity period, the
// period's first day); it is added when there is none, changed when a value
// differs and left when all are equal. Stored rows the files do not name
// stay as they are.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/schema/SchemaDef.h"
#include "platform/automation/Variant.h"

namespace qv::dao {
class Database;
}

namespace qv::schema {

// Jet's "External table isn't in the expected format": every fault of a
// reference file, described as "FILE:LINE:COLUMN: what" (COLUMN counts
// characters from 1; LINE and COLUMN are 0 for the file as a whole).
inline constexpr int32_t kRefDataFormatError = 3274;

// The table a reference file fills and the columns that pick out a row.
struct RefTableSpec {
  std::string_view table;
  std::vector<std::string_view> key;  // the validity's first day last, when it is part of it
  // The columns of the validity period, first and last day; empty when none.
  std::string_view validFrom, validTo;
  // A column that must name a row of another reference table (its "ID").
  struct Reference {
    std::string_view column, table;
  };
  std::vector<Reference> references;
};

// Every reference table, parents before the tables that refer to them.
const std::vector<RefTableSpec>& RefTableSpecs();

struct RefDataRow {
  int line = 0;                 // in its file
  std::vector<Variant> values;  // in the order of the table's columns
  std::vector<int> columns;     // where each value starts on its line
  std::string source;
};

struct RefDataTable {
  std::filesystem::path file;
  const RefTableSpec* spec = nullptr;
  const TableDef* def = nullptr;
  std::vector<RefDataRow> rows;
};

struct RefDataSet {
  std::string edition;               // empty when no EDITION file was read
  std::vector<RefDataTable> tables;  // in the order of RefTableSpecs
};

// Reads and checks one reference file: its name is the table's; every
// column of the table and Source once in the header; each value of its
// column's type, a text no longer than its column; a key once; a validity
// that does not end before it begins and does not overlap another of the
// same thing; at most one default name (IsDefault = 1) per code.
// Errors: 3274 naming file, line and column; 3024 the file cannot be read.
RefDataTable ReadRefTable(const std::filesystem::path& file);

// A directory: its EDITION and every .tsv file in it. A file: that file
// alone, without an edition (one table is not an edition). Errors as
// ReadRefTable's; 3024 a directory without EDITION; 3274 for an EDITION that
// is not one date, or for two files of one table.
RefDataSet ReadRefData(const std::filesystem::path& fileOrDirectory);

// The reference data shipped with the library: $QV_REFDATA_DIR when set;
// else the directory installed with the library; else the one of the
// source tree the library was built from. Empty when none of them exists.
std::filesystem::path ShippedRefDataDirectory();

struct RefTableCounts {
  std::string table;
  int64_t added = 0, changed = 0, left = 0;  // rows of the files
  int64_t untouched = 0;                     // stored rows the files do not name
};

// A row of the files that was added or changed: its table, its key
// ("TheYear=2026") and, for a change, what changed ("MROT 22440 -> 27093").
struct RefRowChange {
  std::string table, key, what;
  bool added = false;
};

struct RefLoadResult {
  std::string edition;
  std::vector<RefTableCounts> tables;
  std::vector<RefRowChange> changes;
  int64_t Added() const;
  int64_t Changed() const;
};

// Loads a set into a user database in one transaction (joined when one is
// open), and records its edition, when it has one, with the counts. The
// references between tables are checked after the rows are written, against
// what the database then holds. Errors: 5 an edition older than the one
// the database holds (it would put back what the newer one corrected); 3274
// naming the row of a file whose key matches two stored rows or whose
// reference names no row; the database's own; each leaves every table as it
// was.
RefLoadResult LoadRefData(dao::Database& db, const RefDataSet& set);

// The newest edition loaded into a database; empty when none was.
std::string StoredRefDataEdition(dao::Database& db);

}  // namespace qv::schema
