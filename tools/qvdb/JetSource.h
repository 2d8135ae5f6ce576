#pragma once
// A Jet database file read for an import: its user tables with their
// columns (Jet types) and indexes, and their rows as Variants in each
// column's own Jet type. OpenJetFile reads a real file through libmdb,
// read-only; tests give the import a source of their own.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "JetValues.h"
#include "platform/automation/Variant.h"
#include "platform/jet/JetCatalog.h"

namespace qvdb {

struct SourceTable {
  std::string name;
  // Columns in the file's order, with their Jet type, size (Text: in
  // characters), Required and AllowZeroLength; no defaults.
  std::vector<qv::jet::FieldSpec> columns;
  // The indexes libmdb reads (primary keys and other indexes; the indexes
  // Jet keeps for relationships are left out).
  std::vector<qv::jet::IndexSpec> indexes;
  int64_t rows = 0;  // as the table's header counts them
};

// One value of a row: in its column's own Jet type, and whether decoding
// it lost something (JetValues.h).
struct SourceValue {
  qv::Variant value;
  bool lossy = false;
};

class JetSource {
 public:
  virtual ~JetSource() = default;
  // "Jet 4", "Jet 3" ...
  virtual std::string Format() const = 0;
  // The user tables (system tables left out), in the catalogue's order.
  virtual const std::vector<SourceTable>& Tables() const = 0;
  // Calls `onRow` for each row of `table` (one of Tables()) in the file's
  // order, with one value per column. An error of `onRow` ends the reading
  // and propagates.
  virtual void ReadRows(const SourceTable& table,
                        const std::function<void(std::span<const SourceValue>)>& onRow) = 0;
  // What the reader reported about the file while reading it without
  // failing (warnings of libmdb), one line each.
  virtual std::vector<std::string> Messages() const { return {}; }
};

// Opens a Jet 3 or Jet 4 file read-only through libmdb. Texts of a Jet 3
// file are read in the code page named by MDB_JET3_CHARSET, windows-1251
// when it is not set. Errors: 3024 the file does not exist, 3343 it is not
// a Jet database libmdb can read (with what libmdb said about it). libmdb
// writes its messages on standard error: they are caught while it reads,
// never shown as they are, and become the errors' words or Messages().
std::unique_ptr<JetSource> OpenJetFile(const std::filesystem::path& path);

}  // namespace qvdb
