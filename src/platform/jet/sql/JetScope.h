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

struct ScopeSource {
  std::string name;       // what Jet text qualifies with; empty for an unnamed derived table
  std::string qualifier;  // the quoted name the emitted SQL qualifies with
  std::vector<ColumnInfo> columns;
};

class Scope {
 public:
  explicit Scope(const Scope* outer) : outer_(outer) {}

  const Scope* Outer() const { return outer_; }
  const std::vector<ScopeSource>& Sources() const { return sources_; }
  void Add(ScopeSource s) { sources_.push_back(std::move(s)); }

  struct Hit {
    const ScopeSource* source;
    const ColumnInfo* column;
  };
  // The column `name` of this scope's sources, qualified by `qualifier` when
  // that is not empty; raises 3079 when an unqualified name is in two sources.
  std::optional<Hit> Find(std::string_view qualifier, std::string_view name) const;
  const ScopeSource* FindSource(std::string_view name) const;

 private:
  const Scope* outer_;
  std::vector<ScopeSource> sources_;
};

}  // namespace qv::jet::sql
