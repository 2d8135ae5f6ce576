#pragma once
// `.dump [TABLE]` of `qvdb sql`: tables as Jet SQL that the shell's `.read`
// (or `qvdb sql -f`) runs again into an empty database: CREATE TABLE with
// the Jet types, sizes, NOT NULL and DEFAULT of each column (COUNTER for a
// counter), one INSERT per row, then CREATE INDEX for each index (WITH
// PRIMARY for the primary one). Values are written by the library's literal
// builders: numbers exactly (to the last bit of a Double), texts in double
// quotes with line breaks and other control characters as Chr(n), dates as
// DateSerial/TimeSerial. Jet SQL has no literal for a byte array: such a
// value is written as Null and a "--" line after the table counts them.
// A text column's "no zero-length texts" rule is not carried either.

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/automation/Variant.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetConnection.h"

namespace qvdb {

// Errors: 3376 (error 3078's text) when a named table does not exist.
void DumpTables(qv::jet::Connection& conn, const std::vector<std::string>& tables,
                std::ostream& out);

// The Jet SQL that creates a table as the dump writes it (no indexes), and
// its indexes' statements.
std::string CreateTableStatement(const qv::jet::TableSpec& spec);
std::vector<std::string> CreateIndexStatements(const qv::jet::TableSpec& spec);

// The Jet SQL literal of a value as the dump writes it ("Null" for Null,
// Empty and a byte array).
std::string DumpLiteral(const qv::Variant& value);

// A name in brackets when it is not a plain word (a space, a sign, a
// leading digit): [Fruit Salad], Person.
std::string SqlName(const std::string& name);

}  // namespace qvdb
