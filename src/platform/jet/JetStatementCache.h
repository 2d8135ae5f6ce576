#pragma once
// What a connection keeps per statement text: the translation, the result
// columns and the prepared statements not in use. Internal to platform/jet.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/jet/JetStatement.h"
#include "platform/jet/JetTranslator.h"
#include "platform/jet/Sqlite.h"

namespace qv::jet {

// A member added here is set as a new entry has it in
// Connection::Impl::NewEntry too, which makes an entry of a dropped one.
struct StatementCacheEntry {
  std::string sql;  // the SQLite text
  // Empty for native SQL. Its `sql` was moved to `sql` above: a cached
  // statement kept the text twice. Kept in the entry (not allocated apart)
  // as every new text makes one.
  std::optional<Translation> translation;
  int hidden = 0;  // trailing columns not shown
  // The translation's numberOperands and added together, read by every
  // bind of a text (kept here: one load where the translation's took more).
  uint64_t numberOperands = 0;
  // The literals of the statement's text that parameter i + 1 stands for
  // (their positions among sql::ScanLiterals' literals), in order.
  std::vector<uint16_t> parameters;
  bool columnsKnown = false;
  std::vector<ColumnMeta> columns;
  // The table and column of the translation's typed columns are asked of
  // SQLite on the first Statement::Column, not when the text is prepared:
  // most new texts are stepped and read by type and position alone.
  bool originsPending = false;
  size_t rowsLastRun = 0;  // Statement::RowsLastRun
  // Statement::Kept, per Statement::Reader
  std::array<std::shared_ptr<const void>, Statement::kReaders> kept;
  std::vector<sqlite::StmtPtr> idle;
  // A text's first statement is prepared as a transient one (with SQLite's
  // lookaside memory, which a statement kept idle must not hold) and
  // finalized when it is returned: most texts seen once are never seen
  // again. Later statements are prepared persistent and kept idle.
  bool preparedBefore = false;
  sqlite3_stmt* transient = nullptr;
  bool live = true;  // false once the cache dropped it: statements are then finalized
  // Each of its statement's parameters is bound again whenever the statement
  // is taken (a Jet text's literals): a statement given back keeps its
  // bindings instead of having them cleared.
  bool rebound = false;
  // The statement last bound from a text's slot (Connection::Prepare) and
  // the slot's versions of its values then: while they hold, that statement
  // taken again holds the slot's values and is not bound again. Null after
  // any other binding of one of the entry's statements.
  const sqlite3_stmt* boundStmt = nullptr;
  uint64_t boundValues = 0, boundLast = 0;
};

}  // namespace qv::jet
