#pragma once
// The names a select can see: the tables and derived tables of its FROM
// clause, then those of the enclosing selects (correlated references).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/JetTypes.h"

namespace qv::jet::sql {

// Names compare with qv::NamesEqual (VbaText.h): without case, Cyrillic included.
// A SQLite identifier in double quotes.
std::string QuoteName(std::string_view name);

// A column of a derived table that passes one column of a source of the
// derived select's own FROM through unchanged (`t.x`, `t.x AS y`, `t.*`).
struct ColumnOrigin {
  std::string source;  // the inner source's name (its alias, or its table's name)
  std::string column;  // the inner column's name
};

struct ScopeSource {
  std::string name;       // what Jet text qualifies with; empty for an unnamed derived table
  std::string qualifier;  // the quoted name the emitted SQL qualifies with
  // Not owned: a table's are the catalogue's, a derived table's the
  // emitter's, both kept for the whole translation (a copy per FROM item
  // cost a translation an allocation per column name).
  const std::vector<ColumnInfo>* columns = nullptr;
  // A derived table only: the names of the sources of its select's FROM, and
  // per column (parallel to `columns`) the inner column it passes through,
  // empty for a computed one.
  std::vector<std::string> innerSources;
  std::vector<ColumnOrigin> origins;
};

// Appends the SQLite text of `column` of `source`: "qualifier"."column".
void AppendQualifiedName(std::string& out, const ScopeSource& source, const ColumnInfo& column);

class Scope {
 public:
  // The list of sources is the one the thread's last scope gave back, when
  // it was not large: a translation makes a scope per select, and each
  // allocated its list.
  explicit Scope(const Scope* outer);
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

  const Scope* Outer() const { return outer_; }
  const std::vector<ScopeSource>& Sources() const { return sources_; }
  void Add(ScopeSource s) { sources_.push_back(std::move(s)); }
  // A new source, empty, to be filled in place.
  ScopeSource& Add() { return sources_.emplace_back(); }

  struct Hit {
    const ScopeSource* source;
    const ColumnInfo* column;
  };
  // The column `name` of this scope's sources, qualified by `qualifier` when
  // that is not empty; raises 3079 when an unqualified name is in two sources.
  std::optional<Hit> Find(std::string_view qualifier, std::string_view name) const;
  const ScopeSource* FindSource(std::string_view name) const;

  // Jet resolves `q.name` outside a derived table when q names no source of
  // the select but a source inside exactly one of its derived tables, whose
  // output has that column: the reference is to that column of the derived
  // table. Null when q names no source inside a derived table of this scope;
  // a hit with a null column when it does but the output lacks the column;
  // raises 3079 when q is inside two derived tables or the column is output
  // twice.
  std::optional<Hit> FindThroughDerived(std::string_view qualifier, std::string_view name) const;

 private:
  const Scope* outer_;
  std::vector<ScopeSource> sources_;
};

}  // namespace qv::jet::sql
